// What the base and quoted-printable options share: the newline values, the
// startup of a flag set, and the same rule in both families' setters.
#include "support/test_support.h"

#include <rfc/base/rfc_base.h>
#include <rfc/quop/rfc_quop.h>
#include <rfc/rfc_settings_internal.h>

#include <gtest/gtest.h>

#include <string>

namespace {

// Flags of a made-up family, named as a family names its own.
constexpr PB_INT TEST_FLAG_FIRST = 0x1;
constexpr PB_INT TEST_FLAG_SECOND = 0x4;

PB_FLAGSET *testFlagset = nullptr;

TEST(SettingsFlagset, StartupEntersEachFlagInOrder)
{
    constexpr rfc::FlagName flags[] = { RFC___FLAG_NAME(testFlagset, TEST_FLAG_FIRST),
        RFC___FLAG_NAME(testFlagset, TEST_FLAG_SECOND) };
    static_assert(rfc::flagsDefined(flags) == 0x5);
    rfc::flagsetStartup(testFlagset, flags, "tests/settings/settings_test");
    pb::Ref<PB_STRING> text(pbFlagsetGenerate(testFlagset, 0x5));
    EXPECT_EQ(rfctest::utf8(text.get()), "TEST_FLAG_FIRST, TEST_FLAG_SECOND");
    EXPECT_EQ(pbFlagsetParse(testFlagset, text.get()), 0x5);
    rfc::slotShutdown(testFlagset);
}

// A name entered twice stops startup with the test as the family's source
// reads it, slot and name spelled out.
TEST(SettingsFlagsetDeathTest, NameDefinedTwice)
{
    constexpr rfc::FlagName twice[] = { RFC___FLAG_NAME(*(&testFlagset), TEST_FLAG_FIRST),
        RFC___FLAG_NAME(*(&testFlagset), TEST_FLAG_FIRST) };
    EXPECT_STREQ(twice[0].condition, "!pbFlagsetHasFlagCstr( *(&testFlagset), \"TEST_FLAG_FIRST\", -1 )");
    EXPECT_DEATH(rfc::flagsetStartup(testFlagset, twice, "tests/settings/settings_test"),
        "tests/settings/settings_test:[0-9]+: contract violation: "
        "!pbFlagsetHasFlagCstr\\( \\*\\(&testFlagset\\), \"TEST_FLAG_FIRST\", -1 \\)");
}

// The bytes of each newline value, as the codecs write them.
TEST(SettingsNewline, BytesOfEachValue)
{
    const struct {
        PB_INT value;
        std::string bytes;
    } rows[] = { { PB_NLF_FLAG_LF, "\n" }, { PB_NLF_FLAG_CR, "\r" }, { PB_NLF_FLAG_CRLF, "\r\n" },
        { PB_NLF_FLAG_VT, "\v" }, { PB_NLF_FLAG_FF, "\f" }, { 0, "" }, { 0x08, "" }, { 0x40, "" }, { 0x80, "" },
        { 0x03, "" } /* two kinds: no one value */ };
    for (const auto &row : rows) {
        rfc::nlf::Bytes b = rfc::nlf::bytesOf(row.value);
        EXPECT_EQ(std::string(reinterpret_cast<const char *>(b.bytes), b.length), row.bytes) << row.value;
    }
    EXPECT_EQ(rfc::nlf::kDefault, PB_NLF_FLAG_CRLF);
}

// One rule for both families: every output value a setter is given is
// reduced alike, every input set masked alike, and both default to CR LF.
TEST(SettingsNewline, BothFamiliesReduceAlike)
{
    pb::Ref<RFC_BASE_OPTIONS> base(rfcBaseOptionsCreate());
    pb::Ref<RFC_QUOP_OPTIONS> quop(rfcQuopOptionsCreate());
    EXPECT_EQ(rfcBaseOptionsOutputNlf(base.get()), PB_NLF_FLAG_CRLF);
    EXPECT_EQ(rfcQuopOptionsEncodeOutputNlf(quop.get()), PB_NLF_FLAG_CRLF);
    EXPECT_EQ(rfcQuopOptionsDecodeInputNlf(quop.get()), PB_NLF_FLAG_CRLF);
    for (PB_INT value = -1; value < 0x400; ++value) {
        rfcBaseOptionsSetOutputNlf(base.addr(), value);
        rfcQuopOptionsSetEncodeOutputNlf(quop.addr(), value);
        rfcQuopOptionsSetDecodeOutputNlf(quop.addr(), value);
        rfcQuopOptionsSetEncodeInputNlf(quop.addr(), value);
        const PB_INT kept = rfcBaseOptionsOutputNlf(base.get());
        ASSERT_EQ(kept, rfc::nlf::outputKind(value)) << value;
        ASSERT_EQ(rfcQuopOptionsEncodeOutputNlf(quop.get()), kept) << value;
        ASSERT_EQ(rfcQuopOptionsDecodeOutputNlf(quop.get()), kept) << value;
        ASSERT_EQ(rfcQuopOptionsEncodeInputNlf(quop.get()), value & 0xFF) << value;
        // The kept value is a single kind with bytes, or none.
        ASSERT_EQ(rfc::nlf::bytesOf(kept).length == 0, kept == 0) << value;
    }
}

} // namespace
