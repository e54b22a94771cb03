# What the writers' Python tests share: the ombra program's conversions, a
# folder for their files, and a main that runs the cases OMBRA_TEST_CASES
# names. The tests are run as TEST.py OMBRA READER_FOLDER [ARGUMENTS...].
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

OMBRA, READERS = sys.argv[1], sys.argv[2]
WORK = tempfile.mkdtemp(prefix="ombra-writers-")


def run(source, name, out, writer, *flags):
    # A Scribus document or a builder document ("features"), with the writer of that id.
    if not os.path.exists(source):
        doc = os.path.join(WORK, name + ".testdoc")
        with open(doc, "w") as f:
            f.write("ombra-test-document:%s\n" % source)
        source = doc
    return subprocess.run([OMBRA, "convert", "--readers", READERS, "--writer", str(writer), "-o",
                           out, source] + list(flags), capture_output=True, text=True)


def main():
    try:
        unittest.main(argv=sys.argv[:1] + os.environ.get("OMBRA_TEST_CASES", "").split(),
                      verbosity=2)
    finally:
        shutil.rmtree(WORK, ignore_errors=True)
