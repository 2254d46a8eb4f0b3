#!/usr/bin/env bash
# step-placement.sh [OFFSET...]: how much the Step comparison in
# wren-paired-bench depends on where the code sits. For each OFFSET (bytes
# into a 64-byte cache line; default 0 16 32 48) it builds a copy of the
# working tree in which Wren::Step, the plain interpreter and the floor all
# start at that offset instead of on a cache line, runs the comparison three
# times and prints one line per run. Takes about a minute per offset.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
offsets=("$@")
[ ${#offsets[@]} -gt 0 ] || offsets=(0 16 32 48)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for offset in "${offsets[@]}"; do
    src=$work/src-$offset
    mkdir -p "$src"
    git -C "$root" ls-files -z | (cd "$root" && xargs -0 tar cf -) | tar xf - -C "$src"
    # Top-level asm and functions come out in source order under
    # -fno-toplevel-reorder, so padding written just before a function moves
    # it OFFSET bytes past a cache line boundary.
    python3 - "$src" "$offset" <<'PY'
import sys
src, offset = sys.argv[1], sys.argv[2]
pad = 'asm(".text\\n.p2align 6\\n.skip %s, 0x90");\n' % offset
for path, signatures in (
    ("core/wren.cpp", ["void Wren::Step() {"]),
    ("bench/plain_interpreter.cpp",
     ["void PlainInterpreter::Step() {", "void FloorStepper::Step() {"]),
):
    text = open(f"{src}/{path}").read().replace("[[gnu::aligned(64)]] ", "")
    for signature in signatures:
        at = text.index(signature)
        text = text[:at] + pad + text[at:]
    open(f"{src}/{path}", "w").write(text)
PY
    cmake -S "$src" -B "$src/build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DWREN_BUILD_BENCH=ON \
        -DWREN_BUILD_UI=OFF -DCMAKE_CXX_FLAGS=-fno-toplevel-reorder >/dev/null
    cmake --build "$src/build" --target wren-paired-bench >/dev/null
    for _ in 1 2 3; do
        echo "offset $offset: $("$src/build/bin/wren-paired-bench" --benchmark_filter=Step \
            --benchmark_min_time=0.5 2>/dev/null | grep -o 'floor_ns.*')"
    done
done
