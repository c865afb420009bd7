// The quoted-printable decoding loop, shared by the one-call decoder and the
// streaming decoder: it decodes a span of text into an output area and keeps
// in a small state what the rest of the text depends on (the length of the
// current input line, the white space at the end of the output, how the text
// so far ends). Given the text in pieces, with the bytes it cannot decide yet
// (at most two) carried into the next piece, it writes what it writes for the
// whole text. Internal to the family.
#ifndef RFC_QUOP_DECODE_CORE_H
#define RFC_QUOP_DECODE_CORE_H

#include "rfc_quop.h"
#include "rfc_quop_nlf.h"
#include "rfc_quop_scan.h"

#include <algorithm>
#include <array>
#include <cstddef>

namespace rfc::quop {

// The digit values of every byte under each case rule (-1: no digit).
extern const std::array<signed char, 256> decodeHexUpper;
extern const std::array<signed char, 256> decodeHexBoth;

// The settings of a decoder, read once from its options.
struct DecodeSettings {
    explicit DecodeSettings(RFC_QUOP_OPTIONS *opt)
        : inputNlf(rfcQuopOptionsDecodeInputNlf(opt))
        , maxLine(rfcQuopOptionsDecodeMaxInputLineLength(opt))
        , nl(nlfBytes(rfcQuopOptionsDecodeOutputNlf(opt)))
        , translate(inputNlf != 0 && rfcQuopOptionsDecodeOutputNlf(opt) != 0)
        , limited(maxLine != -1)
        , ignoreControl(rfcQuopOptionsFlags(opt) & RFC_QUOP_FLAG_DECODE_IGNORE_CONTROL)
        , ignoreNonAscii(rfcQuopOptionsFlags(opt) & RFC_QUOP_FLAG_DECODE_IGNORE_NON_ASCII)
        , acceptInvalid(rfcQuopOptionsFlags(opt) & RFC_QUOP_FLAG_DECODE_ACCEPT_INVALID_ENCODING)
        , ensureTrailingNlf(rfcQuopOptionsFlags(opt) & RFC_QUOP_FLAG_DECODE_ENSURE_TRAILING_NLF)
        , hex((rfcQuopOptionsFlags(opt) & RFC_QUOP_FLAG_DECODE_ACCEPT_SMALL_HEX_DIGITS) ? decodeHexBoth : decodeHexUpper)
    {
    }

    // The output bytes that n input bytes may give: one each, except a
    // one-byte input line break written as two; plus a trailing line break
    // and the slack of the bulk copy.
    std::size_t outputBound(std::size_t n) const
    {
        const bool mayGrow = translate && nl.length > 1 && nlfHasSingleByteKind(inputNlf);
        return (mayGrow ? 2 * n : n) + nl.length + copySlack;
    }

    PB_INT inputNlf;
    PB_INT maxLine; // -1: no limit
    NlfBytes nl;
    bool translate;
    bool limited;
    bool ignoreControl;
    bool ignoreNonAscii;
    bool acceptInvalid;
    bool ensureTrailingNlf;
    const std::array<signed char, 256> &hex;
};

// What the text decoded so far leaves for the rest.
struct DecodeState {
    enum class End { data, hardBreak, softBreak };
    PB_INT lineCount = 0;     // input bytes of the current line, as counted for the limit
    std::size_t trailing = 0; // white space written at the end of the output
    End end = End::data;
};

// Why a span stopped: at its end (or at the first byte it cannot decide
// without more text), or refused.
struct DecodeStop {
    std::size_t consumed; // bytes of the span decoded
    bool refused;
};

// Decodes src[0, n) into w (advanced past the bytes written; it needs
// settings.outputBound(n) bytes of room), starting each step below stopAt.
// Unless final, a step that needs bytes past n (an "=" with fewer than two
// bytes after it, a CR that may start CR LF) is left undone. White space at
// the end of a line is removed by dropTrailing(w), which steps w back over
// state.trailing bytes (the caller may hold some of them elsewhere). On
// refusal *refusal gets the reason and the offset in src (when withRefusal),
// and the output holds what the text before the refused byte gives.
template <bool withRefusal, class DropTrailing>
inline DecodeStop decodeSpan(const DecodeSettings &s, DecodeState &state, const PB_BYTE *src, std::size_t n,
    std::size_t stopAt, bool final, PB_BYTE *&w, DropTrailing &&dropTrailing, RFC_QUOP_DECODE_REFUSAL *refusal)
{
    const auto &hex = s.hex;
    const PB_INT maxLine = s.maxLine;
    PB_INT lineCount = state.lineCount;
    std::size_t trailing = state.trailing;
    DecodeState::End end = state.end;

    auto leave = [&](std::size_t consumed, bool refused) {
        state.lineCount = lineCount;
        state.trailing = trailing;
        state.end = end;
        return DecodeStop { consumed, refused };
    };
    auto refuse = [&](PB_INT kind, std::size_t offset, std::size_t consumed) {
        if constexpr (withRefusal) {
            refusal->kind = kind;
            refusal->offset = static_cast<PB_INT>(offset);
        }
        return leave(consumed, true);
    };

    std::size_t i = 0;
    while (i < stopAt) {
        // A run of literal bytes and white space, copied as it is.
        // With a limit, a run is copied no further than the byte that takes
        // the line past it, so an over-long line is refused there.
        const std::size_t runMax =
            s.limited ? std::min(n - i, static_cast<std::size_t>(maxLine - lineCount) + 1) : n - i;
        // The byte refused is not kept in the output.
        if (std::size_t run = copyPlainRun(src + i, runMax, w)) {
            const bool over = s.limited && lineCount + static_cast<PB_INT>(run) > maxLine;
            const std::size_t kept = over ? run - 1 : run;
            w += kept;
            std::size_t ws = 0;
            while (ws < kept && isWhiteSpace(src[i + kept - 1 - ws]))
                ++ws;
            trailing = ws == kept ? trailing + kept : ws;
            lineCount += static_cast<PB_INT>(run);
            i += run;
            end = DecodeState::End::data;
            if (over)
                return refuse(RFC_QUOP_DECODE_REFUSAL_LINE_TOO_LONG, i - 1, i);
            if (i >= stopAt)
                break;
        }

        const PB_BYTE v = src[i];
        if (v == byteEquals) {
            // An escape, a soft line break or a lone "=" is told from the
            // two bytes after it.
            if (!final && i + 2 >= n)
                break;
            // Escapes first, and one after another: a hexadecimal digit never
            // starts a line break, so this order decides as the rules do.
            if (i + 2 < n && (hex[src[i + 1]] | hex[src[i + 2]]) >= 0) {
                do {
                    lineCount += 3;
                    if (s.limited && lineCount > maxLine)
                        return refuse(RFC_QUOP_DECODE_REFUSAL_LINE_TOO_LONG, i, i);
                    *w++ = static_cast<PB_BYTE>(hex[src[i + 1]] << 4 | hex[src[i + 2]]);
                    trailing = 0;
                    i += 3;
                } while (i + 2 < n && src[i] == byteEquals && (hex[src[i + 1]] | hex[src[i + 2]]) >= 0);
                end = DecodeState::End::data;
                continue;
            }
            // Soft line breaks are recognised under the input set even when
            // line breaks are not translated.
            if (std::size_t k = nlfLength(src, i + 1, n, s.inputNlf)) {
                if (s.limited && lineCount >= maxLine)
                    return refuse(RFC_QUOP_DECODE_REFUSAL_LINE_TOO_LONG, i, i);
                i += 1 + k;
                lineCount = 0;
                trailing = 0;
                end = DecodeState::End::softBreak;
                continue;
            }
            if (!s.acceptInvalid) {
                if constexpr (withRefusal) {
                    // Lower-case digits that the small-digit flag would take
                    // are told apart from other faults.
                    const bool small = i + 2 < n && (decodeHexBoth[src[i + 1]] | decodeHexBoth[src[i + 2]]) >= 0;
                    return refuse(small ? RFC_QUOP_DECODE_REFUSAL_SMALL_HEX_DIGITS
                                        : RFC_QUOP_DECODE_REFUSAL_INVALID_ENCODING,
                        i, i);
                }
                return leave(i, true);
            }
            // The "=" stands for itself; what follows is decoded anew.
            lineCount += 1;
            if (s.limited && lineCount > maxLine)
                return refuse(RFC_QUOP_DECODE_REFUSAL_LINE_TOO_LONG, i, i);
            *w++ = byteEquals;
            trailing = 0;
            i += 1;
        } else if (!final && v == byteCr && s.translate && (s.inputNlf & PB_NLF_FLAG_CRLF) && i + 1 >= n) {
            // A CR that may start CR LF.
            break;
        } else if (std::size_t k = s.translate ? nlfLength(src, i, n, s.inputNlf) : 0) {
            // A hard line break ends the line and its trailing white space.
            dropTrailing(w, trailing);
            w[0] = s.nl.bytes[0];
            w[1] = s.nl.bytes[1];
            w += s.nl.length;
            i += k;
            lineCount = 0;
            trailing = 0;
            end = DecodeState::End::hardBreak;
            continue;
        } else if (v > byteTilde) {
            // DEL and every byte above it; the control flag does not reach
            // them.
            if (!s.ignoreNonAscii)
                return refuse(RFC_QUOP_DECODE_REFUSAL_NON_ASCII, i, i);
            ++i;
        } else {
            // A control byte that is not a recognised line break.
            if (!s.ignoreControl)
                return refuse(RFC_QUOP_DECODE_REFUSAL_CONTROL, i, i);
            ++i;
        }
        // Skipped bytes do not count towards the line.
        end = DecodeState::End::data;
    }
    return leave(i, false);
}

// Ends the text: white space at the end goes when line breaks are
// translated, and the trailing line break is written if asked for and
// missing. w needs room for a line break (both bytes).
template <class DropTrailing>
inline void decodeEnd(const DecodeSettings &s, DecodeState &state, PB_BYTE *&w, DropTrailing &&dropTrailing)
{
    auto writeNl = [&] {
        w[0] = s.nl.bytes[0];
        w[1] = s.nl.bytes[1];
        w += s.nl.length;
    };
    switch (state.end) {
    case DecodeState::End::data:
        if (s.translate) {
            dropTrailing(w, state.trailing);
            state.trailing = 0;
            if (s.ensureTrailingNlf)
                writeNl();
        }
        break;
    case DecodeState::End::softBreak:
        // White space in front of the "=" is data and stays.
        if (s.translate && s.ensureTrailingNlf)
            writeNl();
        break;
    case DecodeState::End::hardBreak:
        break;
    }
}

} // namespace rfc::quop

#endif
