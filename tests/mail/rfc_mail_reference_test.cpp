// The decoder and encoder against the vectors of a separate reference model
// of the lexical rules (tools/gen_mail_vectors.py): random header texts, the
// tokens the model finds (or its refusal), and the text it writes back.
#include "mail_test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

using namespace mailtest;

// Undoes the escapes of the vector file: \\ \s \t \r \n \x{HEX}; "-" is the
// empty text.
std::u32string unescape(const std::string &field)
{
    std::u32string out;
    if (field == "-")
        return out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        char ch = field[i];
        if (ch != '\\') {
            out += static_cast<char32_t>(static_cast<unsigned char>(ch));
            continue;
        }
        char kind = field.at(++i);
        switch (kind) {
        case '\\': out += U'\\'; break;
        case 's': out += U' '; break;
        case 't': out += U'\t'; break;
        case 'r': out += U'\r'; break;
        case 'n': out += U'\n'; break;
        case 'x': {
            std::size_t close = field.find('}', i);
            out += static_cast<char32_t>(std::strtoul(field.substr(i + 2, close - i - 2).c_str(), nullptr, 16));
            i = close;
            break;
        }
        default:
            ADD_FAILURE() << "unknown escape \\" << kind << " in " << field;
        }
    }
    return out;
}

Toks parseToks(const std::string &field)
{
    Toks toks;
    if (field == "-")
        return toks;
    std::size_t start = 0;
    while (start <= field.size()) {
        std::size_t space = field.find(' ', start);
        std::string item = field.substr(start, space - start);
        toks.push_back({ item.at(0) - '0', unescape(item.substr(2)) });
        if (space == std::string::npos)
            break;
        start = space + 1;
    }
    return toks;
}

TEST(MailReference, DecodeAndEncodeAgreeWithTheModel)
{
    auto rows = rfctest::readTsv("mail/reference_vectors.tsv");
    ASSERT_EQ(rows.size(), 400u);
    int refused = 0;
    for (const auto &row : rows) {
        ASSERT_EQ(row.size(), 5u);
        std::u32string text = unescape(row[0]);
        Toks toks;
        bool ok = decode(text, toks);
        if (row[1] == "null") {
            EXPECT_FALSE(ok) << row[0];
            ++refused;
            continue;
        }
        ASSERT_TRUE(ok) << row[0];
        EXPECT_EQ(toks, parseToks(row[1])) << row[0];
        PB_INT wrap = std::stoll(row[2]);
        PB_INT offset = std::stoll(row[3]);
        EXPECT_EQ(encode(toks, wrap, offset), unescape(row[4])) << row[0] << " wrap " << wrap << " offset " << offset;
    }
    EXPECT_GT(refused, 0);
}

} // namespace
