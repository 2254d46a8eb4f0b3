#!/usr/bin/env bash
# Installs the Debian packages listed in scripts/packages.txt that are missing,
# then the pinned npm packages of the editor tests.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
mapfile -t wanted < <(grep -v -e '^#' -e '^[[:space:]]*$' "$here/packages.txt")

sudo=()
[ "$(id -u)" -ne 0 ] && sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
# Wait for another package manager (an update running in the background, say)
# instead of failing at once on its lock.
apt=("${sudo[@]}" apt-get -o DPkg::Lock::Timeout=600)

missing=()
for pkg in "${wanted[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$pkg")
    fi
done
# node and npm: the machine's own where it has them (a newer Node.js than
# Debian's), Debian's otherwise.
command -v npm >/dev/null 2>&1 || missing+=(nodejs npm)

if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    "${apt[@]}" update -qq
    "${apt[@]}" install -y -qq --no-install-recommends "${missing[@]}"
fi

# The npm packages exactly as pinned in each package-lock.json: the protocol
# clients of the tests, and the VS Code extension's client library and build
# tools. Again only when a lock file changed.
for node_dir in "$root/tests/node" "$root/editors/vscode" "$root/web" "$root/tests/web"; do
    if [ ! -f "$node_dir/node_modules/.package-lock.json" ] ||
       [ "$node_dir/package-lock.json" -nt "$node_dir/node_modules/.package-lock.json" ]; then
        (cd "$node_dir" && npm ci --no-audit --no-fund --loglevel=error)
    fi
done
# code-server and playwright-core for the extension's tests in a real VS Code.
"$here/setup-code-server.sh"
