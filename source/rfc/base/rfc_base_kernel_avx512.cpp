// The AVX-512 kernels (VBMI and VBMI2): 64 characters per step for every
// encoding, after the byte-permute methods that Muła and Lemire published
// for base64 ("Base64 encoding and decoding at almost the speed of a memory
// copy", 2019), carried over to base32 and base16.
//
// Encoding: one byte permute (vpermb) spreads each group's bytes into a
// 64-bit lane in big-endian order, one multishift (vpmultishiftqb) cuts the
// lane into the characters' bit fields, and one more byte permute looks the
// fields up in the alphabet.
//
// Decoding: a two-register byte permute (vpermi2b) looks every byte up in
// the 128-entry decode table, multiply-adds (vpmaddubsw, vpmaddwd) join the
// characters' bits, and a byte permute gathers the bytes. Blocks that are
// not all alphabet characters are cut at the first byte the kernel may not
// take; their skippable bytes are closed up (one byte permute for a single
// run such as a line break, a compress (vpcompressb) otherwise) and the
// data characters gathered 64 at a time in a register, so that skipped
// newlines and white space cost no trip through the scalar code. Text
// wrapped in lines of one length (64 or more) with the same newline after
// each is recognised from its first two line breaks and then decoded in
// blocks of 64 data characters: the line length says where each block's
// break falls, so the block is two loads blended around it, checked, and
// decoded in place, with no compress and no values carried between blocks.
// For base64 in MIME's 76-character lines and PEM's 64-character ones the
// blocks go in fixed steps of whole periods of lines, whose offsets, break
// positions and masks are compile-time constants; each four blocks' bytes
// leave as three whole 64-byte stores.
//
// Each function carries its own target attribute, so the file needs no
// special compiler flags; compilers clear the upper vector state
// (vzeroupper) on the way out of each.
#include "rfc_base_kernel.h"

#include <immintrin.h>

#include <cstring>
#include <numeric>
#include <utility>

#define RFC_BASE_AVX512 \
    __attribute__((target("avx512f,avx512bw,avx512vl,avx512vbmi,avx512vbmi2,bmi,bmi2,popcnt")))

namespace rfc::base {

namespace {

// The layout constants of one shape: how many source bytes a block of 64
// characters holds, the byte permute that spreads them into lanes, the bit
// offsets of the characters in a lane, and the permute that gathers the
// decoded bytes.
template <Shape shape>
struct Layout;

// base64: dword i holds bytes 3i+2, 3i+1, 3i (the group's 24 bits, first
// byte highest); its characters start at bits 18, 12, 6 and 0.
template <>
struct Layout<Shape::base64> {
    static constexpr GroupShape group = base64Shape;
    static constexpr std::size_t blockBytes = 48;
    static constexpr std::uint64_t fieldOffsets = 0x20262C3200060C12; // 18 12 6 0 50 44 38 32
    static constexpr std::uint8_t spread(unsigned i) { return static_cast<std::uint8_t>(3 * (i / 4) + (2 - (i % 4 == 3 ? 2 : i % 4))); }
    static constexpr std::uint8_t gather(unsigned i) { return static_cast<std::uint8_t>(4 * (i / 3) + 2 - i % 3); }
};

// base32: qword i holds bytes 5i+4 .. 5i (40 bits, first byte highest);
// its characters start at bits 35, 30, ..., 0.
template <>
struct Layout<Shape::base32> {
    static constexpr GroupShape group = base32Shape;
    static constexpr std::size_t blockBytes = 40;
    static constexpr std::uint64_t fieldOffsets = 0x00050A0F14191E23; // 35 30 25 20 15 10 5 0
    static constexpr std::uint8_t spread(unsigned i) { return static_cast<std::uint8_t>(5 * (i / 8) + (i % 8 < 5 ? 4 - i % 8 : 0)); }
    static constexpr std::uint8_t gather(unsigned i) { return static_cast<std::uint8_t>(8 * (i / 5) + 4 - i % 5); }
};

// base16: qword j holds bytes 4j .. 4j+3 in memory order; the high nibble
// of byte k starts at bit 8k + 4, the low one at 8k.
template <>
struct Layout<Shape::base16> {
    static constexpr GroupShape group = base16Shape;
    static constexpr std::size_t blockBytes = 32;
    static constexpr std::uint64_t fieldOffsets = 0x181C1014080C0004; // 4 0 12 8 20 16 28 24
    static constexpr std::uint8_t spread(unsigned i) { return static_cast<std::uint8_t>(4 * (i / 8) + i % 8 % 4); }
    static constexpr std::uint8_t gather(unsigned i) { return static_cast<std::uint8_t>(2 * i); }
};

template <Shape shape, bool forGather>
constexpr std::array<std::uint8_t, 64> makeIndex()
{
    std::array<std::uint8_t, 64> index {};
    for (unsigned i = 0; i < 64; ++i)
        index[i] = forGather ? static_cast<std::uint8_t>(Layout<shape>::gather(i) & 63) : Layout<shape>::spread(i);
    return index;
}

// 0, 1, ..., 127: a load at offset k gives the byte indexes k, k + 1, ...
alignas(64) constexpr std::array<std::uint8_t, 128> counting = [] {
    std::array<std::uint8_t, 128> table {};
    for (unsigned i = 0; i < 128; ++i)
        table[i] = static_cast<std::uint8_t>(i);
    return table;
}();

template <Shape shape>
alignas(64) constexpr std::array<std::uint8_t, 64> spreadIndex = makeIndex<shape, false>();
template <Shape shape>
alignas(64) constexpr std::array<std::uint8_t, 64> gatherIndex = makeIndex<shape, true>();

static_assert(spreadIndex<Shape::base64>[0] == 2 && spreadIndex<Shape::base64>[2] == 0
    && spreadIndex<Shape::base64>[4] == 5);
static_assert(spreadIndex<Shape::base32>[0] == 4 && spreadIndex<Shape::base32>[4] == 0
    && spreadIndex<Shape::base32>[8] == 9);
static_assert(gatherIndex<Shape::base64>[0] == 2 && gatherIndex<Shape::base64>[3] == 6);
static_assert(gatherIndex<Shape::base32>[0] == 4 && gatherIndex<Shape::base32>[5] == 12);

// The bytes of a block of 64 characters, and the characters of one block.
template <Shape shape>
constexpr std::size_t bytesPerBlock = 64 / Layout<shape>::group.charsPerGroup * Layout<shape>::group.bytesPerGroup;
static_assert(bytesPerBlock<Shape::base64> == Layout<Shape::base64>::blockBytes);
static_assert(bytesPerBlock<Shape::base32> == Layout<Shape::base32>::blockBytes);
static_assert(bytesPerBlock<Shape::base16> == Layout<Shape::base16>::blockBytes);

// The mask of the lowest n bits (bzhi reads only the low byte of its
// index, so larger counts are cut to 64 first).
RFC_BASE_AVX512 inline __mmask64 lowBits(std::size_t n)
{
    return _bzhi_u64(~std::uint64_t { 0 }, static_cast<unsigned>(n < 64 ? n : 64));
}

template <Shape shape>
RFC_BASE_AVX512 inline __m512i loadIndex(const std::array<std::uint8_t, 64> &index)
{
    return _mm512_load_si512(index.data());
}

// The 64 characters of a block of source bytes (the first blockBytes of in).
template <Shape shape>
RFC_BASE_AVX512 inline __m512i encodeBlock(__m512i in, __m512i spread, __m512i offsets, __m512i alphabet)
{
    __m512i lanes = _mm512_permutexvar_epi8(spread, in);
    __m512i fields = _mm512_multishift_epi64_epi8(offsets, lanes);
    return _mm512_permutexvar_epi8(fields, alphabet);
}

// Calls put(characters, count) for each block of the groups at src, count
// being 64 for every block but the last.
template <Shape shape, class Put>
RFC_BASE_AVX512 inline void encodeBlocks(const std::uint8_t *src, std::size_t groups, const Alphabet64 &alphabet, Put put)
{
    constexpr GroupShape group = Layout<shape>::group;
    constexpr std::size_t blockBytes = Layout<shape>::blockBytes;
    const __m512i spread = loadIndex<shape>(spreadIndex<shape>);
    const __m512i offsets = _mm512_set1_epi64(static_cast<long long>(Layout<shape>::fieldOffsets));
    const __m512i table = _mm512_loadu_si512(alphabet.data());
    std::size_t n = groups * static_cast<std::size_t>(group.bytesPerGroup);
    // Whole loads while 64 bytes remain to be read.
    while (n >= 64) {
        put(encodeBlock<shape>(_mm512_loadu_si512(src), spread, offsets, table), 64);
        src += blockBytes;
        n -= blockBytes;
    }
    while (n > 0) {
        std::size_t take = n < blockBytes ? n : blockBytes;
        __m512i in = _mm512_maskz_loadu_epi8(lowBits(take), src);
        put(encodeBlock<shape>(in, spread, offsets, table),
            take / static_cast<std::size_t>(group.bytesPerGroup) * static_cast<std::size_t>(group.charsPerGroup));
        src += take;
        n -= take;
    }
}

// Stores go to whole cache lines: a short first block brings out to a
// 64-byte boundary when a whole number of groups reaches it (a store that
// straddles two lines costs two), then two blocks per step.
template <Shape shape>
RFC_BASE_AVX512 char *encode(const std::uint8_t *src, std::size_t groups, char *out, const Alphabet64 &alphabet)
{
    constexpr GroupShape group = Layout<shape>::group;
    constexpr std::size_t blockBytes = Layout<shape>::blockBytes;
    constexpr auto charsPerGroup = static_cast<std::size_t>(group.charsPerGroup);
    constexpr auto bytesPerGroup = static_cast<std::size_t>(group.bytesPerGroup);
    std::size_t n = groups * bytesPerGroup;
    if (n >= 4 * blockBytes) {
        const __m512i spread = loadIndex<shape>(spreadIndex<shape>);
        const __m512i offsets = _mm512_set1_epi64(static_cast<long long>(Layout<shape>::fieldOffsets));
        const __m512i table = _mm512_loadu_si512(alphabet.data());
        std::size_t toBoundary = (64 - (reinterpret_cast<std::uintptr_t>(out) & 63)) & 63;
        if (toBoundary % charsPerGroup == 0 && toBoundary != 0) {
            std::size_t take = toBoundary / charsPerGroup * bytesPerGroup;
            __m512i in = _mm512_maskz_loadu_epi8(lowBits(take), src);
            _mm512_mask_storeu_epi8(out, lowBits(toBoundary), encodeBlock<shape>(in, spread, offsets, table));
            src += take;
            out += toBoundary;
            n -= take;
        }
        // The second block's load reads 64 bytes from blockBytes on.
        while (n >= blockBytes + 64) {
            __m512i a = encodeBlock<shape>(_mm512_loadu_si512(src), spread, offsets, table);
            __m512i b = encodeBlock<shape>(_mm512_loadu_si512(src + blockBytes), spread, offsets, table);
            _mm512_storeu_si512(out, a);
            _mm512_storeu_si512(out + 64, b);
            src += 2 * blockBytes;
            out += 128;
            n -= 2 * blockBytes;
        }
    }
    encodeBlocks<shape>(src, n / bytesPerGroup, alphabet, [&](__m512i chars, std::size_t count) RFC_BASE_AVX512 {
        // Masked stores cost more than plain ones: whole blocks are plain.
        if (count == 64)
            _mm512_storeu_si512(out, chars);
        else
            _mm512_mask_storeu_epi8(out, lowBits(count), chars);
        out += count;
    });
    return out;
}

// Writes count characters of a register through the line writer. A whole
// block that a line break cuts once, with room behind it in the output, is
// two plain stores: the block moved up by the newline's length, then the
// block with its characters from the break on moved up and the newline
// put in (the first store leaves the block's last characters beyond the
// second). Anything else is one masked store per run up to a line's end.
RFC_BASE_AVX512 inline void putLines(LineWriter &lines, __m512i chars, std::size_t count)
{
    char *out = lines.out;
    if (lines.column + count < lines.lineLength) {
        _mm512_mask_storeu_epi8(out, lowBits(count), chars);
        lines.out = out + count;
        lines.column += count;
        return;
    }
    std::size_t before = lines.lineLength - lines.column; // characters before the break
    if (count == 64 && before + lines.nlfLength <= 64 && lines.end - out >= 64 + 2
        && lines.lineLength >= 64 && before < 64) {
        const __m512i iota = _mm512_set_epi8(63, 62, 61, 60, 59, 58, 57, 56, 55, 54, 53, 52, 51, 50, 49, 48, 47, 46,
            45, 44, 43, 42, 41, 40, 39, 38, 37, 36, 35, 34, 33, 32, 31, 30, 29, 28, 27, 26, 25, 24, 23, 22, 21, 20, 19, 18,
            17, 16, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
        auto nlf = static_cast<char>(lines.nlfLength);
        __mmask64 moved = _mm512_cmpge_epu8_mask(iota, _mm512_set1_epi8(static_cast<char>(before + lines.nlfLength)));
        __m512i index = _mm512_mask_sub_epi8(iota, moved, iota, _mm512_set1_epi8(nlf));
        __m512i broken = _mm512_permutexvar_epi8(index, chars);
        broken = _mm512_mask_set1_epi8(broken, __mmask64 { 1 } << before, lines.nlf[0]);
        if (lines.nlfLength == 2)
            broken = _mm512_mask_set1_epi8(broken, __mmask64 { 1 } << (before + 1), lines.nlf[1]);
        _mm512_storeu_si512(out + lines.nlfLength, chars);
        _mm512_storeu_si512(out, broken);
        lines.out = out + 64 + lines.nlfLength;
        lines.column = 64 - before;
        return;
    }
    std::size_t done = 0;
    while (done < count) {
        if (lines.column == lines.lineLength) {
            out[0] = lines.nlf[0];
            out[1] = lines.nlf[1]; // room: a character or the newline's second byte follows
            out += lines.nlfLength;
            lines.column = 0;
        }
        std::size_t take = lines.lineLength - lines.column;
        if (take > count - done)
            take = count - done;
        // Characters done .. done + take of the register go to out.
        _mm512_mask_storeu_epi8(out - done, lowBits(done + take) & ~lowBits(done), chars);
        out += take;
        done += take;
        lines.column += take;
    }
    lines.out = out;
}

// Lines shorter than a block whose length is not whole groups (or that
// start inside a line). From windowLinesBelow characters on, they are
// written a line at a time from chunks of flat text (encodeByLines), whose
// cost is per line. Shorter ones are encoded a chunk at a time into a
// buffer on the stack and written 64 output bytes at a time. Where a
// window's newline bytes fall depends only on its phase, its first byte's
// position in the period of a line and its newline; a byte permute
// spreads the characters over the window's other bytes, and the newline
// bytes are put in with two masked moves. (An expand, vpexpandb, does the
// same from a mask alone but measured slower.) A window is written only
// while characters remain behind it, so that no newline ends the text;
// the last characters go through the line writer. Worth its tables from a
// few hundred bytes on. Returns the writer as it leaves it. Kept out of
// line: its tables would cost the other layouts' loops their registers.
inline constexpr std::size_t windowLinesBelow = 24;

template <Shape shape>
RFC_BASE_AVX512 __attribute__((noinline)) LineWriter encodeShortLines(const std::uint8_t *src, std::size_t groups, LineWriter lines,
    const Alphabet64 &alphabet)
{
    constexpr GroupShape group = Layout<shape>::group;
    constexpr auto charsPerGroup = static_cast<std::size_t>(group.charsPerGroup);
    constexpr auto bytesPerGroup = static_cast<std::size_t>(group.bytesPerGroup);
    if (lines.lineLength >= windowLinesBelow) {
        return encodeByLines<group>(src, groups, lines,
            [&](const std::uint8_t *from, std::size_t count, char *to) RFC_BASE_AVX512 {
                return encode<shape>(from, count, to, alphabet);
            },
            [](char *to, const char *from) RFC_BASE_AVX512 { _mm512_storeu_si512(to, _mm512_loadu_si512(from)); });
    }
    constexpr std::size_t chunkGroups = 1024 / charsPerGroup; // characters encoded per refill
    const std::size_t lineLength = lines.lineLength;
    const std::size_t period = lineLength + lines.nlfLength; // at most 65
    // Per phase: the masks of the newline's two bytes in the window, its
    // count of data characters and the permute that spreads them. The
    // window at phase f + 1 is that at f moved down a byte, with the byte
    // 64 past f coming in on top.
    std::uint64_t first[66]; // the newline's first byte
    std::uint64_t second[66];
    std::uint8_t count[66]; // of data characters
    alignas(64) std::uint8_t spread[66][64];
    const std::size_t advance = 64 % period; // from one window's phase to the next
    {
        std::uint64_t d = 0, n0 = 0, n1 = 0;
        for (std::size_t k = 0; k < 64; ++k) {
            std::size_t at = k % period;
            d |= std::uint64_t { at < lineLength } << k;
            n0 |= std::uint64_t { at == lineLength } << k;
            n1 |= std::uint64_t { at == lineLength + 1 } << k;
        }
        // The indexes of phase 0: for each byte, the data bytes before it.
        alignas(64) std::uint8_t before[64];
        for (std::size_t k = 0, n = 0; k < 64; n += (d >> k) & 1, ++k)
            before[k] = static_cast<std::uint8_t>(n);
        __m512i index = _mm512_load_si512(before);
        const __m512i nextByte = _mm512_loadu_si512(counting.data() + 1); // k + 1, its top cut to 6 bits
        for (std::size_t f = 0; f < period; ++f) {
            first[f] = n0;
            second[f] = n1;
            count[f] = static_cast<std::uint8_t>(_mm_popcnt_u64(d));
            // Byte k of the window takes character index[k]: the data
            // bytes before it. From phase f to f + 1 the indexes move
            // down a byte, one less if byte 0 was data, and the new top
            // byte takes the data bytes of the rest.
            _mm512_store_si512(spread[f], index);
            index = _mm512_sub_epi8(_mm512_permutexvar_epi8(nextByte, index), _mm512_set1_epi8(static_cast<char>(d & 1)));
            index = _mm512_mask_set1_epi8(index, __mmask64 { 1 } << 63, static_cast<char>(_mm_popcnt_u64(d >> 1)));
            std::size_t in = (f + 64) % period;
            d = d >> 1 | std::uint64_t { in < lineLength } << 63;
            n0 = n0 >> 1 | std::uint64_t { in == lineLength } << 63;
            n1 = n1 >> 1 | std::uint64_t { in == lineLength + 1 } << 63;
        }
    }
    const __m512i nlf0 = _mm512_set1_epi8(lines.nlf[0]);
    const __m512i nlf1 = _mm512_set1_epi8(lines.nlf[1]);
    alignas(64) char buffer[chunkGroups * charsPerGroup + 64];
    std::size_t held = 0; // characters in the buffer
    std::size_t phase = lines.column;
    char *out = lines.out;
    const char *const end = lines.end; // held apart from the writer, which the stores could alias
    while (groups != 0) {
        std::size_t take = groups < chunkGroups ? groups : chunkGroups;
        held = static_cast<std::size_t>(encode<shape>(src, take, buffer + held, alphabet) - buffer);
        src += take * bytesPerGroup;
        groups -= take;
        std::size_t used = 0;
        while (held - used > 64 && end - out >= 64) {
            __m512i chars = _mm512_loadu_si512(buffer + used);
            __m512i window = _mm512_permutexvar_epi8(_mm512_load_si512(spread[phase]), chars);
            window = _mm512_mask_mov_epi8(window, first[phase], nlf0);
            window = _mm512_mask_mov_epi8(window, second[phase], nlf1);
            _mm512_storeu_si512(out, window);
            out += 64;
            used += count[phase];
            phase += advance;
            phase = phase >= period ? phase - period : phase;
        }
        // Keep the characters not written: fewer than 65, to the front.
        std::memmove(buffer, buffer + used, held - used);
        held -= used;
    }
    // A window may end inside a two-byte newline: its second byte goes
    // now, as characters follow.
    if (phase > lineLength) {
        *out++ = lines.nlf[1];
        phase = 0;
    }
    lines.out = out;
    lines.column = phase;
    if (held != 0)
        putLines(lines, _mm512_maskz_loadu_epi8(lowBits(held), buffer), held);
    return lines;
}

template <Shape shape>
RFC_BASE_AVX512 void encodeWrapped(const std::uint8_t *src, std::size_t groups, LineWriter &lines, const Alphabet64 &alphabet)
{
    // A copy whose address never escapes stays in registers: the text's
    // stores could otherwise alias the caller's writer.
    LineWriter local = lines;
    constexpr GroupShape group = Layout<shape>::group;
    constexpr std::size_t blockBytes = Layout<shape>::blockBytes;
    constexpr auto charsPerGroup = static_cast<std::size_t>(group.charsPerGroup);
    constexpr auto bytesPerGroup = static_cast<std::size_t>(group.bytesPerGroup);
    if (local.lineLength >= 64) {
        // Lines of a block or longer: the blocks are encoded one after the
        // other, and a block that a line break cuts (at most once) is
        // stored twice: whole, moved up by the newline's length, which puts
        // the characters after the break in place; then, masked, the
        // characters before the break over it; then the newline between.
        const __m512i spread = loadIndex<shape>(spreadIndex<shape>);
        const __m512i offsets = _mm512_set1_epi64(static_cast<long long>(Layout<shape>::fieldOffsets));
        const __m512i table = _mm512_loadu_si512(alphabet.data());
        const std::size_t lineLength = local.lineLength;
        const std::size_t nlfLength = local.nlfLength;
        std::size_t n = groups * bytesPerGroup;
        std::size_t column = local.column;
        char *out = local.out;
        // Whole loads, and room for a block and a newline behind out.
        while (n >= 64 && local.end - out >= 64 + 2) {
            __m512i chars = encodeBlock<shape>(_mm512_loadu_si512(src), spread, offsets, table);
            std::size_t before = lineLength - column; // characters before the break
            if (before >= 64) {
                _mm512_storeu_si512(out, chars);
                out += 64;
                column += 64;
            } else {
                _mm512_storeu_si512(out + nlfLength, chars);
                _mm512_mask_storeu_epi8(out, lowBits(before), chars);
                out[before] = local.nlf[0];
                if (nlfLength == 2)
                    out[before + 1] = local.nlf[1];
                out += 64 + nlfLength;
                column = 64 - before;
            }
            src += blockBytes;
            n -= blockBytes;
        }
        local.out = out;
        local.column = column;
        groups = n / bytesPerGroup;
    } else if (local.column == 0 && local.lineLength % charsPerGroup == 0) {
        // Lines of whole groups: each line that a newline follows is
        // encoded from its own bytes, its blocks stored in place and the
        // newline after them, with no state carried from block to block.
        const __m512i spread = loadIndex<shape>(spreadIndex<shape>);
        const __m512i offsets = _mm512_set1_epi64(static_cast<long long>(Layout<shape>::fieldOffsets));
        const __m512i table = _mm512_loadu_si512(alphabet.data());
        std::size_t lineBytes = local.lineLength / charsPerGroup * bytesPerGroup;
        // Per line: whole blocks, then the rest of the line's bytes and the
        // newline. When the rest's characters and the newline fit in 16
        // bytes (a 76-character line's last 12 and CR LF do), they are one
        // store of the block's low quarter with the newline blended in.
        std::size_t wholeBlocks = lineBytes / blockBytes;
        std::size_t rest = lineBytes % blockBytes;
        std::size_t restChars = rest / bytesPerGroup * charsPerGroup;
        __mmask64 restBytes = lowBits(rest);
        bool packedTail = restChars + 2 <= 16;
        __mmask16 newlineBytes = packedTail ? static_cast<__mmask16>((local.nlfLength == 2 ? 3u : 1u) << restChars) : 0;
        __m128i newline = _mm_mask_set1_epi8(_mm_setzero_si128(), newlineBytes,
            local.nlf[0]);
        if (local.nlfLength == 2 && packedTail)
            newline = _mm_mask_set1_epi8(newline, static_cast<__mmask16>(2u << restChars), local.nlf[1]);
        const std::uint8_t *srcEnd = src + groups * bytesPerGroup;
        char *out = local.out;
        while (static_cast<std::size_t>(srcEnd - src) > lineBytes) {
            char *at = out;
            const std::uint8_t *from = src;
            for (std::size_t block = 0; block < wholeBlocks; ++block, from += blockBytes, at += 64) {
                __m512i in = srcEnd - from >= 64 ? _mm512_loadu_si512(from) : _mm512_maskz_loadu_epi8(lowBits(blockBytes), from);
                _mm512_storeu_si512(at, encodeBlock<shape>(in, spread, offsets, table));
            }
            __m512i chars = encodeBlock<shape>(_mm512_maskz_loadu_epi8(restBytes, from), spread, offsets, table);
            if (packedTail && local.end - at >= 16) {
                __m128i tail = _mm_mask_blend_epi8(newlineBytes, _mm512_castsi512_si128(chars), newline);
                _mm_storeu_si128(reinterpret_cast<__m128i *>(at), tail);
            } else {
                _mm512_mask_storeu_epi8(at, lowBits(restChars), chars);
                at[restChars] = local.nlf[0];
                if (local.nlfLength == 2)
                    at[restChars + 1] = local.nlf[1];
            }
            out += local.lineLength + local.nlfLength;
            src += lineBytes;
        }
        local.out = out;
        groups = static_cast<std::size_t>(srcEnd - src) / bytesPerGroup;
    } else if (groups * bytesPerGroup >= shortLinesMin) {
        // By value: the writer's address must not escape (see above).
        local = encodeShortLines<shape>(src, groups, local, alphabet);
        groups = 0;
    }
    encodeBlocks<shape>(src, groups, alphabet,
        [&](__m512i chars, std::size_t count) RFC_BASE_AVX512 { putLines(local, chars, count); });
    lines = local;
}

// The groups of up to 64 character values (each below 2 ^ bitsPerChar)
// joined: each group's bits in its lane (Layout's gather reads them out).
template <Shape shape>
RFC_BASE_AVX512 inline __m512i joinValues(__m512i values)
{
    __m512i joined;
    if constexpr (shape == Shape::base64) {
        // Pairs to 12 bits, pairs of those to the group's 24 bits.
        __m512i pairs = _mm512_maddubs_epi16(values, _mm512_set1_epi32(0x01400140));
        joined = _mm512_madd_epi16(pairs, _mm512_set1_epi32(0x00011000));
    } else if constexpr (shape == Shape::base32) {
        // Pairs to 10 bits, fours to 20 bits, eights to the group's 40.
        __m512i pairs = _mm512_maddubs_epi16(values, _mm512_set1_epi16(0x0120));
        __m512i fours = _mm512_madd_epi16(pairs, _mm512_set1_epi32(0x00010400));
        joined = _mm512_or_si512(_mm512_slli_epi64(fours, 20), _mm512_srli_epi64(fours, 32));
    } else {
        // Pairs of hex digits to bytes.
        joined = _mm512_maddubs_epi16(values, _mm512_set1_epi16(0x0110));
    }
    return joined;
}

// The bytes of up to 64 character values (each below 2 ^ bitsPerChar), in
// the first bytesPerBlock bytes of the result.
template <Shape shape>
RFC_BASE_AVX512 inline __m512i decodeValues(__m512i values, __m512i gather)
{
    return _mm512_permutexvar_epi8(gather, joinValues<shape>(values));
}

// Four blocks of base64 give 192 bytes: three whole 64-byte stores. Store
// k takes its bytes from the groups of blocks k and k + 1 (joined, not yet
// gathered), so one two-register byte permute (vpermt2b) gathers each:
// three permutes and three stores for four blocks instead of four of each,
// and no store rewrites bytes of the one before.
inline constexpr std::size_t packBlocks = 4;
inline constexpr std::size_t packStores = 3;
static_assert(packBlocks * bytesPerBlock<Shape::base64> == packStores * 64);

alignas(64) constexpr std::array<std::uint8_t, packStores * 64> packIndex = [] {
    using L = Layout<Shape::base64>;
    std::array<std::uint8_t, packStores * 64> index {};
    for (std::size_t k = 0; k < packStores * 64; ++k) {
        std::size_t block = k / L::blockBytes; // the block that gives output byte k
        std::size_t store = k / 64;
        index[k] = static_cast<std::uint8_t>((block - store) * 64 + L::gather(static_cast<unsigned>(k % L::blockBytes)));
    }
    return index;
}();
static_assert(packIndex[0] == 2 && packIndex[48] == 64 + 2 && packIndex[64] == 4 * 5 + 1 && packIndex[191] == 64 + 4 * 15);

// The blocks of one step of the fixed-layout path: from a line's start to
// the next line start that is also a block's start (lineLength /
// gcd(lineLength, 64) blocks, 19 for 76-character lines), repeated until a
// step holds at least 16 blocks. Where each block starts and where its
// line break falls are known before the text is read, so a step is
// straight code: no block's position waits on the one before, and no
// column is tested.
struct StepBlock {
    std::size_t offset;  // of the block's first character, from the step's start
    std::size_t breakAt; // data characters before its line break; above 64 when none
};

template <std::size_t lineLength, std::size_t nlfLength>
struct Step {
    static_assert(lineLength >= 64 && (nlfLength == 1 || nlfLength == 2));
    static constexpr std::size_t period = lineLength / std::gcd(lineLength, std::size_t { 64 });
    static constexpr std::size_t blocks = period * ((16 + period - 1) / period);
    static constexpr std::size_t newline = nlfLength;

    struct Plan {
        std::array<StepBlock, blocks> block;
        std::size_t span; // text bytes of a step
    };
    // The blocks as the column-driven loop (decodeLines) meets them from
    // column 0.
    static constexpr Plan plan = [] {
        Plan result {};
        std::size_t offset = 0;
        std::size_t column = 0;
        for (StepBlock &b : result.block) {
            b = { offset, lineLength - column };
            if (b.breakAt <= 64) {
                offset += 64 + nlfLength;
                column = 64 - b.breakAt;
            } else {
                offset += 64;
                column += 64;
            }
        }
        result.span = column == 0 ? offset : 0; // 0: the blocks do not end a period
        return result;
    }();
    static_assert(plan.span != 0);
};

// Reads block i of a step at q into in: its data characters closed up
// around its line break, if it has one (the characters after the break
// loaded over the block's first load, a masked load). Returns bits whose
// lowest newline-length bits are set when the bytes at the break are the
// layout's newline (all bits for a block without one). A newline within
// the first load is compared there, so that no break costs a load of its
// own: the loads bound the steps more than the vector work does. The
// caller tests the bits with the block's characters, so that a group of
// blocks takes one branch. (The bits are joined in general registers: the
// same in mask registers measured slower.)
template <class S, std::size_t i>
RFC_BASE_AVX512 __attribute__((always_inline)) inline std::uint64_t stepBlock(const std::uint8_t *q, std::uint16_t nlf, __m512i &in)
{
    constexpr StepBlock b = S::plan.block[i];
    const std::uint8_t *at = q + b.offset;
    in = _mm512_loadu_si512(at);
    if constexpr (b.breakAt + S::newline <= 64) {
        // The layouts built here break after whole groups, so a two-byte
        // newline starts at an even offset: the load must hold the newline
        // repeated from offset 0 there. The comparison's bits from the
        // break on go to the bottom.
        static_assert(S::newline == 1 || b.breakAt % 2 == 0);
        const __m512i expected = S::newline == 1 ? _mm512_set1_epi8(static_cast<char>(nlf))
                                                 : _mm512_set1_epi16(static_cast<short>(nlf));
        std::uint64_t good = _cvtmask64_u64(_mm512_cmpeq_epi8_mask(in, expected)) >> b.breakAt;
        constexpr __mmask64 after = ~((__mmask64 { 1 } << b.breakAt) - 1);
        in = _mm512_mask_loadu_epi8(in, after, at + S::newline);
        return good;
    } else if constexpr (b.breakAt < 64) {
        constexpr __mmask64 after = ~((__mmask64 { 1 } << b.breakAt) - 1);
        in = _mm512_mask_loadu_epi8(in, after, at + S::newline);
    }
    if constexpr (b.breakAt <= 64) {
        bool same;
        if constexpr (S::newline == 2) {
            std::uint16_t got;
            std::memcpy(&got, at + b.breakAt, sizeof got);
            same = got == nlf;
        } else {
            same = at[b.breakAt] == static_cast<std::uint8_t>(nlf);
        }
        return same ? ~std::uint64_t { 0 } : 0;
    }
    return ~std::uint64_t { 0 };
}

// Decodes blocks first + j of a step at q to their places from o, their
// breaks and characters tested together. False, with nothing known to be
// written, when a break or a character does not fit the layout.
template <Shape shape, class S, std::size_t first, std::size_t... j>
RFC_BASE_AVX512 __attribute__((always_inline)) inline bool stepGroup(const std::uint8_t *q, std::uint8_t *o,
    __m512i lowTable, __m512i highTable, __m512i gather, const __m512i *pack, std::uint16_t nlf, std::index_sequence<j...>)
{
    constexpr std::size_t blockOut = bytesPerBlock<shape>;
    __m512i in[sizeof...(j)];
    std::uint64_t goodBreaks = (stepBlock<S, first + j>(q, nlf, in[j]) & ...);
    __m512i values[sizeof...(j)];
    __m512i marks = _mm512_setzero_si512(); // top bits: bytes that are not alphabet characters
    ((values[j] = _mm512_permutex2var_epi8(lowTable, in[j], highTable),
         marks = _mm512_ternarylogic_epi32(marks, in[j], values[j], 0xFE)),
        ...);
    constexpr std::uint64_t newline = (std::uint64_t { 1 } << S::newline) - 1;
    if ((_mm512_movepi8_mask(marks) | (~goodBreaks & newline)) != 0)
        return false;
    if constexpr (shape == Shape::base64 && sizeof...(j) == packBlocks) {
        __m512i joined[packBlocks];
        ((joined[j] = joinValues<shape>(values[j])), ...);
        for (std::size_t k = 0; k < packStores; ++k)
            _mm512_storeu_si512(o + first * blockOut + 64 * k, _mm512_permutex2var_epi8(joined[k], pack[k], joined[k + 1]));
    } else {
        (_mm512_storeu_si512(o + (first + j) * blockOut, decodeValues<shape>(values[j], gather)), ...);
    }
    return true;
}

// Blocks are tested in groups of this many.
inline constexpr std::size_t stepGroupBlocks = 4;

template <Shape shape, class S, std::size_t group>
RFC_BASE_AVX512 __attribute__((always_inline)) inline bool stepGroupAt(const std::uint8_t *q, std::uint8_t *o,
    __m512i lowTable, __m512i highTable, __m512i gather, const __m512i *pack, std::uint16_t nlf)
{
    constexpr std::size_t first = group * stepGroupBlocks;
    constexpr std::size_t count = S::blocks - first < stepGroupBlocks ? S::blocks - first : stepGroupBlocks;
    return stepGroup<shape, S, first>(q, o, lowTable, highTable, gather, pack, nlf, std::make_index_sequence<count>());
}

// Decodes whole steps of a layout of lineLength characters and a newline
// of nlfLength bytes from q, which stands at a line's start, while the
// text holds a whole step and the step fits the layout. Returns the start
// of the first step not decoded (a line's start again); out goes past the
// bytes of the steps decoded. A step that does not fit may have written
// some of its bytes beyond out: no more than its text can give.
// Kept out of line: inlined into decodeRun, the unrolled steps cost the
// loops there their registers (plain text decoded some 15 % slower).
template <Shape shape, std::size_t lineLength, std::size_t nlfLength>
RFC_BASE_AVX512 __attribute__((noinline)) const std::uint8_t *decodeSteps(const std::uint8_t *q, const std::uint8_t *end, std::uint8_t *&out,
    __m512i lowTable, __m512i highTable, __m512i gather, std::uint16_t nlf)
{
    using S = Step<lineLength, nlfLength>;
    std::uint8_t *o = out;
    __m512i pack[packStores];
    for (std::size_t k = 0; k < packStores; ++k)
        pack[k] = _mm512_load_si512(packIndex.data() + 64 * k);
    while (static_cast<std::size_t>(end - q) >= S::plan.span) {
        bool whole = [&]<std::size_t... group>(std::index_sequence<group...>) RFC_BASE_AVX512 {
            return (stepGroupAt<shape, S, group>(q, o, lowTable, highTable, gather, pack, nlf) && ...);
        }(std::make_index_sequence<(S::blocks + stepGroupBlocks - 1) / stepGroupBlocks>());
        if (!whole)
            break;
        q += S::plan.span;
        o += S::blocks * bytesPerBlock<shape>;
    }
    out = o;
    return q;
}

// The fixed-layout path for the layouts it is built for (base64 in lines
// of 76 characters, MIME's length, or 64, PEM's, with a newline of one or
// two bytes). From q at the given column, the rest of the line (fewer than
// 64 characters) is decoded first as a short block, so that the steps
// start at a line's start; learnLines has seen those characters and the
// newline after them, and they are checked again here so that this
// function holds on its own. Returns where it stopped, at a group
// boundary, with column and out updated; q unchanged for any other
// layout, or when the text does not fit it.
template <Shape shape>
RFC_BASE_AVX512 const std::uint8_t *decodeKnownLayout(const std::uint8_t *q, const std::uint8_t *end,
    std::uint8_t *&out, __m512i lowTable, __m512i highTable, __m512i gather, const Lines &lines, std::size_t &column)
{
    if constexpr (shape != Shape::base64) {
        return q;
    } else {
        constexpr std::size_t charsPerGroup = 4;
        constexpr std::size_t bytesPerGroup = 3;
        const std::size_t lineLength = lines.lineLength;
        const std::size_t nlfLength = lines.nlfLength;
        if (lineLength != 76 && lineLength != 64)
            return q;
        std::size_t rest = lineLength - column; // data characters to the line break
        if (rest >= 64 || rest % charsPerGroup != 0 || static_cast<std::size_t>(end - q) < 64 + 2)
            return q;
        const std::uint8_t *at = q;
        std::uint8_t *o = out;
        if (rest != 0) {
            __mmask64 chars = lowBits(rest);
            __m512i in = _mm512_maskz_loadu_epi8(chars, at);
            __m512i values = _mm512_permutex2var_epi8(lowTable, in, highTable);
            if ((_mm512_movepi8_mask(_mm512_or_si512(in, values)) & chars) != 0)
                return q;
            std::size_t produced = rest / charsPerGroup * bytesPerGroup;
            _mm512_mask_storeu_epi8(o, lowBits(produced), decodeValues<shape>(values, gather));
            at += rest;
            o += produced;
        }
        std::uint16_t got = static_cast<std::uint16_t>(at[0] | (nlfLength == 2 ? at[1] << 8 : 0));
        if (got != lines.nlf)
            return q;
        at += nlfLength;
        column = 0;
        out = o;
        bool pair = nlfLength == 2;
        if (lineLength == 76)
            return pair ? decodeSteps<shape, 76, 2>(at, end, out, lowTable, highTable, gather, lines.nlf)
                        : decodeSteps<shape, 76, 1>(at, end, out, lowTable, highTable, gather, lines.nlf);
        return pair ? decodeSteps<shape, 64, 2>(at, end, out, lowTable, highTable, gather, lines.nlf)
                    : decodeSteps<shape, 64, 1>(at, end, out, lowTable, highTable, gather, lines.nlf);
    }
}

// Decodes regularly wrapped text from q in blocks of 64 data characters,
// each decoded in place: the column says where the block's line break
// falls, so a block is two loads blended around it, checked to be all
// alphabet characters with the expected newline bytes at the break. No
// block's position waits on the one before, so blocks overlap. The loop
// is bound by the instructions it issues, not by its loads: reading whole
// cache lines instead, with a byte permute to skip the break, is slower.
// Stops before the first block that breaks the layout, or near the end,
// and returns the start of that block, which stands at a group boundary.
template <Shape shape>
RFC_BASE_AVX512 const std::uint8_t *decodeLines(const std::uint8_t *q, const std::uint8_t *end, std::uint8_t *&out,
    __m512i lowTable, __m512i highTable, __m512i gather, const Lines &lines)
{
    constexpr std::size_t blockOut = bytesPerBlock<shape>;
    const std::size_t lineLength = lines.lineLength;
    const std::size_t nlfLength = lines.nlfLength;
    // Held in registers: the stores of decoded bytes could otherwise alias
    // the layout, which the loop would then read again after each one.
    const std::uint16_t nlfWanted = lines.nlf;
    const std::uint16_t nlfMask = lines.nlfMask;
    std::size_t column = lines.column;
    q = decodeKnownLayout<shape>(q, end, out, lowTable, highTable, gather, lines, column);
    std::uint8_t *o = out;
    // Two blocks a step, their characters tested together. Each block's
    // loads and newline check stay within 64 + nlfLength + 1 bytes of its
    // start. Most blocks hold a break (all but 3 in 19 for 76-character
    // lines): their path runs straight through. The two blocks are
    // written out in full on purpose: the same steps through a shared
    // helper, or with the breaks chosen without branches, measured 15 to
    // 30 % slower (values the compiler keeps in memory, or a longer chain
    // from one block's position to the next).
    while (static_cast<std::size_t>(end - q) >= 2 * (64 + 2) + 1) {
        std::size_t breakAt = lineLength - column; // data characters before the break
        __m512i in1;
        std::size_t advance1;
        std::size_t column1;
        if (__builtin_expect(breakAt <= 64, 1)) {
            std::uint16_t nlf;
            std::memcpy(&nlf, q + breakAt, sizeof nlf);
            if ((nlf & nlfMask) != nlfWanted)
                break;
            in1 = _mm512_mask_blend_epi8(~lowBits(breakAt), _mm512_loadu_si512(q), _mm512_loadu_si512(q + nlfLength));
            column1 = 64 - breakAt;
            advance1 = 64 + nlfLength;
        } else {
            in1 = _mm512_loadu_si512(q);
            column1 = column + 64;
            advance1 = 64;
        }
        const std::uint8_t *q2 = q + advance1;
        breakAt = lineLength - column1;
        __m512i in2;
        std::size_t advance2;
        std::size_t column2;
        if (__builtin_expect(breakAt <= 64, 1)) {
            std::uint16_t nlf;
            std::memcpy(&nlf, q2 + breakAt, sizeof nlf);
            if ((nlf & nlfMask) != nlfWanted)
                break;
            in2 = _mm512_mask_blend_epi8(~lowBits(breakAt), _mm512_loadu_si512(q2), _mm512_loadu_si512(q2 + nlfLength));
            column2 = 64 - breakAt;
            advance2 = 64 + nlfLength;
        } else {
            in2 = _mm512_loadu_si512(q2);
            column2 = column1 + 64;
            advance2 = 64;
        }
        __m512i values1 = _mm512_permutex2var_epi8(lowTable, in1, highTable);
        __m512i values2 = _mm512_permutex2var_epi8(lowTable, in2, highTable);
        if (_mm512_movepi8_mask(_mm512_or_si512(_mm512_or_si512(in1, values1), _mm512_or_si512(in2, values2))) != 0)
            break;
        _mm512_storeu_si512(o, decodeValues<shape>(values1, gather));
        _mm512_storeu_si512(o + blockOut, decodeValues<shape>(values2, gather));
        o += 2 * blockOut;
        q = q2 + advance2;
        column = column2;
    }
    // The last block, or the good block before a fault, alone.
    while (static_cast<std::size_t>(end - q) >= 64 + 3) {
        std::size_t breakAt = lineLength - column; // data characters before the break
        __m512i in;
        std::size_t advance;
        if (__builtin_expect(breakAt <= 64, 1)) {
            std::uint16_t nlf;
            std::memcpy(&nlf, q + breakAt, sizeof nlf);
            if ((nlf & nlfMask) != nlfWanted)
                break;
            in = _mm512_mask_blend_epi8(~lowBits(breakAt), _mm512_loadu_si512(q), _mm512_loadu_si512(q + nlfLength));
            column = 64 - breakAt;
            advance = 64 + nlfLength;
        } else {
            in = _mm512_loadu_si512(q);
            column += 64;
            advance = 64;
        }
        __m512i values = _mm512_permutex2var_epi8(lowTable, in, highTable);
        if (_mm512_movepi8_mask(_mm512_or_si512(in, values)) != 0)
            break;
        _mm512_storeu_si512(o, decodeValues<shape>(values, gather));
        o += blockOut;
        q += advance;
    }
    out = o;
    return q;
}

// Decodes whole groups from p. Runs of blocks of 64 alphabet characters
// are decoded in place. Any other block has its data characters closed up
// (one byte permute for a single run of skipped bytes such as a line
// break, a compress (vpcompressb) otherwise) and joined to the values held
// from the blocks before; each time 64 are held they are decoded. Blocks
// are read at a fixed stride, so no load waits on a block's result. At the
// first byte the kernel may not take, the whole groups held are decoded
// and the characters of a last partial group are left in the text: p goes
// back to the first of them, or to that byte when there are none, so the
// state machine resumes at a group boundary.
template <Shape shape>
RFC_BASE_AVX512 void decodeRun(const std::uint8_t *&p, const std::uint8_t *end, std::uint8_t *&out,
    const DecodeTable &table, DecodeSkip skip)
{
    constexpr auto charsPerGroup = static_cast<std::size_t>(Layout<shape>::group.charsPerGroup);
    constexpr auto bytesPerGroup = static_cast<std::size_t>(Layout<shape>::group.bytesPerGroup);
    constexpr std::size_t blockOut = bytesPerBlock<shape>;
    const __m512i lowTable = _mm512_load_si512(table.entries);
    const __m512i highTable = _mm512_load_si512(table.entries + 64);
    const __m512i gather = loadIndex<shape>(gatherIndex<shape>);
    const __m512i skipClasses = _mm512_set1_epi8(static_cast<char>(skip.classes));
    const __mmask64 skipHigh = skip.highBytes ? ~__mmask64 { 0 } : 0;
    const __m512i iota = _mm512_set_epi8(63, 62, 61, 60, 59, 58, 57, 56, 55, 54, 53, 52, 51, 50, 49, 48, 47, 46, 45,
        44, 43, 42, 41, 40, 39, 38, 37, 36, 35, 34, 33, 32, 31, 30, 29, 28, 27, 26, 25, 24, 23, 22, 21, 20, 19, 18, 17,
        16, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
    __m512i accumulated = _mm512_setzero_si512(); // data values not yet decoded
    std::size_t held = 0;                          // how many, fewer than 64
    bool tryLines = true; // whether to look for a regular line layout
    const std::uint8_t *q = p;
    std::uint8_t *o = out;
    // Loads that straddle two cache lines cost two: when a whole number of
    // groups reaches the next 64-byte boundary and they are all alphabet
    // characters, they are decoded first, so that the blocks after are
    // read from whole lines.
    if (std::size_t toBoundary = (64 - (reinterpret_cast<std::uintptr_t>(q) & 63)) & 63;
        toBoundary % charsPerGroup == 0 && toBoundary != 0 && static_cast<std::size_t>(end - q) >= toBoundary + 128) {
        __mmask64 head = lowBits(toBoundary);
        __m512i in = _mm512_maskz_loadu_epi8(head, q);
        __m512i values = _mm512_permutex2var_epi8(lowTable, in, highTable);
        if ((_mm512_movepi8_mask(_mm512_or_si512(in, values)) & head) == 0) {
            std::size_t produced = toBoundary / charsPerGroup * bytesPerGroup;
            _mm512_mask_storeu_epi8(o, lowBits(produced), decodeValues<shape>(values, gather));
            q += toBoundary;
            o += produced;
        }
    }
    for (;;) {
        // In place, two blocks at a time while they are all alphabet
        // characters (neither the byte nor its entry has the top bit).
        while (held == 0 && end - q >= 128) {
            __m512i in = _mm512_loadu_si512(q);
            __m512i in2 = _mm512_loadu_si512(q + 64);
            __m512i values = _mm512_permutex2var_epi8(lowTable, in, highTable);
            __m512i values2 = _mm512_permutex2var_epi8(lowTable, in2, highTable);
            if (_mm512_movepi8_mask(_mm512_or_si512(_mm512_or_si512(in, values), _mm512_or_si512(in2, values2))) != 0)
                break;
            _mm512_storeu_si512(o, decodeValues<shape>(values, gather));
            _mm512_storeu_si512(o + blockOut, decodeValues<shape>(values2, gather));
            q += 128;
            o += 2 * blockOut;
        }
        if (held == 0 && end - q >= 64) {
            __m512i in = _mm512_loadu_si512(q);
            __m512i values = _mm512_permutex2var_epi8(lowTable, in, highTable);
            if (_mm512_movepi8_mask(_mm512_or_si512(in, values)) == 0) {
                _mm512_storeu_si512(o, decodeValues<shape>(values, gather));
                q += 64;
                o += blockOut;
            }
        }
        // A last short block, or one cut by padding or another byte that
        // is not skipped, with nothing held: its whole groups before that
        // byte are decoded in place and the state machine takes the rest
        // (a partial group, the padding), with no closing up and no
        // stepping back over the text.
        if (held == 0) {
            __mmask64 inRange = lowBits(static_cast<std::size_t>(end - q));
            __m512i in = _mm512_maskz_loadu_epi8(inRange, q);
            __m512i values = _mm512_permutex2var_epi8(lowTable, in, highTable);
            __mmask64 high = _mm512_movepi8_mask(in);
            __mmask64 cut = _mm512_movepi8_mask(_mm512_or_si512(in, values)) | ~inRange;
            __mmask64 first = cut & (~cut + 1);
            __mmask64 skipped = _mm512_mask_test_epi8_mask(~high, values, skipClasses) | (high & skipHigh);
            if (first != 0 && (first & inRange & skipped) == 0) {
                std::size_t count = _tzcnt_u64(cut);
                std::size_t whole = count - count % charsPerGroup;
                std::size_t produced = whole / charsPerGroup * bytesPerGroup;
                if (produced != 0)
                    _mm512_mask_storeu_epi8(o, lowBits(produced), decodeValues<shape>(values, gather));
                q += whole;
                o += produced;
                break;
            }
        }
        // Regularly wrapped text goes block by block with no compress and
        // no values held, once its line layout is known; the blocks it
        // leaves come back here.
        if (held == 0 && tryLines) {
            auto notData = [&](const std::uint8_t *at) RFC_BASE_AVX512 {
                __m512i in = _mm512_loadu_si512(at);
                return _mm512_movepi8_mask(_mm512_or_si512(in, _mm512_permutex2var_epi8(lowTable, in, highTable)));
            };
            Lines lines;
            if (learnLines<64>(q, end, table, skip, notData, lines)) {
                const std::uint8_t *from = q;
                q = decodeLines<shape>(q, end, o, lowTable, highTable, gather, lines);
                tryLines = q != from;
                continue;
            }
            tryLines = false;
        }
        // One block that is not all alphabet characters.
        auto available = static_cast<std::size_t>(end - q);
        const std::uint8_t *stoppedAt = nullptr;
        if (available == 0) {
            stoppedAt = q;
        } else {
            __mmask64 inRange = ~__mmask64 { 0 };
            __m512i in;
            if (available >= 64) {
                in = _mm512_loadu_si512(q);
            } else {
                inRange = lowBits(available);
                in = _mm512_maskz_loadu_epi8(inRange, q);
            }
            __m512i values = _mm512_permutex2var_epi8(lowTable, in, highTable);
            // Bytes from 0x80 up read the entry of their low seven bits:
            // their class is decided by skip.highBytes alone.
            __mmask64 high = _mm512_movepi8_mask(in);
            __mmask64 notData = _mm512_movepi8_mask(_mm512_or_si512(in, values));
            __mmask64 skipped = _mm512_mask_test_epi8_mask(~high, values, skipClasses) | (high & skipHigh);
            __mmask64 data = ~notData & inRange;
            __mmask64 stop = ~(data | (skipped & inRange));
            __mmask64 prefix = stop ? (stop & (~stop + 1)) - 1 : ~__mmask64 { 0 };
            __mmask64 used = data & prefix;
            // One run of skipped bytes (a line break) or none closes up with
            // one byte permute; anything else is compressed.
            __mmask64 holes = prefix & ~data;
            __m512i compact;
            if ((holes & (holes + (holes & (~holes + 1)))) == 0) {
                __m512i shifted = _mm512_loadu_si512(counting.data() + _mm_popcnt_u64(holes));
                compact = _mm512_permutexvar_epi8(_mm512_mask_blend_epi8(~lowBits(_tzcnt_u64(holes)), iota, shifted), values);
            } else {
                compact = _mm512_maskz_compress_epi8(used, values);
            }
            // Join the block's characters to those held: index i < held
            // keeps a held value, index held + j takes the block's j-th.
            auto count = static_cast<std::size_t>(_mm_popcnt_u64(used));
            __m512i behind = _mm512_loadu_si512(counting.data() + 64 - held);
            __m512i joined = _mm512_permutex2var_epi8(accumulated, _mm512_mask_blend_epi8(lowBits(held), behind, iota), compact);
            if (held + count >= 64) {
                _mm512_storeu_si512(o, decodeValues<shape>(joined, gather));
                o += blockOut;
                // The block's values beyond the 64 decoded, to the front.
                accumulated = _mm512_permutexvar_epi8(behind, compact);
                held = held + count - 64;
            } else {
                accumulated = joined;
                held += count;
            }
            if (stop != 0)
                stoppedAt = q + _tzcnt_u64(stop);
        }
        if (stoppedAt) {
            // Decode the whole groups held; the characters of a partial
            // group are left in the text: back over them (and the skipped
            // bytes between them) to the first.
            std::size_t whole = held - held % charsPerGroup;
            if (whole != 0) {
                std::size_t produced = whole / charsPerGroup * bytesPerGroup;
                _mm512_mask_storeu_epi8(o, lowBits(produced), decodeValues<shape>(accumulated, gather));
                o += produced;
            }
            q = stoppedAt;
            for (std::size_t left = held - whole; left > 0;) {
                --q;
                if (*q < 0x80 && table.entries[*q] < 0x80)
                    --left;
            }
            break;
        }
        q += 64;
    }
    p = q;
    out = o;
}

} // namespace

RFC_BASE_AVX512 bool avx512Supported() noexcept
{
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw")
        && __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512vbmi")
        && __builtin_cpu_supports("avx512vbmi2") && __builtin_cpu_supports("bmi2")
        && __builtin_cpu_supports("popcnt");
}

const Kernel avx512Kernel = {
    "avx512",
    { encode<Shape::base16>, encode<Shape::base32>, encode<Shape::base64> },
    { encodeWrapped<Shape::base16>, encodeWrapped<Shape::base32>, encodeWrapped<Shape::base64> },
    { decodeRun<Shape::base16>, decodeRun<Shape::base32>, decodeRun<Shape::base64> },
};

} // namespace rfc::base
