/* Basic types of the pb runtime: integers, booleans, code points, bytes and
 * the opaque object types. Compiles as C and as C++. */
#ifndef PB_TYPES_H
#define PB_TYPES_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
#define PB___EXTERN_C extern "C"
#define PB___BEGIN_DECLS extern "C" {
#define PB___END_DECLS }
#else
#define PB___EXTERN_C
#define PB___BEGIN_DECLS
#define PB___END_DECLS
#endif

/* Runtime functions never let a C++ exception out. */
#ifdef __cplusplus
#define PB___NOEXCEPT noexcept
#else
#define PB___NOEXCEPT
#endif

#if defined(PB___BUILDING)
#define PB_API __attribute__((visibility("default")))
#else
#define PB_API
#endif

typedef int64_t PB_INT;  /* every integer of the runtime */
typedef int32_t PB_BOOL; /* 0 or 1 */
typedef int32_t PB_CHAR; /* a Unicode code point */
typedef uint8_t PB_BYTE;

#define PB_TRUE 1
#define PB_FALSE 0
#define PB_INT_MAX INT64_MAX
#define PB_INT_MIN INT64_MIN

/* True when a + b does not overflow a PB_INT. */
#define PB_INT_ADD_OK(a, b) \
    (((b) >= 0) ? ((a) <= PB_INT_MAX - (b)) : ((a) >= PB_INT_MIN - (b)))

typedef struct PB_OBJ PB_OBJ;
typedef struct PB_SORT PB_SORT;
typedef struct PB_MODULE PB_MODULE;
typedef struct PB_STRING PB_STRING;
typedef struct PB_BUFFER PB_BUFFER;
typedef struct PB_VECTOR PB_VECTOR;
typedef struct PB_DICT PB_DICT;
typedef struct PB_BOXED_INT PB_BOXED_INT;
typedef struct PB_ENUM PB_ENUM;
typedef struct PB_FLAGSET PB_FLAGSET;
typedef struct PB_STORE PB_STORE;

#endif
