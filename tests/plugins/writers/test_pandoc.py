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
import unittest
import zipfile

from writer_cli import WORK, main, run
# The smallest PNG there is: one transparent pixel.
PNG = bytes.fromhex("89504e470d0a1a0a0000000d4948445200000001000000010806000000"
                    "1f15c4890000000d49444154789c6300010000050001a5f645400000000049454e44ae426082")


def features_json():
    """The features document as pandoc JSON, its pictures pointing at a file."""
    out = os.path.join(WORK, "features.json")
    run("features", "features", out, 262, "-q").check_returncode()
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
        for part in ("<rt>とう</rt>", '<td colspan="2"', '<td rowspan="2"', 'class="footnote-ref"',
                     "<title>Ombra features</title>", "writing-mode: vertical-rl",
                     'href="#target-1"'):
            self.assertIn(part, page)

    def test_docx_holds_the_reading_the_notes_and_the_spans(self):
        with zipfile.ZipFile(self.pandoc("docx", "docx")) as docx:
            body = docx.read("word/document.xml").decode("utf-8")
            notes = docx.read("word/footnotes.xml").decode("utf-8")
            core = docx.read("docProps/core.xml").decode("utf-8")
        def text(xml):
            return html.unescape("".join(re.findall(r"<w:t[^>]*>([^<]*)</w:t>", xml)))
        self.assertEqual(len(re.findall(r"<w:footnoteReference", body)), 2)
        for part, where in (("漢字（かんじ）", text(body)), ("東（とう）京（きょう）", text(body)),
                            ("（割注の例です）", text(body)), ("The note's text.", text(notes)),
                            ('<w:gridSpan w:val="2"', body), ("<w:vMerge", body),
                            ("<w:numPr>", body),
                            ("Ombra features", core), ("Ombra tests", core)):
            self.assertIn(part, where)

    def test_epub_shows_ruby(self):
        with zipfile.ZipFile(self.pandoc("epub3", "epub")) as epub:
            xhtml = "".join(epub.read(n).decode("utf-8") for n in epub.namelist()
                            if n.endswith(".xhtml"))
        self.assertRegex(xhtml, r"<ruby>(<span[^>]*></span>)?漢字<rp>（</rp><rt>かんじ</rt>")
        self.assertIn("text-emphasis: filled sesame", xhtml)


if __name__ == "__main__":
    main()
