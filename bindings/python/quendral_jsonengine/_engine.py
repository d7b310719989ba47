"""The Python surface over the engine's 26 C functions.

Each function here takes the process-wide lock, makes its engine calls,
copies every text out of engine storage before the lock is released and
checks the outcome the way the C interface reports it. See the package
docstring for the conventions.
"""

from __future__ import annotations

import ctypes
import json
import os
import threading
import warnings
from typing import Any, Iterable, List, NamedTuple, Optional, Tuple, TypeVar, Union

from . import _library

TextArg = Union[str, bytes, bytearray, memoryview]
PathArg = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]

# Capacities of the engine's result tables; rows beyond them are dropped by
# the engine without a message.
QUERY_ROWS_MAX = 4000
SEARCH_HITS_MAX = 10000
FLATTEN_LEAVES_MAX = 10000
DIFF_ROWS_MAX = 10000

# Engine texts are UTF-8, but fields cut to a fixed width may end inside a
# character; surrogateescape keeps such bytes, and the same handler on the way
# in gives them back to the engine unchanged.
_ENCODING = "utf-8"
_ERRORS = "surrogateescape"

# The engine keeps one document and its result tables in process-wide
# storage; this lock makes each function below one uninterrupted sequence of
# engine calls.
_lock = threading.RLock()
_lib: Optional[ctypes.CDLL] = None
_lib_path: Optional[str] = None


class JsonEngineError(Exception):
    """An engine call failed. ``message`` is the engine's own message
    (``json_last_error()``), ``function`` the C function that failed."""

    def __init__(self, message: str, function: str) -> None:
        super().__init__(message)
        self.message = message
        self.function = function


class JsonEngineWarning(UserWarning):
    """An engine call succeeded but left a message (for example a value that
    could not be written, or query results that could not be stored)."""


class TruncatedWarning(UserWarning):
    """A result table reached its capacity, so later rows may be missing."""


class QueryRow(NamedTuple):
    """One query result: where it was found and its decoded value."""

    path: str
    value: Any


class Hit(NamedTuple):
    """One search hit. For a key match, ``key`` is the key and ``value`` the
    member's value as compact JSON text; for a string-value match, ``key`` is
    "" and ``value`` the string itself. Fields are cut by the engine at 4095
    bytes (``key`` at 511)."""

    path: str
    key: str
    value: str


class DiffRow(NamedTuple):
    """One difference. ``type`` is "added", "removed" or "changed"; ``a`` and
    ``b`` are the compact JSON texts of the loaded document's and the other
    document's value ("" for the missing side), cut by the engine at 4095
    bytes."""

    path: str
    type: str
    a: str
    b: str


_Row = TypeVar("_Row")


class Rows(List[_Row]):
    """A list of result rows with a ``truncated`` flag.

    ``truncated`` is True when the engine's table was full (``capacity``
    rows): rows past the capacity, if there were any, are missing. The engine
    does not tell a full table from one that overflowed, so a result of
    exactly ``capacity`` rows also reports True. For a query it is also True
    when the engine stopped storing results early and left a message.
    """

    truncated: bool
    capacity: int

    def __init__(self, rows: Iterable[_Row], capacity: int, truncated: Optional[bool] = None) -> None:
        super().__init__(rows)
        self.capacity = capacity
        self.truncated = len(self) >= capacity if truncated is None else truncated


# ---- plumbing --------------------------------------------------------------


def load_library(path: Optional[PathArg] = None) -> str:
    """Opens the engine library and returns the path or name it was opened by.

    Called without a path on first use of any function. With a path (the
    library file or its directory) it must come before any other call; once a
    library is open, asking for a different one raises RuntimeError. Search
    order without a path: the environment variable
    ``QUENDRAL_JSONENGINE_LIBRARY`` (a file or a directory), the library file
    next to this package, then the system's loader. Raises
    LibraryNotFoundError when none opens.
    """
    global _lib, _lib_path
    with _lock:
        if _lib is not None:
            if path is not None and not _library.same_library(path, _lib_path or ""):
                raise RuntimeError(f"the engine library is already loaded from {_lib_path}")
            return _lib_path or ""
        _lib, _lib_path = _library.open_library(path)
        return _lib_path


def _engine() -> ctypes.CDLL:
    # Called with _lock held.
    if _lib is None:
        load_library()
    assert _lib is not None
    return _lib


def _arg(value: TextArg, what: str) -> bytes:
    if isinstance(value, str):
        data = value.encode(_ENCODING, _ERRORS)
    elif isinstance(value, (bytes, bytearray, memoryview)):
        data = bytes(value)
    else:
        raise TypeError(f"{what} must be str or bytes, not {type(value).__name__}")
    if b"\0" in data:
        # The engine reads NUL-terminated texts; the rest would be dropped.
        raise ValueError(f"{what} holds a NUL character")
    return data


def _opt_arg(value: Optional[TextArg], what: str) -> Optional[bytes]:
    return None if value is None else _arg(value, what)


def _json_arg(value: Any, what: str) -> bytes:
    """JSON text as given (str or bytes), any other value serialised."""
    if isinstance(value, (str, bytes, bytearray, memoryview)):
        return _arg(value, what)
    return _arg(_dumps(value), what)


def _dumps(value: Any) -> str:
    # allow_nan=False: NaN and Infinity are not JSON, the engine would refuse them.
    return json.dumps(value, ensure_ascii=False, allow_nan=False, separators=(",", ":"))


def _text(data: bytes) -> str:
    return data.decode(_ENCODING, _ERRORS)


def _message(lib: ctypes.CDLL) -> str:
    return _text(lib.json_last_error())


def _fail(lib: ctypes.CDLL, function: str) -> JsonEngineError:
    message = _message(lib)
    return JsonEngineError(message or f"{function} failed without a message", function)


def _warn_left_message(lib: ctypes.CDLL, function: str) -> bool:
    message = _message(lib)
    if message:
        warnings.warn(JsonEngineWarning(f"{function}: {message}"), stacklevel=3)
    return bool(message)


def _status(lib: ctypes.CDLL, function: str, rc: int) -> None:
    if rc != 0:
        raise _fail(lib, function)
    _warn_left_message(lib, function)


def _big_text(lib: ctypes.CDLL, function: str, result: bytes, empty_ok: bool = False) -> str:
    """Checks a text result: "" with a message is a failure; "" without one
    is a failure too unless the function can succeed with "" (CSV of [])."""
    if result == b"" and (not empty_ok or _message(lib)):
        raise _fail(lib, function)
    _warn_left_message(lib, function)
    return _text(result)


# ---- loading ---------------------------------------------------------------


def load(text: TextArg) -> None:
    """Loads a JSON text as the engine's one document (``json_parse``). On
    failure the previous document stays and JsonEngineError is raised."""
    data = _arg(text, "text")
    with _lock:
        lib = _engine()
        _status(lib, "json_parse", lib.json_parse(data))


def load_file(path: PathArg) -> None:
    """Loads a JSON file (``json_parse_file``). A str or os.PathLike path is
    passed to the engine UTF-8 encoded; bytes are passed as they are."""
    p = os.fspath(path)
    data = _arg(p, "path")
    with _lock:
        lib = _engine()
        _status(lib, "json_parse_file", lib.json_parse_file(data))


def root_type() -> Optional[str]:
    """"object", "array", "string", "number", "bool" or "null" for the
    loaded document's root; None when no document is loaded."""
    with _lock:
        result = _engine().json_root_type()
    return _text(result) or None


def last_error() -> str:
    """The engine's last message (``json_last_error``), "" after a successful
    call. Every failure is also raised as JsonEngineError, so a host rarely
    needs this; with several threads it tells about whichever call ran last."""
    with _lock:
        return _message(_engine())


# ---- paths -----------------------------------------------------------------


def get_text(path: TextArg) -> str:
    """The compact JSON text of the value at a path such as ``$.a.b[2]``."""
    data = _arg(path, "path")
    with _lock:
        lib = _engine()
        return _big_text(lib, "json_get", lib.json_get(data))


def get(path: TextArg) -> Any:
    """The value at a path, decoded with the json module (objects become
    dicts; with duplicate keys the last one wins). For values nested deeper
    than Python's recursion limit use get_text."""
    return json.loads(get_text(path))


def extract(path: TextArg) -> Any:
    """The same as get, through ``json_extract``."""
    data = _arg(path, "path")
    with _lock:
        lib = _engine()
        text = _big_text(lib, "json_extract", lib.json_extract(data))
    return json.loads(text)


def set(path: TextArg, value: Any) -> None:  # noqa: A001 - the engine's name
    """Puts a Python value at a path, serialised with the json module: a str
    is stored as a JSON string. To put a JSON text use set_text. ``$``
    replaces the root; a member is created (with missing intermediate
    objects) or replaced; at an array index the value is inserted before it."""
    set_text(path, _dumps(value))


def set_text(path: TextArg, text: TextArg) -> None:
    """Puts the value of a JSON text (str or bytes) at a path, like set."""
    p = _arg(path, "path")
    data = _arg(text, "text")
    with _lock:
        lib = _engine()
        _status(lib, "json_set", lib.json_set(p, data))


def delete(path: TextArg) -> None:
    """Removes the object member(s) or array element at a path; a failure
    changes nothing."""
    data = _arg(path, "path")
    with _lock:
        lib = _engine()
        _status(lib, "json_delete", lib.json_delete(data))


# ---- query -----------------------------------------------------------------


def _run_query(lib: ctypes.CDLL, q: bytes) -> Tuple[int, bool]:
    if lib.json_query(q) != 0:
        raise _fail(lib, "json_query")
    # A message after success means results could not be stored and the
    # table ends early.
    stopped = _warn_left_message(lib, "json_query")
    count = lib.json_query_count()
    return count, stopped or count >= QUERY_ROWS_MAX


def query(q: TextArg) -> "Rows[QueryRow]":
    """Runs a query such as ``$.store.book[?.price > 10].title`` and returns
    its results as (path, value) rows, values decoded whole. At most 4000
    results are kept; see Rows.truncated."""
    data = _arg(q, "query")
    with _lock:
        lib = _engine()
        count, truncated = _run_query(lib, data)
        paths = [_text(lib.json_query_field(i, b"path")) for i in range(count)]
        raw = lib.json_query_raw()
        if raw == b"":
            raise _fail(lib, "json_query_raw")
    values = json.loads(_text(raw))
    return Rows((QueryRow(p, v) for p, v in zip(paths, values)), QUERY_ROWS_MAX, truncated)


def query_raw(q: TextArg) -> str:
    """Runs a query and returns all result values as one JSON array text
    (``json_query_raw``), "[]" without results. When the result table is full
    a TruncatedWarning is issued, since later results may be missing."""
    data = _arg(q, "query")
    with _lock:
        lib = _engine()
        count, truncated = _run_query(lib, data)
        raw = lib.json_query_raw()
        if raw == b"":
            raise _fail(lib, "json_query_raw")
    if truncated:
        warnings.warn(TruncatedWarning(f"query results stop at {count} rows; later ones may be missing"), stacklevel=2)
    return _text(raw)


# ---- inspection ------------------------------------------------------------


def validate(text: TextArg) -> Tuple[bool, List[Any]]:
    """Checks a JSON text against the rules syntax, root, trailing,
    duplicate-keys, number-range and depth (512 levels) and returns (ok,
    report): the report is the decoded list of six rule objects. An invalid
    text is not an error; JsonEngineError is raised only when the check
    itself could not be made. The loaded document is not touched."""
    data = _arg(text, "text")
    with _lock:
        lib = _engine()
        rc = lib.json_validate(data)
        report = lib.json_validate_report_json()
        if rc != 0 and report == b"[]":
            raise _fail(lib, "json_validate")
    return rc == 0, json.loads(_text(report))


def stats() -> dict:
    """The document's statistics: bytes, depth, keys, numbers, strings,
    arrays and objects."""
    with _lock:
        lib = _engine()
        text = _big_text(lib, "json_stats_json", lib.json_stats_json())
    return json.loads(text)


def search(pattern: TextArg, mode: Optional[TextArg] = "both") -> "Rows[Hit]":
    """Finds a substring (case-sensitive) in keys and/or string values; mode
    "key", "value" or "both" (None means both). At most 10000 hits are kept;
    see Rows.truncated."""
    p = _arg(pattern, "pattern")
    m = _opt_arg(mode, "mode")
    with _lock:
        lib = _engine()
        _status(lib, "json_search", lib.json_search(m, p))
        f = lib.json_search_field
        hits = [
            Hit(_text(f(i, b"path")), _text(f(i, b"key")), _text(f(i, b"value")))
            for i in range(lib.json_search_count())
        ]
    return Rows(hits, SEARCH_HITS_MAX)


def flatten_text() -> str:
    """The flattened document as the engine writes it: one JSON object text
    mapping every leaf's path to its value (``json_flatten``)."""
    with _lock:
        lib = _engine()
        return _big_text(lib, "json_flatten", lib.json_flatten())


def flatten() -> "Rows[Tuple[str, Any]]":
    """Every leaf of the document as (path, value) pairs in document order
    (a list, since different keys can give the same path). A document
    without leaves gives the one pair ("$", root). At most 10000 leaves are
    kept; see Rows.truncated."""
    text = flatten_text()
    pairs = json.loads(text, object_pairs_hook=list)
    if len(pairs) == 1 and pairs[0][0] == "$":
        # The root pair's value may be a container; decode it as such.
        pairs = [("$", json.loads(text)["$"])]
    return Rows((tuple(p) for p in pairs), FLATTEN_LEAVES_MAX)


def format(mode: Optional[TextArg] = "pretty") -> str:  # noqa: A001 - the engine's name
    """The document as text: "pretty" (or None), "minify" or "sorted"
    (minified, keys of every object in byte order)."""
    m = _opt_arg(mode, "mode")
    with _lock:
        lib = _engine()
        return _big_text(lib, "json_format", lib.json_format(m))


# ---- merge and diff ---------------------------------------------------------


def merge(patch: Any) -> None:
    """Deep-merges a patch into the document: objects merge, every other
    value from the patch wins. A str or bytes patch is JSON text; any other
    value is serialised with the json module."""
    data = _json_arg(patch, "patch")
    with _lock:
        lib = _engine()
        _status(lib, "json_merge", lib.json_merge(data))


def diff(other: Any) -> "Rows[DiffRow]":
    """Compares the document (side a) with another (side b) and returns the
    differences as rows. A str or bytes argument is JSON text; any other
    value is serialised with the json module. At most 10000 rows are kept;
    see Rows.truncated."""
    data = _json_arg(other, "other")
    with _lock:
        lib = _engine()
        _status(lib, "json_diff", lib.json_diff(data))
        f = lib.json_diff_field
        rows = [
            DiffRow(_text(f(i, b"path")), _text(f(i, b"type")), _text(f(i, b"a")), _text(f(i, b"b")))
            for i in range(lib.json_diff_count())
        ]
    return Rows(rows, DIFF_ROWS_MAX)


# ---- CSV -------------------------------------------------------------------


def to_csv(path: Optional[TextArg] = None) -> str:
    """The array at a path (default ``$``) as CSV with a header of all object
    keys. An empty array gives ""."""
    p = _opt_arg(path, "path")
    with _lock:
        lib = _engine()
        return _big_text(lib, "json_to_csv", lib.json_to_csv(p), empty_ok=True)


def from_csv(text: TextArg) -> None:
    """Reads CSV with a header line and makes it the document, an array of
    typed records. On failure the previous document stays."""
    data = _arg(text, "csv")
    with _lock:
        lib = _engine()
        _status(lib, "json_from_csv", lib.json_from_csv(data))
