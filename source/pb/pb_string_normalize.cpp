// NFKC normalisation of strings over the Unicode 3.2 character database:
// full compatibility decomposition, canonical ordering of combining marks,
// then canonical composition, in which a mark blocked by an earlier one of
// the same or a higher class stays uncomposed. Hangul syllables decompose
// and compose by algorithm. Code points that are not characters (negative
// values, surrogates, values above U+10FFFF) pass through unchanged.
//
// Built on the public string functions only: the result is written into a
// new array that a new string takes over.
#include "pb_cpp.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

namespace {

struct NfkcRecord {
    std::uint8_t ccc;
    std::uint8_t flags;
    std::uint8_t decompositionLength;
    std::uint8_t pairCount;
    std::uint16_t decompositionOffset;
    std::uint16_t pairOffset;
};

struct NfkcPair {
    std::uint32_t second;
    std::uint32_t composite;
};

#include "pb_unicode_nfkc_data.inc"

// The conjoining jamo and the syllables they form (Unicode's Hangul
// algorithm): 19 leading consonants, 21 vowels, 27 trailing consonants plus
// "none".
constexpr std::uint32_t kSBase = 0xAC00;
constexpr std::uint32_t kLBase = 0x1100;
constexpr std::uint32_t kVBase = 0x1161;
constexpr std::uint32_t kTBase = 0x11A7;
constexpr std::uint32_t kLCount = 19;
constexpr std::uint32_t kVCount = 21;
constexpr std::uint32_t kTCount = 28;
constexpr std::uint32_t kNCount = kVCount * kTCount;
constexpr std::uint32_t kSCount = kLCount * kNCount;

// Below U+00A0 every code point is its own NFKC form and never combines with
// its predecessor (the generator checks this).
constexpr std::uint32_t kFastLimit = 0xA0;

// A decomposed code point's combining class in bits 0-7 and, in bit 8,
// whether it can combine with a preceding character.
using Info = std::uint16_t;
constexpr Info kInfoCombinesBack = 0x100;

constexpr unsigned infoCcc(Info info) { return info & 0xFFu; }

// The properties of c: two table reads below kNfkcLimit, the empty record
// above it (and for values that are no code points).
inline const NfkcRecord &record(PB_CHAR c)
{
    const auto u = static_cast<std::uint32_t>(c);
    if (u >= kNfkcLimit)
        return kNfkcRecords[0];
    const std::uint32_t block = kNfkcStage1[u >> kNfkcShift];
    return kNfkcRecords[kNfkcStage2[(block << kNfkcShift) | (u & ((1u << kNfkcShift) - 1))]];
}

inline bool isBoundary(PB_CHAR c)
{
    return static_cast<std::uint32_t>(c) < kFastLimit || (record(c).flags & kNfkcFlagBoundary);
}

// The number of code points c decomposes to.
inline PB_INT decomposedLength(PB_CHAR c)
{
    if (static_cast<std::uint32_t>(c) < kFastLimit)
        return 1;
    const NfkcRecord &r = record(c);
    if (r.flags & kNfkcFlagHangulSyllable)
        return (static_cast<std::uint32_t>(c) - kSBase) % kTCount ? 3 : 2;
    if (r.flags & kNfkcFlagDecomposes)
        return r.decompositionLength;
    return 1;
}

// Quick check: the index of the first code point from which the string may
// differ from its NFKC form (length when it is in NFKC). *boundary receives
// the last boundary at or before that index, where normalisation restarts.
PB_INT quickCheck(const PB_CHAR *chars, PB_INT length, PB_INT *boundary)
{
    PB_INT lastBoundary = 0;
    unsigned lastCcc = 0;
    for (PB_INT i = 0; i < length; ++i) {
        const PB_CHAR c = chars[i];
        if (static_cast<std::uint32_t>(c) < kFastLimit) {
            lastBoundary = i;
            lastCcc = 0;
            continue;
        }
        const NfkcRecord &r = record(c);
        if (r.flags & kNfkcFlagBoundary) {
            lastBoundary = i;
            lastCcc = 0;
            continue;
        }
        if (!(r.flags & kNfkcFlagYes) || r.ccc < lastCcc) {
            *boundary = lastBoundary;
            return i;
        }
        lastCcc = r.ccc;
    }
    *boundary = lastBoundary;
    return length;
}

// The primary composite of first and second, or -1 when they do not compose.
PB_CHAR compose(PB_CHAR first, PB_CHAR second)
{
    const auto f = static_cast<std::uint32_t>(first);
    const auto s = static_cast<std::uint32_t>(second);
    if (f - kLBase < kLCount && s - kVBase < kVCount)
        return static_cast<PB_CHAR>(kSBase + ((f - kLBase) * kVCount + (s - kVBase)) * kTCount);
    if (f - kSBase < kSCount && (f - kSBase) % kTCount == 0 && s - kTBase - 1 < kTCount - 1)
        return static_cast<PB_CHAR>(f + (s - kTBase));
    const NfkcRecord &r = record(first);
    const NfkcPair *pair = kNfkcPairs + r.pairOffset;
    const NfkcPair *end = pair + r.pairCount;
    for (; pair != end && pair->second <= s; ++pair) {
        if (pair->second == s)
            return static_cast<PB_CHAR>(pair->composite);
    }
    return -1;
}

// Decomposes source[0..count) into out and info; returns the number of code
// points written.
PB_INT decompose(const PB_CHAR *source, PB_INT count, PB_CHAR *out, Info *info)
{
    PB_INT n = 0;
    for (PB_INT i = 0; i < count; ++i) {
        const PB_CHAR c = source[i];
        const NfkcRecord &r = record(c);
        if (r.flags & kNfkcFlagHangulSyllable) {
            const std::uint32_t index = static_cast<std::uint32_t>(c) - kSBase;
            out[n] = static_cast<PB_CHAR>(kLBase + index / kNCount);
            info[n++] = 0;
            out[n] = static_cast<PB_CHAR>(kVBase + index % kNCount / kTCount);
            info[n++] = kInfoCombinesBack;
            if (index % kTCount) {
                out[n] = static_cast<PB_CHAR>(kTBase + index % kTCount);
                info[n++] = kInfoCombinesBack;
            }
        } else if (r.flags & kNfkcFlagDecomposes) {
            const std::uint32_t *entry = kNfkcPool + r.decompositionOffset;
            for (unsigned k = 0; k < r.decompositionLength; ++k) {
                out[n] = static_cast<PB_CHAR>(entry[k] & kNfkcPoolCharMask);
                info[n++] = static_cast<Info>(entry[k] >> kNfkcPoolCccShift);
            }
        } else {
            out[n] = c;
            info[n++] = static_cast<Info>(
                r.ccc | ((r.flags & kNfkcFlagCombinesBack) ? kInfoCombinesBack : 0));
        }
    }
    return n;
}

// Puts every run of combining marks in out[0..count) into canonical order:
// a stable sort by combining class. Runs are short in real text, so an
// insertion sort serves them; a long run gets a stable sort.
void reorder(PB_CHAR *out, Info *info, PB_INT count)
{
    constexpr PB_INT kInsertionLimit = 16;
    PB_INT i = 0;
    while (i < count) {
        if (infoCcc(info[i]) == 0) {
            ++i;
            continue;
        }
        PB_INT end = i + 1;
        while (end < count && infoCcc(info[end]) != 0)
            ++end;
        if (end - i <= kInsertionLimit) {
            for (PB_INT k = i + 1; k < end; ++k) {
                const PB_CHAR c = out[k];
                const Info ci = info[k];
                PB_INT j = k;
                for (; j > i && infoCcc(info[j - 1]) > infoCcc(ci); --j) {
                    out[j] = out[j - 1];
                    info[j] = info[j - 1];
                }
                out[j] = c;
                info[j] = ci;
            }
        } else {
            std::vector<std::pair<Info, PB_CHAR>> run;
            run.reserve(static_cast<std::size_t>(end - i));
            for (PB_INT k = i; k < end; ++k)
                run.emplace_back(info[k], out[k]);
            std::stable_sort(run.begin(), run.end(),
                [](const auto &a, const auto &b) { return infoCcc(a.first) < infoCcc(b.first); });
            for (PB_INT k = i; k < end; ++k) {
                info[k] = run[static_cast<std::size_t>(k - i)].first;
                out[k] = run[static_cast<std::size_t>(k - i)].second;
            }
        }
        i = end;
    }
}

// Composes out[0..count) in place; returns the new count. A code point joins
// the last starter when nothing between them has class 0 or a class at or
// above its own.
PB_INT composeInPlace(PB_CHAR *out, const Info *info, PB_INT count)
{
    PB_INT starter = infoCcc(info[0]) == 0 ? 0 : -1;
    unsigned lastCcc = starter == 0 ? 0 : 256;
    PB_INT w = 1;
    for (PB_INT k = 1; k < count; ++k) {
        const PB_CHAR c = out[k];
        const unsigned ccc = infoCcc(info[k]);
        if ((info[k] & kInfoCombinesBack) && starter >= 0 && (lastCcc < ccc || lastCcc == 0)) {
            const PB_CHAR composite = compose(out[starter], c);
            if (composite >= 0) {
                out[starter] = composite;
                continue;
            }
        }
        if (ccc == 0)
            starter = w;
        lastCcc = ccc;
        out[w++] = c;
    }
    return w;
}

// Scratch space for the combining classes of one decomposed segment: on the
// stack for the usual short segments, from the heap for long ones.
class InfoScratch {
public:
    explicit InfoScratch(PB_INT heapSize) : heapSize_(heapSize) {}
    InfoScratch(const InfoScratch &) = delete;
    InfoScratch &operator=(const InfoScratch &) = delete;
    ~InfoScratch() { pbMemFree(heap_); }

    Info *forSegment(PB_INT sourceCount)
    {
        if (sourceCount * static_cast<PB_INT>(kNfkcLongestDecomposition) <= kStackSize)
            return stack_;
        if (!heap_)
            heap_ = static_cast<Info *>(pbMemAlloc(heapSize_ * static_cast<PB_INT>(sizeof(Info))));
        return heap_;
    }

private:
    static constexpr PB_INT kStackSize = 128;
    Info stack_[kStackSize];
    Info *heap_ = nullptr;
    PB_INT heapSize_;
};

} // namespace

// Replaces *s by its NFKC form. s and *s must not be null; form must be
// PB_STRING_NORMALIZE_NFKC. A string already in NFKC is left as it is (the
// same object, nothing allocated); otherwise *s receives a new string and
// the caller's reference to the old one is released, so another holder of
// the old string sees no change.
PB_API void pbStringNormalize(PB_STRING **s, PB_INT form)
{
    PB_ASSERT( s );
    PB_ASSERT( *s );
    PB_ASSERT( form == 1 ); // PB_STRING_NORMALIZE_NFKC, the only form

    const PB_INT length = pbStringLength(*s);
    const PB_CHAR *chars = pbStringBacking(*s);
    PB_INT start = 0;
    if (quickCheck(chars, length, &start) == length)
        return;

    // Composition never lengthens, so the decomposed length bounds the result.
    PB_INT bound = start;
    for (PB_INT i = start; i < length; ++i)
        bound += decomposedLength(chars[i]);

    auto *out = static_cast<PB_CHAR *>(pbMemAlloc(bound * static_cast<PB_INT>(sizeof(PB_CHAR))));
    std::memcpy(out, chars, static_cast<std::size_t>(start) * sizeof(PB_CHAR));
    InfoScratch scratch(bound - start);

    // Segments run from one boundary to the next; each normalises on its own.
    PB_INT o = start;
    PB_INT i = start;
    bool startIsBoundary = isBoundary(chars[start]);
    while (i < length) {
        PB_INT end = i + 1;
        while (end < length && !isBoundary(chars[end]))
            ++end;
        if (end == i + 1 && startIsBoundary) {
            out[o++] = chars[i];
        } else {
            Info *info = scratch.forSegment(end - i);
            const PB_INT n = decompose(chars + i, end - i, out + o, info);
            reorder(out + o, info, n);
            o += composeInPlace(out + o, info, n);
        }
        i = end;
        startIsBoundary = true;
    }

    if (o == length && std::memcmp(out, chars, static_cast<std::size_t>(length) * sizeof(PB_CHAR)) == 0) {
        pbMemFree(out);
        return;
    }
    if (bound - o > o / 4 + 16)
        out = static_cast<PB_CHAR *>(pbMemRealloc(out, o * static_cast<PB_INT>(sizeof(PB_CHAR))));
    PB_STRING *result = pbStringCreateFromCharsUse(out, o);
    pbObjRelease(pbStringObj(*s));
    *s = result;
}
