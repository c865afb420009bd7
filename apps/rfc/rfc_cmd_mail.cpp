// rfc mail-tokens: splits structured header text (RFC 822) into its tokens,
// prints them, and writes the header text back from them, folded on request.
#include "rfc_cli.h"

#include <rfc/mail/rfc_mail.h>

namespace {

constexpr const char *name = "mail-tokens";

const char *typeName(PB_INT type)
{
    switch (type) {
    case RFC_MAIL_SHF_TOKEN_TYPE_SPECIAL:
        return "special";
    case RFC_MAIL_SHF_TOKEN_TYPE_QUOTED_STRING:
        return "quoted-string";
    case RFC_MAIL_SHF_TOKEN_TYPE_DOMAIN_LITERAL:
        return "domain-literal";
    case RFC_MAIL_SHF_TOKEN_TYPE_COMMENT:
        return "comment";
    default:
        return "atom";
    }
}

// UTF-8 of a raw value on one line: control characters (folds inside quoted
// strings and comments among them) are shown as their Unicode control
// pictures, U+2400 to U+241F and U+2421 for DEL.
std::string visible(PB_STRING *raw)
{
    rfccli::Held<PB_STRING> shown(pbStringCreate());
    const PB_CHAR *chars = pbStringBacking(raw);
    for (PB_INT i = 0; i < pbStringLength(raw); ++i) {
        PB_CHAR ch = chars[i];
        if (ch < 0x20 || ch == 0x7F)
            ch = ch == 0x7F ? 0x2421 : 0x2400 + ch;
        pbStringAppendChar(shown.addr(), ch);
    }
    return rfccli::utf8(shown.get());
}

// The tool's sentence for the library's refusal.
std::string explain(const RFC_MAIL_SHF_TOKEN_VECTOR_DECODE_REFUSAL &refusal)
{
    std::string token = std::string(typeName(refusal.tokenType)) + " at offset " + std::to_string(refusal.tokenOffset);
    switch (refusal.kind) {
    case RFC_MAIL_SHF_TOKEN_VECTOR_DECODE_REFUSAL_UNTERMINATED:
        return "unterminated " + token + " (the text ends at offset " + std::to_string(refusal.offset) + " inside it)";
    case RFC_MAIL_SHF_TOKEN_VECTOR_DECODE_REFUSAL_BROKEN_LINE_BREAK:
        return "broken line break in the " + token + ": the CR at offset " + std::to_string(refusal.offset)
            + " is not followed by LF and a space or tab";
    case RFC_MAIL_SHF_TOKEN_VECTOR_DECODE_REFUSAL_NESTED_BRACKET:
        return "broken " + token + ": unescaped \"[\" at offset " + std::to_string(refusal.offset);
    default:
        return "the text does not decode";
    }
}

int usageError(const std::string &message)
{
    return rfccli::usageError(name, message);
}

constexpr const char *help =
    "Splits TEXT (standard input when none is given), UTF-8 structured header text,\n"
    "into tokens: one line per token, its type, a tab and its raw value (control\n"
    "characters as control pictures); then the text written back from the tokens.\n"
    "      --wrap N         fold lines longer than N characters (-1, the default: no\n"
    "                       folding)\n"
    "      --offset N       characters already on the first line (default 0)\n"
    "      --drop-comments  leave the comments out\n";

int runMailTokens(const std::vector<std::string> &args)
{
    PB_INT wrap = -1;
    PB_INT offset = 0;
    bool dropComments = false;
    bool haveText = false;
    std::string input;
    bool options = true;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string &arg = args[i];
        if (options && arg == "--") {
            options = false;
        } else if (options && (arg == "--wrap" || arg == "--offset")) {
            PB_INT value = 0;
            if (i + 1 >= args.size() || !rfccli::parseInt(args[i + 1], value, PB_INT_MIN, PB_INT_MAX))
                return usageError(arg + " needs a whole number");
            if (arg == "--wrap" ? value < -1 : value < 0)
                return usageError(arg == "--wrap" ? "--wrap is -1 (no folding) or more" : "--offset is 0 or more");
            (arg == "--wrap" ? wrap : offset) = value;
            ++i;
        } else if (options && arg == "--drop-comments") {
            dropComments = true;
        } else if (options && arg.size() > 1 && arg[0] == '-') {
            return usageError("unknown option " + arg);
        } else if (!haveText) {
            input = arg;
            haveText = true;
        } else {
            return usageError("one TEXT at most");
        }
    }
    if (!haveText) {
        std::string error;
        if (!rfccli::readAll("", input, error)) {
            rfccli::complain(name, error);
            return 1;
        }
    }

    rfccli::Held<PB_STRING> text(pbStringTryCreateFromUtf8(reinterpret_cast<const PB_BYTE *>(input.data()),
        static_cast<PB_INT>(input.size())));
    if (!text) {
        rfccli::complain(name, "the input is not valid UTF-8");
        return 1;
    }
    // The writer counts the characters of the first line from the offset
    // on: the offset and twice the text (characters and the spaces between
    // tokens) must fit in the runtime's integers.
    if (offset > PB_INT_MAX - 2 * pbStringLength(text.get()) - 2)
        return usageError("--offset " + std::to_string(offset) + " is too large for a text of "
            + std::to_string(pbStringLength(text.get())) + " characters");
    RFC_MAIL_SHF_TOKEN_VECTOR_DECODE_REFUSAL refusal {};
    rfccli::Held<PB_VECTOR> tokens(rfcMailShfTokenVectorTryDecodeWithRefusal(text.get(), &refusal));
    if (!tokens) {
        rfccli::complain(name, explain(refusal));
        return rfccli::exitRefused;
    }
    if (dropComments)
        rfcMailShfTokenVectorDelComments(tokens.addr());

    std::string out;
    for (PB_INT i = 0; i < pbVectorLength(tokens.get()); ++i) {
        rfccli::Held<PB_OBJ> element(pbVectorObjAt(tokens.get(), i));
        RFC_MAIL_SHF_TOKEN *tok = rfcMailShfTokenFrom(element.get());
        rfccli::Held<PB_STRING> raw(rfcMailShfTokenRawValue(tok));
        out += typeName(rfcMailShfTokenType(tok));
        out += '\t';
        out += visible(raw.get());
        out += '\n';
    }
    rfccli::Held<PB_STRING> encoded(rfcMailShfTokenVectorEncode(tokens.get(), wrap, offset));
    out += rfccli::utf8(encoded.get());
    out += '\n';
    rfccli::writeOut(out);
    return rfccli::exitOk;
}

static rfccli::Registration registration { { name, "mail-tokens [--wrap N] [--offset N] [--drop-comments] [TEXT]",
    "split RFC 822 structured header text (UTF-8) into tokens, print them and the text written back",
    help, runMailTokens } };

} // namespace
