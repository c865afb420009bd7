// The thirteen prohibition predicates: rows at and beside the edges of the
// tables, the pair predicates, and a prohibited code point wherever it
// stands.
#include "stringprep_support.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

namespace {

using Predicate = PB_BOOL (*)(PB_STRING *);

struct Named {
    const char *name;
    Predicate test;
};

const Named kPredicates[] = {
    { "SpaceAscii", rfcStringprepProhibitSpaceAscii },
    { "SpaceNonAscii", rfcStringprepProhibitSpaceNonAscii },
    { "Space", rfcStringprepProhibitSpace },
    { "ControlAscii", rfcStringprepProhibitControlAscii },
    { "ControlNonAscii", rfcStringprepProhibitControlNonAscii },
    { "Control", rfcStringprepProhibitControl },
    { "PrivateUse", rfcStringprepProhibitPrivateUse },
    { "NonCharacter", rfcStringprepProhibitNonCharacter },
    { "Surrogate", rfcStringprepProhibitSurrogate },
    { "PlainText", rfcStringprepProhibitInappropriateForPlainText },
    { "Canonical", rfcStringprepProhibitInappropriateForCanonical },
    { "DisplayOrDeprecated", rfcStringprepProhibitDisplayOrDeprecated },
    { "Tagging", rfcStringprepProhibitTagging },
};

struct Row {
    const char *predicate;
    char32_t c;
    PB_BOOL expected; // 1: passes, 0: refused
};

const Row kRows[] = {
    { "SpaceAscii", 0x0020, 0 }, { "Space", 0x0020, 0 }, { "SpaceNonAscii", 0x0020, 1 },
    { "SpaceAscii", 0x3000, 1 }, { "SpaceNonAscii", 0x3000, 0 }, { "Space", 0x3000, 0 },
    { "SpaceNonAscii", 0x200B, 0 }, { "SpaceNonAscii", 0x200C, 1 }, { "Space", 0x0041, 1 },
    { "ControlAscii", 0x0000, 0 }, { "ControlAscii", 0x001F, 0 }, { "ControlAscii", 0x007F, 0 },
    { "ControlAscii", 0x0020, 1 }, { "ControlAscii", 0x0080, 1 }, { "ControlNonAscii", 0x0080, 0 },
    { "ControlNonAscii", 0x009F, 0 }, { "ControlNonAscii", 0x00A0, 1 }, { "ControlNonAscii", 0x007F, 1 },
    { "ControlNonAscii", 0x200D, 0 }, { "ControlNonAscii", 0xFEFF, 0 }, { "ControlNonAscii", 0x1D173, 0 },
    { "ControlNonAscii", 0x1D17A, 0 }, { "ControlNonAscii", 0x1D17B, 1 }, { "Control", 0x0007, 0 },
    { "Control", 0x0085, 0 }, { "Control", 0x0041, 1 },
    { "ControlNonAscii", 0x206A, 0 }, { "DisplayOrDeprecated", 0x206A, 0 },
    { "PrivateUse", 0xF8FF, 0 }, { "PrivateUse", 0xE000, 0 }, { "PrivateUse", 0xDFFF, 1 },
    { "PrivateUse", 0xFFFFD, 0 }, { "PrivateUse", 0x10FFFD, 0 },
    { "PrivateUse", 0xFFFFE, 1 }, { "NonCharacter", 0xFFFFE, 0 },
    { "PrivateUse", 0x10FFFF, 1 }, { "NonCharacter", 0x10FFFF, 0 },
    { "NonCharacter", 0xFDEF, 0 }, { "NonCharacter", 0xFDD0, 0 }, { "NonCharacter", 0xFDF0, 1 },
    { "NonCharacter", 0xFFFE, 0 }, { "NonCharacter", 0x1FFFF, 0 }, { "NonCharacter", 0x1FFFD, 1 },
    { "Surrogate", 0xD800, 0 }, { "Surrogate", 0xDFFF, 0 }, { "Surrogate", 0xE000, 1 },
    { "PlainText", 0xFFFD, 0 }, { "PlainText", 0xFFF9, 0 }, { "PlainText", 0xFFFE, 1 },
    { "Canonical", 0x2FFB, 0 }, { "Canonical", 0x2FF0, 0 }, { "Canonical", 0x2FFC, 1 },
    { "DisplayOrDeprecated", 0x0340, 0 }, { "DisplayOrDeprecated", 0x0342, 1 },
    { "DisplayOrDeprecated", 0x200F, 0 }, { "DisplayOrDeprecated", 0x202E, 0 },
    { "DisplayOrDeprecated", 0x202F, 1 },
    { "Tagging", 0xE0001, 0 }, { "Tagging", 0xE007F, 0 }, { "Tagging", 0xE0000, 1 },
    { "Tagging", 0xE0002, 1 }, { "Tagging", 0xE0080, 1 },
};

Predicate byName(const char *name)
{
    for (const Named &p : kPredicates) {
        if (std::string_view(p.name) == name)
            return p.test;
    }
    return nullptr;
}

TEST(StringprepProhibit, Rows)
{
    for (const Row &row : kRows) {
        Predicate test = byName(row.predicate);
        ASSERT_NE(test, nullptr) << row.predicate;
        auto s = rfctest::string(sptest::one(row.c));
        EXPECT_EQ(test(s.get()), row.expected) << row.predicate << " U+" << std::hex << static_cast<unsigned>(row.c);
    }
}

TEST(StringprepProhibit, EmptyStringPassesEveryPredicate)
{
    auto empty = rfctest::string(std::u32string_view());
    for (const Named &p : kPredicates)
        EXPECT_EQ(p.test(empty.get()), 1) << p.name;
}

// A refused code point is found first, in the middle and last of a longer
// string; the same string without it passes.
TEST(StringprepProhibit, FoundWhereverItStands)
{
    const struct {
        const char *predicate;
        char32_t c;
    } refused[] = {
        { "SpaceAscii", 0x20 }, { "SpaceNonAscii", 0x3000 }, { "ControlAscii", 0x7F },
        { "ControlNonAscii", 0x1D173 }, { "PrivateUse", 0x10FFFD }, { "NonCharacter", 0xFFFF },
        { "Surrogate", 0xDC00 }, { "PlainText", 0xFFFC }, { "Canonical", 0x2FF5 },
        { "DisplayOrDeprecated", 0x200E }, { "Tagging", 0xE0041 }, { "Space", 0x00A0 }, { "Control", 0x2028 },
    };
    for (const auto &row : refused) {
        Predicate test = byName(row.predicate);
        const std::u32string plain = U"ab\u00E9\u05D0c";
        auto clean = rfctest::string(plain);
        EXPECT_EQ(test(clean.get()), 1) << row.predicate;
        for (std::size_t at : { std::size_t(0), std::size_t(2), plain.size() }) {
            std::u32string text = plain;
            text.insert(at, 1, row.c);
            auto s = rfctest::string(text);
            EXPECT_EQ(test(s.get()), 0) << row.predicate << " at " << at;
        }
    }
}

TEST(StringprepProhibitDeathTest, NullSource)
{
    EXPECT_DEATH(rfcStringprepProhibitControl(nullptr), "source/rfc/stringprep/rfc_stringprep_prohibit_control:[0-9]+: contract violation: source");
    EXPECT_DEATH(rfcStringprepProhibitTagging(nullptr), "source/rfc/stringprep/rfc_stringprep_prohibit_tagging:[0-9]+: contract violation: source");
}

} // namespace
