// The SASLprep profile for user names and passwords (RFC 4013).
#include "rfc_stringprep.h"
#include "rfc_stringprep_profile.h"

namespace {

using namespace rfc::stringprep;

// C.1.2 to U+0020, then B.1, NFKC; refuses C.1.2, C.2 and C.3 to C.9; bidi check;
// unassigned code points.
constexpr Steps kSaslprepSteps = { true, true, false, true, kAsciiControl, kPropSpaceNonAscii | kRefusedC3ToC9, false, true };

} // namespace

// The prepared string (new, owned by the caller) or null when refused.
// source is only read.
extern "C" RFC_API PB_STRING *rfcStringprepProfileSaslprep(PB_STRING *source)
{
    PB_ASSERT( source );
    return prepare<kSaslprepSteps>(source, true);
}
