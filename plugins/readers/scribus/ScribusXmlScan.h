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

// Each attribute's name followed by '="' as two masked words and the two
// bytes after them, for names of up to 16 bytes; the guesses of the reader
// are checked against them without a call, and the quote with them. Longer
// names have their first 16 bytes here; the entry of kAttrCount (no guess)
// and of an empty name matches no text.
struct NameWords {
    static constexpr std::size_t kShort = 16; // the longest name held whole
    struct Entry {
        std::uint64_t word[2] = {1, 0}, mask[2] = {0, 0};
        std::uint32_t length = 0;             // 0: longer, checked by Attrs::NameLengthAt
        std::uint16_t tail = 0, tailMask = 0; // what of '="' lies past 16 bytes
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
        if (n == 15) {
            e.tail = '"';
            e.tailMask = 0xFF;
        } else if (n == 16) {
            e.tail = '=' | '"' << 8;
            e.tailMask = 0xFFFF;
        }
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

// The length of the name of entry e when text starts with it and '="', and
// the name is no longer than NameWords::kShort, else 0; 18 bytes can be
// read at text.
inline std::size_t ShortNameLengthAt(const NameWords::Entry& e, const char* text) {
    std::uint64_t w[2];
    std::uint16_t tail;
    std::memcpy(w, text, 16);
    std::memcpy(&tail, text + 16, 2);
    if ((w[0] & e.mask[0]) != e.word[0] || (w[1] & e.mask[1]) != e.word[1] ||
        (tail & e.tailMask) != e.tail)
        return 0;
    return e.length;
}

// The length of the name of entry e (of id, an AttrId when the name is
// longer than NameWords::kShort) when text starts with it and '="'; 18
// bytes can be read at text.
inline std::size_t NameLengthAt(const NameWords::Entry& e, std::uint32_t id, const char* text) {
    if (e.length) return ShortNameLengthAt(e, text);
    std::uint64_t w[2];
    std::memcpy(w, text, 16);
    if ((w[0] & e.mask[0]) != e.word[0] || (w[1] & e.mask[1]) != e.word[1]) return 0;
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

// The bytes ScanPlain stops at for '"' among the 64 from p on, one bit each.
inline std::uint64_t PlainStops64(const char* p) {
    const __m128i amp = _mm_set1_epi8('&'), low = _mm_set1_epi8(13), bit = _mm_set1_epi8(4);
    std::uint64_t bits = 0;
    for (int k = 0; k < 4; ++k) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
        const __m128i any = _mm_or_si128(_mm_cmpeq_epi8(_mm_or_si128(v, bit), amp),
                                         _mm_cmpeq_epi8(_mm_min_epu8(v, low), v));
        bits |= std::uint64_t{static_cast<unsigned>(_mm_movemask_epi8(any))} << (16 * k);
    }
    return bits;
}

// ScanPlain for '"' through 64 bytes whose stops are known as bits, for the
// values of one tag, scanned in order: where a value ends then waits on no
// load of the bytes before it, as it would 16 bytes at a time (each value's
// end is where the next attribute is read from). The bytes from each value
// on stay as they were when their bits were taken; the NULs after the bytes
// read so far end every scan, and 64 bytes can be read from each byte
// before them.
class PlainWindow {
public:
    const char* Scan(const char* p) {
        std::uintptr_t off =
            reinterpret_cast<std::uintptr_t>(p) - reinterpret_cast<std::uintptr_t>(base_);
        if (off >= 64) { // mostly the next 64 bytes, whose reading waits on nothing
            if (off < 128) {
                base_ += 64;
                off -= 64;
            } else {
                base_ = p;
                off = 0;
            }
            bits_ = PlainStops64(base_);
        }
        if (const std::uint64_t m = bits_ >> off) return p + __builtin_ctzll(m);
        for (;;) {
            base_ += 64;
            bits_ = PlainStops64(base_);
            if (bits_) return base_ + __builtin_ctzll(bits_);
        }
    }

private:
    const char* base_ = nullptr; // none yet: no value lies within 128 bytes of it
    std::uint64_t bits_ = 0;
};

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
