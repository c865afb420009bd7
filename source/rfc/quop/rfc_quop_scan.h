// The bulk scan shared by the quoted-printable encoder and decoder: how many
// leading bytes are printable ASCII other than "=" or white space (SP, TAB),
// the bytes both directions copy unchanged. Internal to the family.
#ifndef RFC_QUOP_SCAN_H
#define RFC_QUOP_SCAN_H

#include "../../pb/pb.h"

#include <array>
#include <cstddef>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace rfc::quop {

inline constexpr PB_BYTE byteTab = 0x09;
inline constexpr PB_BYTE byteSpace = 0x20;
inline constexpr PB_BYTE byteEquals = 0x3D;
inline constexpr PB_BYTE byteTilde = 0x7E; // the last printable ASCII byte

// Printable ASCII except "=": written as itself by the encoder and copied by
// the decoder.
constexpr bool isLiteral(PB_BYTE v) noexcept
{
    return v > byteSpace && v <= byteTilde && v != byteEquals;
}

constexpr bool isWhiteSpace(PB_BYTE v) noexcept
{
    return v == byteSpace || v == byteTab;
}

inline constexpr std::array<bool, 256> plainTable = [] {
    std::array<bool, 256> table {};
    for (std::size_t v = 0; v < table.size(); ++v)
        table[v] = isLiteral(static_cast<PB_BYTE>(v)) || isWhiteSpace(static_cast<PB_BYTE>(v));
    return table;
}();
static_assert(plainTable[' '] && plainTable['\t'] && plainTable['~'] && plainTable['!']);
static_assert(!plainTable['='] && !plainTable[0x7F] && !plainTable[0x80] && !plainTable['\r']);

#if defined(__SSE2__)
// A mask with 0xFF in each lane whose byte is neither literal nor white
// space. Signed compares: "below SP" catches the controls 0..31 and, as
// negative values, every byte from 0x80 up; DEL and "=" are matched exactly,
// and TAB is let through.
inline __m128i otherLanes(__m128i v) noexcept
{
    const __m128i space = _mm_set1_epi8(static_cast<char>(byteSpace));
    const __m128i del = _mm_set1_epi8(static_cast<char>(byteTilde + 1));
    const __m128i equals = _mm_set1_epi8(static_cast<char>(byteEquals));
    const __m128i tab = _mm_set1_epi8(static_cast<char>(byteTab));
    __m128i other = _mm_or_si128(_mm_or_si128(_mm_cmplt_epi8(v, space), _mm_cmpeq_epi8(v, del)),
        _mm_cmpeq_epi8(v, equals));
    return _mm_andnot_si128(_mm_cmpeq_epi8(v, tab), other);
}
#endif

// Copies the leading bytes of src[0, max) that are literal or white space to
// dst and returns their number. It copies sixteen bytes at a time, so it may
// write up to 16 bytes past the run's end in dst; the caller's output
// allocation has that slack (copySlack) and overwrites those bytes later.
inline std::size_t copyPlainRun(const PB_BYTE *src, std::size_t max, PB_BYTE *dst) noexcept
{
    std::size_t i = 0;
#if defined(__SSE2__)
    for (; i + 16 <= max; i += 16) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src + i));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(dst + i), v);
        if (unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(otherLanes(v))))
            return i + static_cast<std::size_t>(__builtin_ctz(mask));
    }
#endif
    for (; i < max && plainTable[src[i]]; ++i)
        dst[i] = src[i];
    return i;
}

// The number of bytes of src[0, n) that are neither literal nor white space.
inline std::size_t countOther(const PB_BYTE *src, std::size_t n) noexcept
{
    std::size_t count = 0, i = 0;
#if defined(__SSE2__)
    for (; i + 16 <= n; i += 16) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src + i));
        count += static_cast<std::size_t>(__builtin_popcount(static_cast<unsigned>(_mm_movemask_epi8(otherLanes(v)))));
    }
#endif
    for (; i < n; ++i)
        count += plainTable[src[i]] ? 0 : 1;
    return count;
}

// Slack at the end of an output allocation for the sixteen-byte stores of
// copyPlainRun.
inline constexpr std::size_t copySlack = 16;

} // namespace rfc::quop

#endif
