#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan + UBSan) and fuzzes each for
# the given number of seconds: the D88 reader from a freshly generated seed
# corpus, then the parser of the rescue map, tamrek.map, from the maps in
# fuzz/map_seeds.  Fails on any crash, sanitizer report, leak or timeout;
# the input that caused it is left in fuzz-artifacts/.
# Usage: fuzz/run_fuzzer.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
build=${FUZZ_BUILD:-build-fuzz}

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ -DTAMREK_FUZZ=ON -DTAMREK_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target d88_image_fuzzer rescue_map_fuzzer \
  make_fuzz_seeds

rm -rf "$build/seeds" && mkdir -p "$build/seeds" "$build/corpus" "$build/map_corpus" \
  fuzz-artifacts
"$build/make_fuzz_seeds" "$build/seeds"

# fuzz TARGET LOG [libFuzzer's options and corpus directories...]
fuzz() {
  local target=$1 log=$2
  shift 2
  set +e
  "$build/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix=fuzz-artifacts/ "$@" 2>&1 |
    tee "$log" | grep -E '^#[0-9]+[[:space:]]+(INITED|DONE)|ERROR|SUMMARY|stat::'
  local status=${PIPESTATUS[0]}
  set -e
  if [ "$status" -ne 0 ]; then
    echo "fuzzing $target failed (status $status); see $log and fuzz-artifacts/" >&2
    exit "$status"
  fi
  echo "fuzzing $target passed: $(grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -1)"
}

fuzz d88_image_fuzzer "$build/fuzz.log" -max_len=8192 \
  "$build/corpus" "$build/seeds" fuzz/regressions
fuzz rescue_map_fuzzer "$build/map_fuzz.log" -max_len=4096 \
  -dict=fuzz/rescue_map.dict "$build/map_corpus" fuzz/map_seeds fuzz/map_regressions

# Line and branch coverage of the reader and of the map's parser reached by
# the corpora, when the LLVM tools are at hand.
if command -v llvm-profdata >/dev/null && command -v llvm-cov >/dev/null; then
  cov="$build/coverage"
  rm -rf "$cov" && mkdir -p "$cov"
  clang++ -std=c++17 -O1 -fprofile-instr-generate -fcoverage-mapping -I. \
    fuzz/d88_image_fuzzer.cpp fuzz/replay_main.cpp disk_image/d88_image.cpp \
    disk_image/buffered_file.cpp platform/file_system_posix.cpp \
    platform/process_posix.cpp platform/placing_pause.cpp -o "$cov/replay"
  LLVM_PROFILE_FILE="$cov/replay.profraw" "$cov/replay" "$build/corpus" \
    "$build/seeds" >/dev/null
  llvm-profdata merge -o "$cov/replay.profdata" "$cov/replay.profraw"
  llvm-cov report "$cov/replay" -instr-profile="$cov/replay.profdata" \
    disk_image/d88_image.cpp disk_image/buffered_file.cpp disk_image/buffered_file.h
  clang++ -std=c++17 -O1 -fprofile-instr-generate -fcoverage-mapping -I. \
    fuzz/rescue_map_fuzzer.cpp fuzz/replay_main.cpp extract/rescue_map.cpp \
    extract/extraction_plan.cpp -o "$cov/map_replay"
  LLVM_PROFILE_FILE="$cov/map_replay.profraw" "$cov/map_replay" \
    "$build/map_corpus" fuzz/map_seeds >/dev/null
  llvm-profdata merge -o "$cov/map_replay.profdata" "$cov/map_replay.profraw"
  llvm-cov report "$cov/map_replay" -instr-profile="$cov/map_replay.profdata" \
    extract/rescue_map.cpp
fi
