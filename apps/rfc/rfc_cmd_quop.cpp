// rfc qp: quoted-printable encoding and decoding of a file or standard input.
#include "rfc_cli.h"

#include <rfc/quop/rfc_quop.h>

#include <cerrno>
#include <cstring>
#include <iterator>
#include <optional>

namespace {

constexpr const char *command = "qp";

int usageError(const std::string &message)
{
    return rfccli::usageError(command, message);
}

struct NlfName {
    const char *name;
    PB_INT nlf;
};
constexpr NlfName nlfNames[] = {
    { "lf", PB_NLF_FLAG_LF },
    { "cr", PB_NLF_FLAG_CR },
    { "crlf", PB_NLF_FLAG_CRLF },
    { "vt", PB_NLF_FLAG_VT },
    { "ff", PB_NLF_FLAG_FF },
    { "none", 0 },
};

// "crlf", "lf,cr", "none": newline kinds joined by commas.
bool parseNlfList(const std::string &text, PB_INT &nlf)
{
    nlf = 0;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(',', start);
        std::string item = text.substr(start, end - start);
        start = end == std::string::npos ? text.size() + 1 : end + 1;
        bool known = false;
        for (const NlfName &kind : nlfNames) {
            if (item == kind.name) {
                nlf |= kind.nlf;
                known = true;
            }
        }
        if (!known)
            return false;
    }
    return true;
}

bool parseNlfOne(const std::string &text, PB_INT &nlf)
{
    for (const NlfName &kind : nlfNames) {
        if (text == kind.name) {
            nlf = kind.nlf;
            return true;
        }
    }
    return false;
}

// What a refusal kind means and the option that accepts it.
struct RefusalText {
    PB_INT kind;
    const char *reason;
    const char *option;
};
constexpr RefusalText refusalTexts[] = {
    { RFC_QUOP_DECODE_REFUSAL_CONTROL, "a control byte or a line break not named by --input-nlf", "--ignore-control" },
    { RFC_QUOP_DECODE_REFUSAL_NON_ASCII, "a byte above 126", "--ignore-non-ascii" },
    { RFC_QUOP_DECODE_REFUSAL_INVALID_ENCODING, "an \"=\" that starts neither an escape nor a soft line break",
        "--accept-invalid" },
    { RFC_QUOP_DECODE_REFUSAL_SMALL_HEX_DIGITS, "an escape with lower-case hexadecimal digits", "--accept-small-hex" },
    { RFC_QUOP_DECODE_REFUSAL_LINE_TOO_LONG, "an input line longer than --max-line-length",
        "a larger --max-line-length or --no-max-line-length" },
    { RFC_QUOP_DECODE_REFUSAL_SPILL_UNREADABLE, "the temporary file holding back white space could not be read back",
        nullptr },
};

// The tool's sentence for the library's refusal.
std::string explain(const RFC_QUOP_DECODE_REFUSAL &refusal)
{
    for (const RefusalText &text : refusalTexts)
        if (text.kind == refusal.kind)
            return std::string("input refused at offset ") + std::to_string(refusal.offset) + ": " + text.reason
                + (text.option ? std::string(" (") + text.option + " accepts it)" : std::string());
    return "input refused at offset " + std::to_string(refusal.offset);
}

// White space that a decode holds back, until what follows shows whether it
// is data, moves to a temporary file past this size of its summary.
constexpr PB_INT spillLimit = PB_INT { 256 } << 10;

constexpr const char *help =
    "Encodes FILE (standard input when none is named or for -) as quoted-printable\n"
    "text, or decodes it with -d. Works in bounded memory on input of any size.\n"
    "Line breaks: LF and CR LF are recognised in the input and LF is written, or CR LF\n"
    "with --crlf; --input-nlf and --output-nlf name the kinds exactly (lf, cr, crlf,\n"
    "vt, ff; input kinds joined by commas; none).\n"
    "  -d, --decode               decode instead of encoding\n"
    "      --crlf                 write CR LF line breaks\n"
    "      --input-nlf KINDS      the line breaks recognised in the input\n"
    "      --output-nlf KIND      the line break written\n"
    "      --trailing-nlf         end the output with a line break\n"
    "encoding:\n"
    "  -l, --line-length N        longest encoded line, at least 1 (default 76)\n"
    "      --no-line-length       no soft line breaks\n"
    "decoding (strict by default):\n"
    "      --max-line-length N    refuse input lines longer than N (at least 4)\n"
    "      --no-max-line-length   no limit (the default)\n"
    "      --accept-small-hex     accept lower-case hexadecimal digits\n"
    "      --accept-invalid       keep an \"=\" that starts no escape as it is\n"
    "      --ignore-control       skip control bytes\n"
    "      --ignore-non-ascii     skip bytes above 126\n"
    "Decoding writes the bytes decoded before refused input, then refuses (exit 1)\n"
    "with the reason and its offset. White space that ends the output so far is held\n"
    "back until what follows shows it to be data; past 256 KiB of its summary (2 MB\n"
    "of it or more) it is held in an unnamed temporary file in $TMPDIR (or /tmp).\n";

int runQuop(const std::vector<std::string> &args)
{
    bool decode = false;
    std::string path;
    bool havePath = false;
    rfccli::Held<RFC_QUOP_OPTIONS> opt(rfcQuopOptionsCreate());
    PB_INT decodeFlags = 0;
    bool trailing = false;
    bool haveInputNlf = false, haveOutputNlf = false;
    // The platform's defaults: LF or CR LF in, LF out.
    PB_INT inputNlf = PB_NLF_FLAG_LF | PB_NLF_FLAG_CRLF, outputNlf = PB_NLF_FLAG_LF;
    bool encodeOnly = false, decodeOnly = false;
    std::optional<PB_INT> lineLength, maxLineLength;
    bool noLineLength = false, noMaxLineLength = false;

    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string &arg = args[i];
        auto value = [&](std::string &out) {
            if (i + 1 >= args.size())
                return false;
            out = args[++i];
            return true;
        };
        std::string text;
        PB_INT number = 0;
        if (arg == "-d" || arg == "--decode") {
            decode = true;
        } else if (arg == "-l" || arg == "--line-length") {
            if (!value(text) || !rfccli::parseInt(text, number, 1, PB_INT_MAX))
                return usageError(arg + " needs a line length of at least 1");
            lineLength = number;
            encodeOnly = true;
        } else if (arg == "--no-line-length") {
            noLineLength = true;
            encodeOnly = true;
        } else if (arg == "--max-line-length") {
            if (!value(text) || !rfccli::parseInt(text, number, 4, PB_INT_MAX))
                return usageError(arg + " needs a line length of at least 4");
            maxLineLength = number;
            decodeOnly = true;
        } else if (arg == "--no-max-line-length") {
            noMaxLineLength = true;
            decodeOnly = true;
        } else if (arg == "--input-nlf") {
            if (!value(text) || !parseNlfList(text, inputNlf))
                return usageError(arg + " needs newline kinds from lf, cr, crlf, vt, ff, joined by commas, or none");
            haveInputNlf = true;
        } else if (arg == "--output-nlf") {
            if (!value(text) || !parseNlfOne(text, outputNlf))
                return usageError(arg + " needs one of lf, cr, crlf, vt, ff, none");
            haveOutputNlf = true;
        } else if (arg == "--crlf") {
            outputNlf = PB_NLF_FLAG_CRLF;
            haveOutputNlf = true;
        } else if (arg == "--trailing-nlf") {
            trailing = true;
        } else if (arg == "--accept-small-hex") {
            decodeFlags |= RFC_QUOP_FLAG_DECODE_ACCEPT_SMALL_HEX_DIGITS;
        } else if (arg == "--accept-invalid") {
            decodeFlags |= RFC_QUOP_FLAG_DECODE_ACCEPT_INVALID_ENCODING;
        } else if (arg == "--ignore-control") {
            decodeFlags |= RFC_QUOP_FLAG_DECODE_IGNORE_CONTROL;
        } else if (arg == "--ignore-non-ascii") {
            decodeFlags |= RFC_QUOP_FLAG_DECODE_IGNORE_NON_ASCII;
        } else if (arg == "--") {
            if (i + 2 < args.size() || (i + 1 < args.size() && havePath))
                return usageError("more than one input file");
            if (i + 1 < args.size()) {
                path = args[i + 1];
                havePath = true;
            }
            break;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return usageError("unknown option \"" + arg + "\"");
        } else if (!havePath) {
            path = arg;
            havePath = true;
        } else {
            return usageError("more than one input file");
        }
    }
    (void)haveInputNlf;
    (void)haveOutputNlf;
    if (decodeFlags)
        decodeOnly = true;
    if (decode && encodeOnly)
        return usageError("the output line length applies to encoding only");
    if (!decode && decodeOnly)
        return usageError("the decoder options need -d");

    std::string error;
    if (!decode) {
        rfcQuopOptionsSetEncodeInputNlf(opt.addr(), inputNlf);
        rfcQuopOptionsSetEncodeOutputNlf(opt.addr(), outputNlf);
        if (lineLength)
            rfcQuopOptionsSetEncodeOutputLineLength(opt.addr(), *lineLength);
        if (noLineLength)
            rfcQuopOptionsDelEncodeOutputLineLength(opt.addr());
        if (trailing)
            rfcQuopOptionsSetFlags(opt.addr(), RFC_QUOP_FLAG_ENCODE_ENSURE_TRAILING_NLF);
        RFC_QUOP_ENCODE_STREAM *stream = rfcQuopEncodeStreamCreate(opt.get());
        bool read = rfccli::readChunks(
            path,
            [&](const PB_BYTE *bytes, std::size_t count) {
                rfccli::Held<PB_BUFFER> out(rfcQuopEncodeStreamWrite(stream, bytes, PB_INT(count)));
                rfccli::writeOut(out.get());
                return true;
            },
            error);
        rfccli::Held<PB_BUFFER> out(rfcQuopEncodeStreamFinish(stream));
        rfcQuopEncodeStreamFree(stream);
        if (!read) {
            rfccli::complain(command, error);
            return rfccli::exitRefused;
        }
        rfccli::writeOut(out.get());
        return rfccli::exitOk;
    }

    rfcQuopOptionsSetDecodeInputNlf(opt.addr(), inputNlf);
    rfcQuopOptionsSetDecodeOutputNlf(opt.addr(), outputNlf);
    if (maxLineLength)
        rfcQuopOptionsSetDecodeMaxInputLineLength(opt.addr(), *maxLineLength);
    if (noMaxLineLength)
        rfcQuopOptionsDelDecodeMaxInputLineLength(opt.addr());
    rfcQuopOptionsSetFlags(opt.addr(), decodeFlags | (trailing ? RFC_QUOP_FLAG_DECODE_ENSURE_TRAILING_NLF : 0));
    RFC_QUOP_DECODE_STREAM *stream = rfcQuopDecodeStreamCreate(opt.get());
    rfcQuopDecodeStreamSetSpillLimit(stream, spillLimit);
    RFC_QUOP_DECODE_REFUSAL refusal {};
    bool read = rfccli::readChunks(
        path,
        [&](const PB_BYTE *bytes, std::size_t count) {
            rfccli::Held<PB_BUFFER> out(rfcQuopDecodeStreamWrite(stream, bytes, PB_INT(count)));
            // A long run of white space that turned out to be data comes in
            // portions: take them all before the next read.
            while (pbBufferLength(out.get()) > 0) {
                rfccli::writeOut(out.get());
                out = rfccli::Held<PB_BUFFER>(rfcQuopDecodeStreamWrite(stream, nullptr, 0));
            }
            return !rfcQuopDecodeStreamRefusal(stream, &refusal);
        },
        error);
    if (read && !rfcQuopDecodeStreamRefusal(stream, &refusal)) {
        // The end of the text may show a long run of white space to be
        // data: it comes in portions too.
        rfccli::Held<PB_BUFFER> out(rfcQuopDecodeStreamFinish(stream));
        while (pbBufferLength(out.get()) > 0) {
            rfccli::writeOut(out.get());
            out = rfccli::Held<PB_BUFFER>(rfcQuopDecodeStreamWrite(stream, nullptr, 0));
        }
    }
    const bool refused = rfcQuopDecodeStreamRefusal(stream, &refusal);
    rfcQuopDecodeStreamFree(stream);
    if (!read) {
        rfccli::complain(command, error);
        return rfccli::exitRefused;
    }
    if (refused) {
        rfccli::complain(command, explain(refusal));
        return rfccli::exitRefused;
    }
    return rfccli::exitOk;
}

rfccli::Registration registration { { command, "qp [-d] [OPTIONS] [FILE]",
    "quoted-printable (RFC 2045) encoding, or decoding with -d", help, runQuop } };

} // namespace
