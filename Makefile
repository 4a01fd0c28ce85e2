# Thin wrapper over CMake.  `make` builds the tool in build/ (build/tamrek);
# `make demo` builds it and runs it on a generated demo image; `make test`
# builds and runs every test, in build-test/.  The tool alone needs only a
# compiler and CMake; the tests need GoogleTest and build with -Werror.

BUILD ?= build
TEST_BUILD ?= $(BUILD)-test
CMAKE ?= cmake
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all configure build demo system-calls test test-build test-m32 sanitize fuzz bench bench-build windows windows-probe windows-test web web-test dist dist-check clean

all: build

configure:
	$(CMAKE) -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release

build: configure
	$(CMAKE) --build $(BUILD) -j $(JOBS) -- --no-print-directory

demo: configure
	$(CMAKE) --build $(BUILD) -j $(JOBS) --target tamrek make_demo_image -- --no-print-directory
	mkdir -p demo
	$(BUILD)/make_demo_image demo/scenario.d88
	cd demo && $(abspath $(BUILD))/tamrek scenario.d88

# The system calls of whole runs of the program on the demo image, for
# information, and that neither flushes (strace): see bench/system_calls.sh.
system-calls: configure
	$(CMAKE) --build $(BUILD) -j $(JOBS) --target tamrek make_demo_image -- --no-print-directory
	bench/system_calls.sh $(BUILD)/tamrek $(BUILD)/make_demo_image

test-build:
	$(CMAKE) -S . -B $(TEST_BUILD) -DCMAKE_BUILD_TYPE=Release \
	  -DTAMREK_BUILD_TESTS=ON -DTAMREK_WERROR=ON
	$(CMAKE) --build $(TEST_BUILD) -j $(JOBS) -- --no-print-directory

test: test-build
	cd $(TEST_BUILD) && ctest --output-on-failure -j $(JOBS)

# The unit and end-to-end tests of a 32-bit build (g++ -m32: gcc-multilib and
# g++-multilib), with GoogleTest built for it from Debian's sources.  Where
# the kernel runs no 32-bit programs (ia32_emulation off), they run under
# qemu-i386 (qemu-user), the tool under test included.
GTEST_SOURCE ?= /usr/src/googletest
M32_BUILD := $(BUILD)-m32
test-m32:
	CXX="$${CXX:-g++} -m32" $(CMAKE) -S . -B $(M32_BUILD) -DCMAKE_BUILD_TYPE=Release \
	  -DTAMREK_BUILD_TESTS=ON -DTAMREK_WERROR=ON -DTAMREK_GTEST_SOURCE=$(GTEST_SOURCE)
	$(CMAKE) --build $(M32_BUILD) -j $(JOBS) --target tamrek -- --no-print-directory
	emulator=$$($(M32_BUILD)/tamrek --version >/dev/null 2>&1 || echo qemu-i386) && \
	echo "32-bit programs run $${emulator:+under }$${emulator:-natively}" && \
	$(CMAKE) -S . -B $(M32_BUILD) -DCMAKE_CROSSCOMPILING_EMULATOR="$$emulator" >/dev/null && \
	$(CMAKE) --build $(M32_BUILD) -j $(JOBS) -- --no-print-directory && \
	file $(M32_BUILD)/tamrek && cd $(M32_BUILD) && \
	TAMREK_TOOL="$$emulator $(abspath $(M32_BUILD))/tamrek" ctest --output-on-failure -j $(JOBS)

# Every test again, in a build with AddressSanitizer and UBSan.
sanitize:
	$(CMAKE) -S . -B $(BUILD)-asan -DCMAKE_BUILD_TYPE=Debug -DTAMREK_SANITIZE=ON \
	  -DTAMREK_BUILD_TESTS=ON -DTAMREK_WERROR=ON
	$(CMAKE) --build $(BUILD)-asan -j $(JOBS) -- --no-print-directory
	cd $(BUILD)-asan && ctest --output-on-failure -j $(JOBS)

# The reader's fuzzer (clang, libFuzzer) for FUZZ_SECONDS seconds.
FUZZ_SECONDS ?= 60
fuzz:
	FUZZ_BUILD=$(BUILD)-fuzz fuzz/run_fuzzer.sh $(FUZZ_SECONDS)

# The shipping Windows program: a static PE32 console tamrek.exe for 32-bit
# Windows, cross-built with MinGW-w64 and left in dist/windows/.  With
# WINDOWS_ARCH=x86_64, the same program for 64-bit Windows instead, for the
# tests only (dist/windows-x86_64/).
WINDOWS_ARCH ?= i686
WINDOWS_BUILD := $(BUILD)-windows-$(WINDOWS_ARCH)
WINDOWS_EXE := dist/windows$(if $(filter x86_64,$(WINDOWS_ARCH)),-x86_64)/tamrek.exe
windows:
	$(CMAKE) -S . -B $(WINDOWS_BUILD) -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-$(WINDOWS_ARCH).cmake
	$(CMAKE) --build $(WINDOWS_BUILD) -j $(JOBS) --target tamrek -- --no-print-directory
	tools/check_windows_exe.sh $(WINDOWS_BUILD)/tamrek.exe $(WINDOWS_ARCH) $(VERSION)
	mkdir -p $(dir $(WINDOWS_EXE))
	cp $(WINDOWS_BUILD)/tamrek.exe $(WINDOWS_EXE)

# Whether Wine runs that program here: a fresh prefix, and its version line.
# 32-bit Windows programs need Debian's wine32:i386 and a kernel that runs
# 32-bit programs.  Fails, saying why, when it does not.  The 64-bit
# program runs under Debian's 64-bit loader itself: its `wine` script takes
# the 32-bit loader whenever wine32 is installed, even under a kernel that
# cannot run it.
WINE64_LOADER := /usr/lib/wine/wine64
ifeq ($(WINDOWS_ARCH)$(origin WINE),x86_64undefined)
ifneq ($(wildcard $(WINE64_LOADER)),)
WINE := $(WINE64_LOADER)
export WINELOADER := $(WINE64_LOADER)
endif
endif
WINE ?= wine
WINE_PREFIX ?= $(abspath $(BUILD)-wine-prefix)
windows-probe: windows
	rm -rf $(WINE_PREFIX)
	WINEPREFIX=$(WINE_PREFIX) WINEDEBUG=-all $(WINE) wineboot --init
	@version=$$(WINEPREFIX=$(WINE_PREFIX) WINEDEBUG=-all $(WINE) $(abspath $(WINDOWS_EXE)) --version 2>&1 || true); \
	case "$$version" in \
	  "tamrek $(VERSION)"*) echo "Wine runs $(WINDOWS_EXE)" ;; \
	  *) printf 'Wine does not run $(WINDOWS_EXE): %.600s\n' "$${version:-no output}"; exit 1 ;; \
	esac

# The end-to-end tests against that program under Wine, in a fresh prefix.
# The tests judge the program by its output: a Wine that cannot run it runs
# nothing and exits 0.  The tests that must hold a run at a chosen moment
# run a variant built with the test-only pause (TAMREK_TEST_HOOKS), left in
# its build directory, never in dist/, with a helper that holds a file open
# as another program would: under Wine the file system calls are made by the
# Wine server, where strace cannot single out the program's.
HOOKED_BUILD := $(WINDOWS_BUILD)-hooked
windows-test: test-build windows-probe
	$(CMAKE) -S . -B $(HOOKED_BUILD) -DCMAKE_BUILD_TYPE=Release -DTAMREK_TEST_HOOKS=ON \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-$(WINDOWS_ARCH).cmake >/dev/null
	$(CMAKE) --build $(HOOKED_BUILD) -j $(JOBS) --target tamrek hold_file -- --no-print-directory
	WINEPREFIX=$(WINE_PREFIX) WINEDEBUG=-all TAMREK_WINDOWS=1 LC_ALL= LANG=C.UTF-8 \
	  TAMREK_TOOL="$(WINE) $(abspath $(WINDOWS_EXE))" \
	  TAMREK_HOOKED_TOOL="$(WINE) $(abspath $(HOOKED_BUILD))/tamrek.exe" \
	  TAMREK_HOLD_TOOL="$(WINE) $(abspath $(HOOKED_BUILD))/hold_file.exe" \
	  $(TEST_BUILD)/tamrek_e2e_test

# The web page: the program built to WebAssembly with Emscripten (Debian's
# emscripten) into one HTML file, build/web/tamrek.html, that works opened
# from the disk.  Debian's em++ finds its JavaScript modules only on the
# system's node path, which a newer node does not search by itself.
WEB_BUILD := $(BUILD)-web
WEB_PAGE := $(BUILD)/web/tamrek.html
web: export NODE_PATH := $(or $(NODE_PATH),/usr/share/nodejs)
web:
	emcmake $(CMAKE) -S . -B $(WEB_BUILD) -DCMAKE_BUILD_TYPE=MinSizeRel >/dev/null
	$(CMAKE) --build $(WEB_BUILD) -j $(JOBS) --target tamrek_web -- --no-print-directory
	mkdir -p $(dir $(WEB_PAGE))
	cp $(WEB_BUILD)/tamrek_web.html $(WEB_PAGE)
	@echo "$(WEB_PAGE): $$(wc -c <$(WEB_PAGE)) bytes, $$(gzip -9 <$(WEB_PAGE) | wc -c) gzipped"

# The page's browser test (web/page_test.mjs) in the system's chromium,
# firefox-esr and WebKitGTK, driven by the npm packages pinned in
# web/package-lock.json, against the native program of the test build;
# under a virtual display (xvfb-run) where there is one, for WebKit.
# ENGINES=chromium (say) runs one.
WEB_IMAGES := $(BUILD)/web-test-images
web-test: test-build web
	cd web && npm ci --no-audit --no-fund --loglevel=error
	rm -rf $(WEB_IMAGES) && mkdir -p $(WEB_IMAGES)
	$(TEST_BUILD)/page_test_images $(WEB_IMAGES)
	timeout 900 $$(command -v xvfb-run >/dev/null && echo xvfb-run -a) \
	  node web/page_test.mjs $(WEB_PAGE) $(TEST_BUILD)/tamrek $(WEB_IMAGES) $(ENGINES)

# The release packages, each built from a clean build directory, left in an
# emptied dist/ with their SHA256SUMS: the Linux tarball, the Debian package
# the Windows zip and the web page.  They need CMake, g++, MinGW-w64
# (g++-mingw-w64-i686), Emscripten (emscripten), dpkg-dev, llvm
# (llvm-readobj) and binutils; see docs/releasing.md.
# Reproducible from any copy of the sources: every time stamp in them is
# SOURCE_DATE_EPOCH, the date of the newest entry of packaging/changelog (as
# Debian takes it from debian/changelog), written with the compilers'
# versions and the Debian release into dist/BUILDINFO; zip stores local
# times, so cpack runs in UTC, and the archives record their files' owners,
# so a builder other than root runs it under fakeroot.
VERSION := ${shell sed -n 's/^project(tamrek VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt}
SOURCE_DATE_EPOCH := ${shell date -d "$$(sed -n 's/^ -- .*>  //p;T;q' packaging/changelog)" +%s}
dist: export SOURCE_DATE_EPOCH := $(SOURCE_DATE_EPOCH)
FAKEROOT := ${shell [ "$$(id -u)" = 0 ] || echo fakeroot}
dist: export NODE_PATH := $(or $(NODE_PATH),/usr/share/nodejs)
dist:
	rm -rf dist $(BUILD)-dist-tgz $(BUILD)-dist-deb $(BUILD)-dist-zip $(BUILD)-dist-web
	mkdir -p dist
	$(CMAKE) -S . -B $(BUILD)-dist-tgz -DCMAKE_BUILD_TYPE=Release -DTAMREK_BUILD_TESTS=OFF \
	  -DTAMREK_PACKAGE=tgz
	$(CMAKE) -S . -B $(BUILD)-dist-deb -DCMAKE_BUILD_TYPE=Release -DTAMREK_BUILD_TESTS=OFF \
	  -DTAMREK_PACKAGE=deb
	$(CMAKE) -S . -B $(BUILD)-dist-zip -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DTAMREK_PACKAGE=zip
	for kind in tgz deb zip; do \
	  $(CMAKE) --build $(BUILD)-dist-$$kind -j $(JOBS) -- --no-print-directory && \
	  (cd $(BUILD)-dist-$$kind && TZ=UTC $(FAKEROOT) cpack >/dev/null) || exit 1; \
	done
	tools/check_windows_exe.sh $(BUILD)-dist-zip/tamrek.exe i686 $(VERSION)
	emcmake $(CMAKE) -S . -B $(BUILD)-dist-web -DCMAKE_BUILD_TYPE=MinSizeRel >/dev/null
	$(CMAKE) --build $(BUILD)-dist-web -j $(JOBS) --target tamrek_web -- --no-print-directory
	cp $(BUILD)-dist-tgz/tamrek-$(VERSION)-linux-*.tar.gz $(BUILD)-dist-deb/tamrek_$(VERSION)_*.deb \
	  $(BUILD)-dist-zip/tamrek-$(VERSION)-win32.zip dist/
	cp $(BUILD)-dist-web/tamrek_web.html dist/tamrek-$(VERSION)-web.html
	cd dist && sha256sum -- *.tar.gz *.deb *.zip *.html >SHA256SUMS
	{ echo "SOURCE_DATE_EPOCH=$$SOURCE_DATE_EPOCH"; \
	  echo "Debian: $$(cat /etc/debian_version 2>/dev/null || echo none)"; \
	  echo "g++: $$(g++ --version | sed q)"; \
	  echo "i686-w64-mingw32-g++: $$(i686-w64-mingw32-g++ --version | sed q)"; \
	  echo "em++: $$(em++ --version | sed q)"; \
	  echo "cmake: $$(cmake --version | sed q)"; } >dist/BUILDINFO
	cat dist/BUILDINFO; ls -l dist

# Checks the packages in dist/: their checksums, their contents, the
# hardening of the Linux program, that a second build of the same sources in
# another directory, at another time and in another time zone gives the same
# bytes, and the Debian package installed on this machine (needs root), with
# the end-to-end tests run against the installed /usr/bin/tamrek.
dist-check: test-build
	tools/check_dist.sh dist $(VERSION) $(TEST_BUILD)/tamrek_e2e_test

# Benchmarks: a Release build of their own (Google Benchmark:
# libbenchmark-dev); not part of `make test`.  CI builds them, without
# running them (bench-build).
bench-build:
	$(CMAKE) -S . -B $(BUILD)-bench -DCMAKE_BUILD_TYPE=Release \
	  -DTAMREK_BUILD_TESTS=OFF -DTAMREK_BUILD_BENCHMARKS=ON -DTAMREK_WERROR=ON
	$(CMAKE) --build $(BUILD)-bench -j $(JOBS) -- --no-print-directory

bench: bench-build
	$(BUILD)-bench/d88_image_bench $(BENCH_FLAGS)

clean:
	rm -rf $(BUILD) $(TEST_BUILD) $(BUILD)-m32 $(BUILD)-bench $(BUILD)-asan $(BUILD)-fuzz $(BUILD)-windows-i686 $(BUILD)-windows-x86_64 \
	  $(BUILD)-windows-i686-hooked $(BUILD)-windows-x86_64-hooked \
	  $(BUILD)-wine-prefix $(BUILD)-web $(BUILD)-dist-tgz $(BUILD)-dist-deb $(BUILD)-dist-zip \
	  $(BUILD)-dist-web \
	  dist demo fuzz-artifacts
