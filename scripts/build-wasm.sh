#!/usr/bin/env bash
# build-wasm.sh [CMAKE ARGS...]: builds the editor servers as WebAssembly for
# Node.js with the wasm preset (Emscripten; scripts/setup.sh installs it):
# build/wasm/bin/wren-lsp.mjs and build/wasm/bin/wren-dap.mjs.
set -euo pipefail
cd "$(dirname "$0")/.."
command -v emcmake >/dev/null || { echo "build-wasm.sh: Emscripten is missing: run scripts/setup.sh"; exit 1; }
# Emscripten's JavaScript optimiser needs acorn, which Debian keeps here.
export NODE_PATH=/usr/share/nodejs
if [ ! -f build/wasm/build.ninja ] || [ $# -gt 0 ]; then
    emcmake cmake --preset wasm "$@" >/dev/null
fi
cmake --build --preset wasm
