/* Unicode predicates, integer helpers and memory. */
#ifndef PB_UTIL_H
#define PB_UTIL_H

#include "pb_types.h"

PB___BEGIN_DECLS

/* U+000A..U+000D, U+0085, U+2028, U+2029. */
PB_API PB_BOOL pbUnicodeIsNlf(PB_CHAR c);
/* Unicode's White_Space property. */
PB_API PB_BOOL pbUnicodeIsWhiteSpace(PB_CHAR c);

PB_API PB_INT pbIntMin(PB_INT a, PB_INT b);
PB_API PB_INT pbIntMax(PB_INT a, PB_INT b);
/* Position of the highest set bit of the 64-bit pattern (63 for negative
 * values), -1 for 0. */
PB_API PB_INT pbIntBitHighest(PB_INT x);

/* Memory that runtime objects may take over. pbMemAlloc never returns null
 * (it aborts when memory runs out); a size of 0 gives a valid pointer. */
PB_API void *pbMemAlloc(PB_INT size);
PB_API void *pbMemRealloc(void *p, PB_INT size);
PB_API void pbMemFree(void *p);
PB_API void pbMemSet(void *p, PB_BYTE byte, PB_INT count);

PB___END_DECLS

#endif
