#!/usr/bin/env bash
# Makes the README's pictures from the real program on a private Xvfb server: the timetable
# window, a failed row's tooltip (its last run read from the run history), the error report
# dialog (a row naming a missing program, started with NOW), a row's settings and the About
# box; then, from a second copy kept running in a tray host (trayer) over a sample history,
# the tray icon's menu, the History window and the output viewer it opens. On the way it
# checks that the copy started with --background stays hidden, that the tray brings its
# window back, and that the close box hides it while the program goes on.
# Needs a built tree (bash tools/run.sh or cmake --build build).
#
#   bash tools/screenshots.sh [build-dir] [output-dir]     (defaults: build, docs)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
out=${2:-docs}

if [[ -z ${MORROWSET_SCREENSHOTS_DISPLAY:-} ]]; then
  [[ -x $build/bin/Morrowset ]] || { echo "no $build/bin/Morrowset: build first" >&2; exit 1; }
  exec env -u QT_QPA_PLATFORM MORROWSET_SCREENSHOTS_DISPLAY=1 \
    xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" "$build" "$out"
fi

folder=$(mktemp -d /tmp/morrowset-screenshots.XXXXXX)
pid=
others=()
finish() {
  for p in $pid "${others[@]}"; do
    kill "$p" 2>/dev/null || true
    wait "$p" 2>/dev/null || true
  done
  rm -rf "$folder"
}
trap finish EXIT

cp "$build/bin/Morrowset" "$build/bin/wardline.hlp" "$folder/"
row() { printf '%s\r\n%s\r\n%s\r\n' "$1" "$2" "$3"; }
{
  row " 1 " "no-such-program --nightly" "23:30"
  row " 1 " "/usr/local/bin/backup-home --quiet" "02:15"
  row " 1 " "sh -c 'sort ~/todo.txt | uniq > ~/todo.sorted'" "07:45"
  row " 0 " "xterm -e top" "12:00"
  row " 0 " "" "##:##"
  row " 0 " "" "##:##"
  # Row 3's rules, after the 18 lines.
  printf '[Row 3]\r\nDays=Mon-Fri\r\nTime Limit=45m\r\nFolder=~/reports\r\n'
} >"$folder/Morrowset.ini"
chmod 600 "$folder/Morrowset.ini"
# All four views of the error dialog, so that the picture can show the error's details.
printf '[preferences]\r\nForce System Info=1\r\n' >"$folder/WLCLIENT.INI"
# Row 2 ran at 02:15 today and failed with exit status 3.
day=$(date +%Y-%m-%d)
zone=$(date +%:z)
run="$(date +%Y%m%d)T021500.004Z-4242-000001"
common="\"run\":\"$run\",\"row\":2,\"command\":\"/usr/local/bin/backup-home --quiet\",\"trigger\":\"clock\",\"due\":\"${day}T02:15:00$zone\""
{
  echo "{\"event\":\"start\",$common,\"time\":\"${day}T02:15:00.004$zone\",\"pid\":4242}"
  echo "{\"event\":\"end\",$common,\"time\":\"${day}T02:16:04.016$zone\",\"pid\":4242,\"duration_ms\":64012,\"exit_status\":3,\"signal\":null,\"output\":\"row2-$run.log\"}"
} >"$folder/history.jsonl"
chmod 600 "$folder/history.jsonl"
mkdir -m 700 "$folder/runs"
echo "backup-home: /media/backup is not mounted" >"$folder/runs/row2-$run.log"

main_title='System Morrowset - By Ansgrove V1\.0'
window_titled() { timeout 20 xdotool search --sync --onlyvisible --name "^$1\$" | head -n 1; }
focus() {
  xdotool windowfocus --sync "$1"
  sleep 0.3
}
shoot() {
  sleep 0.5  # let the window paint
  import -window "$1" "$out/$2"
  echo "$out/$2"
}

mkdir -p "$out"
(cd "$folder" && exec ./Morrowset) >"$folder/program.log" 2>&1 &
pid=$!
main=$(window_titled "$main_title") || { cat "$folder/program.log" >&2; exit 1; }
sleep 1.5  # the first tick fills the clock and grays the incomplete rows
shoot "$main" main-window.png

# The mouse on row 2's result icon, at the trailing end of its command box (the box ends at
# 3375 of the window's 4740 twips; its row's middle is at 907 of 2850, below the menu bar).
focus "$main"
eval "$(xdotool getwindowgeometry --shell "$main")"
read -r icon_x icon_y < <(awk -v w="$WIDTH" -v h="$HEIGHT" \
  'BEGIN { s = w / 4740; printf "%d %d\n", 3375 * s - 10, h - 2850 * s + 907 * s }')
xdotool mousemove --window "$main" "$icon_x" "$icon_y"
sleep 0.3
xdotool mousemove --window "$main" $((icon_x + 1)) "$icon_y"
sleep 1.5  # the tooltip's delay
import -window root -crop "$((WIDTH + 330))x$((HEIGHT + 10))+$X+$Y" +repage "$out/failed-row-tooltip.png"
echo "$out/failed-row-tooltip.png"
xdotool mousemove --window "$main" 5 5
sleep 0.3

# Focus starts on row 1's check box; 21 steps along the tab order reach row 1's NOW.
focus "$main"
xdotool key --delay 40 $(printf 'Tab %.0s' $(seq 21)) space
dialog=$(window_titled 'Program Error Intercepted')
# The dialog opens on the comment box. One wheel step down on the view list, at the middle
# of its design place (top 780, height 315 of the form's 3825 twips), shows the details.
focus "$dialog"
eval "$(xdotool getwindowgeometry --shell "$dialog")"
xdotool mousemove --window "$dialog" $((WIDTH / 2)) $((HEIGHT * 937 / 3825)) click 5
shoot "$dialog" error-dialog.png
xdotool key alt+c
sleep 0.5

# Row 3's "Row settings…", the first entry of the context menu of its command box (the box
# runs from 300 to 3375 of the window's 4740 twips; its row's middle is at 1267 of 2850).
focus "$main"
eval "$(xdotool getwindowgeometry --shell "$main")"
read -r box_x box_y < <(awk -v w="$WIDTH" -v h="$HEIGHT" \
  'BEGIN { s = w / 4740; printf "%d %d\n", 1800 * s, h - 2850 * s + 1267 * s }')
xdotool mousemove --window "$main" "$box_x" "$box_y" click 3
sleep 0.5
xdotool key Down Return
if settings=$(window_titled 'Row 3 settings'); then
  shoot "$settings" row-settings.png
else
  echo "no \"Row 3 settings\" window: row-settings.png left as it was" >&2
fi
xdotool key Escape
sleep 0.5

focus "$main"
xdotool key alt+a
about=$(window_titled "About System Morrowset") || { for w in $(xdotool search --name .); do echo "$w $(xdotool getwindowname $w) $(xwininfo -id $w | grep "Map State")"; done; exit 1; }
shoot "$about" about-box.png

# The History window, the output viewer and the tray: a second copy of the program in a
# folder of its own, over three days of runs (tools/screenshots/sample_history.py), with
# "Catch up" and "Keep running" on, started with --background in a tray host. Its one
# checked row was missed this morning: it starts at once as a catch-up run and fails while
# the window is hidden, so the tray icon says a run failed.
kill "$pid"
wait "$pid" 2>/dev/null || true
history_folder=$folder/history
mkdir -m 700 "$history_folder"
cp "$build/bin/Morrowset" "$build/bin/wardline.hlp" "$history_folder/"
/usr/bin/python3 tools/screenshots/sample_history.py "$history_folder"
{
  row " 0 " "" "##:##"
  row " 0 " "" "##:##"
  row " 0 " "" "##:##"
  row " 1 " "ls /media/backup/weekly" "00:05"
  row " 0 " "" "##:##"
  row " 0 " "" "##:##"
} >"$history_folder/Morrowset.ini"
printf '[timetable]\r\nCatch Up=1\r\nKeep Running=1\r\n' >"$history_folder/WLCLIENT.INI"
chmod 600 "$history_folder/Morrowset.ini" "$history_folder/WLCLIENT.INI"

# The tray host is needed for these pictures only.
if ! command -v trayer >/dev/null; then
  if [ "$(id -u)" -eq 0 ]; then apt-get install -y -qq trayer >/dev/null; else sudo apt-get install -y -qq trayer >/dev/null; fi
fi
trayer --edge bottom --align right --widthtype request --height 24 --transparent false --tint 0xd0d0d0 \
  --SetDockType true >"$folder/trayer.log" 2>&1 &
others+=($!)
sleep 1
# A plain desktop colour behind the tray (set while the tray host is connected: the server
# begins anew, black, when its last client leaves).
/usr/bin/python3 -c '
from Xlib import display
screen = display.Display()
screen.screen().root.change_attributes(background_pixel=0x3b6ea5)
screen.screen().root.clear_area()
screen.sync()'
(cd "$history_folder" && exec ./Morrowset --background) >"$folder/history.log" 2>&1 &
pid=$!
fail() {
  echo "$1" >&2
  cat "$folder/history.log" >&2
  exit 1
}
for _ in $(seq 100); do grep -q '"exit_status":2' "$history_folder/history.jsonl" && break; sleep 0.1; done
grep -q '"exit_status":2' "$history_folder/history.jsonl" || fail "the catch-up run did not end"
sleep 1  # the tray host docks the icon
[[ -z $(xdotool search --onlyvisible --name "^$main_title\$" || true) ]] || fail "--background showed the window"
# The icon is the tray host's panel's only one, at the bottom right.
panel=$(timeout 10 xdotool search --sync --onlyvisible --name '^panel$' | head -n 1) || fail "no tray host"
eval "$(xdotool getwindowgeometry --shell "$panel")"
icon_x=$((X + WIDTH / 2))
icon_y=$((Y + HEIGHT / 2))
icon_top=$((Y + 1))
# Its menu, opened from the icon's top edge so that it opens above the icon.
tray_menu() {
  xdotool mousemove "$icon_x" "$icon_top" click 3
  sleep 1
}
tray_menu
eval "$(xdotool getdisplaygeometry --shell)"
import -window root -crop "240x140+$((WIDTH - 240))+$((HEIGHT - 140))" +repage "$out/tray-menu.png"
echo "$out/tray-menu.png"
xdotool key Escape
sleep 0.3

# A click on the icon shows the timetable; its close box (the window manager's "delete
# window", as a title bar's close button sends it) hides it again, and the program goes on.
xdotool mousemove "$icon_x" "$icon_y" click 1
main=$(window_titled "$main_title") || fail "the tray did not bring the window back"
/usr/bin/python3 -c '
import sys
from Xlib import X, display, protocol
screen = display.Display()
window = screen.create_resource_object("window", int(sys.argv[1]))
protocols = screen.intern_atom("WM_PROTOCOLS")
delete = screen.intern_atom("WM_DELETE_WINDOW")
window.send_event(protocol.event.ClientMessage(window=window, client_type=protocols,
                                               data=(32, [delete, X.CurrentTime, 0, 0, 0])))
screen.sync()' "$main"
sleep 1
[[ -z $(xdotool search --onlyvisible --name "^$main_title\$" || true) ]] || fail "the close box did not hide the window"
kill -0 "$pid" || fail "closing the window ended the program"

# History… from the tray, the second run selected (a photo sync whose end Morrowset did not
# see, with a 1.5 MB output), and its output, searched for "error".
tray_menu
xdotool key h
history=$(window_titled 'Morrowset History') || fail "no History window"
focus "$history"
xdotool key --delay 60 Tab Down Down
shoot "$history" history-window.png
xdotool key Return
viewer=$(window_titled 'Morrowset Output') || fail "no output viewer"
focus "$viewer"
xdotool key ctrl+f
xdotool type --delay 30 error
xdotool key Return
shoot "$viewer" output-viewer.png
