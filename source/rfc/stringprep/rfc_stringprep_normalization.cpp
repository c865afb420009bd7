// NFKC normalization, the second step of stringprep, done by the runtime.
#include "rfc_stringprep.h"
#include "rfc_stringprep_internal.h"

// The runtime's NFKC form of source. The runtime replaces the reference
// taken here by copy-on-write, so the caller's string stays as it was; when
// nothing changes the result may be source itself with one more reference.
// source is handed on unchecked.
extern "C" RFC_API PB_STRING *rfcStringprepNormalizationNFKC(PB_STRING *source) noexcept
{
    pb::Ref<PB_STRING> result = pb::Ref<PB_STRING>::retained(source);
    pbStringNormalize(result.addr(), PB_STRING_NORMALIZE_NFKC);
    return result.take();
}
