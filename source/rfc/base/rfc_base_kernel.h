// Internal to the base-encoding family: the group shape of each encoding,
// shared by the encoder and the decoder, and the table of vector kernels
// that both call behind the scalar code. Not part of the C interface.
//
// A kernel works on whole groups only and never decides a refusal: the
// scalar code around it writes the last group, the padding and the line
// layout's trailing newline, and the decoder's state machine handles every
// byte a kernel stops at, so every path gives the same result.
#ifndef RFC_BASE_KERNEL_H
#define RFC_BASE_KERNEL_H

#include "rfc_base_internal.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace rfc::base {

// A group of bytesPerGroup bytes is written as charsPerGroup characters of
// bitsPerChar bits each.
struct GroupShape {
    int bitsPerChar;
    int bytesPerGroup;
    int charsPerGroup;

    // The characters a last group of r bytes gives before padding (r less
    // than bytesPerGroup): its bits filled up to a whole character.
    constexpr int tailChars(int r) const { return (r * 8 + bitsPerChar - 1) / bitsPerChar; }

    // Whether some byte count gives a last group of n data characters.
    constexpr bool tailValid(int n) const
    {
        for (int r = 0; r < bytesPerGroup; ++r) {
            if (tailChars(r) == n)
                return true;
        }
        return false;
    }

    // The bytes a last group of n data characters gives: those of the
    // shortest byte count that reaches n characters. For a count no byte
    // count gives (accepted only with the invalid-length flag) this keeps
    // the partial byte the extra character starts.
    constexpr int tailBytes(int n) const
    {
        for (int r = 0; r < bytesPerGroup; ++r) {
            if (tailChars(r) >= n)
                return r;
        }
        return bytesPerGroup;
    }
};

inline constexpr GroupShape base16Shape { 4, 1, 2 };
inline constexpr GroupShape base32Shape { 5, 5, 8 };
inline constexpr GroupShape base64Shape { 6, 3, 4 };

static_assert(base64Shape.tailChars(1) == 2 && base64Shape.tailChars(2) == 3);
static_assert(base32Shape.tailChars(1) == 2 && base32Shape.tailChars(2) == 4 && base32Shape.tailChars(3) == 5
    && base32Shape.tailChars(4) == 7);
static_assert(!base64Shape.tailValid(1) && base64Shape.tailValid(2) && base64Shape.tailValid(3));
static_assert(!base32Shape.tailValid(1) && !base32Shape.tailValid(3) && !base32Shape.tailValid(6)
    && base32Shape.tailValid(5) && base32Shape.tailValid(7));
static_assert(base64Shape.tailBytes(1) == 1 && base64Shape.tailBytes(2) == 1 && base64Shape.tailBytes(3) == 2);
static_assert(base32Shape.tailBytes(1) == 1 && base32Shape.tailBytes(3) == 2 && base32Shape.tailBytes(5) == 3
    && base32Shape.tailBytes(6) == 4 && base32Shape.tailBytes(7) == 4);

// The kernels' index of a shape.
enum class Shape : int { base16, base32, base64 };
inline constexpr int shapeCount = 3;

// An alphabet repeated to 64 entries, so that a byte permute that reads the
// low six bits of each index finds the character of its low bitsPerChar
// bits.
using Alphabet64 = std::array<char, 64>;

template <const std::string_view &alphabet>
constexpr Alphabet64 makeAlphabet64()
{
    static_assert(64 % alphabet.size() == 0);
    Alphabet64 table {};
    for (std::size_t i = 0; i < 64; ++i)
        table[i] = alphabet[i % alphabet.size()];
    return table;
}

template <const std::string_view &alphabet>
inline constexpr Alphabet64 alphabet64 = makeAlphabet64<alphabet>();

// The decoder's view of the bytes 0..127 for the vector kernels: the value
// of an alphabet character, or classEntry with class bits for any other
// byte. Bytes from 0x80 up are left to the kernel's caller: non-alphabet
// bytes in base32 and base64, classified by the runtime in base16.
struct DecodeTable {
    alignas(64) std::uint8_t entries[128];
};
inline constexpr std::uint8_t classEntry = 0x80;
inline constexpr std::uint8_t classNewline = 0x01;    // skipped with ..._IGNORE_NLF
inline constexpr std::uint8_t classWhiteSpace = 0x02; // skipped with ..._IGNORE_WHITE_SPACE
inline constexpr std::uint8_t classOther = 0x04;      // skipped with ..._IGNORE_NON_ALPHABET
inline constexpr std::uint8_t classPadding = 0x08;    // never skipped by a kernel

// What a decoding kernel may skip: class bits of the table, and whether
// bytes from 0x80 up are skipped.
struct DecodeSkip {
    std::uint8_t classes;
    bool highBytes;
};

// Where wrapped text is written: lines of lineLength characters, the
// newline bytes between lines and never after the last. column counts the
// characters of the current line; a newline is written before a character
// only when the line is full, so that none ends the text.
struct LineWriter {
    char *out;
    char *end; // of the whole text
    std::size_t column;
    std::size_t lineLength;
    char nlf[2];
    std::size_t nlfLength;

    // Writes count characters at chars.
    void put(const char *chars, std::size_t count) noexcept;

    // The newline as the value of one 2-byte store, first byte lowest; a
    // one-byte newline's second byte is 0, for the next line to overwrite.
    std::uint16_t newlineWord() const noexcept
    {
        return static_cast<std::uint16_t>(static_cast<unsigned char>(nlf[0])
            | (nlfLength == 2 ? static_cast<unsigned char>(nlf[1]) << 8 : 0));
    }
};

// The line layout of regularly wrapped text: lines of lineLength data
// characters, each followed by the same one or two skippable bytes. A
// kernel that decodes blocks of minLength data characters asks for lines
// at least that long, so that a block holds at most one line break.
struct Lines {
    std::size_t lineLength;
    std::size_t nlfLength;
    std::uint16_t nlf;  // the newline bytes, first byte lowest
    std::uint16_t nlfMask;
    std::size_t column; // of the data character at the start of the run
};

// Learns the line layout of the text at q, whose first bytes are data
// characters up to a newline: the newline's bytes, and the data
// characters to the next newline of the same bytes. False when the text
// there is not laid out so (or too short to tell); nothing is consumed.
// notData(at) gives the mask of the 64 bytes at at that are not alphabet
// characters.
template <std::size_t minLength, class NotData>
bool learnLines(const std::uint8_t *q, const std::uint8_t *end, const DecodeTable &table,
    DecodeSkip skip, NotData notData, Lines &lines)
{
    constexpr std::size_t longestLine = 256;
    if (static_cast<std::size_t>(end - q) < 64 + 2 + longestLine + 2)
        return false;
    std::uint64_t first = notData(q);
    if (first == 0)
        return false;
    auto before = static_cast<std::size_t>(std::countr_zero(first));
    auto skippable = [&](std::uint8_t c) {
        return c < 0x80 && (table.entries[c] & classEntry) != 0 && (table.entries[c] & skip.classes) != 0;
    };
    const std::uint8_t *nlf = q + before;
    if (!skippable(nlf[0]))
        return false;
    std::size_t nlfLength = skippable(nlf[1]) ? 2 : 1;
    const std::uint8_t *line = nlf + nlfLength;
    std::size_t length = 0;
    for (;; length += 64) {
        if (length == longestLine)
            return false;
        std::uint64_t stop = notData(line + length);
        if (stop != 0) {
            length += static_cast<std::size_t>(std::countr_zero(stop));
            break;
        }
    }
    if (length < minLength || before > length || std::memcmp(line + length, nlf, nlfLength) != 0)
        return false;
    lines.lineLength = length;
    lines.nlfLength = nlfLength;
    lines.nlf = static_cast<std::uint16_t>(nlf[0] | (nlfLength == 2 ? nlf[1] << 8 : 0));
    lines.nlfMask = nlfLength == 2 ? 0xFFFF : 0x00FF;
    lines.column = length - before;
    return true;
}

// The fewest source bytes, and the longest line, that the kernels write a
// line at a time from chunks of flat text (encodeByLines): longer lines
// are cut by few enough vector stores that the kernels' own loops write
// them at least as fast.
inline constexpr std::size_t shortLinesMin = 256;
inline constexpr std::size_t byLinesLongest = 2048;

// encodeByLines (below) with the moves of a line: one for lines of up to
// 64 characters, else a loop.
template <bool oneMove, GroupShape group, class EncodeChunk, class Move64>
[[gnu::always_inline]] inline LineWriter encodeByLinesMoving(const std::uint8_t *src, std::size_t groups,
    LineWriter lines, EncodeChunk encodeChunk, Move64 move64)
{
    constexpr auto charsPerGroup = static_cast<std::size_t>(group.charsPerGroup);
    constexpr auto bytesPerGroup = static_cast<std::size_t>(group.bytesPerGroup);
    constexpr std::size_t chunkGroups = 2048 / charsPerGroup;
    // The moves of count characters read less than 64 bytes past them.
    alignas(64) char buffer[chunkGroups * charsPerGroup + 64];
    const std::size_t lineLength = lines.lineLength;
    const std::size_t moved = oneMove ? 64 : (lineLength + 63) / 64 * 64; // written per line at most
    const std::size_t nlfLength = lines.nlfLength;
    const std::uint16_t newline = lines.newlineWord();
    char *out = lines.out;
    const char *const end = lines.end; // held apart from the writer, which the stores could alias
    std::size_t column = lines.column;
    auto room = [&] { return static_cast<std::size_t>(end - out) >= 2 + moved; };
    auto copy = [&](char *to, const char *from, std::size_t count) {
        if constexpr (oneMove) {
            move64(to, from);
        } else {
            for (std::size_t k = 0; k < count; k += 64)
                move64(to + k, from + k);
        }
    };
    while (groups != 0) {
        std::size_t take = groups < chunkGroups ? groups : chunkGroups;
        const char *chars = buffer;
        const char *const charsEnd = encodeChunk(src, take, buffer);
        src += take * bytesPerGroup;
        groups -= take;
        while (chars != charsEnd && room()) {
            if (column == lineLength) {
                // Whole lines, each after its newline: nothing but out and
                // chars carried from one to the next.
                while (static_cast<std::size_t>(charsEnd - chars) >= lineLength && room()) {
                    std::memcpy(out, &newline, 2);
                    copy(out + nlfLength, chars, lineLength);
                    out += nlfLength + lineLength;
                    chars += lineLength;
                }
                if (chars == charsEnd || !room())
                    break;
                std::memcpy(out, &newline, 2);
                out += nlfLength;
                column = 0;
            }
            std::size_t count = std::min(lineLength - column, static_cast<std::size_t>(charsEnd - chars));
            copy(out, chars, count);
            out += count;
            chars += count;
            column += count;
        }
        if (chars != charsEnd) {
            lines.out = out;
            lines.column = column;
            lines.put(chars, static_cast<std::size_t>(charsEnd - chars));
            out = lines.out;
            column = lines.column;
        }
    }
    lines.out = out;
    lines.column = column;
    return lines;
}

// Wrapped text of lines up to byLinesLongest characters, written by a
// kernel through its flat encoder encodeChunk(src, groups, out), which
// returns the end of the characters it wrote, and its move64(to, from),
// which moves 64 bytes in its widest registers (a memcpy here, outside the
// kernel's instruction set, would be four 16-byte moves). The characters
// are encoded a chunk at a time into a buffer on the stack, then written
// a line at a time as 64-byte moves, with the newline before the next
// line as one 2-byte store. What the moves write past a line, and a
// one-byte newline's second byte, the next line overwrites; the moves are
// made only while they stay inside the text, and the last characters go
// through the writer. The cost is per line, with no call for a break that
// cuts a vector of characters, so it pays wherever breaks cut the kernel's
// vectors, from a few hundred bytes of source on. Returns the writer as it
// leaves it.
template <GroupShape group, class EncodeChunk, class Move64>
[[gnu::always_inline]] inline LineWriter encodeByLines(const std::uint8_t *src, std::size_t groups, LineWriter lines,
    EncodeChunk encodeChunk, Move64 move64)
{
    if (lines.lineLength <= 64)
        return encodeByLinesMoving<true, group>(src, groups, lines, encodeChunk, move64);
    return encodeByLinesMoving<false, group>(src, groups, lines, encodeChunk, move64);
}

// The room a decoding kernel may write beyond the bytes it decodes.
inline constexpr std::size_t decodeSlack = 32; // a 64-byte store of base16's 32 bytes

// One implementation per instruction set. A null entry means the scalar
// code does that work itself.
struct Kernel {
    const char *name;
    // Writes the characters of `groups` whole groups of bytes at src at out
    // and returns the end of what it wrote.
    char *(*encode[shapeCount])(const std::uint8_t *src, std::size_t groups, char *out, const Alphabet64 &alphabet);
    // The same, written through the line writer.
    void (*encodeWrapped[shapeCount])(const std::uint8_t *src, std::size_t groups, LineWriter &lines,
        const Alphabet64 &alphabet);
    // Decodes from p, which stands at a group boundary of the decoder's
    // state machine, as many whole groups of data characters as it can,
    // dropping the skippable bytes between them. Stops at the first byte it
    // may not take (padding, a byte not skipped, the end of the text) and
    // leaves p at a group boundary again: at the first data character it
    // did not decode, or at that byte; out after the last byte it decoded.
    // It may write up to decodeSlack bytes beyond that (whole-register
    // stores cost less than masked ones): the caller leaves that room after
    // the most bytes the text can give.
    void (*decodeRun[shapeCount])(const std::uint8_t *&p, const std::uint8_t *end, std::uint8_t *&out,
        const DecodeTable &table, DecodeSkip skip);
};

// The kernel in use: at first use the best the CPU offers, or the one named
// by the environment variable RFC_BASE_IMPL ("avx512", "avx2", "portable"), read
// once; a name the CPU cannot run falls back to the best it can. Tests and
// benchmarks may switch it by name (rfc___BaseKernelSelect).
const Kernel &kernel() noexcept;

// The kernels this build holds, each with a test of whether the CPU runs
// it (defined in their own files, built with per-function targets).
extern const Kernel avx512Kernel;
bool avx512Supported() noexcept;
extern const Kernel avx2Kernel;
bool avx2Supported() noexcept;
extern const Kernel portableKernel;

} // namespace rfc::base

// For tests and benchmarks, which compare the kernels in one process: the
// name of the kernel in use, and the switch to the kernel of a name
// (false, and nothing changed, when this CPU or build has no such kernel).
// Exported, but no part of the C interface.
extern "C" RFC_API const char *rfc___BaseKernelName(void) noexcept;
extern "C" RFC_API PB_BOOL rfc___BaseKernelSelect(const char *name) noexcept;

#endif
