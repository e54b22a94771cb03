#!/usr/bin/env python3
"""Zips the IDML packages the reader's tests read from their sources in
tests/data/idml/packages (see the README there), and lists the words that
the placed stories of real packages hold.

  make_packages.py OUT [CORPUS...]

OUT/features/NAME.idml, OUT/damaged/NAME.idml, OUT/real-words.txt (one line
per real package: its path, then its words, sorted, separated by spaces).
"""
import io, os, re, shutil, string, struct, sys, zipfile
import xml.etree.ElementTree as ET

DATA = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "data", "idml")
MEDIA = "application/vnd.adobe.indesign-idml-package"
PKG = 'xmlns:idPkg="http://ns.adobe.com/AdobeInDesign/idml/1.0/packaging" DOMVersion="8.0"'
STORY = ('<idPkg:Story %s><Story Self="%s"><StoryPreference StoryOrientation="%s" '
         'FrameType="%s"/>%s</Story></idPkg:Story>')
FRAME = ('<TextFrame Self="f%s" ParentStory="%s" PreviousTextFrame="n" NextTextFrame="n" '
         'ItemLayer="ul1" ItemTransform="1 0 0 1 0 0">{path 36 %d 576 %d}</TextFrame>')


def expand(text):
    """{path X0 Y0 X1 Y1}: a closed rectangular path; {repeat N|TEXT}: TEXT
    N times, %d in it standing for the count so far."""
    def path(m):
        x0, y0, x1, y1 = m.group(1).split()
        points = "".join('<PathPointType Anchor="%s %s" LeftDirection="%s %s" RightDirection='
                         '"%s %s"/>' % ((x, y) * 3) for x, y in ((x0, y0), (x0, y1), (x1, y1), (x1, y0)))
        return ('<Properties><PathGeometry><GeometryPathType PathOpen="false"><PathPointArray>'
                '%s</PathPointArray></GeometryPathType></PathGeometry></Properties>' % points)

    def repeat(m):
        unit = m.group(2)
        return "".join(unit.replace("%d", str(i)) for i in range(int(m.group(1))))
    return re.sub(r"\{repeat (\d+)\|([^}]*)\}", repeat, re.sub(r"\{path ([^}]*)\}", path, text))


def part(name, **values):
    with open(os.path.join(DATA, "parts", name), encoding="utf-8") as f:
        return expand(string.Template(f.read().rstrip("\n")).safe_substitute(values))


def sections(path):
    """The sections of a package source: [(words of the '--- ' line, text)].
    Lines join without a break, with a space after one that ends inside a tag."""
    out = []
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.rstrip("\n").lstrip()
            if line.startswith("--- "):
                out.append([line[4:].split(), ""])
            elif out and line and not line.startswith("#"):
                out[-1][1] += ("" if out[-1][1].endswith((">", "}")) or not out[-1][1] else " ") + line
    return [(words, expand(text)) for words, text in out]


def package(path):
    """A package source's package as bytes."""
    options, stories, parts, appended, items, designmap = {}, {}, {}, [], "", ""
    for words, text in sections(path):
        kind, args = words[0], words[1:]
        if kind == "options":
            options = dict((a.split("=", 1) + [""])[:2] for a in args)
        elif kind == "story" and args[1:] == ["raw"]:
            stories[args[0]] = text
        elif kind == "story":  # NAME [ORIENTATION [FRAME TYPE]]
            orientation, frame = args[1:] + ["Horizontal", "TextFrameType"][len(args) - 1:]
            stories[args[0]] = STORY % (PKG, args[0], orientation, frame, text)
        elif kind == "items":
            items = text
        elif kind == "designmap":
            designmap = text
        elif kind == "part":
            parts[args[0]] = part(args[1]) if len(args) > 1 else text
        elif kind == "append":
            appended.append((args[0], text))
    master = "master" in options
    if not items:
        items = expand("".join(FRAME % (s, s, 60 + 60 * i, 100 + 60 * i) for i, s in enumerate(stories)))
    listed = "".join('<idPkg:Story src="Stories/Story_%s.xml"/>' % s for s in stories)
    all_parts = {
        "designmap.xml": part("designmap.xml", stories=listed, designmap=designmap, master=(
            '<idPkg:MasterSpread src="MasterSpreads/MasterSpread_m.xml"/>' if master else "")),
        "Resources/Graphic.xml": "<idPkg:Graphic %s>%s</idPkg:Graphic>" % (PKG, part("Graphic.xml")),
        "Resources/Styles.xml": "<idPkg:Styles %s>%s</idPkg:Styles>" % (PKG, part("Styles.xml")),
        "Resources/Preferences.xml": part("Preferences.xml"),
        "Spreads/Spread_s.xml": part("Spread.xml", master="m" if master else "n", items=items),
    }
    if master:
        all_parts["MasterSpreads/MasterSpread_m.xml"] = part("MasterSpread.xml")
        stories["mstory"] = part("Story_mstory.xml")
    for s, content in stories.items():
        all_parts["Stories/Story_%s.xml" % s] = '<?xml version="1.0" encoding="UTF-8"?>' + content
    all_parts.update(parts)
    return damage(zipped(all_parts, options), options, appended)


class Unseekable(io.RawIOBase):
    """Makes zipfile write data descriptors after the parts' data."""
    def __init__(self, out):
        self.out = out

    def writable(self):
        return True

    def write(self, b):
        return self.out.write(b)

    def tell(self):
        raise OSError("unseekable")


def zipped(parts, options):
    omit = options.get("omit", "").split(",")
    mimetype = options.get("mimetype", "first")
    out = io.BytesIO()
    method = zipfile.ZIP_STORED if "stored" in options else zipfile.ZIP_DEFLATED
    with zipfile.ZipFile(Unseekable(out) if "streamed" in options else out, "w", method) as z:
        if mimetype == "first":
            z.writestr(zipfile.ZipInfo("mimetype"), MEDIA, zipfile.ZIP_STORED)
        for i, name in enumerate(parts):
            if name not in omit:
                z.writestr(name, parts[name])
            if mimetype == "second" and i == 0:
                z.writestr(zipfile.ZipInfo("mimetype"), MEDIA, zipfile.ZIP_STORED)
    return out.getvalue()


def misstate(data, name, headers, value):
    """Sets a 32-bit field of the entry's local and central headers."""
    for sig, field, name_at, start in headers:
        at = data.find(sig)
        while at >= 0:
            n = struct.unpack("<H", data[at + name_at:at + name_at + 2])[0]
            if data[at + start:at + start + n] == name.encode():
                data[at + field:at + field + 4] = struct.pack("<I", value)
            at = data.find(sig, at + 4)


CENTRAL = {"crc": 16, "packed": 20, "offset": 42}  # fields of a central directory record


def damage(pkg, options, appended):
    """The package with entries appended (names may repeat), a story's
    deflated bytes scrambled, its CRC or inflated size misstated, its CRC,
    packed size or local header offset misstated in the central directory,
    the end of central directory signature zeroed, or cut by N bytes or in half."""
    if appended:
        with zipfile.ZipFile(io.BytesIO(pkg)) as z:
            entries = [(i.filename, z.read(i)) for i in z.infolist()] + appended
        out = io.BytesIO()
        with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as z:
            for name, data in entries:
                z.writestr(zipfile.ZipInfo(name), data, zipfile.ZIP_DEFLATED)
        pkg = out.getvalue()
    data = bytearray(pkg)
    if "corrupt" in options:
        with zipfile.ZipFile(io.BytesIO(pkg)) as z:
            info = z.getinfo(options["corrupt"])
        n, extra = struct.unpack("<HH", pkg[info.header_offset + 26:info.header_offset + 30])
        at = info.header_offset + 30 + n + extra
        for i in range(at + 2, at + info.compress_size - 2):
            data[i] ^= 0x5A
    if "crc" in options:
        misstate(data, options["crc"], ((b"PK\3\4", 14, 26, 30), (b"PK\1\2", 16, 28, 46)), 0x12345678)
    if "misstate" in options:
        name, size = options["misstate"].split(":")
        misstate(data, name, ((b"PK\3\4", 22, 26, 30), (b"PK\1\2", 24, 28, 46)), int(size))
    if "central" in options:  # a field of the central directory alone
        name, field, value = options["central"].split(":")
        misstate(data, name, ((b"PK\1\2", CENTRAL[field], 28, 46),), int(value))
    if "eocd" in options:
        at = data.rfind(b"PK\5\6")
        data[at:at + 4] = b"\0" * 4
    if "cut" in options:
        del data[len(data) - int(options["cut"]):]
    return bytes(data[:len(data) // 2] if "truncate" in options else data)


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
    for folder in ("features", "damaged"):
        source = os.path.join(DATA, "packages", folder)
        os.makedirs(os.path.join(out, folder), exist_ok=True)
        for name in sorted(os.listdir(source)):
            target = os.path.join(out, folder, os.path.splitext(name)[0] + ".idml")
            if name.endswith(".idml"):  # bytes that no source could describe
                shutil.copyfile(os.path.join(source, name), target)
            elif name.endswith(".pkg"):
                with open(target, "wb") as f:
                    f.write(package(os.path.join(source, name)))
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
