// Tables C.6 and C.7: code points inappropriate for plain text and for
// canonical representation.
#include "rfc_stringprep.h"
#include "rfc_stringprep_internal.h"

using namespace rfc::stringprep;

// 1 when source holds no code point of C.6 (U+FFF9..U+FFFD), else 0.
extern "C" RFC_API PB_BOOL rfcStringprepProhibitInappropriateForPlainText(PB_STRING *source) noexcept
{
    PB_ASSERT( source );
    return freeOf<isInappropriateForPlainText>(source);
}

// 1 when source holds no code point of C.7 (U+2FF0..U+2FFB), else 0.
extern "C" RFC_API PB_BOOL rfcStringprepProhibitInappropriateForCanonical(PB_STRING *source) noexcept
{
    PB_ASSERT( source );
    return freeOf<isInappropriateForCanonical>(source);
}
