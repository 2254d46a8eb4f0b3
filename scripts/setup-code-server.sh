#!/usr/bin/env bash
# setup-code-server.sh: makes the pinned code-server in tests/vscode (a real
# VS Code workbench for the extension's tests) runnable, offline: npm ci
# without install scripts, then the steps its own install scripts would take
# that fetch nothing but npm packages. Done once per lock file.
set -euo pipefail
cd "$(dirname "$0")/../tests/vscode"
marker=node_modules/.wren-code-server-ready
if [ -f "$marker" ] && [ "$marker" -nt package-lock.json ]; then
    exit 0
fi
quiet=(--no-audit --no-fund --loglevel=error)
npm ci --ignore-scripts "${quiet[@]}"
# argon2's prebuilt download fails offline; node-gyp builds it with the
# headers in /usr/include/node.
npm rebuild argon2 "${quiet[@]}" >/dev/null
vscode=node_modules/code-server/lib/vscode
(cd "$vscode" && npm install --omit=dev --ignore-scripts "${quiet[@]}" >/dev/null)
# ripgrep's npm wrapper would download a binary: Debian's instead.
mkdir -p "$vscode/node_modules/@vscode/ripgrep/bin"
cp /usr/bin/rg "$vscode/node_modules/@vscode/ripgrep/bin/rg"
# node-pty's last step fails after its module is built: check the modules.
(cd "$vscode" && npm rebuild @parcel/watcher @vscode/deviceid @vscode/spdlog kerberos \
    native-watchdog node-pty "${quiet[@]}" >/dev/null 2>&1) || true
for module in node-pty/build/Release/pty.node @parcel/watcher-linux-x64-glibc/watcher.node \
              @vscode/spdlog/build/Release/spdlog.node; do
    [ -f "$vscode/node_modules/$module" ] || { echo "setup-code-server.sh: $module was not built"; exit 1; }
done
# The links that code-server's own post-install makes.
ln -sfn node_modules "$vscode/node_modules.asar"
ln -sfn code-linux.sh "$vscode/bin/remote-cli/code-server"
ln -sfn browser-linux.sh "$vscode/bin/helpers/browser.sh"
(cd "$vscode/extensions" && npm install --omit=dev --ignore-scripts "${quiet[@]}" >/dev/null)
touch "$marker"
