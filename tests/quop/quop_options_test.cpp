// The quoted-printable flags and options: flag names, defaults and markers,
// the setters' rules, copy-on-write, comparison, and the store form.
#include "quop_test_util.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

using namespace quoptest;

namespace {

using Opt = pb::Ref<RFC_QUOP_OPTIONS>;

// The names of the flags are their C names.
TEST(QuopOptions, FlagNames)
{
    const char *names[] = { "RFC_QUOP_FLAG_ENCODE_ENSURE_TRAILING_NLF", "RFC_QUOP_FLAG_DECODE_ACCEPT_SMALL_HEX_DIGITS",
        "RFC_QUOP_FLAG_DECODE_ACCEPT_INVALID_ENCODING", "RFC_QUOP_FLAG_DECODE_IGNORE_CONTROL",
        "RFC_QUOP_FLAG_DECODE_IGNORE_NON_ASCII", "RFC_QUOP_FLAG_DECODE_ENSURE_TRAILING_NLF" };
    for (PB_INT bit = 0; bit < 6; ++bit) {
        pb::Ref<PB_STRING> text(rfcQuopFlagsToString(PB_INT(1) << bit));
        EXPECT_EQ(rfctest::utf8(text.get()), names[bit]);
    }
    // Every set survives its text form; undefined bits vanish.
    for (PB_INT flags = 0; flags < 0x40; ++flags) {
        pb::Ref<PB_STRING> text(rfcQuopFlagsToString(flags | 0x1C0));
        EXPECT_EQ(rfcQuopFlagsFromString(text.get()), flags) << rfctest::utf8(text.get());
        EXPECT_EQ(rfcQuopFlagsNormalize(flags | ~PB_INT(0x3F)), flags);
    }
    pb::Ref<PB_STRING> unknown =
        rfctest::string("RFC_QUOP_FLAG_NO_SUCH_FLAG, RFC_QUOP_FLAG_DECODE_IGNORE_CONTROL, PB_NLF_FLAG_LF");
    EXPECT_EQ(rfcQuopFlagsFromString(unknown.get()), RFC_QUOP_FLAG_DECODE_IGNORE_CONTROL);
}

// Each setting with its accessors, its default and a value away from it.
struct Setting {
    const char *key;
    PB_INT (*value)(RFC_QUOP_OPTIONS *);
    PB_BOOL (*isDefault)(RFC_QUOP_OPTIONS *);
    void (*set)(RFC_QUOP_OPTIONS **, PB_INT);
    void (*reset)(RFC_QUOP_OPTIONS **);
    PB_INT defaultValue;
    const char *storedDefault; // text form in a full store; null: stored as an integer
    PB_INT other;
};

#define SETTING(key, Name, defaultValue, storedDefault, other)                                                  \
    { key, rfcQuopOptions##Name, rfcQuopOptions##Name##Default, rfcQuopOptionsSet##Name,                           \
        rfcQuopOptionsSet##Name##Default, defaultValue, storedDefault, other }

const Setting settings[] = {
    SETTING("flags", Flags, 0, "", 0x41),
    SETTING("encodeInputNlf", EncodeInputNlf, CRLF, "PB_NLF_FLAG_CRLF", LF),
    SETTING("encodeOutputNlf", EncodeOutputNlf, CRLF, "PB_NLF_FLAG_CRLF", LF),
    SETTING("encodeOutputLineLength", EncodeOutputLineLength, 76, nullptr, 1),
    SETTING("decodeInputNlf", DecodeInputNlf, CRLF, "PB_NLF_FLAG_CRLF", LF),
    SETTING("decodeOutputNlf", DecodeOutputNlf, CRLF, "PB_NLF_FLAG_CRLF", LF),
    SETTING("decodeMaxInputLineLength", DecodeMaxInputLineLength, -1, nullptr, 4),
};

std::optional<std::string> storedText(PB_STORE *store, const char *key)
{
    pb::Ref<PB_STRING> text(pbStoreValueCstr(store, key, -1));
    return text ? std::optional(rfctest::utf8(text.get())) : std::nullopt;
}

std::optional<PB_INT> storedInt(PB_STORE *store, const char *key)
{
    PB_INT value = 0;
    return pbStoreValueIntCstr(store, &value, key, -1) ? std::optional(value) : std::nullopt;
}

// A new object holds every default with its marker set, and a full store
// writes each default under its key; restoring it clears every marker. A
// setter clears only its own marker, a reset sets it again; both copy a
// shared object and change one held once in place.
TEST(QuopOptions, DefaultsSettersAndResets)
{
    Opt fresh(rfcQuopOptionsCreate());
    EXPECT_STREQ(pbSortName(pbObjSort(rfcQuopOptionsObj(fresh.get()))), "RFC_QUOP_OPTIONS");
    EXPECT_TRUE(rfcQuopOptionsHasEncodeOutputLineLength(fresh.get()));
    EXPECT_FALSE(rfcQuopOptionsHasDecodeMaxInputLineLength(fresh.get()));
    pb::Ref<PB_STORE> empty(rfcQuopOptionsStore(fresh.get(), PB_FALSE));
    EXPECT_EQ(pbStoreLength(empty.get()), 0);
    pb::Ref<PB_STORE> full(rfcQuopOptionsStore(fresh.get(), PB_TRUE));
    EXPECT_EQ(pbStoreLength(full.get()), 7);
    Opt restored(rfcQuopOptionsRestore(full.get()));
    for (const Setting &s : settings) {
        EXPECT_TRUE(s.isDefault(fresh.get())) << s.key;
        EXPECT_EQ(s.value(fresh.get()), s.defaultValue) << s.key;
        if (s.storedDefault)
            EXPECT_EQ(storedText(full.get(), s.key), s.storedDefault);
        else
            EXPECT_EQ(storedInt(full.get(), s.key), s.defaultValue) << s.key;
        EXPECT_FALSE(s.isDefault(restored.get())) << s.key;
        EXPECT_EQ(s.value(restored.get()), s.defaultValue) << s.key;

        Opt changed = Opt::retained(fresh.get());
        s.set(changed.addr(), s.other);
        ASSERT_NE(changed.get(), fresh.get()) << s.key;
        EXPECT_EQ(s.value(fresh.get()), s.defaultValue) << s.key;
        EXPECT_EQ(s.value(changed.get()), s.other) << s.key;
        for (const Setting &t : settings)
            EXPECT_EQ(bool(t.isDefault(changed.get())), &t != &s) << s.key << " " << t.key;
        Opt reset = Opt::retained(changed.get());
        s.reset(reset.addr());
        ASSERT_NE(reset.get(), changed.get()) << s.key;
        EXPECT_FALSE(s.isDefault(changed.get())) << s.key;
        EXPECT_TRUE(rfcQuopOptionsEquals(reset.get(), fresh.get())) << s.key;
        RFC_QUOP_OPTIONS *once = changed.get();
        s.reset(changed.addr());
        EXPECT_EQ(changed.get(), once) << s.key;
    }
}

// The value given to every newline setter, the output value stored (the
// first kind in the order LF, CR, CR LF, VT, FF) and the input set stored
// (the low eight bits).
const PB_INT nlfRuleRows[][3] = {
    { 0x06, CR, 0x06 }, { 0x30, VT, 0x30 }, { 0xC8, 0, 0xC8 }, { 0x34, CRLF, 0x34 }, { 0x20, FF, 0x20 },
    { 0x1FF, LF, 0xFF }, { 0x100, 0, 0 }, { -1, LF, 0xFF },
};

TEST(QuopOptions, NewlineSetterRules)
{
    for (const auto &[given, outputStored, inputStored] : nlfRuleRows)
        for (const Setting &s : settings) {
            const std::string_view key(s.key);
            if (!key.ends_with("Nlf"))
                continue;
            Opt opt(rfcQuopOptionsCreate());
            s.set(opt.addr(), given);
            EXPECT_EQ(s.value(opt.get()), key.ends_with("OutputNlf") ? outputStored : inputStored)
                << s.key << " " << given;
        }
}

// Comparison goes field by field, marker before value.
TEST(QuopOptions, Compare)
{
    Opt a(rfcQuopOptionsCreate());
    Opt b(rfcQuopOptionsCreate());
    rfcQuopOptionsSetEncodeOutputLineLength(a.addr(), 76); // explicit orders before the default
    EXPECT_EQ(rfcQuopOptionsCompare(a.get(), b.get()), -1);
    EXPECT_FALSE(rfcQuopOptionsEquals(a.get(), b.get()));
    rfcQuopOptionsSetEncodeOutputLineLength(b.addr(), 77); // values decide when the markers agree
    EXPECT_EQ(rfcQuopOptionsCompare(a.get(), b.get()), -1);
    EXPECT_EQ(rfcQuopOptionsCompare(b.get(), a.get()), 1);
    rfcQuopOptionsSetFlags(b.addr(), 0); // an earlier field wins over a later one
    EXPECT_EQ(rfcQuopOptionsCompare(a.get(), b.get()), 1);
    rfcQuopOptionsSetFlags(a.addr(), -5);
    EXPECT_EQ(rfcQuopOptionsCompare(a.get(), b.get()), -1);
}

// CreateFrom copies every field; Store with full false and Restore give an
// equal object when the flags have no undefined bits (and drop those bits).
// Del is an explicit absence: no longer the default, stored as -1.
TEST(QuopOptions, CopyAndStoreRoundTrip)
{
    Opt fresh(rfcQuopOptionsCreate());
    Opt opt = Opt::retained(fresh.get());
    rfcQuopOptionsDelEncodeOutputLineLength(opt.addr());
    EXPECT_EQ(rfcQuopOptionsEncodeOutputLineLength(fresh.get()), 76);
    EXPECT_EQ(rfcQuopOptionsEncodeOutputLineLength(opt.get()), -1);
    EXPECT_FALSE(rfcQuopOptionsHasEncodeOutputLineLength(opt.get()));
    EXPECT_FALSE(rfcQuopOptionsEncodeOutputLineLengthDefault(opt.get()));
    rfcQuopOptionsSetFlags(opt.addr(), 0x2A);
    rfcQuopOptionsSetEncodeInputNlf(opt.addr(), 0x37);
    rfcQuopOptionsSetDecodeOutputNlf(opt.addr(), 0);
    rfcQuopOptionsSetDecodeMaxInputLineLength(opt.addr(), 1000);
    EXPECT_TRUE(rfcQuopOptionsHasDecodeMaxInputLineLength(opt.get()));
    Opt copy(rfcQuopOptionsCreateFrom(opt.get()));
    EXPECT_NE(copy.get(), opt.get());
    EXPECT_EQ(rfcQuopOptionsCompare(copy.get(), opt.get()), 0);
    pb::Ref<PB_STORE> store(rfcQuopOptionsStore(opt.get(), PB_FALSE));
    EXPECT_EQ(pbStoreLength(store.get()), 5);
    EXPECT_EQ(storedInt(store.get(), "encodeOutputLineLength"), -1);
    Opt restored(rfcQuopOptionsRestore(store.get()));
    EXPECT_EQ(rfcQuopOptionsCompare(restored.get(), opt.get()), 0);

    rfcQuopOptionsSetFlags(opt.addr(), 0x41);
    pb::Ref<PB_STORE> flags(rfcQuopOptionsStore(opt.get(), PB_FALSE));
    EXPECT_EQ(storedText(flags.get(), "flags"), "RFC_QUOP_FLAG_ENCODE_ENSURE_TRAILING_NLF");
    Opt fromFlags(rfcQuopOptionsRestore(flags.get()));
    EXPECT_EQ(rfcQuopOptionsFlags(fromFlags.get()), 0x01);
}

struct RestoreRow {
    const char *rule;
    const char *key;
    std::optional<PB_INT> intValue;
    const char *textValue;
    bool isDefaultAfter;
    PB_INT valueAfter;
};

const RestoreRow restoreRows[] = {
    { "a present default value clears the marker", "encodeOutputLineLength", 76, nullptr, false, 76 },
    { "line length 0 is ignored", "encodeOutputLineLength", 0, nullptr, true, 76 },
    { "line length -2 is ignored", "encodeOutputLineLength", -2, nullptr, true, 76 },
    { "line length -1 deletes the limit", "encodeOutputLineLength", -1, nullptr, false, -1 },
    { "maximum line length 3 is ignored", "decodeMaxInputLineLength", 3, nullptr, true, -1 },
    { "maximum line length 4 is set", "decodeMaxInputLineLength", 4, nullptr, false, 4 },
    { "a line length stored as text is not an integer", "encodeOutputLineLength", std::nullopt, "10", true, 76 },
    { "an output newline is reduced", "encodeOutputNlf", std::nullopt, "PB_NLF_FLAG_CR, PB_NLF_FLAG_CRLF", false, CR },
    { "an unknown newline name gives none", "decodeOutputNlf", std::nullopt, "NO_SUCH_NEWLINE", false, 0 },
    { "an input set", "decodeInputNlf", std::nullopt, "PB_NLF_FLAG_LF PB_NLF_FLAG_FF", false, LF | FF },
    { "a newline stored as an integer is no text", "encodeInputNlf", 1, nullptr, true, CRLF },
};

// Restoring a store of one key changes that setting only.
TEST(QuopOptions, RestoreOneKey)
{
    for (const RestoreRow &row : restoreRows) {
        pb::Ref<PB_STORE> store(pbStoreCreate());
        if (row.intValue)
            pbStoreSetValueIntCstr(store.addr(), row.key, -1, *row.intValue);
        if (row.textValue)
            pbStoreSetValueCstr(store.addr(), row.key, -1, rfctest::string(row.textValue).get());
        Opt opt(rfcQuopOptionsRestore(store.get()));
        for (const Setting &s : settings) {
            const bool restored = std::string_view(s.key) == row.key;
            EXPECT_EQ(bool(s.isDefault(opt.get())), restored ? row.isDefaultAfter : true) << row.rule << ": " << s.key;
            EXPECT_EQ(s.value(opt.get()), restored ? row.valueAfter : s.defaultValue) << row.rule << ": " << s.key;
        }
    }
}

TEST(QuopOptionsDeathTest, Contracts)
{
    Opt opt(rfcQuopOptionsCreate());
    EXPECT_DEATH(rfcQuopOptionsSetEncodeOutputLineLength(opt.addr(), 0),
        "rfc_quop_options:[0-9]+: contract violation: lineLength >= 1");
    EXPECT_DEATH(rfcQuopOptionsSetDecodeMaxInputLineLength(opt.addr(), 3),
        "rfc_quop_options:[0-9]+: contract violation: maxInputLineLength >= 4");
    RFC_QUOP_OPTIONS *none = nullptr;
    EXPECT_DEATH(rfcQuopOptionsSetFlags(&none, 0), "rfc_quop_options:[0-9]+: contract violation: \\*opt");
    EXPECT_DEATH(rfcQuopFlagsFromString(nullptr), "source/rfc/quop/rfc_quop_flags:[0-9]+: contract violation: pbs");
    pb::Ref<PB_BUFFER> buffer(pbBufferCreate());
    EXPECT_DEATH(rfcQuopOptionsFrom(pbBufferObj(buffer.get())),
        "\\[stdfunc from\\] source/rfc/quop/rfc_quop_options:[0-9]+: contract violation: "
        "!obj \\|\\| pbObjSort\\(obj\\)==&rfc___sort_RFC_QUOP_OPTIONS");
}

} // namespace
