// pbStringNormalize as a string operation: what it does to the caller's
// reference and to other holders, the strings it leaves alone, values that
// are no code points, long runs of marks, and its contract.
#include "nfkc_test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

using nfkctest::format;
using nfkctest::nfkc;
using nfkctest::parse;

// Strings already in NFKC keep their object: nothing is allocated (each code
// point alone is checked against the generated vectors). The
// caller's reference to a shared string receives a new one; the other holder
// still sees its old content.
TEST(NfkcString, ObjectsKeptChangedAndShared)
{
    const char *const unchanged[] = {
        "",                              // empty
        "0048 0065 006C 006C 006F 000A", // ASCII
        "AC00 AC01 D7A3",                // Hangul syllables
        "0061 0591 05A2",                // marks that need no ordering
        "0078 0301",                     // a mark that could compose but does not
    };
    for (const char *row : unchanged) {
        pb::Ref<PB_STRING> s = rfctest::string(parse(row));
        PB_STRING *before = s.get();
        pbStringNormalize(s.addr(), PB_STRING_NORMALIZE_NFKC);
        EXPECT_EQ(s.get(), before) << row;
        EXPECT_EQ(format(rfctest::chars(s.get())), row);
    }

    pb::Ref<PB_STRING> original = rfctest::string(parse("0041 030A FB01"));
    pb::Ref<PB_STRING> mine = pb::Ref<PB_STRING>::retained(original.get());
    pbStringNormalize(mine.addr(), PB_STRING_NORMALIZE_NFKC);
    EXPECT_EQ(format(rfctest::chars(mine.get())), "00C5 0066 0069");
    EXPECT_EQ(format(rfctest::chars(original.get())), "0041 030A FB01");
    EXPECT_EQ(pbObjRefCount(pbStringObj(original.get())), 1);
    EXPECT_EQ(pbObjRefCount(pbStringObj(mine.get())), 1);
}

// Cases that catch faults in the segment handling around the quick check
// (the generated sequences hold plain compositions, singletons and
// exclusions): the change at the start or the end, and code points that look
// like starters but reach back. Expected forms are those of Python's
// ucd_3_2_0.
TEST(NfkcString, SegmentsAroundTheQuickCheck)
{
    struct Row {
        const char *input;
        const char *expected;
        const char *rule;
    };
    const Row rows[] = {
        { "FB01", "0066 0069", "a ligature alone" },
        { "0061 0062 0063 0064 0065 0301", "0061 0062 0063 0064 00E9", "change at the end" },
        { "0301 0041", "0301 0041", "a leading mark has no starter" },
        { "0301 0323 0041", "0323 0301 0041", "leading marks are still ordered" },
        { "0041 0327 0301 0323", "1EA0 0327 0301", "ordered, then composed past a lower class" },
        { "FF21 030A", "00C5", "a compatibility form composes with the next mark" },
        { "AC00 11A8 0041", "AC01 0041", "a syllable takes a trailing consonant" },
        { "0041 FFFF 030A", "0041 FFFF 030A", "a noncharacter is a starter that blocks" },
        { "00E9 0323", "1EB9 0301", "a precomposed letter reopens for a lower mark after it" },
        { "1100 314F", "AC00", "a compatibility jamo decomposes to a vowel that composes back" },
        { "0F72 0F73", "0F71 0F72 0F72", "a class-0 letter decomposing to marks orders with those before" },
        { "0061 0302 0323 1161", "1EAD 1161", "marks are ordered, but not past a vowel of class 0 after them" },
        { "1100 0302 0323 1161", "1100 0323 0302 1161",
            "a vowel after marks no longer composes with its leading consonant" },
        { "0061 0301 0300 0315 0323 11A8", "1EA1 0301 0300 0315 11A8",
            "a run of marks ordered before a trailing consonant, which stays last" },
        { "0041 D800 030A DFFF FB01", "0041 D800 030A DFFF 0066 0069",
            "surrogates pass through as starters nothing composes with" },
    };
    for (const Row &row : rows)
        EXPECT_EQ(nfkc(row.input), row.expected) << row.input << ": " << row.rule;
}

// A long run of marks in shuffled order comes out stably sorted by class
// after its starter (U+05D0 composes with none of them). The classes are
// those of Unicode 3.2.
TEST(NfkcString, LongRunsOfMarksSortStably)
{
    const std::pair<char32_t, int> marks[] = { { 0x0301, 230 }, { 0x0323, 220 }, { 0x0327, 202 }, { 0x05B0, 10 },
        { 0x0334, 1 }, { 0x0302, 230 }, { 0x0300, 230 } };
    std::mt19937 random(3454);
    for (int length : { 2, 17, 40, 300 }) {
        std::vector<std::pair<char32_t, int>> run;
        for (int i = 0; i < length; ++i)
            run.push_back(marks[random() % std::size(marks)]);
        std::u32string input = U"\u05D0";
        for (const auto &m : run)
            input += m.first;
        std::stable_sort(run.begin(), run.end(), [](const auto &a, const auto &b) { return a.second < b.second; });
        std::u32string expected = U"\u05D0";
        for (const auto &m : run)
            expected += m.first;
        EXPECT_EQ(nfkc(format(input)), format(expected)) << "run of " << length;
    }
}

// A long text normalises as the concatenation of its pieces, which are
// separated by boundaries (ASCII letters). Pieces that grow (U+FDFA alone is
// 18 code points) or shrink make the result outgrow its first allocation and
// give back what it does not use; the result is an ordinary string that grows.
TEST(NfkcString, LongTextIsTheConcatenationOfItsPieces)
{
    const char *const pieces[] = { "0041 030A", "FB01", "1100 1161 11A8", "FDFA", "FDFA", "00C5", "0301 0323",
        "03D3", "2F868", "3300", "0065 0323 0302", "0065 0301" };
    std::string input, expected;
    std::mt19937 random(6);
    for (int i = 0; i < 2000; ++i) {
        const char *piece = pieces[random() % std::size(pieces)];
        input += std::string(piece) + " 0078 ";
        expected += nfkc(piece) + " 0078 ";
    }
    pb::Ref<PB_STRING> s = rfctest::string(parse(input));
    pbStringNormalize(s.addr(), PB_STRING_NORMALIZE_NFKC);
    pbStringAppendChar(s.addr(), 0x2E);
    EXPECT_EQ(format(rfctest::chars(s.get())), format(parse(expected + " 002E")));
}

TEST(NfkcStringDeathTest, ContractViolations)
{
    const std::string where = "source/pb/pb_string_normalize:[0-9]+: contract violation: ";
    EXPECT_DEATH(pbStringNormalize(nullptr, PB_STRING_NORMALIZE_NFKC), where + "s\n");
    PB_STRING *none = nullptr;
    EXPECT_DEATH(pbStringNormalize(&none, PB_STRING_NORMALIZE_NFKC), where + "\\*s\n");
    pb::Ref<PB_STRING> s = rfctest::string(parse("0041"));
    EXPECT_DEATH(pbStringNormalize(s.addr(), 2), where + "form == 1\n");
}

} // namespace
