#!/usr/bin/env bash
# Installs what is missing, builds the engine and runs jsonengine on the
# bundled example document.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc 2>/dev/null || echo 2)" --target jsonengine
je=build/jsonengine
doc=examples/store.json
run() { echo "\$ jsonengine $*"; "$je" "$@"; echo; }
run type "$doc"
run get '$.store.book[1].title' "$doc"
run query '$.store.book[?.price > 10].title' "$doc"
run query --paths '$.store.book[].price' "$doc"
run stats "$doc"
run format sorted "$doc"
run to-csv '$.store.book' "$doc"
