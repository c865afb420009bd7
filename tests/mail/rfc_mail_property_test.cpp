// The decoder and encoder against the vectors of a separate reference model
// of the lexical rules (tools/gen_mail_vectors.py), and properties over many
// generated texts and contents: the decoder's tokens cover the text exactly
// and survive encoding at any wrap length; the value of a token made from
// content is that content.
#include "mail_properties.h"
#include "mail_test_support.h"

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

TEST(MailRoundTrip, GeneratedTexts)
{
    // Fragments that make texts look like header bodies, valid or broken.
    const std::u32string fragments[] = { U"a", U"bc", U"John", U"\u00E9t\u00E9", U"x\U0001F600", U" ", U"  ", U"\t",
        U"\r\n ", U"\r\n", U"\r", U"\n", U"\x01", U"\x7F", U".", U"@", U",", U";", U":", U"<", U">", U"\\", U")",
        U"]", U"\"x y\"", U"\"\"", U"\"q\\\"r\"", U"\"a\r\n b\"", U"(c)", U"(c (d) e)", U"(\\))", U"[1.2]", U"[\\[]",
        U"\"", U"(", U"[" };
    std::mt19937 random(822);
    int decoded = 0;
    for (int i = 0; i < 3000; ++i) {
        std::u32string chars = randomJoin(random, fragments, 24);
        auto text = rfctest::string(chars);
        bool ok = false;
        for (PB_INT wrap : { 0, 1, 7, 40, 76 }) {
            for (PB_INT offset : { 0, 3, 50 })
                EXPECT_EQ(mailprop::textFailure(text.get(), wrap, offset, &ok), nullptr) << show(chars) << " wrap " << wrap << " offset " << offset;
        }
        decoded += ok;
    }
    EXPECT_GT(decoded, 300) << "the generator must reach the successful path";
}

// Arbitrary content, with code points of every class and negative and
// out-of-range values that only atoms and delimited tokens can carry.
TEST(MailRoundTrip, ValueOfContent)
{
    const char32_t pool[] = { U'a', U'Z', U'0', U' ', U'\t', U'\r', U'\n', 0x00, 0x1F, 0x7F, U'(', U')', U'<', U'>',
        U'@', U',', U';', U':', U'\\', U'"', U'.', U'[', U']', U'~', 0x80, 0xE9, 0x1F600, 0x10FFFF };
    std::mt19937 random(2822);
    for (int i = 0; i < 5000; ++i) {
        std::u32string content = randomJoin(random, pool, 12);
        EXPECT_EQ(mailprop::contentFailure(rfctest::string(content).get()), nullptr) << show(content);
    }
}

} // namespace
