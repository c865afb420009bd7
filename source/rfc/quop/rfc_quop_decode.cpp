// The quoted-printable decoder: printable ASCII and white space are copied,
// "=" and two hexadecimal digits become one byte, "=" in front of a line
// break (a soft line break) disappears, recognised line breaks become the
// chosen output line break and white space at the end of a line is removed.
// Strict by default, lenient by flags; refused input gives null.
#include "rfc_quop.h"
#include "rfc_quop_nlf.h"
#include "rfc_quop_scan.h"

#include "../rfc_frame.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

namespace {

using namespace rfc::quop;

constexpr PB_INT noLimit = -1;

// The digits of an escape; lower-case letters are their small forms.
constexpr std::string_view hexDigits = "0123456789ABCDEF";

} // namespace

// The value (0 to 15) of a hexadecimal digit, or -1. Lower-case letters count
// only when acceptSmall is true.
constexpr PB_INT rfc___QuopDecodeHexDigitValue(PB_INT byte, PB_BOOL acceptSmall)
{
    for (std::size_t d = 0; d < hexDigits.size(); ++d) {
        const PB_INT digit = static_cast<PB_BYTE>(hexDigits[d]);
        const bool letter = digit >= 'A' && digit <= 'F';
        if (byte == digit || (acceptSmall && letter && byte == digit - 'A' + 'a'))
            return static_cast<PB_INT>(d);
    }
    return -1;
}

namespace {

// The digit value of every byte, once for each case rule, so that the main
// loop looks each digit up once.
constexpr std::array<signed char, 256> hexTable(PB_BOOL acceptSmall)
{
    std::array<signed char, 256> table {};
    for (std::size_t v = 0; v < table.size(); ++v)
        table[v] = static_cast<signed char>(rfc___QuopDecodeHexDigitValue(static_cast<PB_INT>(v), acceptSmall));
    return table;
}

constexpr std::array<signed char, 256> hexUpper = hexTable(PB_FALSE);
constexpr std::array<signed char, 256> hexBoth = hexTable(PB_TRUE);
static_assert(hexUpper['F'] == 15 && hexUpper['f'] == -1 && hexBoth['f'] == 15 && hexBoth['G'] == -1);
static_assert(hexUpper['0'] == 0 && hexUpper['9'] == 9 && hexUpper['/'] == -1 && hexUpper[':'] == -1);

// The bytes a 1-byte line break of the input may grow to (CR LF for a CR)
// bound the output at twice the input, plus a trailing line break.
constexpr PB_INT maxDecodableLength = (PB_INT_MAX - 2 - PB_INT(copySlack)) / 2;

} // namespace

namespace {

// Decodes the quoted-printable text in source under the settings of opt
// (both borrowed). Returns a new buffer owned by the caller, or null when the
// input is refused; then nothing has been kept. The output is written into
// one allocation bounded from the input length; the white space at its end is
// counted while it is copied, so removing it means stepping back.
// When a refusal is asked for (withRefusal), the reason and offset are
// written to *refusal; otherwise the reason is not even computed.
template <bool withRefusal>
PB_BUFFER *decode(PB_BUFFER *source, RFC_QUOP_OPTIONS *opt, RFC_QUOP_DECODE_REFUSAL *refusal)
{

    const PB_INT inputNlf = rfcQuopOptionsDecodeInputNlf(opt);
    const PB_INT outputNlf = rfcQuopOptionsDecodeOutputNlf(opt);
    const PB_INT maxLine = rfcQuopOptionsDecodeMaxInputLineLength(opt);
    const PB_INT flags = rfcQuopOptionsFlags(opt);
    const bool translate = inputNlf != 0 && outputNlf != 0;
    const bool limited = maxLine != noLimit;
    const bool ignoreControl = flags & RFC_QUOP_FLAG_DECODE_IGNORE_CONTROL;
    const bool ignoreNonAscii = flags & RFC_QUOP_FLAG_DECODE_IGNORE_NON_ASCII;
    const bool acceptInvalid = flags & RFC_QUOP_FLAG_DECODE_ACCEPT_INVALID_ENCODING;
    const bool ensureTrailingNlf = flags & RFC_QUOP_FLAG_DECODE_ENSURE_TRAILING_NLF;
    const std::array<signed char, 256> &hex =
        (flags & RFC_QUOP_FLAG_DECODE_ACCEPT_SMALL_HEX_DIGITS) ? hexBoth : hexUpper;
    const NlfBytes nl = nlfBytes(outputNlf);

    const PB_INT length = pbBufferLength(source);
    PB_ASSERT( length <= maxDecodableLength );
    const PB_BYTE *src = pbBufferBacking(source);
    const std::size_t n = static_cast<std::size_t>(length);

    // Each input byte yields at most one output byte, except a one-byte
    // input line break written as two.
    const bool mayGrow = translate && nl.length > 1 && nlfHasSingleByteKind(inputNlf);
    const std::size_t bound = (mayGrow ? 2 * n : n) + nl.length;
    auto *out = static_cast<PB_BYTE *>(pbMemAlloc(static_cast<PB_INT>(bound + copySlack)));
    PB_BYTE *w = out;

    PB_INT lineCount = 0;      // input bytes of the current line, as counted for the limit
    std::size_t trailing = 0;  // white space copied at the end of the output
    enum class End { data, hardBreak, softBreak } end = End::data;

    // Both bytes are stored whatever the length; the slack covers the
    // second.
    auto writeNl = [&]() {
        w[0] = nl.bytes[0];
        w[1] = nl.bytes[1];
        w += nl.length;
    };
    auto refuse = [&](PB_INT kind, std::size_t offset) -> PB_BUFFER * {
        if constexpr (withRefusal) {
            refusal->kind = kind;
            refusal->offset = static_cast<PB_INT>(offset);
        }
        pbMemFree(out);
        return nullptr;
    };

    std::size_t i = 0;
    while (i < n) {
        // A run of literal bytes and white space, copied as it is.
        // With a limit, a run is copied no further than the byte that takes
        // the line past it, so an over-long line is refused there.
        const std::size_t runMax = limited ? std::min(n - i, static_cast<std::size_t>(maxLine - lineCount) + 1) : n - i;
        if (std::size_t run = copyPlainRun(src + i, runMax, w)) {
            w += run;
            std::size_t ws = 0;
            while (ws < run && isWhiteSpace(src[i + run - 1 - ws]))
                ++ws;
            trailing = ws == run ? trailing + run : ws;
            lineCount += static_cast<PB_INT>(run);
            i += run;
            end = End::data;
            if (limited && lineCount > maxLine)
                return refuse(RFC_QUOP_DECODE_REFUSAL_LINE_TOO_LONG, i - 1);
            if (i == n)
                break;
        }

        const PB_BYTE v = src[i];
        if (v == byteEquals) {
            // Escapes first, and one after another: a hexadecimal digit never
            // starts a line break, so this order decides as the rules do.
            if (i + 2 < n && (hex[src[i + 1]] | hex[src[i + 2]]) >= 0) {
                do {
                    *w++ = static_cast<PB_BYTE>(hex[src[i + 1]] << 4 | hex[src[i + 2]]);
                    lineCount += 3;
                    i += 3;
                    if (limited && lineCount > maxLine)
                        return refuse(RFC_QUOP_DECODE_REFUSAL_LINE_TOO_LONG, i - 3);
                } while (i + 2 < n && src[i] == byteEquals && (hex[src[i + 1]] | hex[src[i + 2]]) >= 0);
                trailing = 0;
                end = End::data;
                continue;
            }
            // Soft line breaks are recognised under the input set even when
            // line breaks are not translated.
            if (std::size_t k = nlfLength(src, i + 1, n, inputNlf)) {
                if (limited && lineCount >= maxLine)
                    return refuse(RFC_QUOP_DECODE_REFUSAL_LINE_TOO_LONG, i);
                i += 1 + k;
                lineCount = 0;
                trailing = 0;
                end = End::softBreak;
                continue;
            }
            if (!acceptInvalid) {
                // Lower-case digits that the small-digit flag would take
                // are told apart from other faults.
                const bool small = i + 2 < n && (hexBoth[src[i + 1]] | hexBoth[src[i + 2]]) >= 0;
                return refuse(small ? RFC_QUOP_DECODE_REFUSAL_SMALL_HEX_DIGITS : RFC_QUOP_DECODE_REFUSAL_INVALID_ENCODING, i);
            }
            // The "=" stands for itself; what follows is decoded anew.
            *w++ = byteEquals;
            lineCount += 1;
            trailing = 0;
            i += 1;
        } else if (std::size_t k = translate ? nlfLength(src, i, n, inputNlf) : 0) {
            // A hard line break ends the line and its trailing white space.
            w -= trailing;
            writeNl();
            i += k;
            lineCount = 0;
            trailing = 0;
            end = End::hardBreak;
            continue;
        } else if (v > byteTilde) {
            // DEL and every byte above it; the control flag does not reach
            // them.
            if (!ignoreNonAscii)
                return refuse(RFC_QUOP_DECODE_REFUSAL_NON_ASCII, i);
            ++i;
        } else {
            // A control byte that is not a recognised line break.
            if (!ignoreControl)
                return refuse(RFC_QUOP_DECODE_REFUSAL_CONTROL, i);
            ++i;
        }
        end = End::data;
        if (limited && lineCount > maxLine)
            return refuse(RFC_QUOP_DECODE_REFUSAL_LINE_TOO_LONG, i - 1);
    }

    switch (end) {
    case End::data:
        if (translate) {
            w -= trailing;
            if (ensureTrailingNlf)
                writeNl();
        }
        break;
    case End::softBreak:
        // White space in front of the "=" is data and stays.
        if (translate && ensureTrailingNlf)
            writeNl();
        break;
    case End::hardBreak:
        break;
    }

    const auto written = static_cast<PB_INT>(w - out);
    if (written == 0) {
        pbMemFree(out);
        return pbBufferCreate();
    }
    // The bound is close unless line breaks could have grown; only a wide
    // miss is worth giving back.
    if (static_cast<std::size_t>(written) < bound / 2)
        out = static_cast<PB_BYTE *>(pbMemRealloc(out, written));
    return pbBufferCreateFromBytesUse(out, written);
}

} // namespace

extern "C" {

// Decodes the quoted-printable text in source under the settings of opt
// (both borrowed): a new buffer owned by the caller, or null when the input
// is refused.
RFC_API PB_BUFFER *rfcQuopTryDecodeWithOptions(PB_BUFFER *source, RFC_QUOP_OPTIONS *opt)
{
    PB_ASSERT( source );
    PB_ASSERT( opt );
    return decode<false>(source, opt, nullptr);
}

// As rfcQuopTryDecodeWithOptions; on refusal also says why and where in
// *refusal, which is left alone when the input is accepted.
RFC_API PB_BUFFER *rfcQuopTryDecodeWithRefusal(PB_BUFFER *source, RFC_QUOP_OPTIONS *opt, RFC_QUOP_DECODE_REFUSAL *refusal)
{
    PB_ASSERT( source );
    PB_ASSERT( opt );
    PB_ASSERT( refusal );
    return decode<true>(source, opt, refusal);
}

// The name of a refusal kind ("RFC_QUOP_DECODE_REFUSAL_CONTROL"), a static
// text; "unknown" for a value that is no kind.
RFC_API const char *rfcQuopDecodeRefusalKindToString(PB_INT kind)
{
    switch (kind) {
    case RFC_QUOP_DECODE_REFUSAL_CONTROL:
        return "RFC_QUOP_DECODE_REFUSAL_CONTROL";
    case RFC_QUOP_DECODE_REFUSAL_NON_ASCII:
        return "RFC_QUOP_DECODE_REFUSAL_NON_ASCII";
    case RFC_QUOP_DECODE_REFUSAL_INVALID_ENCODING:
        return "RFC_QUOP_DECODE_REFUSAL_INVALID_ENCODING";
    case RFC_QUOP_DECODE_REFUSAL_SMALL_HEX_DIGITS:
        return "RFC_QUOP_DECODE_REFUSAL_SMALL_HEX_DIGITS";
    case RFC_QUOP_DECODE_REFUSAL_LINE_TOO_LONG:
        return "RFC_QUOP_DECODE_REFUSAL_LINE_TOO_LONG";
    default:
        return "unknown";
    }
}

RFC_API PB_BUFFER *rfcQuopTryDecode(PB_BUFFER *source)
{
    pb::Ref<RFC_QUOP_OPTIONS> opt(rfcQuopOptionsCreate());
    return rfcQuopTryDecodeWithOptions(source, opt.get());
}

RFC_API PB_BUFFER *rfcQuopTryDecodeWithFlags(PB_BUFFER *source, PB_INT flags)
{
    pb::Ref<RFC_QUOP_OPTIONS> opt(rfcQuopOptionsCreate());
    rfcQuopOptionsSetFlags(opt.addr(), flags);
    return rfcQuopTryDecodeWithOptions(source, opt.get());
}

// Decodes the string's code points taken as bytes (pbStringConvertToAscii).
RFC_API PB_BUFFER *rfcQuopTryDecodeStringWithOptions(PB_STRING *string, RFC_QUOP_OPTIONS *opt)
{
    PB_ASSERT( string );
    PB_INT count = 0;
    PB_BYTE *bytes = pbStringConvertToAscii(string, 0, &count);
    pb::Ref<PB_BUFFER> source(pbBufferCreateFromBytesUse(bytes, count));
    return rfcQuopTryDecodeWithOptions(source.get(), opt);
}

RFC_API PB_BUFFER *rfcQuopTryDecodeString(PB_STRING *string)
{
    pb::Ref<RFC_QUOP_OPTIONS> opt(rfcQuopOptionsCreate());
    return rfcQuopTryDecodeStringWithOptions(string, opt.get());
}

RFC_API PB_BUFFER *rfcQuopTryDecodeStringWithFlags(PB_STRING *string, PB_INT flags)
{
    pb::Ref<RFC_QUOP_OPTIONS> opt(rfcQuopOptionsCreate());
    rfcQuopOptionsSetFlags(opt.addr(), flags);
    return rfcQuopTryDecodeStringWithOptions(string, opt.get());
}

} // extern "C"
