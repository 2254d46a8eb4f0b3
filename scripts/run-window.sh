#!/usr/bin/env bash
# Starts the simulator window, or explains how when there is no display.
set -euo pipefail

binary=${1:?usage: run-window.sh PATH-TO-wren}
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ "${QT_QPA_PLATFORM:-}" != offscreen ]; then
    cat >&2 <<MSG
The simulator is a desktop program and needs a display, but none was found
(DISPLAY and WAYLAND_DISPLAY are unset). Run it from a graphical desktop, or
under a virtual X display:

    xvfb-run -a $binary
MSG
    exit 1
fi
exec "$binary"
