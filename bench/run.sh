#!/usr/bin/env bash
# Builds and runs every benchmark with one command:
#   1. the engine beside yyjson alone, per operation and document, with the
#      ratio table (bench/report.py);
#   2. peak memory of loading and querying the generated 50 MB document;
#   3. the jsonengine program end to end against jq and Miller
#      (bench/compare.sh), for the peers that are installed;
#   4. short runs, where the program's fixed cost decides, beside yyjson
#      alone, jaq, jq and gojq (bench/startup.sh).
#
# usage: bench/run.sh [--quick] [--no-compare] [Google Benchmark options...]
#   --quick        shorter measuring times, one repetition (a rough run)
#   --no-compare   skip the end-to-end comparisons (3 and 4)
# Other options go to the benchmark program, e.g. --benchmark_filter=query
# or --benchmark_repetitions=5 (default 3; the report uses the fastest).
# The build directory is build-bench (JE_BENCH_BUILD overrides it); results
# land in its bench-results/.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${JE_BENCH_BUILD:-$root/build-bench}
compare=1
args=()
for a in "$@"; do
  case "$a" in
    --quick) export JE_BENCH_TIME_SCALE=${JE_BENCH_TIME_SCALE:-0.5}; args+=(--benchmark_repetitions=1) ;;
    --no-compare) compare=0 ;;
    *) args+=("$a") ;;
  esac
done

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DJE_BUILD_TESTS=OFF -DJE_BUILD_BENCH=ON >/dev/null
cmake --build "$build" -j2 --target jsonengine_bench jsonengine_benchtool jsonengine_yyjson_run jsonengine
if [[ ! -x "$build/bench/jsonengine_bench" ]]; then
  echo "run.sh: the benchmarks were not built (is libbenchmark-dev installed? see scripts/setup.sh)" >&2
  exit 1
fi

out="$build/bench-results"
mkdir -p "$out/data"

# Three repetitions by default: the report takes the fastest, which work of
# other processes on the machine disturbs least.
reps=(--benchmark_repetitions=3)
for a in ${args[@]+"${args[@]}"}; do
  [[ "$a" == --benchmark_repetitions=* ]] && reps=()
done

echo "== engine beside yyjson (CPU time per call) =="
"$build/bench/jsonengine_bench" --benchmark_out="$out/bench.json" --benchmark_out_format=json \
  ${reps[@]+"${reps[@]}"} ${args[@]+"${args[@]}"}
echo
python3 "$root/bench/report.py" "$out/bench.json" | tee "$out/report.txt"
python3 "$root/bench/report.py" "$out/bench.json" --markdown >"$out/report.md"

echo
echo "== peak memory (maximum resident set) on the generated 50 MB document =="
tool="$build/bench/jsonengine_benchtool"
"$tool" gen "$out/data"
large="$out/data/large.json"
mib() { awk '{ split($2, s, "="); split($3, p, "="); split($4, e, "=");
  printf "peak %5.0f MiB  (%+5.0f MiB over the start)   resident after it %5.0f MiB\n", p[2] / 1024, (p[2] - s[2]) / 1024, e[2] / 1024 }'; }
{
  printf '%-42s' "yyjson read (reference)"; "$tool" rss-yyjson "$large" | mib
  printf '%-42s' "json_parse_file"; "$tool" rss-load "$large" | mib
  printf '%-42s' "yyjson read + minified write (reference)"; "$tool" rss-yyjson-write "$large" | mib
  printf '%-42s' "json_parse_file + json_format minify"; "$tool" rss-format "$large" | mib
  printf '%-42s' "yyjson read + mutable copy (reference)"; "$tool" rss-yyjson-mut "$large" | mib
  printf '%-42s' "first edit after json_parse_file"; "$tool" rss-edit "$large" | mib
  for q in '$.items[].name' '$.items[?.score > 99].id' '$.items | map(.id)'; do
    printf '%-42s' "json_query $q"; "$tool" rss-query "$large" "$q" | mib
  done
} | tee "$out/memory.txt"

echo
echo "== sustained editing =="
{
  # Rounds of 10 sets of a 1 KB value, a diff, a merge and three failing
  # calls on a 2 KB document: the resident set should not grow with them.
  for n in 1000 10000 20000; do "$tool" rss-edits "$n"; done
  # One-member merges into documents of 10 KB, 1 MB and 10 MB: the median
  # merge should not grow with the document, nor memory with the merges.
  for r in 175 18000 180000; do "$tool" merge-scale "$r" 50; done
} | tee "$out/sustained.txt"

if [[ $compare -eq 1 ]]; then
  echo
  bash "$root/bench/compare.sh" "$build"
  echo
  bash "$root/bench/startup.sh" "$build"
fi
