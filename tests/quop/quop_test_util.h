// Helpers of the quoted-printable tests: options built from a compact row of
// settings, and the encoder and decoder called on standard strings.
#ifndef QUOP_TEST_UTIL_H
#define QUOP_TEST_UTIL_H

#include <rfc/quop/rfc_quop.h>

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
// object.
struct Settings {
    PB_INT inputNlf = CRLF;
    PB_INT outputNlf = CRLF;
    PB_INT lineLength = 76; // encoder: output line length; decoder: maximum input line length
    PB_INT flags = 0;
};

inline constexpr Settings decodeDefaults { CRLF, CRLF, noLimit, 0 };

pb::Ref<RFC_QUOP_OPTIONS> encodeOptions(const Settings &settings);
pb::Ref<RFC_QUOP_OPTIONS> decodeOptions(const Settings &settings);

std::string encode(const std::string &input, const Settings &settings = {});
std::optional<std::string> decode(const std::string &input, const Settings &settings = decodeDefaults);

// n copies of the byte c.
inline std::string rep(std::size_t n, char c = 'x')
{
    return std::string(n, c);
}

} // namespace quoptest

#endif
