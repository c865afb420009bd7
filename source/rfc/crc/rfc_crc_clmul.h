// The carry-less-multiply steps both vector kernels share: loading a lane
// in its domain, folding a lane forward, reducing a lane to the register,
// and feeding fewer than sixteen bytes by Barrett reduction. Compiled for
// AVX with PCLMULQDQ (VEX encodings); the AVX-512 kernel, a superset,
// inlines them too. Template argument R selects the reflected domain.
#ifndef RFC_CRC_CLMUL_H
#define RFC_CRC_CLMUL_H

#include "rfc_crc_internal.h"

#include <immintrin.h>

#include <cstring>

#define RFC___CRC_TARGET_AVX __attribute__((target("avx,pclmul")))

namespace rfc::crc::clmul {

RFC___CRC_TARGET_AVX inline Product mul(std::uint64_t a, std::uint64_t b)
{
    __m128i p = _mm_clmulepi64_si128(_mm_cvtsi64_si128(std::int64_t(a)), _mm_cvtsi64_si128(std::int64_t(b)), 0);
    return { std::uint64_t(_mm_cvtsi128_si64(p)), std::uint64_t(_mm_extract_epi64(p, 1)) };
}

// a x^64 mod G in the domain, by Barrett reduction: the quotient is
// q = a + floor(a mu / x^64), the remainder the low 64 terms of q poly.
// In the reflected domain each product comes out multiplied by x: the
// quotient's correction sits one bit lower and the remainder straddles the
// two halves, one bit off.
template <bool R>
RFC___CRC_TARGET_AVX inline std::uint64_t barrett(std::uint64_t a, const Constants &k)
{
    if constexpr (R) {
        std::uint64_t q = a ^ (mul(a, k.mu).low << 1);
        Product u = mul(q, k.poly);
        return u.high << 1 | u.low >> 63;
    } else {
        std::uint64_t q = a ^ mul(a, k.mu).high;
        return mul(q, k.poly).low;
    }
}

// The register moved over count zero bytes: reg x^(8 count) mod G. The
// power comes from square-and-multiply on the normal form, where each
// multiplication is by x alone (a shift); about twenty squarings.
template <bool R>
RFC___CRC_TARGET_AVX inline std::uint64_t shiftBytes(std::uint64_t reg, std::size_t count, const Constants &k)
{
    if (!count)
        return reg;
    const Modulus<Product (*)(std::uint64_t, std::uint64_t)> g { R ? mirror(k.poly) : k.poly,
        R ? mirror(k.mu) : k.mu, mul };
    const std::uint64_t e = 8 * std::uint64_t(count);
    std::uint64_t power = 1;
    for (int bit = 63 - __builtin_clzll(e); bit >= 0; --bit) {
        power = g.times(power, power);
        if ((e >> bit) & 1)
            power = g.timesX(power);
    }
    const std::uint64_t moved = g.times(R ? mirror(reg) : reg, power);
    return R ? mirror(moved) : moved;
}

// n bytes (1 to 8) from p as a little-endian integer, without reading
// outside them: two overlapping loads of the same bytes.
inline std::uint64_t loadPartial(const std::uint8_t *p, std::size_t n)
{
    if (n >= 4) {
        std::uint32_t a, b;
        std::memcpy(&a, p, 4);
        std::memcpy(&b, p + n - 4, 4);
        return a | std::uint64_t(b) << (8 * (n - 4));
    }
    if (n >= 2) {
        std::uint16_t a, b;
        std::memcpy(&a, p, 2);
        std::memcpy(&b, p + n - 2, 2);
        return a | std::uint64_t(b) << (8 * (n - 2));
    }
    return p[0];
}

// Feeds n bytes (1 to 8): with s = 8n the register becomes
// (reg x^s + M x^64) mod G, where Y = reg x^s + M x^64 has fewer than 128
// terms: its high half goes through Barrett reduction, its low half is
// added.
template <bool R>
RFC___CRC_TARGET_AVX inline std::uint64_t feedWord(std::uint64_t reg, const std::uint8_t *p, std::size_t n,
    const Constants &k)
{
    const std::uint64_t bytes = loadPartial(p, n);
    const unsigned s = unsigned(8 * n);
    std::uint64_t high, low;
    if (s == 64) {
        high = reg ^ (R ? bytes : __builtin_bswap64(bytes));
        low = 0;
    } else if constexpr (R) {
        high = (reg ^ bytes) << (64 - s);
        low = reg >> s;
    } else {
        high = reg >> (64 - s) ^ __builtin_bswap64(bytes) >> (64 - s);
        low = reg << s;
    }
    return low ^ barrett<R>(high, k);
}

// Feeds n bytes (0 to 15) a word at a time.
template <bool R>
RFC___CRC_TARGET_AVX inline std::uint64_t feedShort(std::uint64_t reg, const std::uint8_t *p, std::size_t n,
    const Constants &k)
{
    if (n > 8) {
        reg = feedWord<R>(reg, p, 8, k);
        p += 8;
        n -= 8;
    }
    return n ? feedWord<R>(reg, p, n, k) : reg;
}

// Sixteen bytes as a lane in the domain: the normal domain byte-swaps them
// so that the first byte holds the highest terms.
template <bool R>
RFC___CRC_TARGET_AVX inline __m128i load(const std::uint8_t *p)
{
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
    if constexpr (!R)
        v = _mm_shuffle_epi8(v, _mm_set_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15));
    return v;
}

// The register as a lane to add to the first lane of a message: it belongs
// on the lane's highest 64 terms (qword 1 normal, qword 0 reflected).
template <bool R>
RFC___CRC_TARGET_AVX inline __m128i registerLane(std::uint64_t reg)
{
    return R ? _mm_cvtsi64_si128(std::int64_t(reg)) : _mm_set_epi64x(std::int64_t(reg), 0);
}

RFC___CRC_TARGET_AVX inline __m128i pair(const std::uint64_t (&constants)[2])
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i *>(constants));
}

// The lane x moved forward by the distance of the fold pair k.
RFC___CRC_TARGET_AVX inline __m128i fold(__m128i x, __m128i k)
{
    return _mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_clmulepi64_si128(x, k, 0x11));
}

// The register after a lane X = H x^64 + L: X x^64 mod G. T = H (x^128 mod
// G) + L x^64 has 128 terms; its high half goes through Barrett reduction
// as in barrett(), here without leaving the vector registers.
template <bool R>
RFC___CRC_TARGET_AVX inline std::uint64_t reduce(__m128i x, const Constants &k)
{
    const __m128i reduceMu = _mm_set_epi64x(std::int64_t(k.mu), std::int64_t(k.reduce));
    const __m128i poly = _mm_cvtsi64_si128(std::int64_t(k.poly));
    if constexpr (R) {
        // T: qword 0 the mirror of its high half, qword 1 of its low half.
        __m128i t = _mm_xor_si128(_mm_clmulepi64_si128(x, reduceMu, 0x00), _mm_srli_si128(x, 8));
        __m128i q = _mm_xor_si128(t, _mm_slli_epi64(_mm_clmulepi64_si128(t, reduceMu, 0x10), 1));
        __m128i u = _mm_clmulepi64_si128(q, poly, 0x00);
        // u shifted up by one bit as a 128-bit value; its qword 1 is the remainder.
        __m128i shifted = _mm_or_si128(_mm_slli_epi64(u, 1), _mm_srli_epi64(_mm_slli_si128(u, 8), 63));
        return std::uint64_t(_mm_extract_epi64(_mm_xor_si128(t, shifted), 1));
    } else {
        // T: qword 1 its high half, qword 0 its low half.
        __m128i t = _mm_xor_si128(_mm_clmulepi64_si128(x, reduceMu, 0x01), _mm_slli_si128(x, 8));
        __m128i q = _mm_xor_si128(t, _mm_clmulepi64_si128(t, reduceMu, 0x11));
        __m128i u = _mm_clmulepi64_si128(q, poly, 0x01);
        return std::uint64_t(_mm_cvtsi128_si64(_mm_xor_si128(t, u)));
    }
}

// Byte shuffles that move a lane by t bytes, and byte masks that keep t of
// its bytes, read at an offset depending on t.
alignas(16) inline constexpr std::uint8_t shuffles[48] = { 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80,
    0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 0x80, 0x80, 0x80,
    0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80 };
alignas(16) inline constexpr std::uint8_t keeps[48] = { 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF };

RFC___CRC_TARGET_AVX inline __m128i at(const std::uint8_t *table, std::size_t offset)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i *>(table + offset));
}

// The lane x followed by the last t bytes (1 to 15) before end, of which
// sixteen may be read: X x^(8t) + C has 128 + 8t terms. Its low 128 are
// the last sixteen bytes of the stream so far, X's bytes moved by t and
// the t new ones; the t bytes moved out (O, below x^(8t)) stand x^128
// higher and fold forward by sixteen bytes.
template <bool R>
RFC___CRC_TARGET_AVX inline __m128i foldTail(__m128i x, const std::uint8_t *end, std::size_t t, __m128i k16)
{
    // The normal domain holds the first byte highest (moving up by t bytes
    // is a shift towards byte 15), the reflected domain in memory order.
    const std::size_t o = R ? t : 16 - t;
    const __m128i moved = _mm_shuffle_epi8(x, at(shuffles, R ? 16 + o : o));
    const __m128i out = _mm_shuffle_epi8(x, at(shuffles, R ? o : 16 + o));
    const __m128i added = _mm_and_si128(load<R>(end - 16), at(keeps, R ? 16 + t : 16 - t));
    return _mm_xor_si128(_mm_xor_si128(moved, added), fold(out, k16));
}

// Folds the remaining n bytes at p into the lane x, which holds at least
// the sixteen bytes before p, and reduces it to the register.
template <bool R>
RFC___CRC_TARGET_AVX inline std::uint64_t finish(__m128i x, const std::uint8_t *p, std::size_t n,
    const Constants &k)
{
    const __m128i k16 = pair(k.fold16);
    for (; n >= 16; p += 16, n -= 16)
        x = _mm_xor_si128(fold(x, k16), load<R>(p));
    if (n)
        x = foldTail<R>(x, p + n, n, k16);
    return reduce<R>(x, k);
}

} // namespace rfc::crc::clmul

#endif
