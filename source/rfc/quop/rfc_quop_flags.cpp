// The quoted-printable flags: normalisation, and their text form through the
// process-wide flag set that startup creates.
#include "rfc_quop.h"

#include "../rfc_settings_internal.h"

// The flag set naming the six flags; vacant (all bits set) outside startup
// and shutdown.
static PB_FLAGSET *rfc___QuopFlagsFlagset = rfc::slotVacant<PB_FLAGSET>();

namespace {

// The six flags in bit order, each under its own name.
constexpr rfc::FlagName kFlags[] = {
    RFC___FLAG_NAME(*(&rfc___QuopFlagsFlagset), RFC_QUOP_FLAG_ENCODE_ENSURE_TRAILING_NLF),
    RFC___FLAG_NAME(*(&rfc___QuopFlagsFlagset), RFC_QUOP_FLAG_DECODE_ACCEPT_SMALL_HEX_DIGITS),
    RFC___FLAG_NAME(*(&rfc___QuopFlagsFlagset), RFC_QUOP_FLAG_DECODE_ACCEPT_INVALID_ENCODING),
    RFC___FLAG_NAME(*(&rfc___QuopFlagsFlagset), RFC_QUOP_FLAG_DECODE_IGNORE_CONTROL),
    RFC___FLAG_NAME(*(&rfc___QuopFlagsFlagset), RFC_QUOP_FLAG_DECODE_IGNORE_NON_ASCII),
    RFC___FLAG_NAME(*(&rfc___QuopFlagsFlagset), RFC_QUOP_FLAG_DECODE_ENSURE_TRAILING_NLF),
};

// The six flags are the bits of 0x3F, each once.
constexpr PB_INT kDefined = rfc::flagsDefined(kFlags);
static_assert(kDefined == 0x3F && std::size(kFlags) == 6);

} // namespace

extern "C" {

RFC_API PB_INT rfcQuopFlagsNormalize(PB_INT flags) noexcept
{
    return flags & kDefined;
}

RFC_API PB_INT rfcQuopFlagsFromString(PB_STRING *pbs) noexcept
{
    PB_ASSERT( pbs );
    return rfcQuopFlagsNormalize(pbFlagsetParse(rfc___QuopFlagsFlagset, pbs));
}

RFC_API PB_STRING *rfcQuopFlagsToString(PB_INT flags) noexcept
{
    return pbFlagsetGenerate(rfc___QuopFlagsFlagset, rfcQuopFlagsNormalize(flags));
}

RFC_API void rfc___QuopFlagsStartup(void) noexcept
{
    rfc::flagsetStartup(rfc___QuopFlagsFlagset, kFlags, PB___SOURCE_FILE);
}

RFC_API void rfc___QuopFlagsShutdown(void) noexcept
{
    rfc::slotShutdown(rfc___QuopFlagsFlagset);
}

} // extern "C"
