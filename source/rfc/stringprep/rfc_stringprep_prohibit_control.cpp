// Tables C.2.1 and C.2.2: ASCII and non-ASCII control characters.
#include "rfc_stringprep.h"
#include "rfc_stringprep_internal.h"

using namespace rfc::stringprep;

// 1 when source holds no code point of C.2.1 (U+0000..U+001F, U+007F).
extern "C" RFC_API PB_BOOL rfcStringprepProhibitControlAscii(PB_STRING *source) noexcept
{
    PB_ASSERT( source );
    return freeOf<isControlAscii>(source);
}

// 1 when source holds no code point of C.2.2.
extern "C" RFC_API PB_BOOL rfcStringprepProhibitControlNonAscii(PB_STRING *source) noexcept
{
    PB_ASSERT( source );
    return freeOf<isControlNonAscii>(source);
}

// C.2.1, then C.2.2 only when C.2.1 passed. A null source is reported by
// the first predicate.
extern "C" RFC_API PB_BOOL rfcStringprepProhibitControl(PB_STRING *source) noexcept
{
    if (!rfcStringprepProhibitControlAscii(source))
        return 0;
    return rfcStringprepProhibitControlNonAscii(source) ? 1 : 0;
}
