// UTF-16 surrogate pairs: the one place that combines and splits them.
#ifndef OMBRA_UTF16_H
#define OMBRA_UTF16_H

namespace OBUTF16 {

constexpr bool IsHighSurrogate(unsigned unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
constexpr bool IsLowSurrogate(unsigned unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}
constexpr bool IsSurrogate(unsigned unit) {
    return unit >= 0xD800 && unit <= 0xDFFF;
}
/// The code point of a high surrogate followed by a low one.
constexpr unsigned Combine(unsigned high, unsigned low) {
    return 0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00);
}
/// The code point at units[i] of n units, and how many units it takes (2 for
/// a surrogate pair; an unpaired surrogate is a code point of its own).
constexpr unsigned CodePointAt(const unsigned short* units, long long n, long long i, int& length) {
    if (IsHighSurrogate(units[i]) && i + 1 < n && IsLowSurrogate(units[i + 1])) {
        length = 2;
        return Combine(units[i], units[i + 1]);
    }
    length = 1;
    return units[i];
}
/// Writes code point cp (at most 0x10FFFF) as one unit, or as a surrogate
/// pair beyond the basic plane; returns how many units.
constexpr int Split(unsigned cp, unsigned short out[2]) {
    if (cp < 0x10000) {
        out[0] = static_cast<unsigned short>(cp);
        return 1;
    }
    out[0] = static_cast<unsigned short>(0xD800 + ((cp - 0x10000) >> 10));
    out[1] = static_cast<unsigned short>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    return 2;
}

} // namespace OBUTF16

#endif
