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
