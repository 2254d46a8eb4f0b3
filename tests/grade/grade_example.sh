#!/usr/bin/env bash
# grade_example.sh GRADE TRACE EXAMPLE_DIR EXPECTED_TEXT: grades the worked
# example in every format and checks the reports: the text one against
# EXPECTED_TEXT, the JUnit XML with xmllint, that reports are byte-identical
# from run to run, and that each replay command shows the reported end.
set -euo pipefail
grade=$1 trace=$2 example=$3 expected=$4
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
cd "$example"
fail() { echo "FAILED: $*"; exit 1; }

status=0
"$grade" -j 2 cases.toml submissions/*.ram > "$out/text" || status=$?
[ "$status" -eq 1 ] || fail "exit status $status with failing submissions, expected 1"
diff -u "$expected" "$out/text" || fail "text report differs from $expected"
"$grade" cases.toml submissions/correct.ram > /dev/null || fail "the correct submission did not pass"

for run in 1 2; do
    "$grade" --format gradescope --out "$out/gs$run" cases.toml submissions/*.ram > /dev/null || true
    "$grade" --format junit --out "$out/ju$run" --summary "$out/sum$run.tsv" --seed 7 \
        cases.toml submissions/*.ram > /dev/null || true
done
diff -r "$out/gs1" "$out/gs2" || fail "Gradescope reports differ between runs"
diff -r "$out/ju1" "$out/ju2" || fail "JUnit reports differ between runs"
[ "$(ls "$out/gs1" | wc -l)" -eq 6 ] || fail "expected six Gradescope reports"
for xml in "$out"/ju1/*.xml; do
    xmllint --noout "$xml" || fail "$xml is not well-formed XML"
    [ "$(xmllint --xpath 'count(//testcase)' "$xml")" -eq 7 ] || fail "$xml lacks seven testcases"
    [ "$(xmllint --xpath 'string(//property[@name="seed"]/@value)' "$xml")" = 7 ] ||
        fail "$xml does not name seed 7"
done
[ "$(wc -l < "$out/sum1.tsv")" -eq 7 ] || fail "summary has not one row per submission"
grep -qx 'submissions/correct.ram	10	10	7	0' "$out/sum1.tsv" || fail "summary row of correct.ram"

# Each replay, run by hand, ends as the report's last traced line says.
replays=0
while IFS= read -r line; do
    command=${line#*replay: wren-trace }
    IFS= read -r next || true
    eval "set -- $command"
    result=$("$trace" --quiet "$@" 2>&1 | head -1) || true
    if [[ $next == *"last steps:" ]]; then
        want=$(sed -n "/${line//\//\\/}/,/end:/p" "$out/text" | grep -m1 'end:' | sed 's/^ *//')
        [ "$result" = "$want" ] || fail "replay of '$command' printed '$result', report says '$want'"
    else
        grep -q "$(cut -d' ' -f1 <<<"$result")" "$out/text" || fail "replay printed '$result'"
    fi
    replays=$((replays + 1))
done < <(grep -A1 'replay: ' "$out/text" | grep -v '^--$')
# 29 failed cases, 8 of them hidden, which show no replay.
[ "$replays" -eq 21 ] || fail "$replays replay commands, expected 21"
[ "$(grep -c 'a hidden case' "$out/text")" -eq 8 ] || fail "hidden cases show their details"
staff=$("$grade" --show-hidden cases.toml submissions/fault.ram || true)
grep -q 'inputs: 200=1 201=2' <<<"$staff" || fail "--show-hidden does not show a hidden case's inputs"
echo "grade example: all checks passed"
