"""Every JSON the tool writes, for the bundled examples, for hostile blocks
and for inputs that fail, is valid against its schema, checked with
python3-jsonschema; a few wrong documents are not (so that a schema that
takes anything would be noticed); the bundle holds the same schemas.

    python3 schema_test.py SCHEMA_DIR BUNDLE_COMMAND TOOL EXAMPLES_DIR

Exits 77 (skipped) without jsonschema or without its draft 2020-12.
"""
import copy
import csv
import io
import json
from xml.etree import ElementTree
import os
import random
import shlex
import subprocess
import sys
import tempfile

try:
    import jsonschema
    Validator = jsonschema.Draft202012Validator
except (ImportError, AttributeError):
    print("skipped: python3-jsonschema with draft 2020-12 is not installed (./scripts/setup describe)")
    sys.exit(77)

schema_dir, bundle_command, tool, examples = sys.argv[1:]
failures = []


def schema(name):
    with open(os.path.join(schema_dir, name + ".schema.json"), encoding="utf-8") as f:
        s = json.load(f)
    Validator.check_schema(s)
    return s


SCHEMAS = {name: schema(name) for name in ("status", "ndjson-record", "describe", "diff")}
VALIDATORS = {name: Validator(s) for name, s in SCHEMAS.items()}
# diff --format ndjson writes the diff schema's items, one a line.
VALIDATORS["diff-line"] = Validator(SCHEMAS["diff"]["$defs"]["difference"])


def check(name, document, what):
    errors = list(VALIDATORS[name].iter_errors(document))
    for e in errors[:3]:
        failures.append(f"{what}: {name}: {e.message} at {list(e.absolute_path)}")


def run(*args):
    # The tool writes shown() texts, always valid UTF-8.
    out = subprocess.run([tool, *args], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, check=False)
    return out.returncode, out.stdout.decode("utf-8")


def hostile_blocks(folder):
    """Blocks the analyzer takes but a reader might not expect, and inputs
    that fail; returns the paths."""
    rng = random.Random(7)
    blocks = {}
    for i in range(12):
        blocks[f"random-{i}.bin"] = bytes(rng.randrange(256) for _ in range(1024 + (i % 3) * 300))
    every = bytearray(1024)
    every[0x334:0x340] = bytes(range(0x80, 0x8C))
    every[0x341] = 255  # settings run to the block's end and are cut there
    blocks["every-setting.bin"] = bytes(every)
    control = bytearray(1024)
    control[0x334:0x340] = b"\x01\\\"\x7f\xc3(\xff\t\n\x00zz"
    blocks["quote\"back\\slash\nline\xff.bin".encode("utf-8", "surrogateescape").decode(
        "utf-8", "surrogateescape")] = bytes(control)
    blocks["short.bin"] = bytes(1023)
    blocks["not-a-dump.txt"] = b"00000000: 01 02 zz\n"
    paths = []
    for name, data in blocks.items():
        path = os.path.join(folder, name)
        with open(path, "wb") as f:
            f.write(data)
        paths.append(path)
    # A file name that is not UTF-8.
    odd = os.path.join(os.fsencode(folder), b"name-\xff.bin")
    with open(odd, "wb") as f:
        f.write(bytes(1024))
    paths.append(os.fsdecode(odd))
    paths.append(os.path.join(folder, "missing.bin"))
    return paths


def same_warnings_everywhere(inputs):
    """Each input's warnings, read by each format's own parser, are ndjson's;
    under --strict an ndjson line's ok and exit agree with the exit code."""
    def triple(key, index, text):
        return (key or None, int(index) if index not in (None, "") else None, text)
    by_format = {}
    _, out = run("-f", "ndjson", *inputs)
    by_format["ndjson"] = {r["file"]: [triple(w["key"], w["index"], w["text"]) for w in r["warnings"]]
                           for r in map(json.loads, out.splitlines()) if r["ok"]}
    _, out = run("-f", "json", *inputs)
    by_format["json"] = {i["file"]: [triple(w["key"], w["index"], w["text"]) for w in i["warnings"]]
                         for i in json.loads(out) if "status" in i}
    _, out = run("-f", "xml", *inputs)
    by_format["xml"] = {r.get("file"): [triple(w.get("key"), w.get("index"), w.text or "")
                                        for w in r.iterfind("Warnings/Warning")]
                        for r in ElementTree.fromstring(out) if r.get("error") is None}
    for name, delimiter in (("csv", ","), ("tsv", "\t")):
        _, out = run("-f", name, *inputs)
        rows = list(csv.DictReader(io.StringIO(out), delimiter=delimiter,
                                   quoting=csv.QUOTE_NONE if name == "tsv" else csv.QUOTE_MINIMAL))
        found = {}
        for row in rows:
            found.setdefault(row["file"], [])
            if row["warning"]:
                found[row["file"]].append(triple(row["key"], row["index"], row["warning"]))
        by_format[name] = found
    for name, found in by_format.items():
        if name != "tsv" and found != by_format["ndjson"]:  # tsv escapes the names' bytes
            failures.append(f"-f {name}: the warnings differ from ndjson's")
    if not any(by_format["csv"].values()):
        failures.append("no warnings among the inputs")
    for path, warned in by_format["ndjson"].items():
        if "\\" in path:
            continue  # a shown() name is no path to run again
        code, out = run("--strict", "-f", "ndjson", path)
        record = json.loads(out)
        if record["ok"] != (code == 0) or record.get("exit", 0) != code or bool(warned) != (code == 3):
            failures.append(f"--strict -f ndjson {path}: ok {record['ok']}, exit code {code}")


def main():
    example_paths = sorted(os.path.join(examples, f) for f in os.listdir(examples))
    with tempfile.TemporaryDirectory(prefix="qlx5100-schema-") as folder:
        hostile = hostile_blocks(folder)
        everything = example_paths + hostile
        seen_failed = seen_warning = False

        for path in example_paths:
            code, out = run("-f", "json", path)
            check("status", json.loads(out), f"-f json {path}")
        for inputs in (example_paths, everything):
            code, out = run("-f", "json", *inputs)
            batch = json.loads(out)
            check("status", batch, f"-f json batch of {len(inputs)}")
            seen_failed |= any("error" in item for item in batch)

        for args in (["-f", "ndjson", *everything],
                     ["-f", "ndjson", "-e", "HeaterTemperature", "-e", "PinchRollerPressureSetting[2]",
                      "-e", "CuttingCommandName", *everything]):
            code, out = run(*args)
            for line in out.splitlines():
                record = json.loads(line)
                check("ndjson-record", record, f"ndjson line {line[:80]}")
                seen_failed |= record["ok"] is False
                seen_warning |= bool(record.get("warnings"))
        same_warnings_everywhere(everything)
        # A stream with a partial block at its end.
        stream = os.path.join(folder, "stream.bin")
        with open(stream, "wb") as f:
            for path in example_paths:
                with open(path, "rb") as block:
                    f.write(block.read())
            f.write(bytes(100))
        code, out = run("--stream", "-f", "ndjson", stream)
        lines = out.splitlines()
        for line in lines:
            check("ndjson-record", json.loads(line), f"--stream line {line[:80]}")
        if len(lines) != len(example_paths) + 1 or json.loads(lines[-1])["ok"]:
            failures.append(f"--stream: {len(lines)} lines, the last not a failure")

        code, out = run("--describe", "-f", "json")
        check("describe", json.loads(out), "--describe -f json")

        pairs = [(a, b) for a in example_paths for b in example_paths] + [(hostile[0], hostile[1])]
        for old, new in pairs:
            code, out = run("diff", "-f", "json", old, new)
            check("diff", json.loads(out), f"diff -f json {old} {new}")
            code, out = run("diff", "-f", "ndjson", old, new)
            for line in out.splitlines():
                check("diff-line", json.loads(line), f"diff -f ndjson {old} {new}")
        if not (seen_failed and seen_warning):
            failures.append("no failed input or no warning among the hostile inputs")

        wrong_documents(example_paths[0])
        bundle()


def wrong_documents(path):
    """Documents the schemas must refuse, made from right ones."""
    code, out = run("-f", "ndjson", path)
    record = json.loads(out)
    code, out = run("-f", "json", path)
    tree = json.loads(out)
    code, out = run("--describe", "-f", "json")
    fields = json.loads(out)

    def changed(document, change):
        document = copy.deepcopy(document)
        change(document)
        return document

    wrong = [
        ("ndjson-record", changed(record, lambda r: r["values"].update(HeaterTemperature=[200]))),
        ("ndjson-record", changed(record, lambda r: r["values"].update(PrintAndCut="1"))),
        ("ndjson-record", changed(record, lambda r: r.update(exit=3))),
        ("ndjson-record", changed(record, lambda r: r.update(ok=False))),
        ("status", changed(tree, lambda t: t["DeviceStatus"]["Heaters"]["Heater"][0].update({"@No": "5"}))),
        ("status", changed(tree, lambda t: t["DeviceStatus"].pop("ToolStatus"))),
        ("status", changed(tree, lambda t: t["DeviceStatus"].update(PrintAndCut="1.5"))),
        ("describe", changed(fields, lambda f: f[0].update(type="float"))),
        ("diff", [{"key": "ToolStatus", "index": 1, "old": 1, "new": "2"}]),
    ]
    for name, document in wrong:
        if VALIDATORS[name].is_valid(document):
            failures.append(f"{name} takes a wrong document: {json.dumps(document)[:200]}")


def bundle():
    out = subprocess.run(shlex.split(bundle_command), stdout=subprocess.PIPE, check=True).stdout
    document = json.loads(out)
    Validator.check_schema(document)
    for name, s in SCHEMAS.items():
        if document["$defs"].get(name) != s:
            failures.append(f"the bundle's {name} is not {name}.schema.json")
    # A validator pointed into the bundle judges as the file does.
    via_bundle = Validator({"$ref": "#/$defs/describe", **document})
    code, out = run("--describe", "-f", "json")
    fields = json.loads(out)
    if not via_bundle.is_valid(fields) or via_bundle.is_valid(fields + [{}]):
        failures.append("the bundle's describe schema judges otherwise than the file")


main()
for f in failures[:40]:
    print(f)
print(f"{len(failures)} failures")
sys.exit(1 if failures else 0)
