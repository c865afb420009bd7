// The encoder, one row per rule: escapes, white space in front of a line
// break and at the end, soft line breaks at the exact boundaries, each
// newline kind, the line length and the trailing line break.
#include "quop_test_util.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

using namespace quoptest;
using namespace std::string_literals;

namespace {

struct EncodeRow {
    const char *rule;
    std::string input;
    std::string expected;
    Settings settings {};
};

constexpr PB_INT trailing = RFC_QUOP_FLAG_ENCODE_ENSURE_TRAILING_NLF;

const EncodeRow encodeRows[] = {
    // Escapes.
    { "empty input gives empty output", "", "" },
    { "printable ASCII stays", "!\"#<>?@[\\]^_`{|}~09AZaz", "!\"#<>?@[\\]^_`{|}~09AZaz" },
    { "= is escaped", "a=b", "a=3Db" },
    { "DEL is escaped", "\x7F", "=7F" },
    { "NUL is escaped", "a\0b"s, "a=00b" },
    { "bytes above 127 use upper-case digits", "\x80\xAB\xFF", "=80=AB=FF" },
    { "a lone SP at the end is escaped", " ", "=20" },
    { "a final TAB is escaped", "b\t", "b=09" },
    { "inner white space stays", "a \tb", "a \tb" },
    // White space in front of a line break.
    { "SP before CR LF is escaped", "a \r\nb", "a=20\r\nb" },
    { "only the last SP before CR LF is escaped", "a  \r\n", "a =20\r\n" },
    { "TAB before CR LF is escaped", "a\t\r\n", "a=09\r\n" },
    { "SP before a CR that is no break under CR LF stays", "a \rb", "a =0Db" },
    { "SP before a break stays escaped without translation", "a \r\n", "a=20=0D=0A", { CRLF, 0, 76, 0 } },
    { "SP before a CR LF is plain when the input set is empty", "a \r\n", "a =0D=0A", { 0, CRLF, 76, 0 } },
    // Soft line breaks at the boundaries (line length 76).
    { "75 bytes fit on a line", rep(75), rep(75) },
    { "76 bytes are cut after 75", rep(76), rep(75) + "=\r\nx" },
    { "80 x give 75 x, soft break, 5 x", rep(80), rep(75) + "=\r\n" + rep(5) },
    { "25 escapes fill a line", rep(30, '\xFF'),
        [] { std::string s; for (int i = 0; i < 25; ++i) s += "=FF"; s += "=\r\n"; for (int i = 0; i < 5; ++i) s += "=FF"; return s; }() },
    { "72 x and an escape fit in 75 bytes", rep(72) + "\xFF", rep(72) + "=FF" },
    { "73 x and an escape need a soft break", rep(73) + "\xFF", rep(73) + "=\r\n=FF" },
    { "an escaped = obeys the same bound", rep(73) + "=", rep(73) + "=\r\n=3D" },
    { "75 x and CR LF stay", rep(75) + "\r\n", rep(75) + "\r\n" },
    { "76 x and CR LF", rep(76) + "\r\n", rep(75) + "=\r\nx\r\n" },
    { "74 x and a final SP", rep(74) + " ", rep(74) + "=\r\n=20" },
    { "a hard break resets the line", rep(75) + "\r\n" + rep(75), rep(75) + "\r\n" + rep(75) },
    { "white space before a soft break stays plain", rep(75, ' ') + "a", rep(75, ' ') + "=\r\na" },
    // Newline kinds.
    { "a lone LF is escaped under CR LF", "a\nb", "a=0Ab" },
    { "a lone CR is escaped under CR LF", "a\rb", "a=0Db" },
    { "a final CR is escaped under CR LF", "a\r", "a=0D" },
    { "every kind becomes CR LF under 0x17", "1\n2\r3\r\n4\v5\f6", "1\r\n2\r\n3\r\n4\r\n5\r\n6", { 0x17, CRLF, 76, 0 } },
    { "FF is a break under VT and written as LF", "a\fb", "a\nb", { VT, LF, 76, 0 } },
    { "FF is escaped under CR LF", "a\fb", "a=0Cb" },
    { "FF is a break under FF", "a\fb", "a\r\nb", { FF, CRLF, 76, 0 } },
    { "VT is no break under FF", "a\vb", "a=0Bb", { FF, CRLF, 76, 0 } },
    { "0x08, 0x40 and 0x80 recognise nothing", "a\n\r\v\fb", "a=0A=0D=0B=0Cb", { 0xC8, CRLF, 76, 0 } },
    { "a final CR is a break under 0x06", "a\r", "a\r\n", { 0x06, CRLF, 76, 0 } },
    { "CR LF is one break under 0x06", "a\r\nb", "a\r\nb", { 0x06, CRLF, 76, 0 } },
    { "CR CR LF under 0x06 is two breaks", "a\r\r\nb", "a\r\n\r\nb", { 0x06, CRLF, 76, 0 } },
    { "LF CR under 0x03 is two breaks", "a\n\rb", "a\r\n\r\nb", { 0x03, CRLF, 76, 0 } },
    { "output FF", "a\r\nb", "a\fb", { CRLF, FF, 76, 0 } },
    { "output VT with the trailing flag", "a\r\nb", "a\vb\v", { CRLF, VT, 76, trailing } },
    { "output CR", "a\r\nb", "a\rb", { CRLF, CR, 76, 0 } },
    // No output line break: no translation and no cut.
    { "without output newline CR LF is escaped", "a\r\nb", "a=0D=0Ab", { CRLF, 0, 76, 0 } },
    { "without output newline lines are not cut", rep(100), rep(100), { CRLF, 0, 76, 0 } },
    { "without output newline the trailing flag adds nothing", "a", "a", { CRLF, 0, 76, trailing } },
    { "without input set CR LF is escaped and lines are cut", "a\r\nb" + rep(80),
        "a=0D=0Ab" + rep(67) + "=\r\n" + rep(13), { 0, CRLF, 76, 0 } },
    // Line lengths.
    { "line length 1 cuts before every byte", "ab", "=\r\na=\r\nb", { CRLF, CRLF, 1, 0 } },
    { "line length 1 with an escape", "=", "=\r\n=3D", { CRLF, CRLF, 1, 0 } },
    { "line length 4", rep(10), "xxx=\r\nxxx=\r\nxxx=\r\nx", { CRLF, CRLF, 4, 0 } },
    { "line length 4 with escapes", "\xFF\xFF", "=FF=\r\n=FF", { CRLF, CRLF, 4, 0 } },
    { "line length 3 puts a soft break before every escape", "\xFF\xFF", "=\r\n=FF=\r\n=FF", { CRLF, CRLF, 3, 0 } },
    { "no line length", rep(200), rep(200), { CRLF, CRLF, noLimit, 0 } },
    { "soft breaks use the output newline", rep(6), "xxx=\nxxx", { CRLF, LF, 4, 0 } },
    // The trailing line break.
    { "trailing flag on empty input", "", "\r\n", { CRLF, CRLF, 76, trailing } },
    { "trailing flag adds a break", "abc", "abc\r\n", { CRLF, CRLF, 76, trailing } },
    { "trailing flag after a break adds none", "ab\r\n", "ab\r\n", { CRLF, CRLF, 76, trailing } },
    { "trailing flag after a final SP", "a ", "a=20\r\n", { CRLF, CRLF, 76, trailing } },
    { "decoder flags do not reach the encoder", "a", "a", { CRLF, CRLF, 76, 0x3E } },
};

TEST(QuopEncode, Rows)
{
    for (const EncodeRow &row : encodeRows)
        EXPECT_EQ(encode(row.input, row.settings), row.expected) << row.rule;
}

// The plain forms use default options; the string form has one code point
// per byte.
TEST(QuopEncode, PlainAndStringForms)
{
    pb::Ref<PB_BUFFER> source = rfctest::buffer("a \r\n\xFF=");
    pb::Ref<PB_BUFFER> encoded(rfcQuopEncode(source.get()));
    EXPECT_EQ(rfctest::bytes(encoded.get()), "a=20\r\n=FF=3D");
    pb::Ref<PB_STRING> text(rfcQuopEncodeToString(source.get()));
    EXPECT_EQ(rfctest::utf8(text.get()), "a=20\r\n=FF=3D");
    pb::Ref<RFC_QUOP_OPTIONS> opt = encodeOptions({ CRLF, LF, 76, trailing });
    pb::Ref<PB_STRING> withOptions(rfcQuopEncodeToStringWithOptions(source.get(), opt.get()));
    EXPECT_EQ(rfctest::utf8(withOptions.get()), "a=20\n=FF=3D\n");
}

// The input buffer and the options are not changed, and the options are not
// retained beyond the call.
TEST(QuopEncode, LeavesArgumentsAlone)
{
    pb::Ref<PB_BUFFER> source = rfctest::buffer("x\xFF");
    pb::Ref<RFC_QUOP_OPTIONS> opt(rfcQuopOptionsCreate());
    pb::Ref<PB_BUFFER> encoded(rfcQuopEncodeWithOptions(source.get(), opt.get()));
    EXPECT_EQ(rfctest::bytes(source.get()), "x\xFF");
    EXPECT_EQ(pbObjRefCount(pb::obj(opt.get())), 1);
    EXPECT_EQ(pbObjRefCount(pb::obj(source.get())), 1);
}

TEST(QuopEncodeDeathTest, NullArguments)
{
    pb::Ref<RFC_QUOP_OPTIONS> opt(rfcQuopOptionsCreate());
    EXPECT_DEATH(rfcQuopEncodeWithOptions(nullptr, opt.get()),
        "source/rfc/quop/rfc_quop_encode:[0-9]+: contract violation: source");
    pb::Ref<PB_BUFFER> source = rfctest::buffer("a");
    EXPECT_DEATH(rfcQuopEncodeWithOptions(source.get(), nullptr),
        "source/rfc/quop/rfc_quop_encode:[0-9]+: contract violation: opt");
}

} // namespace
