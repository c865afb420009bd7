// Refusal reasons of the quoted-printable decoder: one row per way to refuse
// input, with the expected kind and offset; the plain decoder refuses the
// same inputs. An over-long line is refused where it passes the limit,
// before the rest of it is copied: counted in the pages the output touches.
#include "quop_test_util.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

using namespace quoptest;

namespace {

struct RefusalRow {
    const char *rule;
    std::string input;
    PB_INT maxLine;
    PB_INT flags;
    PB_INT kind;
    PB_INT offset;
};

const RefusalRow refusalRows[] = {
    { "control byte", "ab\x01" "c", noLimit, 0, RFC_QUOP_DECODE_REFUSAL_CONTROL, 2 },
    { "lone LF under CR LF is a control byte", "a\nb", noLimit, 0, RFC_QUOP_DECODE_REFUSAL_CONTROL, 1 },
    { "byte above 126", "abc\xff", noLimit, 0, RFC_QUOP_DECODE_REFUSAL_NON_ASCII, 3 },
    { "DEL is non-ASCII", "\x7f", noLimit, RFC_QUOP_FLAG_DECODE_IGNORE_CONTROL, RFC_QUOP_DECODE_REFUSAL_NON_ASCII, 0 },
    { "= and a non-digit", "a=G1", noLimit, 0, RFC_QUOP_DECODE_REFUSAL_INVALID_ENCODING, 1 },
    { "= at the end", "ab=", noLimit, 0, RFC_QUOP_DECODE_REFUSAL_INVALID_ENCODING, 2 },
    { "= among the last two bytes", "ab=4", noLimit, 0, RFC_QUOP_DECODE_REFUSAL_INVALID_ENCODING, 2 },
    { "= and a space before the break", "=\x20\r\n", noLimit, 0, RFC_QUOP_DECODE_REFUSAL_INVALID_ENCODING, 0 },
    { "lower-case digits", "x=3d", noLimit, 0, RFC_QUOP_DECODE_REFUSAL_SMALL_HEX_DIGITS, 1 },
    { "mixed-case digits", "=aF", noLimit, 0, RFC_QUOP_DECODE_REFUSAL_SMALL_HEX_DIGITS, 0 },
    { "line past the limit: the fifth byte", "abcde", 4, 0, RFC_QUOP_DECODE_REFUSAL_LINE_TOO_LONG, 4 },
    { "limit on the second line", "ab\r\nabcdef", 4, 0, RFC_QUOP_DECODE_REFUSAL_LINE_TOO_LONG, 8 },
    { "an escape past the limit", "a=41=42", 4, 0, RFC_QUOP_DECODE_REFUSAL_LINE_TOO_LONG, 4 },
    { "a soft break after a full line", "abcd=\r\nd", 4, 0, RFC_QUOP_DECODE_REFUSAL_LINE_TOO_LONG, 4 },
    { "trailing white space counts", "abcd \r\n", 4, 0, RFC_QUOP_DECODE_REFUSAL_LINE_TOO_LONG, 4 },
    { "an accepted = counts", "abc==", 4, RFC_QUOP_FLAG_DECODE_ACCEPT_INVALID_ENCODING, RFC_QUOP_DECODE_REFUSAL_LINE_TOO_LONG, 4 },
    { "the first fault decides", "\x01\xff", noLimit, 0, RFC_QUOP_DECODE_REFUSAL_CONTROL, 0 },
};

TEST(QuopRefusal, KindAndOffsetOfEachWay)
{
    for (const RefusalRow &row : refusalRows) {
        SCOPED_TRACE(row.rule);
        pb::Ref<RFC_QUOP_OPTIONS> opt = options({ CRLF, CRLF, row.maxLine, row.flags }, true);
        pb::Ref<PB_BUFFER> source(rfctest::buffer(row.input));
        RFC_QUOP_DECODE_REFUSAL refusal { -1, -1 };
        pb::Ref<PB_BUFFER> decoded(rfcQuopTryDecodeWithRefusal(source.get(), opt.get(), &refusal));
        EXPECT_FALSE(decoded);
        EXPECT_STREQ(rfcQuopDecodeRefusalKindToString(refusal.kind), rfcQuopDecodeRefusalKindToString(row.kind));
        EXPECT_EQ(refusal.offset, row.offset);
        pb::Ref<PB_BUFFER> plain(rfcQuopTryDecodeWithOptions(source.get(), opt.get()));
        EXPECT_FALSE(plain) << "the plain decoder refuses too";
    }
}

TEST(QuopRefusal, AcceptedInputLeavesTheRefusalAlone)
{
    pb::Ref<RFC_QUOP_OPTIONS> opt = options(decodeDefaults, true);
    pb::Ref<PB_BUFFER> source(rfctest::buffer("a=3Db\r\n"));
    RFC_QUOP_DECODE_REFUSAL refusal { 77, 88 };
    EXPECT_EQ(take(rfcQuopTryDecodeWithRefusal(source.get(), opt.get(), &refusal)), "a=b\r\n");
    EXPECT_EQ(refusal.kind, 77);
    EXPECT_EQ(refusal.offset, 88);
    EXPECT_STREQ(rfcQuopDecodeRefusalKindToString(0), "unknown");
}

long minorFaults()
{
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

TEST(QuopRefusal, OverLongLineIsRefusedBeforeItIsCopied)
{
    // A 64 MiB line under a limit of 76: refused at byte 76. Copying the
    // line would touch the 16,384 pages of the output; refusing where the
    // line passes the limit touches a few (a sanitizer's bookkeeping of the
    // allocation adds a few thousand, still well under half).
    const std::size_t length = std::size_t { 64 } << 20;
    pb::Ref<PB_BUFFER> source(rfctest::buffer(std::string(length, 'x')));
    pb::Ref<RFC_QUOP_OPTIONS> opt = options({ CRLF, CRLF, 76, 0 }, true);
    RFC_QUOP_DECODE_REFUSAL refusal {};
    const long before = minorFaults();
    pb::Ref<PB_BUFFER> decoded(rfcQuopTryDecodeWithRefusal(source.get(), opt.get(), &refusal));
    const long faults = minorFaults() - before;
    EXPECT_FALSE(decoded);
    EXPECT_EQ(refusal.kind, RFC_QUOP_DECODE_REFUSAL_LINE_TOO_LONG);
    EXPECT_EQ(refusal.offset, 76);
    const long linePages = static_cast<long>(length / 4096);
    EXPECT_LT(faults, linePages / 2) << "pages touched while refusing";
}

} // namespace
