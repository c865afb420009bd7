// The quoted-printable flags: normalisation and the text form.
#include <rfc/quop/rfc_quop.h>

#include "support/test_support.h"

#include <gtest/gtest.h>

namespace {

struct FlagName {
    PB_INT flag;
    const char *name;
};

// The names of the flags are their C names.
const FlagName flagNames[] = {
    { RFC_QUOP_FLAG_ENCODE_ENSURE_TRAILING_NLF, "RFC_QUOP_FLAG_ENCODE_ENSURE_TRAILING_NLF" },
    { RFC_QUOP_FLAG_DECODE_ACCEPT_SMALL_HEX_DIGITS, "RFC_QUOP_FLAG_DECODE_ACCEPT_SMALL_HEX_DIGITS" },
    { RFC_QUOP_FLAG_DECODE_ACCEPT_INVALID_ENCODING, "RFC_QUOP_FLAG_DECODE_ACCEPT_INVALID_ENCODING" },
    { RFC_QUOP_FLAG_DECODE_IGNORE_CONTROL, "RFC_QUOP_FLAG_DECODE_IGNORE_CONTROL" },
    { RFC_QUOP_FLAG_DECODE_IGNORE_NON_ASCII, "RFC_QUOP_FLAG_DECODE_IGNORE_NON_ASCII" },
    { RFC_QUOP_FLAG_DECODE_ENSURE_TRAILING_NLF, "RFC_QUOP_FLAG_DECODE_ENSURE_TRAILING_NLF" },
};

TEST(QuopFlags, Normalize)
{
    EXPECT_EQ(rfcQuopFlagsNormalize(0), 0);
    EXPECT_EQ(rfcQuopFlagsNormalize(0x3F), 0x3F);
    EXPECT_EQ(rfcQuopFlagsNormalize(0x41), 0x01);
    EXPECT_EQ(rfcQuopFlagsNormalize(-1), 0x3F);
}

TEST(QuopFlags, EachNameRoundTrips)
{
    for (const FlagName &row : flagNames) {
        pb::Ref<PB_STRING> text(rfcQuopFlagsToString(row.flag));
        EXPECT_EQ(rfctest::utf8(text.get()), row.name);
        pb::Ref<PB_STRING> name = rfctest::string(row.name);
        EXPECT_EQ(rfcQuopFlagsFromString(name.get()), row.flag) << row.name;
    }
}

TEST(QuopFlags, SetsRoundTripAndUndefinedBitsVanish)
{
    for (PB_INT flags = 0; flags < 0x40; ++flags) {
        pb::Ref<PB_STRING> text(rfcQuopFlagsToString(flags | 0x1C0));
        EXPECT_EQ(rfcQuopFlagsFromString(text.get()), flags) << rfctest::utf8(text.get());
    }
    pb::Ref<PB_STRING> empty(rfcQuopFlagsToString(0x40));
    EXPECT_EQ(rfctest::utf8(empty.get()), "");
}

TEST(QuopFlags, UnknownNamesAreIgnored)
{
    pb::Ref<PB_STRING> text =
        rfctest::string("RFC_QUOP_FLAG_NO_SUCH_FLAG, RFC_QUOP_FLAG_DECODE_IGNORE_CONTROL, PB_NLF_FLAG_LF");
    EXPECT_EQ(rfcQuopFlagsFromString(text.get()), RFC_QUOP_FLAG_DECODE_IGNORE_CONTROL);
}

TEST(QuopFlagsDeathTest, FromStringNeedsAString)
{
    EXPECT_DEATH(rfcQuopFlagsFromString(nullptr), "source/rfc/quop/rfc_quop_flags:[0-9]+: contract violation: pbs");
}

} // namespace
