# Runs inside Scribus: opens each document named in $SCRIBUS_DOCS (one path a
# line) and writes beside it NAME.expected, holding what Scribus itself reports
# for the document: pages and their master pages, layers, colours, styles, the
# top-level items of each page, and the text of every story (getAllText of
# the first frame of each chain, frames in chain order) and of every table cell.
#
# Format, one record a line, fields separated by tabs:
#   scribus VERSION          the Scribus that recorded the file
#   pages N
#   page N MASTER            master page of document page N (from 1)
#   master NAME              master pages, in Scribus's order
#   layer NAME VISIBLE PRINTABLE
#   color NAME SPOT
#   paragraph-style NAME
#   character-style NAME
#   item PAGE NAME TYPE      top-level items of document page PAGE, bottom first
#   frame NAME PAGE X Y W H  where a text frame, text on a path or table lies:
#                            PAGE is the document page (from 1) or "master:NAME";
#                            position and size in points, relative to the page.
#                            It identifies items whose file stores no name
#                            (Scribus then makes one up, such as "Text11").
#   story FRAME...           frames of one chain, first to last
#   cell TABLE ROW COLUMN ROWSPAN COLUMNSPAN   a table cell that is not covered
#   text TEXT                the text of the story or cell above, escaped
#   paragraph-styles STYLE...  the paragraph style Scribus reports for each
#                            paragraph of the story above that holds a
#                            character (a final empty one has none; "" for none)
#   character-styles POS STYLE ...  the character style at the first letter
#                            of each word, where it changes (POS counts
#                            UTF-16 units of TEXT; "" for none)
# Texts and names are escaped: "\\" for a backslash and "\uXXXX" for every
# control, format or separator character (see Escape); everything else is
# literal UTF-8. Characters outside the basic plane are written literally.
# With SCRIBUS_TRACE=1 each record also goes to the log as it is made.
import os
import traceback
import unicodedata

import scribus

GROUP = 12  # item type of a group in getPageItems


def Escape(s):
    out = []
    for ch in s:
        code = ord(ch)
        if ch == "\\":
            out.append("\\\\")
        elif code < 0x10000 and (code < 0x20 or ch == "\u00a0" or
                                 unicodedata.category(ch) in ("Cc", "Cf", "Zl", "Zp", "Zs", "Co", "Cn")) \
                and ch != " ":
            out.append("\\u%04X" % code)
        else:
            out.append(ch)
    return "".join(out)


def Record(lines, *fields):
    lines.append("\t".join(Escape(str(f)) for f in fields))
    if os.environ.get("SCRIBUS_TRACE"):
        log.write("  " + lines[-1][:80] + "\n")
        log.flush()


def Kind(name):
    try:
        return scribus.getObjectType(name)
    except Exception:
        return None


def UngroupAll():
    """Dissolves the groups of the current page, so that their members can be
    named (the scripter of this version cannot reach into groups). The
    document is never saved afterwards."""
    for _ in range(100):
        groups = [n for n, kind, _ in scribus.getPageItems() if kind == GROUP]
        if not groups:
            return
        for g in groups:
            scribus.unGroupObjects(g)


def Frames(lines, page, items):
    for name, kind in items:
        if kind in ("TextFrame", "PathText", "Table"):
            x, y = scribus.getPosition(name)
            w, h = scribus.getSize(name)
            Record(lines, "frame", name, page, "%.3f" % x, "%.3f" % y, "%.3f" % w, "%.3f" % h)


def Utf16Length(s):
    return len(s.encode("utf-16-le")) // 2


def RecordStyles(lines, name, text):
    """Paragraph style of each paragraph and character style at word starts,
    read by selecting one character there."""
    paragraphs, characters = [], []
    last = None
    unit = 0  # position in UTF-16 units, as the parser counts
    previous = "\r"
    for i, ch in enumerate(text):
        if previous == "\r":
            scribus.selectText(i, 1, name)
            paragraphs.append(scribus.getParagraphStyle(name) or "")
        if previous in " \t\r\u2028\u00a0" and ch not in " \t\r\u2028\u00a0":
            scribus.selectText(i, 1, name)
            style = scribus.getCharacterStyle(name) or ""
            if style != last:
                characters += [unit, style]
                last = style
        previous = ch
        unit += Utf16Length(ch)
    scribus.selectText(0, 0, name)
    Record(lines, "paragraph-styles", *paragraphs)
    Record(lines, "character-styles", *characters)


def Stories(lines, items):
    for name, kind in items:
        if kind in ("TextFrame", "PathText"):
            if kind == "TextFrame" and scribus.getPrevLinkedFrame(name) is not None:
                continue
            chain = [name]
            if kind == "TextFrame":
                nxt = scribus.getNextLinkedFrame(name)
                while nxt is not None and nxt not in chain:
                    chain.append(nxt)
                    nxt = scribus.getNextLinkedFrame(nxt)
            Record(lines, "story", *chain)
            text = scribus.getAllText(name)
            Record(lines, "text", text)
            RecordStyles(lines, name, text)
        elif kind == "Table":
            rows, columns = scribus.getTableRows(name), scribus.getTableColumns(name)
            covered = set()
            for r in range(rows):
                for c in range(columns):
                    if (r, c) in covered:
                        continue
                    rs, cs = scribus.getCellRowSpan(r, c, name), scribus.getCellColumnSpan(r, c, name)
                    for rr in range(r, r + rs):
                        for cc in range(c, c + cs):
                            if (rr, cc) != (r, c):
                                covered.add((rr, cc))
                    Record(lines, "cell", name, r, c, rs, cs)
                    Record(lines, "text", scribus.getCellText(r, c, name))


def RecordDocument(path):
    scribus.openDoc(path)
    scribus.setUnit(scribus.UNIT_POINTS)
    lines = []
    Record(lines, "scribus", scribus.scribus_version)
    pages = scribus.pageCount()
    Record(lines, "pages", pages)
    for p in range(1, pages + 1):
        Record(lines, "page", p, scribus.getMasterPage(p))
    for m in scribus.masterPageNames():
        Record(lines, "master", m)
    for layer in scribus.getLayers():
        Record(lines, "layer", layer, int(scribus.isLayerVisible(layer)), int(scribus.isLayerPrintable(layer)))
    for colour in scribus.getColorNames():
        Record(lines, "color", colour, int(scribus.isSpotColor(colour)))
    for style in scribus.getParagraphStyles():
        Record(lines, "paragraph-style", style)
    for style in scribus.getCharStyles():
        Record(lines, "character-style", style)
    texts = []
    for p in range(1, pages + 1):
        scribus.gotoPage(p)
        for name, kind, _ in scribus.getPageItems():
            Record(lines, "item", p, name, kind)
        UngroupAll()
        items = [(name, Kind(name)) for name, _, _ in scribus.getPageItems()]
        Frames(lines, p, items)
        texts += items
    Stories(lines, texts)
    for master in scribus.masterPageNames():
        scribus.editMasterPage(master)
        UngroupAll()
        items = [(name, Kind(name)) for name, _, _ in scribus.getPageItems()]
        Frames(lines, "master:" + master, items)
        Stories(lines, items)
        scribus.closeMasterPage()
    scribus.closeDoc()
    with open(path + ".expected", "w", encoding="utf-8") as f:
        f.write("# What Scribus reports for %s; written by make/record_expected.py.\n" % os.path.basename(path))
        f.write("\n".join(lines) + "\n")


log = open(os.environ["SCRIBUS_LOG"], "a", encoding="utf-8")
with open(os.environ["SCRIBUS_DOCS"], encoding="utf-8") as docs:
    for line in docs:
        path = line.strip()
        if not path:
            continue
        try:
            RecordDocument(path)
            log.write("recorded %s\n" % path)
        except Exception:
            log.write("FAILED %s\n%s\n" % (path, traceback.format_exc()))
            while scribus.haveDoc():
                scribus.closeDoc()
log.close()
