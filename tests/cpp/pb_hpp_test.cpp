// The public C++ header: the reference holder counts exactly one reference
// per holder through copies, moves, resets and copy-on-write setters, and
// the span / string_view helpers carry every byte and code point through.
// Only the public headers are used, as a caller outside the project would.
#include <pb/pb.hpp>
#include <rfc/base/rfc_base.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <utility>

namespace {

using corvanead::Ref;

PB_INT refs(PB_BUFFER *b)
{
    return pbObjRefCount(pbBufferObj(b));
}

TEST(PbHpp, HoldsOneReferencePerHolder)
{
    PB_INT live = pbObjLiveCount();
    {
        auto a = corvanead::adopt(pbBufferCreate());
        ASSERT_TRUE(a);
        EXPECT_EQ(refs(a.get()), 1);
        EXPECT_EQ(pbObjLiveCount(), live + 1);

        Ref<PB_BUFFER> copy = a;                        // copy: a reference of its own
        EXPECT_EQ(copy.get(), a.get());
        EXPECT_EQ(refs(a.get()), 2);

        Ref<PB_BUFFER> moved = std::move(copy);         // move: the same reference
        EXPECT_FALSE(copy);
        EXPECT_EQ(refs(a.get()), 2);

        Ref<PB_BUFFER> &alias = moved;
        moved = alias;                                  // self-assignment keeps the count
        EXPECT_EQ(refs(a.get()), 2);

        Ref<PB_BUFFER> other = corvanead::adopt(pbBufferCreate());
        other = a;                                      // assignment releases the old object
        EXPECT_EQ(pbObjLiveCount(), live + 1);
        EXPECT_EQ(refs(a.get()), 3);

        other.reset();
        moved.reset(nullptr);
        EXPECT_EQ(refs(a.get()), 1);

        auto borrowed = Ref<PB_BUFFER>::retain(a.get()); // retain: a new reference to a borrowed one
        EXPECT_EQ(refs(a.get()), 2);
        PB_BUFFER *given = borrowed.release();          // release: ours to release by hand now
        EXPECT_FALSE(borrowed);
        EXPECT_EQ(refs(a.get()), 2);
        pbObjRelease(pbBufferObj(given));
        EXPECT_EQ(refs(a.get()), 1);
    }
    EXPECT_EQ(pbObjLiveCount(), live);
}

TEST(PbHpp, EmptyHoldersAreHarmless)
{
    Ref<PB_STRING> empty;
    Ref<PB_STRING> null = nullptr;
    EXPECT_FALSE(empty);
    EXPECT_EQ(empty, null);
    Ref<PB_STRING> copy = empty;
    EXPECT_FALSE(copy);
    EXPECT_FALSE(Ref<PB_STRING>::retain(nullptr));
    copy.reset();
}

TEST(PbHpp, AddrLendsTheReferenceToCopyOnWriteSetters)
{
    auto a = corvanead::bufferFrom(std::string_view("ab"));
    Ref<PB_BUFFER> shared = a;
    const PB_BYTE c = 'c';
    pbBufferAppendBytes(shared.addr(), &c, 1);          // shared, so the setter copies first
    EXPECT_NE(shared.get(), a.get());
    EXPECT_EQ(refs(a.get()), 1);
    EXPECT_EQ(refs(shared.get()), 1);
    EXPECT_EQ(pbBufferLength(a.get()), 2);
    EXPECT_EQ(pbBufferLength(shared.get()), 3);
}

TEST(PbHpp, BuffersCarryEveryByte)
{
    const std::array<std::byte, 5> raw { std::byte { 0 }, std::byte { 0xFF }, std::byte { 'x' },
                                         std::byte { 0 }, std::byte { 0x80 } };
    auto fromSpan = corvanead::bufferFrom(std::span<const std::byte>(raw));
    auto view = corvanead::bytes(fromSpan.get());
    ASSERT_EQ(view.size(), raw.size());
    EXPECT_TRUE(std::equal(view.begin(), view.end(), raw.begin()));

    auto fromText = corvanead::bufferFrom(std::string_view("a\0b", 3)); // the NUL is a byte, not the end
    EXPECT_EQ(pbBufferLength(fromText.get()), 3);
    EXPECT_EQ(pbBufferBacking(fromText.get())[1], 0);

    auto empty = corvanead::bufferFrom(std::string_view());
    ASSERT_TRUE(empty);
    EXPECT_TRUE(corvanead::bytes(empty.get()).empty());
}

TEST(PbHpp, StringsRoundTripUtf8AndRefuseMalformedText)
{
    const struct {
        std::string_view utf8;
        PB_INT codePoints; // -1: refused
    } rows[] = {
        { "", 0 },
        { "plain", 5 },
        { "I\xC2\xADX", 3 },                          // U+00AD, two bytes
        { "\xEF\xAC\x81", 1 },                        // U+FB01, three bytes
        { "\xF0\x9F\x98\x80", 1 },                    // U+1F600, four bytes
        { std::string_view("a\0b", 3), 3 },           // U+0000 inside
        { "\xC0\xAF", -1 },                           // overlong "/"
        { "\xED\xA0\x80", -1 },                       // a surrogate
        { "\xF4\x90\x80\x80", -1 },                   // above U+10FFFF
        { "abc\xE2\x82", -1 },                        // cut short
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(testing::PrintToString(std::string(row.utf8)));
        auto s = corvanead::stringFromUtf8(row.utf8);
        if (row.codePoints < 0) {
            EXPECT_FALSE(s);
            continue;
        }
        ASSERT_TRUE(s);
        EXPECT_EQ(pbStringLength(s.get()), row.codePoints);
        EXPECT_EQ(corvanead::utf8(s.get()), std::string(row.utf8));
    }
}

TEST(PbHpp, HoldsWhatTheModuleReturnsAndWhatItRefuses)
{
    auto data = corvanead::bufferFrom(std::string_view("hello, world"));
    auto text = corvanead::adopt(rfcBaseEncodeToString(data.get(), RFC_BASE_ENCODING_BASE64));
    EXPECT_EQ(corvanead::utf8(text.get()), "aGVsbG8sIHdvcmxk");

    auto back = corvanead::adopt(rfcBaseTryDecodeString(text.get(), RFC_BASE_ENCODING_BASE64));
    ASSERT_TRUE(back);
    auto view = corvanead::bytes(back.get());
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(view.data()), view.size()), "hello, world");

    auto bad = corvanead::stringFromUtf8("aGVsbG8*");
    auto refused = corvanead::adopt(rfcBaseTryDecodeString(bad.get(), RFC_BASE_ENCODING_BASE64));
    EXPECT_FALSE(refused);
}

} // namespace
