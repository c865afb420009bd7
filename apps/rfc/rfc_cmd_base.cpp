// rfc base16|base32|base32hex|base64|base64url: encode a file to RFC 4648
// text, or decode such text back to bytes, streaming in bounded memory.
#include "rfc_cli.h"

#include <rfc/base/rfc_base.h>

namespace {

// A decoder option of the command line and the flag it sets.
struct DecodeOption {
    const char *name;
    PB_INT flag;
};

constexpr DecodeOption decodeOptions[] = {
    { "--ignore-white-space", RFC_BASE_FLAG_DECODE_IGNORE_WHITE_SPACE },
    { "--ignore-non-alphabet", RFC_BASE_FLAG_DECODE_IGNORE_NON_ALPHABET },
    { "--ignore-padding", RFC_BASE_FLAG_DECODE_IGNORE_PADDING },
    { "--accept-invalid-pad-bits", RFC_BASE_FLAG_DECODE_ACCEPT_INVALID_PAD_BITS },
    { "--accept-invalid-padding", RFC_BASE_FLAG_DECODE_ACCEPT_INVALID_PADDING },
    { "--accept-invalid-length", RFC_BASE_FLAG_DECODE_ACCEPT_INVALID_LENGTH },
};

// coreutils' -i: every byte outside the alphabet is skipped.
constexpr PB_INT ignoreGarbage = RFC_BASE_FLAG_DECODE_IGNORE_NLF | RFC_BASE_FLAG_DECODE_IGNORE_WHITE_SPACE
    | RFC_BASE_FLAG_DECODE_IGNORE_NON_ALPHABET;

struct NewlineName {
    const char *name;
    PB_INT nlf;
};

constexpr NewlineName newlineNames[] = {
    { "lf", PB_NLF_FLAG_LF }, { "cr", PB_NLF_FLAG_CR }, { "crlf", PB_NLF_FLAG_CRLF },
    { "vt", PB_NLF_FLAG_VT }, { "ff", PB_NLF_FLAG_FF }, { "none", 0 },
};

constexpr const char *help =
    "Encodes FILE (standard input when none is named or for -) as text, or decodes it\n"
    "with -d. Works in bounded memory on input of any size.\n"
    "  -d, --decode                   decode instead of encoding\n"
    "encoding:\n"
    "  -n, --no-padding               write no \"=\" padding\n"
    "  -w, --wrap COLS                characters per line (default 76; 0: one line and\n"
    "                                 no final newline)\n"
    "      --newline KIND             lf (default), cr, crlf, vt, ff or none (no wrapping)\n"
    "      --no-final-newline         do not end non-empty output with the newline\n"
    "decoding (strict by default, except that newlines are skipped):\n"
    "      --strict-newlines          refuse newlines too\n"
    "  -i, --ignore-garbage           skip every byte outside the alphabet\n"
    "      --ignore-white-space       skip spaces and tabs\n"
    "      --ignore-non-alphabet      skip other bytes outside the alphabet\n"
    "      --ignore-padding           drop \"=\" that more data follows\n"
    "      --accept-invalid-pad-bits  accept non-zero surplus bits (base64)\n"
    "      --accept-invalid-padding   accept missing or surplus \"=\"\n"
    "      --accept-invalid-length    accept a last group no byte count gives\n"
    "Decoding writes the bytes decoded before malformed text, then refuses (exit 1)\n"
    "naming the offset of the fault and the options that would accept the text.\n";

// The options that add the flags, as the tool's words for the library's
// accepting flags.
std::string optionsFor(PB_INT flags)
{
    std::string names;
    auto add = [&](const char *name) {
        if (!names.empty())
            names += ' ';
        names += name;
    };
    if (flags & RFC_BASE_FLAG_DECODE_IGNORE_NLF) {
        add("dropping --strict-newlines");
        flags &= ~PB_INT { RFC_BASE_FLAG_DECODE_IGNORE_NLF };
    }
    if ((flags & ignoreGarbage) == (ignoreGarbage & ~PB_INT { RFC_BASE_FLAG_DECODE_IGNORE_NLF })) {
        add("-i");
        flags &= ~ignoreGarbage;
    }
    for (const DecodeOption &option : decodeOptions)
        if (flags & option.flag)
            add(option.name);
    return names;
}

// The tool's sentence for the library's refusal.
std::string explain(const char *command, const RFC_BASE_DECODE_REFUSAL &refusal)
{
    std::string text = std::string("invalid ") + command + " text at offset " + std::to_string(refusal.offset);
    if (refusal.acceptingFlags > 0)
        text += " (accepted with: " + optionsFor(refusal.acceptingFlags) + ")";
    else if (refusal.acceptingFlags < 0)
        text += " (no option accepts it)";
    return text;
}

int decode(const char *command, PB_INT encoding, const std::string &path, PB_INT flags)
{
    RFC_BASE_DECODE_REFUSAL refusal {};
    rfccli::Held<RFC_BASE_OPTIONS> opt(rfcBaseOptionsCreate());
    rfcBaseOptionsSetFlags(opt.addr(), flags);
    RFC_BASE_DECODE_STREAM *stream = rfcBaseDecodeStreamCreate(encoding, opt.get());
    std::string error;
    bool read = rfccli::readChunks(
        path,
        [&](const PB_BYTE *bytes, std::size_t count) {
            rfccli::Held<PB_BUFFER> out(rfcBaseDecodeStreamWrite(stream, bytes, PB_INT(count)));
            rfccli::writeOut(out.get());
            // After a refusal the stream reads on to find the options that
            // would accept the whole text, unless none would.
            return !rfcBaseDecodeStreamRefusal(stream, &refusal) || refusal.acceptingFlags >= 0;
        },
        error);
    if (read) {
        rfccli::Held<PB_BUFFER> out(rfcBaseDecodeStreamFinish(stream));
        rfccli::writeOut(out.get());
    }
    const bool refused = rfcBaseDecodeStreamRefusal(stream, &refusal);
    rfcBaseDecodeStreamFree(stream);
    if (!read) {
        rfccli::complain(command, error);
        return rfccli::exitRefused;
    }
    if (refused) {
        rfccli::complain(command, explain(command, refusal));
        return rfccli::exitRefused;
    }
    return rfccli::exitOk;
}

int encode(const char *command, PB_INT encoding, const std::string &path, RFC_BASE_OPTIONS *opt, bool finalNewline)
{
    RFC_BASE_ENCODE_STREAM *stream = rfcBaseEncodeStreamCreate(encoding, opt);
    bool any = false;
    std::string error;
    bool read = rfccli::readChunks(
        path,
        [&](const PB_BYTE *bytes, std::size_t count) {
            any = true;
            rfccli::Held<PB_BUFFER> out(rfcBaseEncodeStreamWrite(stream, bytes, PB_INT(count)));
            rfccli::writeOut(out.get());
            return true;
        },
        error);
    rfccli::Held<PB_BUFFER> out(rfcBaseEncodeStreamFinish(stream));
    rfcBaseEncodeStreamFree(stream);
    if (!read) {
        rfccli::complain(command, error);
        return rfccli::exitRefused;
    }
    rfccli::writeOut(out.get());
    // Like other tools of the kind, empty input gives empty output: the
    // final newline ends text, it is not written alone. This is the
    // newline the trailing-newline flag would write at the end.
    const PB_INT nlf = rfcBaseOptionsOutputNlf(opt);
    if (finalNewline && any && nlf != 0) {
        static const char *const bytes[] = { "\n", "\r", "\r\n", "\v", "\f" };
        const PB_INT kinds[] = { PB_NLF_FLAG_LF, PB_NLF_FLAG_CR, PB_NLF_FLAG_CRLF, PB_NLF_FLAG_VT, PB_NLF_FLAG_FF };
        for (int k = 0; k < 5; ++k)
            if (nlf == kinds[k])
                rfccli::writeOut(std::string(bytes[k]));
    }
    return rfccli::exitOk;
}

int runBase(const char *command, PB_INT encoding, const std::vector<std::string> &args)
{
    bool decoding = false;
    bool padding = true;
    bool finalNewline = true;
    PB_INT lineLength = 76;
    PB_INT nlf = PB_NLF_FLAG_LF;
    PB_INT decodeFlags = RFC_BASE_FLAG_DECODE_IGNORE_NLF;
    bool strictNewlines = false;
    std::string path;
    bool havePath = false;

    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string &arg = args[i];
        bool known = true;
        if (arg == "-d" || arg == "--decode") {
            decoding = true;
        } else if (arg == "-n" || arg == "--no-padding") {
            padding = false;
        } else if (arg == "--no-final-newline") {
            finalNewline = false;
        } else if (arg == "--strict-newlines") {
            strictNewlines = true;
        } else if (arg == "-i" || arg == "--ignore-garbage") {
            decodeFlags |= ignoreGarbage;
        } else if (arg == "-w" || arg == "--wrap" || arg == "--newline") {
            if (i + 1 == args.size())
                return rfccli::usageError(command, arg + " needs a value");
            const std::string &value = args[++i];
            if (arg == "--newline") {
                const NewlineName *found = nullptr;
                for (const NewlineName &name : newlineNames)
                    if (value == name.name)
                        found = &name;
                if (!found)
                    return rfccli::usageError(command, "unknown newline \"" + value + "\" (lf, cr, crlf, vt, ff or none)");
                nlf = found->nlf;
            } else if (!rfccli::parseInt(value, lineLength, 0, PB_INT_MAX)) {
                return rfccli::usageError(command, "the line length must be a whole number of at least 0, not \"" + value + "\"");
            }
        } else {
            known = false;
            for (const DecodeOption &option : decodeOptions) {
                if (arg == option.name) {
                    decodeFlags |= option.flag;
                    known = true;
                }
            }
        }
        if (known)
            continue;
        if (arg == "--") {
            if (i + 2 < args.size())
                return rfccli::usageError(command, "more than one file named");
            if (i + 1 < args.size()) {
                path = args[i + 1];
                havePath = true;
            }
            break;
        }
        if (arg.size() > 1 && arg[0] == '-')
            return rfccli::usageError(command, "unknown option \"" + arg + "\"");
        if (havePath)
            return rfccli::usageError(command, "more than one file named");
        path = arg;
        havePath = true;
    }
    if (strictNewlines)
        decodeFlags &= ~PB_INT { RFC_BASE_FLAG_DECODE_IGNORE_NLF };

    if (decoding)
        return decode(command, encoding, havePath ? path : "-", decodeFlags);

    rfccli::Held<RFC_BASE_OPTIONS> opt(rfcBaseOptionsCreate());
    rfcBaseOptionsSetFlags(opt.addr(), padding ? 0 : RFC_BASE_FLAG_ENCODE_OMIT_PADDING);
    rfcBaseOptionsSetOutputNlf(opt.addr(), nlf);
    if (lineLength > 0)
        rfcBaseOptionsSetOutputLineLength(opt.addr(), lineLength);
    // -w 0 writes one line and, as coreutils does, no final newline.
    return encode(command, encoding, havePath ? path : "-", opt.get(), finalNewline && lineLength > 0);
}

// The subcommand names, which are the RFC 4648 names, by encoding value.
constexpr const char *commandNames[] = { "base16", "base32", "base32hex", "base64", "base64url" };

template <PB_INT encoding>
int runEncoding(const std::vector<std::string> &args)
{
    return runBase(commandNames[encoding], encoding, args);
}

rfccli::Registration base16 { { "base16", "base16 [-d] [OPTIONS] [FILE]", "RFC 4648 base16 (hex) encoding and decoding",
    help, runEncoding<RFC_BASE_ENCODING_BASE16> } };
rfccli::Registration base32 { { "base32", "base32 [-d] [OPTIONS] [FILE]", "RFC 4648 base32 encoding and decoding", help,
    runEncoding<RFC_BASE_ENCODING_BASE32> } };
rfccli::Registration base32hex { { "base32hex", "base32hex [-d] [OPTIONS] [FILE]",
    "RFC 4648 base32 with the extended hex alphabet", help, runEncoding<RFC_BASE_ENCODING_BASE32HEX> } };
rfccli::Registration base64 { { "base64", "base64 [-d] [OPTIONS] [FILE]", "RFC 4648 base64 encoding and decoding", help,
    runEncoding<RFC_BASE_ENCODING_BASE64> } };
rfccli::Registration base64url { { "base64url", "base64url [-d] [OPTIONS] [FILE]",
    "RFC 4648 base64 with the URL- and filename-safe alphabet", help, runEncoding<RFC_BASE_ENCODING_BASE64URL> } };

} // namespace
