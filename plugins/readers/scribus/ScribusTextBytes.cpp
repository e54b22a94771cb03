// What stays of text elements as bytes: their text decoded into UTF-16, and
// the elements of a frame kept to be read later.
#include "ScribusText.h"

#include <ombra/utf16.h>

#include <emmintrin.h>

#include <algorithm>
#include <cstring>

namespace scribus {
namespace detail {

std::size_t DecodeText(Context& ctx, const char* text, std::size_t size, char16_t* out) {
    char16_t* w = out;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    const unsigned char* const end = p + size;
    if (ctx.latin1) {
        for (; p < end; ++p)
            *w++ = static_cast<char16_t>(*p);
        return size;
    }
    const __m128i zero = _mm_setzero_si128();
    while (p < end) {
        // ASCII sixteen bytes at a time: each byte makes at most one unit,
        // so out has room for sixteen from w on while sixteen bytes are left.
        for (; end - p >= 16; p += 16, w += 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(w), _mm_unpacklo_epi8(v, zero));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(w + 8), _mm_unpackhi_epi8(v, zero));
            if (const unsigned high = static_cast<unsigned>(_mm_movemask_epi8(v))) {
                const unsigned ascii = static_cast<unsigned>(__builtin_ctz(high));
                p += ascii;
                w += ascii;
                break;
            }
        }
        if (p == end) break;
        unsigned char c = *p;
        if (c < 0x80) {
            *w++ = c;
            ++p;
            continue;
        }
        if (c >= 0xC2 && c < 0xE0 && p + 1 < end && (p[1] & 0xC0) == 0x80) { // two bytes, as most
            *w++ = static_cast<char16_t>(((c & 0x1F) << 6) | (p[1] & 0x3F));
            p += 2;
            continue;
        }
        int extra = 0;
        std::uint32_t cp = 0, min = 0;
        if ((c & 0xE0) == 0xC0) {
            extra = 1;
            cp = c & 0x1F;
            min = 0x80;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2;
            cp = c & 0x0F;
            min = 0x800;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3;
            cp = c & 0x07;
            min = 0x10000;
        }
        bool ok = extra > 0;
        for (int k = 1; ok && k <= extra; ++k) {
            if (p + k >= end || (p[k] & 0xC0) != 0x80)
                ok = false;
            else
                cp = (cp << 6) | (p[k] & 0x3F);
        }
        if (ok && (cp < min || cp > 0x10FFFF || OBUTF16::IsSurrogate(cp))) ok = false;
        if (!ok) {
            ctx.sawInvalidUtf8 = true;
            *w++ = c; // Latin-1 reading of the stray byte
            ++p;
            continue;
        }
        unsigned short units[2];
        for (int k = 0, made = OBUTF16::Split(cp, units); k < made; ++k)
            *w++ = static_cast<char16_t>(units[k]);
        p += extra + 1;
    }
    return static_cast<std::size_t>(w - out);
}

void AppendText(Context& ctx, const char* text, std::size_t size, std::u16string& out) {
    if (!text) return;
    const std::size_t at = out.size();
    out.resize(at + size);
    out.resize(at + DecodeText(ctx, text, size, &out[0] + at));
}

std::u16string ToUtf16(Context& ctx, const char* text) {
    std::u16string s;
    if (text) AppendText(ctx, text, std::strlen(text), s);
    return s;
}

namespace {

// Values are mostly shorter than 16 bytes: such a value is measured and
// copied 16 bytes at once, NUL and what follows it included.
std::size_t Length(const char* v) {
    const int nul = _mm_movemask_epi8(_mm_cmpeq_epi8(Sixteen(v), _mm_setzero_si128()));
    if (nul) return static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(nul)));
    return std::strlen(v);
}

void CopyValue(char* to, const char* v, std::size_t length) {
    if (length < 16)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to), Sixteen(v));
    else
        std::memcpy(to, v, length + 1);
}

} // namespace

// A record is a run of entries: 'S' (or 'M' for an element without
// content, most of them: its end is in the entry), the element id, the
// number of attributes, then each attribute's id, length and text with its
// NUL; 'E' for an end.
void TextRecord::Add(char kind, ElementId id, const Attrs& a) {
    // The entry's size first: the record grows once and is written in place.
    const std::size_t count = a.Count();
    std::uint32_t lengths[kAttrCount];
    std::size_t size = 2 + sizeof(std::uint16_t);
    for (std::size_t i = 0; i < count; ++i) {
        lengths[i] = static_cast<std::uint32_t>(Length(a.Get(a.IdAt(i))));
        size += sizeof(AttrId) + sizeof(std::uint32_t) + lengths[i] + 1;
    }
    // CopyValue may write 15 bytes past the entry, into the padding.
    char* p = Room(size);
    *p++ = kind;
    *p++ = static_cast<char>(id);
    const std::uint16_t n = static_cast<std::uint16_t>(count);
    std::memcpy(p, &n, sizeof n);
    p += sizeof n;
    for (std::size_t i = 0; i < count; ++i) {
        const AttrId attr = a.IdAt(i);
        std::memcpy(p, &attr, sizeof attr);
        std::memcpy(p + sizeof attr, &lengths[i], sizeof lengths[i]);
        p += sizeof attr + sizeof lengths[i];
        CopyValue(p, a.Get(attr), lengths[i]);
        p += lengths[i] + 1;
    }
}

void TextRecord::End() {
    *Room(1) = 'E';
}

inline char* TextRecord::Room(std::size_t n) {
    if (capacity_ - size_ < n + kPadding) {
        const std::size_t capacity =
            std::max({std::size_t(256), 2 * capacity_, size_ + n + kPadding});
        std::unique_ptr<char[]> larger(new char[capacity]); // may throw std::bad_alloc
        if (size_) std::memcpy(larger.get(), bytes_.get(), size_);
        bytes_ = std::move(larger);
        capacity_ = capacity;
    }
    char* p = bytes_.get() + size_;
    size_ += n;
    // Entries fill their bytes; the padding after the last is cleared here
    // rather than all the room up front.
    std::memset(p + n, 0, kPadding);
    return p;
}

void TextRecord::Replay(XmlHandler& handler) const {
    Attrs attrs;
    const char* p = bytes_.get();
    const char* end = p + size_;
    while (p < end) {
        const char kind = *p++;
        if (kind == 'E') {
            handler.End();
            continue;
        }
        const ElementId id = static_cast<ElementId>(static_cast<unsigned char>(*p++));
        std::uint16_t count;
        std::memcpy(&count, p, sizeof count);
        p += sizeof count;
        attrs.Begin();
        for (std::uint16_t i = 0; i < count; ++i) {
            AttrId attr;
            std::uint32_t length;
            std::memcpy(&attr, p, sizeof attr);
            std::memcpy(&length, p + sizeof attr, sizeof length);
            p += sizeof attr + sizeof length;
            attrs.Set(attr, p);
            p += length + 1;
        }
        if (kind == 'M')
            handler.Empty(id, attrs);
        else
            handler.Start(id, attrs);
    }
}

} // namespace detail
} // namespace scribus
