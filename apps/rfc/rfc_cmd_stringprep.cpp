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

// Prepares one line of UTF-8 and writes the result line. Returns 0, or 1
// when refused or when the text is not UTF-8.
int prepareLine(const Profile &profile, std::string_view text, bool allowUnassigned)
{
    pb::Ref<PB_STRING> source(
        pbStringTryCreateFromUtf8(reinterpret_cast<const PB_BYTE *>(text.data()), PB_INT(text.size())));
    if (!source) {
        rfccli::writeOut("invalid UTF-8\n");
        return 1;
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
        } else if (!optionsDone && arg.size() > 1 && arg[0] == '-') {
            return rfccli::usageError("stringprep", "unknown option \"" + arg + "\"");
        } else if (!profile) {
            for (const Profile &p : profiles()) {
                if (arg == p.name)
                    profile = &p;
            }
            if (!profile)
                return rfccli::usageError("stringprep", "unknown profile \"" + arg
                        + "\" (iscsi, nameprep, nodeprep, policy-mib, resourceprep, saslprep, trace)");
        } else {
            texts.push_back(arg);
        }
    }
    if (!profile)
        return rfccli::usageError("stringprep", "no profile given");
    if (allowUnassigned && !profile->takesAllowUnassigned)
        return rfccli::usageError("stringprep", std::string("--allow-unassigned applies to iscsi and nameprep, not ") + profile->name);
    if (texts.size() > 1)
        return rfccli::usageError("stringprep", "one text at most");
    int status = 0;
    auto merge = [&status](int lineStatus) {
        if (lineStatus > status)
            status = lineStatus;
    };
    if (!texts.empty()) {
        merge(prepareLine(*profile, texts[0], allowUnassigned));
        return status;
    }
    // Line by line as the input comes: a line is prepared as soon as its
    // end has been read, so memory holds one line at a time.
    std::string line;
    auto prepare = [&](std::string_view text) {
        if (!text.empty() && text.back() == '\r')
            text.remove_suffix(1); // CR LF ends a line as LF does
        merge(prepareLine(*profile, text, allowUnassigned));
    };
    std::string error;
    bool read = rfccli::readChunks(
        "-",
        [&](const PB_BYTE *bytes, std::size_t count) {
            std::string_view chunk(reinterpret_cast<const char *>(bytes), count);
            std::size_t start = 0;
            for (std::size_t end; (end = chunk.find('\n', start)) != std::string_view::npos; start = end + 1) {
                if (line.empty()) {
                    prepare(chunk.substr(start, end - start));
                } else {
                    line.append(chunk.substr(start, end - start));
                    prepare(line);
                    line.clear();
                }
            }
            line.append(chunk.substr(start));
            return true;
        },
        error);
    if (!line.empty())
        prepare(line);
    if (!read) {
        rfccli::complain("stringprep", error);
        return rfccli::exitRefused;
    }
    return status;
}

} // namespace

constexpr const char *help =
    "Prepares TEXT, or each line of standard input (LF or CR LF ends a line), by a\n"
    "stringprep profile: iscsi, nameprep, nodeprep, policy-mib, resourceprep,\n"
    "saslprep or trace. Writes one line per text: the prepared text, or \"refused:\"\n"
    "and the reason, or \"invalid UTF-8\"; exits 1 when any text was refused.\n"
    "      --allow-unassigned  let unassigned code points through (queries; iscsi and\n"
    "                          nameprep only)\n";

static rfccli::Registration registration { { "stringprep", "stringprep PROFILE [--allow-unassigned] [TEXT]",
    "prepares text by a stringprep profile (iscsi, nameprep, nodeprep, policy-mib, resourceprep, saslprep, trace)",
    help, runStringprep } };
