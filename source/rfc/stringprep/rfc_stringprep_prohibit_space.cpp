// Tables C.1.1 and C.1.2: ASCII and non-ASCII space characters.
#include "rfc_stringprep.h"
#include "rfc_stringprep_internal.h"

using namespace rfc::stringprep;

// 1 when source holds no U+0020 (C.1.1), else 0.
extern "C" RFC_API PB_BOOL rfcStringprepProhibitSpaceAscii(PB_STRING *source) noexcept
{
    PB_ASSERT( source );
    return freeOf<isSpaceAscii>(source);
}

// 1 when source holds no code point of C.1.2, else 0.
extern "C" RFC_API PB_BOOL rfcStringprepProhibitSpaceNonAscii(PB_STRING *source) noexcept
{
    PB_ASSERT( source );
    return freeOf<isSpaceNonAscii>(source);
}

// C.1.1, then C.1.2 only when C.1.1 passed. A null source is reported by
// the first predicate.
extern "C" RFC_API PB_BOOL rfcStringprepProhibitSpace(PB_STRING *source) noexcept
{
    if (!rfcStringprepProhibitSpaceAscii(source))
        return 0;
    return rfcStringprepProhibitSpaceNonAscii(source) ? 1 : 0;
}
