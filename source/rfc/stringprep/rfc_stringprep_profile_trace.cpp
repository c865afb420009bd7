// The trace profile for SASL ANONYMOUS trace data (RFC 4505).
#include "rfc_stringprep.h"
#include "rfc_stringprep_profile.h"

namespace {

using namespace rfc::stringprep;

// No mapping, no normalization; refuses C.2, C.3 to C.6, C.8 and C.9 (not
// C.7, not the spaces); bidi check; unassigned code points pass.
constexpr Steps kTraceSteps = { false, false, false, false, kAsciiControl, kPropProhibitedCommon, false, true };

} // namespace

// source itself with one more reference when it passes the checks, null
// when it is refused. Nothing new is made.
extern "C" RFC_API PB_STRING *rfcStringprepProfileTrace(PB_STRING *source)
{
    PB_ASSERT( source );
    Chars s = chars(source);
    if (!passes<kTraceSteps>(seeAll<kTraceSteps>(s.data, s.length), s.data, s.length, false))
        return nullptr;
    pbObjRetain(pb::obj(source));
    return source;
}
