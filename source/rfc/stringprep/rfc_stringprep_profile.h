// Internal: the engine behind the seven profiles. A profile is a constant
// Steps value; prepare() gives the result of running the exported steps in
// the profile's order (mapping, NFKC, prohibition, extra set, bidi check,
// unassigned check), but fused: a first scan recognises an all-ASCII string,
// which needs no table look-up and no normalization; otherwise the mapping
// tables are applied in one pass written into place, and all the checks
// share one pass that gathers the property bits of every code point (one
// two-stage look-up each).
#ifndef RFC_STRINGPREP_PROFILE_H
#define RFC_STRINGPREP_PROFILE_H

#include "rfc_stringprep_internal.h"

namespace rfc::stringprep {

struct Steps {
    bool mapSpaceToSpace;       // C.1.2 to U+0020 (runs before B.1)
    bool mapToNothing;          // B.1
    bool caseFold;              // B.2 (after B.1)
    bool normalize;             // NFKC
    std::uint8_t asciiRefused;  // kAscii... classes refused
    std::uint8_t refused;       // kProp... bits refused outside ASCII
    bool refuseIdeographicFullStop; // the iSCSI extra set outside ASCII
    bool bidi;                  // the bidirectional check
};

// C.3 to C.9 outside ASCII, as the property byte holds them.
inline constexpr std::uint8_t kRefusedC3ToC9 = kPropProhibitedCommon | kPropCanonical;

// What the checks need to know of a code point or of a string's code
// points, packed so that a string's is the union of its code points': the
// classes of its ASCII code points, the property bits of the others, and
// whether the ideographic full stop is among them.
struct Seen {
    static constexpr unsigned kPropsShift = 8;
    static constexpr std::uint32_t kFullStop = 1u << 16;
    std::uint32_t bits = 0;

    std::uint8_t ascii() const noexcept { return static_cast<std::uint8_t>(bits); }
    std::uint8_t props() const noexcept { return static_cast<std::uint8_t>(bits >> kPropsShift); }
    bool fullStop() const noexcept { return (bits & kFullStop) != 0; }
};

// What seen records of the code point c, whose property byte is p when c is
// outside ASCII.
template <const Steps &steps>
inline std::uint32_t mark(std::uint32_t c, std::uint8_t p) noexcept
{
    if (c < 0x80)
        return kAsciiClass[c];
    std::uint32_t bits = static_cast<std::uint32_t>(p) << Seen::kPropsShift;
    if constexpr (steps.refuseIdeographicFullStop)
        bits |= c == kIdeographicFullStop ? Seen::kFullStop : 0;
    return bits;
}

template <const Steps &steps>
inline Seen seeAll(const PB_CHAR *s, PB_INT length) noexcept
{
    Seen seen;
    for (PB_INT i = 0; i < length; ++i) {
        std::uint32_t c = codePoint(s[i]);
        seen.bits |= mark<steps>(c, c < 0x80 ? 0 : property(c));
    }
    return seen;
}

// True when the code points s[0..length), of which seen tells, pass the
// checks of the profile: no refused code point, the bidirectional rule when
// asked, and no unassigned code point when checkUnassigned.
template <const Steps &steps>
inline bool passes(const Seen &seen, const PB_CHAR *s, PB_INT length, bool checkUnassigned) noexcept
{
    if ((seen.ascii() & steps.asciiRefused) || (seen.props() & steps.refused) || seen.fullStop())
        return false;
    if (steps.bidi && (seen.props() & kPropRandAL)) {
        if ((seen.ascii() & kAsciiL) || (seen.props() & kPropL))
            return false;
        if (!(property(codePoint(s[0])) & kPropRandAL) || !(property(codePoint(s[length - 1])) & kPropRandAL))
            return false;
    }
    return !(checkUnassigned && (seen.props() & kPropUnassigned));
}

// B.2 followed by NFKC, key by key: the NFKC form of each image of B.2, or
// the image itself when that form is longer than kMaxCaseFoldImage code
// points. A profile that folds and then normalises may write it in place of
// the image, for the string normalises to the same form either way (the
// image and its form have one decomposition); an image that NFKC recomposes
// (U+1FC6 folds to U+03B7 U+0342, which compose back to U+1FC6) then leaves
// the string in NFKC, and the normalisation has nothing to do. Computed by
// the runtime's normalisation when first used.
class FoldedNfkcImages {
public:
    FoldedNfkcImages()
    {
        for (std::size_t key = 0; key < std::size(kTableB_2Keys); ++key) {
            Image &image = images_[key];
            image.length = kTableB_2Start[key + 1] - kTableB_2Start[key];
            for (int i = 0; i < image.length; ++i)
                image.chars[i] = static_cast<PB_CHAR>(kTableB_2Pool[kTableB_2Start[key] + i]);
            pb::Ref<PB_STRING> form(pbStringCreateFromCharsCopy(image.chars, image.length));
            pbStringNormalize(form.addr(), PB_STRING_NORMALIZE_NFKC);
            Chars f = chars(form.get());
            if (f.length > kMaxCaseFoldImage)
                continue;
            image.length = static_cast<int>(f.length);
            for (int i = 0; i < image.length; ++i)
                image.chars[i] = f.data[i];
        }
    }

    // Writes the NFKC form of the image of c to out, which has room for
    // kMaxCaseFoldImage code points, and returns its length; c itself
    // when c is no key.
    int fold(std::uint32_t c, PB_CHAR *out) const noexcept
    {
        int at = kTableB_2Index.find(c);
        if (at < 0) {
            out[0] = static_cast<PB_CHAR>(c);
            return 1;
        }
        const Image &image = images_[at];
        for (int i = 0; i < image.length; ++i)
            out[i] = image.chars[i];
        return image.length;
    }

    static const FoldedNfkcImages &get()
    {
        static const FoldedNfkcImages images;
        return images;
    }

private:
    struct Image {
        PB_CHAR chars[kMaxCaseFoldImage];
        int length;
    };
    Image images_[std::size(kTableB_2Keys)];
};

// Maps the code points s[0..length) by the profile's tables into out, which
// has room for the longest image of each (B.2 followed by NFKC when the
// profile normalises, which gives the same final form). Returns the number
// written, tells in *nonAscii whether any of them is outside ASCII, and adds
// every code point written to seen (a code point passed through keeps the
// property byte already read for the mapping).
template <const Steps &steps>
inline PB_INT mapInto(const PB_CHAR *s, PB_INT length, PB_CHAR *out, bool *nonAscii, Seen &seen) noexcept
{
    PB_INT n = 0;
    std::uint32_t written = 0;
    std::uint32_t all = 0; // seen's bits
    for (PB_INT i = 0; i < length; ++i) {
        std::uint32_t c = codePoint(s[i]);
        if (c < 0x80) {
            std::uint32_t o = steps.caseFold ? kAsciiCaseFold[c] : c;
            all |= kAsciiClass[o];
            out[n++] = static_cast<PB_CHAR>(o);
            continue;
        }
        std::uint8_t p = property(c);
        if (steps.mapSpaceToSpace && (p & kPropSpaceNonAscii)) {
            all |= kAsciiClass[0x20];
            out[n++] = 0x20;
        } else if (steps.mapToNothing && (p & kPropMapToNothing)) {
            // dropped
        } else if (steps.caseFold && (p & kPropCaseFoldNfkc)) {
            int k = steps.normalize ? FoldedNfkcImages::get().fold(c, out + n) : caseFoldNfkc(c, out + n);
            for (int j = 0; j < k; ++j) {
                std::uint32_t o = codePoint(out[n + j]);
                written |= o;
                all |= mark<steps>(o, o < 0x80 ? 0 : property(o));
            }
            n += k;
        } else {
            out[n++] = s[i];
            written |= c;
            all |= mark<steps>(c, p);
        }
    }
    *nonAscii = written >= 0x80;
    seen.bits |= all;
    return n;
}

// The union of the classes of the ASCII code points s[0..length): four
// independent chains of look-ups.
inline std::uint8_t asciiClasses(const PB_CHAR *s, PB_INT length) noexcept
{
    std::uint8_t a = 0, b = 0, c = 0, d = 0;
    PB_INT i = 0;
    for (; i + 4 <= length; i += 4) {
        a |= kAsciiClass[s[i]];
        b |= kAsciiClass[s[i + 1]];
        c |= kAsciiClass[s[i + 2]];
        d |= kAsciiClass[s[i + 3]];
    }
    for (; i < length; ++i)
        a |= kAsciiClass[s[i]];
    return static_cast<std::uint8_t>(a | b | c | d);
}

// Prepares source by the profile: a new string owned by the caller, or
// null when a check refuses it (then nothing made on the way is left).
// source is only read; the caller has checked it is not null.
template <const Steps &steps>
inline PB_STRING *prepare(PB_STRING *source, bool checkUnassigned)
{
    Chars s = chars(source);
    if (s.length < 1)
        return pbStringCreate();

    // All ASCII: the mapping is at most the folding of capitals, NFKC and
    // the tables outside ASCII change or refuse nothing.
    // The test alone is one pass the compiler turns into vector
    // instructions; the classes are looked up only for ASCII strings.
    std::uint32_t all = 0;
    for (PB_INT i = 0; i < s.length; ++i)
        all |= codePoint(s.data[i]);
    if (all < 0x80) {
        if (steps.asciiRefused && (asciiClasses(s.data, s.length) & steps.asciiRefused))
            return nullptr;
        if (!steps.caseFold)
            return pbStringCreateFromCharsCopy(s.data, s.length);
        Scratch folded(s.length);
        for (PB_INT i = 0; i < s.length; ++i)
            folded.data()[i] = kAsciiCaseFold[s.data[i]];
        return folded.string(s.length);
    }

    constexpr PB_INT widest = steps.caseFold ? kMaxCaseFoldImage : 1;
    Scratch mapped(s.length * widest);
    bool nonAscii = false;
    Seen seen;
    PB_INT count = mapInto<steps>(s.data, s.length, mapped.data(), &nonAscii, seen);
    // NFKC leaves ASCII as it is; otherwise the mapped code points are
    // normalised in a string of their own. What the mapping saw still holds
    // when they were in NFKC already (the string is then the same object);
    // otherwise the checks look at the result.
    if (steps.normalize && nonAscii) {
        pb::Ref<PB_STRING> prepared(mapped.string(count));
        const PB_STRING *mappedString = prepared.get();
        pbStringNormalize(prepared.addr(), PB_STRING_NORMALIZE_NFKC);
        Chars p = chars(prepared.get());
        if (prepared.get() != mappedString)
            seen = seeAll<steps>(p.data, p.length);
        if (!passes<steps>(seen, p.data, p.length, checkUnassigned))
            return nullptr;
        return prepared.take();
    }
    if (!passes<steps>(seen, mapped.data(), count, checkUnassigned))
        return nullptr;
    return mapped.string(count);
}

} // namespace rfc::stringprep

#endif
