// Compares every vector kernel this CPU runs with the scalar code on
// arbitrary input: the same text from the encoder under arbitrary layout
// settings, and the same bytes, or the same refusal at the same offset,
// from the decoder under arbitrary flags. Any difference is a finding.
//
// Raw input is seldom text the kernels' fast paths take, so the decoder is
// also given the input's own encoding wrapped in regular lines of a chosen
// length and separator, with one chosen fault: the layout that the kernels
// learn from a text's first line breaks and then trust block by block.
#include "fuzz_base.h"

#include <rfc/base/rfc_base_kernel.h>

#include <cstdint>
#include <string>

namespace {

const char *const vectorKernels[] = { "avx512", "avx2" };

struct Outcome {
    std::string encoded;
    bool decoded;
    std::string bytes;
    PB_INT offset;
    bool operator==(const Outcome &) const = default;
};

std::string contents(PB_BUFFER *buffer)
{
    return std::string(reinterpret_cast<const char *>(pbBufferBacking(buffer)), std::size_t(pbBufferLength(buffer)));
}

// Encodes bytes and decodes text under the options.
Outcome run(PB_BUFFER *bytes, PB_BUFFER *text, PB_INT encoding, RFC_BASE_OPTIONS *opt)
{
    Outcome outcome {};
    pb::Ref<PB_BUFFER> encoded(rfcBaseEncodeWithOptions(bytes, encoding, opt));
    outcome.encoded = contents(encoded.get());
    // Only the offset is compared: the accepting flags come from decoding
    // again, which the offset already covers.
    RFC_BASE_DECODE_REFUSAL refusal { -1, -1 };
    pb::Ref<PB_BUFFER> decoded(rfcBaseTryDecodeWithRefusal(text, encoding, opt, &refusal));
    outcome.decoded = decoded.get() != nullptr;
    outcome.bytes = decoded ? contents(decoded.get()) : std::string();
    outcome.offset = refusal.offset;
    return outcome;
}

// The separators put between the lines of wrapped text: every newline kind
// the encoder writes, and bytes the kernels skip only under other flags.
const char *const separators[] = { "\r\n", "\n", "\r", "\v", "\f", " ", "\t", "\n\r" };

// The plain encoding of bytes (by the scalar code) cut into lines of
// lineLength characters joined by separator, then one fault: at offset
// at (taken modulo the text's length), the byte replaced by fault, or
// put in before it when insert.
std::string wrappedText(PB_BUFFER *bytes, PB_INT encoding, std::size_t lineLength, const std::string &separator,
    std::size_t at, bool insert, char fault)
{
    pb::Ref<PB_BUFFER> plain(rfcBaseEncode(bytes, encoding));
    std::string flat = contents(plain.get());
    std::string text;
    for (std::size_t i = 0; i < flat.size(); i += lineLength) {
        if (i != 0)
            text += separator;
        text.append(flat, i, lineLength);
    }
    if (!text.empty() && fault != 0) {
        at %= text.size();
        if (insert)
            text.insert(at, 1, fault);
        else
            text[at] = fault;
    }
    return text;
}

} // namespace

// Byte 0: encoding; bytes 1-2: flags; byte 3: newline kind (low three
// bits) and line length (the rest, 0: none) of the encoder's output;
// byte 4: 0 to decode the rest of the input as it stands, else the
// separator (low three bits) and fault kind (bit 3: put in rather than
// replaced) of wrapped text, and whether the input is repeated to at
// least longWrapped bytes before it is encoded and wrapped (bit 4), so that
// short inputs reach the paths that take many lines at a time; byte 5: its
// line length less 16; bytes 6-7: the fault's offset; byte 8: the fault
// byte (0: none). The rest is the input, encoded as bytes and decoded as
// text or wrapped.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    constexpr std::size_t header = 9;
    if (size < header)
        return 0;
    static const PB_INT nlfs[] = { 0, PB_NLF_FLAG_LF, PB_NLF_FLAG_CR, PB_NLF_FLAG_CRLF, PB_NLF_FLAG_VT,
        PB_NLF_FLAG_FF, PB_NLF_FLAG_CRLF, PB_NLF_FLAG_LF };
    PB_INT encoding = data[0] % 5;
    PB_INT flags = (PB_INT(data[1]) << 8) | data[2];
    PB_INT nlf = nlfs[data[3] & 7];
    PB_INT lineLength = data[3] >> 3;
    bool wrap = data[4] != 0;
    std::string before = rfc___BaseKernelName();
    PB_INT liveBefore = pbObjLiveCount();
    {
        pb::Ref<RFC_BASE_OPTIONS> opt(rfcBaseOptionsCreate());
        rfcBaseOptionsSetFlags(opt.addr(), flags);
        rfcBaseOptionsSetOutputNlf(opt.addr(), nlf);
        if (lineLength > 0)
            rfcBaseOptionsSetOutputLineLength(opt.addr(), lineLength * 3);
        pb::Ref<PB_BUFFER> input(pbBufferCreateFromBytesCopy(data + header, PB_INT(size - header)));
        check(rfc___BaseKernelSelect("portable"));
        pb::Ref<PB_BUFFER> text = pb::Ref<PB_BUFFER>::retained(input.get());
        if (wrap) {
            pb::Ref<PB_BUFFER> source = pb::Ref<PB_BUFFER>::retained(input.get());
            constexpr std::size_t longWrapped = 3000;
            if ((data[4] & 0x10) != 0 && size > header) {
                std::string repeated;
                while (repeated.size() < longWrapped)
                    repeated.append(reinterpret_cast<const char *>(data + header), size - header);
                source.reset(pbBufferCreateFromBytesCopy(
                    reinterpret_cast<const PB_BYTE *>(repeated.data()), PB_INT(repeated.size())));
            }
            std::string wrapped = wrappedText(source.get(), encoding, std::size_t { data[5] } + 16,
                separators[data[4] & 7], std::size_t { data[6] } << 8 | data[7], (data[4] & 8) != 0,
                static_cast<char>(data[8]));
            text.reset(
                pbBufferCreateFromBytesCopy(reinterpret_cast<const PB_BYTE *>(wrapped.data()), PB_INT(wrapped.size())));
        }
        Outcome reference = run(input.get(), text.get(), encoding, opt.get());
        for (const char *name : vectorKernels) {
            if (rfc___BaseKernelSelect(name))
                check(run(input.get(), text.get(), encoding, opt.get()) == reference);
        }
    }
    rfc___BaseKernelSelect(before.c_str());
    check(pbObjLiveCount() == liveBefore);
    return 0;
}
