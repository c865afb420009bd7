// Compares the CRC engine's implementations: a fuzzer-chosen model and
// message, fed in fuzzer-chosen pieces through the feeding functions, must
// give on every implementation the processor has the value the bit-by-bit
// (portable) implementation gives for the whole message in one call. Any
// difference, crash, sanitizer report or leaked runtime object is a finding.
#include <rfc/crc/rfc_crc.h>
#include <rfc/crc/rfc_crc_internal.h>

#include <pb/pb_cpp.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

void check(bool ok)
{
    if (!ok)
        std::abort();
}

std::uint64_t word(const std::uint8_t *p)
{
    std::uint64_t w;
    std::memcpy(&w, p, 8);
    return w;
}

constexpr std::size_t header = 30;

// Feeds the message in pieces: the four split bytes give the piece lengths
// in turn (0 stands for the whole rest), and the feeding function rotates
// through bytes, buffer ranges and single bytes. Plain bytes come from raw,
// libFuzzer's exactly sized copy of the message, so that AddressSanitizer
// reports a read past its end.
PB_INT fedInPieces(PB_INT width, PB_INT poly, PB_INT init, PB_INT xorOut, bool reflectIn, bool reflectOut,
    const std::uint8_t *splits, PB_BUFFER *message, const std::uint8_t *raw)
{
    pb::Ref<RFC_CRC> crc(rfcCrcCreateWithModel(width, poly, init, xorOut, reflectIn, reflectOut));
    const PB_INT size = pbBufferLength(message);
    const PB_BYTE *bytes = pbBufferBacking(message);
    PB_INT at = 0;
    for (unsigned i = 0; at < size; ++i) {
        PB_INT n = splits[i % 4] ? splits[i % 4] * (splits[i % 4] & 0x80 ? 3 : 1) : size - at;
        n = n < size - at ? n : size - at;
        switch (i % 3) {
        case 0:
            rfcCrcUpdateBytes(crc.get(), raw + at, n);
            break;
        case 1:
            rfcCrcUpdateInner(crc.get(), message, at, n);
            break;
        default:
            for (PB_INT j = 0; j < n; ++j)
                rfcCrcUpdateByte(crc.get(), bytes[at + j]);
        }
        at += n;
    }
    return rfcCrcFinal(crc.get());
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    return pbModuleStartup(rfcModule()) ? 0 : 1;
}

// The length a short message is repeated to when the input asks for it:
// past the length from which CRC-32C runs crc32 instruction streams beside
// the AVX-512 kernel (16 KiB).
constexpr std::size_t longMessage = 20000;
// The length for flag 16: past four strips of the longest period a model of
// width 16 or less folds by (65535 bytes), so past the point from which the
// engine folds by strips.
constexpr std::size_t periodicMessage = 4 * 65535 + 1000;

// Input: width (1 byte), flags (1), poly, init and xorOut (8 each, cut to
// the width), four split lengths (1 each); the rest is the message. Flag
// bits: 1 reflectIn, 2 reflectOut, 4 CRC-32C's width and generator in
// place of the fuzzer's, 8 the message repeated to longMessage bytes or
// more, so that long-message paths run on inputs of fuzzer size; 16 a
// width of 8 to 16, a generator with the term x^0 and the message repeated
// to periodicMessage bytes or more, which takes periodic folding whenever
// the generator has a short period.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < header)
        return 0;
    const bool crc32c = data[1] & 4, periodic = !crc32c && (data[1] & 16);
    const PB_INT width = crc32c ? 32 : periodic ? 8 + data[0] % 9 : 8 + data[0] % 57;
    const std::uint64_t mask = width == 64 ? ~0ull : (1ull << width) - 1;
    const bool reflectIn = data[1] & 1, reflectOut = data[1] & 2;
    const PB_INT poly = crc32c ? 0x1EDC6F41 : PB_INT(word(data + 2) & mask) | (periodic ? 1 : 0);
    const PB_INT init = PB_INT(word(data + 10) & mask);
    const PB_INT xorOut = PB_INT(word(data + 18) & mask);
    std::size_t length = size - header;
    std::unique_ptr<std::uint8_t[]> repeated;
    if ((data[1] & 8 || periodic) && length) {
        const std::size_t target = periodic ? periodicMessage : longMessage;
        const std::size_t copies = (target + length - 1) / length;
        repeated.reset(new std::uint8_t[copies * length]); // exactly sized, as libFuzzer's copy is
        for (std::size_t i = 0; i < copies; ++i)
            std::memcpy(repeated.get() + i * length, data + header, length);
        length *= copies;
    }
    const std::uint8_t *raw = repeated ? repeated.get() : data + header;
    const PB_INT liveBefore = pbObjLiveCount();
    {
        pb::Ref<PB_BUFFER> message(pbBufferCreateFromBytesCopy(raw, PB_INT(length)));
        check(rfc___CrcImplementationSelect("portable"));
        const PB_INT expected = rfcCrcWithModel(width, poly, init, xorOut, reflectIn, reflectOut, message.get());
        check(fedInPieces(width, poly, init, xorOut, reflectIn, reflectOut, data + 26, message.get(), raw)
            == expected);
        for (const char *name : { "avx", "avx512" }) {
            if (!rfc___CrcImplementationSelect(name))
                continue;
            check(rfcCrcWithModel(width, poly, init, xorOut, reflectIn, reflectOut, message.get()) == expected);
            check(fedInPieces(width, poly, init, xorOut, reflectIn, reflectOut, data + 26, message.get(), raw)
            == expected);
        }
    }
    check(pbObjLiveCount() == liveBefore);
    return 0;
}
