// The trace profile for SASL ANONYMOUS trace data (RFC 4505).
// Its steps are its row of the profile table (rfc_stringprep_profile.h).
#include "rfc_stringprep_profile.h"

// source itself with one more reference when it passes the checks, null
// when it is refused. Nothing new is made.
extern "C" RFC_API PB_STRING *rfcStringprepProfileTrace(PB_STRING *source) noexcept
{
    PB_ASSERT( source );
    return rfc::stringprep::prepare<RFC_STRINGPREP_PROFILE_TRACE>(source, 0, nullptr);
}
