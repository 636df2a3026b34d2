#!/usr/bin/env bash
# One user's first two sessions with the installed program, driven through the X server
# with xdotool (run by tools/package_check.sh inside xvfb-run, as an ordinary user with a
# fresh HOME):
#   1. first start: no timetable yet, and no error report about it: the empty timetable
#      opens; type a command line and a time into the first row; Save Settings;
#   2. start again: no error report this time; the first row must hold what was typed,
#      which Save Settings shows by writing it again into a removed settings file.
#
#   bash package_session.sh <scratch-root>
set -euo pipefail
root=$1
program=$root/usr/bin/morrowset
data=${XDG_CONFIG_HOME:-$HOME/.config}/Morrowset
settings=$data/Morrowset.ini
main_title='System Morrowset - By Ansgrove V1\.0'
dialog_title='Program Error Intercepted'
command_line='true typed-by-the-package-check'
pid=
cd "$HOME"  # where a user starts it from; the default error log of a run without preferences goes here

fail() {
  echo "package session: $*" >&2
  [[ -f $HOME/program.log ]] && sed 's/^/  program: /' "$HOME/program.log" >&2
  exit 1
}
stop_program() {
  if [[ -n $pid ]]; then
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  fi
  pid=
}
trap stop_program EXIT

start_program() {
  "$program" >>"$HOME/program.log" 2>&1 &
  pid=$!
}
# Prints the id of the visible window whose whole title matches, waiting up to 20 s.
window_titled() {
  timeout 20 xdotool search --sync --onlyvisible --name "^$1\$" | head -n 1
}
# Without a window manager nothing gives a new window the keyboard, so give it explicitly.
focus() {
  xdotool windowfocus --sync "$1"
  sleep 0.3
}
press_tab() { xdotool key --delay 40 $(printf 'Tab %.0s' $(seq "$1")); }
wait_for_file() {
  for _ in $(seq 100); do
    [[ -s $1 ]] && return 0
    sleep 0.1
  done
  return 1
}
# The first three lines of the settings file: row 1's state, command line and time.
first_row() { head -n 3 "$settings" | tr -d '\r' | paste -sd '|'; }

# Focus starts on row 1's check box; the tab order runs through the six check boxes, the six
# command lines, the six time boxes, then Save Settings.
tabs_to_command=6 tabs_to_time=6 tabs_to_save=6

echo "first start"
start_program
main=$(window_titled "$main_title") || fail "the main window did not appear"
if xdotool search --name "^$dialog_title\$" >/dev/null; then fail "an error report appeared at the first start"; fi
focus "$main"
press_tab $tabs_to_command
xdotool type --delay 20 "$command_line"
press_tab $tabs_to_time
xdotool type --delay 20 1230
press_tab $tabs_to_save
xdotool key space
wait_for_file "$settings" || fail "Save Settings wrote no $settings"
saved=$(first_row)
[[ $saved == " 1 |$command_line|12:30" ]] || fail "the saved first row is \"$saved\""
stop_program
[[ $(stat -c %a "$data") == 700 ]] || fail "$data has mode $(stat -c %a "$data"), not 700"

echo "second start"
start_program
main=$(window_titled "$main_title") || fail "the main window did not appear at the second start"
if xdotool search --name "^$dialog_title\$" >/dev/null; then fail "an error report appeared at the second start"; fi
rm "$settings"
focus "$main"
press_tab $((tabs_to_command + tabs_to_time + tabs_to_save))
xdotool key space
wait_for_file "$settings" || fail "Save Settings wrote no $settings at the second start"
reloaded=$(first_row)
[[ $reloaded == " 1 |$command_line|12:30" ]] || fail "after a restart the first row is \"$reloaded\""
stop_program
for name in Morrowset.ini WLCLIENT.INI error.log; do
  [[ ! -e $root/usr/lib/morrowset/$name ]] || fail "$name was written beside the executable"
done
echo "the first row came back: $reloaded"
