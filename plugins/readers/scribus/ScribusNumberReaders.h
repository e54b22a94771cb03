// The attribute number readers in line, for the readers that call them by
// the dozen per element (page items); ScribusNumbers.cpp has them out of line.
#ifndef OMBRA_SCRIBUS_NUMBER_READERS_H
#define OMBRA_SCRIBUS_NUMBER_READERS_H

#include "ScribusDecimal.h"
#include "ScribusInternal.h"

namespace scribus {
namespace detail {

/// Number for a value that is not a plain decimal (may warn).
double OtherNumber(Context& ctx, AttrId id, const char* text, double fallback);
/// Flag for a value that is not a plain decimal.
bool OtherFlag(const char* text, bool fallback);

/// A plain decimal that is the whole text, within +-1e9: nearly every value.
/// One digit alone ("0", "1") is the most common of them; most others are
/// read whole, without a branch on their digits.
inline __attribute__((always_inline)) bool PlainNumber(const char* text, double& out) {
    const unsigned digit = static_cast<unsigned char>(text[0]) - unsigned('0');
    if (digit < 10 && !text[1]) {
        out = static_cast<double>(static_cast<int>(digit));
        return true;
    }
    double v;
#if defined(__SSE2__)
    if (ReadWholeDecimal(text, v)) {
        if (!InRange(v)) return false;
        out = v;
        return true;
    }
#endif
    const char* q = ReadDecimal(text, v);
    if (!q || *q || !InRange(v)) return false;
    out = v;
    return true;
}

inline __attribute__((always_inline)) double InlineNumber(Context& ctx, const Attrs& a, AttrId id,
                                                          double fallback) {
    const char* text = a.Get(id);
    if (!text) return fallback;
    double v;
    if (PlainNumber(text, v)) return v;
    return OtherNumber(ctx, id, text, fallback);
}

inline __attribute__((always_inline)) long long InlineInteger(Context& ctx, const Attrs& a,
                                                              AttrId id, long long fallback) {
    return static_cast<long long>(InlineNumber(ctx, a, id, static_cast<double>(fallback)));
}

inline __attribute__((always_inline)) bool InlineFlag(const Attrs& a, AttrId id, bool fallback) {
    const char* text = a.Get(id);
    if (!text || !*text) return fallback;
    double v;
    if (PlainNumber(text, v)) return v != 0;
    return OtherFlag(text, fallback);
}

} // namespace detail
} // namespace scribus

#endif
