// The Unicode predicates over the whole code space, the integer helpers and
// the memory helpers.
#include "pb_test_util.h"

#include <algorithm>
#include <iterator>

namespace {

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

TEST(PbInt, BitHighest)
{
    struct Row {
        PB_INT x;
        PB_INT highest;
    } rows[] = {
        { 0, -1 },          // no bit set
        { -1, 63 },         // negative: the sign bit
        { PB_INT_MIN, 63 }, // only the sign bit
        { -0x100, 63 },
    };
    for (const Row &row : rows)
        EXPECT_EQ(pbIntBitHighest(row.x), row.highest) << row.x;
    for (int bit = 0; bit < 63; ++bit) {
        const PB_INT power = PB_INT(1) << bit;
        EXPECT_EQ(pbIntBitHighest(power), bit);
        EXPECT_EQ(pbIntBitHighest(power | (power - 1)), bit);
        EXPECT_EQ(pbIntBitHighest(power | 1), bit);
    }
}

TEST(PbInt, MinMaxAndAddOk)
{
    EXPECT_EQ(pbIntMin(3, -4), -4);
    EXPECT_EQ(pbIntMin(PB_INT_MIN, PB_INT_MAX), PB_INT_MIN);
    EXPECT_EQ(pbIntMax(PB_INT_MIN, PB_INT_MAX), PB_INT_MAX);
    EXPECT_EQ(pbIntMax(-4, 3), 3);
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
