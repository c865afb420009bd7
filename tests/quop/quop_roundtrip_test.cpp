// Properties over many generated inputs: decoding the encoder's output gives
// the input back for every setting pair where the translation of line breaks
// is reversible, every encoded line obeys the line length, and the decoder
// accepts the encoder's output under a maximum input line length equal to
// that line length.
#include "quop_test_util.h"

#include "support/test_support.h"

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

// The longest line of the encoded text, lines being separated by nl.
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

// Input kinds whose bit recognises exactly one kind (VT's bit also takes FF).
const PB_INT inputKinds[] = { LF, CR, CRLF, FF };
const PB_INT outputKinds[] = { LF, CR, CRLF, VT, FF };
const PB_INT lineLengths[] = { 1, 2, 3, 4, 5, 7, 20, 76, 200, noLimit };

// Checks one input under one setting; returns false after the first
// failure so that a broken rule reports once.
bool roundTrips(const std::string &input, PB_INT kind, PB_INT written, PB_INT lineLength, PB_INT flags)
{
    std::string encoded = encode(input, { kind, written, lineLength, flags });
    std::optional<std::string> decoded = decode(encoded, { written, kind, noLimit, 0 });
    std::string expected = input;
    bool endsWithBreak = kind == CRLF ? input.ends_with("\r\n") : (!input.empty() && input.back() == nlText(kind)[0]);
    if ((flags & RFC_QUOP_FLAG_ENCODE_ENSURE_TRAILING_NLF) && !endsWithBreak)
        expected += nlText(kind);
    EXPECT_EQ(decoded, expected) << "kind " << kind << " written " << written << " line " << lineLength
                                 << " input " << rfctest::hex(input);
    if (decoded != expected)
        return false;
    if (lineLength >= 4) {
        EXPECT_LE(longestLine(encoded, nlText(written)), std::size_t(lineLength)) << rfctest::hex(input);
        std::optional<std::string> limited = decode(encoded, { written, kind, lineLength, 0 });
        EXPECT_EQ(limited, expected) << "under the maximum line length " << lineLength;
        if (limited != expected)
            return false;
    }
    return true;
}

TEST(QuopRoundTrip, DefaultOptionsOnBothSides)
{
    std::mt19937 random(20451);
    for (int round = 0; round < 2000; ++round) {
        std::string input = round % 2 ? interestingBytes(random, round % 300)
                                      : rfctest::randomBytes(std::size_t(round % 300), unsigned(round));
        pb::Ref<PB_BUFFER> source = rfctest::buffer(input);
        pb::Ref<PB_BUFFER> encoded(rfcQuopEncode(source.get()));
        pb::Ref<PB_BUFFER> decoded(rfcQuopTryDecode(encoded.get()));
        ASSERT_TRUE(decoded) << rfctest::hex(input);
        ASSERT_EQ(rfctest::bytes(decoded.get()), input);
        ASSERT_LE(longestLine(rfctest::bytes(encoded.get()), "\r\n"), 76u);
    }
}

TEST(QuopRoundTrip, ReversibleNewlineSettings)
{
    std::mt19937 random(7);
    for (PB_INT kind : inputKinds)
        for (PB_INT written : outputKinds)
            for (PB_INT lineLength : lineLengths)
                for (int round = 0; round < 40; ++round) {
                    std::string input = interestingBytes(random, std::size_t(round * 3));
                    PB_INT flags = round % 3 == 0 ? RFC_QUOP_FLAG_ENCODE_ENSURE_TRAILING_NLF : 0;
                    ASSERT_TRUE(roundTrips(input, kind, written, lineLength, flags));
                }
}

// Without an output newline nothing is translated on either side.
TEST(QuopRoundTrip, NoTranslation)
{
    std::mt19937 random(11);
    for (int round = 0; round < 300; ++round) {
        std::string input = interestingBytes(random, std::size_t(round));
        std::string encoded = encode(input, { CRLF, 0, 76, 0 });
        EXPECT_EQ(encoded.find_first_of("\r\n\v\f"), std::string::npos);
        ASSERT_EQ(decode(encoded, { CRLF, 0, noLimit, 0 }), input) << rfctest::hex(input);
    }
}

} // namespace
