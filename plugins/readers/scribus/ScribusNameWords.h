// Names as whole words: tables of names hash and compare them a word at a
// time rather than a byte at a time.
#ifndef OMBRA_SCRIBUS_NAME_WORDS_H
#define OMBRA_SCRIBUS_NAME_WORDS_H

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace scribus {
namespace detail {

/// The first and the last (up to) eight bytes of [s, s + n). Together with n
/// they tell every name of up to 16 bytes from every other.
inline void NameWords(const char* s, std::size_t n, std::uint64_t& first, std::uint64_t& last) {
    first = last = 0;
    if (n >= 8) {
        std::memcpy(&first, s, 8);
        std::memcpy(&last, s + n - 8, 8);
    } else if (n >= 4) {
        std::uint32_t a, b;
        std::memcpy(&a, s, 4);
        std::memcpy(&b, s + n - 4, 4);
        first = a;
        last = b;
    } else {
        for (std::size_t i = 0; i < n; ++i)
            first = first << 8 | static_cast<unsigned char>(s[i]);
    }
}

} // namespace detail
} // namespace scribus

#endif
