// Enumerations, flag sets and newline flags: names to values and back, the
// text form of a set of flags and the rules of its parser.
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <string>

namespace {

using rfctest::utf8;

pb::Ref<PB_ENUM> colours()
{
    pb::Ref<PB_ENUM> e(pbEnumCreate());
    pbEnumSetEnumerantCstr(e.addr(), "RED", -1, 0);
    pbEnumSetEnumerantCstr(e.addr(), "GREEN", -1, 1);
    pbEnumSetEnumerantCstr(e.addr(), "BLUE_AND_MORE", 4, 7); // the name is "BLUE"
    pbEnumSetEnumerantCstr(e.addr(), "CRIMSON", -1, 0);       // a second name for 0
    return e;
}

PB_INT parse(PB_ENUM *e, const char *name)
{
    pb::Ref<PB_STRING> s = rfctest::string(name);
    return pbEnumParse(e, s.get());
}

std::string generate(PB_ENUM *e, PB_INT value)
{
    pb::Ref<PB_STRING> s(pbEnumGenerate(e, value));
    return utf8(s.get());
}

TEST(PbEnum, ParseGivesTheValueOfANameAndMinusOneForUnknownNames)
{
    pb::Ref<PB_ENUM> e = colours();
    struct Row {
        const char *name;
        PB_INT value;
    } rows[] = {
        { "RED", 0 },
        { "GREEN", 1 },
        { "BLUE", 7 },
        { "CRIMSON", 0 },
        { "BLUE_AND_MORE", -1 }, // only the first four bytes were the name
        { "red", -1 },           // names are exact
        { "GREEN ", -1 },
        { "", -1 },
        { "YELLOW", -1 },
    };
    for (const Row &row : rows)
        EXPECT_EQ(parse(e.get(), row.name), row.value) << row.name;
}

TEST(PbEnum, GenerateGivesTheFirstNameOrTheDecimalValue)
{
    pb::Ref<PB_ENUM> e = colours();
    EXPECT_EQ(generate(e.get(), 0), "RED"); // the first name set for 0
    EXPECT_EQ(generate(e.get(), 1), "GREEN");
    EXPECT_EQ(generate(e.get(), 7), "BLUE");
    EXPECT_EQ(generate(e.get(), 2), "2");
    EXPECT_EQ(generate(e.get(), -3), "-3");
}

TEST(PbEnum, SettingANameAgainReplacesItsValue)
{
    pb::Ref<PB_ENUM> e = colours();
    pbEnumSetEnumerantCstr(e.addr(), "GREEN", -1, 5);
    EXPECT_EQ(parse(e.get(), "GREEN"), 5);
    EXPECT_EQ(generate(e.get(), 5), "GREEN");
    EXPECT_EQ(generate(e.get(), 1), "1");
}

TEST(PbEnum, SetterCopiesASharedEnumerationFirst)
{
    pb::Ref<PB_ENUM> other = colours();
    pb::Ref<PB_ENUM> mine = pb::Ref<PB_ENUM>::retained(other.get());
    pbEnumSetEnumerantCstr(mine.addr(), "YELLOW", -1, 3);
    EXPECT_NE(mine.get(), other.get());
    EXPECT_EQ(parse(mine.get(), "YELLOW"), 3);
    EXPECT_EQ(parse(other.get(), "YELLOW"), -1);
    EXPECT_EQ(parse(mine.get(), "GREEN"), 1);
    EXPECT_EQ(pbObjRefCount(pbEnumObj(other.get())), 1);
}

// Names are UTF-8 text: a name that is not ASCII reads back through its own
// generated text.
TEST(PbEnum, NonAsciiNameRoundTrips)
{
    pb::Ref<PB_ENUM> e(pbEnumCreate());
    pbEnumSetEnumerantCstr(e.addr(), "CAF\xC3\x89", -1, 4); // "CAFÉ"
    pb::Ref<PB_STRING> name(pbEnumGenerate(e.get(), 4));
    EXPECT_EQ(rfctest::chars(name.get()), U"CAF\u00C9");
    EXPECT_EQ(pbEnumParse(e.get(), name.get()), 4);
}

// --- flag sets ---------------------------------------------------------------

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
    pb::Ref<PB_STRING> s = rfctest::string(text);
    return pbFlagsetParse(f, s.get());
}

TEST(PbFlagset, TextJoinsNamesInBitOrder)
{
    pb::Ref<PB_FLAGSET> f = flags();
    struct Row {
        PB_INT flags;
        const char *text;
    } rows[] = {
        { 0, "" },
        { 0x1, "A" },
        { 0x4, "C" },
        { 0x5, "A, C" },
        { 0x7, "A, B_LONG, C" }, // bit order, not definition order; first name of bit 0x2
        { 0x8, "" },              // a bit without a name has no text
        { PB_INT_MIN | 0x2, "B_LONG, TOP" },
    };
    for (const Row &row : rows)
        EXPECT_EQ(generate(f.get(), row.flags), row.text) << row.flags;
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
        { "A", 0x1, "one name" },
        { "A, C", 0x5, "the generated form" },
        { "A,C", 0x5, "comma alone" },
        { "A C", 0x5, "space alone" },
        { "A\tC\nB_LONG", 0x7, "tab and newline" },
        { "  ,A ,, C,  ", 0x5, "leading, doubled and trailing separators" },
        { "B_ALIAS", 0x2, "either name of a bit" },
        { "A, UNKNOWN, C", 0x5, "unknown names are ignored" },
        { "UNKNOWN", 0, "only unknown names" },
        { "a, c", 0, "names are exact" },
        { "AC", 0, "names must be separated" },
        { "A;C", 0, "a semicolon is no separator" },
        { "TOP, A", PB_INT_MIN | 0x1, "the top bit" },
        { "A, A", 0x1, "a repeated name" },
    };
    for (const Row &row : rows)
        EXPECT_EQ(parse(f.get(), row.text), row.flags) << row.why;
}

TEST(PbFlagset, TextRoundTripsEveryCombinationOfNamedBits)
{
    pb::Ref<PB_FLAGSET> f = flags();
    const PB_INT bits[] = { 0x1, 0x2, 0x4, PB_INT_MIN };
    for (int mask = 0; mask < 16; ++mask) {
        PB_INT value = 0;
        for (int i = 0; i < 4; ++i)
            if (mask & (1 << i))
                value |= bits[i];
        EXPECT_EQ(parse(f.get(), generate(f.get(), value)), value) << mask;
    }
}

TEST(PbFlagset, HasFlagTellsWhetherANameIsDefined)
{
    pb::Ref<PB_FLAGSET> f = flags();
    EXPECT_TRUE(pbFlagsetHasFlagCstr(f.get(), "A", -1));
    EXPECT_TRUE(pbFlagsetHasFlagCstr(f.get(), "B_ALIAS", -1));
    EXPECT_TRUE(pbFlagsetHasFlagCstr(f.get(), "CXX", 1));
    EXPECT_FALSE(pbFlagsetHasFlagCstr(f.get(), "B", -1));
    EXPECT_FALSE(pbFlagsetHasFlagCstr(f.get(), "a", -1));
    EXPECT_FALSE(pbFlagsetHasFlagCstr(f.get(), "", -1));
}

TEST(PbFlagset, SetterCopiesASharedFlagSetFirst)
{
    pb::Ref<PB_FLAGSET> other = flags();
    pb::Ref<PB_FLAGSET> mine = pb::Ref<PB_FLAGSET>::retained(other.get());
    pbFlagsetSetFlagCstr(mine.addr(), "D", -1, 0x8);
    EXPECT_NE(mine.get(), other.get());
    EXPECT_TRUE(pbFlagsetHasFlagCstr(mine.get(), "D", -1));
    EXPECT_FALSE(pbFlagsetHasFlagCstr(other.get(), "D", -1));
    EXPECT_EQ(generate(mine.get(), 0xF), "A, B_LONG, C, D");
    EXPECT_EQ(generate(other.get(), 0xF), "A, B_LONG, C");
    EXPECT_EQ(pbObjRefCount(pbFlagsetObj(other.get())), 1);
}

// --- newline flags -------------------------------------------------------------

TEST(PbNlfFlags, EachBitHasItsName)
{
    struct Row {
        PB_INT bit;
        const char *name;
    } rows[] = {
        { 0x01, "PB_NLF_FLAG_LF" },
        { 0x02, "PB_NLF_FLAG_CR" },
        { 0x04, "PB_NLF_FLAG_CRLF" },
        { 0x08, "PB_NLF_FLAG_NEL" },
        { 0x10, "PB_NLF_FLAG_VT" },
        { 0x20, "PB_NLF_FLAG_FF" },
        { 0x40, "PB_NLF_FLAG_LS" },
        { 0x80, "PB_NLF_FLAG_PS" },
    };
    for (const Row &row : rows) {
        pb::Ref<PB_STRING> text(pbNlfFlagsToString(row.bit));
        EXPECT_EQ(utf8(text.get()), row.name);
        pb::Ref<PB_STRING> name = rfctest::string(row.name);
        EXPECT_EQ(pbNlfFlagsFromString(name.get()), row.bit) << row.name;
    }
    EXPECT_EQ(PB_NLF_FLAG_LF | PB_NLF_FLAG_CR | PB_NLF_FLAG_CRLF | PB_NLF_FLAG_NEL | PB_NLF_FLAG_VT | PB_NLF_FLAG_FF
            | PB_NLF_FLAG_LS | PB_NLF_FLAG_PS,
        0xFF);
}

TEST(PbNlfFlags, TextOfSeveralBits)
{
    pb::Ref<PB_STRING> none(pbNlfFlagsToString(0));
    EXPECT_EQ(utf8(none.get()), "");
    pb::Ref<PB_STRING> some(pbNlfFlagsToString(PB_NLF_FLAG_CRLF | PB_NLF_FLAG_LF | PB_NLF_FLAG_PS));
    EXPECT_EQ(utf8(some.get()), "PB_NLF_FLAG_LF, PB_NLF_FLAG_CRLF, PB_NLF_FLAG_PS");
    pb::Ref<PB_STRING> text = rfctest::string("PB_NLF_FLAG_FF PB_NLF_FLAG_BOGUS,PB_NLF_FLAG_CR");
    EXPECT_EQ(pbNlfFlagsFromString(text.get()), PB_NLF_FLAG_FF | PB_NLF_FLAG_CR);
}

TEST(PbNlfFlags, EveryCombinationOfTheLowEightBitsRoundTrips)
{
    for (PB_INT flags = 0; flags < 256; ++flags) {
        pb::Ref<PB_STRING> text(pbNlfFlagsToString(flags));
        EXPECT_EQ(pbNlfFlagsFromString(text.get()), flags) << utf8(text.get());
        // One name per set bit, joined by ", ".
        std::string s = utf8(text.get());
        PB_INT names = s.empty() ? 0 : 1 + PB_INT(std::count(s.begin(), s.end(), ','));
        EXPECT_EQ(names, PB_INT(std::popcount(static_cast<std::uint64_t>(flags)))) << s;
    }
}

} // namespace
