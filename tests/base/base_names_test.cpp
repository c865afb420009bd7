// The encoding enumeration, the RFC 4648 names and the flags' text form.
#include "base_test_util.h"

#include <gtest/gtest.h>

namespace {

using rfctest::string;
using rfctest::utf8;

struct EncodingRow {
    PB_INT value;
    const char *enumerant;
    const char *rfc4648;
};

// The table of encodings, values and names.
const EncodingRow encodingRows[] = {
    { 0, "RFC_BASE_ENCODING_BASE16", "base16" },
    { 1, "RFC_BASE_ENCODING_BASE32", "base32" },
    { 2, "RFC_BASE_ENCODING_BASE32HEX", "base32hex" },
    { 3, "RFC_BASE_ENCODING_BASE64", "base64" },
    { 4, "RFC_BASE_ENCODING_BASE64URL", "base64url" },
};

TEST(BaseEncodingNames, EachEncodingHasItsNamesBothWays)
{
    for (const EncodingRow &row : encodingRows) {
        SCOPED_TRACE(row.rfc4648);
        pb::Ref<PB_STRING> enumerant(rfcBaseEncodingToString(row.value));
        EXPECT_EQ(utf8(enumerant.get()), row.enumerant);
        EXPECT_EQ(rfcBaseEncodingFromString(enumerant.get()), row.value);
        pb::Ref<PB_STRING> name(rfcBaseEncodingToRfc4648Name(row.value));
        EXPECT_EQ(utf8(name.get()), row.rfc4648);
        EXPECT_EQ(rfcBaseEncodingFromRfc4648Name(name.get()), row.value);
    }
}

TEST(BaseEncodingNames, UnknownNamesGiveMinusOne)
{
    // Names are matched exactly: no case folding, no prefixes, no enumerant
    // names in place of RFC 4648 names.
    for (const char *name : { "", "base65", "BASE64", "base64 ", "base", "RFC_BASE_ENCODING_BASE64" }) {
        SCOPED_TRACE(name);
        EXPECT_EQ(rfcBaseEncodingFromRfc4648Name(string(name).get()), -1);
    }
    // The runtime's enumeration answers -1 for a name it does not hold.
    EXPECT_EQ(rfcBaseEncodingFromString(string("base64").get()), -1);
}

TEST(BaseFlags, NormalizeKeepsTheNineDefinedBits)
{
    EXPECT_EQ(rfcBaseFlagsNormalize(0x3FF), 0x1FF);
    EXPECT_EQ(rfcBaseFlagsNormalize(-1), 0x1FF);
    EXPECT_EQ(rfcBaseFlagsNormalize(0x200), 0);
    EXPECT_EQ(rfcBaseFlagsNormalize(0x104), 0x104);
}

struct FlagRow {
    PB_INT bit;
    const char *name;
};

const FlagRow flagRows[] = {
    { 1, "RFC_BASE_FLAG_ENCODE_OMIT_PADDING" },
    { 2, "RFC_BASE_FLAG_ENCODE_ENSURE_TRAILING_NLF" },
    { 4, "RFC_BASE_FLAG_DECODE_IGNORE_NLF" },
    { 8, "RFC_BASE_FLAG_DECODE_IGNORE_WHITE_SPACE" },
    { 16, "RFC_BASE_FLAG_DECODE_IGNORE_NON_ALPHABET" },
    { 32, "RFC_BASE_FLAG_DECODE_IGNORE_PADDING" },
    { 64, "RFC_BASE_FLAG_DECODE_ACCEPT_INVALID_PAD_BITS" },
    { 128, "RFC_BASE_FLAG_DECODE_ACCEPT_INVALID_PADDING" },
    { 256, "RFC_BASE_FLAG_DECODE_ACCEPT_INVALID_LENGTH" },
};

TEST(BaseFlags, EachFlagHasItsName)
{
    for (const FlagRow &row : flagRows) {
        SCOPED_TRACE(row.name);
        pb::Ref<PB_STRING> text(rfcBaseFlagsToString(row.bit));
        EXPECT_EQ(utf8(text.get()), row.name);
        EXPECT_EQ(rfcBaseFlagsFromString(string(row.name).get()), row.bit);
    }
}

TEST(BaseFlags, TextRoundTripsEveryCombination)
{
    for (PB_INT flags = 0; flags <= 0x1FF; ++flags) {
        pb::Ref<PB_STRING> text(rfcBaseFlagsToString(flags));
        ASSERT_EQ(rfcBaseFlagsFromString(text.get()), flags) << utf8(text.get());
    }
}

TEST(BaseFlags, UndefinedBitsAreDroppedBothWays)
{
    // 0x200 alone is the runtime's text for no flags.
    pb::Ref<PB_STRING> none(rfcBaseFlagsToString(0));
    pb::Ref<PB_STRING> high(rfcBaseFlagsToString(0x200));
    EXPECT_EQ(utf8(high.get()), utf8(none.get()));
    pb::Ref<PB_STRING> mixed(rfcBaseFlagsToString(0x205));
    EXPECT_EQ(utf8(mixed.get()), "RFC_BASE_FLAG_ENCODE_OMIT_PADDING, RFC_BASE_FLAG_DECODE_IGNORE_NLF");
    // Names the flag set does not hold are ignored by the runtime's parser.
    EXPECT_EQ(rfcBaseFlagsFromString(string("RFC_BASE_FLAG_DECODE_IGNORE_NLF, NOT_A_FLAG").get()), 4);
}

using BaseNamesDeathTest = testing::Test;

TEST_F(BaseNamesDeathTest, EncodingOutOfRangeIsAViolation)
{
    EXPECT_DEATH(rfcBaseEncodingToRfc4648Name(5), "source/rfc/base/rfc_base_encoding:[0-9]+: "
                                                  "contract violation: RFC_BASE_ENCODING_OK\\( encoding \\)");
    EXPECT_DEATH(rfcBaseEncodingToString(-1), "contract violation: RFC_BASE_ENCODING_OK\\( enc \\)");
    EXPECT_DEATH(rfcBaseFlagsFromString(nullptr), "rfc_base_flags:[0-9]+: contract violation: pbs");
}

} // namespace
