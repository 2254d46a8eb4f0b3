#!/usr/bin/env bash
# vim_test.sh BIN_DIR [RUNTIME_DIR]: runs vim_test.vim in Vim with no user
# files, the runtime files from RUNTIME_DIR (the installed ones when not
# given) and the wren-trace of BIN_DIR on PATH.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export PATH=$(realpath "$1"):$PATH WREN_OUT=$scratch/failures
export WREN_PROGRAM=$scratch/slips.ram WREN_EXPECTED=$scratch/expected
printf '{ a, LDAi 5\nslot 12xyz {ok}\n"STAm 1,5" x\nldai\t7, LDAi 2.5\n' > "$WREN_PROGRAM"
# What the quickfix list must hold: wren-trace's own lines as LINE:COL:TYPE.
(cd "$scratch" && wren-trace --check slips.ram || true) |
    sed -n 's/^[^:]*:\([0-9]*\):\([0-9]*\): \(.\).*/\1:\2:\3/p' > "$WREN_EXPECTED"
rtp=()
[ $# -ge 2 ] && rtp=(--cmd "set rtp^=$(realpath "$2")")
cd "$scratch"
HOME=$scratch timeout 60 vim -N -u NONE -i NONE -es "${rtp[@]}" -S "$here/vim_test.vim" </dev/null >/dev/null || true
[ -f "$WREN_OUT" ] || { echo "FAIL: vim did not run the checks"; exit 1; }
if [ -s "$WREN_OUT" ]; then
    echo "FAIL:"; cat "$WREN_OUT"; exit 1
fi
echo "vim: all checks passed ($(wc -l < "$WREN_EXPECTED") quickfix entries)"
