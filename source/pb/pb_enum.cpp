// Enumerations, flag sets and the newline flags. All three are lists of
// (name, value) pairs; flag sets and newline flags share one text form.
#include "pb_internal.h"

#include <span>
#include <vector>

namespace {

struct Named {
    pb::Text name;
    PB_INT value;
};

// Names of the set bits, joined by ", " in bit order; a bit with several
// names uses the first one set.
pb::Text flagsText(std::span<const Named> names, PB_INT flags)
{
    pb::Text text;
    for (int bit = 0; bit < 64; ++bit) {
        PB_INT mask = PB_INT(std::uint64_t(1) << bit);
        if (!(flags & mask))
            continue;
        for (const Named &named : names) {
            if (named.value == mask) {
                text.append(text.empty() ? "" : ", ").append(named.name);
                break;
            }
        }
    }
    return text;
}

bool isSeparator(PB_CHAR c)
{
    return c == ',' || pbUnicodeIsWhiteSpace(c);
}

// The flags of the names in text, separated by commas and/or white space;
// unknown names are ignored.
PB_INT flagsParse(std::span<const Named> names, PB_STRING *text)
{
    const PB_CHAR *chars = pbStringBacking(text);
    PB_INT length = pbStringLength(text);
    PB_INT flags = 0;
    PB_INT i = 0;
    while (i < length) {
        while (i < length && isSeparator(chars[i]))
            ++i;
        PB_INT start = i;
        while (i < length && !isSeparator(chars[i]))
            ++i;
        if (i == start)
            break;
        pb::Ref<PB_STRING> token(pbStringCreateFromCharsCopy(chars + start, i - start));
        pb::Text name = pb::internal::stringToStd(token.get());
        for (const Named &named : names) {
            if (named.name == name) {
                flags |= named.value;
                break;
            }
        }
    }
    return flags;
}

PB_STRING *stringOf(const pb::Text &text)
{
    return pbStringCreateFromCstr(text.data(), PB_INT(text.size()));
}

} // namespace

struct PB_ENUM {
    PB___OBJ_HEADER header;
    pb::Vector<Named> *names;
};

struct PB_FLAGSET {
    PB___OBJ_HEADER header;
    pb::Vector<Named> *names;
};

namespace {

template <class T>
void namedFree(PB_OBJ *obj)
{
    pb::internal::destroy(reinterpret_cast<T *>(obj)->names);
}

PB___DEFINE_SORT(enumSort, "PB_ENUM", namedFree<PB_ENUM>, nullptr);
PB___DEFINE_SORT(flagsetSort, "PB_FLAGSET", namedFree<PB_FLAGSET>, nullptr);

template <class T>
T *namedCreate(const PB_SORT *sort, pb::Vector<Named> *names)
{
    auto *obj = reinterpret_cast<T *>(pb___ObjCreate(sizeof(T), sort));
    obj->names = names;
    return obj;
}

PB_ENUM *enumCopy(PB_ENUM *e)
{
    return namedCreate<PB_ENUM>(&enumSort, pb::internal::make<pb::Vector<Named>>(*e->names));
}

PB_FLAGSET *flagsetCopy(PB_FLAGSET *f)
{
    return namedCreate<PB_FLAGSET>(&flagsetSort, pb::internal::make<pb::Vector<Named>>(*f->names));
}

// Sets name to value, replacing an earlier value of the same name.
void setNamed(pb::Vector<Named> &names, pb::Text name, PB_INT value)
{
    for (Named &named : names) {
        if (named.name == name) {
            named.value = value;
            return;
        }
    }
    names.push_back(Named { std::move(name), value });
}

const Named nlfNames[] = {
    { "PB_NLF_FLAG_LF", PB_NLF_FLAG_LF },
    { "PB_NLF_FLAG_CR", PB_NLF_FLAG_CR },
    { "PB_NLF_FLAG_CRLF", PB_NLF_FLAG_CRLF },
    { "PB_NLF_FLAG_NEL", PB_NLF_FLAG_NEL },
    { "PB_NLF_FLAG_VT", PB_NLF_FLAG_VT },
    { "PB_NLF_FLAG_FF", PB_NLF_FLAG_FF },
    { "PB_NLF_FLAG_LS", PB_NLF_FLAG_LS },
    { "PB_NLF_FLAG_PS", PB_NLF_FLAG_PS },
};

} // namespace

extern "C" {

PB_API const PB_SORT *pbEnumSort(void) noexcept
{
    return &enumSort;
}

PB_API PB_OBJ *pbEnumObj(PB_ENUM *e) noexcept
{
    return reinterpret_cast<PB_OBJ *>(e);
}

PB_API PB_ENUM *pbEnumCreate(void) noexcept
{
    return namedCreate<PB_ENUM>(&enumSort, pb::internal::make<pb::Vector<Named>>());
}

PB_API void pbEnumSetEnumerantCstr(PB_ENUM **e, const char *name, PB_INT nameLength, PB_INT value) noexcept
{
    PB_ASSERT( e && *e );
    pb::Text text = pb::internal::nameText(name, nameLength);
    setNamed(*pb::internal::writable(e, enumCopy)->names, std::move(text), value);
}

PB_API PB_INT pbEnumParse(PB_ENUM *e, PB_STRING *name) noexcept
{
    PB_ASSERT( e );
    PB_ASSERT( name );
    pb::Text text = pb::internal::stringToStd(name);
    for (const Named &named : *e->names)
        if (named.name == text)
            return named.value;
    return -1;
}

PB_API PB_STRING *pbEnumGenerate(PB_ENUM *e, PB_INT value) noexcept
{
    PB_ASSERT( e );
    for (const Named &named : *e->names)
        if (named.value == value)
            return stringOf(named.name);
    return stringOf(pb::internal::decimal(value));
}

PB_API const PB_SORT *pbFlagsetSort(void) noexcept
{
    return &flagsetSort;
}

PB_API PB_OBJ *pbFlagsetObj(PB_FLAGSET *f) noexcept
{
    return reinterpret_cast<PB_OBJ *>(f);
}

PB_API PB_FLAGSET *pbFlagsetCreate(void) noexcept
{
    return namedCreate<PB_FLAGSET>(&flagsetSort, pb::internal::make<pb::Vector<Named>>());
}

PB_API void pbFlagsetSetFlagCstr(PB_FLAGSET **f, const char *name, PB_INT nameLength, PB_INT bit) noexcept
{
    PB_ASSERT( f && *f );
    pb::Text text = pb::internal::nameText(name, nameLength);
    setNamed(*pb::internal::writable(f, flagsetCopy)->names, std::move(text), bit);
}

PB_API PB_BOOL pbFlagsetHasFlagCstr(PB_FLAGSET *f, const char *name, PB_INT nameLength) noexcept
{
    PB_ASSERT( f );
    pb::Text text = pb::internal::nameText(name, nameLength);
    for (const Named &named : *f->names)
        if (named.name == text)
            return PB_TRUE;
    return PB_FALSE;
}

PB_API PB_INT pbFlagsetParse(PB_FLAGSET *f, PB_STRING *text) noexcept
{
    PB_ASSERT( f );
    PB_ASSERT( text );
    return flagsParse(*f->names, text);
}

PB_API PB_STRING *pbFlagsetGenerate(PB_FLAGSET *f, PB_INT flags) noexcept
{
    PB_ASSERT( f );
    return stringOf(flagsText(*f->names, flags));
}

PB_API PB_STRING *pbNlfFlagsToString(PB_INT flags) noexcept
{
    return stringOf(flagsText(nlfNames, flags));
}

PB_API PB_INT pbNlfFlagsFromString(PB_STRING *text) noexcept
{
    PB_ASSERT( text );
    return flagsParse(nlfNames, text);
}

} // extern "C"
