// Lists: a paragraph's list from its marker and formatting, and the lists
// open in a text.
#include "WalkLists.h"

#include <ListNumbers.h>

#include <ombra/views.h>

namespace obwalk {

bool MarkerNumber(const unsigned short* units, long long n, int style, long long& number,
                  long long* start, long long* end) {
    long long e = n;
    while (e > 0 && !oblist::IsSymbol(units[e - 1], style))
        --e;
    if (e == 0) return false;
    long long b = e;
    while (b > 0 && oblist::IsSymbol(units[b - 1], style))
        --b;
    number = oblist::ValueOf(units + b, e - b, style);
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
