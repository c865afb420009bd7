// The streaming encoders and decoders of both families against their
// one-call functions, on arbitrary input cut into arbitrary pieces under
// arbitrary settings. The first bytes choose the family, the direction, the
// settings and the piece sizes. Results must agree byte for byte; a refused
// decode must be refused by the stream at the same offset, after handing out
// no more than the one-call decoder gives for the text before that offset.
#include <rfc/base/rfc_base.h>
#include <rfc/quop/rfc_quop.h>
#include <rfc/rfc_module.h>

#include <pb/pb_cpp.h>

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace {

struct Reader {
    const std::uint8_t *p;
    std::size_t n;
    std::uint8_t next() { return n ? (--n, *p++) : 0; }
};

pb::Ref<PB_BUFFER> buffer(const std::string &s)
{
    pb::Ref<PB_BUFFER> b(pbBufferCreate());
    pbBufferAppendBytes(b.addr(), reinterpret_cast<const PB_BYTE *>(s.data()), PB_INT(s.size()));
    return b;
}

std::optional<std::string> bytesOf(PB_BUFFER *b)
{
    pb::Ref<PB_BUFFER> held(b);
    if (!held)
        return std::nullopt;
    return std::string(reinterpret_cast<const char *>(pbBufferBacking(b)), std::size_t(pbBufferLength(b)));
}

// Piece sizes from a seed: 1 to 64 bytes, now and then a large one.
std::vector<std::size_t> pieces(std::size_t length, std::uint8_t seed)
{
    std::vector<std::size_t> sizes;
    std::uint32_t state = seed * 2654435761u + 1;
    for (std::size_t done = 0; done < length;) {
        state = state * 1664525u + 1013904223u;
        std::size_t n = (state >> 24) % 64 + 1;
        if ((state & 0xF) == 0)
            n = 4096;
        n = std::min(n, length - done);
        sizes.push_back(n);
        done += n;
    }
    return sizes;
}

template <class Write>
std::string feed(const std::string &input, const std::vector<std::size_t> &sizes, Write write)
{
    std::string out;
    std::size_t at = 0;
    for (std::size_t n : sizes) {
        out += *bytesOf(write(reinterpret_cast<const PB_BYTE *>(input.data()) + at, PB_INT(n)));
        at += n;
    }
    return out;
}

void base(Reader &r, const std::string &input)
{
    const PB_INT encoding = r.next() % 5;
    const bool decode = r.next() & 1;
    const PB_INT flags = (PB_INT(r.next()) << 1 | r.next()) & 0x1FF;
    const PB_INT nlfs[] = { 0, PB_NLF_FLAG_LF, PB_NLF_FLAG_CRLF };
    const PB_INT nlf = nlfs[r.next() % 3];
    const PB_INT lineLength = r.next() % 80;
    const auto sizes = pieces(input.size(), r.next());
    pb::Ref<RFC_BASE_OPTIONS> opt(rfcBaseOptionsCreate());
    rfcBaseOptionsSetFlags(opt.addr(), flags);
    rfcBaseOptionsSetOutputNlf(opt.addr(), nlf);
    if (lineLength > 0)
        rfcBaseOptionsSetOutputLineLength(opt.addr(), lineLength);
    pb::Ref<PB_BUFFER> source = buffer(input);
    if (!decode) {
        const std::string expected = *bytesOf(rfcBaseEncodeWithOptions(source.get(), encoding, opt.get()));
        RFC_BASE_ENCODE_STREAM *stream = rfcBaseEncodeStreamCreate(encoding, opt.get());
        std::string got = feed(input, sizes, [&](const PB_BYTE *b, PB_INT n) { return rfcBaseEncodeStreamWrite(stream, b, n); });
        got += *bytesOf(rfcBaseEncodeStreamFinish(stream));
        rfcBaseEncodeStreamFree(stream);
        if (got != expected)
            std::abort();
        return;
    }
    RFC_BASE_DECODE_REFUSAL refusal { -1, -1 };
    const auto expected = bytesOf(rfcBaseTryDecodeWithRefusal(source.get(), encoding, opt.get(), &refusal));
    RFC_BASE_DECODE_STREAM *stream = rfcBaseDecodeStreamCreate(encoding, opt.get());
    std::string got = feed(input, sizes, [&](const PB_BYTE *b, PB_INT n) { return rfcBaseDecodeStreamWrite(stream, b, n); });
    got += *bytesOf(rfcBaseDecodeStreamFinish(stream));
    RFC_BASE_DECODE_REFUSAL streamed { -1, -1 };
    const bool refused = rfcBaseDecodeStreamRefusal(stream, &streamed);
    rfcBaseDecodeStreamFree(stream);
    if (refused != !expected)
        std::abort();
    if (expected && got != *expected)
        std::abort();
    if (!expected) {
        if (streamed.offset != refusal.offset || (streamed.acceptingFlags < 0) != (refusal.acceptingFlags < 0))
            std::abort();
        if (got.size() > std::size_t(refusal.offset))
            std::abort();
    }
}

void quop(Reader &r, const std::string &input)
{
    const bool decode = r.next() & 1;
    const PB_INT inputNlf = r.next() & 0x37;
    const PB_INT outputNlfs[] = { 0, PB_NLF_FLAG_LF, PB_NLF_FLAG_CR, PB_NLF_FLAG_CRLF, PB_NLF_FLAG_VT };
    const PB_INT outputNlf = outputNlfs[r.next() % 5];
    const PB_INT flags = r.next() & 0x3F;
    const std::uint8_t length = r.next();
    const auto sizes = pieces(input.size(), r.next());
    pb::Ref<RFC_QUOP_OPTIONS> opt(rfcQuopOptionsCreate());
    rfcQuopOptionsSetFlags(opt.addr(), flags);
    pb::Ref<PB_BUFFER> source = buffer(input);
    if (!decode) {
        rfcQuopOptionsSetEncodeInputNlf(opt.addr(), inputNlf);
        rfcQuopOptionsSetEncodeOutputNlf(opt.addr(), outputNlf);
        if (length % 90 == 0)
            rfcQuopOptionsDelEncodeOutputLineLength(opt.addr());
        else
            rfcQuopOptionsSetEncodeOutputLineLength(opt.addr(), length % 90);
        const std::string expected = *bytesOf(rfcQuopEncodeWithOptions(source.get(), opt.get()));
        RFC_QUOP_ENCODE_STREAM *stream = rfcQuopEncodeStreamCreate(opt.get());
        std::string got = feed(input, sizes, [&](const PB_BYTE *b, PB_INT n) { return rfcQuopEncodeStreamWrite(stream, b, n); });
        got += *bytesOf(rfcQuopEncodeStreamFinish(stream));
        rfcQuopEncodeStreamFree(stream);
        if (got != expected)
            std::abort();
        return;
    }
    rfcQuopOptionsSetDecodeInputNlf(opt.addr(), inputNlf);
    rfcQuopOptionsSetDecodeOutputNlf(opt.addr(), outputNlf);
    if (length >= 4 && length < 200)
        rfcQuopOptionsSetDecodeMaxInputLineLength(opt.addr(), length);
    RFC_QUOP_DECODE_REFUSAL refusal { -1, -1 };
    const auto expected = bytesOf(rfcQuopTryDecodeWithRefusal(source.get(), opt.get(), &refusal));
    RFC_QUOP_DECODE_STREAM *stream = rfcQuopDecodeStreamCreate(opt.get());
    // White space held back may stay in memory or go to a file.
    const PB_INT spillLimits[] = { 0, 1, 4096 };
    rfcQuopDecodeStreamSetSpillLimit(stream, spillLimits[r.next() % 3]);
    std::string got = feed(input, sizes, [&](const PB_BYTE *b, PB_INT n) { return rfcQuopDecodeStreamWrite(stream, b, n); });
    got += *bytesOf(rfcQuopDecodeStreamFinish(stream));
    // What Finish still owes comes from writes of nothing.
    for (std::string more; !(more = *bytesOf(rfcQuopDecodeStreamWrite(stream, nullptr, 0))).empty();)
        got += more;
    RFC_QUOP_DECODE_REFUSAL streamed { -1, -1 };
    const bool refused = rfcQuopDecodeStreamRefusal(stream, &streamed);
    rfcQuopDecodeStreamFree(stream);
    if (refused != !expected)
        std::abort();
    if (expected && got != *expected)
        std::abort();
    if (!expected && (streamed.kind != refusal.kind || streamed.offset != refusal.offset))
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static const bool started = pbModuleStartup(rfcModule());
    (void)started;
    Reader r { data, size };
    const bool family = r.next() & 1;
    std::uint8_t settings[8];
    for (auto &s : settings)
        s = r.next();
    Reader choose { settings, sizeof settings };
    const std::string input(reinterpret_cast<const char *>(r.p), r.n);
    if (family)
        quop(choose, input);
    else
        base(choose, input);
    return 0;
}
