// Enumerations, flag sets and newline flags (names to values and back, the
// text form of a set of flags and the rules of its parser); the Unicode
// predicates over the whole code space; the integer and memory helpers.
#include "pb_test_util.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <iterator>
#include <string>
#include <utility>

namespace {

using rfctest::utf8;

// A second name for 0, a name limited by its length, and a name that is not
// ASCII.
pb::Ref<PB_ENUM> colours()
{
    pb::Ref<PB_ENUM> e(pbEnumCreate());
    pbEnumSetEnumerantCstr(e.addr(), "RED", -1, 0);
    pbEnumSetEnumerantCstr(e.addr(), "GREEN", -1, 1);
    pbEnumSetEnumerantCstr(e.addr(), "BLUE_AND_MORE", 4, 7); // the name is "BLUE"
    pbEnumSetEnumerantCstr(e.addr(), "CRIMSON", -1, 0);
    pbEnumSetEnumerantCstr(e.addr(), "CAF\xC3\x89", -1, 4);
    return e;
}

PB_INT parse(PB_ENUM *e, const char *name)
{
    return pbEnumParse(e, rfctest::string(name).get());
}

std::string generate(PB_ENUM *e, PB_INT value)
{
    pb::Ref<PB_STRING> s(pbEnumGenerate(e, value));
    return utf8(s.get());
}

// Parse gives the value of a name and -1 for any other text; Generate gives
// the first name set for a value, or the value in decimal.
TEST(PbEnum, NamesAndValues)
{
    pb::Ref<PB_ENUM> e = colours();
    struct Row {
        const char *name;
        PB_INT value;
    } parsed[] = {
        { "RED", 0 }, { "GREEN", 1 }, { "BLUE", 7 }, { "CRIMSON", 0 }, { "CAF\xC3\x89", 4 },
        { "BLUE_AND_MORE", -1 }, // only the first four bytes were the name
        { "red", -1 }, { "GREEN ", -1 }, { "", -1 }, { "YELLOW", -1 },
    }, generated[] = {
        { "RED", 0 }, { "GREEN", 1 }, { "BLUE", 7 }, { "CAF\xC3\x89", 4 }, { "2", 2 }, { "-3", -3 },
    };
    for (const Row &row : parsed)
        EXPECT_EQ(parse(e.get(), row.name), row.value) << row.name;
    for (const Row &row : generated)
        EXPECT_EQ(generate(e.get(), row.value), row.name) << row.value;
}

// Setting a name again replaces its value, in a copy when shared.
TEST(PbEnum, SetterCopiesASharedEnumerationFirst)
{
    pbtest::expectCopyOnWrite<PB_ENUM>(colours, [](PB_ENUM **e) { pbEnumSetEnumerantCstr(e, "GREEN", -1, 5); },
        [](PB_ENUM *e) { return generate(e, 1) + " " + generate(e, 5) + " " + std::to_string(parse(e, "GREEN")); },
        "1 GREEN 5");
}

// Flags defined out of bit order, one bit with two names, and the top bit.
pb::Ref<PB_FLAGSET> flags()
{
    pb::Ref<PB_FLAGSET> f(pbFlagsetCreate());
    pbFlagsetSetFlagCstr(f.addr(), "C", -1, 0x4);
    pbFlagsetSetFlagCstr(f.addr(), "A", -1, 0x1);
    pbFlagsetSetFlagCstr(f.addr(), "B_LONG", -1, 0x2);
    pbFlagsetSetFlagCstr(f.addr(), "B_ALIAS", -1, 0x2);
    pbFlagsetSetFlagCstr(f.addr(), "TOP", -1, PB_INT_MIN);
    return f;
}

std::string generate(PB_FLAGSET *f, PB_INT value)
{
    pb::Ref<PB_STRING> s(pbFlagsetGenerate(f, value));
    return utf8(s.get());
}

PB_INT parse(PB_FLAGSET *f, const std::string &text)
{
    return pbFlagsetParse(f, rfctest::string(text).get());
}

TEST(PbFlagset, TextJoinsNamesInBitOrder)
{
    pb::Ref<PB_FLAGSET> f = flags();
    struct Row {
        PB_INT flags;
        const char *text;
    } rows[] = {
        { 0, "" },
        { 0x5, "A, C" },
        { 0x7, "A, B_LONG, C" }, // bit order, not definition order; first name of bit 0x2
        { 0x8, "" },              // a bit without a name has no text
        { PB_INT_MIN | 0x2, "B_LONG, TOP" },
    };
    for (const Row &row : rows)
        EXPECT_EQ(generate(f.get(), row.flags), row.text) << row.flags;
    // Every combination of the named bits reads back.
    const PB_INT bits[] = { 0x1, 0x2, 0x4, PB_INT_MIN };
    for (int mask = 0; mask < 16; ++mask) {
        PB_INT value = 0;
        for (int i = 0; i < 4; ++i)
            value |= mask & (1 << i) ? bits[i] : 0;
        EXPECT_EQ(parse(f.get(), generate(f.get(), value)), value) << mask;
    }
}

TEST(PbFlagset, ParserReadsNamesSeparatedByCommasAndWhiteSpace)
{
    pb::Ref<PB_FLAGSET> f = flags();
    struct Row {
        std::string text;
        PB_INT flags;
        const char *why;
    } rows[] = {
        { "", 0, "empty text" },
        { "A,C", 0x5, "comma alone" },
        { "A C", 0x5, "space alone" },
        { "A\tC\nB_LONG", 0x7, "tab and newline" },
        { "  ,A ,, C,  ", 0x5, "leading, doubled and trailing separators" },
        { "B_ALIAS", 0x2, "either name of a bit" },
        { "A, UNKNOWN, C", 0x5, "unknown names are ignored" },
        { "a, c", 0, "names are exact" },
        { "AC", 0, "names must be separated" },
        { "A;C", 0, "a semicolon is no separator" },
        { "TOP, A, A", PB_INT_MIN | 0x1, "the top bit, a repeated name" },
    };
    for (const Row &row : rows)
        EXPECT_EQ(parse(f.get(), row.text), row.flags) << row.why;
}

// HasFlag tells whether a name is defined; setting a flag in a shared set
// copies it first.
TEST(PbFlagset, HasFlagAndCopyOnWrite)
{
    pb::Ref<PB_FLAGSET> f = flags();
    EXPECT_TRUE(pbFlagsetHasFlagCstr(f.get(), "B_ALIAS", -1));
    EXPECT_TRUE(pbFlagsetHasFlagCstr(f.get(), "CXX", 1));
    for (const char *absent : { "B", "a", "" })
        EXPECT_FALSE(pbFlagsetHasFlagCstr(f.get(), absent, -1)) << absent;
    pbtest::expectCopyOnWrite<PB_FLAGSET>(flags, [](PB_FLAGSET **s) { pbFlagsetSetFlagCstr(s, "D", -1, 0x8); },
        [](PB_FLAGSET *s) { return generate(s, 0xF); }, "A, B_LONG, C, D");
}

// Each newline flag has its name; every combination of the eight reads back
// from its text, which names each set bit once, in bit order.
TEST(PbNlfFlags, NamesAndText)
{
    const char *const names[] = { "PB_NLF_FLAG_LF", "PB_NLF_FLAG_CR", "PB_NLF_FLAG_CRLF", "PB_NLF_FLAG_NEL",
        "PB_NLF_FLAG_VT", "PB_NLF_FLAG_FF", "PB_NLF_FLAG_LS", "PB_NLF_FLAG_PS" };
    for (int bit = 0; bit < 8; ++bit) {
        EXPECT_EQ(utf8(pb::Ref<PB_STRING>(pbNlfFlagsToString(PB_INT(1) << bit)).get()), names[bit]);
        EXPECT_EQ(pbNlfFlagsFromString(rfctest::string(names[bit]).get()), PB_INT(1) << bit) << names[bit];
    }
    for (PB_INT flags = 0; flags < 256; ++flags) {
        pb::Ref<PB_STRING> text(pbNlfFlagsToString(flags));
        const std::string s = utf8(text.get());
        EXPECT_EQ(pbNlfFlagsFromString(text.get()), flags) << s;
        const PB_INT count = s.empty() ? 0 : 1 + PB_INT(std::count(s.begin(), s.end(), ','));
        EXPECT_EQ(count, PB_INT(std::popcount(static_cast<std::uint64_t>(flags)))) << s;
    }
    EXPECT_EQ(utf8(pb::Ref<PB_STRING>(pbNlfFlagsToString(PB_NLF_FLAG_CRLF | PB_NLF_FLAG_LF | PB_NLF_FLAG_PS)).get()),
        "PB_NLF_FLAG_LF, PB_NLF_FLAG_CRLF, PB_NLF_FLAG_PS");
}

// The 25 code points with the White_Space property in PropList.txt (since
// Unicode 6.3, when U+180E MONGOLIAN VOWEL SEPARATOR lost it). Written down
// by hand: no PropList.txt is available to generate it from. The exhaustive
// check below also keeps the lookalikes out: U+180E, U+200B..U+200C, U+2060,
// U+FEFF, and U+001C..U+001F (white space to Python's str.isspace).
constexpr PB_CHAR whiteSpace[] = { 0x0009, 0x000A, 0x000B, 0x000C, 0x000D, 0x0020, 0x0085, 0x00A0, 0x1680,
    0x2000, 0x2001, 0x2002, 0x2003, 0x2004, 0x2005, 0x2006, 0x2007, 0x2008, 0x2009, 0x200A, 0x2028, 0x2029,
    0x202F, 0x205F, 0x3000 };
static_assert(std::size(whiteSpace) == 25);

// LF, VT, FF, CR, NEL, LINE SEPARATOR, PARAGRAPH SEPARATOR.
constexpr PB_CHAR newlines[] = { 0x000A, 0x000B, 0x000C, 0x000D, 0x0085, 0x2028, 0x2029 };

// Checks a predicate against its set over every code point and a few values
// outside the code space; reports the first few differences.
template <class Predicate, std::size_t N>
void expectExactly(Predicate predicate, const PB_CHAR (&set)[N])
{
    int differences = 0;
    auto check = [&](PB_CHAR c) {
        const bool expected = std::find(std::begin(set), std::end(set), c) != std::end(set);
        const PB_BOOL actual = predicate(c);
        if (actual != (expected ? PB_TRUE : PB_FALSE) && differences++ < 10)
            ADD_FAILURE() << "U+" << std::hex << std::uppercase << c << ": got " << actual;
    };
    for (PB_CHAR c = 0; c <= 0x10FFFF; ++c)
        check(c);
    for (PB_CHAR c : { -1, -0x20, PB_CHAR(INT32_MIN), 0x110000, 0x110020, PB_CHAR(INT32_MAX) })
        check(c);
    EXPECT_EQ(differences, 0);
}

TEST(PbUnicode, WhiteSpaceAndNewlinesAreExactlyTheirSets)
{
    expectExactly(pbUnicodeIsWhiteSpace, whiteSpace);
    expectExactly(pbUnicodeIsNlf, newlines);
}

TEST(PbInt, BitHighestMinMaxAndAddOk)
{
    // No bit set, and negative values, whose highest bit is the sign bit.
    for (auto [x, highest] : { std::pair { PB_INT(0), -1 }, { -1, 63 }, { PB_INT_MIN, 63 }, { -0x100, 63 } })
        EXPECT_EQ(pbIntBitHighest(x), highest) << x;
    for (int bit = 0; bit < 63; ++bit) {
        const PB_INT power = PB_INT(1) << bit;
        EXPECT_EQ(pbIntBitHighest(power), bit);
        EXPECT_EQ(pbIntBitHighest(power | (power - 1)), bit);
        EXPECT_EQ(pbIntBitHighest(power | 1), bit);
    }
    EXPECT_EQ(pbIntMin(PB_INT_MAX, PB_INT_MIN), PB_INT_MIN);
    EXPECT_EQ(pbIntMax(PB_INT_MIN, PB_INT_MAX), PB_INT_MAX);
    struct Row {
        PB_INT a, b;
        bool ok;
    } rows[] = {
        { PB_INT_MAX, 0, true }, { PB_INT_MAX, 1, false }, { PB_INT_MAX - 1, 1, true }, { PB_INT_MIN, -1, false },
        { PB_INT_MIN, PB_INT_MAX, true }, { -1, PB_INT_MIN + 1, true }, { -2, PB_INT_MIN + 1, false },
    };
    for (const Row &row : rows)
        EXPECT_EQ(bool(PB_INT_ADD_OK(row.a, row.b)), row.ok) << row.a << " + " << row.b;
}

// Set fills exactly its range; a zero-size block is a valid pointer.
TEST(PbMem, AllocSetAndFree)
{
    auto *p = static_cast<PB_BYTE *>(pbMemAlloc(16));
    pbMemSet(p, 0xA5, 16);
    pbMemSet(p + 4, 0x00, 4);
    pbMemSet(p, 0x11, 0);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(p[i], (i >= 4 && i < 8) ? 0x00 : 0xA5) << i;
    pbMemFree(p);
    void *empty = pbMemAlloc(0);
    EXPECT_NE(empty, nullptr);
    pbMemFree(empty);
}

} // namespace
