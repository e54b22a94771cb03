// The byte classes and 16-byte scans that the streaming XML reader
// (ScribusXml.cpp) reads tags with: names, attribute values and the
// attribute names it guesses, checked as masked words. In line, as the
// reader's loops call them for every attribute.
#ifndef OMBRA_SCRIBUS_XML_SCAN_H
#define OMBRA_SCRIBUS_XML_SCAN_H

#include "ScribusInternal.h"

#include <emmintrin.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace scribus {
namespace detail {
namespace xmlscan {

enum CharClass : unsigned char { kSpace = 1, kSymbol = 2, kStartSymbol = 4 };

// SymbolEnd finds the end of a run of kSymbol bytes without the table.
struct CharTable {
    unsigned char c[256];
    CharTable() {
        for (int i = 0; i < 256; ++i) {
            bool letter = (i >= 'a' && i <= 'z') || (i >= 'A' && i <= 'Z') || i == '_' ||
                          i == ':' || i >= 0x80;
            bool symbol = letter || (i >= '0' && i <= '9') || i == '-' || i == '.';
            bool space = i == ' ' || i == '\t' || i == '\n' || i == '\r';
            c[i] = static_cast<unsigned char>((space ? kSpace : 0) | (symbol ? kSymbol : 0) |
                                              (letter ? kStartSymbol : 0));
        }
    }
};

inline const CharTable kChars;

inline bool Is(char c, CharClass k) {
    return (kChars.c[static_cast<unsigned char>(c)] & k) != 0;
}

inline unsigned Mask(__m128i v, char c) {
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8(c))));
}

inline std::uint64_t Word(const char* p) {
    std::uint64_t w;
    std::memcpy(&w, p, 8);
    return w;
}

// Each attribute's name followed by '="' as two masked words, for names of
// up to 14 bytes; the guesses of the reader are checked against them
// without a call, and the quote with them. Longer names have their first
// 16 bytes here; the entry of kAttrCount (no guess) and of an empty name
// matches no text.
struct NameWords {
    static constexpr std::size_t kShort = 14; // the longest name held whole
    struct Entry {
        std::uint64_t word[2] = {1, 0}, mask[2] = {0, 0};
        std::uint32_t length = 0; // 0: longer, checked by Attrs::NameLengthAt
    };
    // The entry of the n bytes of name (n > 0).
    static Entry Of(const char* name, std::size_t n) {
        Entry e;
        unsigned char bytes[16] = {}, mask[16] = {};
        for (std::size_t i = 0; i < n && i < 16; ++i)
            bytes[i] = static_cast<unsigned char>(name[i]);
        if (n < 16) bytes[n] = '=';
        if (n < 15) bytes[n + 1] = '"';
        std::memset(mask, 0xFF, n < 15 ? n + 2 : 16);
        std::memcpy(e.word, bytes, 16);
        std::memcpy(e.mask, mask, 16);
        e.length = n <= kShort ? static_cast<std::uint32_t>(n) : 0;
        return e;
    }
    Entry at[kAttrCount + 1];
    NameWords() {
        for (std::uint32_t id = 0; id < kAttrCount; ++id) {
            const char* name = Attrs::NameOf(static_cast<AttrId>(id));
            if (const std::size_t n = std::strlen(name)) at[id] = Of(name, n);
        }
    }
};

inline const NameWords kNameWords;

// The length of the name of entry e (of id, an AttrId when the name is
// longer than NameWords::kShort) when text starts with it and '="'; 16
// bytes can be read at text.
inline std::size_t NameLengthAt(const NameWords::Entry& e, std::uint32_t id, const char* text) {
    std::uint64_t w[2];
    std::memcpy(w, text, 16);
    if ((w[0] & e.mask[0]) != e.word[0] || (w[1] & e.mask[1]) != e.word[1]) return 0;
    if (e.length) return e.length;
    const std::size_t n = Attrs::NameLengthAt(static_cast<AttrId>(id), text);
    return n && text[n + 1] == '"' ? n : 0;
}

// The first quote, '&' or byte up to '\r' (NUL, tab and line ends among
// them) from p on: most values hold none of them but the quote that ends
// them. The bytes from p on end with a NUL and have room for a 16-byte
// read past it.
inline __attribute__((always_inline)) const char* ScanPlain(const char* p, char quote) {
    const __m128i q = _mm_set1_epi8(quote), amp = _mm_set1_epi8('&'), low = _mm_set1_epi8(13);
    // '"' and '&' differ in one bit: one compare finds both.
    const __m128i bit = _mm_set1_epi8(quote == '"' ? 4 : 0);
    for (;; p += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        __m128i any = _mm_cmpeq_epi8(_mm_or_si128(v, bit), amp);
        if (quote != '"') any = _mm_or_si128(any, _mm_cmpeq_epi8(v, q));
        any = _mm_or_si128(any, _mm_cmpeq_epi8(_mm_min_epu8(v, low), v));
        if (const unsigned m = static_cast<unsigned>(_mm_movemask_epi8(any)))
            return p + __builtin_ctz(m);
    }
}

// The first quote or NUL from p on; special tells whether '&', a tab or a
// line end comes before it. As for ScanPlain.
inline __attribute__((always_inline)) const char* ScanValue(const char* p, char quote,
                                                            bool& special) {
    p = ScanPlain(p, quote);
    if (*p == quote || *p == 0) return p;
    for (;; p += 16) { // after a byte that is no plain text
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        unsigned stop = Mask(v, quote) | Mask(v, 0);
        unsigned odd = Mask(v, '&') | Mask(v, '\t') | Mask(v, '\n') | Mask(v, '\r');
        if (stop) {
            unsigned at = static_cast<unsigned>(__builtin_ctz(stop));
            if (odd & ((1u << at) - 1)) special = true;
            return p + at;
        }
        if (odd) special = true;
    }
}

// The first byte from p on that is no name's (Is(c, kSymbol) is false),
// 16 bytes a step; a NUL is no name's, and 16 bytes can be read from
// each step on until the first one.
inline const char* SymbolEnd(const char* p) {
    const __m128i zero = _mm_setzero_si128();
    // x - low, wrapping, is at most span: x lies in [low, low + span].
    const auto in = [zero](__m128i x, char low, char span) {
        const __m128i from = _mm_sub_epi8(x, _mm_set1_epi8(low));
        return _mm_cmpeq_epi8(_mm_subs_epu8(from, _mm_set1_epi8(span)), zero);
    };
    for (;; p += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        // Bytes from 0x80 on; '-' and '.'; '0' to '9' and ':'; letters of
        // either case; '_'.
        __m128i name = _mm_cmplt_epi8(v, zero);
        name = _mm_or_si128(name, in(v, '-', 1));
        name = _mm_or_si128(name, in(v, '0', 10));
        name = _mm_or_si128(name, in(_mm_or_si128(v, _mm_set1_epi8(0x20)), 'a', 25));
        name = _mm_or_si128(name, _mm_cmpeq_epi8(v, _mm_set1_epi8('_')));
        const unsigned other = ~static_cast<unsigned>(_mm_movemask_epi8(name)) & 0xFFFF;
        if (other) return p + __builtin_ctz(other);
    }
}

} // namespace xmlscan
} // namespace detail
} // namespace scribus

#endif
