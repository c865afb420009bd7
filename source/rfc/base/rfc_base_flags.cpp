// The base flags and their text form, held in a process-wide flag set
// between module startup and shutdown.
#include "rfc_base_internal.h"

namespace {

PB_FLAGSET *rfc___BaseFlagsFlagset = rfc::slotVacant<PB_FLAGSET>();

struct FlagName {
    PB_INT bit;
    const char *name;
};

// In bit order; startup enters them in this order.
constexpr FlagName flagNames[] = {
    { RFC_BASE_FLAG_ENCODE_OMIT_PADDING, "RFC_BASE_FLAG_ENCODE_OMIT_PADDING" },
    { RFC_BASE_FLAG_ENCODE_ENSURE_TRAILING_NLF, "RFC_BASE_FLAG_ENCODE_ENSURE_TRAILING_NLF" },
    { RFC_BASE_FLAG_DECODE_IGNORE_NLF, "RFC_BASE_FLAG_DECODE_IGNORE_NLF" },
    { RFC_BASE_FLAG_DECODE_IGNORE_WHITE_SPACE, "RFC_BASE_FLAG_DECODE_IGNORE_WHITE_SPACE" },
    { RFC_BASE_FLAG_DECODE_IGNORE_NON_ALPHABET, "RFC_BASE_FLAG_DECODE_IGNORE_NON_ALPHABET" },
    { RFC_BASE_FLAG_DECODE_IGNORE_PADDING, "RFC_BASE_FLAG_DECODE_IGNORE_PADDING" },
    { RFC_BASE_FLAG_DECODE_ACCEPT_INVALID_PAD_BITS, "RFC_BASE_FLAG_DECODE_ACCEPT_INVALID_PAD_BITS" },
    { RFC_BASE_FLAG_DECODE_ACCEPT_INVALID_PADDING, "RFC_BASE_FLAG_DECODE_ACCEPT_INVALID_PADDING" },
    { RFC_BASE_FLAG_DECODE_ACCEPT_INVALID_LENGTH, "RFC_BASE_FLAG_DECODE_ACCEPT_INVALID_LENGTH" },
};

// The defined bits are exactly the table's, each once.
constexpr PB_INT definedFlags()
{
    PB_INT all = 0;
    for (const FlagName &flag : flagNames)
        all |= flag.bit;
    return all;
}
static_assert(std::size(flagNames) == 9 && definedFlags() == 0x1FF);

} // namespace

extern "C" {

RFC_API PB_INT rfcBaseFlagsNormalize(PB_INT flags)
{
    return flags & 0x1FF;
}

RFC_API PB_INT rfcBaseFlagsFromString(PB_STRING *pbs)
{
    PB_ASSERT( pbs );
    return rfcBaseFlagsNormalize(pbFlagsetParse(rfc___BaseFlagsFlagset, pbs));
}

RFC_API PB_STRING *rfcBaseFlagsToString(PB_INT flags)
{
    return pbFlagsetGenerate(rfc___BaseFlagsFlagset, rfcBaseFlagsNormalize(flags));
}

// Creates the flag set and enters the nine flags in bit order; a name
// entered twice is a violation.
RFC_API void rfc___BaseFlagsStartup(void)
{
    rfc___BaseFlagsFlagset = nullptr;
    rfc___BaseFlagsFlagset = pbFlagsetCreate();
    for (const FlagName &flag : flagNames) {
        const char *name = flag.name;
        PB_ASSERT( !pbFlagsetHasFlagCstr( rfc___BaseFlagsFlagset, name, -1 ) );
        pbFlagsetSetFlagCstr(&rfc___BaseFlagsFlagset, name, -1, flag.bit);
    }
}

RFC_API void rfc___BaseFlagsShutdown(void)
{
    rfc::slotShutdown(rfc___BaseFlagsFlagset);
}

} // extern "C"
