// Byte buffers: creation (copying and taking over), the copy-on-write
// setters, appending a buffer's own bytes and growth.
#include "pb_test_util.h"

#include <string>

namespace {

using rfctest::bytes;

const PB_BYTE *bytesOf(const std::string &s)
{
    return reinterpret_cast<const PB_BYTE *>(s.data());
}

TEST(PbBuffer, CreateCopiesOrTakesOverTheBytes)
{
    std::string source("\x00\x7F\x80\xFF", 4);
    pb::Ref<PB_BUFFER> copy(pbBufferCreateFromBytesCopy(bytesOf(source), 4));
    source[0] = 'x'; // the buffer keeps its own copy
    EXPECT_EQ(bytes(copy.get()), std::string("\x00\x7F\x80\xFF", 4));
    pb::Ref<PB_BUFFER> none(pbBufferCreateFromBytesCopy(nullptr, 0));
    EXPECT_EQ(pbBufferLength(none.get()), 0);

    // A block from pbMemAlloc is read in place, grown and freed (ASan reports
    // a leak or a double free otherwise).
    auto *block = static_cast<PB_BYTE *>(pbMemAlloc(3));
    block[0] = 1, block[1] = 2, block[2] = 3;
    pb::Ref<PB_BUFFER> b(pbBufferCreateFromBytesUse(block, 3));
    EXPECT_EQ(pbBufferBacking(b.get()), block);
    for (int i = 0; i < 100; ++i)
        pbBufferAppendByte(b.addr(), PB_BYTE(i));
    ASSERT_EQ(pbBufferLength(b.get()), 103);
    EXPECT_EQ(pbBufferBacking(b.get())[2], 3);
    EXPECT_EQ(pbBufferBacking(b.get())[102], 99);
    pb::Ref<PB_BUFFER> emptyBlock(pbBufferCreateFromBytesUse(static_cast<PB_BYTE *>(pbMemAlloc(0)), 0));
    pbBufferAppendByte(emptyBlock.addr(), 0xAB);
    EXPECT_EQ(bytes(emptyBlock.get()), "\xAB");
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

// A buffer's own bytes as the source of an append, with and without growth,
// and while another holder shares it (the source then belongs to the shared
// original, which must stay intact).
TEST(PbBuffer, AppendBytesFromItsOwnBacking)
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

    pb::Ref<PB_BUFFER> other = rfctest::buffer("abc");
    pb::Ref<PB_BUFFER> mine = pb::Ref<PB_BUFFER>::retained(other.get());
    pbBufferAppendBytes(mine.addr(), pbBufferBacking(mine.get()), 3);
    EXPECT_EQ(bytes(mine.get()), "abcabc");
    EXPECT_EQ(bytes(other.get()), "abc");
}

// Growth is amortised: 100000 single appends move the block a few dozen
// times at most.
TEST(PbBuffer, AppendingManyBytesGrowsGeometrically)
{
    constexpr int count = 100000;
    pb::Ref<PB_BUFFER> b(pbBufferCreate());
    const PB_BYTE *backing = pbBufferBacking(b.get());
    int moves = 0;
    for (int i = 0; i < count; ++i) {
        pbBufferAppendByte(b.addr(), PB_BYTE(i * 7));
        moves += pbBufferBacking(b.get()) != backing;
        backing = pbBufferBacking(b.get());
    }
    ASSERT_EQ(pbBufferLength(b.get()), count);
    for (int i = 0; i < count; i += 331)
        ASSERT_EQ(pbBufferBacking(b.get())[i], PB_BYTE(i * 7)) << i;
    EXPECT_LE(moves, 40);
}

} // namespace
