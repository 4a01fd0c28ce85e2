# Thin wrapper over CMake.  `make demo` builds the tool and runs it on a
# generated demo image; `make test` builds and runs every test.

BUILD ?= build
CMAKE ?= cmake
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all build demo test sanitize fuzz bench clean

all: build

build:
	$(CMAKE) -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release
	$(CMAKE) --build $(BUILD) -j $(JOBS) -- --no-print-directory

demo: build
	mkdir -p demo
	$(BUILD)/make_demo_image demo/scenario.d88
	cd demo && ../$(BUILD)/tamrek scenario.d88

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# Every test again, in a build with AddressSanitizer and UBSan.
sanitize:
	$(CMAKE) -S . -B $(BUILD)-asan -DCMAKE_BUILD_TYPE=Debug -DTAMREK_SANITIZE=ON
	$(CMAKE) --build $(BUILD)-asan -j $(JOBS) -- --no-print-directory
	cd $(BUILD)-asan && ctest --output-on-failure -j $(JOBS)

# The reader's fuzzer (clang, libFuzzer) for FUZZ_SECONDS seconds.
FUZZ_SECONDS ?= 60
fuzz:
	FUZZ_BUILD=$(BUILD)-fuzz fuzz/run_fuzzer.sh $(FUZZ_SECONDS)

# Benchmarks: a Release build of their own; not part of `make test`.
bench:
	$(CMAKE) -S . -B $(BUILD)-bench -DCMAKE_BUILD_TYPE=Release \
	  -DTAMREK_BUILD_TESTS=OFF -DTAMREK_BUILD_BENCHMARKS=ON
	$(CMAKE) --build $(BUILD)-bench -j $(JOBS) -- --no-print-directory
	$(BUILD)-bench/d88_image_bench $(BENCH_FLAGS)

clean:
	rm -rf $(BUILD) $(BUILD)-bench $(BUILD)-asan $(BUILD)-fuzz demo fuzz-artifacts
