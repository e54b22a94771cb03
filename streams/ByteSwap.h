// Reversing the bytes of whole arrays of 16- and 32-bit values: 32 bytes a
// step where the processor has AVX2, 16 with SSE2 (always there on x86-64),
// one value a step elsewhere.
#ifndef OMBRA_STREAMS_BYTESWAP_H
#define OMBRA_STREAMS_BYTESWAP_H

#include <cstddef>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__)
#include <immintrin.h>
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

#if defined(__x86_64__)
// Where the processor has them, one byte shuffle reverses 16 or 32 bytes.
template <int kWidth>
__attribute__((target("avx2"))) inline std::size_t
ShuffleAvx2(unsigned char* out, const unsigned char* in, std::size_t bytes) {
    const __m256i order =
        kWidth == 2 ? _mm256_setr_epi8(1, 0, 3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14, 1, 0,
                                       3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14)
                    : _mm256_setr_epi8(3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12, 3, 2,
                                       1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12);
    std::size_t done = 0;
    for (; done + 32 <= bytes; done += 32) {
        __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + done));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + done), _mm256_shuffle_epi8(v, order));
    }
    return done;
}

inline bool HasAvx2() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}
#endif

template <typename T> inline void SwapCopy(T* dst, const T* src, std::size_t count) {
    static_assert(sizeof(T) == 2 || sizeof(T) == 4, "16- and 32-bit values");
    std::size_t done = 0; // values
#if defined(__x86_64__)
    if (HasAvx2()) {
        done =
            ShuffleAvx2<sizeof(T)>(reinterpret_cast<unsigned char*>(dst),
                                   reinterpret_cast<const unsigned char*>(src), count * sizeof(T)) /
            sizeof(T);
    }
#endif
    if (sizeof(T) == 2) {
        SwapCopy16(dst + done, src + done, count - done);
    } else {
        SwapCopy32(dst + done, src + done, count - done);
    }
}

} // namespace ombra_detail

#endif
