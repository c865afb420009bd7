// Encodes arbitrary bytes under arbitrary encoder settings (padding, newline
// kind, line length, trailing newline) and checks that the decoder, told to
// skip newlines and to accept missing padding, gives the bytes back, and
// that the text has the promised line layout.
#include "fuzz_base.h"

#include <cstdint>

// Byte 0: encoding; byte 1: flags (bits 0-1) and newline kind (bits 2-4);
// byte 2: line length (0: none); the rest: the bytes to encode.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 3)
        return 0;
    static const PB_INT nlfs[] = { 0, PB_NLF_FLAG_LF, PB_NLF_FLAG_CR, PB_NLF_FLAG_CRLF, PB_NLF_FLAG_VT,
        PB_NLF_FLAG_FF, PB_NLF_FLAG_NEL, PB_NLF_FLAG_CRLF | PB_NLF_FLAG_LF };
    PB_INT encoding = data[0] % 5;
    PB_INT flags = data[1] & 3;
    PB_INT nlf = nlfs[(data[1] >> 2) & 7];
    PB_INT lineLength = data[2];
    PB_INT liveBefore = pbObjLiveCount();
    {
        pb::Ref<RFC_BASE_OPTIONS> opt(rfcBaseOptionsCreate());
        rfcBaseOptionsSetFlags(opt.addr(), flags);
        rfcBaseOptionsSetOutputNlf(opt.addr(), nlf);
        if (lineLength > 0)
            rfcBaseOptionsSetOutputLineLength(opt.addr(), lineLength);
        pb::Ref<PB_BUFFER> source(pbBufferCreateFromBytesCopy(data + 3, PB_INT(size - 3)));
        pb::Ref<PB_BUFFER> text(rfcBaseEncodeWithOptions(source.get(), encoding, opt.get()));

        // With a newline and a line length, no line is longer than the line
        // length; otherwise nothing is wrapped and a newline can only be the
        // trailing one.
        bool wraps = rfcBaseOptionsOutputNlf(opt.get()) != 0 && lineLength > 0;
        const PB_BYTE *t = pbBufferBacking(text.get());
        PB_INT n = pbBufferLength(text.get());
        PB_INT run = 0;
        for (PB_INT i = 0; i < n; ++i) {
            bool newline = t[i] == '\n' || t[i] == '\r' || t[i] == '\v' || t[i] == '\f';
            run = newline ? 0 : run + 1;
            check(wraps ? run <= lineLength : (!newline || i >= n - 2));
        }

        pb::Ref<PB_BUFFER> back(rfcBaseTryDecodeWithFlags(text.get(), encoding,
            RFC_BASE_FLAG_DECODE_IGNORE_NLF | RFC_BASE_FLAG_DECODE_ACCEPT_INVALID_PADDING));
        check(back && sameBytes(back.get(), source.get()));
    }
    check(pbObjLiveCount() == liveBefore);
    return 0;
}
