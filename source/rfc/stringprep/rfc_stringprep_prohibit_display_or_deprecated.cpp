// Table C.8: code points that change display properties or are deprecated.
#include "rfc_stringprep.h"
#include "rfc_stringprep_internal.h"

// 1 when source holds no code point of C.8, else 0.
extern "C" RFC_API PB_BOOL rfcStringprepProhibitDisplayOrDeprecated(PB_STRING *source) noexcept
{
    PB_ASSERT( source );
    return rfc::stringprep::freeOf<rfc::stringprep::isDisplayOrDeprecated>(source);
}
