#!/bin/sh
# Reads the built Windows programs and fails unless each embeds a manifest that runs it as its
# invoker, with no visual-styles (common controls 6) dependency, and a version resource.
#   check_windows_identity.sh PROGRAM.exe...
set -u
status=0
fail() { echo "check_windows_identity: $1: $2" >&2; status=1; }
for program in "$@"; do
  LC_ALL=C grep -aq 'requestedExecutionLevel level="asInvoker"' "$program" ||
    fail "$program" "no manifest asking to run as the invoker"
  ! LC_ALL=C grep -aq 'Microsoft.Windows.Common-Controls' "$program" ||
    fail "$program" "depends on visual styles"
  LC_ALL=C grep -aqP 'V\x00S\x00_\x00V\x00E\x00R\x00S\x00I\x00O\x00N\x00_\x00I\x00N\x00F\x00O' "$program" ||
    fail "$program" "no version resource"
  name=$(basename "$program")
  LC_ALL=C grep -aqP "$(printf '%s' "$name" | sed 's/./&\\x00/g')" "$program" ||
    fail "$program" "version resource does not name $name"
done
[ $status -eq 0 ] && echo "check_windows_identity: $# programs carry their manifest and version"
exit $status
