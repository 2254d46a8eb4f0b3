#!/usr/bin/env bash
# package_test.sh FILE.deb: installs the package on this machine with apt-get
# as a user would, checks what it installed, then purges it and checks that
# nothing of it is left. The package is purged on failure too. Needs root
# and a throwaway machine, such as CI's.
set -euo pipefail
deb=$(realpath "$1")
here=$(cd "$(dirname "$0")/../.." && pwd)
pkg=wren-simulator
lib=/usr/lib/wren-simulator

fail() { echo "FAIL: $*"; exit 1; }
[ "$(id -u)" -eq 0 ] || { echo "SKIP: installing a package needs root"; exit 77; }
if dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok'; then
    fail "$pkg is already installed here; this test would remove it"
fi
purge() { DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq "$pkg" >/dev/null 2>&1 || true; }
trap purge EXIT

echo "-- lintian finds no errors"
report=$(lintian --fail-on error "$deb" 2>&1) || fail "lintian: $report"

DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    -o DPkg::Lock::Timeout=600 "$deb" >/dev/null
mapfile -t files < <(dpkg -L "$pkg")

echo "-- versions"
for tool in wren-simulator wren-trace wren-grade wren-lsp wren-dap; do
    [ "$($tool --version)" = "$tool $(dpkg-query -W -f='${Version}' "$pkg")" ] ||
        fail "$tool --version does not give the package's version"
done

echo "-- the installed examples run to their expected final state"
count=0
for program in "$lib"/*.ram; do
    expected=$here/examples/$(basename "${program%.ram}").expected
    steps=$(head -n 1 "$program" | sed -n 's/.*steps: *\([0-9]*\).*/\1/p')
    actual=$(wren-trace --quiet --steps "${steps:-10000}" "$program" 2>&1; echo "exit $?")
    [ "${actual//$program/PROGRAM}" = "$(cat "$expected")" ] || fail "$program: $actual"
    count=$((count + 1))
done
[ "$count" -ge 4 ] || fail "only $count examples installed in $lib"

echo "-- man pages render without warnings"
for page in wren-simulator wren-trace wren-grade wren-lsp wren-dap; do
    warnings=$(MANWIDTH=80 man --warnings "$page" 2>&1 >/dev/null) || fail "man $page failed"
    [ -z "$warnings" ] || fail "man $page: $warnings"
done

echo "-- the installed language server answers an editor"
frame() { printf 'Content-Length: %d\r\n\r\n%s' "${#1}" "$1"; }
answers=$( { frame '{"jsonrpc":"2.0","id":1,"method":"initialize","params":{"capabilities":{}}}'
             frame '{"jsonrpc":"2.0","method":"textDocument/didOpen","params":{"textDocument":{"uri":"file:///a.ram","version":1,"text":"ldai 5"}}}'
             frame '{"jsonrpc":"2.0","id":2,"method":"shutdown"}'
             frame '{"jsonrpc":"2.0","method":"exit"}'; } | timeout 10 wren-lsp) ||
    fail "wren-lsp did not exit with 0 after shutdown"
[[ $answers == *'"code":"unknown-mnemonic"'* ]] || fail "wren-lsp: $answers"

echo "-- the installed debug adapter runs an example to its end"
answers=$( { frame '{"seq":1,"type":"request","command":"initialize","arguments":{"adapterID":"wren-ram"}}'
             frame "{\"seq\":2,\"type\":\"request\",\"command\":\"launch\",\"arguments\":{\"program\":\"$lib/jump-table.ram\"}}"
             frame '{"seq":3,"type":"request","command":"configurationDone"}'
             sleep 1
             frame '{"seq":4,"type":"request","command":"disconnect"}'; } | timeout 10 wren-dap) ||
    fail "wren-dap did not exit with 0 after disconnect"
[[ $answers == *'"description":"no instruction at address 40"'* ]] || fail "wren-dap: $answers"

echo "-- the editors' files are where the editors look, and work there"
version=$(dpkg-query -W -f='${Version}' "$pkg")
vsix=/usr/share/wren-simulator/wren-simulator-$version.vsix
unzip -tq "$vsix" >/dev/null || fail "$vsix is not a whole package"
page=/usr/share/wren-simulator/web/wren-simulator.html
grep -q 'Wren processor simulator' "$page" || fail "no page at $page"
for dir in /usr/share/vim/vimfiles /usr/share/nvim/site; do
    for file in ftdetect/wrenram.vim syntax/wrenram.vim ftplugin/wrenram.vim compiler/wren.vim; do
        [ -f "$dir/$file" ] || fail "no $dir/$file"
    done
done
[ -f /usr/share/nvim/site/ftplugin/wrenram.lua ] || fail "no Neovim ftplugin"
"$here/tests/editors/vim_test.sh" /usr/bin || fail "Vim with the installed files"
"$here/tests/editors/nvim_runtime.sh" /usr/bin || fail "Neovim with the installed files"
"$here/tests/editors/emacs_test.sh" /usr/bin || fail "Emacs with the installed files"
"$here/tests/editors/kate_test.sh" || fail "Kate with the installed definition"

echo "-- desktop entry and metainfo validate"
desktop-file-validate /usr/share/applications/org.wrensimulator.Simulator.desktop
appstreamcli validate --no-net /usr/share/metainfo/org.wrensimulator.Simulator.metainfo.xml >/dev/null
[ -f /usr/share/icons/hicolor/scalable/apps/wren-simulator.svg ] || fail "no scalable icon"

echo "-- the installed window opens its dialog on the examples"
# The dialog accepts only a file that exists in its folder, so accepting a
# bare example name shows that it opened where the examples are.
WREN_LIB=$lib xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
    set -euo pipefail
    QT_QPA_PLATFORM=xcb wren-simulator &
    pid=$!
    trap "kill $pid 2>/dev/null || true" EXIT
    find_window() {
        for _ in $(seq 200); do
            xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1 | grep . && return 0
            sleep 0.1
        done
    }
    [ -n "$(find_window "^Open RAM file$")" ] || { echo "FAIL: no start-up dialog"; exit 1; }
    [ "$(readlink -f /proc/$pid/exe)" = "$WREN_LIB/wren-simulator" ] || exit 1
    xdotool type --delay 5 jump-table.ram
    xdotool key Return
    [ -n "$(find_window "^Wren processor simulator$")" ] || { echo "FAIL: no main window"; exit 1; }
    sleep 0.3
    if xdotool search --onlyvisible --name "^Open RAM file$" >/dev/null; then
        echo "FAIL: the dialog did not find jump-table.ram in its folder"
        exit 1
    fi
' || fail "the installed window"

echo "-- purge leaves nothing behind"
trap - EXIT
DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq "$pkg" >/dev/null
! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok' || fail "still installed"
for file in "${files[@]}"; do
    [ -d "$file" ] && continue
    [ ! -e "$file" ] && [ ! -L "$file" ] || fail "$file is left after purge"
done
[ ! -e "$lib" ] || fail "$lib is left after purge"
echo "package test: all checks passed"
