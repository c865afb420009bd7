// Helpers of the quoted-printable tests and fuzz targets (runtime only, no
// test framework): options built from a compact row of settings, the encoder
// and decoder called on standard strings, and the round-trip property.
#ifndef QUOP_TEST_UTIL_H
#define QUOP_TEST_UTIL_H

#include <rfc/quop/rfc_quop.h>

#include <pb/pb_cpp.h>

#include <algorithm>
#include <optional>
#include <string>
#include <utility>

namespace quoptest {

inline constexpr PB_INT LF = PB_NLF_FLAG_LF;
inline constexpr PB_INT CR = PB_NLF_FLAG_CR;
inline constexpr PB_INT CRLF = PB_NLF_FLAG_CRLF;
inline constexpr PB_INT VT = PB_NLF_FLAG_VT;
inline constexpr PB_INT FF = PB_NLF_FLAG_FF;
inline constexpr PB_INT noLimit = -1;

// The settings of one direction; the defaults are those of a new options
// object. lineLength is the encoder's output line length or the decoder's
// maximum input line length.
struct Settings {
    PB_INT inputNlf = CRLF;
    PB_INT outputNlf = CRLF;
    PB_INT lineLength = 76;
    PB_INT flags = 0;
};

inline constexpr Settings decodeDefaults { CRLF, CRLF, noLimit, 0 };

// A new options object with the settings of one direction.
inline pb::Ref<RFC_QUOP_OPTIONS> options(const Settings &s, bool decoder)
{
    pb::Ref<RFC_QUOP_OPTIONS> opt(rfcQuopOptionsCreate());
    (decoder ? rfcQuopOptionsSetDecodeInputNlf : rfcQuopOptionsSetEncodeInputNlf)(opt.addr(), s.inputNlf);
    (decoder ? rfcQuopOptionsSetDecodeOutputNlf : rfcQuopOptionsSetEncodeOutputNlf)(opt.addr(), s.outputNlf);
    if (s.lineLength == noLimit)
        (decoder ? rfcQuopOptionsDelDecodeMaxInputLineLength : rfcQuopOptionsDelEncodeOutputLineLength)(opt.addr());
    else
        (decoder ? rfcQuopOptionsSetDecodeMaxInputLineLength : rfcQuopOptionsSetEncodeOutputLineLength)(
            opt.addr(), s.lineLength);
    rfcQuopOptionsSetFlags(opt.addr(), s.flags);
    return opt;
}

// The bytes of a new buffer, which is released; nullopt for null.
inline std::optional<std::string> take(PB_BUFFER *buffer)
{
    pb::Ref<PB_BUFFER> held(buffer);
    if (!held)
        return std::nullopt;
    return std::string(reinterpret_cast<const char *>(pbBufferBacking(buffer)), std::size_t(pbBufferLength(buffer)));
}

inline pb::Ref<PB_BUFFER> bufferOf(const std::string &bytes)
{
    return pb::Ref<PB_BUFFER>(
        pbBufferCreateFromBytesCopy(reinterpret_cast<const PB_BYTE *>(bytes.data()), PB_INT(bytes.size())));
}

inline std::string encode(const std::string &input, const Settings &settings = {})
{
    return *take(rfcQuopEncodeWithOptions(bufferOf(input).get(), options(settings, false).get()));
}

// The decoded bytes, or nullopt when the input is refused.
inline std::optional<std::string> decode(const std::string &input, const Settings &settings = decodeDefaults)
{
    return take(rfcQuopTryDecodeWithOptions(bufferOf(input).get(), options(settings, true).get()));
}

inline std::string rep(std::size_t n, char c = 'x')
{
    return std::string(n, c);
}

// The bytes each output newline value writes; none for any other value.
inline std::string nlText(PB_INT nlf)
{
    const std::pair<PB_INT, const char *> texts[] = { { LF, "\n" }, { CR, "\r" }, { CRLF, "\r\n" }, { VT, "\v" },
        { FF, "\f" } };
    for (const auto &[kind, text] : texts)
        if (kind == nlf)
            return text;
    return "";
}

// Encodes the input with the input kind and the written kind (0: none), the
// line length and flags, and checks that decoding with the kinds swapped (or
// without translation when none is written) gives the input back, plus the
// line break the trailing flag asks for; with a line break written, that no
// encoded line is longer than a line length of at least 4, and that the
// decoder accepts the text under that maximum input line length. Without one,
// that the text has no line-break byte.
inline bool roundTrips(const std::string &input, PB_INT kind, PB_INT written, PB_INT lineLength, PB_INT flags)
{
    const std::string encoded = encode(input, { kind, written, lineLength, flags });
    std::string expected = input;
    if ((flags & RFC_QUOP_FLAG_ENCODE_ENSURE_TRAILING_NLF) && written && !input.ends_with(nlText(kind)))
        expected += nlText(kind);
    if (!written)
        return decode(encoded, { kind, 0, noLimit, 0 }) == expected
            && encoded.find_first_of("\r\n\v\f") == std::string::npos;
    if (decode(encoded, { written, kind, noLimit, 0 }) != expected)
        return false;
    if (lineLength < 4)
        return true;
    const std::string nl = nlText(written);
    for (std::size_t start = 0, end = 0; end != std::string::npos; start = end + nl.size()) {
        end = encoded.find(nl, start);
        if (std::min(end, encoded.size()) - start > std::size_t(lineLength))
            return false;
    }
    return decode(encoded, { written, kind, lineLength, 0 }) == expected;
}

} // namespace quoptest

#endif
