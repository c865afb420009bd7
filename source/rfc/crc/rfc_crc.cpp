// The CRC engine: a bitwise computation over a register held in
// non-reflected form, for any width from 8 to 64 bits. It builds no lookup
// table, so creating a computation costs one allocation.
#include "rfc_crc.h"
#include "rfc_crc_catalogue.h"

#include "../rfc_frame.h"

#include <bit>

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
void feed(RFC_CRC *crc, const std::uint8_t *data, PB_INT count)
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
    PB_ASSERT( crc );
    PB_ASSERT( data );
    PB_ASSERT( byteOffset >= 0 );
    PB_ASSERT( byteCount >= 0 );
    if (byteCount)
        PB_ASSERT( PB_INT_ADD_OK( byteOffset, byteCount ) );
    PB_ASSERT( pbBufferLength( data ) >= byteOffset + byteCount );
    rfcCrcUpdateBytes(crc, pbBufferBacking(data) + byteOffset, byteCount);
}

RFC_API void rfcCrcUpdateOuter(RFC_CRC *crc, PB_BUFFER *data, PB_INT byteOffset, PB_INT byteCount)
{
    PB_ASSERT( crc );
    PB_ASSERT( data );
    PB_ASSERT( byteOffset >= 0 );
    PB_ASSERT( byteCount >= 0 );
    if (byteCount)
        PB_ASSERT( PB_INT_ADD_OK( byteOffset, byteCount ) );
    PB_ASSERT( pbBufferLength( data ) >= byteOffset + byteCount );
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

RFC_API void rfcCrcUpdateByte(RFC_CRC *crc, PB_INT byte)
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
