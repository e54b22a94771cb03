// One code point as UTF-8, for the readers and writers that make their
// UTF-8 a character at a time.
#ifndef OMBRA_PLUGINS_UTF8PUT_H
#define OMBRA_PLUGINS_UTF8PUT_H

#include <cstddef>

namespace obutf8 {

/// Writes c as UTF-8 at out, which has room for four bytes, and returns the
/// bytes written: four from 0x10000 on, whatever c holds; callers that must
/// not write a surrogate replace it first.
inline int Put(char32_t c, char* out) {
    if (c < 0x80) {
        out[0] = static_cast<char>(c);
        return 1;
    }
    if (c < 0x800) {
        out[0] = static_cast<char>(0xC0 | (c >> 6));
        out[1] = static_cast<char>(0x80 | (c & 0x3F));
        return 2;
    }
    if (c < 0x10000) {
        out[0] = static_cast<char>(0xE0 | (c >> 12));
        out[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out[2] = static_cast<char>(0x80 | (c & 0x3F));
        return 3;
    }
    out[0] = static_cast<char>(0xF0 | (c >> 18));
    out[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out[3] = static_cast<char>(0x80 | (c & 0x3F));
    return 4;
}

/// Put's bytes appended to out, any text with append(const char*, size).
template <class Out> void Append(Out& out, char32_t c) {
    char bytes[4];
    out.append(bytes, static_cast<std::size_t>(Put(c, bytes)));
}

} // namespace obutf8

#endif
