/* Quoted-printable transfer encoding (RFC 2045): bytes to quoted-printable
 * text and back, steered by a set of flags and an options object that holds
 * the input and output line breaks and the line-length limits of each
 * direction. Compiles as C and as C++.
 *
 * Line breaks are named by the runtime's newline flags: 0x01 LF, 0x02 CR,
 * 0x04 CR LF, 0x10 VT (on input also FF), 0x20 FF. An input set names every
 * kind recognised in the input; an output value names the one kind written
 * (0: none, which also switches the translation of line breaks off). */
#ifndef RFC_QUOP_H
#define RFC_QUOP_H

#include "../rfc_module.h"

PB___BEGIN_DECLS

/* Flags of both directions. */
#define RFC_QUOP_FLAG_ENCODE_ENSURE_TRAILING_NLF 0x01
#define RFC_QUOP_FLAG_DECODE_ACCEPT_SMALL_HEX_DIGITS 0x02
#define RFC_QUOP_FLAG_DECODE_ACCEPT_INVALID_ENCODING 0x04
#define RFC_QUOP_FLAG_DECODE_IGNORE_CONTROL 0x08
#define RFC_QUOP_FLAG_DECODE_IGNORE_NON_ASCII 0x10
#define RFC_QUOP_FLAG_DECODE_ENSURE_TRAILING_NLF 0x20

/* Keeps the six defined bits (0x3F). */
RFC_API PB_INT rfcQuopFlagsNormalize(PB_INT flags) RFC___NOEXCEPT;
/* The flags named in the text (unknown names are ignored); pbs not null. */
RFC_API PB_INT rfcQuopFlagsFromString(PB_STRING *pbs) RFC___NOEXCEPT;
/* A new string naming the defined flags that are set. */
RFC_API PB_STRING *rfcQuopFlagsToString(PB_INT flags) RFC___NOEXCEPT;

typedef struct RFC_QUOP_OPTIONS RFC_QUOP_OPTIONS;

RFC___DECLARE_STDFUNCS_C(rfcQuopOptions, RFC_QUOP_OPTIONS);

/* A new options object with every setting at its default: flags 0, CR LF as
 * the input and output line break of both directions, encoded lines of at
 * most 76 bytes, decoded input lines of any length. */
RFC_API RFC_QUOP_OPTIONS *rfcQuopOptionsCreate(void) RFC___NOEXCEPT;
RFC_API RFC_QUOP_OPTIONS *rfcQuopOptionsCreateFrom(RFC_QUOP_OPTIONS *source) RFC___NOEXCEPT;

/* A new store with every setting set away from its default (all of them
 * when full is true), under the setting's name. */
RFC_API PB_STORE *rfcQuopOptionsStore(RFC_QUOP_OPTIONS *opt, PB_BOOL full) RFC___NOEXCEPT;
/* A new options object: the defaults, with every setting the store holds
 * applied through its setter. */
RFC_API RFC_QUOP_OPTIONS *rfcQuopOptionsRestore(PB_STORE *store) RFC___NOEXCEPT;

/* Each setting has a getter, a setter (copy-on-write: it takes the address
 * of the caller's reference), a marker getter that is true while the setting
 * holds its default, and a reset to the default. The line lengths also have
 * Has (a limit is set) and Del (no limit, -1). */
RFC_API PB_INT rfcQuopOptionsFlags(RFC_QUOP_OPTIONS *opt) RFC___NOEXCEPT;
RFC_API void rfcQuopOptionsSetFlags(RFC_QUOP_OPTIONS **opt, PB_INT flags) RFC___NOEXCEPT;
RFC_API PB_BOOL rfcQuopOptionsFlagsDefault(RFC_QUOP_OPTIONS *opt) RFC___NOEXCEPT;
RFC_API void rfcQuopOptionsSetFlagsDefault(RFC_QUOP_OPTIONS **opt) RFC___NOEXCEPT;

/* Input sets keep the low eight bits. */
RFC_API PB_INT rfcQuopOptionsEncodeInputNlf(RFC_QUOP_OPTIONS *opt) RFC___NOEXCEPT;
RFC_API void rfcQuopOptionsSetEncodeInputNlf(RFC_QUOP_OPTIONS **opt, PB_INT nlf) RFC___NOEXCEPT;
RFC_API PB_BOOL rfcQuopOptionsEncodeInputNlfDefault(RFC_QUOP_OPTIONS *opt) RFC___NOEXCEPT;
RFC_API void rfcQuopOptionsSetEncodeInputNlfDefault(RFC_QUOP_OPTIONS **opt) RFC___NOEXCEPT;

/* Output values keep the first kind present (0x01, 0x02, 0x04, 0x10, 0x20)
 * or become 0. */
RFC_API PB_INT rfcQuopOptionsEncodeOutputNlf(RFC_QUOP_OPTIONS *opt) RFC___NOEXCEPT;
RFC_API void rfcQuopOptionsSetEncodeOutputNlf(RFC_QUOP_OPTIONS **opt, PB_INT nlf) RFC___NOEXCEPT;
RFC_API PB_BOOL rfcQuopOptionsEncodeOutputNlfDefault(RFC_QUOP_OPTIONS *opt) RFC___NOEXCEPT;
RFC_API void rfcQuopOptionsSetEncodeOutputNlfDefault(RFC_QUOP_OPTIONS **opt) RFC___NOEXCEPT;

/* lineLength at least 1. */
RFC_API PB_INT rfcQuopOptionsEncodeOutputLineLength(RFC_QUOP_OPTIONS *opt) RFC___NOEXCEPT;
RFC_API void rfcQuopOptionsSetEncodeOutputLineLength(RFC_QUOP_OPTIONS **opt, PB_INT lineLength) RFC___NOEXCEPT;
RFC_API PB_BOOL rfcQuopOptionsHasEncodeOutputLineLength(RFC_QUOP_OPTIONS *opt) RFC___NOEXCEPT;
RFC_API void rfcQuopOptionsDelEncodeOutputLineLength(RFC_QUOP_OPTIONS **opt) RFC___NOEXCEPT;
RFC_API PB_BOOL rfcQuopOptionsEncodeOutputLineLengthDefault(RFC_QUOP_OPTIONS *opt) RFC___NOEXCEPT;
RFC_API void rfcQuopOptionsSetEncodeOutputLineLengthDefault(RFC_QUOP_OPTIONS **opt) RFC___NOEXCEPT;

RFC_API PB_INT rfcQuopOptionsDecodeInputNlf(RFC_QUOP_OPTIONS *opt) RFC___NOEXCEPT;
RFC_API void rfcQuopOptionsSetDecodeInputNlf(RFC_QUOP_OPTIONS **opt, PB_INT nlf) RFC___NOEXCEPT;
RFC_API PB_BOOL rfcQuopOptionsDecodeInputNlfDefault(RFC_QUOP_OPTIONS *opt) RFC___NOEXCEPT;
RFC_API void rfcQuopOptionsSetDecodeInputNlfDefault(RFC_QUOP_OPTIONS **opt) RFC___NOEXCEPT;

RFC_API PB_INT rfcQuopOptionsDecodeOutputNlf(RFC_QUOP_OPTIONS *opt) RFC___NOEXCEPT;
RFC_API void rfcQuopOptionsSetDecodeOutputNlf(RFC_QUOP_OPTIONS **opt, PB_INT nlf) RFC___NOEXCEPT;
RFC_API PB_BOOL rfcQuopOptionsDecodeOutputNlfDefault(RFC_QUOP_OPTIONS *opt) RFC___NOEXCEPT;
RFC_API void rfcQuopOptionsSetDecodeOutputNlfDefault(RFC_QUOP_OPTIONS **opt) RFC___NOEXCEPT;

/* maxInputLineLength at least 4. */
RFC_API PB_INT rfcQuopOptionsDecodeMaxInputLineLength(RFC_QUOP_OPTIONS *opt) RFC___NOEXCEPT;
RFC_API void rfcQuopOptionsSetDecodeMaxInputLineLength(RFC_QUOP_OPTIONS **opt,
    PB_INT maxInputLineLength) RFC___NOEXCEPT;
RFC_API PB_BOOL rfcQuopOptionsHasDecodeMaxInputLineLength(RFC_QUOP_OPTIONS *opt) RFC___NOEXCEPT;
RFC_API void rfcQuopOptionsDelDecodeMaxInputLineLength(RFC_QUOP_OPTIONS **opt) RFC___NOEXCEPT;
RFC_API PB_BOOL rfcQuopOptionsDecodeMaxInputLineLengthDefault(RFC_QUOP_OPTIONS *opt) RFC___NOEXCEPT;
RFC_API void rfcQuopOptionsSetDecodeMaxInputLineLengthDefault(RFC_QUOP_OPTIONS **opt) RFC___NOEXCEPT;

/* Encoding accepts every input and returns a new buffer (or string) of
 * quoted-printable text. The plain forms use default options. */
RFC_API PB_BUFFER *rfcQuopEncodeWithOptions(PB_BUFFER *source, RFC_QUOP_OPTIONS *opt) RFC___NOEXCEPT;
RFC_API PB_BUFFER *rfcQuopEncode(PB_BUFFER *source) RFC___NOEXCEPT;
RFC_API PB_STRING *rfcQuopEncodeToStringWithOptions(PB_BUFFER *source, RFC_QUOP_OPTIONS *opt) RFC___NOEXCEPT;
RFC_API PB_STRING *rfcQuopEncodeToString(PB_BUFFER *source) RFC___NOEXCEPT;

/* Decoding returns a new buffer of the decoded bytes, or null when the input
 * is refused (never a partial result). */
RFC_API PB_BUFFER *rfcQuopTryDecodeWithOptions(PB_BUFFER *source, RFC_QUOP_OPTIONS *opt) RFC___NOEXCEPT;
RFC_API PB_BUFFER *rfcQuopTryDecode(PB_BUFFER *source) RFC___NOEXCEPT;
RFC_API PB_BUFFER *rfcQuopTryDecodeWithFlags(PB_BUFFER *source, PB_INT flags) RFC___NOEXCEPT;
RFC_API PB_BUFFER *rfcQuopTryDecodeStringWithOptions(PB_STRING *string, RFC_QUOP_OPTIONS *opt) RFC___NOEXCEPT;
RFC_API PB_BUFFER *rfcQuopTryDecodeString(PB_STRING *string) RFC___NOEXCEPT;
RFC_API PB_BUFFER *rfcQuopTryDecodeStringWithFlags(PB_STRING *string, PB_INT flags) RFC___NOEXCEPT;

/* Refusal reasons (an extension beside the decoders above, which stay as
 * they are): what made the decoder refuse its input and the offset of the
 * byte where it did. */
#define RFC_QUOP_DECODE_REFUSAL_CONTROL 1          /* a control byte that is no recognised line break */
#define RFC_QUOP_DECODE_REFUSAL_NON_ASCII 2        /* a byte above 126 */
#define RFC_QUOP_DECODE_REFUSAL_INVALID_ENCODING 3 /* "=" that starts neither an escape nor a soft line break */
#define RFC_QUOP_DECODE_REFUSAL_SMALL_HEX_DIGITS 4 /* "=" and hexadecimal digits, some of them lower case */
#define RFC_QUOP_DECODE_REFUSAL_LINE_TOO_LONG 5    /* the byte that takes an input line past the maximum */

typedef struct RFC_QUOP_DECODE_REFUSAL {
    PB_INT kind;   /* one of the RFC_QUOP_DECODE_REFUSAL_... values */
    PB_INT offset; /* of the offending byte (for an escape or "=": of the "=") */
} RFC_QUOP_DECODE_REFUSAL;

/* As rfcQuopTryDecodeWithOptions; when it returns null, *refusal (not null)
 * holds the reason; when it accepts, *refusal is left alone. */
RFC_API PB_BUFFER *rfcQuopTryDecodeWithRefusal(PB_BUFFER *source, RFC_QUOP_OPTIONS *opt,
    RFC_QUOP_DECODE_REFUSAL *refusal) RFC___NOEXCEPT;
/* The kind's name, a static text ("unknown" for no kind). */
RFC_API const char *rfcQuopDecodeRefusalKindToString(PB_INT kind) RFC___NOEXCEPT;

/* Streaming (an extension beside the one-call functions): input in pieces of
 * any size, output handed back as soon as it is final, the same bytes in all
 * as the one-call function gives for the whole input under the same options.
 * The encoder keeps at most the input since the last point where the
 * one-call encoder starts afresh: the last output line break, or a point
 * inside a line still far from the line length (the column carried); so it
 * holds a few bytes or one short line. The decoder runs the one-call
 * decoder's own loop over each piece and keeps its state: the length of the
 * input line so far, how the text so far ends, at most two bytes it cannot
 * decide yet, and the white space at the end of its output, which a line
 * break or the end of the text may still remove (when line breaks are
 * translated). That white space is held as a summary: per block of a few
 * KiB, the lengths of its stretches of spaces and tabs or one bit per byte,
 * whichever is smaller; a few bytes for a run of one byte, at most about an
 * eighth of a byte per byte of any run. A line of any length under any line
 * limit, and text that never starts afresh (such as "=" and white space
 * under the lenient flag), cost the decoder no more. A stream is used by one thread at a time; Finish ends
 * the input once, then Free.
 *
 * A run of white space that turns out to be data becomes output all at
 * once; the decoder hands it out in portions of 1 MiB: while it owes
 * output, each Write hands out the next portion (the bytes given are taken
 * in, decoded later), and Write with no bytes (null, 0) drains it. This
 * holds after Finish too, when the end of the input decides the run (one
 * followed by a soft line break or a lone "=" at the very end): Finish hands
 * out the first portion, and Write with no bytes the rest. A caller calls
 * Write with no bytes until it returns an empty buffer after each Write or
 * Finish that returned bytes.
 *
 * Decoding cannot take back what it handed out: on refused input the stream
 * hands out what the input before the refused byte decodes to (with no
 * trailing line break added, and without white space at its end that a line
 * break would remove), then takes no more input; rfcQuopDecodeStreamRefusal then says why and where, as an offset
 * in the whole input.
 *
 * Held white space can still grow with the input (50 MB of alternating
 * spaces and tabs before a soft line break are held in about 6 MiB).
 * rfcQuopDecodeStreamSetSpillLimit lets the owner bound that: once the
 * summary held takes more than byteCount bytes, it moves to an unnamed
 * temporary file (in $TMPDIR, or in /tmp where TMPDIR is unset or no file
 * can be made there; closed on exec and deleted when the stream no longer
 * needs it) and only a buffer of 64 KiB of it stays in memory. byteCount 0, the
 * default, keeps it in memory: the library makes no file unless asked. If
 * no file can be made or written, the summary stays (or comes back) in
 * memory and the stream goes on. If the file cannot be read back when the
 * run turns out to be data, or reads back other than it was written (each
 * piece of at most 64 KiB carries a CRC-32C kept in memory), the stream
 * hands out what it read back intact, then refuses with
 * RFC_QUOP_DECODE_REFUSAL_SPILL_UNREADABLE, its offset the input taken in
 * so far, and takes no more input. */
#define RFC_QUOP_DECODE_REFUSAL_SPILL_UNREADABLE 6 /* held white space could not be read back from its file */
typedef struct RFC_QUOP_ENCODE_STREAM RFC_QUOP_ENCODE_STREAM;
typedef struct RFC_QUOP_DECODE_STREAM RFC_QUOP_DECODE_STREAM;

/* A new stream; opt is borrowed (the stream holds its own reference). */
RFC_API RFC_QUOP_ENCODE_STREAM *rfcQuopEncodeStreamCreate(RFC_QUOP_OPTIONS *opt) RFC___NOEXCEPT;
/* Copies the bytes in; a new buffer with the text that is final (maybe empty). */
RFC_API PB_BUFFER *rfcQuopEncodeStreamWrite(RFC_QUOP_ENCODE_STREAM *stream, const PB_BYTE *bytes,
    PB_INT byteCount) RFC___NOEXCEPT;
/* Ends the input: a new buffer with the rest, trailing line break included. */
RFC_API PB_BUFFER *rfcQuopEncodeStreamFinish(RFC_QUOP_ENCODE_STREAM *stream) RFC___NOEXCEPT;
/* Frees the stream and what it holds; null is allowed. */
RFC_API void rfcQuopEncodeStreamFree(RFC_QUOP_ENCODE_STREAM *stream) RFC___NOEXCEPT;

RFC_API RFC_QUOP_DECODE_STREAM *rfcQuopDecodeStreamCreate(RFC_QUOP_OPTIONS *opt) RFC___NOEXCEPT;
/* Copies the text in; a new buffer with the bytes that are final (maybe
 * empty, and always empty once the stream has refused and handed out what
 * it owed); at most a portion of an owed run of white space, see above.
 * After Finish only with no bytes. */
RFC_API PB_BUFFER *rfcQuopDecodeStreamWrite(RFC_QUOP_DECODE_STREAM *stream, const PB_BYTE *bytes,
    PB_INT byteCount) RFC___NOEXCEPT;
/* Ends the text: a new buffer with the rest of the bytes, or the first
 * portion of them (then Write with no bytes hands out the rest). */
RFC_API PB_BUFFER *rfcQuopDecodeStreamFinish(RFC_QUOP_DECODE_STREAM *stream) RFC___NOEXCEPT;
/* True once the stream has refused; then *refusal (not null) holds the
 * reason, its offset counted in the whole input. */
RFC_API PB_BOOL rfcQuopDecodeStreamRefusal(RFC_QUOP_DECODE_STREAM *stream,
    RFC_QUOP_DECODE_REFUSAL *refusal) RFC___NOEXCEPT;
/* Sets the size past which held white space moves to a temporary file, in
 * bytes of its summary (0: never, the default; see above). May be called at
 * any time; it applies as held white space grows from then on. */
RFC_API void rfcQuopDecodeStreamSetSpillLimit(RFC_QUOP_DECODE_STREAM *stream, PB_INT byteCount) RFC___NOEXCEPT;
RFC_API void rfcQuopDecodeStreamFree(RFC_QUOP_DECODE_STREAM *stream) RFC___NOEXCEPT;

RFC_API void rfc___QuopFlagsStartup(void) RFC___NOEXCEPT;
RFC_API void rfc___QuopFlagsShutdown(void) RFC___NOEXCEPT;

PB___END_DECLS

#endif
