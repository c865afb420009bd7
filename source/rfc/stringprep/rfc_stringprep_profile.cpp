// The profiles by number: preparing with a refusal reason, the names, and
// the text of a refusal.
#include "rfc_stringprep_profile.h"

#include <cstdio>
#include <utility>

using namespace rfc::stringprep;

namespace {

using Prepare = PB_STRING *(*)(PB_STRING *, PB_BOOL, RFC_STRINGPREP_REFUSAL *);

template <std::size_t... P>
constexpr std::array<Prepare, sizeof...(P)> preparers(std::index_sequence<P...>)
{
    return { prepare<static_cast<int>(P)>... };
}

// The engine of each profile, at the index of its row.
constexpr auto kPrepare = preparers(std::make_index_sequence<std::size(kProfiles)>());

const Profile &rowOf(PB_INT profile)
{
    return kProfiles[static_cast<std::size_t>(profile)];
}

} // namespace

// The prepared string or null; refusal, when not null, says why after a
// refusal and is left alone otherwise.
extern "C" RFC_API PB_STRING *rfcStringprepProfileTryPrepare(PB_INT profile, PB_STRING *source, PB_BOOL allowUnassigned,
    RFC_STRINGPREP_REFUSAL *refusal) noexcept
{
    PB_ASSERT( RFC_STRINGPREP_PROFILE_OK(profile) );
    PB_ASSERT( source );
    return kPrepare[static_cast<std::size_t>(profile)](source, allowUnassigned, refusal);
}

extern "C" RFC_API PB_STRING *rfcStringprepProfileToName(PB_INT profile) noexcept
{
    PB_ASSERT( RFC_STRINGPREP_PROFILE_OK(profile) );
    return pbStringCreateFromCstr(rowOf(profile).name, -1);
}

// Compares code points with the ASCII names, so that no string is made.
extern "C" RFC_API PB_INT rfcStringprepProfileFromName(PB_STRING *name) noexcept
{
    PB_ASSERT( name );
    Chars s = chars(name);
    for (std::size_t p = 0; p < std::size(kProfiles); ++p) {
        std::string_view known = kProfiles[p].name;
        if (static_cast<std::size_t>(s.length) != known.size())
            continue;
        PB_INT i = 0;
        while (i < s.length && s.data[i] == static_cast<PB_CHAR>(known[static_cast<std::size_t>(i)]))
            ++i;
        if (i == s.length)
            return static_cast<PB_INT>(p);
    }
    return -1;
}

extern "C" RFC_API PB_BOOL rfcStringprepProfileHasAllowUnassigned(PB_INT profile) noexcept
{
    PB_ASSERT( RFC_STRINGPREP_PROFILE_OK(profile) );
    return rowOf(profile).unassigned == Unassigned::kRefuseUnlessAllowed ? 1 : 0;
}

// A prohibited code point is named by the first of the profile's tables
// that holds it, else by the profile's refused set; a bidi refusal by
// whether the code point is left-to-right (the rule's first half) or not
// (an end that is not right-to-left).
extern "C" RFC_API PB_STRING *rfcStringprepRefusalToString(const RFC_STRINGPREP_REFUSAL *refusal) noexcept
{
    PB_ASSERT( refusal );
    PB_ASSERT( RFC_STRINGPREP_STAGE_OK(refusal->stage) );
    PB_ASSERT( RFC_STRINGPREP_PROFILE_OK(refusal->profile) );
    const Profile &row = rowOf(refusal->profile);
    const std::uint32_t c = static_cast<std::uint32_t>(refusal->codePoint);
    const char *stage = "prohibited";
    const char *what = nullptr;
    if (refusal->stage == RFC_STRINGPREP_STAGE_PROHIBITED) {
        what = row.refused.contains(c) ? row.refused.what : nullptr;
        for (auto t = std::rbegin(kProhibitionTables); t != std::rend(kProhibitionTables); ++t) {
            if ((row.prohibited & t->bit) && t->contains(c))
                what = t->what;
        }
    } else if (refusal->stage == RFC_STRINGPREP_STAGE_BIDI) {
        stage = "bidi";
        what = isL(c) ? "left-to-right character in right-to-left text"
                      : "right-to-left text must start and end with a right-to-left character";
    } else {
        stage = "unassigned";
        what = "unassigned in Unicode 3.2";
    }
    // "U+" and four hex digits at least, as code points are written.
    char text[160];
    if (what)
        std::snprintf(text, sizeof text, "%s U+%04X (%s)", stage, c, what);
    else
        std::snprintf(text, sizeof text, "%s U+%04X", stage, c);
    return pbStringCreateFromCstr(text, -1);
}
