// NFKC normalisation of strings over the Unicode 3.2 character database:
// full compatibility decomposition, canonical ordering of combining marks,
// then canonical composition, in which a mark blocked by an earlier one of
// the same or a higher class stays uncomposed. Hangul syllables decompose
// and compose by algorithm. Surrogates, which are no characters, pass
// through unchanged.
//
// Built on the public string functions only: the result is written into a
// new array that a new string takes over.
#include "pb_cpp.h"
#include "pb_string.h"

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
    std::uint16_t decompositionOffset;
};

struct NfkcComposition {
    std::uint32_t first;
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

// A decomposed code point's combining class in bits 0-7 and, in bit 8,
// whether it can combine with a preceding character.
using Info = std::uint16_t;
constexpr Info kInfoCombinesBack = 0x100;

constexpr unsigned infoCcc(Info info) { return info & 0xFFu; }

// The Info of a code point that is its own decomposition, from its record.
constexpr Info infoOf(const NfkcRecord &r)
{
    return static_cast<Info>(r.ccc | ((r.flags & kNfkcFlagCombinesBack) ? kInfoCombinesBack : 0));
}

// A pool entry shifted down by kNfkcPoolCccShift is its Info.
static_assert((kNfkcPoolCombinesBack >> kNfkcPoolCccShift) == kInfoCombinesBack);
static_assert((kNfkcPoolCharMask >> kNfkcPoolCccShift) == 0 && 0x10FFFF <= kNfkcPoolCharMask);

// The blocks of stage 2 with each slot's record in place of its index,
// built at compile time: a lookup makes two dependent reads, not three.
struct BlockRecords {
    NfkcRecord slots[sizeof kNfkcStage2 / sizeof kNfkcStage2[0]] {};
    constexpr BlockRecords()
    {
        for (std::size_t k = 0; k < sizeof kNfkcStage2 / sizeof kNfkcStage2[0]; ++k)
            slots[k] = kNfkcRecords[kNfkcStage2[k]];
    }
};

constexpr BlockRecords kBlockRecords;

// The properties of c: two table reads below kNfkcLimit, the empty record
// above it (and for values that are no code points).
constexpr const NfkcRecord &record(PB_CHAR c)
{
    const auto u = static_cast<std::uint32_t>(c);
    if (u >= kNfkcLimit)
        return kNfkcRecords[0];
    const std::uint32_t block = kNfkcStage1[u >> kNfkcShift];
    return kBlockRecords.slots[(block << kNfkcShift) | (u & ((1u << kNfkcShift) - 1))];
}

// A plain code point is its own NFKC form, has class 0 and starts a
// boundary: whatever surrounds it, it stays as it is and nothing composes
// with it from before. Most text is plain.
constexpr std::uint8_t kPlainFlags = kNfkcFlagYes | kNfkcFlagBoundary;

constexpr bool plainRecord(const NfkcRecord &r)
{
    return r.ccc == 0 && (r.flags & kPlainFlags) == kPlainFlags;
}

// A bitmap over the BMP, derived from the records at compile time: one read
// per code point instead of three.
struct Bitmap {
    std::uint64_t words[0x10000 / 64] {};
    constexpr explicit Bitmap(bool (*test)(const NfkcRecord &))
    {
        for (std::uint32_t c = 0; c < 0x10000; ++c) {
            if (test(record(static_cast<PB_CHAR>(c))))
                words[c >> 6] |= std::uint64_t { 1 } << (c & 63);
        }
    }
    constexpr std::uint64_t bit(std::uint32_t c) const { return (words[c >> 6] >> (c & 63)) & 1; }
    constexpr bool has(std::uint32_t c) const { return bit(c) != 0; }
};

constexpr Bitmap kPlain { plainRecord };

inline bool isPlain(PB_CHAR c)
{
    const auto u = static_cast<std::uint32_t>(c);
    return u < 0x10000 ? kPlain.has(u) : plainRecord(record(c));
}

// True when the kBlock code points at chars are all ASCII, which is plain
// (the generator checks it): one test for the lot, which the compiler turns
// into vector instructions.
constexpr PB_INT kBlock = 16;

inline bool asciiBlock(const PB_CHAR *chars)
{
    std::uint32_t any = 0;
    for (PB_INT k = 0; k < kBlock; ++k)
        any |= static_cast<std::uint32_t>(chars[k]);
    return any < 0x80;
}

// The index of the first code point at or after i that is not plain
// (length when there is none).
inline PB_INT plainRun(const PB_CHAR *chars, PB_INT i, PB_INT length)
{
    // Between marks and compatibility characters runs are often empty.
    if (i < length && !isPlain(chars[i]))
        return i;
    while (i < length) {
        // A block of ASCII at once; otherwise the block code point by code
        // point. The block's ends are tested first: in mixed text a block
        // is seldom all ASCII.
        if (i + kBlock <= length &&
            (static_cast<std::uint32_t>(chars[i]) | static_cast<std::uint32_t>(chars[i + kBlock - 1])) < 0x80 &&
            asciiBlock(chars + i)) {
            i += kBlock;
            continue;
        }
        const PB_INT end = i + kBlock < length ? i + kBlock : length;
        // Four BMP code points at a time: independent reads, one branch.
        for (; i + 4 <= end; i += 4) {
            const auto a = static_cast<std::uint32_t>(chars[i]);
            const auto b = static_cast<std::uint32_t>(chars[i + 1]);
            const auto c = static_cast<std::uint32_t>(chars[i + 2]);
            const auto d = static_cast<std::uint32_t>(chars[i + 3]);
            if ((a | b | c | d) >= 0x10000 || !(kPlain.bit(a) & kPlain.bit(b) & kPlain.bit(c) & kPlain.bit(d)))
                break;
        }
        for (; i < end; ++i) {
            if (!isPlain(chars[i]))
                return i;
        }
    }
    return length;
}

// Quick check: the index of the first code point from which the string may
// differ from its NFKC form (length when it is in NFKC). *boundary receives
// the last boundary at or before that index, where normalisation restarts:
// everything before it is left as it is.
PB_INT quickCheck(const PB_CHAR *chars, PB_INT length, PB_INT *boundary)
{
    PB_INT lastBoundary = 0;
    unsigned lastCcc = 0;
    PB_INT i = 0;
    while (i < length) {
        const PB_INT next = plainRun(chars, i, length);
        if (next > i) {
            lastBoundary = next - 1;
            lastCcc = 0;
            i = next;
            if (i == length)
                break;
        }
        const NfkcRecord &r = record(chars[i]);
        if (r.flags & kNfkcFlagBoundary)
            lastBoundary = i;
        if (!(r.flags & kNfkcFlagYes) || (r.ccc != 0 && r.ccc < lastCcc)) {
            *boundary = lastBoundary;
            return i;
        }
        lastCcc = r.ccc;
        ++i;
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
    // The pair's home slot (the generator hashes the same way), then the
    // following slots up to an empty one.
    constexpr std::uint32_t mask = (1u << kNfkcComposeBits) - 1;
    std::uint32_t slot = ((f * 0x9E3779B1u) ^ (s * 0x85EBCA6Bu)) >> (32 - kNfkcComposeBits);
    for (;; slot = (slot + 1) & mask) {
        const NfkcComposition &entry = kNfkcCompose[slot];
        if (entry.first == f && entry.second == s)
            return static_cast<PB_CHAR>(entry.composite);
        if (entry.first == 0)
            return -1;
    }
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
            pb::Vector<std::pair<Info, PB_CHAR>> run;
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

// The result under construction: on the stack while it is short, then
// from pbMemAlloc, growing on demand; freed unless a string takes it over.
class Output {
public:
    explicit Output(PB_INT capacity)
        : chars_(capacity <= kLocal ? local_
                                    : static_cast<PB_CHAR *>(pbMemAlloc(capacity * static_cast<PB_INT>(sizeof(PB_CHAR))))),
          capacity_(capacity <= kLocal ? kLocal : capacity)
    {
    }
    Output(const Output &) = delete;
    Output &operator=(const Output &) = delete;
    ~Output()
    {
        if (chars_ != local_)
            pbMemFree(chars_);
    }

    // Room for count more code points.
    void reserve(PB_INT count)
    {
        if (length_ + count > capacity_) {
            capacity_ = std::max(capacity_ * 2, length_ + count);
            const auto bytes = capacity_ * static_cast<PB_INT>(sizeof(PB_CHAR));
            if (chars_ == local_) {
                chars_ = static_cast<PB_CHAR *>(pbMemAlloc(bytes));
                std::memcpy(chars_, local_, static_cast<std::size_t>(length_) * sizeof(PB_CHAR));
            } else {
                chars_ = static_cast<PB_CHAR *>(pbMemRealloc(chars_, bytes));
            }
        }
    }
    void append(const PB_CHAR *chars, PB_INT count)
    {
        reserve(count);
        // Runs between marks and compatibility characters are short: a
        // loop costs less than a call then.
        PB_CHAR *tail = chars_ + length_;
        if (count <= 8) {
            for (PB_INT k = 0; k < count; ++k)
                tail[k] = chars[k];
        } else {
            std::memcpy(tail, chars, static_cast<std::size_t>(count) * sizeof(PB_CHAR));
        }
        length_ += count;
    }
    // Appends after reserve.
    void push(PB_CHAR c) { chars_[length_++] = c; }
    void truncate(PB_INT length) { length_ = length; }
    // Takes in count code points written past the end after reserve.
    void extend(PB_INT count) { length_ += count; }

    PB_INT length() const { return length_; }
    // The room after the end.
    PB_INT room() const { return capacity_ - length_; }
    PB_CHAR *at(PB_INT index) { return chars_ + index; }

    // A new string with the code points: copied into the string's own
    // allocation from the stack, or the heap block taken over (trimmed when
    // much of its capacity is unused).
    PB_STRING *toString()
    {
        if (chars_ == local_)
            return pbStringCreateFromCharsCopy(chars_, length_);
        if (capacity_ - length_ > length_ / 4 + 16)
            chars_ = static_cast<PB_CHAR *>(pbMemRealloc(chars_, length_ * static_cast<PB_INT>(sizeof(PB_CHAR))));
        return pbStringCreateFromCharsUse(std::exchange(chars_, local_), length_);
    }

private:
    static constexpr PB_INT kLocal = 128;
    PB_CHAR local_[kLocal];
    PB_CHAR *chars_;
    PB_INT capacity_;
    PB_INT length_ = 0;
};

// The Info of each code point of the open segment: on the stack while the
// segment is short, on the heap when it grows long.
class InfoBuffer {
public:
    InfoBuffer() = default;
    InfoBuffer(const InfoBuffer &) = delete;
    InfoBuffer &operator=(const InfoBuffer &) = delete;
    ~InfoBuffer() { pbMemFree(heap_); }

    // Room for count entries, keeping those there are.
    Info *reserve(PB_INT count)
    {
        if (count > capacity_) {
            const PB_INT capacity = std::max(capacity_ * 2, count);
            auto *grown = static_cast<Info *>(pbMemRealloc(heap_, capacity * static_cast<PB_INT>(sizeof(Info))));
            if (!heap_)
                std::memcpy(grown, stack_, sizeof stack_);
            heap_ = grown;
            data_ = grown;
            capacity_ = capacity;
        }
        return data_;
    }

private:
    static constexpr PB_INT kStackSize = 128;
    Info stack_[kStackSize];
    Info *heap_ = nullptr;
    Info *data_ = stack_;
    PB_INT capacity_ = kStackSize;
};

// Normalises the code points after the quick check, in one pass: runs of
// plain code points are copied; every other code point is decomposed into
// the open segment, which runs from the last boundary and is put in order
// and composed when the next boundary (or the end) closes it.
class Normaliser {
public:
    explicit Normaliser(PB_INT capacity) : out_(capacity) {}

    void run(const PB_CHAR *chars, PB_INT start, PB_INT length)
    {
        out_.append(chars, start);
        segment_ = start;
        PB_INT i = start;
        while (i < length) {
            const NfkcRecord *next;
            if (isPlain(chars[i])) {
                close();
                i = copyPlain(chars, i, length, next);
                // The last of them may take marks that follow.
                segment_ = out_.length() - 1;
                if (i == length)
                    break;
            } else {
                next = &record(chars[i]);
            }
            tailStart_ = length;
            const PB_CHAR c = chars[i++];
            const NfkcRecord &r = *next;
            if (r.flags & kNfkcFlagBoundary) {
                close();
                // A decomposition into starters that combine with nothing
                // before them is its own NFKC form: copied as it is, it
                // leaves the state a plain run leaves.
                if (r.flags & kNfkcFlagStarters) {
                    appendStarters(r);
                    segment_ = out_.length() - 1;
                    continue;
                }
                segment_ = out_.length();
            } else if (!open_ && composeMarks(chars, i, length, r)) {
                continue;
            }
            if (!open_)
                openSegment();
            add(c, r);
        }
        close();
    }

    Output &output() { return out_; }

    // The number of code points at the end of the input that the output
    // ends with as they are: those of the last plain run, when nothing
    // followed it.
    PB_INT keptTail(PB_INT length) const { return length - tailStart_; }

private:
    // Copies the plain code points from chars[i], which is one, to the
    // output as it scans them, with the decompositions of the compatibility
    // characters that decompose into starters among them; returns the index
    // of the first code point that is neither (length when there is none),
    // whose record next receives. Sets tailStart_ to where the plain code
    // points at the end began.
    PB_INT copyPlain(const PB_CHAR *chars, PB_INT i, PB_INT length, const NfkcRecord *&next)
    {
        tailStart_ = i;
        out_.reserve(length - i);
        PB_CHAR *const begin = out_.at(out_.length());
        PB_CHAR *const limit = begin + out_.room();
        PB_CHAR *o = begin;
        *o++ = chars[i++];
        for (;;) {
            while (i < length && isPlain(chars[i]))
                *o++ = chars[i++];
            if (i == length)
                break;
            // A compatibility character that decomposes into starters
            // leaves the state a plain code point leaves: its decomposition
            // is written and the run goes on, while there is room for it
            // and for a plain rest of the input.
            const NfkcRecord &r = record(chars[i]);
            next = &r;
            if (!(r.flags & kNfkcFlagStarters) || limit - o < r.decompositionLength + (length - i - 1))
                break;
            o += writeDecomposition(r, o);
            tailStart_ = ++i;
        }
        out_.extend(o - begin);
        return i;
    }

    // Writes the code points of r's decomposition to to; returns how many.
    static PB_INT writeDecomposition(const NfkcRecord &r, PB_CHAR *to)
    {
        const std::uint32_t *entry = kNfkcPool + r.decompositionOffset;
        for (unsigned e = 0; e < r.decompositionLength; ++e)
            to[e] = static_cast<PB_CHAR>(entry[e] & kNfkcPoolCharMask);
        return r.decompositionLength;
    }

    // Appends the decomposition of r, whose code points all have class 0
    // and combine with no predecessor.
    void appendStarters(const NfkcRecord &r)
    {
        out_.reserve(kNfkcLongestDecomposition);
        out_.extend(writeDecomposition(r, out_.at(out_.length())));
    }

    // The common case of a mark: a starter that is its own decomposition
    // (or a Hangul syllable, which composes by algorithm), followed by code
    // points up to the next boundary that are their own decompositions.
    // Then the segment needs ordering and composing only, done straight in
    // the output without taking the starter out again.
    // chars[i - 1] is the first code point after the starter, which is no
    // boundary; r is its record. Returns false, having changed nothing,
    // when the case does not apply; otherwise sets i past the segment and
    // returns true.
    bool composeMarks(const PB_CHAR *chars, PB_INT &i, PB_INT length, const NfkcRecord &r)
    {
        constexpr PB_INT kMost = 16;
        if (segment_ != out_.length() - 1 || (r.flags & kNfkcFlagDecomposes))
            return false;
        PB_CHAR *segment = out_.at(segment_);
        const NfkcRecord &starter = record(segment[0]);
        if ((starter.flags & (kNfkcFlagDecomposes | kNfkcFlagHangulSyllable)) == kNfkcFlagDecomposes)
            return false;
        // Most often the mark is alone: it composes with the starter or
        // stays after it.
        if (i == length || isPlain(chars[i])) {
            const PB_CHAR c = chars[i - 1];
            if (r.flags & kNfkcFlagCombinesBack) {
                const PB_CHAR composite = compose(segment[0], c);
                if (composite >= 0) {
                    segment[0] = composite;
                    return true;
                }
            }
            out_.reserve(1);
            out_.push(c);
            return true;
        }
        Info info[kMost + 1];
        info[0] = 0;
        PB_INT count = 1;
        unsigned lastCcc = 0;
        bool unordered = false;
        PB_INT j = i - 1;
        for (; j < length; ++j) {
            const NfkcRecord &m = j == i - 1 ? r : record(chars[j]);
            if (m.flags & kNfkcFlagBoundary)
                break;
            if ((m.flags & kNfkcFlagDecomposes) || count > kMost)
                return false;
            unordered |= m.ccc != 0 && m.ccc < lastCcc;
            lastCcc = m.ccc;
            info[count++] = infoOf(m);
        }
        out_.reserve(count - 1);
        segment = out_.at(segment_);
        for (PB_INT k = 1; k < count; ++k)
            segment[k] = chars[i - 2 + k];
        if (unordered)
            reorder(segment, info, count);
        out_.truncate(segment_ + composeInPlace(segment, info, count));
        i = j;
        return true;
    }

    // Opens the segment at segment_: it holds at most one plain code point
    // so far, which is taken out and decomposed again, for what follows may
    // reorder or compose with its parts.
    void openSegment()
    {
        open_ = true;
        unordered_ = false;
        combining_ = false;
        lastCcc_ = 0;
        if (out_.length() > segment_) {
            const PB_CHAR c = *out_.at(segment_);
            out_.truncate(segment_);
            add(c, record(c));
        }
    }

    // Appends c with its info to the open segment; slot is info's place,
    // reserved by add.
    void emit(std::uint32_t c, Info info, Info *&slot)
    {
        const unsigned ccc = infoCcc(info);
        if (ccc != 0 && lastCcc_ > ccc)
            unordered_ = true;
        lastCcc_ = ccc;
        combining_ |= (info & kInfoCombinesBack) != 0;
        *slot++ = info;
        out_.push(static_cast<PB_CHAR>(c));
    }

    // Appends the full decomposition of c, whose record is r, to the open
    // segment.
    void add(PB_CHAR c, const NfkcRecord &r)
    {
        constexpr PB_INT most = kNfkcLongestDecomposition;
        out_.reserve(most);
        const PB_INT used = out_.length() - segment_;
        Info *slot = info_.reserve(used + most) + used;
        if (r.flags & kNfkcFlagHangulSyllable) {
            const std::uint32_t index = static_cast<std::uint32_t>(c) - kSBase;
            emit(kLBase + index / kNCount, 0, slot);
            emit(kVBase + index % kNCount / kTCount, kInfoCombinesBack, slot);
            if (index % kTCount)
                emit(kTBase + index % kTCount, kInfoCombinesBack, slot);
        } else if (r.flags & kNfkcFlagDecomposes) {
            const std::uint32_t *entry = kNfkcPool + r.decompositionOffset;
            for (unsigned e = 0; e < r.decompositionLength; ++e)
                emit(entry[e] & kNfkcPoolCharMask, static_cast<Info>(entry[e] >> kNfkcPoolCccShift), slot);
        } else {
            emit(static_cast<std::uint32_t>(c), infoOf(r), slot);
        }
    }

    // Orders and composes the open segment, if there is one.
    void close()
    {
        if (!open_)
            return;
        open_ = false;
        const PB_INT count = out_.length() - segment_;
        Info *info = info_.reserve(count);
        if (unordered_)
            reorder(out_.at(segment_), info, count);
        if (combining_)
            out_.truncate(segment_ + composeInPlace(out_.at(segment_), info, count));
    }

    Output out_;
    InfoBuffer info_;
    PB_INT segment_ = 0; // where the open or next segment starts in out_
    PB_INT tailStart_ = 0; // where in the input the last plain run began
    bool open_ = false;
    bool unordered_ = false;
    bool combining_ = false;
    unsigned lastCcc_ = 0;
};

} // namespace

// Replaces *s by its NFKC form. s and *s must not be null; form must be
// PB_STRING_NORMALIZE_NFKC. A string already in NFKC is left as it is (the
// same object, nothing allocated); otherwise *s receives a new string and
// the caller's reference to the old one is released, so another holder of
// the old string sees no change.
PB_API void pbStringNormalize(PB_STRING **s, PB_INT form) noexcept
{
    PB_ASSERT( s );
    PB_ASSERT( *s );
    PB_ASSERT( form == 1 ); // PB_STRING_NORMALIZE_NFKC, the only form

    const PB_INT length = pbStringLength(*s);
    const PB_CHAR *chars = pbStringBacking(*s);
    PB_INT start = 0;
    if (quickCheck(chars, length, &start) == length)
        return;

    // Room for the string and a quarter more; compatibility forms that
    // expand may grow it.
    Normaliser normaliser(length + length / 4 + 16);
    normaliser.run(chars, start, length);
    Output &out = normaliser.output();
    if (out.length() == length &&
        std::memcmp(out.at(0), chars, static_cast<std::size_t>(length) * sizeof(PB_CHAR)) == 0)
        return;
    PB_STRING *result = out.toString();
    pbObjRelease(pbStringObj(*s));
    *s = result;
}
