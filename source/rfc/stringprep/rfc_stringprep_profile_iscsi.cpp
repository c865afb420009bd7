// The iSCSI names profile (RFC 3722).
// Its steps are its row of the profile table (rfc_stringprep_profile.h).
#include "rfc_stringprep_profile.h"

// The prepared string (new, owned by the caller) or null when refused.
// source is only read.
extern "C" RFC_API PB_STRING *rfcStringprepProfileIscsi(PB_STRING *source, PB_BOOL allowUnassigned) noexcept
{
    PB_ASSERT( source );
    return rfc::stringprep::prepare<RFC_STRINGPREP_PROFILE_ISCSI>(source, allowUnassigned, nullptr);
}
