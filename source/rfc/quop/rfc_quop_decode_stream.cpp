// Streaming quoted-printable decoding: text in pieces of any size, bytes
// handed back as soon as they are final, byte for byte what the one-call
// decoder gives for the whole text.
//
// Each piece goes through the one-call decoder's own loop, which keeps in a
// small state all that the rest of the text depends on: the length of the
// input line so far (for the line limit), how the text so far ends, and how
// much white space ends the output. The bytes it cannot decide without the
// next piece (an "=" and the byte after it, a CR that may start CR LF) are
// carried over, never more than two.
//
// White space at the end of the output is data or goes, depending on what
// follows it (a line break or the end of the text removes it when line
// breaks are translated), so it is held back, as the lengths of its
// stretches of spaces and tabs: a run of any length of one byte costs a few
// bytes. Once something shows it to be data, the run is handed out in
// portions, then the output that followed it.
#include "rfc_quop.h"
#include "rfc_quop_decode_core.h"

#include "../rfc_frame.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#include <utility>

namespace {

using namespace rfc::quop;

// Bytes of a run of white space handed out per call at most.
constexpr PB_INT owedPortion = PB_INT { 1 } << 20;

// The largest output area a stream keeps for its next pieces.
constexpr std::size_t scratchKept = std::size_t { 4 } << 20;

// The most text the decoding loop leaves undone at the end of a piece.
constexpr std::size_t maxCarry = 2;

// A run of white space as the lengths of its stretches of one byte (space
// or tab, taking turns), written as LEB128 numbers; the stretch being
// counted is not written yet. Read back from its start in portions once
// closed.
class RunSummary {
public:
    RunSummary() = default;
    RunSummary(const RunSummary &) = delete;
    RunSummary &operator=(const RunSummary &) = delete;
    ~RunSummary() { pbMemFree(s_.data); }

    void swap(RunSummary &other) noexcept { std::swap(s_, other.s_); }

    void add(const PB_BYTE *bytes, std::size_t n)
    {
        for (std::size_t i = 0; i < n; ++i) {
            const PB_BYTE v = bytes[i];
            if (s_.count > 0 && v == s_.byte) {
                ++s_.count;
                continue;
            }
            if (s_.count > 0)
                put(s_.count);
            else
                s_.first = v;
            s_.byte = v;
            s_.count = 1;
        }
        s_.total += n;
    }

    // The bytes of the run.
    std::size_t total() const { return s_.total; }

    // Ends the run and starts reading it from its start.
    void close()
    {
        if (s_.count > 0)
            put(s_.count);
        s_.count = 0;
        s_.read = 0;
        s_.left = 0;
        s_.byte = s_.first;
        s_.started = false;
    }

    bool reading() const { return s_.left > 0 || s_.read < s_.size; }

    // Appends up to limit bytes of the closed run to *out.
    void readInto(PB_BUFFER **out, PB_INT limit)
    {
        static constexpr PB_INT block = 4096;
        static const auto spaces = [] { std::array<PB_BYTE, block> a {}; a.fill(byteSpace); return a; }();
        static const auto tabs = [] { std::array<PB_BYTE, block> a {}; a.fill(byteTab); return a; }();
        PB_INT done = 0;
        while (done < limit && reading()) {
            if (s_.left == 0) {
                if (s_.started)
                    s_.byte = s_.byte == byteSpace ? byteTab : byteSpace;
                s_.started = true;
                s_.left = get();
            }
            const PB_INT n = std::min({ s_.left, limit - done, block });
            pbBufferAppendBytes(out, (s_.byte == byteSpace ? spaces : tabs).data(), n);
            s_.left -= n;
            done += n;
        }
    }

    void clear()
    {
        pbMemFree(s_.data);
        s_ = State {};
    }

private:
    void put(PB_INT n)
    {
        if (s_.size + 10 > s_.capacity) {
            s_.capacity = std::max<PB_INT>(64, 2 * s_.capacity);
            s_.data = static_cast<PB_BYTE *>(pbMemRealloc(s_.data, s_.capacity));
        }
        for (; n >= 0x80; n >>= 7)
            s_.data[s_.size++] = static_cast<PB_BYTE>(n | 0x80);
        s_.data[s_.size++] = static_cast<PB_BYTE>(n);
    }

    PB_INT get()
    {
        PB_INT n = 0;
        for (int shift = 0;; shift += 7) {
            const PB_BYTE b = s_.data[s_.read++];
            n |= PB_INT(b & 0x7F) << shift;
            if (b < 0x80)
                return n;
        }
    }

    struct State {
        PB_BYTE *data = nullptr;
        PB_INT size = 0, capacity = 0;
        std::size_t total = 0;
        PB_BYTE first = 0, byte = 0;
        PB_INT count = 0; // the stretch being counted
        PB_INT read = 0, left = 0;
        bool started = false;
    } s_;
};

} // namespace

// The state of a streaming decoder: the decoding loop's settings and state,
// the bytes carried to the next piece, the white space held back, the run of
// white space being handed out and the output after it, the text given
// meanwhile, and the refusal once there is one.
struct RFC_QUOP_DECODE_STREAM {
    explicit RFC_QUOP_DECODE_STREAM(RFC_QUOP_OPTIONS *opt) : settings(opt) {}

    DecodeSettings settings;
    DecodeState state;
    PB_BYTE carry[maxCarry] = {};
    std::size_t carryLength = 0;
    PB_INT given = 0; // text decoded or carried so far
    RunSummary held;  // the white space that ends the output so far
    RunSummary owed;  // a run shown to be data, handed out in portions
    PB_BUFFER *owedTail = nullptr;
    bool owing = false;
    PB_BUFFER *pending = nullptr; // text given while output was owed
    PB_BYTE *scratch = nullptr;   // the output area kept between pieces
    std::size_t scratchSize = 0;
    bool finished = false;        // the text has ended
    bool ended = false;           // and its end is decoded
    bool refused = false;
    RFC_QUOP_DECODE_REFUSAL refusal {};
};

namespace {

// The next portion of the output owed: the run, then what followed it.
PB_BUFFER *takeOwed(RFC_QUOP_DECODE_STREAM *stream)
{
    PB_BUFFER *out = pbBufferCreate();
    stream->owed.readInto(&out, owedPortion);
    if (!stream->owed.reading()) {
        stream->owed.clear();
        pbBufferAppendBytes(&out, pbBufferBacking(stream->owedTail), pbBufferLength(stream->owedTail));
        pbObjRelease(pb::obj(stream->owedTail));
        stream->owedTail = nullptr;
        stream->owing = false;
    }
    return out;
}

// Decodes the n bytes of text at src, which follow the bytes carried, to the
// end of the text when final. Returns the bytes that are final; white space
// at their end is held back, and when the white space held before turns out
// to be data, it is owed and the first portion returned.
PB_BUFFER *decodeText(RFC_QUOP_DECODE_STREAM *stream, const PB_BYTE *src, std::size_t n, bool final)
{
    const DecodeSettings &settings = stream->settings;
    DecodeState &state = stream->state;
    const PB_INT carriedAt = stream->given - PB_INT(stream->carryLength);
    const PB_INT srcAt = stream->given;
    stream->given += PB_INT(n);

    // The output area of a piece of usual size is kept from call to call:
    // new memory costs a page fault per page, more than copying the output
    // out of it.
    const std::size_t bound = settings.outputBound(stream->carryLength + n);
    const bool kept = bound <= scratchKept;
    if (kept && bound > stream->scratchSize) {
        stream->scratch = static_cast<PB_BYTE *>(pbMemRealloc(stream->scratch, PB_INT(bound)));
        stream->scratchSize = bound;
    }
    PB_BYTE *out = kept ? stream->scratch : static_cast<PB_BYTE *>(pbMemAlloc(PB_INT(bound)));
    PB_BYTE *w = out;
    // White space to remove may reach back into the run held.
    auto dropTrailing = [&](PB_BYTE *&at, std::size_t trailing) {
        if (trailing > std::size_t(at - out)) {
            stream->held.clear();
            at = out;
        } else {
            at -= trailing;
        }
    };

    RFC_QUOP_DECODE_REFUSAL refusal {};
    DecodeStop stop { 0, false };
    PB_INT refusedBase = 0;
    std::size_t at = 0; // bytes of src decoded or carried
    if (stream->carryLength > 0) {
        // The carried bytes and a few after them, decoded until the carried
        // ones are done.
        const std::size_t c = stream->carryLength;
        const std::size_t extra = std::min<std::size_t>(n, 4);
        PB_BYTE joined[maxCarry + 4];
        std::memcpy(joined, stream->carry, c);
        if (extra > 0)
            std::memcpy(joined + c, src, extra);
        stop = decodeSpan<true>(settings, state, joined, c + extra, c, final, w, dropTrailing, &refusal);
        refusedBase = carriedAt;
        if (!stop.refused && stop.consumed < c) {
            // Still undecided, only when few bytes came: all are carried.
            const std::size_t left = c + extra - stop.consumed;
            PB_ASSERT( left <= maxCarry && extra == n );
            std::memmove(stream->carry, joined + stop.consumed, left);
            stream->carryLength = left;
            at = n;
        } else if (!stop.refused) {
            at = stop.consumed - c;
            stream->carryLength = 0;
        }
    }
    if (!stop.refused && at < n) {
        stop = decodeSpan<true>(settings, state, src + at, n - at, n - at, final, w, dropTrailing, &refusal);
        refusedBase = srcAt + PB_INT(at);
        const std::size_t left = n - at - stop.consumed;
        if (!stop.refused) {
            PB_ASSERT( left <= maxCarry );
            if (left > 0)
                std::memcpy(stream->carry, src + at + stop.consumed, left);
            stream->carryLength = left;
        }
    }
    if (stop.refused) {
        // What ends the output before the fault is removed as at the end of
        // the text, if line breaks are translated.
        stream->refused = true;
        stream->refusal = { refusal.kind, refusedBase + refusal.offset };
        stream->carryLength = 0;
        if (settings.translate)
            dropTrailing(w, state.trailing);
        state.trailing = 0;
    } else if (final) {
        decodeEnd(settings, state, w, dropTrailing);
    }

    // The white space at the end of the output: the run held, and what this
    // piece wrote. Without translation it is always data.
    std::size_t written = std::size_t(w - out);
    const std::size_t trailing = settings.translate ? state.trailing : 0;
    if (!settings.translate)
        state.trailing = 0;
    const std::size_t held = stream->held.total();
    bool owe = false;
    if (held > 0 && trailing == held + written) {
        // All written is white space that joins the run, still undecided.
        stream->held.add(out, written);
        written = 0;
    } else {
        // The run held, if any, is data: owed before the bytes written.
        if (held > 0) {
            stream->owed.swap(stream->held);
            stream->held.clear();
            stream->owed.close();
            owe = true;
        }
        stream->held.add(out + written - trailing, trailing);
        written -= trailing;
    }
    PB_BUFFER *result;
    if (kept) {
        result = written == 0 ? pbBufferCreate() : pbBufferCreateFromBytesCopy(out, PB_INT(written));
    } else if (written == 0) {
        pbMemFree(out);
        result = pbBufferCreate();
    } else {
        // Only a wide miss of the bound is worth giving back.
        if (written < (bound - copySlack) / 2)
            out = static_cast<PB_BYTE *>(pbMemRealloc(out, PB_INT(written)));
        result = pbBufferCreateFromBytesUse(out, PB_INT(written));
    }
    if (!owe)
        return result;
    stream->owedTail = result;
    stream->owing = true;
    return takeOwed(stream);
}

// The next output when no new text comes: a portion of what is owed, else
// the text given meanwhile decoded, and the end of the text once it has
// ended.
PB_BUFFER *advance(RFC_QUOP_DECODE_STREAM *stream)
{
    if (stream->owing)
        return takeOwed(stream);
    if (stream->refused || stream->ended)
        return pbBufferCreate();
    const bool final = stream->finished;
    if (!stream->pending && !final)
        return pbBufferCreate();
    pb::Ref<PB_BUFFER> text(stream->pending);
    stream->pending = nullptr;
    stream->ended = final;
    return decodeText(stream, text ? pbBufferBacking(text.get()) : nullptr,
        text ? std::size_t(pbBufferLength(text.get())) : 0, final);
}

} // namespace

extern "C" {

RFC_API RFC_QUOP_DECODE_STREAM *rfcQuopDecodeStreamCreate(RFC_QUOP_OPTIONS *opt)
{
    PB_ASSERT( opt );
    return new (pbMemAlloc(sizeof(RFC_QUOP_DECODE_STREAM))) RFC_QUOP_DECODE_STREAM(opt);
}

// Copies the text in and returns a new buffer, owned by the caller, with the
// bytes that are final so far (possibly empty).
RFC_API PB_BUFFER *rfcQuopDecodeStreamWrite(RFC_QUOP_DECODE_STREAM *stream, const PB_BYTE *bytes, PB_INT byteCount)
{
    PB_ASSERT( stream );
    PB_ASSERT( byteCount >= 0 );
    PB_ASSERT( bytes || byteCount == 0 );
    PB_ASSERT( !stream->finished || byteCount == 0 );
    if (byteCount > 0 && !stream->refused) {
        if (!stream->owing && !stream->pending)
            return decodeText(stream, bytes, std::size_t(byteCount), false);
        // Decoded once what is owed is handed out.
        if (!stream->pending)
            stream->pending = pbBufferCreate();
        pbBufferAppendBytes(&stream->pending, bytes, byteCount);
    }
    return advance(stream);
}

RFC_API PB_BUFFER *rfcQuopDecodeStreamFinish(RFC_QUOP_DECODE_STREAM *stream)
{
    PB_ASSERT( stream );
    PB_ASSERT( !stream->finished );
    stream->finished = true;
    return advance(stream);
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
    if (!stream)
        return;
    if (stream->owedTail)
        pbObjRelease(pb::obj(stream->owedTail));
    if (stream->pending)
        pbObjRelease(pb::obj(stream->pending));
    pbMemFree(stream->scratch);
    stream->~RFC_QUOP_DECODE_STREAM();
    pbMemFree(stream);
}

} // extern "C"
