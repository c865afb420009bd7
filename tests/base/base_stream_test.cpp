// The streaming encoder and decoder against the one-call functions: random
// inputs cut into random pieces (single bytes, small and large pieces), every
// encoding, every flag combination, newlines and line lengths. Decoding
// refusals: the offset is the one-call decoder's, and the bytes handed out
// are those of some text in front of it, decoded as a whole.
#include "base_test_util.h"
#include "support/stream_pieces.h"

#include <random>

using namespace basetest;

namespace {

constexpr PB_INT encodings[] = { B16, B32, B32H, B64, B64U };

using rfctest::pieces;

std::string encodeStreamed(std::string_view bytes, PB_INT encoding, RFC_BASE_OPTIONS *opt,
    const std::vector<std::size_t> &sizes)
{
    RFC_BASE_ENCODE_STREAM *stream = rfcBaseEncodeStreamCreate(encoding, opt);
    std::string text;
    std::size_t at = 0;
    for (std::size_t n : sizes) {
        pb::Ref<PB_BUFFER> out(
            rfcBaseEncodeStreamWrite(stream, reinterpret_cast<const PB_BYTE *>(bytes.data()) + at, PB_INT(n)));
        text += rfctest::bytes(out.get());
        at += n;
    }
    pb::Ref<PB_BUFFER> out(rfcBaseEncodeStreamFinish(stream));
    text += rfctest::bytes(out.get());
    rfcBaseEncodeStreamFree(stream);
    return text;
}

struct Decoded {
    std::string bytes;
    bool refused;
    RFC_BASE_DECODE_REFUSAL refusal;
};

Decoded decodeStreamed(std::string_view text, PB_INT encoding, RFC_BASE_OPTIONS *opt, const std::vector<std::size_t> &sizes)
{
    RFC_BASE_DECODE_STREAM *stream = rfcBaseDecodeStreamCreate(encoding, opt);
    Decoded result { {}, false, { -1, -1 } };
    std::size_t at = 0;
    for (std::size_t n : sizes) {
        pb::Ref<PB_BUFFER> out(
            rfcBaseDecodeStreamWrite(stream, reinterpret_cast<const PB_BYTE *>(text.data()) + at, PB_INT(n)));
        result.bytes += rfctest::bytes(out.get());
        at += n;
    }
    pb::Ref<PB_BUFFER> out(rfcBaseDecodeStreamFinish(stream));
    result.bytes += rfctest::bytes(out.get());
    result.refused = rfcBaseDecodeStreamRefusal(stream, &result.refusal);
    rfcBaseDecodeStreamFree(stream);
    return result;
}

std::optional<std::string> decodeOnce(std::string_view text, PB_INT encoding, RFC_BASE_OPTIONS *opt)
{
    pb::Ref<PB_BUFFER> source(rfctest::buffer(text));
    pb::Ref<PB_BUFFER> bytes(rfcBaseTryDecodeWithOptions(source.get(), encoding, opt));
    if (!bytes)
        return std::nullopt;
    return rfctest::bytes(bytes.get());
}

TEST(BaseStream, EncodeMatchesOneCall)
{
    std::mt19937 random(1);
    const PB_INT nlfs[] = { 0, PB_NLF_FLAG_LF, PB_NLF_FLAG_CRLF };
    const PB_INT lineLengths[] = { -1, 1, 3, 4, 5, 7, 76, PB_INT_MAX };
    for (PB_INT encoding : encodings) {
        for (PB_INT flags : { PB_INT { 0 }, OMIT, TRAIL, OMIT | TRAIL }) {
            for (PB_INT nlf : nlfs) {
                for (PB_INT lineLength : lineLengths) {
                    pb::Ref<RFC_BASE_OPTIONS> opt = options(flags, nlf, lineLength);
                    for (std::size_t length : { 0, 1, 2, 3, 5, 57, 58, 100, 777 }) {
                        std::string bytes = rfctest::randomBytes(length, unsigned(random()));
                        const std::string expected = encode(bytes, encoding, opt.get());
                        for (std::size_t maxPiece : { 1, 4, 64, 1000 }) {
                            SCOPED_TRACE(testing::Message() << "encoding " << encoding << " flags " << flags << " nlf "
                                                            << nlf << " line " << lineLength << " length " << length
                                                            << " pieces up to " << maxPiece);
                            EXPECT_EQ(encodeStreamed(bytes, encoding, opt.get(), pieces(length, random, maxPiece)),
                                expected);
                        }
                    }
                }
            }
        }
    }
}

// Text that exercises the decoder's rules: mostly whole groups of alphabet
// characters, with padding, newlines, white space, other bytes and cut
// groups mixed in at random.
std::string randomText(PB_INT encoding, std::mt19937 &random, std::size_t groups)
{
    pb::Ref<PB_BUFFER> source(rfctest::buffer(rfctest::randomBytes(groups * 5, unsigned(random()))));
    pb::Ref<PB_BUFFER> encoded(rfcBaseEncode(source.get(), encoding));
    std::string text = rfctest::bytes(encoded.get());
    std::string out;
    std::uniform_int_distribution<int> what(0, 99);
    const std::string noise[] = { "=", "==", "\n", "\r\n", " ", "\t", "*", "\xC3", "a", "A", "0", "====" };
    for (char c : text) {
        int w = what(random);
        if (w < 8)
            out += noise[std::size_t(w) % std::size(noise)];
        else if (w < 9)
            continue; // a character dropped: groups no longer line up
        out += c;
    }
    if (what(random) < 30)
        out += noise[std::size_t(what(random)) % std::size(noise)];
    return out;
}

TEST(BaseStream, DecodeMatchesOneCallForEveryFlagCombination)
{
    std::mt19937 random(2);
    std::size_t refusals = 0, acceptances = 0;
    for (PB_INT encoding : encodings) {
        for (PB_INT flags = 0; flags <= ALL; flags += NLF) {
            pb::Ref<RFC_BASE_OPTIONS> opt = options(flags);
            for (int sample = 0; sample < 6; ++sample) {
                std::string text = randomText(encoding, random, std::size_t(sample) * 7);
                const std::optional<std::string> expected = decodeOnce(text, encoding, opt.get());
                RFC_BASE_DECODE_REFUSAL refusal { -1, -1 };
                pb::Ref<PB_BUFFER> once(rfcBaseTryDecodeWithRefusal(rfctest::buffer(text).get(), encoding, opt.get(), &refusal));
                for (std::size_t maxPiece : { 1, 3, 16, 1000 }) {
                    SCOPED_TRACE(testing::Message() << "encoding " << encoding << " flags " << flags << " text \""
                                                    << rfctest::hex(text) << "\" pieces up to " << maxPiece);
                    Decoded got = decodeStreamed(text, encoding, opt.get(), pieces(text.size(), random, maxPiece));
                    if (expected) {
                        ++acceptances;
                        EXPECT_FALSE(got.refused);
                        EXPECT_EQ(got.bytes, *expected);
                    } else {
                        ++refusals;
                        ASSERT_TRUE(got.refused);
                        // The offset is the one-call decoder's; the flags
                        // accept the whole text, and exist exactly when the
                        // one-call decoder finds some.
                        EXPECT_EQ(got.refusal.offset, refusal.offset);
                        EXPECT_EQ(got.refusal.acceptingFlags < 0, refusal.acceptingFlags < 0);
                        if (got.refusal.acceptingFlags >= 0) {
                            pb::Ref<RFC_BASE_OPTIONS> relaxed = options(flags | got.refusal.acceptingFlags);
                            EXPECT_TRUE(decodeOnce(text, encoding, relaxed.get()).has_value());
                        }
                        // What was handed out is some text in front of the
                        // fault, decoded as a whole.
                        std::size_t length = std::size_t(got.refusal.offset);
                        while (decodeOnce(std::string_view(text).substr(0, length), encoding, opt.get()) != got.bytes)
                            ASSERT_GT(length--, 0u);
                    }
                }
            }
        }
    }
    // Both outcomes were exercised.
    EXPECT_GT(refusals, 100u);
    EXPECT_GT(acceptances, 100u);
}

TEST(BaseStream, DecodeHandsOutBytesBeforeTheInputEnds)
{
    // Output comes out while the text is still coming in: after 4,000
    // characters of base64 most of their 3,000 bytes are out.
    pb::Ref<RFC_BASE_OPTIONS> opt = options(NLF);
    RFC_BASE_DECODE_STREAM *stream = rfcBaseDecodeStreamCreate(B64, opt.get());
    std::string text(4000, 'A');
    pb::Ref<PB_BUFFER> out(rfcBaseDecodeStreamWrite(stream, reinterpret_cast<const PB_BYTE *>(text.data()), 4000));
    EXPECT_EQ(pbBufferLength(out.get()), 3000);
    rfcBaseDecodeStreamFree(stream); // unfinished: frees what it holds
}

// Long runs inside an open group, where the stream has no cut and compacts
// what it holds: answers and offsets stay those of the one-call decoder.
TEST(BaseStream, LongRunsInsideAGroup)
{
    std::mt19937 random(5);
    const std::string run(600000, ' ');
    const std::string pads(600000, '=');
    const std::string zeros(600000, '\0');
    const struct {
        const char *rule;
        std::string text;
        PB_INT flags;
    } rows[] = {
        { "spaces inside a group, skipped", "Zm9vY" + run + "mFy", WS },
        { "spaces inside a group, refused", "Zm9vY" + run + "mFy", 0 },
        { "spaces inside a group, then a fault", "Zm9vY" + run + "m!Fy", WS },
        { "NULs inside a group, skipped", "Zg" + zeros + "==", NON_ALPHABET },
        { "NULs inside a group, refused", "Zg" + zeros + "==", NLF },
        { "padding run", "Zg" + pads, 0 },
        { "padding run, accepted", "Zg" + pads, INVALID_PADDING },
        { "padding run, then data", "Zg" + pads + "Zg==", IGNORE_PADDING },
        { "padding run, then data, every flag", "Zg" + pads + "Zg=" + run + "=", ALL },
        { "padding and spaces", "Zm9v" + pads + run + "Zg==", WS | IGNORE_PADDING },
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.rule);
        pb::Ref<RFC_BASE_OPTIONS> opt = options(row.flags);
        const std::optional<std::string> expected = decodeOnce(row.text, B64, opt.get());
        RFC_BASE_DECODE_REFUSAL refusal { -1, -1 };
        pb::Ref<PB_BUFFER> once(rfcBaseTryDecodeWithRefusal(rfctest::buffer(row.text).get(), B64, opt.get(), &refusal));
        for (std::size_t maxPiece : { 1000, 4096, 100000 }) {
            Decoded got = decodeStreamed(row.text, B64, opt.get(), pieces(row.text.size(), random, maxPiece));
            ASSERT_EQ(got.refused, !expected);
            if (expected) {
                EXPECT_EQ(got.bytes, *expected);
            } else {
                EXPECT_EQ(got.refusal.offset, refusal.offset);
                EXPECT_EQ(got.refusal.acceptingFlags < 0, refusal.acceptingFlags < 0);
                if (got.refusal.acceptingFlags >= 0) {
                    pb::Ref<RFC_BASE_OPTIONS> relaxed = options(row.flags | got.refusal.acceptingFlags);
                    EXPECT_TRUE(decodeOnce(row.text, B64, relaxed.get()).has_value());
                }
            }
        }
    }
}

TEST(BaseStream, SkippedBytesDoNotAccumulate)
{
    // With every byte outside the alphabet skipped, a long run of them is
    // passed on, not kept: the stream's pending text stays small, which the
    // output of a group written after them shows only at the end.
    pb::Ref<RFC_BASE_OPTIONS> opt = options(NON_ALPHABET | NLF | WS);
    RFC_BASE_DECODE_STREAM *stream = rfcBaseDecodeStreamCreate(B64, opt.get());
    std::string zeros(1 << 16, '\0');
    for (int i = 0; i < 16; ++i) {
        pb::Ref<PB_BUFFER> out(
            rfcBaseDecodeStreamWrite(stream, reinterpret_cast<const PB_BYTE *>(zeros.data()), PB_INT(zeros.size())));
        EXPECT_EQ(pbBufferLength(out.get()), 0);
    }
    pb::Ref<PB_BUFFER> out(rfcBaseDecodeStreamWrite(stream, reinterpret_cast<const PB_BYTE *>("Zm9v"), 4));
    EXPECT_EQ(rfctest::bytes(out.get()), "foo");
    pb::Ref<PB_BUFFER> rest(rfcBaseDecodeStreamFinish(stream));
    RFC_BASE_DECODE_REFUSAL refusal {};
    EXPECT_FALSE(rfcBaseDecodeStreamRefusal(stream, &refusal));
    rfcBaseDecodeStreamFree(stream);
}

} // namespace
