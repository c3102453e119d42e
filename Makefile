# Velquin: build, test and demo entry points. Every target installs the
# Debian packages it needs first and builds incrementally.

PYTHON := /usr/bin/python3
BUILD ?= build
BUILD_TYPE ?= Release
WERROR ?= OFF
SANITIZE_BUILD ?= $(BUILD)-sanitize
FUZZ_BUILD ?= $(BUILD)-fuzz
FUZZ_SECONDS ?= 60
ABS_BUILD := $(abspath $(BUILD))
# Parallel compile jobs; empty lets the build tool choose.
JOBS ?=
JOBS_FLAG := $(if $(JOBS),-j $(JOBS),)

.PHONY: all deps configure build test test-cpp test-python test-package demo sanitize fuzz bench format clean

all: build

deps:
	@tools/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DVELQUIN_WERROR=$(WERROR) >/dev/null

build: configure
	cmake --build $(BUILD) $(JOBS_FLAG)

test: build
	$(MAKE) --no-print-directory test-cpp test-python

test-cpp:
	ctest --test-dir $(BUILD) --output-on-failure --timeout 600

test-python:
	PYTHONPATH=$(ABS_BUILD)/python VELQUIN_BUILD_DIR=$(ABS_BUILD) \
	  $(PYTHON) -m pytest -q -p no:cacheprovider tests/python

# The Python package: builds the wheel (with a CMake build of its own under
# build/wheel), installs it into a fresh virtual environment and runs a study
# with its `velquin` command outside the source tree. Slow, so apart from
# `make test`.
test-package: deps
	$(PYTHON) -m pytest -q -p no:cacheprovider tests/package

# The example study: its networks are converted to saved cases once, then
# the workbook runs them.
DEMO_CASES := $(BUILD)/demo/cases
DEMO_SMALL := $(patsubst examples/demo/cases/%.raw,$(DEMO_CASES)/%.sav,$(wildcard examples/demo/cases/*.raw))

demo: build $(DEMO_CASES)/activsg10k.sav $(DEMO_SMALL)
	VELQUIN_BUILD_DIR=$(ABS_BUILD) $(PYTHON) bin/velquin run examples/demo/config.xlsx

$(DEMO_CASES)/activsg10k.sav: tests/data/matpower/case_ACTIVSg10k.m | build
	@mkdir -p $(DEMO_CASES)
	VELQUIN_BUILD_DIR=$(ABS_BUILD) $(PYTHON) bin/velquin convert $< $@

$(DEMO_CASES)/%.sav: examples/demo/cases/%.raw | build
	@mkdir -p $(DEMO_CASES)
	VELQUIN_BUILD_DIR=$(ABS_BUILD) $(PYTHON) bin/velquin convert $< $@

# C++ core and its tests under AddressSanitizer and UndefinedBehaviorSanitizer.
sanitize: deps
	@cmake -S . -B $(SANITIZE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELQUIN_SANITIZE=ON \
	  -DVELQUIN_PYTHON=OFF -DVELQUIN_BENCH=OFF >/dev/null
	cmake --build $(SANITIZE_BUILD) $(JOBS_FLAG)
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --test-dir $(SANITIZE_BUILD) --output-on-failure --timeout 1200

# Runs every fuzz target for FUZZ_SECONDS seconds on its seed corpus.
fuzz: deps
	@CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELQUIN_FUZZ=ON \
	  -DVELQUIN_PYTHON=OFF -DVELQUIN_TESTS=OFF -DVELQUIN_BENCH=OFF >/dev/null
	cmake --build $(FUZZ_BUILD) $(JOBS_FLAG)
	tools/run-fuzzers.sh $(FUZZ_BUILD)/fuzz $(FUZZ_SECONDS)

bench: build
	tools/run-benchmarks.sh $(BUILD)

format:
	git ls-files '*.cpp' '*.hpp' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(SANITIZE_BUILD) $(FUZZ_BUILD)
