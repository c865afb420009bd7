// Feeds arbitrary text and flags to the base decoder. Whatever it accepts
// must encode and decode back to the same bytes, and must decode to the same
// bytes under every further flag (each flag only relaxes a rule). Any crash,
// sanitizer report or leaked runtime object is a finding.
#include "fuzz_base.h"

#include <cstdint>

// The first byte picks the encoding, the next two the flags; the rest is
// the text.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 3)
        return 0;
    PB_INT encoding = data[0] % 5;
    PB_INT flags = (PB_INT(data[1]) << 8) | data[2];
    PB_INT liveBefore = pbObjLiveCount();
    {
        PB_BUFFER *text = pbBufferCreateFromBytesCopy(data + 3, PB_INT(size - 3));
        PB_BUFFER *bytes = rfcBaseTryDecodeWithFlags(text, encoding, flags);
        if (bytes) {
            PB_BUFFER *again = rfcBaseEncode(bytes, encoding);
            PB_BUFFER *back = rfcBaseTryDecode(again, encoding);
            check(back && sameBytes(back, bytes));
            PB_BUFFER *relaxed = rfcBaseTryDecodeWithFlags(text, encoding, 0x1FF);
            check(relaxed && sameBytes(relaxed, bytes));
            pbObjRelease(pbBufferObj(relaxed));
            pbObjRelease(pbBufferObj(back));
            pbObjRelease(pbBufferObj(again));
            pbObjRelease(pbBufferObj(bytes));
        }
        pbObjRelease(pbBufferObj(text));
    }
    check(pbObjLiveCount() == liveBefore);
    return 0;
}
