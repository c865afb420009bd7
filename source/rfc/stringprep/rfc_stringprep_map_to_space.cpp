// Table C.1.2 used as a mapping: every non-ASCII space becomes U+0020.
#include "rfc_stringprep.h"
#include "rfc_stringprep_internal.h"

namespace {

PB_CHAR imageToSpace(std::uint32_t c)
{
    return rfc::stringprep::isSpaceNonAscii(c) ? 0x20 : static_cast<PB_CHAR>(c);
}

} // namespace

// A new string with each code point of C.1.2 replaced by U+0020; the
// source is only read.
extern "C" RFC_API PB_STRING *rfcStringprepMapSpaceNonAsciiToSpace(PB_STRING *source) noexcept
{
    PB_ASSERT( source );
    return rfc::stringprep::mapSingle<imageToSpace>(source);
}
