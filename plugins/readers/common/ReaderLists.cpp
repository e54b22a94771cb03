#include "ReaderLists.h"

#include <ombra/elements.h>
#include <ombra/valueutil.h>

namespace obreader {

namespace {

void AppendRoman(std::string& out, long long n, bool upper) {
    static const struct {
        int value;
        const char* digits;
    } kRoman[] = {{1000, "m"}, {900, "cm"}, {500, "d"}, {400, "cd"}, {100, "c"},
                  {90, "xc"},  {50, "l"},   {40, "xl"}, {10, "x"},   {9, "ix"},
                  {5, "v"},    {4, "iv"},   {1, "i"}};
    for (const auto& r : kRoman)
        for (; n >= r.value; n -= r.value)
            for (const char* d = r.digits; *d; ++d)
                out += upper ? static_cast<char>(*d - 'a' + 'A') : *d;
}

} // namespace

void AppendListNumber(std::string& out, long long n, PNSE::PageNumberingStyleEnum style,
                      int width) {
    const bool upper = style == PNSE::kUpperAlpha || style == PNSE::kUpperRoman;
    if ((style == PNSE::kUpperRoman || style == PNSE::kLowerRoman) && n > 0 && n < 4000) {
        AppendRoman(out, n, upper);
        return;
    }
    if ((style == PNSE::kUpperAlpha || style == PNSE::kLowerAlpha) && n > 0) {
        char letters[16]; // base 26 without a zero
        int k = 0;
        for (; n > 0; n = (n - 1) / 26)
            letters[k++] = static_cast<char>((upper ? 'A' : 'a') + (n - 1) % 26);
        while (k > 0)
            out += letters[--k];
        return;
    }
    std::string digits = std::to_string(n);
    if (n >= 0 && static_cast<int>(digits.size()) < width)
        out.append(static_cast<std::size_t>(width) - digits.size(), '0');
    out += digits;
}

long long ListCounter::Next(int level, long long start, bool restart) {
    constexpr long long kLargest = 1000000000;
    if (restart || !seen[level])
        value[level] = start;
    else if (value[level] < kLargest)
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
