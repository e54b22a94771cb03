#!/usr/bin/env python3
"""Converts the Scribus template corpus the ways docs/scale.md describes and
prints a Markdown table, each way against `ombra convert -j 1` measured in
the same run: the ombra program with one and two worker processes, four
shards one after another (what four machines of a job array do, summed), the
Python API in one process, and ombra.dask on a LocalCluster of two
single-threaded worker processes (the cluster's start not counted).

Wall-clock figures are the best of ROUNDS runs, taken in turns so that a
busy machine slows every way alike. On a machine that other work keeps busy
they say little, so the program's rows also give the processor-time
critical path, which other load changes far less: the program's own
processor time plus that of its busiest worker (`ombra -v` prints both), the
median of the rounds (the kernel counts processor time in ticks), and the
speed-up it implies.

    PYTHONPATH=build/python bench/bench_scale.py build/bin/ombra [ROUNDS]
"""
import glob
import os
import re
import statistics
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


def timed(run):
    """Wall seconds, and the processor-time critical path when the run tells it."""
    start = time.perf_counter()
    path = run()
    return time.perf_counter() - start, path


def main():
    ombra_cli = sys.argv[1]
    rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    files = corpus()
    out = tempfile.mkdtemp(prefix="ombra-bench-")

    def program(*options):
        def run():
            done = subprocess.run([ombra_cli, "convert", *files, "--outdir", out, "-v",
                                   *options], check=True, capture_output=True, text=True)
            times = re.search(r"program ([0-9.]+) s, workers ([0-9. +]+) s", done.stderr)
            return float(times[1]) + max(float(t) for t in times[2].split("+"))
        return run

    def shards():
        # Run in turn here; on four machines at once the slowest shard decides.
        return max(program("--shard", f"{shard}/4")() for shard in range(1, 5))

    ways = {"ombra convert -j 1": program("-j", "1"),
            "ombra convert -j 2": program("-j", "2"),
            "ombra convert --shard I/4, 4 machines (here in turn)": shards}
    try:
        import ombra
        from ombra.dask import convert_files
        from distributed import Client, LocalCluster

        def python_api():
            for path in files:
                ombra.convert(path)
            return None

        ways["Python: ombra.convert, one process"] = python_api
        cluster = LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                               dashboard_address=None)
        client = Client(cluster)
        convert_files(files[:2], client=client)  # the workers load the plug-ins
        def dask_files():
            convert_files(files, out, client=client)
            return None

        ways["Dask: convert_files, 2 worker processes"] = dask_files
    except ImportError as error:
        print(f"(no Python rows: {error})", file=sys.stderr)
        client = None

    walls = {way: [] for way in ways}
    paths = {way: [] for way in ways}
    for _ in range(rounds):
        for way, run in ways.items():
            wall, path = timed(run)
            walls[way].append(wall)
            paths[way].append(path or float("inf"))
    best = {way: (min(walls[way]), statistics.median(paths[way])) for way in ways}
    if client:
        client.close()
        cluster.close()

    base_wall, base_path = best["ombra convert -j 1"]
    load = os.getloadavg()[0]
    print(f"{len(files)} documents, {os.cpu_count()} cores, load {load:.1f}, {rounds} rounds\n")
    print("| Way | Wall s (best) | Speed-up (wall) | Processor critical path s (median) "
          "| Speed-up (processor) |")
    print("|---|---|---|---|---|")
    for way, (wall, path) in best.items():
        shown = (f"{path:.2f} | {base_path / path:.2f}x" if path != float("inf") else "— | —")
        print(f"| {way} | {wall:.2f} | {base_wall / wall:.2f}x | {shown} |")


if __name__ == "__main__":
    main()
