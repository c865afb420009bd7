// Byte buffers: creation (copying and taking over), the copy-on-write
// setters, appending a buffer's own bytes, growth, ordering and text form.
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

using rfctest::bytes;

const PB_BYTE *bytesOf(const std::string &s)
{
    return reinterpret_cast<const PB_BYTE *>(s.data());
}

TEST(PbBuffer, CreateCopiesTheBytes)
{
    std::string source("\x00\x7F\x80\xFF", 4);
    pb::Ref<PB_BUFFER> b(pbBufferCreateFromBytesCopy(bytesOf(source), 4));
    source[0] = 'x'; // the buffer keeps its own copy
    EXPECT_EQ(bytes(b.get()), std::string("\x00\x7F\x80\xFF", 4));

    pb::Ref<PB_BUFFER> empty(pbBufferCreate());
    EXPECT_EQ(pbBufferLength(empty.get()), 0);
    pb::Ref<PB_BUFFER> none(pbBufferCreateFromBytesCopy(nullptr, 0));
    EXPECT_EQ(pbBufferLength(none.get()), 0);
}

// CreateFromBytesUse takes over a block from pbMemAlloc: the buffer reads
// it in place, grows it, and frees it (ASan reports a leak or a double free
// otherwise).
TEST(PbBuffer, CreateFromBytesUseTakesOverTheBlock)
{
    auto *block = static_cast<PB_BYTE *>(pbMemAlloc(3));
    block[0] = 1, block[1] = 2, block[2] = 3;
    pb::Ref<PB_BUFFER> b(pbBufferCreateFromBytesUse(block, 3));
    EXPECT_EQ(pbBufferBacking(b.get()), block);
    EXPECT_EQ(bytes(b.get()), "\x01\x02\x03");
    for (int i = 0; i < 100; ++i)
        pbBufferAppendByte(b.addr(), PB_BYTE(i));
    ASSERT_EQ(pbBufferLength(b.get()), 103);
    EXPECT_EQ(pbBufferBacking(b.get())[2], 3);
    EXPECT_EQ(pbBufferBacking(b.get())[102], 99);

    pb::Ref<PB_BUFFER> none(pbBufferCreateFromBytesUse(nullptr, 0));
    EXPECT_EQ(pbBufferLength(none.get()), 0);
    pb::Ref<PB_BUFFER> emptyBlock(pbBufferCreateFromBytesUse(static_cast<PB_BYTE *>(pbMemAlloc(0)), 0));
    EXPECT_EQ(pbBufferLength(emptyBlock.get()), 0);
    pbBufferAppendByte(emptyBlock.addr(), 0xAB);
    EXPECT_EQ(bytes(emptyBlock.get()), "\xAB");
}

struct SetterRow {
    const char *name;
    std::function<void(PB_BUFFER **)> apply;
    std::string expected; // starting from "hello"
};

std::vector<SetterRow> setterRows()
{
    return {
        { "AppendByte", [](PB_BUFFER **b) { pbBufferAppendByte(b, 0xFF); }, "hello\xFF" },
        { "AppendBytes", [](PB_BUFFER **b) { pbBufferAppendBytes(b, bytesOf(std::string("\0!", 2)), 2); },
            std::string("hello\0!", 7) },
        { "AppendBytes none", [](PB_BUFFER **b) { pbBufferAppendBytes(b, nullptr, 0); }, "hello" },
        { "DelTrailing", [](PB_BUFFER **b) { pbBufferDelTrailing(b, 3); }, "he" },
        { "DelTrailing all", [](PB_BUFFER **b) { pbBufferDelTrailing(b, 5); }, "" },
    };
}

TEST(PbBuffer, SettersCopyASharedBufferFirst)
{
    for (const SetterRow &row : setterRows()) {
        SCOPED_TRACE(row.name);
        pb::Ref<PB_BUFFER> other = rfctest::buffer("hello");
        pb::Ref<PB_BUFFER> mine = pb::Ref<PB_BUFFER>::retained(other.get());
        row.apply(mine.addr());
        EXPECT_EQ(bytes(other.get()), "hello");
        EXPECT_EQ(bytes(mine.get()), row.expected);
        // A change always leaves the caller with an object of its own; a
        // setter that changes nothing may keep sharing.
        if (row.expected != "hello") {
            EXPECT_NE(mine.get(), other.get());
        }
        PB_INT holders = mine.get() == other.get() ? 2 : 1;
        EXPECT_EQ(pbObjRefCount(pbBufferObj(other.get())), holders);
        EXPECT_EQ(pbObjRefCount(pbBufferObj(mine.get())), holders);
    }
}

TEST(PbBuffer, SettersChangeAnUnsharedBufferInPlace)
{
    for (const SetterRow &row : setterRows()) {
        SCOPED_TRACE(row.name);
        pb::Ref<PB_BUFFER> mine = rfctest::buffer("hello");
        PB_BUFFER *before = mine.get();
        row.apply(mine.addr());
        EXPECT_EQ(mine.get(), before);
        EXPECT_EQ(bytes(mine.get()), row.expected);
    }
}

// Appending a buffer's own bytes, with and without growth.
TEST(PbBuffer, AppendBytesFromTheBuffersOwnBacking)
{
    pb::Ref<PB_BUFFER> b = rfctest::buffer("0123456789");
    pbBufferAppendBytes(b.addr(), pbBufferBacking(b.get()) + 3, 4);
    EXPECT_EQ(bytes(b.get()), "01234567893456");
    for (int i = 0; i < 8; ++i)
        pbBufferAppendBytes(b.addr(), pbBufferBacking(b.get()), pbBufferLength(b.get()));
    ASSERT_EQ(pbBufferLength(b.get()), 14 * 256);
    EXPECT_EQ(bytes(b.get()).substr(14 * 255), "01234567893456");

    pbBufferDelTrailing(b.addr(), pbBufferLength(b.get()) - 5);
    pbBufferAppendBytes(b.addr(), pbBufferBacking(b.get()), 5);
    EXPECT_EQ(bytes(b.get()), "0123401234");
}

// The same while another holder shares the buffer: the source bytes belong
// to the shared original, which must stay intact.
TEST(PbBuffer, AppendBytesFromASharedOriginal)
{
    pb::Ref<PB_BUFFER> other = rfctest::buffer("abc");
    pb::Ref<PB_BUFFER> mine = pb::Ref<PB_BUFFER>::retained(other.get());
    pbBufferAppendBytes(mine.addr(), pbBufferBacking(mine.get()), 3);
    EXPECT_EQ(bytes(mine.get()), "abcabc");
    EXPECT_EQ(bytes(other.get()), "abc");
}

TEST(PbBuffer, AppendingManyBytesGrowsGeometrically)
{
    constexpr int count = 100000;
    pb::Ref<PB_BUFFER> b(pbBufferCreate());
    const PB_BYTE *backing = pbBufferBacking(b.get());
    int moves = 0;
    for (int i = 0; i < count; ++i) {
        pbBufferAppendByte(b.addr(), PB_BYTE(i * 7));
        if (pbBufferBacking(b.get()) != backing) {
            backing = pbBufferBacking(b.get());
            ++moves;
        }
    }
    ASSERT_EQ(pbBufferLength(b.get()), count);
    for (int i = 0; i < count; i += 331)
        ASSERT_EQ(pbBufferBacking(b.get())[i], PB_BYTE(i * 7)) << i;
    EXPECT_LE(moves, 40);
}

// Buffers order bytewise as unsigned values, a proper prefix first.
TEST(PbBuffer, CompareOrdersUnsignedBytes)
{
    struct Row {
        std::string a, b;
        int sign;
        const char *why;
    } rows[] = {
        { "", "", 0, "empty buffers are equal" },
        { "", std::string(1, '\0'), -1, "empty before a NUL byte" },
        { "ab", "abc", -1, "a proper prefix first" },
        { "\x7F", "\x80", -1, "0x7F before 0x80 (bytes are unsigned)" },
        { "\x01\xFF", "\x02\x00", -1, "first difference decides" },
        { "z", "aa", 1, "not by length first" },
        { "same", "same", 0, "equal content, distinct objects" },
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.why);
        pb::Ref<PB_BUFFER> a = rfctest::buffer(row.a);
        pb::Ref<PB_BUFFER> b = rfctest::buffer(row.b);
        PB_INT ab = pbObjCompare(pbBufferObj(a.get()), pbBufferObj(b.get()));
        PB_INT ba = pbObjCompare(pbBufferObj(b.get()), pbBufferObj(a.get()));
        EXPECT_EQ((ab > 0) - (ab < 0), row.sign);
        EXPECT_EQ((ba > 0) - (ba < 0), -row.sign);
    }
}

TEST(PbBuffer, ObjFromAndToString)
{
    pb::Ref<PB_BUFFER> b = rfctest::buffer(std::string("\x00\x1f\xA0\xff", 4));
    EXPECT_EQ(pbBufferFrom(pbBufferObj(b.get())), b.get());
    EXPECT_EQ(pbBufferFrom(nullptr), nullptr);
    EXPECT_EQ(pbObjSort(pbBufferObj(b.get())), pbBufferSort());
    pb::Ref<PB_STRING> text(pbObjToString(pbBufferObj(b.get())));
    EXPECT_EQ(rfctest::utf8(text.get()), "001fa0ff");
}

TEST(PbBufferDeathTest, DelTrailingBeyondTheLength)
{
    pb::Ref<PB_BUFFER> b = rfctest::buffer("ab");
    EXPECT_DEATH(pbBufferDelTrailing(b.addr(), 3), "source/pb/pb_string.*count >= 0 && count <= \\(\\*b\\)->length");
}

} // namespace
