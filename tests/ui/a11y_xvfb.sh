#!/usr/bin/env bash
# Starts the real window under Xvfb with an accessibility bus and checks it
# with an AT-SPI client (a11y_check.py), as a screen reader would see it.
# Usage: a11y_xvfb.sh PATH-TO-wren-simulator
set -euo pipefail

binary=$1
here=$(cd "$(dirname "$0")" && pwd)
python=/usr/bin/python3 # the system's, which has pyatspi
for tool in xvfb-run xdotool dbus-run-session dbus-send /usr/libexec/at-spi-bus-launcher "$python"; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
"$python" -c 'import pyatspi' 2>/dev/null || { echo "SKIP: no pyatspi"; exit 77; }

source "$(dirname "$0")/xvfb_lib.sh"
in_xvfb WREN_A11Y_INNER dbus-run-session -- xvfb-run -a -n $((100 + RANDOM % 800)) -s "-screen 0 1024x768x24 -noreset" "$0" "$@"
xvfb_ready

work=$(mktemp -d)
export XDG_RUNTIME_DIR=$work
/usr/libexec/at-spi-bus-launcher --launch-immediately &
launcher=$!
pid=
trap 'kill $pid $launcher 2>/dev/null || true; rm -rf "$work"' EXIT
for _ in $(seq 50); do
    dbus-send --session --dest=org.a11y.Bus --print-reply /org/a11y/bus \
        org.a11y.Bus.GetAddress >/dev/null 2>&1 && break
    sleep 0.1
done

printf 'LDAi 65535\nADDi 1\nBVS 4\n' > "$work/loop.ram"
QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 "$binary" &
pid=$!
open_program "$work/loop.ram" >/dev/null
"$python" "$here/a11y_check.py"
