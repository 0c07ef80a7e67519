# The front door: `make demo` and `make test` install what is missing, build and run.
SHELL := /bin/bash
FUZZ_SECONDS ?= 600

.PHONY: all deps native win32 test test-native test-win32 demo fuzz bench clean

all: native win32

deps:
	@scripts/setup-deps

native: deps
	cmake --preset native >/dev/null
	cmake --build --preset native

win32: deps
	cmake --preset win32 >/dev/null
	cmake --build --preset win32

test: test-native test-win32

test-native: native
	ctest --preset native -j2

test-win32: win32
	scripts/with-display ctest --preset win32

demo: win32
	scripts/demo

fuzz: native
	scripts/fuzz $(FUZZ_SECONDS)

bench: win32
	cmake --preset bench >/dev/null
	cmake --build --preset bench
	scripts/bench

clean:
	rm -rf build
