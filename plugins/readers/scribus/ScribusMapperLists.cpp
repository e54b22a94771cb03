// Bulleted and numbered paragraphs (1.5 on). Scribus makes each marker at
// layout and keeps it out of the text: the mapper makes it from the
// paragraph's list attributes (its own, then its style's chain), as
// ReaderLists.h gives it. Numbers count per numbering and level in reading
// order: across the document, or per story where the numbering starts
// again with each story; the "<local block>" numbering starts again after
// each paragraph outside it.
#include "ScribusMapperInternal.h"

#include <ListNumbers.h>
#include <ReaderLists.h>

#include <iterator>

namespace scribus_mapper {

namespace {

const char kLocalBlock[] = "<local block>";

// The numbering formats by Scribus's number: Arabic and Arabic-Indic
// digits, Roman numerals, letters, the Arabic alphabet and Abjad, CJK and
// Hebrew numerals. Asterisks are written in Arabic digits.
constexpr PNSE::PageNumberingStyleEnum kFormats[] = {
    PNSE::kArabic,     PNSE::kArabicIndic, PNSE::kLowerRoman,     PNSE::kUpperRoman,
    PNSE::kLowerAlpha, PNSE::kUpperAlpha,  PNSE::kArabicAlphabet, PNSE::kArabicAbjad,
    PNSE::kArabic,     PNSE::kKanji,       PNSE::kHebrew};

PNSE::PageNumberingStyleEnum StyleOf(const std::optional<int>& format) {
    const int f = format ? *format : 0;
    return f >= 0 && f < static_cast<int>(std::size(kFormats)) ? kFormats[f] : PNSE::kArabic;
}

bool Set(const std::optional<bool>& flag) {
    return flag && *flag;
}

bool UsesLists(const ParagraphAttributes& a) {
    return Set(a.list.bullet) || Set(a.list.numbered);
}

} // namespace

bool Mapper::AnyLists() const {
    for (const ParagraphStyle& s : doc_.paragraphStyles)
        if (UsesLists(s.attributes)) return true;
    for (const ParagraphFormat& f : doc_.paragraphFormats)
        if (UsesLists(f.local)) return true;
    return false;
}

ListAttributes Mapper::ResolvedList(const ListAttributes& local, const std::string& style) const {
    ListAttributes out = local;
    FollowParagraphStyles(style, [&](const ParagraphStyle& s) {
        Fill(out, s.attributes.list);
        return s.basedOn;
    });
    return out;
}

void Mapper::ListMarker(Element* run, const ListAttributes& list, ListCounters& story) {
    const bool numbered = Set(list.numbered);
    const std::string name = list.numbering ? *list.numbering : std::string("default");
    if (!numbered || name != kLocalBlock) story.erase(kLocalBlock);
    if (!numbered && !Set(list.bullet)) return;
    const int level = list.level ? *list.level + 1 : 1; // Scribus counts from 0
    std::string marker;
    PNSE::PageNumberingStyleEnum kind = PNSE::kBullet;
    if (numbered) {
        const bool perStory = name == kLocalBlock || (list.restart && *list.restart != 0);
        obreader::ListCounter& c = perStory ? story[name] : documentCounters_[name];
        const long long number = c.Next(level, list.start ? *list.start : 1);
        c.RestartBelow(level);
        kind = StyleOf(list.format);
        marker = list.prefix ? *list.prefix : std::string();
        oblist::AppendNumber(marker, number, kind);
        if (list.suffix) marker += *list.suffix;
    } else {
        marker = list.bulletText && !list.bulletText->empty() ? *list.bulletText : "\u2022";
    }
    obreader::AddListMarker(b_, run, marker + '\t', level, kind);
}

} // namespace scribus_mapper
