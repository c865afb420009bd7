// Encoding and decoding: published and Python-generated vectors, the line
// layout against an independent model, each decoder rule and its flag, and
// round trips.
#include "base_test_util.h"

#include <gtest/gtest.h>

namespace {

using namespace basetest;
using std::nullopt;
using std::optional;
using std::string;

TEST(BaseVectors, Rfc4648Section10)
{
    auto rows = rfctest::readTsv("base/rfc4648_section10.tsv");
    ASSERT_EQ(rows.size(), 28u);
    for (const auto &row : rows) {
        ASSERT_EQ(row.size(), 3u);
        SCOPED_TRACE(row[0] + " \"" + row[1] + "\"");
        PB_INT encoding = encodingNamed(row[0]);
        ASSERT_TRUE(RFC_BASE_ENCODING_OK(encoding));
        EXPECT_EQ(encode(row[1], encoding), row[2]);
        EXPECT_EQ(decode(row[2], encoding), row[1]);
    }
}

// Encodings compare exactly. Python's decoders accept some texts ours
// refuses (surplus bits in base64) and refuse some ours accepts (a group of
// padding alone): where both give bytes, they must be the same bytes.
TEST(BaseVectors, Python)
{
    int encoded = 0, decoded = 0, compared = 0;
    for (const auto &row : rfctest::readTsv("base/python_vectors.tsv")) {
        ASSERT_EQ(row.size(), 5u);
        PB_INT encoding = encodingNamed(row[1]);
        string input = rfctest::unhex(row[3]), expected = row[0] == "encode" ? rfctest::unhex(row[4]) : "";
        SCOPED_TRACE(row[0] + " " + row[1] + " " + row[2] + " " + row[3]);
        if (row[0] == "decode") {
            auto ours = decode(input, encoding);
            ++decoded;
            if (ours && row[4] != "error") {
                EXPECT_EQ(rfctest::hex(*ours), row[4]);
                ++compared;
            }
        } else if (row[2] == "padded") {
            EXPECT_EQ(encode(input, encoding), expected);
            EXPECT_EQ(decode(expected, encoding), input);
        } else if (row[2] == "unpadded") {
            EXPECT_EQ(encode(input, encoding, options(OMIT).get()), expected);
            EXPECT_EQ(decode(expected, encoding, INVALID_PADDING), input);
        } else { // base64.encodebytes: 76-character lines, LF, final LF
            ASSERT_EQ(row[2], "mime");
            EXPECT_EQ(encode(input, encoding, options(TRAIL, PB_NLF_FLAG_LF, 76).get()), expected);
            EXPECT_EQ(decode(expected, encoding, NLF), input);
        }
        encoded += row[0] == "encode";
    }
    EXPECT_EQ(encoded, 582);
    EXPECT_EQ(decoded, 1200);
    EXPECT_GE(compared, 50) << "too few rows where both decoders answer";
}

// The wrapped layout written out independently: lines of lineLength
// characters of the flat text, the newline between them, and once more at
// the end when asked.
string wrapped(const string &flat, std::size_t lineLength, const string &nlf, bool trailing)
{
    string out;
    for (std::size_t at = 0; at < flat.size(); at += lineLength)
        out += (at ? nlf : "") + flat.substr(at, lineLength);
    return trailing ? out + nlf : out;
}

// Line lengths that are and are not multiples of each group's size, over
// sizes that end on and off a group and a line boundary; the decoder,
// skipping newlines, gives the bytes back.
TEST(BaseEncode, WrappingMatchesTheLineLayoutAndDecodesBack)
{
    const std::pair<PB_INT, string> nlfs[] = { { PB_NLF_FLAG_LF, "\n" }, { PB_NLF_FLAG_CR, "\r" },
        { PB_NLF_FLAG_CRLF, "\r\n" }, { PB_NLF_FLAG_VT, "\v" }, { PB_NLF_FLAG_FF, "\f" } };
    for (PB_INT encoding = 0; encoding <= 4; ++encoding) {
        for (std::size_t size : { 0, 1, 2, 3, 4, 5, 11, 12, 13, 57, 58, 100, 241 }) {
            string data = rfctest::randomBytes(size, static_cast<unsigned>(size * 7 + 3));
            for (PB_INT flags : { PB_INT { 0 }, OMIT, TRAIL, OMIT | TRAIL }) {
                string flat = encode(data, encoding, options(flags & OMIT, 0).get());
                PB_INT padding = flags & OMIT ? INVALID_PADDING : 0;
                EXPECT_EQ(decode(flat, encoding, padding), data) << encoding << " " << size << " " << flags;
                for (PB_INT lineLength : { 1, 2, 3, 4, 5, 7, 8, 16, 64, 76 }) {
                    for (const auto &[nlf, nlfText] : nlfs) {
                        SCOPED_TRACE(testing::Message() << "encoding " << encoding << " size " << size << " flags "
                                                        << flags << " line " << lineLength << " nlf " << nlf);
                        string text = encode(data, encoding, options(flags, nlf, lineLength).get());
                        EXPECT_EQ(text, wrapped(flat, std::size_t(lineLength), nlfText, flags & TRAIL));
                        if (nlf == nlfs[lineLength % 5].first) {
                            EXPECT_EQ(decode(text, encoding, NLF | padding), data);
                        }
                    }
                }
            }
        }
    }
}

TEST(BaseEncode, SettingsOutsideTheLayout)
{
    string data = rfctest::randomBytes(300, 1);
    EXPECT_EQ(encode(data, B64, pb::Ref<RFC_BASE_OPTIONS>(rfcBaseOptionsCreate()).get()), encode(data, B64))
        << "fresh options: padded, no wrapping, no trailing newline";
    EXPECT_EQ(encode("foobar", B64, options(TRAIL, 0, 4).get()), "Zm9vYmFy") << "no newline: no wrapping, no trail";
    EXPECT_EQ(encode("fo", B64, options(ALL & ~(OMIT | TRAIL)).get()), "Zm8=") << "decoding flags are ignored";
}

struct DecodeRow {
    PB_INT encoding;
    string text;
    PB_INT flags;
    optional<string> expected;
    const char *rule;
};

// Text that one rule refuses: null by default, null with every flag but
// the rule's own, and the expected bytes with the rule's flag alone.
const DecodeRow ruleRows[] = {
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
    { B64, "Zm9v\vYm\fFy", NLF, "foobar", "VT and FF are newlines" },
    { B16, "66\x85" "6F", NLF, "fo", "base16 asks the runtime about 0x85 (NEL)" },
    { B64, "Zm9v\tYm Fy ", WS, "foobar", "tab and space" },
    { B16, "66\xa0" "6F", WS, "fo", "base16 asks the runtime about 0xA0 (no-break space)" },
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
    for (const DecodeRow &row : ruleRows) {
        SCOPED_TRACE(row.rule);
        EXPECT_EQ(decode(row.text, row.encoding, 0), nullopt) << "refused by default";
        EXPECT_EQ(decode(row.text, row.encoding, ALL & ~row.flags), nullopt) << "no other flag relaxes it";
        EXPECT_EQ(decode(row.text, row.encoding, row.flags), row.expected);
    }
}

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
    { B64, "Zm8", OMIT | TRAIL, nullopt, "encoding flags do not relax the decoder" },
    // Surplus bits.
    { B32, "MZ======", 0, "f", "base32 surplus bits are dropped unchecked" },
    { B32, "MZXW7===", 0, "foo", "base32 7 at n=5: surplus bit dropped" },
    // Alphabets.
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
    { B16, "6 6 6", ALL, nullopt, "odd with skipped bytes between" },
    { B16, "6\n6", NLF, "f", "a pair split by a skipped newline" },
    // Empty text.
    { B32, "", ALL, "", "empty base32, every flag" },
    { B64, "\r\n \n", NLF | WS, "", "nothing but skipped bytes" },
};

TEST(BaseDecode, RulesAndTheirCombinations)
{
    for (const DecodeRow &row : decodeRows) {
        SCOPED_TRACE(row.rule);
        EXPECT_EQ(decode(row.text, row.encoding, row.flags), row.expected);
    }
}

// Code points above U+00FF are non-alphabet bytes to the string forms,
// whatever their low byte (U+0141: 0x41 is "A").
TEST(BaseDecode, StringFormsBeyondLatin1)
{
    const std::tuple<PB_INT, std::u32string, PB_INT, optional<string>> rows[] = { { B64, U"Zm9v\u2028", NLF, nullopt },
        { B64, U"Zm9v\u0141", NON_ALPHABET, "foo" }, { B32, U"\U0001F600MY======", 0, nullopt } };
    for (const auto &[encoding, text, flags, expected] : rows) {
        pb::Ref<PB_BUFFER> result(rfcBaseTryDecodeStringWithFlags(rfctest::string(text).get(), encoding, flags));
        EXPECT_EQ(result ? optional<string>(rfctest::bytes(result.get())) : nullopt, expected);
    }
}

// A stray byte at every position of a text long enough for the fast loops:
// refused by default, skipped with its flag.
TEST(BaseDecode, AFaultAnywhereInLongTextIsFound)
{
    string data = rfctest::randomBytes(90, 11);
    const std::pair<string, PB_INT> strays[] = { { ".", NON_ALPHABET }, { "\r\n", NLF }, { " ", WS } };
    for (PB_INT encoding = 0; encoding <= 4; ++encoding) {
        string text = encode(data, encoding);
        for (const auto &[stray, flag] : strays) {
            for (std::size_t at = 0; at <= text.size(); ++at) {
                string broken = text.substr(0, at) + stray + text.substr(at);
                SCOPED_TRACE(testing::Message() << "encoding " << encoding << " at " << at);
                ASSERT_EQ(decode(broken, encoding, 0), nullopt);
                ASSERT_EQ(decode(broken, encoding, flag), data);
            }
        }
    }
}

} // namespace
