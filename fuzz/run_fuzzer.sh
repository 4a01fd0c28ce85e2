#!/usr/bin/env bash
# Builds the D88 reader's libFuzzer target with clang (ASan + UBSan) and fuzzes
# it for the given number of seconds from a freshly generated seed corpus.
# Fails on any crash, sanitizer report, leak or timeout; the input that
# caused it is left in fuzz-artifacts/.  Usage: fuzz/run_fuzzer.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
build=${FUZZ_BUILD:-build-fuzz}

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ -DTAMREK_FUZZ=ON -DTAMREK_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target d88_image_fuzzer make_fuzz_seeds

rm -rf "$build/seeds" && mkdir -p "$build/seeds" "$build/corpus" fuzz-artifacts
"$build/make_fuzz_seeds" "$build/seeds"

log="$build/fuzz.log"
set +e
"$build/d88_image_fuzzer" -max_total_time="$seconds" -timeout=10 \
  -rss_limit_mb=2048 -max_len=8192 -print_final_stats=1 \
  -artifact_prefix=fuzz-artifacts/ "$build/corpus" "$build/seeds" fuzz/regressions 2>&1 |
  tee "$log" | grep -E '^#[0-9]+[[:space:]]+(INITED|DONE)|ERROR|SUMMARY|stat::'
status=${PIPESTATUS[0]}
set -e
if [ "$status" -ne 0 ]; then
  echo "fuzzing failed (status $status); see $log and fuzz-artifacts/" >&2
  exit "$status"
fi
echo "fuzzing passed: $(grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -1)"

# Line and branch coverage of the reader reached by the corpus, when the LLVM
# tools are at hand.
if command -v llvm-profdata >/dev/null && command -v llvm-cov >/dev/null; then
  cov="$build/coverage"
  rm -rf "$cov" && mkdir -p "$cov"
  clang++ -std=c++17 -O1 -fprofile-instr-generate -fcoverage-mapping -I. \
    fuzz/d88_image_fuzzer.cpp fuzz/replay_main.cpp disk_image/d88_image.cpp \
    disk_image/buffered_file.cpp platform/platform_posix.cpp -o "$cov/replay"
  LLVM_PROFILE_FILE="$cov/replay.profraw" "$cov/replay" "$build/corpus" \
    "$build/seeds" >/dev/null
  llvm-profdata merge -o "$cov/replay.profdata" "$cov/replay.profraw"
  llvm-cov report "$cov/replay" -instr-profile="$cov/replay.profdata" \
    disk_image/d88_image.cpp disk_image/buffered_file.cpp disk_image/buffered_file.h
fi
