# Front door for people: each target installs what it needs, configures with
# the matching CMake preset and builds.

CMAKE_ARGS :=
ifeq ($(CI),true)
CMAKE_ARGS += -DWREN_WERROR=ON
endif

.PHONY: all setup build run trace test asan-test bench format clean

all: build

setup:
	@scripts/setup.sh

build: setup
	cmake --preset default $(CMAKE_ARGS)
	cmake --build --preset default

run: build
	@scripts/run-window.sh build/default/bin/wren

trace: build
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
	build/release/bin/wren-ui-bench

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf build
