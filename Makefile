# The front door: `make demo` and `make test` install what is missing, build and run.
SHELL := /bin/bash
FUZZ_SECONDS ?= 600

# Asked once: can this machine execute 32-bit x86 code (and so run 32-bit Wine)? Every script
# below reads the answer from the environment instead of asking again.
export BRIMLOFT_RUNS_32BIT := $(shell scripts/runs-32bit && echo yes || echo no)
# The program that `make demo` and the window benchmark run: 32-bit where it can run.
MAIN_BITS := $(if $(filter yes,$(BRIMLOFT_RUNS_32BIT)),32,64)

.PHONY: all deps native win32 win64 test test-native test-win32 test-win64 demo fuzz bench clean

all: native win32 win64

deps:
	@scripts/setup-deps

native: deps
	cmake --preset native >/dev/null
	cmake --build --preset native

win32 win64: deps
	cmake --preset $@ >/dev/null
	cmake --build --preset $@

test: test-native test-win64 test-win32

test-native: native
	ctest --preset native -j2

test-win64: win64
	scripts/with-display 64 ctest --preset win64

# Where 32-bit code cannot run, the 32-bit build is still made and its files checked; its Wine
# tests are reported as skipped by ctest.
test-win32: win32
ifeq ($(BRIMLOFT_RUNS_32BIT),yes)
	scripts/with-display 32 ctest --preset win32
else
	@echo "make test: 32-bit suite SKIPPED: this machine cannot execute 32-bit x86 code, so no 32-bit Wine can start; the 64-bit suite ran the Wine tests"
	ctest --preset win32
endif

demo: win$(MAIN_BITS)
	scripts/demo $(MAIN_BITS)

fuzz: native
	scripts/fuzz $(FUZZ_SECONDS)

bench: win$(MAIN_BITS)
	cmake --preset bench >/dev/null
	cmake --build --preset bench
	scripts/bench

clean:
	rm -rf build
