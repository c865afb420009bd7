// The nodeprep profile for the node part of an XMPP address (RFC 3920).
#include "rfc_stringprep.h"
#include "rfc_stringprep_profile.h"

namespace {

using namespace rfc::stringprep;

// B.1, B.2, NFKC; refuses C.1, C.2, C.3 to C.9 and " & ' / : < > @; bidi check;
// unassigned code points.
constexpr Steps kNodeprepSteps = { false, true, true, true, kAsciiSpace | kAsciiControl | kAsciiNodeprepRefused, kPropSpaceNonAscii | kRefusedC3ToC9, false, true };

} // namespace

// The prepared string (new, owned by the caller) or null when refused.
// source is only read.
extern "C" RFC_API PB_STRING *rfcStringprepProfileNodeprep(PB_STRING *source)
{
    PB_ASSERT( source );
    return prepare<kNodeprepSteps>(source, true);
}
