// Character classes for word selection and kinsoku.
#include <ombra/scripts.h>

namespace {

#include "text/CharacterClassTable.inc"

// Zero-terminated, searched linearly: the lists are short.
const unsigned short kNoSoftBreakBefore[] = {0x3001, 0x3002, 0xFF0C, 0xFF0E, 0xFF1A, 0xFF1B, 0xFF1F,
                                             0xFF01, 0x2019, 0x201D, 0xFF09, 0x3015, 0xFF3D, 0xFF5D,
                                             0x3009, 0x300B, 0x300D, 0x300F, 0x3011, 0};

const unsigned short kNoHardBreakBefore[] = {
    // the soft list
    0x3001, 0x3002, 0xFF0C, 0xFF0E, 0xFF1A, 0xFF1B, 0xFF1F, 0xFF01, 0x2019, 0x201D, 0xFF09, 0x3015,
    0xFF3D, 0xFF5D, 0x3009, 0x300B, 0x300D, 0x300F, 0x3011,
    // iteration marks, the prolonged sound mark and the small kana
    0x3005, 0x30FC, 0x3041, 0x3043, 0x3045, 0x3047, 0x3049, 0x3063, 0x3083, 0x3085, 0x3087, 0x308E,
    0x30A1, 0x30A3, 0x30A5, 0x30A7, 0x30A9, 0x30C3, 0x30E3, 0x30E5, 0x30E7, 0x30EE, 0x30F5, 0x30F6,
    0x309B, 0x309C, 0x30FD, 0x30FE, 0x309D, 0x309E,
    // dashes, units and Western closing punctuation
    0x2015, 0x2010, 0x00B0, 0x2032, 0x2033, 0x2103, 0x2109, 0x00A2, 0xFF05, 0x2030, 0x002E, 0x002C,
    0x003A, 0x003B, 0x0021, 0x003F, 0x0029, 0x005D, 0x007D, 0x003E, 0x0027, 0x0022, 0x002D, 0};

const unsigned short kNoBreakAfter[] = {
    0x2018, 0x201C, 0xFF08, 0x3014, 0xFF3B, 0xFF5B, 0x3008, 0x300A, 0x300C, 0x300E, 0x3010, 0xFFE5,
    0xFF04, 0x00A3, 0xFF20, 0x00A7, 0x3012, 0x266F, 0x0028, 0x005B, 0x007B, 0x003C, 0};

const unsigned short kAfterDigitNoBreak[] = {0x0025, 0x002E, 0x002C, 0};

const unsigned short kBeforeDigitNoBreak[] = {0x002E, 0x002C, 0x00A5, 0x0024,
                                              0x00A3, 0x00A2, 0x00A4, 0};

const unsigned short kWordSelectionStops[] = {
    0x002C, 0x002E, 0x003A, 0x0022, 0x003B, 0x0028, 0x0029, 0x0021, 0x003F, 0x002F,
    0x005C, 0x003C, 0x003E, 0x0040, 0x0023, 0x0025, 0x002A, 0x005E, 0x0026, 0x002B,
    0x003D, 0x007B, 0x007D, 0x005B, 0x005D, 0x007C, 0x0060, 0x007E, 0x002D, 0x2011,
    0x2013, 0x2014, 0xF8FF, 0x2026, 0x201C, 0x201D, 0x2018, 0};

short InList(const unsigned short* list, unsigned short c) {
    for (; *list; ++list)
        if (*list == c) return 1;
    return 0;
}

bool IsAsciiDigit(unsigned short c) {
    return c >= 0x30 && c <= 0x39;
}

// Entry `field` of the unit's row: 0 the property, 1 and 2 the counterparts
// that formats 2 to 4 carry. Formats other than 0 to 4 read as 0.
unsigned short Entry(unsigned short unit, int field) {
    const unsigned short* page = kCharacterPages[unit >> 8];
    if (!page) return 0;
    const unsigned short* row = page + 1;
    unsigned low = unit & 0xFF;
    switch (page[0]) {
    case 0:
        return field == 0 ? row[0] : 0;
    case 1:
        return field == 0 ? row[low] : 0;
    case 2:
    case 3:
        return field < 2 ? row[2 * low + field] : 0;
    case 4:
        return row[3 * low + field];
    default:
        return 0;
    }
}

enum Field { kProperty = 0, kFirstCounterpart = 1, kSecondCounterpart = 2 };

const unsigned short kFullWidthBit = 0x1000;

} // namespace

unsigned short OBCharacterClass::GetCharacterProperty(unsigned short unit) {
    return Entry(unit, kProperty);
}

unsigned short OBCharacterClass::GetCaseCounterpart(unsigned short unit) {
    const unsigned short* page = kCharacterPages[unit >> 8];
    if (!page || (page[0] != 2 && page[0] != 4)) return 0;
    return Entry(unit, kFirstCounterpart);
}

unsigned short OBCharacterClass::GetWidthCounterpart(unsigned short unit) {
    const unsigned short* page = kCharacterPages[unit >> 8];
    if (!page) return 0;
    if (page[0] == 3) return Entry(unit, kFirstCounterpart);
    if (page[0] == 4) return Entry(unit, kSecondCounterpart);
    return 0;
}

short OBCharacterClass::IsClickWordSelect(unsigned short c) {
    if (OBCC::CategoryOf(GetCharacterProperty(c)) == OBCC::kSpace) return 0;
    return InList(kWordSelectionStops, c) ? 0 : 1;
}

short OBCharacterClass::IsClickJapaneseWordSelect(unsigned short a, unsigned short b) {
    unsigned short pa = GetCharacterProperty(a);
    unsigned short pb = GetCharacterProperty(b);
    if (!(pa & kFullWidthBit)) return (pb & kFullWidthBit) ? 0 : 1;
    return (pa & 0x0F0F) == (pb & 0x0F0F) ? 1 : 0;
}

short OBCharacterClass::Kinsoku_NoHardBreakBefore(unsigned short c) {
    return InList(kNoHardBreakBefore, c);
}

short OBCharacterClass::Kinsoku_NoSoftBreakBefore(unsigned short c) {
    return InList(kNoSoftBreakBefore, c);
}

short OBCharacterClass::Kinsoku_NoBreakAfter(unsigned short c) {
    return InList(kNoBreakAfter, c);
}

short OBCharacterClass::Kinsoku_NoBreakBetween(unsigned short a, unsigned short b) {
    if (IsAsciiDigit(a)) return Kinsoku_AfterDigitNoBreak(b);
    if (IsAsciiDigit(b)) return Kinsoku_BeforeDigitNoBreak(a);
    return 0;
}

short OBCharacterClass::Kinsoku_AfterDigitNoBreak(unsigned short c) {
    return InList(kAfterDigitNoBreak, c);
}

short OBCharacterClass::Kinsoku_BeforeDigitNoBreak(unsigned short c) {
    return InList(kBeforeDigitNoBreak, c);
}
