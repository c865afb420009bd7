/* Enumerations, flag sets and newline flags.
 *
 * An enumeration maps names to values. A flag set maps names to bits; its
 * text is the names of the set bits joined by ", " in bit order, and its
 * parser reads names separated by commas and/or white space, ignoring names
 * it does not know. */
#ifndef PB_ENUM_H
#define PB_ENUM_H

#include "pb_obj.h"

PB___BEGIN_DECLS

PB_API const PB_SORT *pbEnumSort(void) PB___NOEXCEPT;
PB_API PB_OBJ *pbEnumObj(PB_ENUM *e) PB___NOEXCEPT;
PB_API PB_ENUM *pbEnumCreate(void) PB___NOEXCEPT;
PB_API void pbEnumSetEnumerantCstr(PB_ENUM **e, const char *name, PB_INT nameLength, PB_INT value) PB___NOEXCEPT;
/* The value of the name, or -1 when no enumerant has that name. */
PB_API PB_INT pbEnumParse(PB_ENUM *e, PB_STRING *name) PB___NOEXCEPT;
/* The name of the value (the first one set), or its decimal text. */
PB_API PB_STRING *pbEnumGenerate(PB_ENUM *e, PB_INT value) PB___NOEXCEPT;

PB_API const PB_SORT *pbFlagsetSort(void) PB___NOEXCEPT;
PB_API PB_OBJ *pbFlagsetObj(PB_FLAGSET *f) PB___NOEXCEPT;
PB_API PB_FLAGSET *pbFlagsetCreate(void) PB___NOEXCEPT;
PB_API void pbFlagsetSetFlagCstr(PB_FLAGSET **f, const char *name, PB_INT nameLength, PB_INT bit) PB___NOEXCEPT;
PB_API PB_BOOL pbFlagsetHasFlagCstr(PB_FLAGSET *f, const char *name, PB_INT nameLength) PB___NOEXCEPT;
PB_API PB_INT pbFlagsetParse(PB_FLAGSET *f, PB_STRING *text) PB___NOEXCEPT;
PB_API PB_STRING *pbFlagsetGenerate(PB_FLAGSET *f, PB_INT flags) PB___NOEXCEPT;

#define PB_NLF_FLAG_LF 0x01
#define PB_NLF_FLAG_CR 0x02
#define PB_NLF_FLAG_CRLF 0x04
#define PB_NLF_FLAG_NEL 0x08
#define PB_NLF_FLAG_VT 0x10
#define PB_NLF_FLAG_FF 0x20
#define PB_NLF_FLAG_LS 0x40
#define PB_NLF_FLAG_PS 0x80

/* Names "PB_NLF_FLAG_LF" ... "PB_NLF_FLAG_PS", joined and parsed like a flag
 * set. */
PB_API PB_STRING *pbNlfFlagsToString(PB_INT flags) PB___NOEXCEPT;
PB_API PB_INT pbNlfFlagsFromString(PB_STRING *text) PB___NOEXCEPT;

PB___END_DECLS

#endif
