# Thin wrapper over CMake.  `make demo` builds the tool and runs it on a
# generated demo image; `make test` builds and runs every test.

BUILD ?= build
CMAKE ?= cmake
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all build demo test clean

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

clean:
	rm -rf $(BUILD) demo
