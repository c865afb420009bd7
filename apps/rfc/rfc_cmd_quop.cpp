// rfc qp: quoted-printable encoding and decoding of a file or standard input.
#include "rfc_cli.h"

#include <rfc/quop/rfc_quop.h>

#include <cerrno>
#include <cstring>
#include <iterator>
#include <optional>

namespace {

constexpr const char *command = "qp";

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

// A decoder leniency: the flag (0 for the line-length limit), what it
// relaxes, and the option that asks for it.
struct Relaxation {
    PB_INT flag;
    const char *reason;
    const char *option;
};
// In the order in which a diagnosis tries to do without them: the broadest
// first, so that a narrower one is named where it suffices.
constexpr Relaxation relaxations[] = {
    { RFC_QUOP_FLAG_DECODE_ACCEPT_INVALID_ENCODING, "an \"=\" that starts neither an escape nor a soft line break",
        "--accept-invalid" },
    { RFC_QUOP_FLAG_DECODE_ACCEPT_SMALL_HEX_DIGITS, "an escape with lower-case hexadecimal digits",
        "--accept-small-hex" },
    { RFC_QUOP_FLAG_DECODE_IGNORE_NON_ASCII, "a byte above 126", "--ignore-non-ascii" },
    { RFC_QUOP_FLAG_DECODE_IGNORE_CONTROL, "a control byte or a line break not named by --input-nlf",
        "--ignore-control" },
    { 0, "an input line longer than --max-line-length", "a larger --max-line-length or --no-max-line-length" },
};

bool decodes(PB_BUFFER *source, RFC_QUOP_OPTIONS *base, PB_INT extraFlags, bool dropLimit)
{
    pb::Ref<RFC_QUOP_OPTIONS> opt(rfcQuopOptionsCreateFrom(base));
    rfcQuopOptionsSetFlags(opt.addr(), rfcQuopOptionsFlags(base) | extraFlags);
    if (dropLimit)
        rfcQuopOptionsDelDecodeMaxInputLineLength(opt.addr());
    pb::Ref<PB_BUFFER> decoded(rfcQuopTryDecodeWithOptions(source, opt.get()));
    return bool(decoded);
}

// Why the decoder refused the input: a smallest set of leniencies that makes
// it accept the input (all of them together always do), found by dropping
// each one that is not needed. One line naming the reasons and the options.
std::string diagnose(PB_BUFFER *source, RFC_QUOP_OPTIONS *opt)
{
    bool needed[std::size(relaxations)];
    PB_INT flags = 0;
    for (const Relaxation &r : relaxations)
        flags |= r.flag;
    bool dropLimit = true;
    for (std::size_t k = 0; k < std::size(relaxations); ++k) {
        const Relaxation &r = relaxations[k];
        bool ok = r.flag ? decodes(source, opt, flags & ~r.flag, dropLimit) : decodes(source, opt, flags, false);
        needed[k] = !ok;
        if (ok) {
            if (r.flag)
                flags &= ~r.flag;
            else
                dropLimit = false;
        }
    }
    std::string reasons, options;
    for (std::size_t k = 0; k < std::size(relaxations); ++k) {
        if (!needed[k])
            continue;
        reasons += (reasons.empty() ? "" : ", ") + std::string(relaxations[k].reason);
        options += (options.empty() ? "" : ", ") + std::string(relaxations[k].option);
    }
    return "input refused: " + reasons + " (relax with " + options + ")";
}

int usageError(const std::string &message)
{
    rfccli::complain(command, message + " (rfc --help shows the usage)");
    return 2;
}

int runQuop(const std::vector<std::string> &args)
{
    bool decode = false;
    std::string path;
    pb::Ref<RFC_QUOP_OPTIONS> opt(rfcQuopOptionsCreate());
    PB_INT decodeFlags = 0;
    bool trailing = false;
    bool haveInputNlf = false, haveOutputNlf = false;
    PB_INT inputNlf = 0, outputNlf = 0;
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
            if (!value(text) || !rfccli::parseInt(text, number) || number < 1)
                return usageError(arg + " needs a line length of at least 1");
            lineLength = number;
            encodeOnly = true;
        } else if (arg == "--no-line-length") {
            noLineLength = true;
            encodeOnly = true;
        } else if (arg == "--max-line-length") {
            if (!value(text) || !rfccli::parseInt(text, number) || number < 4)
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
        } else if (arg.size() > 1 && arg[0] == '-' && arg != "-") {
            return usageError("unknown option " + arg);
        } else if (path.empty()) {
            path = arg;
        } else {
            return usageError("more than one input file");
        }
    }
    if (decodeFlags)
        decodeOnly = true;
    if (decode && encodeOnly)
        return usageError("the output line length applies to encoding only");
    if (!decode && decodeOnly)
        return usageError("the decoder options need -d");

    std::string input, error;
    if (!rfccli::readAll(path, input, error)) {
        rfccli::complain(command, error);
        return 2;
    }
    pb::Ref<PB_BUFFER> source(
        pbBufferCreateFromBytesCopy(reinterpret_cast<const PB_BYTE *>(input.data()), PB_INT(input.size())));

    if (!decode) {
        if (haveInputNlf)
            rfcQuopOptionsSetEncodeInputNlf(opt.addr(), inputNlf);
        if (haveOutputNlf)
            rfcQuopOptionsSetEncodeOutputNlf(opt.addr(), outputNlf);
        if (lineLength)
            rfcQuopOptionsSetEncodeOutputLineLength(opt.addr(), *lineLength);
        if (noLineLength)
            rfcQuopOptionsDelEncodeOutputLineLength(opt.addr());
        if (trailing)
            rfcQuopOptionsSetFlags(opt.addr(), RFC_QUOP_FLAG_ENCODE_ENSURE_TRAILING_NLF);
        pb::Ref<PB_BUFFER> encoded(rfcQuopEncodeWithOptions(source.get(), opt.get()));
        if (!rfccli::writeOut(pbBufferBacking(encoded.get()), std::size_t(pbBufferLength(encoded.get())))) {
            rfccli::complain(command, std::string("cannot write standard output: ") + std::strerror(errno));
            return 2;
        }
        return 0;
    }

    if (haveInputNlf)
        rfcQuopOptionsSetDecodeInputNlf(opt.addr(), inputNlf);
    if (haveOutputNlf)
        rfcQuopOptionsSetDecodeOutputNlf(opt.addr(), outputNlf);
    if (maxLineLength)
        rfcQuopOptionsSetDecodeMaxInputLineLength(opt.addr(), *maxLineLength);
    if (noMaxLineLength)
        rfcQuopOptionsDelDecodeMaxInputLineLength(opt.addr());
    rfcQuopOptionsSetFlags(opt.addr(), decodeFlags | (trailing ? RFC_QUOP_FLAG_DECODE_ENSURE_TRAILING_NLF : 0));
    pb::Ref<PB_BUFFER> decoded(rfcQuopTryDecodeWithOptions(source.get(), opt.get()));
    if (!decoded) {
        rfccli::complain(command, diagnose(source.get(), opt.get()));
        return 1;
    }
    if (!rfccli::writeOut(pbBufferBacking(decoded.get()), std::size_t(pbBufferLength(decoded.get())))) {
        rfccli::complain(command, std::string("cannot write standard output: ") + std::strerror(errno));
        return 2;
    }
    return 0;
}

rfccli::Registration registration { { command,
    "qp [-d] [-l N | --no-line-length] [--input-nlf KINDS] [--output-nlf KIND] [--trailing-nlf] "
    "[--max-line-length N | --no-max-line-length] [--accept-small-hex] [--accept-invalid] [--ignore-control] "
    "[--ignore-non-ascii] [FILE]",
    "quoted-printable (RFC 2045) encoding, or decoding with -d, of FILE or standard input; newline kinds are lf, "
    "cr, crlf, vt, ff or none; refused input exits 1 with the reason",
    runQuop } };

} // namespace
