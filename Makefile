# Thin wrapper over CMake for the everyday commands.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
# Warnings are errors for developers and CI; a plain cmake build leaves them warnings.
WERROR ?= ON

.PHONY: all deps build test test-asan test-nogui format check-format check-locale tidy clean install package bench \
	bench-build fuzz matrix demo

all: build

deps:
	@scripts/install-deps

$(BUILD)/build.ninja: | deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUADRANTEL_WERROR=$(WERROR) $(CMAKE_FLAGS)

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# RelWithDebInfo like the default build, which under the sanitizers means -O1 with line tables
# (see CMakeLists.txt): optimised, so its tests run quicker than Debug's.
test-asan:
	$(MAKE) test BUILD=build-asan CMAKE_FLAGS="-DQUADRANTEL_SANITIZE=ON"

test-nogui:
	$(MAKE) test BUILD=build-nogui CMAKE_FLAGS="-DQUADRANTEL_GUI=OFF"

# The Google Benchmark programs (not the fuzzer, not the soak): see bench/README.md.
BENCHES = feed/bench_feed gonio/bench_geodesy link/bench_traffic_table net/net_ReceiveBench app/bench_speaker_cycle stations/bench_airport_lookup atcclient/bench_towrix_probe app/bench_voice_events forms/bench_bindings
bench-build: deps $(BUILD)/build.ninja
	cmake -S . -B $(BUILD) -DQUADRANTEL_BENCH=ON >/dev/null
	cmake --build $(BUILD) -j $(JOBS)

bench: bench-build
	@for b in $(BENCHES); do echo "== $$b"; [ -x $(BUILD)/bench/$$b ] || { echo "not built"; continue; }; $(BUILD)/bench/$$b || exit 1; done

# Every libFuzzer target built (clang) and run FUZZ_SECONDS each, JOBS at once; see bench/README.md.
FUZZ_SECONDS ?= 20
fuzz: deps
	JOBS=$(JOBS) bench/fuzz/build.sh
	FUZZ_JOBS=$(JOBS) bench/fuzz/run.sh $(FUZZ_SECONDS)

# Every build type with every option, built without running the tests: see scripts/build-matrix.
matrix: deps
	scripts/build-matrix

# The program against simulated outside programs; under Xvfb when there is no display.
# VOICE=websocket: the newer voice client's event feed instead of the remote library.
# POSITIONS=feed: aircraft from the simulated data file over HTTP instead of the link; both: the two.
VOICE ?= tsremote
POSITIONS ?= link
demo: build
	BUILD=$(BUILD) VOICE=$(VOICE) POSITIONS=$(POSITIONS) tools/demo/run-demo.sh

format: deps
	git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format -i

check-format: deps
	scripts/check-format

check-locale:
	scripts/check-locale

tidy: build
	JOBS=$(JOBS) scripts/run-tidy $(BUILD)

install: build
	cmake --install $(BUILD) --prefix $(or $(PREFIX),/usr/local)

# The Debian package $(BUILD)/quadrantel_<version>_<arch>.deb.
package: build
	cmake --build $(BUILD) --target package

clean:
	rm -rf build build-asan build-nogui build-fuzz build-matrix
