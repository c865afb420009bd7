// Internal declarations of the CRC engine: the carry-less-multiply model of
// a CRC, its per-model constants and the kernels that use them.
//
// Every model is computed as a 64-bit CRC. A register of width w is scaled
// into 64 bits: with the generator G = x^64 + (poly << (64 - w)), the scaled
// register is the w-bit one times x^(64 - w), because
// M x^64 mod (P x^(64-w)) = x^(64-w) (M x^w mod P). Models with reflectIn
// run in the reflected domain, where bit j of a 64-bit word is the
// coefficient of x^(63-j) and bytes enter lowest bit first, so input needs
// no mirroring; the others run in the normal domain, where bit j is the
// coefficient of x^j and each 16-byte lane is byte-swapped on load.
//
// Domain register of a model (value is the non-reflected w-bit register):
// normal domain value << (64 - w), reflected domain the w-bit mirror of
// value (the reflected scaled register has the same low w bits).
#ifndef RFC_CRC_INTERNAL_H
#define RFC_CRC_INTERNAL_H

#include "rfc_crc.h"
#include "rfc_crc_catalogue.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace rfc::crc {

// The 128-bit carry-less product of two 64-bit polynomials.
struct Product {
    std::uint64_t low, high;
};

// The carry-less product without the instruction, usable at compile time.
constexpr Product clmulPortable(std::uint64_t a, std::uint64_t b)
{
    Product r { 0, 0 };
    for (int i = 0; i < 64; ++i) {
        if ((b >> i) & 1) {
            r.low ^= a << i;
            if (i)
                r.high ^= a >> (64 - i);
        }
    }
    return r;
}

// The low width bits of x in reverse order (the mirror over width bits).
[[gnu::always_inline]] constexpr std::uint64_t mirror(std::uint64_t x, int width = 64)
{
    x = __builtin_bswap64(x);
    x = (x & 0x0F0F0F0F0F0F0F0Fu) << 4 | (x >> 4 & 0x0F0F0F0F0F0F0F0Fu);
    x = (x & 0x3333333333333333u) << 2 | (x >> 2 & 0x3333333333333333u);
    x = (x & 0x5555555555555555u) << 1 | (x >> 1 & 0x5555555555555555u);
    return x >> (64 - width);
}

static_assert(mirror(0x1, 12) == 0x800 && mirror(0xF0, 8) == 0x0F && mirror(1) == 0x8000000000000000u);

// The constants of one model in its domain. A fold pair for a distance of d
// bytes moves a 128-bit lane X = H x^64 + L forward by d bytes:
// X x^(8d) = H x^(8d+64) + L x^(8d) mod G. The pair is laid out as the
// kernels load it into a vector register, so that lane qword 0 multiplies
// constant qword 0 and qword 1 multiplies qword 1: normal domain
// { x^(8d) mod G, x^(8d+64) mod G }, reflected domain the mirrors of
// { x^(8d+63) mod G, x^(8d-1) mod G } (a reflected product comes out
// multiplied by x, which the exponent one lower makes up for).
struct Constants {
    // The pairs that move the four lanes of a 64-byte block to its last
    // lane, in lane order, so that one 64-byte load gives all four: the
    // last lane stays (none is zero and multiplies it away; the kernel adds
    // it as it is).
    std::uint64_t fold48[2];
    std::uint64_t fold32[2];
    std::uint64_t fold16[2];
    std::uint64_t none[2];
    std::uint64_t fold64[2];
    std::uint64_t fold128[2];
    std::uint64_t fold192[2];
    std::uint64_t fold256[2];
    std::uint64_t fold512[2];
    std::uint64_t reduce; // x^128 mod G (mirror of x^127 mod G reflected): H of the last eight bytes
    std::uint64_t mu;     // x^128 div G without its x^64 term, for Barrett reduction (mirrored reflected)
    std::uint64_t poly;   // G without its x^64 term (mirrored reflected)
    // Up to 192 bytes, so that in an array aligned to 64 bytes the first
    // four pairs, which the AVX-512 kernel reads in one 64-byte load, never
    // straddle two cache lines (a straddling load made a 63-byte CRC-32
    // cost half as much again as a 64-byte one).
    std::uint64_t padding[3];
};

static_assert(sizeof(Constants) == 192);

// Arithmetic modulo G for G = x^64 + poly, with the
// carry-less multiplication mul (the instruction, or the portable loop at
// compile time).
template <class Mul>
struct Modulus {
    std::uint64_t poly;
    std::uint64_t mu;
    Mul mul;

    // a x^64 mod G by Barrett reduction: the quotient is a + high(a mu),
    // the remainder the low half of quotient * poly.
    constexpr std::uint64_t shift64(std::uint64_t a) const
    {
        return mul(a ^ mul(a, mu).high, poly).low;
    }
    constexpr std::uint64_t times(std::uint64_t a, std::uint64_t b) const
    {
        Product t = mul(a, b);
        return t.low ^ shift64(t.high);
    }
    constexpr std::uint64_t timesX(std::uint64_t a) const
    {
        return (a << 1) ^ (poly & (0 - (a >> 63)));
    }
};

// x^128 div G without the quotient's implied x^64 term, by long division:
// the reference for barrettMu.
constexpr std::uint64_t barrettMuByDivision(std::uint64_t poly)
{
    std::uint64_t remainder = poly; // x^64 mod G, the first quotient bit
    std::uint64_t quotient = 0;
    for (int bit = 63; bit >= 0; --bit) {
        std::uint64_t top = remainder >> 63;
        remainder = (remainder << 1) ^ (poly & (0 - top));
        quotient |= top << bit;
    }
    return quotient;
}

// The same quotient Q = x^128 div G by Newton's iteration, in a dozen
// carry-less products instead of 64 dependent division steps. Reversed over
// their coefficients (Qr = x^64 Q(1/x), Gr = x^64 G(1/x)), x^128 = Q G + R
// becomes Qr Gr = 1 mod x^65: Qr is the inverse of Gr as a power series.
// Over GF(2) the step y <- y (2 - Gr y) is y <- Gr y^2, and it doubles the
// number of correct terms: 1, 2, 4, ..., 64; the 65th follows from the x^64
// term of Qr Gr having to vanish.
template <class Mul>
constexpr std::uint64_t barrettMu(std::uint64_t poly, Mul mul)
{
    const std::uint64_t gr = 1 | mirror(poly) << 1; // Gr below x^64; its x^64 term is poly's x^0
    std::uint64_t y = 1;
    for (unsigned terms = 2; terms <= 64; terms *= 2) {
        y = mul(mul(y, y).low, gr).low;
        if (terms < 64)
            y &= (std::uint64_t(1) << terms) - 1;
    }
    const std::uint64_t top = (mul(y, gr).high ^ (poly & y)) & 1; // x^64 term of Qr
    return mirror(y >> 1 | top << 63);
}

static_assert(barrettMu(0x04C11DB7ull << 32, clmulPortable) == barrettMuByDivision(0x04C11DB7ull << 32));
static_assert(barrettMu(0x42F0E1EBA9EA3693ull, clmulPortable) == barrettMuByDivision(0x42F0E1EBA9EA3693ull));
static_assert(barrettMu(0xC96C5795D7870F42ull, clmulPortable) == barrettMuByDivision(0xC96C5795D7870F42ull));
static_assert(barrettMu(0, clmulPortable) == 0 && barrettMu(1, clmulPortable) == barrettMuByDivision(1));
static_assert(barrettMu(~0ull, clmulPortable) == barrettMuByDivision(~0ull));

// The constants of the scaled generator x^64 + poly64 for one domain. The
// powers are built as x^(e+s) with s = -1 reflected, 0 normal: by steps of
// x^64 (one Barrett reduction) and by products of two powers (a product
// and a reduction, then one more factor x for s = -1), about forty-five
// carry-less products.
template <class Mul>
constexpr Constants deriveConstants(std::uint64_t poly64, bool reflected, Mul mul)
{
    const Modulus<Mul> g { poly64, barrettMu(poly64, mul), mul };
    auto times = [&](std::uint64_t a, std::uint64_t b) { // x^(i+j+s) from x^(i+s) and x^(j+s)
        std::uint64_t product = g.times(a, b);
        return reflected ? g.timesX(product) : product;
    };
    auto doubled = [&](std::uint64_t e) { return times(e, e); };
    const std::uint64_t e64 = reflected ? std::uint64_t(1) << 63 : poly64;
    const std::uint64_t e128 = g.shift64(e64), e192 = g.shift64(e128);
    const std::uint64_t e256 = g.shift64(e192), e320 = g.shift64(e256);
    const std::uint64_t e384 = g.shift64(e320), e448 = g.shift64(e384);
    const std::uint64_t e512 = doubled(e256), e576 = g.shift64(e512);
    const std::uint64_t e1024 = doubled(e512), e1088 = g.shift64(e1024);
    const std::uint64_t e1536 = times(e1024, e512), e1600 = g.shift64(e1536);
    const std::uint64_t e2048 = doubled(e1024), e2112 = g.shift64(e2048);
    const std::uint64_t e4096 = doubled(e2048), e4160 = g.shift64(e4096);

    Constants k {};
    auto pair = [&](std::uint64_t (&slot)[2], std::uint64_t low, std::uint64_t high) {
        slot[0] = reflected ? mirror(high) : low;
        slot[1] = reflected ? mirror(low) : high;
    };
    pair(k.fold16, e128, e192);
    pair(k.fold32, e256, e320);
    pair(k.fold48, e384, e448);
    pair(k.fold64, e512, e576);
    pair(k.fold128, e1024, e1088);
    pair(k.fold192, e1536, e1600);
    pair(k.fold256, e2048, e2112);
    pair(k.fold512, e4096, e4160);
    k.reduce = reflected ? mirror(e128) : e128;
    k.mu = reflected ? mirror(g.mu) : g.mu;
    k.poly = reflected ? mirror(poly64) : poly64;
    return k;
}

// The generator of a model scaled to 64 bits, without its x^64 term.
constexpr std::uint64_t scaledPoly(std::uint64_t poly, PB_INT width)
{
    return poly << (64 - width);
}

// The constants of the nineteen catalogued models, computed at compile time.
alignas(64) inline constexpr std::array<Constants, RFC_CRC_ALGORITHM_COUNT> catalogueConstants = [] {
    std::array<Constants, RFC_CRC_ALGORITHM_COUNT> all {};
    for (std::size_t i = 0; i < all.size(); ++i)
        all[i] = deriveConstants(scaledPoly(catalogue[i].poly, catalogue[i].width), catalogue[i].reflectIn,
            clmulPortable);
    return all;
}();

// Periodic folding. For a generator P of width w with P(0) = 1, x has a
// finite order modulo P: x^N = 1 mod P. With 8B a multiple of N, bytes
// whose distances from the end of a message differ by a multiple of B
// bytes contribute alike, so a message M of any length has the CRC
// contribution (M x^w mod P) of the XOR A of its B-byte strips, cut from
// its end (the first strip padded with zero bytes in front): only B bytes
// go through the carry-less fold, the rest costs one XOR a byte. Orders of
// the form 2^j (2^k - 1) come out of one chain of squarings,
// s_i = x^(2^i) mod P: x^(2^j (2^k - 1)) = 1 exactly when s_(j+k) = s_j,
// since x is invertible modulo P. Only w <= 16 and k <= 16 are tried, which
// keeps the period at 65535 bytes or less; generators with another order
// keep the plain fold.
inline constexpr PB_INT periodicWidthMax = 16;
// A strip is the period or the smallest multiple of it from this length on,
// so that the fold over A is not lost in the per-call cost, and the XOR of
// the strips has few columns per strip (the order of x modulo an 8-bit
// generator is at most 255).
inline constexpr std::size_t periodicStripMin = 16384;
// Periodic folding pays off from this many strips on: with fewer, the XOR
// of the strips and the register's move over the head save less than a
// quarter of the fold (measured against the plain fold at two and three
// strips).
inline constexpr std::size_t periodicMinimumStrips = 3;

// The strip length in bytes for the generator poly (normal form without its
// top term x^width), or 0 when it has no short period. About twenty
// squarings modulo P, each one carry-less square and a Barrett reduction
// on the generator scaled to 64 bits.
template <class Mul>
constexpr std::size_t periodicStrip(std::uint64_t poly, PB_INT width, Mul mul)
{
    if (width > periodicWidthMax || !(poly & 1))
        return 0;
    constexpr int maxK = 16, maxJ = 3;
    const unsigned w = unsigned(width);
    const std::uint64_t poly64 = poly << (64 - w);
    const Modulus<Mul> g { poly64, barrettMu(poly64, mul), mul };
    // a^2 mod P for a below x^w: the square has fewer than 2w <= 32 terms;
    // scaled by x^(64-w) it splits at x^64 into halves that the 64-bit
    // reduction takes, and the remainder scales back.
    auto square = [&](std::uint64_t a) {
        const std::uint64_t t = mul(a, a).low;
        return (t << (64 - w) ^ g.shift64(t >> w)) >> (64 - w);
    };
    std::uint64_t s[maxK + maxJ + 1] {};
    s[0] = 2; // x, below x^w for every w >= 2
    for (int i = 1; i <= maxK + maxJ; ++i)
        s[i] = square(s[i - 1]);
    std::size_t best = 0;
    for (int j = 0; j <= maxJ; ++j) {
        for (int k = 1; k <= maxK; ++k) {
            if (s[j + k] != s[j])
                continue;
            const std::size_t order = (std::size_t(1) << j) * ((std::size_t(1) << k) - 1); // a multiple of N
            const std::size_t bytes = order / (order % 8 == 0 ? 8 : order % 4 == 0 ? 4 : order % 2 == 0 ? 2 : 1);
            if (!best || bytes < best)
                best = bytes;
        }
    }
    if (!best)
        return 0;
    return best * ((periodicStripMin + best - 1) / best);
}

// The strips of the catalogued models, computed at compile time (0: none).
inline constexpr std::array<std::size_t, RFC_CRC_ALGORITHM_COUNT> catalogueStrips = [] {
    std::array<std::size_t, RFC_CRC_ALGORITHM_COUNT> all {};
    for (std::size_t i = 0; i < all.size(); ++i)
        all[i] = periodicStrip(catalogue[i].poly, catalogue[i].width, clmulPortable);
    return all;
}();

// The orders of x modulo the catalogued generators: 127 bits for CRC-8
// (x + 1 times a degree-7 irreducible), 32767 for 0x1021 and 0x8005 (x + 1
// times a primitive degree-15 factor); the T10-DIF generator 0x8BB7 is
// primitive, order 65535.
static_assert(catalogueStrips[RFC_CRC_ALGORITHM_CRC8] == 127 * 130);
static_assert(catalogueStrips[RFC_CRC_ALGORITHM_CRC16_CCITT] == 32767);
static_assert(catalogueStrips[RFC_CRC_ALGORITHM_CRC16_IBM] == 32767);
static_assert(catalogueStrips[RFC_CRC_ALGORITHM_CRC32_ADCCP] == 0);
static_assert(periodicStrip(0x8BB7, 16, clmulPortable) == 65535);
static_assert(periodicStrip(0x8BB6, 17, clmulPortable) == 0 && periodicStrip(0x8BB6, 16, clmulPortable) == 0);

// One implementation of the engine: a name and a kernel per domain. A
// kernel takes the domain register, feeds count bytes and returns the new
// domain register; it accepts any count, 0 included. The portable
// implementation has no kernels: the engine feeds bit by bit.
using Kernel = std::uint64_t (*)(std::uint64_t reg, const std::uint8_t *data, std::size_t count,
    const Constants &k);

// A kernel that feeds count bytes, at least two strips, by periodic folding
// with strips of strip bytes (a multiple of the period, 64 or more).
using PeriodicKernel = std::uint64_t (*)(std::uint64_t reg, const std::uint8_t *data, std::size_t count,
    std::size_t strip, const Constants &k);

struct Implementation {
    const char *name;
    Kernel normal;
    Kernel reflected;
    PeriodicKernel normalPeriodic; // null where the implementation has none
    PeriodicKernel reflectedPeriodic;
};

extern const Implementation implementationAvx;
extern const Implementation implementationAvx512;

// The constants of a model computed with the carry-less multiply
// instruction; only for a processor that has it.
Constants deriveConstantsClmul(std::uint64_t poly64, bool reflected);

// The carry-less product with the instruction; only for a processor that
// has it.
Product clmulInstruction(std::uint64_t a, std::uint64_t b);

} // namespace rfc::crc

PB___BEGIN_DECLS

/* For tests and benchmarks, exported but declared only here: the name of
 * the engine implementation in use ("avx512", "avx" or "portable"), and a
 * switch to the named one, which returns false and changes nothing when the
 * processor lacks it. The environment variable RFC_CRC_IMPL chooses the
 * first one a process uses. */
RFC_API const char *rfc___CrcImplementationName(void) RFC___NOEXCEPT;
RFC_API PB_BOOL rfc___CrcImplementationSelect(const char *name) RFC___NOEXCEPT;

/* For tests: how many feeds so far went through periodic folding, in any
 * computation of the process. */
RFC_API PB_INT rfc___CrcPeriodicFeeds(void) RFC___NOEXCEPT;

PB___END_DECLS

#endif
