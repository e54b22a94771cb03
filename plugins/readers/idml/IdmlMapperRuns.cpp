// The Japanese runs of a story: ruby (group and per character), kenten,
// warichu and tate-chu-yoko (explicit and automatic), from the formatting
// that applies to each character range (see IdmlMapperInternal.h).
#include "IdmlMapperInternal.h"
#include "IdmlXml.h"

#include <ombra/messages.h>

#include <ombra/valueutil.h>

#include <algorithm>

namespace idml {
namespace mapping {

/// The formatting of a range, nearest first: its own, its character
/// style's, its paragraph's, its paragraph style's.
struct Mapper::Sources {
    const AttrSet* sets[4] = {nullptr, nullptr, nullptr, nullptr};
    const std::string* Find(Attr a) const {
        for (const AttrSet* s : sets)
            if (s)
                if (const std::string* v = s->Find(a)) return v;
        return nullptr;
    }
    bool On(Attr a) const {
        bool flag = false;
        const std::string* v = Find(a);
        return v && ParseBool(*v, flag) && flag;
    }
    AttrSet Merged() const {
        AttrSet out;
        for (const AttrSet* s : sets)
            if (s) out.FillFrom(*s);
        return out;
    }
};

Mapper::Sources Mapper::SourcesOf(const Story& s, const CharRun* run, int segment) {
    Sources src;
    const ParaSegment& seg = s.paragraphs[static_cast<std::size_t>(segment)];
    if (run) {
        src.sets[0] = run->local;
        src.sets[1] = &Resolved(false, run->style);
    }
    src.sets[2] = seg.local;
    src.sets[3] = seg.style ? &Resolved(true, seg.style) : nullptr;
    if (!seg.style && !defaultParagraphStyle_.empty())
        src.sets[3] = &Resolved(true, &defaultParagraphStyle_);
    return src;
}

namespace {

struct Group {
    std::uint32_t start = 0, end = 0;
    std::string key;
    AttrSet set;
    bool open = false;
};

// The code points of [start, end).
std::size_t Characters(const std::u16string& text, std::uint32_t start, std::uint32_t end) {
    std::size_t n = 0;
    for (std::uint32_t i = start; i < end; ++i)
        if (text[i] < 0xDC00 || text[i] > 0xDFFF) ++n;
    return n;
}

// The readings of per-character ruby: parts separated by spaces.
std::vector<std::u16string> Readings(const std::u16string& reading) {
    std::vector<std::u16string> parts(1);
    for (char16_t c : reading) {
        if (c == u' ' || c == 0x3000) {
            if (!parts.back().empty()) parts.emplace_back();
        } else {
            parts.back().push_back(c);
        }
    }
    if (parts.back().empty()) parts.pop_back();
    return parts;
}

// Whether [start, end) holds only paragraph ends, which no mark or reading
// can cover.
bool OnlyParagraphEnds(const std::u16string& text, std::uint32_t start, std::uint32_t end) {
    for (std::uint32_t i = start; i < end; ++i)
        if (text[i] != 0x2029 && text[i] != 0x000C) return false;
    return true;
}

} // namespace

void Mapper::Ruby(obreader::StoryLists& lists, const Story& s, std::uint32_t start,
                  std::uint32_t end, const AttrSet& set) {
    std::u16string reading;
    bool invalid = false;
    if (const std::string* text = set.Find(Attr::kRubyString))
        xml::AppendUtf8(text->c_str(), reading, invalid);
    if (invalid) b_.Report(OBERR::kMalformedInput);
    const std::string* type = set.Find(Attr::kRubyType);
    bool perCharacter = type && *type == "PerCharacterRuby";
    std::vector<std::u16string> parts = Readings(reading);
    // Per-character ruby gives each base character its own reading when
    // there is one reading for each; otherwise it stands for the group.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> ranges;
    if (perCharacter && parts.size() > 1 && parts.size() == Characters(s.text, start, end))
        for (std::uint32_t i = start; i < end;) {
            std::uint32_t w = (s.text[i] >= 0xD800 && s.text[i] <= 0xDBFF && i + 1 < end) ? 2 : 1;
            ranges.emplace_back(i, i + w);
            i += w;
        }
    else
        ranges.emplace_back(start, end), parts.assign(1, reading);
    for (std::size_t k = 0; k < ranges.size(); ++k) {
        Element* run = lists.Run(EL::kRubiRunList, EL::kRubiRun, ranges[k].first, ranges[k].second);
        if (!run) continue;
        b_.Text(run, AN::kRubiText, parts[k].data(), parts[k].size());
        WriteAttributes(b_, run, set, Where::kRubi, *this);
        Element* attrs = b_.Child(run, EL::kRubiAttributes);
        WriteAttributes(b_, attrs, set, Where::kRubiAttr, *this);
        if (!type) b_.Enum(attrs, AN::kType, &ValueUtil::CreateValueRubyTypeEnum, RTE::kGroup);
    }
}

void Mapper::Kenten(obreader::StoryLists& lists, std::uint32_t start, std::uint32_t end,
                    const AttrSet& set) {
    Element* run = lists.Run(EL::kKentenRunList, EL::kKentenRun, start, end);
    if (!run) return;
    const std::string* kind = set.Find(Attr::kKentenKind);
    int member = kind ? EnumMember(Keywords::kKentenKind, *kind) : -1;
    if (member > 0)
        b_.Enum(run, AN::kKentenKind, &ValueUtil::CreateValueKentenKindEnum,
                static_cast<KKE::KentenKindEnum>(member));
    WriteAttributes(b_, run, set, Where::kKenten, *this);
    if (set.HasAny(Where::kKentenAttr))
        WriteAttributes(b_, b_.Child(run, EL::kKentenAttributes), set, Where::kKentenAttr, *this);
}

// Tate-chu-yoko: the ranges that ask for it, and in vertical stories the
// short runs of half-width digits (and letters, when asked) that a
// paragraph's automatic setting turns.
void Mapper::Tcy(obreader::StoryLists& lists, const Story& s, const Ranges& paragraphs,
                 const std::vector<int>& paragraphOf, Ranges& ranges, std::vector<AttrSet>& sets) {
    const Ranges explicitRanges = ranges; // in text order
    auto isDigit = [](char16_t c) { return c >= u'0' && c <= u'9'; };
    auto isRoman = [](char16_t c) { return (c | 0x20) >= u'a' && (c | 0x20) <= u'z'; };
    std::size_t taken = 0;
    for (std::size_t p = 0; s.vertical && p < paragraphs.size() && p < paragraphOf.size(); ++p) {
        Sources src = SourcesOf(s, nullptr, paragraphOf[p]);
        double limit = 0;
        const std::string* n = src.Find(Attr::kAutoTcy);
        bool roman = src.On(Attr::kAutoTcyIncludeRoman);
        if (!n || !ParseNumber(*n, limit) || limit < 1) continue;
        for (std::uint32_t k = paragraphs[p].first, end = paragraphs[p].second; k < end;) {
            std::uint32_t e = k;
            while (e < end && (isDigit(s.text[e]) || (roman && isRoman(s.text[e]))))
                ++e;
            while (taken < explicitRanges.size() && explicitRanges[taken].second <= k)
                ++taken;
            bool overlaps = taken < explicitRanges.size() && explicitRanges[taken].first < e;
            if (e > k && e - k <= limit && !overlaps) {
                ranges.emplace_back(k, e);
                sets.emplace_back();
            }
            k = e > k ? e : k + 1;
        }
    }
    std::vector<std::size_t> order(ranges.size());
    for (std::size_t k = 0; k < order.size(); ++k)
        order[k] = k;
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return ranges[a].first < ranges[b].first;
    });
    for (std::size_t k : order) {
        Element* run = lists.Run(EL::kTCYRunList, EL::kTCYRun, ranges[k].first, ranges[k].second);
        const AttrSet& set = sets[k];
        const std::string* x = set.Find(Attr::kTatechuyokoXOffset);
        const std::string* y = set.Find(Attr::kTatechuyokoYOffset);
        double v = 0;
        if (!run || (!x && !y)) continue;
        Element* attrs = b_.Child(run, EL::kTCYAttributes);
        if (x && ParseNumber(*x, v)) b_.Length(attrs, AN::kXOffset, v);
        if (y && ParseNumber(*y, v)) b_.Length(attrs, AN::kYOffset, v);
    }
}

void Mapper::JapaneseRuns(obreader::StoryLists& lists, const Story& s, const Ranges& paragraphs,
                          const std::vector<int>& paragraphOf) {
    enum { kRuby, kKenten, kWarichu, kTcy, kKinds };
    Group groups[kKinds];
    Ranges tcy;
    std::vector<AttrSet> tcySets;
    auto flush = [&](int kind) {
        Group& g = groups[kind];
        if (!g.open) return;
        g.open = false;
        if (OnlyParagraphEnds(s.text, g.start, g.end)) return;
        if (kind == kRuby) Ruby(lists, s, g.start, g.end, g.set);
        if (kind == kKenten) Kenten(lists, g.start, g.end, g.set);
        if (kind == kWarichu) {
            Element* run = lists.Run(EL::kWarichuRunList, EL::kWarichuRun, g.start, g.end);
            Element* attrs = b_.Child(run, EL::kWarichuAttributes);
            WriteAttributes(b_, attrs, g.set, Where::kWarichuAttr, *this);
            double size = 0;
            if (const std::string* v = g.set.Find(Attr::kWarichuSize))
                if (ParseNumber(*v, size)) b_.Percent(attrs, AN::kSize, size / 100.0);
        }
        if (kind == kTcy) {
            tcy.emplace_back(g.start, g.end);
            tcySets.push_back(std::move(g.set));
        }
    };
    std::size_t para = 0;
    for (const CharRun& run : s.runs) {
        while (para + 1 < paragraphs.size() && paragraphs[para].second <= run.start)
            ++para;
        Sources src = SourcesOf(s, &run, para < paragraphOf.size() ? paragraphOf[para] : 0);
        std::string keys[kKinds];
        const std::string* reading = src.Find(Attr::kRubyString);
        if (src.On(Attr::kRubyFlag) && reading && !reading->empty()) {
            const std::string* type = src.Find(Attr::kRubyType);
            keys[kRuby] = *reading + '\n' + (type ? *type : std::string());
        }
        const std::string* kind = src.Find(Attr::kKentenKind);
        if (kind && *kind != "None") {
            const std::string* custom = src.Find(Attr::kKentenCustomCharacter);
            keys[kKenten] = *kind + '\n' + (custom ? *custom : std::string());
        }
        if (src.On(Attr::kWarichu)) keys[kWarichu] = "1";
        if (src.On(Attr::kTatechuyoko)) keys[kTcy] = "1";
        for (int k = 0; k < kKinds; ++k) {
            Group& g = groups[k];
            if (g.open && (keys[k] != g.key || g.end != run.start)) flush(k);
            if (keys[k].empty()) continue;
            if (g.open) {
                g.end = run.end;
                continue;
            }
            g.open = true;
            g.start = run.start;
            g.end = run.end;
            g.key = keys[k];
            g.set = src.Merged();
        }
    }
    for (int k = 0; k < kKinds; ++k)
        flush(k);
    if (!tcy.empty() || s.vertical) Tcy(lists, s, paragraphs, paragraphOf, tcy, tcySets);
}

} // namespace mapping
} // namespace idml
