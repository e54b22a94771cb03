#include "ReaderLists.h"

#include <ListNumbers.h>

#include <ombra/elements.h>
#include <ombra/valueutil.h>

namespace obreader {

long long ListCounter::Next(int level, long long start, bool restart) {
    if (restart || !seen[level])
        value[level] = start;
    else if (value[level] < oblist::kMostNumber)
        ++value[level];
    seen[level] = true;
    return value[level];
}

void ListCounter::RestartBelow(int level) {
    for (int deeper = level + 1; deeper <= kLevels; ++deeper)
        seen[deeper] = false;
}

void AddListMarker(ElementBuilder& b, Element* run, const std::string& marker, int level,
                   PNSE::PageNumberingStyleEnum kind) {
    // The kind of list, for writers that write lists as lists.
    Element* attrs = run->GetChild(EL::kParagraphAttributes);
    if (!attrs) attrs = b.Child(run, EL::kParagraphAttributes);
    if (attrs) b.Enum(attrs, AN::kNumberingType, &ValueUtil::CreateValuePNSEnum, kind);
    Element* bn = b.Child(run, EL::kBN);
    if (!bn) return;
    b.Utf8(bn, AN::kBNString, marker);
    b.Int(bn, AN::kLevelNumber, level);
}

} // namespace obreader
