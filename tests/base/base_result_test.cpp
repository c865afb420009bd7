// The one-call results against RFC 4648 written out bit by bit: every
// source length from 0 to 1100 bytes, so that the text of each encoding
// is written once on the stack and copied into its result and once into
// an allocation the result takes over (the cut lies at 1024 characters),
// by the plain, the options and the string forms, padded and unpadded (the
// last group is written whole, its padding beyond the text), and unpadded in
// lines that cut through groups and in lines of whole groups; and every such
// text decoded back by the plain decoder.
#include "base_test_util.h"

#include <gtest/gtest.h>

namespace {

using namespace basetest;
using std::string;

struct Model {
    const char *alphabet;
    int bitsPerChar;
    std::size_t charsPerGroup;
};

// The encodings in the order of their values.
const Model models[] = {
    { "0123456789ABCDEF", 4, 2 },
    { "ABCDEFGHIJKLMNOPQRSTUVWXYZ234567", 5, 8 },
    { "0123456789ABCDEFGHIJKLMNOPQRSTUV", 5, 8 },
    { "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/", 6, 4 },
    { "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_", 6, 4 },
};

// The bits of the bytes, first bit first, cut into characters; the last
// filled with zero bits; "=" up to a whole group.
string modelEncode(const string &bytes, const Model &model)
{
    string text;
    unsigned held = 0;
    int bits = 0;
    const unsigned mask = (1u << model.bitsPerChar) - 1;
    for (unsigned char byte : bytes) {
        held = (held << 8) | byte;
        bits += 8;
        while (bits >= model.bitsPerChar) {
            bits -= model.bitsPerChar;
            text += model.alphabet[(held >> bits) & mask];
        }
    }
    if (bits > 0)
        text += model.alphabet[(held << (model.bitsPerChar - bits)) & mask];
    while (text.size() % model.charsPerGroup != 0)
        text += '=';
    return text;
}

// The text in lines of lineLength characters joined by LF.
string inLines(const string &text, std::size_t lineLength)
{
    string lines;
    for (std::size_t at = 0; at < text.size(); at += lineLength) {
        if (at != 0)
            lines += '\n';
        lines.append(text, at, lineLength);
    }
    return lines;
}

TEST(BaseResult, EveryLengthTo1100MatchesTheModelAndDecodesBack)
{
    pb::Ref<RFC_BASE_OPTIONS> defaults(rfcBaseOptionsCreate());
    pb::Ref<RFC_BASE_OPTIONS> unpadded = options(OMIT, 0);
    // Lines that cut through every encoding's groups, and lines of whole
    // groups.
    struct Layout {
        std::size_t lineLength;
        pb::Ref<RFC_BASE_OPTIONS> opt;
    };
    const Layout unpaddedLines[] = { { 19, options(OMIT, PB_NLF_FLAG_LF, 19) }, { 64, options(OMIT, PB_NLF_FLAG_LF, 64) } };
    string data = rfctest::randomBytes(1100, 1024);
    for (PB_INT encoding = 0; encoding <= 4; ++encoding) {
        for (std::size_t size = 0; size <= data.size(); ++size) {
            string bytes = data.substr(0, size);
            string expected = modelEncode(bytes, models[encoding]);
            SCOPED_TRACE("encoding " + std::to_string(encoding) + " size " + std::to_string(size));
            // encode() also checks the string form against the buffer.
            ASSERT_EQ(encode(bytes, encoding), expected);
            ASSERT_EQ(encode(bytes, encoding, defaults.get()), expected);
            string bare = expected.substr(0, expected.find('='));
            ASSERT_EQ(encode(bytes, encoding, unpadded.get()), bare);
            for (const Layout &layout : unpaddedLines)
                ASSERT_EQ(encode(bytes, encoding, layout.opt.get()), inLines(bare, layout.lineLength));
            pb::Ref<PB_BUFFER> text(rfctest::buffer(expected));
            pb::Ref<PB_BUFFER> back(rfcBaseTryDecode(text.get(), encoding));
            ASSERT_TRUE(back);
            ASSERT_EQ(rfctest::bytes(back.get()), bytes);
        }
    }
}

} // namespace
