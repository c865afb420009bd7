// Internal C++ helpers of the stringprep family: look-ups in the generated
// tables of RFC 3454, per code point, and the scans that the exported
// predicates share. Constant and header-only, so the tests can check the
// tables against one another without going through strings.
#ifndef RFC_STRINGPREP_INTERNAL_H
#define RFC_STRINGPREP_INTERNAL_H

#include "../../pb/pb_cpp.h"
#include "rfc_stringprep_tables.h"

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <iterator>

namespace rfc::stringprep {

// True when c lies in one of the sorted, disjoint ranges of table. A
// bisection: at most log2(N) + 1 comparisons, and two for a code point
// below or above the whole table (the common case for the small tables).
template <std::size_t N>
constexpr bool inRanges(const Range (&table)[N], std::uint32_t c) noexcept
{
    if (c < table[0].first || c > table[N - 1].last)
        return false;
    std::size_t low = 0;
    std::size_t high = N;
    while (high - low > 1) {
        std::size_t mid = low + (high - low) / 2;
        if (table[mid].first <= c)
            low = mid;
        else
            high = mid;
    }
    return c <= table[low].last;
}

// The code point as the unsigned value the tables are keyed by.
constexpr std::uint32_t codePoint(PB_CHAR c) noexcept
{
    return static_cast<std::uint32_t>(c);
}

// The property byte (kProp... bits) of a code point: two array reads.
// Values above U+10FFFF have no property.
constexpr std::uint8_t property(std::uint32_t c) noexcept
{
    if (c > 0x10FFFF)
        return 0;
    return kPropertyStage2[(static_cast<std::uint32_t>(kPropertyStage1[c >> kPropertyBlockShift])
                               << kPropertyBlockShift)
        | (c & ((1u << kPropertyBlockShift) - 1))];
}

// The number of set bits of x in a dozen register operations: the library
// is built for the baseline x86-64, where std::popcount is a call into the
// compiler's support library.
constexpr int countBits(std::uint64_t x) noexcept
{
    x = x - ((x >> 1) & 0x5555555555555555u);
    x = (x & 0x3333333333333333u) + ((x >> 2) & 0x3333333333333333u);
    x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0Fu;
    return static_cast<int>((x * 0x0101010101010101u) >> 56);
}
static_assert(countBits(0) == 0 && countBits(~std::uint64_t { 0 }) == 64 && countBits(0x8000000000000001u) == 2);

// The keys of a case-folding table as a bitmap with a running count per
// 64-bit word, built at compile time from the sorted key array: whether c is
// a key and, if so, its position among the keys, in a handful of operations
// (one word read, one count read, one population count) instead of a
// bisection.
template <std::size_t K, std::uint32_t Last>
struct KeyIndex {
    static constexpr std::size_t kWords = Last / 64 + 1;
    std::uint64_t bits[kWords] {};
    std::uint16_t before[kWords] {}; // keys in the words before this one

    constexpr explicit KeyIndex(const std::uint32_t (&keys)[K])
    {
        for (std::uint32_t key : keys)
            bits[key / 64] |= std::uint64_t { 1 } << (key % 64);
        std::uint16_t count = 0;
        for (std::size_t w = 0; w < kWords; ++w) {
            before[w] = count;
            count = static_cast<std::uint16_t>(count + std::popcount(bits[w]));
        }
    }

    // The position of c among the keys, or -1 when c is no key.
    constexpr int find(std::uint32_t c) const noexcept
    {
        if (c > Last)
            return -1;
        std::uint64_t word = bits[c / 64];
        std::uint64_t bit = std::uint64_t { 1 } << (c % 64);
        if (!(word & bit))
            return -1;
        return before[c / 64] + countBits(word & (bit - 1));
    }
};

inline constexpr KeyIndex<std::size(kTableB_2Keys), kTableB_2Keys[std::size(kTableB_2Keys) - 1]> kTableB_2Index { kTableB_2Keys };
inline constexpr KeyIndex<std::size(kTableB_3Keys), kTableB_3Keys[std::size(kTableB_3Keys) - 1]> kTableB_3Index { kTableB_3Keys };

// Writes the image of c under a case-folding table (its key index, and the
// start and pool arrays as generated) to out, which has room for four code
// points, and returns its length: the table's one to four code points, or c
// itself when c is no key.
template <class Index, std::size_t S, std::size_t P>
constexpr int caseFold(const Index &index, const std::uint16_t (&start)[S], const std::uint32_t (&pool)[P],
    std::uint32_t c, PB_CHAR *out) noexcept
{
    int at = index.find(c);
    if (at < 0) {
        out[0] = static_cast<PB_CHAR>(c);
        return 1;
    }
    int count = start[at + 1] - start[at];
    for (int i = 0; i < count; ++i)
        out[i] = static_cast<PB_CHAR>(pool[start[at] + i]);
    return count;
}

// The longest image in B.2 and B.3 (U+33C6 maps to four code points).
inline constexpr int kMaxCaseFoldImage = 4;

constexpr int caseFoldNfkc(std::uint32_t c, PB_CHAR *out) noexcept
{
    return caseFold(kTableB_2Index, kTableB_2Start, kTableB_2Pool, c, out);
}

constexpr int caseFoldNoNormalization(std::uint32_t c, PB_CHAR *out) noexcept
{
    return caseFold(kTableB_3Index, kTableB_3Start, kTableB_3Pool, c, out);
}

// The index agrees with the key arrays (the tests compare every code point
// with Unicode 3.2 case folding).
static_assert(kTableB_2Index.find(0x41) == 0 && kTableB_2Index.find(0x1D7BB) == int(std::size(kTableB_2Keys)) - 1
    && kTableB_2Index.find(0x61) == -1 && kTableB_3Index.find(0x10425) == int(std::size(kTableB_3Keys)) - 1);

// One predicate per set table, over a single code point.
constexpr bool isMapToNothing(std::uint32_t c) noexcept { return inRanges(kTableB_1, c); }
constexpr bool isSpaceAscii(std::uint32_t c) noexcept { return inRanges(kTableC_1_1, c); }
constexpr bool isSpaceNonAscii(std::uint32_t c) noexcept { return inRanges(kTableC_1_2, c); }
constexpr bool isControlAscii(std::uint32_t c) noexcept { return inRanges(kTableC_2_1, c); }
constexpr bool isControlNonAscii(std::uint32_t c) noexcept { return inRanges(kTableC_2_2, c); }
constexpr bool isPrivateUse(std::uint32_t c) noexcept { return inRanges(kTableC_3, c); }
constexpr bool isNonCharacter(std::uint32_t c) noexcept { return inRanges(kTableC_4, c); }
constexpr bool isSurrogate(std::uint32_t c) noexcept { return inRanges(kTableC_5, c); }
constexpr bool isInappropriateForPlainText(std::uint32_t c) noexcept { return inRanges(kTableC_6, c); }
constexpr bool isInappropriateForCanonical(std::uint32_t c) noexcept { return inRanges(kTableC_7, c); }
constexpr bool isDisplayOrDeprecated(std::uint32_t c) noexcept { return inRanges(kTableC_8, c); }
constexpr bool isTagging(std::uint32_t c) noexcept { return inRanges(kTableC_9, c); }
constexpr bool isUnassigned(std::uint32_t c) noexcept { return inRanges(kTableA_1, c); }
constexpr bool isRandAL(std::uint32_t c) noexcept { return inRanges(kTableD_1, c); }

// D.2; the ASCII letters and U+00AA, U+00B5, U+00BA are decided before the
// range table is searched.
constexpr bool isL(std::uint32_t c) noexcept
{
    if (c < 0x100) {
        return (c >= 0x41 && c <= 0x5A) || (c >= 0x61 && c <= 0x7A) || c == 0xAA || c == 0xB5
            || c == 0xBA || (c >= 0xC0 && c != 0xD7 && c != 0xF7);
    }
    return inRanges(kTableD_2, c);
}

// B.2 restricted to ASCII: the capital letters fold to small ones.
inline constexpr std::array<std::uint8_t, 128> kAsciiCaseFold = [] {
    std::array<std::uint8_t, 128> folded {};
    for (std::uint32_t c = 0; c < 128; ++c) {
        PB_CHAR image[kMaxCaseFoldImage] {};
        int count = caseFoldNfkc(c, image);
        folded[c] = static_cast<std::uint8_t>(count == 1 ? image[0] : 0);
    }
    return folded;
}();

static_assert([] {
    for (std::uint32_t c = 0; c < 128; ++c) {
        PB_CHAR image[kMaxCaseFoldImage] {};
        if (caseFoldNoNormalization(c, image) != 1 || image[0] != kAsciiCaseFold[c])
            return false;
    }
    return true;
}(), "B.2 and B.3 fold ASCII alike");
static_assert(kAsciiCaseFold['A'] == 'a' && kAsciiCaseFold['Z'] == 'z' && kAsciiCaseFold['a'] == 'a');
// The shortcut of isL below U+0100 agrees with the table.
static_assert([] {
    for (std::uint32_t c = 0; c < 0x100; ++c) {
        if (isL(c) != inRanges(kTableD_2, c))
            return false;
    }
    return true;
}());

// Room for the code points a step writes: on the stack for short strings,
// from pbMemAlloc beyond. string() copies the first count code points into
// a new runtime string; the room stays as it is until the end of its scope.
class Scratch {
public:
    explicit Scratch(PB_INT capacity)
        : data_(capacity <= kLocal ? local_
                                   : static_cast<PB_CHAR *>(pbMemAlloc(capacity * static_cast<PB_INT>(sizeof(PB_CHAR)))))
    {
    }
    Scratch(const Scratch &) = delete;
    Scratch &operator=(const Scratch &) = delete;
    ~Scratch()
    {
        if (data_ != local_)
            pbMemFree(data_);
    }
    PB_CHAR *data() noexcept { return data_; }
    PB_STRING *string(PB_INT count) { return pbStringCreateFromCharsCopy(data_, count); }

private:
    static constexpr PB_INT kLocal = 256;
    PB_CHAR local_[kLocal];
    PB_CHAR *data_;
};

// The code points of a string, read once.
struct Chars {
    const PB_CHAR *data;
    PB_INT length;
};

inline Chars chars(PB_STRING *s) noexcept
{
    PB_INT length = pbStringLength(s);
    return { length > 0 ? pbStringBacking(s) : nullptr, length };
}

// True when no code point of the string satisfies isIn. The predicate is a
// template argument, so each scan compiles to one tight loop.
template <bool (*isIn)(std::uint32_t)>
inline bool freeOf(PB_STRING *source) noexcept
{
    Chars s = chars(source);
    for (PB_INT i = 0; i < s.length; ++i) {
        if (isIn(codePoint(s.data[i])))
            return false;
    }
    return true;
}

// Mapping by a table that replaces a code point by at most one other:
// returns a new string with each code point c replaced by image(c), or
// dropped when image(c) is negative. Code points below 0x80 are kept as
// they are (no such table maps one); a string that the table leaves
// unchanged is copied without a second look at its code points.
template <PB_CHAR (*image)(std::uint32_t)>
inline PB_STRING *mapSingle(PB_STRING *source)
{
    Chars s = chars(source);
    if (s.length < 1)
        return pbStringCreate();
    PB_INT first = 0;
    while (first < s.length
        && (s.data[first] < 0x80 || image(codePoint(s.data[first])) == s.data[first]))
        ++first;
    if (first == s.length)
        return pbStringCreateFromCharsCopy(s.data, s.length);
    Scratch out(s.length);
    for (PB_INT i = 0; i < first; ++i)
        out.data()[i] = s.data[i];
    PB_INT count = first;
    for (PB_INT i = first; i < s.length; ++i) {
        PB_CHAR c = s.data[i];
        PB_CHAR mapped = c < 0x80 ? c : image(codePoint(c));
        if (mapped >= 0)
            out.data()[count++] = mapped;
    }
    return out.string(count);
}

// Mapping by a case-folding table (fold is caseFoldNfkc or
// caseFoldNoNormalization): returns a new string holding the image of each
// code point in source order. The result is written into place in a block
// sized for the longest image of every code point; the ASCII capitals,
// which both tables fold alike, take the short way.
template <int (*fold)(std::uint32_t, PB_CHAR *)>
inline PB_STRING *mapCaseFold(PB_STRING *source)
{
    Chars s = chars(source);
    if (s.length < 1)
        return pbStringCreate();
    Scratch out(s.length * kMaxCaseFoldImage);
    PB_INT count = 0;
    for (PB_INT i = 0; i < s.length; ++i) {
        std::uint32_t c = codePoint(s.data[i]);
        if (c < 0x80)
            out.data()[count++] = kAsciiCaseFold[c];
        else
            count += fold(c, out.data() + count);
    }
    return out.string(count);
}

} // namespace rfc::stringprep

#endif
