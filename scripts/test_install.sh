#!/usr/bin/env bash
# Installs a build into a temporary prefix, moves the tree elsewhere, then
# builds and runs a host against it with pkg-config and with CMake, and
# runs the installed jsonengine without any library path set.
# usage: scripts/test_install.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
src=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$work/first" >/dev/null
mv "$work/first" "$work/prefix"   # the installed tree must not depend on where it was put
prefix="$work/prefix"
pc=$(find "$prefix" -name quendral-jsonengine.pc | head -n 1)
[[ -n "$pc" ]] || fail "no quendral-jsonengine.pc under the prefix"
libdir=$(dirname "$(find "$prefix" -name 'libquendral-jsonengine.so*' | head -n 1)")
unset LD_LIBRARY_PATH

cat > "$work/host.c" <<'C'
#include <stdio.h>
#include <quendral/jsonengine.h>

int main(int argc, char **argv) {
    if (argc < 2 || json_parse_file(argv[1]) != 0) {
        fprintf(stderr, "load: %s\n", json_last_error());
        return 1;
    }
    printf("%s %d\n", json_get("$.store.name"), JSONENGINE_QUERY_MAX_RESULTS);
    return 0;
}
C
expected='"Corner Books" 4000'

# pkg-config, with the README's command.
export PKG_CONFIG_PATH="$(dirname "$pc")"
[[ "$(pkg-config --variable=prefix quendral-jsonengine)" -ef "$prefix" ]] || fail "pkg-config prefix is not the moved tree"
# shellcheck disable=SC2046
cc "$work/host.c" $(pkg-config --cflags --libs quendral-jsonengine) -o "$work/host-pc"
out=$(LD_LIBRARY_PATH="$libdir" "$work/host-pc" "$src/examples/store.json")
[[ "$out" == "$expected" ]] || fail "pkg-config host printed: $out"

# CMake, with the README's snippet.
mkdir "$work/cmake-host"
cp "$work/host.c" "$work/cmake-host/host.c"
cat > "$work/cmake-host/CMakeLists.txt" <<'CM'
cmake_minimum_required(VERSION 3.25)
project(host C)
find_package(quendral-jsonengine REQUIRED)
add_executable(host host.c)
target_link_libraries(host PRIVATE quendral::quendral-jsonengine)
CM
cmake -S "$work/cmake-host" -B "$work/cmake-build" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/cmake-build" >/dev/null
out=$("$work/cmake-build/host" "$src/examples/store.json")
[[ "$out" == "$expected" ]] || fail "CMake host printed: $out"

# The installed program finds its library by itself.
out=$("$prefix/bin/jsonengine" get '$.store.name' "$src/examples/store.json")
[[ "$out" == '"Corner Books"' ]] || fail "installed jsonengine printed: $out"
"$prefix/bin/jsonengine" --version >/dev/null || fail "installed jsonengine --version"
echo "install into a moved prefix: pkg-config host, CMake host and jsonengine work"
