// Strings of code points: UTF-8 in and out (lenient and strict), the
// copy-on-write setters, appending a string to itself, growth and the
// conversion to bytes.
#include "pb_test_util.h"

#include <string>
#include <vector>

namespace {

using rfctest::chars;
using rfctest::utf8;

PB_STRING *fromChars(const std::vector<PB_CHAR> &cs)
{
    return pbStringCreateFromCharsCopy(cs.data(), PB_INT(cs.size()));
}

std::vector<PB_CHAR> charVector(PB_STRING *s)
{
    return std::vector<PB_CHAR>(pbStringBacking(s), pbStringBacking(s) + pbStringLength(s));
}

PB_STRING *tryUtf8(const std::string &bytes)
{
    return pbStringTryCreateFromUtf8(reinterpret_cast<const PB_BYTE *>(bytes.data()), PB_INT(bytes.size()));
}

constexpr PB_CHAR R = 0xFFFD;

// Well-formed rows are decoded alike by the lenient and the strict reader and
// written back byte for byte. Malformed rows: the lenient reader puts one
// U+FFFD in place of each offending byte and resumes at the next byte; the
// strict reader gives null.
struct Utf8Row {
    bool wellFormed;
    std::string bytes;
    std::vector<PB_CHAR> chars;
    const char *why;
};

const Utf8Row utf8Rows[] = {
    { true, "", {}, "empty" },
    { true, "Az~", { 0x41, 0x7A, 0x7E }, "ASCII" },
    { true, std::string("a\0b", 3), { 0x61, 0x00, 0x62 }, "embedded NUL with an explicit length" },
    { true, "\x7F", { 0x7F }, "last one-byte form U+007F" },
    { true, "\xC2\x80", { 0x80 }, "first two-byte form U+0080" },
    { true, "\xDF\xBF", { 0x7FF }, "last two-byte form U+07FF" },
    { true, "\xE0\xA0\x80", { 0x800 }, "first three-byte form U+0800" },
    { true, "\xED\x9F\xBF", { 0xD7FF }, "last before the surrogates U+D7FF" },
    { true, "\xEE\x80\x80", { 0xE000 }, "first after the surrogates U+E000" },
    { true, "\xEF\xBF\xBF", { 0xFFFF }, "last three-byte form U+FFFF" },
    { true, "\xF0\x90\x80\x80", { 0x10000 }, "first four-byte form U+10000" },
    { true, "\xF4\x8F\xBF\xBF", { 0x10FFFF }, "last code point U+10FFFF" },
    { true, "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80z", { 0x61, 0xE9, 0x20AC, 0x1F600, 0x7A }, "mixed widths" },
    { false, "\x80", { R }, "lone continuation byte" },
    { false, "\x80\xBF", { R, R }, "continuation bytes only" },
    { false, "\xC0\x80", { R, R }, "overlong NUL C0 80" },
    { false, "\xC1\xAF", { R, R }, "overlong '/' C1 AF" },
    { false, "\xE0\x80\x80", { R, R, R }, "overlong three-byte E0 80 80" },
    { false, "\xF0\x80\x80\x80", { R, R, R, R }, "overlong four-byte F0 80 80 80" },
    { false, "\xED\xA0\x80", { R, R, R }, "surrogate U+D800 as ED A0 80" },
    { false, "\xED\xBF\xBF", { R, R, R }, "surrogate U+DFFF as ED BF BF" },
    { false, "\xF4\x90\x80\x80", { R, R, R, R }, "above U+10FFFF: F4 90 80 80" },
    { false, "\xF5\x80\x80\x80", { R, R, R, R }, "lead byte F5" },
    { false, "\xF8\x88\x80\x80\x80", { R, R, R, R, R }, "five-byte form" },
    { false, "\xFE\xFF", { R, R }, "bytes FE and FF" },
    { false, "\xE2\x82", { R, R }, "truncated three-byte form at the end" },
    { false, "\xF0\x9F\x98" "A", { R, R, R, 0x41 }, "truncated four-byte form before ASCII" },
    { false, "\xC3(", { R, 0x28 }, "bad continuation keeps the next character" },
    { false, "a\xE2\x82\xAC" "b\xFF" "c", { 0x61, 0x20AC, 0x62, R, 0x63 }, "good text around a bad byte" },
    { false, "abc\xC3", { 0x61, 0x62, 0x63, R }, "lone lead at the very end" },
};

TEST(PbString, Utf8ReadersAndWriter)
{
    for (const Utf8Row &row : utf8Rows) {
        SCOPED_TRACE(row.why);
        pb::Ref<PB_STRING> lenient(pbStringCreateFromCstr(row.bytes.data(), PB_INT(row.bytes.size())));
        EXPECT_EQ(charVector(lenient.get()), row.chars);
        pb::Ref<PB_STRING> strict(tryUtf8(row.bytes));
        if (!row.wellFormed) {
            EXPECT_EQ(strict.get(), nullptr); // and nothing left alive (checked by the test main)
            continue;
        }
        ASSERT_TRUE(strict);
        EXPECT_EQ(charVector(strict.get()), row.chars);
        EXPECT_EQ(utf8(lenient.get()), row.bytes);
    }
    // Length -1 reads up to the NUL; values that are no code points are
    // written as U+FFFD.
    pb::Ref<PB_STRING> cstr(pbStringCreateFromCstr("h\xC3\xA9llo\0ignored", -1));
    EXPECT_EQ(chars(cstr.get()), U"h\u00E9llo");
    pb::Ref<PB_STRING> invalid(fromChars({ 0x41, 0xD800, 0xDFFF, 0x110000, -1, 0x42 }));
    EXPECT_EQ(utf8(invalid.get()), "A\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD" "B");
}

// Every Unicode scalar value survives the trip to UTF-8 and back through the
// strict reader, and the UTF-8 has the length the four forms add up to; the
// text ends with a NUL not counted in the length.
TEST(PbString, EveryScalarValueRoundTripsThroughUtf8)
{
    std::vector<PB_CHAR> all;
    for (PB_CHAR c = 0; c <= 0x10FFFF; ++c)
        if (c < 0xD800 || c > 0xDFFF)
            all.push_back(c);
    pb::Ref<PB_STRING> s(fromChars(all));
    PB_INT length = 0;
    char *text = pbStringConvertToUtf8(s.get(), &length);
    EXPECT_EQ(length, 0x80 * 1 + (0x800 - 0x80) * 2 + (0x10000 - 0x800 - 0x800) * 3 + 0x100000 * 4);
    EXPECT_EQ(text[length], '\0');
    pb::Ref<PB_STRING> back(tryUtf8(std::string(text, std::size_t(length))));
    pbMemFree(text);
    ASSERT_TRUE(back);
    EXPECT_TRUE(charVector(back.get()) == all);
}

TEST(PbString, CreateFromAsciiAndFromAHandedOverBlock)
{
    std::vector<PB_BYTE> bytes;
    std::vector<PB_CHAR> expected;
    for (int b = 0; b < 256; ++b) {
        bytes.push_back(PB_BYTE(b));
        expected.push_back(b);
    }
    pb::Ref<PB_STRING> ascii(pbStringCreateFromAscii(bytes.data(), PB_INT(bytes.size())));
    EXPECT_EQ(charVector(ascii.get()), expected);

    // The string reads the block in place, grows it and frees it (ASan
    // checks the reallocation and the final free).
    auto *block = static_cast<PB_CHAR *>(pbMemAlloc(3 * PB_INT(sizeof(PB_CHAR))));
    block[0] = 0x61, block[1] = 0x1F600, block[2] = 0x62;
    pb::Ref<PB_STRING> s(pbStringCreateFromCharsUse(block, 3));
    EXPECT_EQ(pbStringBacking(s.get()), block);
    for (int i = 0; i < 100; ++i)
        pbStringAppendChar(s.addr(), 0x78);
    EXPECT_EQ(chars(s.get()), U"a\U0001F600b" + std::u32string(100, U'x'));
    pb::Ref<PB_STRING> empty(pbStringCreateFromCharsUse(nullptr, 0));
    EXPECT_EQ(pbStringLength(empty.get()), 0);
}

TEST(PbString, SettersCopyASharedStringFirst)
{
    struct Row {
        const char *name;
        void (*apply)(PB_STRING **);
        const char *expected; // starting from "hello"
    } rows[] = {
        { "AppendChar", [](PB_STRING **s) { pbStringAppendChar(s, 0x21); }, "hello!" },
        { "AppendChars",
            [](PB_STRING **s) {
                const PB_CHAR tail[] = { 0x20, 0x1F600 };
                pbStringAppendChars(s, tail, 2);
            },
            "hello \xF0\x9F\x98\x80" },
        { "Append", [](PB_STRING **s) { pbStringAppend(s, rfctest::string(" world").get()); }, "hello world" },
        { "AppendCstr", [](PB_STRING **s) { pbStringAppendCstr(s, "\xC3\xA9t\xC3\xA9", -1); }, "hello\xC3\xA9t\xC3\xA9" },
        { "PrependChar", [](PB_STRING **s) { pbStringPrependChar(s, 0x3E); }, ">hello" },
        { "DelLeading", [](PB_STRING **s) { pbStringDelLeading(s, 2); }, "llo" },
        { "DelLeading all", [](PB_STRING **s) { pbStringDelLeading(s, 5); }, "" },
        { "DelTrailing", [](PB_STRING **s) { pbStringDelTrailing(s, 2); }, "hel" },
        { "DelTrailing all", [](PB_STRING **s) { pbStringDelTrailing(s, 5); }, "" },
        { "deleting nothing", [](PB_STRING **s) { pbStringDelLeading(s, 0), pbStringDelTrailing(s, 0); }, "hello" },
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        pbtest::expectCopyOnWrite<PB_STRING>([] { return rfctest::string("hello"); }, row.apply,
            [](PB_STRING *s) { return utf8(s); }, row.expected);
    }
}

// A string's own text as the source of an append, alone or shared, with and
// without the need to grow (the source must survive the reallocation).
TEST(PbString, AppendingFromItself)
{
    pb::Ref<PB_STRING> s = rfctest::string("ab\xC3\xA9");
    for (int i = 0; i < 11; ++i)
        pbStringAppend(s.addr(), s.get());
    ASSERT_EQ(pbStringLength(s.get()), 3 * 2048);
    for (PB_INT i = 0; i < pbStringLength(s.get()); i += 3)
        ASSERT_EQ(pbStringCharAt(s.get(), i + 2), 0xE9) << i;

    pb::Ref<PB_STRING> other = rfctest::string("xyz");
    pb::Ref<PB_STRING> mine = pb::Ref<PB_STRING>::retained(other.get());
    pbStringAppend(mine.addr(), mine.get());
    EXPECT_EQ(chars(mine.get()), U"xyzxyz");
    EXPECT_EQ(chars(other.get()), U"xyz");

    pb::Ref<PB_STRING> digits = rfctest::string("0123456789");
    pbStringAppendChars(digits.addr(), pbStringBacking(digits.get()) + 2, 5);
    EXPECT_EQ(chars(digits.get()), U"012345678923456");
    for (int i = 0; i < 6; ++i)
        pbStringAppendChars(digits.addr(), pbStringBacking(digits.get()), pbStringLength(digits.get()));
    ASSERT_EQ(pbStringLength(digits.get()), 15 * 64);
    EXPECT_EQ(chars(digits.get()).substr(15 * 63), U"012345678923456");
    pbStringDelTrailing(digits.addr(), pbStringLength(digits.get()) - 4); // room to spare now
    pbStringAppendChars(digits.addr(), pbStringBacking(digits.get()) + 1, 3);
    EXPECT_EQ(chars(digits.get()), U"0123123");
}

// Growth is amortised: the backing block moves only when the capacity
// doubles, so 100000 single appends move it a few dozen times at most.
// Prepending keeps the order too.
TEST(PbString, ManyAppendsAndPrepends)
{
    constexpr int count = 100000;
    pb::Ref<PB_STRING> s(pbStringCreate());
    const PB_CHAR *backing = pbStringBacking(s.get());
    int moves = 0;
    for (int i = 0; i < count; ++i) {
        pbStringAppendChar(s.addr(), PB_CHAR(0x100 + i % 0x1000));
        moves += pbStringBacking(s.get()) != backing;
        backing = pbStringBacking(s.get());
    }
    ASSERT_EQ(pbStringLength(s.get()), count);
    for (int i = 0; i < count; i += 997)
        ASSERT_EQ(pbStringCharAt(s.get(), i), PB_CHAR(0x100 + i % 0x1000)) << i;
    EXPECT_LE(moves, 40);

    pb::Ref<PB_STRING> p(pbStringCreate());
    for (PB_CHAR c = 0; c < 3000; ++c)
        pbStringPrependChar(p.addr(), c);
    ASSERT_EQ(pbStringLength(p.get()), 3000);
    for (PB_INT i = 0; i < 3000; ++i)
        ASSERT_EQ(pbStringCharAt(p.get(), i), PB_CHAR(2999 - i));
}

// EqualsCstr compares the whole text.
TEST(PbString, EqualsCstr)
{
    pb::Ref<PB_STRING> abc = rfctest::string("abc");
    EXPECT_TRUE(pbStringEqualsCstr(abc.get(), "abc"));
    for (const char *other : { "ab", "abcd", "abC" })
        EXPECT_FALSE(pbStringEqualsCstr(abc.get(), other)) << other;
}

// To bytes: a code point below U+0080 is its own byte; every other one,
// including values that are no code points at all, becomes a byte at or
// above 0x80 and never an ASCII byte.
TEST(PbString, ConvertToAsciiNeverMakesAsciiFromOtherCodePoints)
{
    std::vector<PB_CHAR> all;
    for (PB_CHAR c = 0; c <= 0x10FFFF; ++c)
        all.push_back(c);
    for (PB_CHAR c : { -1, -0x80, PB_CHAR(INT32_MIN), 0x110000, 0x110041, PB_CHAR(INT32_MAX) })
        all.push_back(c);
    pb::Ref<PB_STRING> s(fromChars(all));
    PB_INT count = -1;
    PB_BYTE *bytes = pbStringConvertToAscii(s.get(), 0, &count);
    ASSERT_EQ(count, PB_INT(all.size()));
    PB_INT wrong = 0;
    for (std::size_t i = 0; i < all.size(); ++i) {
        const bool ascii = all[i] >= 0 && all[i] < 0x80;
        if ((ascii ? bytes[i] != all[i] : bytes[i] < 0x80) && wrong++ < 5)
            ADD_FAILURE() << "U+" << std::hex << all[i] << " gave byte 0x" << int(bytes[i]);
    }
    EXPECT_EQ(wrong, 0);
    pbMemFree(bytes);
}

} // namespace
