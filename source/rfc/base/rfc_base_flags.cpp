// The base flags and their text form, held in a process-wide flag set
// between module startup and shutdown.
#include "rfc_base_internal.h"

namespace {

PB_FLAGSET *rfc___BaseFlagsFlagset = rfc::slotVacant<PB_FLAGSET>();

// The nine flags are the bits of 0x1FF, each once.
static_assert((RFC_BASE_FLAG_ENCODE_OMIT_PADDING | RFC_BASE_FLAG_ENCODE_ENSURE_TRAILING_NLF
                  | RFC_BASE_FLAG_DECODE_IGNORE_NLF | RFC_BASE_FLAG_DECODE_IGNORE_WHITE_SPACE
                  | RFC_BASE_FLAG_DECODE_IGNORE_NON_ALPHABET | RFC_BASE_FLAG_DECODE_IGNORE_PADDING
                  | RFC_BASE_FLAG_DECODE_ACCEPT_INVALID_PAD_BITS | RFC_BASE_FLAG_DECODE_ACCEPT_INVALID_PADDING
                  | RFC_BASE_FLAG_DECODE_ACCEPT_INVALID_LENGTH)
        == 0x1FF
    && RFC_BASE_FLAG_ENCODE_OMIT_PADDING == 1 && RFC_BASE_FLAG_DECODE_ACCEPT_INVALID_LENGTH == 256);

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

// Enters one flag under its own name, which must not be defined yet; a
// violation names the flag.
#define RFC___BASE_FLAGS_ADD(flag)                                                 \
    do {                                                                           \
        PB_ASSERT( !pbFlagsetHasFlagCstr( rfc___BaseFlagsFlagset, #flag, -1 ) );   \
        pbFlagsetSetFlagCstr(&rfc___BaseFlagsFlagset, #flag, -1, (flag));          \
    } while (0)

// Creates the flag set and enters the nine flags in bit order.
RFC_API void rfc___BaseFlagsStartup(void)
{
    rfc___BaseFlagsFlagset = nullptr;
    rfc___BaseFlagsFlagset = pbFlagsetCreate();
    RFC___BASE_FLAGS_ADD(RFC_BASE_FLAG_ENCODE_OMIT_PADDING);
    RFC___BASE_FLAGS_ADD(RFC_BASE_FLAG_ENCODE_ENSURE_TRAILING_NLF);
    RFC___BASE_FLAGS_ADD(RFC_BASE_FLAG_DECODE_IGNORE_NLF);
    RFC___BASE_FLAGS_ADD(RFC_BASE_FLAG_DECODE_IGNORE_WHITE_SPACE);
    RFC___BASE_FLAGS_ADD(RFC_BASE_FLAG_DECODE_IGNORE_NON_ALPHABET);
    RFC___BASE_FLAGS_ADD(RFC_BASE_FLAG_DECODE_IGNORE_PADDING);
    RFC___BASE_FLAGS_ADD(RFC_BASE_FLAG_DECODE_ACCEPT_INVALID_PAD_BITS);
    RFC___BASE_FLAGS_ADD(RFC_BASE_FLAG_DECODE_ACCEPT_INVALID_PADDING);
    RFC___BASE_FLAGS_ADD(RFC_BASE_FLAG_DECODE_ACCEPT_INVALID_LENGTH);
}

#undef RFC___BASE_FLAGS_ADD

RFC_API void rfc___BaseFlagsShutdown(void)
{
    rfc::slotShutdown(rfc___BaseFlagsFlagset);
}

} // extern "C"
