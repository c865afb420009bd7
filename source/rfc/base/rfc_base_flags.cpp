// The base flags and their text form, held in a process-wide flag set
// between module startup and shutdown.
#include "rfc_base_internal.h"

#include "../rfc_settings_internal.h"

namespace {

PB_FLAGSET *rfc___BaseFlagsFlagset = rfc::slotVacant<PB_FLAGSET>();

// The nine flags in bit order, each under its own name.
constexpr rfc::FlagName kFlags[] = {
    RFC___FLAG_NAME(rfc___BaseFlagsFlagset, RFC_BASE_FLAG_ENCODE_OMIT_PADDING),
    RFC___FLAG_NAME(rfc___BaseFlagsFlagset, RFC_BASE_FLAG_ENCODE_ENSURE_TRAILING_NLF),
    RFC___FLAG_NAME(rfc___BaseFlagsFlagset, RFC_BASE_FLAG_DECODE_IGNORE_NLF),
    RFC___FLAG_NAME(rfc___BaseFlagsFlagset, RFC_BASE_FLAG_DECODE_IGNORE_WHITE_SPACE),
    RFC___FLAG_NAME(rfc___BaseFlagsFlagset, RFC_BASE_FLAG_DECODE_IGNORE_NON_ALPHABET),
    RFC___FLAG_NAME(rfc___BaseFlagsFlagset, RFC_BASE_FLAG_DECODE_IGNORE_PADDING),
    RFC___FLAG_NAME(rfc___BaseFlagsFlagset, RFC_BASE_FLAG_DECODE_ACCEPT_INVALID_PAD_BITS),
    RFC___FLAG_NAME(rfc___BaseFlagsFlagset, RFC_BASE_FLAG_DECODE_ACCEPT_INVALID_PADDING),
    RFC___FLAG_NAME(rfc___BaseFlagsFlagset, RFC_BASE_FLAG_DECODE_ACCEPT_INVALID_LENGTH),
};

// The nine flags are the bits of 0x1FF, each once.
constexpr PB_INT kDefined = rfc::flagsDefined(kFlags);
static_assert(kDefined == 0x1FF && std::size(kFlags) == 9 && RFC_BASE_FLAG_ENCODE_OMIT_PADDING == 1
    && RFC_BASE_FLAG_DECODE_ACCEPT_INVALID_LENGTH == 256);

} // namespace

extern "C" {

RFC_API PB_INT rfcBaseFlagsNormalize(PB_INT flags) noexcept
{
    return flags & kDefined;
}

RFC_API PB_INT rfcBaseFlagsFromString(PB_STRING *pbs) noexcept
{
    PB_ASSERT( pbs );
    return rfcBaseFlagsNormalize(pbFlagsetParse(rfc___BaseFlagsFlagset, pbs));
}

RFC_API PB_STRING *rfcBaseFlagsToString(PB_INT flags) noexcept
{
    return pbFlagsetGenerate(rfc___BaseFlagsFlagset, rfcBaseFlagsNormalize(flags));
}

RFC_API void rfc___BaseFlagsStartup(void) noexcept
{
    rfc::flagsetStartup(rfc___BaseFlagsFlagset, kFlags, PB___SOURCE_FILE);
}

RFC_API void rfc___BaseFlagsShutdown(void) noexcept
{
    rfc::slotShutdown(rfc___BaseFlagsFlagset);
}

} // extern "C"
