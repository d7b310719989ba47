#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test twice: in the
# normal build and under AddressSanitizer + UndefinedBehaviorSanitizer. In
# between, every fuzz target runs for a bounded time (scripts/fuzz.sh,
# clang with libFuzzer, ASan + UBSan); JE_FUZZ_SECONDS sets the time per
# target (default 50), 0 leaves the fuzz stage out. The Windows stage
# (scripts/test-windows.sh) cross-builds the DLL, the program and the
# suites with mingw-w64 and runs the suites under wine; it needs yyjson's
# sources in ../shared/third_party/yyjson-0.12.0 (or JE_YYJSON_SOURCE_DIR)
# and is skipped with a message without them. JE_WINDOWS=0 leaves it out.
set -euo pipefail
cd "$(dirname "$0")/.."
fuzz_seconds="${JE_FUZZ_SECONDS:-50}"
setup_opts=(--windows)
[[ "${JE_WINDOWS:-1}" != 0 ]] || setup_opts=()
[[ "$fuzz_seconds" == 0 ]] || setup_opts+=(--fuzz)
bash scripts/setup.sh "${setup_opts[@]}"
jobs=$(nproc 2>/dev/null || echo 2)

echo "== normal build =="
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"
(cd build && cpack >/dev/null && echo "package: build/$(ls -t quendral-jsonengine-*.tar.gz | head -n1)")

if [[ "${JE_WINDOWS:-1}" != 0 ]]; then
  bash scripts/test-windows.sh
fi

if [[ "$fuzz_seconds" != 0 ]]; then
  bash scripts/fuzz.sh "$fuzz_seconds"
fi

echo "== sanitizer build (ASan + UBSan) =="
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DJE_SANITIZE=ON -DJE_BUILD_BENCH=OFF >/dev/null
cmake --build build-asan -j"$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j"$jobs"
