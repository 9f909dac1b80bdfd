#!/usr/bin/env python3
"""Per-iteration instruction counts from a callgrind profile of `bench`.

    callgrind_summary.py PROFILE [--per FUNCTION] [--top N]

FUNCTION is what one benchmark iteration calls exactly once (default
Analyzer::roundTrip, one host round trip; baselineRoundTrip for the floor).
Its inclusive cost divided by its number of calls is the cost of one
iteration; every other figure is divided by the same number of calls. Names
are shortened (template arguments and parameter lists cut). Prints the
instructions per iteration, the share of the dynamic loader (libc's dlopen,
dlsym and dlclose with everything they call) and the heaviest functions,
inclusive.
"""
import re
import subprocess
import sys

LINE = re.compile(r"\s*([\d,]+) \(\s*[\d.]+%\)\s+([<*>]\s+)?\S*?:(.*?)(?: \(([\d,]+)x\))? \[(.*)\]$")


def short(name):
    prev = None
    while prev != name:
        prev = name
        name = re.sub(r"<[^<>]*>", "", name)
        name = re.sub(r"\([^()]*\)", "", name)
    name = re.sub(r" (const|\[clone [^\]]*\])", "", name)
    return name.replace("std::__cxx11::", "std::").replace("boost::log::v2_mt_posix::", "log::")


def number(text):
    return int(text.replace(",", ""))


def annotate(profile, *extra):
    return subprocess.run(["callgrind_annotate", "--inclusive=yes", *extra, profile],
                          check=True, capture_output=True, text=True).stdout.splitlines()


def option(name, default):
    return sys.argv[sys.argv.index(name) + 1] if name in sys.argv else default


def main():
    profile = sys.argv[1]
    per = option("--per", "Analyzer::roundTrip")
    top = int(option("--top", "40"))

    def is_per(name):
        return name == per or name.endswith("::" + per)

    # In the caller tree a function's line ("*") follows its callers' lines
    # ("<", each with the number of calls).
    calls = 0
    callers = []
    for line in annotate(profile, "--tree=caller"):
        m = LINE.match(line)
        if not m:
            callers = []
        elif m.group(2) and m.group(2).startswith("<"):
            callers.append(number(m.group(4) or "0"))
        elif m.group(2) and m.group(2).startswith("*"):
            if is_per(short(m.group(3))):
                calls += sum(callers)
            callers = []
    # callgrind_annotate merges functions of the same name from different
    # objects: the two exports of the analyzer include the common module's
    # functions of the same name (which the analyzer calls).
    both = {"startStatusAnalysis", "startConvertXML"}
    rows = []
    for line in annotate(profile):
        m = LINE.match(line)
        if m and not m.group(2):
            name = short(m.group(3))
            obj = m.group(5).rsplit("/", 1)[-1]
            if name in both:
                obj = "analyzer + common module"
            rows.append((number(m.group(1)), name, obj))
    total = sum(ir for ir, name, _ in rows if is_per(name))
    if calls == 0 or total == 0:
        sys.exit(f"{per} does not run in this profile")

    def libc(name):
        return sum(ir for ir, n, obj in rows if n == name and obj.startswith("libc.so"))

    loader = libc("dlopen@@GLIBC_2.34") + libc("dlsym@@GLIBC_2.34") + libc("dlclose@@GLIBC_2.34")
    print(f"{calls} iterations ({per}), {total / calls:,.0f} instructions per iteration")
    print(f"dynamic loader (dlopen + dlsym + dlclose, inclusive): {loader / calls:,.0f} "
          f"per iteration = {100.0 * loader / total:.1f}%")
    print(f"\n{'Ir/iteration':>13} {'share':>6}  function [object]")
    shown = 0
    for ir, name, obj in rows:
        if ir > total or shown == top:
            continue  # FUNCTION's callers, and the tail
        print(f"{ir / calls:13,.0f} {100.0 * ir / total:5.1f}%  {name} [{obj}]")
        shown += 1


if __name__ == "__main__":
    main()
