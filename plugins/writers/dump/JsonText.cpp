#include "JsonText.h"

#include <ombra/utf16.h>

#include <charconv>
#include <cmath>

namespace ombra_dump {

namespace {

const char kHex[] = "0123456789abcdef";

void AppendEscape(std::string& out, unsigned unit) {
    out += "\\u";
    out += kHex[(unit >> 12) & 0xF];
    out += kHex[(unit >> 8) & 0xF];
    out += kHex[(unit >> 4) & 0xF];
    out += kHex[unit & 0xF];
}

void AppendUtf8(std::string& out, unsigned code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// One character that is not a surrogate.
void AppendCharacter(std::string& out, unsigned code) {
    switch (code) {
    case '"':
        out += "\\\"";
        return;
    case '\\':
        out += "\\\\";
        return;
    case '\b':
        out += "\\b";
        return;
    case '\f':
        out += "\\f";
        return;
    case '\n':
        out += "\\n";
        return;
    case '\r':
        out += "\\r";
        return;
    case '\t':
        out += "\\t";
        return;
    default:
        break;
    }
    if (code < 0x20 || code == 0x7F || code == 0x2028 || code == 0x2029)
        AppendEscape(out, code);
    else
        AppendUtf8(out, code);
}

constexpr auto IsHigh = OBUTF16::IsHighSurrogate;
constexpr auto IsLow = OBUTF16::IsLowSurrogate;

} // namespace

void AppendJsonUtf16(std::string& out, const unsigned short* units, std::size_t count) {
    if (!units) return;
    for (std::size_t i = 0; i < count; ++i) {
        unsigned unit = units[i];
        if (IsHigh(unit) && i + 1 < count && IsLow(units[i + 1])) {
            AppendUtf8(out, OBUTF16::Combine(unit, units[i + 1]));
            ++i;
        } else if (IsHigh(unit) || IsLow(unit)) {
            AppendEscape(out, unit);
        } else {
            AppendCharacter(out, unit);
        }
    }
}

void AppendJsonUtf8(std::string& out, const char* bytes, std::size_t count) {
    if (!bytes) return;
    const unsigned char* s = reinterpret_cast<const unsigned char*>(bytes);
    std::size_t i = 0;
    while (i < count) {
        unsigned lead = s[i];
        if (lead < 0x80) {
            AppendCharacter(out, lead);
            ++i;
            continue;
        }
        int length = 0;
        unsigned code = 0;
        unsigned minimum = 0;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            code = lead & 0x1F;
            minimum = 0x80;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            code = lead & 0x0F;
            minimum = 0x800;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            code = lead & 0x07;
            minimum = 0x10000;
        }
        bool good = length > 0 && i + length <= count;
        for (int k = 1; good && k < length; ++k) {
            if ((s[i + k] & 0xC0) != 0x80)
                good = false;
            else
                code = (code << 6) | (s[i + k] & 0x3F);
        }
        if (good && (code < minimum || code > 0x10FFFF)) good = false;
        if (!good) {
            out += "\\ufffd";
            ++i;
            continue;
        }
        if (IsHigh(code) || IsLow(code))
            AppendEscape(out, code);
        else
            AppendCharacter(out, code);
        i += length;
    }
}

bool AppendJsonNumber(std::string& out, double value) {
    if (!std::isfinite(value)) return false;
    char buffer[32];
    std::to_chars_result result = std::to_chars(buffer, buffer + sizeof buffer, value);
    if (result.ec != std::errc()) return false;
    out.append(buffer, result.ptr);
    return true;
}

} // namespace ombra_dump
