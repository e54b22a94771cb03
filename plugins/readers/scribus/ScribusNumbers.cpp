// Numbers in attribute values: plain decimals fast, everything else through
// from_chars; lists of numbers.
#include "ScribusInternal.h"

#include "ScribusDecimal.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

namespace scribus {
namespace detail {

namespace {

const char* SkipSpace(const char* p, const char* end) {
    while (p < end && (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r'))
        ++p;
    return p;
}

} // namespace

namespace {

// ReadNumber for what is more than a plain decimal.
__attribute__((noinline)) const char* ReadOther(const char* p, const char* end, double& out) {
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

double Number(Context& ctx, const Attrs& a, AttrId id, double fallback) {
    const char* text = a.Get(id);
    if (!text) return fallback;
    double v;
    if (ParseText(text, v)) return v;
    if (*text == 0) return fallback; // an empty value means "not set"
    std::string shown(text, std::min<std::size_t>(std::strlen(text), 40));
    ctx.Warn(Warning::Code::kBadNumber, std::string("attribute ") + Attrs::NameOf(id) +
                                            " has the unusable value \"" + shown + "\"; " +
                                            std::to_string(fallback) + " is used");
    return fallback;
}

namespace {

// A colour component: "0", or an unsigned decimal of up to 15 digits that
// ends the text, read two digits a step. Null for anything else, which
// ParseText then reads.
inline __attribute__((always_inline)) const char* ReadComponent(const char* p, double& out) {
    static const double kPow10[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                    1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    if (p[0] == '0' && p[1] == 0) {
        out = 0;
        return p + 1;
    }
    std::uint64_t digits = 0;
    const char* q = p;
    auto pairs = [&q, &digits] {
        for (;;) {
            unsigned d0 = static_cast<unsigned char>(q[0]) - unsigned('0');
            if (d0 >= 10) return;
            unsigned d1 = static_cast<unsigned char>(q[1]) - unsigned('0');
            if (d1 >= 10) {
                digits = digits * 10 + d0;
                ++q;
                return;
            }
            digits = digits * 100 + d0 * 10 + d1;
            q += 2;
        }
    };
    pairs();
    const std::size_t whole = static_cast<std::size_t>(q - p);
    std::size_t fraction = 0;
    if (*q == '.') {
        const char* const f = ++q;
        pairs();
        fraction = static_cast<std::size_t>(q - f);
    }
    if (whole + fraction - 1 >= 15 || *q != 0) return nullptr;
    const double v = static_cast<double>(static_cast<std::int64_t>(digits)) / kPow10[fraction];
    if (!InRange(v)) return nullptr;
    out = v;
    return q;
}

} // namespace

void Numbers(Context& ctx, const Attrs& a, const AttrId* ids, int count, double* out) {
    for (int i = 0; i < count; ++i) {
        const char* text = a.Get(ids[i]);
        double v = 0;
        if (text && !ReadComponent(text, v) && !ParseText(text, v))
            v = Number(ctx, a, ids[i], 0); // warns
        out[i] = v;
    }
}

void OptionalNumber(Context& ctx, const Attrs& a, AttrId id, std::optional<double>& field) {
    const char* text = a.Get(id);
    if (!text || !*text) return;
    double v;
    if (ParseText(text, v)) {
        field = v;
        return;
    }
    std::string shown(text, std::min<std::size_t>(std::strlen(text), 40));
    ctx.Warn(Warning::Code::kBadNumber, std::string("attribute ") + Attrs::NameOf(id) +
                                            " has the unusable value \"" + shown +
                                            "\"; it is ignored");
}

long long Integer(Context& ctx, const Attrs& a, AttrId id, long long fallback) {
    return static_cast<long long>(Number(ctx, a, id, static_cast<double>(fallback)));
}

long long Identifier(Context& ctx, const Attrs& a, AttrId id, long long fallback) {
    const char* text = a.Get(id);
    if (!text) return fallback;
    const char* end = text + std::strlen(text);
    const char* p = SkipSpace(text, end);
    long long v = 0;
    auto r = std::from_chars(p, end, v);
    if (r.ec == std::errc() && r.ptr != p && SkipSpace(r.ptr, end) == end) return v;
    return Integer(ctx, a, id, fallback); // written as a real, or unusable: warns
}

bool Flag(const Attrs& a, AttrId id, bool fallback) {
    const char* text = a.Get(id);
    if (!text || !*text) return fallback;
    double v;
    if (ParseText(text, v)) return v != 0;
    if (std::strcmp(text, "true") == 0) return true;
    if (std::strcmp(text, "false") == 0) return false;
    return fallback;
}

std::string String(const Attrs& a, AttrId id) {
    const char* text = a.Get(id);
    return text ? std::string(text) : std::string();
}

void NumberList(const char* text, std::vector<double>& out, std::size_t max) {
    if (!text) return;
    const char* end = text + std::strlen(text);
    const char* p = text;
    while (out.size() < max) {
        while (p < end && (*p == ' ' || *p == ',' || *p == '\t' || *p == '\n' || *p == '\r'))
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
