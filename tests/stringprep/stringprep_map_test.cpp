// The four mapping functions and NFKC: table rows with the rule each checks,
// and the ownership rules (a mapping always makes a new string; the source
// never changes).
#include "stringprep_support.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

namespace {

using Map = PB_STRING *(*)(PB_STRING *);

struct MapRow {
    const char *rule;
    Map map;
    std::u32string input;
    std::u32string expected;
};

const Map B1 = rfcStringprepMapToNothing;
const Map B2 = rfcStringprepMapForCaseFoldingNFKC;
const Map B3 = rfcStringprepMapForCaseFoldingNoNormalization;
const Map C12 = rfcStringprepMapSpaceNonAsciiToSpace;

const MapRow kMapRows[] = {
    { "B.1 drops the soft hyphen between letters", B1, U"a\u00ADb", U"ab" },
    { "B.1 drops variation selector 16, ZWSP, word joiner, ZWNBSP", B1, U"\uFE0F\u200Bx\u2060\uFEFF", U"x" },
    { "B.1 keeps U+180E (not in B.1) and U+0020", B1, U"\u180E \u180D", U"\u180E " },
    { "B.1 drops a string entirely", B1, U"\u034F\u1806\u180B", U"" },
    { "B.1 drops U+FE00 and U+FE0F, keeps U+FDFF and U+FE10", B1, U"\uFDFF\uFE00\uFE0F\uFE10", U"\uFDFF\uFE10" },
    { "C.1.2 maps U+00A0, U+200B, U+3000 to U+0020", C12, U"\u00A0a\u200Bb\u3000", U" a b " },
    { "C.1.2 keeps U+0020 one space and U+180E", C12, U" \u180E", U" \u180E" },
    { "C.1.2 maps U+1680, U+2000, U+200A, U+202F, U+205F", C12, U"\u1680\u2000\u200A\u202F\u205F", U"     " },
    { "C.1.2 keeps U+1FFF, U+200C, U+2060 (outside the table)", C12, U"\u1FFF\u200C\u2060", U"\u1FFF\u200C\u2060" },
    { "B.2 folds U+0041", B2, U"A", U"a" },
    { "B.2 U+00DF to ss", B2, U"\u00DF", U"ss" },
    { "B.2 U+0130 to i + dot above", B2, U"\u0130", U"i\u0307" },
    { "B.2 U+0390 to three", B2, U"\u0390", U"\u03B9\u0308\u0301" },
    { "B.2 U+1F80", B2, U"\u1F80", U"\u1F00\u03B9" },
    { "B.2 U+1FB7", B2, U"\u1FB7", U"\u03B1\u0342\u03B9" },
    { "B.2 U+1FE6", B2, U"\u1FE6", U"\u03C5\u0342" },
    { "B.2 U+10400 (plane 1)", B2, U"\U00010400", U"\U00010428" },
    { "B.2 U+03F2 (folded in Unicode 3.2)", B2, U"\u03F2", U"\u03C3" },
    { "B.2 only: U+2121", B2, U"\u2121", U"tel" },
    { "B.2 only: U+33C6 maps to four", B2, U"\u33C6", U"c\u2215kg" },
    { "B.2 only: U+1D400", B2, U"\U0001D400", U"a" },
    { "B.2 last key U+1D7BB", B2, U"\U0001D7BB", U"\u03C3" },
    { "B.2 keeps later case pairs U+023A U+04C0 U+10A0 U+13A0 U+2132", B2, U"\u023A\u04C0\u10A0\u13A0\u2132", U"\u023A\u04C0\u10A0\u13A0\u2132" },
    { "B.2 maps code point by code point", B2, U"Stra\u00DFe", U"strasse" },
    { "B.2 leaves small letters, digits and unassigned code points", B2, U"az09@[\u0221", U"az09@[\u0221" },
    { "B.3 folds U+0041", B3, U"A", U"a" },
    { "B.3 U+00DF to ss", B3, U"\u00DF", U"ss" },
    { "B.3 U+0130", B3, U"\u0130", U"i\u0307" },
    { "B.3 U+0390", B3, U"\u0390", U"\u03B9\u0308\u0301" },
    { "B.3 U+1F80", B3, U"\u1F80", U"\u1F00\u03B9" },
    { "B.3 U+1FB7", B3, U"\u1FB7", U"\u03B1\u0342\u03B9" },
    { "B.3 U+1FE6", B3, U"\u1FE6", U"\u03C5\u0342" },
    { "B.3 U+10400", B3, U"\U00010400", U"\U00010428" },
    { "B.3 last key U+10425", B3, U"\U00010425", U"\U0001044D" },
    { "B.3 U+03F2", B3, U"\u03F2", U"\u03C3" },
    { "B.3 keeps U+2121, U+33C6, U+1D400 (B.2 only)", B3, U"\u2121\u33C6\U0001D400", U"\u2121\u33C6\U0001D400" },
    { "B.3 keeps U+023A U+04C0 U+10A0 U+13A0 U+2132", B3, U"\u023A\u04C0\u10A0\u13A0\u2132", U"\u023A\u04C0\u10A0\u13A0\u2132" },
};

TEST(StringprepMap, Rows)
{
    for (const MapRow &row : kMapRows) {
        auto source = rfctest::string(row.input);
        pb::Ref<PB_STRING> mapped(row.map(source.get()));
        ASSERT_TRUE(mapped) << row.rule;
        EXPECT_EQ(sptest::formatChars(rfctest::chars(mapped.get())), sptest::formatChars(row.expected)) << row.rule;
        EXPECT_NE(mapped.get(), source.get()) << row.rule << ": a mapping makes a new string";
        EXPECT_EQ(rfctest::chars(source.get()), row.input) << row.rule << ": the source is unchanged";
    }
}

// Every mapping gives a new string, also for an empty source and one it
// leaves unchanged; the caller owns it alone.
TEST(StringprepMap, AlwaysANewString)
{
    for (Map map : { B1, B2, B3, C12 }) {
        for (const char32_t *text : { U"", U"abc", U"\u05D0\u05D1" }) {
            auto source = rfctest::string(std::u32string_view(text));
            pb::Ref<PB_STRING> mapped(map(source.get()));
            EXPECT_NE(mapped.get(), source.get());
            EXPECT_EQ(pbObjRefCount(pb::obj(mapped.get())), 1);
            EXPECT_EQ(pbObjRefCount(pb::obj(source.get())), 1);
            EXPECT_EQ(rfctest::chars(mapped.get()), std::u32string(text));
        }
    }
}

// Strings longer than the room kept on the stack map the same way.
TEST(StringprepMap, LongStrings)
{
    std::u32string sharpS(300, U'\u00DF');
    std::u32string mixed;
    for (int i = 0; i < 200; ++i)
        mixed += U"A\u00AD\u3000\u33C6";
    struct {
        Map map;
        std::u32string input;
        std::u32string expected;
    } rows[] = {
        { B2, sharpS, std::u32string(600, U's') },
        { B3, sharpS, std::u32string(600, U's') },
        { B1, mixed, [] { std::u32string e; for (int i = 0; i < 200; ++i) e += U"A\u3000\u33C6"; return e; }() },
        { C12, mixed, [] { std::u32string e; for (int i = 0; i < 200; ++i) e += U"A\u00AD \u33C6"; return e; }() },
        { B2, mixed, [] { std::u32string e; for (int i = 0; i < 200; ++i) e += U"a\u00AD\u3000c\u2215kg"; return e; }() },
        { B1, std::u32string(400, U'\u00AD'), U"" },
    };
    for (const auto &row : rows) {
        auto source = rfctest::string(row.input);
        pb::Ref<PB_STRING> mapped(row.map(source.get()));
        EXPECT_EQ(rfctest::chars(mapped.get()), row.expected);
    }
}

TEST(StringprepMap, NormalizationLeavesTheSource)
{
    struct {
        std::u32string input;
        std::u32string expected;
    } rows[] = {
        { U"\uFB01", U"fi" },     // compatibility ligature
        { U"A\u030A", U"\u00C5" }, // canonical composition
        { U"", U"" },
    };
    for (const auto &row : rows) {
        auto source = rfctest::string(row.input);
        pb::Ref<PB_STRING> normal(rfcStringprepNormalizationNFKC(source.get()));
        EXPECT_EQ(rfctest::chars(normal.get()), row.expected);
        EXPECT_EQ(rfctest::chars(source.get()), row.input);
    }
}

// NFKC of every code point against Python's unicodedata.ucd_3_2_0, with the
// vectors the runtime's own NFKC tests read.
TEST(StringprepMap, NormalizationOfEveryCodePoint)
{
    std::vector<std::u32string> expected(0x110000);
    for (const auto &row : rfctest::readTsv("nfkc/nfkc_single.tsv"))
        expected.at(std::stoul(row.at(0), nullptr, 16)) = sptest::parseChars(row.at(1));
    int mismatches = 0;
    for (char32_t c = 0; c < 0x110000 && mismatches < 10; ++c) {
        if (c >= 0xD800 && c <= 0xDFFF)
            continue;
        auto source = rfctest::string(sptest::one(c));
        pb::Ref<PB_STRING> normal(rfcStringprepNormalizationNFKC(source.get()));
        std::u32string want = expected[c].empty() ? sptest::one(c) : expected[c];
        if (rfctest::chars(normal.get()) != want) {
            ADD_FAILURE() << "NFKC of U+" << std::hex << static_cast<unsigned>(c) << " gives "
                          << sptest::formatChars(rfctest::chars(normal.get())) << ", expected " << sptest::formatChars(want);
            ++mismatches;
        }
    }
}

TEST(StringprepMapDeathTest, NullSource)
{
    EXPECT_DEATH(rfcStringprepMapToNothing(nullptr), "source/rfc/stringprep/rfc_stringprep_map_to_nothing:[0-9]+: contract violation: source");
    EXPECT_DEATH(rfcStringprepMapForCaseFoldingNFKC(nullptr), "rfc_stringprep_map_for_case_folding_nfkc:[0-9]+: contract violation: source");
    EXPECT_DEATH(rfcStringprepMapSpaceNonAsciiToSpace(nullptr), "source/rfc/stringprep/rfc_stringprep_map_to_space:[0-9]+: contract violation: source");
}

} // namespace
