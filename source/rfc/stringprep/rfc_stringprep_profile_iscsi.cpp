// The iSCSI names profile (RFC 3722).
#include "rfc_stringprep.h"
#include "rfc_stringprep_profile.h"

namespace {

using namespace rfc::stringprep;

// B.1, B.2, NFKC; refuses C.1, C.2, C.3 to C.9 and the iSCSI extra set (ASCII punctuation
// but for - . : and U+3002); bidi check; unassigned code points unless allowed.
constexpr Steps kIscsiSteps = { false, true, true, true, kAsciiSpace | kAsciiControl | kAsciiIscsiRefused, kPropSpaceNonAscii | kRefusedC3ToC9, true, true };

} // namespace

// The prepared string (new, owned by the caller) or null when refused.
// source is only read.
extern "C" RFC_API PB_STRING *rfcStringprepProfileIscsi(PB_STRING *source, PB_BOOL allowUnassigned)
{
    PB_ASSERT( source );
    return prepare<kIscsiSteps>(source, allowUnassigned == 0);
}
