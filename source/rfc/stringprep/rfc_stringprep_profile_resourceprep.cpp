// The resourceprep profile for the resource part of an XMPP address (RFC 3920).
#include "rfc_stringprep.h"
#include "rfc_stringprep_profile.h"

namespace {

using namespace rfc::stringprep;

// B.1, NFKC; refuses C.1.2, C.2 and C.3 to C.9 (the ASCII space passes); bidi check;
// unassigned code points.
constexpr Steps kResourceprepSteps = { false, true, false, true, kAsciiControl, kPropSpaceNonAscii | kRefusedC3ToC9, false, true };

} // namespace

// The prepared string (new, owned by the caller) or null when refused.
// source is only read.
extern "C" RFC_API PB_STRING *rfcStringprepProfileResourceprep(PB_STRING *source)
{
    PB_ASSERT( source );
    return prepare<kResourceprepSteps>(source, true);
}
