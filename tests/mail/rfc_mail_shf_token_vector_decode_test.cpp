// Splitting header text into tokens: the lexical rules of RFC 822 (section
// 3.3) as the decoder applies them, its failures, the diagnosis of a
// failure, and deep nesting.
#include "mail_test_support.h"

#include <gtest/gtest.h>

namespace {

using namespace mailtest;

Tok a(std::u32string raw)
{
    return { atom, std::move(raw) };
}
Tok s(char32_t ch)
{
    return { special, std::u32string(1, ch) };
}

struct Row {
    std::u32string text;
    bool ok;
    Toks toks;
    const char *rule;
};

TEST(MailShfTokenVectorDecode, LexicalRules)
{
    const Row rows[] = {
        { U"", true, {}, "empty text: empty vector, not null" },
        { U" \t\r\n\r \n", true, {}, "separators only" },
        { U"a,\r\n b", true, { a(U"a"), s(','), a(U"b") }, "a folded line between tokens" },
        { U"a.b", true, { a(U"a"), s('.'), a(U"b") }, "the dot is a special" },
        { U"a\\b", true, { a(U"a"), s('\\'), a(U"b") }, "a backslash outside delimited tokens is a special" },
        { U"a\"b\"c", true, { a(U"a"), { quotedString, U"\"b\"" }, a(U"c") }, "a quoted string ends an atom" },
        { U"ab\x01" U"cd", true, { a(U"ab"), a(U"cd") }, "a control separates atoms" },
        { U"a\rb", true, { a(U"a"), a(U"b") }, "a lone CR between tokens is a separator" },
        { U"a\nb", true, { a(U"a"), a(U"b") }, "a lone LF between tokens is a separator" },
        { U"a\x7F" U"b", true, { a(U"a"), a(U"b") }, "DEL separates" },
        { U")", true, { s(')') }, "an unmatched closing parenthesis is a special" },
        { U"a]b", true, { a(U"a"), s(']'), a(U"b") }, "an unmatched closing bracket is a special" },
        { U"<a@b.c>", true, { s('<'), a(U"a"), s('@'), a(U"b"), s('.'), a(U"c"), s('>') }, "an address" },
        { U"\"a\r\n b\"", true, { { quotedString, U"\"a\r\n b\"" } }, "a fold stays inside a quoted string" },
        { U"\"a\r\n\tb\"", true, { { quotedString, U"\"a\r\n\tb\"" } }, "a fold may continue with a tab" },
        { U"\"a\nb\"", true, { { quotedString, U"\"a\nb\"" } }, "a bare LF inside is accepted" },
        { U"\"\\\"\"", true, { { quotedString, U"\"\\\"\"" } }, "an escaped quotation mark does not close" },
        { U"\"\\\r\n\"", true, { { quotedString, U"\"\\\r\n\"" } }, "an escaped CR needs no fold" },
        { U"\"\"\"\"", true, { { quotedString, U"\"\"" }, { quotedString, U"\"\"" } }, "two empty quoted strings" },
        { U"\"a(b[c\"", true, { { quotedString, U"\"a(b[c\"" } }, "other delimiters are ordinary in a quoted string" },
        { U"(a (b) c)", true, { { comment, U"(a (b) c)" } }, "nested comment" },
        { U"(a\\)b)", true, { { comment, U"(a\\)b)" } }, "an escaped parenthesis does not close" },
        { U"(a\"b)", true, { { comment, U"(a\"b)" } }, "a quotation mark in a comment is ordinary" },
        { U"a(b)c", true, { a(U"a"), { comment, U"(b)" }, a(U"c") }, "a comment ends an atom" },
        { U"[x.y]", true, { { domainLiteral, U"[x.y]" } }, "domain literal" },
        { U"[x\\]y]", true, { { domainLiteral, U"[x\\]y]" } }, "an escaped bracket does not close" },
        { U"[x\\[y]", true, { { domainLiteral, U"[x\\[y]" } }, "an escaped opening bracket is allowed" },
        { U"[a(b]", true, { { domainLiteral, U"[a(b]" } }, "a parenthesis in a domain literal is ordinary" },
        { U"\u00E9t\u00E9", true, { a(U"\u00E9t\u00E9") }, "non-ASCII letters form atoms" },
        { U"x\U0001F600y \u2028", true, { a(U"x\U0001F600y"), a(U"\u2028") }, "any code point from 0x80 up is an atom character" },
        { U"\"", false, {}, "a quotation mark as the last character" },
        { U"(", false, {}, "an opening parenthesis as the last character" },
        { U"[", false, {}, "an opening bracket as the last character" },
        { U"a \"abc", false, {}, "unterminated quoted string" },
        { U"\"a\\", false, {}, "a backslash as the last character" },
        { U"\"a\\\"", false, {}, "the backslash takes the closing quotation mark with it" },
        { U"\"a\r\nb\"", false, {}, "CR LF without a space or tab after it" },
        { U"\"a\r\"", false, {}, "a CR without LF" },
        { U"\"a\r\n", false, {}, "a CR with only one character after it" },
        { U"(a\rb)", false, {}, "a CR inside a comment must begin a fold" },
        { U"(a(b)", false, {}, "a comment whose depth does not return to 0" },
        { U"(\"a)\")", false, {}, "the comment closes, then an unterminated quoted string" },
        { U"[a[b]", false, {}, "an unescaped bracket inside a domain literal" },
        { U"[a", false, {}, "unterminated domain literal" },
        { U"a, b, c, (", false, {}, "a failure after good tokens gives no partial vector" },
    };
    for (const Row &row : rows) {
        Toks toks;
        bool ok = decode(row.text, toks);
        EXPECT_EQ(ok, row.ok) << show(row.text) << ": " << row.rule;
        EXPECT_EQ(toks, row.toks) << show(row.text) << ": " << row.rule;
    }
}

TEST(MailShfTokenVectorDecode, ValuesOfDecodedTokens)
{
    struct ValueRow {
        std::u32string text;
        std::u32string value;
        const char *rule;
    } const rows[] = {
        { U"\"\\\"\"", U"\"", "quoted pair resolved" },
        { U"\"a\r\n b\"", U"a\r\n b", "the fold stays in the value" },
        { U"(a (b) \\) d)", U"a (b) ) d", "nested parentheses stay" },
        { U"[1.2.3.4]", U"1.2.3.4", "domain literal" },
    };
    for (const ValueRow &row : rows) {
        auto text = rfctest::string(row.text);
        pb::Ref<PB_VECTOR> vec(rfcMailShfTokenVectorTryDecode(text.get()));
        ASSERT_TRUE(vec) << row.rule;
        ASSERT_EQ(pbVectorLength(vec.get()), 1) << row.rule;
        pb::Ref<PB_OBJ> element(pbVectorObjAt(vec.get(), 0));
        EXPECT_EQ(valueOf(rfcMailShfTokenFrom(element.get())), row.value) << row.rule;
    }
}

TEST(MailShfTokenVectorDecode, DeepNestingDoesNotRecurse)
{
    // Far deeper than any call stack would hold one frame per level.
    constexpr std::size_t depth = 1000000;
    std::u32string nested = std::u32string(depth, U'(') + U"x" + std::u32string(depth, U')');
    Toks toks;
    ASSERT_TRUE(decode(nested, toks));
    ASSERT_EQ(toks.size(), 1u);
    EXPECT_EQ(toks[0].type, comment);
    EXPECT_EQ(toks[0].raw.size(), nested.size());

    nested.pop_back();
    EXPECT_FALSE(decode(nested, toks)) << "one closing parenthesis short";
}

TEST(MailShfTokenVectorDecode, Diagnosis)
{
    struct DiagnosisRow {
        std::u32string text;
        PB_INT code;
        PB_INT tokenType;
        PB_INT tokenOffset;
        PB_INT failureOffset;
        const char *rule;
    } const rows[] = {
        { U"a (b) \"c\" [d]", RFC___MAIL_SHF_DECODE_FAILURE_NONE, -1, -1, -1, "well formed" },
        { U"ab \"cd", RFC___MAIL_SHF_DECODE_FAILURE_UNTERMINATED, quotedString, 3, 6, "unterminated: offset at the end" },
        { U"(", RFC___MAIL_SHF_DECODE_FAILURE_UNTERMINATED, comment, 0, 1, "opening character last" },
        { U"x [a\\", RFC___MAIL_SHF_DECODE_FAILURE_UNTERMINATED, domainLiteral, 2, 4, "backslash last: offset at it" },
        { U"(a\r\nb)", RFC___MAIL_SHF_DECODE_FAILURE_BROKEN_LINE_BREAK, comment, 0, 2, "offset at the CR" },
        { U"[a[b]", RFC___MAIL_SHF_DECODE_FAILURE_NESTED_BRACKET, domainLiteral, 0, 2, "offset at the inner bracket" },
    };
    for (const DiagnosisRow &row : rows) {
        auto text = rfctest::string(row.text);
        PB_INT tokenType = 0, tokenOffset = 0, failureOffset = 0;
        EXPECT_EQ(rfc___MailShfTokenVectorDecodeDiagnose(text.get(), &tokenType, &tokenOffset, &failureOffset), row.code)
            << row.rule;
        EXPECT_EQ(tokenType, row.tokenType) << row.rule;
        EXPECT_EQ(tokenOffset, row.tokenOffset) << row.rule;
        EXPECT_EQ(failureOffset, row.failureOffset) << row.rule;

        pb::Ref<PB_VECTOR> vec(rfcMailShfTokenVectorTryDecode(text.get()));
        EXPECT_EQ(!vec, row.code != RFC___MAIL_SHF_DECODE_FAILURE_NONE) << "the decoder agrees: " << row.rule;
    }
}

} // namespace
