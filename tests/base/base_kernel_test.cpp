// Every vector kernel against the scalar code, byte for byte: encoding of
// all five encodings at lengths 0 to 300 and large, in every newline kind
// and a range of line lengths; decoding of valid, wrapped, damaged and
// hostile text under every combination of the decoding flags, with the
// refusal offsets. The scalar code ("portable") is the reference; each
// case runs on it first and then on each kernel this CPU offers.
#include "base_test_util.h"

#include <rfc/base/rfc_base_kernel.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <random>
#include <vector>

namespace {

using namespace basetest;
using std::string;

// Every kernel name the library may hold; those this CPU cannot run are
// skipped.
const char *const vectorKernels[] = { "avx512", "avx2" };

// Puts back the kernel in use when a test ends.
class KernelGuard {
public:
    KernelGuard() : name_(rfc___BaseKernelName()) {}
    ~KernelGuard() { rfc___BaseKernelSelect(name_.c_str()); }

private:
    string name_;
};

// The vector kernels this CPU runs.
std::vector<string> availableKernels()
{
    KernelGuard guard;
    std::vector<string> names;
    for (const char *name : vectorKernels) {
        if (rfc___BaseKernelSelect(name))
            names.push_back(name);
    }
    return names;
}

// Runs work on the scalar code, then on each vector kernel, and expects
// the same answer from all.
template <class Result>
void sameOnEveryKernel(const std::function<Result()> &work, const std::string &what)
{
    static const std::vector<string> kernels = availableKernels();
    KernelGuard guard;
    ASSERT_TRUE(rfc___BaseKernelSelect("portable"));
    Result reference = work();
    for (const string &name : kernels) {
        ASSERT_TRUE(rfc___BaseKernelSelect(name.c_str()));
        Result result = work();
        ASSERT_EQ(result, reference) << name << ": " << what;
    }
}

struct EncodeLayout {
    PB_INT flags;
    PB_INT nlf;
    PB_INT lineLength;
};

// Every newline kind, line lengths below, at and above a vector block and
// the longest that the kernels write a line at a time, on and off a group,
// with and without padding and a trailing newline.
std::vector<EncodeLayout> encodeLayouts()
{
    std::vector<EncodeLayout> layouts = { { 0, PB_NLF_FLAG_CRLF, -1 }, { OMIT, 0, 76 }, { TRAIL, 0, -1 } };
    const PB_INT nlfs[] = { PB_NLF_FLAG_LF, PB_NLF_FLAG_CR, PB_NLF_FLAG_CRLF, PB_NLF_FLAG_VT, PB_NLF_FLAG_FF };
    const PB_INT lineLengths[] = { 1, 2, 3, 5, 8, 19, 63, 64, 65, 76, 127, 200, 701, 2047, 2049 };
    PB_INT flags = 0;
    for (PB_INT nlf : nlfs) {
        for (PB_INT lineLength : lineLengths) {
            layouts.push_back({ flags, nlf, lineLength });
            flags = (flags + 1) % 4; // OMIT and TRAIL in turn
        }
    }
    return layouts;
}

string encodeWith(const string &data, PB_INT encoding, const EncodeLayout &layout)
{
    pb::Ref<PB_BUFFER> source(rfctest::buffer(data));
    pb::Ref<RFC_BASE_OPTIONS> opt = options(layout.flags, layout.nlf, layout.lineLength);
    pb::Ref<PB_BUFFER> text(rfcBaseEncodeWithOptions(source.get(), encoding, opt.get()));
    return rfctest::bytes(text.get());
}

// Unwrapped text cut into lines of lineLength characters joined by the
// newline (CR LF, LF or CR), none after the last: the independent form of
// what a wrapped encoding must give.
string cutIntoLines(const string &plain, PB_INT lineLength, PB_INT nlf)
{
    const string newline = nlf == PB_NLF_FLAG_CRLF ? "\r\n" : nlf == PB_NLF_FLAG_LF ? "\n" : "\r";
    const auto length = static_cast<std::size_t>(lineLength);
    string lines;
    for (std::size_t at = 0; at < plain.size(); at += length)
        lines += (at == 0 ? "" : newline) + plain.substr(at, length);
    return lines;
}

TEST(BaseKernel, EncodeEveryLengthTo300)
{
    const auto layouts = encodeLayouts();
    for (PB_INT encoding = 0; encoding <= 4; ++encoding) {
        for (std::size_t size = 0; size <= 300; ++size) {
            string data = rfctest::randomBytes(size, static_cast<unsigned>(size + 100 * encoding));
            // Plain text at every length, and each layout at a length of
            // its own so that all meet every alignment.
            const EncodeLayout plain { 0, 0, -1 };
            const EncodeLayout &layout = layouts[size % layouts.size()];
            for (const EncodeLayout &l : { plain, layout }) {
                sameOnEveryKernel<string>([&] { return encodeWith(data, encoding, l); },
                    "encoding " + std::to_string(encoding) + " size " + std::to_string(size) + " nlf "
                        + std::to_string(l.nlf) + " line " + std::to_string(l.lineLength));
            }
        }
    }
}

TEST(BaseKernel, EncodeEveryLayoutAtBlockEdgesAndLarge)
{
    const auto layouts = encodeLayouts();
    for (PB_INT encoding = 0; encoding <= 4; ++encoding) {
        for (std::size_t size : { 0, 1, 31, 32, 33, 39, 40, 41, 47, 48, 49, 95, 96, 97, 1000, 70001 }) {
            string data = rfctest::randomBytes(size, static_cast<unsigned>(size));
            for (const EncodeLayout &layout : layouts) {
                sameOnEveryKernel<string>([&] { return encodeWith(data, encoding, layout); },
                    "encoding " + std::to_string(encoding) + " size " + std::to_string(size) + " nlf "
                        + std::to_string(layout.nlf) + " line " + std::to_string(layout.lineLength));
            }
        }
    }
}

// Wrapped encoding whose lines end in half a vector step or less (16
// characters), which the kernels encode two lines at a time, their rests
// in one step: line lengths with rests at and around that half and with
// no whole step at all, at line counts odd and even and with a short last
// line, in each newline kind. Beside the kernels agreeing, the text must be
// the plain text cut into lines of the asked length.
TEST(BaseKernel, EncodeLinesWhoseRestsShareAStep)
{
    struct Row {
        PB_INT encoding;
        PB_INT lineLength;
        const char *why;
    };
    const Row rows[] = {
        { B64, 76, "the MIME line: two steps and a rest of 12" },
        { B64U, 76, "the same in the URL alphabet" },
        { B64, 4, "a rest of one group, no whole step" },
        { B64, 16, "a rest of exactly half a step" },
        { B64, 20, "a rest beyond half a step: one line at a time" },
        { B64, 36, "one step and a rest of one group" },
        { B64, 48, "one step and a rest of half a step" },
        { B64, 52, "one step and a rest beyond half" },
        { B64, 64, "no rest" },
        { B64, 108, "three steps and a rest of 12" },
        { B32, 8, "a rest of one group, no whole step" },
        { B32, 16, "a rest of exactly half a step" },
        { B32, 24, "a rest beyond half a step" },
        { B32H, 40, "one step and a rest of one group" },
        { B32, 48, "one step and a rest of half a step" },
        { B32, 72, "two steps and a rest of one group" },
        { B16, 12, "base16 has no pairing: lines one at a time" },
        { B16, 76, "the same at the MIME length" },
    };
    const PB_INT nlfs[] = { PB_NLF_FLAG_CRLF, PB_NLF_FLAG_LF, PB_NLF_FLAG_CR };
    for (const Row &row : rows) {
        const std::size_t charsPerGroup = row.encoding == B16 ? 2 : row.encoding == B64 || row.encoding == B64U ? 4 : 8;
        const std::size_t bytesPerGroup = row.encoding == B16 ? 1 : row.encoding == B64 || row.encoding == B64U ? 3 : 5;
        const std::size_t lineBytes = static_cast<std::size_t>(row.lineLength) / charsPerGroup * bytesPerGroup;
        for (std::size_t lines = 1; lines <= 7; ++lines) {
            for (std::size_t extra : { std::size_t { 0 }, std::size_t { 1 }, bytesPerGroup, lineBytes - 1 }) {
                std::size_t size = lines * lineBytes + extra;
                string data = rfctest::randomBytes(size, static_cast<unsigned>(size * 5 + lines));
                string plain = encodeWith(data, row.encoding, { 0, 0, -1 });
                for (PB_INT nlf : nlfs) {
                    const EncodeLayout layout { 0, nlf, row.lineLength };
                    string what = string(row.why) + ": encoding " + std::to_string(row.encoding) + " line "
                        + std::to_string(row.lineLength) + " size " + std::to_string(size) + " nlf " + std::to_string(nlf);
                    sameOnEveryKernel<string>([&] { return encodeWith(data, row.encoding, layout); }, what);
                    ASSERT_EQ(encodeWith(data, row.encoding, layout), cutIntoLines(plain, row.lineLength, nlf)) << what;
                }
            }
        }
    }
}

// Lines shorter than a vector block at every length, of whole groups or
// not. The kernels write them a line at a time from chunks of flat text,
// or (AVX-512, lines below 24 characters) 64 output bytes at a time with
// the breaks placed by the window's phase in the period of a line and its
// newline: sizes below and at the length that takes those paths, across
// their refills of the characters and at a group's remainder, in each
// newline kind (a window may end inside CR LF). Beside the kernels
// agreeing, the text must be the plain text cut into lines.
TEST(BaseKernel, EncodeShortLinesOfEveryLength)
{
    const PB_INT nlfs[] = { PB_NLF_FLAG_CRLF, PB_NLF_FLAG_LF, PB_NLF_FLAG_CR };
    for (PB_INT encoding = 0; encoding <= 4; ++encoding) {
        string data = rfctest::randomBytes(5003, static_cast<unsigned>(encoding + 7));
        for (std::size_t size : { 255, 256, 257, 770, 5003 }) {
            string bytes = data.substr(0, size);
            string plain = encodeWith(bytes, encoding, { 0, 0, -1 });
            for (PB_INT lineLength = 1; lineLength < 64; ++lineLength) {
                const PB_INT nlf = nlfs[static_cast<std::size_t>(lineLength + encoding) % 3];
                const EncodeLayout layout { 0, nlf, lineLength };
                string what = "encoding " + std::to_string(encoding) + " line " + std::to_string(lineLength) + " size "
                    + std::to_string(size) + " nlf " + std::to_string(nlf);
                sameOnEveryKernel<string>([&] { return encodeWith(bytes, encoding, layout); }, what);
                ASSERT_EQ(encodeWith(bytes, encoding, layout), cutIntoLines(plain, lineLength, nlf)) << what;
            }
        }
    }
}

// A decoding's answer: the bytes or none, and the refusal offset.
struct Answer {
    std::optional<string> bytes;
    PB_INT offset;
    bool operator==(const Answer &) const = default;
};

std::ostream &operator<<(std::ostream &os, const Answer &a)
{
    return os << (a.bytes ? "bytes " + rfctest::hex(*a.bytes) : string("null")) << " offset " << a.offset;
}

// Decodes under flags. The refusal offset is asked for only when
// withOffset: finding the accepting flags decodes again many times.
Answer decodeWith(const string &text, PB_INT encoding, PB_INT flags, bool withOffset)
{
    pb::Ref<PB_BUFFER> source(rfctest::buffer(text));
    pb::Ref<RFC_BASE_OPTIONS> opt = options(flags);
    RFC_BASE_DECODE_REFUSAL refusal { -1, -1 };
    pb::Ref<PB_BUFFER> result(
        rfcBaseTryDecodeWithRefusal(source.get(), encoding, opt.get(), withOffset ? &refusal : nullptr));
    return { result ? std::optional<string>(rfctest::bytes(result.get())) : std::nullopt, refusal.offset };
}

// Every decoding flag combination on text, and the offsets under a few.
void decodeOnEveryKernel(const string &text, PB_INT encoding, const string &what)
{
    for (PB_INT flags = 0; flags <= ALL; flags += NLF) {
        bool withOffset = flags == 0 || flags == NLF || flags == (NLF | WS) || flags == (ALL & ~NON_ALPHABET);
        sameOnEveryKernel<Answer>([&] { return decodeWith(text, encoding, flags, withOffset); },
            what + " flags " + std::to_string(flags));
        if (testing::Test::HasFatalFailure())
            return;
    }
}

TEST(BaseKernel, DecodeValidAndWrappedText)
{
    const EncodeLayout wraps[] = { { 0, PB_NLF_FLAG_CRLF, 76 }, { TRAIL, PB_NLF_FLAG_LF, 64 },
        { OMIT, PB_NLF_FLAG_CR, 5 }, { 0, PB_NLF_FLAG_VT, 63 }, { TRAIL, PB_NLF_FLAG_FF, 1 } };
    for (PB_INT encoding = 0; encoding <= 4; ++encoding) {
        for (std::size_t size : { 0, 1, 2, 5, 32, 47, 48, 49, 100, 200, 300 }) {
            string data = rfctest::randomBytes(size, static_cast<unsigned>(size * 3 + 1));
            string what = "encoding " + std::to_string(encoding) + " size " + std::to_string(size);
            decodeOnEveryKernel(encodeWith(data, encoding, { 0, 0, -1 }), encoding, what);
            const EncodeLayout &wrap = wraps[size % 5];
            decodeOnEveryKernel(encodeWith(data, encoding, wrap), encoding, what + " wrapped");
        }
    }
}

// Every text length from 0 to 300 bytes of data, so that each kernel's
// steps (32 characters on one path, 64 on another) end at every offset of
// a group and of a step: plain, wrapped with each newline kind in turn,
// and with a stray byte (one each of padding, a newline, white space and
// another byte) one character before the end of the last whole step.
TEST(BaseKernel, DecodeEveryLengthTo300)
{
    const EncodeLayout wraps[] = { { 0, PB_NLF_FLAG_CRLF, 76 }, { 0, PB_NLF_FLAG_LF, 32 }, { 0, PB_NLF_FLAG_CR, 40 },
        { 0, PB_NLF_FLAG_VT, 64 }, { 0, PB_NLF_FLAG_FF, 33 } };
    const char strays[] = { '=', '\n', ' ', '.' };
    for (PB_INT encoding = 0; encoding <= 4; ++encoding) {
        for (std::size_t size = 0; size <= 300; ++size) {
            string data = rfctest::randomBytes(size, static_cast<unsigned>(size * 7 + encoding));
            string what = "encoding " + std::to_string(encoding) + " size " + std::to_string(size);
            string plain = encodeWith(data, encoding, { 0, 0, -1 });
            string wrapped = encodeWith(data, encoding, wraps[size % 5]);
            string broken = plain;
            if (plain.size() >= 33)
                broken.insert(plain.size() / 32 * 32 - 1, 1, strays[size % 4]);
            for (PB_INT flags : { PB_INT { 0 }, NLF | WS, ALL }) {
                sameOnEveryKernel<Answer>([&] { return decodeWith(plain, encoding, flags, false); }, what);
                sameOnEveryKernel<Answer>([&] { return decodeWith(wrapped, encoding, flags, false); }, what + " wrapped");
                sameOnEveryKernel<Answer>([&] { return decodeWith(broken, encoding, flags, flags == 0); }, what + " broken");
            }
            ASSERT_EQ(decodeWith(wrapped, encoding, NLF, false).bytes, data) << what << " round trip";
        }
    }
}

TEST(BaseKernel, DecodeLargeWrappedText)
{
    string data = rfctest::randomBytes(100000, 3);
    for (PB_INT encoding = 0; encoding <= 4; ++encoding) {
        string text = encodeWith(data, encoding, { 0, PB_NLF_FLAG_CRLF, 76 });
        for (PB_INT flags : { PB_INT { 0 }, NLF, NLF | WS, NON_ALPHABET, ALL }) {
            sameOnEveryKernel<Answer>([&] { return decodeWith(text, encoding, flags, true); },
                "large, encoding " + std::to_string(encoding) + " flags " + std::to_string(flags));
        }
        EXPECT_EQ(decodeWith(text, encoding, NLF, false).bytes, data) << "round trip";
    }
}

// One stray byte at each position of the first two vector blocks and
// around the end of a text: every class of byte a kernel must stop at or
// skip, including base16's bytes above 0x7F that the runtime classifies.
TEST(BaseKernel, DecodeABadByteAtEachPositionOfABlock)
{
    const string strays[] = { "=", ".", "\n", "\r\n", " ", "\t", "\x80", "\x85", "\xa0", "\xff", "a", "-", "+", "_",
        string(1, '\0') };
    string data = rfctest::randomBytes(120, 9);
    for (PB_INT encoding = 0; encoding <= 4; ++encoding) {
        string text = encodeWith(data, encoding, { 0, 0, -1 });
        for (const string &stray : strays) {
            for (std::size_t at = 0; at <= text.size(); at += at < 130 ? 1 : 7) {
                string broken = text.substr(0, at) + stray + text.substr(at);
                sameOnEveryKernel<Answer>([&] { return decodeWith(broken, encoding, 0, true); }, "strict");
                for (PB_INT flags : { NLF, WS, NON_ALPHABET, NLF | WS | NON_ALPHABET, IGNORE_PADDING }) {
                    sameOnEveryKernel<Answer>([&] { return decodeWith(broken, encoding, flags, false); },
                        "encoding " + std::to_string(encoding) + " stray " + rfctest::hex(stray) + " at "
                            + std::to_string(at) + " flags " + std::to_string(flags));
                }
            }
        }
    }
}

// Regularly wrapped text, which the kernels decode line layout first:
// every newline kind and line lengths at and around a vector block (32
// characters on one path, 64 on another) and near the longest layout they
// learn, with one fault at each position of
// the first blocks (a stray byte put in, a byte taken out, a byte
// replaced), so that each check of the layout and of the characters meets
// a fault at every offset of a block.
TEST(BaseKernel, DecodeRegularLinesWithAFaultAtEachPosition)
{
    struct Wrap {
        PB_INT nlf;
        PB_INT lineLength;
    };
    const Wrap wraps[] = { { PB_NLF_FLAG_CRLF, 76 }, { PB_NLF_FLAG_LF, 64 }, { PB_NLF_FLAG_CR, 65 },
        { PB_NLF_FLAG_CRLF, 256 }, { PB_NLF_FLAG_CRLF, 32 }, { PB_NLF_FLAG_VT, 40 } };
    // Each fault: the bytes put in at the position and how many are taken
    // out there.
    const std::pair<string, std::size_t> faults[] = { { "", 1 }, { "=", 0 }, { "\n", 0 }, { "\x80", 0 }, { ".", 1 },
        { "\r\n", 2 } };
    string data = rfctest::randomBytes(1200, 31);
    for (PB_INT encoding : { B64, B32, B16 }) {
        for (const Wrap &wrap : wraps) {
            string text = encodeWith(data, encoding, { 0, wrap.nlf, wrap.lineLength });
            string what = "encoding " + std::to_string(encoding) + " line " + std::to_string(wrap.lineLength) + " nlf "
                + std::to_string(wrap.nlf);
            ASSERT_EQ(decodeWith(text, encoding, NLF, false).bytes, data) << what;
            // Past the first line breaks, where the layout is learnt, over
            // more than a block; base64 at every position, the others at
            // every third.
            for (std::size_t at = 60; at < 200 && at < text.size(); at += encoding == B64 ? 1 : 3) {
                for (const auto &[stray, cut] : faults) {
                    string broken = text.substr(0, at) + stray + text.substr(at + cut);
                    for (PB_INT flags : { NLF, NLF | WS }) {
                        sameOnEveryKernel<Answer>([&] { return decodeWith(broken, encoding, flags, true); },
                            what + " fault at " + std::to_string(at) + " flags " + std::to_string(flags));
                        if (testing::Test::HasFatalFailure())
                            return;
                    }
                }
            }
        }
    }
}

// base64 in lines of 76 (MIME) and 64 (PEM) characters, which one path
// decodes in fixed steps of whole periods of lines (19 blocks from a
// line's start for 76, 16 for 64) after decoding the rest of the line it
// starts in: text starting at each offset of a line, ending at each
// offset around a step, and one fault at each position of the first two
// steps (a break missing, moved or doubled, a byte taken out, a byte put
// in or replaced), so that each block's break check and character check
// meet a fault at every offset. Lines of 72 and 77 characters, which take
// the column-driven path, show that the two agree.
TEST(BaseKernel, DecodeFixedLayoutStepsWithAFaultAtEachPosition)
{
    struct Wrap {
        PB_INT encoding;
        PB_INT nlf;
        PB_INT lineLength;
        std::size_t step; // text bytes of one step of the fixed path, 0 when it has none
    };
    const Wrap wraps[] = { { B64, PB_NLF_FLAG_CRLF, 76, 19 * 64 + 16 * 2 }, { B64U, PB_NLF_FLAG_LF, 76, 19 * 64 + 16 },
        { B64, PB_NLF_FLAG_CR, 76, 19 * 64 + 16 }, { B64, PB_NLF_FLAG_CRLF, 64, 16 * 66 },
        { B64U, PB_NLF_FLAG_LF, 64, 16 * 65 }, { B64, PB_NLF_FLAG_CRLF, 72, 0 }, { B64, PB_NLF_FLAG_LF, 77, 0 } };
    const std::pair<string, std::size_t> faults[] = { { "", 1 }, { "", 2 }, { "\r\n", 0 }, { "\n", 0 }, { "=", 0 },
        { ".", 1 }, { " ", 0 }, { "\x80", 1 } };
    string data = rfctest::randomBytes(2400, 33);
    for (const Wrap &wrap : wraps) {
        const string text = encodeWith(data, wrap.encoding, { 0, wrap.nlf, wrap.lineLength });
        const string what = "encoding " + std::to_string(wrap.encoding) + " line " + std::to_string(wrap.lineLength)
            + " nlf " + std::to_string(wrap.nlf);
        ASSERT_EQ(decodeWith(text, wrap.encoding, NLF, false).bytes, data) << what;
        const std::size_t span = wrap.step != 0 ? wrap.step : 1300;
        const std::size_t lineBytes = text.find_first_of("\r\n") + (wrap.nlf == PB_NLF_FLAG_CRLF ? 2 : 1);
        // Every start within the first line (a group boundary or not), and
        // every end around the first two steps.
        for (std::size_t from = 0; from <= lineBytes; ++from) {
            sameOnEveryKernel<Answer>([&] { return decodeWith(text.substr(from), wrap.encoding, NLF, true); },
                what + " from " + std::to_string(from));
        }
        for (std::size_t cut = span - 80; cut <= 2 * span + 80 && cut <= text.size(); ++cut) {
            sameOnEveryKernel<Answer>([&] { return decodeWith(text.substr(0, cut), wrap.encoding, NLF, true); },
                what + " cut at " + std::to_string(cut));
        }
        if (wrap.lineLength % 4 == 0) {
            ASSERT_EQ(decodeWith(text.substr(lineBytes), wrap.encoding, NLF, false).bytes,
                data.substr(static_cast<std::size_t>(wrap.lineLength) / 4 * 3))
                << what << " from the second line";
        }
        if (testing::Test::HasFatalFailure())
            return;
        // Every position of the first step and into the second on the
        // fixed path, every fifth beyond and on the other path; the refusal
        // offset at every seventh, white space also skipped for the stray
        // space.
        for (std::size_t at = 0; at < 2 * span + 70 && at < text.size();
             at += wrap.step != 0 && at < span + 140 ? 1 : 5) {
            for (const auto &[stray, cut] : faults) {
                string broken = text.substr(0, at) + stray + text.substr(at + cut);
                PB_INT flags = stray == " " ? NLF | WS : NLF;
                sameOnEveryKernel<Answer>([&] { return decodeWith(broken, wrap.encoding, flags, at % 7 == 0); },
                    what + " fault " + rfctest::hex(stray) + " cut " + std::to_string(cut) + " at " + std::to_string(at)
                        + " flags " + std::to_string(flags));
                if (testing::Test::HasFatalFailure())
                    return;
            }
        }
    }
}

// Wrapped text whose layout changes: starting inside a line, lines of one
// length followed by lines of another, and a last line of each length.
TEST(BaseKernel, DecodeLinesWhoseLayoutChanges)
{
    string data = rfctest::randomBytes(900, 32);
    for (PB_INT encoding : { B64, B32, B16 }) {
        string first = encodeWith(data.substr(0, 600), encoding, { OMIT, PB_NLF_FLAG_CRLF, 76 });
        string second = encodeWith(data.substr(600), encoding, { 0, PB_NLF_FLAG_LF, 64 });
        string joined = first + "\r\n" + second;
        for (std::size_t from = 0; from < 160; from += 3) {
            sameOnEveryKernel<Answer>([&] { return decodeWith(joined.substr(from), encoding, NLF, true); },
                "encoding " + std::to_string(encoding) + " from " + std::to_string(from));
        }
        for (std::size_t cut = joined.size() - 200; cut <= joined.size(); cut += 3) {
            sameOnEveryKernel<Answer>([&] { return decodeWith(joined.substr(0, cut), encoding, NLF | WS, true); },
                "encoding " + std::to_string(encoding) + " cut at " + std::to_string(cut));
        }
    }
}

// Padding in the middle, surplus bits in the last character and text cut
// at each length, under every flag combination.
TEST(BaseKernel, DecodeDamagedText)
{
    string data = rfctest::randomBytes(100, 21);
    for (PB_INT encoding = 0; encoding <= 4; ++encoding) {
        string text = encodeWith(data, encoding, { 0, 0, -1 });
        string padded = encodeWith(data.substr(0, 50), encoding, { 0, 0, -1 });
        // Two padded texts joined, padding inside a block.
        decodeOnEveryKernel(encodeWith(data.substr(0, 31), encoding, { 0, 0, -1 }) + padded, encoding, "joined");
        decodeOnEveryKernel(padded + "====" + padded, encoding, "padding run inside");
        // Surplus bits: the last data character raised by one.
        string surplus = encodeWith(data.substr(0, 70), encoding, { 0, 0, -1 });
        std::size_t last = surplus.find_last_not_of('=');
        surplus[last] = static_cast<char>(surplus[last] + 1);
        decodeOnEveryKernel(surplus, encoding, "surplus bits");
        for (std::size_t cut = 60; cut <= text.size(); cut += 3)
            decodeOnEveryKernel(text.substr(0, cut), encoding, "cut at " + std::to_string(cut));
    }
}

// Hostile text: mostly alphabet characters with newlines, white space,
// padding, other and high bytes strewn in, at random lengths.
TEST(BaseKernel, DecodeHostileText)
{
    std::mt19937 random(77);
    const string others = "=\r\n\t \v\f.-_+/a\x80\x85\xa0\xff";
    for (PB_INT encoding = 0; encoding <= 4; ++encoding) {
        string alphabet = encodeWith(rfctest::randomBytes(300, 5), encoding, { 0, 0, -1 });
        alphabet = alphabet.substr(0, alphabet.find('=')); // base16 has none
        for (int round = 0; round < 40; ++round) {
            std::size_t size = random() % 300;
            unsigned rate = 1 + random() % 60; // one in rate bytes is another byte
            string text;
            for (std::size_t i = 0; i < size; ++i)
                text += random() % rate == 0 ? others[random() % others.size()] : alphabet[random() % alphabet.size()];
            decodeOnEveryKernel(text, encoding, "hostile round " + std::to_string(round));
        }
    }
}

// Sparse text: data characters far apart in runs of newlines and white
// space, so that whole vector blocks hold one data character or none.
TEST(BaseKernel, DecodeSparseText)
{
    std::mt19937 random(78);
    const string skipped = "\r\n\t \v\f";
    for (PB_INT encoding = 0; encoding <= 4; ++encoding) {
        string text = encodeWith(rfctest::randomBytes(20, 6), encoding, { 0, 0, -1 });
        for (int round = 0; round < 6; ++round) {
            string sparse;
            for (char c : text) {
                sparse += c;
                sparse.append(random() % 150, skipped[random() % skipped.size()]);
            }
            for (PB_INT flags : { NLF | WS, NLF | WS | NON_ALPHABET, ALL }) {
                sameOnEveryKernel<Answer>([&] { return decodeWith(sparse, encoding, flags, false); },
                    "sparse, encoding " + std::to_string(encoding) + " flags " + std::to_string(flags));
            }
            EXPECT_NE(decodeWith(sparse, encoding, NLF | WS, false).bytes, std::nullopt);
        }
    }
}

// RFC_BASE_IMPL, when set to a kernel this CPU runs, is the kernel the
// process starts with (the test entries run the whole suite once per path).
TEST(BaseKernel, TheEnvironmentChoosesTheKernel)
{
    const char *forced = std::getenv("RFC_BASE_IMPL");
    if (!forced)
        GTEST_SKIP() << "RFC_BASE_IMPL not set";
    KernelGuard guard;
    string started = rfc___BaseKernelName();
    if (rfc___BaseKernelSelect(forced))
        EXPECT_EQ(started, forced);
    else
        EXPECT_NE(started, forced) << "a kernel this CPU cannot run is never chosen";
}

} // namespace
