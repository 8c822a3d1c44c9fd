#!/usr/bin/env bash
# The Windows installer and zip under Wine, as a user meets them: a silent install into a fresh
# folder, refused while a program holds the running mark (the programs' own global mutex), the
# help file a real CHM of every Windows help page, the program's shortcut working in the user's
# Documents, the silent uninstall taking the settings file with it, the zip and its read-me.
# Usage: windows_installer_test.sh BUILD_DIR HELP_DIR INSTALLER ZIP HOLD_RUNNING_COPY_EXE FILE...
# (FILE: the names the packages hold). Runs Wine through BUILD_DIR/wine-run.
set -euo pipefail
build=$1 help=$2 installer=$3 zip=$4 hold=$5
shift 5
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
  rm -f "$work/ready"
  # Take back what a failed check left installed.
  for dir in "$inst" "$work/refused"; do
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
# The folder holds the packaged files and the uninstaller, nothing else.
has_installed_files() { diff <(ls "$inst") <(printf '%s\n' "${files[@]}" uninstall.exe | sort) >/dev/null; }

# A run stopped half way may have left its shortcuts and entry in the prefix: start clean.
rm -rf "$(menu)"
"$wine_run" reg delete "$key" /f >/dev/null 2>&1 || true

# Holds the programs' running mark, made by their own code, until release: setup and the
# uninstaller must see it by the name the programs use.
hold() {
  "$wine_run" "$hold" "$(winpath "$work/ready")" &
  holder=$!
  for _ in $(seq 300); do [ -e "$work/ready" ] && return; sleep 0.2; done
  fail "hold_running_copy did not start"
}
release() { rm "$work/ready"; wait "$holder"; }

# Setup refuses while a program runs, and changes nothing.
hold
if "$wine_run" "$installer" /S "/D=$(winpath "$work/refused")"; then
  fail "setup ran while a program was running"
fi
[ ! -e "$work/refused" ] && [ -z "$(menu)" ] && ! installed >/dev/null ||
  fail "refused setup left files, shortcuts or its registry entry"
release

# Setup restricts the folder to administrators or refuses. Wine takes the permissions but keeps
# only Unix mode bits, so no more than their success can be seen here.
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

# The zip holds exactly the installed files.
diff <(printf '%s\n' "${files[@]}" | sort) <(unzip -Z1 "$zip" | sort) >/dev/null ||
  fail "zip holds $(unzip -Z1 "$zip" | tr '\n' ' ')"
for f in "${files[@]}"; do
  unzip -p "$zip" "$f" | cmp -s - "$inst/$f" || fail "$f in the zip differs from the installed one"
done

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

# The uninstaller too refuses while a program runs (run in place, so that its exit status is
# its own).
hold
if "$wine_run" "$inst/uninstall.exe" /S "_?=$(winpath "$inst")"; then
  fail "uninstall ran while a program was running"
fi
release
has_installed_files || fail "refused uninstall removed files"

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
echo "windows_installer_test: setup, shortcut, refusal while running, help file, zip, read-me and uninstall checked"
