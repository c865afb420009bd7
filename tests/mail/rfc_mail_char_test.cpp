// The character classes against independent definitions: the C library's
// classification in the "C" locale for letters, digits and controls, and the
// list of specials as RFC 822 section 3.3 writes it.
#include "mail_test_support.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string_view>

namespace {

// RFC 822, 3.3: specials = "(" / ")" / "<" / ">" / "@" / "," / ";" / ":" /
// "\" / <"> / "." / "[" / "]"
constexpr std::u32string_view rfc822Specials = U"()<>@,;:\\\".[]";

bool ascii(PB_CHAR ch)
{
    return ch >= 0 && ch < 0x80;
}

// Every ASCII code point, the edges around it and a sample of larger and
// negative values, none of which belong to any class.
std::vector<PB_CHAR> probes()
{
    std::vector<PB_CHAR> all;
    for (PB_CHAR ch = -3; ch <= 0x120; ++ch)
        all.push_back(ch);
    for (PB_CHAR ch : { 0x2028, 0xFEFF, 0xFF08, 0x10FFFF, 0x110000, 0x7FFFFFFF, -0x7FFFFFFF - 1 })
        all.push_back(ch);
    return all;
}

TEST(MailChar, ClassesMatchTheCLibraryInTheCLocaleAndRfc822)
{
    for (PB_CHAR ch : probes()) {
        SCOPED_TRACE(ch);
        int c = static_cast<int>(ch);
        EXPECT_EQ(rfc___MailCharIsAlpha(ch), ascii(ch) && std::isalpha(c));
        EXPECT_EQ(rfc___MailCharIsDigit(ch), ascii(ch) && std::isdigit(c));
        EXPECT_EQ(rfc___MailCharIsCtl(ch), ascii(ch) && std::iscntrl(c));
        EXPECT_EQ(rfc___MailCharIsCr(ch), ch == '\r');
        EXPECT_EQ(rfc___MailCharIsLf(ch), ch == '\n');
        EXPECT_EQ(rfc___MailCharIsHtab(ch), ch == '\t');
        EXPECT_EQ(rfc___MailCharIsSpace(ch), ch == ' ');
        EXPECT_EQ(rfc___MailCharIsLwsp(ch), ch == ' ' || ch == '\t');
        EXPECT_EQ(rfc___MailCharIsQuotationMark(ch), ch == '"');
        bool listed = ascii(ch) && rfc822Specials.find(static_cast<char32_t>(ch)) != std::u32string_view::npos;
        EXPECT_EQ(rfc___MailCharIsSpecial(ch), listed);
    }
}

TEST(MailChar, ClassesAnswerOneOrZero)
{
    for (PB_CHAR ch : probes()) {
        for (PB_BOOL answer : { rfc___MailCharIsAlpha(ch), rfc___MailCharIsDigit(ch), rfc___MailCharIsCtl(ch),
                 rfc___MailCharIsLwsp(ch), rfc___MailCharIsSpecial(ch) })
            EXPECT_TRUE(answer == 0 || answer == 1) << ch;
    }
}

TEST(MailChar, EdgesOfControlsAndSpecials)
{
    struct Row {
        PB_CHAR ch;
        PB_BOOL ctl;
        PB_BOOL special;
        const char *rule;
    } const rows[] = {
        { 0x7F, 1, 0, "DEL is a control" },
        { 0x80, 0, 0, "code points from 0x80 up are no controls" },
        { -1, 0, 0, "negative values are no controls" },
        { 0x1F, 1, 0, "last C0 control" },
        { 0x20, 0, 0, "space is neither" },
        { 0x21, 0, 0, "'!' below the first special" },
        { 0x22, 0, 1, "quotation mark, bit 0 of the mask" },
        { 0x5D, 0, 1, "']', bit 59 of the mask" },
        { 0x5E, 0, 0, "'^' just past the mask's range" },
        { 0x3D, 0, 0, "'=' inside the range, no special" },
        { 0x3F, 0, 0, "'?' inside the range, no special" },
    };
    for (const Row &row : rows) {
        EXPECT_EQ(rfc___MailCharIsCtl(row.ch), row.ctl) << row.rule;
        EXPECT_EQ(rfc___MailCharIsSpecial(row.ch), row.special) << row.rule;
    }
}

} // namespace
