#!/bin/sh
# Makes a folder, with an INI an earlier install left in it, that nobody can write, or takes it
# away again. As root mode bits stop nothing, so the folder and the file are made immutable too.
#   unwritable_folder.sh lock|unlock DIR
set -eu
dir=$2
case $1 in
lock)
  [ -d "$dir" ] && "$0" unlock "$dir"
  mkdir -p "$dir"
  printf '[Software Update Section]\r\nSoftware Update MenuFilename Item=D:\\menus\\menu_fr.bin\r\n' \
    > "$dir/marlovine-updater.INI"
  chmod 444 "$dir/marlovine-updater.INI"
  chmod 555 "$dir"
  if [ "$(id -u)" = 0 ]; then chattr +i "$dir/marlovine-updater.INI" "$dir"; fi ;;
unlock)
  chattr -i "$dir/marlovine-updater.INI" "$dir" 2>/dev/null || true
  chmod -R u+w "$dir" 2>/dev/null || true
  rm -rf "$dir" ;;
esac
