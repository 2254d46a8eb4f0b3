#!/usr/bin/env bash
# Remakes docs/screenshot.png: the window under a virtual X display, a few
# steps into the self-modifying example. Needs xvfb-run, xdotool, imagemagick.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ -z "${WREN_SHOT_INNER:-}" ]; then
    export WREN_SHOT_INNER=1
    exec xvfb-run -a -s "-screen 0 800x600x24" "$0" "$@"
fi

bin=build/default/bin
QT_QPA_PLATFORM=xcb "$bin/wren-simulator" &
pid=$!
xdotool search --sync --onlyvisible --name '^Open RAM file$' >/dev/null
sleep 0.5
xdotool type --delay 5 "$PWD/$bin/self-modifying.ram"
xdotool key Return
window=$(xdotool search --sync --onlyvisible --name '^Wren processor simulator$' | head -n 1)
xdotool windowfocus --sync "$window"
# Focus Step and press it four times with the space bar.
xdotool key Tab space space space space
sleep 0.5
import -window "$window" docs/screenshot.png
kill $pid
