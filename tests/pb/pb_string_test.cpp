// Strings of code points: UTF-8 in and out (lenient and strict), the
// copy-on-write setters, appending a string to itself, growth, ordering and
// the conversion to bytes.
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <functional>
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

// Well-formed UTF-8, decoded the same way by the lenient and the strict
// reader and written back byte for byte.
struct Utf8Row {
    const char *why;
    std::string bytes;
    std::vector<PB_CHAR> chars;
};

const std::vector<Utf8Row> wellFormedRows = {
    { "empty", "", {} },
    { "ASCII", "Az~", { 0x41, 0x7A, 0x7E } },
    { "embedded NUL with an explicit length", std::string("a\0b", 3), { 0x61, 0x00, 0x62 } },
    { "last one-byte form U+007F", "\x7F", { 0x7F } },
    { "first two-byte form U+0080", "\xC2\x80", { 0x80 } },
    { "U+00E9", "\xC3\xA9", { 0xE9 } },
    { "last two-byte form U+07FF", "\xDF\xBF", { 0x7FF } },
    { "first three-byte form U+0800", "\xE0\xA0\x80", { 0x800 } },
    { "U+20AC euro sign", "\xE2\x82\xAC", { 0x20AC } },
    { "last before the surrogates U+D7FF", "\xED\x9F\xBF", { 0xD7FF } },
    { "first after the surrogates U+E000", "\xEE\x80\x80", { 0xE000 } },
    { "U+FFFD itself", "\xEF\xBF\xBD", { 0xFFFD } },
    { "last three-byte form U+FFFF", "\xEF\xBF\xBF", { 0xFFFF } },
    { "first four-byte form U+10000", "\xF0\x90\x80\x80", { 0x10000 } },
    { "U+1F600", "\xF0\x9F\x98\x80", { 0x1F600 } },
    { "last code point U+10FFFF", "\xF4\x8F\xBF\xBF", { 0x10FFFF } },
    { "mixed widths", "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80z", { 0x61, 0xE9, 0x20AC, 0x1F600, 0x7A } },
};

TEST(PbString, WellFormedUtf8ReadsAndWritesBack)
{
    for (const Utf8Row &row : wellFormedRows) {
        SCOPED_TRACE(row.why);
        pb::Ref<PB_STRING> lenient(pbStringCreateFromCstr(row.bytes.data(), PB_INT(row.bytes.size())));
        EXPECT_EQ(charVector(lenient.get()), row.chars);
        pb::Ref<PB_STRING> strict(pbStringTryCreateFromUtf8(
            reinterpret_cast<const PB_BYTE *>(row.bytes.data()), PB_INT(row.bytes.size())));
        ASSERT_TRUE(strict);
        EXPECT_EQ(charVector(strict.get()), row.chars);

        PB_INT length = -2;
        char *text = pbStringConvertToUtf8(lenient.get(), &length);
        EXPECT_EQ(std::string(text, std::size_t(length)), row.bytes);
        EXPECT_EQ(text[length], '\0');
        pbMemFree(text);
    }
}

TEST(PbString, CstrWithLengthMinusOneReadsUpToTheNul)
{
    pb::Ref<PB_STRING> s(pbStringCreateFromCstr("h\xC3\xA9llo\0ignored", -1));
    EXPECT_EQ(chars(s.get()), U"h\u00E9llo");
    pb::Ref<PB_STRING> prefix(pbStringCreateFromCstr("hello", 3));
    EXPECT_EQ(chars(prefix.get()), U"hel");
    pb::Ref<PB_STRING> none(pbStringCreateFromCstr(nullptr, 0));
    EXPECT_EQ(pbStringLength(none.get()), 0);
}

// Malformed UTF-8: the lenient reader puts one U+FFFD in place of each
// offending byte and resumes at the next byte; the strict reader gives null.
constexpr PB_CHAR R = 0xFFFD;

const std::vector<Utf8Row> malformedRows = {
    { "lone continuation byte", "\x80", { R } },
    { "continuation bytes only", "\x80\xBF", { R, R } },
    { "overlong NUL C0 80", "\xC0\x80", { R, R } },
    { "overlong '/' C1 AF", "\xC1\xAF", { R, R } },
    { "overlong three-byte E0 80 80", "\xE0\x80\x80", { R, R, R } },
    { "overlong four-byte F0 80 80 80", "\xF0\x80\x80\x80", { R, R, R, R } },
    { "surrogate U+D800 as ED A0 80", "\xED\xA0\x80", { R, R, R } },
    { "surrogate U+DFFF as ED BF BF", "\xED\xBF\xBF", { R, R, R } },
    { "above U+10FFFF: F4 90 80 80", "\xF4\x90\x80\x80", { R, R, R, R } },
    { "lead byte F5", "\xF5\x80\x80\x80", { R, R, R, R } },
    { "five-byte form", "\xF8\x88\x80\x80\x80", { R, R, R, R, R } },
    { "bytes FE and FF", "\xFE\xFF", { R, R } },
    { "truncated three-byte form at the end", "\xE2\x82", { R, R } },
    { "truncated four-byte form before ASCII", "\xF0\x9F\x98" "A", { R, R, R, 0x41 } },
    { "bad continuation keeps the next character", "\xC3(", { R, 0x28 } },
    { "good text around a bad byte", "a\xE2\x82\xAC" "b\xFF" "c", { 0x61, 0x20AC, 0x62, R, 0x63 } },
    { "lone lead at the very end", "abc\xC3", { 0x61, 0x62, 0x63, R } },
};

TEST(PbString, MalformedUtf8IsReplacedLenientlyAndRefusedStrictly)
{
    for (const Utf8Row &row : malformedRows) {
        SCOPED_TRACE(row.why);
        pb::Ref<PB_STRING> lenient(pbStringCreateFromCstr(row.bytes.data(), PB_INT(row.bytes.size())));
        EXPECT_EQ(charVector(lenient.get()), row.chars);
        PB_STRING *strict = pbStringTryCreateFromUtf8(
            reinterpret_cast<const PB_BYTE *>(row.bytes.data()), PB_INT(row.bytes.size()));
        EXPECT_EQ(strict, nullptr); // null, and nothing left alive (checked by the test main)
        pbObjRelease(pbStringObj(strict));
    }
}

// Code points that have no UTF-8 form are written as U+FFFD.
TEST(PbString, InvalidCodePointsAreWrittenAsReplacementCharacter)
{
    pb::Ref<PB_STRING> s(fromChars({ 0x41, 0xD800, 0xDFFF, 0x110000, -1, 0x42 }));
    EXPECT_EQ(utf8(s.get()), "A\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD" "B");
}

// Every Unicode scalar value survives the trip to UTF-8 and back through the
// strict reader, and the UTF-8 has the length the four forms add up to.
TEST(PbString, EveryScalarValueRoundTripsThroughUtf8)
{
    std::vector<PB_CHAR> all;
    for (PB_CHAR c = 0; c <= 0x10FFFF; ++c)
        if (c < 0xD800 || c > 0xDFFF)
            all.push_back(c);
    pb::Ref<PB_STRING> s(fromChars(all));
    PB_INT length = 0;
    char *text = pbStringConvertToUtf8(s.get(), &length);
    constexpr PB_INT expected = 0x80 * 1 + (0x800 - 0x80) * 2 + (0x10000 - 0x800 - 0x800) * 3 + 0x100000 * 4;
    EXPECT_EQ(length, expected);
    pb::Ref<PB_STRING> back(pbStringTryCreateFromUtf8(reinterpret_cast<const PB_BYTE *>(text), length));
    pbMemFree(text);
    ASSERT_TRUE(back);
    EXPECT_TRUE(charVector(back.get()) == all);
}

TEST(PbString, CreateFromAsciiMapsEachByteToItsValue)
{
    std::vector<PB_BYTE> bytes;
    std::vector<PB_CHAR> expected;
    for (int b = 0; b < 256; ++b) {
        bytes.push_back(PB_BYTE(b));
        expected.push_back(b);
    }
    pb::Ref<PB_STRING> s(pbStringCreateFromAscii(bytes.data(), PB_INT(bytes.size())));
    EXPECT_EQ(charVector(s.get()), expected);
}

TEST(PbString, CreateFromCharsUseTakesOverTheBlock)
{
    auto *block = static_cast<PB_CHAR *>(pbMemAlloc(3 * PB_INT(sizeof(PB_CHAR))));
    block[0] = 0x61, block[1] = 0x1F600, block[2] = 0x62;
    pb::Ref<PB_STRING> s(pbStringCreateFromCharsUse(block, 3));
    EXPECT_EQ(pbStringBacking(s.get()), block);
    EXPECT_EQ(chars(s.get()), U"a\U0001F600b");
    // Growing a string that uses a handed-over block (ASan checks the
    // reallocation and the final free).
    for (int i = 0; i < 100; ++i)
        pbStringAppendChar(s.addr(), 0x78);
    EXPECT_EQ(pbStringLength(s.get()), 103);
    EXPECT_EQ(pbStringCharAt(s.get(), 1), 0x1F600);
    EXPECT_EQ(pbStringCharAt(s.get(), 102), 0x78);

    pb::Ref<PB_STRING> empty(pbStringCreateFromCharsUse(nullptr, 0));
    EXPECT_EQ(pbStringLength(empty.get()), 0);
}

TEST(PbString, CharAtAndEqualsCstr)
{
    pb::Ref<PB_STRING> s = rfctest::string("ab\xC3\xA9");
    EXPECT_EQ(pbStringCharAt(s.get(), 0), 0x61);
    EXPECT_EQ(pbStringCharAt(s.get(), 2), 0xE9);
    pb::Ref<PB_STRING> ascii = rfctest::string("abc");
    EXPECT_TRUE(pbStringEqualsCstr(ascii.get(), "abc"));
    EXPECT_FALSE(pbStringEqualsCstr(ascii.get(), "ab"));
    EXPECT_FALSE(pbStringEqualsCstr(ascii.get(), "abcd"));
    EXPECT_FALSE(pbStringEqualsCstr(ascii.get(), "abC"));
}

// Every setter, applied through one of two references to the same string,
// leaves the other holder's object exactly as it was and gives the caller a
// new object of its own; applied through the only reference, it changes the
// object in place.
struct SetterRow {
    const char *name;
    std::function<void(PB_STRING **)> apply;
    std::u32string expected; // starting from "hello"
};

std::vector<SetterRow> setterRows()
{
    return {
        { "AppendChar", [](PB_STRING **s) { pbStringAppendChar(s, 0x21); }, U"hello!" },
        { "AppendChars",
            [](PB_STRING **s) {
                const PB_CHAR tail[] = { 0x20, 0x1F600 };
                pbStringAppendChars(s, tail, 2);
            },
            U"hello \U0001F600" },
        { "Append",
            [](PB_STRING **s) {
                pb::Ref<PB_STRING> tail = rfctest::string(" world");
                pbStringAppend(s, tail.get());
            },
            U"hello world" },
        { "AppendCstr", [](PB_STRING **s) { pbStringAppendCstr(s, "\xC3\xA9t\xC3\xA9", -1); }, U"hello\u00E9t\u00E9" },
        { "PrependChar", [](PB_STRING **s) { pbStringPrependChar(s, 0x3E); }, U">hello" },
        { "DelLeading", [](PB_STRING **s) { pbStringDelLeading(s, 2); }, U"llo" },
        { "DelLeading all", [](PB_STRING **s) { pbStringDelLeading(s, 5); }, U"" },
        { "DelTrailing", [](PB_STRING **s) { pbStringDelTrailing(s, 2); }, U"hel" },
        { "DelTrailing all", [](PB_STRING **s) { pbStringDelTrailing(s, 5); }, U"" },
    };
}

TEST(PbString, SettersCopyASharedStringFirst)
{
    for (const SetterRow &row : setterRows()) {
        SCOPED_TRACE(row.name);
        pb::Ref<PB_STRING> other = rfctest::string("hello");
        pb::Ref<PB_STRING> mine = pb::Ref<PB_STRING>::retained(other.get());
        row.apply(mine.addr());
        EXPECT_NE(mine.get(), other.get());
        EXPECT_EQ(chars(other.get()), U"hello");
        EXPECT_EQ(chars(mine.get()), row.expected);
        EXPECT_EQ(pbObjRefCount(pbStringObj(other.get())), 1);
        EXPECT_EQ(pbObjRefCount(pbStringObj(mine.get())), 1);
    }
}

TEST(PbString, SettersChangeAnUnsharedStringInPlace)
{
    for (const SetterRow &row : setterRows()) {
        SCOPED_TRACE(row.name);
        pb::Ref<PB_STRING> mine = rfctest::string("hello");
        PB_STRING *before = mine.get();
        row.apply(mine.addr());
        EXPECT_EQ(mine.get(), before);
        EXPECT_EQ(chars(mine.get()), row.expected);
    }
}

TEST(PbString, DeletingNothingKeepsTheText)
{
    pb::Ref<PB_STRING> s = rfctest::string("abc");
    pbStringDelLeading(s.addr(), 0);
    pbStringDelTrailing(s.addr(), 0);
    EXPECT_EQ(chars(s.get()), U"abc");
}

TEST(PbString, AppendingAStringToItself)
{
    pb::Ref<PB_STRING> s = rfctest::string("ab\xC3\xA9");
    pbStringAppend(s.addr(), s.get());
    EXPECT_EQ(chars(s.get()), U"ab\u00E9ab\u00E9");
    // Repeatedly, so that the string must grow while reading from itself.
    for (int i = 0; i < 10; ++i)
        pbStringAppend(s.addr(), s.get());
    ASSERT_EQ(pbStringLength(s.get()), 6 * 1024);
    for (PB_INT i = 0; i < pbStringLength(s.get()); i += 3)
        ASSERT_EQ(pbStringCharAt(s.get(), i + 2), 0xE9) << i;
    EXPECT_EQ(pbObjRefCount(pbStringObj(s.get())), 1);
}

TEST(PbString, AppendingAStringToItselfWhileShared)
{
    pb::Ref<PB_STRING> other = rfctest::string("xyz");
    pb::Ref<PB_STRING> mine = pb::Ref<PB_STRING>::retained(other.get());
    pbStringAppend(mine.addr(), mine.get());
    EXPECT_EQ(chars(mine.get()), U"xyzxyz");
    EXPECT_EQ(chars(other.get()), U"xyz");
    EXPECT_EQ(pbObjRefCount(pbStringObj(other.get())), 1);
}

// AppendChars given the string's own code points: with and without the need
// to grow (the source block must survive the reallocation).
TEST(PbString, AppendCharsFromTheStringsOwnBacking)
{
    pb::Ref<PB_STRING> s = rfctest::string("0123456789");
    pbStringAppendChars(s.addr(), pbStringBacking(s.get()) + 2, 5);
    EXPECT_EQ(chars(s.get()), U"012345678923456");
    for (int i = 0; i < 6; ++i)
        pbStringAppendChars(s.addr(), pbStringBacking(s.get()), pbStringLength(s.get()));
    ASSERT_EQ(pbStringLength(s.get()), 15 * 64);
    EXPECT_EQ(chars(s.get()).substr(15 * 63), U"012345678923456");

    // Room to spare: delete a tail first, then append from the front.
    pbStringDelTrailing(s.addr(), pbStringLength(s.get()) - 4);
    pbStringAppendChars(s.addr(), pbStringBacking(s.get()) + 1, 3);
    EXPECT_EQ(chars(s.get()), U"0123123");
}

// Growth is amortised: the backing block moves only when the capacity
// doubles, so 100000 single appends move it a few dozen times at most.
TEST(PbString, AppendingManyCharsGrowsGeometrically)
{
    constexpr int count = 100000;
    pb::Ref<PB_STRING> s(pbStringCreate());
    const PB_CHAR *backing = pbStringBacking(s.get());
    int moves = 0;
    for (int i = 0; i < count; ++i) {
        pbStringAppendChar(s.addr(), PB_CHAR(0x100 + i % 0x1000));
        if (pbStringBacking(s.get()) != backing) {
            backing = pbStringBacking(s.get());
            ++moves;
        }
    }
    ASSERT_EQ(pbStringLength(s.get()), count);
    for (int i = 0; i < count; i += 997)
        ASSERT_EQ(pbStringCharAt(s.get(), i), PB_CHAR(0x100 + i % 0x1000)) << i;
    EXPECT_LE(moves, 40);
}

TEST(PbString, PrependManyChars)
{
    pb::Ref<PB_STRING> s(pbStringCreate());
    for (PB_CHAR c = 0; c < 3000; ++c)
        pbStringPrependChar(s.addr(), c);
    ASSERT_EQ(pbStringLength(s.get()), 3000);
    for (PB_INT i = 0; i < 3000; ++i)
        ASSERT_EQ(pbStringCharAt(s.get(), i), PB_CHAR(2999 - i));
}

// Strings order by code point value (not by UTF-16 unit or UTF-8 byte), a
// proper prefix first.
TEST(PbString, CompareOrdersByCodePoint)
{
    struct Row {
        std::vector<PB_CHAR> a, b;
        int sign;
        const char *why;
    } rows[] = {
        { {}, {}, 0, "empty strings are equal" },
        { {}, { 0 }, -1, "empty before anything, even NUL" },
        { { 0x61 }, { 0x61, 0x00 }, -1, "a proper prefix first" },
        { { 0x61, 0x62 }, { 0x61, 0x63 }, -1, "first difference decides" },
        { { 0x7A }, { 0x61, 0x61 }, 1, "not by length first" },
        { { 0xFFFF }, { 0x10000 }, -1, "U+FFFF before U+10000" },
        { { 0xE000 }, { 0x10000 }, -1, "U+E000 before U+10000 (UTF-16 order would put it after)" },
        { { 0x7F }, { 0x80 }, -1, "U+007F before U+0080" },
        { { 0x10FFFF }, { 0x10FFFF }, 0, "equal content, distinct objects" },
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.why);
        pb::Ref<PB_STRING> a(fromChars(row.a));
        pb::Ref<PB_STRING> b(fromChars(row.b));
        PB_INT ab = pbObjCompare(pbStringObj(a.get()), pbStringObj(b.get()));
        PB_INT ba = pbObjCompare(pbStringObj(b.get()), pbStringObj(a.get()));
        EXPECT_EQ((ab > 0) - (ab < 0), row.sign);
        EXPECT_EQ((ba > 0) - (ba < 0), -row.sign);
        EXPECT_EQ(pbObjEquals(pbStringObj(a.get()), pbStringObj(b.get())), row.sign == 0);
    }
}

TEST(PbString, ObjFromAndToStringKeepTheText)
{
    pb::Ref<PB_STRING> s = rfctest::string("t\xC3\xA9xt");
    EXPECT_EQ(pbStringFrom(pbStringObj(s.get())), s.get());
    EXPECT_EQ(pbStringFrom(nullptr), nullptr);
    EXPECT_EQ(pbObjSort(pbStringObj(s.get())), pbStringSort());
    pb::Ref<PB_STRING> text(pbObjToString(pbStringObj(s.get())));
    EXPECT_EQ(chars(text.get()), U"t\u00E9xt");
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
        bool ascii = all[i] >= 0 && all[i] < 0x80;
        bool ok = ascii ? bytes[i] == all[i] : bytes[i] >= 0x80;
        if (!ok && wrong++ < 5)
            ADD_FAILURE() << "U+" << std::hex << all[i] << " gave byte 0x" << int(bytes[i]);
    }
    EXPECT_EQ(wrong, 0);
    pbMemFree(bytes);

    pb::Ref<PB_STRING> empty(pbStringCreate());
    bytes = pbStringConvertToAscii(empty.get(), 0, &count);
    EXPECT_EQ(count, 0);
    pbMemFree(bytes);
}

TEST(PbStringDeathTest, CharAtOutOfRange)
{
    pb::Ref<PB_STRING> s = rfctest::string("abc");
    EXPECT_DEATH(pbStringCharAt(s.get(), 3), "source/pb/pb_string.*index >= 0 && index < s->length");
    EXPECT_DEATH(pbStringCharAt(s.get(), -1), "index >= 0 && index < s->length");
}

TEST(PbStringDeathTest, DelTrailingBeyondTheLength)
{
    pb::Ref<PB_STRING> s = rfctest::string("abc");
    EXPECT_DEATH(pbStringDelTrailing(s.addr(), 4), "count >= 0 && count <= \\(\\*s\\)->length");
}

TEST(PbStringDeathTest, FromAnObjectOfAnotherSort)
{
    pb::Ref<PB_BUFFER> b(pbBufferCreate());
    EXPECT_DEATH(pbStringFrom(pbBufferObj(b.get())), "!obj \\|\\| pbObjSort\\(obj\\) == &stringSort");
}

} // namespace
