// Enumerations, flag sets and newline flags: names to values and back, the
// text form of a set of flags and the rules of its parser.
#include "pb_test_util.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <string>

namespace {

using rfctest::utf8;

// A second name for 0, a name limited by its length, and a name that is not
// ASCII.
pb::Ref<PB_ENUM> colours()
{
    pb::Ref<PB_ENUM> e(pbEnumCreate());
    pbEnumSetEnumerantCstr(e.addr(), "RED", -1, 0);
    pbEnumSetEnumerantCstr(e.addr(), "GREEN", -1, 1);
    pbEnumSetEnumerantCstr(e.addr(), "BLUE_AND_MORE", 4, 7); // the name is "BLUE"
    pbEnumSetEnumerantCstr(e.addr(), "CRIMSON", -1, 0);
    pbEnumSetEnumerantCstr(e.addr(), "CAF\xC3\x89", -1, 4);
    return e;
}

PB_INT parse(PB_ENUM *e, const char *name)
{
    return pbEnumParse(e, rfctest::string(name).get());
}

std::string generate(PB_ENUM *e, PB_INT value)
{
    pb::Ref<PB_STRING> s(pbEnumGenerate(e, value));
    return utf8(s.get());
}

// Parse gives the value of a name and -1 for any other text; Generate gives
// the first name set for a value, or the value in decimal.
TEST(PbEnum, NamesAndValues)
{
    pb::Ref<PB_ENUM> e = colours();
    struct Row {
        const char *name;
        PB_INT value;
    } parsed[] = {
        { "RED", 0 }, { "GREEN", 1 }, { "BLUE", 7 }, { "CRIMSON", 0 }, { "CAF\xC3\x89", 4 },
        { "BLUE_AND_MORE", -1 }, // only the first four bytes were the name
        { "red", -1 }, { "GREEN ", -1 }, { "", -1 }, { "YELLOW", -1 },
    }, generated[] = {
        { "RED", 0 }, { "GREEN", 1 }, { "BLUE", 7 }, { "CAF\xC3\x89", 4 }, { "2", 2 }, { "-3", -3 },
    };
    for (const Row &row : parsed)
        EXPECT_EQ(parse(e.get(), row.name), row.value) << row.name;
    for (const Row &row : generated)
        EXPECT_EQ(generate(e.get(), row.value), row.name) << row.value;
}

// Setting a name again replaces its value, in a copy when shared.
TEST(PbEnum, SetterCopiesASharedEnumerationFirst)
{
    pbtest::expectCopyOnWrite<PB_ENUM>(colours, [](PB_ENUM **e) { pbEnumSetEnumerantCstr(e, "GREEN", -1, 5); },
        [](PB_ENUM *e) { return generate(e, 1) + " " + generate(e, 5) + " " + std::to_string(parse(e, "GREEN")); },
        "1 GREEN 5");
}

// Flags defined out of bit order, one bit with two names, and the top bit.
pb::Ref<PB_FLAGSET> flags()
{
    pb::Ref<PB_FLAGSET> f(pbFlagsetCreate());
    pbFlagsetSetFlagCstr(f.addr(), "C", -1, 0x4);
    pbFlagsetSetFlagCstr(f.addr(), "A", -1, 0x1);
    pbFlagsetSetFlagCstr(f.addr(), "B_LONG", -1, 0x2);
    pbFlagsetSetFlagCstr(f.addr(), "B_ALIAS", -1, 0x2);
    pbFlagsetSetFlagCstr(f.addr(), "TOP", -1, PB_INT_MIN);
    return f;
}

std::string generate(PB_FLAGSET *f, PB_INT value)
{
    pb::Ref<PB_STRING> s(pbFlagsetGenerate(f, value));
    return utf8(s.get());
}

PB_INT parse(PB_FLAGSET *f, const std::string &text)
{
    return pbFlagsetParse(f, rfctest::string(text).get());
}

TEST(PbFlagset, TextJoinsNamesInBitOrder)
{
    pb::Ref<PB_FLAGSET> f = flags();
    struct Row {
        PB_INT flags;
        const char *text;
    } rows[] = {
        { 0, "" },
        { 0x5, "A, C" },
        { 0x7, "A, B_LONG, C" }, // bit order, not definition order; first name of bit 0x2
        { 0x8, "" },              // a bit without a name has no text
        { PB_INT_MIN | 0x2, "B_LONG, TOP" },
    };
    for (const Row &row : rows)
        EXPECT_EQ(generate(f.get(), row.flags), row.text) << row.flags;
    // Every combination of the named bits reads back.
    const PB_INT bits[] = { 0x1, 0x2, 0x4, PB_INT_MIN };
    for (int mask = 0; mask < 16; ++mask) {
        PB_INT value = 0;
        for (int i = 0; i < 4; ++i)
            value |= mask & (1 << i) ? bits[i] : 0;
        EXPECT_EQ(parse(f.get(), generate(f.get(), value)), value) << mask;
    }
}

TEST(PbFlagset, ParserReadsNamesSeparatedByCommasAndWhiteSpace)
{
    pb::Ref<PB_FLAGSET> f = flags();
    struct Row {
        std::string text;
        PB_INT flags;
        const char *why;
    } rows[] = {
        { "", 0, "empty text" },
        { "A,C", 0x5, "comma alone" },
        { "A C", 0x5, "space alone" },
        { "A\tC\nB_LONG", 0x7, "tab and newline" },
        { "  ,A ,, C,  ", 0x5, "leading, doubled and trailing separators" },
        { "B_ALIAS", 0x2, "either name of a bit" },
        { "A, UNKNOWN, C", 0x5, "unknown names are ignored" },
        { "a, c", 0, "names are exact" },
        { "AC", 0, "names must be separated" },
        { "A;C", 0, "a semicolon is no separator" },
        { "TOP, A, A", PB_INT_MIN | 0x1, "the top bit, a repeated name" },
    };
    for (const Row &row : rows)
        EXPECT_EQ(parse(f.get(), row.text), row.flags) << row.why;
}

// HasFlag tells whether a name is defined; setting a flag in a shared set
// copies it first.
TEST(PbFlagset, HasFlagAndCopyOnWrite)
{
    pb::Ref<PB_FLAGSET> f = flags();
    EXPECT_TRUE(pbFlagsetHasFlagCstr(f.get(), "B_ALIAS", -1));
    EXPECT_TRUE(pbFlagsetHasFlagCstr(f.get(), "CXX", 1));
    for (const char *absent : { "B", "a", "" })
        EXPECT_FALSE(pbFlagsetHasFlagCstr(f.get(), absent, -1)) << absent;
    pbtest::expectCopyOnWrite<PB_FLAGSET>(flags, [](PB_FLAGSET **s) { pbFlagsetSetFlagCstr(s, "D", -1, 0x8); },
        [](PB_FLAGSET *s) { return generate(s, 0xF); }, "A, B_LONG, C, D");
}

// Each newline flag has its name; every combination of the eight reads back
// from its text, which names each set bit once, in bit order.
TEST(PbNlfFlags, NamesAndText)
{
    const char *const names[] = { "PB_NLF_FLAG_LF", "PB_NLF_FLAG_CR", "PB_NLF_FLAG_CRLF", "PB_NLF_FLAG_NEL",
        "PB_NLF_FLAG_VT", "PB_NLF_FLAG_FF", "PB_NLF_FLAG_LS", "PB_NLF_FLAG_PS" };
    for (int bit = 0; bit < 8; ++bit) {
        EXPECT_EQ(utf8(pb::Ref<PB_STRING>(pbNlfFlagsToString(PB_INT(1) << bit)).get()), names[bit]);
        EXPECT_EQ(pbNlfFlagsFromString(rfctest::string(names[bit]).get()), PB_INT(1) << bit) << names[bit];
    }
    for (PB_INT flags = 0; flags < 256; ++flags) {
        pb::Ref<PB_STRING> text(pbNlfFlagsToString(flags));
        const std::string s = utf8(text.get());
        EXPECT_EQ(pbNlfFlagsFromString(text.get()), flags) << s;
        const PB_INT count = s.empty() ? 0 : 1 + PB_INT(std::count(s.begin(), s.end(), ','));
        EXPECT_EQ(count, PB_INT(std::popcount(static_cast<std::uint64_t>(flags)))) << s;
    }
    EXPECT_EQ(utf8(pb::Ref<PB_STRING>(pbNlfFlagsToString(PB_NLF_FLAG_CRLF | PB_NLF_FLAG_LF | PB_NLF_FLAG_PS)).get()),
        "PB_NLF_FLAG_LF, PB_NLF_FLAG_CRLF, PB_NLF_FLAG_PS");
    EXPECT_EQ(pbNlfFlagsFromString(rfctest::string("PB_NLF_FLAG_FF PB_NLF_FLAG_BOGUS,PB_NLF_FLAG_CR").get()),
        PB_NLF_FLAG_FF | PB_NLF_FLAG_CR);
}

} // namespace
