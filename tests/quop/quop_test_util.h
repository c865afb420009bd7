// Helpers of the quoted-printable tests: options built from a compact row of
// settings, and the encoder and decoder called on standard strings.
#ifndef QUOP_TEST_UTIL_H
#define QUOP_TEST_UTIL_H

#include <rfc/quop/rfc_quop.h>

#include "support/test_support.h"

#include <pb/pb_cpp.h>

#include <optional>
#include <string>

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

inline pb::Ref<RFC_QUOP_OPTIONS> encodeOptions(const Settings &settings)
{
    pb::Ref<RFC_QUOP_OPTIONS> opt(rfcQuopOptionsCreate());
    rfcQuopOptionsSetEncodeInputNlf(opt.addr(), settings.inputNlf);
    rfcQuopOptionsSetEncodeOutputNlf(opt.addr(), settings.outputNlf);
    if (settings.lineLength == noLimit)
        rfcQuopOptionsDelEncodeOutputLineLength(opt.addr());
    else
        rfcQuopOptionsSetEncodeOutputLineLength(opt.addr(), settings.lineLength);
    rfcQuopOptionsSetFlags(opt.addr(), settings.flags);
    return opt;
}

inline pb::Ref<RFC_QUOP_OPTIONS> decodeOptions(const Settings &settings)
{
    pb::Ref<RFC_QUOP_OPTIONS> opt(rfcQuopOptionsCreate());
    rfcQuopOptionsSetDecodeInputNlf(opt.addr(), settings.inputNlf);
    rfcQuopOptionsSetDecodeOutputNlf(opt.addr(), settings.outputNlf);
    if (settings.lineLength == noLimit)
        rfcQuopOptionsDelDecodeMaxInputLineLength(opt.addr());
    else
        rfcQuopOptionsSetDecodeMaxInputLineLength(opt.addr(), settings.lineLength);
    rfcQuopOptionsSetFlags(opt.addr(), settings.flags);
    return opt;
}

inline std::string encode(const std::string &input, const Settings &settings = {})
{
    pb::Ref<PB_BUFFER> source = rfctest::buffer(input);
    pb::Ref<PB_BUFFER> encoded(rfcQuopEncodeWithOptions(source.get(), encodeOptions(settings).get()));
    return rfctest::bytes(encoded.get());
}

// The decoded bytes, or nullopt when the input is refused.
inline std::optional<std::string> decode(const std::string &input, const Settings &settings = decodeDefaults)
{
    pb::Ref<PB_BUFFER> source = rfctest::buffer(input);
    pb::Ref<PB_BUFFER> decoded(rfcQuopTryDecodeWithOptions(source.get(), decodeOptions(settings).get()));
    if (!decoded)
        return std::nullopt;
    return rfctest::bytes(decoded.get());
}

// n copies of the byte c.
inline std::string rep(std::size_t n, char c = 'x')
{
    return std::string(n, c);
}

} // namespace quoptest

#endif
