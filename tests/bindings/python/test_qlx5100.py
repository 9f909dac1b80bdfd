"""The Python package against the command-line tool: the same values,
warnings and XML for every bundled example and for random blocks, the same
encode; errors, argument types, threads and logging.

Environment (set by ctest): PYTHONPATH (the package), QLX5100_LIBRARY,
QLX5100_TOOL (qlx5100-status), QLX5100_EXAMPLES (examples/).
"""

import array
import ctypes
import json
import logging
import os
import random
import subprocess
import sys
import threading
from pathlib import Path

import pytest

import qlx5100

TOOL = os.environ["QLX5100_TOOL"]
EXAMPLES = Path(os.environ["QLX5100_EXAMPLES"])
BLOCKS = sorted((EXAMPLES / "blocks").glob("*.bin"))


def tool_ndjson(paths):
    """The tool's ndjson line for each path, in order, as text."""
    done = subprocess.run([TOOL, "-f", "ndjson", *map(str, paths)], capture_output=True,
                          check=False)
    lines = done.stdout.decode("utf-8").splitlines()
    assert len(lines) == len(paths), done.stderr
    return lines


def assert_same_as_tool(result, path, line):
    # The record is the tool's line, less its first member, the file name.
    file_member = '"file":' + json.dumps(str(path)) + ","
    assert file_member in line
    assert result.json == line.replace(file_member, "", 1)
    record = json.loads(line)
    assert result.values == record["values"]
    assert result.warnings == [w["text"] for w in record["warnings"]]


def random_blocks(tmp_path, count, seed, pinch=None):
    rng = random.Random(seed)
    paths = []
    for i in range(count):
        size = 1024 if i % 4 else rng.randrange(1024, 1100)
        block = bytearray(rng.randbytes(size))
        if pinch is not None:
            block[0x341] = rng.randrange(pinch + 1)
        path = tmp_path / f"random-{i:04d}.bin"
        path.write_bytes(bytes(block))
        paths.append(path)
    return paths


def test_examples_are_the_tools_ndjson_and_xml():
    for path, line in zip(BLOCKS, tool_ndjson(BLOCKS)):
        result = qlx5100.analyze(path.read_bytes())
        assert_same_as_tool(result, path, line)
        assert result.xml == (EXAMPLES / "expected" / (path.stem + ".xml")).read_text("utf-8")


def test_random_blocks_are_the_tools_ndjson(tmp_path):
    paths = random_blocks(tmp_path, 200, seed=29)
    warned = 0
    for path, line in zip(paths, tool_ndjson(paths)):
        result = qlx5100.analyze(path.read_bytes())
        assert_same_as_tool(result, path, line)
        warned += bool(result.warnings)
    # Random pinch-roller counts run past the settings' table most of the time.
    assert warned > 100


def test_map_holds_the_raw_bytes_values_the_shown_text():
    result = qlx5100.analyze((EXAMPLES / "blocks" / "text-with-control-bytes.bin").read_bytes())
    raw = result.map["CuttingCommandName"][1]
    assert isinstance(raw, bytes) and b"\x01" in raw
    assert "\\x01" in result.values["CuttingCommandName"]
    normal = qlx5100.analyze((EXAMPLES / "blocks" / "normal-operation.bin").read_bytes())
    assert normal.map["HeaterTemperature"] == {1: b"45", 2: b"45", 3: b"40", 4: b"35"}
    assert normal.values["HeaterTemperature"] == [45, 45, 40, 35]
    assert sorted(normal.map) == list(normal.map)


@pytest.mark.parametrize("data", [bytearray, memoryview, lambda b: array.array("B", b)])
def test_any_bytes_like_object(data):
    block = (EXAMPLES / "blocks" / "heater-fault.bin").read_bytes()
    assert qlx5100.analyze(data(block)).values == qlx5100.analyze(block).values


def test_a_strided_view_is_read_as_its_bytes():
    block = (EXAMPLES / "blocks" / "heater-fault.bin").read_bytes()
    doubled = bytes(b for byte in block for b in (byte, 0))
    assert qlx5100.analyze(memoryview(doubled)[::2]).values == qlx5100.analyze(block).values


@pytest.mark.parametrize("data,message", [
    (b"", "the status block is 0 bytes"),
    (bytes(1023), "the status block is 1023 bytes; the analyzer needs at least 1024"),
])
def test_short_blocks_are_input_errors(data, message):
    with pytest.raises(qlx5100.Error) as e:
        qlx5100.analyze(data)
    assert e.value.code == qlx5100.INPUT_ERROR == 3
    assert message in str(e.value)


@pytest.mark.parametrize("values,message", [
    ({"ToolStatus": 256}, "ToolStatus: 256 is outside 0..255"),
    ({"HeaterTemperature": [1, 2, 3, 4, 5]}, "5 values, but the block has room for 4"),
    ({"NoSuchKey": 1}, 'unknown field "NoSuchKey"'),
    ({"CuttingCommandName": "ABCDEFGHI"}, "the field holds 8"),
    ({"HeaterNumber": [2]}, "is always 1"),
    ('{"ToolStatus": 1, "ToolStatus": 1}', 'the key "ToolStatus" is given twice'),
    ('{"ToolStatus": ', "not JSON we can read: line 1, column 15"),
    ("[]", "expected a JSON object keyed by field name, found array"),
    ('{"file": "x", "ok": false}', "the line is of an input that failed"),
    ({"CuttingCommandName": "\\xZZ"}, "a backslash must start"),
    ('{"ToolStatus": 1}\0', "NUL"),
])
def test_encode_refuses_what_the_tool_refuses(values, message):
    with pytest.raises(qlx5100.Error) as e:
        qlx5100.encode(values)
    assert e.value.code == qlx5100.INPUT_ERROR
    assert message in str(e.value)


@pytest.mark.parametrize("call,argument", [
    (qlx5100.analyze, "a str"),
    (qlx5100.analyze, None),
    (qlx5100.analyze, 1024),
    (qlx5100.analyze, [0] * 1024),
    (qlx5100.encode, None),
    (qlx5100.encode, 5),
    (qlx5100.encode, b'{"ToolStatus": 1}'),
    (qlx5100.encode, [("ToolStatus", 1)]),
    (qlx5100.encode, {"ToolStatus": object()}),
])
def test_wrong_argument_types_raise_type_error(call, argument):
    with pytest.raises(TypeError):
        call(argument)


def test_examples_encode_to_their_blocks():
    for path in BLOCKS:
        text = (EXAMPLES / "values" / (path.stem + ".json")).read_text("utf-8")
        assert qlx5100.encode(text) == path.read_bytes()
        assert qlx5100.encode(json.loads(text)) == path.read_bytes()
        assert qlx5100.encode(qlx5100.analyze(path.read_bytes()).values) == path.read_bytes()


def test_encode_then_analyze_gives_the_values_back(tmp_path):
    # Counts within the settings' table: more than 16 is a block encode
    # refuses to make.
    for path in random_blocks(tmp_path, 100, seed=5, pinch=16):
        values = qlx5100.analyze(path.read_bytes()).values
        block = qlx5100.encode(values)
        assert len(block) == qlx5100.BLOCK_SIZE
        assert qlx5100.analyze(block).values == values


def test_encode_takes_the_status_map_form():
    block = qlx5100.encode({"ToolStatus": {"1": "7"}, "HeaterTemperature": {"1": "-5", "2": 3}})
    assert qlx5100.analyze(block).values["HeaterTemperature"][:2] == [-5, 3]
    assert qlx5100.analyze(block).values["ToolStatus"] == 7


def test_threads_get_their_own_results(tmp_path):
    paths = random_blocks(tmp_path, 32, seed=7)
    blocks = [p.read_bytes() for p in paths]
    expected = [qlx5100.analyze(b).json for b in blocks]
    wrong = []

    def work(offset):
        for i in range(100):
            k = (offset + i) % len(blocks)
            if qlx5100.analyze(blocks[k]).json != expected[k]:
                wrong.append(k)

    threads = [threading.Thread(target=work, args=(t,)) for t in range(8)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert wrong == []


@pytest.mark.skipif(not sys.platform.startswith("linux"), reason="usleep from the C library")
def test_the_gil_is_released_while_the_library_works():
    # The C library's usleep as the log callback: each record holds the
    # analysing thread in C (user = microseconds) without Python code that
    # would take the GIL. Python code on another thread must run meanwhile.
    lib = qlx5100._library.lib
    usleep = ctypes.cast(ctypes.CDLL(None).usleep, ctypes.c_void_p).value
    lib.qlx5100_set_log(qlx5100._library.LogCallback(usleep), 50_000)
    try:
        worker = threading.Thread(target=qlx5100.analyze, args=(bytes(1024),))
        spins = 0
        worker.start()
        while worker.is_alive():
            spins += 1
        worker.join()
    finally:
        lib.qlx5100_set_log(qlx5100._forward, None)
    # Eight records, 0.4 s in C: a thread that held the GIL would leave
    # this one a few spins before and after.
    assert spins > 10_000


def test_records_go_to_the_qlx5100_logger(caplog):
    with caplog.at_level(logging.DEBUG, logger="qlx5100"):
        qlx5100.analyze(bytes(1024))
    records = [r for r in caplog.records if r.name == "qlx5100"]
    assert [r.levelno for r in records] == [logging.DEBUG] * 8
    assert records[0].getMessage().startswith("--> OrvStatusAnalyzerQLX5100::startStatusAnalysis")
    assert records[-1].getMessage().endswith(" true")

    caplog.clear()
    with caplog.at_level(logging.ERROR, logger="qlx5100"), pytest.raises(qlx5100.Error):
        qlx5100.analyze(bytes(10))
    errors = [r for r in caplog.records if r.name == "qlx5100"]
    assert errors and all(r.levelno == logging.ERROR for r in errors)
    assert "Status size error" in errors[0].getMessage()


def test_version_is_the_projects():
    tool = subprocess.run([TOOL, "--version"], capture_output=True, text=True, check=True)
    assert tool.stdout.splitlines()[0] == "qlx5100-status " + qlx5100.__version__
    assert qlx5100._library.lib.qlx5100_version().decode() == qlx5100.__version__


def test_a_library_that_cannot_be_loaded_fails_the_import(tmp_path):
    env = dict(os.environ, QLX5100_LIBRARY=str(tmp_path / "missing.so"))
    done = subprocess.run([sys.executable, "-c", "import qlx5100"], env=env,
                          capture_output=True, text=True, check=False)
    assert done.returncode != 0
    assert "ImportError: qlx5100: cannot load libqlx5100" in done.stderr


@pytest.mark.parametrize("module,message", [
    ("missing.so", "cannot load the analyzer module"),
    ("not-a-module.so", "cannot load the analyzer module"),
])
def test_a_module_that_cannot_be_loaded_is_code_5_every_time(tmp_path, module, message):
    (tmp_path / "not-a-module.so").write_bytes(b"not an ELF file")
    program = ("import qlx5100\n"
               "for attempt in range(2):\n"
               "    try:\n"
               "        qlx5100.analyze(bytes(1024))\n"
               "    except qlx5100.Error as e:\n"
               "        print(e.code, e)\n"
               "print(len(qlx5100.encode({})))\n")
    env = dict(os.environ, QLX5100_MODULE=str(tmp_path / module))
    done = subprocess.run([sys.executable, "-c", program], env=env, capture_output=True,
                          text=True, check=True)
    lines = done.stdout.splitlines()
    assert len(lines) == 3, done.stdout
    for line in lines[:2]:
        assert line.startswith("5 " + message) and module in line
        assert "--module" not in line
    # encode needs no module.
    assert lines[2] == "1024"
