#!/usr/bin/env bash
# The operator's window under Wine as an operator meets it: the main window with its caption
# and controls where the template puts them, a path typed into it and Start pressed (refused
# while the file is empty), an update on the simulated box to "Box updated" with seven "Okay",
# and Quit writing the settings into the INI file in Wine's Windows directory; Enter pressed
# twice on Start leaves the status window and its result up; then, started again, the
# remembered path, and Quit during a run waiting for the worker until Leave now; a third time,
# the status window closed while the box updates itself, and the main window following that
# run to its result until its OK. The screen is grabbed and checked where the controls should
# be drawn. Last, from a copy with its help file beside it, a run that fails: its cause copied,
# F1 and the notes' help button in the status window open the cause's page, F1 on the main
# window the page on running an update (Wine has no .HLP beside the program, so the HTML
# Help). Runs under xvfb-run (see tests/CMakeLists.txt).
#   window_test.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
program=$build/src/win32/marlovine-updater.exe
probe_exe=$build/tests/window_probe.exe
export WINEPREFIX=$build/wine WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
desktop=m4410-window-test
main_caption="Marlovine 4410 software transmission (simulated box)"
status_caption="File Transfer Status (simulated box)"
help_caption="Marlovine 4410 Updater Help"
ini=$WINEPREFIX/drive_c/windows/marlovine-updater.INI

work=$(mktemp -d)
finish() {
  status=$?
  if [ $status -ne 0 ]; then
    echo "--- probe says:"; cat "$work/probe.err"
    echo "--- the program says:"; cat "$work/program.log"
    [ -f "$work/help.log" ] && { echo "--- the help run says:"; tail -40 "$work/help.log"; }
  fi >&2
  # The suite's Wine server serves other tests too: end only this test's programs.
  end_own_programs
  rm -rf "$work"
  exit $status
}
trap finish EXIT
fail() { echo "window test: $*" >&2; exit 1; }
# Its lines end in CR LF, as a Windows console program's do.
probe() { wine "$probe_exe" "$desktop" "$@" 2>>"$work/probe.err" </dev/null | tr -d '\r'; }
centre() { echo $((($1 + $3) / 2)) $((($2 + $4) / 2)); }
. "$(dirname "$0")/../support/wine_processes.sh"
# The program's own process: Wine shows it by its Windows path (explorer's command line names
# it too, but not first).
program_pattern='^[^ ]*[\\/]marlovine-updater\.exe( |$)'
program_ends() { wine_programs_end "$program_pattern" "$1"; }
# This test's programs and the explorer that holds its desktop.
end_own_programs() {
  end_wine_programs "$program_pattern"
  end_wine_programs "explorer\.exe /desktop=$desktop"
  wait 2>/dev/null || true
}
# Distinct colours inside a rectangle of the grab: one colour means nothing was drawn there.
colours() { convert "$work/screen.png" -crop "$(($3 - $1))x$(($4 - $2))+$1+$2" +repage -format %k info:; }

"$build/wine-server" start || fail "no Wine server"
# Enter pressed twice below must fall within the double-click interval however slowly a busy
# machine lets xdotool type: five seconds is a bound, not a speed.
wine reg add 'HKCU\Control Panel\Mouse' /v DoubleClickSpeed /d 5000 /f >/dev/null 2>&1 ||
  fail "could not set the double-click interval"
rm -f "$ini"
: >"$work/update.bin"  # empty until Start has refused it
path=$(winepath -w "$work/update.bin" 2>/dev/null)

wine explorer "/desktop=$desktop,1024x768" "$program" --port sim --sim clock=virtual --no-log \
  >"$work/program.log" 2>&1 </dev/null &

# The window, its caption, and every control where the template puts it.
layout=$(probe layout "$main_caption" 102) || fail "the main window does not match template 102"
rect_of() { awk -v id="$1" '$1 == "control" && $2 == id { print $3, $4, $5, $6 }' <<<"$layout"; }
read -r left top right bottom < <(awk '$1 == "window" { print $2, $3, $4, $5 }' <<<"$layout")
# Both windows open centred on the 1024x768 desktop: across exactly; down roughly, since a
# taskbar may shorten the work area and the status window grows once its notes come.
centred() {
  local across=$((($1 + $3) / 2 - 512)) down=$((($2 + $4) / 2 - 384))
  [ "$across" -ge -2 ] && [ "$across" -le 2 ] && [ "$down" -ge -60 ] && [ "$down" -le 60 ]
}
centred "$left" "$top" "$right" "$bottom" || fail "the main window is not centred: $left $top $right $bottom"
# Start, and once the image is in, the status window's Cancel closes it while the run goes on.
start_then_close_status_once_image_in() {
  read -r x y < <(centre $(rect_of 1002))
  xdotool mousemove "$x" "$y" click 1
  probe wait-text "$status_caption" 1056 Okay 60 || fail "the image did not go out"
  read -r x y < <(centre $(probe rect "$status_caption" 2))
  xdotool mousemove "$x" "$y" click 1
  probe wait-gone "$status_caption" 10 || fail "Cancel did not close the status window"
}

# Start with no file named: the refusal comes in a box captioned with the program's name, and
# Enter dismisses it.
screen=$(xdotool search --name "$desktop" | head -1)
[ -n "$screen" ] || fail "no Wine desktop window on the X display"
xdotool windowfocus --sync "$screen" 2>/dev/null || xdotool windowfocus "$screen"
read -r x y < <(centre $(rect_of 1002))
xdotool mousemove "$x" "$y" click 1
probe rect marlovine-updater 2 >/dev/null || probe rect marlovine-updater 1 >/dev/null ||
  fail "Start with no file named showed no message box"
xdotool key Return
probe wait-gone marlovine-updater 10 || fail "Enter did not dismiss the message box"

# Type the path as a person would, into the complete-file edit.
read -r x y < <(centre $(rect_of 1018))
xdotool mousemove "$x" "$y" click 1
xdotool type --delay 15 "$path"
[ "$(probe text "$main_caption" 1018)" = "$path" ] || fail "the edit does not hold the typed path"

# An empty file is no update: Start says so in a box (its text is control 0xFFFF) and opens
# no status window. Then the file gets its image.
read -r x y < <(centre $(rect_of 1002))
xdotool mousemove "$x" "$y" click 1
probe wait-text marlovine-updater 65535 "$path is empty. An empty file is not an update." 20 ||
  fail "Start did not refuse the empty file"
probe wait-gone "$status_caption" 0 || fail "an empty file opened the status window"
xdotool key Return
probe wait-gone marlovine-updater 10 || fail "Enter did not dismiss the refusal"
cp "$(dirname "$0")/../../samples/demo-update.bin" "$work/update.bin"

# The grab: the window where the probe found it, each visible control drawn in its place.
import -window root "$work/screen.png"
[ "$(identify -format %wx%h "$work/screen.png")" = 1024x768 ] || fail "the grab is not the desktop"
cp "$work/screen.png" "$build/window-test-main.png"
[ "$(colours $left $top $right $bottom)" -gt 8 ] || fail "no window drawn at $left,$top"
[ "$right" -lt 1024 ] && [ "$(colours $right $top 1024 $bottom)" -eq 1 ] ||
  fail "something drawn beside the window"
while read -r _ id l t r b; do
  [ "$(colours $l $t $r $b)" -gt 1 ] || fail "control $id is not drawn at $l,$t-$r,$b"
done < <(grep '^control' <<<"$layout")

# Start by Enter in the edit, pressed twice as a hurried operator does: the second press is
# not the status window's Cancel, and the update runs to its end on the simulated box with its
# result on screen. The notes come into room the window had from the start: the button stays.
xdotool key --delay 60 Return Return
button_first=$(probe rect "$status_caption" 2) || fail "Enter on Start showed no status window"
status_frame=$(probe frame "$status_caption")
centred $status_frame || fail "the status window is not centred: $status_frame"
probe wait-text "$status_caption" 1059 "Box updated" 60 ||
  fail "the update did not end with Box updated on screen"
for id in 1052 1053 1054 1055 1056 1057 1058; do
  [ "$(probe text "$status_caption" $id)" = Okay ] || fail "stage $((id - 1051)) is not Okay"
done
probe wait-text "$status_caption" 1100 "box received 196608 bytes, crc32 b4e28ce6, host faults: none" 30 ||
  fail "the notes do not give what the box received"
[ "$(probe rect "$status_caption" 2)" = "$button_first" ] || fail "the button moved when the notes came"
read -r _ _ _ notes_bottom < <(probe rect "$status_caption" 1100)
read -r _ button_top _ _ <<<"$button_first"
[ "$button_top" -gt "$notes_bottom" ] || fail "the button is not below the notes"
import -window root "$build/window-test-status.png"

# OK closes the status window; Quit writes the settings and ends the program.
read -r x y < <(centre $(probe rect "$status_caption" 2))
xdotool mousemove "$x" "$y" click 1
probe wait-gone "$status_caption" 10 || fail "OK did not close the status window"
read -r x y < <(centre $(rect_of 1017))
xdotool mousemove "$x" "$y" click 1
# Quit writes the file and then ends the program: once both its process and its window are
# gone, the file is whole.
program_ends 20 || fail "Quit did not end the program"
probe wait-gone "$main_caption" 20 || fail "the main window outlived the program"
[ -f "$ini" ] || fail "Quit wrote no $ini"
expected=$(printf '%s\r\n' "[Software Update Section]" "Software Update String Item=" \
  "Software Update Filename Item=$path" "Software Update ProgramFilename Item=" \
  "Software Update MenuFilename Item=" "Software Update TableFilename Item=")
[ "$(cat "$ini")" = "$expected" ] || fail "the INI file holds $(cat -A "$ini")"

# Again, with a box that never confirms: the remembered path is back in the edit. Once the
# image is in, the status window is closed and Quit waits for the worker, offering to leave.
wine explorer "/desktop=$desktop,1024x768" "$program" --port sim --sim closing=no,update-ms=0 \
  --no-log >>"$work/program.log" 2>&1 </dev/null &
probe layout "$main_caption" 102 >/dev/null || fail "the main window did not come back"
[ "$(probe text "$main_caption" 1018)" = "$path" ] || fail "the remembered path is not in the edit"
start_then_close_status_once_image_in
probe wait-text "$main_caption" 1070 \
  "The update goes on: the box has the whole image and is updating itself." 10 ||
  fail "the main window does not say the run goes on"
read -r x y < <(centre $(rect_of 1017))
xdotool mousemove "$x" "$y" click 1
probe wait-text marlovine-updater 100 \
  "The box has the whole image and is updating itself; you can leave now." 10 ||
  fail "Quit did not say what it waits for"
read -r x y < <(centre $(probe rect marlovine-updater 101))
xdotool mousemove "$x" "$y" click 1
program_ends 10 || fail "Leave now did not end the program"

# Once more, the status window closed while the box updates itself: the main window shows the
# run's result once it ends, until its OK is pressed.
wine explorer "/desktop=$desktop,1024x768" "$program" --port sim --sim update-ms=3000 \
  --no-log >>"$work/program.log" 2>&1 </dev/null &
probe layout "$main_caption" 102 >/dev/null || fail "the main window did not come back"
start_then_close_status_once_image_in
probe wait-text "$main_caption" 1070 "Last update: Box updated" 60 ||
  fail "the main window did not show the run's result"
import -window root "$build/window-test-result.png"
read -r x y < <(centre $(probe rect "$main_caption" 1071))
xdotool mousemove "$x" "$y" click 1
probe wait-hidden "$main_caption" 1070 10 || fail "OK did not take the result away"
read -r x y < <(centre $(rect_of 1017))
xdotool mousemove "$x" "$y" click 1
program_ends 20 || fail "Quit did not end the program"

# From a copy with its help file beside it, on a port without ECP registers: the run fails at
# stage 3. Its cause can be selected and copied; F1 in the status window and the notes' help
# button open the cause's page, F1 on the main window the page on running an update. Wine's
# help viewer traces each page it goes to; the test counts them in the program's log.
mkdir "$work/installed"
cp "$program" "$build/Help2QRB.chm" "$work/installed/"
WINEDEBUG=-all,+htmlhelp wine explorer "/desktop=$desktop,1024x768" \
  "$work/installed/marlovine-updater.exe" --port sim --sim clock=virtual,ecp=no \
  --no-log >"$work/help.log" 2>&1 </dev/null &
cause_page=stages.html#s3
asked() { grep -c ":navigate_url " "$work/help.log" | tr -d '\n'; }
wait_asked() { # COUNT PAGE: the viewer has been asked for PAGE COUNT times in all
  for _ in $(seq 300); do
    [ "$(grep ":navigate_url " "$work/help.log" | grep -c "::/$2")" -ge "$1" ] && return 0
    sleep 0.1
  done
  return 1
}
close_help() {
  probe close "$help_caption" && probe wait-gone "$help_caption" 10 || fail "the help did not close"
}
probe layout "$main_caption" 102 >/dev/null || fail "the main window did not open for F1"
read -r x y < <(centre $(rect_of 1002))
xdotool mousemove "$x" "$y" click 1
probe wait-text "$status_caption" 1054 Failed 60 || fail "the run without ECP did not fail at stage 3"
probe wait-text "$status_caption" 1101 "More in the help: Datalink established" 10 ||
  fail "the notes do not offer the cause's page"
read -r x y < <(centre $(probe rect "$status_caption" 1100))
xdotool mousemove "$x" "$y" click 1
xdotool key ctrl+Home ctrl+shift+End ctrl+c
probe wait-clipboard "$status_caption" 1100 10 || fail "the cause could not be copied"
xdotool key F1
probe wait-shown "$help_caption" 30 || fail "F1 in the status window opened no help"
wait_asked 1 "$cause_page" || fail "F1 in the status window did not open $cause_page"
[ "$(asked)" = 1 ] || fail "F1 in the status window opened more than the cause's page"
close_help
read -r x y < <(centre $(probe rect "$status_caption" 1101))
xdotool mousemove "$x" "$y" click 1
wait_asked 2 "$cause_page" || fail "the notes' help button did not open $cause_page"
probe wait-shown "$help_caption" 30 || fail "the notes' help button opened no help window"
close_help
read -r x y < <(centre $(probe rect "$status_caption" 2))
xdotool mousemove "$x" "$y" click 1
probe wait-gone "$status_caption" 10 || fail "OK did not close the status window"
read -r x y < <(centre $(rect_of 1018))
xdotool mousemove "$x" "$y" click 1
xdotool key F1
probe wait-shown "$help_caption" 30 || fail "F1 did not open the help window"
wait_asked 1 running.html || fail "F1 on the main window did not open running.html"
probe wait-gone marlovine-updater 1 >/dev/null 2>&1 ||
  fail "F1 showed a message box"
end_own_programs
echo "window test: passed (grabs in $build/window-test-*.png)"
