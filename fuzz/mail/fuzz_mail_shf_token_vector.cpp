// Fuzzes the decoder of structured header text and checks on every input
// the properties of mail/mail_properties.h (no partial result, tokens that
// cover the text and classify as their type, the decode-encode-decode round
// trip at the wrap length and offset the input chooses, comment removal, the
// value round trips of the content constructors) and that no runtime object
// is left alive.
#include "mail/mail_properties.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    return pbModuleStartup(rfcModule()) ? 0 : 1;
}

// The first byte chooses how the rest becomes code points (bytes as code
// points, UTF-8, or any 32-bit values four bytes at a time, negative ones
// included), the fold width and the first-line offset.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 1)
        return 0;
    std::uint8_t mode = data[0];
    const auto *rest = reinterpret_cast<const PB_BYTE *>(data + 1);
    auto count = static_cast<PB_INT>(size - 1);
    PB_INT live = pbObjLiveCount();
    const char *failed;
    {
        mailprop::String text;
        if (mode % 3 == 0) {
            text.reset(pbStringCreateFromAscii(rest, count));
        } else if (mode % 3 == 1) {
            text.reset(pbStringCreateFromCstr(reinterpret_cast<const char *>(rest), count));
        } else {
            std::vector<PB_CHAR> chars(static_cast<std::size_t>(count / 4) + 1);
            std::memcpy(chars.data(), rest, (chars.size() - 1) * sizeof(PB_CHAR));
            // Strings hold code points only.
            for (PB_CHAR &c : chars)
                c = static_cast<PB_CHAR>(static_cast<std::uint32_t>(c) % 0x110000);
            text.reset(pbStringCreateFromCharsCopy(chars.data(), static_cast<PB_INT>(chars.size() - 1)));
        }
        failed = mailprop::textFailure(text.get(), static_cast<PB_INT>((mode >> 2) & 0x0F) - 1, static_cast<PB_INT>(mode >> 6) * 20);
        if (!failed)
            failed = mailprop::contentFailure(text.get());
    }
    if (!failed && pbObjLiveCount() != live)
        failed = "no runtime object left alive";
    if (failed) {
        std::fprintf(stderr, "property failed: %s\n", failed);
        std::abort();
    }
    return 0;
}
