"""Tests of the Python binding against the built engine library.

The library comes from QUENDRAL_JSONENGINE_LIBRARY (the build passes the one
it just made); the package is imported from the source tree.
"""

import json
import os
import pathlib
import shutil
import subprocess
import sys
import tempfile
import threading
import unittest
import warnings

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent))

import quendral_jsonengine as je  # noqa: E402

STORE = {"store": {"book": [{"title": "A", "price": 8}, {"title": "B", "price": 12, "tags": ["x", "y"]}], "name": "S"}}
DEEP_LEVELS = 1_000_000


def run_python(code: str, env=None) -> subprocess.CompletedProcess:
    return subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, env=env, timeout=120)


class Loading(unittest.TestCase):
    def test_root_type_of_each_kind(self):
        for text, kind in [('{"a":1}', "object"), ("[1]", "array"), ('"s"', "string"), ("1.5", "number"),
                           ("true", "bool"), ("null", "null")]:
            with self.subTest(text=text):
                je.load(text)
                self.assertEqual(je.root_type(), kind)

    def test_str_bytes_and_bytearray_load_the_same(self):
        for arg in ['{"k":"é"}', '{"k":"é"}'.encode(), bytearray('{"k":"é"}'.encode())]:
            with self.subTest(arg=type(arg).__name__):
                je.load(arg)
                self.assertEqual(je.get("$.k"), "é")

    def test_failed_load_raises_and_keeps_the_document(self):
        je.load("[1,2]")
        with self.assertRaises(je.JsonEngineError) as cm:
            je.load("[1,")
        self.assertTrue(cm.exception.message.startswith("parse error: "), cm.exception.message)
        self.assertEqual(cm.exception.function, "json_parse")
        self.assertEqual(str(cm.exception), cm.exception.message)
        self.assertEqual(je.last_error(), cm.exception.message)
        self.assertEqual(je.get("$[1]"), 2)

    def test_load_file_takes_str_pathlike_and_bytes_with_non_ascii_names(self):
        with tempfile.TemporaryDirectory() as d:
            path = pathlib.Path(d) / "données-日本.json"
            path.write_text('{"v":"ü"}', encoding="utf-8")
            for arg in [str(path), path, str(path).encode("utf-8")]:
                with self.subTest(arg=type(arg).__name__):
                    je.load("null")
                    je.load_file(arg)
                    self.assertEqual(je.get("$.v"), "ü")
            with self.assertRaises(je.JsonEngineError):
                je.load_file(pathlib.Path(d) / "missing.json")

    def test_bad_arguments_are_refused_before_the_engine(self):
        je.load('{"a":1}')
        for call, exc in [(lambda: je.load("[1]\0"), ValueError), (lambda: je.get("$.a\0b"), ValueError),
                          (lambda: je.get(5), TypeError), (lambda: je.set("$.a", float("nan")), ValueError),
                          (lambda: je.set("$.a", object()), TypeError)]:
            with self.subTest(call=call), self.assertRaises(exc):
                call()
        self.assertEqual(je.get("$"), {"a": 1})

    def test_a_fresh_process_has_no_document(self):
        r = run_python(
            "import quendral_jsonengine as je\n"
            "print(je.root_type())\n"
            "try:\n    je.get('$')\nexcept je.JsonEngineError as e:\n    print(e)\n",
            env=dict(os.environ, PYTHONPATH=str(HERE.parent)))
        self.assertEqual(r.stdout, "None\nno document loaded\n", r.stderr)


class Paths(unittest.TestCase):
    def setUp(self):
        je.load(json.dumps(STORE))

    def test_get_decodes_and_get_text_is_compact(self):
        self.assertEqual(je.get("$.store.book[1].tags"), ["x", "y"])
        self.assertEqual(je.extract("$.store.book[0]"), {"title": "A", "price": 8})
        self.assertEqual(je.get_text("$.store.book[0]"), '{"title":"A","price":8}')

    def test_set_stores_python_values(self):
        for value in ["text", "[1]", "", 0, -7, 2**64, 1.5, True, False, None, [1, {"a": []}], {"k": "日本"}]:
            with self.subTest(value=value):
                je.set("$.store.v", value)
                self.assertEqual(je.get("$.store.v"), value)
        self.assertEqual(je.get_text("$.store.v"), '{"k":"日本"}')

    def test_set_text_stores_json_text(self):
        je.set_text("$.store.open", "true")
        je.set_text("$.store.list", b"[1,2]")
        self.assertEqual((je.get("$.store.open"), je.get("$.store.list")), (True, [1, 2]))
        with self.assertRaises(je.JsonEngineError):
            je.set_text("$.store.bad", "{")
        je.set("$.a.b", 1)  # missing intermediate objects are made
        self.assertEqual(je.get("$.a"), {"b": 1})

    def test_delete(self):
        je.delete("$.store.book[0]")
        self.assertEqual(je.get("$.store.book[0].title"), "B")
        with self.assertRaises(je.JsonEngineError) as cm:
            je.delete("$.nothing")
        self.assertEqual(cm.exception.function, "json_delete")

    def test_missing_path_raises_with_the_engine_message(self):
        with self.assertRaises(je.JsonEngineError) as cm:
            je.get("$.store.none")
        self.assertEqual(cm.exception.message, "path not found: $.store.none")

    def test_texts_held_at_once_stay_distinct(self):
        # The engine writes json_get, json_format, json_flatten, json_to_csv
        # and json_query_raw into one buffer; each result here is a copy.
        a = je.get_text("$.store.book[0].title")
        b = je.get_text("$.store.book[1].title")
        f = je.format("minify")
        flat = je.flatten_text()
        raw = je.query_raw("$.store.name")
        csv = je.to_csv("$.store.book")
        self.assertEqual((a, b, raw), ('"A"', '"B"', '["S"]'))
        self.assertEqual(json.loads(f), STORE)
        self.assertTrue(flat.startswith('{"store.book[0].title":"A"'), flat)
        self.assertTrue(csv.startswith("title,price,tags\n"), csv)

    def test_non_ascii_keys_values_and_paths(self):
        je.load('{"ключ":{"日本":["é","😀"]}}')
        self.assertEqual(je.get("$.ключ.日本[1]"), "😀")
        self.assertEqual(je.get("$.ключ.日本".encode()), ["é", "😀"])
        je.set("$.ключ.ñ", "ø")
        self.assertEqual(je.get_text("$.ключ.ñ"), '"ø"')
        self.assertEqual([r.path for r in je.query("$[][][]")], ["$.ключ.日本[0]", "$.ключ.日本[1]"])
        self.assertEqual(je.search("😀", "value"), [je.Hit("$.ключ.日本[1]", "", "😀")])
        self.assertEqual(je.flatten()[0], ("ключ.日本[0]", "é"))


class Query(unittest.TestCase):
    def setUp(self):
        je.load(json.dumps(STORE))

    def test_rows_are_path_value_pairs(self):
        rows = je.query("$.store.book[?.price > 10]")
        self.assertEqual(rows, [("$.store.book[1]", STORE["store"]["book"][1])])
        self.assertEqual(rows[0].value["tags"], ["x", "y"])
        self.assertFalse(rows.truncated)
        self.assertEqual(je.query("$.store.book | map(.price)"), [("$.store.book", [8, 12])])
        self.assertEqual(je.query("$.store.book[5]"), [])
        self.assertEqual(je.query_raw("$.store.book[].title"), '["A","B"]')
        self.assertEqual(je.query_raw("$.store.book[5]"), "[]")

    def test_long_values_come_back_whole(self):
        # The engine's per-row value field stops at 12287 bytes.
        je.load(json.dumps({"s": "x" * 20000}))
        self.assertEqual(je.query("$.s")[0].value, "x" * 20000)

    def test_errors_raise(self):
        for q, message in [("", "empty query"), ("$.a)x", "query: trailing garbage near: x")]:
            with self.subTest(q=q), self.assertRaises(je.JsonEngineError) as cm:
                je.query(q)
            self.assertEqual(cm.exception.message, message)

    def test_the_table_cap_is_visible(self):
        for n, truncated in [(3999, False), (4000, True), (5000, True)]:
            with self.subTest(n=n):
                je.load(json.dumps(list(range(n))))
                rows = je.query("$[]")
                self.assertEqual(len(rows), min(n, je.QUERY_ROWS_MAX))
                self.assertEqual(rows.truncated, truncated)
                self.assertEqual(rows[-1].value, len(rows) - 1)
                with warnings.catch_warnings(record=True) as caught:
                    warnings.simplefilter("always")
                    je.query_raw("$[]")
                self.assertEqual([w.category for w in caught], [je.TruncatedWarning] if truncated else [])


class Inspection(unittest.TestCase):
    def setUp(self):
        je.load(json.dumps(STORE))

    def test_validate_returns_verdict_and_report(self):
        ok, report = je.validate('{"a":1}')
        self.assertTrue(ok)
        self.assertEqual([r["rule"] for r in report],
                         ["syntax", "root", "trailing", "duplicate-keys", "number-range", "depth"])
        for text, rule in [('{"a":1,"a":2}', "duplicate-keys"), ("[1,", "syntax"), ("[" * 600 + "]" * 600, "depth")]:
            with self.subTest(text=text[:20]):
                ok, report = je.validate(text)
                self.assertFalse(ok)
                self.assertEqual([r["rule"] for r in report if not r["ok"]], [rule])
        self.assertEqual(je.get("$.store.name"), "S")  # the document is untouched

    def test_stats(self):
        self.assertEqual(je.stats(), {"bytes": len(json.dumps(STORE, separators=(",", ":"))), "depth": 6,
                                      "keys": 8, "numbers": 2, "strings": 5, "arrays": 2, "objects": 4})

    def test_search_modes(self):
        je.load('{"bob":"bobby","n":123}')
        both = [je.Hit("$.bob", "bob", '"bobby"'), je.Hit("$.bob", "", "bobby")]
        for mode, hits in [("both", both), (None, both), ("key", both[:1]), ("value", both[1:])]:
            with self.subTest(mode=mode):
                self.assertEqual(je.search("bob", mode), hits)
        self.assertEqual(je.search("12"), [])
        with self.assertRaises(je.JsonEngineError) as cm:
            je.search("bob", "keys")
        self.assertEqual(cm.exception.message, "unknown search mode: keys (use key|value|both)")

    def test_flatten_keeps_every_pair(self):
        for text, pairs in [('{"a":{"b":1,"c":[true,null]},"d":"x"}',
                             [("a.b", 1), ("a.c[0]", True), ("a.c[1]", None), ("d", "x")]),
                            ('{"a":1,"a":2}', [("a", 1), ("a", 2)]),
                            ("5", [("$", 5)]),
                            ('{"a":{"b":[]}}', [("$", {"a": {"b": []}})]),
                            ('{"$":{"x":1}}', [("$.x", 1)])]:
            with self.subTest(text=text):
                je.load(text)
                self.assertEqual(je.flatten(), pairs)

    def test_format_modes(self):
        je.load('{"b":1,"a":[2]}')
        self.assertEqual(je.format("minify"), '{"b":1,"a":[2]}')
        self.assertEqual(je.format("sorted"), '{"a":[2],"b":1}')
        self.assertEqual(json.loads(je.format()), {"b": 1, "a": [2]})
        self.assertEqual(je.format(None), je.format("pretty"))
        with self.assertRaises(je.JsonEngineError):
            je.format("ugly")

    def test_search_flatten_and_diff_caps(self):
        n = je.SEARCH_HITS_MAX
        for size, truncated in [(n - 1, False), (n + 5, True)]:
            with self.subTest(size=size):
                je.load(json.dumps(["v"] * size))
                hits = je.search("v", "value")
                leaves = je.flatten()
                rows = je.diff([])
                self.assertEqual((len(hits), len(leaves), len(rows)), (min(size, n),) * 3)
                self.assertEqual((hits.truncated, leaves.truncated, rows.truncated), (truncated,) * 3)


class MergeDiffCsv(unittest.TestCase):
    def setUp(self):
        je.load('{"a":{"x":1},"b":[1]}')

    def test_merge_takes_values_and_text(self):
        je.merge({"a": {"y": 2}})
        je.merge('{"b":"t"}')
        self.assertEqual(je.get("$"), {"a": {"x": 1, "y": 2}, "b": "t"})
        with self.assertRaises(je.JsonEngineError):
            je.merge("{")
        self.assertEqual(je.get("$.b"), "t")

    def test_diff_rows(self):
        rows = je.diff({"a": {"x": 2}, "c": None})
        self.assertEqual(rows, [je.DiffRow("$.a.x", "changed", "1", "2"), je.DiffRow("$.b", "removed", "[1]", ""),
                                je.DiffRow("$.c", "added", "", "null")])
        self.assertEqual(je.diff(b'{"a":{"x":1},"b":[1]}'), [])
        with self.assertRaises(je.JsonEngineError) as cm:
            je.diff("[")
        self.assertTrue(cm.exception.message.startswith("diff target: "), cm.exception.message)

    def test_csv_both_ways(self):
        je.from_csv("name,n\nä,1\nb,2.5\n")
        self.assertEqual(je.get("$"), [{"name": "ä", "n": 1}, {"name": "b", "n": 2.5}])
        self.assertEqual(je.to_csv(), "name,n\nä,1\nb,2.5\n")
        je.from_csv("k\nv\n".encode())
        self.assertEqual(je.get("$"), [{"k": "v"}])

    def test_empty_array_gives_empty_csv_without_error(self):
        je.load("[]")
        self.assertEqual(je.to_csv("$"), "")

    def test_csv_failures_raise(self):
        je.load('{"a":1}')
        with self.assertRaises(je.JsonEngineError) as cm:
            je.to_csv("$.a")
        self.assertEqual(cm.exception.message, "path $.a is not an array")
        with self.assertRaises(je.JsonEngineError):
            je.from_csv(b"k\n\xff\n")  # not UTF-8
        self.assertEqual(je.get("$"), {"a": 1})


class Threads(unittest.TestCase):
    def test_calls_from_many_threads_do_not_mix(self):
        je.load(json.dumps({"items": [{"id": i, "name": f"#{i}#"} for i in range(200)]}))
        errors = []

        def work(t):
            try:
                for i in range(40):
                    k = (t * 40 + i) % 200
                    self.assertEqual(je.get_text(f"$.items[{k}].name"), f'"#{k}#"')
                    self.assertEqual(je.query(f"$.items[{k}].id"), [(f"$.items[{k}].id", k)])
                    self.assertEqual(je.search(f"#{k}#", "value"), [(f"$.items[{k}].name", "", f"#{k}#")])
                    je.set(f"$.t{t}_{i}", [t, i])
            except Exception as exc:  # reported on the main thread
                errors.append(exc)

        threads = [threading.Thread(target=work, args=(t,)) for t in range(8)]
        for th in threads:
            th.start()
        for th in threads:
            th.join()
        self.assertEqual(errors, [])
        doc = je.get("$")
        self.assertEqual(sum(1 for k in doc if k.startswith("t")), 8 * 40)


class Deep(unittest.TestCase):
    """A document nested 1,000,000 levels deep, worked on from a thread with
    a 1 MiB stack. Python's json cannot decode such texts, so the checks use
    the text-returning calls."""

    def on_small_stack(self, fn):
        result = {}

        def body():
            try:
                result["value"] = fn()
            except BaseException as exc:  # reported on the main thread
                result["error"] = exc

        old = threading.stack_size(1 << 20)
        try:
            th = threading.Thread(target=body)
            th.start()
        finally:
            threading.stack_size(old)
        th.join()
        if "error" in result:
            raise result["error"]
        return result["value"]

    def test_every_operation(self):
        text = "[" * DEEP_LEVELS + "]" * DEEP_LEVELS

        def work():
            je.load(text)
            out = {"type": je.root_type(), "get": je.get_text("$") == text,
                   "minify": je.format("minify") == text, "sorted": je.format("sorted") == text,
                   "depth": je.stats()["depth"], "raw": je.query_raw("$") == "[" + text + "]",
                   "valid": je.validate(text)[0], "diff": je.diff(text),
                   "flat": je.flatten_text() == '{"$":' + text + "}",
                   "search": je.search("x"), "csv": je.to_csv()}
            with self.assertRaises(RecursionError):
                je.get("$")  # the json module's own limit, not the engine's
            je.merge(text)
            je.set_text("$[0]", text)
            je.delete("$[1]")
            out["after"] = je.get_text("$[0][0]") == text[1:-1]
            return out

        out = self.on_small_stack(work)
        self.assertEqual(out, {"type": "array", "get": True, "minify": True, "sorted": True,
                               "depth": DEEP_LEVELS, "raw": True, "valid": False, "diff": [],
                               "flat": True,
                               "search": [], "csv": "\n", "after": True})


class LibrarySearch(unittest.TestCase):
    def library(self) -> pathlib.Path:
        lib = je.load_library()
        return pathlib.Path(lib)

    def test_loaded_library_is_kept(self):
        lib = self.library()
        self.assertEqual(je.load_library(lib), str(lib))
        self.assertEqual(je.load_library(lib.parent), str(lib))
        with tempfile.TemporaryDirectory() as d:
            other = pathlib.Path(d) / lib.name
            shutil.copy(lib, other)
            with self.assertRaises(RuntimeError):
                je.load_library(other)

    def test_search_order(self):
        lib = self.library()
        with tempfile.TemporaryDirectory() as d:
            pkg = pathlib.Path(d) / "quendral_jsonengine"
            shutil.copytree(HERE.parent / "quendral_jsonengine", pkg,
                            ignore=shutil.ignore_patterns("__pycache__"))
            beside = pkg / je._library.LIBRARY_NAMES[0]
            shutil.copy(lib, beside)
            env = {k: v for k, v in os.environ.items() if k != je.ENV_VAR}
            env["PYTHONPATH"] = d
            probe = "import quendral_jsonengine as je\ntry:\n    print(je.load_library())\nexcept OSError as e:\n    print(type(e).__name__)\n"
            for name, var, expect in [("next to the package", None, str(beside)),
                                      ("variable naming the file", str(lib), str(lib)),
                                      ("variable naming the directory", str(lib.parent), str(lib)),
                                      ("variable naming nothing", str(pathlib.Path(d) / "none.so"), "LibraryNotFoundError")]:
                with self.subTest(name):
                    run_env = dict(env, **({je.ENV_VAR: var} if var else {}))
                    r = run_python(probe, env=run_env)
                    got = r.stdout.strip()
                    if expect.startswith(os.sep):
                        self.assertTrue(os.path.samefile(got, expect), (got, expect, r.stderr))
                    else:
                        self.assertEqual(got, expect, r.stderr)


if __name__ == "__main__":
    unittest.main()
