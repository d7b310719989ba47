#!/usr/bin/env bash
# The Windows stage: cross-builds quendral-jsonengine.dll, jsonengine.exe
# and the test suites for 64-bit Windows with mingw-w64, runs the suites
# with CTest under wine (a wine prefix of its own in build-win64/), and
# packs the zip. yyjson is compiled from its sources: JE_YYJSON_SOURCE_DIR,
# or ../shared/third_party/yyjson-0.12.0 beside the clone; without them
# the stage is skipped with a message.
#
# Usage: scripts/test-windows.sh   (after: sudo bash scripts/setup.sh --windows)
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)
dir=build-win64
src="${JE_YYJSON_SOURCE_DIR:-../shared/third_party/yyjson-0.12.0}"

if [[ ! -f "$src/src/yyjson.c" && ! -f "$src/yyjson.c" ]]; then
  echo "== Windows stage skipped: no yyjson sources in $src =="
  echo "   To run it, unpack yyjson 0.12's release sources and run:"
  echo "   JE_YYJSON_SOURCE_DIR=/path/to/yyjson-0.12.x bash scripts/test-windows.sh"
  exit 0
fi
for tool in x86_64-w64-mingw32-g++-posix wine; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "windows: $tool is missing; run: sudo bash scripts/setup.sh --windows" >&2
    exit 1
  fi
done

start=$SECONDS
echo "== Windows build (mingw-w64, tests under wine) =="
cmake --no-warn-unused-cli -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DJE_YYJSON_SOURCE_DIR="$(cd "$src" && pwd)" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DJE_BUILD_BENCH=OFF >/dev/null
cmake --build "$dir" -j"$jobs"

export WINEPREFIX="$PWD/$dir/wineprefix" WINEDEBUG=-all
# Make the prefix once, before the suites start side by side.
wine cmd /c exit >/dev/null 2>&1 || true
ctest --test-dir "$dir" --output-on-failure -j"$jobs"
wineserver -k 2>/dev/null || true
(cd "$dir" && cpack >/dev/null && echo "package: $dir/$(ls -t quendral-jsonengine-*-win64.zip | head -n1)")
echo "windows stage: $((SECONDS - start)) s"
