// Table C.4: non-character code points.
#include "rfc_stringprep.h"
#include "rfc_stringprep_internal.h"

// 1 when source holds no code point of C.4, else 0.
extern "C" RFC_API PB_BOOL rfcStringprepProhibitNonCharacter(PB_STRING *source) noexcept
{
    PB_ASSERT( source );
    return rfc::stringprep::freeOf<rfc::stringprep::isNonCharacter>(source);
}
