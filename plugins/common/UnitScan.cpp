#include "UnitScan.h"

#include <emmintrin.h>
#if defined(__x86_64__)
#include <immintrin.h>
#endif

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

// The first unit from i on that hits marks, sixteen units a step while
// there are (stretches without one are the usual case), then eight; -1 with
// i at the last fewer than eight units when there is none.
template <class Hits> long long FirstHit(long long& i, long long n, Hits hits) {
    for (; i + 16 <= n; i += 16) {
        const __m128i a = hits(i), b = hits(i + 8);
        if (!_mm_movemask_epi8(_mm_or_si128(a, b))) continue;
        if (unsigned m = static_cast<unsigned>(_mm_movemask_epi8(a))) return i + FirstLane(m);
        return i + 8 + FirstLane(static_cast<unsigned>(_mm_movemask_epi8(b)));
    }
    for (; i + 8 <= n; i += 8)
        if (unsigned m = static_cast<unsigned>(_mm_movemask_epi8(hits(i)))) return i + FirstLane(m);
    return -1;
}

#if defined(__x86_64__)
// Where the processor has AVX2 the long scans take 32 units a step, the
// last one ending at the end of the units.
#define OMBRA_AVX2 __attribute__((target("avx2")))

inline bool HasAvx2() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}

OMBRA_AVX2 inline __m256i Load16(const unsigned short* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

// Two bits for each of the 16 units at p that FindControl stops at.
OMBRA_AVX2 inline unsigned ControlBits(const unsigned short* p) {
    const __m256i v = Load16(p);
    __m256i hit =
        _mm256_cmpeq_epi16(_mm256_subs_epu16(v, _mm256_set1_epi16(0x0D)), _mm256_setzero_si256());
    hit = _mm256_or_si256(
        hit, _mm256_cmpeq_epi16(_mm256_and_si256(v, _mm256_set1_epi16(static_cast<short>(0xFFFE))),
                                _mm256_set1_epi16(0x2028)));
    hit =
        _mm256_or_si256(hit, _mm256_cmpeq_epi16(v, _mm256_set1_epi16(static_cast<short>(0xFFFC))));
    return static_cast<unsigned>(_mm256_movemask_epi8(hit));
}

// Two bits for each of the 16 units at p that are unit or a surrogate.
OMBRA_AVX2 inline unsigned UnitOrSurrogateBits(const unsigned short* p, unsigned short unit) {
    const __m256i v = Load16(p);
    __m256i surrogate =
        _mm256_cmpeq_epi16(_mm256_and_si256(v, _mm256_set1_epi16(static_cast<short>(0xF800))),
                           _mm256_set1_epi16(static_cast<short>(0xD800)));
    __m256i hit = _mm256_or_si256(
        surrogate, _mm256_cmpeq_epi16(v, _mm256_set1_epi16(static_cast<short>(unit))));
    return static_cast<unsigned>(_mm256_movemask_epi8(hit));
}

// The first control from i on (n - i >= 32), 32 units a step; the last
// step ends at n, over units the steps before found none in.
OMBRA_AVX2 long long FindControlAvx2(const unsigned short* units, long long i, long long n) {
    for (;; i += 32) {
        if (i + 32 > n) i = n - 32;
        unsigned a = ControlBits(units + i), b = ControlBits(units + i + 16);
        if (a | b) return a ? i + FirstLane(a) : i + 16 + FirstLane(b);
        if (i + 32 == n) return n;
    }
}

// The same for unit or a surrogate.
OMBRA_AVX2 long long FindUnitOrSurrogateAvx2(const unsigned short* units, long long i, long long n,
                                             unsigned short unit) {
    for (;; i += 32) {
        if (i + 32 > n) i = n - 32;
        unsigned a = UnitOrSurrogateBits(units + i, unit);
        unsigned b = UnitOrSurrogateBits(units + i + 16, unit);
        if (a | b) return a ? i + FirstLane(a) : i + 16 + FirstLane(b);
        if (i + 32 == n) return n;
    }
}
#undef OMBRA_AVX2
#endif

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
#if defined(__x86_64__)
    if (n >= 32 && HasAvx2()) return FindUnitOrSurrogateAvx2(units, 0, n, unit);
#endif
    const __m128i high = _mm_set1_epi16(static_cast<short>(0xF800));
    const __m128i surrogate = _mm_set1_epi16(static_cast<short>(0xD800));
    const __m128i wanted = _mm_set1_epi16(static_cast<short>(unit));
    auto hits = [&](long long at) {
        const __m128i v = Load(units + at);
        return _mm_or_si128(_mm_cmpeq_epi16(_mm_and_si128(v, high), surrogate),
                            _mm_cmpeq_epi16(v, wanted));
    };
    if (long long at = FirstHit(i, n, hits); at >= 0) return at;
    for (; i < n; ++i) {
        unsigned short u; // the units may be char16_t
        std::memcpy(&u, units + i, sizeof u);
        if (u == unit || (u & 0xF800) == 0xD800) return i;
    }
    return n;
}

long long FindControl(const unsigned short* units, long long from, long long n) {
    long long i = from;
#if defined(__x86_64__)
    if (n - i >= 32 && HasAvx2()) return FindControlAvx2(units, i, n);
#endif
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
    if (long long at = FirstHit(i, n, hits); at >= 0) return at;
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

void FillBytes(unsigned char* bytes, long long n, unsigned char value) {
    const __m128i v = _mm_set1_epi8(static_cast<char>(value));
    long long i = 0;
    for (; i + 32 <= n; i += 32) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(bytes + i), v);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(bytes + i + 16), v);
    }
    for (; i + 16 <= n; i += 16)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(bytes + i), v);
    if (n >= 16 && i < n) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(bytes + n - 16), v);
        return;
    }
    for (; i < n; ++i)
        bytes[i] = value;
}

long long FindOtherByte(const unsigned char* values, long long from, long long n,
                        unsigned char value) {
    long long i = from;
    const __m128i wanted = _mm_set1_epi8(static_cast<char>(value));
    for (; i + 16 <= n; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(values + i));
        const unsigned same = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, wanted)));
        if (same != 0xFFFF) return i + __builtin_ctz(~same);
    }
    for (; i < n; ++i)
        if (values[i] != value) return i;
    return n;
}

} // namespace obscan
