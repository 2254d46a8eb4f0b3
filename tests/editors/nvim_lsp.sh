#!/usr/bin/env bash
# Runs nvim_lsp.lua in Neovim headless against the wren-lsp given as $1.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export WREN_LSP=$1 WREN_DIR=$scratch WREN_EXAMPLES=$here/../../examples
# --clean: no user configuration; HOME keeps Neovim's state files out of the real one.
HOME=$scratch XDG_STATE_HOME=$scratch timeout 60 nvim --headless --clean -c "luafile $here/nvim_lsp.lua" </dev/null
echo "neovim: all checks passed"
