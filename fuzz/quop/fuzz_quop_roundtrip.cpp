// Round trip of arbitrary bytes under arbitrary reversible settings: the
// first bytes choose the input newline kind, the output newline kind, the
// line length and the trailing flag; decoding the encoded text with the
// kinds swapped must give the input back (plus the trailing line break the
// flag asks for), every encoded line must obey the line length, and the
// decoder must accept the text under a maximum input line length equal to
// it.
#include <rfc/quop/rfc_quop.h>

#include <pb/pb_cpp.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr PB_INT inputKinds[] = { PB_NLF_FLAG_LF, PB_NLF_FLAG_CR, PB_NLF_FLAG_CRLF, PB_NLF_FLAG_FF };
constexpr PB_INT outputKinds[] = { PB_NLF_FLAG_LF, PB_NLF_FLAG_CR, PB_NLF_FLAG_CRLF, PB_NLF_FLAG_VT,
    PB_NLF_FLAG_FF, 0 };

std::string nlText(PB_INT nlf)
{
    switch (nlf) {
    case PB_NLF_FLAG_LF: return "\n";
    case PB_NLF_FLAG_CR: return "\r";
    case PB_NLF_FLAG_CRLF: return "\r\n";
    case PB_NLF_FLAG_VT: return "\v";
    case PB_NLF_FLAG_FF: return "\f";
    default: return "";
    }
}

std::string bytesOf(PB_BUFFER *buffer)
{
    return std::string(reinterpret_cast<const char *>(pbBufferBacking(buffer)), std::size_t(pbBufferLength(buffer)));
}

void check(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    pbModuleStartup(rfcModule());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 3)
        return 0;
    const PB_INT kind = inputKinds[data[0] % std::size(inputKinds)];
    const PB_INT written = outputKinds[data[1] % std::size(outputKinds)];
    const PB_INT lineLength = data[2] % 101 == 0 ? -1 : data[2] % 101; // 1..100 or no limit
    const bool trailing = data[0] & 0x80;
    const std::string input(reinterpret_cast<const char *>(data + 3), size - 3);

    pb::Ref<RFC_QUOP_OPTIONS> encodeOpt(rfcQuopOptionsCreate());
    rfcQuopOptionsSetEncodeInputNlf(encodeOpt.addr(), kind);
    rfcQuopOptionsSetEncodeOutputNlf(encodeOpt.addr(), written);
    if (lineLength == -1)
        rfcQuopOptionsDelEncodeOutputLineLength(encodeOpt.addr());
    else
        rfcQuopOptionsSetEncodeOutputLineLength(encodeOpt.addr(), lineLength);
    rfcQuopOptionsSetFlags(encodeOpt.addr(), trailing ? RFC_QUOP_FLAG_ENCODE_ENSURE_TRAILING_NLF : 0);
    pb::Ref<PB_BUFFER> source(
        pbBufferCreateFromBytesCopy(reinterpret_cast<const PB_BYTE *>(input.data()), PB_INT(input.size())));
    pb::Ref<PB_BUFFER> encoded(rfcQuopEncodeWithOptions(source.get(), encodeOpt.get()));
    const std::string text = bytesOf(encoded.get());

    // Without an output newline nothing is translated on either side.
    const PB_INT decodeInput = written == 0 ? kind : written;
    const PB_INT decodeOutput = written == 0 ? 0 : kind;
    std::string expected = input;
    if (trailing && written != 0) {
        const std::string nl = nlText(kind);
        const bool endsWithBreak = input.size() >= nl.size() && input.compare(input.size() - nl.size(), nl.size(), nl) == 0;
        if (!endsWithBreak)
            expected += nl;
    }

    for (int limited = 0; limited < 2; ++limited) {
        if (limited && (lineLength < 4 || written == 0))
            break;
        pb::Ref<RFC_QUOP_OPTIONS> decodeOpt(rfcQuopOptionsCreate());
        rfcQuopOptionsSetDecodeInputNlf(decodeOpt.addr(), decodeInput);
        rfcQuopOptionsSetDecodeOutputNlf(decodeOpt.addr(), decodeOutput);
        if (limited)
            rfcQuopOptionsSetDecodeMaxInputLineLength(decodeOpt.addr(), lineLength);
        pb::Ref<PB_BUFFER> decoded(rfcQuopTryDecodeWithOptions(encoded.get(), decodeOpt.get()));
        check(decoded && bytesOf(decoded.get()) == expected);
    }

    if (lineLength >= 4 && written != 0) {
        const std::string nl = nlText(written);
        std::size_t start = 0;
        for (;;) {
            std::size_t end = text.find(nl, start);
            check((end == std::string::npos ? text.size() : end) - start <= std::size_t(lineLength));
            if (end == std::string::npos)
                break;
            start = end + nl.size();
        }
    }
    return 0;
}
