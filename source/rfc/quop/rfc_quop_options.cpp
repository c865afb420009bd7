// The quoted-printable options object: seven settings, each a marker that is
// true while the setting holds its default and a value; copy-on-write
// setters, comparison field by field, and the store form.
#include "rfc_quop.h"

#include "../rfc_frame.h"

#include <cstddef>
#include <iterator>
#include <utility>

extern "C" PB_INT rfc___QuopOptionsCompFunc(PB_OBJ *thisObj, PB_OBJ *thatObj);

RFC___DEFINE_SORT(rfc___sort_RFC_QUOP_OPTIONS, "RFC_QUOP_OPTIONS", nullptr, rfc___QuopOptionsCompFunc);

struct RFC_QUOP_OPTIONS {
    PB___OBJ_HEADER header;
    PB_BOOL flagsDefault;
    PB_INT flags;
    PB_BOOL encodeInputNlfDefault;
    PB_INT encodeInputNlf;
    PB_BOOL encodeOutputNlfDefault;
    PB_INT encodeOutputNlf;
    PB_BOOL encodeOutputLineLengthDefault;
    PB_INT encodeOutputLineLength;
    PB_BOOL decodeInputNlfDefault;
    PB_INT decodeInputNlf;
    PB_BOOL decodeOutputNlfDefault;
    PB_INT decodeOutputNlf;
    PB_BOOL decodeMaxInputLineLengthDefault;
    PB_INT decodeMaxInputLineLength;
};

RFC___DEFINE_STDFUNCS(rfcQuopOptions, RFC_QUOP_OPTIONS, rfc___sort_RFC_QUOP_OPTIONS);

namespace {

constexpr PB_INT noLimit = -1;

// The default value of each setting, under the setting's name.
namespace defaults {
constexpr PB_INT flags = 0;
constexpr PB_INT encodeInputNlf = PB_NLF_FLAG_CRLF;
constexpr PB_INT encodeOutputNlf = PB_NLF_FLAG_CRLF;
constexpr PB_INT encodeOutputLineLength = 76; // RFC 2045's limit, "=" included
constexpr PB_INT decodeInputNlf = PB_NLF_FLAG_CRLF;
constexpr PB_INT decodeOutputNlf = PB_NLF_FLAG_CRLF;
constexpr PB_INT decodeMaxInputLineLength = noLimit;
} // namespace defaults

// An input set keeps the bits of the eight newline kinds the runtime names.
constexpr PB_INT inputNlf(PB_INT nlf)
{
    return nlf & 0xFF;
}

// An output value names one kind: the first present in the order LF, CR,
// CR LF, VT, FF, or none.
constexpr PB_INT outputNlf(PB_INT nlf)
{
    for (PB_INT kind : { PB_NLF_FLAG_LF, PB_NLF_FLAG_CR, PB_NLF_FLAG_CRLF, PB_NLF_FLAG_VT, PB_NLF_FLAG_FF })
        if (nlf & kind)
            return kind;
    return 0;
}
static_assert(outputNlf(0x06) == 0x02 && outputNlf(0x30) == 0x10 && outputNlf(0x08) == 0);

// Makes *opt the caller's own object before a change: a shared object is
// copied and the caller's hold on it released.
void unshare(RFC_QUOP_OPTIONS **opt)
{
    if (pb::isShared(*opt)) {
        RFC_QUOP_OPTIONS *copy = rfcQuopOptionsCreateFrom(*opt);
        rfcQuopOptionsRelease(*opt);
        *opt = copy;
    }
}

template <class T>
int order(T a, T b)
{
    return a < b ? -1 : (a > b ? 1 : 0);
}

} // namespace

// The getter, the marker getter and the reset of one setting; the reset
// stores the default value and sets the marker. (The setters, each with its
// own rule, follow below.)
#define RFC___QUOP_OPTIONS_SETTING(Name, field)                               \
    RFC_API PB_INT rfcQuopOptions##Name(RFC_QUOP_OPTIONS *opt)                     \
    {                                                                               \
        PB_ASSERT( opt );                                                           \
        return opt->field;                                                          \
    }                                                                               \
    RFC_API PB_BOOL rfcQuopOptions##Name##Default(RFC_QUOP_OPTIONS *opt)           \
    {                                                                               \
        PB_ASSERT( opt );                                                           \
        return opt->field##Default;                                                 \
    }                                                                               \
    RFC_API void rfcQuopOptionsSet##Name##Default(RFC_QUOP_OPTIONS **opt)          \
    {                                                                               \
        PB_ASSERT( opt );                                                           \
        PB_ASSERT( *opt );                                                          \
        unshare(opt);                                                               \
        (*opt)->field##Default = PB_TRUE;                                           \
        (*opt)->field = defaults::field;                                             \
    }                                                                               \
    static_assert(true, "")

extern "C" {

RFC___QUOP_OPTIONS_SETTING(Flags, flags);
RFC___QUOP_OPTIONS_SETTING(EncodeInputNlf, encodeInputNlf);
RFC___QUOP_OPTIONS_SETTING(EncodeOutputNlf, encodeOutputNlf);
RFC___QUOP_OPTIONS_SETTING(EncodeOutputLineLength, encodeOutputLineLength);
RFC___QUOP_OPTIONS_SETTING(DecodeInputNlf, decodeInputNlf);
RFC___QUOP_OPTIONS_SETTING(DecodeOutputNlf, decodeOutputNlf);
RFC___QUOP_OPTIONS_SETTING(DecodeMaxInputLineLength, decodeMaxInputLineLength);

RFC_API RFC_QUOP_OPTIONS *rfcQuopOptionsCreate(void)
{
    auto *opt = reinterpret_cast<RFC_QUOP_OPTIONS *>(
        pb___ObjCreate(sizeof(RFC_QUOP_OPTIONS), &rfc___sort_RFC_QUOP_OPTIONS));
    rfcQuopOptionsSetFlagsDefault(&opt);
    rfcQuopOptionsSetEncodeInputNlfDefault(&opt);
    rfcQuopOptionsSetEncodeOutputNlfDefault(&opt);
    rfcQuopOptionsSetEncodeOutputLineLengthDefault(&opt);
    rfcQuopOptionsSetDecodeInputNlfDefault(&opt);
    rfcQuopOptionsSetDecodeOutputNlfDefault(&opt);
    rfcQuopOptionsSetDecodeMaxInputLineLengthDefault(&opt);
    return opt;
}

RFC_API RFC_QUOP_OPTIONS *rfcQuopOptionsCreateFrom(RFC_QUOP_OPTIONS *source)
{
    PB_ASSERT( source );
    auto *opt = reinterpret_cast<RFC_QUOP_OPTIONS *>(
        pb___ObjCreate(sizeof(RFC_QUOP_OPTIONS), &rfc___sort_RFC_QUOP_OPTIONS));
    opt->flagsDefault = source->flagsDefault;
    opt->flags = source->flags;
    opt->encodeInputNlfDefault = source->encodeInputNlfDefault;
    opt->encodeInputNlf = source->encodeInputNlf;
    opt->encodeOutputNlfDefault = source->encodeOutputNlfDefault;
    opt->encodeOutputNlf = source->encodeOutputNlf;
    opt->encodeOutputLineLengthDefault = source->encodeOutputLineLengthDefault;
    opt->encodeOutputLineLength = source->encodeOutputLineLength;
    opt->decodeInputNlfDefault = source->decodeInputNlfDefault;
    opt->decodeInputNlf = source->decodeInputNlf;
    opt->decodeOutputNlfDefault = source->decodeOutputNlfDefault;
    opt->decodeOutputNlf = source->decodeOutputNlf;
    opt->decodeMaxInputLineLengthDefault = source->decodeMaxInputLineLengthDefault;
    opt->decodeMaxInputLineLength = source->decodeMaxInputLineLength;
    return opt;
}

// The flags are stored as given, undefined bits included.
RFC_API void rfcQuopOptionsSetFlags(RFC_QUOP_OPTIONS **opt, PB_INT flags)
{
    PB_ASSERT( opt );
    PB_ASSERT( *opt );
    unshare(opt);
    (*opt)->flagsDefault = PB_FALSE;
    (*opt)->flags = flags;
}

RFC_API void rfcQuopOptionsSetEncodeInputNlf(RFC_QUOP_OPTIONS **opt, PB_INT nlf)
{
    PB_ASSERT( opt );
    PB_ASSERT( *opt );
    unshare(opt);
    (*opt)->encodeInputNlfDefault = PB_FALSE;
    (*opt)->encodeInputNlf = inputNlf(nlf);
}

RFC_API void rfcQuopOptionsSetEncodeOutputNlf(RFC_QUOP_OPTIONS **opt, PB_INT nlf)
{
    PB_ASSERT( opt );
    PB_ASSERT( *opt );
    unshare(opt);
    (*opt)->encodeOutputNlfDefault = PB_FALSE;
    (*opt)->encodeOutputNlf = outputNlf(nlf);
}

RFC_API void rfcQuopOptionsSetEncodeOutputLineLength(RFC_QUOP_OPTIONS **opt, PB_INT lineLength)
{
    PB_ASSERT( opt );
    PB_ASSERT( *opt );
    PB_ASSERT( lineLength >= 1 );
    unshare(opt);
    (*opt)->encodeOutputLineLengthDefault = PB_FALSE;
    (*opt)->encodeOutputLineLength = lineLength;
}

RFC_API PB_BOOL rfcQuopOptionsHasEncodeOutputLineLength(RFC_QUOP_OPTIONS *opt)
{
    PB_ASSERT( opt );
    return opt->encodeOutputLineLength != noLimit;
}

RFC_API void rfcQuopOptionsDelEncodeOutputLineLength(RFC_QUOP_OPTIONS **opt)
{
    PB_ASSERT( opt );
    PB_ASSERT( *opt );
    unshare(opt);
    (*opt)->encodeOutputLineLengthDefault = PB_FALSE;
    (*opt)->encodeOutputLineLength = noLimit;
}

RFC_API void rfcQuopOptionsSetDecodeInputNlf(RFC_QUOP_OPTIONS **opt, PB_INT nlf)
{
    PB_ASSERT( opt );
    PB_ASSERT( *opt );
    unshare(opt);
    (*opt)->decodeInputNlfDefault = PB_FALSE;
    (*opt)->decodeInputNlf = inputNlf(nlf);
}

RFC_API void rfcQuopOptionsSetDecodeOutputNlf(RFC_QUOP_OPTIONS **opt, PB_INT nlf)
{
    PB_ASSERT( opt );
    PB_ASSERT( *opt );
    unshare(opt);
    (*opt)->decodeOutputNlfDefault = PB_FALSE;
    (*opt)->decodeOutputNlf = outputNlf(nlf);
}

RFC_API void rfcQuopOptionsSetDecodeMaxInputLineLength(RFC_QUOP_OPTIONS **opt, PB_INT maxInputLineLength)
{
    PB_ASSERT( opt );
    PB_ASSERT( *opt );
    PB_ASSERT( maxInputLineLength >= 4 );
    unshare(opt);
    (*opt)->decodeMaxInputLineLengthDefault = PB_FALSE;
    (*opt)->decodeMaxInputLineLength = maxInputLineLength;
}

RFC_API PB_BOOL rfcQuopOptionsHasDecodeMaxInputLineLength(RFC_QUOP_OPTIONS *opt)
{
    PB_ASSERT( opt );
    return opt->decodeMaxInputLineLength != noLimit;
}

RFC_API void rfcQuopOptionsDelDecodeMaxInputLineLength(RFC_QUOP_OPTIONS **opt)
{
    PB_ASSERT( opt );
    PB_ASSERT( *opt );
    unshare(opt);
    (*opt)->decodeMaxInputLineLengthDefault = PB_FALSE;
    (*opt)->decodeMaxInputLineLength = noLimit;
}

// Orders two options objects by their fourteen fields in declaration order,
// each marker before its value; the first difference decides (-1 or 1).
RFC_API PB_INT rfc___QuopOptionsCompFunc(PB_OBJ *thisObj, PB_OBJ *thatObj)
{
    PB_ASSERT( thisObj );
    PB_ASSERT( thatObj );
    RFC_QUOP_OPTIONS *a = rfcQuopOptionsFrom(thisObj);
    RFC_QUOP_OPTIONS *b = rfcQuopOptionsFrom(thatObj);
    const std::pair<PB_BOOL, PB_INT> fieldsA[] = {
        { a->flagsDefault, a->flags },
        { a->encodeInputNlfDefault, a->encodeInputNlf },
        { a->encodeOutputNlfDefault, a->encodeOutputNlf },
        { a->encodeOutputLineLengthDefault, a->encodeOutputLineLength },
        { a->decodeInputNlfDefault, a->decodeInputNlf },
        { a->decodeOutputNlfDefault, a->decodeOutputNlf },
        { a->decodeMaxInputLineLengthDefault, a->decodeMaxInputLineLength },
    };
    const std::pair<PB_BOOL, PB_INT> fieldsB[] = {
        { b->flagsDefault, b->flags },
        { b->encodeInputNlfDefault, b->encodeInputNlf },
        { b->encodeOutputNlfDefault, b->encodeOutputNlf },
        { b->encodeOutputLineLengthDefault, b->encodeOutputLineLength },
        { b->decodeInputNlfDefault, b->decodeInputNlf },
        { b->decodeOutputNlfDefault, b->decodeOutputNlf },
        { b->decodeMaxInputLineLengthDefault, b->decodeMaxInputLineLength },
    };
    for (std::size_t i = 0; i < std::size(fieldsA); ++i) {
        if (int o = order(fieldsA[i].first, fieldsB[i].first))
            return o;
        if (int o = order(fieldsA[i].second, fieldsB[i].second))
            return o;
    }
    return 0;
}

// A new store with each setting whose marker is false (every setting when
// full): the flags and newline kinds as text, the line lengths as integers.
RFC_API PB_STORE *rfcQuopOptionsStore(RFC_QUOP_OPTIONS *opt, PB_BOOL full)
{
    PB_ASSERT( opt );
    pb::Ref<PB_STORE> store(pbStoreCreate());
    auto putText = [&](const char *key, PB_STRING *adopted) {
        pb::Ref<PB_STRING> text(adopted);
        pbStoreSetValueCstr(store.addr(), key, -1, text.get());
    };
    if (full || !opt->flagsDefault)
        putText("flags", rfcQuopFlagsToString(opt->flags));
    if (full || !opt->encodeInputNlfDefault)
        putText("encodeInputNlf", pbNlfFlagsToString(opt->encodeInputNlf));
    if (full || !opt->encodeOutputNlfDefault)
        putText("encodeOutputNlf", pbNlfFlagsToString(opt->encodeOutputNlf));
    if (full || !opt->encodeOutputLineLengthDefault)
        pbStoreSetValueIntCstr(store.addr(), "encodeOutputLineLength", -1, opt->encodeOutputLineLength);
    if (full || !opt->decodeInputNlfDefault)
        putText("decodeInputNlf", pbNlfFlagsToString(opt->decodeInputNlf));
    if (full || !opt->decodeOutputNlfDefault)
        putText("decodeOutputNlf", pbNlfFlagsToString(opt->decodeOutputNlf));
    if (full || !opt->decodeMaxInputLineLengthDefault)
        pbStoreSetValueIntCstr(store.addr(), "decodeMaxInputLineLength", -1, opt->decodeMaxInputLineLength);
    return store.take();
}

// A new options object from the defaults with every key of the store
// applied through the setters; integers out of range leave the default.
RFC_API RFC_QUOP_OPTIONS *rfcQuopOptionsRestore(PB_STORE *store)
{
    PB_ASSERT( store );
    pb::Ref<RFC_QUOP_OPTIONS> opt(rfcQuopOptionsCreate());
    auto withText = [&](const char *key, auto apply) {
        pb::Ref<PB_STRING> text(pbStoreValueCstr(store, key, -1));
        if (text)
            apply(text.get());
    };
    PB_INT value = 0;
    withText("flags", [&](PB_STRING *text) { rfcQuopOptionsSetFlags(opt.addr(), rfcQuopFlagsFromString(text)); });
    withText("encodeInputNlf",
        [&](PB_STRING *text) { rfcQuopOptionsSetEncodeInputNlf(opt.addr(), pbNlfFlagsFromString(text)); });
    withText("encodeOutputNlf",
        [&](PB_STRING *text) { rfcQuopOptionsSetEncodeOutputNlf(opt.addr(), pbNlfFlagsFromString(text)); });
    if (pbStoreValueIntCstr(store, &value, "encodeOutputLineLength", -1)) {
        if (value == noLimit)
            rfcQuopOptionsDelEncodeOutputLineLength(opt.addr());
        else if (value >= 1)
            rfcQuopOptionsSetEncodeOutputLineLength(opt.addr(), value);
    }
    withText("decodeInputNlf",
        [&](PB_STRING *text) { rfcQuopOptionsSetDecodeInputNlf(opt.addr(), pbNlfFlagsFromString(text)); });
    withText("decodeOutputNlf",
        [&](PB_STRING *text) { rfcQuopOptionsSetDecodeOutputNlf(opt.addr(), pbNlfFlagsFromString(text)); });
    if (pbStoreValueIntCstr(store, &value, "decodeMaxInputLineLength", -1)) {
        if (value == noLimit)
            rfcQuopOptionsDelDecodeMaxInputLineLength(opt.addr());
        else if (value >= 4)
            rfcQuopOptionsSetDecodeMaxInputLineLength(opt.addr(), value);
    }
    return opt.take();
}

} // extern "C"
