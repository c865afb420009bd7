// Streaming quoted-printable encoding and decoding: input in pieces of any
// size, output handed back as soon as it is final, byte for byte what the
// one-call functions give for the whole input.
//
// Both streams keep the input they cannot pass on yet and hand the rest to
// the one-call function, cut where that function, given the input up to the
// cut alone, writes exactly what it writes for that part of the whole input
// and then starts afresh:
// - encoding: after an output line break, hard or soft, which sets the
//   column to 0 (found in the output, mapped back to the input); without a
//   line length the column does not matter and any byte boundary serves;
//   inside a line that is still far from its length too, carrying the
//   column: the encoder's choices depend on the column only through the room
//   left on the line, so the next piece is encoded with the line length
//   less the column, and only up to its first line break;
// - decoding: after a recognised line break, hard or soft, which sets the
//   line count and the trailing white space to 0; without a line limit also
//   after a printable byte outside an escape.
// Cuts keep two bytes of look-ahead, the most either function reads past a
// byte to decide it (CR LF, white space in front of a line break, "=" and
// two digits). The trailing line-break flags act on the last piece only.
//
// A long run of white space (with bytes the flags skip in it) has no cut
// when line breaks are translated: it is data, or trailing white space that
// goes, depending on what follows it. The decoder holds such a run as the
// lengths of its stretches of spaces and tabs, with one space standing for
// it in the text held; once decided, the run is handed out in portions.
#include "rfc_quop.h"
#include "rfc_quop_nlf.h"
#include "rfc_quop_scan.h"

#include "../rfc_frame.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>

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

// A run of white space as the lengths of its stretches of one byte (space
// or tab, taking turns), written as LEB128 numbers; the stretch being
// counted is not written yet. Read back by a cursor in portions.
class RunSummary {
public:
    RunSummary() = default;
    RunSummary(const RunSummary &) = delete;
    RunSummary &operator=(const RunSummary &) = delete;
    ~RunSummary() { pbMemFree(data_); }

    void add(PB_BYTE v)
    {
        if (count_ > 0 && v == byte_) {
            ++count_;
            return;
        }
        if (count_ > 0)
            put(count_);
        else
            first_ = v;
        byte_ = v;
        count_ = 1;
    }

    bool empty() const { return count_ == 0 && size_ == 0; }

    // Ends the run and starts reading it from its start.
    void close()
    {
        if (count_ > 0)
            put(count_);
        count_ = 0;
        read_ = 0;
        left_ = 0;
        byte_ = first_;
        reading_ = true;
    }

    bool reading() const { return reading_ && (left_ > 0 || read_ < size_); }

    // Appends up to limit bytes of the run to *out; returns how many.
    PB_INT readInto(PB_BUFFER **out, PB_INT limit)
    {
        static constexpr PB_INT block = 4096;
        static const auto spaces = [] { std::array<PB_BYTE, block> a {}; a.fill(byteSpace); return a; }();
        static const auto tabs = [] { std::array<PB_BYTE, block> a {}; a.fill(byteTab); return a; }();
        PB_INT done = 0;
        while (done < limit && reading()) {
            if (left_ == 0) {
                if (started_)
                    byte_ = byte_ == byteSpace ? byteTab : byteSpace;
                started_ = true;
                left_ = get();
            }
            const PB_INT n = std::min({ left_, limit - done, block });
            pbBufferAppendBytes(out, (byte_ == byteSpace ? spaces : tabs).data(), n);
            left_ -= n;
            done += n;
        }
        if (!reading())
            clear();
        return done;
    }

    void clear()
    {
        pbMemFree(data_);
        data_ = nullptr;
        size_ = capacity_ = read_ = left_ = count_ = 0;
        reading_ = started_ = false;
    }

private:
    void put(PB_INT n)
    {
        if (size_ + 10 > capacity_) {
            capacity_ = std::max<PB_INT>(64, 2 * capacity_);
            data_ = static_cast<PB_BYTE *>(pbMemRealloc(data_, capacity_));
        }
        for (; n >= 0x80; n >>= 7)
            data_[size_++] = static_cast<PB_BYTE>(n | 0x80);
        data_[size_++] = static_cast<PB_BYTE>(n);
    }

    PB_INT get()
    {
        PB_INT n = 0;
        for (int shift = 0;; shift += 7) {
            const PB_BYTE b = data_[read_++];
            n |= PB_INT(b & 0x7F) << shift;
            if (b < 0x80)
                return n;
        }
    }

    PB_BYTE *data_ = nullptr;
    PB_INT size_ = 0, capacity_ = 0;
    PB_BYTE first_ = 0, byte_ = 0;
    PB_INT count_ = 0; // the stretch being counted
    PB_INT read_ = 0, left_ = 0;
    bool reading_ = false, started_ = false;
};

// The state of a streaming decoder: its options as for the encoder, the
// settings the cut depends on, the text not yet decoded, how much text went
// into pieces, and the refusal once there is one.
struct RFC_QUOP_DECODE_STREAM {
    RFC_QUOP_OPTIONS *pieceOpt;
    RFC_QUOP_OPTIONS *lastOpt;
    PB_INT inputNlf;
    bool translate;
    bool skipControl;  // the flags that skip bytes
    bool skipNonAscii;
    PB_INT maxLine; // -1: no limit
    PB_INT nextTrial; // held text below which an over-long line is not tried again
    PB_INT checked;   // positions of the text held up to here are no cuts
    PB_INT runStart;  // start of the run of skipped bytes that ends at checked, or -1
    PB_BUFFER *pending;
    PB_INT consumed;
    bool refused;
    RFC_QUOP_DECODE_REFUSAL refusal;
    // A long run of white space: while inRun, pending's first byte is a
    // space standing for the run, which spans runExtra more bytes of the
    // text; once the run is data, it and owedTail are handed out (owing).
    bool inRun;
    PB_INT runExtra;
    RunSummary run;
    bool owing;
    PB_BUFFER *owedTail;
};

namespace {

// Frees a stream of either kind: its options, the input it holds, itself.
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

RFC_API RFC_QUOP_ENCODE_STREAM *rfcQuopEncodeStreamCreate(RFC_QUOP_OPTIONS *opt)
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
RFC_API PB_BUFFER *rfcQuopEncodeStreamWrite(RFC_QUOP_ENCODE_STREAM *stream, const PB_BYTE *bytes, PB_INT byteCount)
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
            appendBuffer(result.addr(), piece.get());
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
        appendBuffer(result.addr(), text.get());
        stream->column += pbBufferLength(text.get());
        stream->afterSoftBreak = false;
        stream->nextTry = 0;
        return result.take();
    }
}

RFC_API PB_BUFFER *rfcQuopEncodeStreamFinish(RFC_QUOP_ENCODE_STREAM *stream)
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
    appendBuffer(result.addr(), rest.get());
    stream->afterSoftBreak = false;
    return result.take();
}

RFC_API void rfcQuopEncodeStreamFree(RFC_QUOP_ENCODE_STREAM *stream)
{
    freeStream(stream);
}

} // extern "C"

namespace {

// Whether the decoder skips byte v under the stream's flags, when v is no
// recognised line break: a control byte or a byte above 126.
bool skippedByDecoder(const RFC_QUOP_DECODE_STREAM *stream, PB_BYTE v)
{
    if (v > byteTilde)
        return stream->skipNonAscii;
    return v < byteSpace && v != byteTab && stream->skipControl;
}

// Whether the byte at j of the n bytes at in is one the decoder skips (and
// no line break).
bool skippedAt(const RFC_QUOP_DECODE_STREAM *stream, const PB_BYTE *in, PB_INT j, PB_INT n)
{
    return skippedByDecoder(stream, in[j]) && nlfLength(in, std::size_t(j), std::size_t(n), stream->inputNlf) == 0;
}

// The last position before c whose byte is not skipped, or -1; the run
// remembered up to checked is stepped over at once.
PB_INT lastUnskipped(const RFC_QUOP_DECODE_STREAM *stream, const PB_BYTE *in, PB_INT c, PB_INT n)
{
    PB_INT j = c - 1;
    while (j >= 0 && skippedAt(stream, in, j, n)) {
        if (stream->runStart >= 0 && j < stream->checked && j >= stream->runStart)
            j = stream->runStart;
        --j;
    }
    return j;
}

// Whether input position c (at least 1, with two bytes after it in the n
// bytes at in) is a cut for the decoder: the one-call function, ending its
// input there, is in the state it starts in for everything that follows.
bool isDecodeCut(const RFC_QUOP_DECODE_STREAM *stream, const PB_BYTE *in, PB_INT c, PB_INT n)
{
    const PB_BYTE v = in[c - 1];
    const PB_BYTE before = c >= 2 ? in[c - 2] : 0;
    const PB_INT nlf = stream->inputNlf;
    // The end of a line break recognised in the input, and where it starts.
    PB_INT breakStart = -1;
    if (v == byteLf && (nlf & PB_NLF_FLAG_CRLF) && before == byteCr)
        breakStart = c - 2;
    else if (nlfLength(in, std::size_t(c - 1), std::size_t(n), nlf) == 1)
        breakStart = c - 1;
    if (breakStart >= 0) {
        // Hard when line breaks are translated; soft after "=" always.
        if (stream->translate || (breakStart >= 1 && in[breakStart - 1] == byteEquals))
            return true;
    }
    if (stream->maxLine != noLimit)
        return false;
    // Without a limit the line count does not matter; outside an escape
    // (no "=" in the two bytes before the cut) a printable byte leaves no
    // trailing white space, and without translation nothing else is kept.
    if (v == byteEquals || before == byteEquals)
        return false;
    if (isLiteral(v) || !stream->translate)
        return true;
    // A run of skipped bytes leaves the trailing white space as it was:
    // none after a printable byte, none at the start of the text held (which
    // starts at a cut).
    const PB_INT j = lastUnskipped(stream, in, c, n);
    return j < c - 1 && (j < 0 || (isLiteral(in[j]) && !(j >= 1 && in[j - 1] == byteEquals)));
}

// The largest cut at or below limit and above floor (positions up to floor
// are known not to be cuts) that keeps the look-ahead in the n bytes at in;
// 0 when there is none.
PB_INT decodeCut(const RFC_QUOP_DECODE_STREAM *stream, const PB_BYTE *in, PB_INT limit, PB_INT n, PB_INT floor = 0)
{
    PB_INT c = limit < n - lookAhead ? limit : n - lookAhead;
    for (; c > floor && c >= 1; --c) {
        if (isDecodeCut(stream, in, c, n))
            return c;
        // Inside a run of skipped bytes every position has the answer of the
        // run's end: go on in front of the run (checking the position after
        // its first byte, which may end a CR LF).
        const PB_INT j = lastUnskipped(stream, in, c, n);
        if (j + 3 < c)
            c = j + 3;
    }
    return 0;
}

// The offset in the whole text of position x of the text held.
PB_INT textOffset(const RFC_QUOP_DECODE_STREAM *stream, PB_INT x)
{
    return stream->consumed + x + (stream->inRun && x >= 1 ? stream->runExtra : 0);
}

// Decodes the pending text up to cut with opt and keeps the rest. On
// refusal, hands out what decodes before the fault, records the refusal and
// drops the input.
PB_BUFFER *decodePiece(RFC_QUOP_DECODE_STREAM *stream, PB_INT cut, RFC_QUOP_OPTIONS *opt)
{
    Tail tail(&stream->pending, cut);
    RFC_QUOP_DECODE_REFUSAL refusal {};
    PB_BUFFER *bytes = rfcQuopTryDecodeWithRefusal(stream->pending, opt, &refusal);
    if (bytes) {
        stream->consumed = textOffset(stream, cut);
        stream->runExtra = 0;
        tail.restore();
        return bytes;
    }
    // Everything up to the last cut before the fault decodes as in the
    // whole input.
    tail.append();
    const PB_INT good = decodeCut(stream, pbBufferBacking(stream->pending), refusal.offset,
        pbBufferLength(stream->pending));
    PB_BUFFER *before = pbBufferCreate();
    if (good > 0) {
        Tail rest(&stream->pending, good);
        pbObjRelease(pb::obj(before));
        before = rfcQuopTryDecodeWithOptions(stream->pending, stream->pieceOpt);
        PB_ASSERT( before );
    }
    stream->refused = true;
    stream->refusal = { refusal.kind, textOffset(stream, refusal.offset) };
    pbBufferDelTrailing(&stream->pending, pbBufferLength(stream->pending));
    return before;
}

// Bytes of the output a decoding stream hands out per call while it owes a
// long run of white space.
constexpr PB_INT owedPortion = PB_INT { 1 } << 20;

// Held text from which a decoding stream without a cut looks for a long run
// of white space to hold as a summary.
constexpr PB_INT runThreshold = PB_INT { 1 } << 16;

// The next portion of the output owed: the run, then the tail.
PB_BUFFER *takeOwed(RFC_QUOP_DECODE_STREAM *stream, PB_INT limit)
{
    PB_BUFFER *out = pbBufferCreate();
    stream->run.readInto(&out, limit);
    if (!stream->run.reading()) {
        appendBuffer(&out, stream->owedTail);
        pbObjRelease(pb::obj(stream->owedTail));
        stream->owedTail = nullptr;
        stream->owing = false;
    }
    return out;
}

// Decodes a piece of the text held, as decodePiece; when the piece started
// with the space standing for a run, the run goes (trailing white space,
// the output does not start with the space) or becomes output owed (in
// place of the space), of which the first portion is returned.
PB_BUFFER *decodeHeldPiece(RFC_QUOP_DECODE_STREAM *stream, PB_INT cut, RFC_QUOP_OPTIONS *opt)
{
    pb::Ref<PB_BUFFER> out(decodePiece(stream, cut, opt));
    if (!stream->inRun)
        return out.take();
    stream->inRun = false;
    const PB_INT length = pbBufferLength(out.get());
    if (length == 0 || pbBufferBacking(out.get())[0] != byteSpace) {
        stream->run.clear();
        return out.take();
    }
    stream->run.close();
    stream->owedTail = withoutLeading(out.get(), 1);
    stream->owing = true;
    return takeOwed(stream, owedPortion);
}

// Whether byte j of the n bytes at in belongs to a run of white space: white
// space or a byte the decoder skips.
bool inWhiteSpaceRun(const RFC_QUOP_DECODE_STREAM *stream, const PB_BYTE *in, PB_INT j, PB_INT n)
{
    return isWhiteSpace(in[j]) || skippedAt(stream, in, j, n);
}

// Where the byte after the standing space decides the run as data with no
// look-ahead: after a literal byte, or after an escape of two upper-case
// hexadecimal digits (which every flag accepts); 0 otherwise.
PB_INT runDecidedAt(const RFC_QUOP_DECODE_STREAM *stream)
{
    const PB_BYTE *in = pbBufferBacking(stream->pending);
    const PB_INT n = pbBufferLength(stream->pending);
    const auto upperHex = [](PB_BYTE v) { return (v >= '0' && v <= '9') || (v >= 'A' && v <= 'F'); };
    if (n >= 2 && isLiteral(in[1]))
        return 2;
    if (n >= 4 && in[1] == byteEquals && upperHex(in[2]) && upperHex(in[3]))
        return 4;
    return 0;
}

// Takes the run bytes that follow the standing space into the summary,
// up to the look-ahead.
void absorbRun(RFC_QUOP_DECODE_STREAM *stream)
{
    const PB_BYTE *in = pbBufferBacking(stream->pending);
    const PB_INT n = pbBufferLength(stream->pending);
    PB_INT j = 1;
    for (; j < n - lookAhead && inWhiteSpaceRun(stream, in, j, n); ++j)
        if (isWhiteSpace(in[j]))
            stream->run.add(in[j]);
    if (j == 1)
        return;
    stream->runExtra += j - 1;
    stream->checked = 0;
    stream->runStart = -1;
    PB_BUFFER *rest = pbBufferCreate();
    pbBufferAppendByte(&rest, byteSpace);
    pbBufferAppendBytes(&rest, in + j, n - j);
    pbObjRelease(pb::obj(stream->pending));
    stream->pending = rest;
}

// With no cut in much text held: when it ends with a long run of white
// space, decodes what lies in front of the run (which the run leaves in the
// starting state, as it does not end with white space or a skipped byte)
// and holds the run as a summary. Returns the bytes decoded.
PB_BUFFER *holdRun(RFC_QUOP_DECODE_STREAM *stream)
{
    const PB_BYTE *in = pbBufferBacking(stream->pending);
    const PB_INT n = pbBufferLength(stream->pending);
    const PB_INT end = n - lookAhead;
    PB_INT start = end;
    while (start > 0 && inWhiteSpaceRun(stream, in, start - 1, n))
        --start;
    if (end - start < runThreshold / 2)
        return pbBufferCreate();
    pb::Ref<PB_BUFFER> before(pbBufferCreate());
    if (start > 0) {
        before.reset(decodePiece(stream, start, stream->pieceOpt));
        if (stream->refused)
            return before.take();
    }
    // The run starts the text held now: a standing space in front, then
    // the run taken in.
    PB_BUFFER *held = pbBufferCreate();
    pbBufferAppendByte(&held, byteSpace);
    pbBufferAppendBytes(&held, pbBufferBacking(stream->pending), pbBufferLength(stream->pending));
    pbObjRelease(pb::obj(stream->pending));
    stream->pending = held;
    stream->inRun = true;
    stream->runExtra = -1;
    absorbRun(stream);
    if (stream->run.empty()) {
        // Only skipped bytes: they change nothing, the stream starts afresh.
        stream->consumed += stream->runExtra + 1;
        stream->runExtra = 0;
        stream->inRun = false;
        PB_BUFFER *rest = withoutLeading(stream->pending, 1);
        pbObjRelease(pb::obj(stream->pending));
        stream->pending = rest;
    }
    stream->checked = 0;
    stream->runStart = -1;
    return before.take();
}

} // namespace

extern "C" {

RFC_API RFC_QUOP_DECODE_STREAM *rfcQuopDecodeStreamCreate(RFC_QUOP_OPTIONS *opt)
{
    PB_ASSERT( opt );
    auto *stream = new (pbMemAlloc(sizeof(RFC_QUOP_DECODE_STREAM))) RFC_QUOP_DECODE_STREAM {};
    stream->lastOpt = rfcQuopOptionsRetain(opt);
    stream->pieceOpt = rfcQuopOptionsCreateFrom(opt);
    rfcQuopOptionsSetFlags(&stream->pieceOpt, rfcQuopOptionsFlags(opt) & ~PB_INT { RFC_QUOP_FLAG_DECODE_ENSURE_TRAILING_NLF });
    stream->inputNlf = rfcQuopOptionsDecodeInputNlf(opt);
    stream->translate = stream->inputNlf != 0 && rfcQuopOptionsDecodeOutputNlf(opt) != 0;
    stream->skipControl = rfcQuopOptionsFlags(opt) & RFC_QUOP_FLAG_DECODE_IGNORE_CONTROL;
    stream->skipNonAscii = rfcQuopOptionsFlags(opt) & RFC_QUOP_FLAG_DECODE_IGNORE_NON_ASCII;
    stream->maxLine = rfcQuopOptionsDecodeMaxInputLineLength(opt);
    stream->nextTrial = 0;
    stream->checked = 0;
    stream->runStart = -1;
    stream->pending = pbBufferCreate();
    stream->consumed = 0;
    stream->refused = false;
    stream->refusal = { 0, 0 };
    stream->inRun = false;
    stream->runExtra = 0;
    stream->owing = false;
    stream->owedTail = nullptr;
    return stream;
}

// Copies the text in and returns a new buffer, owned by the caller, with the
// bytes that are final so far (possibly empty).
RFC_API PB_BUFFER *rfcQuopDecodeStreamWrite(RFC_QUOP_DECODE_STREAM *stream, const PB_BYTE *bytes, PB_INT byteCount)
{
    PB_ASSERT( stream );
    PB_ASSERT( byteCount >= 0 );
    PB_ASSERT( bytes || byteCount == 0 );
    if (!stream->refused)
        pbBufferAppendBytes(&stream->pending, bytes, byteCount);
    if (stream->owing)
        return takeOwed(stream, owedPortion);
    if (stream->refused)
        return pbBufferCreate();
    if (stream->inRun) {
        absorbRun(stream);
        // A literal byte or an escape of upper-case digits right after the
        // run makes it data without look-ahead: decide it in this call, not
        // in Finish, which hands out all it owes at once.
        if (const PB_INT cut = runDecidedAt(stream)) {
            stream->nextTrial = 0;
            stream->checked = 0;
            stream->runStart = -1;
            return decodeHeldPiece(stream, cut, stream->pieceOpt);
        }
    }
    const PB_INT length = pbBufferLength(stream->pending);
    const PB_INT cut = decodeCut(stream, pbBufferBacking(stream->pending), length, length, stream->checked);
    if (cut > 0) {
        stream->nextTrial = 0;
        stream->checked = 0;
        stream->runStart = -1;
        return decodeHeldPiece(stream, cut, stream->pieceOpt);
    }
    // Remember how far the text held is known to hold no cut, and the run of
    // skipped bytes it ends with.
    const PB_INT checked = length - lookAhead > 0 ? length - lookAhead : 0;
    const PB_BYTE *in = pbBufferBacking(stream->pending);
    for (PB_INT j = stream->checked; j < checked; ++j) {
        if (!skippedAt(stream, in, j, length))
            stream->runStart = -1;
        else if (stream->runStart < 0)
            stream->runStart = j;
    }
    stream->checked = checked;
    // A line longer than the limit has no cut; try it so that the refusal
    // comes as soon as the line is too long (bytes the flags skip do not
    // count, so it may still be accepted).
    // A trial that the flags let through waits until the text held has
    // doubled, so that a long line costs linear time.
    if (stream->maxLine != noLimit && length - 1 - lookAhead > stream->maxLine && length >= stream->nextTrial) {
        stream->nextTrial = 2 * length;
        RFC_QUOP_DECODE_REFUSAL refusal {};
        pb::Ref<PB_BUFFER> trial(rfcQuopTryDecodeWithRefusal(stream->pending, stream->pieceOpt, &refusal));
        // A refusal that the look-ahead cannot change is final.
        if (!trial && refusal.offset < length - lookAhead) {
            stream->refused = true;
            stream->refusal = { refusal.kind, stream->consumed + refusal.offset };
            pbBufferDelTrailing(&stream->pending, pbBufferLength(stream->pending));
        }
    }
    // Without a line limit, much text without a cut ends with a long run of
    // white space (or with what the run follows): hold the run as a summary.
    if (!stream->inRun && stream->maxLine == noLimit && stream->translate && length >= runThreshold)
        return holdRun(stream);
    return pbBufferCreate();
}

RFC_API PB_BUFFER *rfcQuopDecodeStreamFinish(RFC_QUOP_DECODE_STREAM *stream)
{
    PB_ASSERT( stream );
    pb::Ref<PB_BUFFER> out(stream->owing ? takeOwed(stream, PB_INT_MAX) : pbBufferCreate());
    if (stream->refused)
        return out.take();
    pb::Ref<PB_BUFFER> rest(decodeHeldPiece(stream, pbBufferLength(stream->pending), stream->lastOpt));
    appendBuffer(out.addr(), rest.get());
    if (stream->owing) {
        pb::Ref<PB_BUFFER> owed(takeOwed(stream, PB_INT_MAX));
        appendBuffer(out.addr(), owed.get());
    }
    return out.take();
}

RFC_API PB_BOOL rfcQuopDecodeStreamRefusal(RFC_QUOP_DECODE_STREAM *stream, RFC_QUOP_DECODE_REFUSAL *refusal)
{
    PB_ASSERT( stream );
    PB_ASSERT( refusal );
    if (!stream->refused)
        return PB_FALSE;
    *refusal = stream->refusal;
    return PB_TRUE;
}

RFC_API void rfcQuopDecodeStreamFree(RFC_QUOP_DECODE_STREAM *stream)
{
    if (stream && stream->owedTail)
        pbObjRelease(pb::obj(stream->owedTail));
    freeStream(stream);
}

} // extern "C"
