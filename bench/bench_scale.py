#!/usr/bin/env python3
"""Converts the Scribus template corpus the ways docs/scale.md describes and
prints a Markdown table, each way against `ombra convert -j 1` measured in
the same run: the ombra program with one and two worker processes, four
shards one after another (what four machines of a job array do, summed), the
Python API in one process, and ombra.dask on a LocalCluster of two
single-threaded worker processes (the cluster's start not counted).

Wall-clock figures are the best of ROUNDS runs, taken in turns so that a
busy machine slows every way alike; CPU figures are the seconds of every
process involved (the program and its workers), which other load does not
change.

    PYTHONPATH=build/python bench/bench_scale.py build/bin/ombra [ROUNDS]
"""
import glob
import os
import resource
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def corpus():
    fetch = os.path.join(ROOT, "tests", "data", "fetch-scribus-samples.sh")
    root = subprocess.run([fetch], capture_output=True, text=True, check=True).stdout.strip()
    return sorted(glob.glob(os.path.join(root, "usr", "share", "scribus", "**", "*.sla*"),
                            recursive=True))


def children_cpu():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def timed(run):
    cpu, start = children_cpu(), time.perf_counter()
    run()
    return time.perf_counter() - start, children_cpu() - cpu


def main():
    ombra_cli = sys.argv[1]
    rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    files = corpus()
    out = tempfile.mkdtemp(prefix="ombra-bench-")

    def program(*options):
        return lambda: subprocess.run([ombra_cli, "convert", *files, "--outdir", out, "-q",
                                       *options], check=True)

    def shards():
        for shard in range(1, 5):
            program("--shard", f"{shard}/4")()

    ways = {"ombra convert -j 1": program("-j", "1"),
            "ombra convert -j 2": program("-j", "2"),
            "ombra convert --shard I/4, I = 1..4 in turn": shards}
    try:
        import ombra
        from ombra.dask import convert_files
        from distributed import Client, LocalCluster

        def python_api():
            for path in files:
                ombra.convert(path)

        ways["Python: ombra.convert, one process"] = python_api
        cluster = LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                               dashboard_address=None)
        client = Client(cluster)
        convert_files(files[:2], client=client)  # the workers load the plug-ins
        ways["Dask: convert_files, 2 worker processes"] = \
            lambda: convert_files(files, out, client=client)
    except ImportError as error:
        print(f"(no Python rows: {error})", file=sys.stderr)
        client = None

    best = {way: (float("inf"), float("inf")) for way in ways}
    for _ in range(rounds):
        for way, run in ways.items():
            wall, cpu = timed(run)
            best[way] = (min(best[way][0], wall), min(best[way][1], cpu))
    if client:
        client.close()
        cluster.close()

    base_wall, base_cpu = best["ombra convert -j 1"]
    load = os.getloadavg()[0]
    print(f"{len(files)} documents, {os.cpu_count()} cores, load {load:.1f}, best of {rounds}\n")
    print("| Way | Wall s | Speed-up | CPU s (program and workers) |")
    print("|---|---|---|---|")
    for way, (wall, cpu) in best.items():
        shown_cpu = f"{cpu:.2f}" if "Python" not in way and "Dask" not in way else "—"
        print(f"| {way} | {wall:.2f} | {base_wall / wall:.2f}x | {shown_cpu} |")


if __name__ == "__main__":
    main()
