// The options object: defaults and markers, the setters' normalisation,
// copy-on-write, comparison, and store/restore.
#include "base_test_util.h"

#include <rfc/crc/rfc_crc.h>

#include <gtest/gtest.h>

#include <functional>

namespace {

using Options = pb::Ref<RFC_BASE_OPTIONS>;

TEST(BaseOptions, FreshObjectHoldsTheDefaults)
{
    Options opt(rfcBaseOptionsCreate());
    EXPECT_EQ(rfcBaseOptionsFlags(opt.get()), 0);
    EXPECT_TRUE(rfcBaseOptionsFlagsDefault(opt.get()));
    EXPECT_EQ(rfcBaseOptionsOutputNlf(opt.get()), PB_NLF_FLAG_CRLF);
    EXPECT_TRUE(rfcBaseOptionsOutputNlfDefault(opt.get()));
    EXPECT_EQ(rfcBaseOptionsOutputLineLength(opt.get()), -1);
    EXPECT_FALSE(rfcBaseOptionsHasOutputLineLength(opt.get()));
    EXPECT_TRUE(rfcBaseOptionsOutputLineLengthDefault(opt.get()));
    EXPECT_EQ(pbObjSort(rfcBaseOptionsObj(opt.get())), rfcBaseOptionsSort());
}

TEST(BaseOptions, SetOutputNlfKeepsTheFirstWritableNewline)
{
    struct Row {
        PB_INT given;
        PB_INT stored;
        const char *rule;
    };
    const Row rows[] = {
        { 0x01, 0x01, "LF" },
        { 0x02, 0x02, "CR" },
        { 0x04, 0x04, "CR LF" },
        { 0x10, 0x10, "VT" },
        { 0x20, 0x20, "FF" },
        { 0x05, 0x01, "LF before CR LF" },
        { 0x06, 0x02, "CR before CR LF" },
        { 0x30, 0x10, "VT before FF" },
        { 0x08, 0, "NEL is never written: none" },
        { 0xC0, 0, "LS and PS are never written: none" },
        { 0x48, 0, "NEL and LS: none" },
        { 0x0C, 0x04, "CR LF before NEL" },
        { 0, 0, "no newline" },
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.rule);
        Options opt(rfcBaseOptionsCreate());
        rfcBaseOptionsSetOutputNlf(opt.addr(), row.given);
        EXPECT_EQ(rfcBaseOptionsOutputNlf(opt.get()), row.stored);
        EXPECT_FALSE(rfcBaseOptionsOutputNlfDefault(opt.get()));
    }
}

TEST(BaseOptions, SettersAndDefaultsMoveTheMarkers)
{
    Options opt(rfcBaseOptionsCreate());
    rfcBaseOptionsSetFlags(opt.addr(), 0x3FF);
    EXPECT_EQ(rfcBaseOptionsFlags(opt.get()), 0x1FF);
    EXPECT_FALSE(rfcBaseOptionsFlagsDefault(opt.get()));
    rfcBaseOptionsSetFlagsDefault(opt.addr());
    EXPECT_EQ(rfcBaseOptionsFlags(opt.get()), 0);
    EXPECT_TRUE(rfcBaseOptionsFlagsDefault(opt.get()));

    rfcBaseOptionsSetOutputNlf(opt.addr(), PB_NLF_FLAG_LF);
    rfcBaseOptionsSetOutputNlfDefault(opt.addr());
    EXPECT_EQ(rfcBaseOptionsOutputNlf(opt.get()), PB_NLF_FLAG_CRLF);
    EXPECT_TRUE(rfcBaseOptionsOutputNlfDefault(opt.get()));

    rfcBaseOptionsSetOutputLineLength(opt.addr(), 76);
    EXPECT_EQ(rfcBaseOptionsOutputLineLength(opt.get()), 76);
    EXPECT_TRUE(rfcBaseOptionsHasOutputLineLength(opt.get()));
    EXPECT_FALSE(rfcBaseOptionsOutputLineLengthDefault(opt.get()));
    // Deleting the line length is an explicit setting, not the default.
    rfcBaseOptionsDelOutputLineLength(opt.addr());
    EXPECT_FALSE(rfcBaseOptionsHasOutputLineLength(opt.get()));
    EXPECT_FALSE(rfcBaseOptionsOutputLineLengthDefault(opt.get()));
    rfcBaseOptionsSetOutputLineLengthDefault(opt.addr());
    EXPECT_EQ(rfcBaseOptionsOutputLineLength(opt.get()), -1);
    EXPECT_TRUE(rfcBaseOptionsOutputLineLengthDefault(opt.get()));
}

// Every setter, applied to the caller's reference.
const std::pair<const char *, std::function<void(RFC_BASE_OPTIONS **)>> setters[] = {
    { "SetFlags", [](RFC_BASE_OPTIONS **o) { rfcBaseOptionsSetFlags(o, 4); } },
    { "SetFlagsDefault", [](RFC_BASE_OPTIONS **o) { rfcBaseOptionsSetFlagsDefault(o); } },
    { "SetOutputNlf", [](RFC_BASE_OPTIONS **o) { rfcBaseOptionsSetOutputNlf(o, 1); } },
    { "SetOutputNlfDefault", [](RFC_BASE_OPTIONS **o) { rfcBaseOptionsSetOutputNlfDefault(o); } },
    { "SetOutputLineLength", [](RFC_BASE_OPTIONS **o) { rfcBaseOptionsSetOutputLineLength(o, 8); } },
    { "DelOutputLineLength", [](RFC_BASE_OPTIONS **o) { rfcBaseOptionsDelOutputLineLength(o); } },
    { "SetOutputLineLengthDefault", [](RFC_BASE_OPTIONS **o) { rfcBaseOptionsSetOutputLineLengthDefault(o); } },
};

TEST(BaseOptions, SettersCopyASharedObjectFirst)
{
    for (const auto &[name, set] : setters) {
        SCOPED_TRACE(name);
        Options mine(rfcBaseOptionsCreate());
        rfcBaseOptionsSetFlags(mine.addr(), 8);
        rfcBaseOptionsSetOutputLineLength(mine.addr(), 3);
        Options other(rfcBaseOptionsRetain(mine.get()));
        Options before(rfcBaseOptionsCreateFrom(mine.get()));

        set(mine.addr());
        EXPECT_NE(mine.get(), other.get());
        EXPECT_EQ(pbObjRefCount(rfcBaseOptionsObj(mine.get())), 1);
        EXPECT_EQ(pbObjRefCount(rfcBaseOptionsObj(other.get())), 1);
        EXPECT_TRUE(rfcBaseOptionsEquals(other.get(), before.get())) << "the other holder saw the change";
    }
}

TEST(BaseOptions, SettersChangeAnUnsharedObjectInPlace)
{
    for (const auto &[name, set] : setters) {
        SCOPED_TRACE(name);
        Options opt(rfcBaseOptionsCreate());
        RFC_BASE_OPTIONS *before = opt.get();
        set(opt.addr());
        EXPECT_EQ(opt.get(), before);
    }
}

TEST(BaseOptions, CompareGoesFieldByFieldMarkerFirst)
{
    Options fresh(rfcBaseOptionsCreate());
    Options fresh2(rfcBaseOptionsCreate());
    EXPECT_TRUE(rfcBaseOptionsEquals(fresh.get(), fresh2.get()));
    EXPECT_EQ(rfcBaseOptionsCompare(fresh.get(), fresh2.get()), 0);

    // Flags set explicitly to 0 differ from default flags: the marker (false
    // = 0) orders before true.
    Options explicitZero(rfcBaseOptionsCreate());
    rfcBaseOptionsSetFlags(explicitZero.addr(), 0);
    EXPECT_FALSE(rfcBaseOptionsEquals(fresh.get(), explicitZero.get()));
    EXPECT_EQ(rfcBaseOptionsCompare(explicitZero.get(), fresh.get()), -1);
    EXPECT_EQ(rfcBaseOptionsCompare(fresh.get(), explicitZero.get()), 1);

    // With equal markers the value decides.
    Options flags4(rfcBaseOptionsCreate());
    rfcBaseOptionsSetFlags(flags4.addr(), 4);
    EXPECT_EQ(rfcBaseOptionsCompare(explicitZero.get(), flags4.get()), -1);

    // An earlier field decides before a later one: explicit flags (marker
    // false) order first even against a larger line length.
    Options longLines(rfcBaseOptionsCreate());
    rfcBaseOptionsSetOutputLineLength(longLines.addr(), 1000);
    EXPECT_EQ(rfcBaseOptionsCompare(flags4.get(), longLines.get()), -1);

    // The last field: line lengths compared as signed numbers.
    Options shortLines(rfcBaseOptionsCreate());
    rfcBaseOptionsSetOutputLineLength(shortLines.addr(), 2);
    Options noLines(rfcBaseOptionsCreate());
    rfcBaseOptionsDelOutputLineLength(noLines.addr());
    EXPECT_EQ(rfcBaseOptionsCompare(shortLines.get(), longLines.get()), -1);
    EXPECT_EQ(rfcBaseOptionsCompare(noLines.get(), shortLines.get()), -1);
}

TEST(BaseOptions, CreateFromCopiesEveryField)
{
    Options opt = basetest::options(0x41, PB_NLF_FLAG_FF, 9);
    Options copy(rfcBaseOptionsCreateFrom(opt.get()));
    EXPECT_NE(copy.get(), opt.get());
    EXPECT_TRUE(rfcBaseOptionsEquals(copy.get(), opt.get()));
    EXPECT_EQ(rfcBaseOptionsFlags(copy.get()), 0x41);
    EXPECT_EQ(rfcBaseOptionsOutputNlf(copy.get()), PB_NLF_FLAG_FF);
    EXPECT_EQ(rfcBaseOptionsOutputLineLength(copy.get()), 9);
}

TEST(BaseOptions, StoreWritesOnlyChangedSettingsUnlessFull)
{
    Options fresh(rfcBaseOptionsCreate());
    pb::Ref<PB_STORE> empty(rfcBaseOptionsStore(fresh.get(), PB_FALSE));
    EXPECT_EQ(pbStoreLength(empty.get()), 0);

    pb::Ref<PB_STORE> full(rfcBaseOptionsStore(fresh.get(), PB_TRUE));
    EXPECT_EQ(pbStoreLength(full.get()), 3);
    pb::Ref<PB_STRING> flags(pbStoreValueCstr(full.get(), "flags", -1));
    pb::Ref<PB_STRING> noFlags(rfcBaseFlagsToString(0));
    ASSERT_TRUE(flags);
    EXPECT_EQ(rfctest::utf8(flags.get()), rfctest::utf8(noFlags.get()));
    pb::Ref<PB_STRING> nlf(pbStoreValueCstr(full.get(), "outputNlf", -1));
    ASSERT_TRUE(nlf);
    EXPECT_EQ(rfctest::utf8(nlf.get()), "PB_NLF_FLAG_CRLF");
    PB_INT lineLength = 0;
    EXPECT_TRUE(pbStoreValueIntCstr(full.get(), &lineLength, "outputLineLength", -1));
    EXPECT_EQ(lineLength, -1);

    Options changed(rfcBaseOptionsCreate());
    rfcBaseOptionsSetFlags(changed.addr(), RFC_BASE_FLAG_DECODE_IGNORE_NLF);
    pb::Ref<PB_STORE> partial(rfcBaseOptionsStore(changed.get(), PB_FALSE));
    EXPECT_EQ(pbStoreLength(partial.get()), 1);
    pb::Ref<PB_STRING> flagText(pbStoreValueCstr(partial.get(), "flags", -1));
    ASSERT_TRUE(flagText);
    EXPECT_EQ(rfctest::utf8(flagText.get()), "RFC_BASE_FLAG_DECODE_IGNORE_NLF");
}

TEST(BaseOptions, StoreAndRestoreRoundTrip)
{
    struct Row {
        const char *what;
        std::function<void(RFC_BASE_OPTIONS **)> set;
    };
    const Row rows[] = {
        { "fresh", [](RFC_BASE_OPTIONS **) {} },
        { "flags", [](RFC_BASE_OPTIONS **o) { rfcBaseOptionsSetFlags(o, 0x1FF); } },
        { "explicit zero flags", [](RFC_BASE_OPTIONS **o) { rfcBaseOptionsSetFlags(o, 0); } },
        { "no newline", [](RFC_BASE_OPTIONS **o) { rfcBaseOptionsSetOutputNlf(o, 0); } },
        { "FF", [](RFC_BASE_OPTIONS **o) { rfcBaseOptionsSetOutputNlf(o, PB_NLF_FLAG_FF); } },
        { "line length 76", [](RFC_BASE_OPTIONS **o) { rfcBaseOptionsSetOutputLineLength(o, 76); } },
        { "no line length", [](RFC_BASE_OPTIONS **o) { rfcBaseOptionsDelOutputLineLength(o); } },
        { "all", [](RFC_BASE_OPTIONS **o) {
             rfcBaseOptionsSetFlags(o, 0x83);
             rfcBaseOptionsSetOutputNlf(o, PB_NLF_FLAG_CR);
             rfcBaseOptionsSetOutputLineLength(o, 1);
         } },
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        Options opt(rfcBaseOptionsCreate());
        row.set(opt.addr());

        pb::Ref<PB_STORE> store(rfcBaseOptionsStore(opt.get(), PB_FALSE));
        Options restored(rfcBaseOptionsRestore(store.get()));
        EXPECT_TRUE(rfcBaseOptionsEquals(restored.get(), opt.get()));

        // A full store brings every value back with its marker cleared.
        pb::Ref<PB_STORE> fullStore(rfcBaseOptionsStore(opt.get(), PB_TRUE));
        Options fromFull(rfcBaseOptionsRestore(fullStore.get()));
        EXPECT_EQ(rfcBaseOptionsFlags(fromFull.get()), rfcBaseOptionsFlags(opt.get()));
        EXPECT_EQ(rfcBaseOptionsOutputNlf(fromFull.get()), rfcBaseOptionsOutputNlf(opt.get()));
        EXPECT_EQ(rfcBaseOptionsOutputLineLength(fromFull.get()), rfcBaseOptionsOutputLineLength(opt.get()));
        EXPECT_FALSE(rfcBaseOptionsFlagsDefault(fromFull.get()));
        EXPECT_FALSE(rfcBaseOptionsOutputNlfDefault(fromFull.get()));
        EXPECT_FALSE(rfcBaseOptionsOutputLineLengthDefault(fromFull.get()));
    }
}

TEST(BaseOptions, RestoreReadsLineLengthsByTheirValue)
{
    struct Row {
        PB_INT stored;
        PB_INT lineLength;
        bool marker;
        const char *rule;
    };
    const Row rows[] = {
        { 76, 76, false, "a length of at least 1 is set" },
        { 1, 1, false, "the shortest line" },
        { -1, -1, false, "-1 is an explicit absence of a line length" },
        { 0, -1, true, "0 is ignored: default" },
        { -2, -1, true, "below -1 is ignored: default" },
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.rule);
        pb::Ref<PB_STORE> store(pbStoreCreate());
        pbStoreSetValueIntCstr(store.addr(), "outputLineLength", -1, row.stored);
        Options opt(rfcBaseOptionsRestore(store.get()));
        EXPECT_EQ(rfcBaseOptionsOutputLineLength(opt.get()), row.lineLength);
        EXPECT_EQ(rfcBaseOptionsOutputLineLengthDefault(opt.get()), row.marker);
        EXPECT_TRUE(rfcBaseOptionsFlagsDefault(opt.get()));
        EXPECT_TRUE(rfcBaseOptionsOutputNlfDefault(opt.get()));
    }
}

TEST(BaseOptions, RestoreIgnoresKeysOfTheWrongKindAndUnknownNames)
{
    pb::Ref<PB_STORE> store(pbStoreCreate());
    pbStoreSetValueIntCstr(store.addr(), "flags", -1, 4);
    pbStoreSetValueCstr(store.addr(), "outputLineLength", -1, rfctest::string("76").get());
    pbStoreSetValueCstr(store.addr(), "outputNlf", -1, rfctest::string("PB_NLF_FLAG_NEL, PB_NLF_FLAG_VT").get());
    Options opt(rfcBaseOptionsRestore(store.get()));
    EXPECT_TRUE(rfcBaseOptionsFlagsDefault(opt.get())) << "an integer under \"flags\" is not read";
    EXPECT_TRUE(rfcBaseOptionsOutputLineLengthDefault(opt.get())) << "a text under \"outputLineLength\" is not read";
    EXPECT_EQ(rfcBaseOptionsOutputNlf(opt.get()), PB_NLF_FLAG_VT) << "NEL is dropped, VT kept";

    pb::Ref<PB_STORE> unknown(pbStoreCreate());
    pbStoreSetValueCstr(unknown.addr(), "flags", -1,
        rfctest::string("NO_SUCH_FLAG RFC_BASE_FLAG_DECODE_IGNORE_PADDING").get());
    pbStoreSetValueCstr(unknown.addr(), "outputNlf", -1, rfctest::string("PB_NLF_FLAG_NEL").get());
    Options fromUnknown(rfcBaseOptionsRestore(unknown.get()));
    EXPECT_EQ(rfcBaseOptionsFlags(fromUnknown.get()), RFC_BASE_FLAG_DECODE_IGNORE_PADDING);
    EXPECT_EQ(rfcBaseOptionsOutputNlf(fromUnknown.get()), 0);
    EXPECT_FALSE(rfcBaseOptionsOutputNlfDefault(fromUnknown.get()));
}

TEST(BaseOptions, FromAcceptsNullAndItsOwnSort)
{
    EXPECT_EQ(rfcBaseOptionsFrom(nullptr), nullptr);
    Options opt(rfcBaseOptionsCreate());
    EXPECT_EQ(rfcBaseOptionsFrom(rfcBaseOptionsObj(opt.get())), opt.get());
    pb::Ref<PB_STRING> text(rfcBaseOptionsToString(opt.get()));
    EXPECT_TRUE(text);
}

using BaseOptionsDeathTest = testing::Test;

TEST_F(BaseOptionsDeathTest, ContractViolations)
{
    EXPECT_DEATH(
        {
            Options opt(rfcBaseOptionsCreate());
            rfcBaseOptionsSetOutputLineLength(opt.addr(), 0);
        },
        "source/rfc/base/rfc_base_options:[0-9]+: contract violation: lineLength >= 1");
    EXPECT_DEATH(rfcBaseOptionsSetFlags(nullptr, 0), "rfc_base_options:[0-9]+: contract violation: opt");
    EXPECT_DEATH(
        {
            RFC_BASE_OPTIONS *none = nullptr;
            rfcBaseOptionsSetFlagsDefault(&none);
        },
        "contract violation: \\*opt");
    EXPECT_DEATH(
        {
            pb::Ref<RFC_CRC> crc(rfcCrcCreate(RFC_CRC_ALGORITHM_CRC32_C));
            rfcBaseOptionsFrom(rfcCrcObj(crc.get()));
        },
        "\\[stdfunc from\\] source/rfc/base/rfc_base_options:[0-9]+: contract violation: "
        "!obj \\|\\| pbObjSort\\(obj\\)==&rfc___sort_RFC_BASE_OPTIONS");
}

} // namespace
