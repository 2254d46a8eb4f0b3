#!/usr/bin/env bash
# reference_and_names.sh WREN_GRADE: v = "same" takes the model's V (a model
# that leaves V true passes against itself), and --out names the reports of
# two submissions with one name a.txt and a-2.txt.
set -euo pipefail
grade=$(realpath "$1")
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir"
printf 'LDAi 65535\nADDi 1\n' > a.ram
cat > cases.toml <<'TOML'
reference = "a.ram"
[[case]]
name = "overflow"
[case.expect]
v = "same"
TOML
fail() { echo "FAILED: $*"; exit 1; }
out=$("$grade" cases.toml a.ram) || fail "a model graded against itself: exit $?: $out"
grep -qx '1 passed, 0 failed' <<<"$out" || fail "expected '1 passed, 0 failed' in: $out"

mkdir reports
"$grade" --out reports cases.toml a.ram a.ram >/dev/null || fail "--out: exit $?"
[ "$(cd reports && ls | tr '\n' ' ')" = "a-2.txt a.txt " ] || fail "reports: $(ls reports)"
