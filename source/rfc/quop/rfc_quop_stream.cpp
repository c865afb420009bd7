// Streaming quoted-printable encoding: input in pieces of any size, output
// handed back as soon as it is final, byte for byte what the one-call
// encoder gives for the whole input.
//
// The stream keeps the input it cannot pass on yet and hands the rest to
// the one-call encoder, cut where that encoder, given the input up to the
// cut alone, writes exactly what it writes for that part of the whole input
// and then starts afresh: after an output line break, hard or soft, which
// sets the column to 0 (found in the output, mapped back to the input);
// without a line length the column does not matter and any byte boundary
// serves; inside a line that is still far from its length too, carrying the
// column: the encoder's choices depend on the column only through the room
// left on the line, so the next piece is encoded with the line length less
// the column, and only up to its first line break. Cuts keep two bytes of
// look-ahead, the most the encoder reads past a byte to decide it (CR LF,
// white space in front of a line break). The trailing line-break flag acts
// on the last piece only.
#include "rfc_quop.h"
#include "rfc_quop_nlf.h"
#include "rfc_quop_scan.h"

#include "../rfc_frame.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

namespace {

using namespace rfc::quop;

constexpr PB_INT noLimit = -1;

// Look-ahead that a cut keeps: no decision about a byte before the cut
// reads more than two bytes past it.
constexpr PB_INT lookAhead = 2;

// The bytes of *pending from cut on, kept aside while the bytes before it
// are handed to a one-call function; put back by restore().
class Tail {
public:
    Tail(PB_BUFFER **pending, PB_INT cut) : pending_(pending)
    {
        length_ = pbBufferLength(*pending) - cut;
        if (length_ > 0) {
            bytes_ = static_cast<PB_BYTE *>(pbMemAlloc(length_));
            std::memcpy(bytes_, pbBufferBacking(*pending) + cut, static_cast<std::size_t>(length_));
            pbBufferDelTrailing(pending, length_);
        }
    }
    Tail(const Tail &) = delete;
    Tail &operator=(const Tail &) = delete;
    ~Tail() { pbMemFree(bytes_); }

    // Empties *pending (keeping its room) and puts the kept bytes in.
    void restore()
    {
        pbBufferDelTrailing(pending_, pbBufferLength(*pending_));
        append();
    }

    // Appends the kept bytes to *pending.
    void append()
    {
        if (length_ > 0)
            pbBufferAppendBytes(pending_, bytes_, length_);
    }

    const PB_BYTE *bytes() const { return bytes_; }
    PB_INT length() const { return length_; }

private:
    PB_BUFFER **pending_;
    PB_BYTE *bytes_ = nullptr;
    PB_INT length_ = 0;
};

// Appends the bytes of source to *target.
void appendBuffer(PB_BUFFER **target, PB_BUFFER *source)
{
    pbBufferAppendBytes(target, pbBufferBacking(source), pbBufferLength(source));
}

// Appends piece to *result, or, while the result is empty, makes piece the
// result: a piece is most often all there is, and copying it would be an
// extra pass over the output.
void appendPiece(pb::Ref<PB_BUFFER> &result, pb::Ref<PB_BUFFER> piece)
{
    if (pbBufferLength(result.get()) == 0)
        result = std::move(piece);
    else
        appendBuffer(result.addr(), piece.get());
}

// A new buffer with the bytes of source from skip on.
PB_BUFFER *withoutLeading(PB_BUFFER *source, PB_INT skip)
{
    PB_BUFFER *result = pbBufferCreate();
    pbBufferAppendBytes(&result, pbBufferBacking(source) + skip, pbBufferLength(source) - skip);
    return result;
}

} // namespace

// The state of a streaming encoder: the options of the pieces (without the
// trailing line break) and of the last one, the settings the cut depends
// on, the input not yet encoded, and whether the last piece ended with a
// soft line break that the next piece's encoder may write again.
struct RFC_QUOP_ENCODE_STREAM {
    RFC_QUOP_OPTIONS *pieceOpt;
    RFC_QUOP_OPTIONS *lastOpt;
    PB_INT inputNlf;
    PB_INT lineLength; // -1 without an output line break too
    NlfBytes nl;
    PB_BUFFER *pending;
    bool afterSoftBreak;
    PB_INT column;  // output bytes on the current line in front of pending
    PB_INT nextTry; // held input below which no cut is looked for again
};

namespace {

// Frees a stream: its options, the input it holds, itself.
template <class Stream>
void freeStream(Stream *stream)
{
    if (!stream)
        return;
    rfcQuopOptionsRelease(stream->pieceOpt);
    rfcQuopOptionsRelease(stream->lastOpt);
    pbObjRelease(pb::obj(stream->pending));
    stream->~Stream();
    pbMemFree(stream);
}

// Whether the piece's text starts with a soft line break ("=" and the line
// break), which an encoder with a line length below 4 writes in front of its
// first byte and the stream has already handed out.
bool startsWithSoftBreak(PB_BUFFER *text, const NlfBytes &nl)
{
    const PB_INT length = pbBufferLength(text);
    const PB_BYTE *p = pbBufferBacking(text);
    return nl.length > 0 && length >= 1 + PB_INT(nl.length) && p[0] == byteEquals
        && std::memcmp(p + 1, nl.bytes, nl.length) == 0;
}

// The input bytes behind the n output bytes at p, which hold no line break:
// one per byte written as itself, one per escape of three.
PB_INT inputBytesOf(const PB_BYTE *p, PB_INT n)
{
    PB_INT escapes = 0;
    for (PB_INT i = 0; i < n; ++i)
        escapes += p[i] == byteEquals ? 1 : 0;
    return n - 2 * escapes;
}

// Where the encoder may cut the output of the first `prefix` input bytes
// (in out) so that it holds exactly what the whole input gives there: the
// end of the last output line break, hard or soft, whose input position
// leaves the look-ahead in place. Returns false when there is none; else
// sets outputEnd, inputCut and whether the break is soft.
bool encodeCut(const RFC_QUOP_ENCODE_STREAM *stream, const PB_BYTE *in, PB_INT prefix, PB_BUFFER *out,
    PB_INT &outputEnd, PB_INT &inputCut, bool &soft)
{
    const NlfBytes &nl = stream->nl;
    const PB_BYTE *o = pbBufferBacking(out);
    const PB_BYTE last = nl.bytes[nl.length - 1];
    PB_INT end = pbBufferLength(out); // output position matching input position pos
    PB_INT pos = prefix;
    for (;;) {
        // The line-break bytes are written nowhere else: CR, LF, VT and FF
        // of the input are escaped or translated.
        PB_INT b = end;
        while (b > 0 && o[b - 1] != last)
            --b;
        if (b == 0)
            return false;
        pos -= inputBytesOf(o + b, end - b);
        const PB_INT breakStart = b - PB_INT(nl.length);
        soft = breakStart > 0 && o[breakStart - 1] == byteEquals;
        // A soft break was decided from the byte after it and its
        // look-ahead; a hard one from its own bytes.
        if (pos <= prefix - (soft ? 1 + lookAhead : 1)) {
            outputEnd = b;
            inputCut = pos;
            return true;
        }
        if (soft) {
            end = breakStart - 1;
        } else {
            // The input line break: CR LF as one under the CR LF kind, else
            // one byte.
            const bool pair = (stream->inputNlf & PB_NLF_FLAG_CRLF) && pos >= 2 && in[pos - 2] == byteCr
                && in[pos - 1] == byteLf;
            pos -= pair ? 2 : 1;
            end = breakStart;
        }
    }
}

// Where the encoder, started at a column inside a line, may cut: the end of
// the first output line break in out (the output of the first `prefix`
// input bytes at in) when its input position leaves the look-ahead in
// place (none of the lookahead when the input is complete); the output
// after it was written for the wrong column. Returns false when there is
// none; else sets outputEnd, inputCut and whether the break is soft.
bool firstBreakCut(const RFC_QUOP_ENCODE_STREAM *stream, const PB_BYTE *in, PB_INT prefix, bool complete,
    PB_BUFFER *out, PB_INT &outputEnd, PB_INT &inputCut, bool &soft)
{
    const NlfBytes &nl = stream->nl;
    const PB_BYTE *o = pbBufferBacking(out);
    const PB_INT length = pbBufferLength(out);
    const PB_BYTE *hit = static_cast<const PB_BYTE *>(std::memchr(o, nl.bytes[nl.length - 1], std::size_t(length)));
    if (!hit)
        return false;
    const PB_INT end = PB_INT(hit - o) + 1;
    const PB_INT breakStart = end - PB_INT(nl.length);
    soft = breakStart > 0 && o[breakStart - 1] == byteEquals;
    PB_INT pos = inputBytesOf(o, soft ? breakStart - 1 : breakStart);
    if (!soft)
        pos += PB_INT(nlfLength(in, std::size_t(pos), std::size_t(prefix), stream->inputNlf));
    if (!complete && pos > prefix - (soft ? 1 + lookAhead : 1))
        return false;
    outputEnd = end;
    inputCut = pos;
    return true;
}

// Options for a piece that starts `column` bytes into a line: the line
// length less the column.
pb::Ref<RFC_QUOP_OPTIONS> shiftedOptions(const RFC_QUOP_ENCODE_STREAM *stream, RFC_QUOP_OPTIONS *opt)
{
    pb::Ref<RFC_QUOP_OPTIONS> shifted(rfcQuopOptionsCreateFrom(opt));
    rfcQuopOptionsSetEncodeOutputLineLength(shifted.addr(), stream->lineLength - stream->column);
    return shifted;
}

// The room a cut inside a line leaves before the line's end: the next byte
// and its escape or soft line break are decided far from it, and a last
// white space written as an escape takes no soft line break either way.
constexpr PB_INT midLineMargin = 4;

// The text of a piece as handed out: without a soft line break in front
// that the previous piece already ended with.
PB_BUFFER *handOut(RFC_QUOP_ENCODE_STREAM *stream, pb::Ref<PB_BUFFER> text)
{
    if (stream->afterSoftBreak && startsWithSoftBreak(text.get(), stream->nl))
        return withoutLeading(text.get(), 1 + PB_INT(stream->nl.length));
    return text.take();
}

} // namespace

extern "C" {

RFC_API RFC_QUOP_ENCODE_STREAM *rfcQuopEncodeStreamCreate(RFC_QUOP_OPTIONS *opt) noexcept
{
    PB_ASSERT( opt );
    auto *stream = static_cast<RFC_QUOP_ENCODE_STREAM *>(pbMemAlloc(sizeof(RFC_QUOP_ENCODE_STREAM)));
    stream->lastOpt = rfcQuopOptionsRetain(opt);
    stream->pieceOpt = rfcQuopOptionsCreateFrom(opt);
    rfcQuopOptionsSetFlags(&stream->pieceOpt, rfcQuopOptionsFlags(opt) & ~PB_INT { RFC_QUOP_FLAG_ENCODE_ENSURE_TRAILING_NLF });
    const PB_INT outputNlf = rfcQuopOptionsEncodeOutputNlf(opt);
    stream->inputNlf = rfcQuopOptionsEncodeInputNlf(opt);
    stream->lineLength = outputNlf == 0 ? noLimit : rfcQuopOptionsEncodeOutputLineLength(opt);
    stream->nl = nlfBytes(outputNlf);
    stream->pending = pbBufferCreate();
    stream->afterSoftBreak = false;
    stream->column = 0;
    stream->nextTry = 0;
    return stream;
}

// Copies the bytes in and returns a new buffer, owned by the caller, with
// the text that is final so far (possibly empty).
RFC_API PB_BUFFER *rfcQuopEncodeStreamWrite(RFC_QUOP_ENCODE_STREAM *stream, const PB_BYTE *bytes,
    PB_INT byteCount) noexcept
{
    PB_ASSERT( stream );
    PB_ASSERT( byteCount >= 0 );
    PB_ASSERT( bytes || byteCount == 0 );
    pbBufferAppendBytes(&stream->pending, bytes, byteCount);
    const PB_INT length = pbBufferLength(stream->pending);
    if (length <= 2 * lookAhead)
        return pbBufferCreate();
    const PB_BYTE *in = pbBufferBacking(stream->pending);

    if (stream->lineLength == noLimit) {
        // No column to carry: cut anywhere that keeps the look-ahead and
        // does not part CR from LF.
        PB_INT cut = length - lookAhead;
        if (in[cut - 1] == byteCr && in[cut] == byteLf)
            --cut;
        // The piece's last byte is its input's end, where white space is
        // always escaped; in the whole input it is escaped only in front of
        // a line break.
        const PB_BYTE lastByte = in[cut - 1];
        const bool plainWhiteSpace = isWhiteSpace(lastByte)
            && !(stream->inputNlf != 0 && nlfLength(in, std::size_t(cut), std::size_t(length), stream->inputNlf) > 0);
        Tail tail(&stream->pending, cut);
        pb::Ref<PB_BUFFER> text(rfcQuopEncodeWithOptions(stream->pending, stream->pieceOpt));
        tail.restore();
        if (plainWhiteSpace) {
            pbBufferDelTrailing(text.addr(), 3);
            pbBufferAppendByte(text.addr(), lastByte);
        }
        return text.take();
    }

    // Encode all but the look-ahead, then keep the output up to the last
    // line break that the look-ahead cannot change (the first, when the
    // held input starts inside a line), or else up to a cut inside a line
    // that is far from its end. After a try that found neither (a line
    // near its end, or a break at the held input's end), the next waits
    // until the input held has doubled, so a long line costs linear time.
    pb::Ref<PB_BUFFER> result(pbBufferCreate());
    for (;;) {
        const PB_INT held = pbBufferLength(stream->pending);
        if (held <= 2 * lookAhead || held < stream->nextTry)
            return result.take();
        const PB_INT prefix = held - 1 - lookAhead;
        const bool inLine = stream->column > 0;
        pb::Ref<RFC_QUOP_OPTIONS> shifted;
        if (inLine)
            shifted = shiftedOptions(stream, stream->pieceOpt);
        Tail tail(&stream->pending, prefix);
        const PB_BYTE *in = pbBufferBacking(stream->pending);
        pb::Ref<PB_BUFFER> text(rfcQuopEncodeWithOptions(stream->pending, inLine ? shifted.get() : stream->pieceOpt));
        PB_INT outputEnd = 0, cut = 0;
        bool soft = false;
        const bool found = inLine ? firstBreakCut(stream, in, prefix, false, text.get(), outputEnd, cut, soft)
                                  : encodeCut(stream, in, prefix, text.get(), outputEnd, cut, soft);
        if (found) {
            // The input from the cut on stays: what lies before the
            // look-ahead, then the look-ahead.
            Tail kept(&stream->pending, cut);
            kept.restore();
            tail.append();
            pbBufferDelTrailing(text.addr(), pbBufferLength(text.get()) - outputEnd);
            pb::Ref<PB_BUFFER> piece(handOut(stream, std::move(text)));
            appendPiece(result, std::move(piece));
            stream->afterSoftBreak = soft;
            stream->column = 0;
            stream->nextTry = 0;
            if (inLine)
                continue; // the rest starts a line: its last break serves
            return result.take();
        }
        // A cut inside the line, after all of the prefix: the line holds no
        // break, ends far from the line length, and its last byte does not
        // start a line break with the look-ahead.
        const PB_INT written = pbBufferLength(text.get());
        PB_BYTE around[2 + lookAhead] = { in[prefix - 1] };
        std::memcpy(around + 1, tail.bytes(), std::size_t(tail.length()));
        const auto breakAt = [&](std::size_t i) {
            return stream->inputNlf != 0 && nlfLength(around, i, std::size_t(1 + tail.length()), stream->inputNlf) > 0;
        };
        if (std::memchr(pbBufferBacking(text.get()), stream->nl.bytes[stream->nl.length - 1], std::size_t(written))
            || stream->column + written > stream->lineLength - midLineMargin || breakAt(0)) {
            tail.append();
            stream->nextTry = 2 * held;
            return result.take();
        }
        tail.restore();
        // The last byte is the piece's end, where white space is always
        // escaped; in the whole input it is escaped only in front of a line
        // break.
        if (isWhiteSpace(around[0]) && !breakAt(1)) {
            pbBufferDelTrailing(text.addr(), 3);
            pbBufferAppendByte(text.addr(), around[0]);
        }
        stream->column += pbBufferLength(text.get());
        appendPiece(result, std::move(text));
        stream->afterSoftBreak = false;
        stream->nextTry = 0;
        return result.take();
    }
}

RFC_API PB_BUFFER *rfcQuopEncodeStreamFinish(RFC_QUOP_ENCODE_STREAM *stream) noexcept
{
    PB_ASSERT( stream );
    pb::Ref<PB_BUFFER> result(pbBufferCreate());
    if (stream->column > 0 && pbBufferLength(stream->pending) > 0) {
        // Inside a line: its rest up to the first line break, for the
        // column; after that the rest of the input starts a line.
        pb::Ref<RFC_QUOP_OPTIONS> shifted = shiftedOptions(stream, stream->lastOpt);
        const PB_INT held = pbBufferLength(stream->pending);
        pb::Ref<PB_BUFFER> text(rfcQuopEncodeWithOptions(stream->pending, shifted.get()));
        PB_INT outputEnd = 0, cut = 0;
        bool soft = false;
        if (!firstBreakCut(stream, pbBufferBacking(stream->pending), held, true, text.get(), outputEnd, cut, soft)
            || cut == held) {
            pbBufferDelTrailing(&stream->pending, held);
            stream->column = 0;
            return text.take();
        }
        Tail kept(&stream->pending, cut);
        kept.restore();
        pbBufferDelTrailing(text.addr(), pbBufferLength(text.get()) - outputEnd);
        result.reset(text.take());
        stream->afterSoftBreak = soft;
        stream->column = 0;
    }
    pb::Ref<PB_BUFFER> text(rfcQuopEncodeWithOptions(stream->pending, stream->lastOpt));
    pbBufferDelTrailing(&stream->pending, pbBufferLength(stream->pending));
    pb::Ref<PB_BUFFER> rest(handOut(stream, std::move(text)));
    appendPiece(result, std::move(rest));
    stream->afterSoftBreak = false;
    return result.take();
}

RFC_API void rfcQuopEncodeStreamFree(RFC_QUOP_ENCODE_STREAM *stream) noexcept
{
    freeStream(stream);
}

} // extern "C"

