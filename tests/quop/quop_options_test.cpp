// The quoted-printable options: defaults and markers, the setters' rules,
// copy-on-write, comparison, and the store form.
#include "quop_test_util.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <optional>

using namespace quoptest;

namespace {

using Opt = pb::Ref<RFC_QUOP_OPTIONS>;

// The seven markers of an object, in setting order.
std::vector<PB_BOOL> markers(RFC_QUOP_OPTIONS *opt)
{
    return { rfcQuopOptionsFlagsDefault(opt), rfcQuopOptionsEncodeInputNlfDefault(opt),
        rfcQuopOptionsEncodeOutputNlfDefault(opt), rfcQuopOptionsEncodeOutputLineLengthDefault(opt),
        rfcQuopOptionsDecodeInputNlfDefault(opt), rfcQuopOptionsDecodeOutputNlfDefault(opt),
        rfcQuopOptionsDecodeMaxInputLineLengthDefault(opt) };
}

std::optional<std::string> storedText(PB_STORE *store, const char *key)
{
    pb::Ref<PB_STRING> text(pbStoreValueCstr(store, key, -1));
    if (!text)
        return std::nullopt;
    return rfctest::utf8(text.get());
}

std::optional<PB_INT> storedInt(PB_STORE *store, const char *key)
{
    PB_INT value = 0;
    if (!pbStoreValueIntCstr(store, &value, key, -1))
        return std::nullopt;
    return value;
}

TEST(QuopOptions, Defaults)
{
    Opt opt(rfcQuopOptionsCreate());
    EXPECT_EQ(markers(opt.get()), std::vector<PB_BOOL>(7, PB_TRUE));
    EXPECT_EQ(rfcQuopOptionsFlags(opt.get()), 0);
    EXPECT_EQ(rfcQuopOptionsEncodeInputNlf(opt.get()), CRLF);
    EXPECT_EQ(rfcQuopOptionsEncodeOutputNlf(opt.get()), CRLF);
    EXPECT_EQ(rfcQuopOptionsEncodeOutputLineLength(opt.get()), 76);
    EXPECT_TRUE(rfcQuopOptionsHasEncodeOutputLineLength(opt.get()));
    EXPECT_EQ(rfcQuopOptionsDecodeInputNlf(opt.get()), CRLF);
    EXPECT_EQ(rfcQuopOptionsDecodeOutputNlf(opt.get()), CRLF);
    EXPECT_EQ(rfcQuopOptionsDecodeMaxInputLineLength(opt.get()), -1);
    EXPECT_FALSE(rfcQuopOptionsHasDecodeMaxInputLineLength(opt.get()));
}

struct NlfRuleRow {
    PB_INT given;
    PB_INT outputStored; // first kind in the order LF, CR, CR LF, VT, FF
    PB_INT inputStored;  // low eight bits
};

const NlfRuleRow nlfRuleRows[] = {
    { 0x06, 0x02, 0x06 },
    { 0x30, 0x10, 0x30 },
    { 0x08, 0x00, 0x08 },
    { 0x40, 0x00, 0x40 },
    { 0x80, 0x00, 0x80 },
    { 0x24, 0x04, 0x24 },
    { 0x20, 0x20, 0x20 },
    { 0x1FF, 0x01, 0xFF },
    { 0x100, 0x00, 0x00 },
    { -1, 0x01, 0xFF },
};

TEST(QuopOptions, NewlineSetterRules)
{
    for (const NlfRuleRow &row : nlfRuleRows) {
        Opt opt(rfcQuopOptionsCreate());
        rfcQuopOptionsSetEncodeOutputNlf(opt.addr(), row.given);
        rfcQuopOptionsSetDecodeOutputNlf(opt.addr(), row.given);
        rfcQuopOptionsSetEncodeInputNlf(opt.addr(), row.given);
        rfcQuopOptionsSetDecodeInputNlf(opt.addr(), row.given);
        EXPECT_EQ(rfcQuopOptionsEncodeOutputNlf(opt.get()), row.outputStored) << row.given;
        EXPECT_EQ(rfcQuopOptionsDecodeOutputNlf(opt.get()), row.outputStored) << row.given;
        EXPECT_EQ(rfcQuopOptionsEncodeInputNlf(opt.get()), row.inputStored) << row.given;
        EXPECT_EQ(rfcQuopOptionsDecodeInputNlf(opt.get()), row.inputStored) << row.given;
    }
}

TEST(QuopOptions, SettersClearMarkersAndResetsRestoreThem)
{
    Opt opt(rfcQuopOptionsCreate());
    rfcQuopOptionsSetFlags(opt.addr(), 0x41);
    rfcQuopOptionsSetEncodeInputNlf(opt.addr(), LF);
    rfcQuopOptionsSetEncodeOutputNlf(opt.addr(), LF);
    rfcQuopOptionsSetEncodeOutputLineLength(opt.addr(), 1);
    rfcQuopOptionsSetDecodeInputNlf(opt.addr(), LF);
    rfcQuopOptionsSetDecodeOutputNlf(opt.addr(), LF);
    rfcQuopOptionsSetDecodeMaxInputLineLength(opt.addr(), 4);
    EXPECT_EQ(markers(opt.get()), std::vector<PB_BOOL>(7, PB_FALSE));
    EXPECT_EQ(rfcQuopOptionsFlags(opt.get()), 0x41); // stored as given
    EXPECT_EQ(rfcQuopOptionsEncodeOutputLineLength(opt.get()), 1);
    EXPECT_EQ(rfcQuopOptionsDecodeMaxInputLineLength(opt.get()), 4);
    EXPECT_TRUE(rfcQuopOptionsHasDecodeMaxInputLineLength(opt.get()));

    rfcQuopOptionsSetFlagsDefault(opt.addr());
    rfcQuopOptionsSetEncodeInputNlfDefault(opt.addr());
    rfcQuopOptionsSetEncodeOutputNlfDefault(opt.addr());
    rfcQuopOptionsSetEncodeOutputLineLengthDefault(opt.addr());
    rfcQuopOptionsSetDecodeInputNlfDefault(opt.addr());
    rfcQuopOptionsSetDecodeOutputNlfDefault(opt.addr());
    rfcQuopOptionsSetDecodeMaxInputLineLengthDefault(opt.addr());
    Opt fresh(rfcQuopOptionsCreate());
    EXPECT_TRUE(rfcQuopOptionsEquals(opt.get(), fresh.get()));
}

TEST(QuopOptions, DelIsAnExplicitAbsence)
{
    Opt opt(rfcQuopOptionsCreate());
    Opt fresh(rfcQuopOptionsCreate());
    rfcQuopOptionsDelDecodeMaxInputLineLength(opt.addr());
    EXPECT_EQ(rfcQuopOptionsDecodeMaxInputLineLength(opt.get()), -1);
    EXPECT_FALSE(rfcQuopOptionsHasDecodeMaxInputLineLength(opt.get()));
    EXPECT_FALSE(rfcQuopOptionsDecodeMaxInputLineLengthDefault(opt.get()));
    EXPECT_EQ(rfcQuopOptionsCompare(opt.get(), fresh.get()), -1);
    EXPECT_EQ(rfcQuopOptionsCompare(fresh.get(), opt.get()), 1);
    pb::Ref<PB_STORE> store(rfcQuopOptionsStore(opt.get(), PB_FALSE));
    EXPECT_EQ(pbStoreLength(store.get()), 1);
    EXPECT_EQ(storedInt(store.get(), "decodeMaxInputLineLength"), -1);

    rfcQuopOptionsDelEncodeOutputLineLength(opt.addr());
    EXPECT_EQ(rfcQuopOptionsEncodeOutputLineLength(opt.get()), -1);
    EXPECT_FALSE(rfcQuopOptionsHasEncodeOutputLineLength(opt.get()));
    EXPECT_FALSE(rfcQuopOptionsEncodeOutputLineLengthDefault(opt.get()));
}

TEST(QuopOptions, SettersCopyASharedObject)
{
    Opt first(rfcQuopOptionsCreate());
    Opt second = Opt::retained(first.get());
    rfcQuopOptionsSetEncodeOutputLineLength(second.addr(), 10);
    EXPECT_NE(first.get(), second.get());
    EXPECT_EQ(rfcQuopOptionsEncodeOutputLineLength(first.get()), 76);
    EXPECT_TRUE(rfcQuopOptionsEncodeOutputLineLengthDefault(first.get()));
    EXPECT_EQ(rfcQuopOptionsEncodeOutputLineLength(second.get()), 10);
    EXPECT_EQ(pbObjRefCount(pb::obj(first.get())), 1);
    EXPECT_EQ(pbObjRefCount(pb::obj(second.get())), 1);

    // An object held once is changed in place.
    RFC_QUOP_OPTIONS *before = second.get();
    rfcQuopOptionsSetFlags(second.addr(), 1);
    EXPECT_EQ(second.get(), before);

    // Resets and Del copy a shared object as well.
    Opt third = Opt::retained(second.get());
    rfcQuopOptionsSetFlagsDefault(third.addr());
    EXPECT_NE(third.get(), second.get());
    EXPECT_EQ(rfcQuopOptionsFlags(second.get()), 1);
    Opt fourth = Opt::retained(second.get());
    rfcQuopOptionsDelEncodeOutputLineLength(fourth.addr());
    EXPECT_EQ(rfcQuopOptionsEncodeOutputLineLength(second.get()), 10);
}

TEST(QuopOptions, CreateFromCopiesEveryField)
{
    Opt opt = encodeOptions({ LF, CR, 12, 0x41 });
    rfcQuopOptionsSetDecodeMaxInputLineLength(opt.addr(), 9);
    Opt copy(rfcQuopOptionsCreateFrom(opt.get()));
    EXPECT_NE(copy.get(), opt.get());
    EXPECT_EQ(rfcQuopOptionsCompare(copy.get(), opt.get()), 0);
    EXPECT_EQ(markers(copy.get()), markers(opt.get()));
}

// Comparison goes field by field, marker before value.
TEST(QuopOptions, Compare)
{
    Opt a(rfcQuopOptionsCreate());
    Opt b(rfcQuopOptionsCreate());
    EXPECT_EQ(rfcQuopOptionsCompare(a.get(), b.get()), 0);
    EXPECT_TRUE(rfcQuopOptionsEquals(a.get(), b.get()));

    // The same value set explicitly orders before the default.
    rfcQuopOptionsSetEncodeOutputLineLength(a.addr(), 76);
    EXPECT_EQ(rfcQuopOptionsCompare(a.get(), b.get()), -1);
    EXPECT_FALSE(rfcQuopOptionsEquals(a.get(), b.get()));

    // Values decide when the markers agree.
    rfcQuopOptionsSetEncodeOutputLineLength(b.addr(), 77);
    EXPECT_EQ(rfcQuopOptionsCompare(a.get(), b.get()), -1);
    EXPECT_EQ(rfcQuopOptionsCompare(b.get(), a.get()), 1);

    // An earlier field wins over a later one.
    rfcQuopOptionsSetFlags(b.addr(), 0);
    EXPECT_EQ(rfcQuopOptionsCompare(a.get(), b.get()), 1);
    rfcQuopOptionsSetFlags(a.addr(), -5);
    EXPECT_EQ(rfcQuopOptionsCompare(a.get(), b.get()), -1);
}

TEST(QuopOptions, StoreEmptyAndFull)
{
    Opt opt(rfcQuopOptionsCreate());
    pb::Ref<PB_STORE> empty(rfcQuopOptionsStore(opt.get(), PB_FALSE));
    EXPECT_EQ(pbStoreLength(empty.get()), 0);

    pb::Ref<PB_STORE> full(rfcQuopOptionsStore(opt.get(), PB_TRUE));
    EXPECT_EQ(pbStoreLength(full.get()), 7);
    EXPECT_EQ(storedText(full.get(), "flags"), "");
    EXPECT_EQ(storedText(full.get(), "encodeInputNlf"), "PB_NLF_FLAG_CRLF");
    EXPECT_EQ(storedText(full.get(), "encodeOutputNlf"), "PB_NLF_FLAG_CRLF");
    EXPECT_EQ(storedInt(full.get(), "encodeOutputLineLength"), 76);
    EXPECT_EQ(storedText(full.get(), "decodeInputNlf"), "PB_NLF_FLAG_CRLF");
    EXPECT_EQ(storedText(full.get(), "decodeOutputNlf"), "PB_NLF_FLAG_CRLF");
    EXPECT_EQ(storedInt(full.get(), "decodeMaxInputLineLength"), -1);

    Opt restored(rfcQuopOptionsRestore(full.get()));
    EXPECT_EQ(markers(restored.get()), std::vector<PB_BOOL>(7, PB_FALSE));
    EXPECT_EQ(rfcQuopOptionsEncodeOutputLineLength(restored.get()), 76);
    EXPECT_EQ(rfcQuopOptionsDecodeMaxInputLineLength(restored.get()), -1);
}

TEST(QuopOptions, StoreWritesOnlyDefinedFlags)
{
    Opt opt(rfcQuopOptionsCreate());
    rfcQuopOptionsSetFlags(opt.addr(), 0x41);
    pb::Ref<PB_STORE> store(rfcQuopOptionsStore(opt.get(), PB_FALSE));
    EXPECT_EQ(pbStoreLength(store.get()), 1);
    EXPECT_EQ(storedText(store.get(), "flags"), "RFC_QUOP_FLAG_ENCODE_ENSURE_TRAILING_NLF");
    Opt restored(rfcQuopOptionsRestore(store.get()));
    EXPECT_EQ(rfcQuopOptionsFlags(restored.get()), 0x01);
}

// Store with full false, then Restore, gives an equal object when the flags
// have no undefined bits.
TEST(QuopOptions, StoreRestoreRoundTrip)
{
    Opt opt(rfcQuopOptionsCreate());
    rfcQuopOptionsSetFlags(opt.addr(), 0x2A);
    rfcQuopOptionsSetEncodeInputNlf(opt.addr(), 0x37);
    rfcQuopOptionsSetEncodeOutputNlf(opt.addr(), FF);
    rfcQuopOptionsSetEncodeOutputLineLength(opt.addr(), 1);
    rfcQuopOptionsSetDecodeOutputNlf(opt.addr(), 0);
    rfcQuopOptionsSetDecodeMaxInputLineLength(opt.addr(), 1000);
    pb::Ref<PB_STORE> store(rfcQuopOptionsStore(opt.get(), PB_FALSE));
    EXPECT_EQ(pbStoreLength(store.get()), 6);
    EXPECT_EQ(storedText(store.get(), "decodeInputNlf"), std::nullopt);
    Opt restored(rfcQuopOptionsRestore(store.get()));
    EXPECT_EQ(rfcQuopOptionsCompare(restored.get(), opt.get()), 0);
    EXPECT_EQ(markers(restored.get()), markers(opt.get()));
}

struct RestoreRow {
    const char *rule;
    const char *key;
    std::optional<PB_INT> intValue;
    const char *textValue;
    bool markerAfter; // marker of the setting after restore
    PB_INT valueAfter;
};

const RestoreRow restoreRows[] = {
    { "a present default value clears the marker", "encodeOutputLineLength", 76, nullptr, false, 76 },
    { "line length 0 is ignored", "encodeOutputLineLength", 0, nullptr, true, 76 },
    { "line length -2 is ignored", "encodeOutputLineLength", -2, nullptr, true, 76 },
    { "line length -1 deletes the limit", "encodeOutputLineLength", -1, nullptr, false, -1 },
    { "line length 1 is set", "encodeOutputLineLength", 1, nullptr, false, 1 },
    { "maximum line length 3 is ignored", "decodeMaxInputLineLength", 3, nullptr, true, -1 },
    { "maximum line length 4 is set", "decodeMaxInputLineLength", 4, nullptr, false, 4 },
    { "maximum line length -1 deletes", "decodeMaxInputLineLength", -1, nullptr, false, -1 },
    { "a line length stored as text is not an integer", "encodeOutputLineLength", std::nullopt, "10", true, 76 },
    { "an output newline is reduced", "encodeOutputNlf", std::nullopt, "PB_NLF_FLAG_CR, PB_NLF_FLAG_CRLF", false, CR },
    { "an unknown newline name gives none", "decodeOutputNlf", std::nullopt, "NO_SUCH_NEWLINE", false, 0 },
    { "an input set", "decodeInputNlf", std::nullopt, "PB_NLF_FLAG_LF PB_NLF_FLAG_FF", false, LF | FF },
    { "a newline stored as an integer is no text", "encodeInputNlf", 1, nullptr, true, CRLF },
};

TEST(QuopOptions, RestoreOneKey)
{
    struct Getters {
        const char *key;
        PB_INT (*value)(RFC_QUOP_OPTIONS *);
        PB_BOOL (*marker)(RFC_QUOP_OPTIONS *);
    };
    const Getters getters[] = {
        { "encodeInputNlf", rfcQuopOptionsEncodeInputNlf, rfcQuopOptionsEncodeInputNlfDefault },
        { "encodeOutputNlf", rfcQuopOptionsEncodeOutputNlf, rfcQuopOptionsEncodeOutputNlfDefault },
        { "encodeOutputLineLength", rfcQuopOptionsEncodeOutputLineLength, rfcQuopOptionsEncodeOutputLineLengthDefault },
        { "decodeInputNlf", rfcQuopOptionsDecodeInputNlf, rfcQuopOptionsDecodeInputNlfDefault },
        { "decodeOutputNlf", rfcQuopOptionsDecodeOutputNlf, rfcQuopOptionsDecodeOutputNlfDefault },
        { "decodeMaxInputLineLength", rfcQuopOptionsDecodeMaxInputLineLength,
            rfcQuopOptionsDecodeMaxInputLineLengthDefault },
    };
    for (const RestoreRow &row : restoreRows) {
        pb::Ref<PB_STORE> store(pbStoreCreate());
        if (row.intValue)
            pbStoreSetValueIntCstr(store.addr(), row.key, -1, *row.intValue);
        if (row.textValue) {
            pb::Ref<PB_STRING> text = rfctest::string(row.textValue);
            pbStoreSetValueCstr(store.addr(), row.key, -1, text.get());
        }
        Opt opt(rfcQuopOptionsRestore(store.get()));
        int otherDefaults = 0;
        for (const Getters &g : getters) {
            if (std::string_view(g.key) == row.key) {
                EXPECT_EQ(bool(g.marker(opt.get())), row.markerAfter) << row.rule;
                EXPECT_EQ(g.value(opt.get()), row.valueAfter) << row.rule;
            } else {
                otherDefaults += g.marker(opt.get()) ? 1 : 0;
            }
        }
        EXPECT_EQ(otherDefaults, 5) << row.rule << ": only the stored key changes";
        EXPECT_TRUE(rfcQuopOptionsFlagsDefault(opt.get())) << row.rule;
    }
}

TEST(QuopOptions, StandardFunctions)
{
    Opt opt(rfcQuopOptionsCreate());
    EXPECT_EQ(pbObjSort(rfcQuopOptionsObj(opt.get())), rfcQuopOptionsSort());
    EXPECT_STREQ(pbSortName(rfcQuopOptionsSort()), "RFC_QUOP_OPTIONS");
    EXPECT_EQ(rfcQuopOptionsFrom(rfcQuopOptionsObj(opt.get())), opt.get());
    EXPECT_EQ(rfcQuopOptionsFrom(nullptr), nullptr);
    EXPECT_EQ(rfcQuopOptionsObj(nullptr), nullptr);
    EXPECT_EQ(rfcQuopOptionsRetain(opt.get()), opt.get());
    EXPECT_EQ(pbObjRefCount(pb::obj(opt.get())), 2);
    rfcQuopOptionsRelease(opt.get());
    pb::Ref<PB_STRING> text(rfcQuopOptionsToString(opt.get()));
    EXPECT_GT(pbStringLength(text.get()), 0);
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
    EXPECT_DEATH(rfcQuopOptionsFlags(nullptr), "rfc_quop_options:[0-9]+: contract violation: opt");
    pb::Ref<PB_BUFFER> buffer(pbBufferCreate());
    EXPECT_DEATH(rfcQuopOptionsFrom(pbBufferObj(buffer.get())),
        "\\[stdfunc from\\] source/rfc/quop/rfc_quop_options:[0-9]+: contract violation: "
        "!obj \\|\\| pbObjSort\\(obj\\)==&rfc___sort_RFC_QUOP_OPTIONS");
}

} // namespace
