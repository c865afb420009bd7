// The unassigned check (table A.1) and the bidirectional check.
#include "stringprep_support.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

namespace {

struct Row {
    std::u32string input;
    PB_BOOL expected; // 1: passes, 0: refused
    const char *rule;
};

TEST(StringprepUnassigned, Rows)
{
    const Row rows[] = {
        { U"", 1, "empty" },
        { U"abc", 1, "ASCII" },
        { U"ab\u0221", 0, "U+0221 unassigned in 3.2, last" },
        { U"\u0221ab", 0, "unassigned first" },
        { U"\u0220", 1, "U+0220 assigned in 3.2" },
        { U"\u023A", 0, "assigned only later" },
        { U"\u0378", 0, "assigned only later" },
        { U"\u1E9E", 0, "assigned only later" },
        { U"\uFFFE", 1, "noncharacter: C.4, not A.1" },
        { U"\uFDD0", 1, "noncharacter: C.4, not A.1" },
        { U"\U000E0001", 1, "language tag" },
        { U"\U0010FFFD", 1, "private use" },
        { std::u32string(1, char32_t(0xD800)), 1, "surrogate: C.5, not A.1" },
        { U"\U000E0080", 0, "plane 14 after the tags" },
        { U"\U00030000", 0, "plane 3" },
        { U"\U000EFFFD", 0, "last of A.1" },
        { U"\U0002FA1D", 1, "last CJK compatibility ideograph" },
        { U"\U0002FA1E", 0, "first after it" },
    };
    for (const Row &row : rows) {
        auto s = rfctest::string(row.input);
        EXPECT_EQ(rfcStringprepUnassignedCheck(s.get()), row.expected) << row.rule;
    }
}

TEST(StringprepBidi, Rows)
{
    const Row rows[] = {
        { U"", 1, "empty" },
        { U"A", 1, "no RandALCat" },
        { U"1", 1, "no RandALCat" },
        { U" ", 1, "no RandALCat" },
        { U"A\u0661", 1, "U+0661 is neither R nor L" },
        { U"\u05D0", 1, "one R" },
        { U"\u0627", 1, "one AL" },
        { U"\u200F", 1, "RLM is R" },
        { U"\u05D01\u05D0", 1, "digit between R" },
        { U"\u0627\u0661\u0627", 1, "AN between AL" },
        { U"\u05D0A", 0, "L after R" },
        { U"A\u05D0", 0, "L before R" },
        { U"\u05D0A\u05D0", 0, "L inside R" },
        { U"\u05D0\u00AA\u05D0", 0, "U+00AA is L" },
        { U"\u05D0\u00B5\u05D0", 0, "U+00B5 is L" },
        { U"\u05D0\u200E\u05D0", 0, "LRM is L" },
        { U"\u05D0\uE000\u05D0", 0, "private use is L" },
        { U"1\u0627", 0, "first not RandALCat" },
        { U"\u06271", 0, "last not RandALCat" },
        { U"\u06271\u05D0", 1, "both ends RandALCat" },
        { U"\u05D0\u0300\u05D0", 1, "combining mark is neither" },
        { U"\u05D0\u0221\u05D0", 1, "unassigned is neither" },
    };
    for (const Row &row : rows) {
        auto s = rfctest::string(row.input);
        EXPECT_EQ(rfcStringprepBidiCheck(s.get()), row.expected) << row.rule;
    }
}

TEST(StringprepBidi, IsROrAlAtTheEdges)
{
    EXPECT_EQ(rfc___StringprepBidiIsROrAl(0x05BE), 1);
    EXPECT_EQ(rfc___StringprepBidiIsROrAl(0x05BF), 0);
    EXPECT_EQ(rfc___StringprepBidiIsROrAl(0xFEFC), 1);
    EXPECT_EQ(rfc___StringprepBidiIsROrAl(0xFEFD), 0);
    EXPECT_EQ(rfc___StringprepBidiIsROrAl(0x0041), 0);
    EXPECT_EQ(rfc___StringprepBidiIsROrAl(-1), 0);
}

TEST(StringprepBidiDeathTest, NullSource)
{
    EXPECT_DEATH(rfcStringprepBidiCheck(nullptr), "source/rfc/stringprep/rfc_stringprep_bidi:[0-9]+: contract violation: source");
    EXPECT_DEATH(rfcStringprepUnassignedCheck(nullptr), "source/rfc/stringprep/rfc_stringprep_unassigned:[0-9]+: contract violation: source");
}

} // namespace
