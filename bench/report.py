#!/usr/bin/env python3
"""Prints the engine/yyjson ratio of every benchmark pair.

Reads Google Benchmark's JSON output (--benchmark_out). Benchmarks are named
"family/document/engine" and "family/document/yyjson"; with repetitions the
fastest repetition is used. Times are CPU times, which a busy machine disturbs less than
wall-clock times.

usage: report.py BENCH.json [--markdown]
"""
import json
import sys

# Upper bounds of the ratio engine/yyjson: (family, document or None for all).
TARGETS = {
    ("load", None): 1.3,
    ("format-minify", None): 1.2,
    ("get", None): 2.0,
    ("get-root", None): 2.0,
    ("query-wildcard", "twitter"): 3.0,
    ("query-filter", "twitter"): 3.0,
    ("query-map", "twitter"): 3.0,
}

TO_US = {"ns": 1e-3, "us": 1.0, "ms": 1e3, "s": 1e6}


def target(family, document):
    return TARGETS.get((family, document), TARGETS.get((family, None)))


def fmt_time(us):
    if us is None:
        return "-"
    if us >= 1e5:
        return "%.0f ms" % (us / 1e3)
    if us >= 1e3:
        return "%.2f ms" % (us / 1e3)
    if us >= 1:
        return "%.1f us" % us
    return "%.0f ns" % (us * 1e3)


def load(path):
    """The run of each (family, document, side): with repetitions the "min"
    aggregate, else the "median" one, else the single run."""
    with open(path) as f:
        data = json.load(f)
    rank = {"min": 0, "median": 1, None: 2}
    runs = {}
    for b in data.get("benchmarks", []):
        kind = b.get("aggregate_name") if b.get("run_type") == "aggregate" else None
        if kind not in rank:
            continue
        # "family/document/side/min_time:0.200"
        fields = b.get("run_name", b["name"]).split("/")
        if len(fields) < 3:
            continue
        key = (fields[0], fields[1], fields[2])
        have = runs.get(key)
        if have is None or rank[kind] < have[0]:
            runs[key] = (rank[kind], b)
    return {k: b for k, (_, b) in runs.items()}


def rows(runs):
    families, documents = [], []
    for family, document, _ in runs:
        if family not in families:
            families.append(family)
        if document not in documents:
            documents.append(document)
    for family in families:
        for document in documents:
            engine = runs.get((family, document, "engine"))
            base = runs.get((family, document, "yyjson"))
            if not engine and not base:
                continue
            yield family, document, engine, base


def cpu_us(b):
    if not b or b.get("error_occurred"):
        return None
    return b["cpu_time"] * TO_US.get(b.get("time_unit", "ns"), 1e-3)


def main():
    if len(sys.argv) < 2:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    markdown = "--markdown" in sys.argv[2:]
    runs = load(sys.argv[1])
    table = []
    missed = 0
    for family, document, engine, base in rows(runs):
        e, y = cpu_us(engine), cpu_us(base)
        ratio = e / y if e is not None and y else None
        limit = target(family, document)
        note = ""
        if engine and engine.get("error_occurred"):
            note = "skipped: " + engine.get("error_message", "")
        elif engine and engine.get("label"):
            note = engine["label"]
        if ratio is not None and limit is not None:
            ok = ratio <= limit
            missed += not ok
            status = ("met" if ok else "MISSED") + " (<= %.1fx)" % limit
        else:
            status = ""
        table.append((family, document, fmt_time(e), fmt_time(y), "%.2fx" % ratio if ratio else "-", status, note))
    head = ("operation", "document", "engine", "yyjson", "ratio", "target", "note")
    if markdown:
        print("| " + " | ".join(head) + " |")
        print("|" + "---|" * len(head))
        for r in table:
            print("| " + " | ".join(r) + " |")
    else:
        widths = [max(len(str(r[i])) for r in table + [head]) for i in range(len(head))]
        line = "  ".join("%-*s" % (widths[i], head[i]) for i in range(len(head)))
        print(line.rstrip())
        print("-" * len(line.rstrip()))
        for r in table:
            print("  ".join("%-*s" % (widths[i], r[i]) for i in range(len(head))).rstrip())
        print("\n%d target(s) missed" % missed if missed else "\nevery measured target met")
    return 0


if __name__ == "__main__":
    sys.exit(main())
