// The policy MIB profile (RFC 4011).
// Its steps are its row of the profile table (rfc_stringprep_profile.h).
#include "rfc_stringprep_profile.h"

// The prepared string (new, owned by the caller) or null when refused.
// source is only read.
extern "C" RFC_API PB_STRING *rfcStringprepProfilePolicyMib(PB_STRING *source) noexcept
{
    PB_ASSERT( source );
    return rfc::stringprep::prepare<RFC_STRINGPREP_PROFILE_POLICY_MIB>(source, 0, nullptr);
}
