// Properties over many generated texts and contents: the decoder's tokens
// cover the text exactly, agree with the classification of a token as
// written, and survive encoding at any wrap length; the value of a token made
// from content is that content.
#include "mail_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace {

using namespace mailtest;

// Fragments that make texts look like header bodies, valid or broken.
const std::u32string fragments[] = {
    U"a", U"bc", U"John", U"\u00E9t\u00E9", U"x\U0001F600", U" ", U"  ", U"\t", U"\r\n ", U"\r\n", U"\r", U"\n",
    U"\x01", U"\x7F", U".", U"@", U",", U";", U":", U"<", U">", U"\\", U")", U"]", U"\"x y\"", U"\"\"",
    U"\"q\\\"r\"", U"\"a\r\n b\"", U"(c)", U"(c (d) e)", U"(\\))", U"[1.2]", U"[\\[]", U"\"", U"(", U"[",
};

std::u32string randomText(std::mt19937 &random)
{
    std::uniform_int_distribution<std::size_t> count(0, 24);
    std::uniform_int_distribution<std::size_t> pick(0, std::size(fragments) - 1);
    std::u32string text;
    for (std::size_t n = count(random); n > 0; --n)
        text += fragments[pick(random)];
    return text;
}

// Arbitrary content: code points from every class, including negative and
// out-of-range values that only atoms and delimited tokens can carry.
std::u32string randomContent(std::mt19937 &random)
{
    static const char32_t pool[] = { U'a', U'Z', U'0', U' ', U'\t', U'\r', U'\n', 0x00, 0x1F, 0x7F, U'(', U')',
        U'<', U'>', U'@', U',', U';', U':', U'\\', U'"', U'.', U'[', U']', U'~', 0x80, 0xE9, 0x1F600,
        static_cast<char32_t>(-1), 0x110000 };
    std::uniform_int_distribution<std::size_t> count(0, 12);
    std::uniform_int_distribution<std::size_t> pick(0, std::size(pool) - 1);
    std::u32string content;
    for (std::size_t n = count(random); n > 0; --n)
        content += pool[pick(random)];
    return content;
}

bool separator(char32_t ch)
{
    return ch == U' ' || (ch <= 0x1F) || ch == 0x7F;
}

// The tokens stand in the text in order, each copied exactly, with nothing
// but separators between them, and every atom as long as it can be.
void expectCover(const std::u32string &text, const Toks &toks)
{
    std::size_t at = 0;
    for (const Tok &tok : toks) {
        while (at < text.size() && separator(text[at]))
            ++at;
        ASSERT_EQ(text.substr(at, tok.raw.size()), tok.raw) << show(text);
        at += tok.raw.size();
        if (tok.type == atom && at < text.size()) {
            auto ch = static_cast<PB_CHAR>(text[at]);
            EXPECT_TRUE(rfc___MailCharIsSpecial(ch) || rfc___MailCharIsCtl(ch) || ch == ' ') << show(text);
        }
    }
    while (at < text.size() && separator(text[at]))
        ++at;
    EXPECT_EQ(at, text.size()) << show(text);
}

TEST(MailRoundTrip, DecodeEncodeDecode)
{
    std::mt19937 random(822);
    int decoded = 0;
    for (int i = 0; i < 3000; ++i) {
        std::u32string text = randomText(random);
        Toks toks;
        if (!decode(text, toks))
            continue;
        ++decoded;
        expectCover(text, toks);

        // Each token is what the classification of its raw value says.
        for (const Tok &tok : toks) {
            auto raw = rfctest::string(tok.raw);
            auto made = tokenOf(raw.get());
            EXPECT_EQ(rfcMailShfTokenType(made.get()), tok.type) << show(tok.raw);
        }

        for (PB_INT wrap : { -1, 0, 1, 7, 40, 76 }) {
            for (PB_INT offset : { 0, 3, 50 }) {
                std::u32string again = encode(toks, wrap, offset);
                Toks back;
                ASSERT_TRUE(decode(again, back)) << show(text) << " -> " << show(again);
                EXPECT_EQ(back, toks) << show(text) << " -> " << show(again);
                bool foldFirst = again.starts_with(U"\r\n ");
                EXPECT_TRUE(foldFirst || !again.starts_with(U" ")) << show(again);
                EXPECT_TRUE(foldFirst == (wrap != -1 && offset > wrap && !toks.empty())) << show(again);
                EXPECT_FALSE(again.ends_with(U"\r\n")) << show(again);
                if (wrap == -1) {
                    // Without folding, the only line breaks are those inside tokens.
                    std::size_t inside = 0;
                    for (const Tok &tok : toks)
                        inside += static_cast<std::size_t>(std::count(tok.raw.begin(), tok.raw.end(), U'\r'));
                    EXPECT_EQ(static_cast<std::size_t>(std::count(again.begin(), again.end(), U'\r')), inside);
                }
            }
        }
    }
    // The generator must exercise the successful path, not only failures.
    EXPECT_GT(decoded, 300);
}

TEST(MailRoundTrip, ValueOfContent)
{
    std::mt19937 random(2822);
    for (int i = 0; i < 5000; ++i) {
        std::u32string content = randomContent(random);
        auto string = rfctest::string(content);
        pb::Ref<RFC_MAIL_SHF_TOKEN> word(rfcMailShfTokenCreateAtomOrQuotedString(string.get()));
        pb::Ref<RFC_MAIL_SHF_TOKEN> remark(rfcMailShfTokenCreateComment(string.get()));
        EXPECT_EQ(valueOf(word.get()), content) << show(content);
        EXPECT_EQ(valueOf(remark.get()), content) << show(content);

        // What the constructors write is a valid token of the same type, and
        // the decoder reads it back as that one token.
        for (RFC_MAIL_SHF_TOKEN *tok : { word.get(), remark.get() }) {
            pb::Ref<PB_STRING> raw(rfcMailShfTokenRawValue(tok));
            auto again = tokenOf(raw.get());
            EXPECT_EQ(rfcMailShfTokenType(again.get()), rfcMailShfTokenType(tok)) << show(content);
            Toks toks;
            ASSERT_TRUE(decode(rfctest::chars(raw.get()), toks)) << show(content);
            EXPECT_EQ(toks, (Toks { { rfcMailShfTokenType(tok), rfctest::chars(raw.get()) } })) << show(content);
        }
    }
}

} // namespace
