// Table B.2: case folding for use with NFKC.
#include "rfc_stringprep.h"
#include "rfc_stringprep_internal.h"

// A new string with each code point replaced by its B.2 image (one to four
// code points; itself when it is no key). The source is only read.
extern "C" RFC_API PB_STRING *rfcStringprepMapForCaseFoldingNFKC(PB_STRING *source) noexcept
{
    PB_ASSERT( source );
    return rfc::stringprep::mapCaseFold<rfc::stringprep::caseFoldNfkc>(source);
}
