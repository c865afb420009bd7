// The token object: the constructors from content, the classification of a
// token as written, the value, the standard functions and the contract
// violations.
#include "mail_test_support.h"

#include <gtest/gtest.h>

namespace {

using namespace mailtest;

TEST(MailShfToken, CreateSpecialHoldsTheCharacter)
{
    for (char32_t ch : std::u32string_view(U"()<>@,;:\\\".[]")) {
        pb::Ref<RFC_MAIL_SHF_TOKEN> tok(rfcMailShfTokenCreateSpecial(static_cast<PB_CHAR>(ch)));
        EXPECT_EQ(rfcMailShfTokenType(tok.get()), special);
        EXPECT_EQ(rawOf(tok.get()), std::u32string(1, ch));
        EXPECT_EQ(valueOf(tok.get()), std::u32string(1, ch));
    }
}

TEST(MailShfToken, CreateAtomOrQuotedString)
{
    struct Row {
        std::u32string content;
        Tok expected;
        const char *rule;
    } const rows[] = {
        { U"abc", { atom, U"abc" }, "no special, space or control: an atom" },
        { U"", { quotedString, U"\"\"" }, "empty content cannot stand as an atom" },
        { U"a b", { quotedString, U"\"a b\"" }, "a space forces the quoted form, unescaped" },
        { U"a\tb", { quotedString, U"\"a\tb\"" }, "a tab is copied unescaped" },
        { U"a\"b\\d", { quotedString, U"\"a\\\"b\\\\d\"" }, "quotation mark and backslash are escaped" },
        { U"a.b", { quotedString, U"\"a\\.b\"" }, "the dot is a special and is escaped" },
        { U"a\r\nb", { quotedString, U"\"a\\\r\\\nb\"" }, "CR and LF are escaped" },
        { U"\x01\x7F", { quotedString, U"\"\x01\x7F\"" }, "other controls stand unescaped" },
        { U"(x)[y]", { quotedString, U"\"\\(x\\)\\[y\\]\"" }, "parentheses and brackets are escaped" },
        { U"\u00E9t\u00E9", { atom, U"\u00E9t\u00E9" }, "non-ASCII characters are atom characters" },
        { U"!#$%&'*+-/=?^_`{|}~", { atom, U"!#$%&'*+-/=?^_`{|}~" }, "ASCII graphics that are no specials" },
    };
    for (const Row &row : rows) {
        auto content = rfctest::string(row.content);
        pb::Ref<RFC_MAIL_SHF_TOKEN> tok(rfcMailShfTokenCreateAtomOrQuotedString(content.get()));
        EXPECT_EQ((Tok { rfcMailShfTokenType(tok.get()), rawOf(tok.get()) }), row.expected) << row.rule;
        EXPECT_EQ(valueOf(tok.get()), row.content) << row.rule;
    }
}

TEST(MailShfToken, CreateComment)
{
    struct Row {
        std::u32string content;
        std::u32string raw;
        const char *rule;
    } const rows[] = {
        { U"a (b) d", U"(a \\(b\\) d)", "parentheses are escaped, so nothing nests" },
        { U"", U"()", "empty comment" },
        { U"x\r\ny", U"(x\\\r\\\ny)", "CR and LF are escaped" },
        { U"\t\x01 ", U"(\t\x01 )", "tabs, spaces and other controls stand as they are" },
        { U"\"@\\", U"(\\\"\\@\\\\)", "every special is escaped" },
    };
    for (const Row &row : rows) {
        auto content = rfctest::string(row.content);
        pb::Ref<RFC_MAIL_SHF_TOKEN> tok(rfcMailShfTokenCreateComment(content.get()));
        EXPECT_EQ(rfcMailShfTokenType(tok.get()), comment) << row.rule;
        EXPECT_EQ(rawOf(tok.get()), row.raw) << row.rule;
        EXPECT_EQ(valueOf(tok.get()), row.content) << row.rule;
    }
}

TEST(MailShfToken, CreateRawValueClassifiesAndValueUnescapes)
{
    struct Row {
        std::u32string raw;
        PB_INT type;
        std::u32string value;
        const char *rule;
    } const rows[] = {
        { U"@", special, U"@", "one special" },
        { U"(", special, U"(", "a lone opening parenthesis is a special, not a comment" },
        { U"\"", special, U"\"", "a lone quotation mark is a special" },
        { U"\"\"", quotedString, U"", "empty quoted string" },
        { U"\"a\\\"b\"", quotedString, U"a\"b", "escaped quotation mark inside" },
        { U"\"\\\\\"", quotedString, U"\\", "escaped backslash" },
        { U"\"a\r\n b\"", quotedString, U"a\r\n b", "a fold stays in the value" },
        { U"\"\r\"", quotedString, U"\r", "no rule looks at CR inside a quoted string" },
        { U"\"(\"", quotedString, U"(", "other delimiters are ordinary inside" },
        { U"[]", domainLiteral, U"", "empty domain literal" },
        { U"[x.y]", domainLiteral, U"x.y", "domain literal" },
        { U"[x\\]y]", domainLiteral, U"x]y", "escaped bracket" },
        { U"()", comment, U"", "empty comment" },
        { U"(a (b) \\) d)", comment, U"a (b) ) d", "nested comment stays, escaped parenthesis resolved" },
        { U"(((x)))", comment, U"((x))", "deeper nesting" },
        { U"(\")", comment, U"\"", "a quotation mark inside a comment" },
        { U"abc", atom, U"abc", "atom" },
        { U"\u00E9", atom, U"\u00E9", "non-ASCII atom" },
    };
    for (const Row &row : rows) {
        auto raw = rfctest::string(row.raw);
        auto tok = tokenOf(raw.get());
        EXPECT_EQ(rfcMailShfTokenType(tok.get()), row.type) << show(row.raw) << ": " << row.rule;
        EXPECT_EQ(valueOf(tok.get()), row.value) << show(row.raw) << ": " << row.rule;
    }
}

TEST(MailShfToken, CreateRawValueKeepsTheGivenString)
{
    auto raw = rfctest::string(U"\"x\"");
    auto tok = tokenOf(raw.get());
    pb::Ref<PB_STRING> held(rfcMailShfTokenRawValue(tok.get()));
    EXPECT_EQ(held.get(), raw.get());
}

TEST(MailShfToken, FromAndCompare)
{
    EXPECT_EQ(rfcMailShfTokenFrom(nullptr), nullptr);
    pb::Ref<RFC_MAIL_SHF_TOKEN> tok(rfcMailShfTokenCreateSpecial('@'));
    EXPECT_EQ(rfcMailShfTokenFrom(rfcMailShfTokenObj(tok.get())), tok.get());
    EXPECT_EQ(pbObjSort(rfcMailShfTokenObj(tok.get())), rfcMailShfTokenSort());
    EXPECT_TRUE(rfcMailShfTokenEquals(tok.get(), tok.get()));
    EXPECT_EQ(rfcMailShfTokenCompare(tok.get(), tok.get()), 0);
}

using MailShfTokenDeathTest = testing::Test;

TEST_F(MailShfTokenDeathTest, ContractViolations)
{
    EXPECT_DEATH(rfcMailShfTokenCreateSpecial('a'),
        literal("source/rfc/mail/rfc_mail_shf_token:") + ".*" + literal("rfc___MailCharIsSpecial( special )"));
    EXPECT_DEATH(rfcMailShfTokenCreateAtomOrQuotedString(nullptr), "contract violation: atomOrQuotedString");
    EXPECT_DEATH(rfcMailShfTokenType(nullptr), "contract violation: tok\n");

    // Strings that are no valid token carry no condition text.
    for (std::u32string bad : { U"", U"a b", U"[a[b]", U"(a))", U"\"a\"b\"", U"\"a\\\"", U"a\x01", U")(" }) {
        auto raw = rfctest::string(bad);
        EXPECT_DEATH(rfcMailShfTokenCreateRawValue(raw.get()),
            literal("source/rfc/mail/rfc_mail_shf_token:") + ".*" + literal("(no condition)"))
            << show(bad);
    }

    auto string = rfctest::string("x");
    EXPECT_DEATH(rfcMailShfTokenFrom(pbStringObj(string.get())),
        literal("[stdfunc from]") + ".*" + literal("!obj || pbObjSort(obj)==&rfc___sort_RFC_MAIL_SHF_TOKEN"));
}

} // namespace
