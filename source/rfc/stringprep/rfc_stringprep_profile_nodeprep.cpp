// The nodeprep profile for the node part of an XMPP address (RFC 3920).
// Its steps are its row of the profile table (rfc_stringprep_profile.h).
#include "rfc_stringprep_profile.h"

// The prepared string (new, owned by the caller) or null when refused.
// source is only read.
extern "C" RFC_API PB_STRING *rfcStringprepProfileNodeprep(PB_STRING *source) noexcept
{
    PB_ASSERT( source );
    return rfc::stringprep::prepare<RFC_STRINGPREP_PROFILE_NODEPREP>(source, 0, nullptr);
}
