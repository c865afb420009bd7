// Internal to the families with options objects (base, quoted-printable):
// the newline values their settings hold, the startup of a family's flag
// set, and the options objects themselves, made from one table that
// describes each setting once.
//
// An options object is the runtime header followed by one Setting per row of
// its family's table: a marker, true while the setting holds its default,
// and a value. The templates below give every operation from the table: the
// defaults, the setters' rules and ranges, copy-on-write, comparison, and
// the store form. The exported functions themselves are spelled out by the
// macros at the end, expanded in the family's own source file, so that a
// contract violation names that file.
#ifndef RFC_SETTINGS_INTERNAL_H
#define RFC_SETTINGS_INTERNAL_H

#include "rfc_frame.h"

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <type_traits>

namespace rfc::nlf {

// The newline a fresh options object writes, and the one its input sets
// recognise: CR LF.
inline constexpr PB_INT kDefault = PB_NLF_FLAG_CRLF;

// The newline kinds with a byte form, in the order a setter prefers them
// when given several.
inline constexpr PB_INT kWritable[] = {
    PB_NLF_FLAG_LF, PB_NLF_FLAG_CR, PB_NLF_FLAG_CRLF, PB_NLF_FLAG_VT, PB_NLF_FLAG_FF,
};

// An output value names one kind: the first of kWritable present in nlf, or
// 0 (no newline) when none is.
constexpr PB_INT outputKind(PB_INT nlf) noexcept
{
    for (PB_INT kind : kWritable) {
        if (nlf & kind)
            return kind;
    }
    return 0;
}
static_assert(outputKind(0x06) == PB_NLF_FLAG_CR && outputKind(0x30) == PB_NLF_FLAG_VT && outputKind(0x08) == 0
    && outputKind(0x05) == PB_NLF_FLAG_LF);

// An input set keeps the bits of the eight newline kinds the runtime names.
constexpr PB_INT inputSet(PB_INT nlf) noexcept
{
    return nlf & 0xFF;
}

inline constexpr PB_BYTE kLf = 0x0A;
inline constexpr PB_BYTE kVt = 0x0B;
inline constexpr PB_BYTE kFf = 0x0C;
inline constexpr PB_BYTE kCr = 0x0D;

// The bytes an output value writes: at most two, none for 0 or a value
// that names no kind.
struct Bytes {
    PB_BYTE bytes[2];
    std::size_t length;
};

constexpr Bytes bytesOf(PB_INT nlf) noexcept
{
    switch (nlf) {
    case PB_NLF_FLAG_LF:
        return { { kLf, 0 }, 1 };
    case PB_NLF_FLAG_CR:
        return { { kCr, 0 }, 1 };
    case PB_NLF_FLAG_CRLF:
        return { { kCr, kLf }, 2 };
    case PB_NLF_FLAG_VT:
        return { { kVt, 0 }, 1 };
    case PB_NLF_FLAG_FF:
        return { { kFf, 0 }, 1 };
    default:
        return { { 0, 0 }, 0 };
    }
}
static_assert(bytesOf(kDefault).length == 2 && bytesOf(PB_NLF_FLAG_FF).bytes[0] == kFf && bytesOf(0x08).length == 0);

} // namespace rfc::nlf

namespace rfc {

// One flag of a family's flag set: its name, its bit, and what startup
// reports when the name is defined already, the test as the startup of the
// family's source file reads: "!pbFlagsetHasFlagCstr( <slot>, "<name>", -1 )".
struct FlagName {
    const char *name;
    PB_INT bit;
    const char *condition;
    int line;
};

#define RFC___FLAG_NAME(slotRead, flag) \
    ::rfc::FlagName { #flag, (flag), "!pbFlagsetHasFlagCstr( " #slotRead ", \"" #flag "\", -1 )", __LINE__ }

// The union of the bits of flags.
template <std::size_t N>
constexpr PB_INT flagsDefined(const FlagName (&flags)[N]) noexcept
{
    PB_INT all = 0;
    for (const FlagName &flag : flags)
        all |= flag.bit;
    return all;
}

// Startup of a family's flag set: the slot is set to null, a new flag set is
// created and each flag entered in the order given, under its own name,
// which must not be defined yet (a contract violation reported for file,
// the family's source file).
template <std::size_t N>
void flagsetStartup(PB_FLAGSET *&slot, const FlagName (&flags)[N], const char *file)
{
    slot = nullptr;
    slot = pbFlagsetCreate();
    for (const FlagName &flag : flags) {
        if (pbFlagsetHasFlagCstr(slot, flag.name, -1)) [[unlikely]]
            pb___Abort(nullptr, file, flag.line, flag.condition);
        pbFlagsetSetFlagCstr(&slot, flag.name, -1, flag.bit);
    }
}

} // namespace rfc

namespace rfc::settings {

// A setting as an options object holds it.
struct Setting {
    PB_BOOL isDefault;
    PB_INT value;
};

// What a setting holds, which decides its setter's rule and its store form.
enum class Kind : std::uint8_t {
    kFlags,     // the family's flags; stored as the family's flag text
    kInputNlf,  // newline kinds to recognise (nlf::inputSet); stored as newline text
    kOutputNlf, // the newline to write (nlf::outputKind); stored as newline text
    kLength,    // a length of at least minimum, or kNone; stored as an integer
};

// A length setting's value for no length (no limit).
inline constexpr PB_INT kNone = -1;

// One setting: its store key (also its name), kind, default and, for a
// length, the least value a setter takes and the condition text a smaller
// one reports.
struct Field {
    const char *key;
    Kind kind;
    PB_INT defaultValue;
    PB_INT minimum = 0;
    const char *rangeCondition = nullptr;
};

// A family's settings and its flags: the table, the flag setter's rule
// (null: stored as given) and the flag text conversions.
template <std::size_t N>
struct Family {
    Field fields[N];
    PB_INT (*keepFlags)(PB_INT);
    PB_STRING *(*flagsToString)(PB_INT);
    PB_INT (*flagsFromString)(PB_STRING *);

    static constexpr std::size_t size = N;

    // The value a setter stores for value under field i; the caller has
    // checked the range.
    PB_INT keep(std::size_t i, PB_INT value) const noexcept
    {
        switch (fields[i].kind) {
        case Kind::kFlags:
            return keepFlags ? keepFlags(value) : value;
        case Kind::kInputNlf:
            return nlf::inputSet(value);
        case Kind::kOutputNlf:
            return nlf::outputKind(value);
        case Kind::kLength:
            break;
        }
        return value;
    }

    // Whether a setter of field i takes value.
    constexpr bool inRange(std::size_t i, PB_INT value) const noexcept
    {
        return fields[i].kind != Kind::kLength || value >= fields[i].minimum;
    }
};

// The family's table is consistent: a length has a minimum of at least 1
// and its condition text, nothing else has either, and every default is a
// value its setter could store.
template <std::size_t N>
constexpr bool wellFormed(const Family<N> &family)
{
    for (const Field &f : family.fields) {
        const bool length = f.kind == Kind::kLength;
        if (length != (f.minimum >= 1) || length != (f.rangeCondition != nullptr))
            return false;
        if (length && f.defaultValue != kNone && f.defaultValue < f.minimum)
            return false;
        if (f.kind == Kind::kOutputNlf && nlf::outputKind(f.defaultValue) != f.defaultValue)
            return false;
        if (f.kind == Kind::kInputNlf && nlf::inputSet(f.defaultValue) != f.defaultValue)
            return false;
    }
    return true;
}

// The operations on an options object of type Options, whose settings array
// follows the header, for the family's table.
template <class Options, const auto &kFamily>
struct Object {
    static constexpr const auto &family = kFamily;
    static constexpr std::size_t kCount = std::remove_cvref_t<decltype(kFamily)>::size;
    static_assert(wellFormed(family));
    static_assert(sizeof(Options::settings) / sizeof(Setting) == kCount, "one setting per row of the table");

    // A new object, count 1, owned by the caller: every setting at its
    // default, every marker true.
    static Options *create(const PB_SORT *sort)
    {
        auto *opt = reinterpret_cast<Options *>(pb___ObjCreate(sizeof(Options), sort));
        for (std::size_t i = 0; i < kCount; ++i)
            opt->settings[i] = { PB_TRUE, family.fields[i].defaultValue };
        return opt;
    }

    // A new object, count 1, owned by the caller, with every marker and
    // value of source.
    static Options *createFrom(Options *source)
    {
        auto *opt = reinterpret_cast<Options *>(pb___ObjCreate(sizeof(Options), pbObjSort(pb::obj(source))));
        for (std::size_t i = 0; i < kCount; ++i)
            opt->settings[i] = source->settings[i];
        return opt;
    }

    // Copy-on-write: makes *opt the caller's own object before a change; a
    // shared object is copied and the caller's hold on it released.
    static void own(Options **opt)
    {
        if (pb::isShared(*opt)) {
            Options *copy = createFrom(*opt);
            pbObjRelease(pb::obj(*opt));
            *opt = copy;
        }
    }

    // A setter: the value by the setting's rule, marker false.
    static void set(Options **opt, std::size_t i, PB_INT value)
    {
        own(opt);
        (*opt)->settings[i] = { PB_FALSE, family.keep(i, value) };
    }

    // A reset: the default, marker true.
    static void reset(Options **opt, std::size_t i)
    {
        own(opt);
        (*opt)->settings[i] = { PB_TRUE, family.fields[i].defaultValue };
    }

    // A Del: no length, marker false.
    static void del(Options **opt, std::size_t i)
    {
        own(opt);
        (*opt)->settings[i] = { PB_FALSE, kNone };
    }

    // The settings in order, each marker before its value, as signed
    // numbers; the first difference decides: -1, 0 or 1.
    static PB_INT compare(const Options *a, const Options *b) noexcept
    {
        auto order = [](auto x, auto y) -> PB_INT { return x < y ? -1 : (x > y ? 1 : 0); };
        for (std::size_t i = 0; i < kCount; ++i) {
            if (PB_INT o = order(a->settings[i].isDefault, b->settings[i].isDefault))
                return o;
            if (PB_INT o = order(a->settings[i].value, b->settings[i].value))
                return o;
        }
        return 0;
    }

    // A new store, owned by the caller, with every setting whose marker is
    // false, or every setting when full: flags and newlines as text, lengths
    // as integers (kNone for none), under the table's keys.
    static PB_STORE *store(const Options *opt, bool full)
    {
        pb::Ref<PB_STORE> store(pbStoreCreate());
        for (std::size_t i = 0; i < kCount; ++i) {
            const Field &f = family.fields[i];
            const Setting &s = opt->settings[i];
            if (!full && s.isDefault)
                continue;
            if (f.kind == Kind::kLength) {
                pbStoreSetValueIntCstr(store.addr(), f.key, -1, s.value);
                continue;
            }
            pb::Ref<PB_STRING> text(f.kind == Kind::kFlags ? family.flagsToString(s.value) : pbNlfFlagsToString(s.value));
            pbStoreSetValueCstr(store.addr(), f.key, -1, text.get());
        }
        return store.take();
    }

    // A new object, owned by the caller: the defaults, then each key of the
    // store in the table's order through the setters. A text is read by the
    // family's flag parser or the runtime's newline parser; a length of
    // kNone deletes the length, one of at least the minimum is set, any
    // other integer is ignored, as is a key of the other kind.
    static Options *restore(PB_STORE *from, const PB_SORT *sort)
    {
        pb::Ref<Options> opt(create(sort));
        for (std::size_t i = 0; i < kCount; ++i) {
            const Field &f = family.fields[i];
            if (f.kind == Kind::kLength) {
                PB_INT value = 0;
                if (!pbStoreValueIntCstr(from, &value, f.key, -1))
                    continue;
                if (value == kNone)
                    del(opt.addr(), i);
                else if (value >= f.minimum)
                    set(opt.addr(), i, value);
                continue;
            }
            if (pb::Ref<PB_STRING> text { pbStoreValueCstr(from, f.key, -1) })
                set(opt.addr(), i, f.kind == Kind::kFlags ? family.flagsFromString(text.get()) : pbNlfFlagsFromString(text.get()));
        }
        return opt.take();
    }
};

} // namespace rfc::settings

// The exported functions of an options type, expanded in the family's
// source file: the sort, the standard functions, the comparison, Create,
// CreateFrom, Store and Restore. Ops is the rfc::settings::Object of the
// type.
#define RFC___DEFINE_OPTIONS(prefix, Type, sortSymbol, sortName, compFunc, Ops)                     \
    extern "C" PB_INT compFunc(PB_OBJ *thisObj, PB_OBJ *thatObj) noexcept;                         \
    RFC___DEFINE_SORT(sortSymbol, sortName, nullptr, compFunc);                                    \
    RFC___DEFINE_STDFUNCS(prefix, Type, sortSymbol);                                               \
    extern "C" RFC_API PB_INT compFunc(PB_OBJ *thisObj, PB_OBJ *thatObj) noexcept                  \
    {                                                                                              \
        PB_ASSERT( thisObj );                                                                      \
        PB_ASSERT( thatObj );                                                                      \
        return Ops::compare(prefix##From(thisObj), prefix##From(thatObj));                        \
    }                                                                                              \
    extern "C" RFC_API Type *prefix##Create(void) noexcept { return Ops::create(&sortSymbol); }   \
    extern "C" RFC_API Type *prefix##CreateFrom(Type *source) noexcept                             \
    {                                                                                              \
        PB_ASSERT( source );                                                                       \
        return Ops::createFrom(source);                                                            \
    }                                                                                              \
    extern "C" RFC_API PB_STORE *prefix##Store(Type *opt, PB_BOOL full) noexcept                   \
    {                                                                                              \
        PB_ASSERT( opt );                                                                          \
        return Ops::store(opt, full != 0);                                                         \
    }                                                                                              \
    extern "C" RFC_API Type *prefix##Restore(PB_STORE *store) noexcept                             \
    {                                                                                              \
        PB_ASSERT( store );                                                                        \
        return Ops::restore(store, &sortSymbol);                                                   \
    }                                                                                              \
    static_assert(true, "")

// The getter, marker getter, setter and reset of setting i, named Name. A
// length setting's setter checks the row's range first, with the row's
// condition text.
#define RFC___DEFINE_SETTING(prefix, Type, Ops, Name, i)                                           \
    extern "C" RFC_API PB_INT prefix##Name(Type *opt) noexcept                                     \
    {                                                                                              \
        PB_ASSERT( opt );                                                                          \
        return opt->settings[i].value;                                                             \
    }                                                                                              \
    extern "C" RFC_API PB_BOOL prefix##Name##Default(Type *opt) noexcept                           \
    {                                                                                              \
        PB_ASSERT( opt );                                                                          \
        return opt->settings[i].isDefault;                                                         \
    }                                                                                              \
    extern "C" RFC_API void prefix##Set##Name(Type **opt, PB_INT value) noexcept                   \
    {                                                                                              \
        PB_ASSERT( opt );                                                                          \
        PB_ASSERT( *opt );                                                                         \
        PB___ASSERT_TEXT(nullptr, Ops::family.inRange(i, value), Ops::family.fields[i].rangeCondition); \
        Ops::set(opt, i, value);                                                                   \
    }                                                                                              \
    extern "C" RFC_API void prefix##Set##Name##Default(Type **opt) noexcept                        \
    {                                                                                              \
        PB_ASSERT( opt );                                                                          \
        PB_ASSERT( *opt );                                                                         \
        Ops::reset(opt, i);                                                                        \
    }                                                                                              \
    static_assert(true, "")

// Has and Del of the length setting i, named Name.
#define RFC___DEFINE_LENGTH_SETTING(prefix, Type, Ops, Name, i)                                    \
    static_assert(Ops::family.fields[i].kind == ::rfc::settings::Kind::kLength);                  \
    extern "C" RFC_API PB_BOOL prefix##Has##Name(Type *opt) noexcept                               \
    {                                                                                              \
        PB_ASSERT( opt );                                                                          \
        return opt->settings[i].value != ::rfc::settings::kNone;                                   \
    }                                                                                              \
    extern "C" RFC_API void prefix##Del##Name(Type **opt) noexcept                                 \
    {                                                                                              \
        PB_ASSERT( opt );                                                                          \
        PB_ASSERT( *opt );                                                                         \
        Ops::del(opt, i);                                                                          \
    }                                                                                              \
    static_assert(true, "")

#endif
