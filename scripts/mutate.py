#!/usr/bin/env python3
"""A small mutation runner: how many one-line faults in the sources do the tests catch?

  mutate.py sample [--seed N] [--out FILE] [--areas A,B] [--scale K]
      Draws a fixed sample of mutants from the .cpp files of the library,
      plug-ins and tools, spread over the areas below, and writes it as
      tab-separated rows (id, area, file, line, operator, original, mutated).
  mutate.py run --sample FILE --results FILE [--src DIR] [--build DIR] [--regex RE]
      Copies the committed tree (git archive HEAD) to --src unless it exists,
      builds it in --build, checks that the suites pass, then applies one
      mutant at a time: rebuild (ninja), run every CTest suite with a timeout,
      restore the line. Results (id, status, seconds, failing tests) are
      appended to --results, so an interrupted run resumes where it stopped.
      Status: killed (a test failed, crashed or hung), survived, stillborn
      (the mutant did not compile) or gone (its line changed since the sample
      was drawn); the last two are not counted.
  mutate.py report RESULTS... [--sample FILE]
      Kill rate overall and per area, and the survivors.

A mutant names its line by number and by its original text; it applies where
that text stands nearest the number, so a sample survives small shifts but
not a change of the line itself.
"""
import argparse
import os
import random
import re
import signal
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# Area name, folder, mutants drawn. The plug-ins get more, being larger and
# the least covered.
AREAS = [
    ("platform", "platform/", 12),
    ("framework", "framework/", 20),
    ("model", "model/", 22),
    ("streams", "streams/", 22),
    ("text", "text/", 22),
    ("scribus", "plugins/readers/scribus/", 40),
    ("textwriter", "plugins/writers/text/", 24),
    ("dump", "plugins/writers/dump/", 10),
    ("idml", "plugins/readers/idml/", 24),
    ("readers", "plugins/readers/common/", 16),
    ("walker", "plugins/writers/common/", 16),
    ("html", "plugins/writers/html/", 12),
    ("pandoc", "plugins/writers/pandoc/", 12),
    ("tools", "tools/ombra/", 16),
]

STATEMENT = re.compile(
    r"^\s*(\+\+|--|\*)?[A-Za-z_][\w]*(\s*(::|\.|->)\s*[A-Za-z_]\w*)*(\[[^\]]*\])*"
    r"\s*(\(.*\)|[-+*/|&]?=[^=].*|\+\+|--)\s*;\s*$")
KEYWORDS = {"return", "break", "continue", "goto", "case", "default", "delete", "throw",
            "using", "typedef", "static_assert", "const", "static", "constexpr", "auto",
            "int", "unsigned", "long", "short", "char", "bool", "double", "float", "void"}
SWAPS = [
    ("compare", [(" < ", " >= "), (" > ", " <= "), (" <= ", " > "), (" >= ", " < "),
                 (" == ", " != "), (" != ", " == ")]),
    ("boundary", [(" < ", " <= "), (" <= ", " < "), (" > ", " >= "), (" >= ", " > ")]),
    ("logic", [(" && ", " || "), (" || ", " && ")]),
    ("arithmetic", [(" + ", " - "), (" - ", " + "), (" * ", " / "), ("++", "--"), ("--", "++")]),
    ("bool", [("true", "false"), ("false", "true")]),
]
NUMBER = re.compile(r"(?<![\w.])(0[xX][0-9A-Fa-f]+|\d+)([uUlL]*)(?![\w.])")
STATUSES = ("killed", "survived", "stillborn", "gone")
CONDITION = re.compile(r"\b(if|while) \(")


def code_mask(lines):
    """For each line, a string of the same length with comments and literals blanked."""
    masked, in_block = [], False
    for line in lines:
        out, i, n = [], 0, len(line)
        while i < n:
            if in_block:
                end = line.find("*/", i)
                if end < 0:
                    out.append(" " * (n - i))
                    i = n
                else:
                    out.append(" " * (end + 2 - i))
                    i, in_block = end + 2, False
            elif line.startswith("//", i):
                out.append(" " * (n - i))
                i = n
            elif line.startswith("/*", i):
                in_block = True
            elif line[i] in "\"'":
                quote, j = line[i], i + 1
                while j < n and line[j] != quote:
                    j += 2 if line[j] == "\\" else 1
                out.append(" " * (min(j + 1, n) - i))
                i = j + 1
            else:
                out.append(line[i])
                i += 1
        masked.append("".join(out)[:n])
    return masked


def matching_paren(text, open_at):
    depth = 0
    for k in range(open_at, len(text)):
        depth += {"(": 1, ")": -1}.get(text[k], 0)
        if depth == 0:
            return k
    return -1


def candidates(path):
    """Every (line index, operator, mutated line) of one source file."""
    with open(os.path.join(ROOT, path), encoding="utf-8") as f:
        lines = f.read().split("\n")
    masked = code_mask(lines)
    found = []
    previous = ";"
    for i, (line, code) in enumerate(zip(lines, masked)):
        stripped = code.strip()
        if not stripped:
            continue
        continued = previous.endswith("\\") or previous.startswith("#")
        previous = code.rstrip()
        if stripped.startswith("#") or continued or "static_assert" in code:
            continue
        for name, pairs in SWAPS:
            for old, new in pairs:
                pattern = r"\b%s\b" % old if old.isalpha() else re.escape(old)
                for m in re.finditer(pattern, code):
                    if old in ("++", "--") and code[m.start():m.start() + 3] in ("+++", "---"):
                        continue
                    found.append((i, name, line[:m.start()] + new + line[m.end():]))
        if not re.search(r"\w+\s+\w+\[\d+\]", code) and not stripped.startswith("case "):
            for m in NUMBER.finditer(code):
                text, suffix = m.group(1), m.group(2)
                value = int(text, 16) if text[:2] in ("0x", "0X") else int(text)
                for changed in (value + 1, value - 1):
                    if changed < 0:
                        continue
                    spelled = ("0x%X" % changed) if text[:2] in ("0x", "0X") else str(changed)
                    found.append((i, "constant",
                                  line[:m.start()] + spelled + suffix + line[m.end():]))
        for m in CONDITION.finditer(code):
            close = matching_paren(code, m.end() - 1)
            if close > 0:
                inner = line[m.end():close]
                found.append((i, "negate", line[:m.end()] + "!(" + inner + ")" + line[close:]))
        first = re.match(r"\s*([A-Za-z_]\w*)", code)
        ends_statement = prev_ok(masked, i)
        if (STATEMENT.match(code) and ends_statement and code.count("(") == code.count(")")
                and not (first and first.group(1) in KEYWORDS)):
            indent = line[:len(line) - len(line.lstrip())]
            found.append((i, "delete", indent + ";"))
    return lines, found


def prev_ok(masked, i):
    """The line before i ends a statement or opens a block, so line i starts one."""
    for k in range(i - 1, -1, -1):
        text = masked[k].strip()
        if text:
            return text.endswith((";", "{", "}", ":")) and not text.startswith("#")
    return True


def sample(args):
    rng = random.Random(args.seed)
    files = subprocess.run(["git", "-C", ROOT, "ls-files", "*.cpp"], capture_output=True,
                           text=True, check=True).stdout.split()
    rows = []
    for area, folder, count in AREAS:
        if args.areas and area not in args.areas.split(","):
            continue
        count *= args.scale
        by_operator = {}
        for path in sorted(f for f in files if f.startswith(folder) and "/gen/" not in f):
            lines, found = candidates(path)
            for i, operator, mutated in found:
                by_operator.setdefault(operator, []).append((path, i, lines[i], mutated))
        operators = sorted(by_operator)
        chosen = set()
        while len(chosen) < count:
            operator = rng.choice(operators)
            pick = rng.choice(by_operator[operator])
            if pick not in chosen:
                chosen.add(pick)
                rows.append((area, pick[0], pick[1] + 1, operator, pick[2], pick[3]))
    with open(args.out, "w", encoding="utf-8") as out:
        out.write("# id\tarea\tfile\tline\toperator\toriginal\tmutated (seed %d)\n" % args.seed)
        for n, (area, path, line, operator, original, mutated) in enumerate(rows, 1):
            out.write("\t".join(["m%03d" % n, area, path, str(line), operator,
                                 original, mutated]) + "\n")
    print("%d mutants written to %s" % (len(rows), args.out))


def read_sample(path):
    mutants = []
    with open(path, encoding="utf-8") as f:
        for row in f:
            if row.startswith("#") or not row.strip():
                continue
            fields = row.rstrip("\n").split("\t")
            mutants.append(dict(id=fields[0], area=fields[1], file=fields[2],
                                line=int(fields[3]), operator=fields[4],
                                original=fields[5], mutated=fields[6]))
    return mutants


def read_results(paths):
    results = {}
    for path in paths:
        if os.path.exists(path):
            with open(path, encoding="utf-8") as f:
                for row in f:
                    fields = row.rstrip("\n").split("\t")
                    if len(fields) >= 3 and not row.startswith("#"):
                        results[fields[0]] = fields
    return results


def locate(lines, mutant):
    """The index of the mutant's original line nearest its number, or -1."""
    want = mutant["line"] - 1
    hits = [i for i, line in enumerate(lines) if line == mutant["original"]]
    return min(hits, key=lambda i: abs(i - want)) if hits else -1


def quiet(command, cwd, timeout=None, cache=False):
    # Mutants stay out of the compiler cache; the unmutated tree may use it.
    env = dict(os.environ) if cache else dict(os.environ, CCACHE_DISABLE="1")
    return subprocess.run(["nice", "-n", "10"] + command, cwd=cwd, env=env, timeout=timeout,
                          stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)


def run_suites(build, timeout, every=False, regex=None):
    """(passed, failing tests) for the CTest suites of the build. With every,
    all suites run, so the failing tests say which of them catch the mutant;
    otherwise the run stops at the first failure."""
    command = ["nice", "-n", "10", "ctest", "--test-dir", build, "-j2", "--timeout", str(timeout)]
    if not every:
        command.append("--stop-on-failure")
    if regex:
        command += ["-R", regex]
    ctest = subprocess.Popen(command, cwd=build, stdout=subprocess.PIPE,
                             stderr=subprocess.STDOUT, text=True, start_new_session=True,
                             env=dict(os.environ, CCACHE_DISABLE="1"))
    try:
        output, _ = ctest.communicate(timeout=8 * timeout)
    except subprocess.TimeoutExpired:
        os.killpg(ctest.pid, signal.SIGKILL)  # the hung tests too
        output, _ = ctest.communicate()
        output += "\n(the suites hung)"
    if ctest.returncode == 0:
        return True, []
    failed = re.findall(r"Test +#\d+: (\S+) \.*\**(?:Failed|Timeout|Exception|SEGFAULT|"
                        r"Subprocess aborted|Child aborted|Not Run)", output)
    if "(the suites hung)" in output:
        failed.append("(the suites hung)")
    return False, failed or ["(ctest failed)"]


def prepare(args):
    src, build = os.path.abspath(args.src), os.path.abspath(args.build)
    if not os.path.isdir(src):
        os.makedirs(src)
        archive = subprocess.run(["git", "-C", ROOT, "archive", "HEAD"], capture_output=True,
                                 check=True).stdout
        subprocess.run(["tar", "-x", "-C", src], input=archive, check=True)
    # -O1 builds quickly and still runs the suites fast; relinking only what
    # a changed shared library needs keeps each mutant's build small.
    configure = ["cmake", "-S", src, "-B", build, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Release",
                 "-DCMAKE_CXX_FLAGS_RELEASE=-O1", "-DCMAKE_LINK_DEPENDS_NO_SHARED=ON"]
    if (quiet(configure, cwd=src).returncode != 0
            or quiet(["ninja", "-j2"], cwd=build, cache=True).returncode):
        sys.exit("mutate: the unmutated tree does not build in %s" % build)
    passed, failing = run_suites(build, args.timeout, True, args.regex)
    if not passed:
        sys.exit("mutate: the unmutated tree fails %s; fix that first" % ", ".join(failing))
    return src, build


def run(args):
    mutants = read_sample(args.sample)
    done = read_results([args.results])
    src, build = prepare(args)
    with open(args.results, "a", encoding="utf-8") as out:
        for mutant in mutants:
            if mutant["id"] in done:
                continue
            path = os.path.join(src, mutant["file"])
            text = ""
            if os.path.exists(path):  # a file since split or renamed has none of its lines
                with open(path, encoding="utf-8") as f:
                    text = f.read()
            lines = text.split("\n")
            at = locate(lines, mutant) if text else -1
            if at < 0:  # the line changed since the sample was drawn
                out.write("\t".join([mutant["id"], "gone", "0", ""]) + "\n")
                print("%s gone: no longer applies to %s" % (mutant["id"], mutant["file"]))
                continue
            began = time.time()
            lines[at] = mutant["mutated"]
            try:
                with open(path, "w", encoding="utf-8") as f:
                    f.write("\n".join(lines))
                if quiet(["ninja", "-j2"], cwd=build).returncode != 0:
                    status, failing = "stillborn", ""
                else:
                    passed, failing = run_suites(build, args.timeout, args.every, args.regex)
                    status = "survived" if passed else "killed"
                    failing = ",".join(failing)
            finally:
                with open(path, "w", encoding="utf-8") as f:
                    f.write(text)
            seconds = int(time.time() - began)
            out.write("\t".join([mutant["id"], status, str(seconds), failing]) + "\n")
            out.flush()
            print("%s %s %ss %s" % (mutant["id"], status, seconds, failing), flush=True)
    quiet(["ninja", "-j2"], cwd=build)  # leave the build unmutated


def report(args):
    mutants = {m["id"]: m for m in read_sample(args.sample)}
    for path in args.results:
        results = read_results([path])
        print("== %s" % path)
        totals = {}
        for mid, fields in results.items():
            area = mutants[mid]["area"]
            counts = totals.setdefault(area, dict.fromkeys(STATUSES, 0))
            counts[fields[1]] += 1
        print("%-11s %7s %8s %9s %5s %6s" % (("area",) + STATUSES + ("rate",)))
        whole = dict.fromkeys(STATUSES, 0)
        for area, _, _ in AREAS + [("all", "", 0)]:
            counts = whole if area == "all" else totals.get(area)
            if not counts:
                continue
            if area != "all":
                for key in whole:
                    whole[key] += counts[key]
            valid = counts["killed"] + counts["survived"]
            rate = 100.0 * counts["killed"] / valid if valid else 0.0
            print("%-11s %7d %8d %9d %5d %5.1f%%" % ((area,) + tuple(counts[k] for k in STATUSES)
                                                      + (rate,)))
        if args.survivors:
            for mid, fields in sorted(results.items()):
                if fields[1] == "survived":
                    m = mutants[mid]
                    print("%s %s:%d %s\n    - %s\n    + %s" % (mid, m["file"], m["line"],
                          m["operator"], m["original"].strip(), m["mutated"].strip()))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    sub = parser.add_subparsers(dest="command", required=True)
    p = sub.add_parser("sample")
    p.add_argument("--seed", type=int, default=12)
    p.add_argument("--out", default=os.path.join(ROOT, "scripts", "mutation-sample.tsv"))
    p.add_argument("--areas", help="comma-separated areas to draw from (default: all)")
    p.add_argument("--scale", type=int, default=1, help="draw this many times the mutants")
    p = sub.add_parser("run")
    p.add_argument("--sample", default=os.path.join(ROOT, "scripts", "mutation-sample.tsv"))
    p.add_argument("--results", required=True)
    p.add_argument("--src", default=os.path.join(ROOT, "build-mut", "src"))
    p.add_argument("--build", default=os.path.join(ROOT, "build-mut", "build"))
    p.add_argument("--timeout", type=int, default=30, help="seconds a test may take")
    p.add_argument("--every", action="store_true",
                   help="run every suite on a killed mutant, to learn which tests catch it")
    p.add_argument("--regex", help="run only the tests whose names match (ctest -R)")
    p = sub.add_parser("report")
    p.add_argument("results", nargs="+")
    p.add_argument("--sample", default=os.path.join(ROOT, "scripts", "mutation-sample.tsv"))
    p.add_argument("--survivors", action="store_true")
    args = parser.parse_args()
    {"sample": sample, "run": run, "report": report}[args.command](args)


if __name__ == "__main__":
    main()
