// pbStringNormalize as a string operation: what it does to the caller's
// reference and to other holders, the strings it leaves alone, values that
// are no code points, long runs of marks, and its contract.
#include "nfkc_test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

namespace {

using nfkctest::format;
using nfkctest::nfkc;
using nfkctest::parse;

// Strings already in NFKC keep their object: nothing is allocated.
TEST(NfkcString, StringsInNfkcKeepTheirObject)
{
    const char *const rows[] = {
        "",                              // empty
        "0048 0065 006C 006C 006F 000A", // ASCII
        "00C5 00E9 00DF 00FC",           // precomposed Latin
        "03B1 03B2 03AC 1F00",           // Greek
        "AC00 AC01 D7A3",                // Hangul syllables
        "4E00 9FA5 20000",               // CJK
        "0061 0591 05A2",                // marks that need no ordering
        "0078 0301",                     // a mark that could compose but does not
        "0041 0000 007F 009F",           // C0 and C1 controls
    };
    for (const char *row : rows) {
        pb::Ref<PB_STRING> s = rfctest::string(parse(row));
        PB_STRING *before = s.get();
        pbStringNormalize(s.addr(), PB_STRING_NORMALIZE_NFKC);
        EXPECT_EQ(s.get(), before) << row;
        EXPECT_EQ(format(rfctest::chars(s.get())), format(parse(row))) << row;
    }
}

// The caller's reference receives the new string; another holder of the
// old one still sees its old content.
TEST(NfkcString, CopyOnWriteLeavesOtherHoldersAlone)
{
    pb::Ref<PB_STRING> original = rfctest::string(parse("0041 030A FB01"));
    pb::Ref<PB_STRING> mine = pb::Ref<PB_STRING>::retained(original.get());
    pbStringNormalize(mine.addr(), PB_STRING_NORMALIZE_NFKC);
    EXPECT_NE(mine.get(), original.get());
    EXPECT_EQ(format(rfctest::chars(mine.get())), "00C5 0066 0069");
    EXPECT_EQ(format(rfctest::chars(original.get())), "0041 030A FB01");
    EXPECT_EQ(pbObjRefCount(pbStringObj(original.get())), 1);
    EXPECT_EQ(pbObjRefCount(pbStringObj(mine.get())), 1);
}

// A sole holder's old string is released with the change (the test main
// fails a test that leaves an object alive); the result is an ordinary
// string that grows like any other.
TEST(NfkcString, SoleHolderGetsAWorkingString)
{
    pb::Ref<PB_STRING> s = rfctest::string(parse("FDFA"));
    pbStringNormalize(s.addr(), PB_STRING_NORMALIZE_NFKC);
    EXPECT_EQ(pbStringLength(s.get()), 18);
    pbStringAppendChar(s.addr(), 0x21);
    EXPECT_EQ(pbStringLength(s.get()), 19);
    EXPECT_EQ(pbStringCharAt(s.get(), 0), 0x0635);
    EXPECT_EQ(pbStringCharAt(s.get(), 18), 0x21);
}

// Cases that catch faults in the segment handling around the quick check:
// the change at the start or the end, a composition whose starter lies
// before the first code point that fails the quick check, and code points
// that look like starters but reach back. Expected forms are those of
// Python's ucd_3_2_0.
TEST(NfkcString, SegmentsAroundTheQuickCheck)
{
    struct Row {
        const char *input;
        const char *expected;
        const char *rule;
    };
    const Row rows[] = {
        { "FB01", "0066 0069", "a ligature alone" },
        { "0041 030A", "00C5", "the starter precedes the failing mark" },
        { "0061 0062 0063 0064 0065 0301", "0061 0062 0063 0064 00E9", "change at the end" },
        { "0301 0041", "0301 0041", "a leading mark has no starter" },
        { "0301 0323 0041", "0323 0301 0041", "leading marks are still ordered" },
        { "0041 0327 0301 0323", "1EA0 0327 0301", "ordered, then composed past a lower class" },
        { "FF21 030A", "00C5", "a compatibility form composes with the next mark" },
        { "00C5 0301", "01FA", "a precomposed starter composes further" },
        { "212B 0301", "01FA", "a singleton decomposes, then composes" },
        { "AC00 11A8 0041", "AC01 0041", "a syllable takes a trailing consonant" },
        { "0041 FFFF 030A", "0041 FFFF 030A", "a noncharacter is a starter that blocks" },
        { "00E9 0323", "1EB9 0301", "a precomposed letter reopens for a lower mark after it" },
        { "1100 314F", "AC00", "a compatibility jamo decomposes to a vowel that composes back" },
        { "0F72 0F73", "0F71 0F72 0F72", "a class-0 letter decomposing to marks orders with those before" },
        { "0915 093C", "0915 093C", "an excluded composite is not formed" },
    };
    for (const Row &row : rows)
        EXPECT_EQ(format(nfkc(parse(row.input))), row.expected) << row.input << ": " << row.rule;
}

// Values that are no code points (surrogates, negative values, values above
// U+10FFFF) pass through unchanged, as starters that nothing composes with.
TEST(NfkcString, ValuesThatAreNoCodePointsPassThrough)
{
    const std::u32string input = { U'A', 0xD800, 0x030A, 0x110000, 0x7FFFFFFF, 0xFFFFFFFF, 0xFB01 };
    const std::u32string expected = { U'A', 0xD800, 0x030A, 0x110000, 0x7FFFFFFF, 0xFFFFFFFF, U'f', U'i' };
    EXPECT_EQ(format(nfkc(input)), format(expected));
}

// A long run of marks in shuffled order comes out stably sorted by class
// after its starter (U+05D0 composes with none of them). The classes are
// those of Unicode 3.2: U+0334 1, U+05B0 10, U+0327 202, U+0323 220,
// U+0301 230.
TEST(NfkcString, LongRunsOfMarksSortStably)
{
    struct Mark {
        char32_t cp;
        int ccc;
    };
    const Mark marks[] = { { 0x0301, 230 }, { 0x0323, 220 }, { 0x0327, 202 }, { 0x05B0, 10 },
        { 0x0334, 1 }, { 0x0302, 230 }, { 0x0300, 230 } };
    std::mt19937 random(3454);
    for (int length : { 2, 17, 40, 300 }) {
        std::vector<Mark> run;
        for (int i = 0; i < length; ++i)
            run.push_back(marks[random() % std::size(marks)]);
        std::u32string input = U"\u05D0";
        for (const Mark &m : run)
            input += m.cp;
        std::stable_sort(run.begin(), run.end(), [](const Mark &a, const Mark &b) { return a.ccc < b.ccc; });
        std::u32string expected = U"\u05D0";
        for (const Mark &m : run)
            expected += m.cp;
        EXPECT_EQ(format(nfkc(input)), format(expected)) << "run of " << length;
    }
}

// A long text of mixed content normalises as the concatenation of its
// pieces, which are separated by boundaries (ASCII letters).
TEST(NfkcString, LongTextIsTheConcatenationOfItsPieces)
{
    const char *const pieces[] = { "0041 030A", "FB01", "1100 1161 11A8", "FDFA", "00C5", "0301 0323",
        "03D3", "2F868", "3300", "0065 0323 0302" };
    std::u32string input;
    std::u32string expected;
    std::mt19937 random(6);
    for (int i = 0; i < 500; ++i) {
        const std::u32string piece = parse(pieces[random() % std::size(pieces)]);
        input += piece;
        input += U'x';
        expected += nfkc(piece);
        expected += U'x';
    }
    EXPECT_EQ(nfkc(input), expected);
}

using NfkcStringDeathTest = testing::Test;

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
