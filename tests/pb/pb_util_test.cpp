// The Unicode predicates over the whole code space, the integer helpers and
// the memory helpers.
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <vector>

namespace {

// The 25 code points with the White_Space property in PropList.txt of the
// Unicode Character Database (unchanged since Unicode 6.3, when U+180E
// MONGOLIAN VOWEL SEPARATOR lost the property). Written down by hand: no
// PropList.txt is available to generate it from.
constexpr PB_CHAR whiteSpace[] = {
    0x0009, 0x000A, 0x000B, 0x000C, 0x000D, // <control-0009>..<control-000D>
    0x0020,                                 // SPACE
    0x0085,                                 // <control-0085>
    0x00A0,                                 // NO-BREAK SPACE
    0x1680,                                 // OGHAM SPACE MARK
    0x2000, 0x2001, 0x2002, 0x2003, 0x2004, 0x2005, 0x2006, 0x2007, 0x2008, 0x2009, 0x200A, // EN QUAD..HAIR SPACE
    0x2028,                                 // LINE SEPARATOR
    0x2029,                                 // PARAGRAPH SEPARATOR
    0x202F,                                 // NARROW NO-BREAK SPACE
    0x205F,                                 // MEDIUM MATHEMATICAL SPACE
    0x3000,                                 // IDEOGRAPHIC SPACE
};
static_assert(std::size(whiteSpace) == 25);

// The newline characters: LF, VT, FF, CR, NEL, LINE SEPARATOR, PARAGRAPH
// SEPARATOR.
constexpr PB_CHAR newlines[] = { 0x000A, 0x000B, 0x000C, 0x000D, 0x0085, 0x2028, 0x2029 };

template <std::size_t N>
bool contains(const PB_CHAR (&set)[N], PB_CHAR c)
{
    return std::find(std::begin(set), std::end(set), c) != std::end(set);
}

// Checks a predicate against its set over every code point and a few values
// outside the code space; reports the first few differences.
template <class Predicate, std::size_t N>
void expectExactly(Predicate predicate, const PB_CHAR (&set)[N])
{
    int differences = 0;
    auto check = [&](PB_CHAR c) {
        bool expected = contains(set, c);
        PB_BOOL actual = predicate(c);
        if (actual != (expected ? PB_TRUE : PB_FALSE) && differences++ < 10)
            ADD_FAILURE() << "U+" << std::hex << std::uppercase << c << ": got " << actual;
    };
    for (PB_CHAR c = 0; c <= 0x10FFFF; ++c)
        check(c);
    for (PB_CHAR c : { -1, -0x20, PB_CHAR(INT32_MIN), 0x110000, 0x110020, PB_CHAR(INT32_MAX) })
        check(c);
    EXPECT_EQ(differences, 0);
}

TEST(PbUnicode, IsWhiteSpaceIsTheWhiteSpaceProperty)
{
    expectExactly(pbUnicodeIsWhiteSpace, whiteSpace);
}

// Characters often mistaken for white space, each without the property.
TEST(PbUnicode, LookalikesAreNotWhiteSpace)
{
    struct Row {
        PB_CHAR c;
        const char *name;
    } rows[] = {
        { 0x180E, "MONGOLIAN VOWEL SEPARATOR (lost White_Space in Unicode 6.3)" },
        { 0x200B, "ZERO WIDTH SPACE" },
        { 0x200C, "ZERO WIDTH NON-JOINER" },
        { 0x2060, "WORD JOINER" },
        { 0xFEFF, "ZERO WIDTH NO-BREAK SPACE" },
        { 0x001C, "FILE SEPARATOR (white space to Python's str.isspace)" },
        { 0x001F, "UNIT SEPARATOR (white space to Python's str.isspace)" },
        { 0x0008, "BACKSPACE" },
        { 0x0000, "NUL" },
    };
    for (const Row &row : rows)
        EXPECT_FALSE(pbUnicodeIsWhiteSpace(row.c)) << row.name;
}

TEST(PbUnicode, IsNlfIsExactlyTheNewlineCharacters)
{
    expectExactly(pbUnicodeIsNlf, newlines);
}

TEST(PbInt, BitHighest)
{
    struct Row {
        PB_INT x;
        PB_INT highest;
        const char *why;
    } rows[] = {
        { 0, -1, "no bit set" },
        { 1, 0, "lowest bit" },
        { 2, 1, "" },
        { 3, 1, "lower bits do not matter" },
        { 0xFF, 7, "" },
        { 0x100, 8, "" },
        { PB_INT(1) << 32, 32, "above 32 bits" },
        { PB_INT_MAX, 62, "largest positive value" },
        { -1, 63, "negative: the sign bit" },
        { PB_INT_MIN, 63, "only the sign bit" },
        { -0x100, 63, "negative" },
    };
    for (const Row &row : rows)
        EXPECT_EQ(pbIntBitHighest(row.x), row.highest) << row.x << " " << row.why;
    for (int bit = 0; bit < 63; ++bit) {
        PB_INT power = PB_INT(1) << bit;
        EXPECT_EQ(pbIntBitHighest(power), bit);
        EXPECT_EQ(pbIntBitHighest(power | (power - 1)), bit);
        EXPECT_EQ(pbIntBitHighest(power | 1), bit);
    }
}

TEST(PbInt, MinAndMax)
{
    EXPECT_EQ(pbIntMin(3, -4), -4);
    EXPECT_EQ(pbIntMin(-4, 3), -4);
    EXPECT_EQ(pbIntMin(PB_INT_MIN, PB_INT_MAX), PB_INT_MIN);
    EXPECT_EQ(pbIntMax(PB_INT_MIN, PB_INT_MAX), PB_INT_MAX);
    EXPECT_EQ(pbIntMax(7, 7), 7);
}

TEST(PbInt, AddOk)
{
    EXPECT_TRUE(PB_INT_ADD_OK(PB_INT_MAX, 0));
    EXPECT_FALSE(PB_INT_ADD_OK(PB_INT_MAX, 1));
    EXPECT_TRUE(PB_INT_ADD_OK(PB_INT_MAX - 1, 1));
    EXPECT_FALSE(PB_INT_ADD_OK(PB_INT_MIN, -1));
    EXPECT_TRUE(PB_INT_ADD_OK(PB_INT_MIN, PB_INT_MAX));
    EXPECT_TRUE(PB_INT_ADD_OK(-1, PB_INT_MIN + 1));
    EXPECT_FALSE(PB_INT_ADD_OK(-2, PB_INT_MIN + 1));
}

TEST(PbMem, AllocSetReallocFree)
{
    auto *p = static_cast<PB_BYTE *>(pbMemAlloc(16));
    pbMemSet(p, 0xA5, 16);
    pbMemSet(p + 4, 0x00, 4);
    p = static_cast<PB_BYTE *>(pbMemRealloc(p, 4096));
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(p[i], (i >= 4 && i < 8) ? 0x00 : 0xA5) << i;
    pbMemSet(p, 0x11, 0);
    EXPECT_EQ(p[0], 0xA5);
    pbMemFree(p);

    void *empty = pbMemAlloc(0); // a valid pointer that may be freed
    EXPECT_NE(empty, nullptr);
    pbMemFree(empty);
    pbMemFree(nullptr);
}

} // namespace
