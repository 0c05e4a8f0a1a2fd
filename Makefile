# The two commands of the README: `make run` and `make test`. Both install what is missing.
#   make          build (normal build in build/)
#   make run      build and run the main job
#   make test     build, then run every suite; the engine suites also under the sanitizers
#   make deps     install missing system packages only
#   make bench    build and run the benchmark (bench/agemill_bench, docs/performance.md);
#                 `make bench QUICK=1` or `make bench-quick` for the small workload,
#                 `make bench BENCH_ARGS="--repeat 3"` passes options to the program
BUILD     ?= build
SAN_BUILD ?= build-san
JOBS      ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_GEN := $(shell command -v ninja >/dev/null 2>&1 && echo "-G Ninja")

.PHONY: all deps build build-san test test-fast run clean bench bench-quick bench-deps

all: build

deps:
	@bash tools/install-packages.sh

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo

$(SAN_BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(SAN_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DAGEMILL_SANITIZE=ON -DAGEMILL_GUI=OFF

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

build-san: deps $(SAN_BUILD)/CMakeCache.txt
	cmake --build $(SAN_BUILD) -j $(JOBS)

# Every suite in the normal build, then the engine suites in the sanitizer build.
test: build build-san
	ctest --test-dir $(BUILD) -j $(JOBS) --output-on-failure
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --test-dir $(SAN_BUILD) -L engine -j $(JOBS) --output-on-failure

# The normal build's suites only (quicker while working).
test-fast: build
	ctest --test-dir $(BUILD) -j $(JOBS) --output-on-failure

# Agemill's window; without a display (DISPLAY and WAYLAND_DISPLAY empty) it is drawn offscreen
# and saved as a picture.
run: build
	@if [ -z "$$DISPLAY" ] && [ -z "$$WAYLAND_DISPLAY" ]; then \
	  QT_QPA_PLATFORM=offscreen $(BUILD)/gui/agemill --screenshot $(BUILD)/agemill.png && \
	  echo "No display: Agemill's window was drawn offscreen; the picture is $(abspath $(BUILD))/agemill.png"; \
	else \
	  $(BUILD)/gui/agemill; \
	fi

# The benchmark: its own optimised build without the Qt front end, so that it needs only the
# packages in bench/packages.txt. Never part of `make test`.
BENCH_BUILD ?= build-bench
BENCH_ARGS  ?=
ifneq ($(filter-out 0 no,$(QUICK)),)
  BENCH_ARGS += --quick
endif

bench-deps:
	@bash tools/install-packages.sh bench/packages.txt

$(BENCH_BUILD)/CMakeCache.txt: | bench-deps
	cmake -S . -B $(BENCH_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release \
	  "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG" -DAGEMILL_GUI=OFF

bench: bench-deps $(BENCH_BUILD)/CMakeCache.txt
	cmake --build $(BENCH_BUILD) -j $(JOBS) --target agemill_bench
	$(BENCH_BUILD)/bench/agemill_bench $(BENCH_ARGS)

bench-quick:
	@$(MAKE) --no-print-directory bench QUICK=1

# Fuzzing: a clang build of its own (tests/fuzz/fuzz_build.cmake) with libFuzzer and the address
# and undefined-behaviour sanitizers; every target runs FUZZ_SECONDS (default 60) and any crash,
# sanitizer report, leak or hang fails. Findings are saved in $(FUZZ_BUILD)/fuzz-findings/.
# (`make test` replays the seed corpus and the saved regressions without clang.)
FUZZ_BUILD   ?= build-fuzz
FUZZ_SECONDS ?= 60
.PHONY: fuzz
fuzz: deps
	cmake -C tests/fuzz/fuzz_build.cmake -S . -B $(FUZZ_BUILD) $(CMAKE_GEN)
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzzers
	bash tests/fuzz/run_fuzz.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

clean:
	rm -rf $(BUILD) $(SAN_BUILD)
