/* Internal entry point of the runtime's normalisation for the library's own
 * string builders: normalises code points the caller has in hand (a scratch
 * array of its own) straight into a new string, with no string for the
 * input and no second one for the result. */
#ifndef PB_STRING_NORMALIZE_CHARS_H
#define PB_STRING_NORMALIZE_CHARS_H

#include "pb_string.h"

PB___BEGIN_DECLS

/* A new string, owned by the caller, holding the normal form (form 1:
 * PB_STRING_NORMALIZE_NFKC, the only form) of chars[0..count), which is only
 * read. Gives the same code points as pbStringNormalize on a string of
 * them. chars may be null when count is 0. When normal is not null it
 * receives whether the code points were in normal form already (the string
 * then holds them as they are), so that a caller who has examined them need
 * not do so again. */
PB_API PB_STRING *pb___StringCreateNormalizedFromChars(const PB_CHAR *chars, PB_INT count, PB_INT form,
    PB_BOOL *normal) PB___NOEXCEPT;

/* As pb___StringCreateNormalizedFromChars, telling instead how much of the
 * input the string holds as it is: *head receives the number of leading
 * code points and *tail the number of trailing code points that are copied
 * unchanged, so that the string is chars[0..head), then code points that
 * may differ, then the last tail code points of chars. *head is count when
 * the code points were in normal form already (then *tail is 0); otherwise
 * head + tail < count. head and tail must not be null. */
PB_API PB_STRING *pb___StringCreateNormalizedFromCharsKept(const PB_CHAR *chars, PB_INT count, PB_INT form,
    PB_INT *head, PB_INT *tail) PB___NOEXCEPT;

PB___END_DECLS

#endif
