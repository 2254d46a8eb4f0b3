#!/usr/bin/env bash
# build-vsix.sh OUT.vsix: packages the VS Code extension in editors/vscode,
# offline, with the pinned @vscode/vsce (scripts/setup.sh installs it).
set -euo pipefail
out=$(realpath -m "$1")
cd "$(dirname "$0")/../editors/vscode"
[ -x node_modules/.bin/vsce ] || { echo "build-vsix.sh: run scripts/setup.sh first (npm ci)"; exit 1; }
mkdir -p "$(dirname "$out")"
node_modules/.bin/vsce package --allow-missing-repository --skip-license --out "$out" >/dev/null
echo "built $out"
