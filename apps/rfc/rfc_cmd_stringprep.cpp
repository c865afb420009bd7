// rfc stringprep: prepares strings by one of the seven stringprep profiles.
#include "rfc_cli.h"

#include <rfc/stringprep/rfc_stringprep.h>
#include <rfc/stringprep/rfc_stringprep_internal.h>

#include <cstdio>
#include <string_view>

namespace {

using Map = PB_STRING *(*)(PB_STRING *);
using Predicate = PB_BOOL (*)(PB_STRING *);

// One prohibition table: its predicate and the name a refusal prints.
struct Table {
    Predicate freeOf;
    const char *what;
};

const Table kSpaceAscii { rfcStringprepProhibitSpaceAscii, "ASCII space character" };
const Table kSpaceNonAscii { rfcStringprepProhibitSpaceNonAscii, "non-ASCII space character" };
const Table kControlAscii { rfcStringprepProhibitControlAscii, "ASCII control character" };
const Table kControlNonAscii { rfcStringprepProhibitControlNonAscii, "non-ASCII control character" };
const Table kPrivateUse { rfcStringprepProhibitPrivateUse, "private use character" };
const Table kNonCharacter { rfcStringprepProhibitNonCharacter, "non-character code point" };
const Table kSurrogate { rfcStringprepProhibitSurrogate, "surrogate code" };
const Table kPlainText { rfcStringprepProhibitInappropriateForPlainText, "inappropriate for plain text" };
const Table kCanonical { rfcStringprepProhibitInappropriateForCanonical, "inappropriate for canonical representation" };
const Table kDisplay { rfcStringprepProhibitDisplayOrDeprecated, "changes display properties or is deprecated" };
const Table kTagging { rfcStringprepProhibitTagging, "tagging character" };

bool iscsiRefused(PB_CHAR c)
{
    return rfc::stringprep::isIscsiRefusedAscii(rfc::stringprep::codePoint(c))
        || rfc::stringprep::codePoint(c) == rfc::stringprep::kIdeographicFullStop;
}

bool nodeprepRefused(PB_CHAR c)
{
    return rfc::stringprep::isNodeprepRefused(rfc::stringprep::codePoint(c));
}

// A profile as the library runs it, and its stages spelled out again, so
// that a refused string can be explained: the library itself says only
// that it refused.
struct Profile {
    const char *name;
    PB_STRING *(*prepare)(PB_STRING *source, PB_BOOL allowUnassigned);
    bool takesAllowUnassigned;
    std::vector<Map> maps;
    bool normalize;
    std::vector<Table> prohibited; // in call order, pairs split into their halves
    bool (*extraRefused)(PB_CHAR);
    const char *extraWhat;
    bool bidi;
    bool checksUnassigned; // when not allowed
};

PB_STRING *nodeprep(PB_STRING *s, PB_BOOL) { return rfcStringprepProfileNodeprep(s); }
PB_STRING *policyMib(PB_STRING *s, PB_BOOL) { return rfcStringprepProfilePolicyMib(s); }
PB_STRING *resourceprep(PB_STRING *s, PB_BOOL) { return rfcStringprepProfileResourceprep(s); }
PB_STRING *saslprep(PB_STRING *s, PB_BOOL) { return rfcStringprepProfileSaslprep(s); }
PB_STRING *trace(PB_STRING *s, PB_BOOL) { return rfcStringprepProfileTrace(s); }

const std::vector<Profile> &profiles()
{
    const std::vector<Table> c3ToC9 { kPrivateUse, kNonCharacter, kSurrogate, kPlainText, kCanonical, kDisplay, kTagging };
    auto with = [&](std::vector<Table> first) {
        first.insert(first.end(), c3ToC9.begin(), c3ToC9.end());
        return first;
    };
    Map b1 = rfcStringprepMapToNothing;
    Map b2 = rfcStringprepMapForCaseFoldingNFKC;
    static const std::vector<Profile> all {
        { "iscsi", rfcStringprepProfileIscsi, true, { b1, b2 }, true,
            with({ kSpaceAscii, kSpaceNonAscii, kControlAscii, kControlNonAscii }), iscsiRefused,
            "not allowed in iSCSI names", true, true },
        { "nameprep", rfcStringprepProfileNameprep, true, { b1, b2 }, true, with({ kSpaceNonAscii, kControlNonAscii }),
            nullptr, nullptr, true, true },
        { "nodeprep", nodeprep, false, { b1, b2 }, true, with({ kSpaceAscii, kSpaceNonAscii, kControlAscii, kControlNonAscii }),
            nodeprepRefused, "not allowed in XMPP node identifiers", true, true },
        { "policy-mib", policyMib, false, { b1 }, true, with({ kControlAscii, kControlNonAscii }), nullptr, nullptr, false, true },
        { "resourceprep", resourceprep, false, { b1 }, true, with({ kSpaceNonAscii, kControlAscii, kControlNonAscii }), nullptr,
            nullptr, true, true },
        { "saslprep", saslprep, false, { rfcStringprepMapSpaceNonAsciiToSpace, b1 }, true,
            with({ kSpaceNonAscii, kControlAscii, kControlNonAscii }), nullptr, nullptr, true, true },
        { "trace", trace, false, {}, false,
            { kControlAscii, kControlNonAscii, kPrivateUse, kNonCharacter, kSurrogate, kPlainText, kDisplay, kTagging },
            nullptr, nullptr, true, false },
    };
    return all;
}

std::string codePointText(PB_CHAR c)
{
    char text[32];
    std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned>(c));
    return text;
}

bool oneFails(Predicate freeOf, PB_CHAR c)
{
    pb::Ref<PB_STRING> s(pbStringCreateFromCharsCopy(&c, 1));
    return !freeOf(s.get());
}

// Why the profile refuses source: runs its stages again and names the
// first stage that refuses and the first code point it refuses, as
// "prohibited U+0007 (ASCII control character)".
std::string explainRefusal(const Profile &profile, PB_STRING *source, bool allowUnassigned)
{
    pb::Ref<PB_STRING> s = pb::Ref<PB_STRING>::retained(source);
    for (Map map : profile.maps)
        s = pb::Ref<PB_STRING>(map(s.get()));
    if (profile.normalize)
        s = pb::Ref<PB_STRING>(rfcStringprepNormalizationNFKC(s.get()));
    const PB_CHAR *chars = pbStringBacking(s.get());
    PB_INT length = pbStringLength(s.get());
    for (const Table &table : profile.prohibited) {
        if (table.freeOf(s.get()))
            continue;
        for (PB_INT i = 0; i < length; ++i) {
            if (oneFails(table.freeOf, chars[i]))
                return "prohibited " + codePointText(chars[i]) + " (" + table.what + ")";
        }
    }
    if (profile.extraRefused) {
        for (PB_INT i = 0; i < length; ++i) {
            if (profile.extraRefused(chars[i]))
                return "prohibited " + codePointText(chars[i]) + " (" + profile.extraWhat + ")";
        }
    }
    if (profile.bidi && !rfcStringprepBidiCheck(s.get())) {
        for (PB_INT i = 0; i < length; ++i) {
            if (rfc::stringprep::isL(rfc::stringprep::codePoint(chars[i])))
                return "bidi " + codePointText(chars[i]) + " (left-to-right character in right-to-left text)";
        }
        PB_CHAR edge = rfc___StringprepBidiIsROrAl(chars[0]) ? chars[length - 1] : chars[0];
        return "bidi " + codePointText(edge) + " (right-to-left text must start and end with a right-to-left character)";
    }
    if (profile.checksUnassigned && !allowUnassigned) {
        for (PB_INT i = 0; i < length; ++i) {
            if (oneFails(rfcStringprepUnassignedCheck, chars[i]))
                return "unassigned " + codePointText(chars[i]) + " (unassigned in Unicode 3.2)";
        }
    }
    return "refused by no stage when run again"; // the stages and the profile disagree
}

// Prepares one line of UTF-8 and writes the result line. Returns 0, 1 when
// refused, 2 when the text is not UTF-8.
int prepareLine(const Profile &profile, std::string_view text, bool allowUnassigned)
{
    pb::Ref<PB_STRING> source(
        pbStringTryCreateFromUtf8(reinterpret_cast<const PB_BYTE *>(text.data()), PB_INT(text.size())));
    if (!source) {
        rfccli::writeOut("invalid UTF-8\n");
        return 2;
    }
    pb::Ref<PB_STRING> prepared(profile.prepare(source.get(), allowUnassigned ? 1 : 0));
    if (!prepared) {
        rfccli::writeOut("refused: " + explainRefusal(profile, source.get(), allowUnassigned) + "\n");
        return 1;
    }
    rfccli::writeOut(rfccli::utf8(prepared.get()) + "\n");
    return 0;
}

int runStringprep(const std::vector<std::string> &args)
{
    const Profile *profile = nullptr;
    bool allowUnassigned = false;
    std::vector<std::string> texts;
    bool optionsDone = false;
    for (const std::string &arg : args) {
        if (!optionsDone && arg == "--") {
            optionsDone = true;
        } else if (!optionsDone && arg == "--allow-unassigned") {
            allowUnassigned = true;
        } else if (!optionsDone && arg.size() > 2 && arg.compare(0, 2, "--") == 0) {
            rfccli::complain("stringprep", "unknown option \"" + arg + "\"");
            return 2;
        } else if (!profile) {
            for (const Profile &p : profiles()) {
                if (arg == p.name)
                    profile = &p;
            }
            if (!profile) {
                rfccli::complain("stringprep", "unknown profile \"" + arg
                        + "\" (iscsi, nameprep, nodeprep, policy-mib, resourceprep, saslprep, trace)");
                return 2;
            }
        } else {
            texts.push_back(arg);
        }
    }
    if (!profile) {
        rfccli::complain("stringprep", "no profile given");
        return 2;
    }
    if (allowUnassigned && !profile->takesAllowUnassigned) {
        rfccli::complain("stringprep", std::string("--allow-unassigned applies to iscsi and nameprep, not ") + profile->name);
        return 2;
    }
    if (texts.size() > 1) {
        rfccli::complain("stringprep", "one text at most");
        return 2;
    }
    int status = 0;
    auto merge = [&status](int lineStatus) {
        if (lineStatus > status)
            status = lineStatus;
    };
    if (!texts.empty()) {
        merge(prepareLine(*profile, texts[0], allowUnassigned));
        return status;
    }
    std::string input;
    std::string error;
    if (!rfccli::readAll("", input, error)) {
        rfccli::complain("stringprep", error);
        return 2;
    }
    std::size_t start = 0;
    while (start < input.size()) {
        std::size_t end = input.find('\n', start);
        std::size_t next = end == std::string::npos ? input.size() : end + 1;
        if (end == std::string::npos)
            end = input.size();
        if (end > start && input[end - 1] == '\r')
            --end; // CR LF ends a line as LF does
        merge(prepareLine(*profile, std::string_view(input).substr(start, end - start), allowUnassigned));
        start = next;
    }
    return status;
}

} // namespace

static rfccli::Registration registration { { "stringprep", "stringprep PROFILE [--allow-unassigned] [TEXT]",
    "prepares TEXT, or each line of standard input, by a stringprep profile "
    "(iscsi, nameprep, nodeprep, policy-mib, resourceprep, saslprep, trace)",
    runStringprep } };
