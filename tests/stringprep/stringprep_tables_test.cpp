// The tables and the steps that use them against oracles computed without
// them: Python's stringprep module for the sets, Unicode 3.2 case folding
// closed under Python's Unicode 3.2 NFKC for B.2 and B.3, Python's
// unicodedata.ucd_3_2_0 for NFKC. The generated tables are compared at every
// code point, the exported predicates at both ends of every range, the
// mappings over the whole code space.
#include "stringprep_support.h"
#include "support/test_support.h"

#include <rfc/stringprep/rfc_stringprep_internal.h>

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <vector>

namespace {

using namespace rfc::stringprep;
using sptest::formatChars;

constexpr std::uint32_t kCodeSpace = 0x110000;

struct SetTable {
    const char *name;
    bool (*member)(std::uint32_t);
    std::uint8_t propertyBit; // 0: not in the property byte
    bool propertyOutsideAsciiOnly;
};

const SetTable kSetTables[] = {
    { "A.1", isUnassigned, kPropUnassigned, false },
    { "B.1", isMapToNothing, kPropMapToNothing, false },
    { "C.1.1", isSpaceAscii, 0, false },
    { "C.1.2", isSpaceNonAscii, kPropSpaceNonAscii, true },
    { "C.2.1", isControlAscii, 0, false },
    { "C.2.2", isControlNonAscii, kPropProhibitedCommon, true },
    { "C.3", isPrivateUse, kPropProhibitedCommon, true },
    { "C.4", isNonCharacter, kPropProhibitedCommon, true },
    { "C.5", isSurrogate, kPropProhibitedCommon, true },
    { "C.6", isInappropriateForPlainText, kPropProhibitedCommon, true },
    { "C.7", isInappropriateForCanonical, kPropCanonical, true },
    { "C.8", isDisplayOrDeprecated, kPropProhibitedCommon, true },
    { "C.9", isTagging, kPropProhibitedCommon, true },
    { "D.1", isRandAL, kPropRandAL, false },
    { "D.2", isL, kPropL, false },
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

// B.2 and B.3 from casefold_ucd32.tsv; code points not listed map to
// themselves.
std::map<std::string, std::map<std::uint32_t, std::u32string>> caseFolds()
{
    std::map<std::string, std::map<std::uint32_t, std::u32string>> folds;
    for (const auto &row : rfctest::readTsv("stringprep/casefold_ucd32.tsv"))
        folds[row.at(0)][static_cast<std::uint32_t>(std::stoul(row.at(1), nullptr, 16))] = sptest::parseChars(row.at(2));
    return folds;
}

std::u32string imageIn(const std::map<std::uint32_t, std::u32string> &fold, std::uint32_t c)
{
    auto it = fold.find(c);
    return it == fold.end() ? std::u32string(1, static_cast<char32_t>(c)) : it->second;
}

// At every code point: each set as Python's, every bit of the property byte
// the union of its tables, and B.2 and B.3 as Unicode 3.2; the property byte
// of a value outside the code space is 0.
TEST(StringprepTables, InternalTablesEqualTheOraclesEverywhere)
{
    auto sets = pythonSets();
    auto folds = caseFolds();
    ASSERT_EQ(sets.size(), std::size(kSetTables));
    ASSERT_EQ(folds["B.2"].size(), 1371u);
    ASSERT_EQ(folds["B.3"].size(), 838u);
    std::vector<const std::vector<bool> *> python;
    for (const SetTable &table : kSetTables)
        python.push_back(&sets.at(table.name));
    for (std::uint32_t c = 0; c < kCodeSpace; ++c) {
        std::uint8_t expected = 0;
        for (const SetTable &table : kSetTables) {
            if (table.member(c) != (*python[static_cast<std::size_t>(&table - kSetTables)])[c])
                FAIL() << table.name << " differs from Python at U+" << std::hex << c;
            if (table.propertyBit && table.member(c) && !(table.propertyOutsideAsciiOnly && c < 0x80))
                expected |= table.propertyBit;
        }
        PB_CHAR image[kMaxCaseFoldImage];
        int n = caseFoldNfkc(c, image);
        if (n != 1 || image[0] != static_cast<PB_CHAR>(c))
            expected |= kPropCaseFoldNfkc;
        ASSERT_EQ(property(c), expected) << "U+" << std::hex << c;
        if (isSurrogate(c))
            continue;
        ASSERT_EQ(std::u32string(image, image + n), imageIn(folds["B.2"], c)) << "B.2 U+" << std::hex << c;
        n = caseFoldNoNormalization(c, image);
        ASSERT_EQ(std::u32string(image, image + n), imageIn(folds["B.3"], c)) << "B.3 U+" << std::hex << c;
    }
    EXPECT_EQ(property(0x110000), 0);
    EXPECT_EQ(property(codePoint(-1)), 0);
}

// A string is free of D.1 exactly when IsROrAl holds for none of its code
// points.
PB_BOOL bidiFreeOfRandAL(PB_STRING *s)
{
    for (char32_t c : rfctest::chars(s)) {
        if (rfc___StringprepBidiIsROrAl(static_cast<PB_CHAR>(c)))
            return 0;
    }
    return 1;
}

// The exported predicates at both ends of each range of their sets and just
// outside them: a string with such a code point first, last, in the middle or
// alone is refused exactly when the code point is inside; the empty string
// passes.
TEST(StringprepTables, ExportedPredicatesAtRangeBoundaries)
{
    const struct {
        const char *sets; // the union of these
        PB_BOOL (*freeOf)(PB_STRING *);
    } predicates[] = {
        { "A.1", rfcStringprepUnassignedCheck }, { "C.1.1", rfcStringprepProhibitSpaceAscii },
        { "C.1.2", rfcStringprepProhibitSpaceNonAscii }, { "C.1.1 C.1.2", rfcStringprepProhibitSpace },
        { "C.2.1", rfcStringprepProhibitControlAscii }, { "C.2.2", rfcStringprepProhibitControlNonAscii },
        { "C.2.1 C.2.2", rfcStringprepProhibitControl }, { "C.3", rfcStringprepProhibitPrivateUse },
        { "C.4", rfcStringprepProhibitNonCharacter }, { "C.5", rfcStringprepProhibitSurrogate },
        { "C.6", rfcStringprepProhibitInappropriateForPlainText }, { "C.7", rfcStringprepProhibitInappropriateForCanonical },
        { "C.8", rfcStringprepProhibitDisplayOrDeprecated }, { "C.9", rfcStringprepProhibitTagging }, { "D.1", bidiFreeOfRandAL },
    };
    auto sets = pythonSets();
    for (const auto &predicate : predicates) {
        std::vector<bool> set(kCodeSpace);
        std::istringstream names(predicate.sets);
        for (std::string name; names >> name;) {
            const std::vector<bool> &part = sets.at(name);
            for (std::uint32_t c = 0; c < kCodeSpace; ++c)
                set[c] = set[c] || part[c];
        }
        EXPECT_EQ(predicate.freeOf(rfctest::string(std::u32string()).get()), 1) << predicate.sets;
        for (std::uint32_t c = 0; c < kCodeSpace; ++c) {
            if (set[c] == (c > 0 && set[c - 1]) && set[c] == (c + 1 < kCodeSpace && set[c + 1]))
                continue;
            for (const char32_t *before : { U"", U"a\u00E9" }) {
                for (const char32_t *after : { U"", U"b" }) {
                    auto s = rfctest::string(before + std::u32string(1, static_cast<char32_t>(c)) + after);
                    ASSERT_EQ(predicate.freeOf(s.get()), set[c] ? 0 : 1) << predicate.sets << " U+" << std::hex << c;
                }
            }
        }
    }
}

// The four mappings over the whole code space, a block of 4096 code points
// at a time (far more than the room the mappings keep on the stack): each
// code point maps as its table says, into a new string of the caller's own;
// the source is left alone.
TEST(StringprepTables, MappingsOverTheWholeCodeSpace)
{
    auto sets = pythonSets();
    auto folds = caseFolds();
    const struct {
        const char *table;
        PB_STRING *(*map)(PB_STRING *);
    } mappings[] = { { "B.1", rfcStringprepMapToNothing }, { "C.1.2", rfcStringprepMapSpaceNonAsciiToSpace },
        { "B.2", rfcStringprepMapForCaseFoldingNFKC }, { "B.3", rfcStringprepMapForCaseFoldingNoNormalization } };
    for (const auto &mapping : mappings) {
        const std::string table = mapping.table;
        const std::vector<bool> &set = sets[table];
        const auto &fold = folds[table];
        for (std::uint32_t block = 0; block <= kCodeSpace; block += 0x1000) {
            std::u32string input, expected; // the last block is the empty string
            for (std::uint32_t c = block; c < std::min(block + 0x1000, kCodeSpace); ++c) {
                input += static_cast<char32_t>(c);
                if (!set.empty())
                    expected += set[c] ? std::u32string(table == "B.1" ? U"" : U" ") : input.substr(input.size() - 1);
                else
                    expected += imageIn(fold, c);
            }
            auto source = rfctest::string(input);
            pb::Ref<PB_STRING> mapped(mapping.map(source.get()));
            ASSERT_EQ(formatChars(rfctest::chars(mapped.get())), formatChars(expected)) << table << " block U+" << std::hex << block;
            ASSERT_NE(mapped.get(), source.get()) << table;
            EXPECT_EQ(pbObjRefCount(pb::obj(mapped.get())), 1) << table;
            EXPECT_EQ(pbObjRefCount(pb::obj(source.get())), 1) << table;
            EXPECT_EQ(rfctest::chars(source.get()), input) << table;
        }
    }
}

// NFKC of every code point against unicodedata.ucd_3_2_0, with the vectors
// the runtime's own NFKC tests read, and composition across code points.
TEST(StringprepTables, NormalizationOfEveryCodePoint)
{
    std::vector<std::u32string> expected(kCodeSpace);
    for (const auto &row : rfctest::readTsv("nfkc/nfkc_single.tsv"))
        expected.at(std::stoul(row.at(0), nullptr, 16)) = sptest::parseChars(row.at(1));
    for (char32_t c = 0; c < kCodeSpace; ++c) {
        if (c >= 0xD800 && c <= 0xDFFF)
            continue;
        pb::Ref<PB_STRING> normal(rfcStringprepNormalizationNFKC(rfctest::string(std::u32string(1, c)).get()));
        ASSERT_EQ(formatChars(rfctest::chars(normal.get())), formatChars(expected[c].empty() ? std::u32string(1, c) : expected[c]))
            << "NFKC of U+" << std::hex << static_cast<unsigned>(c);
    }
    auto composed = rfctest::string(std::u32string(U"A\u030A\uFB01"));
    pb::Ref<PB_STRING> normal(rfcStringprepNormalizationNFKC(composed.get()));
    EXPECT_EQ(rfctest::chars(normal.get()), U"\u00C5fi");
    EXPECT_EQ(rfctest::chars(composed.get()), U"A\u030A\uFB01") << "the source is left alone";
}

} // namespace
