// The CRC kernel for processors with AVX-512 (with VBMI) and VPCLMULQDQ:
// eight 512-bit accumulators (thirty-two 128-bit lanes) over blocks of 512
// bytes, folded forward by 512 bytes per block, so that enough products are
// in flight to keep the multiplier busy; a remainder of 256 to 511 bytes
// takes one more step of four accumulators, and what is left after that one
// 64-byte fold at a time. Every length from 16 bytes on costs about what the
// next multiple of 64 costs: a message shorter than 64 bytes is moved to the
// end of one 512-bit window by a byte permutation, and the last 1 to 63
// bytes of a longer one by a permutation of the accumulator and one more
// fold (see foldTail512). Shorter messages take the Barrett steps shared
// with the AVX kernel. The compiler clears the upper register halves
// (vzeroupper) on return.
//
// The fold loop runs at the multiplier's rate (two 64-bit carry-less
// products a cycle on Zen 4, sixteen bytes): no arrangement of the products
// feeds a generator faster. CRC-32C alone has a second engine, the crc32
// instruction on the integer units, and from 16 KiB on six streams of it
// take three sevenths of the message beside the vector loop (see crc32c
// below). Generators of width 16 or less with a short period fold only one
// strip of a long message, the XOR of all its strips (see Strips).
#if defined(__x86_64__)

#include "rfc_crc_clmul.h"

#define RFC___CRC_TARGET_AVX512 \
    __attribute__((target("avx512f,avx512bw,avx512vl,avx512vbmi,vpclmulqdq,avx2,avx,pclmul,bmi2,sse4.2")))

namespace rfc::crc {
namespace {

using namespace clmul;

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

alignas(64) constexpr std::uint8_t iota64[64] = { 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18,
    19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41, 42, 43, 44, 45, 46,
    47, 48, 49, 50, 51, 52, 53, 54, 55, 56, 57, 58, 59, 60, 61, 62, 63 };

// The place in a 64-byte window of the stream of each byte of a register
// holding the window in the domain: byte b holds window byte b in the
// reflected domain, byte b ^ 15 in the normal one (each 16-byte lane
// reversed). As permutation indices only the low six bits count, so adding
// to them counts modulo 64.
template <bool R>
RFC___CRC_TARGET_AVX512 inline __m512i windowPlaces()
{
    const __m512i iota = _mm512_load_si512(iota64);
    return R ? iota : _mm512_xor_si512(iota, _mm512_set1_epi8(15));
}

// The register of the 512-bit window z: its four lanes moved to the last
// one (the last by none, then added as it is), added, and reduced.
template <bool R>
RFC___CRC_TARGET_AVX512 inline std::uint64_t reduce512(__m512i z, const Constants &k)
{
    z = fold512(z, _mm512_loadu_si512(k.fold48), _mm512_maskz_mov_epi64(0xC0, z));
    __m256i y = _mm256_xor_si256(_mm512_extracti64x4_epi64(z, 1), _mm512_castsi512_si256(z));
    __m128i x = _mm_xor_si128(_mm256_extracti128_si256(y, 1), _mm256_castsi256_si128(y));
    return reduce<R>(x, k);
}

// The register after n bytes (16 to 63) at p: the bytes, with the register
// added to their first eight as everywhere, go to the end of a window whose
// first 64 - n bytes are zero (zero terms add nothing). One masked load that
// reads nothing outside the n bytes, one permutation that places them and,
// in the normal domain, reverses each lane.
template <bool R>
RFC___CRC_TARGET_AVX512 inline std::uint64_t feedWindow(std::uint64_t reg, const std::uint8_t *p, std::size_t n,
    const Constants &k)
{
    const std::uint64_t first = R ? reg : __builtin_bswap64(reg); // the register in message byte order
    __m512i bytes = _mm512_maskz_loadu_epi8(_bzhi_u64(~std::uint64_t(0), unsigned(n)), p);
    bytes = _mm512_xor_si512(bytes, _mm512_zextsi128_si512(_mm_cvtsi64_si128(std::int64_t(first))));
    // Window byte w holds message byte w - (64 - n), that is w + n modulo
    // 64, from w = 64 - n on.
    const __m512i places = windowPlaces<R>();
    const __mmask64 present = _mm512_cmpge_epu8_mask(places, _mm512_set1_epi8(char(64 - n)));
    const __m512i z = _mm512_maskz_permutexvar_epi8(present, _mm512_add_epi8(places, _mm512_set1_epi8(char(n))),
        bytes);
    return reduce512<R>(z, k);
}

// The domain form of 64 message bytes: the normal domain reverses each
// 16-byte lane.
template <bool R>
RFC___CRC_TARGET_AVX512 inline __m512i domain512(__m512i v)
{
    if constexpr (!R)
        v = _mm512_shuffle_epi8(v, _mm512_broadcast_i32x4(
            _mm_set_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15)));
    return v;
}

// The stream a kernel folds, read 64 bytes at a time at any offset up to
// its length less 64, or 512 bytes at a time: here plain memory.
struct Memory {
    const std::uint8_t *p;

    RFC___CRC_TARGET_AVX512 __m512i at(std::size_t o) const { return _mm512_loadu_si512(p + o); }
    template <int C>
    RFC___CRC_TARGET_AVX512 void block(std::size_t o, __m512i (&v)[C]) const
    {
        for (int c = 0; c < C; ++c)
            v[c] = at(o + 64 * std::size_t(c));
    }
    static constexpr bool wide = false;
};

// The window z followed by the r bytes (1 to 63) before offset end of the
// stream, of which 64 may be read: the window moves r bytes on. Its bytes
// r to 63 move r places back; its first r bytes stand 64 bytes before the
// places r bytes from its end and fold forward by 64 bytes onto them; the
// new bytes fill those places. One permutation rotates z by r bytes for
// both.
template <bool R, class Source>
RFC___CRC_TARGET_AVX512 inline __m512i foldTail512(__m512i z, const Source &src, std::size_t end, std::size_t r,
    __m512i k64)
{
    const __m512i places = windowPlaces<R>();
    const __mmask64 kept = _mm512_cmplt_epu8_mask(places, _mm512_set1_epi8(char(64 - r)));
    __m512i from = _mm512_add_epi8(places, _mm512_set1_epi8(char(r))); // window place of the source byte
    if constexpr (!R)
        from = _mm512_xor_si512(from, _mm512_set1_epi8(15)); // and the register byte that holds it
    const __m512i rotated = _mm512_permutexvar_epi8(from, z);
    const __m512i window = _mm512_mask_blend_epi8(kept, domain512<R>(src.at(end - 64)), rotated);
    return fold512(_mm512_maskz_mov_epi8(_knot_mask64(kept), rotated), k64, window);
}

// No work beside the 512-byte steps.
struct NoSide {
    void step() { }
};

template <bool R, class Source>
RFC___CRC_TARGET_AVX512 inline __m512i loadAt(const Source &src, std::size_t o)
{
    return domain512<R>(src.at(o));
}

// The fold over the n bytes (64 or more) of the stream src, the register
// added to its first eight; side.step() runs once beside each 512-byte step
// of the main loop, so that work on other execution units overlaps it.
template <bool R, class Source, class Side = NoSide>
RFC___CRC_TARGET_AVX512 std::uint64_t foldStream(std::uint64_t reg, const Source &src, std::size_t n,
    const Constants &k, Side &&side = Side {})
{
    const __m512i first = _mm512_inserti32x4(_mm512_setzero_si512(), registerLane<R>(reg), 0);
    const __m512i k64 = pair512(k.fold64);
    std::size_t o = 0;
    __m512i z;
    if (n >= 256) {
        __m512i a0, a1, a2, a3;
        const __m512i k256 = pair512(k.fold256);
        if (n >= 512) {
            __m512i v[8];
            src.block(0, v);
            a0 = _mm512_xor_si512(domain512<R>(v[0]), first);
            a1 = domain512<R>(v[1]), a2 = domain512<R>(v[2]), a3 = domain512<R>(v[3]);
            __m512i a4 = domain512<R>(v[4]), a5 = domain512<R>(v[5]);
            __m512i a6 = domain512<R>(v[6]), a7 = domain512<R>(v[7]);
            o = 512;
            const __m512i k512 = pair512(k.fold512);
            // The eight folds are written out in both loops: through a
            // shared lambda, the crc32 streams beside the second loop (see
            // crc32c) ran at a third less speed.
            if constexpr (Source::wide) {
                // 1024 bytes of the stream at a time, so that a source that
                // gathers them reads longer runs of each place.
                for (; n - o >= 1024; o += 1024) {
                    __m512i w[16];
                    src.block(o, w);
                    a0 = fold512(a0, k512, domain512<R>(w[0]));
                    a1 = fold512(a1, k512, domain512<R>(w[1]));
                    a2 = fold512(a2, k512, domain512<R>(w[2]));
                    a3 = fold512(a3, k512, domain512<R>(w[3]));
                    a4 = fold512(a4, k512, domain512<R>(w[4]));
                    a5 = fold512(a5, k512, domain512<R>(w[5]));
                    a6 = fold512(a6, k512, domain512<R>(w[6]));
                    a7 = fold512(a7, k512, domain512<R>(w[7]));
                    a0 = fold512(a0, k512, domain512<R>(w[8]));
                    a1 = fold512(a1, k512, domain512<R>(w[9]));
                    a2 = fold512(a2, k512, domain512<R>(w[10]));
                    a3 = fold512(a3, k512, domain512<R>(w[11]));
                    a4 = fold512(a4, k512, domain512<R>(w[12]));
                    a5 = fold512(a5, k512, domain512<R>(w[13]));
                    a6 = fold512(a6, k512, domain512<R>(w[14]));
                    a7 = fold512(a7, k512, domain512<R>(w[15]));
                }
            }
            for (; n - o >= 512; o += 512) {
                side.step();
                src.block(o, v);
                a0 = fold512(a0, k512, domain512<R>(v[0]));
                a1 = fold512(a1, k512, domain512<R>(v[1]));
                a2 = fold512(a2, k512, domain512<R>(v[2]));
                a3 = fold512(a3, k512, domain512<R>(v[3]));
                a4 = fold512(a4, k512, domain512<R>(v[4]));
                a5 = fold512(a5, k512, domain512<R>(v[5]));
                a6 = fold512(a6, k512, domain512<R>(v[6]));
                a7 = fold512(a7, k512, domain512<R>(v[7]));
            }
            // The first four stand 256 bytes before the last four.
            a0 = fold512(a0, k256, a4);
            a1 = fold512(a1, k256, a5);
            a2 = fold512(a2, k256, a6);
            a3 = fold512(a3, k256, a7);
        } else {
            a0 = _mm512_xor_si512(loadAt<R>(src, 0), first);
            a1 = loadAt<R>(src, 64), a2 = loadAt<R>(src, 128), a3 = loadAt<R>(src, 192);
            o = 256;
        }
        if (n - o >= 256) {
            a0 = fold512(a0, k256, loadAt<R>(src, o));
            a1 = fold512(a1, k256, loadAt<R>(src, o + 64));
            a2 = fold512(a2, k256, loadAt<R>(src, o + 128));
            a3 = fold512(a3, k256, loadAt<R>(src, o + 192));
            o += 256;
        }
        // Block j of the four stands 64 (3 - j) bytes before the end: all
        // three move there at once.
        z = fold512(a0, pair512(k.fold192), fold512(a1, pair512(k.fold128), fold512(a2, k64, a3)));
    } else {
        z = _mm512_xor_si512(loadAt<R>(src, 0), first);
        o = 64;
    }
    for (; n - o >= 64; o += 64)
        z = fold512(z, k64, loadAt<R>(src, o));
    if (n - o)
        z = foldTail512<R>(z, src, n, n - o, k64);
    return reduce512<R>(z, k);
}

// The kernel over n bytes at p.
template <bool R, class Side = NoSide>
RFC___CRC_TARGET_AVX512 std::uint64_t feedVector(std::uint64_t reg, const std::uint8_t *p, std::size_t n,
    const Constants &k, Side &&side = Side {})
{
    if (n < 64)
        return n < 16 ? feedShort<R>(reg, p, n, k) : feedWindow<R>(reg, p, n, k);
    return foldStream<R>(reg, Memory { p }, n, k, side);
}

// Periodic folding (see periodicStrip): the stream is the XOR A of the
// message's strips of strip bytes, cut from its end. The message is a head
// of f = count mod strip bytes, which stands at A's last f places, and q
// whole strips after it. A's 64-byte columns are XORs of q loads plus one
// of the head, computed as the fold reads them, 1024 bytes of each strip
// in turn, so that no copy of A is made. Strips of a period near a multiple
// of 4 KiB (32767, 65535 bytes) fall on the same few cache sets: reading
// each strip in long runs (1024 bytes measured about a tenth faster than
// 512 for CRC-16/ARC) keeps the lines in use from evicting one another; a
// column at a time over all strips runs at a third of the speed.
struct Strips {
    const std::uint8_t *strips; // the first whole strip
    std::size_t strip, count;   // strip length and number of whole strips
    const std::uint8_t *head;   // the head, at offset headAt = strip - f of A
    std::size_t headAt;

    // The head's bytes in the column at offset o: those at offset headAt on.
    RFC___CRC_TARGET_AVX512 __m512i headColumn(std::size_t o) const
    {
        if (o + 64 <= headAt)
            return _mm512_setzero_si512();
        if (o >= headAt)
            return _mm512_loadu_si512(head + (o - headAt));
        // The column straddles the head's start: a masked load from headAt - o
        // bytes before the head, which reads only the head's bytes.
        const std::size_t before = headAt - o;
        const auto *from = reinterpret_cast<const void *>(reinterpret_cast<std::uintptr_t>(head) - before);
        return _mm512_maskz_loadu_epi8(~std::uint64_t(0) << before, from);
    }

    RFC___CRC_TARGET_AVX512 __m512i at(std::size_t o) const
    {
        __m512i x[1];
        block(o, x);
        return x[0];
    }

    template <int C>
    RFC___CRC_TARGET_AVX512 void block(std::size_t o, __m512i (&v)[C]) const
    {
        for (int c = 0; c < C; ++c)
            v[c] = headColumn(o + 64 * std::size_t(c));
        const std::uint8_t *s = strips + o;
        std::size_t j = 0;
        for (; j + 2 <= count; j += 2, s += 2 * strip)
            for (int c = 0; c < C; ++c)
                v[c] = _mm512_ternarylogic_epi64(v[c], _mm512_loadu_si512(s + 64 * c),
                    _mm512_loadu_si512(s + strip + 64 * c), 0x96);
        if (j < count)
            for (int c = 0; c < C; ++c)
                v[c] = _mm512_xor_si512(v[c], _mm512_loadu_si512(s + 64 * c));
    }
    static constexpr bool wide = true;
};

// The register after count bytes at p by periodic folding: the register
// stands before the head, so it moves over the head's f bytes (whole strips
// move it by x^(8 strip q) = 1); folding A adds it, since A's strip of
// bytes moves it by a whole strip too.
template <bool R>
RFC___CRC_TARGET_AVX512 std::uint64_t feedPeriodic(std::uint64_t reg, const std::uint8_t *p, std::size_t count,
    std::size_t strip, const Constants &k)
{
    const std::size_t f = count % strip;
    const Strips src { p + f, strip, count / strip, p, strip - f };
    return foldStream<R>(shiftBytes<R>(reg, f, k), src, strip, k);
}

// CRC-32C, which the processor's crc32 instruction computes on the integer
// units while the multiplier is busy with the vector kernel: a long message
// is cut into a vector part and, after it, six streams of L bytes each that
// crc32 instructions process, 64 bytes of each beside every 512-byte step
// of the vector kernel, each stream from a zero register. A cut of r rounds
// has 512 + 896 r bytes or more. With c_0 the register after the vector
// part and c_1 .. c_6 the streams' registers, by linearity
// reg = c_0 x^(48L) + c_1 x^(40L) + ... + c_5 x^(8L) + c_6 mod G.
// Only the catalogue's CRC-32C constants lead here (a model of another
// width may scale to the same 64-bit generator, but not to the same
// register), whatever its init and xorOut.
namespace crc32c {

constexpr int streams = 6; // joined in three pairs below
static_assert(streams == 6);
constexpr std::size_t streamStep = 64; // bytes of each stream beside one 512-byte step
constexpr std::size_t round = 512 + streams * streamStep;
// Rounds of one cut, below 2^maxRoundBits: a longer message is cut again.
constexpr int maxRoundBits = 12;
// From here on the streams save more than joining them costs.
constexpr std::size_t minimum = 16384;

constexpr std::uint64_t poly64 = scaledPoly(0x1EDC6F41, 32);
constexpr Modulus<Product (*)(std::uint64_t, std::uint64_t)> modulus { poly64, barrettMu(poly64, clmulPortable),
    clmulPortable };

// x^(8 streamStep 2^j) mod G in the normal domain: the distance by which a
// register moves over 2^j rounds of one stream.
constexpr std::array<std::uint64_t, maxRoundBits> powers = [] {
    std::array<std::uint64_t, maxRoundBits> all {};
    std::uint64_t e = 1;
    for (std::size_t i = 0; i < 8 * streamStep / 64; ++i)
        e = modulus.shift64(e);
    for (std::uint64_t &power : all) {
        power = e;
        e = modulus.times(e, e);
    }
    return all;
}();

struct Streams {
    const std::uint8_t *p; // the next bytes of the first stream; stream i is i length bytes on
    std::size_t length;
    std::size_t rounds;    // steps left
    std::uint64_t c[streams] {};

    RFC___CRC_TARGET_AVX512 void step()
    {
        if (!rounds)
            return;
        for (std::size_t b = 0; b < streamStep; b += 8) {
            for (int i = 0; i < streams; ++i) {
                std::uint64_t word;
                std::memcpy(&word, p + i * length + b, 8);
                c[i] = _mm_crc32_u64(c[i], word);
            }
        }
        p += streamStep;
        --rounds;
    }
};

// a b mod G with the instruction: the product's high half moves down by
// Barrett reduction, as Modulus::times does at compile time.
RFC___CRC_TARGET_AVX512 inline std::uint64_t times(std::uint64_t a, std::uint64_t b)
{
    const Product t = mul(a, b);
    return t.low ^ mul(t.high ^ mul(t.high, modulus.mu).high, poly64).low;
}

RFC___CRC_TARGET_AVX512 std::uint64_t feed(std::uint64_t reg, const std::uint8_t *p, std::size_t n,
    const Constants &k)
{
    while (n >= minimum) {
        // The vector part of a cut of r rounds has 512 (r + 1) bytes or
        // more, so that its main loop takes at least r steps.
        std::size_t rounds = (n - 512) / round;
        std::size_t cut = n;
        if (rounds >> maxRoundBits) {
            rounds = (std::size_t(1) << maxRoundBits) - 1;
            cut = rounds * round + 512;
        }
        // x^(8 length), its square and sixth power, before the vector part
        // (they do not depend on the data, so they run beside it).
        std::uint64_t d1 = 1;
        for (int j = 0; j < maxRoundBits; ++j)
            if (rounds >> j & 1)
                d1 = times(d1, powers[std::size_t(j)]);
        const std::uint64_t d2 = times(d1, d1), d6 = times(times(d2, d2), d2);
        const std::size_t length = rounds * streamStep, vector = cut - streams * length;
        Streams side { p + vector, length, rounds };
        reg = feedVector<true>(reg, p, vector, k, side);
        // The streams joined in pairs, the pairs by x^(16 length), and the
        // vector part moved over all six: a short chain after the last fold.
        auto pair = [&](int i) { return times(mirror(side.c[i]), d1) ^ mirror(side.c[i + 1]); };
        const std::uint64_t streamed = times(times(pair(0), d2) ^ pair(2), d2) ^ pair(4);
        reg = mirror(times(mirror(reg), d6) ^ streamed);
        p += cut;
        n -= cut;
    }
    return feedVector<true>(reg, p, n, k);
}

} // namespace crc32c

template <bool R>
RFC___CRC_TARGET_AVX512 std::uint64_t feedAvx512(std::uint64_t reg, const std::uint8_t *p, std::size_t n,
    const Constants &k)
{
    if constexpr (R) {
        if (n >= crc32c::minimum && &k == &catalogueConstants[RFC_CRC_ALGORITHM_CRC32_C])
            return crc32c::feed(reg, p, n, k);
    }
    return feedVector<R>(reg, p, n, k);
}

} // namespace

const Implementation implementationAvx512 { "avx512", feedAvx512<false>, feedAvx512<true>, feedPeriodic<false>,
    feedPeriodic<true> };

} // namespace rfc::crc

#else // not x86-64: the engine never chooses this implementation

#include "rfc_crc_internal.h"

namespace rfc::crc {

const Implementation implementationAvx512 { "avx512", nullptr, nullptr, nullptr, nullptr };

} // namespace rfc::crc

#endif
