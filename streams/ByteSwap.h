// Reversing the bytes of whole arrays of 16- and 32-bit values: 16 bytes a
// step with SSE2 (always there on x86-64), one value a step elsewhere.
#ifndef OMBRA_STREAMS_BYTESWAP_H
#define OMBRA_STREAMS_BYTESWAP_H

#include <cstddef>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace ombra_detail {

/// dst[i] = src[i] with its two bytes exchanged; dst may be src.
inline void SwapCopy16(void* dst, const void* src, std::size_t count) {
    auto* out = static_cast<unsigned char*>(dst);
    auto* in = static_cast<const unsigned char*>(src);
    std::size_t i = 0;
#if defined(__SSE2__)
    for (; i + 8 <= count; i += 8) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 2 * i));
        v = _mm_or_si128(_mm_slli_epi16(v, 8), _mm_srli_epi16(v, 8));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * i), v);
    }
#endif
    for (; i < count; ++i) {
        unsigned short v;
        std::memcpy(&v, in + 2 * i, 2);
        v = __builtin_bswap16(v);
        std::memcpy(out + 2 * i, &v, 2);
    }
}

/// dst[i] = src[i] with its four bytes reversed; dst may be src.
inline void SwapCopy32(void* dst, const void* src, std::size_t count) {
    auto* out = static_cast<unsigned char*>(dst);
    auto* in = static_cast<const unsigned char*>(src);
    std::size_t i = 0;
#if defined(__SSE2__)
    for (; i + 4 <= count; i += 4) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 4 * i));
        // Exchange the halves of each value, then the bytes of each half.
        v = _mm_shufflehi_epi16(_mm_shufflelo_epi16(v, 0xB1), 0xB1);
        v = _mm_or_si128(_mm_slli_epi16(v, 8), _mm_srli_epi16(v, 8));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * i), v);
    }
#endif
    for (; i < count; ++i) {
        unsigned int v;
        std::memcpy(&v, in + 4 * i, 4);
        v = __builtin_bswap32(v);
        std::memcpy(out + 4 * i, &v, 4);
    }
}

template <typename T> inline void SwapCopy(T* dst, const T* src, std::size_t count) {
    static_assert(sizeof(T) == 2 || sizeof(T) == 4, "16- and 32-bit values");
    if (sizeof(T) == 2) {
        SwapCopy16(dst, src, count);
    } else {
        SwapCopy32(dst, src, count);
    }
}

} // namespace ombra_detail

#endif
