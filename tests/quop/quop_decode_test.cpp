// The decoder, one row per rule: copying, escapes, soft and hard line breaks,
// trailing white space, each leniency flag with and without it, the maximum
// input line length and the trailing line break. A row without a result
// expects the input to be refused (null).
#include "quop_test_util.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

using namespace quoptest;
using namespace std::string_literals;

namespace {

struct DecodeRow {
    const char *rule;
    std::string input;
    std::optional<std::string> expected; // nullopt: refused
    Settings settings = decodeDefaults;
};

constexpr PB_INT smallHex = RFC_QUOP_FLAG_DECODE_ACCEPT_SMALL_HEX_DIGITS;
constexpr PB_INT invalid = RFC_QUOP_FLAG_DECODE_ACCEPT_INVALID_ENCODING;
constexpr PB_INT control = RFC_QUOP_FLAG_DECODE_IGNORE_CONTROL;
constexpr PB_INT nonAscii = RFC_QUOP_FLAG_DECODE_IGNORE_NON_ASCII;
constexpr PB_INT trailing = RFC_QUOP_FLAG_DECODE_ENSURE_TRAILING_NLF;
const std::nullopt_t refused = std::nullopt;

Settings with(PB_INT flags, PB_INT maxLine = noLimit)
{
    return { CRLF, CRLF, maxLine, flags };
}

const DecodeRow decodeRows[] = {
    // Copying and escapes.
    { "empty input", "", "" },
    { "printable ASCII is copied", "!\"#<>?@[\\]^_`{|}~09AZaz", "!\"#<>?@[\\]^_`{|}~09AZaz" },
    { "an escape", "a=3Db", "a=b" },
    { "escapes of every kind of byte", "=00=7F=80=FF=20=09", "\0\x7F\x80\xFF \t"s },
    { "lower-case digits are refused", "a=3db", refused },
    { "lower-case digits with their flag", "a=3db", "a=b", with(smallHex) },
    { "lower-case digits with their flag, both", "=ff", "\xFF", with(smallHex) },
    { "an = with one digit is refused", "a=3", refused },
    { "an = at the end is refused", "a=", refused },
    { "a non-digit after = is refused", "a=G1b", refused },
    { "an = at the end with the invalid flag", "a=", "a=", with(invalid) },
    { "an invalid escape stands for itself", "a=G1b", "a=G1b", with(invalid) },
    { "after an invalid = the rest is decoded anew", "==41", "=A", with(invalid) },
    { "the invalid flag does not accept lower case", "=3d", "=3d", with(invalid) },
    // Soft line breaks.
    { "a soft break at the end", "ab=\r\n", "ab" },
    { "white space before a soft break is data", "ab =\r\n", "ab " },
    { "a soft break joins lines", "ab  =\r\ncd", "ab  cd" },
    { "= SP CR LF is no soft break", "= \r\n", refused },
    { "= SP CR LF with the invalid flag", "= \r\n", "=\r\n", with(invalid) },
    { "= LF is no soft break under CR LF", "a=\nb", refused },
    { "= LF is a soft break under LF", "a=\nb", "ab", { LF, CRLF, noLimit, 0 } },
    // Hard line breaks and trailing white space.
    { "trailing white space is removed at a break and at the end", "a  \r\nb \t", "a\r\nb" },
    { "white space from an escape stays", "a=20 \r\n", "a \r\n" },
    { "white space before an escape stays", "a =41 \r\n", "a A\r\n" },
    { "a line of white space only", "  \r\n", "\r\n" },
    { "without an input set white space stays", "a  ", "a  ", { 0, CRLF, noLimit, 0 } },
    { "with the input set white space goes at the end", "a  ", "a" },
    { "every kind becomes LF under 0x13", "1\n2\r3\v4\f5", "1\n2\n3\n4\n5", { 0x13, LF, noLimit, 0 } },
    { "FF is a break under FF", "a\fb", "a\r\nb", { FF, CRLF, noLimit, 0 } },
    { "VT is a control byte under FF", "a\vb", refused, { FF, CRLF, noLimit, 0 } },
    { "CR CR LF under 0x06", "a\r\r\nb", "a\r\n\r\nb", { 0x06, CRLF, noLimit, 0 } },
    { "a final CR is a break under 0x06", "a\r", "a\r\n", { 0x06, CRLF, noLimit, 0 } },
    { "a final CR is a control byte under CR LF", "a\r", refused },
    { "a lone LF is a control byte under CR LF", "a\nb", refused },
    { "output FF with the trailing flag", "a\r\nb", "a\fb\f", { CRLF, FF, noLimit, trailing } },
    // No translation.
    { "without output newline CR LF is refused", "a\r\nb", refused, { CRLF, 0, noLimit, 0 } },
    { "without output newline CR LF is dropped under the control flag", "a\r\nb", "ab", { CRLF, 0, noLimit, control } },
    { "without output newline soft breaks remain", "a=\r\nb", "ab", { CRLF, 0, noLimit, 0 } },
    { "without input set soft breaks are not seen", "a=\r\nb", refused, { 0, CRLF, noLimit, 0 } },
    { "without translation the trailing flag adds nothing", "a ", "a ", { 0, CRLF, noLimit, trailing } },
    // Control and non-ASCII bytes.
    { "a control byte is refused", "a\x01" "b", refused },
    { "a control byte with its flag", "a\x01" "b", "ab", with(control) },
    { "a NUL with the control flag", "a\0b"s, "ab", with(control) },
    { "a byte above 126 is refused", "a\xFF" "b", refused },
    { "a byte above 126 with its flag", "a\xFF" "b", "ab", with(nonAscii) },
    { "DEL is refused", "a\x7F" "b", refused },
    { "DEL with the non-ASCII flag", "a\x7F" "b", "ab", with(nonAscii) },
    { "DEL is not a control byte", "a\x7F" "b", refused, with(control) },
    { "the control flag does not reach bytes above 126", "a\xFF" "b", refused, with(control) },
    { "the non-ASCII flag does not reach control bytes", "a\x01" "b", refused, with(nonAscii) },
    { "white space around a skipped control byte is all trailing", "a \x01\t\r\nb", "a\r\nb", with(control) },
    { "white space around a skipped byte above 126 is all trailing", "a \xFF ", "a", with(nonAscii) },
    { "the encoder flag does not reach the decoder", "a", "a", with(RFC_QUOP_FLAG_ENCODE_ENSURE_TRAILING_NLF) },
    // The trailing line break.
    { "trailing flag on empty input", "", "\r\n", with(trailing) },
    { "trailing flag adds a break", "abc", "abc\r\n", with(trailing) },
    { "trailing flag after a hard break adds none", "ab\r\n", "ab\r\n", with(trailing) },
    { "trailing flag removes white space first", "ab  ", "ab\r\n", with(trailing) },
    { "trailing flag after a soft break adds one", "ab =\r\n", "ab \r\n", with(trailing) },
    // The maximum input line length.
    { "4 bytes fit in 4", "abcd", "abcd", with(0, 4) },
    { "5 bytes do not fit in 4", "abcde", refused, with(0, 4) },
    { "3 bytes and a soft break fit in 4", "abc=\r\nd", "abcd", with(0, 4) },
    { "4 bytes and a soft break do not fit in 4", "abcd=\r\nd", refused, with(0, 4) },
    { "an escape counts 3", "a=41=\r\nd", refused, with(0, 4) },
    { "an escape and a soft break fit in 4", "=41=\r\n=42=\r\n", "AB", with(0, 4) },
    { "skipped bytes do not count", "ab\x01" "cd", "abcd", with(control, 4) },
    { "white space removed at the end still counts", "abcd \r\n", refused, with(0, 4) },
    { "a hard break starts a new line", "abcd\r\nefgh", "abcd\r\nefgh", with(0, 4) },
    { "an accepted invalid = counts 1", "a=bc", "a=bc", with(invalid, 4) },
    { "an accepted invalid = counts 1, too long", "a=bcd", refused, with(invalid, 4) },
    { "a dropped break does not end the line", "abc\r\nde", refused, { CRLF, 0, 4, control } },
    { "a dropped break within the limit", "ab\r\nde", "abde", { CRLF, 0, 4, control } },
};

TEST(QuopDecode, Rows)
{
    for (const DecodeRow &row : decodeRows)
        EXPECT_EQ(decode(row.input, row.settings), row.expected) << row.rule;
}

TEST(QuopDecode, PlainFlagsAndStringForms)
{
    pb::Ref<PB_BUFFER> source = rfctest::buffer("a=3db \r\n");
    pb::Ref<PB_BUFFER> plain(rfcQuopTryDecode(source.get()));
    EXPECT_FALSE(plain);
    pb::Ref<PB_BUFFER> withFlags(rfcQuopTryDecodeWithFlags(source.get(), smallHex));
    ASSERT_TRUE(withFlags);
    EXPECT_EQ(rfctest::bytes(withFlags.get()), "a=b\r\n");

    pb::Ref<PB_STRING> text = rfctest::string("a=3Db=\r\n=FF");
    pb::Ref<PB_BUFFER> fromString(rfcQuopTryDecodeString(text.get()));
    ASSERT_TRUE(fromString);
    EXPECT_EQ(rfctest::bytes(fromString.get()), "a=b\xFF");
    pb::Ref<PB_STRING> small = rfctest::string("=ff");
    pb::Ref<PB_BUFFER> refusedString(rfcQuopTryDecodeString(small.get()));
    EXPECT_FALSE(refusedString);
    pb::Ref<PB_BUFFER> fromStringFlags(rfcQuopTryDecodeStringWithFlags(small.get(), smallHex));
    ASSERT_TRUE(fromStringFlags);
    EXPECT_EQ(rfctest::bytes(fromStringFlags.get()), "\xFF");
    pb::Ref<RFC_QUOP_OPTIONS> opt = decodeOptions({ CRLF, LF, noLimit, 0 });
    pb::Ref<PB_STRING> lines = rfctest::string("a\r\nb");
    pb::Ref<PB_BUFFER> withOptions(rfcQuopTryDecodeStringWithOptions(lines.get(), opt.get()));
    ASSERT_TRUE(withOptions);
    EXPECT_EQ(rfctest::bytes(withOptions.get()), "a\nb");
    // A code point above 127 arrives as a byte above 127 and is refused.
    pb::Ref<PB_STRING> accented = rfctest::string("caf\xC3\xA9");
    pb::Ref<PB_BUFFER> nonAsciiString(rfcQuopTryDecodeString(accented.get()));
    EXPECT_FALSE(nonAsciiString);
}

// A refused input leaves its arguments as they were and keeps nothing alive
// (the test main checks the live object count after each test).
TEST(QuopDecode, RefusalKeepsNothing)
{
    pb::Ref<PB_BUFFER> source = rfctest::buffer(rep(5000) + "\x01");
    pb::Ref<RFC_QUOP_OPTIONS> opt(rfcQuopOptionsCreate());
    PB_INT before = pbObjLiveCount();
    EXPECT_EQ(rfcQuopTryDecodeWithOptions(source.get(), opt.get()), nullptr);
    EXPECT_EQ(pbObjLiveCount(), before);
    EXPECT_EQ(pbObjRefCount(pb::obj(opt.get())), 1);
    EXPECT_EQ(pbBufferLength(source.get()), 5001);
}

TEST(QuopDecodeDeathTest, NullArguments)
{
    pb::Ref<RFC_QUOP_OPTIONS> opt(rfcQuopOptionsCreate());
    EXPECT_DEATH(rfcQuopTryDecodeWithOptions(nullptr, opt.get()),
        "source/rfc/quop/rfc_quop_decode:[0-9]+: contract violation: source");
    pb::Ref<PB_BUFFER> source = rfctest::buffer("a");
    EXPECT_DEATH(rfcQuopTryDecodeWithOptions(source.get(), nullptr),
        "source/rfc/quop/rfc_quop_decode:[0-9]+: contract violation: opt");
}

} // namespace
