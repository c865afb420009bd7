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
// breaks are translated), so it is held back as a summary: per stretch of
// one byte its length, or per block of a few KiB one bit per byte, whichever
// is smaller, so that a run of one byte costs a few bytes and any run at
// most an eighth of its length. When the stream's owner allows it, a summary
// past a set size moves to an unnamed temporary file. Once something shows
// the run to be data, it is handed out in portions, then the output that
// followed it.
#include "rfc_quop.h"
#include "rfc_quop_decode_core.h"

#include "../crc/rfc_crc.h"
#include "../rfc_frame.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <new>
#include <utility>

#include <fcntl.h>
#include <unistd.h>

namespace {

using namespace rfc::quop;

// Bytes of a run of white space handed out per call at most.
constexpr PB_INT owedPortion = PB_INT { 1 } << 20;

// The most output after a run of white space joined to the run's last
// portion; more comes on its own.
constexpr PB_INT tailJoined = PB_INT { 64 } << 10;

// The largest output area a stream keeps for its next pieces.
constexpr std::size_t scratchKept = std::size_t { 4 } << 20;

// The most text the decoding loop leaves undone at the end of a piece.
constexpr std::size_t maxCarry = 2;

// An unnamed temporary file, deleted when closed, open for reading and
// writing and closed on exec (a child that another thread starts never
// inherits it): in the directory $TMPDIR names, read only where the process
// may trust its environment, else, or if no file can be made there, in
// /tmp. Where the file system offers no unnamed files, a named one is made
// and removed at once. Null when no file can be made.
std::FILE *openTemporaryFile()
{
    const char *const tmpdir = secure_getenv("TMPDIR");
    const char *const dirs[] = { tmpdir && *tmpdir ? tmpdir : nullptr, P_tmpdir };
    for (const char *dir : dirs) {
        if (!dir)
            continue;
        int fd = open(dir, O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
        if (fd < 0) {
            char path[4096];
            if (std::snprintf(path, sizeof path, "%s/rfc-XXXXXX", dir) >= int(sizeof path))
                continue;
            fd = mkostemp(path, O_CLOEXEC);
            if (fd < 0)
                continue;
            unlink(path);
        }
        if (std::FILE *file = fdopen(fd, "w+b"))
            return file;
        close(fd);
    }
    return nullptr;
}

// The CRC-32C of n bytes: the check of a piece of a summary in its file.
std::uint32_t checkValue(const PB_BYTE *bytes, PB_INT n)
{
    pb::Ref<RFC_CRC> crc(rfcCrcCreate(RFC_CRC_ALGORITHM_CRC32_C));
    rfcCrcUpdateBytes(crc.get(), bytes, n);
    return static_cast<std::uint32_t>(rfcCrcFinal(crc.get()));
}

// The bytes of a summary, appended, then read back once from the start. They
// stay in memory unless a spill limit is set: then, once they take more
// than the limit, they move to an unnamed temporary file (deleted when
// closed) and only a buffer of them stays in memory. If no file can be
// made or written, they stay (or come back) in memory: nothing is lost.
// The file is written in pieces of at most a block, each with its length
// and check value kept in memory, and read back a piece at a time; a piece
// that cannot be read, or reads back other than it was written, ends the
// reading before any of its bytes is used. The store then reads no more
// and says so.
class SummaryStore {
public:
    SummaryStore() = default;
    SummaryStore(const SummaryStore &) = delete;
    SummaryStore &operator=(const SummaryStore &) = delete;
    ~SummaryStore() { clear(); }

    void swap(SummaryStore &other) noexcept { std::swap(s_, other.s_); }

    // 0 keeps the bytes in memory whatever their size.
    void setSpillLimit(PB_INT limit) { s_.limit = limit; }
    PB_INT spillLimit() const { return s_.limit; }

    void append(const PB_BYTE *bytes, std::size_t n)
    {
        // Spilled, the buffer goes to the file when full.
        if (s_.file && s_.size + PB_INT(n) > s_.capacity)
            spill();
        if (s_.size + PB_INT(n) > s_.capacity) {
            s_.capacity = std::max<PB_INT>({ 64, 2 * s_.capacity, s_.size + PB_INT(n) });
            s_.data = static_cast<PB_BYTE *>(pbMemRealloc(s_.data, s_.capacity));
        }
        std::memcpy(s_.data + s_.size, bytes, n);
        s_.size += PB_INT(n);
        if (!s_.file && s_.limit > 0 && !s_.stayInMemory && s_.size > s_.limit)
            spill();
    }

    // Ends the appending and starts reading from the start.
    void startReading()
    {
        s_.read = 0;
        if (!s_.file)
            return;
        spill();
        if (s_.file) {
            s_.size = 0;
            s_.fileLeft = s_.fileSize;
            s_.pieceRead = 0;
            std::rewind(s_.file);
        }
    }

    bool more() const { return !s_.failed && (s_.read < s_.size || s_.fileLeft > 0); }

    // The next byte; 0 once reading has failed (then failed() is true).
    PB_BYTE next()
    {
        if (s_.read == s_.size && !refill())
            return 0;
        return s_.data[s_.read++];
    }

    bool failed() const { return s_.failed; }

    void clear()
    {
        if (s_.file)
            std::fclose(s_.file);
        pbMemFree(s_.data);
        s_ = State { .limit = s_.limit };
    }

private:
    // A piece of the file: its length and check value.
    struct Piece {
        PB_INT size;
        std::uint32_t check;
    };

    // The buffer of a spilled store: the bytes written to the file at a
    // time (at most), and read back at a time.
    static constexpr PB_INT fileBlock = PB_INT { 64 } << 10;

    // Moves the bytes in memory to the file, making it first; on any
    // failure the bytes stay in memory, those of the file brought back.
    void spill()
    {
        if (!s_.file) {
            s_.file = openTemporaryFile();
            if (!s_.file) {
                s_.stayInMemory = true;
                return;
            }
            // Unbuffered: a write that returns has handed the bytes over.
            std::setvbuf(s_.file, nullptr, _IONBF, 0);
        }
        for (PB_INT at = 0; at < s_.size;) {
            const PB_INT n = std::min(s_.size - at, fileBlock);
            if (std::fwrite(s_.data + at, 1, std::size_t(n), s_.file) != std::size_t(n)) {
                // The file holds the pieces before this one, and maybe part
                // of it: those bytes stay in memory instead.
                std::memmove(s_.data, s_.data + at, std::size_t(s_.size - at));
                s_.size -= at;
                unspill();
                return;
            }
            s_.pieces.push_back({ n, checkValue(s_.data + at, n) });
            s_.fileSize += n;
            at += n;
        }
        s_.size = 0;
        if (s_.capacity != fileBlock) {
            s_.capacity = fileBlock;
            s_.data = static_cast<PB_BYTE *>(pbMemRealloc(s_.data, s_.capacity));
        }
    }

    // Brings the file's bytes back in front of those in memory and keeps all
    // in memory from now on.
    void unspill()
    {
        PB_BYTE *all = static_cast<PB_BYTE *>(pbMemAlloc(std::max<PB_INT>(64, s_.fileSize + s_.size)));
        std::rewind(s_.file);
        if (std::fread(all, 1, std::size_t(s_.fileSize), s_.file) != std::size_t(s_.fileSize))
            s_.failed = true;
        PB_INT at = 0;
        for (const Piece &piece : s_.pieces) {
            s_.failed = s_.failed || checkValue(all + at, piece.size) != piece.check;
            at += piece.size;
        }
        std::memcpy(all + s_.fileSize, s_.data, std::size_t(s_.size));
        std::fclose(s_.file);
        pbMemFree(s_.data);
        s_.pieces.clear();
        s_.file = nullptr;
        s_.data = all;
        s_.size += s_.fileSize;
        s_.capacity = std::max<PB_INT>(64, s_.size);
        s_.fileSize = 0;
        s_.stayInMemory = true;
    }

    // The next piece of the file into memory; false when there is none or
    // it cannot be read back as it was written.
    bool refill()
    {
        if (s_.fileLeft == 0 || s_.failed) {
            s_.failed = true;
            return false;
        }
        const Piece piece = s_.pieces[s_.pieceRead++];
        const PB_INT n = piece.size;
        if (std::fread(s_.data, 1, std::size_t(n), s_.file) != std::size_t(n)
            || checkValue(s_.data, n) != piece.check) {
            s_.failed = true;
            return false;
        }
        s_.fileLeft -= n;
        s_.size = n;
        s_.read = 0;
        return true;
    }

    struct State {
        PB_INT limit = 0;
        PB_BYTE *data = nullptr; // all bytes, or those not yet in the file
        PB_INT size = 0, capacity = 0, read = 0;
        std::FILE *file = nullptr;
        PB_INT fileSize = 0, fileLeft = 0;
        pb::Vector<Piece> pieces {}; // those of the file, in order
        std::size_t pieceRead = 0;
        bool stayInMemory = false; // spilling failed
        bool failed = false;       // reading back failed
    } s_;
};

// A run of white space (spaces and tabs), summarised as records, each a
// LEB128 number: n << 2 | t << 1 for a stretch of n bytes, tabs when t is 1,
// spaces otherwise; n << 1 | 1 for a block of n bytes, followed by n bits,
// LSB first, 1 for a tab. The bytes come in blocks of stageSize, each
// summarised the smaller way; the stretch at the end of a block stays open
// to go on into the next, so a run of one byte costs a few bytes however
// long it is. Read back from its start in portions once closed.
class RunSummary {
public:
    RunSummary() = default;
    RunSummary(const RunSummary &) = delete;
    RunSummary &operator=(const RunSummary &) = delete;

    void swap(RunSummary &other) noexcept
    {
        store_.swap(other.store_);
        std::swap(s_, other.s_);
    }

    void setSpillLimit(PB_INT limit) { store_.setSpillLimit(limit); }

    void add(const PB_BYTE *bytes, std::size_t n)
    {
        s_.total += n;
        while (n > 0) {
            const std::size_t k = std::min(n, stageSize - s_.staged);
            std::memcpy(s_.stage + s_.staged, bytes, k);
            s_.staged += k;
            bytes += k;
            n -= k;
            if (s_.staged == stageSize)
                summarise();
        }
    }

    // The bytes of the run.
    std::size_t total() const { return s_.total; }

    // Ends the run and starts reading it from its start.
    void close()
    {
        summarise();
        putStretch();
        store_.startReading();
        s_.left = 0;
    }

    bool reading() const { return s_.left > 0 || store_.more(); }

    // True once the run could not be read back; it then reads no more.
    bool failed() const { return store_.failed(); }

    // Appends up to limit bytes of the closed run to *out.
    void readInto(PB_BUFFER **out, PB_INT limit)
    {
        static constexpr PB_INT block = 4096;
        static const auto spaces = [] { std::array<PB_BYTE, block> a {}; a.fill(byteSpace); return a; }();
        static const auto tabs = [] { std::array<PB_BYTE, block> a {}; a.fill(byteTab); return a; }();
        PB_INT done = 0;
        while (done < limit && reading()) {
            if (s_.left == 0) {
                const PB_INT v = get();
                if (store_.failed())
                    return;
                s_.bits = v & 1;
                s_.left = s_.bits ? v >> 1 : v >> 2;
                s_.byte = !s_.bits && (v & 2) ? byteTab : byteSpace;
                s_.bit = 0;
            }
            const PB_INT n = std::min({ s_.left, limit - done, block });
            if (!s_.bits) {
                pbBufferAppendBytes(out, (s_.byte == byteSpace ? spaces : tabs).data(), n);
            } else {
                PB_BYTE bytes[block];
                for (PB_INT i = 0; i < n; ++i) {
                    if (s_.bit % 8 == 0)
                        s_.bitByte = store_.next();
                    bytes[i] = (s_.bitByte >> (s_.bit++ % 8)) & 1 ? byteTab : byteSpace;
                }
                if (store_.failed())
                    return;
                pbBufferAppendBytes(out, bytes, n);
            }
            s_.left -= n;
            done += n;
        }
    }

    void clear()
    {
        store_.clear();
        s_.total = 0;
        s_.staged = 0;
        s_.open = 0;
        s_.left = 0;
    }

private:
    // The bytes summarised together, the stretches or the bits whichever is
    // smaller: a block in bits costs an eighth of its length and a few bytes.
    static constexpr std::size_t stageSize = 4096;

    static constexpr int lebSize(std::size_t v)
    {
        int n = 1;
        for (; v >= 0x80; v >>= 7)
            ++n;
        return n;
    }

    // Summarises the bytes staged: their stretches, the open one before
    // them joined and the last one left open; or the open one and the
    // bits.
    void summarise()
    {
        const std::size_t m = s_.staged;
        if (m == 0)
            return;
        const PB_BYTE *b = s_.stage;
        // The cost of the stretches this block ends.
        std::size_t asStretches = 0;
        std::size_t length = s_.open > 0 && s_.openByte == b[0] ? s_.open : 0;
        if (s_.open > 0 && length == 0)
            asStretches += std::size_t(lebSize(s_.open << 2));
        for (std::size_t i = 0; i < m; ++i) {
            ++length;
            if (i + 1 < m && b[i + 1] != b[i]) {
                asStretches += std::size_t(lebSize(length << 2));
                length = 0;
            }
        }
        const std::size_t asBits = std::size_t(lebSize(m << 1 | 1)) + (m + 7) / 8
            + (s_.open > 0 ? std::size_t(lebSize(s_.open << 2)) : 0);
        if (asStretches <= asBits) {
            for (std::size_t i = 0; i < m; ++i) {
                if (s_.open > 0 && b[i] != s_.openByte)
                    putStretch();
                s_.openByte = b[i];
                ++s_.open;
            }
        } else {
            putStretch();
            PB_BYTE record[lebSize(stageSize << 1 | 1) + stageSize / 8] = {};
            std::size_t r = putLeb(record, m << 1 | 1);
            for (std::size_t i = 0; i < m; ++i)
                record[r + i / 8] |= PB_BYTE((b[i] == byteTab) << (i % 8));
            store_.append(record, r + (m + 7) / 8);
        }
        s_.staged = 0;
    }

    void putStretch()
    {
        if (s_.open == 0)
            return;
        PB_BYTE record[10];
        store_.append(record, putLeb(record, s_.open << 2 | std::size_t(s_.openByte == byteTab) << 1));
        s_.open = 0;
    }

    static std::size_t putLeb(PB_BYTE *at, std::size_t v)
    {
        std::size_t n = 0;
        for (; v >= 0x80; v >>= 7)
            at[n++] = static_cast<PB_BYTE>(v | 0x80);
        at[n++] = static_cast<PB_BYTE>(v);
        return n;
    }

    PB_INT get()
    {
        PB_INT n = 0;
        for (int shift = 0;; shift += 7) {
            const PB_BYTE b = store_.next();
            n |= PB_INT(b & 0x7F) << shift;
            if (b < 0x80)
                return n;
        }
    }

    SummaryStore store_;
    struct State {
        std::size_t total = 0;
        PB_BYTE stage[stageSize];
        std::size_t staged = 0;
        std::size_t open = 0; // the stretch at the end, not written yet
        PB_BYTE openByte = 0;
        // Reading: the record being handed out.
        PB_INT left = 0;
        bool bits = false;
        PB_BYTE byte = 0, bitByte = 0;
        PB_INT bit = 0;
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
    if (stream->owed.failed()) {
        // The run's file could not be read back: what was read goes out,
        // and the stream refuses, the rest of the run lost.
        stream->owed.clear();
        pbObjRelease(pb::obj(stream->owedTail));
        stream->owedTail = nullptr;
        stream->owing = false;
        stream->refused = true;
        stream->refusal = { RFC_QUOP_DECODE_REFUSAL_SPILL_UNREADABLE, stream->given };
        return out;
    }
    if (stream->owed.reading())
        return out;
    stream->owed.clear();
    // The output after the run: joined to the run's last bytes when short,
    // else handed out as it is by this call or the next, never copied.
    const PB_INT tail = pbBufferLength(stream->owedTail);
    if (pbBufferLength(out) > 0 && tail > tailJoined)
        return out;
    if (pbBufferLength(out) == 0) {
        pbObjRelease(pb::obj(out));
        out = stream->owedTail;
    } else {
        pbBufferAppendBytes(&out, pbBufferBacking(stream->owedTail), tail);
        pbObjRelease(pb::obj(stream->owedTail));
    }
    stream->owedTail = nullptr;
    stream->owing = false;
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

RFC_API RFC_QUOP_DECODE_STREAM *rfcQuopDecodeStreamCreate(RFC_QUOP_OPTIONS *opt) noexcept
{
    PB_ASSERT( opt );
    return new (pbMemAlloc(sizeof(RFC_QUOP_DECODE_STREAM))) RFC_QUOP_DECODE_STREAM(opt);
}

// Copies the text in and returns a new buffer, owned by the caller, with the
// bytes that are final so far (possibly empty).
RFC_API PB_BUFFER *rfcQuopDecodeStreamWrite(RFC_QUOP_DECODE_STREAM *stream, const PB_BYTE *bytes,
    PB_INT byteCount) noexcept
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

RFC_API PB_BUFFER *rfcQuopDecodeStreamFinish(RFC_QUOP_DECODE_STREAM *stream) noexcept
{
    PB_ASSERT( stream );
    PB_ASSERT( !stream->finished );
    stream->finished = true;
    return advance(stream);
}

// Lets the stream move a long run of white space it holds back to a
// temporary file; byteCount 0 keeps it in memory.
RFC_API void rfcQuopDecodeStreamSetSpillLimit(RFC_QUOP_DECODE_STREAM *stream, PB_INT byteCount) noexcept
{
    PB_ASSERT( stream );
    PB_ASSERT( byteCount >= 0 );
    stream->held.setSpillLimit(byteCount);
    stream->owed.setSpillLimit(byteCount);
}

RFC_API PB_BOOL rfcQuopDecodeStreamRefusal(RFC_QUOP_DECODE_STREAM *stream, RFC_QUOP_DECODE_REFUSAL *refusal) noexcept
{
    PB_ASSERT( stream );
    PB_ASSERT( refusal );
    if (!stream->refused)
        return PB_FALSE;
    *refusal = stream->refusal;
    return PB_TRUE;
}

RFC_API void rfcQuopDecodeStreamFree(RFC_QUOP_DECODE_STREAM *stream) noexcept
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
