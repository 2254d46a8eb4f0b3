#!/usr/bin/env bash
# run-window.sh --check: says how to use the simulator without a display, and
# fails, when there is none. run-window.sh BINARY: starts the window.
set -euo pipefail

has_display() {
    [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ] || [ "${QT_QPA_PLATFORM:-}" = offscreen ]
}

if ! has_display; then
    cat >&2 <<'MSG'
The simulator window needs a graphical desktop, and none was found here
(DISPLAY and WAYLAND_DISPLAY are unset). Nothing was built.

Without a desktop, run programs on the command line with wren-trace:

    make trace                                       # build it, trace an example
    build/default/bin/wren-trace FILE.ram            # trace your own program
    build/default/bin/wren-trace --check FILE.ram    # find slips in a program file

Run 'make run' again from a terminal on your desktop to open the window.
MSG
    exit 1
fi
[ "${1:-}" = --check ] && exit 0
exec "${1:?usage: run-window.sh --check | run-window.sh PATH-TO-wren-simulator}"
