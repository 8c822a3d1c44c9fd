#!/bin/sh
# Under Wine: a comctl32.dll unpacked beside the window program never runs. Wine is told to
# prefer a found comctl32.dll to its own, as Windows does for a library outside its known
# list; the program runs its whole start on the simulated port (with no screen its dialog
# cannot open, so it ends) and must take the common controls from the system folder only.
#   planted_common_controls_test.sh WINE_RUN PROGRAM PLANTED_DLL WORK_DIR
set -eu
wine_run=$1 program=$2 planted=$3 work=$4
fail() { echo "planted_common_controls_test: $*" >&2; exit 1; }
rm -rf "$work"
mkdir -p "$work"
cp "$program" "$work/"
cp "$planted" "$work/comctl32.dll"
WINEDLLOVERRIDES="mscoree,mshtml=;comctl32=n,b" WINEDEBUG=+loaddll \
  "$wine_run" "$work/$(basename "$program")" --port sim --no-log >/dev/null 2>"$work/loaded" ||
  fail "the program failed: $(grep -v ':trace:' "$work/loaded")"
[ ! -e "$work/planted-library-ran" ] || fail "the planted comctl32.dll ran"
grep -qiF 'system32\\comctl32.dll" at' "$work/loaded" ||
  fail "the program did not load the system's comctl32.dll: $(grep -i comctl32 "$work/loaded")"
echo "planted_common_controls_test: the system's comctl32.dll loaded, the planted one never ran"
