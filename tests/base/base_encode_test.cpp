// The encoder: padding, line wrapping, newline kinds and the trailing
// newline. The RFC 4648 and Python vectors are in base_vectors_test.cpp.
#include "base_test_util.h"

#include <gtest/gtest.h>

namespace {

using basetest::encode;
using basetest::options;

constexpr PB_INT B16 = RFC_BASE_ENCODING_BASE16;
constexpr PB_INT B32 = RFC_BASE_ENCODING_BASE32;
constexpr PB_INT B32H = RFC_BASE_ENCODING_BASE32HEX;
constexpr PB_INT B64 = RFC_BASE_ENCODING_BASE64;
constexpr PB_INT B64U = RFC_BASE_ENCODING_BASE64URL;
constexpr PB_INT OMIT = RFC_BASE_FLAG_ENCODE_OMIT_PADDING;
constexpr PB_INT TRAIL = RFC_BASE_FLAG_ENCODE_ENSURE_TRAILING_NLF;

struct EncodeRow {
    PB_INT encoding;
    std::string input;
    PB_INT flags;
    PB_INT nlf;
    PB_INT lineLength;
    std::string expected;
    const char *rule;
};

const EncodeRow encodeRows[] = {
    // Padding and its omission.
    { B32, "f", OMIT, 4, -1, "MY", "base32 without padding: the two characters only" },
    { B32, "f", 0, 4, -1, "MY======", "base32 pads a 1-byte group with six =" },
    { B32, "foob", OMIT, 4, -1, "MZXW6YQ", "base32 4-byte group: seven characters" },
    { B32H, "fooba", OMIT, 4, -1, "CPNMUOJ1", "a full group has no padding to omit" },
    { B64, "fo", OMIT, 4, -1, "Zm8", "base64 2-byte group without padding" },
    { B64, "f", OMIT, 4, -1, "Zg", "base64 1-byte group without padding" },
    { B64U, "f", 0, 4, -1, "Zg==", "base64url is padded like base64" },
    { B16, "\x01\xfe", OMIT, 4, -1, "01FE", "base16 has no padding; upper case" },
    // The last two alphabet characters.
    { B64, "\xfb\xff", 0, 4, -1, "+/8=", "base64 values 62, 63" },
    { B64U, "\xfb\xff", 0, 4, -1, "-_8=", "base64url values 62, 63" },
    { B32, "\xff\xff\xff\xff\xff", 0, 4, -1, "77777777", "base32 value 31" },
    { B32H, "\xff\xff\xff\xff\xff", 0, 4, -1, "VVVVVVVV", "base32hex value 31" },
    // Wrapping: a newline between lines only.
    { B64, "foobar", 0, 1, 4, "Zm9v\nYmFy", "two lines of four, LF between" },
    { B64, "foobar", TRAIL, 1, 4, "Zm9v\nYmFy\n", "and a trailing LF" },
    { B64, "foobar", 0, 1, 8, "Zm9vYmFy", "line length equal to the text: no newline" },
    { B64, "foobar", 0, 1, 100, "Zm9vYmFy", "longer line length: no newline" },
    { B64, "foo", 0, 2, 1, "Z\rm\r9\rv", "line length 1: a newline after every character but the last" },
    { B64, "f", 0, 4, 3, "Zg=\r\n=", "padding counts as characters of a line" },
    { B32, "f", 0, 4, 3, "MY=\r\n===\r\n==", "lines cut through the padding" },
    { B16, "foo", 0, 16, 4, "666F\v6F", "VT newline" },
    { B16, "foo", TRAIL, 32, 4, "666F\f6F\f", "FF newline, trailing" },
    { B64, "foobar", TRAIL, 4, 5, "Zm9vY\r\nmFy\r\n", "CR LF, lines cut through groups" },
    // The trailing newline.
    { B64, "", TRAIL, 4, -1, "\r\n", "empty text gets the trailing newline" },
    { B64, "", 0, 4, -1, "", "empty text, no flag: empty" },
    { B64, "", TRAIL, 4, 4, "\r\n", "empty text with a line length" },
    { B64, "foo", TRAIL, 4, -1, "Zm9v\r\n", "trailing newline without wrapping" },
    // No output newline: no wrapping and no trailing newline.
    { B64, "foobar", TRAIL, 0, 4, "Zm9vYmFy", "output newline 0 disables both" },
    { B64, "", TRAIL, 0, 4, "", "output newline 0, empty text" },
    // Decoding flags have no effect on encoding.
    { B64, "fo", 0x1FC, 4, -1, "Zm8=", "decoding flags ignored" },
};

TEST(BaseEncode, PaddingWrappingAndNewlineRules)
{
    for (const EncodeRow &row : encodeRows) {
        SCOPED_TRACE(row.rule);
        pb::Ref<RFC_BASE_OPTIONS> opt = options(row.flags, row.nlf, row.lineLength);
        EXPECT_EQ(encode(row.input, row.encoding, opt.get()), row.expected);
        pb::Ref<PB_BUFFER> source(rfctest::buffer(row.input));
        pb::Ref<PB_STRING> text(rfcBaseEncodeToStringWithOptions(source.get(), row.encoding, opt.get()));
        EXPECT_EQ(rfctest::utf8(text.get()), row.expected);
    }
}

TEST(BaseEncode, PlainFormsUseTheDefaults)
{
    // Defaults: padded, no wrapping, no trailing newline, whatever the size.
    std::string data = rfctest::randomBytes(300, 1);
    pb::Ref<RFC_BASE_OPTIONS> fresh(rfcBaseOptionsCreate());
    for (PB_INT encoding = 0; encoding <= 4; ++encoding) {
        SCOPED_TRACE(encoding);
        std::string plain = encode(data, encoding);
        EXPECT_EQ(plain, encode(data, encoding, fresh.get()));
        EXPECT_EQ(plain.find_first_of("\r\n"), std::string::npos);
        pb::Ref<PB_BUFFER> source(rfctest::buffer(data));
        pb::Ref<PB_STRING> text(rfcBaseEncodeToString(source.get(), encoding));
        EXPECT_EQ(rfctest::utf8(text.get()), plain);
    }
}

// The wrapped layout written out independently: lines of lineLength
// characters of the unwrapped text, the newline between them, and the
// newline once more at the end when asked.
std::string wrapped(const std::string &text, PB_INT lineLength, const std::string &nlf, bool trailing)
{
    std::string out;
    for (std::size_t at = 0; at < text.size(); at += static_cast<std::size_t>(lineLength)) {
        if (at != 0)
            out += nlf;
        out += text.substr(at, static_cast<std::size_t>(lineLength));
    }
    if (trailing)
        out += nlf;
    return out;
}

TEST(BaseEncode, WrappingMatchesTheLineLayoutForEveryShape)
{
    // Line lengths that are and are not multiples of each group's size, over
    // lengths that end on and off a group and a line boundary.
    const std::pair<PB_INT, std::string> nlfs[] = {
        { PB_NLF_FLAG_LF, "\n" }, { PB_NLF_FLAG_CR, "\r" }, { PB_NLF_FLAG_CRLF, "\r\n" },
        { PB_NLF_FLAG_VT, "\v" }, { PB_NLF_FLAG_FF, "\f" },
    };
    for (PB_INT encoding = 0; encoding <= 4; ++encoding) {
        for (std::size_t size : { 0, 1, 2, 3, 4, 5, 11, 12, 13, 57, 58, 100, 241 }) {
            std::string data = rfctest::randomBytes(size, static_cast<unsigned>(size * 7 + 3));
            for (PB_INT flags : { PB_INT { 0 }, OMIT, TRAIL, OMIT | TRAIL }) {
                std::string flat = encode(data, encoding, options(flags & OMIT, 0).get());
                for (PB_INT lineLength : { 1, 2, 3, 4, 5, 7, 8, 16, 64, 76 }) {
                    for (const auto &[nlf, nlfText] : nlfs) {
                        SCOPED_TRACE(testing::Message() << "encoding " << encoding << " size " << size << " flags "
                                                        << flags << " line " << lineLength << " nlf " << nlf);
                        EXPECT_EQ(encode(data, encoding, options(flags, nlf, lineLength).get()),
                            wrapped(flat, lineLength, nlfText, flags & TRAIL));
                    }
                }
            }
        }
    }
}

TEST(BaseEncode, LengthOfTheEncodingForEveryTailSize)
{
    // 2 characters per byte in base16; 8 per started group of 5 in base32;
    // 4 per started group of 3 in base64; without padding, the characters
    // of the last group only.
    for (std::size_t size = 0; size <= 64; ++size) {
        std::string data = rfctest::randomBytes(size, static_cast<unsigned>(size));
        SCOPED_TRACE(size);
        EXPECT_EQ(encode(data, B16).size(), 2 * size);
        EXPECT_EQ(encode(data, B32).size(), (size + 4) / 5 * 8);
        EXPECT_EQ(encode(data, B64).size(), (size + 2) / 3 * 4);
        EXPECT_EQ(encode(data, B32, options(OMIT).get()).size(), (size * 8 + 4) / 5);
        EXPECT_EQ(encode(data, B64, options(OMIT).get()).size(), (size * 4 + 2) / 3);
    }
}

using BaseEncodeDeathTest = testing::Test;

TEST_F(BaseEncodeDeathTest, ContractViolations)
{
    EXPECT_DEATH(
        {
            pb::Ref<PB_BUFFER> source(pbBufferCreate());
            pb::Ref<PB_BUFFER> text(rfcBaseEncode(source.get(), 5));
        },
        "source/rfc/base/rfc_base_encode:[0-9]+: contract violation: RFC_BASE_ENCODING_OK\\( encoding \\)");
    EXPECT_DEATH(
        {
            pb::Ref<PB_BUFFER> source(pbBufferCreate());
            pb::Ref<PB_BUFFER> text(rfcBaseEncodeWithOptions(source.get(), B64, nullptr));
        },
        "rfc_base_encode:[0-9]+: contract violation: opt");
    EXPECT_DEATH(pb::Ref<PB_BUFFER>(rfcBaseEncode(nullptr, B64)), "contract violation: source");
}

} // namespace
