// The resourceprep profile for the resource part of an XMPP address (RFC 3920).
// Its steps are its row of the profile table (rfc_stringprep_profile.h).
#include "rfc_stringprep_profile.h"

// The prepared string (new, owned by the caller) or null when refused.
// source is only read.
extern "C" RFC_API PB_STRING *rfcStringprepProfileResourceprep(PB_STRING *source) noexcept
{
    PB_ASSERT( source );
    return rfc::stringprep::prepare<RFC_STRINGPREP_PROFILE_RESOURCEPREP>(source, 0, nullptr);
}
