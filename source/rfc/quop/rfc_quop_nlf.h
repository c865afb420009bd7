// Line breaks as the quoted-printable encoder and decoder see them: which
// byte sequences of the input count as a line break under an input set of
// newline flags, and which bytes an output value writes (the newline helpers
// the options families share). Internal to the family; both directions use
// this one rule.
#ifndef RFC_QUOP_NLF_H
#define RFC_QUOP_NLF_H

#include "../rfc_settings_internal.h"

#include <cstddef>

namespace rfc::quop {

inline constexpr PB_BYTE byteLf = nlf::kLf;
inline constexpr PB_BYTE byteVt = nlf::kVt;
inline constexpr PB_BYTE byteFf = nlf::kFf;
inline constexpr PB_BYTE byteCr = nlf::kCr;

// The kinds with a byte form in this family; 0x08, 0x40 and 0x80 are neither
// recognised nor written.
inline constexpr PB_INT nlfKinds =
    PB_NLF_FLAG_LF | PB_NLF_FLAG_CR | PB_NLF_FLAG_CRLF | PB_NLF_FLAG_VT | PB_NLF_FLAG_FF;

// The length (0, 1 or 2) of the line break that starts at position p of the
// n bytes, under the input set nlf. CR LF wins over a lone CR; a CR as the
// last byte is a break only under the CR bit. The VT bit recognises VT and
// FF; the FF bit recognises FF too, so that naming FF as an input newline
// means what it says.
constexpr std::size_t nlfLength(const PB_BYTE *bytes, std::size_t p, std::size_t n, PB_INT nlf) noexcept
{
    if (p >= n)
        return 0;
    PB_BYTE v = bytes[p];
    if ((nlf & PB_NLF_FLAG_CRLF) && p + 1 < n && v == byteCr) {
        if (bytes[p + 1] == byteLf)
            return 2;
        return (nlf & PB_NLF_FLAG_CR) ? 1 : 0;
    }
    switch (v) {
    case byteLf:
        return (nlf & PB_NLF_FLAG_LF) ? 1 : 0;
    case byteCr:
        return (nlf & PB_NLF_FLAG_CR) ? 1 : 0;
    case byteVt:
        return (nlf & PB_NLF_FLAG_VT) ? 1 : 0;
    case byteFf:
        return (nlf & (PB_NLF_FLAG_VT | PB_NLF_FLAG_FF)) ? 1 : 0;
    default:
        return 0;
    }
}

// The bytes an output value writes: at most two.
using NlfBytes = nlf::Bytes;

inline constexpr PB_BYTE crlf[2] = { byteCr, byteLf };

constexpr NlfBytes nlfBytes(PB_INT value) noexcept
{
    return nlf::bytesOf(value);
}

// Whether the input set recognises any one-byte line break.
constexpr bool nlfHasSingleByteKind(PB_INT nlf) noexcept
{
    return (nlf & (PB_NLF_FLAG_LF | PB_NLF_FLAG_CR | PB_NLF_FLAG_VT | PB_NLF_FLAG_FF)) != 0;
}

} // namespace rfc::quop

#endif
