// The bidirectional check of RFC 3454 section 6, over tables D.1 (R and AL)
// and D.2 (L).
#include "rfc_stringprep.h"
#include "rfc_stringprep_internal.h"

using namespace rfc::stringprep;

extern "C" RFC_API PB_BOOL rfc___StringprepBidiIsROrAl(PB_CHAR c) noexcept
{
    return isRandAL(codePoint(c)) ? 1 : 0;
}

// 1 when source holds no right-to-left code point, or holds no
// left-to-right one and starts and ends with a right-to-left one; else 0.
// The second scan runs only when a right-to-left code point was found.
extern "C" RFC_API PB_BOOL rfcStringprepBidiCheck(PB_STRING *source) noexcept
{
    PB_ASSERT( source );
    Chars s = chars(source);
    PB_INT i = 0;
    while (i < s.length && !isRandAL(codePoint(s.data[i])))
        ++i;
    if (i == s.length)
        return 1;
    for (PB_INT j = 0; j < s.length; ++j) {
        if (isL(codePoint(s.data[j])))
            return 0;
    }
    return rfc___StringprepBidiIsROrAl(s.data[0]) && rfc___StringprepBidiIsROrAl(s.data[s.length - 1]) ? 1 : 0;
}
