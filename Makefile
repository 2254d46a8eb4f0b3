# Front door for people: each target installs what it needs, configures with
# the matching CMake preset and builds.

CMAKE_ARGS :=
ifeq ($(CI),true)
CMAKE_ARGS += -DWREN_WERROR=ON
endif

.PHONY: all setup build run trace test asan-test bench soak fuzz package install-test vsix wasm web format clean

all: build

setup:
	@scripts/setup.sh

build: setup
	cmake --preset default $(CMAKE_ARGS)
	cmake --build --preset default

# Checks for a display first, and builds only the window.
run:
	@scripts/run-window.sh --check
	@scripts/setup.sh
	cmake --preset default $(CMAKE_ARGS)
	cmake --build --preset default --target wren-simulator
	@scripts/run-window.sh build/default/bin/wren-simulator

trace: setup
	cmake --preset default $(CMAKE_ARGS)
	cmake --build --preset default --target wren-trace
	build/default/bin/wren-trace examples/count-to-overflow.ram

test: build
	ctest --preset default

asan-test: setup
	cmake --preset asan $(CMAKE_ARGS)
	cmake --build --preset asan
	ctest --preset asan

bench: setup
	cmake --preset release $(CMAKE_ARGS)
	cmake --build --preset release
	build/release/bin/wren-bench
	build/release/bin/wren-trace-bench
	build/release/bin/wren-grade-bench
	build/release/bin/wren-every-bench
	build/release/bin/wren-case-check-bench
	build/release/bin/wren-lsp-bench
	build/release/bin/wren-paired-bench
	build/release/bin/wren-ui-bench
	node bench/servers_bench.mjs build/release/bin build/wasm/bin
	node bench/class_bench.mjs build/release/bin/wren-grade
	scripts/build-web.sh >/dev/null && node bench/page_bench.mjs build/web/wren-simulator.html build/release/bin/wren-trace
	node bench/grade_page_bench.mjs build/web/wren-simulator.html build/release/bin/wren-grade

# Holds Run on a loop for SOAK_SECONDS in a real window under Xvfb.
SOAK_SECONDS ?= 300
soak: setup
	cmake --preset release $(CMAKE_ARGS)
	cmake --build --preset release --target wren-soak-bench
	QT_QPA_PLATFORM=xcb xvfb-run -a build/release/bin/wren-soak-bench $(SOAK_SECONDS)

# Fuzzes the loader and the operand parser, FUZZ_SECONDS each.
FUZZ_SECONDS ?= 300
fuzz: setup
	CMAKE_ARGS="$(CMAKE_ARGS)" scripts/fuzz.sh $(FUZZ_SECONDS)

# The Debian package, in build/package/package/.
package: setup
	cmake --preset package $(CMAKE_ARGS)
	cmake --build --preset package
	cpack --preset package

# Installs the package on this machine, checks it and purges it (as root, on
# a machine you can throw away: CI does this).
install-test: package
	tests/install/package_test.sh build/package/package/wren-simulator_*_amd64.deb

# The editor servers as WebAssembly for Node.js (Emscripten):
# build/wasm/bin/wren-lsp.mjs and wren-dap.mjs. make build and make test
# build them too.
wasm: setup
	scripts/build-wasm.sh $(CMAKE_ARGS)

# The page: one file with the editor, the machine and the servers inside,
# build/web/wren-simulator.html, to open from disk or put on any web host.
web: setup
	scripts/build-wasm.sh $(CMAKE_ARGS) >/dev/null
	WREN_WASM_BUILT=1 scripts/build-web.sh

# The VS Code extension, offline, with the WebAssembly servers inside:
# build/default/vsix/wren-simulator-VERSION.vsix.
vsix: setup
	cmake --preset default $(CMAKE_ARGS)
	cmake --build --preset default --target wren_vsix

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf build
