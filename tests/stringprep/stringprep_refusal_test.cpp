// The profiles by number and their refusal reasons: a table of refusals per
// profile with the stage, code point, offset and text expected, the reasons
// compared with the composed profiles' stages run one by one, the names,
// and the contract violations of the extension functions.
#include "stringprep_support.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <random>

namespace {

using sptest::formatChars;
using sptest::kProfiles;

// The number of each profile, in the order of kProfiles.
constexpr PB_INT kNumbers[] = { RFC_STRINGPREP_PROFILE_ISCSI, RFC_STRINGPREP_PROFILE_NAMEPREP, RFC_STRINGPREP_PROFILE_NODEPREP,
    RFC_STRINGPREP_PROFILE_POLICY_MIB, RFC_STRINGPREP_PROFILE_RESOURCEPREP, RFC_STRINGPREP_PROFILE_SASLPREP,
    RFC_STRINGPREP_PROFILE_TRACE };

std::string utf8Of(PB_STRING *s)
{
    pb::Ref<PB_STRING> held(s);
    return rfctest::utf8(held.get());
}

TEST(StringprepRefusal, Rows)
{
    const struct {
        PB_INT profile;
        PB_BOOL allowUnassigned;
        std::u32string input;
        PB_INT stage;
        char32_t codePoint;
        PB_INT offset; // in the prepared string
        const char *text;
    } rows[] = {
        // Each prohibition table, where it is the first to refuse; a string
        // refused by two tables names the earlier table's code point.
        { RFC_STRINGPREP_PROFILE_SASLPREP, 0, U"a\u0007b", RFC_STRINGPREP_STAGE_PROHIBITED, 0x07, 1, "prohibited U+0007 (ASCII control character)" },
        { RFC_STRINGPREP_PROFILE_NAMEPREP, 0, U"a\u1680", RFC_STRINGPREP_STAGE_PROHIBITED, 0x1680, 1, "prohibited U+1680 (non-ASCII space character)" },
        { RFC_STRINGPREP_PROFILE_ISCSI, 0, U"a\u0001 b", RFC_STRINGPREP_STAGE_PROHIBITED, 0x20, 2, "prohibited U+0020 (ASCII space character)" },
        { RFC_STRINGPREP_PROFILE_NODEPREP, 0, U"\u0085", RFC_STRINGPREP_STAGE_PROHIBITED, 0x85, 0, "prohibited U+0085 (non-ASCII control character)" },
        { RFC_STRINGPREP_PROFILE_RESOURCEPREP, 0, U"x\uE000", RFC_STRINGPREP_STAGE_PROHIBITED, 0xE000, 1, "prohibited U+E000 (private use character)" },
        { RFC_STRINGPREP_PROFILE_POLICY_MIB, 0, U"\uFDD0", RFC_STRINGPREP_STAGE_PROHIBITED, 0xFDD0, 0, "prohibited U+FDD0 (non-character code point)" },
        { RFC_STRINGPREP_PROFILE_TRACE, 0, U"ab\xD800", RFC_STRINGPREP_STAGE_PROHIBITED, 0xD800, 2, "prohibited U+D800 (surrogate code)" },
        { RFC_STRINGPREP_PROFILE_SASLPREP, 0, U"\uFFFD", RFC_STRINGPREP_STAGE_PROHIBITED, 0xFFFD, 0, "prohibited U+FFFD (inappropriate for plain text)" },
        { RFC_STRINGPREP_PROFILE_NAMEPREP, 0, U"a\u2FF0", RFC_STRINGPREP_STAGE_PROHIBITED, 0x2FF0, 1, "prohibited U+2FF0 (inappropriate for canonical representation)" },
        { RFC_STRINGPREP_PROFILE_NAMEPREP, 0, U"\u200Eab", RFC_STRINGPREP_STAGE_PROHIBITED, 0x200E, 0, "prohibited U+200E (changes display properties or is deprecated)" },
        { RFC_STRINGPREP_PROFILE_NODEPREP, 0, U"\U000E0001", RFC_STRINGPREP_STAGE_PROHIBITED, 0xE0001, 0, "prohibited U+E0001 (tagging character)" },
        { RFC_STRINGPREP_PROFILE_SASLPREP, 0, U"\uE000\u0007", RFC_STRINGPREP_STAGE_PROHIBITED, 0x07, 1, "prohibited U+0007 (ASCII control character)" },
        // Offsets count in the prepared string: B.1 drops, B.2 and NFKC
        // expand, SASLprep maps spaces.
        { RFC_STRINGPREP_PROFILE_NAMEPREP, 0, U"\u00AD\u00ADx\uE000", RFC_STRINGPREP_STAGE_PROHIBITED, 0xE000, 1, "prohibited U+E000 (private use character)" },
        { RFC_STRINGPREP_PROFILE_NAMEPREP, 0, U"\u00DF\u2168\uE000", RFC_STRINGPREP_STAGE_PROHIBITED, 0xE000, 4, "prohibited U+E000 (private use character)" },
        { RFC_STRINGPREP_PROFILE_ISCSI, 0, U"\u00C0\u0007", RFC_STRINGPREP_STAGE_PROHIBITED, 0x07, 1, "prohibited U+0007 (ASCII control character)" },
        // The profiles' own refused sets, after NFKC.
        { RFC_STRINGPREP_PROFILE_ISCSI, 0, U"a/b", RFC_STRINGPREP_STAGE_PROHIBITED, 0x2F, 1, "prohibited U+002F (not allowed in iSCSI names)" },
        { RFC_STRINGPREP_PROFILE_ISCSI, 0, U"A~", RFC_STRINGPREP_STAGE_PROHIBITED, 0x7E, 1, "prohibited U+007E (not allowed in iSCSI names)" },
        { RFC_STRINGPREP_PROFILE_ISCSI, 0, U"\u00E9\u3002", RFC_STRINGPREP_STAGE_PROHIBITED, 0x3002, 1, "prohibited U+3002 (not allowed in iSCSI names)" },
        { RFC_STRINGPREP_PROFILE_NODEPREP, 0, U"a\uFF20b", RFC_STRINGPREP_STAGE_PROHIBITED, 0x40, 1, "prohibited U+0040 (not allowed in XMPP node identifiers)" },
        { RFC_STRINGPREP_PROFILE_NODEPREP, 0, U"Us'r", RFC_STRINGPREP_STAGE_PROHIBITED, 0x27, 2, "prohibited U+0027 (not allowed in XMPP node identifiers)" },
        // The tables come before the refused set, whatever the order in the string.
        { RFC_STRINGPREP_PROFILE_NODEPREP, 0, U"@ ", RFC_STRINGPREP_STAGE_PROHIBITED, 0x20, 1, "prohibited U+0020 (ASCII space character)" },
        // The bidirectional rule: the first left-to-right code point, else
        // the end that is not right-to-left.
        { RFC_STRINGPREP_PROFILE_RESOURCEPREP, 0, U"\u05D0A", RFC_STRINGPREP_STAGE_BIDI, 0x41, 1, "bidi U+0041 (left-to-right character in right-to-left text)" },
        { RFC_STRINGPREP_PROFILE_NAMEPREP, 0, U"\u05D0\u00AA\u05D0", RFC_STRINGPREP_STAGE_BIDI, 0x61, 1, "bidi U+0061 (left-to-right character in right-to-left text)" },
        { RFC_STRINGPREP_PROFILE_SASLPREP, 0, U"\u06271", RFC_STRINGPREP_STAGE_BIDI, 0x31, 1, "bidi U+0031 (right-to-left text must start and end with a right-to-left character)" },
        { RFC_STRINGPREP_PROFILE_TRACE, 0, U"1\u0627", RFC_STRINGPREP_STAGE_BIDI, 0x31, 0, "bidi U+0031 (right-to-left text must start and end with a right-to-left character)" },
        // Bidi before unassigned; unassigned only in stored strings.
        { RFC_STRINGPREP_PROFILE_NODEPREP, 0, U"\u0221\u05D0a", RFC_STRINGPREP_STAGE_BIDI, 0x61, 2, "bidi U+0061 (left-to-right character in right-to-left text)" },
        { RFC_STRINGPREP_PROFILE_NAMEPREP, 0, U"ab\u0221", RFC_STRINGPREP_STAGE_UNASSIGNED, 0x221, 2, "unassigned U+0221 (unassigned in Unicode 3.2)" },
        { RFC_STRINGPREP_PROFILE_ISCSI, 0, U"\u0221", RFC_STRINGPREP_STAGE_UNASSIGNED, 0x221, 0, "unassigned U+0221 (unassigned in Unicode 3.2)" },
        { RFC_STRINGPREP_PROFILE_POLICY_MIB, 0, U"\u05D0A\u0221", RFC_STRINGPREP_STAGE_UNASSIGNED, 0x221, 2, "unassigned U+0221 (unassigned in Unicode 3.2)" },
        { RFC_STRINGPREP_PROFILE_SASLPREP, 1, U"x\U000E0080", RFC_STRINGPREP_STAGE_UNASSIGNED, 0xE0080, 1, "unassigned U+E0080 (unassigned in Unicode 3.2)" },
    };
    for (const auto &row : rows) {
        auto source = rfctest::string(row.input);
        RFC_STRINGPREP_REFUSAL refusal { -1, -1, -1, -1 };
        PB_INT before = pbObjLiveCount();
        pb::Ref<PB_STRING> result(rfcStringprepProfileTryPrepare(row.profile, source.get(), row.allowUnassigned, &refusal));
        const std::string what = std::string(kProfiles[row.profile]) + " " + formatChars(row.input);
        ASSERT_EQ(result.get(), nullptr) << what;
        EXPECT_EQ(pbObjLiveCount(), before) << what << ": a refusal leaves nothing behind";
        EXPECT_EQ(refusal.stage, row.stage) << what;
        EXPECT_EQ(refusal.codePoint, PB_INT(row.codePoint)) << what;
        EXPECT_EQ(refusal.offset, row.offset) << what;
        EXPECT_EQ(refusal.profile, row.profile) << what;
        EXPECT_EQ(utf8Of(rfcStringprepRefusalToString(&refusal)), row.text) << what;
        // The plain function refuses as well, and so does the numbered one
        // without a refusal to fill in.
        EXPECT_EQ(sptest::profileByName(kProfiles[row.profile])(source.get(), row.allowUnassigned), nullptr) << what;
        EXPECT_EQ(rfcStringprepProfileTryPrepare(row.profile, source.get(), row.allowUnassigned, nullptr), nullptr) << what;
    }
}

// On the random strings of the comparison with the composed steps, the
// numbered profiles prepare what the profile functions prepare and, when
// they refuse, name the stage, code point and offset that the composed
// stages find one by one.
TEST(StringprepRefusal, EqualsTheComposedStages)
{
    const std::u32string pool = std::u32string(U"aZ09 -.:_@/'\"&<>~\x01\x7F\u00A0\u00AA\u00AD\u00C0\u00DF\u00E9\u0130\u0221\u0300"
                                U"\u05BE\u05D0\u0627\u0661\u06DD\u1680\u180E\u200B\u200E\u2060\u2121\u2168\u2FF5\u3000\u3002"
                                U"\u33C6\uE000\uFB01\uFDD0\uFEFF\uFF21\uFF0E\uFF20\uFFFD\U0001D173\U000E0001\U0010FFFF")
        + char32_t(0xD800);
    std::mt19937 random(4013);
    for (int round = 0; round < 2000; ++round) {
        std::u32string input;
        for (std::size_t i = 0, length = random() % 7; i < length; ++i)
            input.push_back(pool[random() % pool.size()]);
        auto source = rfctest::string(input);
        for (std::size_t p = 0; p < std::size(kProfiles); ++p) {
            for (PB_BOOL allow : { 0, 1 }) {
                RFC_STRINGPREP_REFUSAL refusal { -1, -1, -1, -1 };
                pb::Ref<PB_STRING> got(rfcStringprepProfileTryPrepare(kNumbers[p], source.get(), allow, &refusal));
                pb::Ref<PB_STRING> plain(sptest::profileByName(kProfiles[p])(source.get(), allow));
                const std::string what = std::string(kProfiles[p]) + " allow " + std::to_string(allow) + ": " + formatChars(input);
                ASSERT_EQ(got.get() == nullptr, plain.get() == nullptr) << what;
                if (got) {
                    EXPECT_EQ(rfctest::chars(got.get()), rfctest::chars(plain.get())) << what;
                    EXPECT_EQ(refusal.stage, -1) << what << ": untouched when prepared";
                    continue;
                }
                ASSERT_EQ(sptest::formatRefusal(refusal), sptest::explainComposed(kProfiles[p], source.get(), allow)) << what;
                EXPECT_EQ(refusal.profile, kNumbers[p]) << what;
            }
        }
    }
}

// Long strings, past the room the profiles keep on the stack, refused at
// their end.
TEST(StringprepRefusal, LongStrings)
{
    for (std::size_t p = 0; p < std::size(kProfiles); ++p) {
        std::u32string input;
        for (int i = 0; i < 300; ++i)
            input += U"\u00C0b\u2168";
        input += U"\uE000";
        auto source = rfctest::string(input);
        RFC_STRINGPREP_REFUSAL refusal {};
        ASSERT_EQ(rfcStringprepProfileTryPrepare(kNumbers[p], source.get(), 0, &refusal), nullptr) << kProfiles[p];
        EXPECT_EQ(sptest::formatRefusal(refusal), sptest::explainComposed(kProfiles[p], source.get(), 0)) << kProfiles[p];
    }
}

TEST(StringprepProfileNumber, NamesAndUnassigned)
{
    for (std::size_t p = 0; p < std::size(kProfiles); ++p) {
        EXPECT_EQ(utf8Of(rfcStringprepProfileToName(kNumbers[p])), kProfiles[p]);
        EXPECT_EQ(rfcStringprepProfileFromName(rfctest::string(kProfiles[p]).get()), kNumbers[p]);
        EXPECT_TRUE(RFC_STRINGPREP_PROFILE_OK(kNumbers[p]));
        const bool takesIt = std::string_view(kProfiles[p]) == "iscsi" || std::string_view(kProfiles[p]) == "nameprep";
        EXPECT_EQ(rfcStringprepProfileHasAllowUnassigned(kNumbers[p]), takesIt ? 1 : 0) << kProfiles[p];
    }
    for (const char *name : { "", "Nameprep", "nameprep ", "iscs", "policy_mib", "sasl" })
        EXPECT_EQ(rfcStringprepProfileFromName(rfctest::string(name).get()), -1) << name;
    EXPECT_FALSE(RFC_STRINGPREP_PROFILE_OK(-1));
    EXPECT_FALSE(RFC_STRINGPREP_PROFILE_OK(7));
    // A profile without the argument ignores it: nodeprep always refuses
    // unassigned code points, trace never does.
    auto unassigned = rfctest::string(std::u32string(U"\u0221"));
    EXPECT_EQ(rfcStringprepProfileTryPrepare(RFC_STRINGPREP_PROFILE_NODEPREP, unassigned.get(), 1, nullptr), nullptr);
    pb::Ref<PB_STRING> traced(rfcStringprepProfileTryPrepare(RFC_STRINGPREP_PROFILE_TRACE, unassigned.get(), 0, nullptr));
    EXPECT_EQ(traced.get(), unassigned.get());
}

TEST(StringprepRefusalDeathTest, Contracts)
{
    auto source = rfctest::string("a");
    const std::string file = "source/rfc/stringprep/rfc_stringprep_profile:[0-9]+: contract violation: ";
    EXPECT_DEATH(rfcStringprepProfileTryPrepare(7, source.get(), 0, nullptr), file + "RFC_STRINGPREP_PROFILE_OK\\(profile\\)");
    EXPECT_DEATH(rfcStringprepProfileTryPrepare(0, nullptr, 0, nullptr), file + "source");
    RFC_STRINGPREP_REFUSAL refusal { 3, 0x41, 0, 0 };
    EXPECT_DEATH(rfcStringprepRefusalToString(&refusal), file + "RFC_STRINGPREP_STAGE_OK\\(refusal->stage\\)");
}

} // namespace
