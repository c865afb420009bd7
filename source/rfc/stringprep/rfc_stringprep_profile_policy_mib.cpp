// The policy MIB profile (RFC 4011).
#include "rfc_stringprep.h"
#include "rfc_stringprep_profile.h"

namespace {

using namespace rfc::stringprep;

// B.1, NFKC; refuses C.2 and C.3 to C.9; no bidi check; unassigned code points.
constexpr Steps kPolicyMibSteps = { false, true, false, true, kAsciiControl, kRefusedC3ToC9, false, false };

} // namespace

// The prepared string (new, owned by the caller) or null when refused.
// source is only read.
extern "C" RFC_API PB_STRING *rfcStringprepProfilePolicyMib(PB_STRING *source)
{
    PB_ASSERT( source );
    return prepare<kPolicyMibSteps>(source, true);
}
