# Corpus conversion on a Dask cluster of two single-threaded worker
# processes: every output is the ombra program's, and a file that crashes its
# worker is reported failed while the rest are converted.
#
# Run by CTest: test_dask.py OMBRA_CLI TOOL_READERS SOURCE_DIR [FETCH_SCRIPT]
# With FETCH_SCRIPT, the Scribus template corpus it fetches (exit 77 when it
# cannot be had); without, the sample documents and a crashing file.
import filecmp
import glob
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

import dask
from distributed import Client, LocalCluster

import ombra
from ombra.dask import convert_files

OMBRA, TOOL_READERS, SOURCE = sys.argv[1:4]
FETCH = sys.argv[4] if len(sys.argv) > 4 else None


def corpus():
    if not FETCH:
        return sorted(glob.glob(os.path.join(SOURCE, "tests", "data", "scribus", "*.sla")))
    run = subprocess.run([FETCH], capture_output=True, text=True)
    if run.returncode != 0:
        print(run.stderr.strip() or "skipped: the corpus cannot be had")
        sys.exit(77 if run.returncode == 77 else 1)
    return sorted(glob.glob(os.path.join(run.stdout.strip(), "usr", "share", "scribus", "**",
                                         "*.sla*"), recursive=True))


class Dask(unittest.TestCase):
    def test_a_cluster_converts_as_the_program_does_and_survives_a_crash(self):
        files = corpus()
        self.assertGreater(len(files), 5)
        with tempfile.TemporaryDirectory() as work:
            crash = os.path.join(work, "crash.in")
            with open(crash, "w") as f:
                f.write("OMBRA-FAULT crash\n")
            if not FETCH:
                files = files[:3] + [crash] + files[3:]
            # A name that is no UTF-8, as os.listdir gives it.
            files.append(shutil.copy(files[0], os.path.join(work, "caf\udce9.sla")))
            reference = os.path.join(work, "reference")
            subprocess.run([OMBRA, "convert", *files, "--outdir", reference, "-q", "-j", "2",
                            "--readers", TOOL_READERS], capture_output=True)

            # convert_files' own cluster, outputs in the table.
            in_memory = convert_files(files[:4], readers=[TOOL_READERS])
            with dask.config.set({"distributed.scheduler.allowed-failures": 1}):
                with LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  dashboard_address=None) as cluster, Client(cluster) as client:
                    on_disk = convert_files(files, os.path.join(work, "dask"), client=client,
                                            readers=[TOOL_READERS])
                    # Without isolation the worker dies, twice, and the file fails;
                    # those queued on the workers it killed convert.
                    good = [f for f in files if f != crash][:7]
                    lost = convert_files([crash] + good, client=client, readers=[TOOL_READERS],
                                         isolated=False)
                    # An output that would replace its input fails, isolated or not.
                    notes = shutil.copy(files[0], os.path.join(work, "notes.txt"))
                    kept = [convert_files([notes], work, client=client, isolated=isolated)
                            for isolated in (True, False)]
                    # One name in two folders, each output below outdir as the program puts it.
                    os.makedirs(os.path.join(work, "twin"))
                    twins = [files[0], shutil.copy(files[0], os.path.join(work, "twin"))]
                    convert_files(twins, os.path.join(work, "tree"), client=client,
                                  keep_folders=True)
            subprocess.run([OMBRA, "convert", *twins, "--outdir", os.path.join(work, "tree-ref"),
                            "--keep-folders", "-q"], check=True)
            self.assertEqual(*[sorted(os.path.relpath(os.path.join(d, f), os.path.join(work, top))
                                      for d, _, names in os.walk(os.path.join(work, top))
                                      for f in names) for top in ("tree", "tree-ref")])
            for table in kept:
                self.assertIn("the output would replace the input", table.reason[0])
            self.assertTrue(filecmp.cmp(notes, files[0], shallow=False))
            self.assertEqual((lost.status[0], lost.reason[0]),
                             ("failed", "its worker process died, also when tried again"))
            self.assertEqual(list(lost.status[1:]), ["converted"] * len(good))

            self.assertEqual(list(on_disk.path), files)
            for row in on_disk.itertuples():
                with self.subTest(row.path):
                    if row.path == crash:
                        self.assertEqual((row.status, row.output), ("failed", None))
                        self.assertIn("crashed with signal", row.reason)
                        continue
                    self.assertEqual(row.status, "converted", row.reason)
                    self.assertGreaterEqual(row.seconds, 0)
                    with open(row.output, "rb") as mine, \
                            open(os.path.join(reference, os.path.basename(row.output)), "rb") as theirs:
                        self.assertEqual(mine.read(), theirs.read())
            for row in in_memory.itertuples():
                if row.status == "converted":
                    with open(os.path.join(reference, ombra.output_name(row.path)),
                              encoding="utf-8") as theirs:
                        self.assertEqual(row.output, theirs.read())
            damaged = on_disk[on_disk.path.str.endswith("chain-faults.sla")]
            if not FETCH:
                self.assertIn("links to itself", damaged.notes.iloc[0][0])
            self.assertEqual(sorted(os.listdir(os.path.join(work, "dask"))), sorted(os.listdir(reference)))


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
