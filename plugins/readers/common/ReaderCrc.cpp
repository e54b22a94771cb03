#include "ReaderCrc.h"

#include <zlib.h>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define OMBRA_CRC_FOLD 1
#endif

namespace obreader {

#ifdef OMBRA_CRC_FOLD
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

// 128 bits to 32 (Barrett), in the bit-reflected domain of the zip polynomial.
__attribute__((target("pclmul,sse4.1"))) std::uint32_t Reduce(__m128i x1, __m128i k3k4) {
    const __m128i k5 = _mm_set_epi64x(0, 0x0163cd6124);
    const __m128i poly = _mm_set_epi64x(0x01f7011641, 0x01db710641);
    // 128 bits to 64.
    const __m128i low32 = _mm_setr_epi32(~0, 0, ~0, 0);
    __m128i x2 = _mm_clmulepi64_si128(x1, k3k4, 0x10);
    x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), x2);
    x2 = _mm_srli_si128(x1, 4);
    x1 = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x1, low32), k5, 0x00), x2);
    // 64 bits to 32.
    x2 = _mm_clmulepi64_si128(_mm_and_si128(x1, low32), poly, 0x10);
    x2 = _mm_clmulepi64_si128(_mm_and_si128(x2, low32), poly, 0x00);
    x1 = _mm_xor_si128(x1, x2);
    return static_cast<std::uint32_t>(_mm_extract_epi32(x1, 1));
}

// The multipliers that fold a lane 512 bits (four lanes) and 128 bits ahead.
const std::int64_t kFold512Low = 0x0154442bd4, kFold512High = 0x01c6e41596;
const std::int64_t kFold128Low = 0x01751997d0, kFold128High = 0x00ccaa009e;

// Folds 64-byte blocks four lanes at a time, then the lanes into one, then
// reduces to 32 bits, all in the bit-reflected domain of the zip
// polynomial. crc is the running value as zlib keeps it inside (inverted);
// size is at least 64 and a multiple of 16.
__attribute__((target("pclmul,sse4.1"))) std::uint32_t Fold(const unsigned char* p,
                                                            std::size_t size, std::uint32_t crc) {
    const __m128i k1k2 = _mm_set_epi64x(kFold512High, kFold512Low);
    const __m128i k3k4 = _mm_set_epi64x(kFold128High, kFold128Low);
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
    return Reduce(x1, k3k4);
}

#define IDML_TARGET_512 "avx512f,avx512vl,vpclmulqdq,pclmul,sse4.1"

// Four lanes each times x^(distance), folded onto the data that far ahead.
__attribute__((target(IDML_TARGET_512))) inline __m512i FoldLanes(__m512i lanes, __m512i k,
                                                                  __m512i next) {
    return _mm512_ternarylogic_epi64(_mm512_clmulepi64_epi128(lanes, k, 0x00),
                                     _mm512_clmulepi64_epi128(lanes, k, 0x11), next, 0x96);
}

__attribute__((target(IDML_TARGET_512))) inline __m512i Load512(const unsigned char* at) {
    return _mm512_loadu_si512(at);
}

// Fold with four 512-bit registers, 256 bytes a step: size is at least 256
// and a multiple of 16.
__attribute__((target(IDML_TARGET_512))) std::uint32_t
Fold512(const unsigned char* p, std::size_t size, std::uint32_t crc) {
    const std::int64_t k2048Low = 0x011542778a, k2048High = 0x01322d1430;
    const __m512i k2048 = _mm512_set_epi64(k2048High, k2048Low, k2048High, k2048Low, k2048High,
                                           k2048Low, k2048High, k2048Low);
    const __m512i k512 = _mm512_set_epi64(kFold512High, kFold512Low, kFold512High, kFold512Low,
                                          kFold512High, kFold512Low, kFold512High, kFold512Low);
    const __m512i first =
        _mm512_inserti32x4(_mm512_setzero_si512(), _mm_cvtsi32_si128(static_cast<int>(crc)), 0);
    __m512i x0 = _mm512_xor_si512(Load512(p), first);
    __m512i x1 = Load512(p + 64), x2 = Load512(p + 128), x3 = Load512(p + 192);
    p += 256;
    size -= 256;
    for (; size >= 256; p += 256, size -= 256) {
        x0 = FoldLanes(x0, k2048, Load512(p));
        x1 = FoldLanes(x1, k2048, Load512(p + 64));
        x2 = FoldLanes(x2, k2048, Load512(p + 128));
        x3 = FoldLanes(x3, k2048, Load512(p + 192));
    }
    x1 = FoldLanes(x0, k512, x1);
    x2 = FoldLanes(x1, k512, x2);
    x3 = FoldLanes(x2, k512, x3);
    for (; size >= 64; p += 64, size -= 64)
        x3 = FoldLanes(x3, k512, Load512(p));
    const __m128i k3k4 = _mm_set_epi64x(kFold128High, kFold128Low);
    unsigned char lanes[64];
    _mm512_storeu_si512(lanes, x3);
    __m128i x = Load(lanes);
    for (int lane = 1; lane < 4; ++lane)
        x = FoldLane(x, k3k4, Load(lanes + 16 * lane));
    for (; size >= 16; p += 16, size -= 16)
        x = FoldLane(x, k3k4, Load(p));
    return Reduce(x, k3k4);
}

#undef IDML_TARGET_512

} // namespace
#endif

CrcPath WidestCrcPath() {
#ifdef OMBRA_CRC_FOLD
    static const CrcPath widest =
        __builtin_cpu_supports("vpclmulqdq") && __builtin_cpu_supports("avx512f") &&
                __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("pclmul") &&
                __builtin_cpu_supports("sse4.1")
            ? CrcPath::kFold512
        : __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1") ? CrcPath::kFold128
                                                                               : CrcPath::kZlib;
    return widest;
#else
    return CrcPath::kZlib;
#endif
}

std::uint32_t Crc32(std::uint32_t crc, const unsigned char* data, std::size_t size,
                    CrcPath widest) {
    if (widest > WidestCrcPath()) widest = WidestCrcPath();
#ifdef OMBRA_CRC_FOLD
    if (widest >= CrcPath::kFold128 && size >= 64) {
        const std::size_t folded = size & ~static_cast<std::size_t>(15);
        crc = ~(widest == CrcPath::kFold512 && size >= 256 ? Fold512(data, folded, ~crc)
                                                           : Fold(data, folded, ~crc));
        data += folded;
        size -= folded;
    }
#endif
    return static_cast<std::uint32_t>(crc32_z(crc, data, size));
}

} // namespace obreader
