#!/usr/bin/env bash
# Builds kvel and runs every test: a normal build, then one with AddressSanitizer
# and UndefinedBehaviorSanitizer, then the fuzz targets for a bounded time.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/deps.sh
jobs=$(nproc)

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKVEL_WERROR=ON >/dev/null
cmake --build build -j "$jobs"
ctest --test-dir build -j "$jobs" --output-on-failure

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKVEL_SANITIZE=ON -DKVEL_WERROR=ON >/dev/null
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan -j "$jobs" --output-on-failure

# Fuzz targets: clang with libFuzzer, a bounded run each.
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKVEL_FUZZ=ON -DBUILD_TESTING=OFF >/dev/null
cmake --build build-fuzz -j "$jobs"
for f in build-fuzz/fuzz/*_fuzz; do
  [ -x "$f" ] || continue
  echo "fuzzing $(basename "$f")"
  corpus="fuzz/corpus/$(basename "$f" _fuzz)"
  # New inputs go to a scratch directory; the corpus in the tree is only read.
  scratch=$(mktemp -d)
  args=("$scratch")
  [ -d "$corpus" ] && args+=("$corpus")
  "$f" -max_total_time="${KVEL_FUZZ_SECONDS:-30}" -rss_limit_mb=2048 -timeout=10 "${args[@]}" \
    2>&1 | tail -n 3
  rm -rf "$scratch"
done
echo "all tests passed"
