// Runs every stringprep profile on arbitrary code point strings and checks
// that it agrees with the profile composed from the exported steps, that
// nothing is left alive, and that a string SASLprep or nameprep prepared
// prepares to itself.
#include "stringprep/stringprep_support.h"

#include <rfc/rfc_module.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

void fail(const char *what, const char *profile, const std::u32string &input)
{
    std::fprintf(stderr, "%s: %s on %s\n", profile, what, sptest::formatChars(input).c_str());
    std::abort();
}

std::u32string chars(PB_STRING *s)
{
    const PB_CHAR *data = pbStringBacking(s);
    return std::u32string(data, data + pbStringLength(s));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    return pbModuleStartup(rfcModule()) ? 0 : 1;
}

// Two bytes below 0xF0 00 make one code point of the BMP; a first byte
// from 0xF0 on takes two more bytes for any value up to U+10FFFF, so that
// surrogates, noncharacters and the other planes come up as well.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    std::u32string input;
    std::size_t i = 0;
    while (i + 2 <= size && input.size() < 64) {
        if (data[i] < 0xF0) {
            input.push_back(static_cast<char32_t>((data[i] << 8) | data[i + 1]));
            i += 2;
        } else if (i + 3 <= size) {
            input.push_back(static_cast<char32_t>((((data[i] & 0x1F) << 16) | (data[i + 1] << 8) | data[i + 2]) % 0x110000));
            i += 3;
        } else {
            break;
        }
    }
    PB_INT alive = pbObjLiveCount();
    PB_STRING *source = pbStringCreateFromCharsCopy(reinterpret_cast<const PB_CHAR *>(input.data()), PB_INT(input.size()));
    for (const char *name : sptest::kProfiles) {
        for (PB_BOOL allow : { 0, 1 }) {
            PB_STRING *prepared = sptest::profileByName(name)(source, allow);
            std::string got = prepared ? sptest::formatChars(chars(prepared)) : "REFUSED";
            if (got != sptest::prepareComposed(name, source, allow))
                fail("differs from the composed steps", name, input);
            bool idempotent = std::string(name) == "saslprep" || (std::string(name) == "nameprep" && !allow);
            if (prepared && idempotent) {
                PB_STRING *again = sptest::profileByName(name)(prepared, allow);
                if (!again || chars(again) != chars(prepared))
                    fail("a prepared string does not prepare to itself", name, input);
                pbObjRelease(pbStringObj(again));
            }
            if (prepared)
                pbObjRelease(pbStringObj(prepared));
        }
    }
    pbObjRelease(pbStringObj(source));
    if (pbObjLiveCount() != alive)
        fail("objects left alive", "all profiles", input);
    return 0;
}
