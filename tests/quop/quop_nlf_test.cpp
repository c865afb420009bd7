// The line-break recognition shared by the encoder and the decoder, and the
// bytes of each output newline.
#include <rfc/quop/rfc_quop_nlf.h>

#include <gtest/gtest.h>

#include <string_view>

namespace {

using rfc::quop::nlfBytes;
using rfc::quop::nlfLength;

struct NlfRow {
    const char *rule;
    std::string_view bytes;
    std::size_t position;
    PB_INT nlf;
    std::size_t expected;
};

const NlfRow nlfRows[] = {
    { "past the end", "a", 1, 0xFF, 0 },
    { "CR LF under CR LF", "\r\n", 0, 0x04, 2 },
    { "CR A under CR LF", "\rA", 0, 0x04, 0 },
    { "CR A under CR LF and CR", "\rA", 0, 0x06, 1 },
    { "final CR under CR LF", "a\r", 1, 0x04, 0 },
    { "final CR under CR LF and CR", "a\r", 1, 0x06, 1 },
    { "CR LF under CR alone is a CR", "\r\n", 0, 0x02, 1 },
    { "the LF of CR LF under LF", "\r\n", 1, 0x01, 1 },
    { "LF under CR LF", "\n", 0, 0x04, 0 },
    { "LF under LF", "\n", 0, 0x01, 1 },
    { "VT under VT", "\v", 0, 0x10, 1 },
    { "FF under VT", "\f", 0, 0x10, 1 },
    { "FF under FF", "\f", 0, 0x20, 1 },
    { "VT under FF", "\v", 0, 0x20, 0 },
    { "NEL, LS and PS bits recognise nothing", "\n\r\v\f", 0, 0xC8, 0 },
    { "a letter", "a", 0, 0xFF, 0 },
};

TEST(QuopNlf, Recognition)
{
    for (const NlfRow &row : nlfRows) {
        auto *bytes = reinterpret_cast<const PB_BYTE *>(row.bytes.data());
        EXPECT_EQ(nlfLength(bytes, row.position, row.bytes.size(), row.nlf), row.expected) << row.rule;
        EXPECT_EQ(rfc___QuopDecodeCheckNlf(bytes, PB_INT(row.position), PB_INT(row.bytes.size()), row.nlf),
            PB_INT(row.expected))
            << row.rule;
    }
}

TEST(QuopNlf, OutputBytes)
{
    auto text = [](PB_INT nlf) {
        auto nl = nlfBytes(nlf);
        return std::string(reinterpret_cast<const char *>(nl.bytes), nl.length);
    };
    EXPECT_EQ(text(0x01), "\n");
    EXPECT_EQ(text(0x02), "\r");
    EXPECT_EQ(text(0x04), "\r\n");
    EXPECT_EQ(text(0x10), "\v");
    EXPECT_EQ(text(0x20), "\f");
    EXPECT_EQ(text(0x08), "");
    EXPECT_EQ(text(0), "");
}

} // namespace
