// The generated tables against oracles computed without them: Python's
// stringprep module for the sets, Unicode 3.2 case folding closed under
// Python's Unicode 3.2 NFKC for B.2 and B.3. Every code point is compared,
// and the exported predicates are tried at both ends of every range.
#include "stringprep_support.h"
#include "support/test_support.h"

#include <rfc/stringprep/rfc_stringprep_internal.h>

#include <gtest/gtest.h>

#include <map>
#include <vector>

namespace {

using namespace rfc::stringprep;

constexpr std::uint32_t kCodeSpace = 0x110000;

struct SetTable {
    const char *name;
    bool (*member)(std::uint32_t);
    std::uint8_t propertyBit; // 0: not in the property byte
    bool propertyOutsideAsciiOnly;
    PB_BOOL (*freeOf)(PB_STRING *); // the exported predicate, or null
};

PB_BOOL bidiFreeOfRandAL(PB_STRING *s)
{
    // A single code point is in D.1 exactly when IsROrAl says so.
    return !rfc___StringprepBidiIsROrAl(static_cast<PB_CHAR>(rfctest::chars(s).at(0)));
}

const SetTable kSetTables[] = {
    { "A.1", isUnassigned, kPropUnassigned, false, rfcStringprepUnassignedCheck },
    { "B.1", isMapToNothing, kPropMapToNothing, false, nullptr },
    { "C.1.1", isSpaceAscii, 0, false, rfcStringprepProhibitSpaceAscii },
    { "C.1.2", isSpaceNonAscii, kPropSpaceNonAscii, true, rfcStringprepProhibitSpaceNonAscii },
    { "C.2.1", isControlAscii, 0, false, rfcStringprepProhibitControlAscii },
    { "C.2.2", isControlNonAscii, kPropProhibitedCommon, true, rfcStringprepProhibitControlNonAscii },
    { "C.3", isPrivateUse, kPropProhibitedCommon, true, rfcStringprepProhibitPrivateUse },
    { "C.4", isNonCharacter, kPropProhibitedCommon, true, rfcStringprepProhibitNonCharacter },
    { "C.5", isSurrogate, kPropProhibitedCommon, true, rfcStringprepProhibitSurrogate },
    { "C.6", isInappropriateForPlainText, kPropProhibitedCommon, true, rfcStringprepProhibitInappropriateForPlainText },
    { "C.7", isInappropriateForCanonical, kPropCanonical, true, rfcStringprepProhibitInappropriateForCanonical },
    { "C.8", isDisplayOrDeprecated, kPropProhibitedCommon, true, rfcStringprepProhibitDisplayOrDeprecated },
    { "C.9", isTagging, kPropProhibitedCommon, true, rfcStringprepProhibitTagging },
    { "D.1", isRandAL, kPropRandAL, false, bidiFreeOfRandAL },
    { "D.2", isL, kPropL, false, nullptr },
};

// The sets of sets_python.tsv, one flag per code point.
std::map<std::string, std::vector<bool>> pythonSets()
{
    std::map<std::string, std::vector<bool>> sets;
    for (const auto &row : rfctest::readTsv("stringprep/sets_python.tsv")) {
        auto &set = sets[row.at(0)];
        set.resize(kCodeSpace);
        for (auto c = std::stoul(row.at(1), nullptr, 16); c <= std::stoul(row.at(2), nullptr, 16); ++c)
            set[c] = true;
    }
    return sets;
}

TEST(StringprepTables, SetsEqualPythonEverywhere)
{
    auto sets = pythonSets();
    ASSERT_EQ(sets.size(), std::size(kSetTables));
    for (const SetTable &table : kSetTables) {
        const auto &expected = sets.at(table.name);
        int mismatches = 0;
        for (std::uint32_t c = 0; c < kCodeSpace && mismatches < 5; ++c) {
            if (table.member(c) != expected[c]) {
                ADD_FAILURE() << table.name << " differs at U+" << std::hex << c;
                ++mismatches;
            }
        }
    }
}

// Every bit of the property byte is the union of its tables, and the
// property byte of a value outside the code space is 0.
TEST(StringprepTables, PropertyByteIsTheUnionOfItsTables)
{
    for (std::uint32_t c = 0; c < kCodeSpace; ++c) {
        std::uint8_t expected = 0;
        for (const SetTable &table : kSetTables) {
            if (table.propertyBit && table.member(c) && !(table.propertyOutsideAsciiOnly && c < 0x80))
                expected |= table.propertyBit;
        }
        PB_CHAR image[kMaxCaseFoldImage];
        if (caseFoldNfkc(c, image) != 1 || image[0] != static_cast<PB_CHAR>(c))
            expected |= kPropCaseFoldNfkc;
        ASSERT_EQ(property(c), expected) << "U+" << std::hex << c;
    }
    EXPECT_EQ(property(0x110000), 0);
    EXPECT_EQ(property(codePoint(-1)), 0);
}

TEST(StringprepTables, CaseFoldingEqualsUnicode32Everywhere)
{
    std::map<std::string, std::map<std::uint32_t, std::u32string>> maps;
    for (const auto &row : rfctest::readTsv("stringprep/casefold_ucd32.tsv"))
        maps[row.at(0)][static_cast<std::uint32_t>(std::stoul(row.at(1), nullptr, 16))] = sptest::parseChars(row.at(2));
    ASSERT_EQ(maps["B.2"].size(), 1371u);
    ASSERT_EQ(maps["B.3"].size(), 838u);
    for (std::uint32_t c = 0; c < kCodeSpace; ++c) {
        if (isSurrogate(c))
            continue;
        PB_CHAR image[kMaxCaseFoldImage];
        int n = caseFoldNfkc(c, image);
        auto it = maps["B.2"].find(c);
        std::u32string expected = it == maps["B.2"].end() ? sptest::one(c) : it->second;
        ASSERT_EQ(std::u32string(image, image + n), expected) << "B.2 U+" << std::hex << c;
        n = caseFoldNoNormalization(c, image);
        it = maps["B.3"].find(c);
        expected = it == maps["B.3"].end() ? sptest::one(c) : it->second;
        ASSERT_EQ(std::u32string(image, image + n), expected) << "B.3 U+" << std::hex << c;
    }
}

// The exported predicates at both ends of each range of their table and
// just outside them: a one-code-point string is refused exactly inside.
TEST(StringprepTables, ExportedPredicatesAtRangeBoundaries)
{
    auto sets = pythonSets();
    for (const SetTable &table : kSetTables) {
        if (!table.freeOf)
            continue;
        const auto &set = sets.at(table.name);
        for (std::uint32_t c = 0; c < kCodeSpace; ++c) {
            bool boundary = set[c] != (c > 0 && set[c - 1]) || set[c] != (c + 1 < kCodeSpace && set[c + 1]);
            if (!boundary)
                continue;
            auto s = rfctest::string(sptest::one(c));
            ASSERT_EQ(table.freeOf(s.get()), set[c] ? 0 : 1) << table.name << " U+" << std::hex << c;
        }
    }
}

} // namespace
