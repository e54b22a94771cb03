#!/usr/bin/env python3
"""Runs clang-tidy (.clang-tidy) over the library, plug-ins and tools.

usage: scripts/tidy.py [BUILD_FOLDER] [FILE...]
BUILD_FOLDER holds compile_commands.json (default build/); FILEs limit the
run to those sources (default: every one). Findings listed in
.ci/tidy-accepted are reported but do not fail; any other finding does.
"""
import json
import os
import re
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
FOLDERS = ("platform", "framework", "model", "streams", "text", "plugins", "tools")
FINDING = re.compile(r"^(/[^:]+):(\d+):\d+: (?:warning|error): (.*) \[([a-z0-9.,-]+)\]$")
COLOUR = re.compile(r"\x1b\[[0-9;]*m")
FUNCTION = re.compile(r"function '([^']+)' exceeds")


def accepted_findings():
    """(path, check, function or '') triples from .ci/tidy-accepted."""
    accepted = set()
    with open(os.path.join(ROOT, ".ci", "tidy-accepted"), encoding="utf-8") as f:
        for line in f:
            words = line.split("#", 1)[0].split()
            if words:
                accepted.add((words[0], words[1], words[2] if len(words) > 2 else ""))
    return accepted


def sources(build, only):
    with open(os.path.join(build, "compile_commands.json"), encoding="utf-8") as f:
        files = sorted({entry["file"] for entry in json.load(f)})
    mine = [f for f in files if os.path.relpath(f, ROOT).split(os.sep)[0] in FOLDERS]
    if only:
        wanted = {os.path.abspath(f) for f in only}
        mine = [f for f in mine if f in wanted]
    return mine


def main():
    build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build"))
    files = sources(build, sys.argv[2:])
    if not files:
        print("tidy: no sources to check")
        return 0
    tidy = "run-clang-tidy-14"
    result = subprocess.run([tidy, "-p", build, "-j", str(os.cpu_count() or 2), "-quiet"] + files,
                            capture_output=True, text=True)
    accepted = accepted_findings()
    failures, known = set(), set()
    for line in result.stdout.splitlines():
        m = FINDING.match(COLOUR.sub("", line))
        if not m:
            continue
        path, number, message, checks = m.groups()
        path = os.path.relpath(path, ROOT)
        check = checks.split(",")[0]
        function = FUNCTION.search(message)
        key = (path, check, function.group(1) if function else "")
        where = f"{path}:{number}: {message} [{check}]"
        (known if key in accepted else failures).add(where)
    for where in sorted(known):
        print("tidy: accepted:", where)
    for where in sorted(failures):
        print("tidy:", where)
    if "error:" in result.stderr and not failures and result.returncode != 0:
        # A source that does not compile under clang-tidy is a failure too.
        compile_errors = [l for l in result.stderr.splitlines() if "error:" in l]
        if compile_errors:
            print("\n".join(compile_errors[:20]))
            return 1
    print(f"tidy: {len(files)} sources, {len(failures)} findings, {len(known)} accepted")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
