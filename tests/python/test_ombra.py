# The ombra package as a Python program uses it: every kind of source gives
# what the ombra program gives, options by name, errors as exceptions with
# their reasons, listings, and threads that run while a conversion waits.
#
# Run by CTest: test_ombra.py OMBRA_CLI TOOL_READERS SOURCE_DIR
import concurrent.futures
import filecmp
import io
import json
import os
import pathlib
import pickle
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import zipfile

import ombra
from ombra.dask import convert_files

OMBRA, TEST_READERS, SOURCE = sys.argv[1:4]
SAMPLE = os.path.join(SOURCE, "samples", "sample.sla")
DATA = os.path.join(SOURCE, "tests", "data", "scribus")


def setUpModule():
    # The host suites' readers join the shipped plug-ins: trees and faults.
    ombra.use_plugins(readers=[TEST_READERS])


def program(*arguments):
    """What the ombra program writes to the standard output."""
    run = subprocess.run([OMBRA, *arguments, "-q"], capture_output=True)
    assert run.returncode == 0, run.stderr
    return run.stdout


class Conversions(unittest.TestCase):
    def test_every_source_gives_what_the_program_gives(self):
        expected = program("convert", SAMPLE, "-o", "-").decode()
        data = pathlib.Path(SAMPLE).read_bytes()
        with open(SAMPLE, "rb") as file:
            sources = [SAMPLE, pathlib.Path(SAMPLE), data, bytearray(data), memoryview(data),
                       file, io.BytesIO(data)]
            for source in sources:
                with self.subTest(type(source).__name__):
                    self.assertEqual(ombra.convert(source), expected)

    def test_writers_encodings_and_settings_give_what_the_program_gives(self):
        writers = {p.name for p in ombra.plugins() if not p.reader and p.loaded}
        cases = [({"to": "json"}, ["-t", "json"]), ({"to": 260}, ["-t", "260"]),
                 ({"to": "HTML"}, ["-t", "html"]), ({"to": "pandoc"}, ["-t", "pandoc"]),
                 ({"to": "Markdown"}, ["-t", "markdown"]), ({"to": "latex"}, ["-t", "latex"]),
                 ({"encoding": "utf16"}, ["--encoding", "utf16"]),
                 ({"encoding": "cp1252", "eol": "crlf"}, ["--encoding", "cp1252", "--eol", "crlf"]),
                 ({"wrap_lines_at_column": 20, "include_master_pages_and_hidden_layers": True},
                  ["--wrap", "20", "--hidden"]),
                 ({"settings": {"Wrap lines at column": 20}}, ["--set", "Wrap lines at column=20"]),
                 ({"text_encoding": "Unicode UTF16"}, ["--set", "Text encoding=Unicode UTF16"]),
                 ({"settings": {"Text encoding": "Default"}}, ["--set", "Text encoding=Default"]),
                 ({"encoding": "utf16", "text_encoding": "unicode utf8"},
                  ["--encoding", "utf16", "--set", "Text encoding=Unicode UTF8"])]
        for options, arguments in cases:
            to = str(options.get("to")).lower()
            if to in ("html", "pandoc") and to not in writers or \
                    to in ("markdown", "latex") and not shutil.which("pandoc"):
                continue
            with self.subTest(arguments):
                expected = program("convert", SAMPLE, "-o", "-", *arguments)
                try:
                    expected = expected.decode()  # str exactly when the output is UTF-8
                except UnicodeDecodeError:
                    pass
                self.assertEqual(ombra.convert(SAMPLE, **options), expected)
        self.assertEqual(ombra.dump(SAMPLE, indentation=0, story_text=False),
                         json.loads(program("dump", SAMPLE, "--set", "Indentation=0",
                                            "--set", "Story text=off")))

    def test_notes_come_with_the_conversion_and_strict_refuses_them(self):
        path = os.path.join(DATA, "chain-faults.sla")
        conversion = ombra.convert_with_notes(path)
        self.assertEqual(conversion.reader, "scribus.obrd")
        self.assertIn('text frame "Self" links to itself', str(conversion.notes[0]))
        with self.assertRaises(ombra.ConversionError) as raised:
            ombra.convert(path, strict=True)
        self.assertEqual(raised.exception.status, ombra.Status.notes)
        self.assertEqual([n.text for n in raised.exception.notes],
                         [n.text for n in conversion.notes])
        japanese = ombra.convert_with_notes(path, locale="ja").notes[0].text
        self.assertNotEqual(japanese, conversion.notes[0].text)
        # Results and errors leave a process whole, and compare by value.
        for value in (conversion, raised.exception):
            copy = pickle.loads(pickle.dumps(value))
            self.assertEqual(copy.notes, value.notes)
            self.assertEqual(repr(copy), repr(value))
        self.assertEqual(ombra.convert_with_notes(path), conversion)
        self.assertEqual(copy.status, ombra.Status.notes)

    def test_outputs_to_a_path_are_written_whole(self):
        with tempfile.TemporaryDirectory() as folder:
            target = os.path.join(folder, ombra.output_name(SAMPLE + ".gz", "json"))
            self.assertTrue(target.endswith("sample.json"))
            self.assertEqual([ombra.output_name("a.sla", to) for to in ("HTML", "docx", "md")],
                             ["a.html", "a.docx", "a.md"])
            self.assertIsNone(ombra.convert_with_notes(SAMPLE, "json", output=target).output)
            self.assertEqual(pathlib.Path(target).read_text(), ombra.convert(SAMPLE, "json"))
            with self.assertRaises(ombra.UnsupportedFormat):
                ombra.convert_with_notes(b"nothing", output=os.path.join(folder, "x.txt"))
            self.assertEqual(os.listdir(folder), ["sample.json"])

    def test_file_names_that_are_not_utf8_name_their_files(self):
        expected = ombra.convert(SAMPLE)
        with tempfile.TemporaryDirectory() as folder:
            shutil.copy(SAMPLE, os.path.join(os.fsencode(folder), b"caf\xe9.sla"))
            document = os.path.join(folder, os.listdir(folder)[0])  # 'caf\udce9.sla'
            output = os.path.join(folder, "caf\udce9.txt")
            for source, isolated in [(document, False), (pathlib.Path(document), True)]:
                with self.subTest(isolated=isolated):
                    self.assertEqual(ombra.convert(source, isolated=isolated), expected)
                    ombra.convert_with_notes(source, output=os.fsencode(output), isolated=isolated)
                    self.assertEqual(pathlib.Path(output).read_text(), expected)
                    with self.assertRaises(FileNotFoundError) as raised:
                        ombra.convert(document + "x", isolated=isolated)
                    self.assertEqual(raised.exception.filename, document + "x")
            with self.assertRaisesRegex(ValueError, "null byte"):
                ombra.convert(SAMPLE + "\0.txt")

    def test_a_page_written_beside_its_pictures_links_them_relatively(self):
        with tempfile.TemporaryDirectory() as folder:
            for name in ("objects.sla", "swatch.png"):
                shutil.copy(os.path.join(DATA, "real", name), folder)
            document = os.path.join(folder, "objects.sla")
            for isolated in (False, True):
                # Without a writer, the extension names it.
                page = os.path.join(folder, f"page-{isolated}.HTML")
                ombra.convert_with_notes(document, output=page, isolated=isolated)
                self.assertIn('src="swatch.png"', pathlib.Path(page).read_text())
            ombra.convert_with_notes(document, output=os.path.join(folder, "d.json"))
            self.assertEqual(pathlib.Path(folder, "d.json").read_text(),
                             ombra.convert(document, "json"))
            self.assertIn(f'src="file://{os.path.realpath(folder)}/swatch.png"',
                          ombra.convert(document, "html"))
            if not shutil.which("pandoc"):
                return
            for isolated in (False, True):
                # Pandoc finds the picture the pandoc document links beside it.
                book = os.path.join(folder, f"book-{isolated}.docx")
                self.assertIsNone(ombra.convert_with_notes(document, output=book,
                                                           isolated=isolated).output)
                with zipfile.ZipFile(book) as package:
                    self.assertIn("word/media/", " ".join(package.namelist()))
            self.assertEqual(ombra.convert(document, "docx")[:2], b"PK")
            os.remove(os.path.join(folder, "swatch.png"))  # now pandoc's note, which strict refuses
            with self.assertRaises(ombra.ConversionError) as raised:
                ombra.convert(document, "docx", strict=True)
            self.assertIn("swatch.png", str(raised.exception.notes))

    def test_a_format_through_pandoc_without_pandoc_fails_and_writes_nothing(self):
        with tempfile.TemporaryDirectory() as folder:
            path = os.environ["PATH"]
            os.environ["PATH"] = folder
            output = os.path.join(folder, "s.odt")
            try:
                # In the caller's language, whatever the process's.
                for isolated, locale, said in ((False, "en", "pandoc, which is not"),
                                               (True, "ja", "pandoc が必要"),
                                               (False, "ja", "pandoc が必要")):
                    with self.assertRaisesRegex(ombra.ConversionError, said):
                        ombra.convert_with_notes(SAMPLE, output=output, isolated=isolated,
                                                 locale=locale)
                # A pandoc that never ends counts in the conversion's time.
                stand_in = os.path.join(folder, "pandoc")
                with open(stand_in, "w") as script:
                    script.write("#!/bin/sh\nexec /bin/sleep 30\n")
                os.chmod(stand_in, 0o755)
                started = time.monotonic()
                with self.assertRaisesRegex(ombra.ConversionError, "timed out after 0.5 s"):
                    ombra.convert_with_notes(SAMPLE, output=output, timeout=0.5)
                self.assertLess(time.monotonic() - started, 10)
                # And Ctrl-C stops it, in-process or isolated.
                for isolated in (False, True):
                    timer = threading.Timer(0.5, os.kill, (os.getpid(), signal.SIGINT))
                    started = time.monotonic()
                    timer.start()
                    with self.assertRaises(KeyboardInterrupt):
                        ombra.convert_with_notes(SAMPLE, output=output, isolated=isolated)
                    self.assertLess(time.monotonic() - started, 10)
                os.remove(stand_in)
            finally:
                os.environ["PATH"] = path
            self.assertEqual(os.listdir(folder), [])


class Errors(unittest.TestCase):
    def test_each_failure_raises_its_exception_with_the_reason(self):
        with tempfile.TemporaryDirectory() as folder:
            cases = [
                (os.path.join(folder, "missing.sla"), {}, FileNotFoundError, "not found"),
                (folder, {}, IsADirectoryError, "directory"),
                (b"no publication", {}, ombra.UnsupportedFormat, "not recognised by any reader"),
                (b"OMBRA-TREE broken", {}, ombra.ConversionError, "could not be read"),
                (b"OMBRA-FAULT throw", {}, ombra.ConversionError, "plug-in"),
                (SAMPLE, {"to": "docs"}, ValueError, "no writer 'docs'"),
                (SAMPLE, {"frobnicate": 1}, ValueError, "frobnicate"),
                (SAMPLE, {"wrap_lines_at_column": "wide"}, ValueError, "wide"),
                (SAMPLE, {"eol": "unix"}, ValueError, "unix"),
                (io.StringIO("text"), {}, TypeError, "binary"),
                (42, {}, TypeError, "int"),
                (b"OMBRA-FAULT crash", {"isolated": True}, ombra.ConversionError,
                 "crashed with signal 11 (SIGSEGV)"),
                (b"OMBRA-FAULT hang", {"timeout": 0.5}, ombra.ConversionError,
                 "timed out after 0.5 s"),
                (SAMPLE, {"timeout": 0}, ValueError, "timeout"),
                (SAMPLE, {"timeout": -1, "isolated": True}, ValueError, "timeout"),
                (SAMPLE, {"to": "HTML", "encoding": "utf16"}, ValueError, "text writer"),
                (SAMPLE, {"settings": "wrap=72"}, TypeError, "not one str"),
            ]
            calls = [(ombra.convert, (source,), options, kind, reason)
                     for source, options, kind, reason in cases]
            calls += [(ombra.use_plugins, ([missing],), {}, FileNotFoundError, missing)
                      for missing in (os.path.join(folder, "missing"), SAMPLE)]
            calls += [(ombra.convert_with_notes, (SAMPLE,), {"output": ""}, ValueError, "no file"),
                      (ombra.use_plugins, (), {"writers": TEST_READERS}, TypeError, "not one str"),
                      (convert_files, (SAMPLE,), {}, TypeError, "not one str")]
            for call, arguments, options, kind, reason in calls:
                with self.subTest(kind.__name__, reason=reason):
                    with self.assertRaises(kind) as raised:
                        call(*arguments, **options)
                    self.assertIn(reason, str(raised.exception))


class Isolation(unittest.TestCase):
    def test_a_child_process_converts_and_leaves_nothing_when_it_crashes(self):
        self.assertEqual(ombra.convert(SAMPLE, isolated=True), ombra.convert(SAMPLE))
        conversion = ombra.convert_with_notes(os.path.join(DATA, "chain-faults.sla"),
                                              isolated=True)
        self.assertIn("links to itself", str(conversion.notes[0]))
        with tempfile.TemporaryDirectory() as folder:
            with self.assertRaises(ombra.ConversionError):
                ombra.convert_with_notes(b"OMBRA-FAULT crash", isolated=True,
                                         output=os.path.join(folder, "out.txt"))
            self.assertEqual(os.listdir(folder), [])

    def test_ctrl_c_stops_an_isolated_conversion_and_its_helper(self):
        # Without the check, the hang would end only at the timeout.
        timer = threading.Timer(0.5, os.kill, (os.getpid(), signal.SIGINT))
        started = time.monotonic()
        timer.start()
        with self.assertRaises(KeyboardInterrupt):
            ombra.convert(b"OMBRA-FAULT hang", timeout=30)
        self.assertLess(time.monotonic() - started, 10)
        self.assertEqual(ombra.convert(SAMPLE, isolated=True), ombra.convert(SAMPLE))

    def test_forked_processes_convert_with_helpers_of_their_own(self):
        expected = {d: ombra.convert(d) for d in (SAMPLE, os.path.join(DATA, "chain-faults.sla"))}
        ombra.convert(SAMPLE, isolated=True)  # a helper that the children inherit
        children = []
        for document in expected:
            children.append(os.fork())
            if children[-1] == 0:
                code = 2  # the child never returns into the suite
                try:
                    code = [ombra.convert(document, isolated=True) for _ in range(5)] != \
                        [expected[document]] * 5
                finally:
                    os._exit(code)
        self.assertEqual([ombra.convert(SAMPLE, isolated=True) for _ in range(5)],
                         [expected[SAMPLE]] * 5)
        self.assertEqual([os.waitstatus_to_exitcode(os.waitpid(pid, 0)[1]) for pid in children],
                         [0, 0])

    def test_a_child_forked_while_another_thread_converts_refuses_instead_of_waiting(self):
        with tempfile.TemporaryDirectory() as folder:
            fifo = os.path.join(folder, "in.sla")
            os.mkfifo(fifo)
            converted = []
            thread = threading.Thread(target=lambda: converted.append(ombra.convert(fifo)))
            thread.start()
            with open(fifo, "wb") as writer:  # opened: the other thread is converting
                pid = os.fork()
                if pid == 0:
                    code = 2
                    try:
                        signal.alarm(20)  # waiting for ever fails the test
                        ombra.convert(SAMPLE)
                    except RuntimeError as error:
                        code = 0 if "forked while another thread converted" in str(error) else 3
                    finally:
                        os._exit(code)
                with open(SAMPLE, "rb") as sample:
                    writer.write(sample.read())
            thread.join()
            self.assertEqual(os.waitstatus_to_exitcode(os.waitpid(pid, 0)[1]), 0)
            self.assertEqual(converted, [ombra.convert(SAMPLE)])

    def test_a_daemon_thread_converting_at_exit_lets_the_process_end_cleanly(self):
        script = ("import ombra, sys, threading\n"
                  "def loop():\n"
                  "    while True: ombra.convert(sys.argv[1])\n"
                  "threading.Thread(target=loop, daemon=True).start()\n"
                  "ombra.convert(sys.argv[1])\n")
        run = subprocess.run([sys.executable, "-c", script, SAMPLE], capture_output=True,
                             timeout=60)
        self.assertEqual((run.returncode, run.stderr), (0, b""))

    def test_relative_paths_name_files_of_the_current_folder(self):
        start = os.getcwd()
        with tempfile.TemporaryDirectory() as work:
            try:
                for document in (SAMPLE, os.path.join(DATA, "chain-faults.sla")):
                    os.chdir(tempfile.mkdtemp(dir=work))
                    shutil.copy(document, "doc.sla")
                    ombra.convert_with_notes("doc.sla", output="out.txt", isolated=True)
                    with self.subTest(document), open("out.txt", encoding="utf-8") as output:
                        self.assertEqual(output.read(), ombra.convert(document))
            finally:
                os.chdir(start)

    def test_an_output_that_would_replace_the_input_is_refused(self):
        with tempfile.TemporaryDirectory() as folder:
            document = shutil.copy(SAMPLE, os.path.join(folder, "doc.sla"))
            os.link(document, os.path.join(folder, "link.txt"))
            os.link(document, os.path.join(folder, "link.md"))
            for isolated in (False, True):
                for output in ("doc.sla", "link.txt", "link.md"):
                    with self.subTest(isolated=isolated, output=output):
                        with self.assertRaisesRegex(OSError, "would replace the input"):
                            ombra.convert_with_notes(document, output=os.path.join(folder, output),
                                                     isolated=isolated)
                        self.assertTrue(filecmp.cmp(document, SAMPLE, shallow=False))


class Listings(unittest.TestCase):
    def test_plugins_formats_metadata_and_version(self):
        self.assertIn("Include hidden layers", [preference.name for p in ombra.plugins()
                                                if p.name == "scribus" for preference in p.preferences])
        self.assertIn("faultreader.obrd", [os.path.basename(p.path) for p in ombra.plugins()])
        self.assertIn(".sla", [f.extensions for f in ombra.formats() if f.kind == "reader"])
        self.assertIn("Text", [f.format for f in ombra.formats() if f.kind == "writer"])
        self.assertEqual(ombra.metadata(SAMPLE),
                         json.loads(program("convert", SAMPLE, "-m", "-t", "json", "-o", "-")))
        self.assertEqual(ombra.__version__, program("--version").decode().split()[1])


class Threads(unittest.TestCase):
    def test_a_conversion_lets_other_threads_run_and_threads_agree(self):
        results = {}

        def convert(n):
            try:
                ombra.convert(b"OMBRA-FAULT slow")  # a second in the reader
            except ombra.ConversionError as error:
                results[n] = error.reason
            results[n, "returned"] = time.monotonic()
            results[n, "tree"] = ombra.dump(b"OMBRA-TREE story")

        waiting = threading.Thread(target=convert, args=("slow",))
        start = time.monotonic()
        waiting.start()
        meanwhile = 0
        while ("slow", "returned") not in results:
            meanwhile += 0.3 < time.monotonic() - start < 0.7
        waiting.join()
        self.assertGreater(meanwhile, 0, "this thread ran while the other converted")

        workers = [threading.Thread(target=convert, args=(n,)) for n in range(4)]
        for action in (threading.Thread.start, threading.Thread.join):
            for worker in workers:
                action(worker)
        self.assertIn("could not be read", results["slow"])
        self.assertEqual({results[n] for n in range(4)}, {results["slow"]})
        self.assertEqual([results[n, "tree"] for n in range(4)], [results["slow", "tree"]] * 4)
        self.assertEqual(len(results["slow", "tree"]["elements"]), 3)

    def test_helpers_outlive_the_threads_that_started_them(self):
        expected = ombra.convert(SAMPLE)
        for _ in range(2):
            with concurrent.futures.ThreadPoolExecutor(4) as pool:
                outputs = list(pool.map(lambda _: ombra.convert(SAMPLE, isolated=True), range(8)))
            outputs += [ombra.convert(SAMPLE, isolated=True) for _ in range(4)]
            self.assertEqual(outputs, [expected] * 12)



if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
