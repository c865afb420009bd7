// Table A.1: code points unassigned in Unicode 3.2.
#include "rfc_stringprep.h"
#include "rfc_stringprep_internal.h"

// 1 when source holds no code point of A.1, else 0. The search stops at the
// first unassigned code point; ASCII needs no table look-up.
extern "C" RFC_API PB_BOOL rfcStringprepUnassignedCheck(PB_STRING *source) noexcept
{
    PB_ASSERT( source );
    return rfc::stringprep::freeOf<rfc::stringprep::isUnassigned>(source);
}
