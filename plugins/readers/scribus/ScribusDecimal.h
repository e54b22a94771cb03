// The plain decimal readers, in line where numbers are read by the thousand
// (attribute values, outlines): a digit at a time, or a word (eight bytes)
// at a time where the text has padding after it.
#ifndef OMBRA_SCRIBUS_DECIMAL_H
#define OMBRA_SCRIBUS_DECIMAL_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace scribus {
namespace detail {

// Every power of ten up to 1e22 is an exact double.
inline constexpr double kDecimalPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                           1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                           1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// The powers of ten up to 1e8, as integers.
struct DecimalPowers {
    std::uint64_t of[9];
    constexpr DecimalPowers() : of() {
        std::uint64_t power = 1;
        for (std::uint64_t& p : of) {
            p = power;
            power *= 10;
        }
    }
};
inline constexpr DecimalPowers kDecimalPow10Int;

// Eight bytes of text, the first in the low byte, each less '0': digits
// are then 0 to 9.
inline std::uint64_t DigitWord(const char* p) {
    std::uint64_t x;
    std::memcpy(&x, p, sizeof x);
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    x = __builtin_bswap64(x);
#endif
    return x ^ 0x3030303030303030ull;
}

// The top bit of each byte of a DigitWord that is no digit. A carry leaves
// only a byte that is none (0x8A and up), so the first flagged byte is the
// first that is no digit.
inline std::uint64_t NonDigits(std::uint64_t u) {
    return ((u + 0x7676767676767676ull) | u) & 0x8080808080808080ull;
}

// The value of the eight digits of a word, the first in the low byte:
// byte pairs, then fours, then the eight are summed.
inline std::uint64_t EightDigits(std::uint64_t v) {
    v = v * 10 + (v >> 8);
    return (((v & 0x000000FF000000FFull) * (100 + (1000000ull << 32))) +
            (((v >> 16) & 0x000000FF000000FFull) * (1 + (10000ull << 32)))) >>
           32;
}

// The value of the first digits of a DigitWord, bits / 8 of them (one to
// eight): shifted to the top, they have leading zeros below and the rest
// pushed out.
inline std::uint64_t DigitsValue(std::uint64_t u, unsigned bits) {
    return EightDigits(u << (64 - bits));
}

// A decimal by the word, q after the sign: its end, with its digits
// followed by zeros to eight and the power of ten to divide them by (the
// same quotient of exact doubles as that of its digits alone); null for
// anything else. Up to seven characters, digits with at most one point
// among them and one at the start ("354.331", "0", "12."), as most in
// outlines are, are in one word: the first byte that is no digit ends the
// digits, and if it is a point, the next ends the number. kLong: digits
// after the point may go on past the word, up to 15 in all, as colour
// components' do ("5.88235294117647"). q is at most at the NUL of a text
// with kValuePadding readable bytes after it.
template <bool kLong>
inline __attribute__((always_inline)) const char* WordDecimal(const char* q, std::uint64_t& digits,
                                                              std::size_t& power) {
    const std::uint64_t u = DigitWord(q);
    const std::uint64_t m = NonDigits(u);
    if (!m) return nullptr; // eight digits or more
    // The bit offset of the byte that ends the first digits, and the bytes
    // before it.
    const unsigned stop = static_cast<unsigned>(__builtin_ctzll(m)) - 7;
    if (!stop) return nullptr; // no digit first
    const std::uint64_t before = (m ^ (m - 1)) >> 8;
    power = 8 - stop / 8;
    if ((u >> stop & 0xFF) != ('.' ^ '0')) {
        digits = EightDigits(u & before);
        return q + stop / 8;
    }
    const std::uint64_t rest = m & (m - 1); // what ends the digits after the point
    if (!rest) {
        if constexpr (!kLong) return nullptr;
        // Seven digits in the word, the point taken out, and up to eight
        // after it, which end before the NUL or at it: the byte after
        // them is readable.
        const std::uint64_t u2 = DigitWord(q + 8);
        const std::uint64_t m2 = NonDigits(u2);
        unsigned bits = 64;
        if (m2)
            bits = static_cast<unsigned>(__builtin_ctzll(m2)) - 7;
        else if (static_cast<unsigned>(static_cast<unsigned char>(q[16]) - '0') < 10)
            return nullptr; // more than 15 digits
        digits = DigitsValue((u & before) | (u >> 8 & ~before), 56);
        if (bits) digits = digits * kDecimalPow10Int.of[bits / 8] + DigitsValue(u2, bits);
        power = 7 - stop / 8 + bits / 8;
        return q + 8 + bits / 8;
    }
    const std::uint64_t kept = (rest ^ (rest - 1)) >> 16; // the digits, the point taken out
    digits = EightDigits((u & before) | (u >> 8 & kept & ~before));
    return q + ((static_cast<unsigned>(__builtin_ctzll(rest)) - 7) / 8);
}

// The quotient of exact doubles: correctly rounded.
inline double Quotient(std::uint64_t digits, std::size_t power, bool negative) {
    const double v = static_cast<double>(static_cast<std::int64_t>(digits)) / kDecimalPow10[power];
    return negative ? -v : v;
}

// Plain decimals ("-12.345") make up nearly all numbers in these files.
// With at most 15 significant digits both the digits and the power of ten
// are exact doubles, so one division gives the correctly rounded value.
// The text must end with a NUL (all texts here do), so the scan needs no
// bounds checks: a NUL is neither a digit nor a point. Null for anything
// else (no digits, more than 15, an exponent).
inline __attribute__((always_inline)) const char* ReadDecimal(const char* p, double& out) {
    const bool negative = *p == '-';
    const char* q = p + (negative || *p == '+');
    const char* const start = q;
    std::uint64_t digits = 0;
    unsigned d = static_cast<unsigned char>(*q) - unsigned('0');
    for (; d < 10; d = static_cast<unsigned char>(*++q) - unsigned('0'))
        digits = digits * 10 + d;
    std::size_t count = static_cast<std::size_t>(q - start);
    std::size_t fraction = 0;
    if (d == unsigned('.') - unsigned('0')) {
        // Counted from start, not from the point: the loop then keeps no
        // second pointer.
        const std::size_t whole = count;
        for (d = static_cast<unsigned char>(*++q) - unsigned('0'); d < 10;
             d = static_cast<unsigned char>(*++q) - unsigned('0'))
            digits = digits * 10 + d;
        count = static_cast<std::size_t>(q - start) - 1;
        fraction = count - whole;
    }
    if (count - 1 >= 15) return nullptr; // no digits, or too many
    // d is what follows less '0': an exponent, 'e' or 'E', is no plain
    // decimal; after a number 'i' and 'n' read the same either way.
    if ((d | 0x20) == unsigned('e') - unsigned('0')) return nullptr;
    out = Quotient(digits, fraction, negative);
    return q;
}

/// ReadDecimal of a decimal that WordDecimal reads (after a sign); null
/// for any other, which ReadDecimal then reads. The text has kValuePadding
/// readable bytes after its NUL.
template <bool kLong>
inline __attribute__((always_inline)) const char* ReadWordDecimal(const char* p, double& out) {
    const bool negative = *p == '-';
    std::uint64_t digits;
    std::size_t power;
    // At most at the NUL: 16 bytes after it are readable.
    const char* end = WordDecimal<kLong>(p + (negative || *p == '+'), digits, power);
    // An exponent, 'e' or 'E', makes it no plain decimal.
    if (!end || (static_cast<unsigned char>(*end) | 0x20) == 'e') return nullptr;
    out = Quotient(digits, power, negative);
    return end;
}

/// ReadWordDecimal for outlines: their numbers are short, and then below
/// 1e8 in size.
inline __attribute__((always_inline)) const char* ReadShortDecimal(const char* p, double& out) {
    return ReadWordDecimal<false>(p, out);
}

/// ReadDecimal of a text with kValuePadding readable bytes after its NUL,
/// with long fractions by the word (colour components).
inline __attribute__((always_inline)) const char* ReadDecimalLongFraction(const char* p,
                                                                          double& out) {
    if (const char* end = ReadWordDecimal<true>(p, out)) return end;
    return ReadDecimal(p, out);
}

#if defined(__SSE2__)
// For each count of bytes to sixteen: the low bytes of a word, none to
// all, set; and the divisor of an eight-digit word whose point follows
// them, positive and negative.
struct ShortTables {
    std::uint64_t low[17];
    double divisor[17][2];
    constexpr ShortTables() : low(), divisor() {
        for (unsigned n = 1; n < 17; ++n)
            low[n] = low[n - 1] << 8 | 0xFF;
        for (unsigned n = 0; n < 17; ++n) {
            divisor[n][0] = kDecimalPow10[n < 8 ? 8 - n : 0];
            divisor[n][1] = -divisor[n][0];
        }
    }
};
inline constexpr ShortTables kShortTables;

// A short decimal at q, after its sign, from its sixteen bytes less '0':
// false unless it is digits and at most one point, a digit first and eight
// characters at most. Gives its length, its word of digits (the point taken
// out, the digits first and zeros after, as WordDecimal has them) and what
// to divide their value by, negative when the number is.
struct ShortDecimal {
    std::size_t length;
    __m128i digits;
    __m128d divisor;

    inline __attribute__((always_inline)) bool Read(const char* q, std::size_t negative) {
        const __m128i text = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(q)),
                                           _mm_set1_epi8(0x30));
        // A flag a byte for each that is no digit, as NonDigits has them;
        // two past the sixteen stop the count, the point's taken out or not.
        std::uint64_t rest = static_cast<unsigned>(_mm_movemask_epi8(
                                 _mm_or_si128(_mm_add_epi8(text, _mm_set1_epi8(0x76)), text))) |
                             0x30000u;
        const std::size_t whole = static_cast<std::size_t>(__builtin_ctzll(rest));
        const std::size_t point = q[whole] == '.';
        rest &= rest - point; // past the point
        length = static_cast<std::size_t>(__builtin_ctzll(rest));
        const __m128i before =
            _mm_loadl_epi64(reinterpret_cast<const __m128i*>(&kShortTables.low[whole]));
        const __m128i kept =
            _mm_loadl_epi64(reinterpret_cast<const __m128i*>(&kShortTables.low[length - point]));
        digits =
            _mm_or_si128(_mm_and_si128(text, before),
                         _mm_andnot_si128(before, _mm_and_si128(_mm_srli_epi64(text, 8), kept)));
        divisor = _mm_load_sd(&kShortTables.divisor[whole][negative]);
        return whole && length <= 8;
    }
};

// The values of the two groups of eight digits (byte values 0 to 9) in
// digits, in its two low 32-bit lanes: pairs of digits in 16 bits, then
// fours in 32, then eights, which are below 2^31.
inline __attribute__((always_inline)) __m128i EightDigitValues(__m128i digits) {
    const __m128i pairs = _mm_and_si128(
        _mm_add_epi16(_mm_mullo_epi16(digits, _mm_set1_epi16(10)), _mm_srli_epi16(digits, 8)),
        _mm_set1_epi16(0xFF));
    const __m128i fours = _mm_madd_epi16(pairs, _mm_set1_epi32(100 | 1 << 16));
    return _mm_madd_epi16(_mm_packs_epi32(fours, fours), _mm_set1_epi32(10000 | 1 << 16));
}

// The values of two short decimals, x low: what ReadDecimal gives for each.
inline __attribute__((always_inline)) __m128d ShortPairValues(const ShortDecimal& x,
                                                              const ShortDecimal& y) {
    // Both words at once, x's low.
    const __m128i eights = EightDigitValues(_mm_unpacklo_epi64(x.digits, y.digits));
    // The Quotient of each, its sign from the divisor's.
    return _mm_div_pd(_mm_cvtepi32_pd(eights), _mm_unpacklo_pd(x.divisor, y.divisor));
}

// For each count of bytes to sixteen: the low bytes of a 16-byte vector,
// none to all, set.
struct VectorMasks {
    alignas(16) unsigned char low[17][16];
    constexpr VectorMasks() : low() {
        for (unsigned n = 0; n < 17; ++n)
            for (unsigned i = 0; i < n; ++i)
                low[n][i] = 0xFF;
    }
};
inline constexpr VectorMasks kVectorMasks;

/// ReadDecimal of a whole text, a NUL after the number, of at most sixteen
/// bytes after an optional '-' and at most 15 digits, not counting the zero
/// of "0.": most attribute values ("0", "354.331", "5.88235294117647",
/// "0.999898788369855", as values below 1 are written). One pass without a branch on the
/// digits: the first byte that is no digit is the point or the NUL, and if
/// the point, the next is the NUL. The digits, the point taken out, with a
/// zero before them and zeros after them to sixteen, are a whole number
/// below 1e15, an exact double, and its quotient by the power of ten that
/// puts the point back is ReadDecimal's. False for any other text, which
/// ReadDecimal then reads. The text has kValuePadding readable bytes after
/// its NUL.
inline __attribute__((always_inline)) bool ReadWholeDecimal(const char* text, double& out) {
    const bool negative = text[0] == '-';
    // The zero of "0." and a digit adds nothing: the number is read as from
    // the point.
    const char* const q = text + negative +
                          (text[negative] == '0' && text[negative + 1] == '.' &&
                           static_cast<unsigned char>(text[negative + 2] - '0') < 10);
    const __m128i t =
        _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(q)), _mm_set1_epi8(0x30));
    // A flag a byte for each that is no digit, as ShortDecimal has them.
    const unsigned flags = static_cast<unsigned>(_mm_movemask_epi8(
                               _mm_or_si128(_mm_add_epi8(t, _mm_set1_epi8(0x76)), t))) |
                           0x30000u;
    const unsigned whole = static_cast<unsigned>(__builtin_ctz(flags));
    const unsigned point = q[whole] == '.';
    const unsigned end = static_cast<unsigned>(__builtin_ctz(flags & (flags - point)));
    const unsigned count = end - point; // of the digits
    if (q[end] != 0 || count - 1 >= 15) return false;
    // The digits before the point one byte on, after the zero; those after
    // it where they are.
    const __m128i before =
        _mm_load_si128(reinterpret_cast<const __m128i*>(kVectorMasks.low[whole + 1]));
    const __m128i kept =
        _mm_load_si128(reinterpret_cast<const __m128i*>(kVectorMasks.low[count + 1]));
    const __m128i digits = _mm_or_si128(_mm_and_si128(_mm_slli_si128(t, 1), before),
                                        _mm_andnot_si128(before, _mm_and_si128(t, kept)));
    const __m128i eights = EightDigitValues(digits);
    // Exact: the first eight are below 1e7.
    const __m128d halves = _mm_cvtepi32_pd(eights);
    const double sixteen =
        _mm_cvtsd_f64(halves) * 1e8 + _mm_cvtsd_f64(_mm_unpackhi_pd(halves, halves));
    const double v = sixteen / kDecimalPow10[15 - whole];
    out = negative ? -v : v;
    return true;
}

/// Two short decimals "x y" at p, as outline points mostly are: each an
/// optional '-' then ShortDecimal's digits and point, x followed by one
/// space. Their end, with what ReadDecimal gives for each in xy (x low);
/// null for anything else. y may end on an exponent, which the caller
/// checks. p is at most at the NUL of a text with kValuePadding readable
/// bytes after it.
inline __attribute__((always_inline)) const char* ReadShortPair(const char* p, __m128d& xy) {
    const std::size_t sx = p[0] == '-';
    ShortDecimal x, y;
    if (!x.Read(p + sx, sx)) return nullptr;
    const char* q = p + sx + x.length;
    if (*q != ' ') return nullptr;
    const std::size_t sy = q[1] == '-';
    q += 1 + sy;
    if (!y.Read(q, sy)) return nullptr;
    xy = ShortPairValues(x, y);
    return q + y.length;
}

/// ReadShortPair of a pair that a space follows and that ends within the
/// 32 bytes at p: the space after y, or null for any other text. Both ends
/// come from one mask of the spaces, not from the digits of x and then of
/// y, so that the next pair's start waits for one scan, not two. The same
/// conditions as ReadShortPair's for p.
inline __attribute__((always_inline)) const char* ReadSpacedPair(const char* p, __m128d& xy) {
    const auto mask = [](__m128i v, char c) {
        return static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8(c))));
    };
    const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    std::uint32_t spaces = mask(low, ' '), nuls = mask(low, 0);
    // Mostly both spaces are there. Else, where the text goes on, its
    // padding lies past the next sixteen.
    if (!(spaces & (spaces - 1)) && !nuls) {
        const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
        spaces |= mask(high, ' ') << 16;
        nuls = mask(high, 0) << 16;
    }
    const std::size_t first = static_cast<std::size_t>(__builtin_ctzll(spaces | 1ull << 32));
    spaces &= spaces - 1;
    const std::size_t second = static_cast<std::size_t>(__builtin_ctzll(spaces | 1ull << 32));
    // Both spaces come before the text's NUL: the reads at y stay within
    // its padding.
    if (second > 31 || (nuls & ((2ull << second) - 1))) return nullptr;
    const std::size_t sx = p[0] == '-', sy = p[first + 1] == '-';
    ShortDecimal x, y;
    // Both read before either is checked: neither waits for the other.
    const bool xRead = x.Read(p + sx, sx);
    const bool yRead = y.Read(p + first + 1 + sy, sy);
    if (!xRead || !yRead || sx + x.length != first || first + 1 + sy + y.length != second)
        return nullptr;
    xy = ShortPairValues(x, y);
    return p + second;
}
#endif

} // namespace detail
} // namespace scribus

#endif
