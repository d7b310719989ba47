"""Finding and opening the quendral-jsonengine shared library.

The library is looked for, in this order, and the first place that is given
is the only one tried:

1. the path passed to ``load_library(path)``;
2. the environment variable ``QUENDRAL_JSONENGINE_LIBRARY``;

and when neither is given, the first of these that opens:

3. the library file next to this package (a copy placed in the package
   directory);
4. the system's loader (``LD_LIBRARY_PATH``, the ldconfig cache and the
   standard directories on Linux; the application directory, System32, the
   directories added with ``os.add_dll_directory`` and then ``PATH`` on
   Windows).

A path (argument or variable) may name the library file itself or a
directory that holds it.
"""

from __future__ import annotations

import ctypes
import ctypes.util
import os
import sys
from typing import Any, List, Optional, Sequence, Tuple

ENV_VAR = "QUENDRAL_JSONENGINE_LIBRARY"

if sys.platform == "win32":
    LIBRARY_NAMES: Tuple[str, ...] = ("quendral-jsonengine.dll", "libquendral-jsonengine.dll")
elif sys.platform == "darwin":
    LIBRARY_NAMES = ("libquendral-jsonengine.0.dylib", "libquendral-jsonengine.dylib")
else:
    LIBRARY_NAMES = ("libquendral-jsonengine.so.0", "libquendral-jsonengine.so")

_S = ctypes.c_char_p
_I = ctypes.c_int

# The 26 functions of the C interface: name, result type, argument types.
SIGNATURES: Sequence[Tuple[str, Any, List[Any]]] = (
    ("json_last_error", _S, []),
    ("json_parse", _I, [_S]),
    ("json_parse_file", _I, [_S]),
    ("json_root_type", _S, []),
    ("json_get", _S, [_S]),
    ("json_extract", _S, [_S]),
    ("json_set", _I, [_S, _S]),
    ("json_delete", _I, [_S]),
    ("json_query", _I, [_S]),
    ("json_query_count", _I, []),
    ("json_query_field", _S, [_I, _S]),
    ("json_query_raw", _S, []),
    ("json_validate", _I, [_S]),
    ("json_validate_report_json", _S, []),
    ("json_stats_json", _S, []),
    ("json_search", _I, [_S, _S]),
    ("json_search_count", _I, []),
    ("json_search_field", _S, [_I, _S]),
    ("json_flatten", _S, []),
    ("json_format", _S, [_S]),
    ("json_merge", _I, [_S]),
    ("json_diff", _I, [_S]),
    ("json_diff_count", _I, []),
    ("json_diff_field", _S, [_I, _S]),
    ("json_to_csv", _S, [_S]),
    ("json_from_csv", _I, [_S]),
)


class LibraryNotFoundError(OSError):
    """The shared library could not be found or opened, or is not the engine."""


# Handles from os.add_dll_directory must stay alive while the DLL is in use.
_dll_dirs: List[Any] = []


def _open(path: str) -> ctypes.CDLL:
    if sys.platform == "win32" and os.path.isabs(path):
        # Lets Windows find the DLL's own dependencies beside it.
        _dll_dirs.append(os.add_dll_directory(os.path.dirname(path)))
    return ctypes.CDLL(path)


def _files_in(directory: str) -> List[str]:
    return [os.path.join(directory, n) for n in LIBRARY_NAMES if os.path.isfile(os.path.join(directory, n))]


def same_library(path: "os.PathLike[str] | str | bytes", loaded: str) -> bool:
    """Whether a path (file or directory) names the library already open."""
    wanted = os.path.abspath(os.fsdecode(os.fspath(path)))
    candidates = _files_in(wanted) if os.path.isdir(wanted) else [wanted]
    try:
        return bool(candidates) and os.path.samefile(candidates[0], loaded)
    except OSError:
        return False


def _given(path: str, source: str) -> Tuple[ctypes.CDLL, str]:
    """Opens the library at a path the host named; no other place is tried."""
    path = os.path.abspath(os.fsdecode(path))
    candidates = _files_in(path) if os.path.isdir(path) else [path]
    if not candidates:
        raise LibraryNotFoundError(f"{source}: no {' or '.join(LIBRARY_NAMES)} in {path}")
    try:
        return _open(candidates[0]), candidates[0]
    except OSError as exc:
        raise LibraryNotFoundError(f"{source}: cannot open {candidates[0]}: {exc}") from exc


def _searched() -> Tuple[ctypes.CDLL, str]:
    tried: List[str] = []
    for candidate in _files_in(os.path.dirname(os.path.abspath(__file__))):
        try:
            return _open(candidate), candidate
        except OSError as exc:
            tried.append(f"{candidate}: {exc}")
    names: List[str] = list(LIBRARY_NAMES)
    found = ctypes.util.find_library("quendral-jsonengine")
    if found and found not in names:
        names.append(found)
    for name in names:
        try:
            return ctypes.CDLL(name), name
        except OSError as exc:
            tried.append(f"{name}: {exc}")
    if sys.platform == "win32":
        for directory in os.environ.get("PATH", "").split(os.pathsep):
            for candidate in _files_in(directory) if directory else []:
                try:
                    return _open(os.path.abspath(candidate)), candidate
                except OSError as exc:
                    tried.append(f"{candidate}: {exc}")
    raise LibraryNotFoundError(
        "quendral-jsonengine library not found; pass its path to load_library() or set "
        f"{ENV_VAR} (tried: {'; '.join(tried)})"
    )


def open_library(path: Optional["os.PathLike[str] | str | bytes"] = None) -> Tuple[ctypes.CDLL, str]:
    """Opens the library (search order in this module's docstring) and
    declares the 26 functions. Returns the library and where it came from."""
    if path is not None:
        lib, where = _given(os.fspath(path), "load_library")  # type: ignore[arg-type]
    elif os.environ.get(ENV_VAR):
        lib, where = _given(os.environ[ENV_VAR], ENV_VAR)
    else:
        lib, where = _searched()
    for name, restype, argtypes in SIGNATURES:
        try:
            fn = getattr(lib, name)
        except AttributeError:
            raise LibraryNotFoundError(f"{where} is not the quendral-jsonengine library: {name} is missing") from None
        fn.restype = restype
        fn.argtypes = argtypes
    return lib, where
