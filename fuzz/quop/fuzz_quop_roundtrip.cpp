// The round-trip property of quop_test_util.h on arbitrary bytes: the first
// bytes choose the input newline kind, the written kind (or none), the line
// length (1 to 100 or none) and the trailing flag.
#include "../../tests/quop/quop_test_util.h"

#include <cstdlib>

using namespace quoptest;

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    pbModuleStartup(rfcModule());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    constexpr PB_INT inputKinds[] = { LF, CR, CRLF, FF };
    constexpr PB_INT outputKinds[] = { LF, CR, CRLF, VT, FF, 0 };
    if (size < 3)
        return 0;
    const PB_INT lineLength = data[2] % 101 == 0 ? noLimit : data[2] % 101;
    const PB_INT flags = (data[0] & 0x80) ? RFC_QUOP_FLAG_ENCODE_ENSURE_TRAILING_NLF : 0;
    const std::string input(reinterpret_cast<const char *>(data + 3), size - 3);
    if (!roundTrips(input, inputKinds[data[0] % 4], outputKinds[data[1] % 6], lineLength, flags))
        std::abort();
    return 0;
}
