// Lists: a paragraph's list from its marker and formatting, and the lists
// open in a text.
#include "WalkLists.h"

#include <ombra/views.h>

namespace obwalk {

namespace {

constexpr long long kMostNumber = 1000000000;

bool IsRomanStyle(int style) {
    return style == PNSE::kUpperRoman || style == PNSE::kLowerRoman;
}
bool IsAlphaStyle(int style) {
    return style == PNSE::kUpperAlpha || style == PNSE::kLowerAlpha;
}

// Whether u is one of the characters the style writes numbers with; for
// letters and numerals of the wrong case, not.
bool InNumber(unsigned short u, int style) {
    if (IsRomanStyle(style)) {
        const unsigned short lower = style == PNSE::kLowerRoman ? 0x20 : 0;
        for (char c : {'I', 'V', 'X', 'L', 'C', 'D', 'M'})
            if (u == static_cast<unsigned short>(c + lower)) return true;
        return false;
    }
    if (IsAlphaStyle(style))
        return style == PNSE::kLowerAlpha ? (u >= 'a' && u <= 'z') : (u >= 'A' && u <= 'Z');
    return (u >= '0' && u <= '9') || (u >= 0xFF10 && u <= 0xFF19); // full-width digits too
}

int RomanDigit(unsigned short u) {
    switch (u | 0x20) {
    case 'i':
        return 1;
    case 'v':
        return 5;
    case 'x':
        return 10;
    case 'l':
        return 50;
    case 'c':
        return 100;
    case 'd':
        return 500;
    default:
        return 1000;
    }
}

// The value of the n units of one number written in style.
long long ValueOf(const unsigned short* s, long long n, int style) {
    long long v = 0;
    for (long long i = 0; i < n && v < kMostNumber; ++i) {
        if (IsRomanStyle(style)) {
            const int d = RomanDigit(s[i]);
            v += i + 1 < n && RomanDigit(s[i + 1]) > d ? -d : d;
        } else if (IsAlphaStyle(style)) { // a to z, then aa: base 26 without a zero
            v = v * 26 + (s[i] | 0x20) - 'a' + 1;
        } else {
            v = v * 10 + (s[i] >= 0xFF10 ? s[i] - 0xFF10 : s[i] - '0');
        }
    }
    return v < 1 ? 1 : v > kMostNumber ? kMostNumber : v;
}

} // namespace

bool MarkerNumber(const unsigned short* units, long long n, int style, long long& number,
                  long long* start, long long* end) {
    long long e = n;
    while (e > 0 && !InNumber(units[e - 1], style))
        --e;
    if (e == 0) return false;
    long long b = e;
    while (b > 0 && InNumber(units[b - 1], style))
        --b;
    number = ValueOf(units + b, e - b, style);
    if (start) *start = b;
    if (end) *end = e;
    return true;
}

OBWalkListItem ListItemOf(Element* paragraphRun, Element* bn, Value* marker,
                          OBMParagraphAttributes* format) {
    OBWalkListItem item{OBWALK::kNotListed, 1, PNSE::kUndefined, 1};
    if (!format) format = ParagraphAttributesOf(paragraphRun);
    int style = PNSE::kUndefined;
    if (!bn || !marker || !format ||
        !GetEnumOf<ValuePageNumberingStyleEnum>(format->GetNumberingType(), style) ||
        style == PNSE::kUndefined || style == PNSE::kNone)
        return item;
    item.kind = style == PNSE::kBullet ? OBWALK::kBulleted : OBWALK::kNumbered;
    item.style = style;
    long long level = 1;
    if (GetInt(bn, AN::kLevelNumber, level))
        item.level = level < 1                        ? 1
                     : level > ListNesting::kMaxLevel ? ListNesting::kMaxLevel
                                                      : static_cast<int>(level);
    if (item.kind == OBWALK::kNumbered) {
        const MarkerText text(marker);
        // Letters and numerals past their range are written as digits.
        if (!MarkerNumber(text.units, text.end, style, item.number))
            MarkerNumber(text.units, text.end, PNSE::kArabic, item.number);
    }
    return item;
}

bool ListNesting::GoesOn(const OBWalkListItem& item, int depth) const {
    const OBWalkListItem& open = first_[depth - 1];
    if (open.level != item.level || open.kind != item.kind) return false;
    return item.kind == OBWALK::kBulleted ||
           (open.style == item.style && item.number == last_[depth - 1] + 1);
}

ListNesting::Step ListNesting::Next(const OBWalkListItem& item) const {
    Step step{0, false, false};
    int depth = depth_;
    if (item.kind == OBWALK::kNotListed) {
        step.close = depth;
        return step;
    }
    while (depth > 0 && first_[depth - 1].level > item.level)
        --depth;
    if (depth > 0 && GoesOn(item, depth)) {
        step.item = true;
    } else {
        if (depth > 0 && first_[depth - 1].level == item.level) --depth;
        step.open = true;
    }
    step.close = depth_ - depth;
    return step;
}

void ListNesting::Take(const Step& step, const OBWalkListItem& item) {
    depth_ -= step.close;
    if (step.item) last_[depth_ - 1] = item.number;
    if (!step.open) return;
    // Levels only grow inward, so there is room.
    first_[depth_] = item;
    last_[depth_] = item.number;
    ++depth_;
}

} // namespace obwalk
