// The AVX2 kernel for base64 and base64url, after the methods Muła and
// Lemire published ("Faster Base64 Encoding and Decoding Using AVX2
// Instructions", 2018): 24 bytes to 32 characters and back per step.
//
// Encoding: a byte shuffle (vpshufb) puts each group's bytes into a 32-bit
// lane as b1 b0 b2 b1, two masked multiplies (vpmulhuw, vpmullw) move the
// four 6-bit fields into the four bytes, and a 16-entry shuffle table of
// offsets, indexed by a saturating subtraction, turns values into
// characters.
//
// Decoding: two 16-entry tables indexed by the low and the high nibble
// flag every byte outside the alphabet; a third, indexed by the high
// nibble (and by the alphabet's one character whose offset differs from
// the rest of its nibble), adds the offset that turns characters into
// values; multiply-adds (vpmaddubsw, vpmaddwd) join the bits and shuffles
// gather the bytes. Text wrapped in lines of one length (32 or more) with
// the same newline after each is decoded by its layout, learnt from its
// first two line breaks: each step of 32 data characters is two loads
// blended around the break its column predicts. Any other block holding
// anything but alphabet characters is left to the scalar state machine,
// which skips and refuses exactly.
//
// The tables are derived from the alphabets at compile time. base16 and
// base32 have no AVX2 kernel: the scalar code serves them on this path.
#include "rfc_base_kernel.h"

#include <immintrin.h>

#include <cstring>

#define RFC_BASE_AVX2 __attribute__((target("avx2,bmi,bmi2,popcnt")))

namespace rfc::base {

namespace {

using Table16 = std::array<std::int8_t, 16>;

// The encoding offsets: value + table[index] is the character, where index
// is 13 for values 0..25, 0 for 26..51 and value - 51 above.
constexpr int encodeIndex(int v)
{
    return v < 26 ? 13 : v <= 51 ? 0 : v - 51;
}

constexpr Table16 makeEncodeOffsets(const Alphabet64 &alphabet)
{
    Table16 table {};
    for (int v = 0; v < 64; ++v)
        table[static_cast<std::size_t>(encodeIndex(v))] = static_cast<std::int8_t>(alphabet[static_cast<std::size_t>(v)] - v);
    return table;
}

// Whether one offset per index serves every value: the alphabet's runs A-Z
// and a-z are contiguous.
constexpr bool encodeOffsetsHold(const Alphabet64 &alphabet)
{
    Table16 table = makeEncodeOffsets(alphabet);
    for (int v = 0; v < 64; ++v) {
        if (static_cast<char>(v + table[static_cast<std::size_t>(encodeIndex(v))]) != alphabet[static_cast<std::size_t>(v)])
            return false;
    }
    return true;
}

// The decoding tables of an alphabet. invalidByLow[lo] has bit hi set when
// the byte hi * 16 + lo (below 0x80) is no alphabet character;
// bitOfHigh[hi] is that bit, or all bits from 0x80 up. Every low nibble
// has an invalid byte among 0x00..0x0F, so bytes from 0x80 up are always
// found. offsetByHigh[hi] turns a character of that high nibble into its
// value; the one character whose offset differs from its nibble's (the
// exception) uses offsetByHigh[hi + 8].
struct DecodeTables {
    Table16 invalidByLow;
    Table16 bitOfHigh;
    Table16 offsetByHigh;
    char exception;
    bool hold; // one exception at most, and every nibble has an invalid low byte
};

constexpr DecodeTables makeDecodeTables(const Alphabet64 &alphabet)
{
    DecodeTables t {};
    int value[128];
    for (int &v : value)
        v = -1;
    for (int v = 0; v < 64; ++v)
        value[static_cast<unsigned char>(alphabet[static_cast<std::size_t>(v)])] = v;
    for (int c = 0; c < 128; ++c) {
        if (value[c] < 0)
            t.invalidByLow[static_cast<std::size_t>(c & 15)] = static_cast<std::int8_t>(t.invalidByLow[static_cast<std::size_t>(c & 15)] | (1 << (c >> 4)));
    }
    for (int hi = 0; hi < 16; ++hi)
        t.bitOfHigh[static_cast<std::size_t>(hi)] = static_cast<std::int8_t>(hi < 8 ? 1 << hi : 0xFF);
    t.hold = true;
    int exceptions = 0;
    for (int hi = 0; hi < 8; ++hi) {
        // The offset most characters of the nibble share: that of the first
        // whose neighbour has the same offset, or of the only one.
        int common = 1000;
        for (int c = hi * 16; c < hi * 16 + 16; ++c) {
            if (value[c] < 0)
                continue;
            int offset = value[c] - c;
            int same = 0;
            for (int d = hi * 16; d < hi * 16 + 16; ++d)
                same += value[d] >= 0 && value[d] - d == offset;
            if (common == 1000 || same > 1)
                common = offset;
        }
        if (common != 1000)
            t.offsetByHigh[static_cast<std::size_t>(hi)] = static_cast<std::int8_t>(common);
        for (int c = hi * 16; c < hi * 16 + 16; ++c) {
            if (value[c] >= 0 && value[c] - c != common) {
                ++exceptions;
                t.exception = static_cast<char>(c);
                t.offsetByHigh[static_cast<std::size_t>(hi + 8)] = static_cast<std::int8_t>(value[c] - c);
            }
        }
    }
    for (int lo = 0; lo < 16; ++lo)
        t.hold = t.hold && (t.invalidByLow[static_cast<std::size_t>(lo)] & 1) != 0;
    t.hold = t.hold && exceptions <= 1;
    return t;
}

static_assert(encodeOffsetsHold(alphabet64<alphabetBase64>) && encodeOffsetsHold(alphabet64<alphabetBase64Url>));
static_assert(makeDecodeTables(alphabet64<alphabetBase64>).hold && makeDecodeTables(alphabet64<alphabetBase64>).exception == '/');
static_assert(makeDecodeTables(alphabet64<alphabetBase64Url>).hold && makeDecodeTables(alphabet64<alphabetBase64Url>).exception == '_');

constexpr DecodeTables decodeTablesBase64 = makeDecodeTables(alphabet64<alphabetBase64>);
constexpr DecodeTables decodeTablesBase64Url = makeDecodeTables(alphabet64<alphabetBase64Url>);
constexpr Table16 encodeOffsetsBase64 = makeEncodeOffsets(alphabet64<alphabetBase64>);
constexpr Table16 encodeOffsetsBase64Url = makeEncodeOffsets(alphabet64<alphabetBase64Url>);

RFC_BASE_AVX2 inline __m256i broadcast16(const Table16 &table)
{
    return _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i *>(table.data())));
}

// One group of three bytes as four characters, for the groups a vector
// step does not reach.
inline void encodeGroup(const std::uint8_t *src, char *out, const Alphabet64 &alphabet)
{
    std::uint32_t v = (std::uint32_t { src[0] } << 16) | (std::uint32_t { src[1] } << 8) | src[2];
    out[0] = alphabet[v >> 18];
    out[1] = alphabet[(v >> 12) & 63];
    out[2] = alphabet[(v >> 6) & 63];
    out[3] = alphabet[v & 63];
}

// The 32 characters of 24 bytes whose lanes are in place in the low 12
// bytes of each lane of in, read from byte first of the lane on.
template <int first>
RFC_BASE_AVX2 inline __m256i encodeLanes(__m256i in, __m256i offsets)
{
    const __m256i spread = _mm256_setr_epi8(first + 1, first, first + 2, first + 1, first + 4, first + 3, first + 5,
        first + 4, first + 7, first + 6, first + 8, first + 7, first + 10, first + 9, first + 11, first + 10, 1, 0, 2, 1,
        4, 3, 5, 4, 7, 6, 8, 7, 10, 9, 11, 10);
    in = _mm256_shuffle_epi8(in, spread);
    // Words b0b1 and b1b2: the first and third characters by a high
    // multiply, the second and fourth by a low one.
    __m256i high = _mm256_mulhi_epu16(_mm256_and_si256(in, _mm256_set1_epi32(0x0FC0FC00)), _mm256_set1_epi32(0x04000040));
    __m256i low = _mm256_mullo_epi16(_mm256_and_si256(in, _mm256_set1_epi32(0x003F03F0)), _mm256_set1_epi32(0x01000010));
    __m256i values = _mm256_or_si256(high, low);
    __m256i index = _mm256_subs_epu8(values, _mm256_set1_epi8(51));
    __m256i upper = _mm256_cmpgt_epi8(_mm256_set1_epi8(26), values);
    index = _mm256_or_si256(index, _mm256_and_si256(upper, _mm256_set1_epi8(13)));
    return _mm256_add_epi8(values, _mm256_shuffle_epi8(offsets, index));
}

// The 32 characters of the 24 bytes at src (reads 32 bytes): one load,
// and a dword permute that gives the upper lane bytes 12 to 27.
RFC_BASE_AVX2 inline __m256i encodeStep(const std::uint8_t *src, __m256i offsets)
{
    __m256i in = _mm256_permutevar8x32_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i *>(src)),
        _mm256_setr_epi32(0, 1, 2, 3, 3, 4, 5, 6));
    return encodeLanes<0>(in, offsets);
}

// The same for a step with 4 readable bytes before it (reads src - 4 to
// src + 28): one load puts bytes 12 to 27 in the upper lane and bytes 0 to
// 11 at 4 in the lower, so no lane-crossing permute is needed.
RFC_BASE_AVX2 inline __m256i encodeStepAfter(const std::uint8_t *src, __m256i offsets)
{
    return encodeLanes<4>(_mm256_loadu_si256(reinterpret_cast<const __m256i *>(src - 4)), offsets);
}

const Table16 &encodeOffsetsFor(const Alphabet64 &alphabet)
{
    return alphabet[62] == '+' ? encodeOffsetsBase64 : encodeOffsetsBase64Url;
}

RFC_BASE_AVX2 char *encodeBase64(const std::uint8_t *src, std::size_t groups, char *out, const Alphabet64 &alphabet)
{
    const __m256i offsets = broadcast16(encodeOffsetsFor(alphabet));
    std::size_t n = groups * 3;
    if (n >= 32) {
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(out), encodeStep(src, offsets));
        src += 24;
        out += 32;
        n -= 24;
        // From here the 4 bytes before each step are readable.
        while (n >= 4 * 24 + 4) {
            __m256i c0 = encodeStepAfter(src, offsets);
            __m256i c1 = encodeStepAfter(src + 24, offsets);
            __m256i c2 = encodeStepAfter(src + 48, offsets);
            __m256i c3 = encodeStepAfter(src + 72, offsets);
            _mm256_storeu_si256(reinterpret_cast<__m256i *>(out), c0);
            _mm256_storeu_si256(reinterpret_cast<__m256i *>(out + 32), c1);
            _mm256_storeu_si256(reinterpret_cast<__m256i *>(out + 64), c2);
            _mm256_storeu_si256(reinterpret_cast<__m256i *>(out + 96), c3);
            src += 96;
            out += 128;
            n -= 96;
        }
    }
    while (n >= 32) {
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(out), encodeStep(src, offsets));
        src += 24;
        out += 32;
        n -= 24;
    }
    for (; n > 0; n -= 3, src += 3, out += 4)
        encodeGroup(src, out, alphabet);
    return out;
}

// Lines of whole groups that a newline follows are encoded from their own
// bytes: their whole steps stored in place, then one more step of which
// the line keeps the first characters, and the newline written over the
// rest (the next line's characters overwrite what is left). After that,
// or for other layouts, whole steps go straight into place while they fit
// in the current line; a step that a line break cuts goes through the
// line writer.
RFC_BASE_AVX2 void encodeWrappedBase64(const std::uint8_t *src, std::size_t groups, LineWriter &lines,
    const Alphabet64 &alphabet)
{
    const __m256i offsets = broadcast16(encodeOffsetsFor(alphabet));
    LineWriter local = lines;
    std::size_t n = groups * 3;
    if (local.column == 0 && local.lineLength != 0 && local.lineLength % 4 == 0) {
        const std::size_t lineBytes = local.lineLength / 4 * 3;
        const std::size_t steps = local.lineLength / 32;
        const std::size_t restChars = local.lineLength % 32;
        // A line's reads end at most 32 bytes after its last step, its
        // writes 32 bytes after the rest starts.
        const std::size_t reads = 24 * steps + 32;
        while (n > lineBytes && n >= reads
            && static_cast<std::size_t>(local.end - local.out) >= 32 * steps + 32) {
            char *at = local.out;
            for (std::size_t step = 0; step < steps; ++step)
                _mm256_storeu_si256(reinterpret_cast<__m256i *>(at + 32 * step), encodeStep(src + 24 * step, offsets));
            at += 32 * steps;
            if (restChars != 0)
                _mm256_storeu_si256(reinterpret_cast<__m256i *>(at), encodeStep(src + 24 * steps, offsets));
            at[restChars] = local.nlf[0];
            if (local.nlfLength == 2)
                at[restChars + 1] = local.nlf[1];
            local.out = at + restChars + local.nlfLength;
            src += lineBytes;
            n -= lineBytes;
        }
    }
    while (n >= 32) {
        __m256i chars = encodeStep(src, offsets);
        if (local.column + 32 <= local.lineLength) {
            _mm256_storeu_si256(reinterpret_cast<__m256i *>(local.out), chars);
            local.out += 32;
            local.column += 32;
        } else {
            alignas(32) char step[32];
            _mm256_store_si256(reinterpret_cast<__m256i *>(step), chars);
            local.put(step, 32);
        }
        src += 24;
        n -= 24;
    }
    for (; n > 0; n -= 3, src += 3) {
        char group[4];
        encodeGroup(src, group, alphabet);
        local.put(group, 4);
    }
    lines = local;
}

// The decoding step of one alphabet: 32 characters to 24 bytes.
template <const DecodeTables &tables>
struct Decoder {
    __m256i invalidByLow = broadcast16(tables.invalidByLow);
    __m256i bitOfHigh = broadcast16(tables.bitOfHigh);
    __m256i offsetByHigh = broadcast16(tables.offsetByHigh);
    __m256i exception = _mm256_set1_epi8(tables.exception);

    RFC_BASE_AVX2 Decoder() = default;

    // Nonzero bytes where in holds no alphabet character.
    RFC_BASE_AVX2 __m256i invalid(__m256i in, __m256i high) const
    {
        __m256i low = _mm256_and_si256(in, _mm256_set1_epi8(0x0F));
        return _mm256_and_si256(_mm256_shuffle_epi8(invalidByLow, low), _mm256_shuffle_epi8(bitOfHigh, high));
    }

    RFC_BASE_AVX2 static __m256i highNibbles(__m256i in)
    {
        return _mm256_and_si256(_mm256_srli_epi32(in, 4), _mm256_set1_epi8(0x0F));
    }

    // The mask of the 64 bytes at at that are not alphabet characters.
    RFC_BASE_AVX2 std::uint64_t notData(const std::uint8_t *at) const
    {
        std::uint64_t mask = 0;
        for (int half = 0; half < 2; ++half) {
            __m256i in = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(at + 32 * half));
            __m256i bad = invalid(in, highNibbles(in));
            auto valid = static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(bad, _mm256_setzero_si256())));
            mask |= std::uint64_t { ~valid } << (32 * half);
        }
        return mask;
    }

    // The 24 bytes of 32 alphabet characters, in the first 24 bytes.
    RFC_BASE_AVX2 __m256i bytes(__m256i in, __m256i high) const
    {
        const __m256i gather = _mm256_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1, 2, 1, 0, 6, 5,
            4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1);
        __m256i isException = _mm256_and_si256(_mm256_cmpeq_epi8(in, exception), _mm256_set1_epi8(8));
        __m256i values = _mm256_add_epi8(in, _mm256_shuffle_epi8(offsetByHigh, _mm256_or_si256(high, isException)));
        __m256i pairs = _mm256_maddubs_epi16(values, _mm256_set1_epi32(0x01400140));
        __m256i groups = _mm256_madd_epi16(pairs, _mm256_set1_epi32(0x00011000));
        return _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(groups, gather), _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 7, 7));
    }

    // Decodes 32 characters to o with a whole store (masked stores are
    // slow; its last 8 bytes fall in the room the caller leaves), or
    // returns false, with nothing written, when any is no alphabet
    // character.
    RFC_BASE_AVX2 bool step(__m256i in, std::uint8_t *o) const
    {
        __m256i high = highNibbles(in);
        __m256i bad = invalid(in, high);
        if (!_mm256_testz_si256(bad, bad))
            return false;
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(o), bytes(in, high));
        return true;
    }
};

// Decodes from q while whole steps of 32 are alphabet characters.
template <const DecodeTables &tables>
RFC_BASE_AVX2 void decodeInPlace(const Decoder<tables> &decoder, const std::uint8_t *&q, const std::uint8_t *end,
    std::uint8_t *&o)
{
    while (end - q >= 32 && decoder.step(_mm256_loadu_si256(reinterpret_cast<const __m256i *>(q)), o)) {
        q += 32;
        o += 24;
    }
}

// 32 zero bytes, then 32 bytes of all ones: a load at 32 - k gives a
// blend mask that takes bytes k and up from the second source.
alignas(64) constexpr std::array<std::uint8_t, 64> fromBreak = [] {
    std::array<std::uint8_t, 64> table {};
    for (unsigned i = 32; i < 64; ++i)
        table[i] = 0xFF;
    return table;
}();

// Decodes regularly wrapped text from q in steps of 32 data characters,
// each decoded in place: the column says where the step's line break
// falls, so a step is two loads blended around it, checked to be all
// alphabet characters with the expected newline bytes at the break. Stops
// before the first step that breaks the layout, or near the end, at a
// group boundary.
template <const DecodeTables &tables>
RFC_BASE_AVX2 void decodeLines(const Decoder<tables> &decoder, const std::uint8_t *&q, const std::uint8_t *end,
    std::uint8_t *&o, const Lines &lines)
{
    std::size_t column = lines.column;
    const std::uint8_t *at = q;
    std::uint8_t *to = o;
    // A step with a break and its newline check stay within 32 + 3 bytes.
    while (end - at >= 32 + 3) {
        std::size_t breakAt = lines.lineLength - column; // data characters before the break
        __m256i in = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(at));
        std::size_t advance = 32;
        if (breakAt > 32) {
            column += 32;
        } else {
            std::uint16_t nlf;
            std::memcpy(&nlf, at + breakAt, sizeof nlf);
            if ((nlf & lines.nlfMask) != lines.nlf)
                break;
            __m256i after = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(at + lines.nlfLength));
            __m256i mask = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(fromBreak.data() + 32 - breakAt));
            in = _mm256_blendv_epi8(in, after, mask);
            column = 32 - breakAt;
            advance += lines.nlfLength;
        }
        if (!decoder.step(in, to))
            break;
        at += advance;
        to += 24;
    }
    q = at;
    o = to;
}

// Steps of 32 alphabet characters in place; where a step holds anything
// else, regularly wrapped text is decoded by its line layout (under a
// flag that skips its newlines), and everything else is left to the
// scalar state machine.
template <const DecodeTables &tables>
RFC_BASE_AVX2 void decodeBase64(const std::uint8_t *&p, const std::uint8_t *end, std::uint8_t *&out,
    const DecodeTable &table, DecodeSkip skip)
{
    const Decoder<tables> decoder;
    const std::uint8_t *q = p;
    std::uint8_t *o = out;
    for (;;) {
        decodeInPlace(decoder, q, end, o);
        Lines lines;
        if (!learnLines<32>(q, end, table, skip, [&](const std::uint8_t *at) { return decoder.notData(at); }, lines))
            break;
        const std::uint8_t *from = q;
        decodeLines(decoder, q, end, o, lines);
        if (q == from)
            break;
    }
    p = q;
    out = o;
}

RFC_BASE_AVX2 void decodeRun(const std::uint8_t *&p, const std::uint8_t *end, std::uint8_t *&out,
    const DecodeTable &table, DecodeSkip skip)
{
    // The decode table tells the two alphabets apart by the value of '+'.
    if (table.entries[static_cast<unsigned char>('+')] == 62)
        decodeBase64<decodeTablesBase64>(p, end, out, table, skip);
    else
        decodeBase64<decodeTablesBase64Url>(p, end, out, table, skip);
}

} // namespace

bool avx2Supported() noexcept
{
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("popcnt");
}

const Kernel avx2Kernel = {
    "avx2",
    { nullptr, nullptr, encodeBase64 },
    { nullptr, nullptr, encodeWrappedBase64 },
    { nullptr, nullptr, decodeRun },
};

} // namespace rfc::base
