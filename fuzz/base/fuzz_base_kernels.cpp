// Compares every vector kernel this CPU runs with the scalar code on
// arbitrary input: the same text from the encoder under arbitrary layout
// settings, and the same bytes, or the same refusal at the same offset,
// from the decoder under arbitrary flags. Any difference is a finding.
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

Outcome run(PB_BUFFER *input, PB_INT encoding, RFC_BASE_OPTIONS *opt)
{
    Outcome outcome {};
    pb::Ref<PB_BUFFER> text(rfcBaseEncodeWithOptions(input, encoding, opt));
    outcome.encoded = contents(text.get());
    // Only the offset is compared: the accepting flags come from decoding
    // again, which the offset already covers.
    RFC_BASE_DECODE_REFUSAL refusal { -1, -1 };
    pb::Ref<PB_BUFFER> bytes(rfcBaseTryDecodeWithRefusal(input, encoding, opt, &refusal));
    outcome.decoded = bytes.get() != nullptr;
    outcome.bytes = bytes ? contents(bytes.get()) : std::string();
    outcome.offset = refusal.offset;
    return outcome;
}

} // namespace

// Byte 0: encoding; bytes 1-2: flags; byte 3: newline kind (low three
// bits) and line length (the rest, 0: none); the rest: the input, encoded
// as bytes and decoded as text.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 4)
        return 0;
    static const PB_INT nlfs[] = { 0, PB_NLF_FLAG_LF, PB_NLF_FLAG_CR, PB_NLF_FLAG_CRLF, PB_NLF_FLAG_VT,
        PB_NLF_FLAG_FF, PB_NLF_FLAG_CRLF, PB_NLF_FLAG_LF };
    PB_INT encoding = data[0] % 5;
    PB_INT flags = (PB_INT(data[1]) << 8) | data[2];
    PB_INT nlf = nlfs[data[3] & 7];
    PB_INT lineLength = data[3] >> 3;
    std::string before = rfc___BaseKernelName();
    PB_INT liveBefore = pbObjLiveCount();
    {
        pb::Ref<RFC_BASE_OPTIONS> opt(rfcBaseOptionsCreate());
        rfcBaseOptionsSetFlags(opt.addr(), flags);
        rfcBaseOptionsSetOutputNlf(opt.addr(), nlf);
        if (lineLength > 0)
            rfcBaseOptionsSetOutputLineLength(opt.addr(), lineLength * 3);
        pb::Ref<PB_BUFFER> input(pbBufferCreateFromBytesCopy(data + 4, PB_INT(size - 4)));
        check(rfc___BaseKernelSelect("portable"));
        Outcome reference = run(input.get(), encoding, opt.get());
        for (const char *name : vectorKernels) {
            if (rfc___BaseKernelSelect(name))
                check(run(input.get(), encoding, opt.get()) == reference);
        }
    }
    rfc___BaseKernelSelect(before.c_str());
    check(pbObjLiveCount() == liveBefore);
    return 0;
}
