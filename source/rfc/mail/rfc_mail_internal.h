// Internal to the mail family: the character classes as compile-time tables
// for the scanners, the layout of the token object and the constructor the
// decoder uses for tokens whose type it has already established.
#ifndef RFC_MAIL_INTERNAL_H
#define RFC_MAIL_INTERNAL_H

#include "../rfc_frame.h"
#include "rfc_mail.h"

#include <array>
#include <cstdint>
#include <string_view>

struct RFC_MAIL_SHF_TOKEN {
    PB___OBJ_HEADER header;
    PB_INT type;
    PB_STRING *rawValue; // owned; never null once anyone but its maker sees the token
};

namespace rfc::mail {

inline constexpr PB_CHAR cr = 0x0D;
inline constexpr PB_CHAR lf = 0x0A;
inline constexpr PB_CHAR htab = 0x09;
inline constexpr PB_CHAR space = 0x20;
inline constexpr PB_CHAR del = 0x7F;
inline constexpr PB_CHAR quotationMark = '"';
inline constexpr PB_CHAR backslash = '\\';

// The thirteen specials of RFC 822.
inline constexpr std::string_view specials = "()<>@,;:\\\".[]";

// The specials as a bit mask over the range 0x22 to 0x5D (bit n stands for
// the code point 0x22 + n), built from the list above.
inline constexpr PB_CHAR specialMaskBase = 0x22;
inline constexpr PB_CHAR specialMaskLast = 0x5D;
inline constexpr std::uint64_t specialMask = [] {
    std::uint64_t mask = 0;
    for (char ch : specials)
        mask |= std::uint64_t { 1 } << (ch - specialMaskBase);
    return mask;
}();
static_assert(specialMask == 0x0E000000570014C1);

constexpr bool isCtl(PB_CHAR ch) noexcept
{
    return (ch >= 0x00 && ch <= 0x1F) || ch == del;
}

constexpr bool isSpecial(PB_CHAR ch) noexcept
{
    return ch >= specialMaskBase && ch <= specialMaskLast
        && ((specialMask >> (ch - specialMaskBase)) & 1) != 0;
}

constexpr bool isLwsp(PB_CHAR ch) noexcept
{
    return ch == space || ch == htab;
}

// Lexical class of a code point as the scanners see it: one byte per ASCII
// code point; every other code point is an atom character.
enum CharClass : std::uint8_t {
    classAtom = 0,      // may stand in an atom
    classSeparator = 1, // space or control: separates tokens
    classSpecial = 2,   // a special that is no opening delimiter
    classQuote = 3,     // opens a quoted string
    classBracket = 4,   // opens a domain literal
    classParen = 5,     // opens a comment
};

inline constexpr std::array<std::uint8_t, 128> charClasses = [] {
    std::array<std::uint8_t, 128> table {};
    for (PB_CHAR ch = 0; ch < 128; ++ch) {
        if (ch == space || isCtl(ch))
            table[ch] = classSeparator;
        else if (ch == quotationMark)
            table[ch] = classQuote;
        else if (ch == '[')
            table[ch] = classBracket;
        else if (ch == '(')
            table[ch] = classParen;
        else if (isSpecial(ch))
            table[ch] = classSpecial;
        else
            table[ch] = classAtom;
    }
    return table;
}();

inline CharClass charClass(PB_CHAR ch) noexcept
{
    return static_cast<std::uint32_t>(ch) < 128 ? static_cast<CharClass>(charClasses[ch]) : classAtom;
}

// A new token of the given type that takes over the caller's reference to
// rawValue. The caller vouches that rawValue is a valid token of that type;
// nothing is checked. The decoder passes null and sets the raw value before
// anyone else sees the token.
RFC_MAIL_SHF_TOKEN *tokenCreateUse(PB_INT type, PB_STRING *rawValue);

} // namespace rfc::mail

#endif
