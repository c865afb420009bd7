// pb___StringCreateNormalizedFromChars, the runtime's entry point that
// normalises a caller's array of code points into a new string: it must give
// what pbStringNormalize gives on a string of the same code points, for
// results that stay on its stack buffer and for those that outgrow it, and
// leave the array alone.
#include <pb/pb_cpp.h>
#include <pb/pb_string_normalize_chars.h>

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::u32string viaString(const std::u32string &text)
{
    pb::Ref<PB_STRING> s = rfctest::string(text);
    pbStringNormalize(s.addr(), PB_STRING_NORMALIZE_NFKC);
    return rfctest::chars(s.get());
}

// The result, and in *normal whether the entry point found text in NFKC.
std::u32string viaChars(const std::u32string &text, PB_BOOL *normal)
{
    pb::Ref<PB_STRING> s(pb___StringCreateNormalizedFromChars(reinterpret_cast<const PB_CHAR *>(text.data()),
        static_cast<PB_INT>(text.size()), PB_STRING_NORMALIZE_NFKC, normal));
    return rfctest::chars(s.get());
}

std::u32string repeat(const std::u32string &text, int times)
{
    std::u32string out;
    for (int i = 0; i < times; ++i)
        out += text;
    return out;
}

TEST(PbStringNormalizeChars, AgreesWithPbStringNormalize)
{
    struct Row {
        const char *what;
        std::u32string text;
        std::u32string expected; // empty: only compared with pbStringNormalize
    };
    const Row rows[] = {
        { "ASCII, already normal", U"user", U"user" },
        { "precomposed Latin, already normal", U"M\u00FCller", U"M\u00FCller" },
        { "decomposed pair composes (B.2 image of U+1FC6)", U"\u03B7\u0342", U"\u1FC6" },
        { "ligature and full-width forms decompose", U"\uFB01\uFF21", U"fiA" },
        { "marks out of order are ordered and composed", U"a\u0323\u0302", U"\u1EAD" },
        { "conjoining jamo compose to a syllable", U"\u1100\u1161\u11A8", U"\uAC01" },
        { "a noncharacter stays, a ligature after it decomposes", U"\U0010FFFF\uFB01", U"\U0010FFFF" U"fi" },
        // U+FDFA expands to 18 code points: 40 of them outgrow any short
        // buffer and force the result to grow more than once.
        { "long expansion", repeat(U"\uFDFA", 40), U"" },
        { "long mixed text", repeat(U"Gru\u0308\u00DFe \uFB01 e\u0301 \u2168 \uAC00\u11A8 ", 30), U"" },
        { "long text needing no change", repeat(U"Stra\u00DFe \u03A9\u03BC\u03AD\u03B3\u03B1 ", 30), U"" },
    };
    for (const Row &row : rows) {
        const std::u32string expected = viaString(row.text);
        PB_BOOL normal = 2;
        EXPECT_EQ(viaChars(row.text, &normal), expected) << row.what;
        // Claimed normal exactly when nothing changed (none of the rows
        // changes into a string of the same code points).
        EXPECT_EQ(normal != 0, expected == row.text) << row.what;
        EXPECT_EQ(viaChars(row.text, nullptr), expected) << row.what;
        if (!row.expected.empty()) {
            EXPECT_EQ(expected, row.expected) << row.what;
        }
    }
    EXPECT_EQ(viaString(repeat(U"\uFDFA", 40)).size(), 40u * 18u);
}

TEST(PbStringNormalizeChars, EmptyArrayGivesEmptyString)
{
    pb::Ref<PB_STRING> s(pb___StringCreateNormalizedFromChars(nullptr, 0, PB_STRING_NORMALIZE_NFKC, nullptr));
    ASSERT_TRUE(s.get());
    EXPECT_EQ(pbStringLength(s.get()), 0);
}

TEST(PbStringNormalizeChars, ContractViolationsAbort)
{
    const PB_CHAR text[] = { 'a' };
    EXPECT_DEATH(pb___StringCreateNormalizedFromChars(text, 1, 2, nullptr), "form == 1");
    EXPECT_DEATH(pb___StringCreateNormalizedFromChars(nullptr, 1, PB_STRING_NORMALIZE_NFKC, nullptr), "chars \\|\\| count == 0");
}

} // namespace
