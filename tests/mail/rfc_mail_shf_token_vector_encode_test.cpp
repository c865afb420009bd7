// Writing token vectors: spaces between tokens, the joining of dotted words
// and addresses, folding at the wrap length, and the removal of comments.
#include "mail_test_support.h"

#include <gtest/gtest.h>

namespace {

using namespace mailtest;

const Tok dot { special, U"." };
const Tok at { special, U"@" };
Tok a(std::u32string raw)
{
    return { atom, std::move(raw) };
}

TEST(MailShfTokenVectorEncode, SpacesJoinsAndFolds)
{
    struct Row {
        Toks toks;
        PB_INT wrapLineLength;
        PB_INT firstLineOffset;
        std::u32string text;
        const char *rule;
    } const rows[] = {
        { { a(U"aaaa"), a(U"bbb"), a(U"cc") }, -1, 0, U"aaaa bbb cc", "one space between tokens, no fold" },
        { { a(U"aaaa"), a(U"bbb"), a(U"cc") }, 5, 0, U"aaaa bbb\r\n cc",
            "the token that passes the wrap length stays, the next one folds" },
        { { a(U"aaaa"), a(U"bbb"), a(U"cc") }, 0, 0, U"aaaa\r\n bbb\r\n cc", "wrap 0 folds before every later token" },
        { { a(U"aaaa"), a(U"bbb"), a(U"cc") }, 0, 1, U"\r\n aaaa\r\n bbb\r\n cc",
            "an offset already past the wrap length folds first" },
        { { a(U"aaaa"), a(U"bbb"), a(U"cc") }, 4, 0, U"aaaa bbb\r\n cc", "a line exactly at the wrap length does not fold" },
        { { a(U"aaaa"), a(U"bbb") }, 10, 7, U"aaaa\r\n bbb", "the offset counts on the first line" },
        { { a(U"x"), dot, a(U"y"), at, a(U"z") }, -1, 0, U"x.y@z", "dotted word and address joined" },
        { { a(U"x"), dot, a(U"y"), at, a(U"z") }, 2, 0, U"x.y\r\n @z", "a fold may fall inside a joined run" },
        { { a(U"x"), dot, a(U"yyyy"), at, a(U"z") }, 3, 0, U"x.yyyy\r\n @z", "fold before the at sign" },
        { { { quotedString, U"\"x y\"" }, at, a(U"z") }, -1, 0, U"\"x y\"@z", "a quoted string joins" },
        { { { quotedString, U"\"a\"" }, dot, { quotedString, U"\"b\"" } }, -1, 0, U"\"a\".\"b\"",
            "quoted strings join each other" },
        { { a(U"x"), at, { comment, U"(c)" }, a(U"z") }, -1, 0, U"x @ (c) z",
            "no join without an atom or quoted string after the at sign" },
        { { a(U"a"), at, { domainLiteral, U"[x]" } }, -1, 0, U"a @ [x]", "a domain literal does not join" },
        { { dot, a(U"a") }, -1, 0, U". a", "a leading dot is an ordinary special" },
        { { a(U"a"), dot, dot, a(U"b") }, -1, 0, U"a . . b", "two dots in a row do not join" },
        { { a(U"a"), dot }, -1, 0, U"a .", "a trailing dot does not join" },
        { { a(U"a"), { special, U"," }, a(U"b") }, -1, 0, U"a , b", "comma has spaces on both sides" },
        { { { special, U"<" }, a(U"a"), { special, U">" } }, -1, 0, U"< a >", "angle brackets too" },
        { { a(U"x"), { special, U":" }, a(U"y") }, -1, 0, U"x : y", "and the colon" },
        { { a(U"w"), a(U"x"), dot, a(U"y") }, -1, 0, U"w x.y", "a run that starts after the first token" },
        { { a(U"a"), dot, a(U"b"), { comment, U"(c)" } }, -1, 0, U"a.b (c)", "comment after a run" },
        { { { comment, U"(x\r\n y)" } }, -1, 0, U"(x\r\n y)", "a fold inside a token is written as it stands" },
        { { a(U"a") }, -1, 1000, U"a", "no fold without a wrap length" },
        { {}, -1, 0, U"", "empty vector" },
        { {}, 0, 50, U"", "empty vector, whatever the lengths" },
    };
    for (const Row &row : rows)
        EXPECT_EQ(encode(row.toks, row.wrapLineLength, row.firstLineOffset), row.text)
            << row.rule << " (wrap " << row.wrapLineLength << ", offset " << row.firstLineOffset << ")";
}

TEST(MailShfTokenVectorEncode, LeavesTheVectorAlone)
{
    auto vec = vectorOf({ a(U"x"), dot, a(U"y") });
    pb::Ref<PB_STRING> text(rfcMailShfTokenVectorEncode(vec.get(), 0, 0));
    EXPECT_EQ(pbObjRefCount(pbVectorObj(vec.get())), 1);
    EXPECT_EQ(toksOf(vec.get()), (Toks { a(U"x"), dot, a(U"y") }));
}

TEST(MailShfTokenVectorDelComments, RemovesCommentsOnly)
{
    const Tok c1 { comment, U"(one)" };
    const Tok c2 { comment, U"(two (nested))" };
    struct Row {
        Toks before;
        Toks after;
        const char *rule;
    } const rows[] = {
        { { c1, c2 }, {}, "only comments leave an empty vector" },
        { { a(U"a"), dot, a(U"b") }, { a(U"a"), dot, a(U"b") }, "no comments: unchanged" },
        { { a(U"a"), c1, c2, a(U"b") }, { a(U"a"), a(U"b") }, "two comments in a row" },
        { { c1, a(U"a"), c2 }, { a(U"a") }, "comments at both ends" },
        { {}, {}, "empty vector" },
    };
    for (const Row &row : rows) {
        auto vec = vectorOf(row.before);
        rfcMailShfTokenVectorDelComments(vec.addr());
        EXPECT_EQ(toksOf(vec.get()), row.after) << row.rule;
    }
}

TEST(MailShfTokenVectorDelComments, CopiesASharedVector)
{
    auto vec = vectorOf({ a(U"a"), { comment, U"(c)" } });
    auto other = pb::Ref<PB_VECTOR>::retained(vec.get());
    rfcMailShfTokenVectorDelComments(vec.addr());
    EXPECT_NE(vec.get(), other.get());
    EXPECT_EQ(toksOf(vec.get()), (Toks { a(U"a") }));
    EXPECT_EQ(toksOf(other.get()), (Toks { a(U"a"), { comment, U"(c)" } }));
}

using MailShfTokenVectorDeathTest = testing::Test;

TEST_F(MailShfTokenVectorDeathTest, ContractViolations)
{
    const std::string file = literal("source/rfc/mail/rfc_mail_shf_token_vector:") + ".*";
    auto vec = vectorOf({ a(U"a") });
    EXPECT_DEATH(rfcMailShfTokenVectorEncode(vec.get(), -2, 0), file + literal("wrapLineLength >= -1"));
    EXPECT_DEATH(rfcMailShfTokenVectorEncode(vec.get(), -1, -1), file + literal("firstLineOffset >= 0"));
    EXPECT_DEATH(rfcMailShfTokenVectorEncode(nullptr, -1, 0), file + "contract violation: vec\n");

    auto string = rfctest::string("x");
    pbVectorAppendObj(vec.addr(), pbStringObj(string.get()));
    EXPECT_DEATH(rfcMailShfTokenVectorEncode(vec.get(), -1, 0),
        file + literal("pbVectorContainsOnly( vec, rfcMailShfTokenSort() )"));
    EXPECT_DEATH(rfcMailShfTokenVectorDelComments(vec.addr()), literal("[stdfunc from]"));
    EXPECT_DEATH(rfcMailShfTokenVectorDelComments(nullptr), file + "contract violation: vec\n");
}

} // namespace
