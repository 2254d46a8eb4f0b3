#!/usr/bin/env bash
# user_install_test.sh BUILD_DIR: installs the build into a home-like prefix,
# as a user without root would with --prefix ~/.local, and checks that the
# commands run from there and the menu entry points at them.
set -euo pipefail
build=$1
prefix=$(mktemp -d)/.local
trap 'rm -rf "$(dirname "$prefix")"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null
for tool in wren-simulator wren-trace wren-grade wren-lsp wren-dap; do
    "$prefix/bin/$tool" --version | grep -q "^$tool " || fail "$tool does not run from $prefix/bin"
done
[ "$(readlink -f "$prefix/bin/wren-simulator")" = "$prefix/lib/wren-simulator/wren-simulator" ] ||
    fail "bin/wren-simulator does not lead to the folder with the examples"
ls "$prefix"/lib/wren-simulator/*.ram >/dev/null || fail "no examples beside the window"
entry=$prefix/share/applications/org.wrensimulator.Simulator.desktop
grep -qx "Exec=$prefix/bin/wren-simulator" "$entry" || fail "the menu entry does not run $prefix/bin"
if command -v desktop-file-validate >/dev/null; then desktop-file-validate "$entry"; fi
[ -f "$prefix/share/icons/hicolor/48x48/apps/wren-simulator.png" ] || fail "no 48 px icon"
[ -f "$prefix/share/man/man1/wren-trace.1.gz" ] || fail "no man page"
echo "user install: all checks passed"
