#!/usr/bin/env bash
# fuzz.sh SECONDS: builds the libFuzzer targets (operand parser, loader,
# language server, debug adapter; clang, ASan + UBSan) and runs each for SECONDS, starting
# from the corpus in fuzz/corpus. A crash, leak,
# hang (10 s on one input) or failed check stops with an error and leaves the
# input in build/fuzz/artifacts/: copy it into fuzz/regressions/TARGET/, where
# the test suite runs it from then on.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-300}

cmake --preset fuzz ${CMAKE_ARGS:-} >/dev/null
cmake --build --preset fuzz
mkdir -p build/fuzz/artifacts

status=0
for target in operand loader lsp dap; do
    work=build/fuzz/corpus-$target # grows from run to run, outside the repo
    mkdir -p "$work" "fuzz/regressions/$target"
    log=build/fuzz/$target.log
    echo "fuzzing the $target target for $seconds s"
    if ! build/fuzz/bin/wren-fuzz-$target -max_total_time="$seconds" -timeout=10 -max_len=4096 \
        -print_final_stats=1 -artifact_prefix="build/fuzz/artifacts/$target-" \
        "$work" "fuzz/corpus/$target" fuzz/regressions/$target >"$log" 2>&1; then
        tail -n 40 "$log"
        echo "FAIL: the $target target found a problem; the input is in build/fuzz/artifacts/"
        echo "      add it to fuzz/regressions/$target/ once it is fixed"
        status=1
        continue
    fi
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
    echo "  $target: $runs executions, $rate per second, corpus $(ls "$work" | wc -l) inputs"
done
exit $status
