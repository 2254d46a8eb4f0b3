#!/usr/bin/env bash
# build-vsix.sh OUT.vsix WASM_BIN: packages the VS Code extension in
# editors/vscode, offline, with the pinned @vscode/vsce (scripts/setup.sh
# installs it), and with the WebAssembly servers from WASM_BIN in server/.
set -euo pipefail
out=$(realpath -m "$1")
wasm=$(realpath -m "$2")
cd "$(dirname "$0")/../editors/vscode"
[ -x node_modules/.bin/vsce ] || { echo "build-vsix.sh: run scripts/setup.sh first (npm ci)"; exit 1; }
for server in wren-lsp.mjs wren-dap.mjs; do
    [ -f "$wasm/$server" ] || { echo "build-vsix.sh: $wasm/$server is missing: make wasm"; exit 1; }
done
rm -rf server
mkdir -p server "$(dirname "$out")"
cp "$wasm/wren-lsp.mjs" "$wasm/wren-dap.mjs" server/
node_modules/.bin/vsce package --allow-missing-repository --skip-license --out "$out" >/dev/null
echo "built $out"
