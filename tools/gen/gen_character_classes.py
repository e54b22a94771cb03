#!/usr/bin/env python3
"""Generates text/CharacterClassTable.inc, the character property table of
OBCharacterClass, from the Unicode Character Database that Python's
unicodedata module carries (general categories, East Asian widths, case
mappings and compatibility decompositions).

Run from the repository root:  python3 tools/gen/gen_character_classes.py
The output is committed, so the build needs no Python.

A property is 16 bits: bits 12-15 a width group, bits 8-11 a category,
bits 0-3 a kind within the category (the OBCC enumerations in
include/ombra/scripts.h spell them out).

Width group (East Asian Width):
  1 full width   F, W
  2 half width   H, Na
  0 neither      A, N (ambiguous and neutral characters, e.g. U+00A0, U+2014)

Category and kind (general category, and the script for East Asian letters):
  0 none         controls (but the white-space ones), format characters,
                 unassigned, private use and surrogate code units: the whole
                 property is 0
  1 mark         0 Mn, 1 Mc, 2 Me
  2 digit        0 Nd, 1 Nl, 2 No
  3 space        0 Zs and TAB, 1 line and paragraph breaks (LF, VT, FF, CR,
                 NEL, Zl, Zp)
  4 symbol       0 So, 1 Sm, 2 Sc, 3 Sk
  5 letter       1 Lu and Lt, 2 Ll, 3 Lm, 4 Lo; letters of the East Asian
                 scripts take the script instead: 9 hiragana, 10 katakana,
                 11 kanji, 12 bopomofo, 13 hangul
  6 punctuation  0 Po, 1 Pd, 2 Ps, 3 Pe, 4 Pi, 5 Pf, 6 Pc
  7 kana sign    punctuation, marks and symbols inside the kana ranges
                 (U+3040-U+30FF, U+31F0-U+31FF, U+FF61-U+FF9F), with the kind
                 of the kana they belong to (9 or 10): the voiced sound marks,
                 the katakana middle dot, the half-width full stop and brackets

The ideographic iteration and closing marks (U+3005, U+3006, U+303B) are
kanji letters, so that a kanji word extends over them.

The table covers 167 of the 256 pages of code units. The pages U+4E00-U+9FFF
and U+AC00-U+D7FF are classified as whole blocks (every unit a full-width
kanji or hangul letter) and stored in format 0, one value per page. The other
pages cover the scripts of the library's writing scripts (Latin, Greek,
Cyrillic, Hebrew, Arabic, Thai, the CJK scripts and hangul) with their
punctuation, symbols and marks; see PAGES. Absent pages read as 0.

Page formats (a 16-bit format word, then the entries):
  0  one value for the whole page
  1  256 properties
  2  256 pairs (property, case counterpart)
  3  256 pairs (property, width counterpart)
  4  256 triples (property, case counterpart, width counterpart)
The case counterpart is the simple lower-case mapping of an upper- or
title-case unit and the simple upper-case mapping of a lower-case one (0:
none, or not a single BMP unit). The width counterpart is the unit that a
full-width or half-width form stands for (its <wide> or <narrow>
decomposition; 0: none). A page takes the smallest format that holds what
its units have; only U+FF00-U+FFFF has both.
"""

import os
import sys
import unicodedata

# Pages in format 0: whole blocks of one property.
UNIFORM = {p: 0x150B for p in range(0x4E, 0xA0)}
UNIFORM.update({p: 0x150D for p in range(0xAC, 0xD8)})

# The other pages present, each with the blocks it serves.
PAGES = [
    0x00,  # Basic Latin, Latin-1
    0x01,  # Latin Extended-A and -B
    0x02,  # Latin Extended-B, IPA, spacing modifier letters
    0x03,  # combining diacritical marks, Greek
    0x04,  # Cyrillic
    0x05,  # Cyrillic supplement, Armenian, Hebrew
    0x06,  # Arabic
    0x07,  # Syriac, Arabic supplement, Thaana
    0x0E,  # Thai, Lao
    0x11,  # Hangul Jamo
    0x1D,  # phonetic extensions, combining diacritical marks supplement
    0x1E,  # Latin Extended Additional
    0x1F,  # Greek Extended
    0x20,  # general punctuation, super- and subscripts, currency symbols
    0x21,  # letterlike symbols, number forms, arrows
    0x22,  # mathematical operators
    0x23,  # miscellaneous technical
    0x24,  # control pictures, enclosed alphanumerics
    0x25,  # box drawing, block elements, geometric shapes
    0x26,  # miscellaneous symbols
    0x27,  # dingbats, supplemental arrows-A
    0x29,  # supplemental arrows-B, miscellaneous mathematical symbols-B
    0x2A,  # supplemental mathematical operators
    0x2B,  # miscellaneous symbols and arrows
    0x2C,  # Latin Extended-C
    0x2D,  # Cyrillic Extended-A
    0x2E,  # supplemental punctuation, CJK radicals supplement
    0x2F,  # Kangxi radicals, ideographic description characters
    0x30,  # CJK symbols and punctuation, hiragana, katakana
    0x31,  # bopomofo, hangul compatibility jamo, kanbun, katakana extensions
    0x32,  # enclosed CJK letters and months
    0x33,  # CJK compatibility
    0xA6,  # Cyrillic Extended-B
    0xA7,  # modifier tone letters, Latin Extended-D
    0xF9,  # CJK compatibility ideographs
    0xFA,  # CJK compatibility ideographs
    0xFB,  # alphabetic presentation forms, Arabic presentation forms-A
    0xFC,  # Arabic presentation forms-A
    0xFD,  # Arabic presentation forms-A
    0xFE,  # vertical forms, CJK compatibility forms, small forms, Arabic forms-B
    0xFF,  # half-width and full-width forms, specials
]

KANA_RANGES = [(0x3040, 0x309F, 9), (0x30A0, 0x30FF, 10), (0x31F0, 0x31FF, 10),
               (0xFF61, 0xFF9F, 10)]
SCRIPT_RANGES = KANA_RANGES + [
    (0x3400, 0x4DBF, 11), (0x4E00, 0x9FFF, 11), (0xF900, 0xFAFF, 11),
    (0x3005, 0x3006, 11), (0x303B, 0x303B, 11),
    (0x3100, 0x312F, 12), (0x31A0, 0x31BF, 12),
    (0x1100, 0x11FF, 13), (0x3130, 0x318F, 13), (0xA960, 0xA97F, 13),
    (0xAC00, 0xD7FF, 13), (0xFFA0, 0xFFDC, 13),
]

WIDTH = {'F': 1, 'W': 1, 'H': 2, 'Na': 2}
MARK_KIND = {'Mn': 0, 'Mc': 1, 'Me': 2}
DIGIT_KIND = {'Nd': 0, 'Nl': 1, 'No': 2}
SYMBOL_KIND = {'So': 0, 'Sm': 1, 'Sc': 2, 'Sk': 3}
LETTER_KIND = {'Lu': 1, 'Lt': 1, 'Ll': 2, 'Lm': 3, 'Lo': 4}
PUNCT_KIND = {'Po': 0, 'Pd': 1, 'Ps': 2, 'Pe': 3, 'Pi': 4, 'Pf': 5, 'Pc': 6}
BREAKS = {0x000A, 0x000B, 0x000C, 0x000D, 0x0085}


def in_ranges(u, ranges):
    for lo, hi, kind in ranges:
        if lo <= u <= hi:
            return kind
    return None


def category_and_kind(u):
    c = chr(u)
    gc = unicodedata.category(c)
    if u == 0x0009 or gc == 'Zs':
        return 3, 0
    if u in BREAKS or gc in ('Zl', 'Zp'):
        return 3, 1
    if gc[0] == 'C':
        return None
    kana = in_ranges(u, KANA_RANGES)
    if gc[0] == 'L':
        script = in_ranges(u, SCRIPT_RANGES)
        return 5, script if script is not None else LETTER_KIND[gc]
    if kana is not None:
        return 7, kana
    if gc[0] == 'M':
        return 1, MARK_KIND[gc]
    if gc[0] == 'N':
        return 2, DIGIT_KIND[gc]
    if gc[0] == 'S':
        return 4, SYMBOL_KIND[gc]
    if gc[0] == 'P':
        return 6, PUNCT_KIND[gc]
    raise ValueError('unclassified U+%04X %s' % (u, gc))


def prop(u):
    ck = category_and_kind(u)
    if ck is None:
        return 0
    width = WIDTH.get(unicodedata.east_asian_width(chr(u)), 0)
    return (width << 12) | (ck[0] << 8) | ck[1]


def single_bmp(s, u):
    if len(s) == 1 and s != chr(u) and ord(s) < 0x10000:
        return ord(s)
    return 0


def case_counterpart(u):
    c = chr(u)
    if unicodedata.category(c) in ('Cn', 'Co', 'Cs'):
        return 0
    return single_bmp(c.lower(), u) or single_bmp(c.upper(), u)


def width_counterpart(u):
    d = unicodedata.decomposition(chr(u)).split()
    if len(d) == 2 and d[0] in ('<wide>', '<narrow>'):
        return int(d[1], 16)
    return 0


def page_words(page):
    units = range(page << 8, (page << 8) + 256)
    props = [prop(u) for u in units]
    cases = [case_counterpart(u) for u in units]
    widths = [width_counterpart(u) for u in units]
    has_case, has_width = any(cases), any(widths)
    if has_case and has_width:
        return 4, [v for t in zip(props, cases, widths) for v in t]
    if has_case:
        return 2, [v for t in zip(props, cases) for v in t]
    if has_width:
        return 3, [v for t in zip(props, widths) for v in t]
    return 1, props


def main():
    root = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    out_path = os.path.join(root, 'text', 'CharacterClassTable.inc')

    present = sorted(set(PAGES) | set(UNIFORM))
    assert len(present) == 167, len(present)
    assert not set(PAGES) & set(UNIFORM)

    lines = [
        '// Generated by tools/gen/gen_character_classes.py from the Unicode %s'
        % unicodedata.unidata_version,
        '// character database. Do not edit: change the generator and run it again.',
        '// The coding of the properties and the page formats are described there',
        '// and in include/ombra/scripts.h (OBCC).',
        '',
    ]
    formats = {}
    for page in present:
        if page in UNIFORM:
            fmt, words = 0, [UNIFORM[page]]
        else:
            fmt, words = page_words(page)
            if fmt == 4:
                assert page == 0xFF, hex(page)
        formats[page] = fmt
        lines.append('const unsigned short kCharacterPage%02X[] = {' % page)
        lines.append('    %d, // format' % fmt)
        per_line = 8 if fmt != 4 else 9
        for i in range(0, len(words), per_line):
            chunk = words[i:i + per_line]
            lines.append('    ' + ', '.join('0x%04X' % w for w in chunk) + ',')
        lines.append('};')
        lines.append('')

    lines.append('const unsigned short* const kCharacterPages[256] = {')
    for row in range(0, 256, 4):
        cells = []
        for page in range(row, row + 4):
            cells.append('kCharacterPage%02X' % page if page in formats else 'nullptr')
        lines.append('    ' + ', '.join(cells) + ',')
    lines.append('};')

    with open(out_path, 'w', newline='\n') as f:
        f.write('\n'.join(lines) + '\n')
    counts = {}
    for fmt in formats.values():
        counts[fmt] = counts.get(fmt, 0) + 1
    print('wrote %s: %d pages, formats %s' % (out_path, len(formats), sorted(counts.items())))
    return 0


if __name__ == '__main__':
    sys.exit(main())
