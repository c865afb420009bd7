// Tokens of structured header fields: the character classes, the token
// constructors and classification, the decoder and its diagnosis, the
// encoder, comment removal and the contract violations.
#include "mail_test_support.h"

#include <cctype>

namespace {

using namespace mailtest;

// Against the C library in the "C" locale and the specials as RFC 822 lists
// them, over ASCII, its edges and large and negative values.
TEST(MailChar, ClassesMatchTheCLibraryAndTheListOfSpecials)
{
    constexpr std::u32string_view specials = U"()<>@,;:\\\".[]";
    std::vector<PB_CHAR> probes { 0x2028, 0xFEFF, 0xFF08, 0x10FFFF, 0x110000, 0x7FFFFFFF, -0x7FFFFFFF - 1 };
    for (PB_CHAR ch = -3; ch <= 0x120; ++ch)
        probes.push_back(ch);
    for (PB_CHAR ch : probes) {
        SCOPED_TRACE(ch);
        bool ascii = ch >= 0 && ch < 0x80;
        int c = static_cast<int>(ch);
        EXPECT_EQ(rfc___MailCharIsAlpha(ch), ascii && std::isalpha(c));
        EXPECT_EQ(rfc___MailCharIsDigit(ch), ascii && std::isdigit(c));
        EXPECT_EQ(rfc___MailCharIsCtl(ch), ascii && std::iscntrl(c));
        EXPECT_EQ(rfc___MailCharIsCr(ch), ch == '\r');
        EXPECT_EQ(rfc___MailCharIsLf(ch), ch == '\n');
        EXPECT_EQ(rfc___MailCharIsHtab(ch), ch == '\t');
        EXPECT_EQ(rfc___MailCharIsSpace(ch), ch == ' ');
        EXPECT_EQ(rfc___MailCharIsLwsp(ch), ch == ' ' || ch == '\t');
        EXPECT_EQ(rfc___MailCharIsQuotationMark(ch), ch == '"');
        EXPECT_EQ(rfc___MailCharIsSpecial(ch), ascii && specials.find(static_cast<char32_t>(ch)) != specials.npos);
    }
}

// What the constructors write; that the value of each is its content is a
// property checked over random contents.
TEST(MailShfToken, ConstructorsFromContent)
{
    using Create = RFC_MAIL_SHF_TOKEN *(*)(PB_STRING *);
    const Create word = rfcMailShfTokenCreateAtomOrQuotedString, remark = rfcMailShfTokenCreateComment;
    struct Row {
        Create create;
        std::u32string content;
        Tok expected;
        const char *rule;
    } const rows[] = {
        { word, U"abc", a(U"abc"), "no special, space or control: an atom" },
        { word, U"", { quotedString, U"\"\"" }, "empty content cannot stand as an atom" },
        { word, U"a b\t", { quotedString, U"\"a b\t\"" }, "space and tab force the quoted form, unescaped" },
        { word, U"a\"b\\.d", { quotedString, U"\"a\\\"b\\\\\\.d\"" }, "quotation mark, backslash and dot are escaped" },
        { word, U"a\r\nb", { quotedString, U"\"a\\\r\\\nb\"" }, "CR and LF are escaped" },
        { word, U"\x01\x7F", { quotedString, U"\"\x01\x7F\"" }, "other controls stand unescaped" },
        { word, U"(x)[y]", { quotedString, U"\"\\(x\\)\\[y\\]\"" }, "parentheses and brackets are escaped" },
        { word, U"\u00E9!#$%&'*+-/=?^_`{|}~", a(U"\u00E9!#$%&'*+-/=?^_`{|}~"), "non-ASCII and ASCII graphics but specials" },
        { remark, U"", { comment, U"()" }, "empty comment" },
        { remark, U"x\r\ny", { comment, U"(x\\\r\\\ny)" }, "CR and LF are escaped" },
        { remark, U"\t\x01 ", { comment, U"(\t\x01 )" }, "tabs, spaces and other controls stand as they are" },
        { remark, U"a (b) \"@\\", { comment, U"(a \\(b\\) \\\"\\@\\\\)" }, "every special is escaped, so nothing nests" },
    };
    for (const Row &row : rows) {
        pb::Ref<RFC_MAIL_SHF_TOKEN> tok(row.create(rfctest::string(row.content).get()));
        EXPECT_EQ((Tok { rfcMailShfTokenType(tok.get()), rawOf(tok.get()) }), row.expected) << row.rule;
    }
    for (char32_t ch : std::u32string_view(U"()<>@,;:\\\".[]")) {
        pb::Ref<RFC_MAIL_SHF_TOKEN> tok(rfcMailShfTokenCreateSpecial(static_cast<PB_CHAR>(ch)));
        EXPECT_EQ((Tok { rfcMailShfTokenType(tok.get()), rawOf(tok.get()) }), s(ch));
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
        { U"(", special, U"(", "a lone opening parenthesis is a special, not a comment" },
        { U"\"", special, U"\"", "a lone quotation mark is a special" },
        { U"\"\"", quotedString, U"", "empty quoted string" },
        { U"\"a\\\"b\\\\\"", quotedString, U"a\"b\\", "escaped quotation mark and backslash" },
        { U"\"a\r\n b\"", quotedString, U"a\r\n b", "a fold stays in the value" },
        { U"\"\r\"", quotedString, U"\r", "no rule looks at CR inside a quoted string" },
        { U"[]", domainLiteral, U"", "empty domain literal" },
        { U"[x\\]y]", domainLiteral, U"x]y", "escaped bracket" },
        { U"()", comment, U"", "empty comment" },
        { U"(a (b) \\) d)", comment, U"a (b) ) d", "nested comment stays, escaped parenthesis resolved" },
        { U"(\")", comment, U"\"", "a quotation mark inside a comment" },
        { U"\u00E9bc", atom, U"\u00E9bc", "atom" },
    };
    for (const Row &row : rows) {
        auto raw = rfctest::string(row.raw);
        pb::Ref<RFC_MAIL_SHF_TOKEN> tok(rfcMailShfTokenCreateRawValue(raw.get()));
        EXPECT_EQ(rfcMailShfTokenType(tok.get()), row.type) << show(row.raw) << ": " << row.rule;
        EXPECT_EQ(valueOf(tok.get()), row.value) << show(row.raw) << ": " << row.rule;
        EXPECT_EQ(pb::Ref<PB_STRING>(rfcMailShfTokenRawValue(tok.get())).get(), raw.get()) << "the given string is kept";
    }
}

TEST(MailShfTokenVectorDecode, LexicalRules)
{
    const struct {
        std::u32string text;
        Toks toks;
        const char *rule;
    } rows[] = {
        { U"", {}, "empty text: empty vector, not null" },
        { U" \t\r\n\r \n", {}, "separators only" },
        { U"a,\r\n b", { a(U"a"), s(','), a(U"b") }, "a folded line between tokens" },
        { U"a\\b", { a(U"a"), s('\\'), a(U"b") }, "a backslash outside delimited tokens is a special" },
        { U"a\"b\"c(d)e", { a(U"a"), { quotedString, U"\"b\"" }, a(U"c"), { comment, U"(d)" }, a(U"e") }, "quoted strings and comments end atoms" },
        { U"ab\x01" U"c\rd\ne\x7F" U"f", { a(U"ab"), a(U"c"), a(U"d"), a(U"e"), a(U"f") }, "controls, lone CR and LF separate" },
        { U")a]", { s(')'), a(U"a"), s(']') }, "unmatched closing parenthesis and bracket are specials" },
        { U"\"a\r\n b\r\n\tc\"", { { quotedString, U"\"a\r\n b\r\n\tc\"" } }, "folds, with space or tab, stay inside" },
        { U"\"a\nb\"", { { quotedString, U"\"a\nb\"" } }, "a bare LF inside is accepted" },
        { U"\"\\\"\\\r\n\"", { { quotedString, U"\"\\\"\\\r\n\"" } }, "an escaped quotation mark does not close; an escaped CR needs no fold" },
        { U"\"\"\"\"", { { quotedString, U"\"\"" }, { quotedString, U"\"\"" } }, "two empty quoted strings" },
        { U"\"a(b[c\"", { { quotedString, U"\"a(b[c\"" } }, "other delimiters are ordinary in a quoted string" },
        { U"(a (b) c)", { { comment, U"(a (b) c)" } }, "nested comment" },
        { U"(a\\)b\")", { { comment, U"(a\\)b\")" } }, "an escaped parenthesis does not close; a quotation mark is ordinary" },
        { U"[(\\]\\[]", { { domainLiteral, U"[(\\]\\[]" } }, "escaped brackets allowed, a parenthesis ordinary" },
        { U"x\U0001F600y \u2028", { a(U"x\U0001F600y"), a(U"\u2028") }, "any code point from 0x80 up is an atom character" },
    };
    for (const auto &row : rows)
        EXPECT_EQ(decode(row.text), row.toks) << show(row.text) << ": " << row.rule;
}

// Text the decoder refuses, with the refusal: its kind, the offset where it
// fails and the type and offset of the token that fails.
TEST(MailShfTokenVectorDecode, Refusal)
{
    constexpr PB_INT none = 0, unterminated = RFC_MAIL_SHF_TOKEN_VECTOR_DECODE_REFUSAL_UNTERMINATED;
    constexpr PB_INT brokenBreak = RFC_MAIL_SHF_TOKEN_VECTOR_DECODE_REFUSAL_BROKEN_LINE_BREAK;
    constexpr PB_INT nestedBracket = RFC_MAIL_SHF_TOKEN_VECTOR_DECODE_REFUSAL_NESTED_BRACKET;
    const struct {
        std::u32string text;
        PB_INT kind, tokenType, tokenOffset, offset;
        const char *rule;
    } rows[] = {
        { U"a (b) \"c\" [d]", none, -1, -1, -1, "well formed: the refusal is left alone" },
        { U"ab \"cd", unterminated, quotedString, 3, 6, "unterminated: offset at the end" },
        { U"\"", unterminated, quotedString, 0, 1, "opening character last" },
        { U"x [a\\", unterminated, domainLiteral, 2, 4, "backslash last: offset at it" },
        { U"\"a\\\"", unterminated, quotedString, 0, 4, "the backslash takes the closing quotation mark with it" },
        { U"(a(b)", unterminated, comment, 0, 5, "depth does not return to 0" },
        { U"(\"a)\")", unterminated, quotedString, 4, 6, "the comment closes, then an unterminated quoted string" },
        { U"(a\r\nb)", brokenBreak, comment, 0, 2, "CR LF without a space or tab after it: offset at the CR" },
        { U"\"a\r\"", brokenBreak, quotedString, 0, 2, "a CR without LF" },
        { U"\"a\r\n", brokenBreak, quotedString, 0, 2, "a CR with only one character after it" },
        { U"[a[b]", nestedBracket, domainLiteral, 0, 2, "offset at the inner bracket" },
    };
    for (const auto &row : rows) {
        auto text = rfctest::string(row.text);
        RFC_MAIL_SHF_TOKEN_VECTOR_DECODE_REFUSAL refusal { 0, -1, -1, -1 };
        pb::Ref<PB_VECTOR> vec(rfcMailShfTokenVectorTryDecodeWithRefusal(text.get(), &refusal));
        EXPECT_EQ(!vec, row.kind != none) << row.rule;
        EXPECT_STREQ(rfcMailShfTokenVectorDecodeRefusalKindToString(refusal.kind),
            rfcMailShfTokenVectorDecodeRefusalKindToString(row.kind)) << row.rule;
        EXPECT_EQ((std::vector<PB_INT> { refusal.tokenType, refusal.tokenOffset, refusal.offset }),
            (std::vector<PB_INT> { row.tokenType, row.tokenOffset, row.offset })) << row.rule;
        EXPECT_EQ(decode(row.text).has_value(), row.kind == none) << "the plain decoder agrees: " << row.rule;
    }
}

TEST(MailShfTokenVectorDecode, DeepNestingDoesNotRecurse)
{
    // Far deeper than any call stack would hold one frame per level.
    constexpr std::size_t depth = 1000000;
    std::u32string nested = std::u32string(depth, U'(') + U"x" + std::u32string(depth, U')');
    EXPECT_EQ(decode(nested), (Toks { { comment, nested } }));
    nested.pop_back();
    EXPECT_FALSE(decode(nested)) << "one closing parenthesis short";
}

// Each decoded token is an object of its own, repeated specials too: the
// sort has no order of its own, so two tokens are equal only when they are
// one object.
TEST(MailShfTokenVectorDecode, EveryTokenIsItsOwnObject)
{
    auto text = rfctest::string(std::string_view(", , @ a a"));
    pb::Ref<PB_VECTOR> tokens(rfcMailShfTokenVectorTryDecode(text.get()));
    ASSERT_TRUE(tokens);
    ASSERT_EQ(pbVectorLength(tokens.get()), 5);
    for (PB_INT i = 0; i < 5; ++i) {
        pb::Ref<PB_OBJ> a(pbVectorObjAt(tokens.get(), i));
        EXPECT_EQ(pbObjRefCount(a.get()), 2) << "token " << i << ": held by the vector and this test only";
        for (PB_INT j = i + 1; j < 5; ++j) {
            pb::Ref<PB_OBJ> b(pbVectorObjAt(tokens.get(), j));
            EXPECT_FALSE(rfcMailShfTokenEquals(rfcMailShfTokenFrom(a.get()), rfcMailShfTokenFrom(b.get())))
                << "tokens " << i << " and " << j;
        }
    }
}

// Decoded tokens are held apart from the vector and from one another: each
// outlives the vector and its neighbours in every order of release, and a
// raw value changed through one token's string (copied on write) leaves the
// others, repeated specials included, as they were. A reference counted
// wrongly shows as a use after free under the sanitizers, or as an object
// left alive at the end.
TEST(MailShfTokenVectorDecode, TokensOutliveTheVectorAndStayApart)
{
    const std::u32string text = U"<a@b.c>, <d@e.f>; ,,";
    const Toks expected { s('<'), a(U"a"), s('@'), a(U"b"), s('.'), a(U"c"), s('>'), s(','), s('<'), a(U"d"),
        s('@'), a(U"e"), s('.'), a(U"f"), s('>'), s(';'), s(','), s(',') };
    const std::size_t n = expected.size();
    std::vector<std::size_t> forward(n), backward(n), oddsFirst;
    for (std::size_t i = 0; i < n; ++i) {
        forward[i] = i;
        backward[i] = n - 1 - i;
    }
    for (std::size_t start : { 1, 0 })
        for (std::size_t i = start; i < n; i += 2)
            oddsFirst.push_back(i);
    const struct {
        const std::vector<std::size_t> &order;
        const char *name;
    } orders[] = { { forward, "in order" }, { backward, "last first" }, { oddsFirst, "odd positions first" } };
    for (const auto &row : orders) {
        SCOPED_TRACE(row.name);
        std::vector<pb::Ref<PB_OBJ>> held;
        std::vector<pb::Ref<PB_STRING>> kept(n);
        {
            pb::Ref<PB_VECTOR> vec(rfcMailShfTokenVectorTryDecode(rfctest::string(text).get()));
            ASSERT_TRUE(vec);
            ASSERT_EQ(toksOf(vec.get()), expected);
            for (std::size_t i = 0; i < n; ++i)
                held.emplace_back(pbVectorObjAt(vec.get(), PB_INT(i)));
        }
        for (std::size_t k = 0; k < n; ++k) {
            std::size_t i = row.order[k];
            RFC_MAIL_SHF_TOKEN *tok = rfcMailShfTokenFrom(held[i].get());
            pb::Ref<PB_STRING> raw(rfcMailShfTokenRawValue(tok));
            pbStringAppendChar(raw.addr(), 'x');
            EXPECT_EQ(rfctest::chars(raw.get()), expected[i].raw + U"x") << "token " << i;
            EXPECT_EQ(rawOf(tok), expected[i].raw) << "token " << i << " itself is unchanged";
            kept[i] = pb::Ref<PB_STRING>(rfcMailShfTokenRawValue(tok));
            held[i].reset();
            for (std::size_t j = 0; j < n; ++j) {
                if (held[j]) {
                    EXPECT_EQ(rawOf(rfcMailShfTokenFrom(held[j].get())), expected[j].raw)
                        << "token " << j << " after token " << i << " went";
                }
            }
        }
        for (std::size_t i = 0; i < n; ++i)
            EXPECT_EQ(rfctest::chars(kept[i].get()), expected[i].raw) << "the raw value of token " << i << " outlives it";
    }
}

TEST(MailShfTokenVectorEncode, SpacesJoinsAndFolds)
{
    const Toks abc { a(U"aaaa"), a(U"bbb"), a(U"cc") }, address { a(U"x"), s('.'), a(U"y"), s('@'), a(U"z") };
    const struct {
        Toks toks;
        PB_INT wrapLineLength, firstLineOffset;
        std::u32string text;
        const char *rule;
    } rows[] = {
        { abc, -1, 0, U"aaaa bbb cc", "one space between tokens, no fold" },
        { abc, 5, 0, U"aaaa bbb\r\n cc", "the token that passes the wrap length stays, the next one folds" },
        { abc, 4, 0, U"aaaa bbb\r\n cc", "a line exactly at the wrap length does not fold" },
        { abc, 0, 0, U"aaaa\r\n bbb\r\n cc", "wrap 0 folds before every later token" },
        { abc, 0, 1, U"\r\n aaaa\r\n bbb\r\n cc", "an offset already past the wrap length folds first" },
        { { a(U"aaaa"), a(U"bbb") }, 10, 7, U"aaaa\r\n bbb", "the offset counts on the first line" },
        { address, -1, 0, U"x.y@z", "dotted word and address joined" },
        { address, 2, 0, U"x.y\r\n @z", "a fold may fall inside a joined run" },
        { { { quotedString, U"\"x y\"" }, s('@'), { quotedString, U"\"b\"" } }, -1, 0, U"\"x y\"@\"b\"", "quoted strings join" },
        { { a(U"x"), s('@'), { comment, U"(c)" }, a(U"z") }, -1, 0, U"x @ (c) z", "no join without a word after the at sign" },
        { { a(U"a"), s('@'), { domainLiteral, U"[x]" } }, -1, 0, U"a @ [x]", "a domain literal does not join" },
        { { s('.'), a(U"a"), s('.'), s('.'), a(U"b"), s('.') }, -1, 0, U". a . . b .", "dots at the ends or in a row do not join" },
        { { s('<'), a(U"a"), s(','), a(U"b"), s(':'), s('>') }, -1, 0, U"< a , b : >", "other specials have spaces on both sides" },
        { { { comment, U"(x\r\n y)" } }, -1, 0, U"(x\r\n y)", "a fold inside a token is written as it stands" },
        { {}, 0, 50, U"", "empty vector, whatever the lengths" },
    };
    for (const auto &row : rows)
        EXPECT_EQ(encode(row.toks, row.wrapLineLength, row.firstLineOffset), row.text)
            << row.rule << " (wrap " << row.wrapLineLength << ", offset " << row.firstLineOffset << ")";
}

TEST(MailShfTokenVectorDelComments, RemovesCommentsOnlyAndCopiesASharedVector)
{
    const Tok c1 { comment, U"(one)" }, c2 { comment, U"(two (nested))" };
    const struct {
        Toks before, after;
        const char *rule;
    } rows[] = {
        { { c1, c2 }, {}, "only comments leave an empty vector" },
        { { a(U"a"), s('.'), a(U"b") }, { a(U"a"), s('.'), a(U"b") }, "no comments: unchanged" },
        { { c1, a(U"a"), c1, c2, a(U"b"), c2 }, { a(U"a"), a(U"b") }, "at both ends and two in a row" },
        { {}, {}, "empty vector" },
    };
    for (const auto &row : rows) {
        auto vec = vectorOf(row.before);
        auto other = pb::Ref<PB_VECTOR>::retained(vec.get());
        rfcMailShfTokenVectorDelComments(vec.addr());
        EXPECT_EQ(toksOf(vec.get()), row.after) << row.rule;
        EXPECT_EQ(toksOf(other.get()), row.before) << "a shared vector is copied, not changed: " << row.rule;
    }
}

using MailShfTokenDeathTest = testing::Test;

TEST_F(MailShfTokenDeathTest, ContractViolations)
{
    const std::string token = "source/rfc/mail/rfc_mail_shf_token:.*", vector = "source/rfc/mail/rfc_mail_shf_token_vector:.*";
    EXPECT_DEATH(rfcMailShfTokenCreateSpecial('a'), token + "rfc___MailCharIsSpecial\\( special \\)");
    EXPECT_DEATH(rfcMailShfTokenCreateAtomOrQuotedString(nullptr), "contract violation: atomOrQuotedString");
    // Strings that are no valid token carry no condition text.
    for (std::u32string bad : { U"", U"a b", U"[a[b]", U"(a))", U"\"a\"b\"", U"\"a\\\"", U"a\x01", U")(" })
        EXPECT_DEATH(rfcMailShfTokenCreateRawValue(rfctest::string(bad).get()), token + "\\(no condition\\)") << show(bad);

    auto vec = vectorOf({ a(U"a") });
    EXPECT_DEATH(rfcMailShfTokenVectorEncode(vec.get(), -2, 0), vector + "wrapLineLength >= -1");
    EXPECT_DEATH(rfcMailShfTokenVectorEncode(vec.get(), -1, -1), vector + "firstLineOffset >= 0");
    pbVectorAppendObj(vec.addr(), pbStringObj(rfctest::string("x").get()));
    EXPECT_DEATH(rfcMailShfTokenVectorEncode(vec.get(), -1, 0), vector + "pbVectorContainsOnly\\( vec, rfcMailShfTokenSort\\(\\) \\)");
    EXPECT_DEATH(rfcMailShfTokenFrom(pbVectorObjAt(vec.get(), 1)),
        "\\[stdfunc from\\].*!obj \\|\\| pbObjSort\\(obj\\)==&rfc___sort_RFC_MAIL_SHF_TOKEN");
}

} // namespace
