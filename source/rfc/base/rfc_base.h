/* Base encodings of RFC 4648: base16, base32, base32hex, base64 and
 * base64url. Byte buffers become text (a buffer of ASCII characters or a
 * string) and text becomes bytes again, steered by flags and by an options
 * object that also sets the output newline and line length.
 *
 * Ownership: every returned object is a new reference owned by the caller;
 * arguments are borrowed. Setters take the address of the caller's reference
 * and copy a shared object before changing it. Malformed text is no error of
 * the contract: the ...TryDecode... functions answer it with null. Compiles
 * as C and as C++. */
#ifndef RFC_BASE_H
#define RFC_BASE_H

#include "../rfc_module.h"

PB___BEGIN_DECLS

/* Encodings. */
#define RFC_BASE_ENCODING_BASE16 0
#define RFC_BASE_ENCODING_BASE32 1
#define RFC_BASE_ENCODING_BASE32HEX 2
#define RFC_BASE_ENCODING_BASE64 3
#define RFC_BASE_ENCODING_BASE64URL 4
#define RFC_BASE_ENCODING_OK(enc) ((enc) >= 0 && (enc) <= 4)

/* The encoding whose enumerant name ("RFC_BASE_ENCODING_BASE64") is the
 * string, as the runtime's enumeration answers it (-1 for no such name). */
RFC_API PB_INT rfcBaseEncodingFromString(PB_STRING *pbs) RFC___NOEXCEPT;
RFC_API PB_STRING *rfcBaseEncodingToString(PB_INT enc) RFC___NOEXCEPT;
/* The encoding of an RFC 4648 name ("base64"), or -1 when it names none. */
RFC_API PB_INT rfcBaseEncodingFromRfc4648Name(PB_STRING *name) RFC___NOEXCEPT;
RFC_API PB_STRING *rfcBaseEncodingToRfc4648Name(PB_INT encoding) RFC___NOEXCEPT;

/* Flags; only the nine low bits are defined. */
#define RFC_BASE_FLAG_ENCODE_OMIT_PADDING 0x001
#define RFC_BASE_FLAG_ENCODE_ENSURE_TRAILING_NLF 0x002
#define RFC_BASE_FLAG_DECODE_IGNORE_NLF 0x004
#define RFC_BASE_FLAG_DECODE_IGNORE_WHITE_SPACE 0x008
#define RFC_BASE_FLAG_DECODE_IGNORE_NON_ALPHABET 0x010
#define RFC_BASE_FLAG_DECODE_IGNORE_PADDING 0x020
#define RFC_BASE_FLAG_DECODE_ACCEPT_INVALID_PAD_BITS 0x040
#define RFC_BASE_FLAG_DECODE_ACCEPT_INVALID_PADDING 0x080
#define RFC_BASE_FLAG_DECODE_ACCEPT_INVALID_LENGTH 0x100

RFC_API PB_INT rfcBaseFlagsNormalize(PB_INT flags) RFC___NOEXCEPT;
RFC_API PB_INT rfcBaseFlagsFromString(PB_STRING *pbs) RFC___NOEXCEPT;
RFC_API PB_STRING *rfcBaseFlagsToString(PB_INT flags) RFC___NOEXCEPT;

/* Options: flags, the output newline (0 or one newline flag; CR LF by
 * default) and the output line length (-1: none, the default). Each setting
 * remembers whether it holds its default. */
typedef struct RFC_BASE_OPTIONS RFC_BASE_OPTIONS;

RFC___DECLARE_STDFUNCS_C(rfcBaseOptions, RFC_BASE_OPTIONS);

RFC_API RFC_BASE_OPTIONS *rfcBaseOptionsCreate(void) RFC___NOEXCEPT;
RFC_API RFC_BASE_OPTIONS *rfcBaseOptionsCreateFrom(RFC_BASE_OPTIONS *source) RFC___NOEXCEPT;

RFC_API PB_INT rfcBaseOptionsFlags(RFC_BASE_OPTIONS *opt) RFC___NOEXCEPT;
RFC_API PB_BOOL rfcBaseOptionsFlagsDefault(RFC_BASE_OPTIONS *opt) RFC___NOEXCEPT;
RFC_API void rfcBaseOptionsSetFlags(RFC_BASE_OPTIONS **opt, PB_INT flags) RFC___NOEXCEPT;
RFC_API void rfcBaseOptionsSetFlagsDefault(RFC_BASE_OPTIONS **opt) RFC___NOEXCEPT;

RFC_API PB_INT rfcBaseOptionsOutputNlf(RFC_BASE_OPTIONS *opt) RFC___NOEXCEPT;
RFC_API PB_BOOL rfcBaseOptionsOutputNlfDefault(RFC_BASE_OPTIONS *opt) RFC___NOEXCEPT;
/* Keeps the first of the bits LF, CR, CR LF, VT, FF set in nlf, or 0. */
RFC_API void rfcBaseOptionsSetOutputNlf(RFC_BASE_OPTIONS **opt, PB_INT nlf) RFC___NOEXCEPT;
RFC_API void rfcBaseOptionsSetOutputNlfDefault(RFC_BASE_OPTIONS **opt) RFC___NOEXCEPT;

RFC_API PB_INT rfcBaseOptionsOutputLineLength(RFC_BASE_OPTIONS *opt) RFC___NOEXCEPT;
RFC_API PB_BOOL rfcBaseOptionsHasOutputLineLength(RFC_BASE_OPTIONS *opt) RFC___NOEXCEPT;
/* lineLength must be at least 1. */
RFC_API void rfcBaseOptionsSetOutputLineLength(RFC_BASE_OPTIONS **opt, PB_INT lineLength) RFC___NOEXCEPT;
RFC_API void rfcBaseOptionsDelOutputLineLength(RFC_BASE_OPTIONS **opt) RFC___NOEXCEPT;
RFC_API PB_BOOL rfcBaseOptionsOutputLineLengthDefault(RFC_BASE_OPTIONS *opt) RFC___NOEXCEPT;
RFC_API void rfcBaseOptionsSetOutputLineLengthDefault(RFC_BASE_OPTIONS **opt) RFC___NOEXCEPT;

/* A new store with the settings that do not hold their default (all of
 * them when full is true) under "flags", "outputNlf", "outputLineLength". */
RFC_API PB_STORE *rfcBaseOptionsStore(RFC_BASE_OPTIONS *opt, PB_BOOL full) RFC___NOEXCEPT;
/* A new options object: the defaults, changed by each key of the store. */
RFC_API RFC_BASE_OPTIONS *rfcBaseOptionsRestore(PB_STORE *store) RFC___NOEXCEPT;

/* Encoding: a new buffer of ASCII characters (never null), or a new string
 * of the same characters. */
RFC_API PB_BUFFER *rfcBaseEncodeWithOptions(PB_BUFFER *source, PB_INT encoding, RFC_BASE_OPTIONS *opt) RFC___NOEXCEPT;
RFC_API PB_BUFFER *rfcBaseEncode(PB_BUFFER *source, PB_INT encoding) RFC___NOEXCEPT;
RFC_API PB_STRING *rfcBaseEncodeToStringWithOptions(PB_BUFFER *source, PB_INT encoding,
    RFC_BASE_OPTIONS *opt) RFC___NOEXCEPT;
RFC_API PB_STRING *rfcBaseEncodeToString(PB_BUFFER *source, PB_INT encoding) RFC___NOEXCEPT;

/* Decoding: a new buffer with the bytes, or null when the text is malformed
 * under the flags. */
RFC_API PB_BUFFER *rfcBaseTryDecodeWithOptions(PB_BUFFER *source, PB_INT encoding,
    RFC_BASE_OPTIONS *opt) RFC___NOEXCEPT;
RFC_API PB_BUFFER *rfcBaseTryDecode(PB_BUFFER *source, PB_INT encoding) RFC___NOEXCEPT;
RFC_API PB_BUFFER *rfcBaseTryDecodeWithFlags(PB_BUFFER *source, PB_INT encoding, PB_INT flags) RFC___NOEXCEPT;
RFC_API PB_BUFFER *rfcBaseTryDecodeStringWithOptions(PB_STRING *string, PB_INT encoding,
    RFC_BASE_OPTIONS *opt) RFC___NOEXCEPT;
RFC_API PB_BUFFER *rfcBaseTryDecodeString(PB_STRING *string, PB_INT encoding) RFC___NOEXCEPT;
RFC_API PB_BUFFER *rfcBaseTryDecodeStringWithFlags(PB_STRING *string, PB_INT encoding, PB_INT flags) RFC___NOEXCEPT;

/* Refusal reasons: where and why the decoder refused a text. The two
 * functions give exactly the result of rfcBaseTryDecodeWithOptions and
 * rfcBaseTryDecodeStringWithOptions; refusal may be null, and it is written
 * only when the result is null. Finding the accepting flags decodes the
 * text again under sets of further flags, so it costs time on refusal only;
 * a successful call costs what the plain one does. */
typedef struct RFC_BASE_DECODE_REFUSAL {
    PB_INT offset;          /* offset in the text of the first character the decoder refused
                               (bytes for buffers, code points for strings); the text's length when
                               the text ended too early or its last group was refused */
    PB_INT acceptingFlags;  /* a smallest set of RFC_BASE_FLAG_DECODE_... flags that, added to the
                               flags in force, makes the decoder accept the whole text; -1 when no
                               set of decode flags would */
} RFC_BASE_DECODE_REFUSAL;
RFC_API PB_BUFFER *rfcBaseTryDecodeWithRefusal(PB_BUFFER *source, PB_INT encoding,
    RFC_BASE_OPTIONS *opt, RFC_BASE_DECODE_REFUSAL *refusal) RFC___NOEXCEPT;
RFC_API PB_BUFFER *rfcBaseTryDecodeStringWithRefusal(PB_STRING *string, PB_INT encoding,
    RFC_BASE_OPTIONS *opt, RFC_BASE_DECODE_REFUSAL *refusal) RFC___NOEXCEPT;

/* Streaming (an extension beside the one-call functions above): input in
 * pieces of any size, output handed back as soon as it is final, the same
 * bytes in all as the one-call function gives for the whole input. A stream
 * keeps less than a group of input when encoding, whatever the line length;
 * when decoding, the text after the last whole group of alphabet characters
 * that is not followed by padding: a few bytes in well-formed text; a long
 * run of padding or of bytes outside the alphabet inside a group is held
 * compacted (what the decoder skips, and padding past one more than a
 * group, is dropped), so memory stays bounded. A stream is
 * used by one thread at a time; Finish ends the input once, then Free.
 *
 * Decoding cannot take back what it handed out: on malformed text the
 * stream hands out the bytes decoded before the fault (up to the last whole
 * group in front of it) and nothing after it, and rfcBaseDecodeStreamRefusal
 * reports the refusal as rfcBaseTryDecodeWithRefusal does for the whole
 * text: the offset of the first fault, and flags that make the decoder
 * accept the whole text (-1: none do). To find those the stream goes on
 * reading the text it is given; a caller that needs only the offset, or
 * sees acceptingFlags -1, may stop feeding it. */
typedef struct RFC_BASE_ENCODE_STREAM RFC_BASE_ENCODE_STREAM;
typedef struct RFC_BASE_DECODE_STREAM RFC_BASE_DECODE_STREAM;

/* A new stream; opt is borrowed (the stream holds its own reference). */
RFC_API RFC_BASE_ENCODE_STREAM *rfcBaseEncodeStreamCreate(PB_INT encoding, RFC_BASE_OPTIONS *opt) RFC___NOEXCEPT;
/* Copies the bytes in; a new buffer with the text that is final (maybe empty). */
RFC_API PB_BUFFER *rfcBaseEncodeStreamWrite(RFC_BASE_ENCODE_STREAM *stream, const PB_BYTE *bytes,
    PB_INT byteCount) RFC___NOEXCEPT;
/* Ends the input: a new buffer with the rest, trailing newline included. */
RFC_API PB_BUFFER *rfcBaseEncodeStreamFinish(RFC_BASE_ENCODE_STREAM *stream) RFC___NOEXCEPT;
/* Frees the stream and what it holds; null is allowed. */
RFC_API void rfcBaseEncodeStreamFree(RFC_BASE_ENCODE_STREAM *stream) RFC___NOEXCEPT;

RFC_API RFC_BASE_DECODE_STREAM *rfcBaseDecodeStreamCreate(PB_INT encoding, RFC_BASE_OPTIONS *opt) RFC___NOEXCEPT;
/* Copies the text in; a new buffer with the bytes that are final (maybe
 * empty, and always empty once the stream has refused). */
RFC_API PB_BUFFER *rfcBaseDecodeStreamWrite(RFC_BASE_DECODE_STREAM *stream, const PB_BYTE *bytes,
    PB_INT byteCount) RFC___NOEXCEPT;
/* Ends the text: a new buffer with the rest of the bytes (the checks of the
 * last group happen here). */
RFC_API PB_BUFFER *rfcBaseDecodeStreamFinish(RFC_BASE_DECODE_STREAM *stream) RFC___NOEXCEPT;
/* False while the text is accepted; true after a refusal, which is then
 * written to *refusal (not null). */
RFC_API PB_BOOL rfcBaseDecodeStreamRefusal(RFC_BASE_DECODE_STREAM *stream,
    RFC_BASE_DECODE_REFUSAL *refusal) RFC___NOEXCEPT;
RFC_API void rfcBaseDecodeStreamFree(RFC_BASE_DECODE_STREAM *stream) RFC___NOEXCEPT;

/* Called only by the module's startup and shutdown. */
RFC_API void rfc___BaseEncodingStartup(void) RFC___NOEXCEPT;
RFC_API void rfc___BaseEncodingShutdown(void) RFC___NOEXCEPT;
RFC_API void rfc___BaseFlagsStartup(void) RFC___NOEXCEPT;
RFC_API void rfc___BaseFlagsShutdown(void) RFC___NOEXCEPT;

PB___END_DECLS

#endif
