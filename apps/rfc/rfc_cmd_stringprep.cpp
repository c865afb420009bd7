// rfc stringprep: prepares strings by one of the seven stringprep profiles.
#include "rfc_cli.h"

#include <rfc/stringprep/rfc_stringprep.h>

#include <cstdio>
#include <string_view>

namespace {

// The profile names, as the library gives them, for messages.
std::string profileNames()
{
    std::string names;
    for (PB_INT p = 0; RFC_STRINGPREP_PROFILE_OK(p); ++p) {
        rfccli::Held<PB_STRING> name(rfcStringprepProfileToName(p));
        if (!names.empty())
            names += ", ";
        names += rfccli::utf8(name.get());
    }
    return names;
}

// Prepares one line of UTF-8 and writes the result line. Returns 0, or 1
// when refused or when the text is not UTF-8.
int prepareLine(PB_INT profile, std::string_view text, bool allowUnassigned)
{
    rfccli::Held<PB_STRING> source(
        pbStringTryCreateFromUtf8(reinterpret_cast<const PB_BYTE *>(text.data()), PB_INT(text.size())));
    if (!source) {
        rfccli::writeOut("invalid UTF-8\n");
        return 1;
    }
    RFC_STRINGPREP_REFUSAL refusal {};
    rfccli::Held<PB_STRING> prepared(rfcStringprepProfileTryPrepare(profile, source.get(), allowUnassigned ? 1 : 0, &refusal));
    if (!prepared) {
        // The library's own words for its refusal.
        rfccli::Held<PB_STRING> reason(rfcStringprepRefusalToString(&refusal));
        rfccli::writeOut("refused: " + rfccli::utf8(reason.get()) + "\n");
        return 1;
    }
    rfccli::writeOut(rfccli::utf8(prepared.get()) + "\n");
    return 0;
}

int runStringprep(const std::vector<std::string> &args)
{
    PB_INT profile = -1;
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
        } else if (profile < 0) {
            rfccli::Held<PB_STRING> name(pbStringCreateFromCstr(arg.c_str(), -1));
            profile = rfcStringprepProfileFromName(name.get());
            if (profile < 0)
                return rfccli::usageError("stringprep", "unknown profile \"" + arg + "\" (" + profileNames() + ")");
        } else {
            texts.push_back(arg);
        }
    }
    if (profile < 0)
        return rfccli::usageError("stringprep", "no profile given (" + profileNames() + ")");
    if (allowUnassigned && !rfcStringprepProfileHasAllowUnassigned(profile)) {
        rfccli::Held<PB_STRING> name(rfcStringprepProfileToName(profile));
        return rfccli::usageError("stringprep", "--allow-unassigned applies to iscsi and nameprep, not " + rfccli::utf8(name.get()));
    }
    if (texts.size() > 1)
        return rfccli::usageError("stringprep", "one text at most");
    int status = 0;
    auto merge = [&status](int lineStatus) {
        if (lineStatus > status)
            status = lineStatus;
    };
    if (!texts.empty()) {
        merge(prepareLine(profile, texts[0], allowUnassigned));
        return status;
    }
    // Line by line as the input comes: a line is prepared as soon as its
    // end has been read, so memory holds one line at a time.
    std::string line;
    auto prepare = [&](std::string_view text) {
        if (!text.empty() && text.back() == '\r')
            text.remove_suffix(1); // CR LF ends a line as LF does
        merge(prepareLine(profile, text, allowUnassigned));
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
