#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan + UBSan), writes their seed
# corpora and runs every target for a bounded time. Any finding (a crash, a
# sanitizer report, a broken invariant, a leak, a timeout) fails the run;
# the input that found it is left in build-fuzz/findings/<target>/.
#
# Usage: scripts/fuzz.sh [SECONDS_PER_TARGET]   (default 50, or $JE_FUZZ_SECONDS)
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-${JE_FUZZ_SECONDS:-50}}"
dir=build-fuzz
targets=(load paths query csv merge_diff inspect trees)
declare -A dict=([load]=json [paths]=json [query]=query [csv]=csv [merge_diff]=json [inspect]=json [trees]=json)

if ! command -v clang++ >/dev/null 2>&1; then
  echo "fuzz: clang++ is missing; run: sudo bash scripts/setup.sh --fuzz" >&2
  exit 1
fi

echo "== fuzz build (clang, libFuzzer, ASan + UBSan) =="
CC=clang CXX=clang++ cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DJE_FUZZ=ON \
  -DJE_BUILD_TESTS=OFF -DJE_BUILD_BENCH=OFF >/dev/null
cmake --build "$dir" -j"$(nproc 2>/dev/null || echo 2)" --target fuzz_all

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:allocator_may_return_null=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

failed=()
for t in "${targets[@]}"; do
  work="$dir/corpus/$t"
  findings="$dir/findings/$t"
  mkdir -p "$work" "$findings"
  echo "== fuzz_$t: ${seconds}s =="
  # New inputs go to the work corpus (kept between local runs); the seeds
  # are read as a second corpus directory and never written.
  if "$dir/fuzz/fuzz_$t" "$work" "$dir/fuzz/seeds/$t" -dict="fuzz/${dict[$t]}.dict" \
      -max_total_time="$seconds" -max_len=16384 -timeout=20 -rss_limit_mb=4096 \
      -print_final_stats=1 -artifact_prefix="$findings/" >"$dir/fuzz_$t.log" 2>&1; then
    grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb|Done)' "$dir/fuzz_$t.log" | tr '\n' ' '
    echo
  else
    failed+=("$t")
    echo "fuzz_$t found a fault; its report:" >&2
    grep -v -E '^(#[0-9]+|INFO:)' "$dir/fuzz_$t.log" | tail -n 60 >&2
    ls -l "$findings" >&2
  fi
done

if [[ ${#failed[@]} -gt 0 ]]; then
  echo "fuzz: findings in ${failed[*]} (inputs in $dir/findings/); add each as a regression case" >&2
  exit 1
fi
echo "fuzz: ${#targets[@]} passed, 0 failed"
