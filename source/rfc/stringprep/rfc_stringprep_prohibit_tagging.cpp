// Table C.9: tagging characters.
#include "rfc_stringprep.h"
#include "rfc_stringprep_internal.h"

// 1 when source holds no code point of C.9, else 0.
extern "C" RFC_API PB_BOOL rfcStringprepProhibitTagging(PB_STRING *source) noexcept
{
    PB_ASSERT( source );
    return rfc::stringprep::freeOf<rfc::stringprep::isTagging>(source);
}
