// The CRC kernel for processors with AVX and PCLMULQDQ: eight independent
// 128-bit accumulators over blocks of 128 bytes, each folded forward by 128
// bytes per block, so that eight products chains run side by side instead
// of one. All vector code is VEX-encoded and uses no upper halves, so it
// pays no transition penalty after code that leaves them dirty.
#if defined(__x86_64__)

#include "rfc_crc_clmul.h"

namespace rfc::crc {
namespace {

using namespace clmul;

constexpr int lanes = 8;
constexpr std::size_t block = 16 * lanes;

template <bool R>
RFC___CRC_TARGET_AVX std::uint64_t feedAvx(std::uint64_t reg, const std::uint8_t *p, std::size_t n,
    const Constants &k)
{
    if (n < 16)
        return feedShort<R>(reg, p, n, k);
    __m128i x;
    if (n >= block) {
        __m128i acc[lanes];
        for (int i = 0; i < lanes; ++i)
            acc[i] = load<R>(p + 16 * i);
        acc[0] = _mm_xor_si128(acc[0], registerLane<R>(reg));
        p += block;
        n -= block;
        const __m128i k128 = pair(k.fold128);
        for (; n >= block; p += block, n -= block) {
            for (int i = 0; i < lanes; ++i)
                acc[i] = _mm_xor_si128(fold(acc[i], k128), load<R>(p + 16 * i));
        }
        // Lane i stands 16 (7 - i) bytes before the end of the last block:
        // fold the first half onto the second, then quarters, then pairs.
        const __m128i k64 = pair(k.fold64), k32 = pair(k.fold32), k16 = pair(k.fold16);
        for (int i = 0; i < 4; ++i)
            acc[i + 4] = _mm_xor_si128(acc[i + 4], fold(acc[i], k64));
        acc[6] = _mm_xor_si128(acc[6], fold(acc[4], k32));
        acc[7] = _mm_xor_si128(acc[7], fold(acc[5], k32));
        x = _mm_xor_si128(acc[7], fold(acc[6], k16));
    } else {
        x = _mm_xor_si128(load<R>(p), registerLane<R>(reg));
        p += 16;
        n -= 16;
    }
    return finish<R>(x, p, n, k);
}

} // namespace

const Implementation implementationAvx { "avx", feedAvx<false>, feedAvx<true>, nullptr, nullptr };

RFC___CRC_TARGET_AVX Constants deriveConstantsClmul(std::uint64_t poly64, bool reflected)
{
    return deriveConstants(poly64, reflected, mul);
}

RFC___CRC_TARGET_AVX Product clmulInstruction(std::uint64_t a, std::uint64_t b)
{
    return mul(a, b);
}

} // namespace rfc::crc

#else // not x86-64: the engine never chooses this implementation

#include "rfc_crc_internal.h"

namespace rfc::crc {

const Implementation implementationAvx { "avx", nullptr, nullptr, nullptr, nullptr };

Constants deriveConstantsClmul(std::uint64_t poly64, bool reflected)
{
    return deriveConstants(poly64, reflected, clmulPortable);
}

Product clmulInstruction(std::uint64_t a, std::uint64_t b)
{
    return clmulPortable(a, b);
}

} // namespace rfc::crc

#endif
