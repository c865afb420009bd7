// The round-trip property (quop_test_util.h) over many generated inputs, for
// every pair of newline kinds where the translation of line breaks is
// reversible and for none, at many line lengths.
#include "quop_test_util.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <random>

using namespace quoptest;

namespace {

// Input kinds whose bit recognises exactly one kind (VT's bit also takes FF).
const PB_INT inputKinds[] = { LF, CR, CRLF, FF };
const PB_INT outputKinds[] = { LF, CR, CRLF, VT, FF, 0 };
const PB_INT lineLengths[] = { 1, 2, 3, 4, 5, 7, 20, 76, 200, noLimit };

TEST(QuopRoundTrip, NewlineSettings)
{
    // Mostly the bytes that the rules treat specially, and some random bytes.
    const char alphabet[] = { 'x', 'y', ' ', '\t', '\r', '\n', '=', '\v', '\f', '\0', '\x7F', '\x80', '\xFF' };
    std::mt19937 random(7);
    std::uniform_int_distribution<std::size_t> pick(0, sizeof alphabet - 1);
    for (PB_INT kind : inputKinds)
        for (PB_INT written : outputKinds)
            for (PB_INT lineLength : lineLengths)
                for (int round = 0; round < 40; ++round) {
                    std::string input = rfctest::randomBytes(std::size_t(round * 5), unsigned(round + kind));
                    if (round % 4 != 3)
                        std::generate(input.begin(), input.end(), [&] { return alphabet[pick(random)]; });
                    const PB_INT flags = round % 3 == 0 ? RFC_QUOP_FLAG_ENCODE_ENSURE_TRAILING_NLF : 0;
                    ASSERT_TRUE(roundTrips(input, kind, written, lineLength, flags))
                        << "kind " << kind << " written " << written << " line " << lineLength << " flags " << flags
                        << " input " << rfctest::hex(input);
                }
}

} // namespace
