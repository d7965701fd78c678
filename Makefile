# Bramwick top-level driver. Every target installs what is missing first.
#   make build   cross-build out/x64 and out/x86, and the native test build
#   make test    build, then run the native tests and the Wine tests of both builds (x86 in the
#                32-bit tier, tools/wow64.sh, which it sets up when the machine can run it)
#   make demo    build, register the DLL in the private prefix and show the service
#   make bench   build, then measure the service under Wine against its floors (own prefix)
#   make package build, then the installer packages out/pkg/Bramwick-x86.msi and -x64.msi (wixl)
SHELL := /bin/bash
ROOT := $(CURDIR)
JOBS ?= $(shell nproc)
CMAKE_GEN := -G Ninja -DCMAKE_BUILD_TYPE=Release

.PHONY: all build bootstrap x64 x86 native test demo bench package prefix prefix-down format clean

all: build

bootstrap:
	@tools/bootstrap.sh

x64: bootstrap
	@cmake -S . -B build/x64 $(CMAKE_GEN) -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-x86_64-w64-mingw32.cmake \
		-DBRAMWICK_OUT_DIR=$(ROOT)/out/x64 >/dev/null
	@cmake --build build/x64 -j $(JOBS)

x86: bootstrap
	@cmake -S . -B build/x86 $(CMAKE_GEN) -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-w64-mingw32.cmake \
		-DBRAMWICK_OUT_DIR=$(ROOT)/out/x86 -DBRAMWICK_TESTS=ON >/dev/null
	@cmake --build build/x86 -j $(JOBS)

native: bootstrap
	@cmake -S . -B build/native $(CMAKE_GEN) >/dev/null
	@cmake --build build/native -j $(JOBS)

build: x64 x86 native

package: build
	@tools/package.sh

prefix: bootstrap
	@tools/wineprefix.sh up

prefix-down:
	@tools/wineprefix.sh down

test: build prefix
	@tools/run_tests.sh

demo: build prefix
	@tools/demo.sh

# The benchmark runs in a Wine prefix of its own, so the prefix it starts is that one.
bench: export BRAMWICK_WINEPREFIX := $(ROOT)/build/wineprefix-bench
bench: build prefix
	@bench/run_bench.sh

format:
	@clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	@tools/wineprefix.sh down
	rm -rf build out

# Reliability suites (docs/reliability.md): libFuzzer targets with sanitizers, built
# natively with clang (FUZZ_SECONDS per target).
.PHONY: fuzz
FUZZ_SECONDS ?= 60
fuzz:
	@FUZZ_SECONDS=$(FUZZ_SECONDS) tools/run_fuzz.sh

# The long soak: 8 applications x 200 cycles while the port owner is killed (own prefix).
.PHONY: soak
soak: export BRAMWICK_WINEPREFIX := $(ROOT)/build/wineprefix-soak
soak: build
	@tools/soak.sh
