"""The QLX5100 status analyzer from Python.

    import qlx5100
    result = qlx5100.analyze(open("dump.bin", "rb").read())
    print(result.values["HeaterTemperature"])

analyze() and encode() are those of the command-line tool qlx5100-status:
result.values is its ndjson record's "values", result.xml its XML output,
encode() its encode command. The work is done by libqlx5100 (a C library,
loaded with ctypes), without the GIL: several threads analyse at once.
Failures raise qlx5100.Error, whose .code is the tool's exit code
(INPUT_ERROR, ANALYZER_FAILED, MODULE_ERROR). The analyzer's log records go
to logging.getLogger("qlx5100"): entry and exit records at DEBUG, errors at
ERROR.
"""

import atexit
import ctypes
import json as _json
import logging
from collections.abc import Mapping

from . import _build
from ._library import LogCallback, ResultPointer, lib as _lib

__all__ = [
    "ANALYZER_FAILED",
    "BLOCK_SIZE",
    "Error",
    "INPUT_ERROR",
    "MODULE_ERROR",
    "Result",
    "analyze",
    "encode",
]

__version__ = _build.VERSION

INPUT_ERROR = 3
ANALYZER_FAILED = 4
MODULE_ERROR = 5
BLOCK_SIZE = 1024

_logger = logging.getLogger("qlx5100")
# A library's records are the application's to show: without a handler of
# its own, Python would print the errors on standard error.
_logger.addHandler(logging.NullHandler())


class Error(Exception):
    """A call that failed: .code is the tool's exit code for it, str() the
    message the tool would print."""

    def __init__(self, code, message):
        super().__init__(message)
        self.code = code


class Result:
    """One analysed block.

    values    the tool's ndjson "values": {key: number, text or list}
    warnings  the expert checks' notes on the block, as text
    map       the analyzer's StatusMap as it is: {key: {index: bytes}}
    xml       the XML document the tool prints for the block
    json      the tool's ndjson record for it, without "file" (text)
    """

    __slots__ = ("values", "warnings", "map", "xml", "json")

    def __repr__(self):
        return f"<qlx5100.Result of {len(self.map)} keys, {len(self.warnings)} warnings>"


def _failure():
    return _lib.qlx5100_last_error().decode("utf-8", "replace")


def _result(handle):
    out = Result()
    out.json = _lib.qlx5100_result_json(handle).decode("utf-8")
    record = _json.loads(out.json)
    out.values = record["values"]
    out.warnings = [w["text"] for w in record["warnings"]]
    xml = _lib.qlx5100_result_xml(handle)
    if xml is None:
        raise Error(ANALYZER_FAILED, "qlx5100_analyze: the tree cannot be written as XML")
    out.xml = xml.decode("utf-8")
    key = ctypes.c_char_p()
    index = ctypes.c_int()
    value = ctypes.c_char_p()
    table = {}
    for i in range(_lib.qlx5100_result_count(handle)):
        _lib.qlx5100_result_entry(handle, i, ctypes.byref(key), ctypes.byref(index),
                                  ctypes.byref(value))
        table.setdefault(key.value.decode("utf-8", "surrogateescape"), {})[index.value] = value.value
    out.map = table
    return out


def analyze(data):
    """Analyses a status block (any bytes-like object: bytes, bytearray,
    memoryview, array, ...) and returns its Result. Raises Error (a block
    shorter than BLOCK_SIZE is an INPUT_ERROR) and TypeError for anything
    that is not bytes-like."""
    if isinstance(data, str):
        raise TypeError("analyze() takes a bytes-like object, not str")
    try:
        block = data if isinstance(data, bytes) else memoryview(data).tobytes()
    except TypeError:
        raise TypeError(
            f"analyze() takes a bytes-like object, not {type(data).__name__}") from None
    handle = ResultPointer()
    code = _lib.qlx5100_analyze(block, len(block), ctypes.byref(handle))
    if code != 0:
        raise Error(code, _failure())
    try:
        return _result(handle)
    finally:
        _lib.qlx5100_result_free(handle)


def encode(values):
    """The status block (BLOCK_SIZE bytes) that values describe, as the
    tool's encode command builds it: values is a mapping of field names to
    values ({"HeaterTemperature": [45, 40], "ToolStatus": 1, ...}, a
    result's .values, the StatusMap form) or the same as JSON text. Raises
    Error (INPUT_ERROR) for values encode refuses, TypeError for anything
    else than a mapping or str."""
    if isinstance(values, Mapping):
        text = _json.dumps(dict(values), ensure_ascii=False)
    elif isinstance(values, str):
        text = values
    else:
        raise TypeError(f"encode() takes a mapping or JSON text, not {type(values).__name__}")
    if "\0" in text:
        raise Error(INPUT_ERROR, "qlx5100_encode: a NUL character, which JSON has no place for")
    block = ctypes.create_string_buffer(BLOCK_SIZE)
    code = _lib.qlx5100_encode(text.encode("utf-8", "surrogatepass"), block, BLOCK_SIZE)
    if code != 0:
        raise Error(code, _failure())
    return block.raw


_LEVELS = {10: logging.DEBUG, 12: logging.WARNING, 13: logging.ERROR, 14: logging.CRITICAL}


@LogCallback
def _forward(_user, severity, text):
    level = _LEVELS.get(severity, logging.DEBUG if severity < 12 else logging.ERROR)
    if _logger.isEnabledFor(level):
        _logger.log(level, "%s", text.decode("utf-8", "replace"))


_lib.qlx5100_set_log(_forward, None)
# No record may reach Python once the interpreter is shutting down.
atexit.register(_lib.qlx5100_set_log, LogCallback(), None)
