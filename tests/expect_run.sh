#!/usr/bin/env bash
# expect_run.sh STATUS MATCH COMMAND...: runs COMMAND and checks its exit
# status and what it printed (standard output and error together). MATCH is
# an extended regular expression that some line must match, EMPTY for no
# output at all, or @FILE for output exactly equal to FILE.
set -uo pipefail
want_status=$1 match=$2
shift 2
out=$("$@" 2>&1)
status=$?
fail() { printf 'FAILED: %s\n--- command: %s\n--- output:\n%s\n' "$1" "$*" "$out"; exit 1; }
[ "$status" -eq "$want_status" ] || fail "exit status $status, expected $want_status"
if [[ $match == @* ]]; then
    diff -u "${match#@}" <(printf '%s\n' "$out") || fail "output differs from ${match#@}"
elif [ "$match" = EMPTY ]; then
    [ -z "$out" ] || fail "expected no output"
else
    grep -Eq -- "$match" <<<"$out" || fail "no line matches: $match"
fi
exit 0
