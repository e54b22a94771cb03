// JSON text for the writers that write JSON (the structure dump, the pandoc
// document): strings escaped so that the output is valid JSON whatever the
// document holds. Out is any text with push_back(char) and
// append(const char*, std::size_t): std::string, obwalk::Utf8Text.
#ifndef OMBRA_WRITERS_JSONTEXT_H
#define OMBRA_WRITERS_JSONTEXT_H

#include <ombra/utf16.h>

#include "Utf8Put.h"

#include <charconv>
#include <cmath>
#include <cstddef>

namespace objson {

namespace detail {

constexpr char kHex[] = "0123456789abcdef";

template <class Out> void Escape(Out& out, unsigned unit) {
    char text[6] = {'\\',
                    'u',
                    kHex[(unit >> 12) & 0xF],
                    kHex[(unit >> 8) & 0xF],
                    kHex[(unit >> 4) & 0xF],
                    kHex[unit & 0xF]};
    out.append(text, 6);
}

// One character that is not a surrogate.
template <class Out> void Character(Out& out, unsigned code) {
    const char* escape = code == '"'    ? "\\\""
                         : code == '\\' ? "\\\\"
                         : code == '\b' ? "\\b"
                         : code == '\f' ? "\\f"
                         : code == '\n' ? "\\n"
                         : code == '\r' ? "\\r"
                         : code == '\t' ? "\\t"
                                        : nullptr;
    if (escape)
        out.append(escape, 2);
    else if (code < 0x20 || code == 0x7F || code == 0x2028 || code == 0x2029)
        Escape(out, code);
    else if (code < 0x80)
        out.push_back(static_cast<char>(code));
    else
        obutf8::Append(out, code);
}

} // namespace detail

/// Appends the UTF-16 units as the inside of a JSON string (no quotes):
/// surrogate pairs become UTF-8, an unpaired surrogate becomes its \u
/// escape, and '"', '\\', control characters, DEL and U+2028/U+2029 are
/// escaped.
template <class Out>
void AppendJsonUtf16(Out& out, const unsigned short* units, std::size_t count) {
    if (!units) return;
    for (std::size_t i = 0; i < count; ++i) {
        // Plain ASCII, which needs no escape, goes a stretch at a time.
        char plain[64];
        std::size_t n = 0;
        for (; i < count && n < sizeof plain; ++i, ++n) {
            unsigned unit = units[i];
            if (unit < 0x20 || unit >= 0x7F || unit == '"' || unit == '\\') break;
            plain[n] = static_cast<char>(unit);
        }
        if (n) out.append(plain, n);
        if (i == count) break;
        unsigned unit = units[i];
        if (n == sizeof plain) {
            --i; // the stretch filled the buffer: look at unit i afresh
            continue;
        }
        if (OBUTF16::IsHighSurrogate(unit) && i + 1 < count &&
            OBUTF16::IsLowSurrogate(units[i + 1])) {
            obutf8::Append(out, OBUTF16::Combine(unit, units[i + 1]));
            ++i;
        } else if (OBUTF16::IsSurrogate(unit)) {
            detail::Escape(out, unit);
        } else {
            detail::Character(out, unit);
        }
    }
}

/// Appends UTF-8 bytes as the inside of a JSON string, escaped as above. A
/// surrogate written as three bytes (as the core encodes an unpaired one)
/// becomes its \u escape; any other byte that does not start a well-formed
/// sequence becomes \ufffd.
template <class Out> void AppendJsonUtf8(Out& out, const char* bytes, std::size_t count) {
    if (!bytes) return;
    const unsigned char* s = reinterpret_cast<const unsigned char*>(bytes);
    std::size_t i = 0;
    while (i < count) {
        unsigned lead = s[i];
        if (lead < 0x80) {
            detail::Character(out, lead);
            ++i;
            continue;
        }
        std::size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                             : lead >= 0xE0 && lead <= 0xEF ? 3
                             : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                            : 0;
        unsigned code = length == 2 ? lead & 0x1F : length == 3 ? lead & 0x0F : lead & 0x07;
        unsigned minimum = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
        bool good = length > 0 && i + length <= count;
        for (std::size_t k = 1; good && k < length; ++k) {
            if ((s[i + k] & 0xC0) != 0x80)
                good = false;
            else
                code = (code << 6) | (s[i + k] & 0x3F);
        }
        if (good && (code < minimum || code > 0x10FFFF)) good = false;
        if (!good) {
            out.append("\\ufffd", 6);
            ++i;
            continue;
        }
        if (OBUTF16::IsSurrogate(code))
            detail::Escape(out, code);
        else
            detail::Character(out, code);
        i += length;
    }
}

/// Appends a finite number in its shortest form that reads back exactly;
/// returns false, appending nothing, for NaN and the infinities (which JSON
/// has no numbers for).
template <class Out> bool AppendJsonNumber(Out& out, double value) {
    if (!std::isfinite(value)) return false;
    char buffer[32];
    std::to_chars_result result = std::to_chars(buffer, buffer + sizeof buffer, value);
    if (result.ec != std::errc()) return false;
    out.append(buffer, static_cast<std::size_t>(result.ptr - buffer));
    return true;
}

} // namespace objson

#endif
