#!/usr/bin/env python3
"""Writes damaged copies of Scribus documents, the same ones on every run.

    usage: damage.py OUTDIR DOCUMENT...

Each document (plain or gzip compressed) gets copies cut short at several
places, with bytes dropped, with stray markup characters, NUL and control
bytes put in, with an end tag or a quote removed, with an attribute doubled,
and a compressed copy cut short. The copies exercise the reader's repair path,
whose output must not change when the reader changes underneath.
"""
import gzip
import os
import random
import sys


def mutations(xml, rng):
    n = len(xml)
    out = {}
    for k, frac in enumerate((0.05, 0.3, 0.55, 0.8, 0.97)):
        out["cut%d" % k] = xml[: int(n * frac)]
    for k in range(3):
        at = rng.randrange(n)
        out["drop%d" % k] = xml[:at] + xml[at + rng.randrange(1, 40):]
    for k, junk in enumerate((b"<", b"&", b'"', b"\x00", b"\x01", b">", b"</X>", b"&#0;")):
        at = rng.randrange(n)
        out["junk%d" % k] = xml[:at] + junk + xml[at:]
    for k, needle in enumerate((b"</", b'"', b"/>")):
        hits = [i for i in range(n) if xml.startswith(needle, i)]
        if hits:
            at = rng.choice(hits)
            out["lose%d" % k] = xml[:at] + xml[at + len(needle):]
    tags = [i for i in range(n) if xml.startswith(b" ", i) and b'="' in xml[i:i + 40]]
    if tags:
        at = rng.choice(tags)
        end = xml.find(b'"', xml.find(b'="', at) + 2)
        if end > 0:
            attr = xml[at:end + 1]
            out["twice"] = xml[:at] + attr + xml[at:]
    return out


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    outdir = sys.argv[1]
    os.makedirs(outdir, exist_ok=True)
    for path in sys.argv[2:]:
        data = open(path, "rb").read()
        xml = gzip.decompress(data) if data[:2] == b"\x1f\x8b" else data
        name = os.path.basename(path).replace(".gz", "")
        rng = random.Random(name)
        for label, bytes_ in sorted(mutations(xml, rng).items()):
            with open(os.path.join(outdir, "%s.%s.sla" % (name, label)), "wb") as f:
                f.write(bytes_)
        packed = gzip.compress(xml, mtime=0)
        with open(os.path.join(outdir, name + ".cutgz.sla.gz"), "wb") as f:
            f.write(packed[: len(packed) * 2 // 3])


if __name__ == "__main__":
    main()
