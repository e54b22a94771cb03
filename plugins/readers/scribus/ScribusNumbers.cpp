// Numbers in attribute values: plain decimals fast, everything else through
// from_chars; lists of numbers.
#include "ScribusInternal.h"

#include "ScribusDecimal.h"
#include "ScribusNumberReaders.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace scribus {
namespace detail {

namespace {

const char* SkipSpace(const char* p, const char* end) {
    while (p < end && (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r'))
        ++p;
    return p;
}

// A decimal of 16 to 19 digits ReadDecimal leaves, mostly 15 significant
// ones after a "0." ("0.392156862745098"): below 2^53 the digits are still
// an exact double, as is every power of ten up to 1e22, so one division is
// still correctly rounded. Null for anything else, exponents among it.
const char* ReadLongDecimal(const char* p, const char* end, double& out) {
    const bool negative = *p == '-';
    const char* q = p + (negative || *p == '+');
    std::uint64_t digits = 0;
    int count = 0, fraction = 0;
    bool point = false;
    for (; q < end; ++q) {
        const unsigned d = static_cast<unsigned char>(*q) - unsigned('0');
        if (d < 10) {
            if (++count > 19) return nullptr; // the digits would overflow
            digits = digits * 10 + d;
            fraction += point;
        } else if (*q == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (count == 0 || digits > (std::uint64_t(1) << 53)) return nullptr;
    if (q < end && (*q == 'e' || *q == 'E')) return nullptr;
    const double v = static_cast<double>(digits) / kDecimalPow10[fraction];
    out = negative ? -v : v;
    return q;
}

// ReadNumber for what is more than a plain decimal.
__attribute__((noinline)) const char* ReadOther(const char* p, const char* end, double& out) {
    if (const char* q = ReadLongDecimal(p, end, out)) return q;
    if (*p == '+') ++p;
    auto r = std::from_chars(p, end, out, std::chars_format::general);
    if (r.ec != std::errc() || r.ptr == p) return nullptr;
    return r.ptr;
}

} // namespace

const char* ReadNumber(const char* p, const char* end, double& out) {
    if (p >= end) return nullptr;
    if (const char* q = ReadDecimal(p, out)) return q;
    return ReadOther(p, end, out);
}

namespace {

// ParseDouble for a text that is more than a plain decimal.
__attribute__((noinline)) bool ParseOther(const char* text, double& out) {
    const char* end = text + std::strlen(text);
    const char* p = SkipSpace(text, end);
    double v;
    p = ReadNumber(p, end, v);
    if (!p || SkipSpace(p, end) != end || !InRange(v)) return false;
    out = v;
    return true;
}

// The number readers of attributes have it in them: a call less each.
inline __attribute__((always_inline)) bool ParseText(const char* text, double& out) {
    if (!text) return false;
    double v;
    if (const char* q = ReadDecimal(text, v)) { // the common case: nothing around the number
        if (*q == 0) {
            if (!InRange(v)) return false;
            out = v;
            return true;
        }
    }
    return ParseOther(text, out);
}

} // namespace

bool ParseDouble(const char* text, double& out) {
    return ParseText(text, out);
}

bool ParseInt(const char* text, long long& out) {
    double v;
    if (!ParseDouble(text, v)) return false;
    out = static_cast<long long>(v); // old files write some counts as reals
    return true;
}

namespace {

// What the number readers say about an unusable value, out of their way:
// the readers then need no frame of their own.
__attribute__((noinline, cold)) void WarnUnusable(Context& ctx, AttrId id, const char* text,
                                                  const std::string& outcome) {
    std::string shown(text, std::min<std::size_t>(std::strlen(text), 40));
    ctx.Warn(Warning::Code::kBadNumber, std::string("attribute ") + Attrs::NameOf(id) +
                                            " has the unusable value \"" + shown + "\"; " +
                                            outcome);
}

} // namespace

__attribute__((noinline)) double OtherNumber(Context& ctx, AttrId id, const char* text,
                                             double fallback) {
    double v;
    if (ParseText(text, v)) return v;
    if (*text == 0) return fallback; // an empty value means "not set"
    WarnUnusable(ctx, id, text, std::to_string(fallback) + " is used");
    return fallback;
}

double Number(Context& ctx, const Attrs& a, AttrId id, double fallback) {
    return InlineNumber(ctx, a, id, fallback);
}

namespace {

#if !defined(__SSE2__)
// Fifteen digits with a point among them and nothing else, sixteen bytes
// ("5.88235294117647", "13.7254901960784"): how palettes write nearly every
// component that is not a whole number. The digits are read as two words,
// the point taken out of the first; the quotient is ReadDecimal's. The
// text has kValuePadding readable bytes after its NUL.
inline __attribute__((always_inline)) bool SixteenByteDecimal(const char* text, double& out) {
    const std::uint64_t u0 = DigitWord(text), u1 = DigitWord(text + 8);
    const std::uint64_t m0 = NonDigits(u0);
    // The second word all digits and the text ending after it; one
    // non-digit in the first (a byte that carries flags the next as well).
    if ((NonDigits(u1) | static_cast<unsigned char>(text[16]) | (m0 & (m0 - 1))) != 0 || !m0)
        return false;
    const unsigned shift = static_cast<unsigned>(__builtin_ctzll(m0)) - 7; // 8 * its index
    if ((u0 >> shift & 0xFF) != ('.' ^ '0')) return false;
    const std::uint64_t before = (m0 >> 7) - 1;        // the bytes before the point
    const std::uint64_t after = u0 & ~((m0 << 1) - 1); // none when the point is last
    // A zero byte first, then the digits before the point and after it.
    const std::uint64_t first = (u0 & before) << 8 | after;
    const std::uint64_t digits = EightDigits(first) * 100000000u + EightDigits(u1);
    out = Quotient(digits, 15 - shift / 8, false);
    return true;
}
#endif

// ReadWholeDecimal within range.
inline __attribute__((always_inline)) bool ReadWholeNumber(const char* text, double& out) {
#if defined(__SSE2__)
    return ReadWholeDecimal(text, out) && InRange(out);
#else
    return SixteenByteDecimal(text, out);
#endif
}

} // namespace

// Colour components: mostly "0" or 15 digits ("5.88235294117647"), which
// are read whole.
void Numbers(Context& ctx, const Attrs& a, const AttrId* ids, int count, double* out) {
    for (int i = 0; i < count; ++i) {
        const char* text = a.Get(ids[i]);
        double v = 0;
        // "0" needs no reading.
        if (text && (text[0] != '0' || text[1]) && !ReadWholeNumber(text, v)) {
            const char* q = ReadDecimalLongFraction(text, v);
            if (!q || *q || !InRange(v)) v = OtherNumber(ctx, ids[i], text, 0); // may warn
        }
        out[i] = v;
    }
}

namespace {

__attribute__((noinline)) void ReadOptional(Context& ctx, AttrId id, const char* text,
                                            std::optional<double>& field) {
    double v;
    if (ParseText(text, v)) {
        field = v;
        return;
    }
    WarnUnusable(ctx, id, text, "it is ignored");
}

} // namespace

// Called for many attributes an element mostly does not have: only a plain
// decimal is read in line.
void OptionalNumber(Context& ctx, const Attrs& a, AttrId id, std::optional<double>& field) {
    const char* text = a.Get(id);
    if (!text || !*text) return;
    double v;
    if (PlainNumber(text, v))
        field = v;
    else
        ReadOptional(ctx, id, text, field);
}

long long Integer(Context& ctx, const Attrs& a, AttrId id, long long fallback) {
    return InlineInteger(ctx, a, id, fallback);
}

namespace {

__attribute__((noinline)) long long OtherIdentifier(Context& ctx, const Attrs& a, AttrId id,
                                                    const char* text, long long fallback) {
    const char* end = text + std::strlen(text);
    const char* p = SkipSpace(text, end);
    long long v = 0;
    auto r = std::from_chars(p, end, v);
    if (r.ec == std::errc() && r.ptr != p && SkipSpace(r.ptr, end) == end) return v;
    return Integer(ctx, a, id, fallback); // written as a real, or unusable: warns
}

} // namespace

long long Identifier(Context& ctx, const Attrs& a, AttrId id, long long fallback) {
    const char* text = a.Get(id);
    if (!text) return fallback;
    // Nearly all: up to 18 digits, maybe after a minus, and nothing else.
    const bool negative = *text == '-';
    const char* const digits = text + negative;
    std::uint64_t v = 0;
    std::size_t n = 0;
    for (unsigned d; (d = static_cast<unsigned char>(digits[n]) - unsigned('0')) < 10; ++n)
        v = v * 10 + d;
    if (!digits[n] && n - 1 < 18) {
        const auto value = static_cast<long long>(v);
        return negative ? -value : value;
    }
    return OtherIdentifier(ctx, a, id, text, fallback);
}

__attribute__((noinline)) bool OtherFlag(const char* text, bool fallback) {
    double v;
    if (ParseText(text, v)) return v != 0;
    if (std::strcmp(text, "true") == 0) return true;
    if (std::strcmp(text, "false") == 0) return false;
    return fallback;
}

bool Flag(const Attrs& a, AttrId id, bool fallback) {
    return InlineFlag(a, id, fallback);
}

std::string String(const Attrs& a, AttrId id) {
    const char* text = a.Get(id);
    return text ? std::string(text) : std::string();
}

// Words of a list NumberList makes room for at once.
constexpr std::size_t kListRoom = 1024;

void NumberList(const char* text, std::vector<double>& out, std::size_t max) {
    if (!text) return;
    const char* end = text + std::strlen(text);
    auto separator = [](char c) {
        return c == ' ' || c == ',' || c == '\t' || c == '\n' || c == '\r';
    };
    // Room for the words at once, mostly numbers each; a long list grows.
    std::size_t words = 0;
    for (const char* q = text; q < end && words < kListRoom; ++q)
        words += !separator(*q) && (q == text || separator(q[-1]));
    if (out.size() < max) out.reserve(out.size() + std::min(words, max - out.size()));
    const char* p = text;
    while (out.size() < max) {
        while (p < end && separator(*p))
            ++p;
        if (p >= end) break;
        double v;
        const char* next = ReadNumber(p, end, v);
        if (!next) { // skip a token that is not a number
            while (p < end && *p != ' ' && *p != ',')
                ++p;
            continue;
        }
        out.push_back(InRange(v) ? v : 0.0);
        p = next;
    }
}
} // namespace detail
} // namespace scribus
