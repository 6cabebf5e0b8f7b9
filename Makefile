# The two set-up commands of the README:
#   make run   installs what is missing, builds, opens the bundled world map
#   make test  installs what is missing, builds, runs every test (and again
#              the non-GUI libraries under AddressSanitizer and UBSan, and
#              their threaded work under ThreadSanitizer)
# Further targets: bench, fuzz, screenshot, format, and package (the Debian
# package marlo_<version>_<arch>.deb in the build folder).

JOBS ?= $(shell nproc)
BUILD ?= build
SANITIZE_BUILD ?= build-sanitize
THREAD_BUILD ?= build-thread
BENCH_BUILD ?= build-bench
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
CMAKE_GEN := $(shell command -v ninja >/dev/null 2>&1 && echo "-G Ninja")

.PHONY: all deps build run test test-main test-sanitize test-thread bench fuzz screenshot package format clean

all: build

deps:
	@scripts/install-deps

build: deps
	@cmake -S . -B $(BUILD) $(if $(wildcard $(BUILD)/CMakeCache.txt),,$(CMAKE_GEN)) -DCMAKE_BUILD_TYPE=Release -DMARLO_TESTS=ON >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

# Builds only the two programs it runs: a fresh clone configures without the
# tests (and without GoogleTest), a folder already set up for them keeps them.
run:
	@scripts/install-deps --run
	@cmake -S . -B $(BUILD) $(if $(wildcard $(BUILD)/CMakeCache.txt),,$(CMAKE_GEN) -DMARLO_TESTS=OFF) -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build $(BUILD) -j $(JOBS) --target Marlo marlo-cli
	@scripts/run-default $(BUILD)

test: test-main test-sanitize test-thread

test-main: build
	@ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

test-sanitize: deps
	@cmake -S . -B $(SANITIZE_BUILD) $(if $(wildcard $(SANITIZE_BUILD)/CMakeCache.txt),,$(CMAKE_GEN)) \
	    -DCMAKE_BUILD_TYPE=Debug -DMARLO_GUI=OFF -DMARLO_SANITIZE=ON >/dev/null
	@cmake --build $(SANITIZE_BUILD) -j $(JOBS)
	@ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:abort_on_error=1 \
	 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	 ctest --test-dir $(SANITIZE_BUILD) --output-on-failure -j $(JOBS)

# The work shared between threads (the copy's restore, the display geometry,
# the viewer's commands on a large map and its name index, convert's record
# pipeline, the hole assignment beside the reading, a shapefile's table
# written beside its index) under
# ThreadSanitizer; Qt's and GLib's own threads are suppressed.
test-thread: deps
	@cmake -S . -B $(THREAD_BUILD) $(if $(wildcard $(THREAD_BUILD)/CMakeCache.txt),,$(CMAKE_GEN)) \
	    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMARLO_GUI=ON -DMARLO_THREAD_SANITIZE=ON >/dev/null
	@cmake --build $(THREAD_BUILD) -j $(JOBS) \
	    --target geometry_copy_tests display_geometry_tests viewer_tests marlo_cli_flat_ring_tests \
	    mapfiles_tests
	@TSAN_OPTIONS="halt_on_error=1 die_after_fork=0 suppressions=$(CURDIR)/tests/thread-sanitizer.supp" \
	 ctest --test-dir $(THREAD_BUILD) --output-on-failure -j $(JOBS) \
	    -R 'CoordinateCopy|DisplayGeometry|ExactUndo|SphereDisplay|FileCommand|RecordPipeline|HoleAssignment|MemoryWarmer|ShapefileSet'

bench:
	@scripts/install-deps --bench
	@cmake -S . -B $(BENCH_BUILD) $(if $(wildcard $(BENCH_BUILD)/CMakeCache.txt),,$(CMAKE_GEN)) \
	    -DCMAKE_BUILD_TYPE=Release -DMARLO_BENCH=ON >/dev/null
	@cmake --build $(BENCH_BUILD) -j $(JOBS)
	@scripts/run-benchmarks $(BENCH_BUILD)

fuzz:
	@scripts/install-deps --fuzz
	@CXX=clang++-14 cmake -S . -B $(FUZZ_BUILD) $(if $(wildcard $(FUZZ_BUILD)/CMakeCache.txt),,$(CMAKE_GEN)) \
	    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMARLO_GUI=OFF -DMARLO_FUZZ=ON >/dev/null
	@cmake --build $(FUZZ_BUILD) -j $(JOBS)
	@scripts/run-fuzzers $(FUZZ_BUILD) $(FUZZ_SECONDS)

screenshot: build
	@scripts/screenshot $(BUILD)

package: build
	@scripts/install-deps --package
	@cd $(BUILD) && cpack -G DEB

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(SANITIZE_BUILD) $(THREAD_BUILD) $(BENCH_BUILD) $(FUZZ_BUILD)
