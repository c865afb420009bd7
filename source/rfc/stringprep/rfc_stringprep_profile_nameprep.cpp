// The nameprep profile for internationalized domain names (RFC 3491).
#include "rfc_stringprep.h"
#include "rfc_stringprep_profile.h"

namespace {

using namespace rfc::stringprep;

// B.1, B.2, NFKC; refuses C.1.2, C.2.2 and C.3 to C.9 (ASCII space and controls pass);
// bidi check; unassigned code points unless allowed.
constexpr Steps kNameprepSteps = { false, true, true, true, 0, kPropSpaceNonAscii | kRefusedC3ToC9, false, true };

} // namespace

// The prepared string (new, owned by the caller) or null when refused.
// source is only read.
extern "C" RFC_API PB_STRING *rfcStringprepProfileNameprep(PB_STRING *source, PB_BOOL allowUnassigned)
{
    PB_ASSERT( source );
    return prepare<kNameprepSteps>(source, allowUnassigned == 0);
}
