// The quoted-printable flags: normalisation, and their text form through the
// process-wide flag set that startup creates.
#include "rfc_quop.h"

#include "../rfc_frame.h"

// The flag set naming the six flags; vacant (all bits set) outside startup
// and shutdown.
static PB_FLAGSET *rfc___QuopFlagsFlagset = rfc::slotVacant<PB_FLAGSET>();

namespace {

constexpr PB_INT flagsDefined = RFC_QUOP_FLAG_ENCODE_ENSURE_TRAILING_NLF
    | RFC_QUOP_FLAG_DECODE_ACCEPT_SMALL_HEX_DIGITS | RFC_QUOP_FLAG_DECODE_ACCEPT_INVALID_ENCODING
    | RFC_QUOP_FLAG_DECODE_IGNORE_CONTROL | RFC_QUOP_FLAG_DECODE_IGNORE_NON_ASCII
    | RFC_QUOP_FLAG_DECODE_ENSURE_TRAILING_NLF;
static_assert(flagsDefined == 0x3F);

} // namespace

extern "C" {

RFC_API PB_INT rfcQuopFlagsNormalize(PB_INT flags)
{
    return flags & flagsDefined;
}

RFC_API PB_INT rfcQuopFlagsFromString(PB_STRING *pbs)
{
    PB_ASSERT( pbs );
    return rfcQuopFlagsNormalize(pbFlagsetParse(rfc___QuopFlagsFlagset, pbs));
}

RFC_API PB_STRING *rfcQuopFlagsToString(PB_INT flags)
{
    return pbFlagsetGenerate(rfc___QuopFlagsFlagset, rfcQuopFlagsNormalize(flags));
}

// Adds one flag under its own name, which must not be defined yet.
#define RFC___QUOP_FLAGS_ADD(flag)                                                \
    do {                                                                          \
        PB_ASSERT( !pbFlagsetHasFlagCstr( *(&rfc___QuopFlagsFlagset), #flag, -1 ) ); \
        pbFlagsetSetFlagCstr(&rfc___QuopFlagsFlagset, #flag, -1, (flag));         \
    } while (0)

// Creates the flag set with the six flags in bit order.
RFC_API void rfc___QuopFlagsStartup(void)
{
    rfc___QuopFlagsFlagset = nullptr;
    rfc___QuopFlagsFlagset = pbFlagsetCreate();
    RFC___QUOP_FLAGS_ADD(RFC_QUOP_FLAG_ENCODE_ENSURE_TRAILING_NLF);
    RFC___QUOP_FLAGS_ADD(RFC_QUOP_FLAG_DECODE_ACCEPT_SMALL_HEX_DIGITS);
    RFC___QUOP_FLAGS_ADD(RFC_QUOP_FLAG_DECODE_ACCEPT_INVALID_ENCODING);
    RFC___QUOP_FLAGS_ADD(RFC_QUOP_FLAG_DECODE_IGNORE_CONTROL);
    RFC___QUOP_FLAGS_ADD(RFC_QUOP_FLAG_DECODE_IGNORE_NON_ASCII);
    RFC___QUOP_FLAGS_ADD(RFC_QUOP_FLAG_DECODE_ENSURE_TRAILING_NLF);
}

#undef RFC___QUOP_FLAGS_ADD

RFC_API void rfc___QuopFlagsShutdown(void)
{
    rfc::slotShutdown(rfc___QuopFlagsFlagset);
}

} // extern "C"
