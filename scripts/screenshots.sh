#!/usr/bin/env bash
# screenshots.sh [OUT_DIR] [VARIANTS...]: photographs the real window under a
# virtual X display at each Qt scale factor (default 1, 1.5 and 2) and on a
# desktop set to 144 dpi (variant 144dpi): the start-up dialog, the window
# four steps into examples/self-modifying.ram, and the box that reports a file
# that does not load, as OUT_DIR/dialog-V.png, window-V.png and message-V.png
# (default OUT_DIR: docs).
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-docs}
shift || true
variants=("$@")
[ ${#variants[@]} -gt 0 ] || variants=(1 1.5 2 144dpi)

if [ -z "${WREN_SHOT_INNER:-}" ]; then
    export WREN_SHOT_INNER=1
    # -noreset keeps the X resources (Xft.dpi) when a client disconnects.
    exec xvfb-run -a -s "-screen 0 2200x1500x24 -noreset" "$0" "$out" "${variants[@]}"
fi

bin=$PWD/build/default/bin
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf 'LDAi 1\nLDAi 99999999999\n' > "$work/bad.ram"
find_window() { timeout 20 xdotool search --sync --onlyvisible --name "$1" | head -n 1; }
shoot() { sleep 0.6; import -window "$1" "$2"; }
export QT_QPA_PLATFORM=xcb

for variant in "${variants[@]}"; do
    if [ "$variant" = 144dpi ]; then
        # What a desktop set to 144 dpi tells its programs.
        echo 'Xft.dpi: 144' | xrdb -nocpp -merge
        unset QT_SCALE_FACTOR
    else
        xrdb -nocpp -remove 2>/dev/null || true
        export QT_SCALE_FACTOR=$variant
    fi
    "$bin/wren-simulator" &
    pid=$!
    dialog=$(find_window '^Open RAM file$')
    shoot "$dialog" "$out/dialog-$variant.png"
    xdotool type --delay 5 "$bin/self-modifying.ram"
    xdotool key Return
    window=$(find_window '^Wren processor simulator$')
    xdotool windowfocus --sync "$window"
    xdotool key Tab space space space space
    shoot "$window" "$out/window-$variant.png"
    kill $pid

    "$bin/wren-simulator" &
    pid=$!
    find_window '^Open RAM file$' >/dev/null
    xdotool type --delay 5 "$work/bad.ram"
    xdotool key Return
    sleep 0.5
    box=$(xdotool search --onlyvisible --name '^Wren processor simulator$' | tail -n 1)
    shoot "$box" "$out/message-$variant.png"
    kill $pid
done
