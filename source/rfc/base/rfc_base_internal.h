// Internal to the base-encoding family: the alphabets, the settings the
// codecs read from an options object, and the contract check of an encoding
// value. Not part of the C interface.
#ifndef RFC_BASE_INTERNAL_H
#define RFC_BASE_INTERNAL_H

#include "../rfc_frame.h"
#include "../rfc_settings_internal.h"
#include "rfc_base.h"

#include <cstdint>
#include <string_view>

namespace rfc::base {

// The alphabets of RFC 4648, the character of value 0 first. Encode and
// decode tables are derived from these strings at compile time.
inline constexpr std::string_view alphabetBase16 = "0123456789ABCDEF";
inline constexpr std::string_view alphabetBase32 = "ABCDEFGHIJKLMNOPQRSTUVWXYZ234567";
inline constexpr std::string_view alphabetBase32Hex = "0123456789ABCDEFGHIJKLMNOPQRSTUV";
inline constexpr std::string_view alphabetBase64 =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
inline constexpr std::string_view alphabetBase64Url =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

inline constexpr char padCharacter = '=';

// What the encoder and decoder read from an options object. The plain and
// WithFlags entry points fill it with the built-in defaults directly, which
// behaves exactly like a fresh options object without allocating one.
struct Settings {
    PB_INT flags = 0;        // normalised base flags
    PB_INT outputNlf = rfc::nlf::kDefault; // 0 or one newline flag (CR LF by default)
    PB_INT outputLineLength = -1;
};

// The settings held by an options object (not null).
Settings settingsOf(RFC_BASE_OPTIONS *opt) noexcept;

} // namespace rfc::base

#endif
