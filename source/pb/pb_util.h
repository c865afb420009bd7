/* Unicode predicates, integer helpers and memory. */
#ifndef PB_UTIL_H
#define PB_UTIL_H

#include "pb_types.h"

PB___BEGIN_DECLS

/* U+000A..U+000D, U+0085, U+2028, U+2029. */
PB_API PB_BOOL pbUnicodeIsNlf(PB_CHAR c) PB___NOEXCEPT;
/* Unicode's White_Space property. */
PB_API PB_BOOL pbUnicodeIsWhiteSpace(PB_CHAR c) PB___NOEXCEPT;

PB_API PB_INT pbIntMin(PB_INT a, PB_INT b) PB___NOEXCEPT;
PB_API PB_INT pbIntMax(PB_INT a, PB_INT b) PB___NOEXCEPT;
/* Position of the highest set bit of the 64-bit pattern (63 for negative
 * values), -1 for 0. */
PB_API PB_INT pbIntBitHighest(PB_INT x) PB___NOEXCEPT;

/* Memory that runtime objects may take over. pbMemAlloc and pbMemRealloc
 * never return null: when memory runs out they end the process through
 * pb___Abort with the tag PB___ABORT_TAG_OUT_OF_MEMORY and the number of
 * bytes asked for ("out of memory: 40 bytes asked for"). A size of 0 gives a
 * valid pointer; a negative size is a contract violation. */
PB_API void *pbMemAlloc(PB_INT size) PB___NOEXCEPT;
PB_API void *pbMemRealloc(void *p, PB_INT size) PB___NOEXCEPT;
PB_API void pbMemFree(void *p) PB___NOEXCEPT;
/* Object blocks kept for reuse. Each thread keeps the blocks of objects it
 * frees (up to 504 bytes each, 256 KiB in all per thread) for the next
 * objects it makes, and all threads together keep at most 512 KiB: a thread
 * takes room for its blocks from that budget as its cache grows and returns
 * it as its cache empties. A block freed beyond either bound goes back to
 * the C library, and so do a thread's blocks when it ends. pbMemTrim gives
 * back at once every block the calling thread keeps, and its room: a thread
 * about to sit idle for long may call it, and threads that sit idle with
 * full caches leave the others less room until they do. pbMemKeptBytes
 * answers how many bytes all threads keep together. */
PB_API void pbMemTrim(void) PB___NOEXCEPT;
PB_API PB_INT pbMemKeptBytes(void) PB___NOEXCEPT;
PB_API void pbMemSet(void *p, PB_BYTE byte, PB_INT count) PB___NOEXCEPT;

PB___END_DECLS

#endif
