#!/usr/bin/env bash
# The Windows installer and zip under Wine, as a user meets them: a silent install into a fresh
# folder, never into a folder another user made, never blocked by a name another user took,
# refused while an installed program runs, the help file a real CHM of every Windows help page,
# the program's shortcut working in the user's Documents, the silent uninstall taking the
# settings file with it, the zip and its read-me.
# Usage: windows_installer_test.sh BUILD_DIR HELP_DIR INSTALLER ZIP HOLD_RUNNING_COPY_EXE SOURCE_DIR
#        FILE...
# (FILE: the names the packages hold). Runs Wine through BUILD_DIR/wine-run.
set -euo pipefail
build=$1 help=$2 installer=$3 zip=$4 hold=$5 source=$6
shift 6
files=("$@")
wine_run=$build/wine-run
# Start-menu shortcuts stay inside the prefix, never on the build machine's desktop.
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\MarlovineUpdater'

fail() { echo "windows_installer_test: $*" >&2; exit 1; }
command -v extract_chmLib >/dev/null || fail "extract_chmLib missing (scripts/setup-windows)"
cmake --build "$build" --target windows_installer windows_zip >/dev/null

work=$(mktemp -d)
inst=$work/inst
cleanup() {
  rm -f "$work"/ready-*
  # Take back what a failed check left installed.
  for dir in "$inst" "$work/foreign"; do
    if [ -f "$dir/uninstall.exe" ]; then
      "$wine_run" "$dir/uninstall.exe" /S >/dev/null 2>&1 || true
      uninstaller_ends || true
    fi
  done
  rm -rf "$work"
}
trap cleanup EXIT
. "$(dirname "$0")/../support/wine_processes.sh"
# The uninstaller runs on from a copy of itself in the temporary folder (~nsuN.tmp\Un.exe);
# the suite's Wine server outlives it, so wait for that copy, not for the server.
uninstaller_ends() { wine_programs_end '\\~nsu[^\\]*\.tmp\\Un[^\\ ]*\.exe' 120; }
winpath() { printf 'Z:%s' "${1//\//\\}"; }
menu() { find "$WINEPREFIX/drive_c" -path '*/Start Menu/Programs/Marlovine Updater' -print -quit; }
installed() { "$wine_run" reg query "$key" "$@" 2>/dev/null; }
# The folder holds the packaged files, the uninstaller and setup's log, nothing else.
has_installed_files() {
  diff <(ls "$inst") <(printf '%s\n' "${files[@]}" uninstall.exe setup.log | sort) >/dev/null
}

# A run stopped half way may have left its shortcuts and entry in the prefix: start clean.
rm -rf "$(menu)"
"$wine_run" reg delete "$key" /f >/dev/null 2>&1 || true

# hold NAME WHAT: until release NAME, hold_running_copy holds WHAT (a running copy of that
# program, or --squat: the running mark's name taken first, open to all, as any user could).
declare -A holders
hold() {
  "$wine_run" "$hold" "$(winpath "$work/ready-$1")" "$2" &
  holders[$1]=$!
  for _ in $(seq 300); do [ -e "$work/ready-$1" ] && return; sleep 0.2; done
  fail "hold_running_copy $2 did not start"
}
release() { rm "$work/ready-$1"; wait "${holders[$1]}"; }
# status COMMAND...: its exit status, under set -e.
status() { local s=0; "$@" >/dev/null 2>&1 || s=$?; echo "$s"; }

# A name any user can take first blocks nothing: held until the last uninstall.
hold squat --squat

# A folder that another user made first (all Wine sees: its owner is not the administrators)
# is refused, exit 3, and nothing in it changes.
mkdir "$work/foreign"
echo "a user's own" >"$work/foreign/uninstall.exe"
got=$(status "$wine_run" "$installer" /S "/D=$(winpath "$work/foreign")")
[ "$got" = 3 ] || fail "setup gave $got, not 3, for a folder that is not the administrators'"
[ "$(ls "$work/foreign")" = uninstall.exe ] && [ "$(cat "$work/foreign/uninstall.exe")" = "a user's own" ] &&
  [ -z "$(menu)" ] && ! installed >/dev/null ||
  fail "refused setup changed the folder, or left shortcuts or its registry entry"

# Setup makes the folder the administrators' with their own permissions, or refuses. Wine
# takes owner and permissions but keeps only Unix mode bits, so no more than their success can
# be seen here.
"$wine_run" "$installer" /S "/D=$(winpath "$inst")" || fail "silent setup failed"
has_installed_files || fail "installed: $(ls "$inst" | tr '\n' ' ')"
installed /v InstallLocation | grep -qF "$(winpath "$inst")" || fail "no Add/Remove Programs entry"
links=("Marlovine Updater Help.lnk" "Uninstall Marlovine Updater.lnk")
[[ " ${files[*]} " == *" marlovine-updater.exe "* ]] && links+=("Marlovine Updater.lnk")
start_menu=$(menu)
diff <(ls "${start_menu:-/nonexistent}" 2>&1) <(printf '%s\n' "${links[@]}" | sort) >/dev/null ||
  fail "Start-menu folder holds: $(ls "${start_menu:-/nonexistent}" 2>&1 | tr '\n' ' ')"
# Box data lands in the current folder: from the menu, each user's own Documents.
if [[ " ${links[*]} " == *" Marlovine Updater.lnk "* ]]; then
  strings -a -el "$start_menu/Marlovine Updater.lnk" | grep -qxF '%USERPROFILE%\Documents' ||
    fail "the program's shortcut does not work in the user's Documents"
fi

# The zip holds exactly the installed files, the decoders' folder with every decoder's files.
diff <(printf '%s\n' "${files[@]}" | sort) <(unzip -Z1 "$zip" | cut -d/ -f1 | sort -u) >/dev/null ||
  fail "zip holds $(unzip -Z1 "$zip" | tr '\n' ' ')"
diff <(cd "$source/decoders" && ls -d */*.py | sort) \
  <(unzip -Z1 "$zip" 'decoders/*.py' | sed 's|^decoders/||' | sort) >/dev/null ||
  fail "the zip's decoders folder holds $(unzip -Z1 "$zip" 'decoders/*' | tr '\n' ' ')"
for f in $(unzip -Z1 "$zip" | grep -v '/$'); do
  [ "$f" = README.txt ] ||
    unzip -p "$zip" "$f" | cmp -s - "$inst/$f" || fail "$f in the zip differs from the installed one"
done
# Each read-me speaks of its own folder: the installed one, and the shortcut's box data in
# Documents; the zip's of unpacking.
flat() { tr -d '\r' | tr '\n' ' ' | tr -s ' '; }
grep -qF "Setup put them in the folder chosen for it" <(flat <"$inst/README.txt") ||
  fail "the installed README.txt does not speak of the installed folder"
grep -qF "the program works in your Documents folder, so that is where box data lands" \
  <(flat <"$inst/README.txt") || fail "the installed README.txt does not say where box data lands"
grep -qF "Unpack all of them into one folder" <(unzip -p "$zip" README.txt | flat) ||
  fail "the zip's README.txt does not speak of unpacking"
! grep -qF "Unpack" "$inst/README.txt" || fail "the installed README.txt speaks of unpacking"
# Wine has no port driver: the silent install's log says so, and what to do.
grep -qF "The port driver WinDriver cannot be reached" "$inst/setup.log" ||
  fail "the silent install's log does not tell of the missing driver"
grep -qF "It comes from the box's supplier, with the box" "$inst/setup.log" ||
  fail "the silent install's log does not say where the driver comes from"

# The read-me names every other file and the port driver they need.
for f in "${files[@]}"; do
  [ "$f" = README.txt ] || grep -qF "$f" "$inst/README.txt" || fail "README.txt does not name $f"
done
grep -qF "WinDriver, version 412 or later" <(tr -d '\r' <"$inst/README.txt" | tr '\n' ' ' | tr -s ' ') ||
  fail "README.txt does not name the port driver"
! grep -qv $'\r$' "$inst/README.txt" || fail "README.txt has lines without Windows' line end"

# The help file: a CHM whose every page is its Windows help page, each in the contents.
[ "$(head -c 4 "$inst/Help2QRB.chm")" = ITSF ] || fail "Help2QRB.chm is not a CHM"
extract_chmLib "$inst/Help2QRB.chm" "$work/chm" >/dev/null || fail "Help2QRB.chm does not extract"
grep -aqF index.html "$work/chm/#SYSTEM" || fail "Help2QRB.chm has no default topic"
for page in "$help"/*; do
  name=$(basename "$page")
  cmp -s "$page" "$work/chm/$name" || fail "$name missing or changed in Help2QRB.chm"
  if [[ $name == *.html ]]; then
    grep -qF "value=\"$name\"" "$work/chm/Help2QRB.hhc" || fail "$name not in the contents"
  fi
done

# While either installed program runs, whoever started it, setup over it and the uninstaller
# (run in place, so that its exit status is its own) refuse with exit 2 and change nothing.
for program in "${files[@]}"; do
  [[ $program == *.exe ]] || continue
  hold copy "$(winpath "$inst/$program")"
  got=$(status "$wine_run" "$installer" /S "/D=$(winpath "$inst")")
  [ "$got" = 2 ] || fail "setup gave $got, not 2, while $program was running"
  got=$(status "$wine_run" "$inst/uninstall.exe" /S "_?=$(winpath "$inst")")
  [ "$got" = 2 ] || fail "uninstall gave $got, not 2, while $program was running"
  release copy
  has_installed_files || fail "refused setup or uninstall changed the files"
done

# The settings file the window program writes on Quit, in the Windows folder.
ini=$WINEPREFIX/drive_c/windows/marlovine-updater.INI
printf '[Software Update Section]\r\n' >"$ini"

# The uninstaller hands over to a copy of itself and returns at once: wait for the copy.
"$wine_run" "$inst/uninstall.exe" /S || fail "silent uninstall failed"
uninstaller_ends || fail "the uninstaller's copy did not end"
[ ! -e "$inst" ] || fail "uninstall left $(ls "$inst")"
[ -z "$(menu)" ] || fail "uninstall left the Start-menu folder"
! installed >/dev/null || fail "uninstall left the Add/Remove Programs entry"
[ ! -e "$ini" ] || fail "uninstall left $ini"
release squat
echo "windows_installer_test: setup, a foreign folder, a squatted name, shortcut, refusal while running, help file, zip, read-me and uninstall checked"
