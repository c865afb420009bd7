// rfc base16|base32|base32hex|base64|base64url: encode a file to RFC 4648
// text, or decode such text back to bytes.
#include "rfc_cli.h"

#include <rfc/base/rfc_base.h>

namespace {

// A decoder option of the command line and the flag it sets.
struct DecodeOption {
    const char *name;
    PB_INT flag;
};

// In the order in which a failed decoding suggests them.
constexpr DecodeOption decodeOptions[] = {
    { "--accept-invalid-padding", RFC_BASE_FLAG_DECODE_ACCEPT_INVALID_PADDING },
    { "--ignore-white-space", RFC_BASE_FLAG_DECODE_IGNORE_WHITE_SPACE },
    { "--ignore-non-alphabet", RFC_BASE_FLAG_DECODE_IGNORE_NON_ALPHABET },
    { "--ignore-padding", RFC_BASE_FLAG_DECODE_IGNORE_PADDING },
    { "--accept-invalid-pad-bits", RFC_BASE_FLAG_DECODE_ACCEPT_INVALID_PAD_BITS },
    { "--accept-invalid-length", RFC_BASE_FLAG_DECODE_ACCEPT_INVALID_LENGTH },
};

struct NewlineName {
    const char *name;
    PB_INT nlf;
};

constexpr NewlineName newlineNames[] = {
    { "lf", PB_NLF_FLAG_LF }, { "cr", PB_NLF_FLAG_CR }, { "crlf", PB_NLF_FLAG_CRLF },
    { "vt", PB_NLF_FLAG_VT }, { "ff", PB_NLF_FLAG_FF }, { "none", 0 },
};

void usage(const char *command)
{
    std::fprintf(stderr,
        "usage: rfc %s [-d] [OPTIONS] [FILE]\n"
        "Encodes FILE (standard input when none is named) as %s text, or decodes it with -d.\n"
        "  -d, --decode               decode instead of encoding\n"
        "encoding:\n"
        "  -n, --no-padding           write no \"=\" padding\n"
        "  -w, --wrap COLS            characters per line (default 76; 0: one line)\n"
        "      --newline KIND         lf (default), cr, crlf, vt, ff or none (no wrapping)\n"
        "      --no-final-newline     do not end non-empty output with the newline\n"
        "decoding (strict by default, except that newlines are skipped):\n"
        "      --strict-newlines      refuse newlines too\n"
        "      --ignore-white-space   skip spaces and tabs\n"
        "  -i, --ignore-non-alphabet  skip every other byte outside the alphabet\n"
        "      --ignore-padding       drop \"=\" that more data follows\n"
        "      --accept-invalid-pad-bits  accept non-zero surplus bits (base64)\n"
        "      --accept-invalid-padding   accept missing or surplus \"=\"\n"
        "      --accept-invalid-length    accept a last group no byte count gives\n",
        command, command);
}

// Decodes text under flags; on malformed text says so on standard error,
// naming the one further option that would accept it when there is one.
int decode(const char *command, PB_INT encoding, const std::string &text, PB_INT flags)
{
    pb::Ref<PB_BUFFER> source(
        pbBufferCreateFromBytesCopy(reinterpret_cast<const PB_BYTE *>(text.data()), PB_INT(text.size())));
    pb::Ref<PB_BUFFER> bytes(rfcBaseTryDecodeWithFlags(source.get(), encoding, flags));
    if (!bytes) {
        // The one option that would accept the text, when there is one.
        std::string hint;
        if (!(flags & RFC_BASE_FLAG_DECODE_IGNORE_NLF)) {
            pb::Ref<PB_BUFFER> relaxed(
                rfcBaseTryDecodeWithFlags(source.get(), encoding, flags | RFC_BASE_FLAG_DECODE_IGNORE_NLF));
            if (relaxed)
                hint = " (it holds newlines: leave out --strict-newlines)";
        }
        for (const DecodeOption &option : decodeOptions) {
            if (!hint.empty())
                break;
            if (flags & option.flag)
                continue;
            pb::Ref<PB_BUFFER> relaxed(rfcBaseTryDecodeWithFlags(source.get(), encoding, flags | option.flag));
            if (relaxed)
                hint = std::string(" (") + option.name + " would accept it)";
        }
        std::string message = std::string("the input is not valid ") + command + " text" + hint;
        rfccli::complain(command, message);
        return 1;
    }
    if (!rfccli::writeOut(pbBufferBacking(bytes.get()), std::size_t(pbBufferLength(bytes.get())))) {
        rfccli::complain(command, "cannot write standard output");
        return 1;
    }
    return 0;
}

int encode(const char *command, PB_INT encoding, const std::string &data, RFC_BASE_OPTIONS *opt)
{
    pb::Ref<PB_BUFFER> source(
        pbBufferCreateFromBytesCopy(reinterpret_cast<const PB_BYTE *>(data.data()), PB_INT(data.size())));
    pb::Ref<PB_BUFFER> text(rfcBaseEncodeWithOptions(source.get(), encoding, opt));
    if (!rfccli::writeOut(pbBufferBacking(text.get()), std::size_t(pbBufferLength(text.get())))) {
        rfccli::complain(command, "cannot write standard output");
        return 1;
    }
    return 0;
}

int runBase(const char *command, PB_INT encoding, const std::vector<std::string> &args)
{
    bool decoding = false;
    bool padding = true;
    bool finalNewline = true;
    PB_INT lineLength = 76;
    PB_INT nlf = PB_NLF_FLAG_LF;
    PB_INT decodeFlags = RFC_BASE_FLAG_DECODE_IGNORE_NLF;
    std::string path;
    bool havePath = false;

    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string &arg = args[i];
        bool known = true;
        if (arg == "-h" || arg == "--help") {
            usage(command);
            return 0;
        } else if (arg == "-d" || arg == "--decode") {
            decoding = true;
        } else if (arg == "-n" || arg == "--no-padding") {
            padding = false;
        } else if (arg == "--no-final-newline") {
            finalNewline = false;
        } else if (arg == "--strict-newlines") {
            decodeFlags &= ~PB_INT { RFC_BASE_FLAG_DECODE_IGNORE_NLF };
        } else if (arg == "-i") {
            decodeFlags |= RFC_BASE_FLAG_DECODE_IGNORE_NON_ALPHABET;
        } else if (arg == "-w" || arg == "--wrap" || arg == "--newline") {
            if (i + 1 == args.size()) {
                rfccli::complain(command, arg + " needs a value");
                return 2;
            }
            const std::string &value = args[++i];
            if (arg == "--newline") {
                const NewlineName *found = nullptr;
                for (const NewlineName &name : newlineNames)
                    if (value == name.name)
                        found = &name;
                if (!found) {
                    rfccli::complain(command, "unknown newline \"" + value + "\" (lf, cr, crlf, vt, ff or none)");
                    return 2;
                }
                nlf = found->nlf;
            } else if (!rfccli::parseInt(value, lineLength) || lineLength < 0) {
                rfccli::complain(command, "the line length must be a number of at least 0, not \"" + value + "\"");
                return 2;
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
            if (i + 2 < args.size()) {
                rfccli::complain(command, "more than one file named");
                return 2;
            }
            if (i + 1 < args.size()) {
                path = args[i + 1];
                havePath = true;
            }
            break;
        }
        if (arg.size() > 1 && arg[0] == '-') {
            rfccli::complain(command, "unknown option \"" + arg + "\"");
            usage(command);
            return 2;
        }
        if (havePath) {
            rfccli::complain(command, "more than one file named");
            return 2;
        }
        path = arg;
        havePath = true;
    }

    std::string input;
    std::string error;
    if (!rfccli::readAll(havePath ? path : "-", input, error)) {
        rfccli::complain(command, error);
        return 1;
    }
    if (decoding)
        return decode(command, encoding, input, decodeFlags);

    // Like other tools of the kind, empty input gives empty output: the
    // final newline ends text, it is not written alone.
    PB_INT flags = (padding ? 0 : RFC_BASE_FLAG_ENCODE_OMIT_PADDING)
        | (finalNewline && !input.empty() ? RFC_BASE_FLAG_ENCODE_ENSURE_TRAILING_NLF : 0);
    pb::Ref<RFC_BASE_OPTIONS> opt(rfcBaseOptionsCreate());
    rfcBaseOptionsSetFlags(opt.addr(), flags);
    rfcBaseOptionsSetOutputNlf(opt.addr(), nlf);
    if (lineLength > 0)
        rfcBaseOptionsSetOutputLineLength(opt.addr(), lineLength);
    return encode(command, encoding, input, opt.get());
}

// The subcommand names, which are the RFC 4648 names, by encoding value.
constexpr const char *commandNames[] = { "base16", "base32", "base32hex", "base64", "base64url" };

template <PB_INT encoding>
int runEncoding(const std::vector<std::string> &args)
{
    return runBase(commandNames[encoding], encoding, args);
}

rfccli::Registration base16 { { "base16", "base16 [-d] [OPTIONS] [FILE]",
    "RFC 4648 base16 (hex) encoding and decoding (rfc base16 --help for options)",
    runEncoding<RFC_BASE_ENCODING_BASE16> } };
rfccli::Registration base32 { { "base32", "base32 [-d] [OPTIONS] [FILE]", "RFC 4648 base32 encoding and decoding",
    runEncoding<RFC_BASE_ENCODING_BASE32> } };
rfccli::Registration base32hex { { "base32hex", "base32hex [-d] [OPTIONS] [FILE]",
    "RFC 4648 base32 with the extended hex alphabet", runEncoding<RFC_BASE_ENCODING_BASE32HEX> } };
rfccli::Registration base64 { { "base64", "base64 [-d] [OPTIONS] [FILE]", "RFC 4648 base64 encoding and decoding",
    runEncoding<RFC_BASE_ENCODING_BASE64> } };
rfccli::Registration base64url { { "base64url", "base64url [-d] [OPTIONS] [FILE]",
    "RFC 4648 base64 with the URL- and filename-safe alphabet", runEncoding<RFC_BASE_ENCODING_BASE64URL> } };

} // namespace
