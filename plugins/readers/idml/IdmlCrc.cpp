#include "IdmlCrc.h"

#include <zlib.h>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define IDML_CRC_FOLD 1
#endif

namespace idml {

#ifdef IDML_CRC_FOLD
namespace {

__m128i Load(const unsigned char* at) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}

// One lane times x^(distance) folded onto the data that distance ahead.
__attribute__((target("pclmul,sse4.1"))) inline __m128i FoldLane(__m128i lane, __m128i k,
                                                                 __m128i next) {
    return _mm_xor_si128(
        _mm_xor_si128(_mm_clmulepi64_si128(lane, k, 0x00), _mm_clmulepi64_si128(lane, k, 0x11)),
        next);
}

// Folds 64-byte blocks four lanes at a time, then the lanes into one, then
// reduces to 32 bits (Barrett), all in the bit-reflected domain of the zip
// polynomial. crc is the running value as zlib keeps it inside (inverted);
// size is at least 64 and a multiple of 16.
__attribute__((target("pclmul,sse4.1"))) std::uint32_t Fold(const unsigned char* p,
                                                            std::size_t size, std::uint32_t crc) {
    const __m128i k1k2 = _mm_set_epi64x(0x01c6e41596, 0x0154442bd4);
    const __m128i k3k4 = _mm_set_epi64x(0x00ccaa009e, 0x01751997d0);
    const __m128i k5 = _mm_set_epi64x(0, 0x0163cd6124);
    const __m128i poly = _mm_set_epi64x(0x01f7011641, 0x01db710641);
    __m128i x1 = _mm_xor_si128(Load(p), _mm_cvtsi32_si128(static_cast<int>(crc)));
    __m128i x2 = Load(p + 16), x3 = Load(p + 32), x4 = Load(p + 48);
    p += 64;
    size -= 64;
    for (; size >= 64; p += 64, size -= 64) {
        x1 = FoldLane(x1, k1k2, Load(p));
        x2 = FoldLane(x2, k1k2, Load(p + 16));
        x3 = FoldLane(x3, k1k2, Load(p + 32));
        x4 = FoldLane(x4, k1k2, Load(p + 48));
    }
    x1 = FoldLane(x1, k3k4, x2);
    x1 = FoldLane(x1, k3k4, x3);
    x1 = FoldLane(x1, k3k4, x4);
    for (; size >= 16; p += 16, size -= 16)
        x1 = FoldLane(x1, k3k4, Load(p));
    // 128 bits to 64.
    const __m128i low32 = _mm_setr_epi32(~0, 0, ~0, 0);
    x2 = _mm_clmulepi64_si128(x1, k3k4, 0x10);
    x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), x2);
    x2 = _mm_srli_si128(x1, 4);
    x1 = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x1, low32), k5, 0x00), x2);
    // 64 bits to 32.
    x2 = _mm_clmulepi64_si128(_mm_and_si128(x1, low32), poly, 0x10);
    x2 = _mm_clmulepi64_si128(_mm_and_si128(x2, low32), poly, 0x00);
    x1 = _mm_xor_si128(x1, x2);
    return static_cast<std::uint32_t>(_mm_extract_epi32(x1, 1));
}

bool CanFold() {
    static const bool can = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
    return can;
}

} // namespace
#endif

std::uint32_t Crc32(const unsigned char* data, std::size_t size) {
    std::uint32_t crc = 0;
#ifdef IDML_CRC_FOLD
    if (size >= 64 && CanFold()) {
        const std::size_t folded = size & ~static_cast<std::size_t>(15);
        crc = ~Fold(data, folded, ~crc);
        data += folded;
        size -= folded;
    }
#endif
    return static_cast<std::uint32_t>(crc32_z(crc, data, size));
}

} // namespace idml
