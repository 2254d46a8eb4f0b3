# Sourced by the tests that drive the window in a real X server.
#
# in_xvfb VAR COMMAND...: unless VAR is set, sets it and runs COMMAND (the
# script itself again, inside xvfb-run, perhaps behind dbus-run-session),
# then exits with its status. A server that never answers (seen under load:
# xvfb-run hands over, and no client can connect) is replaced, up to three
# times: the inner run says so with status 75.
in_xvfb() {
    local var=$1
    shift
    [ -n "${!var:-}" ] && return 0
    export "$var"=1
    local status
    for _ in 1 2 3; do
        status=0
        "$@" || status=$?
        [ "$status" -ne 75 ] && exit "$status"
        echo "the X server did not answer; starting another"
    done
    exit 1
}

# Inside: waits up to five seconds for the server; 75 when it never answers.
# The server must run with -noreset: when this probe, its first client,
# leaves, a server that resets turns away whoever connects next.
xvfb_ready() {
    for _ in $(seq 50); do
        xdpyinfo >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    exit 75
}

# find_window TITLE: the id of the first visible window whose name matches
# the pattern, waiting up to 20 s; nothing when none came.
find_window() {
    # Polls: a --sync search dies on a BadWindow when a window closes while
    # it walks the tree (the dialog, as the main window opens).
    for _ in $(seq 200); do
        xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1 | grep . && return 0
        sleep 0.1
    done
    return 0
}

# open_program FILE: answers the start-up dialog with FILE and prints the
# main window's id; fails when it never comes. Without a window manager the
# dialog has the keyboard only once Qt has set the focus, and a slow start
# (sanitizers, the accessibility bridge) lets typing land before that, so the
# dialog is focused first, and the answer is typed again while it stays.
open_program() {
    local file=$1 dialog window
    for attempt in 1 2 3; do
        dialog=$(find_window '^Open RAM file$')
        if [ -z "$dialog" ]; then
            window=$(find_window '^Wren processor simulator$')
            [ -n "$window" ] && { echo "$window"; return 0; }
            echo "FAIL: the start-up dialog did not appear" >&2
            return 1
        fi
        xdotool windowfocus --sync "$dialog" 2>/dev/null || true
        sleep "0.$((attempt * 3))"
        xdotool key ctrl+a 2>/dev/null || true
        xdotool type --delay 5 "$file"
        xdotool key Return
        for _ in $(seq 100); do
            window=$(xdotool search --onlyvisible --name '^Wren processor simulator$' 2>/dev/null | head -n 1 || true)
            [ -n "$window" ] && { echo "$window"; return 0; }
            sleep 0.1
        done
        echo "the dialog did not take the file name (try $attempt)" >&2
    done
    echo "FAIL: the main window did not appear" >&2
    return 1
}
