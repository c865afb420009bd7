/* Strings of Unicode code points and byte buffers.
 *
 * A string holds code points only: values 0 to 0x10FFFF (surrogates
 * included). Every function that takes code points from its caller
 * (pbStringCreateFromCharsCopy, pbStringCreateFromCharsUse,
 * pbStringAppendChar, pbStringAppendChars, pbStringPrependChar) ends the
 * process through pb___Abort when given any other value, with the condition
 * "c >= 0 && c <= 0x10FFFF" for one code point and
 * "codePointsOnly( chars, count )" for an array. The UTF-8 readers make code
 * points only.
 *
 * Both grow in place (amortised doubling) while their caller holds the only
 * reference; a setter that receives a shared object copies it first and
 * stores the copy in the caller's reference (copy-on-write). */
#ifndef PB_STRING_H
#define PB_STRING_H

#include "pb_obj.h"

PB___BEGIN_DECLS

PB_API const PB_SORT *pbStringSort(void) PB___NOEXCEPT;
PB_API PB_OBJ *pbStringObj(PB_STRING *s) PB___NOEXCEPT;
PB_API PB_STRING *pbStringFrom(PB_OBJ *obj) PB___NOEXCEPT; /* null gives null; another sort aborts */

PB_API PB_STRING *pbStringCreate(void) PB___NOEXCEPT;
/* UTF-8 text; length -1 reads up to the NUL. Malformed sequences become
 * U+FFFD, one per offending byte. */
PB_API PB_STRING *pbStringCreateFromCstr(const char *utf8, PB_INT length) PB___NOEXCEPT;
/* Strict UTF-8 (no surrogates, no overlongs, nothing above U+10FFFF): null
 * when the bytes are not well formed. */
PB_API PB_STRING *pbStringTryCreateFromUtf8(const PB_BYTE *bytes, PB_INT length) PB___NOEXCEPT;
/* Each byte becomes the code point of its value. */
PB_API PB_STRING *pbStringCreateFromAscii(const PB_BYTE *bytes, PB_INT count) PB___NOEXCEPT;
PB_API PB_STRING *pbStringCreateFromCharsCopy(const PB_CHAR *chars, PB_INT count) PB___NOEXCEPT;
/* Takes over chars, which must come from pbMemAlloc. */
PB_API PB_STRING *pbStringCreateFromCharsUse(PB_CHAR *chars, PB_INT count) PB___NOEXCEPT;

PB_API PB_INT pbStringLength(PB_STRING *s) PB___NOEXCEPT;
/* The code points; valid until the string is changed or released. */
PB_API const PB_CHAR *pbStringBacking(PB_STRING *s) PB___NOEXCEPT;
PB_API PB_CHAR pbStringCharAt(PB_STRING *s, PB_INT index) PB___NOEXCEPT;
PB_API PB_BOOL pbStringEqualsCstr(PB_STRING *s, const char *ascii) PB___NOEXCEPT;

PB_API void pbStringAppend(PB_STRING **s, PB_STRING *tail) PB___NOEXCEPT;
PB_API void pbStringAppendChar(PB_STRING **s, PB_CHAR c) PB___NOEXCEPT;
PB_API void pbStringAppendChars(PB_STRING **s, const PB_CHAR *chars, PB_INT count) PB___NOEXCEPT;
PB_API void pbStringAppendCstr(PB_STRING **s, const char *utf8, PB_INT length) PB___NOEXCEPT;
PB_API void pbStringPrependChar(PB_STRING **s, PB_CHAR c) PB___NOEXCEPT;
PB_API void pbStringDelLeading(PB_STRING **s, PB_INT count) PB___NOEXCEPT;
PB_API void pbStringDelTrailing(PB_STRING **s, PB_INT count) PB___NOEXCEPT;

#define PB_STRING_NORMALIZE_NFKC 1
/* Replaces *s by its normal form (form 1: NFKC over Unicode 3.2). */
PB_API void pbStringNormalize(PB_STRING **s, PB_INT form) PB___NOEXCEPT;

/* New bytes from pbMemAlloc, one per code point, owned by the caller (free
 * with pbMemFree); *count receives their number. Code points up to 0xFF are
 * their own byte; any other becomes 0xFF. flags must be 0. */
PB_API PB_BYTE *pbStringConvertToAscii(PB_STRING *s, PB_INT flags, PB_INT *count) PB___NOEXCEPT;
/* New NUL-terminated UTF-8 from pbMemAlloc; *length (when not null)
 * receives its length without the NUL. Surrogates become U+FFFD. */
PB_API char *pbStringConvertToUtf8(PB_STRING *s, PB_INT *length) PB___NOEXCEPT;

PB_API const PB_SORT *pbBufferSort(void) PB___NOEXCEPT;
PB_API PB_OBJ *pbBufferObj(PB_BUFFER *b) PB___NOEXCEPT;
PB_API PB_BUFFER *pbBufferFrom(PB_OBJ *obj) PB___NOEXCEPT;

PB_API PB_BUFFER *pbBufferCreate(void) PB___NOEXCEPT;
PB_API PB_BUFFER *pbBufferCreateFromBytesCopy(const PB_BYTE *bytes, PB_INT count) PB___NOEXCEPT;
/* Takes over bytes, which must come from pbMemAlloc (null with count 0 is
 * allowed). */
PB_API PB_BUFFER *pbBufferCreateFromBytesUse(PB_BYTE *bytes, PB_INT count) PB___NOEXCEPT;
PB_API PB_INT pbBufferLength(PB_BUFFER *b) PB___NOEXCEPT;
PB_API const PB_BYTE *pbBufferBacking(PB_BUFFER *b) PB___NOEXCEPT;
PB_API void pbBufferAppendByte(PB_BUFFER **b, PB_BYTE byte) PB___NOEXCEPT;
PB_API void pbBufferAppendBytes(PB_BUFFER **b, const PB_BYTE *bytes, PB_INT count) PB___NOEXCEPT;
PB_API void pbBufferDelTrailing(PB_BUFFER **b, PB_INT count) PB___NOEXCEPT;

PB___END_DECLS

#endif
