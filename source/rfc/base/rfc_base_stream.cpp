// Streaming base encoding and decoding: text or bytes handed over in pieces
// of any size, results handed back as soon as they are final, byte for byte
// what the one-call functions give for the whole input.
//
// Both streams keep the input they cannot pass on yet and cut the rest at a
// point where the one-call function, given the input up to the cut alone,
// writes exactly what it writes for that part of the whole input:
// - encoding: a multiple of the group size; the pieces are encoded without
//   line length and the stream wraps the text as the one-call encoder does
//   (a newline between lines, none after the last), so that memory does not
//   depend on the line length; the trailing newline comes at the end;
// - decoding: a point before which the alphabet characters form whole groups
//   and the last character that is not skipped is an alphabet character (no
//   padding is pending), so that the decoder's state there is its state at
//   the start, and the rules of the last group and of padding never see the
//   cut.
// The pieces go through rfcBaseEncodeWithOptions and
// rfcBaseTryDecodeWithOptions, so the streams are as fast as those.
#include "rfc_base_internal.h"

#include <cstring>
#include <new>

namespace {

// Bytes and characters per group, by encoding.
constexpr PB_INT bytesPerGroup[] = { 1, 5, 5, 3, 3 };
constexpr PB_INT charsPerGroup[] = { 2, 8, 8, 4, 4 };

// The bytes of the newline kind written by an output newline value.
struct Newline {
    PB_BYTE bytes[2];
    PB_INT length;
};

constexpr Newline newlineOf(PB_INT nlf)
{
    switch (nlf) {
    case PB_NLF_FLAG_LF:
        return { { 0x0A, 0 }, 1 };
    case PB_NLF_FLAG_CR:
        return { { 0x0D, 0 }, 1 };
    case PB_NLF_FLAG_CRLF:
        return { { 0x0D, 0x0A }, 2 };
    case PB_NLF_FLAG_VT:
        return { { 0x0B, 0 }, 1 };
    case PB_NLF_FLAG_FF:
        return { { 0x0C, 0 }, 1 };
    default:
        return { { 0, 0 }, 0 };
    }
}

// Alphabet membership by byte ranges, so that counting alphabet characters
// compiles to vector compares. Checked against the alphabets below.
template <PB_INT encoding>
constexpr bool inAlphabet(PB_BYTE c)
{
    if constexpr (encoding == RFC_BASE_ENCODING_BASE16)
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
    else if constexpr (encoding == RFC_BASE_ENCODING_BASE32)
        return (c >= 'A' && c <= 'Z') || (c >= '2' && c <= '7');
    else if constexpr (encoding == RFC_BASE_ENCODING_BASE32HEX)
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'V');
    else if constexpr (encoding == RFC_BASE_ENCODING_BASE64)
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/';
    else
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
}

// The decoder reads base16 in both letter cases.
template <PB_INT encoding>
constexpr bool rangesMatchAlphabet(std::string_view alphabet)
{
    for (int c = 0; c < 256; ++c) {
        bool listed = alphabet.find(static_cast<char>(c)) != std::string_view::npos;
        if (encoding == RFC_BASE_ENCODING_BASE16 && c >= 'a' && c <= 'f')
            listed = true;
        if (inAlphabet<encoding>(static_cast<PB_BYTE>(c)) != listed)
            return false;
    }
    return true;
}
static_assert(rangesMatchAlphabet<RFC_BASE_ENCODING_BASE16>(rfc::base::alphabetBase16));
static_assert(rangesMatchAlphabet<RFC_BASE_ENCODING_BASE32>(rfc::base::alphabetBase32));
static_assert(rangesMatchAlphabet<RFC_BASE_ENCODING_BASE32HEX>(rfc::base::alphabetBase32Hex));
static_assert(rangesMatchAlphabet<RFC_BASE_ENCODING_BASE64>(rfc::base::alphabetBase64));
static_assert(rangesMatchAlphabet<RFC_BASE_ENCODING_BASE64URL>(rfc::base::alphabetBase64Url));

// The largest cut in the n bytes at p (0 when there is none): the decoder's
// state there is its starting state, as the file comment describes. Counts
// the alphabet characters once, then walks back from the end over fewer than
// a group of them.
template <PB_INT encoding>
PB_INT decodeCut(const PB_BYTE *p, PB_INT n)
{
    constexpr PB_INT group = charsPerGroup[encoding];
    constexpr bool padded = encoding != RFC_BASE_ENCODING_BASE16;
    PB_INT count = 0;
    for (PB_INT i = 0; i < n; ++i)
        count += inAlphabet<encoding>(p[i]) ? 1 : 0;
    PB_INT residue = count % group; // alphabet characters before pos, modulo the group
    PB_INT pos = n;
    for (;;) {
        // The last byte before pos that is an alphabet or pad character.
        PB_INT j = pos - 1;
        while (j >= 0 && !inAlphabet<encoding>(p[j]) && !(padded && p[j] == rfc::base::padCharacter))
            --j;
        if (j < 0)
            return pos; // nothing but skipped bytes: the starting state
        if (inAlphabet<encoding>(p[j])) {
            if (residue == 0)
                return pos;
            --residue;
        }
        pos = j;
    }
}

PB_INT decodeCutFor(PB_INT encoding, const PB_BYTE *p, PB_INT n)
{
    switch (encoding) {
    case RFC_BASE_ENCODING_BASE16:
        return decodeCut<RFC_BASE_ENCODING_BASE16>(p, n);
    case RFC_BASE_ENCODING_BASE32:
        return decodeCut<RFC_BASE_ENCODING_BASE32>(p, n);
    case RFC_BASE_ENCODING_BASE32HEX:
        return decodeCut<RFC_BASE_ENCODING_BASE32HEX>(p, n);
    case RFC_BASE_ENCODING_BASE64:
        return decodeCut<RFC_BASE_ENCODING_BASE64>(p, n);
    case RFC_BASE_ENCODING_BASE64URL:
        return decodeCut<RFC_BASE_ENCODING_BASE64URL>(p, n);
    }
    PB_UNREACHABLE();
}

// Splits *pending at cut: *pending keeps the bytes before it, and the bytes
// from it on are copied to tail (pbMemAlloc'd, tailLength bytes; null when
// there are none). The caller gives the tail back with restoreTail.
struct Tail {
    PB_BYTE *bytes = nullptr;
    PB_INT length = 0;
    Tail() = default;
    Tail(const Tail &) = delete;
    Tail &operator=(const Tail &) = delete;
    ~Tail() { pbMemFree(bytes); }
};

void splitTail(PB_BUFFER **pending, PB_INT cut, Tail &tail)
{
    PB_INT length = pbBufferLength(*pending);
    tail.length = length - cut;
    if (tail.length > 0) {
        tail.bytes = static_cast<PB_BYTE *>(pbMemAlloc(tail.length));
        std::memcpy(tail.bytes, pbBufferBacking(*pending) + cut, static_cast<std::size_t>(tail.length));
        pbBufferDelTrailing(pending, tail.length);
    }
}

// Empties *pending (keeping its room) and puts the tail in.
void restoreTail(PB_BUFFER **pending, const Tail &tail)
{
    pbBufferDelTrailing(pending, pbBufferLength(*pending));
    if (tail.length > 0)
        pbBufferAppendBytes(pending, tail.bytes, tail.length);
}

} // namespace

// The state of a streaming encoder: the options of the pieces (no line
// length, no trailing newline), the input not yet encoded, and the wrapping
// the stream does itself: the line length (-1: none), the newline, whether
// to end with it, and the characters on the current line.
struct RFC_BASE_ENCODE_STREAM {
    PB_INT encoding;
    RFC_BASE_OPTIONS *pieceOpt;
    PB_BUFFER *pending;
    PB_INT lineLength;
    Newline newline;
    bool trailingNewline;
    PB_INT column;
};

// The state of a streaming decoder: its options, the text not yet decoded,
// how much text went into decoded pieces, and the refusal once there is
// one. After a refusal the stream goes on reading as a probe: it decodes the
// rest under its flags and the accepting flags found so far (probeOpt),
// adding the flags each further refused piece needs, so that the refusal
// names flags that accept the whole text.
//
// A group that stays open while a long run of bytes outside the alphabet or
// of padding follows has no cut; then the stream compacts the text it holds
// (compact() below) and remembers where it dropped bytes (drops, in
// positions of the text held), so that offsets still count the whole text.
struct Drop {
    PB_INT pos;   // dropped right before this position of the text held
    PB_INT count; // how many bytes of the whole text
};

struct RFC_BASE_DECODE_STREAM {
    PB_INT encoding;
    RFC_BASE_OPTIONS *opt;
    RFC_BASE_OPTIONS *probeOpt;
    PB_BUFFER *pending;
    PB_INT consumed;
    bool refused;
    RFC_BASE_DECODE_REFUSAL refusal;
    static constexpr int maxDrops = 160;
    Drop drops[maxDrops];
    int dropCount;
};

namespace {

// Encodes *pending up to cut as a piece, keeps the rest, and returns the
// text wrapped as the one-call encoder wraps the whole text: a newline in
// front of every character that would make a line longer than the line
// length, none after the last.
PB_BUFFER *encodePiece(RFC_BASE_ENCODE_STREAM *stream, PB_INT cut)
{
    Tail tail;
    splitTail(&stream->pending, cut, tail);
    pb::Ref<PB_BUFFER> text(rfcBaseEncodeWithOptions(stream->pending, stream->encoding, stream->pieceOpt));
    restoreTail(&stream->pending, tail);
    if (stream->lineLength == -1)
        return text.take();
    PB_BUFFER *wrapped = pbBufferCreate();
    const PB_BYTE *p = pbBufferBacking(text.get());
    PB_INT left = pbBufferLength(text.get());
    while (left > 0) {
        if (stream->column == stream->lineLength) {
            pbBufferAppendBytes(&wrapped, stream->newline.bytes, stream->newline.length);
            stream->column = 0;
        }
        const PB_INT n = left < stream->lineLength - stream->column ? left : stream->lineLength - stream->column;
        pbBufferAppendBytes(&wrapped, p, n);
        p += n;
        left -= n;
        stream->column += n;
    }
    return wrapped;
}

} // namespace

extern "C" {

// A new encoding stream for the encoding under the options (borrowed; the
// stream keeps what it needs). Free it with rfcBaseEncodeStreamFree.
RFC_API RFC_BASE_ENCODE_STREAM *rfcBaseEncodeStreamCreate(PB_INT encoding, RFC_BASE_OPTIONS *opt) noexcept
{
    PB_ASSERT( RFC_BASE_ENCODING_OK( encoding ) );
    PB_ASSERT( opt );
    const rfc::base::Settings settings = rfc::base::settingsOf(opt);
    auto *stream = static_cast<RFC_BASE_ENCODE_STREAM *>(pbMemAlloc(sizeof(RFC_BASE_ENCODE_STREAM)));
    stream->encoding = encoding;
    stream->pieceOpt = rfcBaseOptionsCreateFrom(opt);
    rfcBaseOptionsSetFlags(&stream->pieceOpt, settings.flags & ~PB_INT { RFC_BASE_FLAG_ENCODE_ENSURE_TRAILING_NLF });
    rfcBaseOptionsDelOutputLineLength(&stream->pieceOpt);
    stream->pending = pbBufferCreate();
    stream->newline = newlineOf(settings.outputNlf);
    // Without a newline there is no wrapping and no trailing newline.
    stream->lineLength = settings.outputNlf != 0 ? settings.outputLineLength : -1;
    stream->trailingNewline = settings.outputNlf != 0 && (settings.flags & RFC_BASE_FLAG_ENCODE_ENSURE_TRAILING_NLF);
    stream->column = 0;
    return stream;
}

// Takes byteCount bytes (copied) and returns a new buffer, owned by the
// caller, with the text that is final so far (possibly empty).
RFC_API PB_BUFFER *rfcBaseEncodeStreamWrite(RFC_BASE_ENCODE_STREAM *stream, const PB_BYTE *bytes,
    PB_INT byteCount) noexcept
{
    PB_ASSERT( stream );
    PB_ASSERT( byteCount >= 0 );
    PB_ASSERT( bytes || byteCount == 0 );
    pbBufferAppendBytes(&stream->pending, bytes, byteCount);
    const PB_INT length = pbBufferLength(stream->pending);
    const PB_INT cut = length - length % bytesPerGroup[stream->encoding];
    if (cut == 0)
        return pbBufferCreate();
    return encodePiece(stream, cut);
}

// Ends the input and returns a new buffer with the rest of the text, the
// trailing newline included when the options ask for it.
RFC_API PB_BUFFER *rfcBaseEncodeStreamFinish(RFC_BASE_ENCODE_STREAM *stream) noexcept
{
    PB_ASSERT( stream );
    PB_BUFFER *text = encodePiece(stream, pbBufferLength(stream->pending));
    if (stream->trailingNewline)
        pbBufferAppendBytes(&text, stream->newline.bytes, stream->newline.length);
    stream->column = 0;
    return text;
}

RFC_API void rfcBaseEncodeStreamFree(RFC_BASE_ENCODE_STREAM *stream) noexcept
{
    if (!stream)
        return;
    rfcBaseOptionsRelease(stream->pieceOpt);
    pbObjRelease(pb::obj(stream->pending));
    pbMemFree(stream);
}

// A new decoding stream for the encoding under the options (borrowed; the
// stream keeps its own reference). Free it with rfcBaseDecodeStreamFree.
RFC_API RFC_BASE_DECODE_STREAM *rfcBaseDecodeStreamCreate(PB_INT encoding, RFC_BASE_OPTIONS *opt) noexcept
{
    PB_ASSERT( RFC_BASE_ENCODING_OK( encoding ) );
    PB_ASSERT( opt );
    auto *stream = static_cast<RFC_BASE_DECODE_STREAM *>(pbMemAlloc(sizeof(RFC_BASE_DECODE_STREAM)));
    stream->encoding = encoding;
    stream->opt = rfcBaseOptionsRetain(opt);
    stream->pending = pbBufferCreate();
    stream->probeOpt = nullptr;
    stream->dropCount = 0;
    stream->consumed = 0;
    stream->refused = false;
    stream->refusal = { 0, 0 };
    return stream;
}

namespace {

// Held text beyond which a stream without a cut compacts what it holds.
// Compacted text is at most a few dozen bytes (fewer than a group of
// alphabet characters, each run of padding cut to one more than a group),
// so a run of any length inside an open group costs this much memory and
// time linear in its length.
constexpr PB_INT compactBound = PB_INT { 1 } << 12;

// The offset in the whole text of position x of the text held.
PB_INT originalOffset(const RFC_BASE_DECODE_STREAM *stream, PB_INT x)
{
    PB_INT offset = stream->consumed + x;
    for (int k = 0; k < stream->dropCount; ++k)
        if (stream->drops[k].pos <= x)
            offset += stream->drops[k].count;
    return offset;
}

// The text held up to cut has gone into a piece: count it, with the bytes
// dropped in it, and move the drops after it to the new positions.
void consume(RFC_BASE_DECODE_STREAM *stream, PB_INT cut)
{
    stream->consumed = originalOffset(stream, cut);
    int kept = 0;
    for (int k = 0; k < stream->dropCount; ++k)
        if (stream->drops[k].pos > cut)
            stream->drops[kept++] = { stream->drops[k].pos - cut, stream->drops[k].count };
    stream->dropCount = kept;
}

// Whether the decoder skips byte c, which is neither an alphabet character
// nor padding, under flags: the decoder's classification (newline, white
// space, any other byte; from 0x80 up any other byte, except in base16).
bool skippedByDecoder(PB_BYTE c, PB_INT flags, PB_INT encoding)
{
    if (c < 0x80 || encoding == RFC_BASE_ENCODING_BASE16) {
        if (pbUnicodeIsNlf(c))
            return flags & RFC_BASE_FLAG_DECODE_IGNORE_NLF;
        if (pbUnicodeIsWhiteSpace(c))
            return flags & RFC_BASE_FLAG_DECODE_IGNORE_WHITE_SPACE;
    }
    return flags & RFC_BASE_FLAG_DECODE_IGNORE_NON_ALPHABET;
}

bool alphabetByte(PB_INT encoding, PB_BYTE c)
{
    switch (encoding) {
    case RFC_BASE_ENCODING_BASE16:
        return inAlphabet<RFC_BASE_ENCODING_BASE16>(c);
    case RFC_BASE_ENCODING_BASE32:
        return inAlphabet<RFC_BASE_ENCODING_BASE32>(c);
    case RFC_BASE_ENCODING_BASE32HEX:
        return inAlphabet<RFC_BASE_ENCODING_BASE32HEX>(c);
    case RFC_BASE_ENCODING_BASE64:
        return inAlphabet<RFC_BASE_ENCODING_BASE64>(c);
    default:
        return inAlphabet<RFC_BASE_ENCODING_BASE64URL>(c);
    }
}

// Rewrites the text held without what cannot change the decoder's answer
// under the flags in force, or under any flags added to them: the bytes it
// skips, and padding beyond one more than a group in a run (the decoder only
// asks whether the run completes the group). Kept: alphabet characters,
// bytes it refuses, and the rest of the padding. Returns whether the text
// held holds a byte the decoder refuses.
bool compact(RFC_BASE_DECODE_STREAM *stream)
{
    const PB_INT flags = rfcBaseOptionsFlags(stream->refused ? stream->probeOpt : stream->opt);
    const bool padded = stream->encoding != RFC_BASE_ENCODING_BASE16;
    const PB_INT maxPads = charsPerGroup[stream->encoding] + 1;
    const PB_BYTE *p = pbBufferBacking(stream->pending);
    const PB_INT n = pbBufferLength(stream->pending);
    PB_BUFFER *kept = pbBufferCreate();
    Drop drops[RFC_BASE_DECODE_STREAM::maxDrops];
    int dropCount = 0;
    PB_INT dropped = 0; // bytes of the whole text dropped since the last kept byte
    PB_INT pads = 0;
    bool refusedByte = false;
    int old = 0;
    auto keep = [&](PB_BYTE c) {
        if (dropped > 0) {
            PB_ASSERT( dropCount < RFC_BASE_DECODE_STREAM::maxDrops );
            drops[dropCount++] = { pbBufferLength(kept), dropped };
            dropped = 0;
        }
        pbBufferAppendByte(&kept, c);
    };
    for (PB_INT i = 0; i <= n; ++i) {
        for (; old < stream->dropCount && stream->drops[old].pos == i; ++old)
            dropped += stream->drops[old].count;
        if (i == n)
            break;
        const PB_BYTE c = p[i];
        if (alphabetByte(stream->encoding, c)) {
            pads = 0;
            keep(c);
        } else if (padded && c == rfc::base::padCharacter) {
            if (++pads <= maxPads)
                keep(c);
            else
                ++dropped;
        } else if (skippedByDecoder(c, flags, stream->encoding)) {
            ++dropped;
        } else {
            refusedByte = true;
            keep(c);
        }
    }
    if (dropped > 0) {
        PB_ASSERT( dropCount < RFC_BASE_DECODE_STREAM::maxDrops );
        drops[dropCount++] = { pbBufferLength(kept), dropped };
    }
    pbObjRelease(pb::obj(stream->pending));
    stream->pending = kept;
    for (int k = 0; k < dropCount; ++k)
        stream->drops[k] = drops[k];
    stream->dropCount = dropCount;
    return refusedByte;
}

// Decodes *pending up to cut as a piece and keeps the rest. On the first
// refusal, hands out what decodes in front of the fault, records the
// refusal with its offset in the whole text, and turns into a probe; a
// probe hands out nothing and adds the flags each refused piece needs.
PB_BUFFER *decodePiece(RFC_BASE_DECODE_STREAM *stream, PB_INT cut)
{
    Tail tail;
    splitTail(&stream->pending, cut, tail);
    RFC_BASE_OPTIONS *opt = stream->refused ? stream->probeOpt : stream->opt;
    RFC_BASE_DECODE_REFUSAL refusal { 0, 0 };
    PB_BUFFER *bytes = rfcBaseTryDecodeWithRefusal(stream->pending, stream->encoding, opt, &refusal);
    if (stream->refused) {
        pb::Ref<PB_BUFFER> probed(bytes);
        if (probed) {
            consume(stream, cut);
            restoreTail(&stream->pending, tail);
            return pbBufferCreate();
        }
        // Under the added flags the piece is read again with what follows.
        if (tail.length > 0)
            pbBufferAppendBytes(&stream->pending, tail.bytes, tail.length);
        stream->refusal.acceptingFlags =
            refusal.acceptingFlags < 0 ? -1 : stream->refusal.acceptingFlags | refusal.acceptingFlags;
        if (stream->refusal.acceptingFlags < 0)
            pbBufferDelTrailing(&stream->pending, pbBufferLength(stream->pending));
        else
            rfcBaseOptionsSetFlags(&stream->probeOpt, rfcBaseOptionsFlags(stream->opt) | stream->refusal.acceptingFlags);
        return pbBufferCreate();
    }
    if (bytes) {
        consume(stream, cut);
        restoreTail(&stream->pending, tail);
        return bytes;
    }
    // The text before the last cut in front of the fault decodes as it does
    // in the whole text.
    const PB_INT good = decodeCutFor(stream->encoding, pbBufferBacking(stream->pending), refusal.offset);
    Tail rest;
    splitTail(&stream->pending, good, rest);
    bytes = rfcBaseTryDecodeWithOptions(stream->pending, stream->encoding, stream->opt);
    PB_ASSERT( bytes );
    stream->refused = true;
    stream->refusal = { originalOffset(stream, refusal.offset), refusal.acceptingFlags };
    // The probe goes on from that cut, under the accepting flags; without
    // such flags nothing can accept the text.
    consume(stream, good);
    restoreTail(&stream->pending, rest);
    if (tail.length > 0)
        pbBufferAppendBytes(&stream->pending, tail.bytes, tail.length);
    if (refusal.acceptingFlags < 0) {
        pbBufferDelTrailing(&stream->pending, pbBufferLength(stream->pending));
    } else {
        stream->probeOpt = rfcBaseOptionsCreateFrom(stream->opt);
        rfcBaseOptionsSetFlags(&stream->probeOpt, rfcBaseOptionsFlags(stream->opt) | refusal.acceptingFlags);
    }
    return bytes;
}

// Whether the stream still reads: it has not refused, or it probes.
bool reading(const RFC_BASE_DECODE_STREAM *stream)
{
    return !stream->refused || stream->refusal.acceptingFlags >= 0;
}

} // namespace

// Takes byteCount bytes of text (copied) and returns a new buffer, owned by
// the caller, with the bytes that are final so far (possibly empty). Once
// the stream has refused, it takes nothing more and returns empty buffers.
RFC_API PB_BUFFER *rfcBaseDecodeStreamWrite(RFC_BASE_DECODE_STREAM *stream, const PB_BYTE *bytes,
    PB_INT byteCount) noexcept
{
    PB_ASSERT( stream );
    PB_ASSERT( byteCount >= 0 );
    PB_ASSERT( bytes || byteCount == 0 );
    if (!reading(stream))
        return pbBufferCreate();
    pbBufferAppendBytes(&stream->pending, bytes, byteCount);
    const PB_INT cut = decodeCutFor(stream->encoding, pbBufferBacking(stream->pending), pbBufferLength(stream->pending));
    if (cut > 0)
        return decodePiece(stream, cut);
    if (pbBufferLength(stream->pending) <= compactBound)
        return pbBufferCreate();
    // An open group with a long run after it: hold only what matters. When
    // what is left holds a byte the decoder refuses, the refusal is final:
    // decode it now, as a piece that ends at the refused byte's answer.
    if (!compact(stream))
        return pbBufferCreate();
    return decodePiece(stream, pbBufferLength(stream->pending));
}

// Ends the text and returns a new buffer with the rest of the bytes (the
// last group's checks apply here). Check rfcBaseDecodeStreamRefusal after.
RFC_API PB_BUFFER *rfcBaseDecodeStreamFinish(RFC_BASE_DECODE_STREAM *stream) noexcept
{
    PB_ASSERT( stream );
    if (!reading(stream))
        return pbBufferCreate();
    PB_BUFFER *bytes = stream->refused ? pbBufferCreate() : decodePiece(stream, pbBufferLength(stream->pending));
    // A probe reads the rest again under each set of flags it adds (at most
    // one round per flag) until they accept it or nothing would.
    while (stream->refused && reading(stream) && pbBufferLength(stream->pending) > 0)
        pbObjRelease(pb::obj(decodePiece(stream, pbBufferLength(stream->pending))));
    return bytes;
}

// False while the text is accepted; after a refusal, true with the refusal
// in *refusal.
RFC_API PB_BOOL rfcBaseDecodeStreamRefusal(RFC_BASE_DECODE_STREAM *stream, RFC_BASE_DECODE_REFUSAL *refusal) noexcept
{
    PB_ASSERT( stream );
    PB_ASSERT( refusal );
    if (!stream->refused)
        return PB_FALSE;
    *refusal = stream->refusal;
    return PB_TRUE;
}

RFC_API void rfcBaseDecodeStreamFree(RFC_BASE_DECODE_STREAM *stream) noexcept
{
    if (!stream)
        return;
    rfcBaseOptionsRelease(stream->opt);
    if (stream->probeOpt)
        rfcBaseOptionsRelease(stream->probeOpt);
    pbObjRelease(pb::obj(stream->pending));
    pbMemFree(stream);
}

} // extern "C"
