// UTF-8 to UTF-16 and back on arbitrary bytes: every conversion gives what a
// plain one-character-at-a-time reference gives (units, bytes and result),
// the conversion stops cleanly on malformed input, and well-formed text
// and any sequence of UTF-16 units survive the round trip.
#include <ombra/strings.h>
#include <ombra/utf8.h>

#include "fuzz/FuzzHost.h"

#include <cstdint>
#include <cstring>
#include <string>

namespace {

// The reference: each form decoded and encoded by the rules alone.
short ReferenceDecode(const uint8_t* s, size_t n, std::u16string& out) {
    for (size_t i = 0; i < n;) {
        unsigned b = s[i];
        if (b < 0x80) {
            out += static_cast<char16_t>(b);
            i += 1;
        } else if (b < 0xE0) {
            if (i + 1 >= n) return 0;
            out += static_cast<char16_t>(((b & 0x1F) << 6) | (s[i + 1] & 0x3F));
            i += 2;
        } else if (b < 0xF0) {
            if (i + 2 >= n) return 0;
            out += static_cast<char16_t>((b << 12) | ((s[i + 1] & 0x3F) << 6) | (s[i + 2] & 0x3F));
            i += 3;
        } else if (b < 0xF8) {
            if (i + 3 >= n) return 0;
            unsigned c1 = s[i + 1] & 0x3F, c2 = s[i + 2] & 0x3F, c3 = s[i + 3] & 0x3F;
            unsigned w = (((b & 7) << 2) | (c1 >> 4)) - 1;
            out += static_cast<char16_t>(0xD800 | (w << 6) | ((c1 & 0xF) << 2) | (c2 >> 4));
            out += static_cast<char16_t>(0xDC00 | ((c2 & 0xF) << 6) | c3);
            i += 4;
        } else {
            return 0;
        }
    }
    return 1;
}

std::string ReferenceEncode(const uint16_t* src, size_t n) {
    std::string out;
    for (size_t i = 0; i < n; ++i) {
        unsigned u = src[i];
        if (u < 0x80) {
            out += static_cast<char>(u);
        } else if (u < 0x800) {
            out += static_cast<char>(0xC0 | (u >> 6));
            out += static_cast<char>(0x80 | (u & 0x3F));
        } else if (u >= 0xD800 && u <= 0xDBFF && i + 1 < n && src[i + 1] >= 0xDC00 &&
                   src[i + 1] <= 0xDFFF) {
            unsigned v = src[++i], p = ((u >> 6) & 0xF) + 1;
            out += static_cast<char>(0xF0 | (p >> 2));
            out += static_cast<char>(0x80 | ((p & 3) << 4) | ((u >> 2) & 0xF));
            out += static_cast<char>(0x80 | ((u & 3) << 4) | ((v >> 6) & 0xF));
            out += static_cast<char>(0x80 | (v & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (u >> 12));
            out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (u & 0x3F));
        }
    }
    return out;
}

std::string ReferenceLatin(const uint8_t* s, size_t n) {
    std::string out;
    for (size_t i = 0; i < n; ++i) {
        if (s[i] < 0x80) {
            out += static_cast<char>(s[i]);
        } else {
            out += static_cast<char>(0xC0 + (s[i] >> 6));
            out += static_cast<char>(0x80 + (s[i] & 0x3F));
        }
    }
    return out;
}

// One unit per byte, of a form the byte picks: random units are nearly all
// of three bytes, while these mix every form, surrogates included.
std::u16string Spread(const uint8_t* s, size_t n) {
    std::u16string units;
    for (size_t i = 0; i < n; ++i) {
        unsigned v = s[i] >> 2;
        switch (s[i] & 3) {
        case 0:
            units += static_cast<char16_t>(2 * v + 1);
            break;
        case 1:
            units += static_cast<char16_t>(0x80 + 30 * v);
            break;
        case 2:
            units += static_cast<char16_t>(0x800 + 0x340 * v);
            break;
        default:
            units += static_cast<char16_t>(v < 16 ? 0xD800 | (v & 1) << 10 | v
                                                  : 0xE000 + 0xAE * (v - 16));
        }
    }
    return units;
}

bool Same(const COBString& s, const std::string& expected) {
    return static_cast<size_t>(s.Length()) == expected.size() &&
           std::memcmp(s.GrabCString(), expected.data(), expected.size()) == 0;
}

// Units to UTF-8 give what the reference gives, and every unit sequence,
// lone surrogates included, comes back from its UTF-8 unit for unit.
void CheckEncode(const std::u16string& units) {
    COBString encoded;
    OBStringUtils::ConvertUTF16StringToUTF8(reinterpret_cast<const unsigned short*>(units.data()),
                                            units.size(), encoded);
    if (!Same(encoded,
              ReferenceEncode(reinterpret_cast<const uint16_t*>(units.data()), units.size())))
        __builtin_trap();
    WOBString decoded;
    if (!OBStringUtils::ConvertUTF8ToUTF16String(encoded.GrabCString(), encoded.Length(),
                                                 decoded) ||
        static_cast<size_t>(decoded.Length()) != units.size() ||
        std::memcmp(decoded.GrabWString(), units.data(), 2 * units.size()) != 0)
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ombra_fuzz::InstallHost();
    WOBString wide;
    short ok =
        OBStringUtils::ConvertUTF8ToUTF16String(reinterpret_cast<const char*>(data), size, wide);
    std::u16string expected;
    if (ok != ReferenceDecode(data, size, expected)) __builtin_trap();
    if (static_cast<size_t>(wide.Length()) != expected.size() ||
        std::memcmp(wide.GrabWString(), expected.data(), 2 * expected.size()) != 0)
        __builtin_trap();

    COBString back;
    OBStringUtils::ConvertUTF16StringToUTF8(wide.GrabWString(), wide.Length(), back);
    if (ok && size && !std::memchr(data, 0, size)) {
        // Shortest-form input comes back byte for byte; other accepted
        // forms at least convert to the same units again.
        WOBString again;
        if (!OBStringUtils::ConvertUTF8ToUTF16String(back.GrabCString(), back.Length(), again))
            __builtin_trap();
        if (again.Length() != wide.Length()) __builtin_trap();
    }

    // The same bytes taken as UTF-16 units, one unit per byte, and as ISO 8859-1.
    std::u16string units(size / 2, u'\0');
    if (!units.empty()) std::memcpy(&units[0], data, 2 * units.size());
    CheckEncode(units);
    CheckEncode(Spread(data, size));
    COBString latin;
    OBStringUtils::ConvertCStringToUTF8(data, size, latin);
    if (!Same(latin, ReferenceLatin(data, size))) __builtin_trap();
    return 0;
}
