// The decoder: strict by default, each rule relaxed by its own flag,
// malformed text gives null and nothing else, and decoding inverts encoding.
#include "base_test_util.h"

#include <gtest/gtest.h>

namespace {

using basetest::decode;
using basetest::encode;
using basetest::options;
using std::nullopt;
using std::optional;
using std::string;

constexpr PB_INT B16 = RFC_BASE_ENCODING_BASE16;
constexpr PB_INT B32 = RFC_BASE_ENCODING_BASE32;
constexpr PB_INT B32H = RFC_BASE_ENCODING_BASE32HEX;
constexpr PB_INT B64 = RFC_BASE_ENCODING_BASE64;
constexpr PB_INT B64U = RFC_BASE_ENCODING_BASE64URL;

constexpr PB_INT NLF = RFC_BASE_FLAG_DECODE_IGNORE_NLF;
constexpr PB_INT WS = RFC_BASE_FLAG_DECODE_IGNORE_WHITE_SPACE;
constexpr PB_INT NON_ALPHABET = RFC_BASE_FLAG_DECODE_IGNORE_NON_ALPHABET;
constexpr PB_INT IGNORE_PADDING = RFC_BASE_FLAG_DECODE_IGNORE_PADDING;
constexpr PB_INT PAD_BITS = RFC_BASE_FLAG_DECODE_ACCEPT_INVALID_PAD_BITS;
constexpr PB_INT INVALID_PADDING = RFC_BASE_FLAG_DECODE_ACCEPT_INVALID_PADDING;
constexpr PB_INT INVALID_LENGTH = RFC_BASE_FLAG_DECODE_ACCEPT_INVALID_LENGTH;
constexpr PB_INT ALL = 0x1FF;

struct RuleRow {
    PB_INT encoding;
    string text;
    PB_INT flag;
    string expected;
    const char *rule;
};

// Text that one rule refuses: null by default, null with every flag but
// the rule's own, and the expected bytes with the rule's flag alone.
const RuleRow ruleRows[] = {
    { B64, "Zm8", INVALID_PADDING, "fo", "base64 without padding" },
    { B64, "Zm9v=", INVALID_PADDING, "foo", "padding after a complete group" },
    { B64, "Zg=", INVALID_PADDING, "f", "too little padding" },
    { B64, "Zg===", INVALID_PADDING, "f", "too much padding" },
    { B32, "MZXW6YQ", INVALID_PADDING, "foob", "base32 without padding" },
    { B32H, "CPNMUOG==", INVALID_PADDING, "foob", "base32hex with too much padding" },
    { B64, "Zh==", PAD_BITS, "f", "base64 n=2, second value with low bits set" },
    { B64, "Zo==", PAD_BITS, "f", "base64 n=2, only the highest surplus bit set" },
    { B64, "Zm9=", PAD_BITS, "fo", "base64 n=3, third value with low bits set" },
    { B64, "Zm+=", PAD_BITS, "fo", "base64 n=3, only the higher surplus bit set" },
    { B64U, "_x==", PAD_BITS, "\xff", "base64url surplus bits" },
    { B64, "Z===", INVALID_LENGTH, "\x64", "one base64 character: six bits and two zero bits" },
    { B32, "MZXW6Y==", INVALID_LENGTH, "foo\x60", "six base32 characters" },
    { B32, "MZX=====", INVALID_LENGTH, "fn", "three base32 characters" },
    { B32H, "C=======", INVALID_LENGTH, "\x60", "one base32hex character" },
    { B64, "QQ==QUFBQQ", IGNORE_PADDING, "\x41\x04\x14\x14\x14\x10", "inner padding dropped, groups join" },
    { B64, "Zm9v\nYmFy", NLF, "foobar", "LF" },
    { B64, "Zm9v\r\nYmFy\r\n", NLF, "foobar", "CR LF, also at the end" },
    { B64, "Zm9v\vYm\fFy", NLF, "foobar", "VT and FF are newlines" },
    { B32, "MZXW\n6===", NLF, "foo", "a newline inside a group" },
    { B16, "66\n6F\r", NLF, "fo", "base16 newlines" },
    { B16, "66\x85" "6F", NLF, "fo", "base16 asks the runtime about 0x85 (NEL)" },
    { B64, "Zm9v YmFy", WS, "foobar", "space" },
    { B64, "Zm9v\tYm Fy ", WS, "foobar", "tab and space" },
    { B16, "66 6F", WS, "fo", "base16 space" },
    { B16, "66\xa0" "6F", WS, "fo", "base16 asks the runtime about 0xA0 (no-break space)" },
    { B64, "Zm9v.YmFy", NON_ALPHABET, "foobar", "a byte outside every alphabet" },
    { B64, "Zm9v-Ym_Fy", NON_ALPHABET, "foobar", "base64url characters in base64" },
    { B64U, "Zm9v+Ym/Fy", NON_ALPHABET, "foobar", "base64 characters in base64url" },
    { B64, "Zm9v\x85YmFy", NON_ALPHABET, "foobar", "above 0x7F: not a newline in base64" },
    { B64, "Zm9v\xa0YmFy", NON_ALPHABET, "foobar", "above 0x7F: not white space in base64" },
    { B64, string("Zm9v\0YmFy", 9), NON_ALPHABET, "foobar", "NUL" },
    { B32, "MZxXW6===", NON_ALPHABET, "foo", "lower case in base32" },
    { B32H, "CPNMUOJ1W", NON_ALPHABET, "fooba", "W is beyond base32hex" },
    { B16, "66=6F", NON_ALPHABET, "fo", "= is no base16 character" },
    { B16, "66g6F", NON_ALPHABET, "fo", "g is no hex digit" },
};

TEST(BaseDecode, EachRuleIsRelaxedByItsOwnFlagOnly)
{
    for (const RuleRow &row : ruleRows) {
        SCOPED_TRACE(row.rule);
        EXPECT_EQ(decode(row.text, row.encoding, 0), nullopt) << "refused by default";
        EXPECT_EQ(decode(row.text, row.encoding, ALL & ~row.flag), nullopt) << "no other flag relaxes it";
        EXPECT_EQ(decode(row.text, row.encoding, row.flag), optional<string>(row.expected));
    }
}

struct DecodeRow {
    PB_INT encoding;
    string text;
    PB_INT flags;
    optional<string> expected;
    const char *rule;
};

const DecodeRow decodeRows[] = {
    // Padding rules.
    { B64, "Zm9v====", 0, "foo", "a whole group of padding after complete groups" },
    { B64, "====", 0, "", "a whole group of padding alone: empty, not null" },
    { B32, "========", 0, "", "base32: eight =" },
    { B64, "Zm8=Zg==", 0, nullopt, "two padded groups one after the other" },
    { B64, "Zm8=Zg==", IGNORE_PADDING, nullopt, "joined: Zm8Z g== is no whole group" },
    { B64, "Zg==Zg==", IGNORE_PADDING, nullopt, "joined: ZgZg, then == alone is checked" },
    { B64, "Zg==Zg==", IGNORE_PADDING | INVALID_PADDING, "f\x06\x60", "and accepted with invalid padding" },
    { B64, "=Zm9v", 0, nullopt, "padding before data" },
    { B64, "Zm=9v", IGNORE_PADDING, "foo", "padding inside a group dropped" },
    { B64, "Zm=8=", IGNORE_PADDING, "fo", "inner padding dropped, final padding kept" },
    { B64, "Zm=9v=", IGNORE_PADDING, nullopt, "a lone = after a complete group is still checked" },
    { B64, "Zm9v=", INVALID_PADDING | IGNORE_PADDING, "foo", "final padding is not data followed" },
    { B64, "Z", INVALID_PADDING, nullopt, "one character still has an invalid length" },
    { B64, "Z", INVALID_PADDING | INVALID_LENGTH, "\x64", "accepted with both" },
    // Surplus bits.
    { B64, "Zg==", 0, "f", "g carries no surplus bits" },
    { B64, "ZQ==", 0, "e", "Q carries no surplus bits" },
    { B32, "MZ======", 0, "f", "base32 surplus bits are dropped unchecked" },
    { B32, "MZXW7===", 0, "foo", "base32 7 at n=5: surplus bit dropped" },
    // Alphabets.
    { B64, "-_8=", 0, nullopt, "base64 has no - and _" },
    { B64U, "+/8=", 0, nullopt, "base64url has no + and /" },
    { B64U, "-_8=", 0, "\xfb\xff", "base64url values 62, 63" },
    { B64, "+/8=", 0, "\xfb\xff", "base64 values 62, 63" },
    { B32, "mzxw6===", 0, nullopt, "base32 is upper case only" },
    { B32H, "cpnmu===", 0, nullopt, "base32hex is upper case only" },
    { B16, "666f6F", 0, "foo", "base16 reads both cases" },
    { B32, "mzxw6===", NON_ALPHABET, nullopt, "lower case skipped: === alone is no group" },
    // Classification order: a newline is not white space for the flags.
    { B64, "Zm9v\nYmFy", WS, nullopt, "LF needs the newline flag" },
    { B64, "Zm9v YmFy", NLF, nullopt, "space needs the white-space flag" },
    { B64, "Zm9v YmFy", NON_ALPHABET, nullopt, "space is not a non-alphabet byte" },
    { B64, "Zm9v\nYmFy", NON_ALPHABET, nullopt, "LF is not a non-alphabet byte" },
    // base16 parity.
    { B16, "666", ALL, nullopt, "an odd number of digits, even with every flag" },
    { B16, "6", ALL, nullopt, "one digit" },
    { B16, "6 6 6", ALL, nullopt, "odd with skipped bytes between" },
    { B16, "6\n6", NLF, "f", "a pair split by a skipped newline" },
    // Empty text.
    { B16, "", 0, "", "empty base16" },
    { B32, "", ALL, "", "empty base32, every flag" },
    { B64U, "", 0, "", "empty base64url" },
    { B64, "\r\n \n", NLF | WS, "", "nothing but skipped bytes" },
};

TEST(BaseDecode, RulesAndTheirCombinations)
{
    for (const DecodeRow &row : decodeRows) {
        SCOPED_TRACE(row.rule);
        EXPECT_EQ(decode(row.text, row.encoding, row.flags), row.expected);
    }
}

TEST(BaseDecode, EmptyTextGivesAnEmptyBufferUnderAnyFlags)
{
    for (PB_INT encoding = 0; encoding <= 4; ++encoding) {
        for (PB_INT flags = 0; flags <= ALL; ++flags) {
            pb::Ref<PB_BUFFER> source(pbBufferCreate());
            pb::Ref<PB_BUFFER> result(rfcBaseTryDecodeWithFlags(source.get(), encoding, flags));
            ASSERT_TRUE(result) << encoding << " " << flags;
            EXPECT_EQ(pbBufferLength(result.get()), 0);
        }
    }
}

TEST(BaseDecode, AFaultAnywhereInLongTextIsFound)
{
    // A stray byte at every position of a text long enough for the fast
    // loops: refused by default, skipped with its flag.
    std::string data = rfctest::randomBytes(90, 11);
    const std::pair<std::string, PB_INT> strays[] = { { ".", NON_ALPHABET }, { "\r\n", NLF }, { " ", WS } };
    for (PB_INT encoding = 0; encoding <= 4; ++encoding) {
        std::string text = encode(data, encoding);
        for (const auto &[stray, flag] : strays) {
            for (std::size_t at = 0; at <= text.size(); ++at) {
                std::string broken = text.substr(0, at) + stray + text.substr(at);
                SCOPED_TRACE(testing::Message() << "encoding " << encoding << " at " << at);
                ASSERT_EQ(decode(broken, encoding, 0), nullopt);
                ASSERT_EQ(decode(broken, encoding, flag), data);
            }
        }
    }
}

TEST(BaseDecode, DecodingInvertsEncoding)
{
    const PB_INT nlfs[] = { PB_NLF_FLAG_LF, PB_NLF_FLAG_CR, PB_NLF_FLAG_CRLF, PB_NLF_FLAG_VT, PB_NLF_FLAG_FF };
    for (PB_INT encoding = 0; encoding <= 4; ++encoding) {
        for (std::size_t size = 0; size <= 130; size += (size < 20 ? 1 : 7)) {
            std::string data = rfctest::randomBytes(size, static_cast<unsigned>(size + 100 * encoding));
            SCOPED_TRACE(testing::Message() << "encoding " << encoding << " size " << size);
            EXPECT_EQ(decode(encode(data, encoding), encoding), data);
            // Unpadded text needs the flag that accepts invalid padding.
            std::string unpadded = encode(data, encoding, options(RFC_BASE_FLAG_ENCODE_OMIT_PADDING).get());
            EXPECT_EQ(decode(unpadded, encoding, INVALID_PADDING), data);
            for (PB_INT nlf : nlfs) {
                std::string lines = encode(data, encoding,
                    options(RFC_BASE_FLAG_ENCODE_ENSURE_TRAILING_NLF, nlf, 1 + static_cast<PB_INT>(size % 13)).get());
                EXPECT_EQ(decode(lines, encoding, NLF), data);
            }
        }
    }
}

TEST(BaseDecode, StringFormsConvertCodePointsToBytes)
{
    struct Row {
        PB_INT encoding;
        std::u32string text;
        PB_INT flags;
        optional<string> expected;
        const char *rule;
    };
    const Row rows[] = {
        { B64, U"Zm9vYmFy", 0, "foobar", "plain ASCII" },
        { B64, U"Zm9v\u00e9", 0, nullopt, "a Latin-1 letter is no alphabet character" },
        { B64, U"Zm9v\u00e9", NON_ALPHABET, "foo", "and is skipped with the flag" },
        { B64, U"Zm9v\u2028", NLF, nullopt, "U+2028 becomes a non-alphabet byte" },
        { B16, U"66\u2028", NON_ALPHABET, "f", "also in base16" },
        { B16, U"66\u0085", NLF, "f", "U+0085 is byte 0x85, a newline to base16" },
        { B32, U"\U0001F600MY======", NON_ALPHABET, "f", "a code point above the BMP" },
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.rule);
        pb::Ref<PB_STRING> text(rfctest::string(row.text));
        pb::Ref<PB_BUFFER> withFlags(rfcBaseTryDecodeStringWithFlags(text.get(), row.encoding, row.flags));
        pb::Ref<RFC_BASE_OPTIONS> opt = options(row.flags);
        pb::Ref<PB_BUFFER> withOptions(rfcBaseTryDecodeStringWithOptions(text.get(), row.encoding, opt.get()));
        if (row.expected) {
            ASSERT_TRUE(withFlags);
            ASSERT_TRUE(withOptions);
            EXPECT_EQ(rfctest::bytes(withFlags.get()), *row.expected);
            EXPECT_EQ(rfctest::bytes(withOptions.get()), *row.expected);
        } else {
            EXPECT_FALSE(withFlags);
            EXPECT_FALSE(withOptions);
        }
        if (row.flags == 0) {
            pb::Ref<PB_BUFFER> plain(rfcBaseTryDecodeString(text.get(), row.encoding));
            EXPECT_EQ(static_cast<bool>(plain), row.expected.has_value());
        }
    }
}

TEST(BaseDecode, FailureLeavesTheOptionsAndSourceAlone)
{
    pb::Ref<RFC_BASE_OPTIONS> opt = options(NLF);
    pb::Ref<RFC_BASE_OPTIONS> before(rfcBaseOptionsCreateFrom(opt.get()));
    pb::Ref<PB_BUFFER> source(rfctest::buffer("Zm9v\nYm Fy"));
    pb::Ref<PB_BUFFER> result(rfcBaseTryDecodeWithOptions(source.get(), B64, opt.get()));
    EXPECT_FALSE(result);
    EXPECT_TRUE(rfcBaseOptionsEquals(opt.get(), before.get()));
    EXPECT_EQ(pbObjRefCount(rfcBaseOptionsObj(opt.get())), 1);
    EXPECT_EQ(rfctest::bytes(source.get()), "Zm9v\nYm Fy");
    // Encoding flags and output settings do not steer the decoder.
    pb::Ref<RFC_BASE_OPTIONS> encodeOnly = options(RFC_BASE_FLAG_ENCODE_OMIT_PADDING, PB_NLF_FLAG_LF, 4);
    pb::Ref<PB_BUFFER> unpadded(rfctest::buffer("Zm8"));
    EXPECT_FALSE(pb::Ref<PB_BUFFER>(rfcBaseTryDecodeWithOptions(unpadded.get(), B64, encodeOnly.get())));
    pb::Ref<PB_BUFFER> plain(rfcBaseTryDecode(unpadded.get(), B64));
    EXPECT_FALSE(plain);
}

using BaseDecodeDeathTest = testing::Test;

TEST_F(BaseDecodeDeathTest, ContractViolations)
{
    EXPECT_DEATH(
        {
            pb::Ref<PB_BUFFER> source(pbBufferCreate());
            pb::Ref<PB_BUFFER> bytes(rfcBaseTryDecode(source.get(), -1));
        },
        "source/rfc/base/rfc_base_decode:[0-9]+: contract violation: RFC_BASE_ENCODING_OK\\( encoding \\)");
    EXPECT_DEATH(
        {
            pb::Ref<PB_BUFFER> source(pbBufferCreate());
            pb::Ref<PB_BUFFER> bytes(rfcBaseTryDecodeWithOptions(source.get(), B64, nullptr));
        },
        "rfc_base_decode:[0-9]+: contract violation: opt");
}

} // namespace
