// The encoding enumeration and the RFC 4648 names of the five encodings,
// held in process-wide objects between module startup and shutdown.
#include "rfc_base_internal.h"

namespace {

PB_ENUM *rfc___BaseEncodingEnum = rfc::slotVacant<PB_ENUM>();
PB_DICT *rfc___BaseEncodingToRfc4648Name = rfc::slotVacant<PB_DICT>();
PB_DICT *rfc___BaseEncodingFromRfc4648Name = rfc::slotVacant<PB_DICT>();

struct EncodingName {
    PB_INT value;
    const char *enumerant;
    const char *rfc4648;
};

// In value order; startup enters them in this order.
constexpr EncodingName encodingNames[] = {
    { RFC_BASE_ENCODING_BASE16, "RFC_BASE_ENCODING_BASE16", "base16" },
    { RFC_BASE_ENCODING_BASE32, "RFC_BASE_ENCODING_BASE32", "base32" },
    { RFC_BASE_ENCODING_BASE32HEX, "RFC_BASE_ENCODING_BASE32HEX", "base32hex" },
    { RFC_BASE_ENCODING_BASE64, "RFC_BASE_ENCODING_BASE64", "base64" },
    { RFC_BASE_ENCODING_BASE64URL, "RFC_BASE_ENCODING_BASE64URL", "base64url" },
};

static_assert(std::size(encodingNames) == 5);

} // namespace

extern "C" {

RFC_API PB_INT rfcBaseEncodingFromString(PB_STRING *pbs) noexcept
{
    PB_ASSERT( pbs );
    return pbEnumParse(rfc___BaseEncodingEnum, pbs);
}

RFC_API PB_STRING *rfcBaseEncodingToString(PB_INT enc) noexcept
{
    PB_ASSERT( RFC_BASE_ENCODING_OK( enc ) );
    return pbEnumGenerate(rfc___BaseEncodingEnum, enc);
}

// The encoding named by an RFC 4648 name, or -1. The name is borrowed.
RFC_API PB_INT rfcBaseEncodingFromRfc4648Name(PB_STRING *name) noexcept
{
    PB_ASSERT( name );
    pb::Ref<PB_BOXED_INT> boxed(pbBoxedIntFrom(pbDictStringKey(rfc___BaseEncodingFromRfc4648Name, name)));
    if (!boxed)
        return -1;
    PB_INT result = pbBoxedIntValue(boxed.get());
    PB_ASSERT( RFC_BASE_ENCODING_OK( result ) );
    return result;
}

RFC_API PB_STRING *rfcBaseEncodingToRfc4648Name(PB_INT encoding) noexcept
{
    PB_ASSERT( RFC_BASE_ENCODING_OK( encoding ) );
    PB_STRING *name = pbStringFrom(pbDictIntKey(rfc___BaseEncodingToRfc4648Name, encoding));
    PB_ASSERT( name );
    return name;
}

// Creates the two name dictionaries and the enumeration, in this order, and
// enters the five encodings in value order.
RFC_API void rfc___BaseEncodingStartup(void) noexcept
{
    rfc___BaseEncodingToRfc4648Name = nullptr;
    rfc___BaseEncodingFromRfc4648Name = nullptr;
    rfc___BaseEncodingEnum = nullptr;
    rfc___BaseEncodingToRfc4648Name = pbDictCreate();
    rfc___BaseEncodingFromRfc4648Name = pbDictCreate();
    rfc___BaseEncodingEnum = pbEnumCreate();
    for (const EncodingName &entry : encodingNames) {
        pb::Ref<PB_BOXED_INT> value(pbBoxedIntCreate(entry.value));
        pb::Ref<PB_STRING> name(pbStringCreateFromCstr(entry.rfc4648, -1));
        pbDictSetObjKey(&rfc___BaseEncodingToRfc4648Name, pbBoxedIntObj(value.get()), pbStringObj(name.get()));
        pbDictSetObjKey(&rfc___BaseEncodingFromRfc4648Name, pbStringObj(name.get()), pbBoxedIntObj(value.get()));
        pbEnumSetEnumerantCstr(&rfc___BaseEncodingEnum, entry.enumerant, -1, entry.value);
    }
}

RFC_API void rfc___BaseEncodingShutdown(void) noexcept
{
    rfc::slotShutdown(rfc___BaseEncodingToRfc4648Name);
    rfc::slotShutdown(rfc___BaseEncodingFromRfc4648Name);
    rfc::slotShutdown(rfc___BaseEncodingEnum);
}

} // extern "C"
