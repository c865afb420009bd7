// Refusal reasons: the offset of the first refused character and the
// smallest set of further flags that accepts the text, for buffers and
// strings, and the promise that a refusal is written only on refusal.
#include "base_test_util.h"

#include <gtest/gtest.h>

namespace {

using namespace basetest;
using std::string;

struct RefusalRow {
    PB_INT encoding;
    string text;
    PB_INT flags; // in force
    PB_INT offset;
    PB_INT acceptingFlags;
    const char *rule;
};

const RefusalRow refusalRows[] = {
    { B64, "Zm9vY", 0, 5, INVALID_PADDING | INVALID_LENGTH, "one character left over needs both flags together" },
    { B64, "Zm8", 0, 3, INVALID_PADDING, "missing padding: the text ended too early" },
    { B64, "Zg===", 0, 5, INVALID_PADDING, "too much padding is found at the end" },
    { B64, "Zh==", 0, 4, PAD_BITS, "surplus bits: the last group is refused" },
    { B64, "Z===", 0, 4, INVALID_LENGTH, "one data character in the last group" },
    { B64, "Zm9v\nYmFy", 0, 4, NLF, "a newline" },
    { B64, "Zm9v YmFy", 0, 4, WS, "a space" },
    { B64, "Zm9v-YmFy", 0, 4, NON_ALPHABET, "a base64url character in base64" },
    { B64, "Zm9v\xa0YmFy", 0, 4, NON_ALPHABET, "above 0x7F: a non-alphabet byte in base64" },
    { B64, "Zm9v\n YmFy", 0, 4, NLF | WS, "two kinds of skippable bytes" },
    { B64, "Zm9v\n YmFy", NLF, 5, WS, "flags in force count: the newline passes, the space is refused" },
    { B64, "Zm9v\n YmFy", NON_ALPHABET, 4, NLF | WS, "a newline is no non-alphabet byte" },
    { B64, "Zm8=Zg==", 0, 4, IGNORE_PADDING | INVALID_PADDING | INVALID_LENGTH,
        "data after padding is refused at the data; joined, Zm8Z g== needs two more flags" },
    { B64, "=Zm9v", 0, 1, IGNORE_PADDING, "padding before data" },
    { B64, "Zm9v.", INVALID_PADDING, 4, NON_ALPHABET, "a refused byte is found before the end" },
    { B64U, "Zm9v+", ALL & ~NON_ALPHABET, 4, NON_ALPHABET, "every other flag in force" },
    { B32, "MZXW6YQ", 0, 7, INVALID_PADDING, "base32 without padding" },
    { B32, "MZX=====", 0, 8, INVALID_LENGTH, "three base32 characters" },
    { B32H, "cpnmu===", 0, 0, NON_ALPHABET | INVALID_PADDING, "lower case skipped leaves padding alone" },
    { B32, "mzxw6===", 0, 0, NON_ALPHABET | INVALID_PADDING | INVALID_LENGTH, "6 is base32: one character" },
    { B16, "666", 0, 3, -1, "an odd number of digits: no flag accepts it" },
    { B16, "666", ALL, 3, -1, "nor with every flag" },
    { B16, "66g6F", 0, 2, NON_ALPHABET, "g is no hex digit" },
    { B16, "6g6F", 0, 1, -1, "skipping g leaves an odd count of digits" },
    { B16, "66\x85" "6F", 0, 2, NLF, "base16 asks the runtime about 0x85 (NEL)" },
    { B16, "66\xa0" "6F", 0, 2, WS, "base16 asks the runtime about 0xA0" },
};

// Decodes text as a buffer and as a string of the code points its bytes
// stand for, checks both refusals agree with each other and with the plain
// result, and returns the buffer form's refusal.
RFC_BASE_DECODE_REFUSAL refusalOf(const string &text, PB_INT encoding, PB_INT flags)
{
    pb::Ref<PB_BUFFER> source(rfctest::buffer(text));
    std::u32string latin1;
    for (unsigned char c : text)
        latin1 += char32_t(c);
    pb::Ref<PB_STRING> string(rfctest::string(latin1));
    pb::Ref<RFC_BASE_OPTIONS> opt = options(flags);
    RFC_BASE_DECODE_REFUSAL refusal { -7, -7 }, stringRefusal { -7, -7 };
    pb::Ref<PB_BUFFER> result(rfcBaseTryDecodeWithRefusal(source.get(), encoding, opt.get(), &refusal));
    pb::Ref<PB_BUFFER> stringResult(
        rfcBaseTryDecodeStringWithRefusal(string.get(), encoding, opt.get(), &stringRefusal));
    EXPECT_EQ(result.get(), nullptr);
    EXPECT_EQ(stringResult.get(), nullptr);
    EXPECT_EQ(stringRefusal.offset, refusal.offset) << "string form";
    EXPECT_EQ(stringRefusal.acceptingFlags, refusal.acceptingFlags) << "string form";
    EXPECT_EQ(decode(text, encoding, flags), std::nullopt) << "the plain forms refuse too";
    return refusal;
}

TEST(BaseRefusal, OffsetAndAcceptingFlags)
{
    for (const RefusalRow &row : refusalRows) {
        SCOPED_TRACE(row.rule);
        RFC_BASE_DECODE_REFUSAL refusal = refusalOf(row.text, row.encoding, row.flags);
        EXPECT_EQ(refusal.offset, row.offset);
        EXPECT_EQ(refusal.acceptingFlags, row.acceptingFlags);
        if (row.acceptingFlags != -1) {
            EXPECT_NE(decode(row.text, row.encoding, row.flags | row.acceptingFlags), std::nullopt)
                << "the named flags accept the text";
        }
    }
}

// A refusal is written only when the result is null; a null refusal is
// allowed on both paths.
TEST(BaseRefusal, WrittenOnlyOnRefusal)
{
    pb::Ref<RFC_BASE_OPTIONS> opt = options(0);
    for (const char *text : { "Zm9v", "", "====" }) {
        SCOPED_TRACE(text);
        pb::Ref<PB_BUFFER> source(rfctest::buffer(text));
        RFC_BASE_DECODE_REFUSAL refusal { -7, -7 };
        pb::Ref<PB_BUFFER> result(rfcBaseTryDecodeWithRefusal(source.get(), B64, opt.get(), &refusal));
        ASSERT_TRUE(result);
        EXPECT_EQ(refusal.offset, -7);
        EXPECT_EQ(refusal.acceptingFlags, -7);
        pb::Ref<PB_BUFFER> again(rfcBaseTryDecodeWithRefusal(source.get(), B64, opt.get(), nullptr));
        EXPECT_EQ(rfctest::bytes(again.get()), rfctest::bytes(result.get()));
    }
    pb::Ref<PB_BUFFER> bad(rfctest::buffer("Zm9v."));
    pb::Ref<PB_BUFFER> refused(rfcBaseTryDecodeWithRefusal(bad.get(), B64, opt.get(), nullptr));
    EXPECT_EQ(refused.get(), nullptr);
}

// String offsets count code points, also those above U+00FF.
TEST(BaseRefusal, StringOffsetsCountCodePoints)
{
    const std::tuple<std::u32string, PB_INT, PB_INT> rows[] = { { U"Zm9v\u0141", 4, NON_ALPHABET },
        { U"\U0001F600Zm9v", 0, NON_ALPHABET }, { U"Zm9v\u2028Zm9v", 4, NON_ALPHABET } };
    pb::Ref<RFC_BASE_OPTIONS> opt = options(0);
    for (const auto &[text, offset, accepting] : rows) {
        RFC_BASE_DECODE_REFUSAL refusal { -7, -7 };
        pb::Ref<PB_BUFFER> result(
            rfcBaseTryDecodeStringWithRefusal(rfctest::string(text).get(), B64, opt.get(), &refusal));
        EXPECT_EQ(result.get(), nullptr);
        EXPECT_EQ(refusal.offset, offset);
        EXPECT_EQ(refusal.acceptingFlags, accepting);
    }
}

// A stray byte at every position of a text long enough for every fast
// path: the offset is exactly where it was put.
TEST(BaseRefusal, OffsetsAreExactThroughTheFastPaths)
{
    string data = rfctest::randomBytes(200, 5);
    const std::pair<string, PB_INT> strays[] = { { ".", NON_ALPHABET }, { "\n", NLF }, { " ", WS } };
    for (PB_INT encoding = 0; encoding <= 4; ++encoding) {
        string text = encode(data, encoding);
        for (const auto &[stray, flag] : strays) {
            for (std::size_t at = 0; at < text.size(); at += 1 + at / 64) {
                SCOPED_TRACE(testing::Message() << "encoding " << encoding << " at " << at);
                RFC_BASE_DECODE_REFUSAL refusal = refusalOf(text.substr(0, at) + stray + text.substr(at), encoding, 0);
                ASSERT_EQ(refusal.offset, PB_INT(at));
                ASSERT_EQ(refusal.acceptingFlags, flag);
            }
        }
    }
}

} // namespace
