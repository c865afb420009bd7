// Unicode predicates, integer helpers and memory.
#include "pb_internal.h"

#include <bit>
#include <cstdlib>

namespace {

// Ends the process through the runtime's out-of-memory path, saying how
// many bytes were asked for.
[[noreturn, gnu::cold, gnu::noinline]] void outOfMemory(PB_INT line, PB_INT size)
{
    char text[64];
    std::snprintf(text, sizeof text, "%lld bytes asked for", static_cast<long long>(size));
    pb___Abort(PB___ABORT_TAG_OUT_OF_MEMORY, PB___SOURCE_FILE, line, text);
}

} // namespace

extern "C" {

PB_API PB_BOOL pbUnicodeIsNlf(PB_CHAR c) noexcept
{
    return (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029;
}

// White_Space of the Unicode Character Database.
PB_API PB_BOOL pbUnicodeIsWhiteSpace(PB_CHAR c) noexcept
{
    if (c <= 0x20)
        return c == 0x20 || (c >= 0x09 && c <= 0x0D);
    switch (c) {
    case 0x85:
    case 0xA0:
    case 0x1680:
    case 0x2028:
    case 0x2029:
    case 0x202F:
    case 0x205F:
    case 0x3000:
        return PB_TRUE;
    default:
        return c >= 0x2000 && c <= 0x200A;
    }
}

PB_API PB_INT pbIntMin(PB_INT a, PB_INT b) noexcept
{
    return a < b ? a : b;
}

PB_API PB_INT pbIntMax(PB_INT a, PB_INT b) noexcept
{
    return a > b ? a : b;
}

PB_API PB_INT pbIntBitHighest(PB_INT x) noexcept
{
    return x == 0 ? -1 : 63 - std::countl_zero(static_cast<std::uint64_t>(x));
}

PB_API void *pbMemAlloc(PB_INT size) noexcept
{
    PB_ASSERT( size >= 0 );
    void *p = std::malloc(static_cast<std::size_t>(size ? size : 1));
    if (!p) [[unlikely]]
        outOfMemory(__LINE__, size);
    return p;
}

PB_API void *pbMemRealloc(void *p, PB_INT size) noexcept
{
    PB_ASSERT( size >= 0 );
    void *q = std::realloc(p, static_cast<std::size_t>(size ? size : 1));
    if (!q) [[unlikely]]
        outOfMemory(__LINE__, size);
    return q;
}

PB_API void pbMemFree(void *p) noexcept
{
    std::free(p);
}

PB_API void pbMemSet(void *p, PB_BYTE byte, PB_INT count) noexcept
{
    PB_ASSERT( p || count == 0 );
    PB_ASSERT( count >= 0 );
    if (count)
        std::memset(p, byte, static_cast<std::size_t>(count));
}

} // extern "C"
