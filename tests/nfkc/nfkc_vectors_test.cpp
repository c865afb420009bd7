// NFKC against independent oracles: every code point and generated
// sequences against Python's unicodedata.ucd_3_2_0 (tools/gen_nfkc_vectors.py),
// and the published Unicode 3.2 NFKC cases of libidn and Perl's
// Unicode::Stringprep, with the cases where those peers disagree decided.
#include "nfkc_test_util.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

using nfkctest::format;
using nfkctest::nfkc;
using nfkctest::parse;

// Every code point but the surrogates, alone: the listed ones normalise to
// their listed form, every other one is left as it is, in the same object.
TEST(NfkcVectors, EveryCodePointMatchesPython)
{
    std::map<char32_t, std::u32string> changed;
    for (const auto &row : rfctest::readTsv("nfkc/nfkc_single.tsv")) {
        ASSERT_EQ(row.size(), 2u);
        std::u32string key = parse(row[0]);
        ASSERT_EQ(key.size(), 1u);
        changed[key[0]] = parse(row[1]);
    }
    ASSERT_EQ(changed.size(), 4238u);

    std::vector<std::string> failures;
    PB_INT unchanged = 0;
    for (char32_t cp = 0; cp <= 0x10FFFF; ++cp) {
        if (cp >= 0xD800 && cp <= 0xDFFF)
            continue;
        pb::Ref<PB_STRING> s = rfctest::string(std::u32string(1, cp));
        PB_STRING *before = s.get();
        pbStringNormalize(s.addr(), PB_STRING_NORMALIZE_NFKC);
        auto it = changed.find(cp);
        if (it == changed.end()) {
            ++unchanged;
            if (s.get() != before || rfctest::chars(s.get()) != std::u32string(1, cp))
                failures.push_back(format(std::u32string(1, cp)) + ": changed");
        } else if (rfctest::chars(s.get()) != it->second) {
            failures.push_back(format(std::u32string(1, cp)) + ": " +
                format(rfctest::chars(s.get())) + ", expected " + format(it->second));
        }
    }
    EXPECT_EQ(unchanged, 0x110000 - 0x800 - 4238);
    EXPECT_TRUE(failures.empty()) << failures.size() << " code points differ, first: "
                                  << failures.front();
}

// Composition, blocked and unblocked marks, reordering, Hangul, singletons,
// exclusions, compatibility forms followed by marks and random mixtures;
// each row's form is itself in NFKC.
TEST(NfkcVectors, SequencesMatchPython)
{
    auto rows = rfctest::readTsv("nfkc/nfkc_sequences.tsv");
    ASSERT_GE(rows.size(), 8000u);
    for (const auto &row : rows) {
        ASSERT_EQ(row.size(), 3u);
        const std::u32string expected = parse(row[2]);
        EXPECT_EQ(format(nfkc(parse(row[1]))), row[2]) << row[0] << ": " << row[1];
        EXPECT_EQ(format(nfkc(expected)), row[2]) << row[0] << ": form of " << row[1];
    }
}

// Where the published peers disagree, our answer is the Unicode 3.2 data
// with the corrected composition rule, which is what Python's ucd_3_2_0
// computes for characters assigned in Unicode 3.2.
struct Decision {
    const char *source;
    const char *input;
    const char *ours;
    const char *why;
};

constexpr Decision kDecisions[] = {
    { "libidn", "1100 0300 1161", "1100 0300 1161",
        "PR-29: U+0300 blocks U+1161 from U+1100; libidn composes as before the correction, "
        "Python ucd_3_2_0 and ICU do not" },
    { "libidn", "0B47 0300 0B3E", "0B47 0300 0B3E",
        "PR-29: U+0300 blocks U+0B3E from U+0B47; libidn composes, Python ucd_3_2_0 does not" },
    { "perlUS", "0B47 0300 0B3E", "0B47 0300 0B3E",
        "PR-29: Perl refuses the sequence; we leave it uncomposed as Python ucd_3_2_0 does" },
    { "perlUS", "1100 0300 1161", "1100 0300 1161",
        "PR-29: Perl refuses the sequence; we leave it uncomposed as Python ucd_3_2_0 does" },
    { "perlUS", "1100 0300 1161 0323", "1100 0300 1161 0323",
        "PR-29: Perl refuses; U+1161 is a starter, so nothing reorders across it" },
};

TEST(NfkcVectors, PublishedUnicode32Cases)
{
    auto rows = rfctest::readTsv("nfkc/nfkc_unicode32.tsv");
    ASSERT_EQ(rows.size(), 21u); // the column heading and 20 cases
    std::size_t decided = 0;
    for (const auto &row : rows) {
        ASSERT_EQ(row.size(), 4u);
        if (row[0] == "source")
            continue;
        const Decision *decision = nullptr;
        for (const auto &d : kDecisions) {
            if (row[0] == d.source && row[1] == d.input)
                decision = &d;
        }
        std::string got = format(nfkc(parse(row[1])));
        if (decision) {
            ++decided;
            EXPECT_EQ(got, decision->ours) << row[0] << " " << row[1] << ": " << decision->why;
        } else {
            ASSERT_NE(row[2], "ERROR") << row[0] << " " << row[1] << " needs a decision";
            EXPECT_EQ(got, row[2]) << row[0] << " " << row[1] << " (" << row[3] << ")";
        }
    }
    EXPECT_EQ(decided, std::size(kDecisions));
}

// Corrigendum 4 corrected five CJK compatibility decompositions after
// Unicode 3.2. Python's ucd_3_2_0, libidn and Perl keep the 3.2 values, ICU
// (with its 3.2 option) applies the correction; we keep the 3.2 data.
TEST(NfkcVectors, Corrigendum4KeepsTheUnicode32Values)
{
    struct Row {
        char32_t input;
        char32_t unicode32;
        char32_t corrected;
    };
    constexpr Row rows[] = {
        { 0x2F868, 0x2136A, 0x36FC },
        { 0x2F874, 0x5F33, 0x5F53 },
        { 0x2F91F, 0x43AB, 0x243AB },
        { 0x2F95F, 0x7AAE, 0x7AEE },
        { 0x2F9BF, 0x4D57, 0x45D7 },
    };
    for (const Row &row : rows) {
        std::u32string got = nfkc(std::u32string(1, row.input));
        EXPECT_EQ(got, std::u32string(1, row.unicode32)) << format(std::u32string(1, row.input));
        EXPECT_NE(got, std::u32string(1, row.corrected));
    }
}

// Python's ucd_3_2_0 keeps characters unassigned in Unicode 3.2 unchanged
// but still orders and composes them by its own, later Unicode. The
// runtime's tables are Unicode 3.2's alone: such a code point has class 0,
// no decomposition and no composition. Each row states both answers.
TEST(NfkcVectors, CodePointsUnassignedInUnicode32)
{
    struct Row {
        const char *input;
        const char *ours;
        const char *python;
        const char *why;
    };
    constexpr Row rows[] = {
        { "1B05 1B35", "1B05 1B35", "1B06",
            "Balinese, added in 5.0: Python composes by the later pair" },
        { "0061 0350 0323", "0061 0350 0323", "1EA1 0350",
            "U+0350, added in 4.0, is a starter here and blocks U+0323" },
        { "1EA5 035D 0329", "1EA5 035D 0329", "1EA5 0329 035D",
            "U+035D, added in 4.0, has class 0 here, so nothing reorders (Perl agrees)" },
        { "1100 1161 11A7", "AC00 11A7", "AC00 11A7",
            "U+11A7 is no trailing consonant: the syllable takes none" },
        { "0041 0378 030A", "0041 0378 030A", "0041 0378 030A",
            "an unassigned starter between blocks the ring above" },
    };
    for (const Row &row : rows)
        EXPECT_EQ(format(nfkc(parse(row.input))), row.ours)
            << row.input << " (Python: " << row.python << "): " << row.why;
}

} // namespace
