// The plain decimal reader, in line where numbers are read by the thousand
// (attribute values, outlines).
#ifndef OMBRA_SCRIBUS_DECIMAL_H
#define OMBRA_SCRIBUS_DECIMAL_H

#include <cstddef>
#include <cstdint>

namespace scribus {
namespace detail {

// Every power of ten up to 1e22 is an exact double.
inline constexpr double kDecimalPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                           1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                           1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// Plain decimals ("-12.345") make up nearly all numbers in these files.
// With at most 15 significant digits both the digits and the power of ten
// are exact doubles, so one division gives the correctly rounded value.
// The text must end with a NUL (all texts here do), so the scan needs no
// bounds checks: a NUL is neither a digit nor a point. Null for anything
// else (no digits, more than 15, an exponent).
inline __attribute__((always_inline)) const char* ReadDecimal(const char* p, double& out) {
    const bool negative = *p == '-';
    const char* q = p + (negative || *p == '+');
    const char* const start = q;
    std::uint64_t digits = 0;
    unsigned d = static_cast<unsigned char>(*q) - unsigned('0');
    for (; d < 10; d = static_cast<unsigned char>(*++q) - unsigned('0'))
        digits = digits * 10 + d;
    std::size_t count = static_cast<std::size_t>(q - start);
    std::size_t fraction = 0;
    if (d == unsigned('.') - unsigned('0')) {
        // Counted from start, not from the point: the loop then keeps no
        // second pointer.
        const std::size_t whole = count;
        for (d = static_cast<unsigned char>(*++q) - unsigned('0'); d < 10;
             d = static_cast<unsigned char>(*++q) - unsigned('0'))
            digits = digits * 10 + d;
        count = static_cast<std::size_t>(q - start) - 1;
        fraction = count - whole;
    }
    if (count - 1 >= 15) return nullptr; // no digits, or too many
    // d is what follows less '0': an exponent, 'e' or 'E', is no plain
    // decimal; after a number 'i' and 'n' read the same either way.
    if ((d | 0x20) == unsigned('e') - unsigned('0')) return nullptr;
    const double v =
        static_cast<double>(static_cast<std::int64_t>(digits)) / kDecimalPow10[fraction];
    out = negative ? -v : v;
    return q;
}

} // namespace detail
} // namespace scribus

#endif
