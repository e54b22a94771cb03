// Bulleted and numbered paragraphs: the mapper makes each marker from the
// paragraph's attributes (its own, then its style's chain), as
// ReaderLists.h gives it. Numbers count per numbering list and level, in
// reading order: per story, or across stories for lists that go on across
// them.
#include "IdmlMapperInternal.h"
#include "IdmlParser.h"
#include "IdmlXml.h"
#include "ListNumbers.h"
#include "Utf8Put.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace idml {
namespace mapping {

namespace {

struct Numbering {
    PNSE::PageNumberingStyleEnum style;
    int width;
};

constexpr Numbering kNumberings[] = {
#define IDML_NUMBERING(Style, Width) {PNSE::Style, Width},
#include "IdmlLists.def"
};

struct Meta {
    char name;
    char32_t code;
};

constexpr Meta kMetas[] = {
#define IDML_META(Char, CodePoint) {Char, CodePoint},
#include "IdmlLists.def"
};

constexpr char32_t kBullet = 0x2022;
constexpr int kLevels = obreader::ListCounter::kLevels;
/// Bytes of a marker: a style's long expression on many paragraphs would
/// otherwise make output out of all proportion to the input.
constexpr std::size_t kLongestMarker = 256;

// The format whose first number the text starts with, up to a comma (an
// ideographic or full-width one too) or a space.
std::uint8_t FormatOf(const std::string* text) {
    if (!text) return 0;
    std::size_t end = text->size();
    for (const char* stop : {",", " ", "\u3001", "\uFF0C", "\u060C"})
        end = std::min(end, text->find(stop));
    const std::string first = text->substr(0, end);
    static const auto kFirsts = [] {
        std::array<std::string, std::size(kNumberings)> firsts;
        for (std::size_t i = 0; i < firsts.size(); ++i)
            oblist::AppendNumber(firsts[i], 1, kNumberings[i].style, kNumberings[i].width);
        return firsts;
    }();
    for (std::size_t i = 0; i < kFirsts.size(); ++i)
        if (first == kFirsts[i]) return static_cast<std::uint8_t>(i);
    return 0; // Arabic
}

void PutNumber(std::string& out, long long n, std::uint8_t format) {
    const Numbering& f = kNumberings[format < std::size(kNumberings) ? format : 0];
    oblist::AppendNumber(out, n, f.style, f.width);
}

/// The text with its metacharacters replaced, unknown ones left out. With
/// counters (numbering expressions) ^# is the number at level and ^1 to
/// ^9 those at each level; without (the text after a bullet) ^8 is a bullet.
std::string Expand(const std::string& text, const ListCounters* counters, int level) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (out.size() >= kLongestMarker && (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80)
            break; // at a character's first byte
        if (text[i] != '^') {
            out += text[i];
            continue;
        }
        if (++i >= text.size()) break;
        const char c = text[i];
        if (counters && (c == '#' || (c >= '1' && c <= '9'))) {
            const int at = c == '#' ? level : c - '0';
            const obreader::ListCounter& n = counters->numbers;
            PutNumber(out, n.seen[at] ? n.value[at] : 1, counters->format[at]);
            continue;
        }
        for (const Meta& m : kMetas)
            if (m.name == c) {
                obutf8::Append(out, m.code);
                break;
            }
    }
    return out;
}

int IntOr(const std::string* text, int fallback, int low, int high) {
    double v = 0;
    if (!text || !ParseNumber(*text, v) || !std::isfinite(v)) return fallback;
    return v < low ? low : v > high ? high : static_cast<int>(v);
}

bool BoolOr(const std::string* text, bool fallback) {
    bool v = fallback;
    return text && ParseBool(*text, v) ? v : fallback;
}

} // namespace

ListMark Mapper::ListMarkOf(const ParaSegment& seg, Lists& storyLists) {
    const AttrSet& style = Resolved(true, seg.style ? seg.style : &defaultParagraphStyle_);
    auto find = [&](Attr a) -> const std::string* {
        const std::string* own = seg.local ? seg.local->Find(a) : nullptr;
        return own ? own : style.Find(a);
    };
    const std::string* type = find(Attr::kBulletsAndNumberingListType);
    ListMark mark;
    if (!type || (*type != "BulletList" && *type != "NumberedList")) return mark;
    mark.listed = true;
    const int level = mark.level = IntOr(find(Attr::kNumberingLevel), 1, 1, kLevels);
    std::string& marker = mark.marker;
    if (*type == "BulletList") {
        const std::string* kind = find(Attr::kBulletCharacterType);
        int code = IntOr(find(Attr::kBulletCharacterValue), kBullet, 0, 0x10FFFF);
        if ((kind && *kind == "GlyphWithFont") || code < 0x20 || (code >= 0xD800 && code < 0xE000))
            code = kBullet; // a glyph has no character of its own
        obutf8::Append(marker, static_cast<char32_t>(code));
        const std::string* after = find(Attr::kBulletsTextAfter);
        marker += Expand(after ? *after : "^t", nullptr, level);
    } else {
        const std::string* ref = find(Attr::kAppliedNumberingList);
        const std::string list = ref && !xml::Ref(ref->c_str()).empty()
                                     ? *ref
                                     : std::string("NumberingList/$ID/[Default]");
        auto across = doc_.acrossStories.find(list);
        ListCounters& c = across != doc_.acrossStories.end() && across->second
                              ? acrossStories_[list]
                              : storyLists[list];
        const int start = IntOr(find(Attr::kNumberingStartAt), 1, -1000000, 1000000);
        c.numbers.Next(level, start, !BoolOr(find(Attr::kNumberingContinue), true));
        c.format[level] = FormatOf(find(Attr::kNumberingFormat));
        if (BoolOr(find(Attr::kNumberingApplyRestartPolicy), true)) c.numbers.RestartBelow(level);
        const std::string* expression = find(Attr::kNumberingExpression);
        marker = Expand(expression ? *expression : "^#.^t", &c, level);
        mark.shown = kNumberings[c.format[level]].style;
    }
    return mark;
}

void Mapper::NumberCells(const Story& s, std::size_t& next, std::uint32_t to, Lists& storyLists,
                         int depth) {
    for (; next < s.markers.size() && s.markers[next].position < to; ++next) {
        const Marker& m = s.markers[next];
        // A cell's story is two levels below its holder (table, then cell),
        // and is built only within kMaxItemDepth.
        const int cellDepth = depth + 2;
        if (m.kind != Marker::Kind::kTable || cellDepth > kMaxItemDepth || m.index < 0 ||
            static_cast<std::size_t>(m.index) >= doc_.tables.size())
            continue; // TableOf and ChildStory say what is wrong
        for (const Cell* c : CellsOf(doc_.tables[static_cast<std::size_t>(m.index)]).cells) {
            if (c->story < 0 || static_cast<std::size_t>(c->story) >= doc_.stories.size()) continue;
            const Story& cell = doc_.stories[static_cast<std::size_t>(c->story)];
            std::vector<ListMark>& marks = cellMarks_[c->story];
            marks.clear();
            std::size_t segment = 0, inner = 0;
            for (const auto& para : ParagraphRanges(cell.text)) {
                segment = SegmentAt(cell, segment, para.first);
                if (segment >= cell.paragraphs.size()) break;
                marks.push_back(ListMarkOf(cell.paragraphs[segment], storyLists));
                NumberCells(cell, inner, para.second, storyLists, cellDepth);
            }
        }
    }
}

} // namespace mapping
} // namespace idml
