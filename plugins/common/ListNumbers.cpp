#include "ListNumbers.h"
#include "Utf8Put.h"

#include <ombra/values.h>

#include <algorithm>
#include <string_view>

namespace oblist {

namespace {

enum System { kDigits, kLetters, kRoman, kFixed, kKanji, kHebrewNumerals };

struct Numbers {
    int style;
    System system;
    std::u16string_view symbols;
};

constexpr Numbers kNumbers[] = {
#define OB_LIST_NUMBERS(Style, System, Symbols) {PNSE::Style, System, Symbols},
#include "ListNumbers.def"
};

// Styles without symbols of their own write Arabic digits, the first row.
const Numbers& NumbersOf(int style) {
    for (const Numbers& n : kNumbers)
        if (n.style == style) return n;
    return kNumbers[0];
}

const Numbers& kArabicDigits = kNumbers[0];

constexpr int kRomanValues[] = {1, 5, 10, 50, 100, 500, 1000};
constexpr long long kTen[] = {1, 10, 100, 1000};
// The kKanji symbols past the digits: 十 百 千 (places), then 万 億 兆.
constexpr int kPlaces = 9, kGroups = 12;
constexpr long long kGroupValues[] = {1, 10000, 100000000, 1000000000000};

int IndexOf(unsigned short u, const Numbers& numbers) {
    const std::size_t at = numbers.symbols.find(static_cast<char16_t>(u));
    if (at != std::u16string_view::npos) return static_cast<int>(at);
    if (numbers.system == kDigits) // either kind of digit
        return u >= '0' && u <= '9' ? u - '0' : u >= 0xFF10 && u <= 0xFF19 ? u - 0xFF10 : -1;
    return -1;
}

void Put(std::string& out, char16_t symbol) {
    obutf8::Append(out, symbol);
}

void AppendDigits(std::string& out, long long n, std::u16string_view digits, int width) {
    unsigned long long u = static_cast<unsigned long long>(n);
    if (n < 0) {
        out += '-';
        u = 0 - u;
        width = 0;
    }
    char16_t written[24];
    int k = 0;
    do {
        written[k++] = digits[u % 10];
        u /= 10;
    } while (u);
    for (int pad = k; pad < width; ++pad)
        Put(out, digits[0]);
    while (k > 0)
        Put(out, written[--k]);
}

void AppendLetters(std::string& out, long long n, std::u16string_view letters) {
    const long long base = static_cast<long long>(letters.size());
    char16_t written[64];
    int k = 0;
    for (; n > 0; n = (n - 1) / base)
        written[k++] = letters[static_cast<std::size_t>((n - 1) % base)];
    while (k > 0)
        Put(out, written[--k]);
}

void AppendRoman(std::string& out, long long n, std::u16string_view numerals) {
    static const struct {
        int value;
        const char* symbols; // indices into I V X L C D M
    } kSteps[] = {{1000, "6"}, {900, "46"}, {500, "5"}, {400, "45"}, {100, "4"},
                  {90, "24"},  {50, "3"},   {40, "23"}, {10, "2"},   {9, "02"},
                  {5, "1"},    {4, "01"},   {1, "0"}};
    for (const auto& step : kSteps)
        for (; n >= step.value; n -= step.value)
            for (const char* s = step.symbols; *s; ++s)
                Put(out, numerals[static_cast<std::size_t>(*s - '0')]);
}

void AppendKanji(std::string& out, long long n, std::u16string_view s) {
    if (n == 0) Put(out, s[0]);
    for (int group = 3; group >= 0; --group) {
        const long long part = n / kGroupValues[group] % 10000;
        if (part == 0) continue;
        for (int place = 3; place >= 0; --place) {
            const int digit = static_cast<int>(part / kTen[place] % 10);
            if (digit == 0) continue;
            if (digit != 1 || place == 0) Put(out, s[static_cast<std::size_t>(digit)]);
            const int unit = kPlaces + place;
            if (place > 0) Put(out, s[static_cast<std::size_t>(unit)]);
        }
        const int groupUnit = kGroups + group;
        if (group > 0) Put(out, s[static_cast<std::size_t>(groupUnit)]);
    }
}

// kHebrewNumerals: the letters are 1 to 9, 10 to 90 and 100 to 400, nine
// to a power of ten; the geresh after them.
constexpr std::size_t kGeresh = 22;

long long HebrewValue(int k) {
    return (k % 9 + 1) * kTen[k / 9];
}

void AppendHebrew(std::string& out, long long n, std::u16string_view s) {
    if (n >= 1000) {
        AppendHebrew(out, n / 1000, s);
        Put(out, s[kGeresh]);
        n %= 1000;
    }
    long long hundreds = n / 100;
    for (; hundreds > 4; hundreds -= 4)
        Put(out, s[21]);
    if (hundreds > 0) Put(out, s[static_cast<std::size_t>(17 + hundreds)]);
    const long long tens = n / 10 % 10, ones = n % 10;
    if (tens == 1 && (ones == 5 || ones == 6)) { // not spelt as a name of God
        Put(out, s[8]);
        Put(out, s[static_cast<std::size_t>(ones)]);
        return;
    }
    if (tens > 0) Put(out, s[static_cast<std::size_t>(8 + tens)]);
    if (ones > 0) Put(out, s[static_cast<std::size_t>(ones - 1)]);
}

bool InRange(long long n, const Numbers& numbers) {
    switch (numbers.system) {
    case kLetters:
    case kHebrewNumerals:
        return n > 0;
    case kRoman:
        return n > 0 && n < 4000;
    case kFixed:
        return n > 0 && n <= static_cast<long long>(numbers.symbols.size());
    case kKanji:
        return n >= 0 && n < 10000 * kGroupValues[3];
    default:
        return true;
    }
}

// 十 百 千 count one more of the digit before them (one without), 万 億 兆
// all that comes before them within their group.
long long KanjiValue(const unsigned short* s, long long n, const Numbers& numbers) {
    long long value = 0, group = 0, digit = -1;
    for (long long i = 0; i < n && value < kMostNumber; ++i) {
        const int k = IndexOf(s[i], numbers);
        if (k < 0) break;
        if (k < kPlaces + 1) {
            digit = digit < 0 ? k : digit * 10 + k;
        } else if (k <= kGroups) {
            group += (digit < 0 ? 1 : digit) * kTen[k - kPlaces];
            digit = -1;
        } else {
            group += digit < 0 ? 0 : digit;
            const long long times = group == 0 ? 1 : group, unit = kGroupValues[k - kGroups];
            value = times > kMostNumber / unit ? kMostNumber : value + times * unit;
            group = 0;
            digit = -1;
        }
        digit = std::min(digit, kMostNumber); // no overflow, however long the text
        group = std::min(group, kMostNumber);
    }
    return value + group + (digit < 0 ? 0 : digit);
}

} // namespace

void AppendNumber(std::string& utf8, long long n, int style, int width) {
    const Numbers& numbers = NumbersOf(style);
    if (!InRange(n, numbers)) {
        AppendDigits(utf8, n, kArabicDigits.symbols, width);
        return;
    }
    switch (numbers.system) {
    case kLetters:
        AppendLetters(utf8, n, numbers.symbols);
        break;
    case kRoman:
        AppendRoman(utf8, n, numbers.symbols);
        break;
    case kFixed:
        Put(utf8, numbers.symbols[static_cast<std::size_t>(n - 1)]);
        break;
    case kKanji:
        AppendKanji(utf8, n, numbers.symbols);
        break;
    case kHebrewNumerals:
        AppendHebrew(utf8, n, numbers.symbols);
        break;
    default:
        AppendDigits(utf8, n, numbers.symbols, width);
    }
}

bool IsSymbol(unsigned short u, int style) {
    return IndexOf(u, NumbersOf(style)) >= 0;
}

long long ValueOf(const unsigned short* s, long long n, int style) {
    const Numbers& numbers = NumbersOf(style);
    const long long base = static_cast<long long>(numbers.symbols.size());
    long long v = numbers.system == kKanji ? KanjiValue(s, n, numbers) : 0;
    for (long long i = 0; numbers.system != kKanji && i < n && v < kMostNumber; ++i) {
        const int k = IndexOf(s[i], numbers);
        if (k < 0) break;
        if (numbers.system == kRoman) {
            const int next = i + 1 < n ? IndexOf(s[i + 1], numbers) : -1;
            v += next > k ? -kRomanValues[k] : kRomanValues[k];
        } else if (numbers.system == kLetters) {
            v = v * base + k + 1;
        } else if (numbers.system == kFixed) {
            v = k + 1; // each symbol a number of its own: the last one counts
        } else if (numbers.system == kHebrewNumerals) {
            v = static_cast<std::size_t>(k) == kGeresh ? v * 1000 : v + HebrewValue(k);
        } else {
            v = v * 10 + k;
        }
    }
    return v < 1 ? 1 : v > kMostNumber ? kMostNumber : v;
}

} // namespace oblist
