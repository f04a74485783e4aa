# The commands a newcomer types: `make run` builds and opens the viewer, `make test` builds and runs every test.
# Both install what is missing first (as root, from Debian's archive).
BUILD ?= build
# Each host build gets its own Windows build beside it: build -> build-win.
WIN_BUILD ?= $(BUILD)-win
SAN_BUILD ?= build-asan
# The benchmarks build apart, always optimised as shipped, so no test or debug setting skews them.
BENCH_BUILD ?= $(BUILD)-bench
CMAKE_FLAGS ?=

.PHONY: all deps build run test windows package sanitized fuzz memcheck bench clean

all: build

deps:
	scripts/install-deps.sh linux

build: deps
	cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS)
	cmake --build $(BUILD)

run: build
	scripts/run-viewer.sh $(BUILD)

# The Windows executable, cross-built with mingw-w64 beside copies of the host generators' assets and icon.
windows: deps
	scripts/install-deps.sh windows
	cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS)
	cmake --build $(BUILD) --target assets
	cmake -S . -B $(WIN_BUILD) -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
	  -DBREVANT_HOST_BUILD_DIR=$(abspath $(BUILD))
	cmake --build $(WIN_BUILD)

# The Debian package, $(BUILD)/packages/brevant_VERSION_ARCH.deb, with its dependencies worked out by
# dpkg-shlibdeps, and the Windows archive, $(WIN_BUILD)/packages/brevant-VERSION-win64.zip, both through CPack.
# make test checks both (tests/e2e/test_install.py, which packs its own copies).
package: build windows
	cd $(BUILD) && cpack
	cd $(WIN_BUILD) && cpack

# The unit tests and the viewer once more, with AddressSanitizer and UndefinedBehaviorSanitizer.
sanitized: deps
	cmake -S . -B $(SAN_BUILD) -G Ninja -DBREVANT_SANITIZE=ON
	cmake --build $(SAN_BUILD) --target brevant brevant_unit_tests

# Each libFuzzer target for FUZZ_SECONDS (default 120) or FUZZ_RUNS executions; findings land in
# tests/fuzz/regressions/, which the unit tests replay.
fuzz: deps
	scripts/install-deps.sh fuzz
	scripts/fuzz.sh

# The viewer under valgrind's memcheck for a few hundred frames (a minute or two; not part of test).
memcheck: build
	scripts/install-deps.sh memcheck
	python3 scripts/memcheck.py $(BUILD) --frames 300

# Loading, the frame loop, start-up and memory against their floors, as one table (a few minutes; not part of test).
bench: deps
	scripts/install-deps.sh bench
	cmake -S . -B $(BENCH_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBREVANT_BENCH=ON -DBREVANT_TESTS=OFF
	cmake --build $(BENCH_BUILD) --target bench_programs
	python3 bench/run.py --build $(BENCH_BUILD)

test: build windows sanitized
	BREVANT_WINDOWS_BUILD_DIR=$(abspath $(WIN_BUILD)) BREVANT_SANITIZED_BUILD_DIR=$(abspath $(SAN_BUILD)) ctest --test-dir $(BUILD) --output-on-failure -j2

clean:
	rm -rf $(BUILD) $(WIN_BUILD) $(SAN_BUILD) $(BENCH_BUILD) build-fuzz
