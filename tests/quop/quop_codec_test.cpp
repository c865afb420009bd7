// The encoder and the decoder: one table per direction with one row per rule
// (escapes, white space, soft and hard line breaks, newline kinds, the line
// lengths, each decoder flag with and without it, the trailing line break),
// the vectors of independent sources, the plain and string forms and the
// contracts.
#include "quop_test_util.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

using namespace quoptest;
using namespace std::string_literals;

namespace {

constexpr PB_INT encTrailing = RFC_QUOP_FLAG_ENCODE_ENSURE_TRAILING_NLF;
constexpr PB_INT smallHex = RFC_QUOP_FLAG_DECODE_ACCEPT_SMALL_HEX_DIGITS;
constexpr PB_INT invalid = RFC_QUOP_FLAG_DECODE_ACCEPT_INVALID_ENCODING;
constexpr PB_INT control = RFC_QUOP_FLAG_DECODE_IGNORE_CONTROL;
constexpr PB_INT nonAscii = RFC_QUOP_FLAG_DECODE_IGNORE_NON_ASCII;
constexpr PB_INT trailing = RFC_QUOP_FLAG_DECODE_ENSURE_TRAILING_NLF;
const std::nullopt_t refused = std::nullopt;

// One call of either direction; a row without a result expects the decoder
// to refuse the input (null).
struct CodecRow {
    const char *rule;
    std::string input;
    std::optional<std::string> expected;
    Settings settings {};
};

const CodecRow encodeRows[] = {
    // Escapes.
    { "empty input gives empty output", "", "" },
    { "printable ASCII and inner white space stay", "!\"#<>?@[\\]^_` \t{|}~09AZaz", "!\"#<>?@[\\]^_` \t{|}~09AZaz" },
    { "=, NUL, DEL and bytes above 127 are escaped in upper case", "a=\0\x7F\x80\xAB\xFF"s, "a=3D=00=7F=80=AB=FF" },
    { "only the last white space at the end is escaped", "b \t", "b =09" },
    // White space in front of a line break.
    { "SP before CR LF is escaped", "a \r\nb", "a=20\r\nb" },
    { "only the last white space before CR LF is escaped", "a \t\r\n", "a =09\r\n" },
    { "SP before a CR that is no break under CR LF stays", "a \rb", "a =0Db" },
    { "SP before a break stays escaped without translation", "a \r\n", "a=20=0D=0A", { CRLF, 0, 76, 0 } },
    { "SP before a CR LF is plain when the input set is empty", "a \r\n", "a =0D=0A", { 0, CRLF, 76, 0 } },
    // Soft line breaks at the boundaries (line length 76).
    { "75 bytes fit on a line", rep(75), rep(75) },
    { "76 bytes are cut after 75", rep(76), rep(75) + "=\r\nx" },
    { "72 x and an escape fit in 75 bytes", rep(72) + "\xFF", rep(72) + "=FF" },
    { "73 x and an escape need a soft break", rep(73) + "\xFF", rep(73) + "=\r\n=FF" },
    { "an escaped = obeys the same bound", rep(73) + "=", rep(73) + "=\r\n=3D" },
    { "75 x and CR LF stay", rep(75) + "\r\n", rep(75) + "\r\n" },
    { "76 x and CR LF", rep(76) + "\r\n", rep(75) + "=\r\nx\r\n" },
    { "74 x and a final SP", rep(74) + " ", rep(74) + "=\r\n=20" },
    { "a hard break resets the line", rep(75) + "\r\n" + rep(75), rep(75) + "\r\n" + rep(75) },
    { "white space before a soft break stays plain", rep(75, ' ') + "a", rep(75, ' ') + "=\r\na" },
    // Newline kinds.
    { "lone LF, CR, FF and a final CR are escaped under CR LF", "a\nb\rc\fd\r", "a=0Ab=0Dc=0Cd=0D" },
    { "every kind becomes CR LF under 0x17", "1\n2\r3\r\n4\v5\f6", "1\r\n2\r\n3\r\n4\r\n5\r\n6",
        { 0x17, CRLF, 76, 0 } },
    { "FF is a break under VT and written as LF", "a\fb", "a\nb", { VT, LF, 76, 0 } },
    { "VT is no break under FF", "a\vb", "a=0Bb", { FF, CRLF, 76, 0 } },
    { "the bits 0x08, 0x40 and 0x80 recognise nothing", "a\n\r\v\fb", "a=0A=0D=0B=0Cb", { 0xC8, CRLF, 76, 0 } },
    { "CR LF under CR is a break and an LF", "a\r\nb", "a\r\n=0Ab", { CR, CRLF, 76, 0 } },
    { "CR CR LF and a final CR under 0x06", "a\r\r\nb\r", "a\r\n\r\nb\r\n", { 0x06, CRLF, 76, 0 } },
    { "output FF", "a\r\nb", "a\fb", { CRLF, FF, 76, 0 } },
    { "output VT with the trailing flag", "a\r\nb", "a\vb\v", { CRLF, VT, 76, encTrailing } },
    { "output CR", "a\r\nb", "a\rb", { CRLF, CR, 76, 0 } },
    // No output line break: no translation and no cut.
    { "without output newline CR LF is escaped", "a\r\nb", "a=0D=0Ab", { CRLF, 0, 76, 0 } },
    { "without output newline lines are not cut", rep(100), rep(100), { CRLF, 0, 76, 0 } },
    { "without output newline the trailing flag adds nothing", "a", "a", { CRLF, 0, 76, encTrailing } },
    { "without input set CR LF is escaped and lines are cut", "a\r\nb" + rep(80),
        "a=0D=0Ab" + rep(67) + "=\r\n" + rep(13), { 0, CRLF, 76, 0 } },
    // Line lengths.
    { "line length 1 cuts before every byte", "ab=", "=\r\na=\r\nb=\r\n=3D", { CRLF, CRLF, 1, 0 } },
    { "line length 4", rep(7) + "\xFF\xFF", "xxx=\r\nxxx=\r\nx=\r\n=FF=\r\n=FF", { CRLF, CRLF, 4, 0 } },
    { "line length 3 puts a soft break before every escape", "\xFF\xFF", "=\r\n=FF=\r\n=FF", { CRLF, CRLF, 3, 0 } },
    { "no line length", rep(200), rep(200), { CRLF, CRLF, noLimit, 0 } },
    { "soft breaks use the output newline", rep(6), "xxx=\nxxx", { CRLF, LF, 4, 0 } },
    // The trailing line break.
    { "trailing flag on empty input", "", "\r\n", { CRLF, CRLF, 76, encTrailing } },
    { "trailing flag after a break adds none", "ab\r\n", "ab\r\n", { CRLF, CRLF, 76, encTrailing } },
    { "trailing flag after a final SP", "a ", "a=20\r\n", { CRLF, CRLF, 76, encTrailing } },
    { "decoder flags do not reach the encoder", "a", "a", { CRLF, CRLF, 76, 0x3E } },
};

Settings with(PB_INT flags, PB_INT maxLine = noLimit)
{
    return { CRLF, CRLF, maxLine, flags };
}

const CodecRow decodeRows[] = {
    // Copying and escapes.
    { "empty input", "", "", decodeDefaults },
    { "printable ASCII is copied, escapes of every kind of byte", "!\"#<>?@[\\]^_`{|}~09AZaz=3D=00=7F=80=FF=20=09",
        "!\"#<>?@[\\]^_`{|}~09AZaz=\0\x7F\x80\xFF \t"s, decodeDefaults },
    { "lower-case digits are refused", "a=3db", refused, decodeDefaults },
    { "lower-case digits with their flag", "a=3d=ff", "a=\xFF", with(smallHex) },
    { "an = with one digit is refused", "a=3", refused, decodeDefaults },
    { "a non-digit after = is refused", "a=G1b", refused, decodeDefaults },
    { "an invalid escape and an = at the end stand for themselves", "a=G1b=", "a=G1b=", with(invalid) },
    { "after an invalid = the rest is decoded anew", "==41", "=A", with(invalid) },
    { "the invalid flag does not accept lower case", "=3d", "=3d", with(invalid) },
    // Soft line breaks.
    { "white space before a soft break at the end is data", "ab =\r\n", "ab ", decodeDefaults },
    { "a soft break joins lines", "ab  =\r\ncd", "ab  cd", decodeDefaults },
    { "= SP CR LF is no soft break", "= \r\n", refused, decodeDefaults },
    { "= SP CR LF with the invalid flag", "= \r\n", "=\r\n", with(invalid) },
    { "= LF is a soft break under LF", "a=\nb", "ab", { LF, CRLF, noLimit, 0 } },
    // Hard line breaks and trailing white space.
    { "trailing white space is removed at a break and at the end", "a  \r\nb \t", "a\r\nb", decodeDefaults },
    { "white space before and from an escape stays", "a =41=20 \r\n", "a A \r\n", decodeDefaults },
    { "without an input set white space stays", "a  ", "a  ", { 0, CRLF, noLimit, 0 } },
    { "every kind becomes LF under 0x13", "1\n2\r3\v4\f5", "1\n2\n3\n4\n5", { 0x13, LF, noLimit, 0 } },
    { "CR CR LF and a final CR under 0x06", "a\r\r\nb\r", "a\r\n\r\nb\r\n", { 0x06, CRLF, noLimit, 0 } },
    { "a final CR is a control byte under CR LF", "a\r", refused, decodeDefaults },
    { "output FF with the trailing flag", "a\r\nb", "a\fb\f", { CRLF, FF, noLimit, trailing } },
    // No translation.
    { "without output newline CR LF is refused", "a\r\nb", refused, { CRLF, 0, noLimit, 0 } },
    { "without output newline CR LF is dropped under the control flag", "a\r\nb", "ab", { CRLF, 0, noLimit, control } },
    { "without output newline soft breaks remain", "a=\r\nb", "ab", { CRLF, 0, noLimit, 0 } },
    { "without input set soft breaks are not seen", "a=\r\nb", refused, { 0, CRLF, noLimit, 0 } },
    { "without translation the trailing flag adds nothing", "a ", "a ", { 0, CRLF, noLimit, trailing } },
    // Control and non-ASCII bytes, each flag with and without it.
    { "control bytes and NUL with their flag", "a\x01\0b"s, "ab", with(control) },
    { "the non-ASCII flag does not reach control bytes", "a\x01" "b", refused, with(nonAscii) },
    { "bytes above 126 with their flag", "a\x7F\xFF" "b", "ab", with(nonAscii) },
    { "the control flag does not reach bytes above 126", "a\xFF" "b", refused, with(control) },
    { "DEL is not a control byte", "a\x7F" "b", refused, with(control) },
    { "white space around a skipped control byte is all trailing", "a \x01\t\r\nb", "a\r\nb", with(control) },
    { "the encoder flag does not reach the decoder", "a", "a", with(encTrailing) },
    // The trailing line break.
    { "trailing flag on empty input", "", "\r\n", with(trailing) },
    { "trailing flag after a hard break adds none", "ab\r\n", "ab\r\n", with(trailing) },
    { "trailing flag removes white space first", "ab  ", "ab\r\n", with(trailing) },
    { "trailing flag after a soft break adds one", "ab =\r\n", "ab \r\n", with(trailing) },
    // The maximum input line length.
    { "5 bytes do not fit in 4", "abcde", refused, with(0, 4) },
    { "4 bytes and a soft break do not fit in 4", "abcd=\r\nd", refused, with(0, 4) },
    { "an escape counts 3", "a=41=\r\nd", refused, with(0, 4) },
    { "an escape and a soft break fit in 4", "=41=\r\n=42=\r\n", "AB", with(0, 4) },
    { "skipped bytes do not count", "ab\x01" "cd", "abcd", with(control, 4) },
    { "white space removed at the end still counts", "abcd \r\n", refused, with(0, 4) },
    { "a hard break starts a new line", "abcd\r\nefgh", "abcd\r\nefgh", with(0, 4) },
    { "an accepted invalid = counts 1", "a=bc", "a=bc", with(invalid, 4) },
    { "an accepted invalid = counts 1, too long", "a=bcd", refused, with(invalid, 4) },
    { "a dropped break does not end the line", "abc\r\nde", refused, { CRLF, 0, 4, control } },
};

TEST(QuopCodec, Rows)
{
    for (const CodecRow &row : encodeRows)
        EXPECT_EQ(encode(row.input, row.settings), row.expected) << row.rule;
    for (const CodecRow &row : decodeRows)
        EXPECT_EQ(decode(row.input, row.settings), row.expected) << row.rule;
}

// Python's binascii (generated by tools/gen_quop_vectors.py), default options.
TEST(QuopCodec, PythonBinasciiVectors)
{
    auto rows = rfctest::readTsv("quop/python_binascii.tsv");
    ASSERT_EQ(rows.size(), 400u);
    for (const auto &row : rows) {
        ASSERT_EQ(row.size(), 3u);
        const std::string given = rfctest::unhex(row[1]);
        const std::string expected = rfctest::unhex(row[2]);
        if (row[0] == "encode")
            EXPECT_EQ(encode(given), expected) << row[1];
        else
            EXPECT_EQ(decode(given), expected) << row[1];
    }
}

// Rows of two peers' test suites, each checked against our rules (the data
// file says how); LF line breaks on both sides.
TEST(QuopCodec, PeerVectors)
{
    auto rows = rfctest::readTsv("quop/peer_vectors.tsv");
    ASSERT_EQ(rows.size(), 56u);
    for (const auto &row : rows) {
        ASSERT_EQ(row.size(), 5u);
        const std::string plain = rfctest::unhex(row[2]);
        const std::string encoded = rfctest::unhex(row[3]);
        EXPECT_EQ(decode(encoded, { LF, LF, noLimit, 0 }), plain) << row[0];
        if (row[1] == "roundtrip")
            EXPECT_EQ(encode(plain, { LF, LF, 76, 0 }), encoded) << row[0];
        else
            EXPECT_EQ(decode(encode(plain, { LF, LF, 76, 0 }), { LF, LF, noLimit, 0 }), plain) << row[0];
    }
}

// The plain forms use default options, the flag forms default options with
// those flags; the string forms have one code point per byte, and a code
// point above 127 arrives as a byte above 127.
TEST(QuopCodec, PlainFlagAndStringForms)
{
    pb::Ref<PB_BUFFER> plain = rfctest::buffer("a \r\n\xFF=");
    pb::Ref<PB_STRING> text(rfcQuopEncodeToString(plain.get()));
    EXPECT_EQ(take(rfcQuopEncode(plain.get())), "a=20\r\n=FF=3D");
    EXPECT_EQ(rfctest::utf8(text.get()), "a=20\r\n=FF=3D");
    pb::Ref<PB_STRING> withOptions(
        rfcQuopEncodeToStringWithOptions(plain.get(), options({ CRLF, LF, 76, encTrailing }, false).get()));
    EXPECT_EQ(rfctest::utf8(withOptions.get()), "a=20\n=FF=3D\n");

    pb::Ref<PB_BUFFER> small = rfctest::buffer("a=3db \r\n");
    EXPECT_EQ(take(rfcQuopTryDecode(small.get())), refused);
    EXPECT_EQ(take(rfcQuopTryDecodeWithFlags(small.get(), smallHex)), "a=b\r\n");
    pb::Ref<PB_STRING> smallText = rfctest::string("a=3db=\r\n=FF");
    EXPECT_EQ(take(rfcQuopTryDecodeString(smallText.get())), refused);
    EXPECT_EQ(take(rfcQuopTryDecodeStringWithFlags(smallText.get(), smallHex)), "a=b\xFF");
    pb::Ref<PB_STRING> lines = rfctest::string("a\r\nb");
    EXPECT_EQ(take(rfcQuopTryDecodeStringWithOptions(lines.get(), options({ CRLF, LF, noLimit, 0 }, true).get())),
        "a\nb");
    pb::Ref<PB_STRING> accented = rfctest::string("caf\xC3\xA9");
    EXPECT_EQ(take(rfcQuopTryDecodeString(accented.get())), refused);
    EXPECT_EQ(rfctest::bytes(small.get()), "a=3db \r\n"); // the source stays as it was
}

TEST(QuopCodecDeathTest, NullArguments)
{
    pb::Ref<RFC_QUOP_OPTIONS> opt(rfcQuopOptionsCreate());
    pb::Ref<PB_BUFFER> source = rfctest::buffer("a");
    EXPECT_DEATH(rfcQuopEncodeWithOptions(nullptr, opt.get()), "rfc_quop_encode:[0-9]+: contract violation: source");
    EXPECT_DEATH(rfcQuopEncodeWithOptions(source.get(), nullptr), "rfc_quop_encode:[0-9]+: contract violation: opt");
    EXPECT_DEATH(rfcQuopTryDecodeWithOptions(nullptr, opt.get()), "rfc_quop_decode:[0-9]+: contract violation: source");
    EXPECT_DEATH(rfcQuopTryDecodeWithOptions(source.get(), nullptr), "rfc_quop_decode:[0-9]+: contract violation: opt");
}

} // namespace
