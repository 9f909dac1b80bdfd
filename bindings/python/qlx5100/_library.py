"""libqlx5100 loaded with ctypes, every function declared.

Where the library comes from, first match wins:
  1. the file named by the environment variable QLX5100_LIBRARY;
  2. the library installed with this package (beside its install prefix);
  3. the system's loader, by the library's soname (LD_LIBRARY_PATH, the
     loader's cache), then ctypes.util.find_library("qlx5100").

ctypes.CDLL (not PyDLL) releases the GIL for each call, so calls from
several threads run in the library at once.
"""

import ctypes
import ctypes.util
import os

from . import _build


class ResultHandle(ctypes.Structure):
    """struct qlx5100_result, opaque."""


ResultPointer = ctypes.POINTER(ResultHandle)
LogCallback = ctypes.CFUNCTYPE(None, ctypes.c_void_p, ctypes.c_int, ctypes.c_char_p)


def _candidates():
    override = os.environ.get("QLX5100_LIBRARY")
    if override:
        return [override]
    here = os.path.dirname(os.path.abspath(__file__))
    installed = os.path.normpath(os.path.join(here, _build.LIBRARY_FROM_PACKAGE))
    out = []
    if os.path.isfile(installed):
        out.append(installed)
    out.append(_build.LIBRARY_FILE_NAME)
    found = ctypes.util.find_library("qlx5100")
    if found:
        out.append(found)
    return out


def _load():
    reasons = []
    for candidate in _candidates():
        try:
            return ctypes.CDLL(candidate)
        except OSError as e:
            reasons.append(f"{candidate}: {e}")
    raise ImportError("qlx5100: cannot load libqlx5100 (" + "; ".join(reasons) + ")")


def _declare(lib):
    c = ctypes
    table = {
        "qlx5100_analyze": (c.c_int, [c.c_void_p, c.c_size_t, c.POINTER(ResultPointer)]),
        "qlx5100_result_count": (c.c_size_t, [ResultPointer]),
        "qlx5100_result_entry": (
            c.c_int,
            [ResultPointer, c.c_size_t, c.POINTER(c.c_char_p), c.POINTER(c.c_int),
             c.POINTER(c.c_char_p)],
        ),
        "qlx5100_result_value": (c.c_char_p, [ResultPointer, c.c_char_p, c.c_int]),
        "qlx5100_result_xml": (c.c_char_p, [ResultPointer]),
        "qlx5100_result_json": (c.c_char_p, [ResultPointer]),
        "qlx5100_result_free": (None, [ResultPointer]),
        "qlx5100_encode": (c.c_int, [c.c_char_p, c.c_void_p, c.c_size_t]),
        "qlx5100_last_error": (c.c_char_p, []),
        "qlx5100_version": (c.c_char_p, []),
        "qlx5100_set_log": (None, [LogCallback, c.c_void_p]),
    }
    for name, (restype, argtypes) in table.items():
        function = getattr(lib, name)
        function.restype = restype
        function.argtypes = argtypes
    return lib


lib = _declare(_load())
