#!/bin/sh
# Reads the built Windows programs' resources, as windres decodes them, and fails unless each
# embeds an application manifest (type 24, id 1, the one Windows reads for a program) that runs
# it as its invoker with no visual-styles (common controls 6) dependency, and a version resource
# that names it.
#   check_windows_identity.sh WINDRES PROGRAM.exe...
set -u
windres=$1
shift
status=0
fail() { echo "check_windows_identity: $1: $2" >&2; status=1; }
for program in "$@"; do
  resources=$("$windres" -J coff -O rc -i "$program") || { fail "$program" "resources unreadable"; continue; }
  manifest=$(printf '%s\n' "$resources" | awk '/^1 24 /{on=1; next} on && /^END/{exit} on')
  printf '%s\n' "$manifest" | grep -qF 'requestedExecutionLevel level=""asInvoker""' ||
    fail "$program" "no manifest asking to run as the invoker"
  ! printf '%s\n' "$manifest" | grep -qF 'Microsoft.Windows.Common-Controls' ||
    fail "$program" "depends on visual styles"
  printf '%s\n' "$resources" | grep -qF "VALUE \"OriginalFilename\", \"$(basename "$program")\"" ||
    fail "$program" "no version resource naming $(basename "$program")"
done
[ $status -eq 0 ] && echo "check_windows_identity: $# programs carry their manifest and version"
exit $status
