// The pandoc conversion's lists: BulletList and OrderedList around the list
// paragraphs, with the number style and delimiter their markers show.
#include "PandocConversion.h"

#include <ombra/views.h>

using namespace obwalk;

namespace {

// pandoc's number style for a numbering style; none for the styles whose
// numbers pandoc's formats cannot write (leading zeros, full-width or
// circled digits, kanji, kana).
const char* PandocStyle(int style) {
    static const struct {
        int style;
        const char* name;
    } kStyles[] = {{PNSE::kArabic, "Decimal"},
                   {PNSE::kLowerRoman, "LowerRoman"},
                   {PNSE::kUpperRoman, "UpperRoman"},
                   {PNSE::kLowerAlpha, "LowerAlpha"},
                   {PNSE::kUpperAlpha, "UpperAlpha"}};
    for (const auto& s : kStyles)
        if (s.style == style) return s.name;
    return nullptr;
}

bool Plain(unsigned short u) {
    return (u >= '0' && u <= '9') || ((u | 0x20) >= 'a' && (u | 0x20) <= 'z') || u == '.';
}

// A numbered list's number style and delimiter, as pandoc names them, from
// the numbering style and what stands around the number in the marker.
void NumberStyle(const OBWalkListItem& item, Value* marker, Utf8Text& out) {
    const char* style = PandocStyle(item.style);
    const char* delimiter = "DefaultDelim";
    const obwalk::MarkerText text(marker);
    long long number = 0, start = 0, end = 0;
    if (obwalk::MarkerNumber(text.units, text.end, item.style, number, &start, &end) &&
        end < text.end) {
        if (text.units[end] == '.')
            delimiter = "Period";
        else if (text.units[end] == ')')
            delimiter = start > 0 && text.units[start - 1] == '(' ? "TwoParens" : "OneParen";
    }
    out.Append("{\"t\":\"");
    out.Append(style ? style : "DefaultStyle");
    out.Append("\"},{\"t\":\"");
    out.Append(delimiter);
    out.Append("\"}");
}

} // namespace

// Whether pandoc's list shows what the marker shows: a bullet, or a number
// in a style pandoc names, with at most a period or a parenthesis after it
// and before it "(" or the numbers of the levels above ("1.a)"). Otherwise
// ("Step 3:", "十九、") the paragraph keeps its marker as text, out of any
// list, so that no output shows other numbers than the document.
bool OBPandocConversion::ShowsAsList(const OBWalkListItem& item, Value* marker) {
    if (item.kind != OBWALK::kNumbered) return true;
    const obwalk::MarkerText text(marker);
    long long number = 0, start = 0, end = 0;
    if (!PandocStyle(item.style) ||
        !obwalk::MarkerNumber(text.units, text.end, item.style, number, &start, &end))
        return false;
    if (end < text.end &&
        (end + 1 < text.end || (text.units[end] != '.' && text.units[end] != ')')))
        return false;
    if (start == 1 && text.units[0] == '(') return end < text.end && text.units[end] == ')';
    for (long long i = 0; i < start; ++i)
        if (!Plain(text.units[i])) return false;
    return true;
}

// The lists that end before the paragraph, and the one it opens or the
// item it starts: BulletList and OrderedList, each item a list of blocks.
void OBPandocConversion::ListBlocks(const OBWalkListItem& item, Value* marker) {
    Block& block = Top();
    obwalk::ListNesting& lists = block.lists;
    const obwalk::ListNesting::Step step = lists.Next(item);
    if (step.close == 0 && !step.open && !step.item) return;
    CloseStyleDiv(); // a style's Div holds no list, and lies in one item
    if (step.close > 0) CloseTo(block.listFrames[lists.Depth() - step.close]);
    lists.Take(step, item);
    if (step.item) CloseTo(block.listFrames[lists.Depth() - 1] + 1);
    if (step.open) {
        block.listFrames[lists.Depth() - 1] = frames_.Count();
        Utf8Text& open = scratch_;
        open.Clear();
        if (item.kind == OBWALK::kBulleted) {
            open.Append("{\"t\":\"BulletList\",\"c\":[");
            Open(kBlockFrame, open, "]}");
        } else {
            open.Append("{\"t\":\"OrderedList\",\"c\":[[");
            open.AppendNumber(item.number);
            open.Append(',');
            NumberStyle(item, marker, open);
            open.Append("],[");
            Open(kBlockFrame, open, "]]}");
        }
    }
    if (!step.open && !step.item) return;
    scratch_.Clear();
    scratch_.Append('[');
    Open(kBlockFrame, scratch_, "]");
}

// The marker's text as the paragraph's first inlines, its separator as a Space.
void OBPandocConversion::ListMarker(Value* marker) {
    const obwalk::MarkerText m(marker);
    if (m.length == 0) return;
    EnsureParagraph();
    Str(m.units, m.end);
    const unsigned short space = ' ';
    if (m.end < m.length) Str(&space, 1);
}
