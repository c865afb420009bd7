// NFKC against independent oracles: every code point and generated
// sequences against Python's unicodedata.ucd_3_2_0 (tools/gen_nfkc_vectors.py),
// and the published Unicode 3.2 NFKC cases of libidn and Perl's
// Unicode::Stringprep, with the cases where those peers disagree decided.
#include "nfkc_test_util.h"


#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <map>
#include <string>

namespace {

using nfkctest::format;
using nfkctest::nfkc;
using nfkctest::parse;

// Every code point but the surrogates, alone: the listed ones normalise to
// their listed form, every other one is left as it is, in the same object.
// The list keeps the Unicode 3.2 values of the five CJK compatibility
// characters Corrigendum 4 corrected later (U+2F868 and others).
TEST(NfkcVectors, EveryCodePointMatchesPython)
{
    std::map<char32_t, std::u32string> changed;
    for (const auto &row : rfctest::readTsv("nfkc/nfkc_single.tsv")) {
        ASSERT_EQ(row.size(), 2u);
        ASSERT_EQ(parse(row[0]).size(), 1u);
        changed[parse(row[0])[0]] = parse(row[1]);
    }
    ASSERT_EQ(changed.size(), 4238u);
    PB_INT failures = 0;
    for (char32_t cp = 0; cp <= 0x10FFFF; ++cp) {
        if (cp >= 0xD800 && cp <= 0xDFFF)
            continue;
        pb::Ref<PB_STRING> s = rfctest::string(std::u32string(1, cp));
        PB_STRING *before = s.get();
        pbStringNormalize(s.addr(), PB_STRING_NORMALIZE_NFKC);
        auto it = changed.find(cp);
        const std::u32string expected = it == changed.end() ? std::u32string(1, cp) : it->second;
        if ((it == changed.end() && s.get() != before) || rfctest::chars(s.get()) != expected) {
            if (failures++ < 5)
                ADD_FAILURE() << format(std::u32string(1, cp)) << ": " << format(rfctest::chars(s.get()))
                              << (s.get() != before ? " (new object)" : "") << ", expected " << format(expected);
        }
    }
    EXPECT_EQ(failures, 0);
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
        EXPECT_EQ(nfkc(row[1]), row[2]) << row[0] << ": " << row[1];
        EXPECT_EQ(nfkc(row[2]), row[2]) << row[0] << ": form of " << row[1];
    }
}

// Where the published peers disagree, our answer is the Unicode 3.2 data
// with the corrected composition rule (PR-29), which is what Python's
// ucd_3_2_0 computes for characters assigned in Unicode 3.2.
struct Decision {
    const char *source;
    const char *input;
    const char *ours;
    const char *why;
};

constexpr Decision kDecisions[] = {
    { "libidn", "1100 0300 1161", "1100 0300 1161",
        "U+0300 blocks U+1161 from U+1100; libidn composes as before the correction, Python and ICU do not" },
    { "libidn", "0B47 0300 0B3E", "0B47 0300 0B3E", "U+0300 blocks U+0B3E from U+0B47; libidn composes, Python not" },
    { "perlUS", "0B47 0300 0B3E", "0B47 0300 0B3E", "Perl refuses; we leave it uncomposed as Python does" },
    { "perlUS", "1100 0300 1161", "1100 0300 1161", "Perl refuses; we leave it uncomposed as Python does" },
    { "perlUS", "1100 0300 1161 0323", "1100 0300 1161 0323",
        "Perl refuses; U+1161 is a starter, so nothing reorders across it" },
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
        auto decision = std::find_if(std::begin(kDecisions), std::end(kDecisions),
            [&row](const Decision &d) { return row[0] == d.source && row[1] == d.input; });
        if (decision != std::end(kDecisions)) {
            ++decided;
            EXPECT_EQ(nfkc(row[1]), decision->ours) << row[0] << " " << row[1] << ": " << decision->why;
        } else {
            ASSERT_NE(row[2], "ERROR") << row[0] << " " << row[1] << " needs a decision";
            EXPECT_EQ(nfkc(row[1]), row[2]) << row[0] << " " << row[1] << " (" << row[3] << ")";
        }
    }
    EXPECT_EQ(decided, std::size(kDecisions));
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
        { "1B05 1B35", "1B05 1B35", "1B06", "Balinese, added in 5.0: Python composes by the later pair" },
        { "0061 0350 0323", "0061 0350 0323", "1EA1 0350", "U+0350, added in 4.0, is a starter here and blocks U+0323" },
        { "1100 1161 11A7", "AC00 11A7", "AC00 11A7", "U+11A7 is no trailing consonant: the syllable takes none" },
        { "0041 0378 030A", "0041 0378 030A", "0041 0378 030A", "an unassigned starter between blocks the ring above" },
    };
    for (const Row &row : rows)
        EXPECT_EQ(nfkc(row.input), row.ours) << row.input << " (Python: " << row.python << "): " << row.why;
}

} // namespace
