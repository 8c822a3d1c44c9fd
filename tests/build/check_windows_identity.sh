#!/bin/sh
# Reads the built Windows programs, as the MinGW binutils decode them, and fails unless each
# embeds an application manifest (type 24, id 1, the one Windows reads for a program) that runs
# it as its invoker with no visual-styles (common controls 6) dependency, a version resource
# that names it, imports at load time only libraries Windows always takes from its system
# folder, and is hardened: stack protection, a movable image whose data cannot run. (MinGW-w64's
# fortified calls leave a trace only where a buffer's size is known but not proven enough,
# which no call in the programs is today: _FORTIFY_SOURCE cannot be read from them.)
#   check_windows_identity.sh WINDRES OBJDUMP NM PROGRAM...
set -u
windres=$1 objdump=$2 nm=$3
shift 3
status=0
fail() { echo "check_windows_identity: $1: $2" >&2; status=1; }
# The KnownDLLs list of current Windows (Session Manager\KnownDLLs): Windows loads these from
# the system folder whatever the search path. Any other import is looked for beside the
# program first, before the program's first instruction could say otherwise.
known_dlls=" advapi32.dll clbcatq.dll combase.dll comdlg32.dll coml2.dll difxapi.dll gdi32.dll
  gdiplus.dll imagehlp.dll imm32.dll kernel32.dll msctf.dll msvcrt.dll normaliz.dll nsi.dll
  ole32.dll oleaut32.dll psapi.dll rpcrt4.dll sechost.dll setupapi.dll shcore.dll shell32.dll
  shlwapi.dll user32.dll wldap32.dll ws2_32.dll "
known_dlls=" $(echo $known_dlls) "  # one space between names, so a name at a line's end matches too
for program in "$@"; do
  resources=$("$windres" -J coff -O rc -i "$program") || { fail "$program" "resources unreadable"; continue; }
  manifest=$(printf '%s\n' "$resources" | awk '/^1 24 /{on=1; next} on && /^END/{exit} on')
  printf '%s\n' "$manifest" | grep -qF 'requestedExecutionLevel level=""asInvoker""' ||
    fail "$program" "no manifest asking to run as the invoker"
  ! printf '%s\n' "$manifest" | grep -qF 'Microsoft.Windows.Common-Controls' ||
    fail "$program" "depends on visual styles"
  printf '%s\n' "$resources" | grep -qF "VALUE \"OriginalFilename\", \"$(basename "$program")\"" ||
    fail "$program" "no version resource naming $(basename "$program")"

  headers=$("$objdump" -p "$program") || { fail "$program" "headers unreadable"; continue; }
  imports=$(printf '%s\n' "$headers" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z')
  [ -n "$imports" ] || fail "$program" "no import table found"
  for dll in $imports; do
    case "$known_dlls" in *" $dll "*) ;; *) fail "$program" "imports $dll, which Windows may load from beside the program" ;; esac
  done
  for flag in DYNAMIC_BASE NX_COMPAT; do
    printf '%s\n' "$headers" | grep -qx "[[:space:]]*$flag" || fail "$program" "not $flag"
  done
  symbols=$("$nm" "$program") || { fail "$program" "symbols unreadable"; continue; }
  printf '%s\n' "$symbols" | grep -q ' ___stack_chk_fail$' ||
    fail "$program" "no stack protection (-fstack-protector-strong)"
done
[ $status -eq 0 ] && echo "check_windows_identity: $# programs carry their manifest and version, import known libraries only and are hardened"
exit $status
