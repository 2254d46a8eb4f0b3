#!/usr/bin/env bash
# Holds Space, then Return, on Run through a machine fault in a real X
# server, and checks that the fault box stays until a fresh press. The app is
# pinned to one CPU, where Qt flags a held key's repeat as a real release and
# press every time. Usage: fault_box_xvfb.sh PATH-TO-wren-simulator
set -euo pipefail

binary=$1
for tool in xvfb-run xdotool taskset; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
source "$(dirname "$0")/xvfb_lib.sh"
in_xvfb WREN_FAULT_INNER xvfb-run -a -n $((100 + RANDOM % 800)) -s "-screen 0 1024x768x24 -noreset" "$0" "$@"
xvfb_ready

work=$(mktemp -d)
printf 'LDAi 70000\nSTApc 0\n' > "$work/fault.ram"
export QT_QPA_PLATFORM=xcb
taskset -c 0 "$binary" &
pid=$!
trap 'kill $pid 2>/dev/null || true; rm -rf "$work"' EXIT

fail() { echo "FAIL: $*"; exit 1; }
# The main window and the fault box carry the same title.
windows() { xdotool search --onlyvisible --name '^Wren processor simulator$' 2>/dev/null | wc -l; }

window=$(open_program "$work/fault.ram") || exit 1
xdotool windowfocus --sync "$window"
sleep 0.3
xdotool key Tab Tab # from the listing to Step, then Run

for key in space Return; do
    # Without a window manager the focus does not come back by itself when
    # the box closes.
    xdotool windowfocus --sync "$window"
    xdotool keydown "$key"
    for _ in $(seq 30); do [ "$(windows)" -ge 2 ] && break; sleep 0.1; done
    [ "$(windows)" -eq 2 ] || fail "no fault box while $key was held"
    sleep 2.5 # well past the first repeats, one of which comes flagged as real
    [ "$(windows)" -eq 2 ] || fail "holding $key closed the fault box ($(windows) windows)"
    xdotool keyup "$key"
    sleep 0.5
    [ "$(windows)" -eq 2 ] || fail "releasing $key closed the fault box"
    xdotool key "$key"
    for _ in $(seq 30); do [ "$(windows)" -eq 1 ] && break; sleep 0.1; done
    [ "$(windows)" -eq 1 ] || fail "a fresh press of $key did not close the fault box"
    sleep 0.3
done
echo "the fault box stayed through held Space and Return"
