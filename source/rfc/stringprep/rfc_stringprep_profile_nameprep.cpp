// The nameprep profile for internationalized domain names (RFC 3491).
// Its steps are its row of the profile table (rfc_stringprep_profile.h).
#include "rfc_stringprep_profile.h"

// The prepared string (new, owned by the caller) or null when refused.
// source is only read.
extern "C" RFC_API PB_STRING *rfcStringprepProfileNameprep(PB_STRING *source, PB_BOOL allowUnassigned) noexcept
{
    PB_ASSERT( source );
    return rfc::stringprep::prepare<RFC_STRINGPREP_PROFILE_NAMEPREP>(source, allowUnassigned, nullptr);
}
