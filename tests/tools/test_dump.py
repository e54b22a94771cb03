"""The structure dump as a program reads it: JSON that fits the published
schema (docs/dump.schema.json) whatever the tree holds, with what the reader
made in it, and its two settings.

Run by CTest: test_dump.py OMBRA TREE_READERS SOURCE_DIR
"""
import json
import os
import subprocess
import sys
import tempfile
import unittest

import jsonschema

OMBRA, TREES, SOURCE = sys.argv[1:4]
SCHEMA = json.load(open(os.path.join(SOURCE, "docs", "dump.schema.json"), encoding="utf-8"))


def dump(what, *settings):
    """The raw dump of a tree of the tree reader, or of a file."""
    with tempfile.TemporaryDirectory() as folder:
        path = what
        if not os.path.isfile(what):
            path = os.path.join(folder, what + ".tree")
            with open(path, "w") as f:
                f.write("OMBRA-TREE %s\n" % what)
        arguments = [OMBRA, "dump", path, "--readers", TREES]
        for setting in settings:
            arguments += ["--set", setting]
        run = subprocess.run(arguments, capture_output=True)
        assert run.returncode == 0, run.stderr
        return run.stdout.decode("utf-8")


def elements(what, *settings):
    return json.loads(dump(what, *settings))["elements"]


class Dump(unittest.TestCase):
    def test_every_dump_fits_the_schema(self):
        scribus = os.path.join(SOURCE, "tests", "data", "scribus")
        for what in ["story", "hostile", "blanks", os.path.join(SOURCE, "samples", "sample.sla"),
                     os.path.join(scribus, "reader-features.sla"), os.path.join(scribus, "v13.sla")]:
            with self.subTest(what):
                jsonschema.validate(json.loads(dump(what)), SCHEMA)

    def test_a_story_tree_with_its_attributes_children_and_text(self):
        publication, colours, stories = elements("story")
        self.assertEqual(publication["kind"], "Publication")
        attributes = publication["attributes"]
        self.assertEqual(list(attributes), ["IsFacingPage", "PageWidth", "StartPageNum"],
                         "set attributes in the view's slot order")
        self.assertEqual(attributes["PageWidth"], {"value": 595.25, "unit": "points"})
        self.assertIs(attributes["IsFacingPage"], True)
        self.assertEqual(attributes["StartPageNum"], 3)
        self.assertEqual(publication["children"][0]["attributes"], {"Title": "Grüße, 日本"})
        gold = colours["children"][0]["attributes"]
        self.assertEqual((gold["Name"], gold["Tint"], gold["LPIRuling"]),
                         ("Gold", {"value": 50, "unit": "%"}, 133.5))
        text = stories["children"][0]["children"][0]
        self.assertEqual(text["attributes"]["TextStream"], "Hello, world\u2029日本語 \U0001D11E")
        ids = []
        todo = [publication, colours, stories]
        while todo:
            element = todo.pop()
            ids.append(element["id"])
            todo += element.get("children", [])
        self.assertEqual(len(ids), 7)
        self.assertEqual(len(set(ids)), 7)

    def test_a_hostile_tree_still_gives_json_that_says_what_it_holds(self):
        raw = dump("hostile")
        self.assertNotIn("\x01", raw, "control characters are escaped")
        tree = json.loads(raw)["elements"]
        self.assertEqual(len(tree), 9)
        publication = tree[0]["attributes"]
        self.assertEqual(publication["AuthorName"], '"\\\n\x01\x7f\u2028\ud800x\udc00\udc00\ud800')
        self.assertEqual(publication["FoldType"], "café")
        self.assertIsInstance(publication["MMOpticalSize"], str, "NaN is no JSON number")
        self.assertEqual(publication["StartPageNum"], -7)
        self.assertNotIn("PageHeight", publication, "a throwing accessor counts as unset")
        self.assertEqual((tree[1]["kind"], tree[1]["type"], tree[1]["children"][0]["type"]),
                         (None, 228, 233))
        self.assertEqual(tree[3]["attributes"]["NthColorID"], [5, 6, 7])
        first, copy, loop = tree[4], tree[5], tree[6]
        self.assertEqual(copy["children"][0], {"kind": "Group", "id": first["children"][0]["id"],
                                               "repeated": True})
        self.assertEqual(loop["children"][0]["children"][0]["id"], loop["id"])
        level, depth = tree[7], 1
        while level.get("children"):
            level, depth = level["children"][0], depth + 1
        self.assertEqual((depth, level["childrenOmitted"]), (100, 1))
        self.assertEqual(tree[8]["attributes"]["TextStream"],
                         "a" * 4095 + "\U0001D11E" + "b" * 40000 + "\udc00\ufffd")

    def test_indentation_and_story_text_follow_the_settings(self):
        self.assertEqual(dump("blanks", "Indentation=0", "Story text=off"),
                         '{"format":"ombra-dump","version":2,"elements":[\n'
                         '{"kind":"StoryList","id":0,"attributes":{},"children":[{"kind":'
                         '"ParentStory","id":1,"attributes":{},"children":[{"kind":"ChildStory",'
                         '"id":2,"attributes":{"TextStream":"<stream, 12 bytes>"},'
                         '"children":[]}]}]}\n]}\n')
        self.assertIn('\n                "kind": "StoryList"', dump("blanks", "Indentation=8"))


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
