#!/usr/bin/env bash
# build-web.sh [OUT.html]: builds the page as one file (default
# build/web/wren-simulator.html): the WebAssembly servers for Web Workers
# (scripts/build-wasm.sh), then the editor bundled and everything inlined by
# web/build.mjs with the pinned esbuild (scripts/setup.sh installs it).
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath -m "${1:-build/web/wren-simulator.html}")
[ -x web/node_modules/.bin/esbuild ] || { echo "build-web.sh: run scripts/setup.sh first (npm ci in web/)"; exit 1; }
[ -n "${WREN_WASM_BUILT:-}" ] || scripts/build-wasm.sh >/dev/null
node web/build.mjs build/wasm/bin/wren-web.worker.js "$out"
