// The AVX2 kernel for all five encodings: 32 characters per step. base64
// follows the methods Muła and Lemire published ("Faster Base64 Encoding
// and Decoding Using AVX2 Instructions", 2018); base32 and base16 carry the
// same nibble-table and multiply-add techniques over to their 5- and 4-bit
// characters.
//
// Encoding: a byte shuffle (vpshufb) puts the bytes each character needs
// into one 16- or 32-bit word, and multiplies move the characters' bit
// fields into place (base64: masked vpmulhuw and vpmullw on the group's four
// bytes; base32: one vpmulhuw per word, a shift right by the field's place;
// base16: shifts of the zero-extended bytes). Values turn into characters by
// offsets: base64 adds one from a 16-entry shuffle table indexed by a
// saturating subtraction, base32 the offset of the run of its alphabet the
// value falls in (chosen by a comparison), and base16 looks its 16 digits
// up in a shuffle table.
//
// Decoding: two 16-entry tables indexed by the low and the high nibble flag
// every byte outside the alphabet; a third, indexed by the high nibble (and,
// in base64, by the alphabet's one character whose offset differs from the
// rest of its nibble), adds the offset that turns characters into values;
// multiply-adds (vpmaddubsw, vpmaddwd) join the bits and shuffles gather
// the bytes. Text wrapped in lines of one length (32 or more) with the same
// newline after each is decoded by its layout, learnt from its first two
// line breaks: each step of 32 data characters is two loads blended around
// the break its column predicts. Any other block holding anything but
// alphabet characters is left to the scalar state machine, which skips and
// refuses exactly.
//
// All tables are derived from the alphabets at compile time.
#include "rfc_base_kernel.h"

#include <immintrin.h>

#include <cstring>

#define RFC_BASE_AVX2 __attribute__((target("avx2,bmi,bmi2,popcnt")))

namespace rfc::base {

namespace {

using Table16 = std::array<std::int8_t, 16>;

// The characters one step writes.
constexpr std::size_t stepChars = 32;

// The base64 encoding offsets: value + table[index] is the character, where
// index is 0 for values 0..25, 1 for 26..51 and value - 50 above (a
// saturating subtraction of 51, less the -1 of a comparison with 25).
constexpr int encodeIndex(int v)
{
    return v < 26 ? 0 : v <= 51 ? 1 : v - 50;
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
// exception, base64's "/" or "_") uses offsetByHigh[hi + 8], and also
// offsetByHigh[hi - 1] when that nibble holds no alphabet character
// (exceptionBelow: the index is then the nibble plus the -1 of a
// comparison, one operation fewer).
struct DecodeTables {
    Table16 invalidByLow;
    Table16 bitOfHigh;
    Table16 offsetByHigh;
    char exception;
    bool hasException;
    bool exceptionBelow;
    bool hold; // one exception at most, and every nibble has an invalid low byte
};

constexpr DecodeTables makeDecodeTables(std::string_view alphabet, bool bothCases)
{
    DecodeTables t {};
    int value[128];
    for (int &v : value)
        v = -1;
    for (std::size_t v = 0; v < alphabet.size(); ++v) {
        auto c = static_cast<unsigned char>(alphabet[v]);
        value[c] = static_cast<int>(v);
        if (bothCases && c >= 'A' && c <= 'Z')
            value[c - 'A' + 'a'] = static_cast<int>(v);
    }
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
    t.hasException = exceptions == 1;
    if (t.hasException) {
        int below = (static_cast<unsigned char>(t.exception) >> 4) - 1;
        bool empty = below >= 0;
        for (int c = below * 16; empty && c < below * 16 + 16; ++c)
            empty = value[c] < 0;
        t.exceptionBelow = empty;
        if (empty)
            t.offsetByHigh[static_cast<std::size_t>(below)] = t.offsetByHigh[static_cast<std::size_t>(below + 9)];
    }
    return t;
}

constexpr DecodeTables decodeTablesBase64 = makeDecodeTables(alphabetBase64, false);
constexpr DecodeTables decodeTablesBase64Url = makeDecodeTables(alphabetBase64Url, false);
constexpr DecodeTables decodeTablesBase32 = makeDecodeTables(alphabetBase32, false);
constexpr DecodeTables decodeTablesBase32Hex = makeDecodeTables(alphabetBase32Hex, false);
constexpr DecodeTables decodeTablesBase16 = makeDecodeTables(alphabetBase16, true);
constexpr Table16 encodeOffsetsBase64 = makeEncodeOffsets(alphabet64<alphabetBase64>);
constexpr Table16 encodeOffsetsBase64Url = makeEncodeOffsets(alphabet64<alphabetBase64Url>);

static_assert(encodeOffsetsHold(alphabet64<alphabetBase64>) && encodeOffsetsHold(alphabet64<alphabetBase64Url>));
static_assert(decodeTablesBase64.hold && decodeTablesBase64.hasException && decodeTablesBase64.exception == '/'
    && decodeTablesBase64.exceptionBelow);
static_assert(decodeTablesBase64Url.hold && decodeTablesBase64Url.hasException && decodeTablesBase64Url.exception == '_'
    && !decodeTablesBase64Url.exceptionBelow);
static_assert(decodeTablesBase32.hold && !decodeTablesBase32.hasException);
static_assert(decodeTablesBase32Hex.hold && !decodeTablesBase32Hex.hasException);
static_assert(decodeTablesBase16.hold && !decodeTablesBase16.hasException);
// base16's lower-case letters are data: no bit of their high nibble 6.
static_assert((decodeTablesBase16.invalidByLow[1] & (1 << 6)) == 0 && (decodeTablesBase16.invalidByLow[7] & (1 << 6)) != 0);

RFC_BASE_AVX2 inline __m256i broadcast16(const void *table)
{
    return _mm256_broadcastsi128_si256(_mm_loadu_si128(static_cast<const __m128i *>(table)));
}

RFC_BASE_AVX2 inline __m128i load16(const std::uint8_t *at)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i *>(at));
}

RFC_BASE_AVX2 inline void store32(void *at, __m256i value)
{
    _mm256_storeu_si256(static_cast<__m256i *>(at), value);
}

// ---------------------------------------------------------------- encoding

// One step of an encoding: the 32 characters of `bytes` source bytes,
// reading `reads` bytes from the source.
template <Shape shape>
struct EncodeStep;

// base64: each 32-bit word takes a group's bytes as b1 b0 b2 b1. Words
// b0b1 and b1b2 give the first and third characters by a high multiply,
// the second and fourth by a low one. The constants are members, made once
// per call, so that loops keep them in registers or read them from memory
// instead of making them again in each step.
template <>
struct EncodeStep<Shape::base64> {
    static constexpr GroupShape group = base64Shape;
    static constexpr std::size_t bytes = 24;
    static constexpr std::size_t reads = 32;
    static constexpr std::size_t before = 4;
    __m256i offsets;
    __m256i spreadFrom0 = _mm256_setr_epi8(1, 0, 2, 1, 4, 3, 5, 4, 7, 6, 8, 7, 10, 9, 11, 10, 1, 0, 2, 1, 4, 3, 5, 4, 7,
        6, 8, 7, 10, 9, 11, 10);
    __m256i spreadFrom4 = _mm256_setr_epi8(5, 4, 6, 5, 8, 7, 9, 8, 11, 10, 12, 11, 14, 13, 15, 14, 1, 0, 2, 1, 4, 3, 5,
        4, 7, 6, 8, 7, 10, 9, 11, 10);
    __m256i highFields = _mm256_set1_epi32(0x0FC0FC00);
    __m256i highShifts = _mm256_set1_epi32(0x04000040);
    __m256i lowFields = _mm256_set1_epi32(0x003F03F0);
    __m256i lowShifts = _mm256_set1_epi32(0x01000010);
    __m256i fiftyOne = _mm256_set1_epi8(51);
    __m256i twentyFive = _mm256_set1_epi8(25);
    __m256i toUpperLane = _mm256_setr_epi32(0, 1, 2, 3, 3, 4, 5, 6);

    RFC_BASE_AVX2 explicit EncodeStep(const Alphabet64 &alphabet)
        : offsets(broadcast16((alphabet[62] == '+' ? encodeOffsetsBase64 : encodeOffsetsBase64Url).data()))
    {
    }

    // The 32 characters of the groups whose bytes the spread puts in place.
    RFC_BASE_AVX2 __m256i lanes(__m256i in, __m256i spread) const
    {
        in = _mm256_shuffle_epi8(in, spread);
        __m256i high = _mm256_mulhi_epu16(_mm256_and_si256(in, highFields), highShifts);
        __m256i low = _mm256_mullo_epi16(_mm256_and_si256(in, lowFields), lowShifts);
        __m256i values = _mm256_or_si256(high, low);
        __m256i index = _mm256_sub_epi8(_mm256_subs_epu8(values, fiftyOne), _mm256_cmpgt_epi8(values, twentyFive));
        return _mm256_add_epi8(values, _mm256_shuffle_epi8(offsets, index));
    }

    // One load, and a dword permute that gives the upper lane bytes 12 to 27.
    RFC_BASE_AVX2 __m256i operator()(const std::uint8_t *src) const
    {
        return lanes(_mm256_permutevar8x32_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i *>(src)), toUpperLane),
            spreadFrom0);
    }

    // The last step of a run of at least 32 bytes that ends at end: one
    // load of the 32 bytes before end, the step's 24 at 8 of them.
    static constexpr std::size_t endReads = 32;
    RFC_BASE_AVX2 __m256i ending(const std::uint8_t *end) const
    {
        return lanes(_mm256_permutevar8x32_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i *>(end - 32)),
                         _mm256_setr_epi32(2, 3, 4, 5, 5, 6, 7, 7)),
            spreadFrom0);
    }

    // The same for a step with 4 readable bytes before it (reads src - 4 to
    // src + 28): one load puts bytes 12 to 27 in the upper lane and bytes 0
    // to 11 at 4 in the lower, so no lane-crossing permute is needed.
    RFC_BASE_AVX2 __m256i after(const std::uint8_t *src) const
    {
        return lanes(_mm256_loadu_si256(reinterpret_cast<const __m256i *>(src - 4)), spreadFrom4);
    }

    // Two half steps from two places: the 16 characters of the 12 bytes at
    // low in the lower lane, those of the 12 at high in the upper (reads 16
    // bytes at each).
    static constexpr std::size_t pairReads = 16;
    RFC_BASE_AVX2 __m256i pair(const std::uint8_t *low, const std::uint8_t *high) const
    {
        return lanes(_mm256_inserti128_si256(_mm256_castsi128_si256(load16(low)), load16(high), 1), spreadFrom0);
    }
};

// A 32-character alphabet as two runs of consecutive characters: values
// below split are value + first, the others value + second.
struct TwoRuns {
    int split;
    int first;
    int second;
    bool hold;
};

constexpr TwoRuns twoRuns(std::string_view alphabet)
{
    int split = 1;
    while (split < 32 && alphabet[static_cast<std::size_t>(split)] == alphabet[static_cast<std::size_t>(split - 1)] + 1)
        ++split;
    TwoRuns runs { split, alphabet[0], split < 32 ? alphabet[static_cast<std::size_t>(split)] - split : 0, alphabet.size() == 32 };
    for (int v = 0; v < 32; ++v)
        runs.hold = runs.hold && alphabet[static_cast<std::size_t>(v)] == v + (v < split ? runs.first : runs.second);
    return runs;
}

constexpr TwoRuns runsBase32 = twoRuns(alphabetBase32);
constexpr TwoRuns runsBase32Hex = twoRuns(alphabetBase32Hex);
static_assert(runsBase32.hold && runsBase32.split == 26 && runsBase32Hex.hold && runsBase32Hex.split == 10);

// base32: each lane takes two groups of five bytes b0..b4, and each 32-bit
// word four characters, as base64's do: the word holds b1 b0 b2 b1 for
// characters 0 to 3 (bits 0 to 19 of the group) and b3 b2 b4 b3 for 4 to 7
// (bits 20 to 39), so that its two 16-bit halves hold the bytes the
// characters start in, first byte high. A masked high multiply moves the
// fields of the first and third characters to the bottom of the halves, a
// masked low one those of the second and fourth to the top byte. The
// constants alternate between the two kinds of word.
template <>
struct EncodeStep<Shape::base32> {
    static constexpr GroupShape group = base32Shape;
    static constexpr std::size_t bytes = 20;
    static constexpr std::size_t reads = 26;
    static constexpr std::size_t before = 6;
    // The alphabet's two runs: values above lastOfFirst add secondLessFirst
    // more than the others.
    __m256i lastOfFirst;
    __m256i first;
    __m256i secondLessFirst;
    __m256i spreadFrom0 = spread<0>();
    __m256i spreadFrom6 = spread<6>();
    __m256i spreadEnding = spread<0, 6>();
    __m256i highFields = _mm256_setr_epi32(0x3E00F800, 0x03E00F80, 0x3E00F800, 0x03E00F80, 0x3E00F800, 0x03E00F80,
        0x3E00F800, 0x03E00F80);
    __m256i highShifts = _mm256_setr_epi32(0x00800020, 0x08000200, 0x00800020, 0x08000200, 0x00800020, 0x08000200,
        0x00800020, 0x08000200);
    __m256i lowFields = _mm256_setr_epi32(0x01F007C0, 0x001F007C, 0x01F007C0, 0x001F007C, 0x01F007C0, 0x001F007C,
        0x01F007C0, 0x001F007C);
    __m256i lowShifts = _mm256_setr_epi32(0x00100004, 0x01000040, 0x00100004, 0x01000040, 0x00100004, 0x01000040,
        0x00100004, 0x01000040);

    RFC_BASE_AVX2 explicit EncodeStep(const Alphabet64 &alphabet) : EncodeStep(alphabet[0] == 'A' ? runsBase32 : runsBase32Hex) {}
    RFC_BASE_AVX2 explicit EncodeStep(const TwoRuns &runs)
        : lastOfFirst(_mm256_set1_epi8(static_cast<char>(runs.split - 1))),
          first(_mm256_set1_epi8(static_cast<char>(runs.first))),
          secondLessFirst(_mm256_set1_epi8(static_cast<char>(runs.second - runs.first)))
    {
    }

    // The words of the lanes' two groups, the lower lane's first group at
    // byte `lower` of its lane, the upper lane's at `upper`.
    template <int lower, int upper = 0>
    RFC_BASE_AVX2 static __m256i spread()
    {
        constexpr int l = lower, u = upper;
        return _mm256_setr_epi8(l + 1, l, l + 2, l + 1, l + 3, l + 2, l + 4, l + 3, l + 6, l + 5, l + 7, l + 6, l + 8,
            l + 7, l + 9, l + 8, u + 1, u, u + 2, u + 1, u + 3, u + 2, u + 4, u + 3, u + 6, u + 5, u + 7, u + 6, u + 8,
            u + 7, u + 9, u + 8);
    }

    RFC_BASE_AVX2 __m256i lanes(__m256i in, __m256i spread) const
    {
        in = _mm256_shuffle_epi8(in, spread);
        __m256i high = _mm256_mulhi_epu16(_mm256_and_si256(in, highFields), highShifts);
        __m256i low = _mm256_mullo_epi16(_mm256_and_si256(in, lowFields), lowShifts);
        __m256i values = _mm256_or_si256(high, low);
        __m256i second = _mm256_and_si256(_mm256_cmpgt_epi8(values, lastOfFirst), secondLessFirst);
        return _mm256_add_epi8(_mm256_add_epi8(values, first), second);
    }

    // The lanes hold bytes 0..15 and 10..25.
    RFC_BASE_AVX2 __m256i operator()(const std::uint8_t *src) const
    {
        return lanes(_mm256_inserti128_si256(_mm256_castsi128_si256(load16(src)), load16(src + 10), 1), spreadFrom0);
    }

    // The last step of a run that ends at end: the lanes hold its bytes
    // 0..15 and 4..19.
    static constexpr std::size_t endReads = 20;
    RFC_BASE_AVX2 __m256i ending(const std::uint8_t *end) const
    {
        return lanes(_mm256_inserti128_si256(_mm256_castsi128_si256(load16(end - 20)), load16(end - 16), 1),
            spreadEnding);
    }

    // The same for a step with 6 readable bytes before it: one load puts
    // bytes -6..9 in the lower lane and 10..25 in the upper.
    RFC_BASE_AVX2 __m256i after(const std::uint8_t *src) const
    {
        return lanes(_mm256_loadu_si256(reinterpret_cast<const __m256i *>(src - before)), spreadFrom6);
    }

    // Two half steps from two places: the 16 characters of the 10 bytes at
    // low in the lower lane, those of the 10 at high in the upper.
    static constexpr std::size_t pairReads = 16;
    RFC_BASE_AVX2 __m256i pair(const std::uint8_t *low, const std::uint8_t *high) const
    {
        return lanes(_mm256_inserti128_si256(_mm256_castsi128_si256(load16(low)), load16(high), 1), spreadFrom0);
    }
};

// base16: 16 bytes zero-extended to words; each word becomes the digit of
// the high nibble (low byte, written first) and of the low one.
template <>
struct EncodeStep<Shape::base16> {
    static constexpr GroupShape group = base16Shape;
    static constexpr std::size_t bytes = 16;
    static constexpr std::size_t reads = 16;
    static constexpr std::size_t before = 0;
    __m256i digits;

    RFC_BASE_AVX2 explicit EncodeStep(const Alphabet64 &alphabet) : digits(broadcast16(alphabet.data())) {}

    RFC_BASE_AVX2 __m256i operator()(const std::uint8_t *src) const
    {
        __m256i words = _mm256_cvtepu8_epi16(load16(src));
        __m256i nibbles = _mm256_or_si256(_mm256_srli_epi16(words, 4),
            _mm256_slli_epi16(_mm256_and_si256(words, _mm256_set1_epi16(0x0F)), 8));
        return _mm256_shuffle_epi8(digits, nibbles);
    }

    RFC_BASE_AVX2 __m256i after(const std::uint8_t *src) const { return (*this)(src); }

    static constexpr std::size_t endReads = 16;
    RFC_BASE_AVX2 __m256i ending(const std::uint8_t *end) const { return (*this)(end - 16); }
};

// Calls put(characters, count) for the last n bytes (whole groups) that a
// step may not read in place: each step reads a zero-filled copy.
template <Shape shape, class Put>
RFC_BASE_AVX2 inline void encodeTail(const EncodeStep<shape> &step, const std::uint8_t *src, std::size_t n, Put put)
{
    using Step = EncodeStep<shape>;
    while (n > 0) {
        std::size_t take = n < Step::bytes ? n : Step::bytes;
        alignas(32) std::uint8_t in[32] = {};
        std::memcpy(in, src, take);
        alignas(32) char chars[stepChars];
        _mm256_store_si256(reinterpret_cast<__m256i *>(chars), step(in));
        put(chars, take / static_cast<std::size_t>(Step::group.bytesPerGroup) * static_cast<std::size_t>(Step::group.charsPerGroup));
        src += take;
        n -= take;
    }
}

template <Shape shape>
RFC_BASE_AVX2 char *encode(const std::uint8_t *src, std::size_t groups, char *out, const Alphabet64 &alphabet)
{
    using Step = EncodeStep<shape>;
    const Step step(alphabet);
    std::size_t n = groups * static_cast<std::size_t>(Step::group.bytesPerGroup);
    if constexpr (Step::before > 0) {
        // A step reading `before` bytes before its own reads 32 bytes from
        // there; four such steps in a round.
        constexpr std::size_t roundReads = 3 * Step::bytes + 32 - Step::before;
        if (n >= Step::bytes + roundReads) {
            store32(out, step(src));
            src += Step::bytes;
            out += stepChars;
            n -= Step::bytes;
            // From here the bytes before each step are readable.
            while (n >= roundReads) {
                __m256i c0 = step.after(src);
                __m256i c1 = step.after(src + Step::bytes);
                __m256i c2 = step.after(src + 2 * Step::bytes);
                __m256i c3 = step.after(src + 3 * Step::bytes);
                store32(out, c0);
                store32(out + 32, c1);
                store32(out + 64, c2);
                store32(out + 96, c3);
                src += 4 * Step::bytes;
                out += 4 * stepChars;
                n -= 4 * Step::bytes;
            }
        }
    } else {
        while (n >= 2 * Step::bytes + Step::reads) {
            __m256i c0 = step(src);
            __m256i c1 = step(src + Step::bytes);
            store32(out, c0);
            store32(out + 32, c1);
            src += 2 * Step::bytes;
            out += 64;
            n -= 2 * Step::bytes;
        }
    }
    while (n >= Step::reads) {
        store32(out, step(src));
        src += Step::bytes;
        out += stepChars;
        n -= Step::bytes;
    }
    // The rest (less than `reads` bytes, so at most two steps) as steps
    // that end at its end, and before that at its first step's end, when
    // the bytes they read lie in the run: a step's characters that were
    // written already are written again, the same, as the steps cover whole
    // groups.
    const std::size_t done = groups * static_cast<std::size_t>(Step::group.bytesPerGroup) - n;
    if (n != 0 && done + n >= std::max(Step::endReads, Step::bytes)
        && (n <= Step::bytes || done + Step::bytes >= Step::endReads)) {
        char *end = out + n / static_cast<std::size_t>(Step::group.bytesPerGroup) * static_cast<std::size_t>(Step::group.charsPerGroup);
        if (n > Step::bytes)
            store32(out, step.ending(src + Step::bytes));
        store32(end - stepChars, step.ending(src + n));
        return end;
    }
    encodeTail(step, src, n, [&](const char *chars, std::size_t count) {
        std::memcpy(out, chars, count);
        out += count;
    });
    return out;
}

// Lines that are not whole groups, written a line at a time from chunks
// of flat text; kept out of line so that the other layouts' loops keep their
// registers.
template <Shape shape>
RFC_BASE_AVX2 __attribute__((noinline)) LineWriter encodeShortLines(const std::uint8_t *src, std::size_t groups,
    LineWriter lines, const Alphabet64 &alphabet)
{
    return encodeByLines<EncodeStep<shape>::group>(src, groups, lines,
        [&](const std::uint8_t *from, std::size_t count, char *to) RFC_BASE_AVX2 {
            return encode<shape>(from, count, to, alphabet);
        },
        [](char *to, const char *from) RFC_BASE_AVX2 {
            store32(to, _mm256_loadu_si256(reinterpret_cast<const __m256i *>(from)));
            store32(to + 32, _mm256_loadu_si256(reinterpret_cast<const __m256i *>(from + 32)));
        });
}

// Lines of whole groups that a newline follows are encoded from their own
// bytes: their whole steps stored in place, then one more step of which
// the line keeps the first characters, and the newline written over the
// rest (the next line's characters overwrite what is left). After that,
// or for other layouts, whole steps go straight into place while they fit
// in the current line; a step that a line break cuts goes through the
// line writer.
template <Shape shape>
RFC_BASE_AVX2 void encodeWrapped(const std::uint8_t *src, std::size_t groups, LineWriter &lines,
    const Alphabet64 &alphabet)
{
    using Step = EncodeStep<shape>;
    constexpr auto charsPerGroup = static_cast<std::size_t>(Step::group.charsPerGroup);
    constexpr auto bytesPerGroup = static_cast<std::size_t>(Step::group.bytesPerGroup);
    const Step step(alphabet);
    LineWriter local = lines;
    std::size_t n = groups * bytesPerGroup;
    if (local.column == 0 && local.lineLength != 0 && local.lineLength % charsPerGroup == 0) {
        const std::size_t lineBytes = local.lineLength / charsPerGroup * bytesPerGroup;
        const std::size_t steps = local.lineLength / stepChars;
        const std::size_t restChars = local.lineLength % stepChars;
        // A line's reads end at most `reads` bytes after its last whole
        // step, its writes 32 bytes after the rest starts; a newline
        // follows it, so characters remain after it. The lines that meet
        // all three are counted first.
        const std::size_t reads = std::max(Step::bytes * steps + Step::reads, lineBytes + 1);
        const std::size_t writes = stepChars * steps + stepChars;
        const std::size_t stride = local.lineLength + local.nlfLength;
        const auto room = static_cast<std::size_t>(local.end - local.out);
        std::size_t lines = 0;
        if (n >= reads && room >= writes)
            lines = std::min((n - reads) / lineBytes, (room - writes) / stride) + 1;
        // The newline as one 2-byte store: a 1-byte newline's second byte
        // is overwritten by the next line.
        const std::uint16_t newline = local.newlineWord();
        char *out = local.out;
        auto encodeLine = [&]<bool after>() RFC_BASE_AVX2 {
            auto encodeAt = [&](const std::uint8_t *from) RFC_BASE_AVX2 { return after ? step.after(from) : step(from); };
            char *at = out;
            for (std::size_t i = 0; i < steps; ++i)
                store32(at + stepChars * i, encodeAt(src + Step::bytes * i));
            at += stepChars * steps;
            if (restChars != 0)
                store32(at, encodeAt(src + Step::bytes * steps));
            std::memcpy(at + restChars, &newline, 2);
            out += stride;
            src += lineBytes;
        };
        // Two lines whose rests fill half a step each: their whole steps,
        // and one step that encodes both rests, each lane stored on its own
        // (the store of a lane reaches at most 16 characters past its rest,
        // which the newline and the next line overwrite). A line of 76
        // base64 characters costs two and a half steps instead of three.
        // (Generic, so that it exists only for the steps that pair.)
        auto encodeTwoLines = [&](const auto &pairing) RFC_BASE_AVX2 {
            const std::uint8_t *second = src + lineBytes;
            char *secondOut = out + stride;
            for (std::size_t i = 0; i < steps; ++i)
                store32(out + stepChars * i, step.after(src + Step::bytes * i));
            __m256i rests = pairing.pair(src + Step::bytes * steps, second + Step::bytes * steps);
            _mm_storeu_si128(reinterpret_cast<__m128i *>(out + stepChars * steps), _mm256_castsi256_si128(rests));
            std::memcpy(out + local.lineLength, &newline, 2);
            for (std::size_t i = 0; i < steps; ++i)
                store32(secondOut + stepChars * i, step.after(second + Step::bytes * i));
            _mm_storeu_si128(reinterpret_cast<__m128i *>(secondOut + stepChars * steps),
                _mm256_extracti128_si256(rests, 1));
            std::memcpy(secondOut + local.lineLength, &newline, 2);
            out += 2 * stride;
            src += 2 * lineBytes;
        };
        if (lines > 0) {
            encodeLine.template operator()<false>();
            // After the first line the bytes before each step are
            // readable when a line holds that many, which base64's and
            // base32's steps use.
            if (Step::before > 0 && lineBytes >= Step::before) {
                std::size_t line = 1;
                if constexpr (requires { step.pair(src, src); }) {
                    // The rest's reads (pairReads from its start) lie within
                    // those of a whole step there, which the count allows.
                    static_assert(Step::pairReads <= Step::reads);
                    if (restChars != 0 && restChars <= stepChars / 2) {
                        for (; line + 2 <= lines; line += 2)
                            encodeTwoLines(step);
                    }
                }
                for (; line < lines; ++line)
                    encodeLine.template operator()<true>();
            } else {
                for (std::size_t line = 1; line < lines; ++line)
                    encodeLine.template operator()<false>();
            }
        }
        local.out = out;
        n -= lines * lineBytes;
    }
    if (local.lineLength <= byLinesLongest && n >= shortLinesMin) {
        // Lines that steps' characters would cross.
        lines = encodeShortLines<shape>(src, n / bytesPerGroup, local, alphabet);
        return;
    }
    while (n >= Step::reads) {
        __m256i chars = step(src);
        if (local.column + stepChars <= local.lineLength) {
            store32(local.out, chars);
            local.out += stepChars;
            local.column += stepChars;
        } else {
            alignas(32) char buffered[stepChars];
            _mm256_store_si256(reinterpret_cast<__m256i *>(buffered), chars);
            local.put(buffered, stepChars);
        }
        src += Step::bytes;
        n -= Step::bytes;
    }
    encodeTail(step, src, n, [&](const char *chars, std::size_t count) { local.put(chars, count); });
    lines = local;
}

// ---------------------------------------------------------------- decoding

// The decoding step of one alphabet: 32 characters to the bytes of their
// whole groups (24, 20 or 16).
template <Shape shape, const DecodeTables &tables>
struct Decoder {
    static constexpr GroupShape group = shape == Shape::base64 ? base64Shape
        : shape == Shape::base32                               ? base32Shape
                                                               : base16Shape;
    static constexpr std::size_t outPerStep = stepChars / static_cast<std::size_t>(group.charsPerGroup)
        * static_cast<std::size_t>(group.bytesPerGroup);

    __m256i invalidByLow = broadcast16(tables.invalidByLow.data());
    __m256i bitOfHigh = broadcast16(tables.bitOfHigh.data());
    __m256i offsetByHigh = broadcast16(tables.offsetByHigh.data());
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

    // The values of 32 alphabet characters.
    RFC_BASE_AVX2 __m256i values(__m256i in, __m256i high) const
    {
        __m256i index = high;
        if constexpr (tables.exceptionBelow)
            index = _mm256_add_epi8(index, _mm256_cmpeq_epi8(in, exception));
        else if constexpr (tables.hasException)
            index = _mm256_or_si256(index, _mm256_and_si256(_mm256_cmpeq_epi8(in, exception), _mm256_set1_epi8(8)));
        return _mm256_add_epi8(in, _mm256_shuffle_epi8(offsetByHigh, index));
    }

    // Writes the bytes of 32 values at o with whole stores (masked stores
    // are slow; what they write beyond outPerStep falls in the room the
    // caller leaves).
    RFC_BASE_AVX2 static void store(__m256i values, std::uint8_t *o)
    {
        if constexpr (shape == Shape::base64) {
            // Pairs to 12 bits, pairs of those to the group's 24 bits.
            const __m256i gather = _mm256_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1, 2, 1, 0, 6,
                5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1);
            __m256i pairs = _mm256_maddubs_epi16(values, _mm256_set1_epi32(0x01400140));
            __m256i groups = _mm256_madd_epi16(pairs, _mm256_set1_epi32(0x00011000));
            store32(o, _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(groups, gather),
                _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 7, 7)));
        } else if constexpr (shape == Shape::base32) {
            // Pairs to 10 bits, fours to 20 by factors that differ between
            // the dwords: the first four characters' bits 4 places up in
            // the low dword of a qword (bits 4 to 23), the last four's in
            // the high dword (bits 32 to 51). The high
            // dword's top 4 bits shifted down fill the low one's empty
            // bottom nibble, and the group's five bytes are then bytes 2,
            // 1, 0, 5 and 4 of the qword; each lane's two groups are its
            // first 10 bytes, stored one lane after the other.
            const __m256i gather = _mm256_setr_epi8(2, 1, 0, 5, 4, 10, 9, 8, 13, 12, -1, -1, -1, -1, -1, -1, 2, 1, 0,
                5, 4, 10, 9, 8, 13, 12, -1, -1, -1, -1, -1, -1);
            __m256i pairs = _mm256_maddubs_epi16(values, _mm256_set1_epi16(0x0120));
            __m256i fours = _mm256_madd_epi16(pairs, _mm256_set1_epi64x(0x0001040000104000));
            __m256i joined = _mm256_or_si256(fours, _mm256_srli_epi64(fours, 48));
            __m256i bytes = _mm256_shuffle_epi8(joined, gather);
            _mm_storeu_si128(reinterpret_cast<__m128i *>(o), _mm256_castsi256_si128(bytes));
            _mm_storeu_si128(reinterpret_cast<__m128i *>(o + 10), _mm256_extracti128_si256(bytes, 1));
        } else {
            // Pairs of digits to bytes, packed to the low 16 bytes.
            __m256i bytes = _mm256_maddubs_epi16(values, _mm256_set1_epi16(0x0110));
            __m256i packed = _mm256_permute4x64_epi64(_mm256_packus_epi16(bytes, bytes), 0x08);
            _mm_storeu_si128(reinterpret_cast<__m128i *>(o), _mm256_castsi256_si128(packed));
        }
    }

    // 1 when all 32 bytes of in are alphabet characters, else 0 (the test
    // ANDs the two look-ups itself).
    RFC_BASE_AVX2 int valid(__m256i in, __m256i high) const
    {
        __m256i low = _mm256_and_si256(in, _mm256_set1_epi8(0x0F));
        return _mm256_testz_si256(_mm256_shuffle_epi8(invalidByLow, low), _mm256_shuffle_epi8(bitOfHigh, high));
    }

    // Decodes 32 characters to o, or returns false, with nothing written,
    // when any is no alphabet character.
    RFC_BASE_AVX2 bool step(__m256i in, std::uint8_t *o) const
    {
        __m256i high = highNibbles(in);
        if (!valid(in, high))
            return false;
        store(values(in, high), o);
        return true;
    }

    // The same for 64 characters in two registers, both or neither.
    RFC_BASE_AVX2 bool step2(__m256i in0, __m256i in1, std::uint8_t *o) const
    {
        __m256i high0 = highNibbles(in0);
        __m256i high1 = highNibbles(in1);
        if (!(valid(in0, high0) & valid(in1, high1)))
            return false;
        if constexpr (shape == Shape::base16) {
            // The two steps' bytes packed together: one 32-byte store.
            __m256i bytes0 = _mm256_maddubs_epi16(values(in0, high0), _mm256_set1_epi16(0x0110));
            __m256i bytes1 = _mm256_maddubs_epi16(values(in1, high1), _mm256_set1_epi16(0x0110));
            store32(o, _mm256_permute4x64_epi64(_mm256_packus_epi16(bytes0, bytes1), 0xD8));
        } else {
            store(values(in0, high0), o);
            store(values(in1, high1), o + outPerStep);
        }
        return true;
    }
};

// Decodes from q while whole steps of 32 are alphabet characters.
template <class Decoder>
RFC_BASE_AVX2 void decodeInPlace(const Decoder &decoder, const std::uint8_t *&q, const std::uint8_t *end,
    std::uint8_t *&o)
{
    while (end - q >= 64
        && decoder.step2(_mm256_loadu_si256(reinterpret_cast<const __m256i *>(q)),
            _mm256_loadu_si256(reinterpret_cast<const __m256i *>(q + 32)), o)) {
        q += 64;
        o += 2 * Decoder::outPerStep;
    }
    while (end - q >= 32 && decoder.step(_mm256_loadu_si256(reinterpret_cast<const __m256i *>(q)), o)) {
        q += 32;
        o += Decoder::outPerStep;
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
template <class Decoder>
RFC_BASE_AVX2 void decodeLines(const Decoder &decoder, const std::uint8_t *&q, const std::uint8_t *end,
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
        to += Decoder::outPerStep;
    }
    q = at;
    o = to;
}

// Steps of 32 alphabet characters in place; where a step holds anything
// else, regularly wrapped text is decoded by its line layout (under a
// flag that skips its newlines), and everything else is left to the
// scalar state machine.
template <Shape shape, const DecodeTables &tables>
RFC_BASE_AVX2 void decodeWith(const std::uint8_t *&p, const std::uint8_t *end, std::uint8_t *&out,
    const DecodeTable &table, DecodeSkip skip)
{
    const Decoder<shape, tables> decoder;
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

// The decode table tells the alphabets of a shape apart: '+' is data in
// base64 only, '0' in base32hex only.
RFC_BASE_AVX2 void decodeBase64(const std::uint8_t *&p, const std::uint8_t *end, std::uint8_t *&out,
    const DecodeTable &table, DecodeSkip skip)
{
    if (table.entries[static_cast<unsigned char>('+')] == 62)
        decodeWith<Shape::base64, decodeTablesBase64>(p, end, out, table, skip);
    else
        decodeWith<Shape::base64, decodeTablesBase64Url>(p, end, out, table, skip);
}

RFC_BASE_AVX2 void decodeBase32(const std::uint8_t *&p, const std::uint8_t *end, std::uint8_t *&out,
    const DecodeTable &table, DecodeSkip skip)
{
    if (table.entries[static_cast<unsigned char>('0')] == 0)
        decodeWith<Shape::base32, decodeTablesBase32Hex>(p, end, out, table, skip);
    else
        decodeWith<Shape::base32, decodeTablesBase32>(p, end, out, table, skip);
}

RFC_BASE_AVX2 void decodeBase16(const std::uint8_t *&p, const std::uint8_t *end, std::uint8_t *&out,
    const DecodeTable &table, DecodeSkip skip)
{
    decodeWith<Shape::base16, decodeTablesBase16>(p, end, out, table, skip);
}

} // namespace

bool avx2Supported() noexcept
{
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("popcnt");
}

const Kernel avx2Kernel = {
    "avx2",
    { encode<Shape::base16>, encode<Shape::base32>, encode<Shape::base64> },
    { encodeWrapped<Shape::base16>, encodeWrapped<Shape::base32>, encodeWrapped<Shape::base64> },
    { decodeBase16, decodeBase32, decodeBase64 },
};

} // namespace rfc::base
