// The quoted-printable decoder: printable ASCII and white space are copied,
// "=" and two hexadecimal digits become one byte, "=" in front of a line
// break (a soft line break) disappears, recognised line breaks become the
// chosen output line break and white space at the end of a line is removed.
// Strict by default, lenient by flags; refused input gives null.
#include "rfc_quop.h"
#include "rfc_quop_decode_core.h"

#include "../rfc_frame.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

namespace {

using namespace rfc::quop;

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

} // namespace

namespace rfc::quop {

const std::array<signed char, 256> decodeHexUpper = hexUpper;
const std::array<signed char, 256> decodeHexBoth = hexBoth;

} // namespace rfc::quop

namespace {

// The bytes a 1-byte line break of the input may grow to (CR LF for a CR)
// bound the output at twice the input, plus a trailing line break.
constexpr PB_INT maxDecodableLength = (PB_INT_MAX - 2 - PB_INT(copySlack)) / 2;

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
    const DecodeSettings settings(opt);
    const PB_INT length = pbBufferLength(source);
    PB_ASSERT( length <= maxDecodableLength );
    const std::size_t n = static_cast<std::size_t>(length);
    const std::size_t bound = settings.outputBound(n);
    auto *out = static_cast<PB_BYTE *>(pbMemAlloc(static_cast<PB_INT>(bound)));
    PB_BYTE *w = out;
    const auto dropTrailing = [](PB_BYTE *&at, std::size_t trailing) { at -= trailing; };

    DecodeState state;
    if (decodeSpan<withRefusal>(settings, state, pbBufferBacking(source), n, n, true, w, dropTrailing, refusal).refused) {
        pbMemFree(out);
        return nullptr;
    }
    decodeEnd(settings, state, w, dropTrailing);

    const auto written = static_cast<PB_INT>(w - out);
    if (written == 0) {
        pbMemFree(out);
        return pbBufferCreate();
    }
    // The bound is close unless line breaks could have grown; only a wide
    // miss is worth giving back.
    if (static_cast<std::size_t>(written) < (bound - copySlack) / 2)
        out = static_cast<PB_BYTE *>(pbMemRealloc(out, written));
    return pbBufferCreateFromBytesUse(out, written);
}

} // namespace

extern "C" {

// Decodes the quoted-printable text in source under the settings of opt
// (both borrowed): a new buffer owned by the caller, or null when the input
// is refused.
RFC_API PB_BUFFER *rfcQuopTryDecodeWithOptions(PB_BUFFER *source, RFC_QUOP_OPTIONS *opt) noexcept
{
    PB_ASSERT( source );
    PB_ASSERT( opt );
    return decode<false>(source, opt, nullptr);
}

// As rfcQuopTryDecodeWithOptions; on refusal also says why and where in
// *refusal, which is left alone when the input is accepted.
RFC_API PB_BUFFER *rfcQuopTryDecodeWithRefusal(PB_BUFFER *source, RFC_QUOP_OPTIONS *opt,
    RFC_QUOP_DECODE_REFUSAL *refusal) noexcept
{
    PB_ASSERT( source );
    PB_ASSERT( opt );
    PB_ASSERT( refusal );
    return decode<true>(source, opt, refusal);
}

// The name of a refusal kind ("RFC_QUOP_DECODE_REFUSAL_CONTROL"), a static
// text; "unknown" for a value that is no kind.
RFC_API const char *rfcQuopDecodeRefusalKindToString(PB_INT kind) noexcept
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
    case RFC_QUOP_DECODE_REFUSAL_SPILL_UNREADABLE:
        return "RFC_QUOP_DECODE_REFUSAL_SPILL_UNREADABLE";
    default:
        return "unknown";
    }
}

RFC_API PB_BUFFER *rfcQuopTryDecode(PB_BUFFER *source) noexcept
{
    pb::Ref<RFC_QUOP_OPTIONS> opt(rfcQuopOptionsCreate());
    return rfcQuopTryDecodeWithOptions(source, opt.get());
}

RFC_API PB_BUFFER *rfcQuopTryDecodeWithFlags(PB_BUFFER *source, PB_INT flags) noexcept
{
    pb::Ref<RFC_QUOP_OPTIONS> opt(rfcQuopOptionsCreate());
    rfcQuopOptionsSetFlags(opt.addr(), flags);
    return rfcQuopTryDecodeWithOptions(source, opt.get());
}

// Decodes the string's code points taken as bytes (pbStringConvertToAscii).
RFC_API PB_BUFFER *rfcQuopTryDecodeStringWithOptions(PB_STRING *string, RFC_QUOP_OPTIONS *opt) noexcept
{
    PB_ASSERT( string );
    PB_INT count = 0;
    PB_BYTE *bytes = pbStringConvertToAscii(string, 0, &count);
    pb::Ref<PB_BUFFER> source(pbBufferCreateFromBytesUse(bytes, count));
    return rfcQuopTryDecodeWithOptions(source.get(), opt);
}

RFC_API PB_BUFFER *rfcQuopTryDecodeString(PB_STRING *string) noexcept
{
    pb::Ref<RFC_QUOP_OPTIONS> opt(rfcQuopOptionsCreate());
    return rfcQuopTryDecodeStringWithOptions(string, opt.get());
}

RFC_API PB_BUFFER *rfcQuopTryDecodeStringWithFlags(PB_STRING *string, PB_INT flags) noexcept
{
    pb::Ref<RFC_QUOP_OPTIONS> opt(rfcQuopOptionsCreate());
    rfcQuopOptionsSetFlags(opt.addr(), flags);
    return rfcQuopTryDecodeStringWithOptions(string, opt.get());
}

} // extern "C"
