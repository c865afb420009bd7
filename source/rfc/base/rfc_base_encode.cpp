// The encoder: bytes to the text of one of the five RFC 4648 encodings,
// with optional padding, line wrapping and trailing newline.
//
// The output size is computed first and the text is written into one
// allocation that the result buffer takes over. Whole groups go through the
// process's vector kernel, which also writes the line layout itself; the
// scalar loops, the reference and the fallback, turn 12 bits into two
// characters at a time through tables derived from the alphabets at compile
// time.
#include "rfc_base_kernel.h"
#include "rfc_base_result.h"

#include <array>
#include <bit>
#include <cstring>

namespace {

using rfc::base::GroupShape;
using rfc::base::Settings;

// Two characters in the byte order of a 16-bit store: the first character
// lands at the lower address.
constexpr std::uint16_t charPair(char first, char second)
{
    auto a = static_cast<std::uint16_t>(static_cast<unsigned char>(first));
    auto b = static_cast<std::uint16_t>(static_cast<unsigned char>(second));
    if constexpr (std::endian::native == std::endian::little)
        return static_cast<std::uint16_t>(a | (b << 8));
    else
        return static_cast<std::uint16_t>((a << 8) | b);
}

// For every value of 2 * bitsPerChar bits, the two characters that encode
// it, the high bits first. base64: 4096 entries, base32: 1024, base16: 256.
template <const std::string_view &alphabet, unsigned bitsPerChar>
constexpr auto makePairTable()
{
    constexpr std::size_t size = std::size_t { 1 } << (2 * bitsPerChar);
    constexpr unsigned mask = (1u << bitsPerChar) - 1;
    static_assert(alphabet.size() == mask + 1);
    std::array<std::uint16_t, size> table {};
    for (std::size_t i = 0; i < size; ++i)
        table[i] = charPair(alphabet[(i >> bitsPerChar) & mask], alphabet[i & mask]);
    return table;
}

template <const std::string_view &alphabet, unsigned bitsPerChar>
inline constexpr auto pairTable = makePairTable<alphabet, bitsPerChar>();

static_assert(pairTable<rfc::base::alphabetBase64, 6>[0] == charPair('A', 'A'));
static_assert(pairTable<rfc::base::alphabetBase64, 6>[4095] == charPair('/', '/'));
static_assert(pairTable<rfc::base::alphabetBase16, 4>[0xA5] == charPair('A', '5'));

// Four character pairs written as eight characters, in order.
inline void storeFourPairs(char *out, std::uint16_t p0, std::uint16_t p1, std::uint16_t p2, std::uint16_t p3)
{
    if constexpr (std::endian::native == std::endian::little) {
        std::uint64_t word = p0 | (std::uint64_t { p1 } << 16) | (std::uint64_t { p2 } << 32)
            | (std::uint64_t { p3 } << 48);
        std::memcpy(out, &word, 8);
    } else {
        std::memcpy(out, &p0, 2);
        std::memcpy(out + 2, &p1, 2);
        std::memcpy(out + 4, &p2, 2);
        std::memcpy(out + 6, &p3, 2);
    }
}

// The eight bytes at p as a big-endian number (compilers turn this into one
// load and a byte swap).
inline std::uint64_t loadBigEndian64(const std::uint8_t *p)
{
    return (std::uint64_t { p[0] } << 56) | (std::uint64_t { p[1] } << 48) | (std::uint64_t { p[2] } << 40)
        | (std::uint64_t { p[3] } << 32) | (std::uint64_t { p[4] } << 24) | (std::uint64_t { p[5] } << 16)
        | (std::uint64_t { p[6] } << 8) | std::uint64_t { p[7] };
}

// One encoding's group shape and its writer. encode() writes the characters
// of byteCount bytes from src at out, padding a short last group unless
// omitPadding, and returns the end of what it wrote.
// The characters of byteCount bytes in groups of the shape, the last group
// padded unless omitPadding.
PB_INT encodedLength(const GroupShape &shape, PB_INT byteCount, bool omitPadding)
{
    PB_INT groups = byteCount / shape.bytesPerGroup;
    auto rest = static_cast<int>(byteCount % shape.bytesPerGroup);
    return groups * shape.charsPerGroup + (rest == 0 ? 0 : (omitPadding ? shape.tailChars(rest) : shape.charsPerGroup));
}

template <const std::string_view &alphabet>
struct Base64Codec {
    static constexpr GroupShape shape = rfc::base::base64Shape;
    static constexpr rfc::base::Shape kernelShape = rfc::base::Shape::base64;
    static constexpr const rfc::base::Alphabet64 &alphabet64 = rfc::base::alphabet64<alphabet>;

    // The padded group of the last one or two bytes, filled with zero bits:
    // four characters at out, of which the text keeps the returned count.
    static int encodeLast(const std::uint8_t *src, int byteCount, char *out, bool omitPadding)
    {
        std::uint32_t v = (std::uint32_t { src[0] } << 16) | (byteCount == 2 ? std::uint32_t { src[1] } << 8 : 0);
        out[0] = alphabet[v >> 18];
        out[1] = alphabet[(v >> 12) & 0x3F];
        out[2] = byteCount == 2 ? alphabet[(v >> 6) & 0x3F] : rfc::base::padCharacter;
        out[3] = rfc::base::padCharacter;
        return omitPadding ? shape.tailChars(byteCount) : shape.charsPerGroup;
    }

    static char *encode(const std::uint8_t *src, PB_INT byteCount, char *out, bool omitPadding)
    {
        constexpr const auto &pairs = pairTable<alphabet, 6>;
        // 12 bytes to 16 characters per step; the second load reaches byte
        // 13, so the loop stops while 16 bytes remain.
        while (byteCount >= 16) {
            std::uint64_t a = loadBigEndian64(src);
            std::uint64_t b = loadBigEndian64(src + 6);
            storeFourPairs(out, pairs[(a >> 52) & 0xFFF], pairs[(a >> 40) & 0xFFF], pairs[(a >> 28) & 0xFFF],
                pairs[(a >> 16) & 0xFFF]);
            storeFourPairs(out + 8, pairs[(b >> 52) & 0xFFF], pairs[(b >> 40) & 0xFFF], pairs[(b >> 28) & 0xFFF],
                pairs[(b >> 16) & 0xFFF]);
            src += 12;
            out += 16;
            byteCount -= 12;
        }
        while (byteCount >= 3) {
            std::uint32_t v = (std::uint32_t { src[0] } << 16) | (std::uint32_t { src[1] } << 8) | src[2];
            std::memcpy(out, &pairs[v >> 12], 2);
            std::memcpy(out + 2, &pairs[v & 0xFFF], 2);
            src += 3;
            out += 4;
            byteCount -= 3;
        }
        if (byteCount > 0) {
            char group[shape.charsPerGroup];
            int kept = encodeLast(src, static_cast<int>(byteCount), group, omitPadding);
            std::memcpy(out, group, static_cast<std::size_t>(kept));
            out += kept;
        }
        return out;
    }
};

template <const std::string_view &alphabet>
struct Base32Codec {
    static constexpr GroupShape shape = rfc::base::base32Shape;
    static constexpr rfc::base::Shape kernelShape = rfc::base::Shape::base32;
    static constexpr const rfc::base::Alphabet64 &alphabet64 = rfc::base::alphabet64<alphabet>;

    // The 40 bits of a group, first byte highest, as eight characters.
    static void encodeGroup(std::uint64_t v, char *out)
    {
        constexpr const auto &pairs = pairTable<alphabet, 5>;
        storeFourPairs(out, pairs[(v >> 30) & 0x3FF], pairs[(v >> 20) & 0x3FF], pairs[(v >> 10) & 0x3FF],
            pairs[v & 0x3FF]);
    }

    // The padded group of the last one to four bytes, filled with zero
    // bits: eight characters at out, of which the text keeps the returned
    // count.
    static int encodeLast(const std::uint8_t *src, int byteCount, char *out, bool omitPadding)
    {
        std::uint64_t v = 0;
        for (int i = 0; i < shape.bytesPerGroup; ++i)
            v = (v << 8) | (i < byteCount ? src[i] : 0);
        encodeGroup(v, out);
        int chars = shape.tailChars(byteCount);
        for (int i = chars; i < shape.charsPerGroup; ++i)
            out[i] = rfc::base::padCharacter;
        return omitPadding ? chars : shape.charsPerGroup;
    }

    static char *encode(const std::uint8_t *src, PB_INT byteCount, char *out, bool omitPadding)
    {
        while (byteCount >= 8) {
            encodeGroup(loadBigEndian64(src) >> 24, out);
            src += 5;
            out += 8;
            byteCount -= 5;
        }
        while (byteCount >= 5) {
            std::uint64_t v = 0;
            for (int i = 0; i < 5; ++i)
                v = (v << 8) | src[i];
            encodeGroup(v, out);
            src += 5;
            out += 8;
            byteCount -= 5;
        }
        if (byteCount > 0) {
            char group[shape.charsPerGroup];
            int kept = encodeLast(src, static_cast<int>(byteCount), group, omitPadding);
            std::memcpy(out, group, static_cast<std::size_t>(kept));
            out += kept;
        }
        return out;
    }
};

struct Base16Codec {
    static constexpr GroupShape shape = rfc::base::base16Shape;
    static constexpr rfc::base::Shape kernelShape = rfc::base::Shape::base16;
    static constexpr const rfc::base::Alphabet64 &alphabet64 = rfc::base::alphabet64<rfc::base::alphabetBase16>;

    static char *encode(const std::uint8_t *src, PB_INT byteCount, char *out, bool)
    {
        constexpr const auto &pairs = pairTable<rfc::base::alphabetBase16, 4>;
        while (byteCount >= 4) {
            storeFourPairs(out, pairs[src[0]], pairs[src[1]], pairs[src[2]], pairs[src[3]]);
            src += 4;
            out += 8;
            byteCount -= 4;
        }
        for (; byteCount > 0; --byteCount, out += 2)
            std::memcpy(out, &pairs[*src++], 2);
        return out;
    }
};

// The bytes written for an output newline; 0 length for a value that names
// no single newline kind.
struct NlfBytes {
    char bytes[2];
    PB_INT length;
};

NlfBytes nlfBytesOf(PB_INT nlf)
{
    switch (nlf) {
    case PB_NLF_FLAG_LF: return { { '\n', 0 }, 1 };
    case PB_NLF_FLAG_CR: return { { '\r', 0 }, 1 };
    case PB_NLF_FLAG_CRLF: return { { '\r', '\n' }, 2 };
    case PB_NLF_FLAG_VT: return { { '\v', 0 }, 1 };
    case PB_NLF_FLAG_FF: return { { '\f', 0 }, 1 };
    default: return { { 0, 0 }, 0 };
    }
}

// The most bytes written beyond the text: a last group written whole.
inline constexpr PB_INT lastGroupSlack = rfc::base::base32Shape.charsPerGroup;

// Where the text is written: room of its exact size (and the slack), which
// becomes the result buffer or string.
struct BufferOutput : rfc::base::ResultBytes<1024, lastGroupSlack> {
    using Result = PB_BUFFER;
    using ResultBytes::ResultBytes;
    static PB_BUFFER *empty() { return pbBufferCreate(); }
    PB_BUFFER *finish() { return finishBuffer(capacity()); }
};

struct StringOutput : rfc::base::ResultBytes<256, lastGroupSlack> {
    using Result = PB_STRING;
    using ResultBytes::ResultBytes;
    static PB_STRING *empty() { return pbStringCreate(); }
    PB_STRING *finish() { return finishString(capacity()); }
};

// Writes the text of byteCount bytes at out: whole groups through the
// kernel when there is one, else by the scalar code, and the last group
// whole (padded) even when its padding is omitted, which may write up to
// lastGroupSlack bytes beyond the text.
template <class Codec>
char *encodeFlat(const std::uint8_t *src, PB_INT byteCount, char *out, bool omitPadding,
    const rfc::base::Kernel &kernel)
{
    constexpr GroupShape shape = Codec::shape;
    static_assert(shape.charsPerGroup <= lastGroupSlack);
    PB_INT groups = byteCount / shape.bytesPerGroup;
    auto encodeGroups = kernel.encode[static_cast<int>(Codec::kernelShape)];
    if (groups != 0) {
        if (encodeGroups)
            out = encodeGroups(src, static_cast<std::size_t>(groups), out, Codec::alphabet64);
        else
            out = Codec::encode(src, groups * shape.bytesPerGroup, out, omitPadding);
    }
    if constexpr (shape.bytesPerGroup > 1) {
        if (auto rest = static_cast<int>(byteCount % shape.bytesPerGroup))
            out += Codec::encodeLast(src + groups * shape.bytesPerGroup, rest, out, omitPadding);
    }
    return out;
}

// Encodes byteCount bytes at src under the settings into a new buffer owned
// by the caller. The size of the whole text (lines, newlines, trailing
// newline) is computed first and the text written into place.
template <class Codec, class Output>
typename Output::Result *encodeBytes(const std::uint8_t *src, PB_INT byteCount, const Settings &settings)
{
    constexpr GroupShape shape = Codec::shape;
    bool omitPadding = settings.flags & RFC_BASE_FLAG_ENCODE_OMIT_PADDING;
    PB_INT encodedLength = ::encodedLength(shape, byteCount, omitPadding);
    const rfc::base::Kernel &kernel = rfc::base::kernel();

    if (settings.outputNlf == 0) {
        if (encodedLength == 0)
            return Output::empty();
        Output output(encodedLength);
        encodeFlat<Codec>(src, byteCount, output.chars(), omitPadding, kernel);
        return output.finish();
    }

    NlfBytes nlf = nlfBytesOf(settings.outputNlf);
    PB_INT nlfBytesLength = nlf.length;
    PB_ASSERT( nlfBytesLength );

    PB_INT lineLength = settings.outputLineLength;
    bool wrap = lineLength != -1 && encodedLength > lineLength;
    PB_INT lines = wrap ? (encodedLength + lineLength - 1) / lineLength : 1;
    PB_INT trailing = (settings.flags & RFC_BASE_FLAG_ENCODE_ENSURE_TRAILING_NLF) ? nlfBytesLength : 0;
    PB_INT total = encodedLength + (lines - 1) * nlfBytesLength + trailing;
    if (total == 0)
        return Output::empty();
    Output output(total);
    char *out = output.chars();

    auto encodeWrapped = kernel.encodeWrapped[static_cast<int>(Codec::kernelShape)];
    if (!wrap) {
        encodeFlat<Codec>(src, byteCount, out, omitPadding, kernel);
    } else if (encodeWrapped) {
        // The kernel writes the lines of the whole groups, the line writer
        // those of the last group.
        rfc::base::LineWriter lines { out, out + total, 0, static_cast<std::size_t>(lineLength), { nlf.bytes[0], nlf.bytes[1] },
            static_cast<std::size_t>(nlfBytesLength) };
        auto groups = static_cast<std::size_t>(byteCount / shape.bytesPerGroup);
        encodeWrapped(src, groups, lines, Codec::alphabet64);
        char last[shape.charsPerGroup];
        const std::uint8_t *rest = src + groups * static_cast<std::size_t>(shape.bytesPerGroup);
        char *lastEnd = Codec::encode(rest, byteCount % shape.bytesPerGroup, last, omitPadding);
        lines.put(last, static_cast<std::size_t>(lastEnd - last));
    } else if (lineLength % shape.charsPerGroup == 0) {
        // Every line but the last is a whole number of full groups: encode
        // line by line straight into place.
        PB_INT bytesPerLine = lineLength / shape.charsPerGroup * shape.bytesPerGroup;
        char *at = out;
        while (byteCount > bytesPerLine) {
            at = Codec::encode(src, bytesPerLine, at, omitPadding);
            std::memcpy(at, nlf.bytes, static_cast<std::size_t>(nlfBytesLength));
            at += nlfBytesLength;
            src += bytesPerLine;
            byteCount -= bytesPerLine;
        }
        Codec::encode(src, byteCount, at, omitPadding);
    } else {
        // Lines cut through groups: encode into the end of the allocation,
        // then move each line forward to its place. A line's destination
        // never lies after its source, and the newline written after a line
        // ends before the next line's source begins.
        PB_INT start = (lines - 1) * nlfBytesLength;
        Codec::encode(src, byteCount, out + start, omitPadding);
        for (PB_INT line = 0; line < lines; ++line) {
            PB_INT from = start + line * lineLength;
            PB_INT to = line * (lineLength + nlfBytesLength);
            PB_INT count = pbIntMin(lineLength, encodedLength - line * lineLength);
            std::memmove(out + to, out + from, static_cast<std::size_t>(count));
            if (line + 1 < lines)
                std::memcpy(out + to + lineLength, nlf.bytes, static_cast<std::size_t>(nlfBytesLength));
        }
    }
    if (trailing)
        std::memcpy(out + total - trailing, nlf.bytes, static_cast<std::size_t>(nlfBytesLength));
    return output.finish();
}

// The default layout: the padded text on one line, with no newline. The
// settings are known, so no newline or line length is looked at; short
// text is written on the stack and copied into the one allocation of the
// result.
template <class Codec, class Output>
typename Output::Result *encodePlain(const std::uint8_t *src, PB_INT byteCount)
{
    Output output(encodedLength(Codec::shape, byteCount, false));
    encodeFlat<Codec>(src, byteCount, output.chars(), false, rfc::base::kernel());
    return output.finish();
}

// Checks the source and encoding and dispatches to the encoding's codec;
// the text goes to a buffer or to a string as Output says.
// Settings null means the defaults (encodePlain).
template <class Output = BufferOutput>
typename Output::Result *encodeWithSettings(PB_BUFFER *source, PB_INT encoding, const Settings *settings)
{
    PB_INT byteCount = pbBufferLength(source);
    const PB_BYTE *data = pbBufferBacking(source);
    PB_ASSERT( byteCount >= 0 );
    PB_ASSERT( data || byteCount == 0 );
    auto encode = [&]<class Codec>() {
        return settings ? encodeBytes<Codec, Output>(data, byteCount, *settings)
                        : encodePlain<Codec, Output>(data, byteCount);
    };
    switch (encoding) {
    case RFC_BASE_ENCODING_BASE16:
        return encode.template operator()<Base16Codec>();
    case RFC_BASE_ENCODING_BASE32:
        return encode.template operator()<Base32Codec<rfc::base::alphabetBase32>>();
    case RFC_BASE_ENCODING_BASE32HEX:
        return encode.template operator()<Base32Codec<rfc::base::alphabetBase32Hex>>();
    case RFC_BASE_ENCODING_BASE64:
        return encode.template operator()<Base64Codec<rfc::base::alphabetBase64>>();
    case RFC_BASE_ENCODING_BASE64URL:
        return encode.template operator()<Base64Codec<rfc::base::alphabetBase64Url>>();
    }
    PB_UNREACHABLE();
}

} // namespace

extern "C" {

// A new buffer (owned by the caller, never null) with the text of source
// in the encoding, laid out as the options say. source and opt are
// borrowed.
RFC_API PB_BUFFER *rfcBaseEncodeWithOptions(PB_BUFFER *source, PB_INT encoding, RFC_BASE_OPTIONS *opt) noexcept
{
    PB_ASSERT( source );
    PB_ASSERT( RFC_BASE_ENCODING_OK( encoding ) );
    PB_ASSERT( opt );
    Settings settings = rfc::base::settingsOf(opt);
    return encodeWithSettings(source, encoding, &settings);
}

// The default options: padded text, no line wrapping, no trailing newline.
RFC_API PB_BUFFER *rfcBaseEncode(PB_BUFFER *source, PB_INT encoding) noexcept
{
    PB_ASSERT( source );
    PB_ASSERT( RFC_BASE_ENCODING_OK( encoding ) );
    return encodeWithSettings(source, encoding, nullptr);
}

// As rfcBaseEncodeWithOptions, as a new string of one code point per byte.
RFC_API PB_STRING *rfcBaseEncodeToStringWithOptions(PB_BUFFER *source, PB_INT encoding, RFC_BASE_OPTIONS *opt) noexcept
{
    PB_ASSERT( source );
    PB_ASSERT( RFC_BASE_ENCODING_OK( encoding ) );
    PB_ASSERT( opt );
    Settings settings = rfc::base::settingsOf(opt);
    return encodeWithSettings<StringOutput>(source, encoding, &settings);
}

RFC_API PB_STRING *rfcBaseEncodeToString(PB_BUFFER *source, PB_INT encoding) noexcept
{
    PB_ASSERT( source );
    PB_ASSERT( RFC_BASE_ENCODING_OK( encoding ) );
    return encodeWithSettings<StringOutput>(source, encoding, nullptr);
}

} // extern "C"
