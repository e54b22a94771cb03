#include "UnitScan.h"

#include <emmintrin.h>

#include <cstring>

namespace obscan {

namespace {

inline __m128i Load(const unsigned short* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// The position of the first unit marked in mask (a movemask of 16-bit lanes).
inline long long FirstLane(unsigned mask) {
    return static_cast<long long>(__builtin_ctz(mask)) / 2;
}

} // namespace

long long FindUnit(const unsigned short* units, long long from, long long n, unsigned short unit) {
    long long i = from;
    const __m128i wanted = _mm_set1_epi16(static_cast<short>(unit));
    for (; i + 8 <= n; i += 8)
        if (unsigned m =
                static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(Load(units + i), wanted))))
            return i + FirstLane(m);
    for (; i < n; ++i)
        if (units[i] == unit) return i;
    return n;
}

bool HasSurrogate(const unsigned short* units, long long n) {
    long long i = 0;
    const __m128i high = _mm_set1_epi16(static_cast<short>(0xF800));
    const __m128i surrogate = _mm_set1_epi16(static_cast<short>(0xD800));
    auto is = [&](long long at) {
        return _mm_cmpeq_epi16(_mm_and_si128(Load(units + at), high), surrogate);
    };
    // Thirty-two at a time: text without surrogates is the usual case.
    for (; i + 32 <= n; i += 32)
        if (_mm_movemask_epi8(
                _mm_or_si128(_mm_or_si128(is(i), is(i + 8)), _mm_or_si128(is(i + 16), is(i + 24)))))
            return true;
    for (; i + 8 <= n; i += 8)
        if (_mm_movemask_epi8(is(i))) return true;
    for (; i < n; ++i) {
        unsigned short unit; // the units may be char16_t
        std::memcpy(&unit, units + i, sizeof unit);
        if ((unit & 0xF800) == 0xD800) return true;
    }
    return false;
}

long long FindUnitOrSurrogate(const unsigned short* units, long long n, unsigned short unit) {
    long long i = 0;
    const __m128i high = _mm_set1_epi16(static_cast<short>(0xF800));
    const __m128i surrogate = _mm_set1_epi16(static_cast<short>(0xD800));
    const __m128i wanted = _mm_set1_epi16(static_cast<short>(unit));
    auto hits = [&](long long at) {
        const __m128i v = Load(units + at);
        return _mm_or_si128(_mm_cmpeq_epi16(_mm_and_si128(v, high), surrogate),
                            _mm_cmpeq_epi16(v, wanted));
    };
    // Sixteen at a time: text without either is the usual case.
    for (; i + 16 <= n; i += 16) {
        const __m128i a = hits(i), b = hits(i + 8);
        if (!_mm_movemask_epi8(_mm_or_si128(a, b))) continue;
        if (unsigned m = static_cast<unsigned>(_mm_movemask_epi8(a))) return i + FirstLane(m);
        return i + 8 + FirstLane(static_cast<unsigned>(_mm_movemask_epi8(b)));
    }
    for (; i + 8 <= n; i += 8)
        if (unsigned m = static_cast<unsigned>(_mm_movemask_epi8(hits(i)))) return i + FirstLane(m);
    for (; i < n; ++i) {
        unsigned short u; // the units may be char16_t
        std::memcpy(&u, units + i, sizeof u);
        if (u == unit || (u & 0xF800) == 0xD800) return i;
    }
    return n;
}

long long FindControl(const unsigned short* units, long long from, long long n) {
    long long i = from;
    const __m128i limit = _mm_set1_epi16(0x0D);
    const __m128i lines = _mm_set1_epi16(0x2028),
                  lineMask = _mm_set1_epi16(static_cast<short>(0xFFFE));
    const __m128i object = _mm_set1_epi16(static_cast<short>(0xFFFC));
    const __m128i zero = _mm_setzero_si128();
    auto hits = [&](long long at) {
        const __m128i v = Load(units + at);
        // Below 0x0E: nothing is left when 0x0D is taken away.
        __m128i hit = _mm_cmpeq_epi16(_mm_subs_epu16(v, limit), zero);
        hit = _mm_or_si128(hit, _mm_cmpeq_epi16(_mm_and_si128(v, lineMask), lines));
        return _mm_or_si128(hit, _mm_cmpeq_epi16(v, object));
    };
    // Sixteen at a time: runs of text are mostly longer.
    for (; i + 16 <= n; i += 16) {
        const __m128i a = hits(i), b = hits(i + 8);
        if (!_mm_movemask_epi8(_mm_or_si128(a, b))) continue;
        if (unsigned m = static_cast<unsigned>(_mm_movemask_epi8(a))) return i + FirstLane(m);
        return i + 8 + FirstLane(static_cast<unsigned>(_mm_movemask_epi8(b)));
    }
    for (; i + 8 <= n; i += 8)
        if (unsigned m = static_cast<unsigned>(_mm_movemask_epi8(hits(i)))) return i + FirstLane(m);
    for (; i < n; ++i) {
        const unsigned short c = units[i];
        if (c < 0x0E || c == 0x2028 || c == 0x2029 || c == 0xFFFC) return i;
    }
    return n;
}

long long FindOther(const int* values, long long from, long long n, int value) {
    long long i = from;
    const __m128i wanted = _mm_set1_epi32(value);
    for (; i + 4 <= n; i += 4) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(values + i));
        const unsigned same = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi32(v, wanted)));
        if (same != 0xFFFF) return i + static_cast<long long>(__builtin_ctz(~same)) / 4;
    }
    for (; i < n; ++i)
        if (values[i] != value) return i;
    return n;
}

} // namespace obscan
