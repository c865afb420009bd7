// The seven profiles: published and peer vectors, rows for each profile's
// own rules and for the bidi check, the ownership rules, a comparison with
// the profiles composed step by step from the exported functions in the
// order their RFCs give, and the contract violations of the steps.
#include "stringprep_support.h"
#include "support/test_support.h"

#include <rfc/stringprep/rfc_stringprep_internal.h>

#include <gtest/gtest.h>

#include <random>

namespace {

using sptest::formatChars;
using sptest::kProfiles;
using sptest::parseChars;

// The prepared code points or "REFUSED"; the source must be left alone.
std::string prepared(const std::string &profile, const std::u32string &input, PB_BOOL allowUnassigned)
{
    auto source = rfctest::string(input);
    pb::Ref<PB_STRING> result(sptest::profileByName(profile)(source.get(), allowUnassigned));
    EXPECT_EQ(rfctest::chars(source.get()), input) << profile << ": the source is unchanged";
    return result ? formatChars(rfctest::chars(result.get())) : "REFUSED";
}

std::string expectedOf(const std::string &field)
{
    return field == "REFUSED" ? field : formatChars(parseChars(field));
}

// Published vectors (source, profile, mode, input, expected, what), and the
// results on which libidn and ICU agree (profile, mode, input, expected).
TEST(StringprepProfile, PublishedAndPeerVectors)
{
    auto rows = rfctest::readTsv("stringprep/profile_vectors.tsv");
    ASSERT_EQ(rows.size(), 90u);
    for (const auto &row : rows) {
        ASSERT_EQ(row.size(), 6u);
        ASSERT_NE(sptest::profileByName(row[1]), nullptr) << row[1];
        EXPECT_EQ(prepared(row[1], parseChars(row[3]), row[2] == "query"), expectedOf(row[4])) << row[0] << " " << row[1] << " " << row[5];
    }
    rows = rfctest::readTsv("stringprep/peer_vectors.tsv");
    ASSERT_GT(rows.size(), 2900u);
    for (const auto &row : rows) {
        ASSERT_EQ(row.size(), 4u);
        EXPECT_EQ(prepared(row[0], parseChars(row[2]), row[1] == "query"), expectedOf(row[3])) << row[0] << " " << row[1] << ": " << row[2];
    }
}

TEST(StringprepProfile, Rows)
{
    const struct {
        const char *profile;
        PB_BOOL allowUnassigned;
        std::u32string input;
        const char *expected; // code points, or "REFUSED"
        const char *rule;
    } rows[] = {
    { "nameprep", 0, U"Ab\u00ADc", "0061 0062 0063", "B.1 then B.2" },
    { "nameprep", 0, U"A B", "0061 0020 0062", "ASCII space passes nameprep" },
    { "nameprep", 0, U"a\u0007b", "0061 0007 0062", "ASCII control passes nameprep" },
    { "nameprep", 1, U"\u0221", "0221", "query: unassigned allowed" },
    { "nameprep", 0, U"\u1680", "REFUSED", "C.1.2 not changed by NFKC" },
    { "iscsi", 0, U"A:B", "0061 003A 0062", "colon allowed" },
    { "iscsi", 0, U"a_b", "REFUSED", "low line" },
    { "iscsi", 0, U"a~b", "REFUSED", "tilde" },
    { "iscsi", 0, U"a\u3002b", "REFUSED", "ideographic full stop" },
    { "iscsi", 0, U"a\uFF0Eb", "0061 002E 0062", "fullwidth full stop becomes U+002E" },
    { "iscsi", 1, U"\u0221", "0221", "query" },
    { "nodeprep", 0, U"a'b", "REFUSED", "apostrophe" },
    { "nodeprep", 0, U"a\uFF20b", "REFUSED", "fullwidth @ becomes U+0040 before the check" },
    { "nodeprep", 0, U"a.b-c_d", "0061 002E 0062 002D 0063 005F 0064", "passes unchanged" },
    { "resourceprep", 0, U"Ab", "0041 0062", "case kept" },
    { "resourceprep", 0, U"a b@c", "0061 0020 0062 0040 0063", "ASCII space and @ pass" },
    { "saslprep", 0, U"a\u200Bb", "0061 0020 0062", "C.1.2 maps U+200B to space before B.1" },
    { "saslprep", 0, U"a b", "0061 0020 0062", "ASCII space passes" },
    { "trace", 0, U"\u3000\u2FF0\u00AD\u0221", "3000 2FF0 00AD 0221", "no mapping, no unassigned check, no C.7 (ICU refuses C.7 here; RFC 4505 and libidn do not)" },
    { "trace", 0, U"a\u0007", "REFUSED", "control" },
    { "policy-mib", 0, U"\u05D0A", "05D0 0041", "no bidi check, case kept" },
    { "policy-mib", 0, U"\u3000", "0020", "NFKC space passes" },
    { "policy-mib", 0, U"\u0221", "REFUSED", "always stored" },
    { "policy-mib", 0, U"a\u2FF0", "REFUSED", "C.7" },
    { "policy-mib", 0, U"a\u0085", "REFUSED", "C.2.2" },
    };
    for (const auto &row : rows)
        EXPECT_EQ(prepared(row.profile, row.input, row.allowUnassigned), row.expected) << row.profile << ": " << row.rule;
}

TEST(StringprepBidi, Rows)
{
    const struct {
        std::u32string input;
        PB_BOOL expected; // 1: passes, 0: refused
        const char *rule;
    } rows[] = {
        { U"", 1, "empty" },
        { U"A1 \u0661", 1, "no RandALCat; U+0661 is neither R nor L" },
        { U"\u05D01\u05D0", 1, "digit between R" },
        { U"\u06271\u05D0", 1, "both ends RandALCat" },
        { U"\u05D0\u0300\u0221\u05D0", 1, "combining marks and unassigned code points are neither" },
        { U"\u05D0A", 0, "L after R" },
        { U"\u05D0\u00AA\u05D0", 0, "U+00AA is L" },
        { U"\u05D0\uE000\u05D0", 0, "private use is L" },
        { U"1\u0627", 0, "first not RandALCat" },
        { U"\u06271", 0, "last not RandALCat" },
    };
    for (const auto &row : rows)
        EXPECT_EQ(rfcStringprepBidiCheck(rfctest::string(row.input).get()), row.expected) << row.rule;
}

// Trace gives back its source; every other profile a string of its own,
// also when nothing changes; a refusal at any stage leaves no object behind.
TEST(StringprepProfile, Ownership)
{
    const std::u32string inputs[] = { U"", U"user", U"\u00E9t\u00E9", U"a\u0007", U"\u00C0\u0007", U"\u0221",
        U"\u00E9\u05D0", U"\uE000x\u00AD", U"AB\u2FF0" };
    for (const auto &input : inputs) {
        auto source = rfctest::string(input);
        for (const char *name : kProfiles) {
            PB_INT before = pbObjLiveCount();
            pb::Ref<PB_STRING> result(sptest::profileByName(name)(source.get(), 0));
            if (!result) {
                EXPECT_EQ(pbObjLiveCount(), before) << name << " " << formatChars(input);
            } else if (std::string_view(name) == "trace") {
                EXPECT_EQ(result.get(), source.get()) << formatChars(input);
                EXPECT_EQ(pbObjRefCount(pb::obj(source.get())), 2);
            } else {
                EXPECT_NE(result.get(), source.get()) << name << " " << formatChars(input);
                EXPECT_EQ(pbObjRefCount(pb::obj(result.get())), 1) << name;
                EXPECT_EQ(pbObjRefCount(pb::obj(source.get())), 1) << name;
            }
            EXPECT_TRUE(!input.empty() || (result && pbStringLength(result.get()) == 0)) << name << ": empty gives empty";
        }
    }
}

// Random strings over code points chosen to reach every stage: ASCII of
// every class, each table's members and neighbours, letters that fold,
// compatibility characters, combining marks and right-to-left letters.
TEST(StringprepProfile, EqualsTheComposedSteps)
{
    const std::u32string pool = std::u32string(U"aZ09 -.:_@/'\"&<>~\x01\x7F\u00A0\u00AA\u00AD\u00B5\u00C0\u00DF\u00E9\u0130\u0221\u0300\u0301"
                                U"\u0340\u0390\u03A3\u03C2\u03F2\u05BE\u05D0\u0627\u0661\u06DD\u1680\u1806\u180E\u1E9E\u1F80"
                                U"\u200B\u200C\u200D\u200E\u200F\u2028\u2060\u2121\u2168\u2FF5\u3000\u3002\u33C6\uE000"
                                U"\uFB01\uFDD0\uFE0F\uFEFF\uFF21\uFF0E\uFF20\uFFFD\U0001D173\U0001D400\U0002FA1E\U000E0001\U0010FFFF")
        + char32_t(0xD800); // a surrogate, which no literal can hold
    std::mt19937 random(3454);
    for (int round = 0; round < 3040; ++round) {
        std::u32string input;
        // Mostly short strings; the last rounds long ones, past the room
        // the profiles keep on the stack, over code points that most
        // profiles let through.
        const std::u32string passing = U"aZ09-.\u00AA\u00AD\u00C0\u00DF\u00E9\u0130\u0300\u0390\u03A3\u1F80\u2121\u2168\u33C6\uFB01\uFF21";
        const std::u32string &from = round < 3000 ? pool : passing;
        std::size_t length = round < 3000 ? random() % 6 : 200 + random() % 400;
        for (std::size_t i = 0; i < length; ++i)
            input.push_back(from[random() % from.size()]);
        auto source = rfctest::string(input);
        for (const char *name : kProfiles) {
            for (PB_BOOL allow : { 0, 1 }) {
                pb::Ref<PB_STRING> fast(sptest::profileByName(name)(source.get(), allow));
                std::string got = fast ? formatChars(rfctest::chars(fast.get())) : "REFUSED";
                ASSERT_EQ(got, sptest::prepareComposed(name, source.get(), allow)) << name << " allow " << allow << ": " << formatChars(input);
            }
        }
    }
}

// The profiles that fold by B.2 write the NFKC form of each image, which
// they compute once; every key of B.2, alone and where what precedes or
// follows it may compose with its image (a starter before, marks after, a
// mark that the form of the image must not block, another key), gives what
// the steps one after the other give.
TEST(StringprepProfile, EveryCaseFoldingKeyEqualsTheComposedSteps)
{
    const std::u32string before[] = { U"", U"a", U"α", U"ᄀ" };
    const std::u32string after[] = { U"", U"b", U"́", U"ͅ", U"̣́", U"ᅡ", U"ῆ" };
    std::size_t checked = 0;
    for (std::uint32_t key : rfc::stringprep::kTableB_2Keys) {
        for (const auto &b : before) {
            for (const auto &a : after) {
                const std::u32string input = b + char32_t(key) + a;
                auto source = rfctest::string(input);
                for (const char *name : { "nameprep", "nodeprep", "iscsi" }) {
                    pb::Ref<PB_STRING> fast(sptest::profileByName(name)(source.get(), 1));
                    std::string got = fast ? formatChars(rfctest::chars(fast.get())) : "REFUSED";
                    ASSERT_EQ(got, sptest::prepareComposed(name, source.get(), 1)) << name << ": " << formatChars(input);
                    ++checked;
                }
            }
        }
    }
    EXPECT_EQ(checked, std::size(rfc::stringprep::kTableB_2Keys) * 4 * 7 * 3);
}

TEST(StringprepDeathTest, NullSource)
{
    const std::string file = "source/rfc/stringprep/rfc_stringprep_";
    EXPECT_DEATH(rfcStringprepMapToNothing(nullptr), file + "map_to_nothing:[0-9]+: contract violation: source");
    EXPECT_DEATH(rfcStringprepProhibitTagging(nullptr), file + "prohibit_tagging:[0-9]+: contract violation: source");
    EXPECT_DEATH(rfcStringprepBidiCheck(nullptr), file + "bidi:[0-9]+: contract violation: source");
    EXPECT_DEATH(rfcStringprepProfileNameprep(nullptr, 1), file + "profile_nameprep:[0-9]+: contract violation: source");
}

} // namespace
