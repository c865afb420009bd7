#include "stringprep_support.h"

#include <pb/pb_cpp.h>

#include <cstdio>
#include <functional>
#include <sstream>
#include <utility>
#include <vector>

namespace sptest {

std::u32string parseChars(std::string_view hex)
{
    std::u32string out;
    std::istringstream items { std::string(hex) };
    for (std::string item; items >> item;)
        out.push_back(static_cast<char32_t>(std::stoul(item, nullptr, 16)));
    return out;
}

std::string formatChars(std::u32string_view chars)
{
    std::string out;
    for (char32_t c : chars) {
        char text[16];
        std::snprintf(text, sizeof text, "%s%04X", out.empty() ? "" : " ", static_cast<unsigned>(c));
        out += text;
    }
    return out;
}

namespace {

template <PB_STRING *(*profile)(PB_STRING *)>
PB_STRING *ignoringAllow(PB_STRING *source, PB_BOOL)
{
    return profile(source);
}

} // namespace

Profile profileByName(std::string_view name)
{
    static const std::pair<std::string_view, Profile> profiles[] = { { "iscsi", rfcStringprepProfileIscsi },
        { "nameprep", rfcStringprepProfileNameprep }, { "nodeprep", ignoringAllow<rfcStringprepProfileNodeprep> },
        { "policy-mib", ignoringAllow<rfcStringprepProfilePolicyMib> },
        { "resourceprep", ignoringAllow<rfcStringprepProfileResourceprep> },
        { "saslprep", ignoringAllow<rfcStringprepProfileSaslprep> }, { "trace", ignoringAllow<rfcStringprepProfileTrace> } };
    for (const auto &[known, profile] : profiles) {
        if (known == name)
            return profile;
    }
    return nullptr;
}

namespace {

// The profiles composed from the exported steps, in the order of their
// RFCs, one string per step, exactly as written in the profile table.
struct Composed {
    std::vector<PB_STRING *(*)(PB_STRING *)> maps;
    bool normalize;
    std::vector<PB_BOOL (*)(PB_STRING *)> prohibit;
    std::function<bool(char32_t)> extraRefused;
    bool bidi;
    int unassigned; // 0 never, 1 always, 2 unless allowed
};

const std::vector<PB_BOOL (*)(PB_STRING *)> kC3ToC9 = { rfcStringprepProhibitPrivateUse, rfcStringprepProhibitNonCharacter,
    rfcStringprepProhibitSurrogate, rfcStringprepProhibitInappropriateForPlainText,
    rfcStringprepProhibitInappropriateForCanonical, rfcStringprepProhibitDisplayOrDeprecated, rfcStringprepProhibitTagging };

std::vector<PB_BOOL (*)(PB_STRING *)> with(std::vector<PB_BOOL (*)(PB_STRING *)> first)
{
    first.insert(first.end(), kC3ToC9.begin(), kC3ToC9.end());
    return first;
}

Composed composed(std::string_view name)
{
    auto iscsiExtra = [](char32_t c) {
        return c <= 0x2C || c == 0x2F || (c >= 0x3B && c <= 0x40) || (c >= 0x5B && c <= 0x60) || (c >= 0x7B && c <= 0x7F) || c == 0x3002;
    };
    auto nodeprepExtra = [](char32_t c) { return std::u32string_view(U"\"&'/:<>@").find(c) != std::u32string_view::npos; };
    auto none = [](char32_t) { return false; };
    auto B1 = rfcStringprepMapToNothing;
    auto B2 = rfcStringprepMapForCaseFoldingNFKC;
    if (name == "iscsi")
        return { { B1, B2 }, true, with({ rfcStringprepProhibitSpace, rfcStringprepProhibitControl }), iscsiExtra, true, 2 };
    if (name == "nameprep")
        return { { B1, B2 }, true, with({ rfcStringprepProhibitSpaceNonAscii, rfcStringprepProhibitControlNonAscii }), none, true, 2 };
    if (name == "nodeprep")
        return { { B1, B2 }, true, with({ rfcStringprepProhibitSpace, rfcStringprepProhibitControl }), nodeprepExtra, true, 1 };
    if (name == "policy-mib")
        return { { B1 }, true, with({ rfcStringprepProhibitControl }), none, false, 1 };
    if (name == "resourceprep")
        return { { B1 }, true, with({ rfcStringprepProhibitSpaceNonAscii, rfcStringprepProhibitControl }), none, true, 1 };
    if (name == "saslprep")
        return { { rfcStringprepMapSpaceNonAsciiToSpace, B1 }, true,
            with({ rfcStringprepProhibitSpaceNonAscii, rfcStringprepProhibitControlAscii, rfcStringprepProhibitControlNonAscii }),
            none, true, 1 };
    return { {}, false,
        { rfcStringprepProhibitControl, rfcStringprepProhibitPrivateUse, rfcStringprepProhibitNonCharacter,
            rfcStringprepProhibitSurrogate, rfcStringprepProhibitInappropriateForPlainText,
            rfcStringprepProhibitDisplayOrDeprecated, rfcStringprepProhibitTagging },
        none, true, 0 };
}

} // namespace

namespace {

// The steps of the composed profile applied to source: the prepared string.
pb::Ref<PB_STRING> mapComposed(const Composed &steps, PB_STRING *source)
{
    pb::Ref<PB_STRING> s = pb::Ref<PB_STRING>::retained(source);
    for (auto map : steps.maps)
        s = pb::Ref<PB_STRING>(map(s.get()));
    if (steps.normalize)
        s = pb::Ref<PB_STRING>(rfcStringprepNormalizationNFKC(s.get()));
    return s;
}

bool passesAlone(PB_BOOL (*check)(PB_STRING *), std::u32string_view chars)
{
    pb::Ref<PB_STRING> s(pbStringCreateFromCharsCopy(reinterpret_cast<const PB_CHAR *>(chars.data()), PB_INT(chars.size())));
    return check(s.get()) != 0;
}

std::string refusalText(const char *stage, char32_t c, std::size_t at)
{
    char text[64];
    std::snprintf(text, sizeof text, "%s U+%04X at %zu", stage, static_cast<unsigned>(c), at);
    return text;
}

} // namespace

std::string explainComposed(std::string_view name, PB_STRING *source, PB_BOOL allowUnassigned)
{
    Composed steps = composed(name);
    pb::Ref<PB_STRING> s = mapComposed(steps, source);
    const PB_CHAR *backing = pbStringBacking(s.get());
    const std::u32string chars(reinterpret_cast<const char32_t *>(backing),
        reinterpret_cast<const char32_t *>(backing) + pbStringLength(s.get()));
    // A predicate over a pair of tables refuses at its first half's first
    // code point when that half refuses, so each pair is split in two.
    std::vector<PB_BOOL (*)(PB_STRING *)> tables;
    for (auto test : steps.prohibit) {
        if (test == rfcStringprepProhibitSpace)
            tables.insert(tables.end(), { rfcStringprepProhibitSpaceAscii, rfcStringprepProhibitSpaceNonAscii });
        else if (test == rfcStringprepProhibitControl)
            tables.insert(tables.end(), { rfcStringprepProhibitControlAscii, rfcStringprepProhibitControlNonAscii });
        else
            tables.push_back(test);
    }
    for (auto test : tables) {
        for (std::size_t i = 0; i < chars.size(); ++i) {
            if (!passesAlone(test, chars.substr(i, 1)))
                return refusalText("prohibited", chars[i], i);
        }
    }
    for (std::size_t i = 0; i < chars.size(); ++i) {
        if (steps.extraRefused(chars[i]))
            return refusalText("prohibited", chars[i], i);
    }
    if (steps.bidi && !rfcStringprepBidiCheck(s.get())) {
        // c is L when R c R fails; c is R or AL when c A fails.
        for (std::size_t i = 0; i < chars.size(); ++i) {
            if (!passesAlone(rfcStringprepBidiCheck, std::u32string { U'\u05D0', chars[i], U'\u05D0' }))
                return refusalText("bidi", chars[i], i);
        }
        bool firstRightToLeft = !passesAlone(rfcStringprepBidiCheck, std::u32string { chars.front(), U'A' });
        std::size_t at = firstRightToLeft ? chars.size() - 1 : 0;
        return refusalText("bidi", chars[at], at);
    }
    if (steps.unassigned == 1 || (steps.unassigned == 2 && !allowUnassigned)) {
        for (std::size_t i = 0; i < chars.size(); ++i) {
            if (!passesAlone(rfcStringprepUnassignedCheck, chars.substr(i, 1)))
                return refusalText("unassigned", chars[i], i);
        }
    }
    return formatChars(chars);
}

std::string formatRefusal(const RFC_STRINGPREP_REFUSAL &refusal)
{
    const char *stage = refusal.stage == RFC_STRINGPREP_STAGE_PROHIBITED ? "prohibited"
        : refusal.stage == RFC_STRINGPREP_STAGE_BIDI                     ? "bidi"
        : refusal.stage == RFC_STRINGPREP_STAGE_UNASSIGNED               ? "unassigned"
                                                                         : "no stage";
    return refusalText(stage, static_cast<char32_t>(refusal.codePoint), static_cast<std::size_t>(refusal.offset));
}

std::string prepareComposed(std::string_view name, PB_STRING *source, PB_BOOL allowUnassigned)
{
    Composed steps = composed(name);
    pb::Ref<PB_STRING> s = mapComposed(steps, source);
    for (auto test : steps.prohibit) {
        if (!test(s.get()))
            return "REFUSED";
    }
    for (PB_INT i = 0; i < pbStringLength(s.get()); ++i) {
        if (steps.extraRefused(static_cast<char32_t>(pbStringBacking(s.get())[i])))
            return "REFUSED";
    }
    if (steps.bidi && !rfcStringprepBidiCheck(s.get()))
        return "REFUSED";
    if ((steps.unassigned == 1 || (steps.unassigned == 2 && !allowUnassigned)) && !rfcStringprepUnassignedCheck(s.get()))
        return "REFUSED";
    const PB_CHAR *chars = pbStringBacking(s.get());
    return formatChars(std::u32string(chars, chars + pbStringLength(s.get())));
}

} // namespace sptest
