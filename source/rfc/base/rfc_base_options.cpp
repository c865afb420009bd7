// The options object of the base codecs: flags, output newline and output
// line length, each with a marker telling whether it holds its default. It
// compares field by field and persists in a runtime store.
#include "rfc_base_internal.h"

struct RFC_BASE_OPTIONS {
    PB___OBJ_HEADER header;
    PB_BOOL flagsDefault;
    PB_INT flags;
    PB_BOOL outputNlfDefault;
    PB_INT outputNlf;
    PB_BOOL outputLineLengthDefault;
    PB_INT outputLineLength;
};

extern "C" PB_INT rfc___BaseOptionsCompFunc(PB_OBJ *thisObj, PB_OBJ *thatObj);

RFC___DEFINE_SORT(rfc___sort_RFC_BASE_OPTIONS, "RFC_BASE_OPTIONS", nullptr, rfc___BaseOptionsCompFunc);
RFC___DEFINE_STDFUNCS(rfcBaseOptions, RFC_BASE_OPTIONS, rfc___sort_RFC_BASE_OPTIONS);

namespace {

constexpr PB_INT defaultFlags = 0;
constexpr PB_INT defaultOutputNlf = PB_NLF_FLAG_CRLF;
constexpr PB_INT noLineLength = -1;

// The newline kinds the encoder can write, in the order the setter prefers
// them when given several.
constexpr PB_INT writableNlfs[] = {
    PB_NLF_FLAG_LF, PB_NLF_FLAG_CR, PB_NLF_FLAG_CRLF, PB_NLF_FLAG_VT, PB_NLF_FLAG_FF,
};

// Copy-on-write: makes *opt the caller's own object before a change.
void makeOwn(RFC_BASE_OPTIONS **opt)
{
    if (pb::isShared(*opt)) {
        RFC_BASE_OPTIONS *copy = rfcBaseOptionsCreateFrom(*opt);
        rfcBaseOptionsRelease(*opt);
        *opt = copy;
    }
}

template <class T>
PB_INT compareField(T a, T b)
{
    return a < b ? -1 : (a > b ? 1 : 0);
}

} // namespace

rfc::base::Settings rfc::base::settingsOf(RFC_BASE_OPTIONS *opt) noexcept
{
    return Settings { opt->flags, opt->outputNlf, opt->outputLineLength };
}

extern "C" {

// Orders two options objects by their six fields in declaration order,
// marker before value: -1, 0 or 1.
RFC_API PB_INT rfc___BaseOptionsCompFunc(PB_OBJ *thisObj, PB_OBJ *thatObj)
{
    PB_ASSERT( thisObj );
    PB_ASSERT( thatObj );
    RFC_BASE_OPTIONS *a = rfcBaseOptionsFrom(thisObj);
    RFC_BASE_OPTIONS *b = rfcBaseOptionsFrom(thatObj);
    if (PB_INT c = compareField(a->flagsDefault, b->flagsDefault))
        return c;
    if (PB_INT c = compareField(a->flags, b->flags))
        return c;
    if (PB_INT c = compareField(a->outputNlfDefault, b->outputNlfDefault))
        return c;
    if (PB_INT c = compareField(a->outputNlf, b->outputNlf))
        return c;
    if (PB_INT c = compareField(a->outputLineLengthDefault, b->outputLineLengthDefault))
        return c;
    return compareField(a->outputLineLength, b->outputLineLength);
}

RFC_API RFC_BASE_OPTIONS *rfcBaseOptionsCreate(void)
{
    auto *opt = reinterpret_cast<RFC_BASE_OPTIONS *>(
        pb___ObjCreate(sizeof(RFC_BASE_OPTIONS), &rfc___sort_RFC_BASE_OPTIONS));
    opt->flagsDefault = PB_TRUE;
    opt->flags = defaultFlags;
    opt->outputNlfDefault = PB_TRUE;
    opt->outputNlf = defaultOutputNlf;
    opt->outputLineLengthDefault = PB_TRUE;
    opt->outputLineLength = noLineLength;
    return opt;
}

// A new object (count 1, owned by the caller) with every field of source.
RFC_API RFC_BASE_OPTIONS *rfcBaseOptionsCreateFrom(RFC_BASE_OPTIONS *source)
{
    PB_ASSERT( source );
    auto *opt = reinterpret_cast<RFC_BASE_OPTIONS *>(
        pb___ObjCreate(sizeof(RFC_BASE_OPTIONS), &rfc___sort_RFC_BASE_OPTIONS));
    opt->flagsDefault = source->flagsDefault;
    opt->flags = source->flags;
    opt->outputNlfDefault = source->outputNlfDefault;
    opt->outputNlf = source->outputNlf;
    opt->outputLineLengthDefault = source->outputLineLengthDefault;
    opt->outputLineLength = source->outputLineLength;
    return opt;
}

RFC_API PB_INT rfcBaseOptionsFlags(RFC_BASE_OPTIONS *opt)
{
    PB_ASSERT( opt );
    return opt->flags;
}

RFC_API PB_BOOL rfcBaseOptionsFlagsDefault(RFC_BASE_OPTIONS *opt)
{
    PB_ASSERT( opt );
    return opt->flagsDefault;
}

RFC_API void rfcBaseOptionsSetFlags(RFC_BASE_OPTIONS **opt, PB_INT flags)
{
    PB_ASSERT( opt );
    PB_ASSERT( *opt );
    makeOwn(opt);
    (*opt)->flags = rfcBaseFlagsNormalize(flags);
    (*opt)->flagsDefault = PB_FALSE;
}

RFC_API void rfcBaseOptionsSetFlagsDefault(RFC_BASE_OPTIONS **opt)
{
    PB_ASSERT( opt );
    PB_ASSERT( *opt );
    makeOwn(opt);
    (*opt)->flags = defaultFlags;
    (*opt)->flagsDefault = PB_TRUE;
}

RFC_API PB_INT rfcBaseOptionsOutputNlf(RFC_BASE_OPTIONS *opt)
{
    PB_ASSERT( opt );
    return opt->outputNlf;
}

RFC_API PB_BOOL rfcBaseOptionsOutputNlfDefault(RFC_BASE_OPTIONS *opt)
{
    PB_ASSERT( opt );
    return opt->outputNlfDefault;
}

// Keeps one newline kind: the first of LF, CR, CR LF, VT, FF present in
// nlf, or 0 (no newline) when none is.
RFC_API void rfcBaseOptionsSetOutputNlf(RFC_BASE_OPTIONS **opt, PB_INT nlf)
{
    PB_ASSERT( opt );
    PB_ASSERT( *opt );
    makeOwn(opt);
    PB_INT chosen = 0;
    for (PB_INT kind : writableNlfs) {
        if (nlf & kind) {
            chosen = kind;
            break;
        }
    }
    (*opt)->outputNlf = chosen;
    (*opt)->outputNlfDefault = PB_FALSE;
}

RFC_API void rfcBaseOptionsSetOutputNlfDefault(RFC_BASE_OPTIONS **opt)
{
    PB_ASSERT( opt );
    PB_ASSERT( *opt );
    makeOwn(opt);
    (*opt)->outputNlf = defaultOutputNlf;
    (*opt)->outputNlfDefault = PB_TRUE;
}

RFC_API PB_INT rfcBaseOptionsOutputLineLength(RFC_BASE_OPTIONS *opt)
{
    PB_ASSERT( opt );
    return opt->outputLineLength;
}

RFC_API PB_BOOL rfcBaseOptionsHasOutputLineLength(RFC_BASE_OPTIONS *opt)
{
    PB_ASSERT( opt );
    return opt->outputLineLength != noLineLength;
}

RFC_API void rfcBaseOptionsSetOutputLineLength(RFC_BASE_OPTIONS **opt, PB_INT lineLength)
{
    PB_ASSERT( opt );
    PB_ASSERT( *opt );
    PB_ASSERT( lineLength >= 1 );
    makeOwn(opt);
    (*opt)->outputLineLength = lineLength;
    (*opt)->outputLineLengthDefault = PB_FALSE;
}

RFC_API void rfcBaseOptionsDelOutputLineLength(RFC_BASE_OPTIONS **opt)
{
    PB_ASSERT( opt );
    PB_ASSERT( *opt );
    makeOwn(opt);
    (*opt)->outputLineLength = noLineLength;
    (*opt)->outputLineLengthDefault = PB_FALSE;
}

RFC_API PB_BOOL rfcBaseOptionsOutputLineLengthDefault(RFC_BASE_OPTIONS *opt)
{
    PB_ASSERT( opt );
    return opt->outputLineLengthDefault;
}

RFC_API void rfcBaseOptionsSetOutputLineLengthDefault(RFC_BASE_OPTIONS **opt)
{
    PB_ASSERT( opt );
    PB_ASSERT( *opt );
    makeOwn(opt);
    (*opt)->outputLineLength = noLineLength;
    (*opt)->outputLineLengthDefault = PB_TRUE;
}

// A new store (owned by the caller) with each setting whose marker is false,
// or every setting when full is true: "flags" and "outputNlf" as the
// runtime's flag texts, "outputLineLength" as an integer (-1 for none).
RFC_API PB_STORE *rfcBaseOptionsStore(RFC_BASE_OPTIONS *opt, PB_BOOL full)
{
    PB_ASSERT( opt );
    pb::Ref<PB_STORE> store(pbStoreCreate());
    if (full || !opt->flagsDefault) {
        pb::Ref<PB_STRING> text(rfcBaseFlagsToString(opt->flags));
        pbStoreSetValueCstr(store.addr(), "flags", -1, text.get());
    }
    if (full || !opt->outputNlfDefault) {
        pb::Ref<PB_STRING> text(pbNlfFlagsToString(opt->outputNlf));
        pbStoreSetValueCstr(store.addr(), "outputNlf", -1, text.get());
    }
    if (full || !opt->outputLineLengthDefault)
        pbStoreSetValueIntCstr(store.addr(), "outputLineLength", -1, opt->outputLineLength);
    return store.take();
}

// A new options object (owned by the caller): the defaults, changed by each
// key present in the store. Keys of the wrong kind and line lengths of 0 or
// below -1 leave their default.
RFC_API RFC_BASE_OPTIONS *rfcBaseOptionsRestore(PB_STORE *store)
{
    PB_ASSERT( store );
    pb::Ref<RFC_BASE_OPTIONS> opt(rfcBaseOptionsCreate());
    if (pb::Ref<PB_STRING> text { pbStoreValueCstr(store, "flags", -1) })
        rfcBaseOptionsSetFlags(opt.addr(), rfcBaseFlagsFromString(text.get()));
    if (pb::Ref<PB_STRING> text { pbStoreValueCstr(store, "outputNlf", -1) })
        rfcBaseOptionsSetOutputNlf(opt.addr(), pbNlfFlagsFromString(text.get()));
    PB_INT lineLength = 0;
    if (pbStoreValueIntCstr(store, &lineLength, "outputLineLength", -1)) {
        if (lineLength == noLineLength)
            rfcBaseOptionsDelOutputLineLength(opt.addr());
        else if (lineLength >= 1)
            rfcBaseOptionsSetOutputLineLength(opt.addr(), lineLength);
    }
    return opt.take();
}

} // extern "C"
