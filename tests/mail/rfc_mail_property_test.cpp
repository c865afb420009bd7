// The decoder and encoder against the vectors of a separate reference model
// of the lexical rules (tools/gen_mail_vectors.py), and properties over many
// generated texts and contents: the decoder's tokens cover the text exactly
// and survive encoding at any wrap length; the value of a token made from
// content is that content.
#include "mail_test_support.h"

#include <algorithm>
#include <random>
#include <sstream>

namespace {

using namespace mailtest;

// Undoes the escapes of the vector file: \\ \s \t \r \n \x{HEX}; "-" is the
// empty text.
std::u32string unescape(const std::string &field)
{
    std::u32string out;
    for (std::size_t i = 0; field != "-" && i < field.size(); ++i) {
        if (field[i] != '\\') {
            out += static_cast<unsigned char>(field[i]);
        } else if (field.at(++i) == 'x') {
            std::size_t close = field.find('}', i);
            out += static_cast<char32_t>(std::stoul(field.substr(i + 2, close - i - 2), nullptr, 16));
            i = close;
        } else {
            std::size_t kind = std::string_view("\\strn").find(field[i]);
            EXPECT_NE(kind, std::string_view::npos) << "unknown escape in " << field;
            out += U"\\ \t\r\n"[std::min<std::size_t>(kind, 4)];
        }
    }
    return out;
}

TEST(MailReference, DecodeAndEncodeAgreeWithTheModel)
{
    auto rows = rfctest::readTsv("mail/reference_vectors.tsv");
    ASSERT_EQ(rows.size(), 400u);
    int refused = 0;
    for (const auto &row : rows) {
        ASSERT_EQ(row.size(), 5u);
        auto toks = decode(unescape(row[0]));
        if (row[1] == "null") {
            EXPECT_FALSE(toks) << row[0];
            ++refused;
            continue;
        }
        Toks expected; // items "type:raw" separated by spaces
        std::istringstream items(row[1] == "-" ? "" : row[1]);
        for (std::string item; items >> item;)
            expected.push_back({ item.at(0) - '0', unescape(item.substr(2)) });
        ASSERT_EQ(toks, expected) << row[0];
        EXPECT_EQ(encode(*toks, std::stoll(row[2]), std::stoll(row[3])), unescape(row[4]))
            << row[0] << " wrap " << row[2] << " offset " << row[3];
    }
    EXPECT_GT(refused, 0);
}

// Up to most items of pool, chosen at random and joined.
template <class Pool>
std::u32string randomJoin(std::mt19937 &random, const Pool &pool, std::size_t most)
{
    std::u32string out;
    for (std::size_t n = random() % (most + 1); n > 0; --n)
        out += pool[random() % std::size(pool)];
    return out;
}

bool separator(char32_t ch)
{
    return ch == U' ' || ch <= 0x1F || ch == 0x7F;
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

// Each decoded token also classifies as its type (encode builds the vector
// with vectorOf, which checks it).
TEST(MailRoundTrip, DecodeEncodeDecode)
{
    // Fragments that make texts look like header bodies, valid or broken.
    const std::u32string fragments[] = { U"a", U"bc", U"John", U"\u00E9t\u00E9", U"x\U0001F600", U" ", U"  ", U"\t",
        U"\r\n ", U"\r\n", U"\r", U"\n", U"\x01", U"\x7F", U".", U"@", U",", U";", U":", U"<", U">", U"\\", U")",
        U"]", U"\"x y\"", U"\"\"", U"\"q\\\"r\"", U"\"a\r\n b\"", U"(c)", U"(c (d) e)", U"(\\))", U"[1.2]", U"[\\[]",
        U"\"", U"(", U"[" };
    std::mt19937 random(822);
    int decoded = 0;
    for (int i = 0; i < 3000; ++i) {
        std::u32string text = randomJoin(random, fragments, 24);
        auto toks = decode(text);
        if (!toks)
            continue;
        ++decoded;
        expectCover(text, *toks);
        for (PB_INT wrap : { -1, 0, 1, 7, 40, 76 }) {
            for (PB_INT offset : { 0, 3, 50 }) {
                std::u32string again = encode(*toks, wrap, offset);
                ASSERT_EQ(decode(again), toks) << show(text) << " -> " << show(again);
                bool foldFirst = again.starts_with(U"\r\n ");
                EXPECT_TRUE(foldFirst || !again.starts_with(U" ")) << show(again);
                EXPECT_EQ(foldFirst, wrap != -1 && offset > wrap && !toks->empty()) << show(again);
                EXPECT_FALSE(again.ends_with(U"\r\n")) << show(again);
                // Without folding, the only line breaks are those inside tokens.
                std::size_t inside = 0;
                for (const Tok &tok : *toks)
                    inside += static_cast<std::size_t>(std::count(tok.raw.begin(), tok.raw.end(), U'\r'));
                if (wrap == -1)
                    EXPECT_EQ(static_cast<std::size_t>(std::count(again.begin(), again.end(), U'\r')), inside);
            }
        }
    }
    EXPECT_GT(decoded, 300) << "the generator must reach the successful path";
}

// Arbitrary content, with code points of every class and negative and
// out-of-range values that only atoms and delimited tokens can carry: the
// value is the content, and what the constructor wrote classifies and
// decodes as that one token.
TEST(MailRoundTrip, ValueOfContent)
{
    const char32_t pool[] = { U'a', U'Z', U'0', U' ', U'\t', U'\r', U'\n', 0x00, 0x1F, 0x7F, U'(', U')', U'<', U'>',
        U'@', U',', U';', U':', U'\\', U'"', U'.', U'[', U']', U'~', 0x80, 0xE9, 0x1F600, static_cast<char32_t>(-1), 0x110000 };
    std::mt19937 random(2822);
    for (int i = 0; i < 5000; ++i) {
        std::u32string content = randomJoin(random, pool, 12);
        auto string = rfctest::string(content);
        for (auto create : { rfcMailShfTokenCreateAtomOrQuotedString, rfcMailShfTokenCreateComment }) {
            pb::Ref<RFC_MAIL_SHF_TOKEN> tok(create(string.get()));
            EXPECT_EQ(valueOf(tok.get()), content) << show(content);
            Toks one { { rfcMailShfTokenType(tok.get()), rawOf(tok.get()) } };
            EXPECT_EQ(decode(one[0].raw), one) << show(content);
            vectorOf(one); // which checks that the raw value classifies as the type
        }
    }
}

} // namespace
