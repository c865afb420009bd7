// Properties over many generated inputs, for every pair of newline kinds
// where the translation of line breaks is reversible and for none: decoding
// the encoder's output with the kinds swapped gives the input back, every
// encoded line obeys the line length, and the decoder accepts the encoder's
// output under a maximum input line length equal to that line length.
#include "quop_test_util.h"

#include <gtest/gtest.h>

#include <random>

using namespace quoptest;

namespace {

// Inputs drawn mostly from the bytes that the rules treat specially.
std::string interestingBytes(std::mt19937 &random, std::size_t length)
{
    static const char alphabet[] = { 'x', 'y', ' ', '\t', '\r', '\n', '=', '\v', '\f', '\0', '\x7F', '\x80', '\xFF' };
    std::uniform_int_distribution<std::size_t> pick(0, sizeof alphabet - 1);
    std::string s;
    for (std::size_t i = 0; i < length; ++i)
        s += alphabet[pick(random)];
    return s;
}

// The longest line of the text, lines being separated by nl.
std::size_t longestLine(const std::string &text, const std::string &nl)
{
    std::size_t longest = 0, start = 0;
    for (;;) {
        std::size_t end = text.find(nl, start);
        longest = std::max(longest, (end == std::string::npos ? text.size() : end) - start);
        if (end == std::string::npos)
            return longest;
        start = end + nl.size();
    }
}

std::string nlText(PB_INT nlf)
{
    switch (nlf) {
    case LF: return "\n";
    case CR: return "\r";
    case CRLF: return "\r\n";
    case VT: return "\v";
    case FF: return "\f";
    default: return "";
    }
}

// Input kinds whose bit recognises exactly one kind (VT's bit also takes FF);
// output 0 switches the translation off on both sides.
const PB_INT inputKinds[] = { LF, CR, CRLF, FF };
const PB_INT outputKinds[] = { LF, CR, CRLF, VT, FF, 0 };
const PB_INT lineLengths[] = { 1, 2, 3, 4, 5, 7, 20, 76, 200, noLimit };

// Checks one input under one setting; false after a failure so that a
// broken rule reports once.
bool roundTrips(const std::string &input, PB_INT kind, PB_INT written, PB_INT lineLength, PB_INT flags)
{
    const std::string encoded = encode(input, { kind, written, lineLength, flags });
    const Settings back = written ? Settings { written, kind, noLimit, 0 } : Settings { kind, 0, noLimit, 0 };
    std::string expected = input;
    if ((flags & RFC_QUOP_FLAG_ENCODE_ENSURE_TRAILING_NLF) && written && !input.ends_with(nlText(kind)))
        expected += nlText(kind);
    EXPECT_EQ(decode(encoded, back), expected) << "kind " << kind << " written " << written << " line "
                                               << lineLength << " input " << rfctest::hex(input);
    if (!written) {
        EXPECT_EQ(encoded.find_first_of("\r\n\v\f"), std::string::npos) << rfctest::hex(input);
        return true;
    }
    if (lineLength >= 4) {
        EXPECT_LE(longestLine(encoded, nlText(written)), std::size_t(lineLength)) << rfctest::hex(input);
        EXPECT_EQ(decode(encoded, { written, kind, lineLength, 0 }), expected) << "limited to " << lineLength;
    }
    return !::testing::Test::HasFailure();
}

TEST(QuopRoundTrip, NewlineSettings)
{
    std::mt19937 random(7);
    for (PB_INT kind : inputKinds)
        for (PB_INT written : outputKinds)
            for (PB_INT lineLength : lineLengths)
                for (int round = 0; round < 40; ++round) {
                    const std::string input = round % 4 == 3
                        ? rfctest::randomBytes(std::size_t(round * 5), unsigned(round + kind))
                        : interestingBytes(random, std::size_t(round * 3));
                    const PB_INT flags = round % 3 == 0 ? RFC_QUOP_FLAG_ENCODE_ENSURE_TRAILING_NLF : 0;
                    ASSERT_TRUE(roundTrips(input, kind, written, lineLength, flags));
                }
}

} // namespace
