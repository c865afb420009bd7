// The CRC engine: a computation over a register held in non-reflected form,
// for any width from 8 to 64 bits. It builds no lookup table, so creating a
// computation costs one allocation.
//
// The reference engine works bit by bit: eight conditional shift-and-XOR
// steps per byte. Where the processor multiplies carry-less (PCLMULQDQ),
// runs of 64 bytes go through an equivalent engine that folds eight 64-bit
// words at a time; its few constants are derived from the polynomial on
// first use and kept in the object.
#include "rfc_crc.h"
#include "rfc_crc_catalogue.h"

#include "../rfc_frame.h"

#include <bit>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#define RFC___CRC_HAVE_CLMUL 1
#endif

struct RFC_CRC {
    PB___OBJ_HEADER header;
    PB_INT width;
    std::uint64_t poly;
    std::uint64_t xorOut;
    PB_BOOL reflectIn;
    PB_BOOL reflectOut;
    std::uint64_t value; // the register, non-reflected, below 2^width
    std::uint64_t mask;  // the low width bits
    PB_BOOL final;

    // Constants of the folding engine, valid once foldReady is set. With the
    // register left-aligned in 64 bits the generator is G = x^64 + polyHigh:
    // mu = x^128 div G without its x^64 term, and power[k] = x^(64k) mod G.
    PB_BOOL foldReady;
    std::uint64_t polyHigh;
    std::uint64_t mu;
    std::uint64_t power[10];
};

RFC___DEFINE_SORT(rfc___sort_RFC_CRC, "RFC_CRC", nullptr, nullptr);
RFC___DEFINE_STDFUNCS(rfcCrc, RFC_CRC, rfc___sort_RFC_CRC);

namespace {

// The byte with its bit order reversed (bit 0 exchanged with bit 7, ...).
constexpr std::uint8_t mirrorByte(std::uint8_t b)
{
    b = std::uint8_t((b & 0xF0) >> 4 | (b & 0x0F) << 4);
    b = std::uint8_t((b & 0xCC) >> 2 | (b & 0x33) << 2);
    return std::uint8_t((b & 0xAA) >> 1 | (b & 0x55) << 1);
}

// The low width bits of x in reverse order.
constexpr std::uint64_t mirror(std::uint64_t x, PB_INT width)
{
    x = __builtin_bswap64(x);
    x = (x & 0xF0F0F0F0F0F0F0F0u) >> 4 | (x & 0x0F0F0F0F0F0F0F0Fu) << 4;
    x = (x & 0xCCCCCCCCCCCCCCCCu) >> 2 | (x & 0x3333333333333333u) << 2;
    x = (x & 0xAAAAAAAAAAAAAAAAu) >> 1 | (x & 0x5555555555555555u) << 1;
    return x >> (64 - width);
}

static_assert(mirrorByte(0x01) == 0x80 && mirrorByte(0x31) == 0x8C);
static_assert(mirror(0x1, 12) == 0x800 && mirror(0xF0, 8) == 0x0F && mirror(1, 64) == 0x8000000000000000u);

// Feeds count bytes into the register: each (mirrored when reflectIn) byte
// enters at the top of the register, then eight steps shift it out, XORing
// the polynomial in whenever the bit leaving the top is set.
void feedBitwise(RFC_CRC *crc, const std::uint8_t *data, PB_INT count)
{
    const unsigned top = unsigned(crc->width) - 1;
    const unsigned shift = unsigned(crc->width) - 8;
    const std::uint64_t poly = crc->poly;
    std::uint64_t value = crc->value;
    for (PB_INT i = 0; i < count; ++i) {
        std::uint8_t b = crc->reflectIn ? mirrorByte(data[i]) : data[i];
        std::uint64_t x = value ^ (std::uint64_t(b) << shift);
        for (int step = 0; step < 8; ++step)
            x = (x << 1) ^ (poly & (0 - ((x >> top) & 1)));
        value = x & crc->mask;
    }
    crc->value = value;
}

#ifdef RFC___CRC_HAVE_CLMUL

constexpr int foldWords = 8; // 64-bit words folded per step
constexpr PB_INT foldBlock = 8 * foldWords;

bool haveClmul()
{
    static const bool have = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
    return have;
}

// The 128-bit carry-less product of a and b, as its high and low halves.
__attribute__((target("pclmul,sse4.1"))) inline void clmul(std::uint64_t a, std::uint64_t b, std::uint64_t &high,
    std::uint64_t &low)
{
    __m128i product = _mm_clmulepi64_si128(_mm_cvtsi64_si128(std::int64_t(a)), _mm_cvtsi64_si128(std::int64_t(b)), 0);
    low = std::uint64_t(_mm_cvtsi128_si64(product));
    high = std::uint64_t(_mm_extract_epi64(product, 1));
}

// t * x^64 mod G by Barrett reduction: the quotient is t + high(t * mu), the
// remainder the low half of quotient * polyHigh.
__attribute__((target("pclmul,sse4.1"))) inline std::uint64_t shiftReduce(const RFC_CRC *crc, std::uint64_t t)
{
    std::uint64_t high, low;
    clmul(t, crc->mu, high, low);
    clmul(t ^ high, crc->polyHigh, high, low);
    return low;
}

__attribute__((target("pclmul,sse4.1"))) void prepareFold(RFC_CRC *crc)
{
    crc->polyHigh = crc->poly << (64 - crc->width);
    // x^128 div (x^64 + polyHigh) by long division; the quotient's x^64 term
    // is implied.
    std::uint64_t remainder = crc->polyHigh; // x^64 mod G, the first step
    std::uint64_t quotient = 0;
    for (int bit = 63; bit >= 0; --bit) {
        bool top = remainder >> 63;
        remainder <<= 1;
        if (top) {
            remainder ^= crc->polyHigh;
            quotient |= std::uint64_t(1) << bit;
        }
    }
    crc->mu = quotient;
    crc->power[0] = 1;
    crc->power[1] = crc->polyHigh;
    for (int k = 2; k < foldWords + 2; ++k)
        crc->power[k] = shiftReduce(crc, crc->power[k - 1]);
    crc->foldReady = PB_TRUE;
}

// Feeds whole blocks of 64 bytes. With S the left-aligned register and
// D0..D7 a block's words (first byte highest), one block takes the register
// to (S + D0) x^512 + D1 x^448 + ... + D7 x^64 mod G = Y x^64 mod G, where Y
// is the 128-bit sum of the products of Dk with x^(64(7-k)) mod G. Y is
// carried from block to block unreduced, its two halves multiplied by
// x^576 and x^512 mod G into the next sum, and folded to 64 bits once at the
// end. Two words travel together in one vector register.
__attribute__((target("pclmul,sse4.1"))) PB_INT feedFolded(RFC_CRC *crc, const std::uint8_t *data, PB_INT count)
{
    if (!crc->foldReady)
        prepareFold(crc);
    // Each 64-bit half byte-swapped, so that the first byte is the highest.
    const __m128i swapHalves = _mm_set_epi8(8, 9, 10, 11, 12, 13, 14, 15, 0, 1, 2, 3, 4, 5, 6, 7);
    // The bit-mirror of each nibble value, to mirror bytes for reflectIn.
    const __m128i mirrorNibble = _mm_set_epi8(15, 7, 11, 3, 13, 5, 9, 1, 14, 6, 10, 2, 12, 4, 8, 0);
    const __m128i lowNibbles = _mm_set1_epi8(0x0F);
    __m128i powers[foldWords / 2];
    for (int j = 0; j < foldWords / 2; ++j)
        powers[j] = _mm_set_epi64x(std::int64_t(crc->power[foldWords - 2 - 2 * j]),
            std::int64_t(crc->power[foldWords - 1 - 2 * j]));
    const __m128i carry = _mm_set_epi64x(std::int64_t(crc->power[foldWords + 1]), std::int64_t(crc->power[foldWords]));

    const unsigned align = 64 - unsigned(crc->width);
    __m128i y = _mm_setzero_si128();
    PB_INT done = 0;
    for (; count - done >= foldBlock; done += foldBlock) {
        __m128i sum = _mm_setzero_si128();
        for (int j = 0; j < foldWords / 2; ++j) {
            __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(data + done + 16 * j));
            if (crc->reflectIn) {
                __m128i low = _mm_shuffle_epi8(mirrorNibble, _mm_and_si128(v, lowNibbles));
                __m128i high = _mm_shuffle_epi8(mirrorNibble, _mm_and_si128(_mm_srli_epi16(v, 4), lowNibbles));
                v = _mm_or_si128(_mm_slli_epi16(low, 4), high);
            }
            v = _mm_shuffle_epi8(v, swapHalves);
            if (done == 0 && j == 0)
                v = _mm_xor_si128(v, _mm_cvtsi64_si128(std::int64_t(crc->value << align)));
            sum = _mm_xor_si128(sum, _mm_clmulepi64_si128(v, powers[j], 0x00));
            sum = _mm_xor_si128(sum, _mm_clmulepi64_si128(v, powers[j], 0x11));
        }
        if (done != 0) {
            sum = _mm_xor_si128(sum, _mm_clmulepi64_si128(y, carry, 0x00));
            sum = _mm_xor_si128(sum, _mm_clmulepi64_si128(y, carry, 0x11));
        }
        y = sum;
    }
    std::uint64_t low = std::uint64_t(_mm_cvtsi128_si64(y));
    std::uint64_t high = std::uint64_t(_mm_extract_epi64(y, 1));
    crc->value = shiftReduce(crc, shiftReduce(crc, high) ^ low) >> align;
    return done;
}

#endif

void feed(RFC_CRC *crc, const std::uint8_t *data, PB_INT count)
{
#ifdef RFC___CRC_HAVE_CLMUL
    if (count >= foldBlock && haveClmul()) {
        PB_INT done = feedFolded(crc, data, count);
        data += done;
        count -= done;
    }
#endif
    feedBitwise(crc, data, count);
}

// The argument checks of the two range-feeding functions; the sum is
// checked for overflow only when the range is not empty.
void checkRange(RFC_CRC *crc, PB_BUFFER *data, PB_INT byteOffset, PB_INT byteCount)
{
    PB_ASSERT( crc );
    PB_ASSERT( data );
    PB_ASSERT( byteOffset >= 0 );
    PB_ASSERT( byteCount >= 0 );
    if (byteCount)
        PB_ASSERT( PB_INT_ADD_OK( byteOffset, byteCount ) );
    PB_ASSERT( pbBufferLength( data ) >= byteOffset + byteCount );
}

} // namespace

extern "C" {

RFC_API RFC_CRC *rfcCrcCreateWithModel(PB_INT width, PB_INT poly, PB_INT init, PB_INT xorOut,
    PB_BOOL reflectIn, PB_BOOL reflectOut)
{
    PB_ASSERT( width >= 8 && width <= 64 );
    PB_ASSERT( pbIntBitHighest( poly ) < width );
    PB_ASSERT( pbIntBitHighest( init ) < width );
    PB_ASSERT( pbIntBitHighest( xorOut ) < width );

    auto *crc = reinterpret_cast<RFC_CRC *>(pb___ObjCreate(sizeof(RFC_CRC), rfcCrcSort()));
    crc->width = width;
    crc->poly = std::uint64_t(poly);
    crc->xorOut = std::uint64_t(xorOut);
    crc->reflectIn = reflectIn ? PB_TRUE : PB_FALSE;
    crc->reflectOut = reflectOut ? PB_TRUE : PB_FALSE;
    crc->value = std::uint64_t(init);
    // 2^width - 1 without shifting by 64 for width 64.
    crc->mask = ((std::uint64_t(1) << (width - 1)) * 2 - 2) | 1;
    crc->final = PB_FALSE;
    crc->foldReady = PB_FALSE;
    return crc;
}

RFC_API RFC_CRC *rfcCrcCreate(PB_INT alg)
{
    if (!RFC_CRC_ALGORITHM_OK(alg))
        PB_UNREACHABLE();
    const rfc::crc::Model &model = rfc::crc::catalogue[std::size_t(alg)];
    return rfcCrcCreateWithModel(model.width, PB_INT(model.poly), PB_INT(model.init), PB_INT(model.xorOut),
        model.reflectIn, model.reflectOut);
}

RFC_API void rfcCrcUpdateBytes(RFC_CRC *crc, const void *data, PB_INT byteCount)
{
    PB_ASSERT( crc );
    PB_ASSERT( !crc->final );
    PB_ASSERT( data || !byteCount );
    PB_ASSERT( byteCount >= 0 );
    if (byteCount)
        feed(crc, static_cast<const std::uint8_t *>(data), byteCount);
}

RFC_API void rfcCrcUpdate(RFC_CRC *crc, PB_BUFFER *data)
{
    PB_ASSERT( crc );
    PB_ASSERT( data );
    rfcCrcUpdateBytes(crc, pbBufferBacking(data), pbBufferLength(data));
}

RFC_API void rfcCrcUpdateInner(RFC_CRC *crc, PB_BUFFER *data, PB_INT byteOffset, PB_INT byteCount)
{
    checkRange(crc, data, byteOffset, byteCount);
    rfcCrcUpdateBytes(crc, pbBufferBacking(data) + byteOffset, byteCount);
}

RFC_API void rfcCrcUpdateOuter(RFC_CRC *crc, PB_BUFFER *data, PB_INT byteOffset, PB_INT byteCount)
{
    checkRange(crc, data, byteOffset, byteCount);
    const PB_BYTE *bytes = pbBufferBacking(data);
    PB_INT end = byteOffset + byteCount;
    rfcCrcUpdateBytes(crc, bytes, byteOffset);
    rfcCrcUpdateBytes(crc, bytes + end, pbBufferLength(data) - end);
}

RFC_API void rfcCrcUpdateLeading(RFC_CRC *crc, PB_BUFFER *data, PB_INT byteCount)
{
    PB_ASSERT( crc );
    PB_ASSERT( data );
    PB_ASSERT( byteCount >= 0 );
    PB_ASSERT( pbBufferLength( data ) >= byteCount );
    rfcCrcUpdateBytes(crc, pbBufferBacking(data), byteCount);
}

RFC_API void rfcCrcUpdateTrailing(RFC_CRC *crc, PB_BUFFER *data, PB_INT byteCount)
{
    PB_ASSERT( crc );
    PB_ASSERT( data );
    PB_ASSERT( byteCount >= 0 );
    PB_ASSERT( pbBufferLength( data ) >= byteCount );
    rfcCrcUpdateBytes(crc, pbBufferBacking(data) + (pbBufferLength(data) - byteCount), byteCount);
}

RFC_API void rfcCrcUpdateByte(RFC_CRC *crc, int32_t byte)
{
    PB_ASSERT( crc );
    const std::uint8_t b = std::uint8_t(byte & 0xFF);
    rfcCrcUpdateBytes(crc, &b, 1);
}

RFC_API PB_INT rfcCrcFinal(RFC_CRC *crc)
{
    PB_ASSERT( crc );
    PB_ASSERT( !crc->final );
    crc->final = PB_TRUE;
    std::uint64_t result = crc->reflectOut ? mirror(crc->value, crc->width) : crc->value;
    return PB_INT(result ^ crc->xorOut);
}

RFC_API PB_INT rfcCrcWithModel(PB_INT width, PB_INT poly, PB_INT init, PB_INT xorOut,
    PB_BOOL reflectIn, PB_BOOL reflectOut, PB_BUFFER *data)
{
    pb::Ref<RFC_CRC> crc(rfcCrcCreateWithModel(width, poly, init, xorOut, reflectIn, reflectOut));
    rfcCrcUpdate(crc.get(), data);
    return rfcCrcFinal(crc.get());
}

RFC_API PB_INT rfcCrc(PB_INT alg, PB_BUFFER *data)
{
    pb::Ref<RFC_CRC> crc(rfcCrcCreate(alg));
    rfcCrcUpdate(crc.get(), data);
    return rfcCrcFinal(crc.get());
}

} // extern "C"
