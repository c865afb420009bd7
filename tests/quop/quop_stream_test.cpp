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

#include <random>

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

// Long runs of white space, which the decoder holds as a summary until what
// follows decides them: dropped in front of a line break or at the end, data
// otherwise, refused with the byte after them. Fed in pieces and drained by
// writes of nothing, as the tool does: the output is the one-call output (or,
// refused, a prefix of what the text before the refusal gives, at the
// one-call offset), and no single call hands out more than a portion.
TEST(QuopStream, DecodeLongRunsOfWhiteSpace)
{
    std::mt19937 random(7);
    const std::string spaces(300000, ' ');
    std::string mixed;
    while (mixed.size() < 300000)
        mixed += random() % 3 ? " " : "\t";
    const std::string skipped = " \x01 \t\xff ";
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
    };
    const Settings settings[] = {
        { LF | CRLF, LF, noLimit, 0 },
        { LF | CRLF, CRLF, noLimit, RFC_QUOP_FLAG_DECODE_ENSURE_TRAILING_NLF },
        { LF | CRLF, LF, noLimit, RFC_QUOP_FLAG_DECODE_ACCEPT_INVALID_ENCODING | RFC_QUOP_FLAG_DECODE_IGNORE_CONTROL | RFC_QUOP_FLAG_DECODE_IGNORE_NON_ASCII },
        { CRLF, LF, noLimit, RFC_QUOP_FLAG_DECODE_IGNORE_CONTROL | RFC_QUOP_FLAG_DECODE_IGNORE_NON_ASCII },
    };
    constexpr std::size_t portion = std::size_t { 1 } << 20;
    constexpr std::size_t maxPiece = 65536;
    for (const auto &row : rows) {
        for (const Settings &set : settings) {
            SCOPED_TRACE(testing::Message() << row.rule << ", flags " << set.flags << ", output " << set.outputNlf);
            pb::Ref<RFC_QUOP_OPTIONS> opt = options(set, true);
            RFC_QUOP_DECODE_REFUSAL refusal { -1, -1 };
            const std::optional<std::string> expected =
                take(rfcQuopTryDecodeWithRefusal(rfctest::buffer(row.text).get(), opt.get(), &refusal));
            RFC_QUOP_DECODE_STREAM *stream = rfcQuopDecodeStreamCreate(opt.get());
            std::string got;
            std::size_t largest = 0;
            auto collect = [&](PB_BUFFER *buffer) {
                pb::Ref<PB_BUFFER> out(buffer);
                largest = std::max(largest, std::size_t(pbBufferLength(out.get())));
                got += rfctest::bytes(out.get());
                return pbBufferLength(out.get()) > 0;
            };
            std::size_t at = 0;
            for (std::size_t n : pieces(row.text.size(), random, maxPiece)) {
                if (collect(rfcQuopDecodeStreamWrite(stream, reinterpret_cast<const PB_BYTE *>(row.text.data()) + at, PB_INT(n))))
                    while (collect(rfcQuopDecodeStreamWrite(stream, nullptr, 0))) {
                    }
                at += n;
            }
            EXPECT_LE(largest, portion + 2 * maxPiece);
            collect(rfcQuopDecodeStreamFinish(stream));
            RFC_QUOP_DECODE_REFUSAL streamed { -1, -1 };
            const bool refused = rfcQuopDecodeStreamRefusal(stream, &streamed);
            rfcQuopDecodeStreamFree(stream);
            ASSERT_EQ(refused, !expected);
            if (expected) {
                EXPECT_TRUE(got == *expected);
            } else {
                EXPECT_EQ(streamed.kind, refusal.kind);
                EXPECT_EQ(streamed.offset, refusal.offset);
                const std::optional<std::string> before = take(rfcQuopTryDecodeWithOptions(
                    rfctest::buffer(row.text.substr(0, std::size_t(refusal.offset))).get(), opt.get()));
                ASSERT_TRUE(before);
                EXPECT_EQ(before->compare(0, got.size(), got), 0);
            }
        }
    }
}

} // namespace
