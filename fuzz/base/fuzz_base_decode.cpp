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
        pb::Ref<PB_BUFFER> text(pbBufferCreateFromBytesCopy(data + 3, PB_INT(size - 3)));
        pb::Ref<PB_BUFFER> bytes(rfcBaseTryDecodeWithFlags(text.get(), encoding, flags));
        if (bytes) {
            pb::Ref<PB_BUFFER> again(rfcBaseEncode(bytes.get(), encoding));
            pb::Ref<PB_BUFFER> back(rfcBaseTryDecode(again.get(), encoding));
            check(back && sameBytes(back.get(), bytes.get()));
            pb::Ref<PB_BUFFER> relaxed(rfcBaseTryDecodeWithFlags(text.get(), encoding, 0x1FF));
            check(relaxed && sameBytes(relaxed.get(), bytes.get()));
        }
    }
    check(pbObjLiveCount() == liveBefore);
    return 0;
}
