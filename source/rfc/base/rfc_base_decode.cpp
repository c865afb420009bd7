// The decoder: the text of one of the five RFC 4648 encodings back to
// bytes. Strict by default; each decoding flag relaxes one rule. Malformed
// text gives null and nothing else.
//
// The decode tables are derived from the alphabets at compile time. Runs of
// whole groups of alphabet characters go through the process's vector
// kernel, which also drops the newlines and white space the flags skip, or
// else through a scalar fast loop (four table look-ups per base64 group
// whose sum carries an error bit); everything else (padding, bytes that are
// not skipped, the last group) goes through the byte-by-byte state machine,
// which the fast paths only ever enter and leave at a group boundary. So
// the state machine alone decides every refusal and its offset.
#include "rfc_base_kernel.h"
#include "rfc_base_result.h"

#include <array>
#include <bit>
#include <cstring>
#include <memory>

namespace {

using rfc::base::Settings;
using rfc::base::GroupShape;

constexpr std::uint8_t notInAlphabet = 0xFF;

// For each byte: its value in the alphabet, the alphabet's size for the pad
// character when the encoding has padding, and notInAlphabet otherwise.
// base16 reads both letter cases.
template <const std::string_view &alphabet, bool padded, bool bothCases = false>
constexpr std::array<std::uint8_t, 256> makeValueTable()
{
    std::array<std::uint8_t, 256> table {};
    for (auto &entry : table)
        entry = notInAlphabet;
    for (std::size_t i = 0; i < alphabet.size(); ++i) {
        auto c = static_cast<unsigned char>(alphabet[i]);
        table[c] = static_cast<std::uint8_t>(i);
        if (bothCases && c >= 'A' && c <= 'Z')
            table[c - 'A' + 'a'] = static_cast<std::uint8_t>(i);
    }
    if (padded)
        table[static_cast<unsigned char>(rfc::base::padCharacter)] = static_cast<std::uint8_t>(alphabet.size());
    return table;
}

template <const std::string_view &alphabet, bool padded, bool bothCases = false>
inline constexpr auto valueTable = makeValueTable<alphabet, padded, bothCases>();

static_assert(valueTable<rfc::base::alphabetBase64, true>['/'] == 63);
static_assert(valueTable<rfc::base::alphabetBase64, true>['='] == 64);
static_assert(valueTable<rfc::base::alphabetBase64, true>['-'] == notInAlphabet);
static_assert(valueTable<rfc::base::alphabetBase64Url, true>['_'] == 63);
static_assert(valueTable<rfc::base::alphabetBase32, true>['a'] == notInAlphabet);
static_assert(valueTable<rfc::base::alphabetBase32Hex, true>['V'] == 31);
static_assert(valueTable<rfc::base::alphabetBase16, false, true>['f'] == 15);
static_assert(valueTable<rfc::base::alphabetBase16, false, true>['='] == notInAlphabet);

// The fast base64 loop. Table k holds, for each byte, the contribution of
// the k-th character of a group to the group's three bytes, already in the
// byte order of a 32-bit store; a byte outside the alphabet (and "=") sets
// a bit of the fourth byte instead. OR-ing the four look-ups gives the three
// bytes to store, or a word with the error bit.
constexpr std::uint32_t fastError = std::endian::native == std::endian::little ? 0x01000000u : 0x00000001u;

// The 24 bits of a group, first byte highest, arranged so that a 32-bit
// store writes the three bytes in order at the lower addresses.
constexpr std::uint32_t storeOrder(std::uint32_t bits24)
{
    if constexpr (std::endian::native == std::endian::little)
        return ((bits24 >> 16) & 0xFF) | (bits24 & 0xFF00) | ((bits24 & 0xFF) << 16);
    else
        return bits24 << 8;
}

template <const std::string_view &alphabet>
constexpr std::array<std::array<std::uint32_t, 256>, 4> makeFastTables()
{
    constexpr auto &values = valueTable<alphabet, true>;
    std::array<std::array<std::uint32_t, 256>, 4> tables {};
    for (unsigned position = 0; position < 4; ++position) {
        for (unsigned c = 0; c < 256; ++c) {
            std::uint8_t v = values[c];
            tables[position][c] = v < 64 ? storeOrder(std::uint32_t { v } << (18 - 6 * position)) : fastError;
        }
    }
    return tables;
}

template <const std::string_view &alphabet>
inline constexpr auto fastTables = makeFastTables<alphabet>();

static_assert((fastTables<rfc::base::alphabetBase64>[0]['='] & fastError) != 0);
static_assert((fastTables<rfc::base::alphabetBase64>[3]['/'] & fastError) == 0);

// The class of a byte outside the alphabet, which decides the flag that
// lets the decoder skip it.
enum class ByteClass : std::uint8_t { newline, whiteSpace, other };

// The runtime's newline and white-space tests for every byte value, asked
// once: the decoders meet newlines on every line of wrapped text.
const std::array<ByteClass, 256> &byteClasses()
{
    static const std::array<ByteClass, 256> classes = [] {
        std::array<ByteClass, 256> table {};
        for (PB_CHAR c = 0; c < 256; ++c) {
            table[static_cast<std::size_t>(c)] = pbUnicodeIsNlf(c) ? ByteClass::newline
                : pbUnicodeIsWhiteSpace(c)                          ? ByteClass::whiteSpace
                                                                    : ByteClass::other;
        }
        return table;
    }();
    return classes;
}

// Whether a byte that is neither alphabet nor padding may be skipped under
// the flags, by its class: newline, white space, anything else. base16
// classifies every byte value; the others take bytes from 0x80 up as
// non-alphabet bytes without asking.
bool skippable(std::uint8_t c, PB_INT flags, bool classifyHighBytes)
{
    ByteClass byteClass = (c >= 0x80 && !classifyHighBytes) ? ByteClass::other : byteClasses()[c];
    switch (byteClass) {
    case ByteClass::newline:
        return flags & RFC_BASE_FLAG_DECODE_IGNORE_NLF;
    case ByteClass::whiteSpace:
        return flags & RFC_BASE_FLAG_DECODE_IGNORE_WHITE_SPACE;
    case ByteClass::other:
        break;
    }
    return flags & RFC_BASE_FLAG_DECODE_IGNORE_NON_ALPHABET;
}

struct MemFree {
    void operator()(void *p) const noexcept { pbMemFree(p); }
};
using Bytes = std::unique_ptr<std::uint8_t[], MemFree>;

// Room the fast loops and the kernels may write beyond the last decoded
// byte.
constexpr PB_INT storeSlack = rfc::base::decodeSlack > 8 ? PB_INT { rfc::base::decodeSlack } : 8;

// Text shorter than this (one vector step) goes to the scalar loops: a
// kernel's set-up costs more than it saves there, and the state machine
// would otherwise call it again at every group boundary of a short tail.
constexpr std::ptrdiff_t kernelMinRun = 32;

// Where the bytes are written: room for the most the text can give and the
// store slack; the decoders finish it with the count they wrote.
using Output = rfc::base::ResultBytes<768, storeSlack>;

// The vector kernels' table of an encoding: the value of each alphabet
// character below 0x80, and the class of every other byte by the same
// runtime tests the state machine uses. Made once per encoding.
template <const std::string_view &alphabet, bool padded, bool bothCases = false>
const rfc::base::DecodeTable &decodeTable()
{
    static const rfc::base::DecodeTable table = [] {
        constexpr auto &values = valueTable<alphabet, padded, bothCases>;
        rfc::base::DecodeTable built {};
        for (unsigned c = 0; c < 128; ++c) {
            std::uint8_t v = values[c];
            if (v < alphabet.size())
                built.entries[c] = v;
            else if (v != notInAlphabet)
                built.entries[c] = rfc::base::classEntry | rfc::base::classPadding;
            else if (byteClasses()[c] == ByteClass::newline)
                built.entries[c] = rfc::base::classEntry | rfc::base::classNewline;
            else if (byteClasses()[c] == ByteClass::whiteSpace)
                built.entries[c] = rfc::base::classEntry | rfc::base::classWhiteSpace;
            else
                built.entries[c] = rfc::base::classEntry | rfc::base::classOther;
        }
        return built;
    }();
    return table;
}

// What the kernels may skip under the flags. Bytes from 0x80 up are
// non-alphabet bytes to base32 and base64; base16 leaves them to the state
// machine, which asks the runtime about each.
rfc::base::DecodeSkip decodeSkip(PB_INT flags, bool classifyHighBytes)
{
    std::uint8_t classes = 0;
    if (flags & RFC_BASE_FLAG_DECODE_IGNORE_NLF)
        classes |= rfc::base::classNewline;
    if (flags & RFC_BASE_FLAG_DECODE_IGNORE_WHITE_SPACE)
        classes |= rfc::base::classWhiteSpace;
    if (flags & RFC_BASE_FLAG_DECODE_IGNORE_NON_ALPHABET)
        classes |= rfc::base::classOther;
    return { classes, !classifyHighBytes && (flags & RFC_BASE_FLAG_DECODE_IGNORE_NON_ALPHABET) != 0 };
}

// The shared procedure of base32, base32hex, base64 and base64url: decodes
// byteCount bytes of text at src under the flags into a new buffer owned by
// the caller, or returns null, with nothing allocated left behind, when the
// text is malformed; then, when refusedAt is not null, it receives the offset
// of the refused byte, or byteCount when the last group was refused. State:
// the values of the current group, the count n of its data characters and
// the count of "=" since the last data character.
template <class Codec>
PB_BUFFER *decodeGroups(const std::uint8_t *src, PB_INT byteCount, PB_INT flags, PB_INT *refusedAt)
{
    constexpr GroupShape shape = Codec::shape;
    constexpr int charsPerGroup = shape.charsPerGroup;
    constexpr std::uint8_t padValue = Codec::alphabetSize;
    constexpr const auto &values = Codec::values;

    if (byteCount == 0)
        return pbBufferCreate();
    auto kernelRun = rfc::base::kernel().decodeRun[static_cast<int>(Codec::kernelShape)];
    rfc::base::DecodeSkip skip = decodeSkip(flags, false);
    Output output((byteCount / charsPerGroup + 1) * shape.bytesPerGroup);
    std::uint8_t *out = output.data();
    const std::uint8_t *p = src;
    const std::uint8_t *end = src + byteCount;

    std::uint8_t group[charsPerGroup];
    int n = 0;     // data characters in the current group
    PB_INT pads = 0; // "=" met since the last data character
    // Refuses the byte just read, or the end of the text.
    auto refuse = [&](PB_INT offset) -> PB_BUFFER * {
        if (refusedAt)
            *refusedAt = offset;
        return nullptr;
    };
    while (p < end) {
        // At a group boundary, a data character may start a run of whole
        // groups; newlines and other bytes go straight to the checks below.
        if (n == 0 && pads == 0 && values[*p] < padValue) {
            if (kernelRun && end - p >= kernelMinRun)
                kernelRun(p, end, out, Codec::table(), skip);
            else
                Codec::decodeRun(p, end, out);
            if (p == end)
                break;
        }
        std::uint8_t c = *p++;
        std::uint8_t v = values[c];
        if (v < padValue) {
            if (pads != 0) {
                if (!(flags & RFC_BASE_FLAG_DECODE_IGNORE_PADDING))
                    return refuse(p - 1 - src);
                pads = 0;
            }
            group[n++] = v;
            if (n == charsPerGroup) {
                out = Codec::decodeGroup(group, out);
                n = 0;
            }
        } else if (v == padValue) {
            ++pads;
        } else if (!skippable(c, flags, false)) {
            return refuse(p - 1 - src);
        }
    }

    if (n != 0 || pads != 0) {
        if (n + pads != charsPerGroup && !(flags & RFC_BASE_FLAG_DECODE_ACCEPT_INVALID_PADDING))
            return refuse(byteCount);
        if (!shape.tailValid(n) && !(flags & RFC_BASE_FLAG_DECODE_ACCEPT_INVALID_LENGTH))
            return refuse(byteCount);
        if (n != 0) {
            if (!Codec::padBitsClear(group, n) && !(flags & RFC_BASE_FLAG_DECODE_ACCEPT_INVALID_PAD_BITS))
                return refuse(byteCount);
            // Over the whole group, so that the loop is unrolled into a few
            // moves rather than a call to memset for one to six bytes.
            for (int i = 0; i < charsPerGroup; ++i)
                group[i] = i < n ? group[i] : 0;
            std::uint8_t whole[shape.bytesPerGroup + storeSlack];
            Codec::decodeGroup(group, whole);
            std::memcpy(out, whole, static_cast<std::size_t>(shape.tailBytes(n)));
            out += shape.tailBytes(n);
        }
    }
    return output.finishBuffer(out - output.data());
}

template <const std::string_view &alphabet>
struct Base64Codec {
    static constexpr GroupShape shape = rfc::base::base64Shape;
    static constexpr rfc::base::Shape kernelShape = rfc::base::Shape::base64;
    static constexpr std::uint8_t alphabetSize = 64;
    static constexpr const auto &values = valueTable<alphabet, true>;
    static const rfc::base::DecodeTable &table() { return decodeTable<alphabet, true>(); }

    // Base64 requires the bits below the last character's share of the
    // last byte to be zero.
    static bool padBitsClear(const std::uint8_t *group, int n)
    {
        if (n == 2)
            return (group[1] & 0x0F) == 0;
        if (n == 3)
            return (group[2] & 0x03) == 0;
        return true;
    }

    static std::uint8_t *decodeGroup(const std::uint8_t *v, std::uint8_t *out)
    {
        std::uint32_t bits = (std::uint32_t { v[0] } << 18) | (std::uint32_t { v[1] } << 12)
            | (std::uint32_t { v[2] } << 6) | v[3];
        out[0] = static_cast<std::uint8_t>(bits >> 16);
        out[1] = static_cast<std::uint8_t>(bits >> 8);
        out[2] = static_cast<std::uint8_t>(bits);
        return out + 3;
    }

    // Decodes whole groups of four alphabet characters from p while they
    // last; stops at the first group holding anything else, or when fewer
    // than four bytes remain. Writes one byte of slack past each group.
    static void decodeRun(const std::uint8_t *&p, const std::uint8_t *end, std::uint8_t *&out)
    {
        constexpr const auto &t = fastTables<alphabet>;
        const std::uint8_t *q = p;
        std::uint8_t *o = out;
        while (end - q >= 8) {
            std::uint32_t a = t[0][q[0]] | t[1][q[1]] | t[2][q[2]] | t[3][q[3]];
            std::uint32_t b = t[0][q[4]] | t[1][q[5]] | t[2][q[6]] | t[3][q[7]];
            if ((a | b) & fastError)
                break;
            std::memcpy(o, &a, 4);
            std::memcpy(o + 3, &b, 4);
            q += 8;
            o += 6;
        }
        while (end - q >= 4) {
            std::uint32_t a = t[0][q[0]] | t[1][q[1]] | t[2][q[2]] | t[3][q[3]];
            if (a & fastError)
                break;
            std::memcpy(o, &a, 4);
            q += 4;
            o += 3;
        }
        p = q;
        out = o;
    }
};

template <const std::string_view &alphabet>
struct Base32Codec {
    static constexpr GroupShape shape = rfc::base::base32Shape;
    static constexpr rfc::base::Shape kernelShape = rfc::base::Shape::base32;
    static constexpr std::uint8_t alphabetSize = 32;
    static constexpr const auto &values = valueTable<alphabet, true>;
    static const rfc::base::DecodeTable &table() { return decodeTable<alphabet, true>(); }

    // Surplus bits of a last base32 character are dropped unchecked.
    static bool padBitsClear(const std::uint8_t *, int) { return true; }

    // Writes the five bytes of a group and eight bytes of room in all.
    static std::uint8_t *decodeGroup(const std::uint8_t *v, std::uint8_t *out)
    {
        std::uint64_t bits = 0;
        for (int i = 0; i < 8; ++i)
            bits = (bits << 5) | v[i];
        for (int i = 0; i < 5; ++i)
            out[i] = static_cast<std::uint8_t>(bits >> (32 - 8 * i));
        return out + 5;
    }

    // Decodes whole groups of eight alphabet characters while they last.
    static void decodeRun(const std::uint8_t *&p, const std::uint8_t *end, std::uint8_t *&out)
    {
        const std::uint8_t *q = p;
        std::uint8_t *o = out;
        while (end - q >= 8) {
            std::uint8_t v[8];
            std::uint8_t any = 0;
            for (int i = 0; i < 8; ++i) {
                v[i] = values[q[i]];
                any |= v[i];
            }
            if (any & 0xE0) // padding (32) or a byte outside the alphabet
                break;
            o = decodeGroup(v, o);
            q += 8;
        }
        p = q;
        out = o;
    }
};

// base16: pairs of hex digits, either case; no padding, no length rules.
PB_BUFFER *decodeBase16(const std::uint8_t *src, PB_INT byteCount, PB_INT flags, PB_INT *refusedAt)
{
    constexpr const auto &values = valueTable<rfc::base::alphabetBase16, false, true>;
    if (byteCount == 0)
        return pbBufferCreate();
    auto kernelRun = rfc::base::kernel().decodeRun[static_cast<int>(rfc::base::Shape::base16)];
    rfc::base::DecodeSkip skip = decodeSkip(flags, true);
    Output output(byteCount / 2);
    std::uint8_t *out = output.data();
    const std::uint8_t *p = src;
    const std::uint8_t *end = src + byteCount;
    int pending = -1; // the first digit of an incomplete pair
    while (p < end) {
        if (pending < 0 && kernelRun && end - p >= kernelMinRun) {
            kernelRun(p, end, out, decodeTable<rfc::base::alphabetBase16, false, true>(), skip);
            if (p == end)
                break;
        } else if (pending < 0) {
            while (end - p >= 2) {
                std::uint8_t high = values[p[0]];
                std::uint8_t low = values[p[1]];
                if ((high | low) & 0xF0)
                    break;
                *out++ = static_cast<std::uint8_t>((high << 4) | low);
                p += 2;
            }
            if (p == end)
                break;
        }
        std::uint8_t c = *p++;
        std::uint8_t v = values[c];
        if (v < 16) {
            if (pending < 0) {
                pending = v;
            } else {
                *out++ = static_cast<std::uint8_t>((pending << 4) | v);
                pending = -1;
            }
        } else if (!skippable(c, flags, true)) {
            if (refusedAt)
                *refusedAt = p - 1 - src;
            return nullptr;
        }
    }
    if (pending >= 0) {
        if (refusedAt)
            *refusedAt = byteCount;
        return nullptr;
    }
    return output.finishBuffer(out - output.data());
}

// Decodes byteCount bytes of text at src in the encoding under the flags:
// a new buffer owned by the caller, or null when the text is malformed
// (and then the refused offset in *refusedAt when refusedAt is not null).
PB_BUFFER *decodeBytes(const std::uint8_t *src, PB_INT byteCount, PB_INT encoding, PB_INT flags,
    PB_INT *refusedAt = nullptr)
{
    switch (encoding) {
    case RFC_BASE_ENCODING_BASE16:
        return decodeBase16(src, byteCount, flags, refusedAt);
    case RFC_BASE_ENCODING_BASE32:
        return decodeGroups<Base32Codec<rfc::base::alphabetBase32>>(src, byteCount, flags, refusedAt);
    case RFC_BASE_ENCODING_BASE32HEX:
        return decodeGroups<Base32Codec<rfc::base::alphabetBase32Hex>>(src, byteCount, flags, refusedAt);
    case RFC_BASE_ENCODING_BASE64:
        return decodeGroups<Base64Codec<rfc::base::alphabetBase64>>(src, byteCount, flags, refusedAt);
    case RFC_BASE_ENCODING_BASE64URL:
        return decodeGroups<Base64Codec<rfc::base::alphabetBase64Url>>(src, byteCount, flags, refusedAt);
    }
    PB_UNREACHABLE();
}

// The decoding flags, each of which relaxes one rule.
constexpr PB_INT decodeFlags[] = { RFC_BASE_FLAG_DECODE_IGNORE_NLF, RFC_BASE_FLAG_DECODE_IGNORE_WHITE_SPACE,
    RFC_BASE_FLAG_DECODE_IGNORE_NON_ALPHABET, RFC_BASE_FLAG_DECODE_IGNORE_PADDING,
    RFC_BASE_FLAG_DECODE_ACCEPT_INVALID_PAD_BITS, RFC_BASE_FLAG_DECODE_ACCEPT_INVALID_PADDING,
    RFC_BASE_FLAG_DECODE_ACCEPT_INVALID_LENGTH };
constexpr unsigned decodeFlagCount = sizeof decodeFlags / sizeof decodeFlags[0];

// Fills the refusal of a text that the decoder refused under flags at
// refusedAt. Every flag only relaxes a rule, so acceptance grows with the
// flag set: when all flags together are refused, no set is accepted;
// otherwise the sets of one flag, then of two, and so on are tried (each
// size in ascending order of value), and the first accepted is a smallest.
void describeRefusal(const std::uint8_t *src, PB_INT byteCount, PB_INT encoding, PB_INT flags, PB_INT refusedAt,
    RFC_BASE_DECODE_REFUSAL *refusal)
{
    auto accepts = [&](PB_INT added) {
        pb::Ref<PB_BUFFER> bytes(decodeBytes(src, byteCount, encoding, flags | added));
        return bytes.get() != nullptr;
    };
    refusal->offset = refusedAt;
    refusal->acceptingFlags = -1;
    PB_INT missing = 0;
    for (PB_INT flag : decodeFlags)
        missing |= flag & ~flags;
    if (missing == 0 || !accepts(missing))
        return;
    for (unsigned size = 1; size <= decodeFlagCount; ++size) {
        for (unsigned choice = 1; choice < (1u << decodeFlagCount); ++choice) {
            if (static_cast<unsigned>(std::popcount(choice)) != size)
                continue;
            PB_INT added = 0;
            for (unsigned i = 0; i < decodeFlagCount; ++i)
                added |= (choice >> i & 1) ? decodeFlags[i] : 0;
            if ((added & flags) == 0 && accepts(added)) {
                refusal->acceptingFlags = added;
                return;
            }
        }
    }
}

// Decodes, and describes a refusal into refusal when it is not null.
PB_BUFFER *decodeBytesWithRefusal(const std::uint8_t *src, PB_INT byteCount, PB_INT encoding, PB_INT flags,
    RFC_BASE_DECODE_REFUSAL *refusal)
{
    PB_INT refusedAt = -1;
    PB_BUFFER *result = decodeBytes(src, byteCount, encoding, flags, refusal ? &refusedAt : nullptr);
    if (!result && refusal)
        describeRefusal(src, byteCount, encoding, flags, refusedAt, refusal);
    return result;
}

PB_BUFFER *decodeBuffer(PB_BUFFER *source, PB_INT encoding, PB_INT flags,
    RFC_BASE_DECODE_REFUSAL *refusal = nullptr)
{
    PB_INT byteCount = pbBufferLength(source);
    const PB_BYTE *data = pbBufferBacking(source);
    PB_ASSERT( byteCount >= 0 );
    PB_ASSERT( data || byteCount == 0 );
    return decodeBytesWithRefusal(data, byteCount, encoding, flags, refusal);
}

// Converts the string to bytes (one per code point; above 0x7F they are
// bytes from 0x80 up, which no alphabet holds) and decodes them. Offsets in
// the bytes are thus offsets in code points.
PB_BUFFER *decodeString(PB_STRING *string, PB_INT encoding, PB_INT flags,
    RFC_BASE_DECODE_REFUSAL *refusal = nullptr)
{
    PB_INT byteCount = 0;
    Bytes bytes(pbStringConvertToAscii(string, 0, &byteCount));
    PB_ASSERT( byteCount >= 0 );
    return decodeBytesWithRefusal(bytes.get(), byteCount, encoding, flags, refusal);
}

} // namespace

extern "C" {

// A new buffer with the bytes the text in source stands for, owned by the
// caller, or null when the text is malformed under the options' flags.
// source and opt are borrowed and never changed.
RFC_API PB_BUFFER *rfcBaseTryDecodeWithOptions(PB_BUFFER *source, PB_INT encoding, RFC_BASE_OPTIONS *opt) noexcept
{
    PB_ASSERT( source );
    PB_ASSERT( RFC_BASE_ENCODING_OK( encoding ) );
    PB_ASSERT( opt );
    return decodeBuffer(source, encoding, rfc::base::settingsOf(opt).flags);
}

// Strict decoding: every rule applies.
RFC_API PB_BUFFER *rfcBaseTryDecode(PB_BUFFER *source, PB_INT encoding) noexcept
{
    PB_ASSERT( source );
    PB_ASSERT( RFC_BASE_ENCODING_OK( encoding ) );
    return decodeBuffer(source, encoding, Settings {}.flags);
}

RFC_API PB_BUFFER *rfcBaseTryDecodeWithFlags(PB_BUFFER *source, PB_INT encoding, PB_INT flags) noexcept
{
    PB_ASSERT( source );
    PB_ASSERT( RFC_BASE_ENCODING_OK( encoding ) );
    return decodeBuffer(source, encoding, rfcBaseFlagsNormalize(flags));
}

RFC_API PB_BUFFER *rfcBaseTryDecodeStringWithOptions(PB_STRING *string, PB_INT encoding, RFC_BASE_OPTIONS *opt) noexcept
{
    PB_ASSERT( string );
    PB_ASSERT( RFC_BASE_ENCODING_OK( encoding ) );
    PB_ASSERT( opt );
    return decodeString(string, encoding, rfc::base::settingsOf(opt).flags);
}

RFC_API PB_BUFFER *rfcBaseTryDecodeString(PB_STRING *string, PB_INT encoding) noexcept
{
    PB_ASSERT( string );
    PB_ASSERT( RFC_BASE_ENCODING_OK( encoding ) );
    return decodeString(string, encoding, Settings {}.flags);
}

RFC_API PB_BUFFER *rfcBaseTryDecodeStringWithFlags(PB_STRING *string, PB_INT encoding, PB_INT flags) noexcept
{
    PB_ASSERT( string );
    PB_ASSERT( RFC_BASE_ENCODING_OK( encoding ) );
    return decodeString(string, encoding, rfcBaseFlagsNormalize(flags));
}

// As rfcBaseTryDecodeWithOptions; on refusal, and when refusal is not
// null, also says where and which further flags would have accepted.
RFC_API PB_BUFFER *rfcBaseTryDecodeWithRefusal(PB_BUFFER *source, PB_INT encoding, RFC_BASE_OPTIONS *opt,
    RFC_BASE_DECODE_REFUSAL *refusal) noexcept
{
    PB_ASSERT( source );
    PB_ASSERT( RFC_BASE_ENCODING_OK( encoding ) );
    PB_ASSERT( opt );
    return decodeBuffer(source, encoding, rfc::base::settingsOf(opt).flags, refusal);
}

RFC_API PB_BUFFER *rfcBaseTryDecodeStringWithRefusal(PB_STRING *string, PB_INT encoding, RFC_BASE_OPTIONS *opt,
    RFC_BASE_DECODE_REFUSAL *refusal) noexcept
{
    PB_ASSERT( string );
    PB_ASSERT( RFC_BASE_ENCODING_OK( encoding ) );
    PB_ASSERT( opt );
    return decodeString(string, encoding, rfc::base::settingsOf(opt).flags, refusal);
}

} // extern "C"
