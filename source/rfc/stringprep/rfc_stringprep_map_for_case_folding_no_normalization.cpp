// Table B.3: case folding for use without normalization.
#include "rfc_stringprep.h"
#include "rfc_stringprep_internal.h"

// A new string with each code point replaced by its B.3 image (one to three
// code points; itself when it is no key). The source is only read.
extern "C" RFC_API PB_STRING *rfcStringprepMapForCaseFoldingNoNormalization(PB_STRING *source) noexcept
{
    PB_ASSERT( source );
    return rfc::stringprep::mapCaseFold<rfc::stringprep::caseFoldNoNormalization>(source);
}
