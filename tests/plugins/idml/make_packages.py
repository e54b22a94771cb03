#!/usr/bin/env python3
"""Writes the IDML packages the reader's tests read: one small package per
feature (Japanese typesetting included), damaged packages of every kind, and
for the real packages of a corpus folder the words their placed stories hold.

  make_packages.py OUT [CORPUS...]

OUT/features/NAME.idml, OUT/damaged/NAME.idml, OUT/real-words.txt (one line
per real package: its path, then its words, sorted, separated by spaces).
"""
import io, os, re, struct, sys, zipfile
import xml.etree.ElementTree as ET

MEDIA = "application/vnd.adobe.indesign-idml-package"
PKG = 'xmlns:idPkg="http://ns.adobe.com/AdobeInDesign/idml/1.0/packaging" DOMVersion="8.0"'
PARA = "ParagraphStyle/$ID/NormalParagraphStyle"
CHAR = "CharacterStyle/$ID/[No character style]"


def c(text):
    return "<Content>%s</Content>" % text


BR = "<Br/>"


def csr(content, attrs="", style=CHAR):
    return '<CharacterStyleRange AppliedCharacterStyle="%s" %s>%s</CharacterStyleRange>' % (
        style, attrs, content)


def psr(content, attrs="", style=PARA):
    return '<ParagraphStyleRange AppliedParagraphStyle="%s" %s>%s</ParagraphStyleRange>' % (
        style, attrs, content)


def path(x0, y0, x1, y1):
    pts = "".join('<PathPointType Anchor="%g %g" LeftDirection="%g %g" RightDirection="%g %g"/>'
                  % (x, y, x, y, x, y) for x, y in ((x0, y0), (x0, y1), (x1, y1), (x1, y0)))
    return ('<Properties><PathGeometry><GeometryPathType PathOpen="false"><PathPointArray>%s'
            '</PathPointArray></GeometryPathType></PathGeometry></Properties>' % pts)


def frame(self, story, y, attrs="", inner="", layer="ul1", prev="n", next="n", move="1 0 0 1 0 0"):
    return ('<TextFrame Self="%s" ParentStory="%s" PreviousTextFrame="%s" NextTextFrame="%s" '
            'ItemLayer="%s" ItemTransform="%s" %s>%s%s</TextFrame>'
            % (self, story, prev, next, layer, move, attrs, path(36, y, 576, y + 40), inner))


def story(self, content, pref="Horizontal", frame_type="TextFrameType", extra=""):
    return ('<idPkg:Story %s><Story Self="%s"><StoryPreference StoryOrientation="%s" '
            'FrameType="%s"/>%s%s</Story></idPkg:Story>' % (PKG, self, pref, frame_type, extra,
                                                           content))


PARTS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "data", "idml", "parts")


def part(name):
    """A shared part, as the packages hold it (tests/data/idml/parts)."""
    with open(os.path.join(PARTS, name), encoding="utf-8") as f:
        return f.read()


GRAPHIC, STYLES, METADATA = part("Graphic.xml"), part("Styles.xml"), part("metadata.xml")


def package(stories, items="", designmap="", master=False, mimetype="first", spreads=None,
            extra_parts=None, omit=()):
    """A package as bytes: stories {Self: content}, each shown by a frame on
    the one page unless items are given."""
    if not items:
        items = "".join(frame("f%s" % s, s, 60 + 60 * i) for i, s in enumerate(stories))
    parts = {
        "designmap.xml": '<?xml version="1.0" encoding="UTF-8"?><Document %s Self="d" Name="t">'
        '<idPkg:Graphic src="Resources/Graphic.xml"/><idPkg:Styles src="Resources/Styles.xml"/>'
        '<idPkg:Preferences src="Resources/Preferences.xml"/>%s%s%s'
        '<Layer Self="ul1" Name="Text" Visible="true" Printable="true"/>'
        '<Layer Self="ul0" Name="Hidden" Visible="false" Printable="true"/>'
        '<KinsokuTable Self="KinsokuTable/K" Name="Strict" ForbiddenAtStart="、。" ForbiddenAtEnd="（"/>'
        '<MojikumiTable Self="MojikumiTable/M" Name="Tight"/>'
        '<Section Self="sec" Name="Intro" PageStart="p1" PageNumberStart="5" SectionPrefix="A" '
        'IncludeSectionPrefix="false"/>%s</Document>'
        % (PKG, '<idPkg:MasterSpread src="MasterSpreads/MasterSpread_m.xml"/>' if master else "",
           '<idPkg:Spread src="Spreads/Spread_s.xml"/>',
           "".join('<idPkg:Story src="Stories/Story_%s.xml"/>' % s for s in stories), designmap),
        "Resources/Graphic.xml": "<idPkg:Graphic %s>%s</idPkg:Graphic>" % (PKG, GRAPHIC),
        "Resources/Styles.xml": "<idPkg:Styles %s>%s</idPkg:Styles>" % (PKG, STYLES),
        "Resources/Preferences.xml": '<idPkg:Preferences %s><DocumentPreference PageWidth="612" '
        'PageHeight="792" FacingPages="false"/><MarginPreference Top="36" Bottom="36" Left="36" '
        'Right="36"/><ViewPreference HorizontalMeasurementUnits="Millimeters" '
        'VerticalMeasurementUnits="Points"/></idPkg:Preferences>' % PKG,
        "Spreads/Spread_s.xml": spreads or '<idPkg:Spread %s><Spread Self="s" ItemTransform="1 0 0 1 0 0">'
        '<Page Self="p1" Name="5" AppliedMaster="%s" GeometricBounds="0 0 792 612" ItemTransform="1 0 0 1 0 0">'
        '<MarginPreference Top="36" Bottom="36" Left="36" Right="36" ColumnCount="2" ColumnGutter="12"/>'
        '</Page>%s</Spread></idPkg:Spread>' % (PKG, "m" if master else "n", items),
    }
    if master:
        parts["MasterSpreads/MasterSpread_m.xml"] = (
            '<idPkg:MasterSpread %s><MasterSpread Self="m" Name="A-Master"><Page Self="mp" Name="A" '
            'GeometricBounds="0 0 792 612" ItemTransform="1 0 0 1 0 0"/>%s</MasterSpread>'
            '</idPkg:MasterSpread>' % (PKG, frame("mf", "mstory", 700)))
        stories = dict(stories, mstory=psr(csr(c("Folio <?ACE 18?>"))))
    for s, content in stories.items():
        parts["Stories/Story_%s.xml" % s] = '<?xml version="1.0" encoding="UTF-8"?>' + (
            content if content.startswith("<idPkg:Story") else story(s, content))
    parts.update(extra_parts or {})
    out = io.BytesIO()
    with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as z:
        order = list(parts)
        if mimetype == "first":
            z.writestr(zipfile.ZipInfo("mimetype"), MEDIA, zipfile.ZIP_STORED)
        for name in order:
            if name not in omit:
                z.writestr(name, parts[name])
            if mimetype == "second" and name == order[0]:
                z.writestr(zipfile.ZipInfo("mimetype"), MEDIA, zipfile.ZIP_STORED)
    return out.getvalue()


def hyperlinks_package():
    text = psr(csr(c("See ") + '<HyperlinkTextSource Self="hs1" Name="site">' + c("site")
                   + "</HyperlinkTextSource>" + c(" and ") + '<HyperlinkTextSource Self="hs2">'
                   + c("page") + '</HyperlinkTextSource><HyperlinkTextDestination Self="td1" Name="here"/>'
                   + '<CrossReferenceSource Self="xs1" AppliedFormat="f">' + c("ref")
                   + "</CrossReferenceSource>"))
    links = ('<HyperlinkURLDestination Self="hd1" Name="u" DestinationURL="https://example.org/"/>'
             '<HyperlinkPageDestination Self="hd2" Name="p" DestinationPage="p1"/>'
             '<Hyperlink Self="h1" Name="Site" Source="hs1"><Properties><Destination type="object">hd1'
             '</Destination></Properties></Hyperlink>'
             '<Hyperlink Self="h2" Name="Page" Source="hs2"><Properties><Destination type="object">hd2'
             '</Destination></Properties></Hyperlink>'
             '<Hyperlink Self="h3" Name="Ref" Source="xs1"><Properties><Destination type="object">td1'
             '</Destination></Properties></Hyperlink>'
             '<Hyperlink Self="h4" Name="Nowhere" Source="missing"/>')
    return package({"s": text}, designmap=links)


def items_package():
    group = ('<Group Self="g" ItemTransform="1 0 0 1 300 0" ItemLayer="ul1">'
             '<Oval Self="ov" ItemTransform="1 0 0 1 0 0" FillColor="Color/Red" ItemLayer="ul1">%s</Oval>'
             '<GraphicLine Self="ln" ItemTransform="1 0 0 1 0 0" StrokeColor="Color/Black" ItemLayer="ul1">'
             '<Properties><PathGeometry><GeometryPathType PathOpen="true"><PathPointArray>'
             '<PathPointType Anchor="10 500"/><PathPointType Anchor="110 550"/></PathPointArray>'
             '</GeometryPathType></PathGeometry></Properties></GraphicLine></Group>') % path(0, 400, 50, 450)
    picture = ('<Rectangle Self="pic" ItemTransform="1 0 0 1 0 0" ItemLayer="ul1">%s<Image Self="im" '
               'ItemTransform="0.5 0 0 0.5 36 600"><Link Self="lk" LinkResourceURI="file:///pics/photo.jpg" '
               'LinkResourceFormat="$ID/JPEG"/></Image></Rectangle>') % path(36, 600, 136, 700)
    polygon = ('<Polygon Self="tri" ItemTransform="1 0 0 1 0 0" ItemLayer="ul1"><Properties><PathGeometry>'
               '<GeometryPathType PathOpen="false"><PathPointArray><PathPointType Anchor="400 600"/>'
               '<PathPointType Anchor="500 600"/><PathPointType Anchor="450 700"/></PathPointArray>'
               '</GeometryPathType></PathGeometry></Properties></Polygon>')
    on_path = ('<Oval Self="po" ItemTransform="1 0 0 1 0 0" ItemLayer="ul1">%s<TextPath Self="tp1" '
               'ParentStory="tp" FlipPathEffect="Flipped"/></Oval>') % path(200, 700, 300, 760)
    # The chain's first frame lies below its second; the turned frame above both.
    items = (frame("f1", "s", 300, next="f2") + frame("f2", "s", 100, prev="f1")
             + frame("rot", "r", 0, move="0.866025403784439 -0.5 0.5 0.866025403784439 100 40")
             + group + picture + polygon + on_path)
    return package({"s": psr(csr(c("Chained"))), "r": psr(csr(c("Turned"))),
                    "tp": psr(csr(c("Round")))}, items=items)


def placement_package():
    """Master-page text, a frame on a hidden layer and one on the pasteboard."""
    items = (frame("f1", "body", 60) + frame("f2", "hidden", 120, layer="ul0")
             + frame("f3", "aside", -400))
    return package({"body": psr(csr(c("Body"))), "hidden": psr(csr(c("Hidden"))),
                    "aside": psr(csr(c("Aside")))}, items=items, master=True)


def anchored_package():
    inline = ('<Rectangle Self="ar" ItemTransform="1 0 0 1 0 0">%s</Rectangle>'
              '<TextFrame Self="af" ParentStory="inner" ItemTransform="1 0 0 1 0 0">%s</TextFrame>'
              % (path(0, 0, 20, 20), path(0, 0, 100, 30)))
    return package({"host": psr(csr(c("Before") + inline + c("after"))),
                    "inner": psr(csr(c("Inside")))},
                   items=frame("f1", "host", 60))


KENTEN = ["KentenSesameDot", "KentenWhiteSesameDot", "KentenFisheye", "KentenBullseye",
          "KentenBlackCircle", "KentenWhiteCircle", "KentenSmallBlackCircle",
          "KentenSmallWhiteCircle", "KentenBlackTriangle", "KentenWhiteTriangle", "Custom"]


def features():
    """Every feature package: name -> bytes."""
    f = {}
    f["text"] = package({"s": psr(
        csr(c("One\u2028line\ttab") + BR + c("Two<?ACE 8?>x")) + csr(BR, 'ParagraphBreakType="NextColumn"')
        + csr(c("Three")) + csr(BR, 'ParagraphBreakType="NextPage"') + csr(c("Four")))},
        extra_parts={"META-INF/metadata.xml": METADATA})
    f["variables"] = package(
        {"s": psr(csr(c("Page <?ACE 18?> of <?ACE 19?> ")
                      + '<TextVariableInstance Self="tv" ResultText="9" AssociatedTextVariable="dTV"/>'))},
        designmap='<TextVariable Self="dTV" Name="Pages" VariableType="PageCountType"/>')
    f["ruby"] = package({"s": psr(
        csr(c("漢字"), 'RubyFlag="true" RubyString="かんじ" RubyPosition="BelowLeft" '
            'RubyAlignment="RubyJIS" RubyParentOverhangAmount="RubyOverhangOneRuby" RubyFontSize="6"')
        + csr(c("の"))
        + csr(c("東京"), 'RubyFlag="1" RubyType="PerCharacterRuby" RubyString="とう きょう"')
        + csr(c("大阪"), 'RubyFlag="1" RubyType="PerCharacterRuby" RubyString="おおさか"')
        + csr(c("と"))
        + csr(c("紅"), 'FontStyle="Bold" RubyFlag="true" RubyString="こうろう"')
        + csr(c("楼"), 'RubyFlag="true" RubyString="こうろう"'))})
    kenten = "".join(csr(c("字"), 'KentenKind="%s" KentenCustomCharacter="※" KentenPosition="BelowLeft"'
                         % k) + csr(c("・")) for k in KENTEN)
    f["kenten"] = package({"s": psr(kenten + csr(c("点"), style="CharacterStyle/Dots"))})
    f["warichu"] = package({"s": psr(csr(c("本文")) + csr(c("割注の文"), 'Warichu="true" WarichuLines="2" '
                                      'WarichuSize="50" WarichuAlignment="CenterAlign" WarichuLineSpacing="1"'))})
    f["tcy"] = package({"v": story("v", psr(csr(c("平成12年3月に123円")) + csr(c("AB"), 'Tatechuyoko="true" '
                                  'TatechuyokoXOffset="1" TatechuyokoYOffset="2"'), 'AutoTcy="2"'), "Vertical"),
                        "h": psr(csr(c("平成12年")), 'AutoTcy="2"')})
    f["grid"] = package({"g": story("g", psr(csr(c("縦書き"))), "Vertical", "FrameGridType")},
                        items=frame("f", "g", 60, inner='<GridDataInformation PointSize="10" LineAki="8" '
                                    'CharacterAki="0" HorizontalScale="100" VerticalScale="100"/>'))
    f["table"] = package({"s": psr(csr(c("Before") + '<Table Self="t" HeaderRowCount="1" BodyRowCount="2" '
                                       'ColumnCount="2"><Row Self="r0" Name="0" SingleRowHeight="20"/>'
                                       '<Column Self="c0" Name="0" SingleColumnWidth="100"/>'
                                       '<Column Self="c1" Name="1" SingleColumnWidth="50"/>'
                                       + "".join('<Cell Self="x%s" Name="%s" %s>%s</Cell>' % (
                                           n.replace(":", ""), n, a, psr(csr(c(t))))
                                           for n, a, t in (("0:0", 'ColumnSpan="2"', "Head"),
                                                           ("0:1", 'RowSpan="2"', "Tall"),
                                                           ("1:1", "", "b"), ("1:2", "", "d")))
                                       + "</Table>" + c("after")))})
    f["footnote"] = package({"s": psr(csr(c("Body") + "<Footnote>" + psr(csr(c("<?ACE 4?> Note")))
                                          + "</Footnote>" + c(" end")))})
    f["hyperlinks"] = hyperlinks_package()
    f["notes"] = package({"s": psr(csr(c("A") + "<Note>" + psr(csr(c("note") + BR + c("two")))
                                       + "</Note>" + c("B")))})
    f["conditions"] = package(
        {"s": psr(csr(c("Shown ")) + csr(c("hidden "), 'AppliedConditions="Condition/c2"')
                  + csr(c("both"), 'AppliedConditions="Condition/c1 Condition/c2"'))},
        designmap='<Condition Self="Condition/c1" Name="On" Visible="true"/>'
                  '<Condition Self="Condition/c2" Name="Off" Visible="false"/>')
    f["changes"] = package({"s": psr(csr(c("Kept ") + '<Change ChangeType="InsertedText" UserName="Ann" '
                                         'Date="2024-05-06T07:08:09">' + c("new") + "</Change>"
                                         + '<Change ChangeType="DeletedText" UserName="Bo">' + c("old")
                                         + "</Change>"))})
    f["items"] = items_package()
    f["placement"] = placement_package()
    f["anchored"] = anchored_package()
    f["cjk"] = package({"k": psr(csr(c("한국어 Latin"))),
                        "z": psr(csr(c("中文"), 'AppliedLanguage="$ID/Chinese: Traditional"'))})
    f["mimetype-second"] = package({"s": psr(csr(c("Second")))}, mimetype="second")
    f["no-mimetype"] = package({"s": psr(csr(c("None")))}, mimetype="none")
    return f


def zip_of(entries):
    out = io.BytesIO()
    with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as z:
        for name, data in entries:
            z.writestr(zipfile.ZipInfo(name), data, zipfile.ZIP_DEFLATED)
    return out.getvalue()


def add_parts(pkg, entries):
    """The package with more entries at its end (names may repeat)."""
    with zipfile.ZipFile(io.BytesIO(pkg)) as z:
        old = [(i.filename, z.read(i)) for i in z.infolist()]
    return zip_of(old + entries)


def entry_offset(pkg, name):
    """Where an entry's data starts, and its compressed size."""
    with zipfile.ZipFile(io.BytesIO(pkg)) as z:
        info = z.getinfo(name)
    at = info.header_offset
    n, extra = struct.unpack("<HH", pkg[at + 26:at + 30])
    return at + 30 + n + extra, info.compress_size


def lie_about_size(pkg, name, size):
    """Declares `size` as the entry's inflated size in both of its headers."""
    data = bytearray(pkg)
    for sig, field in ((b"PK\3\4", 22), (b"PK\1\2", 24)):
        at = data.find(sig)
        while at >= 0:
            n = struct.unpack("<H", data[at + (26 if sig == b"PK\3\4" else 28):][:2])[0]
            start = at + (30 if sig == b"PK\3\4" else 46)
            if data[start:start + n] == name.encode():
                data[at + field:at + field + 4] = struct.pack("<I", size)
            at = data.find(sig, at + 4)
    return bytes(data)


def damaged():
    d = {}
    two = {"a": psr(csr(c("Alpha"))), "b": psr(csr(c("Beta")))}
    good = package(two)
    d["truncated"] = good[:len(good) // 2]
    d["empty"] = b""
    d["garbage"] = bytes(range(256)) * 8
    d["not-idml"] = zip_of([("hello.txt", "hello")])
    d["other-mimetype"] = zip_of([("mimetype", "application/epub+zip"), ("content.opf", "<x/>")])
    at, size = entry_offset(good, "Stories/Story_b.xml")
    corrupt = bytearray(good)
    for i in range(at + 2, at + size - 2):
        corrupt[i] ^= 0x5A
    d["corrupt-story"] = bytes(corrupt)
    d["malformed-story"] = package({"a": "<idPkg:Story %s><Story Self=\"a\">%s<ParagraphStyleRange>"
                                         "<Content>Lost" % (PKG, psr(csr(c("Alpha")))), "b": two["b"]})
    d["missing-parts"] = package(two, omit=("Resources/Styles.xml", "Stories/Story_b.xml"))
    d["no-designmap"] = package(two, omit=("designmap.xml",))
    d["duplicate-parts"] = add_parts(good, [("Stories/Story_a.xml", story("a", psr(csr(c("Again")))))])
    d["duplicate-story"] = add_parts(good, [("Stories/Story_c.xml", story("a", psr(csr(c("Twice")))))])
    d["escaping-names"] = add_parts(package(two, designmap='<idPkg:Story src="../Stories/Story_x.xml"/>'),
                                    [("../Stories/Story_x.xml", story("x", psr(csr(c("Outside"))))),
                                     ("/Stories/Story_y.xml", story("y", psr(csr(c("Rooted")))))])
    bomb = story("b", psr(csr(c("Bomb" + " " * (130 << 20)))))
    d["zip-bomb"] = lie_about_size(add_parts(package({"a": two["a"]}), [("Stories/Story_b.xml", bomb)]),
                                   "Stories/Story_b.xml", 4096)
    deep = psr(csr(c("Top") + "<XMLElement>" * 5000 + c("Deep") + "</XMLElement>" * 5000))
    groups = ('<Group Self="g%d" ItemTransform="1 0 0 1 0 0">' * 300) + frame("f", "a", 60) + "</Group>" * 300
    d["deep-nesting"] = package({"a": deep}, items=(groups % tuple(range(300))) + frame("f2", "a", 200))
    d["huge-attributes"] = package({"a": psr(csr(c("Huge"), 'RubyFlag="true" RubyString="%s" '
                                                  'PointSize="%s"' % ("あ" * (4 << 20), "9" * (1 << 20))))})
    d["dangling"] = package(
        {"a": psr(csr(c("Looped")), style="ParagraphStyle/Missing"), "b": two["b"]},
        items=frame("f1", "a", 60, next="f2", prev="f2") + frame("f2", "a", 120, prev="f1", next="f1")
        + frame("f3", "zz", 180) + frame("f4", "b", 240),
        designmap='<Hyperlink Self="h" Name="x" Source="nowhere"/>')
    d["cell-positions"] = package({"a": psr(csr(
        '<Table Self="t" BodyRowCount="1" ColumnCount="1">'
        + "".join('<Cell Self="x%d" Name="%s">%s</Cell>' % (i, n, psr(csr(c(t))))
                  for i, (n, t) in enumerate((("0:0", "Kept"), ("0:0", "Same"), ("5:7", "Outside"),
                                              ("bad", "NoName"))))
        + "</Table>"))})
    return d


def words_of(z):
    """The words of the stories that frames on spreads show, sorted."""
    shown = set()
    for name in z.namelist():
        if name.startswith("Spreads/"):
            shown.update(re.findall(r'<(?:TextFrame|TextPath)\b[^>]*ParentStory="([^"]+)"',
                                    z.read(name).decode("utf-8")))
    words = []
    for name in z.namelist():
        if not name.startswith("Stories/"):
            continue
        for s in ET.fromstring(z.read(name)).iter("Story"):
            if s.get("Self") not in shown:
                continue
            text = []
            for e in s.iter():
                if e.tag == "Content":
                    text.append("".join(e.itertext()))
                elif e.tag == "Br":
                    text.append("\n")
            words += re.findall(r"\w+", "".join(text))
    return sorted(words)


def main(argv):
    if len(argv) < 2:
        print(__doc__)
        return 2
    out = argv[1]
    for folder, made in (("features", features()), ("damaged", damaged())):
        os.makedirs(os.path.join(out, folder), exist_ok=True)
        for name, data in made.items():
            with open(os.path.join(out, folder, name + ".idml"), "wb") as f:
                f.write(data)
    with open(os.path.join(out, "real-words.txt"), "w", encoding="utf-8") as f:
        for corpus in argv[2:]:
            for root, _, files in sorted(os.walk(corpus)):
                for name in sorted(files):
                    if name.endswith(".idml"):
                        path = os.path.join(root, name)
                        with zipfile.ZipFile(path) as z:
                            f.write(path + "\t" + " ".join(words_of(z)) + "\n")
    return 0


if __name__ == "__main__":
    import warnings
    warnings.simplefilter("ignore")  # duplicate names are meant
    sys.exit(main(sys.argv))
