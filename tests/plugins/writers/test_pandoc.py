"""The pandoc writer's documents through Debian's pandoc: read with
-f json, written as HTML, DOCX and EPUB, and read back: ruby, notes, table
spans, links and metadata arrive.

usage: test_pandoc.py OMBRA READER_FOLDER"""
import html
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest
import zipfile

OMBRA, READERS = sys.argv[1], sys.argv[2]
WORK = tempfile.mkdtemp(prefix="ombra-pandoc-")
# The smallest PNG there is: one transparent pixel.
PNG = bytes.fromhex("89504e470d0a1a0a0000000d4948445200000001000000010806000000"
                    "1f15c4890000000d49444154789c6300010000050001a5f645400000000049454e44ae426082")


def features_json():
    """The features document as pandoc JSON, its pictures pointing at a file."""
    doc = os.path.join(WORK, "features.testdoc")
    with open(doc, "w") as f:
        f.write("ombra-test-document:features\n")
    out = os.path.join(WORK, "features.json")
    subprocess.run([OMBRA, "convert", "--readers", READERS, "--writer", "262", "-q", "-o", out,
                    doc], check=True, capture_output=True)
    picture = os.path.join(WORK, "p.png")
    with open(picture, "wb") as f:
        f.write(PNG)
    with open(out, encoding="utf-8") as f:
        document = json.load(f)

    def repoint(node):
        if isinstance(node, dict):
            if node.get("t") == "Image":
                node["c"][2][0] = picture
            for value in node.values():
                repoint(value)
        elif isinstance(node, list):
            for value in node:
                repoint(value)
    repoint(document["blocks"])
    with open(out, "w", encoding="utf-8") as f:
        json.dump(document, f, ensure_ascii=False)
    return document, out


@unittest.skipUnless(shutil.which("pandoc"), "pandoc is not installed")
class ThroughPandoc(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.document, cls.path = features_json()

    def pandoc(self, target, suffix):
        out = os.path.join(WORK, "out." + suffix)
        run = subprocess.run(["pandoc", "-f", "json", "-t", target, "-s", "-o", out, self.path],
                             capture_output=True, text=True)
        self.assertEqual(run.returncode, 0, run.stderr)
        return out

    def test_the_api_version_is_the_one_pandoc_reads(self):
        self.assertEqual(self.document["pandoc-api-version"][:2], [1, 22])
        run = subprocess.run(["pandoc", "-f", "json", "-t", "json", self.path],
                             capture_output=True, text=True)
        self.assertEqual(run.returncode, 0, run.stderr)
        self.assertEqual(json.loads(run.stdout)["blocks"], self.document["blocks"],
                         "pandoc reads every block as written")

    def test_html_keeps_ruby_notes_spans_and_metadata(self):
        with open(self.pandoc("html5", "html"), encoding="utf-8") as f:
            page = f.read()
        self.assertRegex(page, r"<ruby>(<span\s+id=\"target-1\"></span>)?漢字<rp>（</rp><rt>かんじ</rt>")
        self.assertIn("<rt>とう</rt>", page)
        self.assertRegex(page, r'<td colspan="2"')
        self.assertRegex(page, r'<td rowspan="2"')
        self.assertIn('class="footnote-ref"', page)
        self.assertIn("<title>Ombra features</title>", page)
        self.assertIn('writing-mode: vertical-rl', page)
        self.assertIn('href="#target-1"', page)

    def test_docx_holds_the_reading_the_notes_and_the_spans(self):
        with zipfile.ZipFile(self.pandoc("docx", "docx")) as docx:
            body = docx.read("word/document.xml").decode("utf-8")
            notes = docx.read("word/footnotes.xml").decode("utf-8")
            core = docx.read("docProps/core.xml").decode("utf-8")
        text = html.unescape("".join(re.findall(r"<w:t[^>]*>([^<]*)</w:t>", body)))
        self.assertIn("漢字（かんじ）", text)
        self.assertIn("東（とう）京（きょう）", text)
        self.assertIn("（割注の例です）", text)
        self.assertEqual(len(re.findall(r"<w:footnoteReference", body)), 2)
        self.assertIn("The note's text.",
                      html.unescape("".join(re.findall(r"<w:t[^>]*>([^<]*)</w:t>", notes))))
        self.assertIn('<w:gridSpan w:val="2"', body)
        self.assertIn("<w:vMerge", body)
        self.assertIn("Ombra features", core)
        self.assertIn("Ombra tests", core)

    def test_epub_shows_ruby(self):
        with zipfile.ZipFile(self.pandoc("epub3", "epub")) as epub:
            xhtml = "".join(epub.read(n).decode("utf-8") for n in epub.namelist()
                            if n.endswith(".xhtml"))
        self.assertRegex(xhtml, r"<ruby>(<span[^>]*></span>)?漢字<rp>（</rp><rt>かんじ</rt>")
        self.assertIn("text-emphasis: filled sesame", xhtml)


if __name__ == "__main__":
    try:
        unittest.main(argv=sys.argv[:1] + os.environ.get("OMBRA_TEST_CASES", "").split(),
                      verbosity=2)
    finally:
        shutil.rmtree(WORK, ignore_errors=True)
