// The CRC kernel for processors with AVX-512 and VPCLMULQDQ: four 512-bit
// accumulators (sixteen 128-bit lanes) over blocks of 256 bytes, folded
// forward by 256 bytes per block. Inputs of 64 to 255 bytes use one 512-bit
// accumulator; shorter ones the 128-bit steps shared with the AVX kernel.
// The compiler clears the upper register halves (vzeroupper) on return.
#if defined(__x86_64__)

#include "rfc_crc_clmul.h"

#define RFC___CRC_TARGET_AVX512 __attribute__((target("avx512f,avx512bw,avx512vl,vpclmulqdq,avx2,avx,pclmul")))

namespace rfc::crc {
namespace {

using namespace clmul;

constexpr std::size_t block = 256;

template <bool R>
RFC___CRC_TARGET_AVX512 inline __m512i load512(const std::uint8_t *p)
{
    __m512i v = _mm512_loadu_si512(p);
    if constexpr (!R)
        v = _mm512_shuffle_epi8(v, _mm512_broadcast_i32x4(
            _mm_set_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15)));
    return v;
}

RFC___CRC_TARGET_AVX512 inline __m512i pair512(const std::uint64_t (&constants)[2])
{
    return _mm512_broadcast_i32x4(pair(constants));
}

// The lanes of x folded forward by the distance of k, plus the lanes of y:
// one three-way XOR (truth table 0x96).
RFC___CRC_TARGET_AVX512 inline __m512i fold512(__m512i x, __m512i k, __m512i y)
{
    return _mm512_ternarylogic_epi64(_mm512_clmulepi64_epi128(x, k, 0x00), _mm512_clmulepi64_epi128(x, k, 0x11), y,
        0x96);
}

template <bool R>
RFC___CRC_TARGET_AVX512 std::uint64_t feedAvx512(std::uint64_t reg, const std::uint8_t *p, std::size_t n,
    const Constants &k)
{
    if (n < 64) {
        if (n < 16)
            return feedShort<R>(reg, p, n, k);
        __m128i x = _mm_xor_si128(load<R>(p), registerLane<R>(reg));
        return finish<R>(x, p + 16, n - 16, k);
    }
    const __m512i first = _mm512_inserti32x4(_mm512_setzero_si512(), registerLane<R>(reg), 0);
    const __m512i k64 = pair512(k.fold64);
    __m512i z;
    if (n >= block) {
        __m512i a0 = _mm512_xor_si512(load512<R>(p), first);
        __m512i a1 = load512<R>(p + 64), a2 = load512<R>(p + 128), a3 = load512<R>(p + 192);
        p += block;
        n -= block;
        const __m512i k256 = pair512(k.fold256);
        for (; n >= block; p += block, n -= block) {
            a0 = fold512(a0, k256, load512<R>(p));
            a1 = fold512(a1, k256, load512<R>(p + 64));
            a2 = fold512(a2, k256, load512<R>(p + 128));
            a3 = fold512(a3, k256, load512<R>(p + 192));
        }
        // Block j of the four stands 64 (3 - j) bytes before the end: all
        // three move there at once.
        z = fold512(a0, pair512(k.fold192), fold512(a1, pair512(k.fold128), fold512(a2, k64, a3)));
    } else {
        z = _mm512_xor_si512(load512<R>(p), first);
        p += 64;
        n -= 64;
    }
    for (; n >= 64; p += 64, n -= 64)
        z = fold512(z, k64, load512<R>(p));
    // The four lanes stand 48, 32, 16 and 0 bytes before the end: each
    // moves there by its own pair (the last by none, then added as it is),
    // and the four are added.
    z = fold512(z, _mm512_loadu_si512(k.fold48), _mm512_maskz_mov_epi64(0xC0, z));
    __m256i y = _mm256_xor_si256(_mm512_extracti64x4_epi64(z, 1), _mm512_castsi512_si256(z));
    __m128i x = _mm_xor_si128(_mm256_extracti128_si256(y, 1), _mm256_castsi256_si128(y));
    return finish<R>(x, p, n, k);
}

} // namespace

const Implementation implementationAvx512 { "avx512", feedAvx512<false>, feedAvx512<true> };

} // namespace rfc::crc

#else // not x86-64: the engine never chooses this implementation

#include "rfc_crc_internal.h"

namespace rfc::crc {

const Implementation implementationAvx512 { "avx512", nullptr, nullptr };

} // namespace rfc::crc

#endif
