// Internal: the seven profiles as one table, and the engine that runs a row
// of it. A row says which mappings, whether NFKC, which prohibition tables,
// which extra refused set, whether the bidirectional rule and how unassigned
// code points are treated; prepare() gives the result of running the
// exported steps in that order (mapping, NFKC, prohibition, extra set, bidi
// check, unassigned check), but fused: a first scan recognises an all-ASCII
// string, which needs no table look-up and no normalization; otherwise the
// mapping tables are applied in one pass written into place, and all the
// checks share one pass that gathers the property bits of every code point
// (one two-stage look-up each). What a row asks for is turned into the
// look-up tables and bit masks of the engine at compile time.
#ifndef RFC_STRINGPREP_PROFILE_H
#define RFC_STRINGPREP_PROFILE_H

#include "rfc_stringprep.h"
#include "rfc_stringprep_internal.h"

#include <initializer_list>
#include <string_view>

namespace rfc::stringprep {

// The prohibition tables, one bit each, in the order the profiles run them.
enum ProhibitionTable : std::uint16_t {
    kC1_1 = 1u << 0,
    kC1_2 = 1u << 1,
    kC2_1 = 1u << 2,
    kC2_2 = 1u << 3,
    kC3 = 1u << 4,
    kC4 = 1u << 5,
    kC5 = 1u << 6,
    kC6 = 1u << 7,
    kC7 = 1u << 8,
    kC8 = 1u << 9,
    kC9 = 1u << 10,
};
inline constexpr std::uint16_t kC3ToC9 = kC3 | kC4 | kC5 | kC6 | kC7 | kC8 | kC9;

// A prohibition table: its bit, its members and what a refusal calls them.
struct TableInfo {
    ProhibitionTable bit;
    bool (*contains)(std::uint32_t c);
    const char *what;
};

inline constexpr TableInfo kProhibitionTables[] = {
    { kC1_1, isSpaceAscii, "ASCII space character" },
    { kC1_2, isSpaceNonAscii, "non-ASCII space character" },
    { kC2_1, isControlAscii, "ASCII control character" },
    { kC2_2, isControlNonAscii, "non-ASCII control character" },
    { kC3, isPrivateUse, "private use character" },
    { kC4, isNonCharacter, "non-character code point" },
    { kC5, isSurrogate, "surrogate code" },
    { kC6, isInappropriateForPlainText, "inappropriate for plain text" },
    { kC7, isInappropriateForCanonical, "inappropriate for canonical representation" },
    { kC8, isDisplayOrDeprecated, "changes display properties or is deprecated" },
    { kC9, isTagging, "tagging character" },
};

// A set of code points a profile refuses besides the tables: its ASCII
// members as a 128-bit map, and up to kOthers members outside ASCII.
struct RefusedSet {
    static constexpr int kOthers = 2;
    std::uint64_t ascii[2] {};
    std::uint32_t others[kOthers] {};
    int otherCount = 0;
    const char *what = nullptr; // what a refusal calls its members

    constexpr bool containsAscii(std::uint32_t c) const noexcept
    {
        return c < 0x80 && ((ascii[c / 64] >> (c % 64)) & 1) != 0;
    }
    constexpr bool containsOther(std::uint32_t c) const noexcept
    {
        for (int i = 0; i < otherCount; ++i) {
            if (others[i] == c)
                return true;
        }
        return false;
    }
    constexpr bool contains(std::uint32_t c) const noexcept { return containsAscii(c) || containsOther(c); }
    constexpr bool empty() const noexcept { return ascii[0] == 0 && ascii[1] == 0 && otherCount == 0; }
};

// The set of the code points in ranges, which the refusal text calls what.
// Outside ASCII it holds single code points only, at most kOthers.
constexpr RefusedSet refusedSet(std::initializer_list<Range> ranges, const char *what)
{
    RefusedSet set;
    set.what = what;
    for (const Range &r : ranges) {
        for (std::uint32_t c = r.first; c <= r.last; ++c) {
            if (c < 0x80)
                set.ascii[c / 64] |= std::uint64_t { 1 } << (c % 64);
            else
                set.others[set.otherCount++] = c; // past kOthers: no constant, the build stops
        }
    }
    return set;
}

// How a profile treats code points unassigned in Unicode 3.2.
enum class Unassigned : std::uint8_t {
    kPass,                 // never checked
    kRefuse,               // always refused
    kRefuseUnlessAllowed,  // refused unless the caller allows them (a query)
};

// One profile: its steps, in the order they run.
struct Profile {
    const char *name;             // as rfcStringprepProfileToName gives it
    bool mapSpaceToSpace = false; // C.1.2 to U+0020 (runs before B.1)
    bool mapToNothing = false;    // B.1
    bool caseFold = false;        // B.2 (after B.1)
    bool normalize = false;       // NFKC
    std::uint16_t prohibited = 0; // ProhibitionTable bits
    RefusedSet refused {};        // checked after the tables
    bool bidi = false;            // the bidirectional rule
    Unassigned unassigned = Unassigned::kRefuse;
};

// The seven profiles, at the index of their RFC_STRINGPREP_PROFILE_ value.
inline constexpr Profile kProfiles[] = {
    // RFC 3722. The extra set leaves, of ASCII, the hyphen, the full stop,
    // the digits, the colon and the letters; and refuses the ideographic
    // full stop.
    { .name = "iscsi", .mapToNothing = true, .caseFold = true, .normalize = true,
        .prohibited = kC1_1 | kC1_2 | kC2_1 | kC2_2 | kC3ToC9,
        .refused = refusedSet({ { 0x00, 0x2C }, { 0x2F, 0x2F }, { 0x3B, 0x40 }, { 0x5B, 0x60 }, { 0x7B, 0x7F },
                                  { 0x3002, 0x3002 } },
            "not allowed in iSCSI names"),
        .bidi = true, .unassigned = Unassigned::kRefuseUnlessAllowed },
    // RFC 3491: the ASCII space and controls pass.
    { .name = "nameprep", .mapToNothing = true, .caseFold = true, .normalize = true,
        .prohibited = kC1_2 | kC2_2 | kC3ToC9, .bidi = true, .unassigned = Unassigned::kRefuseUnlessAllowed },
    // RFC 3920, the node part of an XMPP address: refuses " & ' / : < > @.
    { .name = "nodeprep", .mapToNothing = true, .caseFold = true, .normalize = true,
        .prohibited = kC1_1 | kC1_2 | kC2_1 | kC2_2 | kC3ToC9,
        .refused = refusedSet({ { 0x22, 0x22 }, { 0x26, 0x27 }, { 0x2F, 0x2F }, { 0x3A, 0x3A }, { 0x3C, 0x3C },
                                  { 0x3E, 0x3E }, { 0x40, 0x40 } },
            "not allowed in XMPP node identifiers"),
        .bidi = true },
    // RFC 4011: no bidirectional rule, case kept.
    { .name = "policy-mib", .mapToNothing = true, .normalize = true, .prohibited = kC2_1 | kC2_2 | kC3ToC9 },
    // RFC 3920, the resource part of an XMPP address: case kept, the ASCII
    // space passes.
    { .name = "resourceprep", .mapToNothing = true, .normalize = true,
        .prohibited = kC1_2 | kC2_1 | kC2_2 | kC3ToC9, .bidi = true },
    // RFC 4013: every non-ASCII space becomes U+0020 before B.1 can drop it.
    { .name = "saslprep", .mapSpaceToSpace = true, .mapToNothing = true, .normalize = true,
        .prohibited = kC1_2 | kC2_1 | kC2_2 | kC3ToC9, .bidi = true },
    // RFC 4505: no mapping, no normalization, not C.7, not the spaces;
    // unassigned code points pass. The prepared string is the source.
    { .name = "trace", .prohibited = kC2_1 | kC2_2 | kC3 | kC4 | kC5 | kC6 | kC8 | kC9, .bidi = true,
        .unassigned = Unassigned::kPass },
};

static_assert(std::size(kProfiles) == 7);
static_assert(std::string_view(kProfiles[RFC_STRINGPREP_PROFILE_ISCSI].name) == "iscsi"
    && std::string_view(kProfiles[RFC_STRINGPREP_PROFILE_NAMEPREP].name) == "nameprep"
    && std::string_view(kProfiles[RFC_STRINGPREP_PROFILE_NODEPREP].name) == "nodeprep"
    && std::string_view(kProfiles[RFC_STRINGPREP_PROFILE_POLICY_MIB].name) == "policy-mib"
    && std::string_view(kProfiles[RFC_STRINGPREP_PROFILE_RESOURCEPREP].name) == "resourceprep"
    && std::string_view(kProfiles[RFC_STRINGPREP_PROFILE_SASLPREP].name) == "saslprep"
    && std::string_view(kProfiles[RFC_STRINGPREP_PROFILE_TRACE].name) == "trace");

// The property byte holds C.1.2, C.7 and the other tables outside ASCII as
// one bit (kPropProhibitedCommon); C.1.1 and C.2.1 are all ASCII and the
// others have no ASCII member, so the ASCII map below and the property byte
// together decide every table.
inline constexpr std::uint16_t kCommonTables = kC2_2 | kC3 | kC4 | kC5 | kC6 | kC8 | kC9;
static_assert(kTableC_1_1[std::size(kTableC_1_1) - 1].last < 0x80 && kTableC_2_1[std::size(kTableC_2_1) - 1].last < 0x80
    && kTableC_1_2[0].first >= 0x80 && kTableC_2_2[0].first >= 0x80 && kTableC_3[0].first >= 0x80
    && kTableC_4[0].first >= 0x80 && kTableC_5[0].first >= 0x80 && kTableC_6[0].first >= 0x80
    && kTableC_7[0].first >= 0x80 && kTableC_8[0].first >= 0x80 && kTableC_9[0].first >= 0x80);

// What the engine derives from the row of profile P.
template <int P>
struct Rules {
    static constexpr const Profile &row = kProfiles[P];
    static_assert((row.prohibited & kCommonTables) == 0 || (row.prohibited & kCommonTables) == kCommonTables,
        "the property byte holds C.2.2, C.3 to C.6, C.8 and C.9 as one bit: a profile takes all or none");

    // The classes of an ASCII code point: refused by the profile, or a
    // left-to-right letter of D.2.
    static constexpr std::uint8_t kRefused = 1u << 0;
    static constexpr std::uint8_t kL = 1u << 1;
    static constexpr std::array<std::uint8_t, 128> ascii = [] {
        std::array<std::uint8_t, 128> classes {};
        for (std::uint32_t c = 0; c < 128; ++c) {
            bool refused = row.refused.containsAscii(c);
            for (const TableInfo &table : kProhibitionTables)
                refused = refused || ((row.prohibited & table.bit) && table.contains(c));
            classes[c] = static_cast<std::uint8_t>((refused ? kRefused : 0) | (inRanges(kTableD_2, c) ? kL : 0));
        }
        return classes;
    }();
    static constexpr bool refusesAscii = [] {
        for (std::uint8_t classes : ascii) {
            if (classes & kRefused)
                return true;
        }
        return false;
    }();
    // The property bits refused outside ASCII.
    static constexpr std::uint8_t refusedProps = static_cast<std::uint8_t>(
        ((row.prohibited & kC1_2) ? kPropSpaceNonAscii : 0) | ((row.prohibited & kC7) ? kPropCanonical : 0)
        | ((row.prohibited & kCommonTables) ? kPropProhibitedCommon : 0));
    static constexpr bool refusesOthers = row.refused.otherCount > 0;
    // The prepared string is the source: no mapping, no normalization.
    static constexpr bool identity = !row.mapSpaceToSpace && !row.mapToNothing && !row.caseFold && !row.normalize;
};

// What the checks need to know of a code point or of a string's code
// points, packed so that a string's is the union of its code points': the
// classes of its ASCII code points, the property bits of the others, and
// whether a member of the profile's refused set outside ASCII is among them.
struct Seen {
    static constexpr unsigned kPropsShift = 8;
    static constexpr std::uint32_t kOther = 1u << 16;
    std::uint32_t bits = 0;

    std::uint8_t ascii() const noexcept { return static_cast<std::uint8_t>(bits); }
    std::uint8_t props() const noexcept { return static_cast<std::uint8_t>(bits >> kPropsShift); }
    bool other() const noexcept { return (bits & kOther) != 0; }
};

// What seen records of the code point c, whose property byte is p when c is
// outside ASCII.
template <int P>
inline std::uint32_t mark(std::uint32_t c, std::uint8_t p) noexcept
{
    if (c < 0x80)
        return Rules<P>::ascii[c];
    std::uint32_t bits = static_cast<std::uint32_t>(p) << Seen::kPropsShift;
    if constexpr (Rules<P>::refusesOthers)
        bits |= Rules<P>::row.refused.containsOther(c) ? Seen::kOther : 0;
    return bits;
}

template <int P>
inline Seen seeAll(const PB_CHAR *s, PB_INT length) noexcept
{
    Seen seen;
    for (PB_INT i = 0; i < length; ++i) {
        std::uint32_t c = codePoint(s[i]);
        seen.bits |= mark<P>(c, c < 0x80 ? 0 : property(c));
    }
    return seen;
}

// True when the code points s[0..length), of which seen tells, pass the
// checks of the profile: no refused code point, the bidirectional rule when
// asked, and no unassigned code point when checkUnassigned.
template <int P>
inline bool passes(const Seen &seen, const PB_CHAR *s, PB_INT length, bool checkUnassigned) noexcept
{
    using R = Rules<P>;
    if ((seen.ascii() & R::kRefused) || (seen.props() & R::refusedProps) || seen.other())
        return false;
    if (R::row.bidi && (seen.props() & kPropRandAL)) {
        if ((seen.ascii() & R::kL) || (seen.props() & kPropL))
            return false;
        if (!(property(codePoint(s[0])) & kPropRandAL) || !(property(codePoint(s[length - 1])) & kPropRandAL))
            return false;
    }
    return !(checkUnassigned && (seen.props() & kPropUnassigned));
}

// Why the code points s[0..length), which the profile refuses, are
// refused: the first stage that refuses them in the profile's order, and
// the first code point it refuses. Runs only when a caller asks.
template <int P>
void explain(const PB_CHAR *s, PB_INT length, bool checkUnassigned, RFC_STRINGPREP_REFUSAL *refusal) noexcept
{
    constexpr const Profile &row = Rules<P>::row;
    auto found = [&](PB_INT stage, PB_INT at) {
        *refusal = { stage, s[at], at, P };
    };
    for (const TableInfo &table : kProhibitionTables) {
        if (!(row.prohibited & table.bit))
            continue;
        for (PB_INT i = 0; i < length; ++i) {
            if (table.contains(codePoint(s[i])))
                return found(RFC_STRINGPREP_STAGE_PROHIBITED, i);
        }
    }
    for (PB_INT i = 0; i < length && !row.refused.empty(); ++i) {
        if (row.refused.contains(codePoint(s[i])))
            return found(RFC_STRINGPREP_STAGE_PROHIBITED, i);
    }
    PB_INT rightToLeft = 0;
    while (row.bidi && rightToLeft < length && !isRandAL(codePoint(s[rightToLeft])))
        ++rightToLeft;
    if (row.bidi && rightToLeft < length) {
        for (PB_INT i = 0; i < length; ++i) {
            if (isL(codePoint(s[i])))
                return found(RFC_STRINGPREP_STAGE_BIDI, i);
        }
        if (!isRandAL(codePoint(s[0])))
            return found(RFC_STRINGPREP_STAGE_BIDI, 0);
        if (!isRandAL(codePoint(s[length - 1])))
            return found(RFC_STRINGPREP_STAGE_BIDI, length - 1);
    }
    for (PB_INT i = 0; i < length && checkUnassigned; ++i) {
        if (isUnassigned(codePoint(s[i])))
            return found(RFC_STRINGPREP_STAGE_UNASSIGNED, i);
    }
    // The fused checks refused what the stages one by one let pass.
    PB_ASSERT( !"the stages of the profile refuse the string" );
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
template <int P>
inline PB_INT mapInto(const PB_CHAR *s, PB_INT length, PB_CHAR *out, bool *nonAscii, Seen &seen) noexcept
{
    constexpr const Profile &row = Rules<P>::row;
    PB_INT n = 0;
    std::uint32_t written = 0;
    std::uint32_t all = 0; // seen's bits
    for (PB_INT i = 0; i < length; ++i) {
        std::uint32_t c = codePoint(s[i]);
        if (c < 0x80) {
            std::uint32_t o = row.caseFold ? kAsciiCaseFold[c] : c;
            all |= Rules<P>::ascii[o];
            out[n++] = static_cast<PB_CHAR>(o);
            continue;
        }
        std::uint8_t p = property(c);
        if (row.mapSpaceToSpace && (p & kPropSpaceNonAscii)) {
            all |= Rules<P>::ascii[0x20];
            out[n++] = 0x20;
        } else if (row.mapToNothing && (p & kPropMapToNothing)) {
            // dropped
        } else if (row.caseFold && (p & kPropCaseFoldNfkc)) {
            int k = row.normalize ? FoldedNfkcImages::get().fold(c, out + n) : caseFoldNfkc(c, out + n);
            for (int j = 0; j < k; ++j) {
                std::uint32_t o = codePoint(out[n + j]);
                written |= o;
                all |= mark<P>(o, o < 0x80 ? 0 : property(o));
            }
            n += k;
        } else {
            out[n++] = s[i];
            written |= c;
            all |= mark<P>(c, p);
        }
    }
    *nonAscii = written >= 0x80;
    seen.bits |= all;
    return n;
}

// The union of the classes (of table) of the ASCII code points
// s[0..length): four independent chains of look-ups.
inline std::uint8_t asciiClasses(const std::array<std::uint8_t, 128> &table, const PB_CHAR *s, PB_INT length) noexcept
{
    std::uint8_t a = 0, b = 0, c = 0, d = 0;
    PB_INT i = 0;
    for (; i + 4 <= length; i += 4) {
        a |= table[s[i]];
        b |= table[s[i + 1]];
        c |= table[s[i + 2]];
        d |= table[s[i + 3]];
    }
    for (; i < length; ++i)
        a |= table[s[i]];
    return static_cast<std::uint8_t>(a | b | c | d);
}

// The length of the longest common prefix of a[0..n) and b[0..n).
inline PB_INT commonPrefix(const PB_CHAR *a, const PB_CHAR *b, PB_INT n) noexcept
{
    PB_INT i = 0;
    while (i < n && a[i] == b[i])
        ++i;
    return i;
}

// The length of the longest common suffix of a[0..an) and b[0..bn), at
// most most.
inline PB_INT commonSuffix(const PB_CHAR *a, PB_INT an, const PB_CHAR *b, PB_INT bn, PB_INT most) noexcept
{
    PB_INT i = 0;
    while (i < most && a[an - 1 - i] == b[bn - 1 - i])
        ++i;
    return i;
}

// Prepares source by profile P: a new string owned by the caller (source
// itself with one more reference for a profile that neither maps nor
// normalises), or null when a check refuses it (then nothing made on the way
// is left, and *refusal, when refusal is not null, says why). allowUnassigned
// is read only by a profile that lets the caller allow unassigned code
// points. source is only read; the caller has checked it is not null.
template <int P>
inline PB_STRING *prepare(PB_STRING *source, PB_BOOL allowUnassigned, RFC_STRINGPREP_REFUSAL *refusal)
{
    using R = Rules<P>;
    const bool checkUnassigned = R::row.unassigned == Unassigned::kRefuse
        || (R::row.unassigned == Unassigned::kRefuseUnlessAllowed && !allowUnassigned);
    Chars s = chars(source);
    if constexpr (R::identity) {
        if (!passes<P>(seeAll<P>(s.data, s.length), s.data, s.length, checkUnassigned)) {
            if (refusal)
                explain<P>(s.data, s.length, checkUnassigned, refusal);
            return nullptr;
        }
        pbObjRetain(pb::obj(source));
        return source;
    }
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
        if (R::refusesAscii && (asciiClasses(R::ascii, s.data, s.length) & R::kRefused)) {
            if (refusal) {
                // Folding keeps every refused ASCII code point (none is a
                // capital letter) where it is, but explain the folded string
                // all the same.
                Scratch folded(s.length);
                for (PB_INT i = 0; i < s.length; ++i)
                    folded.data()[i] = R::row.caseFold ? kAsciiCaseFold[s.data[i]] : s.data[i];
                explain<P>(folded.data(), s.length, checkUnassigned, refusal);
            }
            return nullptr;
        }
        if (!R::row.caseFold)
            return pbStringCreateFromCharsCopy(s.data, s.length);
        Scratch folded(s.length);
        for (PB_INT i = 0; i < s.length; ++i)
            folded.data()[i] = kAsciiCaseFold[s.data[i]];
        return folded.string(s.length);
    }

    constexpr PB_INT widest = R::row.caseFold ? kMaxCaseFoldImage : 1;
    Scratch mapped(s.length * widest);
    bool nonAscii = false;
    Seen seen;
    PB_INT count = mapInto<P>(s.data, s.length, mapped.data(), &nonAscii, seen);
    // NFKC leaves ASCII as it is; otherwise the mapped code points are
    // normalised, and the checks see only what the normalisation changed
    // besides what the mapping saw.
    if (R::row.normalize && nonAscii) {
        pb::Ref<PB_STRING> prepared(mapped.string(count));
        PB_STRING *asMapped = prepared.get();
        pbStringNormalize(prepared.addr(), PB_STRING_NORMALIZE_NFKC);
        Chars p = chars(prepared.get());
        if (prepared.get() != asMapped) {
            // The result is the mapped code points up to head, then code
            // points that may differ, then the last tail mapped code points.
            // What the mapping saw and what lies between cover the result
            // and maybe more. The checks refuse only what they see, so
            // passing with all of it is passing; a refusal is decided on the
            // result alone.
            PB_INT shorter = p.length < count ? p.length : count;
            PB_INT head = commonPrefix(mapped.data(), p.data, shorter);
            PB_INT tail = commonSuffix(mapped.data(), count, p.data, p.length, shorter - head);
            Seen either = seeAll<P>(p.data + head, p.length - head - tail);
            either.bits |= seen.bits;
            if (passes<P>(either, p.data, p.length, checkUnassigned))
                return prepared.take();
            seen = seeAll<P>(p.data, p.length);
        }
        if (!passes<P>(seen, p.data, p.length, checkUnassigned)) {
            if (refusal)
                explain<P>(p.data, p.length, checkUnassigned, refusal);
            return nullptr;
        }
        return prepared.take();
    }
    if (!passes<P>(seen, mapped.data(), count, checkUnassigned)) {
        if (refusal)
            explain<P>(mapped.data(), count, checkUnassigned, refusal);
        return nullptr;
    }
    return mapped.string(count);
}

} // namespace rfc::stringprep

#endif
