"""The HTML writer's documents read by an HTML5 parser and laid out by a
headless browser: well-formed, links that resolve, ruby above its base in
horizontal text and beside it in vertical text, tate-chu-yoko one em tall,
kenten marks in the computed style.

usage: test_html.py OMBRA READER_FOLDER [SCRIBUS_DOCUMENT...]"""
import os
import shutil
import sys
import tempfile
import unittest

from writer_cli import WORK, main, run

DOCUMENTS = sys.argv[3:]


def convert(source, name):
    out = os.path.join(WORK, name + ".html")
    run(source, name, out, 261, "-q").check_returncode()
    return out


try:
    import html5lib
except ImportError:
    html5lib = None


@unittest.skipIf(html5lib is None, "python3-html5lib is not installed")
class Parsed(unittest.TestCase):
    def check(self, path):
        parser = html5lib.HTMLParser(strict=True, namespaceHTMLElements=False)
        with open(path, "rb") as f:
            root = parser.parse(f.read())
        ids = [e.get("id") for e in root.iter() if e.get("id")]
        self.assertEqual(len(ids), len(set(ids)), path)
        for e in root.iter():
            href = e.get("href", "")
            if e.tag == "a" and href.startswith("#"):
                self.assertIn(href[1:], ids, path)
            if e.tag == "img":
                self.assertIsNotNone(e.get("alt"), path)
            for child in e:
                if child.tag in ("rt", "rp"):
                    self.assertEqual(e.tag, "ruby", path)
                if e.tag == "a":
                    self.assertNotIn("a", [d.tag for d in child.iter()], path)
        self.assertTrue(root.get("lang"), path)
        return root

    def test_builder_documents_are_well_formed_html5(self):
        root = self.check(convert("features", "features"))
        self.assertEqual(root.find("head/title").text, "Ombra features")
        self.check(convert("sample", "sample"))

    def test_scribus_documents_are_well_formed_html5(self):
        for n, document in enumerate(DOCUMENTS):
            self.check(convert(document, "doc%d" % n))


def chrome():
    try:
        from selenium import webdriver
        from selenium.webdriver.chrome.service import Service
    except ImportError:
        return None, "python3-selenium is not installed"
    driver = shutil.which("chromedriver") or "/usr/bin/chromedriver"
    if not os.path.exists(driver) or not shutil.which("chromium"):
        return None, "chromium and chromium-driver are not installed"
    options = webdriver.ChromeOptions()
    for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
                 "--disable-component-update", "--disable-sync", "--no-first-run",
                 "--user-data-dir=" + tempfile.mkdtemp(dir=WORK)):
        options.add_argument(flag)
    options.binary_location = shutil.which("chromium")
    return webdriver.Chrome(service=Service(driver), options=options), None


class LaidOut(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.browser, why = chrome()
        if not cls.browser:
            raise unittest.SkipTest(why)
        cls.browser.get("file://" + convert("features", "layout"))

    @classmethod
    def tearDownClass(cls):
        cls.browser.quit()

    def measure(self, script):
        return self.browser.execute_script(script)

    def test_ruby_stands_above_its_base_and_beside_it_in_vertical_text(self):
        boxes = self.measure("""
            return [...document.querySelectorAll('ruby')].map(r => {
              const base = document.createRange();
              base.selectNodeContents(r); base.setEndBefore(r.querySelector('rp, rt'));
              const b = base.getBoundingClientRect(), t = r.querySelector('rt').getBoundingClientRect();
              return [!!r.closest('.vertical'), b.top, b.bottom, b.left, b.right,
                      t.top, t.bottom, t.left, t.right];
            });""")
        self.assertGreaterEqual(len(boxes), 3)
        for vertical, top, bottom, left, right, rtop, rbottom, rleft, rright in boxes:
            if vertical:
                self.assertGreaterEqual(rleft, right - 1, "the reading stands right of its base")
                self.assertLess(rtop, bottom)
            else:
                self.assertLessEqual(rbottom, top + 1, "the reading stands above its base")
                self.assertLess(rleft, right)

    def test_tate_chu_yoko_takes_one_em_in_vertical_text(self):
        height, size = self.measure("""
            const t = document.querySelector('.vertical .tcy');
            return [t.getBoundingClientRect().height, parseFloat(getComputedStyle(t).fontSize)];""")
        self.assertLessEqual(height, size * 1.1, "four digits in one em")
        self.assertGreaterEqual(height, size * 0.8)

    def test_kenten_marks_are_in_the_computed_style(self):
        styles = self.measure("""
            return [...document.querySelectorAll('.kenten')].map(k => {
              const s = getComputedStyle(k);
              return (s.textEmphasisStyle || s.webkitTextEmphasisStyle) + '|' +
                     (s.textEmphasisPosition || s.webkitTextEmphasisPosition);
            });""")
        # Browsers leave out what is the default: "filled", "right" after "over".
        normal = [s.replace("filled ", "").replace("over right", "over") for s in styles]
        self.assertEqual(normal, ["sesame|over", "open circle|under left", '"★"|over',
                                  "circle|over"])


if __name__ == "__main__":
    main()
