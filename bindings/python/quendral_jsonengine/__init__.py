"""quendral_jsonengine: the quendral-jsonengine JSON engine from Python.

A thin layer over the engine's shared library (libquendral-jsonengine.so, or
quendral-jsonengine.dll on Windows) through ctypes; no compiler is needed.

    import quendral_jsonengine as je
    je.load('{"store":{"book":[{"title":"A","price":8},{"title":"B","price":12}]}}')
    je.get("$.store.book[1].title")             # 'B'
    je.set("$.store.name", "Corner Books")      # a Python value
    je.set_text("$.store.open", "true")         # a JSON text
    [r.value for r in je.query("$.store.book[?.price > 10].title")]   # ['B']

Conventions:

- One document per process. The engine keeps a single document and its
  result tables in process-wide storage, so every module function works on
  that one document, whichever thread calls it. A process-wide lock
  serialises the calls: each function runs its engine calls as one
  uninterrupted sequence (a query and the reading of its rows, for example),
  so threads may call freely, but they share the document.
- Every text is copied out of engine storage before the function returns;
  results stay valid and distinct however many are held.
- Text arguments are str (encoded UTF-8) or bytes (passed as they are). A NUL
  character raises ValueError, since the engine would stop reading there.
  Engine texts are decoded as UTF-8; bytes that do not decode (a field cut
  inside a character) are kept with the surrogateescape handler.
- A failing call raises JsonEngineError carrying the engine's message. A call
  that succeeds but leaves a message issues a JsonEngineWarning.
- Result tables have capacities (query 4000 rows; search, flatten and diff
  10000). Lists of rows are Rows, whose ``truncated`` is True when the table
  was full; query_raw issues a TruncatedWarning instead.
- set() always serialises a Python value (a str becomes a JSON string);
  set_text() takes JSON text. merge() and diff() take JSON text when given
  str or bytes and serialise any other value.

The library is found by load_library(path), the environment variable
QUENDRAL_JSONENGINE_LIBRARY, a copy next to this package, or the system's
loader, in that order (see load_library).
"""

from ._engine import (
    DIFF_ROWS_MAX,
    FLATTEN_LEAVES_MAX,
    QUERY_ROWS_MAX,
    SEARCH_HITS_MAX,
    DiffRow,
    Hit,
    JsonEngineError,
    JsonEngineWarning,
    QueryRow,
    Rows,
    TruncatedWarning,
    delete,
    diff,
    extract,
    flatten,
    flatten_text,
    format,
    from_csv,
    get,
    get_text,
    last_error,
    load,
    load_file,
    load_library,
    merge,
    query,
    query_raw,
    root_type,
    search,
    set,
    set_text,
    stats,
    to_csv,
    validate,
)
from ._library import ENV_VAR, LibraryNotFoundError

__version__ = "0.1.0"

__all__ = [
    "DIFF_ROWS_MAX",
    "ENV_VAR",
    "FLATTEN_LEAVES_MAX",
    "QUERY_ROWS_MAX",
    "SEARCH_HITS_MAX",
    "DiffRow",
    "Hit",
    "JsonEngineError",
    "JsonEngineWarning",
    "LibraryNotFoundError",
    "QueryRow",
    "Rows",
    "TruncatedWarning",
    "delete",
    "diff",
    "extract",
    "flatten",
    "flatten_text",
    "format",
    "from_csv",
    "get",
    "get_text",
    "last_error",
    "load",
    "load_file",
    "load_library",
    "merge",
    "query",
    "query_raw",
    "root_type",
    "search",
    "set",
    "set_text",
    "stats",
    "to_csv",
    "validate",
]
