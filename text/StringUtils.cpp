// UTF-8 conversions. Each one converts a slice of the input at a time
// straight into the string's buffer, which grows as appends make it grow.
// With SSE2 (always there on x86-64) runs of ASCII go 16 bytes a step,
// runs of two-byte forms eight a step, and UTF-16 is encoded eight units a
// step whatever their forms, by byte shuffles where the processor has
// SSSE3; with AVX-512, where the processor has it, UTF-8 is decoded 64
// bytes a step whatever their forms up to three bytes.
// Elsewhere, and at a slice's ends, everything goes by plain arithmetic, one
// or two characters at a time.
#include <ombra/utf16.h>
#include <ombra/utf8.h>

#include "text/StringData.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#elif defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

typedef unsigned char Byte;
typedef unsigned short Unit;

// Input characters converted per step, and what a step may write past the
// slice (the last sequence and the 16- and 64-wide stores run over its end).
constexpr std::size_t kSlice = 16384;
constexpr std::size_t kSlack = 64;

// ISO 8859-1 from s[i] while i < stop; returns the bytes written.
std::size_t LatinSlice(const Byte* s, std::size_t n, std::size_t& i, std::size_t stop, Byte* out) {
    std::size_t o = 0;
    while (i < stop) {
#if defined(__SSE2__)
        if (n - i >= 16) {
            __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + o), v);
            unsigned high = static_cast<unsigned>(_mm_movemask_epi8(v));
            unsigned ascii = high ? static_cast<unsigned>(__builtin_ctz(high)) : 16u;
            i += ascii;
            o += ascii;
            if (!high) continue;
        }
#endif
        do {
            unsigned b = s[i++];
            if (b < 0x80) {
                out[o++] = static_cast<Byte>(b);
            } else {
                out[o++] = static_cast<Byte>(0xC0 + (b >> 6));
                out[o++] = static_cast<Byte>(0x80 + (b & 0x3F));
            }
        } while (i < stop && s[i] >= 0x80);
    }
    return o;
}

// Writes the four bytes of v, lowest first; callers count only those they mean.
inline void Store(Byte* out, unsigned v) {
    std::memcpy(out, &v, 4);
}

// The two- and three-byte forms of one unit, lowest byte first.
inline unsigned Two(unsigned u) {
    return (0xC0 | (u >> 6)) | (0x80 | (u & 0x3F)) << 8;
}
inline unsigned Three(unsigned u) {
    return (0xE0 | (u >> 12)) | (0x80 | ((u >> 6) & 0x3F)) << 8 | (0x80 | (u & 0x3F)) << 16;
}
#if !defined(__SSE2__)
inline bool TakesTwo(unsigned u) {
    return u - 0x80 < 0x780;
}
inline bool TakesThree(unsigned u) { // surrogates aside
    return u >= 0x800 && (u & 0xF800) != 0xD800;
}
#endif

#if defined(__SSE2__)
// Up to eight units from src into out, however their forms mix: each unit's
// bytes are worked out side by side and then laid down one after the other,
// without a branch on any unit's form. Stops before the first surrogate;
// returns the units taken and adds the bytes written to o (up to 4 bytes
// past them are overwritten).
inline std::size_t EncodeBlock(const Unit* src, Byte* out, std::size_t& o) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i low6 = _mm_set1_epi16(0x3F);
    const __m128i mark = _mm_set1_epi16(static_cast<short>(0x80));
    __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
    __m128i top5 = _mm_and_si128(a, _mm_set1_epi16(static_cast<short>(0xF800)));
    unsigned surrogates = static_cast<unsigned>(
        _mm_movemask_epi8(_mm_cmpeq_epi16(top5, _mm_set1_epi16(static_cast<short>(0xD800)))));
    std::size_t count = surrogates ? static_cast<std::size_t>(__builtin_ctz(surrogates)) / 2 : 8;
    // All ones where a unit takes more than one byte, and more than two.
    __m128i two = _mm_xor_si128(
        _mm_cmpeq_epi16(_mm_and_si128(a, _mm_set1_epi16(static_cast<short>(0xFF80))), zero),
        _mm_set1_epi16(-1));
    __m128i three = _mm_xor_si128(_mm_cmpeq_epi16(top5, zero), _mm_set1_epi16(-1));
    __m128i last = _mm_or_si128(_mm_and_si128(a, low6), mark);
    __m128i lead2 = _mm_or_si128(_mm_srli_epi16(a, 6), _mm_set1_epi16(0xC0));
    __m128i lead3 = _mm_or_si128(_mm_srli_epi16(a, 12), _mm_set1_epi16(0xE0));
    __m128i middle = _mm_or_si128(_mm_and_si128(_mm_srli_epi16(a, 6), low6), mark);
    __m128i form2 = _mm_or_si128(lead2, _mm_slli_epi16(last, 8));
    __m128i form3 = _mm_or_si128(lead3, _mm_slli_epi16(middle, 8));
    __m128i first = _mm_or_si128(_mm_andnot_si128(two, a), _mm_and_si128(two, form2));
    first = _mm_or_si128(_mm_andnot_si128(three, first), _mm_and_si128(three, form3));
    alignas(16) unsigned bytes[8];
    alignas(16) unsigned short lengths[8];
    _mm_store_si128(reinterpret_cast<__m128i*>(bytes), _mm_unpacklo_epi16(first, last));
    _mm_store_si128(reinterpret_cast<__m128i*>(bytes + 4), _mm_unpackhi_epi16(first, last));
    // 1 + 1 + 1 by form; nothing for the surrogate and what follows it.
    __m128i length = _mm_sub_epi16(_mm_sub_epi16(_mm_set1_epi16(1), two), three);
    __m128i taken = _mm_cmpgt_epi16(_mm_set1_epi16(static_cast<short>(count)),
                                    _mm_setr_epi16(0, 1, 2, 3, 4, 5, 6, 7));
    _mm_store_si128(reinterpret_cast<__m128i*>(lengths), _mm_and_si128(length, taken));
    for (int k = 0; k < 8; ++k) {
        Store(out + o, bytes[k]);
        o += lengths[k];
    }
    return count;
}
#endif

// One unit, or a surrogate pair, from src[i] into out[o].
inline void EncodeOne(const Unit* src, std::size_t n, std::size_t& i, Byte* out, std::size_t& o) {
    unsigned u = src[i++];
    if (u < 0x80) {
        out[o++] = static_cast<Byte>(u);
    } else if (u < 0x800) { // one store for the two bytes
        Store(out + o, Two(u));
        o += 2;
    } else if ((u & 0xF800) != 0xD800) { // one store for three bytes and a spare
        Store(out + o, Three(u));
        o += 3;
    } else if (OBUTF16::IsHighSurrogate(u) && i < n && OBUTF16::IsLowSurrogate(src[i])) {
        unsigned c = OBUTF16::Combine(u, src[i++]);
        out[o++] = static_cast<Byte>(0xF0 | (c >> 18));
        out[o++] = static_cast<Byte>(0x80 | ((c >> 12) & 0x3F));
        out[o++] = static_cast<Byte>(0x80 | ((c >> 6) & 0x3F));
        out[o++] = static_cast<Byte>(0x80 | (c & 0x3F));
    } else {
        Store(out + o, Three(u));
        o += 3;
    }
}

// UTF-16 from src[i] while i < stop (a pair may end past it); returns the
// bytes written. Unpaired surrogates are encoded as they stand.
std::size_t EncodeSlice(const Unit* src, std::size_t n, std::size_t& i, std::size_t stop,
                        Byte* out) {
    std::size_t o = 0;
    while (i < stop) {
#if defined(__SSE2__)
        if (n - i >= 16) {
            __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
            __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i + 8));
            // One bit per unit from 0x80 on: unsigned saturation marks those
            // up to 0x7FFF, signed saturation those from 0x8000.
            __m128i bytes = _mm_packus_epi16(a, b);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + o), bytes);
            unsigned other = static_cast<unsigned>(_mm_movemask_epi8(bytes) |
                                                   _mm_movemask_epi8(_mm_packs_epi16(a, b)));
            unsigned ascii = other ? static_cast<unsigned>(__builtin_ctz(other)) : 16u;
            i += ascii;
            o += ascii;
            if (!other) continue;
        }
        if (n - i >= 8) { // short of eight only before a surrogate, which follows
            std::size_t taken = EncodeBlock(src + i, out, o);
            i += taken;
            if (taken == 8) continue;
        }
#else
        if (i + 1 < stop) { // two units of one form in one store
            unsigned u = src[i], v = src[i + 1];
            if (TakesThree(u) && TakesThree(v)) {
                unsigned long long w = Three(u) | static_cast<unsigned long long>(Three(v)) << 24;
                std::memcpy(out + o, &w, 8);
                o += 6;
                i += 2;
                continue;
            }
            if (TakesTwo(u) && TakesTwo(v)) {
                Store(out + o, Two(u) | Two(v) << 16);
                o += 4;
                i += 2;
                continue;
            }
        }
#endif
        EncodeOne(src, n, i, out, o);
    }
    return o;
}

#if defined(__x86_64__)
// With SSSE3, eight units of any forms go a step by byte shuffles: each
// unit's bytes are laid out in a 32-bit lane of its own, and for each four
// lanes a shuffle chosen by their lengths closes the gaps.
#define OMBRA_SHUFFLE __attribute__((target("ssse3,popcnt")))

// For each mix of lengths of four lanes (bit k: lane k keeps its second
// byte, bit k + 4: its third too) the shuffle that packs them, and the
// bytes it keeps.
struct Packs {
    alignas(16) Byte shuffle[256][16];
    Byte length[256];
};

constexpr Packs MakePacks() {
    Packs p{};
    for (int index = 0; index < 256; ++index) {
        int o = 0;
        for (int k = 0; k < 4; ++k) {
            int keep = 1 + (index >> k & 1) + (index >> (k + 4) & 1);
            for (int b = 0; b < keep; ++b)
                p.shuffle[index][o++] = static_cast<Byte>(4 * k + b);
        }
        p.length[index] = static_cast<Byte>(o);
        while (o < 16)
            p.shuffle[index][o++] = 0x80;
    }
    return p;
}

constexpr Packs kPacks = MakePacks();

inline bool HasShuffle() {
    static const bool has = __builtin_cpu_supports("ssse3") && __builtin_cpu_supports("popcnt");
    return has;
}

// Four lanes packed by the shuffle for index to out[o] (16 bytes written).
OMBRA_SHUFFLE inline void Pack(__m128i lanes, unsigned index, Byte* out, std::size_t& o) {
    __m128i order = _mm_load_si128(reinterpret_cast<const __m128i*>(kPacks.shuffle[index]));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + o), _mm_shuffle_epi8(lanes, order));
    o += kPacks.length[index];
}

// EncodeSlice eight units a step; a block with a surrogate goes as far as
// it by EncodeBlock, and the surrogate by EncodeOne.
OMBRA_SHUFFLE std::size_t EncodeSliceShuffled(const Unit* src, std::size_t n, std::size_t& i,
                                              std::size_t stop, Byte* out) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i low6 = _mm_set1_epi16(0x3F);
    const __m128i mark = _mm_set1_epi16(static_cast<short>(0x80));
    std::size_t o = 0;
    while (i < stop) {
        if (n - i < 8) {
            EncodeOne(src, n, i, out, o);
            continue;
        }
        __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
        __m128i top5 = _mm_and_si128(a, _mm_set1_epi16(static_cast<short>(0xF800)));
        // All ones where a unit takes one byte, and where it takes up to two.
        __m128i one =
            _mm_cmpeq_epi16(_mm_and_si128(a, _mm_set1_epi16(static_cast<short>(0xFF80))), zero);
        __m128i upTo2 = _mm_cmpeq_epi16(top5, zero);
        // Bit k: unit k takes two bytes or more; bit k + 8: three.
        unsigned longer =
            static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(one, upTo2))) ^ 0xFFFFu;
        __m128i last = _mm_or_si128(_mm_and_si128(a, low6), mark);
        __m128i lead2 = _mm_or_si128(_mm_srli_epi16(a, 6), _mm_set1_epi16(0xC0));
        __m128i form2 = _mm_or_si128(lead2, _mm_slli_epi16(last, 8));
        __m128i first = _mm_or_si128(_mm_and_si128(one, a), _mm_andnot_si128(one, form2));
        __m128i lead3 = _mm_or_si128(_mm_srli_epi16(a, 12), _mm_set1_epi16(0xE0));
        __m128i middle = _mm_or_si128(_mm_and_si128(_mm_srli_epi16(a, 6), low6), mark);
        __m128i form3 = _mm_or_si128(lead3, _mm_slli_epi16(middle, 8));
        first = _mm_or_si128(_mm_and_si128(upTo2, first), _mm_andnot_si128(upTo2, form3));
        std::size_t start = o;
        Pack(_mm_unpacklo_epi16(first, last), (longer & 0xF) | (longer >> 4 & 0xF0), out, o);
        Pack(_mm_unpackhi_epi16(first, last), (longer >> 4 & 0xF) | (longer >> 8 & 0xF0), out, o);
        unsigned surrogates = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_cmpeq_epi16(top5, _mm_set1_epi16(static_cast<short>(0xD800)))));
        if (!surrogates) {
            i += 8;
            continue;
        }
        // The units before the first surrogate stand; it goes by EncodeOne.
        unsigned before = static_cast<unsigned>(__builtin_ctz(surrogates)) / 2;
        unsigned mask = (1u << before) - 1;
        o = start + before + static_cast<unsigned>(__builtin_popcount(longer & (mask | mask << 8)));
        i += before;
        EncodeOne(src, n, i, out, o);
    }
    return o;
}
#undef OMBRA_SHUFFLE
#endif

// One UTF-8 sequence at s[i] into out[o]; false, with nothing consumed, at
// a lead byte from 0xF8 or a sequence that the input cannot complete.
// Continuation bytes are taken for their low six bits whatever they are,
// and met as a lead they start a two-byte form.
inline bool DecodeOne(const Byte* s, std::size_t n, std::size_t& i, Unit* out, std::size_t& o) {
    unsigned b = s[i];
    if (b < 0x80) {
        out[o++] = static_cast<Unit>(b);
        i += 1;
    } else if (b < 0xE0) {
        if (n - i < 2) return false;
        out[o++] = static_cast<Unit>(((b & 0x1F) << 6) | (s[i + 1] & 0x3F));
        i += 2;
    } else if (b < 0xF0) {
        if (n - i < 3) return false;
        out[o++] = static_cast<Unit>((b << 12) | ((s[i + 1] & 0x3F) << 6) | (s[i + 2] & 0x3F));
        i += 3;
    } else if (b < 0xF8) {
        if (n - i < 4) return false;
        // Always two units, by the form's arithmetic alone: overlong forms
        // and those past U+10FFFF give what the format always gave.
        unsigned c1 = s[i + 1] & 0x3Fu, c2 = s[i + 2] & 0x3Fu, c3 = s[i + 3] & 0x3Fu;
        unsigned w = (((b & 7) << 2) | (c1 >> 4)) - 1;
        out[o++] = static_cast<Unit>(0xD800 | (w << 6) | ((c1 & 0xF) << 2) | (c2 >> 4));
        out[o++] = static_cast<Unit>(0xDC00 | ((c2 & 0xF) << 6) | c3);
        i += 4;
    } else {
        return false;
    }
    return true;
}

#if defined(__SSE2__)
// How many of the first eight 16-bit lanes of mask are all ones.
inline std::size_t LeadingLanes(__m128i mask) {
    unsigned bits = static_cast<unsigned>(_mm_movemask_epi8(mask)) ^ 0xFFFF;
    return static_cast<std::size_t>(__builtin_ctz(bits | 0x10000)) / 2;
}

// The two-byte forms at s (16 bytes readable) up to the first byte pair
// that is not one: eight are decoded side by side, and as many as there
// are count. Leads are 0x80-0xDF, as for DecodeOne; the second byte gives
// its low six bits whatever it is. Returns the forms taken.
inline std::size_t DecodeTwos(const Byte* s, Unit* out) {
    __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
    __m128i lead = _mm_and_si128(w, _mm_set1_epi16(0xFF));
    __m128i is = _mm_and_si128(_mm_cmpgt_epi16(lead, _mm_set1_epi16(0x7F)),
                               _mm_cmplt_epi16(lead, _mm_set1_epi16(0xE0)));
    __m128i u = _mm_or_si128(_mm_slli_epi16(_mm_and_si128(lead, _mm_set1_epi16(0x1F)), 6),
                             _mm_and_si128(_mm_srli_epi16(w, 8), _mm_set1_epi16(0x3F)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), u);
    return LeadingLanes(is);
}

#endif

// UTF-8 from s[i] while i < stop (a sequence may end past it); returns the
// units written. Sets bad, with i on its lead byte, at a sequence that
// DecodeOne refuses.
std::size_t DecodeSlice(const Byte* s, std::size_t n, std::size_t& i, std::size_t stop, Unit* out,
                        bool& bad) {
    std::size_t o = 0;
    while (i < stop) {
#if defined(__SSE2__)
        if (n - i >= 16) {
            __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
            const __m128i zero = _mm_setzero_si128();
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + o), _mm_unpacklo_epi8(v, zero));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + o + 8), _mm_unpackhi_epi8(v, zero));
            unsigned high = static_cast<unsigned>(_mm_movemask_epi8(v));
            unsigned ascii = high ? static_cast<unsigned>(__builtin_ctz(high)) : 16u;
            i += ascii;
            o += ascii;
            if (!high) continue;
        }
#endif
        do {
            if (n - i >= 16) { // runs of one form, several at a time
                unsigned b = s[i];
                if (b - 0xE0u < 0x10 && s[i + 3] - 0xE0u < 0x10) {
                    out[o] =
                        static_cast<Unit>((b << 12) | ((s[i + 1] & 0x3F) << 6) | (s[i + 2] & 0x3F));
                    out[o + 1] = static_cast<Unit>((s[i + 3] << 12) | ((s[i + 4] & 0x3F) << 6) |
                                                   (s[i + 5] & 0x3F));
                    o += 2;
                    i += 6;
                    continue;
                }
                if (b - 0x80u < 0x60 && s[i + 2] - 0x80u < 0x60) {
#if defined(__SSE2__)
                    std::size_t k = DecodeTwos(s + i, out + o);
                    i += 2 * k;
                    o += k;
#else
                    out[o] = static_cast<Unit>(((b & 0x1F) << 6) | (s[i + 1] & 0x3F));
                    out[o + 1] = static_cast<Unit>(((s[i + 2] & 0x1F) << 6) | (s[i + 3] & 0x3F));
                    o += 2;
                    i += 4;
#endif
                    continue;
                }
            }
            if (!DecodeOne(s, n, i, out, o)) {
                bad = true;
                return o;
            }
        } while (i < stop && s[i] >= 0x80);
    }
    return o;
}

#if defined(__x86_64__)
// Where the processor has AVX-512 with its word compression, 64 bytes go a
// step whatever mix of one-, two- and three-byte forms they hold: each byte
// gives the unit it would give as a lead, from itself and the two bytes
// after it, and the lanes of the continuation bytes are squeezed out.
#define OMBRA_WIDE __attribute__((target("avx512f,avx512bw,avx512vbmi2,bmi,bmi2,popcnt")))

// The bytes a block reads: its 64 and two more for its last lanes.
constexpr std::size_t kBlockReads = 66;

inline bool HasWide() {
    static const bool has =
        __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
        __builtin_cpu_supports("avx512vbmi2") && __builtin_cpu_supports("bmi") &&
        __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("popcnt");
    return has;
}

OMBRA_WIDE inline __m512i Widen(const Byte* s) {
    return _mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(s)));
}

// The bytes of v from `from` on, `count` values up, as a mask.
OMBRA_WIDE inline __mmask64 InRange(__m512i v, int from, int count) {
    return _mm512_cmplt_epu8_mask(_mm512_sub_epi8(v, _mm512_set1_epi8(static_cast<char>(from))),
                                  _mm512_set1_epi8(static_cast<char>(count)));
}

// The units of the 32 bytes at s (34 readable), each taken as a lead: of a
// two- or three-byte form where lead2 or lead3 says so, else of one. The
// lanes in keep go to out, one after the other; returns how many.
OMBRA_WIDE inline std::size_t WideUnits(const Byte* s, __mmask32 lead2, __mmask32 lead3,
                                        __mmask32 keep, Unit* out) {
    const __m512i low6 = _mm512_set1_epi16(0x3F);
    __m512i b0 = Widen(s);
    __m512i c1 = _mm512_and_si512(Widen(s + 1), low6);
    __m512i c2 = _mm512_and_si512(Widen(s + 2), low6);
    // (b0 << 6) & 0x7C0 | c1: the lead's five bits and six.
    __m512i two =
        _mm512_ternarylogic_epi32(_mm512_slli_epi16(b0, 6), _mm512_set1_epi16(0x7C0), c1, 0xEA);
    // The lead's fifth bit falls off the top, leaving four, six and six.
    __m512i three = _mm512_or_si512(_mm512_slli_epi16(two, 6), c2);
    __m512i u = _mm512_mask_mov_epi16(_mm512_mask_mov_epi16(b0, lead2, two), lead3, three);
    _mm512_storeu_si512(out, _mm512_maskz_compress_epi16(keep, u));
    return static_cast<std::size_t>(__builtin_popcount(keep));
}

// The forms at the start of the 64 bytes at s (kBlockReads readable) into
// out[o], up to the first that is of four bytes or more, runs past the
// block, or that DecodeOne reads otherwise than by the bytes' kinds (a lead
// short of continuation bytes, a continuation byte where a form starts).
// Returns the bytes taken; up to 64 units past o are overwritten.
OMBRA_WIDE inline std::size_t WideBlock(const Byte* s, Unit* out, std::size_t& o) {
    __m512i v = _mm512_loadu_si512(s);
    unsigned long long high = _mm512_movepi8_mask(v);
    if (!high) {
        _mm512_storeu_si512(out + o, Widen(s));
        _mm512_storeu_si512(out + o + 32, Widen(s + 32));
        o += 64;
        return 64;
    }
    unsigned long long cont = InRange(v, 0x80, 0x40), lead2 = InRange(v, 0xC0, 0x20);
    unsigned long long lead3 = InRange(v, 0xE0, 0x10);
    unsigned long long lead = lead2 | lead3, expected = lead << 1 | lead3 << 2;
    // Where the bytes' kinds and the forms' lengths disagree first; the
    // leads of forms cut by the block's end count too.
    unsigned long long wrong =
        (cont ^ expected) | (high & ~(cont | lead)) | (lead & 1ull << 63) | (lead3 & 1ull << 62);
    unsigned end = 64;
    if (wrong) {
        end = static_cast<unsigned>(__builtin_ctzll(wrong));
        // Inside a form: back to its lead, the last byte before that starts one.
        if (expected >> end & 1)
            end = 63 - static_cast<unsigned>(__builtin_clzll(_bzhi_u64(~cont, end)));
        if (!end) return 0;
    }
    unsigned long long keep = _bzhi_u64(~cont, end);
    o += WideUnits(s, static_cast<__mmask32>(lead2), static_cast<__mmask32>(lead3),
                   static_cast<__mmask32>(keep), out + o);
    if (end > 32)
        o += WideUnits(s + 32, static_cast<__mmask32>(lead2 >> 32),
                       static_cast<__mmask32>(lead3 >> 32), static_cast<__mmask32>(keep >> 32),
                       out + o);
    return end;
}

// DecodeSlice a block at a time while 64 bytes are left. The registers'
// upper halves are cleared on the way out, explicitly: the compiler leaves
// them dirty on some paths, and then every SSE2 instruction of the rest of
// the library, built without AVX, pays a merge for as long as the thread runs.
OMBRA_WIDE std::size_t DecodeBlocksWide(const Byte* s, std::size_t n, std::size_t& i,
                                        std::size_t stop, Unit* out, bool& bad) {
    std::size_t o = 0;
    while (i < stop && n - i >= kBlockReads) {
        std::size_t taken = WideBlock(s + i, out, o);
        i += taken;
        // A block stops short before a form it leaves to DecodeOne.
        if (taken < 64 && !DecodeOne(s, n, i, out, o)) {
            bad = true;
            break;
        }
    }
    _mm256_zeroupper();
    return o;
}
#undef OMBRA_WIDE

std::size_t DecodeSliceWide(const Byte* s, std::size_t n, std::size_t& i, std::size_t stop,
                            Unit* out, bool& bad) {
    std::size_t o = DecodeBlocksWide(s, n, i, stop, out, bad);
    return bad ? o : o + DecodeSlice(s, n, i, stop, out + o, bad);
}
#endif

// Runs step over the input a slice at a time, appending to text; step
// writes into the room it is given and sets end to stop early. False when
// the buffer cannot grow.
template <typename T, typename Step>
bool Fill(ombra_detail::TextBuffer<T>& text, std::size_t n, std::size_t expansion, Step step) {
    // The most the whole input can make, in one go when there is memory for
    // it: a fresh string then grows once, not once per slice.
    text.Reserve(
        text.Length() +
        static_cast<long long>(
            std::min<std::size_t>(n, ombra_detail::TextBuffer<T>::kMaxLength / 4) * expansion) +
        static_cast<long long>(kSlack));
    std::size_t i = 0;
    bool end = false;
    while (i < n && !end) {
        std::size_t stop = std::min(n, i + kSlice);
        long long length = text.Length();
        T* room = text.Reserve(length + static_cast<long long>((stop - i) * expansion + kSlack));
        if (!room) return false;
        text.SetLength(length + static_cast<long long>(step(i, stop, room + length, end)));
    }
    return true;
}

} // namespace

void OBStringUtils::ConvertCStringToUTF8(const unsigned char* src, unsigned long long n,
                                         COBString& out) {
    out.SetScript(WSE::kSystemScript);
    out.Clear();
    if (!src || n == 0 || !out.Ready()) return;
    Fill(out.data_->text, n, 2, [&](std::size_t& i, std::size_t stop, char* room, bool&) {
        return LatinSlice(src, n, i, stop, reinterpret_cast<Byte*>(room));
    });
    out.Changed();
}

void OBStringUtils::ConvertUTF16StringToUTF8(const unsigned short* src, unsigned long long n,
                                             COBString& out) {
    out.SetScript(WSE::kSystemScript);
    out.Clear();
    if (!src || n == 0 || !out.Ready()) return;
    Fill(out.data_->text, n, 3, [&](std::size_t& i, std::size_t stop, char* room, bool&) {
        Byte* bytes = reinterpret_cast<Byte*>(room);
#if defined(__x86_64__)
        if (HasShuffle()) return EncodeSliceShuffled(src, n, i, stop, bytes);
#endif
        return EncodeSlice(src, n, i, stop, bytes);
    });
    out.Changed();
}

short OBStringUtils::ConvertUTF8ToUTF16String(const char* src, unsigned long long n,
                                              WOBString& out) {
    out.Clear();
    if (n == 0) return 1;
    if (!src || !out.Ready()) return 0;
    const auto* s = reinterpret_cast<const Byte*>(src);
    bool bad = false;
    bool stored =
        Fill(out.data_->text, n, 1, [&](std::size_t& i, std::size_t stop, Unit* room, bool& end) {
#if defined(__x86_64__)
            std::size_t written = HasWide() ? DecodeSliceWide(s, n, i, stop, room, bad)
                                            : DecodeSlice(s, n, i, stop, room, bad);
#else
            std::size_t written = DecodeSlice(s, n, i, stop, room, bad);
#endif
            end = bad;
            return written;
        });
    out.Changed();
    return stored && !bad ? 1 : 0;
}
