#!/usr/bin/env bash
# nvim_runtime.sh BIN_DIR [RUNTIME_DIRS]: opens a program with slips in
# Neovim headless with no user configuration; RUNTIME_DIRS (comma-separated)
# go first on 'runtimepath', else the installed runtime files are used.
# wren-lsp comes from BIN_DIR.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export PATH=$(realpath "$1"):$PATH WREN_PROGRAM=$scratch/slips.ram
printf 'ldai 5\nLDApc\nLDAi 1\n' > "$WREN_PROGRAM"
rtp=()
if [ $# -ge 2 ]; then
    dirs=$(IFS=,; for d in $2; do printf '%s,' "$(realpath "$d")"; done)
    rtp=(--cmd "set rtp^=${dirs%,}")
fi
HOME=$scratch XDG_STATE_HOME=$scratch XDG_DATA_HOME=$scratch timeout 60 \
    nvim --headless --clean "${rtp[@]}" -c "luafile $here/nvim_runtime.lua" </dev/null
echo "neovim: the runtime files started wren-lsp and its warnings arrived"
