#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test twice: in the
# normal build and under AddressSanitizer + UndefinedBehaviorSanitizer. In
# between, every fuzz target runs for a bounded time (scripts/fuzz.sh,
# clang with libFuzzer, ASan + UBSan); JE_FUZZ_SECONDS sets the time per
# target (default 50), 0 leaves the fuzz stage out.
set -euo pipefail
cd "$(dirname "$0")/.."
fuzz_seconds="${JE_FUZZ_SECONDS:-50}"
if [[ "$fuzz_seconds" != 0 ]]; then
  bash scripts/setup.sh --fuzz
else
  bash scripts/setup.sh
fi
jobs=$(nproc 2>/dev/null || echo 2)

echo "== normal build =="
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"

if [[ "$fuzz_seconds" != 0 ]]; then
  bash scripts/fuzz.sh "$fuzz_seconds"
fi

echo "== sanitizer build (ASan + UBSan) =="
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DJE_SANITIZE=ON -DJE_BUILD_BENCH=OFF >/dev/null
cmake --build build-asan -j"$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j"$jobs"
