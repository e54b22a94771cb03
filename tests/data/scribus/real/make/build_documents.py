# Runs inside Scribus (scribus -g -ns -py build_documents.py) and writes the
# first draft of every made document into $SCRIBUS_STAGE. make.sh then patches
# what the scripter cannot set (style inheritance) and has Scribus open and
# save each draft again, so every committed file is written by Scribus itself.
import os
import struct
import sys
import traceback
import zlib

import scribus

STAGE = os.environ["SCRIBUS_STAGE"]
OUT = os.environ["SCRIBUS_OUT"]  # the picture goes where the final documents go
LOG = open(os.path.join(STAGE, "build.log"), "a", encoding="utf-8")

# Characters as Scribus keeps them inside a story (what setText takes and
# getAllText gives back).
PARA = "\r"
PAGE_NUMBER = "\x1e"
PAGE_COUNT = "\x17"
COLUMN_BREAK = "\x1a"
FRAME_BREAK = "\x1b"
LINE_BREAK = "\u2028"
NBSP = "\u00a0"
NB_HYPHEN = "\u2011"
SOFT_HYPHEN = "\u00ad"
ZW_SPACE = "\u200b"
ZW_NBSP = "\u2060"

PLAIN = ("Ombra reads the stories of a publication in the order a reader meets them. "
         "Each story runs through its chain of linked frames, page after page, and "
         "the converter keeps every word, every paragraph and every break in place. ")


def new_document(pages=1, facing=False, first_page_number=1, unit=scribus.UNIT_POINTS):
    kind = scribus.PAGE_2 if facing else scribus.PAGE_1
    first = 1 if facing else 0
    scribus.newDocument(scribus.PAPER_A4, (40, 40, 40, 40), scribus.PORTRAIT, first_page_number,
                        unit, kind, first, pages)
    scribus.setUnit(scribus.UNIT_POINTS)


def text_frame(page, x, y, w, h, name, text=None, font=None, size=None):
    scribus.gotoPage(page)
    scribus.createText(x, y, w, h, name)
    if font:
        scribus.setFont(font, name)
    if size:
        scribus.setFontSize(size, name)
    if text is not None:
        scribus.setText(text, name)
    return name


def style_range(name, start, count, char_style=None, para_style=None, font=None, size=None, color=None):
    scribus.selectText(start, count, name)
    if para_style:
        scribus.setParagraphStyle(para_style, name)
    if char_style:
        scribus.setCharacterStyle(char_style, name)
    if font:
        scribus.setFont(font, name)
    if size:
        scribus.setFontSize(size, name)
    if color:
        scribus.setTextColor(color, name)
    scribus.selectText(0, 0, name)


def save(file_name):
    scribus.saveDocAs(os.path.join(STAGE, file_name))
    scribus.closeDoc()


def linked_frames():
    """Plain text through five linked frames on three pages, one with two columns."""
    new_document(pages=3)
    text = ""
    for n in range(1, 13):
        text += "Paragraph %d. %s%s" % (n, PLAIN * (1 + n % 3), PARA)
    text += "The last paragraph has no paragraph mark after it."
    text_frame(1, 40, 40, 250, 300, "Chain 1", text, font="DejaVu Serif Book", size=10)
    text_frame(1, 305, 40, 250, 300, "Chain 2")
    text_frame(2, 40, 40, 515, 250, "Chain 3")
    scribus.setColumns(2, "Chain 3")
    scribus.setColumnGap(12, "Chain 3")
    text_frame(2, 40, 400, 515, 100, "Chain 4")
    text_frame(3, 40, 40, 515, 700, "Chain 5")
    for a, b in (("Chain 1", "Chain 2"), ("Chain 2", "Chain 3"), ("Chain 3", "Chain 4"), ("Chain 4", "Chain 5")):
        scribus.linkTextFrames(a, b)
    text_frame(2, 40, 560, 515, 60, "Caption", "A frame of its own between the frames of the chain.")
    save("linked-frames.sla.gz")


def styles():
    """Paragraph and character styles, their inheritance (patched in later) and local overrides."""
    new_document(pages=1)
    scribus.defineColorRGB("Accent Red", 200, 30, 40)
    scribus.createCharStyle(name="Emphasis", font="DejaVu Serif Italic")
    scribus.createCharStyle(name="Strong Emphasis", font="DejaVu Serif Bold Italic", fillcolor="Accent Red")
    scribus.createCharStyle(name="Small Caps", features="smallcaps", tracking=5)
    scribus.createParagraphStyle(name="Body", linespacingmode=0, linespacing=14, alignment=3,
                                 firstindent=12, gapafter=4)
    scribus.createParagraphStyle(name="Heading", alignment=0, gapbefore=12, gapafter=6, charstyle="Strong Emphasis")
    scribus.createParagraphStyle(name="Heading 2", alignment=0, gapbefore=8)
    scribus.createParagraphStyle(name="Quote", leftmargin=24, rightmargin=24, alignment=1)
    scribus.createParagraphStyle(name="Tabbed", tabs=[(100.0, 0), (250.0, 1, "."), (400.0, 4)])
    paragraphs = [
        ("Heading", "Styles that build on each other"),
        ("Body", "Body text sets justified lines with a first-line indent. Some words are emphasised, "
                 "some strongly, and some are set in small capitals."),
        ("Heading 2", "A second-level heading"),
        ("Quote", "A quotation is indented on both sides and centred."),
        ("Body", "Local formatting: this phrase is larger and red without a style."),
        ("Tabbed", "Item\tPrice\tNote"),
        ("Tabbed", "Tea\t3.50\tgreen"),
    ]
    text = PARA.join(p[1] for p in paragraphs)
    name = text_frame(1, 40, 40, 515, 600, "Styled", text, font="DejaVu Serif Book", size=11)
    pos = 0
    for style, para in paragraphs:
        style_range(name, pos, len(para), para_style=style)
        pos += len(para) + 1

    def find(word, after=0):
        return text.index(word, after)

    style_range(name, find("emphasised"), len("emphasised"), char_style="Emphasis")
    style_range(name, find("strongly"), len("strongly"), char_style="Strong Emphasis")
    style_range(name, find("small capitals"), len("small capitals"), char_style="Small Caps")
    start = find("this phrase is larger and red")
    style_range(name, start, len("this phrase is larger and red"), size=15, color="Accent Red")
    save("styles.sla")


SCRIPTS = [
    ("Japanese", "Noto Sans CJK JP Regular", scribus.DIRECTION_LTR,
     "吾輩は猫である。名前はまだ無い。" + PARA + "どこで生れたかとんと見当がつかぬ。𠮷野家で「牛丼」を食べた。"),
    ("Chinese", "Noto Sans CJK SC Regular", scribus.DIRECTION_LTR,
     "中文排版：汉字、标点符号和数字 2024 年。" + PARA + "繁體字也可以：臺灣。"),
    ("Korean", "Noto Sans CJK KR Regular", scribus.DIRECTION_LTR,
     "한국어 문장입니다. 안녕하세요, 세계!" + PARA + "띄어쓰기가 있는 한글 텍스트."),
    ("Arabic", "Noto Sans Arabic Regular", scribus.DIRECTION_RTL,
     "مرحبا بالعالم. هذا نص عربي مع أرقام ١٢٣ و 456." + PARA + "السطر الثاني من النص."),
    ("Hebrew", "Noto Sans Hebrew Regular", scribus.DIRECTION_RTL,
     "שלום עולם. זהו טקסט בעברית." + PARA + "שורה שנייה עם מספר 42."),
    ("Greek", "DejaVu Sans Book", scribus.DIRECTION_LTR,
     "Καλημέρα κόσμε. Αυτό είναι ελληνικό κείμενο με τόνους: άέήίόύώ ΐΰ." + PARA + "Δεύτερη παράγραφος."),
    ("Cyrillic", "DejaVu Sans Book", scribus.DIRECTION_LTR,
     "Привет, мир! Это русский текст: ёж, щука, съешь." + PARA + "Українська: ґанок, їжак. Српски: љубав."),
]


def scripts():
    """Text in seven scripts, right-to-left frames, and a paragraph that mixes them."""
    new_document(pages=2)
    y = 40
    page = 1
    for name, font, direction, text in SCRIPTS:
        if y > 700:
            page, y = 2, 40
        text_frame(page, 40, y, 515, 90, name, text, font=font, size=12)
        scribus.setTextDirection(direction, name)
        y += 110
    mixed = ("English, 日本語, 中文, 한국어, العربية, עברית, Ελληνικά and Русский in one paragraph; "
             "an emoji 😀 and a math letter 𝒜 outside the basic plane.")
    text_frame(2, 40, 400, 515, 120, "Mixed", mixed, font="Noto Sans CJK JP Regular", size=11)
    # Parts of the mixed paragraph in their own fonts.
    for word, font in (("العربية", "Noto Sans Arabic Regular"), ("עברית", "Noto Sans Hebrew Regular"),
                       ("Ελληνικά", "DejaVu Sans Book"), ("Русский", "DejaVu Sans Book")):
        style_range("Mixed", mixed.index(word), len(word), font=font)
    save("scripts.sla.gz")


def breaks_and_marks():
    """Tabs, line breaks, no-break spaces and hyphens, soft hyphens, zero-width spaces,
    page-number and page-count variables, column and frame breaks, empty paragraphs
    and characters that XML must escape."""
    new_document(pages=2)
    text = ("Tabs:\tone\ttwo\tthree" + PARA +
            "Line" + LINE_BREAK + "break inside one paragraph" + PARA +
            "No-break" + NBSP + "space and non" + NB_HYPHEN + "breaking hyphen" + PARA +
            "Soft" + SOFT_HYPHEN + "hyphen in hy" + SOFT_HYPHEN + "phen" + SOFT_HYPHEN + "ation" + PARA +
            "Zero" + ZW_SPACE + "width space and word" + ZW_NBSP + "joiner" + PARA +
            "Page " + PAGE_NUMBER + " of " + PAGE_COUNT + PARA +
            PARA +
            "After an empty paragraph: <markup> & \"quotes\" 'apostrophes' > all escaped." + PARA +
            "  Two leading spaces,  two inner spaces and a trailing one " + PARA +
            "Before a column break" + COLUMN_BREAK + "after the column break" + PARA +
            "Before a frame break" + FRAME_BREAK + "after the frame break, in the next frame." + PARA)
    text_frame(1, 40, 40, 515, 400, "Specials", text, size=11)
    scribus.setColumns(2, "Specials")
    text_frame(2, 40, 40, 515, 300, "Specials next")
    scribus.linkTextFrames("Specials", "Specials next")
    text_frame(2, 40, 400, 515, 60, "Folio", "Page" + NBSP + PAGE_NUMBER)
    save("breaks-and-marks.sla")


def colours():
    """CMYK, RGB, Lab and spot colours, used by shapes and text."""
    new_document(pages=1)
    scribus.defineColorCMYK("Process Teal", 255, 0, 100, 30)
    scribus.defineColorCMYKFloat("Half Magenta", 0, 50, 0, 0)
    scribus.defineColorRGB("Screen Orange", 255, 128, 0)
    scribus.defineColorRGB("Screen Violet", 128, 0, 255)
    scribus.defineColorLab("Lab Green", 60.0, -50.0, 40.0)
    scribus.defineColorCMYK("Pantone-like Spot", 0, 200, 255, 0)
    scribus.setSpotColor("Pantone-like Spot", True)
    y = 40
    for colour in ("Process Teal", "Half Magenta", "Screen Orange", "Screen Violet", "Lab Green",
                   "Pantone-like Spot", "Registration"):
        name = "Swatch " + colour
        scribus.createRect(40, y, 80, 40, name)
        scribus.setFillColor(colour, name)
        scribus.setLineColor("Black", name)
        text_frame(1, 140, y, 400, 40, "Label " + colour, colour + " swatch")
        scribus.setTextColor(colour, "Label " + colour)
        y += 60
    scribus.setFillShade(50, "Swatch Process Teal")
    save("colours.sla")


def layers_and_masters():
    """Facing pages with two master-page pairs, text and page numbers on the masters,
    and layers: one hidden, one that does not print."""
    new_document(pages=5, facing=True, first_page_number=7)
    scribus.createLayer("Notes")
    scribus.setLayerVisible("Notes", False)
    scribus.createLayer("Draft marks")
    scribus.setLayerPrintable("Draft marks", False)
    scribus.createLayer("Text")
    for master, x in (("Normal Left", 40), ("Normal Right", 400)):
        scribus.editMasterPage(master)
        scribus.setActiveLayer("Background")
        scribus.createText(x, 800, 150, 20, "Folio " + master)
        scribus.setText("Page " + PAGE_NUMBER, "Folio " + master)
        scribus.closeMasterPage()
    # Items made right after createMasterPage land on a document page in this
    # version; editing the new master page first puts them where they belong.
    scribus.createMasterPage("Chapter Left")
    scribus.closeMasterPage()
    scribus.createMasterPage("Chapter Right")
    scribus.closeMasterPage()
    scribus.editMasterPage("Chapter Left")
    scribus.createText(40, 20, 300, 20, "Running head left")
    scribus.setText("Chapter masters " + PAGE_NUMBER + " / " + PAGE_COUNT, "Running head left")
    scribus.closeMasterPage()
    scribus.editMasterPage("Chapter Right")
    scribus.createText(255, 20, 300, 20, "Running head right")
    scribus.setText("Chapter right " + PAGE_NUMBER, "Running head right")
    scribus.createRect(0, 0, 595, 10, "Bleed band")
    scribus.setFillColor("Cyan", "Bleed band")
    scribus.closeMasterPage()
    scribus.applyMasterPage("Chapter Left", 4)
    scribus.applyMasterPage("Chapter Right", 5)
    scribus.setActiveLayer("Text")
    for page in range(1, 6):
        text_frame(page, 60, 80, 475, 200, "Body %d" % page, "Body text on page %d, layer Text." % page)
    scribus.setActiveLayer("Notes")
    text_frame(2, 60, 400, 475, 80, "Hidden note", "A note on a hidden layer.")
    scribus.setActiveLayer("Draft marks")
    text_frame(3, 60, 400, 475, 80, "Draft mark", "DRAFT: this layer does not print.")
    scribus.createRect(60, 500, 100, 100, "Draft box")
    scribus.setActiveLayer("Text")
    save("layers-masters.sla.gz")


def tiny_png(path):
    """A 4x4 RGB picture made here, so that no outside image is needed."""
    rows = b""
    for y in range(4):
        rows += b"\x00" + b"".join(struct.pack("BBB", 60 * x, 60 * y, 200) for x in range(4))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    png = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 4, 4, 8, 2, 0, 0, 0)) +
           chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))
    with open(path, "wb") as f:
        f.write(png)


def objects():
    """A picture, shapes, a polygon, polylines, a Bezier curve, nested groups,
    text on a path, a table with a merged cell, and link annotations."""
    new_document(pages=2)
    image = os.path.join(OUT, "swatch.png")
    tiny_png(image)
    scribus.createImage(40, 40, 120, 120, "Picture")
    scribus.loadImage(image, "Picture")
    scribus.setScaleImageToFrame(True, True, "Picture")
    scribus.createRect(200, 40, 100, 60, "Rectangle")
    scribus.setCornerRadius(8, "Rectangle")
    scribus.createEllipse(320, 40, 100, 60, "Ellipse")
    scribus.createPolygon([450, 40, 550, 70, 500, 120], "Triangle")
    scribus.createPolyLine([40, 200, 120, 260, 200, 200, 280, 260], "Zigzag")
    scribus.setLineWidth(2, "Zigzag")
    scribus.createBezierLine([300, 200, 300, 200, 400, 180, 400, 180, 500, 260, 500, 260], "Curve")
    scribus.createLine(40, 300, 550, 300, "Rule")
    scribus.createRect(40, 320, 60, 40, "Inner A")
    scribus.createEllipse(110, 320, 60, 40, "Inner B")
    inner = scribus.groupObjects(["Inner A", "Inner B"])
    scribus.setItemName("Inner group", inner)
    text_frame(1, 180, 320, 150, 40, "Grouped text", "Text inside a nested group.")
    outer = scribus.groupObjects(["Inner group", "Grouped text"])
    scribus.setItemName("Outer group", outer)

    scribus.createBezierLine([40, 450, 40, 450, 200, 380, 200, 380, 360, 450, 360, 450], "Baseline")
    text_frame(1, 40, 500, 300, 30, "Path source", "Words that follow a curved baseline.")
    scribus.createPathText(40, 400, "Path source", "Baseline", "On the curve")
    # The scripter of this version ignores the name given to createPathText.
    for name, kind, _ in scribus.getPageItems():
        if kind == 8:
            scribus.setItemName("On the curve", name)

    text_frame(1, 40, 560, 240, 40, "Web link", "Visit the project site")
    scribus.setURIAnnotation("https://example.org/ombra?a=1&b=2", "Web link")
    text_frame(1, 300, 560, 240, 40, "Page link", "Go to page 2")
    scribus.setLinkAnnotation(2, 0, 0, "Page link")

    scribus.gotoPage(2)
    scribus.createTable(40, 40, 480, 150, 3, 3, "Price table")
    cells = [["Item", "Size", "Price"], ["Tea", "Small\rcup", "3.50"], ["Total over two columns", None, "7.00"]]
    scribus.mergeTableCells(2, 0, 1, 2, "Price table")
    for r, row in enumerate(cells):
        for c, value in enumerate(row):
            if value is not None:
                scribus.setCellText(r, c, value, "Price table")
    text_frame(2, 40, 300, 480, 60, "After table", "Text after the table: Ελληνικά, 日本語.")
    save("objects.sla")


def main():
    jobs = [linked_frames, styles, scripts, breaks_and_marks, colours, layers_and_masters, objects]
    only = os.environ.get("SCRIBUS_ONLY")
    for job in jobs:
        if only and job.__name__ != only:
            continue
        try:
            job()
            LOG.write("made %s\n" % job.__name__)
        except Exception:
            LOG.write("FAILED %s\n%s\n" % (job.__name__, traceback.format_exc()))
            while scribus.haveDoc():
                scribus.closeDoc()
    LOG.close()


main()
