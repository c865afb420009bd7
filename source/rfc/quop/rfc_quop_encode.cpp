// The quoted-printable encoder: printable ASCII stays, every other byte
// becomes "=" and two upper-case hexadecimal digits, recognised input line
// breaks become the chosen output line break, and lines longer than the
// line length are cut by soft line breaks ("=" at the end of a line).
#include "rfc_quop.h"
#include "rfc_quop_nlf.h"
#include "rfc_quop_scan.h"

#include "../rfc_frame.h"

#include <algorithm>
#include <cstring>

namespace {

using namespace rfc::quop;

// The digits of an escape, upper case.
constexpr char hexLookup[] = "0123456789ABCDEF";
static_assert(sizeof(hexLookup) == 16 + 1);

constexpr PB_INT noLimit = -1;

// The largest input for which the output bound below stays a PB_INT: it is
// at most eight bytes per input byte and a few more.
constexpr PB_INT maxEncodableLength = (PB_INT_MAX - 64) / 8;

// An upper bound of the encoded length of the n bytes at src.
//
// Text: a literal byte or white space yields one byte, any other byte one
// escape or one line break of at most three. White space becomes an escape
// only at the end or in front of a line break, which starts with a byte of
// the other class, so at most (other + 1) of them grow by two.
//
// Soft breaks (one "=" and nlLength bytes) come only in front of a byte that
// is written and, with a line length L of 4 or more, only after at least L-3
// bytes of text on the line; with a smaller L there may be one in front of
// every byte.
std::size_t encodedBound(const PB_BYTE *src, std::size_t n, PB_INT lineLength, std::size_t nlLength) noexcept
{
    const std::size_t other = countOther(src, n);
    const std::size_t text = n + 2 * other + 2 * (other + 1);
    std::size_t softBreaks = 0;
    if (lineLength != noLimit)
        softBreaks = lineLength >= 4 ? text / static_cast<std::size_t>(lineLength - 3) + 1 : n;
    return text + softBreaks * (1 + nlLength) + nlLength;
}

} // namespace

extern "C" {

// Encodes the bytes of source under the settings of opt (both borrowed) and
// returns a new buffer owned by the caller. The output is written into one
// allocation of the bound above and handed to the buffer; runs of bytes that
// stay unchanged are copied in bulk.
RFC_API PB_BUFFER *rfcQuopEncodeWithOptions(PB_BUFFER *source, RFC_QUOP_OPTIONS *opt) noexcept
{
    PB_ASSERT( source );
    PB_ASSERT( opt );

    const PB_INT inputNlf = rfcQuopOptionsEncodeInputNlf(opt);
    const PB_INT outputNlf = rfcQuopOptionsEncodeOutputNlf(opt);
    // Without an output line break there is nothing to cut lines with.
    const PB_INT lineLength = outputNlf == 0 ? noLimit : rfcQuopOptionsEncodeOutputLineLength(opt);
    const bool translate = inputNlf != 0 && outputNlf != 0;
    const NlfBytes nl = nlfBytes(outputNlf);

    const PB_INT length = pbBufferLength(source);
    PB_ASSERT( length <= maxEncodableLength );
    const PB_BYTE *src = pbBufferBacking(source);
    const std::size_t n = static_cast<std::size_t>(length);

    const std::size_t bound = encodedBound(src, n, lineLength, nl.length);
    auto *out = static_cast<PB_BYTE *>(pbMemAlloc(static_cast<PB_INT>(bound + copySlack)));
    PB_BYTE *w = out;
    PB_INT column = 0; // bytes written since the last line break, hard or soft
    bool endedWithBreak = false;

    // Both bytes are stored whatever the length; the slack covers the
    // second.
    auto writeNl = [&]() {
        w[0] = nl.bytes[0];
        w[1] = nl.bytes[1];
        w += nl.length;
    };
    auto writeSoftBreak = [&]() {
        *w++ = byteEquals;
        writeNl();
        column = 0;
    };
    // White space must be escaped at the end of the input and in front of a
    // line break (recognised under the input set even without translation),
    // so that no decoder strips it as trailing white space.
    auto whiteSpaceNeedsEscape = [&](std::size_t next) {
        return next == n || (inputNlf != 0 && nlfLength(src, next, n, inputNlf) > 0);
    };

    std::size_t i = 0;
    while (i < n) {
        // A run of bytes written as themselves, up to the last one that fits
        // on the line in front of its soft break.
        const PB_INT room = lineLength == noLimit ? length : lineLength - 1 - column;
        if (room > 0) {
            std::size_t run = copyPlainRun(src + i, std::min(n - i, static_cast<std::size_t>(room)), w);
            if (run > 0 && isWhiteSpace(src[i + run - 1]) && whiteSpaceNeedsEscape(i + run))
                --run;
            if (run > 0) {
                w += run;
                column += static_cast<PB_INT>(run);
                i += run;
                endedWithBreak = false;
                if (i == n)
                    break;
            }
        }

        // One byte that the run could not take.
        const PB_BYTE v = src[i];
        if (translate) {
            if (std::size_t k = nlfLength(src, i, n, inputNlf)) {
                writeNl();
                column = 0;
                i += k;
                endedWithBreak = true;
                continue;
            }
        }
        const bool escape = !isLiteral(v) && !(isWhiteSpace(v) && !whiteSpaceNeedsEscape(i + 1));
        if (escape) {
            if (lineLength != noLimit && column >= lineLength - 3)
                writeSoftBreak();
            w[0] = byteEquals;
            w[1] = static_cast<PB_BYTE>(hexLookup[v >> 4]);
            w[2] = static_cast<PB_BYTE>(hexLookup[v & 0x0F]);
            w += 3;
            column += 3;
        } else {
            if (lineLength != noLimit && column >= lineLength - 1)
                writeSoftBreak();
            *w++ = v;
            column += 1;
        }
        ++i;
        endedWithBreak = false;
    }

    if (!endedWithBreak && (rfcQuopOptionsFlags(opt) & RFC_QUOP_FLAG_ENCODE_ENSURE_TRAILING_NLF))
        writeNl();

    const auto written = static_cast<PB_INT>(w - out);
    if (written == 0) {
        pbMemFree(out);
        return pbBufferCreate();
    }
    // The bound is close for ordinary text; only a wide miss (short line
    // lengths, many line breaks) is worth giving back.
    if (static_cast<std::size_t>(written) < bound / 2)
        out = static_cast<PB_BYTE *>(pbMemRealloc(out, written));
    return pbBufferCreateFromBytesUse(out, written);
}

RFC_API PB_BUFFER *rfcQuopEncode(PB_BUFFER *source) noexcept
{
    pb::Ref<RFC_QUOP_OPTIONS> opt(rfcQuopOptionsCreate());
    return rfcQuopEncodeWithOptions(source, opt.get());
}

// The encoded text as a string of ASCII code points, owned by the caller.
RFC_API PB_STRING *rfcQuopEncodeToStringWithOptions(PB_BUFFER *source, RFC_QUOP_OPTIONS *opt) noexcept
{
    pb::Ref<PB_BUFFER> encoded(rfcQuopEncodeWithOptions(source, opt));
    return pbStringCreateFromAscii(pbBufferBacking(encoded.get()), pbBufferLength(encoded.get()));
}

RFC_API PB_STRING *rfcQuopEncodeToString(PB_BUFFER *source) noexcept
{
    pb::Ref<RFC_QUOP_OPTIONS> opt(rfcQuopOptionsCreate());
    return rfcQuopEncodeToStringWithOptions(source, opt.get());
}

} // extern "C"
