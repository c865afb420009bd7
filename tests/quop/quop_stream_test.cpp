// The streaming quoted-printable encoder and decoder against the one-call
// functions: random inputs rich in the bytes the rules turn on (white space,
// CR, LF, VT, FF, "=", hexadecimal digits of both cases, control and
// non-ASCII bytes) cut into random pieces, under input and output line
// breaks, line lengths, limits and every flag. Decoding refusals: the bytes
// handed out are those the one-call decoder gives for the input before the
// stream's refusal offset, and the refusal is the one-call refusal.
#include "quop_test_util.h"

#include "support/stream_pieces.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <random>
#include <vector>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace quoptest;

namespace {

using rfctest::pieces;

std::string randomInput(std::mt19937 &random, std::size_t length)
{
    static constexpr char pool[] = "aaaaxyz   \t\r\n\n\r\n===3D3dF0f\x0b\x0c\x01\xff";
    static const std::string bytes(pool, sizeof pool - 1);
    std::uniform_int_distribution<std::size_t> pick(0, bytes.size() - 1);
    std::string s;
    for (std::size_t i = 0; i < length; ++i)
        s += bytes[pick(random)];
    return s;
}

const PB_INT inputNlfs[] = { 0, LF, CRLF, LF | CRLF, CR | CRLF, LF | CR | CRLF | VT };
const PB_INT outputNlfs[] = { 0, LF, CRLF };

std::string encodeStreamed(const std::string &bytes, RFC_QUOP_OPTIONS *opt, const std::vector<std::size_t> &sizes)
{
    RFC_QUOP_ENCODE_STREAM *stream = rfcQuopEncodeStreamCreate(opt);
    std::string text;
    std::size_t at = 0;
    for (std::size_t n : sizes) {
        pb::Ref<PB_BUFFER> out(rfcQuopEncodeStreamWrite(stream, reinterpret_cast<const PB_BYTE *>(bytes.data()) + at, PB_INT(n)));
        text += rfctest::bytes(out.get());
        at += n;
    }
    pb::Ref<PB_BUFFER> out(rfcQuopEncodeStreamFinish(stream));
    text += rfctest::bytes(out.get());
    rfcQuopEncodeStreamFree(stream);
    return text;
}

TEST(QuopStream, EncodeMatchesOneCall)
{
    std::mt19937 random(3);
    for (PB_INT inputNlf : inputNlfs) {
        for (PB_INT outputNlf : outputNlfs) {
            for (PB_INT lineLength : { noLimit, PB_INT { 1 }, PB_INT { 2 }, PB_INT { 3 }, PB_INT { 4 }, PB_INT { 5 }, PB_INT { 9 }, PB_INT { 76 } }) {
                for (PB_INT flags : { PB_INT { 0 }, PB_INT { RFC_QUOP_FLAG_ENCODE_ENSURE_TRAILING_NLF } }) {
                    pb::Ref<RFC_QUOP_OPTIONS> opt = options({ inputNlf, outputNlf, lineLength, flags }, false);
                    for (std::size_t length : { 0, 1, 2, 4, 5, 9, 40, 300 }) {
                        std::string bytes = randomInput(random, length);
                        std::optional<std::string> expected = take(rfcQuopEncodeWithOptions(rfctest::buffer(bytes).get(), opt.get()));
                        ASSERT_TRUE(expected);
                        for (std::size_t maxPiece : { 1, 3, 17, 400 }) {
                            SCOPED_TRACE(testing::Message() << "in " << inputNlf << " out " << outputNlf << " line "
                                                            << lineLength << " flags " << flags << " input "
                                                            << rfctest::hex(bytes) << " pieces up to " << maxPiece);
                            EXPECT_EQ(rfctest::hex(encodeStreamed(bytes, opt.get(), pieces(length, random, maxPiece))),
                                rfctest::hex(*expected));
                        }
                    }
                }
            }
        }
    }
}

// A line far longer than what the stream holds, under line lengths that it
// never reaches or reaches rarely: the output comes as the input does (all
// but a line or two writes before Finish, not the whole line), and is the
// one-call output.
TEST(QuopStream, EncodeHoldsLittleOfALongLine)
{
    std::mt19937 random(6);
    const std::string letters(1 << 19, 'a');
    std::string mixed;
    while (mixed.size() < (1 << 19))
        mixed += "ab = \t\xff  c\tz";
    const struct {
        const char *rule;
        std::string bytes;
    } rows[] = {
        { "letters", letters },
        { "spaces", std::string(1 << 19, ' ') },
        { "white space, escapes and letters", mixed },
        { "a line break now and then", letters.substr(0, 200000) + "\r\n" + mixed.substr(0, 200000) + " \n" + letters.substr(0, 200000) },
    };
    constexpr std::size_t maxPiece = 65536;
    for (const auto &row : rows) {
        for (PB_INT lineLength : { PB_INT { 76 }, PB_INT { 100000 }, PB_INT { 1 } << 40 }) {
            for (PB_INT flags : { PB_INT { 0 }, PB_INT { RFC_QUOP_FLAG_ENCODE_ENSURE_TRAILING_NLF } }) {
                SCOPED_TRACE(testing::Message() << row.rule << ", line length " << lineLength << ", flags " << flags);
                pb::Ref<RFC_QUOP_OPTIONS> opt = options({ LF | CRLF, CRLF, lineLength, flags }, false);
                const std::optional<std::string> expected = take(rfcQuopEncodeWithOptions(rfctest::buffer(row.bytes).get(), opt.get()));
                ASSERT_TRUE(expected);
                RFC_QUOP_ENCODE_STREAM *stream = rfcQuopEncodeStreamCreate(opt.get());
                std::string text;
                std::size_t at = 0;
                for (std::size_t n : pieces(row.bytes.size(), random, maxPiece)) {
                    pb::Ref<PB_BUFFER> out(rfcQuopEncodeStreamWrite(stream, reinterpret_cast<const PB_BYTE *>(row.bytes.data()) + at, PB_INT(n)));
                    text += rfctest::bytes(out.get());
                    at += n;
                }
                // Held back: a line, but no more than two writes (a line near
                // its end waits for its break until the held input doubles).
                const std::size_t slack = 16 + std::min(std::size_t(lineLength), 2 * maxPiece);
                EXPECT_GE(text.size() + slack, expected->size());
                pb::Ref<PB_BUFFER> out(rfcQuopEncodeStreamFinish(stream));
                text += rfctest::bytes(out.get());
                rfcQuopEncodeStreamFree(stream);
                EXPECT_TRUE(text == *expected);
            }
        }
    }
}

struct Decoded {
    std::string bytes;
    bool refused;
    RFC_QUOP_DECODE_REFUSAL refusal;
};

Decoded decodeStreamed(const std::string &text, RFC_QUOP_OPTIONS *opt, const std::vector<std::size_t> &sizes)
{
    RFC_QUOP_DECODE_STREAM *stream = rfcQuopDecodeStreamCreate(opt);
    Decoded result { {}, false, { 0, 0 } };
    std::size_t at = 0;
    for (std::size_t n : sizes) {
        pb::Ref<PB_BUFFER> out(rfcQuopDecodeStreamWrite(stream, reinterpret_cast<const PB_BYTE *>(text.data()) + at, PB_INT(n)));
        result.bytes += rfctest::bytes(out.get());
        at += n;
    }
    pb::Ref<PB_BUFFER> out(rfcQuopDecodeStreamFinish(stream));
    result.bytes += rfctest::bytes(out.get());
    result.refused = rfcQuopDecodeStreamRefusal(stream, &result.refusal);
    rfcQuopDecodeStreamFree(stream);
    return result;
}

TEST(QuopStream, DecodeMatchesOneCallForEveryFlagCombination)
{
    std::mt19937 random(4);
    std::size_t refusals = 0, acceptances = 0;
    for (PB_INT inputNlf : inputNlfs) {
        for (PB_INT outputNlf : outputNlfs) {
            for (PB_INT maxLine : { noLimit, PB_INT { 4 }, PB_INT { 7 }, PB_INT { 30 } }) {
                for (PB_INT flags = 0; flags < 0x40; flags += 2) {
                    pb::Ref<RFC_QUOP_OPTIONS> opt = options({ inputNlf, outputNlf, maxLine, flags }, true);
                    for (std::size_t length : { 0, 3, 12, 60 }) {
                        std::string text = randomInput(random, length);
                        pb::Ref<PB_BUFFER> source(rfctest::buffer(text));
                        RFC_QUOP_DECODE_REFUSAL refusal { -1, -1 };
                        std::optional<std::string> expected = take(rfcQuopTryDecodeWithRefusal(source.get(), opt.get(), &refusal));
                        for (std::size_t maxPiece : { 1, 5, 100 }) {
                            SCOPED_TRACE(testing::Message() << "in " << inputNlf << " out " << outputNlf << " max "
                                                            << maxLine << " flags " << flags << " text "
                                                            << rfctest::hex(text) << " pieces up to " << maxPiece);
                            Decoded got = decodeStreamed(text, opt.get(), pieces(length, random, maxPiece));
                            if (expected) {
                                ++acceptances;
                                EXPECT_FALSE(got.refused);
                                EXPECT_EQ(rfctest::hex(got.bytes), rfctest::hex(*expected));
                            } else {
                                ++refusals;
                                ASSERT_TRUE(got.refused);
                                EXPECT_EQ(got.refusal.kind, refusal.kind);
                                EXPECT_EQ(got.refusal.offset, refusal.offset);
                                // The bytes handed out are a prefix of what
                                // the input up to the refusal gives.
                                std::optional<std::string> before = take(rfcQuopTryDecodeWithOptions(
                                    rfctest::buffer(text.substr(0, std::size_t(refusal.offset))).get(), opt.get()));
                                ASSERT_TRUE(before);
                                EXPECT_EQ(before->compare(0, got.bytes.size(), got.bytes), 0);
                            }
                        }
                    }
                }
            }
        }
    }
    EXPECT_GT(refusals, 1000u);
    EXPECT_GT(acceptances, 1000u);
}

// A decode through a stream fed in pieces and drained by writes of nothing
// after every call that handed out bytes, Finish included, as the tool does.
struct Drained {
    std::string bytes;
    std::size_t beforeFinish; // bytes handed out before Finish
    std::size_t largest;      // the most one call handed out
    bool refused;
    RFC_QUOP_DECODE_REFUSAL refusal;
};

// The files this process has open that are deleted, as the temporary files
// of a spilling stream are.
std::size_t openDeletedFiles()
{
    std::size_t n = 0;
    for (const auto &entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        const std::string target = std::filesystem::read_symlink(entry.path(), error).string();
        n += !error && target.ends_with(" (deleted)");
    }
    return n;
}

Drained decodeDrained(const std::string &text, RFC_QUOP_OPTIONS *opt, const std::vector<std::size_t> &sizes,
    PB_INT spillLimit = 0, std::size_t *filesSeen = nullptr)
{
    RFC_QUOP_DECODE_STREAM *stream = rfcQuopDecodeStreamCreate(opt);
    rfcQuopDecodeStreamSetSpillLimit(stream, spillLimit);
    Drained result { {}, 0, 0, false, { -1, -1 } };
    auto collect = [&](PB_BUFFER *buffer) {
        pb::Ref<PB_BUFFER> out(buffer);
        result.largest = std::max(result.largest, std::size_t(pbBufferLength(out.get())));
        result.bytes += rfctest::bytes(out.get());
        return pbBufferLength(out.get()) > 0;
    };
    auto drain = [&](PB_BUFFER *first) {
        if (collect(first))
            while (collect(rfcQuopDecodeStreamWrite(stream, nullptr, 0))) {
            }
    };
    std::size_t at = 0;
    for (std::size_t n : sizes) {
        drain(rfcQuopDecodeStreamWrite(stream, reinterpret_cast<const PB_BYTE *>(text.data()) + at, PB_INT(n)));
        at += n;
        if (filesSeen)
            *filesSeen = std::max(*filesSeen, openDeletedFiles());
    }
    result.beforeFinish = result.bytes.size();
    drain(rfcQuopDecodeStreamFinish(stream));
    result.refused = rfcQuopDecodeStreamRefusal(stream, &result.refusal);
    rfcQuopDecodeStreamFree(stream);
    return result;
}

// The one-call result of text: its bytes, or on refusal what the text before
// the refused byte gives, with the refusal.
struct OneCall {
    std::string bytes;
    bool refused;
    RFC_QUOP_DECODE_REFUSAL refusal;
};

OneCall decodeOneCall(const std::string &text, RFC_QUOP_OPTIONS *opt)
{
    RFC_QUOP_DECODE_REFUSAL refusal { -1, -1 };
    if (std::optional<std::string> bytes = take(rfcQuopTryDecodeWithRefusal(rfctest::buffer(text).get(), opt, &refusal)))
        return { *bytes, false, refusal };
    std::optional<std::string> before =
        take(rfcQuopTryDecodeWithOptions(rfctest::buffer(text.substr(0, std::size_t(refusal.offset))).get(), opt));
    EXPECT_TRUE(before);
    return { before.value_or(""), true, refusal };
}

// The stream gives the one-call bytes, or refuses as the one-call decoder
// does, having handed out a prefix of what the text before the refusal
// gives.
void expectSameAsOneCall(const Drained &got, const OneCall &want)
{
    ASSERT_EQ(got.refused, want.refused);
    if (!want.refused) {
        EXPECT_TRUE(got.bytes == want.bytes) << got.bytes.size() << " bytes, want " << want.bytes.size();
        return;
    }
    EXPECT_EQ(got.refusal.kind, want.refusal.kind);
    EXPECT_EQ(got.refusal.offset, want.refusal.offset);
    EXPECT_EQ(want.bytes.compare(0, got.bytes.size(), got.bytes), 0);
}

constexpr std::size_t portion = std::size_t { 1 } << 20;

// Long runs of white space, which the decoder holds as a summary until what
// follows decides them: dropped in front of a line break or at the end, data
// otherwise, refused with the byte after them. Fed in pieces and drained by
// writes of nothing: the output is the one-call output (or, refused, a
// prefix of what the text before the refusal gives, at the one-call
// offset), and no single call, Finish included, hands out more than a
// portion; runs longer than a portion that only the last bytes decide come
// out of Finish and the writes of nothing after it.
TEST(QuopStream, DecodeLongRunsOfWhiteSpace)
{
    std::mt19937 random(7);
    const std::string spaces(300000, ' ');
    std::string mixed;
    while (mixed.size() < 300000)
        mixed += random() % 3 ? " " : "\t";
    const std::string skipped = " \x01 \t\xff ";
    const std::string longRun = std::string(1500000, ' ') + mixed + std::string(1000000, '\t');
    const struct {
        const char *rule;
        std::string text;
    } rows[] = {
        { "spaces, then a line break", "ab" + spaces + "\r\ncd" },
        { "spaces, then data", "ab" + spaces + "cd" },
        { "spaces and tabs, then data", "ab" + mixed + "cd\n" },
        { "spaces and tabs at the end", "ab" + mixed },
        { "a run first, then an escape", mixed + "=41\n" },
        { "a run, then a soft line break", "a" + spaces + "=\r\nb" },
        { "a run with skipped bytes, then data", "a" + mixed + skipped + mixed + "b" },
        { "a run with skipped bytes, then a line break", "a" + skipped + mixed + skipped + "\n" },
        { "after an invalid escape", "a=" + spaces + "b" },
        { "then a control byte", "a" + spaces + "\x01b" },
        { "then an invalid escape", "a" + mixed + "=xy" },
        { "runs one after another", "a" + spaces + "b" + mixed + "\n" + spaces + "c" + spaces },
        { "a long run, then a soft line break at the very end", "x" + longRun + "=\n" },
        { "a long run, then a lone = at the end", "x" + longRun + "=" },
        { "a long run, then = and a digit at the end", "x" + longRun + "=4" },
        { "a long run, then an escape at the end", longRun + "=7E" },
        { "a long run, then a lone CR at the end", "x" + longRun + "\r" },
        { "a long run at the end", "x" + longRun },
    };
    const Settings settings[] = {
        { LF | CRLF, LF, noLimit, 0 },
        { LF | CRLF, CRLF, noLimit, RFC_QUOP_FLAG_DECODE_ENSURE_TRAILING_NLF },
        { LF | CRLF, LF, noLimit, RFC_QUOP_FLAG_DECODE_ACCEPT_INVALID_ENCODING | RFC_QUOP_FLAG_DECODE_IGNORE_CONTROL | RFC_QUOP_FLAG_DECODE_IGNORE_NON_ASCII },
        { CRLF, LF, noLimit, RFC_QUOP_FLAG_DECODE_IGNORE_CONTROL | RFC_QUOP_FLAG_DECODE_IGNORE_NON_ASCII },
    };
    constexpr std::size_t maxPiece = 65536;
    for (const auto &row : rows) {
        for (const Settings &set : settings) {
            SCOPED_TRACE(testing::Message() << row.rule << ", flags " << set.flags << ", output " << set.outputNlf);
            pb::Ref<RFC_QUOP_OPTIONS> opt = options(set, true);
            const OneCall want = decodeOneCall(row.text, opt.get());
            const Drained got = decodeDrained(row.text, opt.get(), pieces(row.text.size(), random, maxPiece));
            EXPECT_LE(got.largest, portion + 2 * maxPiece);
            expectSameAsOneCall(got, want);
            // In one write too, larger than the output area a stream keeps.
            expectSameAsOneCall(decodeDrained(row.text, opt.get(), { row.text.size() }), want);
        }
    }
}

// Runs of white space whose summaries pass a spill limit, held in memory or
// in a temporary file: alternating spaces and tabs (a bit per byte), uneven
// stretches (short ones and ones longer than a block), and one byte. Each
// is followed by what keeps it (a soft line break, data) or removes it (a
// line break, the end of the text), fed in random pieces: the output is the
// one-call output whether the run was held in memory, spilled from the
// first byte, spilled partway, or could not be spilled. A stream makes a
// file only when allowed to, and none is left open after Free.
TEST(QuopStream, DecodeRunsHeldInMemoryOrSpilled)
{
    std::mt19937 random(9);
    std::string alternating;
    while (alternating.size() < 250000)
        alternating += " \t";
    std::string uneven;
    const std::size_t stretches[] = { 1, 1, 2, 3, 1, 7, 2, 1, 5000 };
    for (bool tab = false; uneven.size() < 250000; tab = !tab)
        uneven.append(stretches[random() % std::size(stretches)], tab ? '\t' : ' ');
    const std::string oneByte(250000, '\t');
    const struct {
        const char *rule;
        const std::string &run;
        bool summaryGrows; // past one byte before the run is closed
    } runs[] = {
        { "alternating spaces and tabs", alternating, true },
        { "uneven stretches", uneven, true },
        { "one byte", oneByte, false },
    };
    const struct {
        const char *rule;
        std::string before, after;
    } contexts[] = {
        { "kept by a soft line break", "x", "=\r\nb\r\n" },
        { "kept by a soft line break at the end", "x", "=\r\n" },
        { "kept by data", "x", "y" },
        { "removed by a line break", "x", "\r\nb" },
        { "removed by the end of the text", "x", "" },
        { "first in the text, kept by an escape", "", "=41" },
    };
    const Settings settings[] = {
        { LF | CRLF, LF, noLimit, 0 },
        { CRLF, CRLF, noLimit, RFC_QUOP_FLAG_DECODE_ENSURE_TRAILING_NLF },
    };
    // Spill limits: never, from the first byte, partway through a run.
    const PB_INT limits[] = { 0, 1, 20000 };
    constexpr std::size_t maxPiece = 65536;
    const std::size_t filesBefore = openDeletedFiles();
    for (const auto &run : runs) {
        for (const auto &context : contexts) {
            const std::string text = context.before + run.run + context.after;
            for (const Settings &set : settings) {
                pb::Ref<RFC_QUOP_OPTIONS> opt = options(set, true);
                const OneCall want = decodeOneCall(text, opt.get());
                ASSERT_FALSE(want.refused);
                for (PB_INT limit : limits) {
                    SCOPED_TRACE(testing::Message() << run.rule << ", " << context.rule << ", output "
                                                    << set.outputNlf << ", spill limit " << limit);
                    std::size_t files = 0;
                    const Drained got =
                        decodeDrained(text, opt.get(), pieces(text.size(), random, maxPiece), limit, &files);
                    expectSameAsOneCall(got, want);
                    if (limit == 0) {
                        EXPECT_EQ(files, filesBefore);
                    } else if (limit == 1 && run.summaryGrows) {
                        EXPECT_GT(files, filesBefore);
                    }
                    EXPECT_EQ(openDeletedFiles(), filesBefore);
                }
            }
        }
    }

    // No file can be made (no descriptor left) or written (a file size
    // limit that the summary passes): the run stays in memory, or comes back
    // to it, and nothing is lost.
    std::string longAlternating;
    while (longAlternating.size() < 2000000)
        longAlternating += " \t";
    const std::string text = "x" + longAlternating + "=\r\n";
    pb::Ref<RFC_QUOP_OPTIONS> opt = options(settings[0], true);
    const OneCall want = decodeOneCall(text, opt.get());
    const auto underLimit = [&](int resource, rlim_t value) {
        struct rlimit saved;
        ASSERT_EQ(getrlimit(resource, &saved), 0);
        struct rlimit lowered = saved;
        lowered.rlim_cur = value;
        ASSERT_EQ(setrlimit(resource, &lowered), 0);
        const Drained got = decodeDrained(text, opt.get(), pieces(text.size(), random, maxPiece), 1);
        ASSERT_EQ(setrlimit(resource, &saved), 0);
        expectSameAsOneCall(got, want);
    };
    {
        SCOPED_TRACE("no descriptor left");
        // The lowest free descriptor, which the next file would get.
        const int lowest = open("/dev/null", O_RDONLY);
        ASSERT_GE(lowest, 0);
        close(lowest);
        underLimit(RLIMIT_NOFILE, rlim_t(lowest));
    }
    {
        SCOPED_TRACE("a file size limit");
        // Past the limit a write fails (with SIGXFSZ ignored) instead of
        // ending the process.
        const auto previous = std::signal(SIGXFSZ, SIG_IGN);
        underLimit(RLIMIT_FSIZE, 100000);
        std::signal(SIGXFSZ, previous);
    }
    EXPECT_EQ(openDeletedFiles(), filesBefore);
}

// A spilled run whose file goes wrong behind the stream's back: its
// descriptor replaced by one open for writing only, or one byte of it
// changed, in the first piece the stream wrote or in a later one (the
// summary of this run fills several). Spilled from the first byte, or from
// a limit above one piece, so that the first write is cut into pieces too.
// The stream hands out no byte it did not read back as written (so the
// pieces before a changed one, and nothing after), refuses with its own
// kind at the input taken in, and takes no more input.
TEST(QuopStream, DecodeRefusesARunItCannotReadBack)
{
    std::string run;
    while (run.size() < 2000000)
        run += " \t";
    const std::string text = "x" + run;
    const std::string want = "x" + run + "y";
    // The stream's one temporary file.
    const auto spilledFile = [] {
        std::vector<int> files;
        for (const auto &entry : std::filesystem::directory_iterator("/proc/self/fd")) {
            std::error_code error;
            if (std::filesystem::read_symlink(entry.path(), error).string().ends_with(" (deleted)"))
                files.push_back(std::stoi(entry.path().filename().string()));
        }
        return files.size() == 1 ? files[0] : -1;
    };
    const auto changeByte = [](int fd, off_t at) {
        PB_BYTE byte = 0;
        return pread(fd, &byte, 1, at) == 1 && (byte ^= 0x01, pwrite(fd, &byte, 1, at) == 1);
    };
    const struct {
        const char *damage;
        std::function<bool(int)> apply;
        bool earlierPiecesOut; // the run's start comes out before the refusal
    } damages[] = {
        { "unreadable", [](int fd) {
             const int sink = open("/dev/null", O_WRONLY);
             const bool done = sink >= 0 && dup2(sink, fd) == fd;
             close(sink);
             return done;
         }, false },
        { "a byte of the first piece changed", [&](int fd) { return changeByte(fd, 10); }, false },
        { "a byte of a later piece changed", [&](int fd) { return changeByte(fd, 150000); }, true },
    };
    for (const auto &damage : damages) {
        for (PB_INT limit : { PB_INT { 1 }, PB_INT { 200000 } }) {
            SCOPED_TRACE(testing::Message() << damage.damage << ", spill limit " << limit);
            pb::Ref<RFC_QUOP_OPTIONS> opt = options({ LF | CRLF, LF, noLimit, 0 }, true);
            RFC_QUOP_DECODE_STREAM *stream = rfcQuopDecodeStreamCreate(opt.get());
            rfcQuopDecodeStreamSetSpillLimit(stream, limit);
            std::string got;
            const auto write = [&](const std::string &bytes) {
                pb::Ref<PB_BUFFER> out(rfcQuopDecodeStreamWrite(
                    stream, reinterpret_cast<const PB_BYTE *>(bytes.data()), PB_INT(bytes.size())));
                got += rfctest::bytes(out.get());
                return pbBufferLength(out.get()) > 0;
            };
            write(text);
            const int file = spilledFile();
            ASSERT_GE(file, 0);
            ASSERT_TRUE(damage.apply(file));
            // Data after the run shows the run to be data: it is read back.
            while (write(got.size() == 1 ? "y" : ""))
                ;
            RFC_QUOP_DECODE_REFUSAL refusal { -1, -1 };
            EXPECT_TRUE(rfcQuopDecodeStreamRefusal(stream, &refusal));
            EXPECT_EQ(refusal.kind, RFC_QUOP_DECODE_REFUSAL_SPILL_UNREADABLE);
            EXPECT_EQ(refusal.offset, PB_INT(text.size() + 1));
            // What came out is the start of the run's decoding, short of its end.
            EXPECT_LT(got.size(), want.size() - 1);
            EXPECT_EQ(want.compare(0, got.size(), got), 0);
            EXPECT_EQ(got.size() > 1, damage.earlierPiecesOut);
            // No more input is taken, and Finish gives nothing.
            EXPECT_FALSE(write("z"));
            pb::Ref<PB_BUFFER> rest(rfcQuopDecodeStreamFinish(stream));
            EXPECT_EQ(pbBufferLength(rest.get()), 0);
            rfcQuopDecodeStreamFree(stream);
            EXPECT_EQ(openDeletedFiles(), 0u);
        }
    }
    EXPECT_STREQ(rfcQuopDecodeRefusalKindToString(RFC_QUOP_DECODE_REFUSAL_SPILL_UNREADABLE),
        "RFC_QUOP_DECODE_REFUSAL_SPILL_UNREADABLE");
}

// A spilling stream makes its file in the directory TMPDIR names, or in
// /tmp where TMPDIR is unset, empty or names no directory in which a file
// can be made; the file is closed on exec, and the output is the one-call
// output wherever the file is.
TEST(QuopStream, DecodeSpillsWhereTmpdirSays)
{
    char made[] = "/tmp/rfc-quop-tmpdir-XXXXXX";
    ASSERT_NE(mkdtemp(made), nullptr);
    const char *const before = std::getenv("TMPDIR");
    const std::optional<std::string> saved = before ? std::optional<std::string>(before) : std::nullopt;
    const struct {
        const char *rule;
        const char *tmpdir; // null: unset
        std::string dir;    // where the file must be
    } cases[] = {
        { "a directory", made, made },
        { "unset", nullptr, "/tmp" },
        { "empty", "", "/tmp" },
        { "no such directory", "/nonexistent/rfc-quop", "/tmp" },
        { "a file, not a directory", "/dev/null", "/tmp" },
    };
    std::string run;
    while (run.size() < 400000)
        run += " \t";
    const std::string text = "x" + run + "=\r\ny";
    pb::Ref<RFC_QUOP_OPTIONS> opt = options({ LF | CRLF, LF, noLimit, 0 }, true);
    const OneCall want = decodeOneCall(text, opt.get());
    for (const auto &c : cases) {
        SCOPED_TRACE(c.rule);
        if (c.tmpdir)
            setenv("TMPDIR", c.tmpdir, 1);
        else
            unsetenv("TMPDIR");
        RFC_QUOP_DECODE_STREAM *stream = rfcQuopDecodeStreamCreate(opt.get());
        rfcQuopDecodeStreamSetSpillLimit(stream, 1);
        std::string got;
        // Takes a call's output, then the rest through writes of nothing.
        const auto drain = [&](PB_BUFFER *first) {
            for (pb::Ref<PB_BUFFER> out(first); pbBufferLength(out.get()) > 0;
                 out.reset(rfcQuopDecodeStreamWrite(stream, nullptr, 0)))
                got += rfctest::bytes(out.get());
        };
        drain(rfcQuopDecodeStreamWrite(stream, reinterpret_cast<const PB_BYTE *>(text.data()), PB_INT(text.size() - 3)));
        // The run is held (the soft line break is not yet complete): its
        // file is open, deleted, in the expected directory.
        std::vector<std::string> dirs;
        for (const auto &entry : std::filesystem::directory_iterator("/proc/self/fd")) {
            std::error_code error;
            std::string target = std::filesystem::read_symlink(entry.path(), error).string();
            if (error || !target.ends_with(" (deleted)"))
                continue;
            target.resize(target.size() - std::strlen(" (deleted)"));
            dirs.push_back(std::filesystem::path(target).parent_path().string());
            EXPECT_EQ(fcntl(std::stoi(entry.path().filename().string()), F_GETFD) & FD_CLOEXEC, FD_CLOEXEC);
        }
        EXPECT_EQ(dirs, std::vector<std::string> { c.dir });
        drain(rfcQuopDecodeStreamWrite(stream, reinterpret_cast<const PB_BYTE *>(text.data()) + text.size() - 3, 3));
        drain(rfcQuopDecodeStreamFinish(stream));
        rfcQuopDecodeStreamFree(stream);
        EXPECT_TRUE(got == want.bytes) << got.size() << " bytes, want " << want.bytes.size();
        EXPECT_EQ(openDeletedFiles(), 0u);
    }
    if (saved)
        setenv("TMPDIR", saved->c_str(), 1);
    else
        unsetenv("TMPDIR");
    EXPECT_EQ(rmdir(made), 0) << "the file in the directory was deleted";
}

// Text in which the decoder never starts afresh: a line far longer than a
// piece under a line limit larger still (or one it passes), and junk made
// of "=" and white space under the lenient flag. In random pieces, the
// stream hands out its output as it goes, holding back no more than the
// white space at its end, and gives the one-call result.
TEST(QuopStream, DecodeHoldsLittleWhereNothingStartsAfresh)
{
    std::mt19937 random(8);
    const auto build = [&](std::initializer_list<const char *> parts, std::size_t length) {
        const std::vector<std::string> pool(parts.begin(), parts.end());
        std::string text;
        while (text.size() < length)
            text += pool[random() % pool.size()];
        return text;
    };
    const std::string line = build({ "abc", "=3D", "=41", " ", "\t", "x y", "~" }, 600000);
    const std::string lineSmall = build({ "abc", "=3d", "=e9", " ", "xyz" }, 600000);
    const std::string junk = build({ "= ", "=\t", "==", " =", "=  " }, 600000);
    const std::string junkSkipped = build({ "= ", "=\x01", "\xff=", "= \t" }, 600000);
    const PB_INT lenient = RFC_QUOP_FLAG_DECODE_ACCEPT_INVALID_ENCODING;
    const PB_INT skip = RFC_QUOP_FLAG_DECODE_IGNORE_CONTROL | RFC_QUOP_FLAG_DECODE_IGNORE_NON_ASCII;
    const struct {
        const char *rule;
        const std::string &text;
        Settings settings;
        bool refused;
    } rows[] = {
        { "a line under a limit larger than it", line, { LF | CRLF, LF, PB_INT { 1 } << 30, 0 }, false },
        { "a line under a limit larger than it, CR LF", line, { CRLF, CRLF, 700000, RFC_QUOP_FLAG_DECODE_ENSURE_TRAILING_NLF }, false },
        { "a line under a limit, not translated", line, { CRLF, 0, PB_INT { 1 } << 30, 0 }, false },
        { "a line with small digits under a limit", lineSmall, { LF, LF, 600100, RFC_QUOP_FLAG_DECODE_ACCEPT_SMALL_HEX_DIGITS }, false },
        { "a line that passes its limit", line, { LF | CRLF, LF, 450000, 0 }, true },
        { "a line with small digits that passes its limit", lineSmall, { LF, LF, 300001, RFC_QUOP_FLAG_DECODE_ACCEPT_SMALL_HEX_DIGITS }, true },
        { "= and white space", junk, { LF | CRLF, LF, noLimit, lenient }, false },
        { "= and white space, CR LF written", junk, { LF | CRLF, CRLF, noLimit, lenient | RFC_QUOP_FLAG_DECODE_ENSURE_TRAILING_NLF }, false },
        { "= and white space, not translated", junk, { LF | CRLF, 0, noLimit, lenient }, false },
        { "= and white space under a limit", junk, { LF | CRLF, LF, PB_INT { 1 } << 30, lenient }, false },
        { "= and white space that passes a limit", junk, { LF | CRLF, LF, 250000, lenient }, true },
        { "= with white space and skipped bytes", junkSkipped, { LF | CRLF, LF, noLimit, lenient | skip }, false },
    };
    // White space at the end of the output (the pools' runs are short) and
    // the bytes carried.
    constexpr std::size_t heldBack = 16;
    for (const auto &row : rows) {
        for (std::size_t maxPiece : { std::size_t { 7 }, std::size_t { 65536 } }) {
            SCOPED_TRACE(testing::Message() << row.rule << ", pieces up to " << maxPiece);
            pb::Ref<RFC_QUOP_OPTIONS> opt = options(row.settings, true);
            const OneCall want = decodeOneCall(row.text, opt.get());
            EXPECT_EQ(want.refused, row.refused);
            const Drained got = decodeDrained(row.text, opt.get(), pieces(row.text.size(), random, maxPiece));
            expectSameAsOneCall(got, want);
            EXPECT_GE(got.beforeFinish + heldBack, want.bytes.size());
            EXPECT_LE(got.largest, 2 * maxPiece + heldBack);
        }
    }
}

} // namespace
