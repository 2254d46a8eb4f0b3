#!/usr/bin/env bash
# Drives the real simulator binary in a real X server: answers the start-up
# dialog, clicks Step, holds Run with the mouse and with a key, then leaves
# through File > Exit and checks that the program ended cleanly.
# Usage: smoke_xvfb.sh PATH-TO-wren PROGRAM-FILE
set -euo pipefail

binary=$1
program=$2
for tool in xvfb-run xdotool; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done

source "$(dirname "$0")/xvfb_lib.sh"
in_xvfb WREN_SMOKE_INNER xvfb-run -a -n $((100 + RANDOM % 800)) -s "-screen 0 1024x768x24 -noreset" "$0" "$@"
xvfb_ready

export QT_QPA_PLATFORM=xcb
"$binary" &
pid=$!
trap 'kill $pid 2>/dev/null || true' EXIT


window=$(open_program "$program") || exit 1
xdotool windowfocus --sync "$window"
sleep 0.3

# The buttons stand 224 px from the left; their tops are 144 (Step) and 176
# (Run) below the menu bar, whose height comes from the window's client offset.
menu=$(( $(xwininfo -id "$window" 2>/dev/null | awk '/Height/ {print $2}') - 308 ))
[ "$menu" -gt 0 ] 2>/dev/null || menu=22
xdotool mousemove --window "$window" 280 $((menu + 156)) click 1
xdotool mousemove --window "$window" 280 $((menu + 188)) mousedown 3
sleep 0.5
xdotool mouseup 3
# Tab from Step to Run, then hold the space bar through its auto-repeat.
xdotool key Tab
xdotool keydown space
sleep 1
xdotool keyup space
kill -0 $pid || { echo "FAIL: the program ended while running"; exit 1; }

xdotool key alt+f
sleep 0.3
xdotool key x
for _ in $(seq 50); do
    kill -0 $pid 2>/dev/null || break
    sleep 0.1
done
if kill -0 $pid 2>/dev/null; then
    echo "FAIL: File > Exit did not end the program"
    exit 1
fi
trap - EXIT
wait $pid
status=$?
echo "the program ended with status $status"
exit $status
