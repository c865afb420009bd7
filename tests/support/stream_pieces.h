// Random cuts of an input for the tests of the streaming encoders and
// decoders, shared by the families that stream.
#ifndef RFC_TEST_STREAM_PIECES_H
#define RFC_TEST_STREAM_PIECES_H

#include <algorithm>
#include <cstddef>
#include <random>
#include <vector>

namespace rfctest {

// Sizes of the writes that feed length bytes: every byte alone when maxPiece
// is 1, else random pieces of 0 to maxPiece bytes (empty writes included).
inline std::vector<std::size_t> pieces(std::size_t length, std::mt19937 &random, std::size_t maxPiece)
{
    std::vector<std::size_t> sizes;
    std::uniform_int_distribution<std::size_t> size(0, maxPiece);
    for (std::size_t done = 0; done < length;) {
        std::size_t n = maxPiece == 1 ? 1 : std::min(size(random), length - done);
        sizes.push_back(n);
        done += n;
    }
    return sizes;
}

} // namespace rfctest

#endif
