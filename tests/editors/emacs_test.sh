#!/usr/bin/env bash
# emacs_test.sh BIN_DIR [MODE_DIR]: runs emacs_test.el in Emacs in batch mode
# with wren-trace from BIN_DIR; MODE_DIR holds wren-mode.el and the
# site-start file, else the installed ones are used.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export PATH=$(realpath "$1"):$PATH WREN_PROGRAM=$scratch/slips.ram
printf '{ a, LDAi 5\nslot 12xyz {ok}\nldai 7\nLDAi 3 {three, LDAi 4\n' > "$WREN_PROGRAM"
load=()
if [ $# -ge 2 ]; then
    mode=$(realpath "$2")
    load=(-L "$mode" -l "$mode/50wren-simulator.el")
fi
cd "$scratch"
HOME=$scratch timeout 60 emacs --batch "${load[@]}" -l "$here/emacs_test.el"
echo "emacs: all checks passed"
