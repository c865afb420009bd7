// Strings of code points and byte buffers: UTF-8 in and out (lenient and
// strict), creation by copying and by taking over a block, the copy-on-write
// setters, appending an object's own contents, growth and the conversion to
// bytes.
#include "pb_test_util.h"

#include <string>
#include <vector>

namespace {

using rfctest::bytes;
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
    // Length -1 reads up to the NUL; surrogates, which are no characters,
    // are written as U+FFFD.
    pb::Ref<PB_STRING> cstr(pbStringCreateFromCstr("h\xC3\xA9llo\0ignored", -1));
    EXPECT_EQ(chars(cstr.get()), U"h\u00E9llo");
    pb::Ref<PB_STRING> invalid(fromChars({ 0x41, 0xD800, 0xDFFF, 0x42 }));
    EXPECT_EQ(utf8(invalid.get()), "A\xEF\xBF\xBD\xEF\xBF\xBD" "B");
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

TEST(PbString, CreateFromAscii)
{
    std::vector<PB_BYTE> bytes;
    std::vector<PB_CHAR> expected;
    for (int b = 0; b < 256; ++b) {
        bytes.push_back(PB_BYTE(b));
        expected.push_back(b);
    }
    pb::Ref<PB_STRING> ascii(pbStringCreateFromAscii(bytes.data(), PB_INT(bytes.size())));
    EXPECT_EQ(charVector(ascii.get()), expected);
}

// A block from pbMemAlloc handed over is read in place, grown and freed
// (ASan reports a leak, a double free or a bad reallocation otherwise); a
// copied source stays the caller's.
TEST(PbString, CreateFromBlocks)
{
    auto *chars = static_cast<PB_CHAR *>(pbMemAlloc(3 * PB_INT(sizeof(PB_CHAR))));
    chars[0] = 0x61, chars[1] = 0x1F600, chars[2] = 0x62;
    pb::Ref<PB_STRING> s(pbStringCreateFromCharsUse(chars, 3));
    EXPECT_EQ(pbStringBacking(s.get()), chars);
    for (int i = 0; i < 100; ++i)
        pbStringAppendChar(s.addr(), 0x78);
    EXPECT_EQ(rfctest::chars(s.get()), U"a\U0001F600b" + std::u32string(100, U'x'));

    auto *block = static_cast<PB_BYTE *>(pbMemAlloc(3));
    block[0] = 1, block[1] = 2, block[2] = 3;
    pb::Ref<PB_BUFFER> b(pbBufferCreateFromBytesUse(block, 3));
    EXPECT_EQ(pbBufferBacking(b.get()), block);
    for (int i = 0; i < 100; ++i)
        pbBufferAppendByte(b.addr(), 0x78);
    EXPECT_EQ(bytes(b.get()), "\x01\x02\x03" + std::string(100, 'x'));

    pb::Ref<PB_STRING> none(pbStringCreateFromCharsUse(nullptr, 0));
    pb::Ref<PB_BUFFER> noBytes(pbBufferCreateFromBytesUse(nullptr, 0));
    pb::Ref<PB_BUFFER> emptyBlock(pbBufferCreateFromBytesUse(static_cast<PB_BYTE *>(pbMemAlloc(0)), 0));
    pbBufferAppendByte(emptyBlock.addr(), 0xAB);
    EXPECT_EQ(pbStringLength(none.get()) + pbBufferLength(noBytes.get()), 0);
    EXPECT_EQ(bytes(emptyBlock.get()), "\xAB");

    std::string source("\x00\x7F\x80\xFF", 4);
    pb::Ref<PB_BUFFER> copy(pbBufferCreateFromBytesCopy(reinterpret_cast<const PB_BYTE *>(source.data()), 4));
    source[0] = 'x';
    EXPECT_EQ(bytes(copy.get()), std::string("\x00\x7F\x80\xFF", 4));
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

// An object's own contents as the source of an append, alone or shared, with
// and without the need to grow (the source must survive the reallocation,
// and a shared original must stay intact).
TEST(PbString, AppendingFromItself)
{
    pb::Ref<PB_STRING> s = rfctest::string("ab\xC3\xA9");
    std::u32string expected = U"ab\u00E9";
    for (int i = 0; i < 11; ++i, expected += expected)
        pbStringAppend(s.addr(), s.get());
    EXPECT_EQ(chars(s.get()), expected);
    pb::Ref<PB_STRING> digits = rfctest::string("0123456789");
    pbStringAppendChars(digits.addr(), pbStringBacking(digits.get()) + 2, 5);
    for (int i = 0; i < 6; ++i)
        pbStringAppendChars(digits.addr(), pbStringBacking(digits.get()), pbStringLength(digits.get()));
    ASSERT_EQ(pbStringLength(digits.get()), 15 * 64);
    EXPECT_EQ(chars(digits.get()).substr(15 * 63), U"012345678923456");

    pb::Ref<PB_BUFFER> b = rfctest::buffer("0123456789");
    pbBufferAppendBytes(b.addr(), pbBufferBacking(b.get()) + 3, 4);
    for (int i = 0; i < 8; ++i)
        pbBufferAppendBytes(b.addr(), pbBufferBacking(b.get()), pbBufferLength(b.get()));
    ASSERT_EQ(pbBufferLength(b.get()), 14 * 256);
    EXPECT_EQ(bytes(b.get()).substr(14 * 255), "01234567893456");

    pb::Ref<PB_STRING> other = rfctest::string("xyz");
    pb::Ref<PB_STRING> mine = pb::Ref<PB_STRING>::retained(other.get());
    pbStringAppend(mine.addr(), mine.get());
    EXPECT_EQ(utf8(mine.get()) + utf8(other.get()), "xyzxyzxyz");
    pb::Ref<PB_BUFFER> otherBytes = rfctest::buffer("abc");
    pb::Ref<PB_BUFFER> myBytes = pb::Ref<PB_BUFFER>::retained(otherBytes.get());
    pbBufferAppendBytes(myBytes.addr(), pbBufferBacking(myBytes.get()), 3);
    EXPECT_EQ(bytes(myBytes.get()) + bytes(otherBytes.get()), "abcabcabc");
}

// Growth is amortised: the backing block moves only when the capacity
// doubles, so 100000 single appends move it a few dozen times at most.
// Prepending keeps the order too.
TEST(PbString, ManyAppendsAndPrepends)
{
    constexpr int count = 100000;
    auto moves = [](auto append, auto backing) {
        int moved = 0;
        for (int i = 0; i < count; ++i) {
            const void *before = backing();
            append(i);
            moved += backing() != before;
        }
        return moved;
    };
    pb::Ref<PB_STRING> s(pbStringCreate());
    pb::Ref<PB_BUFFER> b(pbBufferCreate());
    EXPECT_LE(moves([&](int i) { pbStringAppendChar(s.addr(), PB_CHAR(0x100 + i % 0x1000)); },
                  [&] { return pbStringBacking(s.get()); }), 40);
    EXPECT_LE(moves([&](int i) { pbBufferAppendByte(b.addr(), PB_BYTE(i * 7)); },
                  [&] { return pbBufferBacking(b.get()); }), 40);
    ASSERT_EQ(pbStringLength(s.get()), count);
    ASSERT_EQ(pbBufferLength(b.get()), count);
    for (int i = 0; i < count; i += 331) {
        ASSERT_EQ(pbStringCharAt(s.get(), i), PB_CHAR(0x100 + i % 0x1000)) << i;
        ASSERT_EQ(pbBufferBacking(b.get())[i], PB_BYTE(i * 7)) << i;
    }

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
// becomes a byte at or above 0x80 and never an ASCII byte.
TEST(PbString, ConvertToAsciiNeverMakesAsciiFromOtherCodePoints)
{
    std::vector<PB_CHAR> all;
    for (PB_CHAR c = 0; c <= 0x10FFFF; ++c)
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

const PB_BYTE *bytesOf(const std::string &s)
{
    return reinterpret_cast<const PB_BYTE *>(s.data());
}

TEST(PbBuffer, SettersCopyASharedBufferFirst)
{
    struct Row {
        const char *name;
        void (*apply)(PB_BUFFER **);
        std::string expected; // starting from "hello"
    } rows[] = {
        { "AppendByte", [](PB_BUFFER **b) { pbBufferAppendByte(b, 0xFF); }, "hello\xFF" },
        { "AppendBytes", [](PB_BUFFER **b) { pbBufferAppendBytes(b, bytesOf(std::string("\0!", 2)), 2); },
            std::string("hello\0!", 7) },
        { "AppendBytes none", [](PB_BUFFER **b) { pbBufferAppendBytes(b, nullptr, 0); }, "hello" },
        { "DelTrailing", [](PB_BUFFER **b) { pbBufferDelTrailing(b, 3); }, "he" },
        { "DelTrailing all", [](PB_BUFFER **b) { pbBufferDelTrailing(b, 5); }, "" },
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        pbtest::expectCopyOnWrite<PB_BUFFER>([] { return rfctest::buffer("hello"); }, row.apply,
            [](PB_BUFFER *b) { return bytes(b); }, row.expected);
    }
}

} // namespace

// A string used as a queue or a stack at its front: prepending and deleting
// leading code points cost a constant amortised time, so eight times as many
// operations cost about eight times the work (moving the rest on each one
// would cost sixty-four), and the contents stay right throughout.
TEST(PbString, FrontOperationsAreLinear)
{
    auto exercise = [](PB_INT count) {
        pb::Ref<PB_STRING> s(pbStringCreate());
        for (PB_INT i = 0; i < count; ++i)
            pbStringPrependChar(s.addr(), PB_CHAR(i % 0x10000));
        for (PB_INT i = 0; i < count; ++i) {
            // Queue: one in at the end, one out at the front.
            pbStringAppendChar(s.addr(), PB_CHAR(7));
            pbStringDelLeading(s.addr(), 1);
        }
        EXPECT_EQ(pbStringLength(s.get()), count);
        pbStringDelLeading(s.addr(), count - 1);
        EXPECT_EQ(pbStringLength(s.get()), 1);
        EXPECT_EQ(pbStringCharAt(s.get(), 0), 7);
    };
    constexpr PB_INT small = 20000, factor = 8;
    auto cost = [&](PB_INT count) { return rfctest::leastCpuSeconds(3, [] {}, [&] { exercise(count); }); };
    double ratio = cost(small * factor) / cost(small);
    EXPECT_LT(ratio, 3.0 * factor) << ratio;

    // Mixed front and back changes against a reference.
    std::u32string expected;
    pb::Ref<PB_STRING> s(pbStringCreate());
    for (PB_INT i = 0; i < 5000; ++i) {
        switch (i % 5) {
        case 0:
        case 1:
            pbStringPrependChar(s.addr(), PB_CHAR(i));
            expected.insert(expected.begin(), char32_t(i));
            break;
        case 2:
            pbStringAppendChar(s.addr(), PB_CHAR(i));
            expected.push_back(char32_t(i));
            break;
        case 3:
            pbStringDelLeading(s.addr(), 1);
            expected.erase(0, 1);
            break;
        default: {
            PB_CHAR pair[2] = { PB_CHAR(i), PB_CHAR(i + 1) };
            pbStringAppendChars(s.addr(), pair, 2);
            expected += { char32_t(i), char32_t(i + 1) };
        }
        }
    }
    EXPECT_EQ(rfctest::chars(s.get()), expected);
}

// A string holds code points only: every function that takes code points
// from its caller refuses a value outside 0..0x10FFFF as a contract
// violation, at either end of the range and for each way in.
using PbStringDeathTest = testing::Test;

TEST_F(PbStringDeathTest, ValuesOutsideTheCodeSpace)
{
    const std::string one = "source/pb/pb_string:[0-9]+: contract violation: c >= 0 && c <= 0x10FFFF";
    const std::string many = "source/pb/pb_string:[0-9]+: contract violation: codePointsOnly\\( chars, count \\)";
    for (PB_CHAR bad : { PB_CHAR(-1), PB_CHAR(0x110000), PB_CHAR(0x7FFFFFFF), PB_CHAR(INT32_MIN) }) {
        // The bad value last of ten, past the short-copy path.
        std::vector<PB_CHAR> chars(9, 0x10FFFF);
        chars.push_back(bad);
        pb::Ref<PB_STRING> s(pbStringCreate());
        EXPECT_DEATH(pbStringAppendChar(s.addr(), bad), one) << bad;
        EXPECT_DEATH(pbStringPrependChar(s.addr(), bad), one) << bad;
        EXPECT_DEATH(pbStringCreateFromCharsCopy(&bad, 1), many) << bad;
        // Short, after a code point of the upper planes.
        const PB_CHAR pair[] = { 0x100000, bad };
        EXPECT_DEATH(pbStringCreateFromCharsCopy(pair, 2), many) << bad;
        EXPECT_DEATH(pbStringCreateFromCharsCopy(chars.data(), PB_INT(chars.size())), many) << bad;
        EXPECT_DEATH(pbStringAppendChars(s.addr(), chars.data(), PB_INT(chars.size())), many) << bad;
        EXPECT_DEATH(
            {
                auto *block = static_cast<PB_CHAR *>(pbMemAlloc(sizeof(PB_CHAR)));
                *block = bad;
                pbStringCreateFromCharsUse(block, 1);
            },
            many)
            << bad;
    }
    // The ends of the code space are accepted, and so are code points whose
    // bits together reach beyond U+10FFFF (U+100000 and U+FFFFF).
    const PB_CHAR ends[] = { 0, 0xD800, 0x10FFFF };
    pb::Ref<PB_STRING> s(pbStringCreateFromCharsCopy(ends, 3));
    pbStringAppendChar(s.addr(), 0x10FFFF);
    pbStringPrependChar(s.addr(), 0);
    EXPECT_EQ(pbStringLength(s.get()), 5);
    const PB_CHAR planes[] = { 0x100000, 0xFFFFF, 0x10000 };
    pb::Ref<PB_STRING> high(pbStringCreateFromCharsCopy(planes, 3));
    EXPECT_EQ(std::vector<PB_CHAR>(pbStringBacking(high.get()), pbStringBacking(high.get()) + 3),
        std::vector<PB_CHAR>(std::begin(planes), std::end(planes)));
}
