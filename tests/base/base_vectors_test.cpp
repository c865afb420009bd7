// Published and independently generated vectors: RFC 4648 section 10, and
// Python's base64/binascii on random inputs (tools/gen_base_vectors.py).
#include "base_test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

namespace {

using basetest::decode;
using basetest::encode;
using basetest::encodingNamed;
using basetest::options;

std::string lowerCase(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

TEST(BaseVectors, Rfc4648Section10)
{
    auto rows = rfctest::readTsv("base/rfc4648_section10.tsv");
    ASSERT_EQ(rows.size(), 28u);
    for (const auto &row : rows) {
        ASSERT_EQ(row.size(), 3u);
        const std::string &input = row[1];
        const std::string &encoded = row[2];
        // base64url gives the same text for these inputs: none of them
        // reaches the values 62 and 63.
        std::vector<PB_INT> encodings { encodingNamed(row[0]) };
        if (row[0] == "base64")
            encodings.push_back(RFC_BASE_ENCODING_BASE64URL);
        for (PB_INT encoding : encodings) {
            SCOPED_TRACE(testing::Message() << encoding << " \"" << input << "\"");
            ASSERT_TRUE(RFC_BASE_ENCODING_OK(encoding));
            EXPECT_EQ(encode(input, encoding), encoded);
            EXPECT_EQ(decode(encoded, encoding), input);
        }
        if (row[0] == "base16") {
            EXPECT_EQ(decode(lowerCase(encoded), RFC_BASE_ENCODING_BASE16), input) << "lower-case base16";
        }
    }
}

TEST(BaseVectors, PythonEncodings)
{
    auto rows = rfctest::readTsv("base/python_vectors.tsv");
    int compared = 0;
    for (const auto &row : rows) {
        ASSERT_EQ(row.size(), 5u);
        if (row[0] != "encode")
            continue;
        PB_INT encoding = encodingNamed(row[1]);
        ASSERT_TRUE(RFC_BASE_ENCODING_OK(encoding)) << row[1];
        std::string input = rfctest::unhex(row[3]);
        std::string expected = rfctest::unhex(row[4]);
        SCOPED_TRACE(testing::Message() << row[1] << " " << row[2] << " " << row[3]);
        if (row[2] == "padded") {
            EXPECT_EQ(encode(input, encoding), expected);
            EXPECT_EQ(decode(expected, encoding), input);
        } else if (row[2] == "unpadded") {
            EXPECT_EQ(encode(input, encoding, options(RFC_BASE_FLAG_ENCODE_OMIT_PADDING).get()), expected);
            EXPECT_EQ(decode(expected, encoding, RFC_BASE_FLAG_DECODE_ACCEPT_INVALID_PADDING), input);
        } else {
            // base64.encodebytes: 76-character lines, LF, final LF.
            ASSERT_EQ(row[2], "mime");
            pb::Ref<RFC_BASE_OPTIONS> mime =
                options(RFC_BASE_FLAG_ENCODE_ENSURE_TRAILING_NLF, PB_NLF_FLAG_LF, 76);
            EXPECT_EQ(encode(input, encoding, mime.get()), expected);
            EXPECT_EQ(decode(expected, encoding, RFC_BASE_FLAG_DECODE_IGNORE_NLF), input);
        }
        ++compared;
    }
    EXPECT_EQ(compared, 582);
}

TEST(BaseVectors, PythonStrictDecoders)
{
    // Python's decoders accept some texts ours refuses (surplus bits in
    // base64) and refuse some ours accepts (a group of padding alone):
    // where both give bytes, they must be the same bytes.
    auto rows = rfctest::readTsv("base/python_vectors.tsv");
    int compared = 0;
    int total = 0;
    for (const auto &row : rows) {
        ASSERT_EQ(row.size(), 5u);
        if (row[0] != "decode")
            continue;
        ++total;
        PB_INT encoding = encodingNamed(row[1]);
        std::string text = rfctest::unhex(row[3]);
        auto ours = decode(text, encoding);
        if (!ours || row[4] == "error")
            continue;
        EXPECT_EQ(rfctest::hex(*ours), row[4]) << row[1] << " " << row[3];
        ++compared;
    }
    EXPECT_EQ(total, 1200);
    EXPECT_GE(compared, 50) << "too few rows where both decoders answer";
}

} // namespace
