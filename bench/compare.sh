#!/usr/bin/env bash
# Times the jsonengine program end to end (start, load, work, print) against
# jq and Miller doing the same task, and prints how many times faster
# jsonengine is. A peer that is not installed is skipped
# (scripts/setup.sh --bench-peers installs both). Uses hyperfine when it is
# installed, else a repeated timing loop; the median wall time counts.
#
# usage: bench/compare.sh [BUILD_DIR]   (default build-bench, built by bench/run.sh)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-${JE_BENCH_BUILD:-$root/build-bench}}
engine="$build/jsonengine"
tool="$build/bench/jsonengine_benchtool"
docs="$root/../shared/data/bench-docs"
data="$build/bench-results/data"

if [[ ! -x "$engine" || ! -x "$tool" ]]; then
  echo "compare.sh: $engine or $tool is missing; run bench/run.sh first" >&2
  exit 1
fi
[[ -d "$docs" ]] || echo "compare.sh: $docs is absent; only the generated documents are compared"
if [[ ! -f "$data/large.json" || ! -f "$data/rows.json" || ! -f "$data/rows.csv" ]]; then
  mkdir -p "$data"
  "$tool" gen "$data"
fi

echo "== jsonengine end to end beside jq and Miller (median wall time per run) =="
python3 - "$engine" "$docs" "$data" <<'EOF'
import json, os, shlex, shutil, statistics, subprocess, sys, tempfile, time

engine, docs, data = sys.argv[1:4]
jq, mlr, hyperfine = shutil.which("jq"), shutil.which("mlr"), shutil.which("hyperfine")
for name, path in (("jq", jq), ("mlr", mlr)):
    if not path:
        print("%s is not installed: its comparisons are skipped" % name)

def bench_doc(name):
    path = os.path.join(docs, name)
    return path if os.path.isfile(path) else None

# (task, document, jsonengine argv, [(peer, argv, at least this many times faster)])
tasks = []
queries = [
    ("twitter.json", "$.statuses[].user.screen_name", ".statuses[].user.screen_name"),
    ("citm_catalog.json", "$.performances[].seatCategories[].seatCategoryId",
     ".performances[].seatCategories[].seatCategoryId"),
    ("canada.json", "$.features[0].geometry.coordinates[] | length", ".features[0].geometry.coordinates[] | length"),
]
for doc, q, jq_q in queries:
    path = bench_doc(doc)
    if path:
        tasks.append(("query", doc, [engine, "query", q, path], [("jq", [jq, "-c", jq_q, path], 20)]))
large = os.path.join(data, "large.json")
tasks.append(("query", "large.json", [engine, "query", "$.items[?.score > 99].id", large],
              [("jq", [jq, "-c", ".items[] | select(.score > 99) | .id", large], 20)]))
for doc in ("twitter.json", "citm_catalog.json", "canada.json"):
    path = bench_doc(doc)
    if path:
        tasks.append(("format minify", doc, [engine, "format", "minify", path], [("jq", [jq, "-c", ".", path], None)]))
        tasks.append(("format pretty", doc, [engine, "format", "pretty", path],
                      [("jq", [jq, "--indent", "4", ".", path], None)]))
rows_json, rows_csv = os.path.join(data, "rows.json"), os.path.join(data, "rows.csv")
tasks.append(("JSON to CSV", "rows.json", [engine, "to-csv", rows_json],
              [("mlr", [mlr, "--ijson", "--ocsv", "cat", rows_json], 1),
               ("jq", [jq, "-r", '(.[0] | keys_unsorted) as $k | ($k | @csv), (.[] | [.[$k[]]] | @csv)', rows_json],
                None)]))
tasks.append(("CSV to JSON", "rows.csv", [engine, "from-csv", rows_csv],
              [("mlr", [mlr, "--icsv", "--ojson", "cat", rows_csv], 1)]))

def run_once(argv):
    return subprocess.run(argv, stdout=subprocess.PIPE, stderr=subprocess.PIPE)

def time_loop(argv):
    times = []
    start = time.monotonic()
    while len(times) < 3 or (time.monotonic() - start < 1.0 and len(times) < 15):
        t0 = time.perf_counter()
        r = subprocess.run(argv, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        times.append(time.perf_counter() - t0)
        if r.returncode != 0:
            return None
    return statistics.median(times)

def time_hyperfine(argv):
    with tempfile.NamedTemporaryFile(suffix=".json") as out:
        cmd = " ".join(shlex.quote(a) for a in argv)
        r = subprocess.run([hyperfine, "-N", "--warmup", "1", "--min-runs", "3", "--export-json", out.name, cmd],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if r.returncode != 0:
            return time_loop(argv)
        return json.load(open(out.name))["results"][0]["median"]

measure = time_hyperfine if hyperfine else time_loop

def ms(t):
    return "-" if t is None else ("%.1f ms" % (t * 1e3))

table = []
for task, doc, argv, peers in tasks:
    first = run_once(argv)
    if first.returncode != 0:
        table.append((task, doc, "failed", "", "", "", "", first.stderr.decode(errors="replace").strip()[:60]))
        continue
    t_engine = measure(argv)
    for peer, peer_argv, target in peers:
        if not peer_argv[0]:
            continue
        other = run_once(peer_argv)
        if other.returncode != 0:
            table.append((task, doc, ms(t_engine), peer, "failed", "", "", ""))
            continue
        t_peer = measure(peer_argv)
        speedup = t_peer / t_engine if t_engine and t_peer else None
        status = ""
        if target and speedup is not None:
            status = ("met" if speedup >= target else "MISSED") + " (>= %gx)" % target
        note = "same output" if other.stdout == first.stdout else "output differs"
        table.append((task, doc, ms(t_engine), peer, ms(t_peer), "%.1fx" % speedup if speedup else "-", status, note))

head = ("task", "input", "jsonengine", "peer", "peer time", "faster by", "target", "note")
widths = [max(len(str(r[i])) for r in table + [head]) for i in range(len(head))]
line = "  ".join("%-*s" % (widths[i], head[i]) for i in range(len(head))).rstrip()
print(line)
print("-" * len(line))
for r in table:
    print("  ".join("%-*s" % (widths[i], r[i]) for i in range(len(head))).rstrip())
print("\ntimed with " + ("hyperfine" if hyperfine else "a repeated timing loop (hyperfine is not installed)"))
EOF
