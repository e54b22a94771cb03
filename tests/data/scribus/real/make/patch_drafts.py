#!/usr/bin/env python3
"""Adds to the drafts what the scripter cannot set: styles based on other
styles. Only attributes are removed or added; Scribus then opens the patched
draft and saves it again (resave.py), so the committed file is its own."""
import gzip
import re
import sys


def patch_style(xml, element, name_attr, name, parent_attr, parent, keep):
    """Gives style `name` the parent `parent` and drops every formatting
    attribute not in `keep`, so that those are inherited."""
    pattern = re.compile(r'<%s %s="%s"([^>]*?)(/?)>' % (element, name_attr, re.escape(name)))
    match = pattern.search(xml)
    if not match:
        sys.exit("patch_drafts: no %s named %s" % (element, name))
    attrs = re.findall(r'(\w+)="([^"]*)"', match.group(1))
    kept = [(k, v) for k, v in attrs if k in keep]
    text = '<%s %s="%s" %s="%s"' % (element, name_attr, name, parent_attr, parent)
    text += "".join(' %s="%s"' % (k, v) for k, v in kept)
    text += match.group(2) + ">"
    return xml[:match.start()] + text + xml[match.end():]


def styles(path):
    with open(path, encoding="utf-8") as f:
        xml = f.read()
    # Heading 2 keeps only its space before; the rest comes from Heading.
    xml = patch_style(xml, "STYLE", "NAME", "Heading 2", "PARENT", "Heading", {"VOR"})
    # Quote indents and centres; line spacing, first indent and space after come from Body.
    xml = patch_style(xml, "STYLE", "NAME", "Quote", "PARENT", "Body", {"INDENT", "RMARGIN", "ALIGN"})
    # Strong Emphasis adds bold and colour to Emphasis.
    xml = patch_style(xml, "CHARSTYLE", "CNAME", "Strong Emphasis", "CPARENT", "Emphasis", {"FONT", "FCOLOR"})
    with open(path, "w", encoding="utf-8") as f:
        f.write(xml)


if __name__ == "__main__":
    styles(sys.argv[1])
