#!/usr/bin/env bash
# Times whole short runs of the jsonengine program, where its fixed cost
# (loading, relocation, set-up, first touches of fresh memory) decides:
# start-up alone (--help), type on a tiny document, and a get and a query
# on twitter.json. Beside each stands a C program on yyjson alone doing the
# same reading (bench/yyjson_run.c), and jaq, jq and gojq where installed
# (scripts/setup.sh --bench-peers). The commands of a task run in turn,
# A B C A B C ..., so that a drift of the machine's speed reaches them
# alike; each figure is a median over the rounds, and each difference and
# ratio is the median of the per-round ones.
#
# usage: bench/startup.sh [BUILD_DIR]   (default build-bench, built by bench/run.sh)
#   JE_STARTUP_ROUNDS  rounds per task (default 100)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-${JE_BENCH_BUILD:-$root/build-bench}}
engine="$build/jsonengine"
yyrun="$build/bench/jsonengine_yyjson_run"
if [[ ! -x "$engine" || ! -x "$yyrun" ]]; then
  echo "startup.sh: $engine or $yyrun is missing; run bench/run.sh first" >&2
  exit 1
fi
twitter="$root/../shared/data/bench-docs/twitter.json"
[[ -f "$twitter" ]] || { echo "startup.sh: $twitter is absent; only start-up and the tiny document are timed"; twitter=""; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
printf '{"id":1,"tags":["a","b"],"ok":true}\n' > "$tmp/tiny.json"

echo "== short runs: jsonengine beside yyjson alone, jaq, jq and gojq (median wall time per run) =="
python3 - "$engine" "$yyrun" "$tmp/tiny.json" "$twitter" "${JE_STARTUP_ROUNDS:-100}" <<'EOF'
import os, shutil, statistics, subprocess, sys, time

engine, yyrun, tiny, twitter, rounds = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4], int(sys.argv[5])
peers = {name: shutil.which(name) for name in ("jaq", "jq", "gojq")}
missing = [name for name, path in peers.items() if not path]
if missing:
    print("not installed, left out: " + ", ".join(missing))
true = shutil.which("true")

def jq_like(name, program, doc):
    return (name, [peers[name], "-c", program, doc]) if peers[name] else None

# (task, [(name, argv)], what the target is measured against, target):
# a target "over" is at most that many ms beyond the yardstick, "faster" is
# at least that many times faster than the named peer.
tasks = [("start-up (--help)", [("jsonengine", [engine, "--help"]), ("true", [true])], None, None),
         ("type, tiny document", [("jsonengine", [engine, "type", tiny]), ("yyjson", [yyrun, "type", tiny])],
          "yyjson", ("over", 0.25))]
if twitter:
    get = [("jsonengine", [engine, "get", "$.statuses[0].user.screen_name", twitter]),
           ("yyjson", [yyrun, "get", "/statuses/0/user/screen_name", twitter])]
    query = [("jsonengine", [engine, "query", "$.statuses[].user.screen_name", twitter]),
             ("yyjson", [yyrun, "each", "/statuses", "/user/screen_name", twitter])]
    for name in ("jaq", "jq", "gojq"):
        get.append(jq_like(name, ".statuses[0].user.screen_name", twitter))
        query.append(jq_like(name, ".statuses[].user.screen_name", twitter))
    tasks.append(("get, twitter.json", [c for c in get if c], "jaq", ("faster", 2.0)))
    tasks.append(("query, twitter.json", [c for c in query if c], "jaq", ("faster", 2.0)))

null = os.open(os.devnull, os.O_WRONLY)
actions = [(os.POSIX_SPAWN_DUP2, null, 1), (os.POSIX_SPAWN_DUP2, null, 2)]

def run_once(argv):
    t0 = time.perf_counter_ns()
    pid = os.posix_spawn(argv[0], argv, os.environ, file_actions=actions)
    _, status = os.waitpid(pid, 0)
    return (time.perf_counter_ns() - t0) / 1e6 if os.waitstatus_to_exitcode(status) == 0 else None

rows = []
for task, cmds, against, target in tasks:
    outputs = {name: subprocess.run(argv, capture_output=True) for name, argv in cmds}
    cmds = [(name, argv) for name, argv in cmds if outputs[name].returncode == 0 or name == "jsonengine"]
    times = {name: [] for name, _ in cmds}
    for r in range(rounds + 2):  # the first two rounds warm the caches and are not counted
        for name, argv in cmds:
            t = run_once(argv)
            if r >= 2 and t is not None:
                times[name].append(t)
    eng = times["jsonengine"]
    for name, _ in cmds:
        ts = times[name]
        if not ts:
            rows.append((task, name, "failed", "", "", "", ""))
            continue
        pairs = list(zip(eng, ts))
        over = statistics.median(e - t for e, t in pairs)
        ratio = statistics.median(t / e for e, t in pairs)
        status = ""
        if target and name == against:
            kind, bound = target
            if kind == "over":
                status = ("met" if over <= bound else "MISSED") + " (<= +%g ms)" % bound
            else:
                status = ("met" if ratio >= bound else "MISSED") + " (>= %gx)" % bound
        same = "" if name == "jsonengine" or not against else (
            "same output" if outputs[name].stdout == outputs["jsonengine"].stdout else "output differs")
        rows.append((task, name, "%.3f ms" % statistics.median(ts),
                     "" if name == "jsonengine" else "%+.3f ms" % over,
                     "" if name == "jsonengine" or not against else "%.2fx" % ratio, status, same))

head = ("task", "program", "median", "jsonengine over it", "jsonengine faster", "target", "note")
widths = [max(len(str(r[i])) for r in rows + [head]) for i in range(len(head))]
line = "  ".join("%-*s" % (widths[i], head[i]) for i in range(len(head))).rstrip()
print(line)
print("-" * len(line))
for r in rows:
    print("  ".join("%-*s" % (widths[i], r[i]) for i in range(len(head))).rstrip())
print("\n%d rounds, the programs of a task in turn; 'over' and 'faster' are medians of the per-round "
      "differences and ratios (wall time, output to /dev/null)" % rounds)
EOF
