// NFKC against independent oracles: every code point and generated
// sequences against Python's unicodedata.ucd_3_2_0 (tools/gen_nfkc_vectors.py),
// and the published Unicode 3.2 NFKC cases of libidn and Perl's
// Unicode::Stringprep, with the cases where those peers disagree decided.
#include "nfkc_test_util.h"

#include <pb/pb_string_normalize_chars.h>

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

// The entry point that also tells which leading and trailing code points it
// kept as they were (the profiles look again only at those between): on
// every generated sequence alone, after and before plain code points and
// doubled, the result is Python's form (or, for the combinations, that of
// pbStringNormalize), the head and tail it reports are the input's own, and
// nothing is reported kept that might have changed.
TEST(NfkcVectors, KeptHeadAndTailAreTheInput)
{
    auto rows = rfctest::readTsv("nfkc/nfkc_sequences.tsv");
    ASSERT_GE(rows.size(), 8000u);
    int reportedTails = 0;
    for (const auto &row : rows) {
        const std::string forms[][2] = {
            { row[1], row[2] },
            { "0061 " + row[1] + " 0062 0063", "" },
            { row[1] + " " + row[1], "" },
        };
        for (const auto &[input, python] : forms) {
            const std::u32string in = parse(input);
            PB_INT head = -1;
            PB_INT tail = -1;
            pb::Ref<PB_STRING> s(pb___StringCreateNormalizedFromCharsKept(reinterpret_cast<const PB_CHAR *>(in.data()),
                static_cast<PB_INT>(in.size()), PB_STRING_NORMALIZE_NFKC, &head, &tail));
            const std::u32string out = rfctest::chars(s.get());
            const auto count = static_cast<PB_INT>(in.size());
            EXPECT_EQ(format(out), python.empty() ? nfkc(input) : python) << row[0] << ": " << input;
            ASSERT_TRUE(head >= 0 && tail >= 0 && head <= count) << input;
            if (head == count) {
                EXPECT_EQ(tail, 0) << input;
                EXPECT_EQ(out, in) << input;
                continue;
            }
            ASSERT_LT(head + tail, count) << input;
            ASSERT_LE(head + tail, static_cast<PB_INT>(out.size())) << input;
            EXPECT_EQ(out.substr(0, static_cast<std::size_t>(head)), in.substr(0, static_cast<std::size_t>(head)))
                << input;
            EXPECT_EQ(out.substr(out.size() - static_cast<std::size_t>(tail)),
                in.substr(in.size() - static_cast<std::size_t>(tail)))
                << input;
            reportedTails += tail > 0;
        }
    }
    // Most sequences end on a code point that may change; those followed by
    // plain code points report them.
    EXPECT_GE(reportedTails, 8000);
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
