#!/usr/bin/env bash
# Times the jsonengine program end to end (start, load, work, print) against
# jq and Miller doing the same task, and prints how many times faster
# jsonengine is. A peer that is not installed is skipped
# (scripts/setup.sh --bench-peers installs both). Uses hyperfine when it is
# installed, else a repeated timing loop. Targets are judged on the median
# wall time; the CPU-time ratio beside it is steadier on a busy machine.
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
              [("mlr", [mlr, "--ijson", "--ocsv", "cat", rows_json], 1)]))
tasks.append(("CSV to JSON", "rows.csv", [engine, "from-csv", rows_csv],
              [("mlr", [mlr, "--icsv", "--ojson", "cat", rows_csv], 1)]))

def run_once(argv):
    return subprocess.run(argv, stdout=subprocess.PIPE, stderr=subprocess.PIPE)

def timed_run(argv):
    """(wall seconds, user + system CPU seconds) of one run, or None when it fails."""
    with open(os.devnull, "wb") as null:
        t0 = time.perf_counter()
        p = subprocess.Popen(argv, stdout=null, stderr=null)
        _, status, ru = os.wait4(p.pid, 0)
        wall = time.perf_counter() - t0
    return (wall, ru.ru_utime + ru.ru_stime) if os.waitstatus_to_exitcode(status) == 0 else None

def time_loop(argv):
    # At least 3 runs and 1 s; a command slower than 1 s runs twice.
    runs = []
    start = time.monotonic()
    while len(runs) < 15:
        r = timed_run(argv)
        if r is None:
            return None
        runs.append(r)
        spent = time.monotonic() - start
        if (len(runs) >= 3 and spent >= 1.0) or (len(runs) >= 2 and spent >= 2.0):
            break
    return statistics.median(w for w, _ in runs), statistics.median(c for _, c in runs)

def time_hyperfine(argv):
    with tempfile.NamedTemporaryFile(suffix=".json") as out:
        cmd = " ".join(shlex.quote(a) for a in argv)
        r = subprocess.run([hyperfine, "-N", "--warmup", "1", "--min-runs", "3", "--export-json", out.name, cmd],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if r.returncode != 0:
            return time_loop(argv)
        res = json.load(open(out.name))["results"][0]
        return res["median"], res["user"] + res["system"]

measure = time_hyperfine if hyperfine else time_loop

def ms(t):
    return "-" if t is None else ("%.1f ms" % (t * 1e3))

table = []
for task, doc, argv, peers in tasks:
    first = run_once(argv)
    if first.returncode != 0:
        table.append((task, doc, "failed", "", "", "", "", "", first.stderr.decode(errors="replace").strip()[:60]))
        continue
    t_engine = measure(argv)
    for peer, peer_argv, target in peers:
        if not peer_argv[0]:
            continue
        other = run_once(peer_argv)
        t_peer = measure(peer_argv) if other.returncode == 0 else None
        if not t_engine or not t_peer:
            table.append((task, doc, ms(t_engine and t_engine[0]), peer, "failed", "", "", "", ""))
            continue
        wall, cpu = t_peer[0] / t_engine[0], t_peer[1] / t_engine[1] if t_engine[1] else 0
        status = ""
        if target:
            status = ("met" if wall >= target else "MISSED") + " (>= %gx)" % target
        note = "same output" if other.stdout == first.stdout else "output differs"
        table.append((task, doc, ms(t_engine[0]), peer, ms(t_peer[0]), "%.1fx" % wall, "%.1fx" % cpu, status, note))

head = ("task", "input", "jsonengine", "peer", "peer time", "faster (wall)", "faster (cpu)", "target", "note")
widths = [max(len(str(r[i])) for r in table + [head]) for i in range(len(head))]
line = "  ".join("%-*s" % (widths[i], head[i]) for i in range(len(head))).rstrip()
print(line)
print("-" * len(line))
for r in table:
    print("  ".join("%-*s" % (widths[i], r[i]) for i in range(len(head))).rstrip())
print("\ntimed with " + ("hyperfine" if hyperfine else "a repeated timing loop (hyperfine is not installed)") +
      "; wall is the median elapsed time, cpu the median user + system time of the process")
EOF
