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

#include "../../pb/pb_string_normalize_chars.h"
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

// True when the code points pass the checks of the profile: no refused
// code point, the bidirectional rule when asked, and no unassigned code
// point when checkUnassigned. Reads each code point once.
template <const Steps &steps>
inline bool passes(const PB_CHAR *s, PB_INT length, bool checkUnassigned) noexcept
{
    std::uint8_t ascii = 0;
    std::uint8_t props = 0;
    bool fullStop = false;
    for (PB_INT i = 0; i < length; ++i) {
        std::uint32_t c = codePoint(s[i]);
        if (c < 0x80) {
            ascii |= kAsciiClass[c];
        } else {
            props |= property(c);
            if constexpr (steps.refuseIdeographicFullStop)
                fullStop |= c == kIdeographicFullStop;
        }
    }
    if ((ascii & steps.asciiRefused) || (props & steps.refused) || fullStop)
        return false;
    if (steps.bidi && (props & kPropRandAL)) {
        if ((ascii & kAsciiL) || (props & kPropL))
            return false;
        if (!(property(codePoint(s[0])) & kPropRandAL) || !(property(codePoint(s[length - 1])) & kPropRandAL))
            return false;
    }
    return !(checkUnassigned && (props & kPropUnassigned));
}

// Maps the code points s[0..length) by the profile's tables into out, which
// has room for the longest image of each. Returns the number written and
// tells in *nonAscii whether any of them is outside ASCII.
template <const Steps &steps>
inline PB_INT mapInto(const PB_CHAR *s, PB_INT length, PB_CHAR *out, bool *nonAscii) noexcept
{
    PB_INT n = 0;
    std::uint32_t written = 0;
    for (PB_INT i = 0; i < length; ++i) {
        std::uint32_t c = codePoint(s[i]);
        if (c < 0x80) {
            out[n++] = static_cast<PB_CHAR>(steps.caseFold ? kAsciiCaseFold[c] : c);
            continue;
        }
        std::uint8_t p = property(c);
        if (steps.mapSpaceToSpace && (p & kPropSpaceNonAscii)) {
            out[n++] = 0x20;
        } else if (steps.mapToNothing && (p & kPropMapToNothing)) {
            // dropped
        } else if (steps.caseFold && (p & kPropCaseFoldNfkc)) {
            int k = caseFoldNfkc(c, out + n);
            for (int j = 0; j < k; ++j)
                written |= codePoint(out[n + j]);
            n += k;
        } else {
            out[n++] = s[i];
            written |= c;
        }
    }
    *nonAscii = written >= 0x80;
    return n;
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
    std::uint32_t all = 0;
    std::uint8_t ascii = 0;
    for (PB_INT i = 0; i < s.length; ++i) {
        std::uint32_t c = codePoint(s.data[i]);
        all |= c;
        ascii |= kAsciiClass[c & 0x7F];
    }
    if (all < 0x80) {
        if (ascii & steps.asciiRefused)
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
    PB_INT count = mapInto<steps>(s.data, s.length, mapped.data(), &nonAscii);
    // NFKC leaves ASCII as it is; otherwise the mapped code points are
    // normalised straight from the scratch array into the new string.
    pb::Ref<PB_STRING> prepared(steps.normalize && nonAscii
            ? pb___StringCreateNormalizedFromChars(mapped.data(), count, PB_STRING_NORMALIZE_NFKC)
            : mapped.string(count));
    Chars p = chars(prepared.get());
    if (!passes<steps>(p.data, p.length, checkUnassigned))
        return nullptr;
    return prepared.take();
}

} // namespace rfc::stringprep

#endif
