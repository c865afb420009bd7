// Table B.1: code points commonly mapped to nothing.
#include "rfc_stringprep.h"
#include "rfc_stringprep_internal.h"

namespace {

// The image of a code point under B.1: -1 (dropped) or the code point.
PB_CHAR imageToNothing(std::uint32_t c)
{
    return rfc::stringprep::isMapToNothing(c) ? -1 : static_cast<PB_CHAR>(c);
}

} // namespace

// A new string without the code points of B.1; the source is only read.
extern "C" RFC_API PB_STRING *rfcStringprepMapToNothing(PB_STRING *source) noexcept
{
    PB_ASSERT( source );
    return rfc::stringprep::mapSingle<imageToNothing>(source);
}
