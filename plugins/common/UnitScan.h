// Scans over UTF-16 text, eight units at a time: what readers and writers
// look for in long stretches of ordinary text.
#ifndef OMBRA_PLUGINS_UNITSCAN_H
#define OMBRA_PLUGINS_UNITSCAN_H

#include <emmintrin.h>

namespace obscan {

/// The first position from `from` on, before n, that holds unit; n when
/// none does.
long long FindUnit(const unsigned short* units, long long from, long long n, unsigned short unit);

/// Whether one of n units is a surrogate.
bool HasSurrogate(const unsigned short* units, long long n);

/// The first position before n that holds unit or a surrogate; n when none
/// does. One pass where text is mostly free of both.
long long FindUnitOrSurrogate(const unsigned short* units, long long n, unsigned short unit);

/// The first position from `from` on, before n, whose unit is below 0x0E
/// or is U+2028, U+2029 or U+FFFC; n when there is none.
long long FindControl(const unsigned short* units, long long from, long long n);

/// The first position from `from` on, before n, whose value is not value;
/// n when all are.
long long FindOther(const int* values, long long from, long long n, int value);
/// Sets n bytes to value, sixteen at a time (no string instruction, which
/// costs the same in time but shows one step per byte in instruction counts).
void FillBytes(unsigned char* bytes, long long n, unsigned char value);

/// Copies units from `from` on, before n, as bytes to out while they are
/// printable ASCII other than space, '"' and '\\' (what a JSON string holds
/// as it is); returns the position of the first that is not, or n. Out has
/// room for n - from bytes and 8 more (a block is written whole). Inline:
/// it runs once a word, its constants kept in registers by the caller's loop.
inline long long NarrowPlain(const unsigned short* units, long long from, long long n, char* out) {
    const __m128i below = _mm_set1_epi16(0x21), above = _mm_set1_epi16(0x7E);
    const __m128i quote = _mm_set1_epi16('"'), backslash = _mm_set1_epi16('\\');
    long long i = from;
    for (; i + 8 <= n; i += 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(units + i));
        // Compared as signed: units from 0x8000 up are below 0x21 then.
        __m128i other = _mm_or_si128(_mm_cmplt_epi16(v, below), _mm_cmpgt_epi16(v, above));
        other = _mm_or_si128(
            other, _mm_or_si128(_mm_cmpeq_epi16(v, quote), _mm_cmpeq_epi16(v, backslash)));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + (i - from)), _mm_packus_epi16(v, v));
        const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(other));
        if (mask) return i + __builtin_ctz(mask) / 2;
    }
    for (; i < n; ++i) {
        const unsigned short u = units[i];
        if (u < 0x21 || u > 0x7E || u == '"' || u == '\\') return i;
        out[i - from] = static_cast<char>(u);
    }
    return n;
}

/// FindOther for bytes.
long long FindOtherByte(const unsigned char* values, long long from, long long n,
                        unsigned char value);

} // namespace obscan

#endif
