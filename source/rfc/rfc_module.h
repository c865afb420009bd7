/* The rfc module: its module object and record, startup and shutdown.
 *
 * The runtime starts the module pb first, then rfc (rfc___ModuleStartup);
 * no other function of the library may be called before startup has
 * returned or after shutdown. Compiles as C and as C++. */
#ifndef RFC_MODULE_H
#define RFC_MODULE_H

#include "../pb/pb.h"

#if defined(RFC___BUILDING)
#define RFC_API __attribute__((visibility("default")))
#else
#define RFC_API
#endif

/* Exported functions never let a C++ exception out: noexcept in C++,
 * nothing in C. Each definition repeats it as noexcept. */
#ifdef __cplusplus
#define RFC___NOEXCEPT noexcept
#else
#define RFC___NOEXCEPT
#endif

/* Declares the eight standard object functions of a type. */
#define RFC___DECLARE_STDFUNCS_C(prefix, Type)                            \
    RFC_API const PB_SORT *prefix##Sort(void) RFC___NOEXCEPT;             \
    RFC_API Type *prefix##Retain(Type *obj) RFC___NOEXCEPT;               \
    RFC_API void prefix##Release(Type *obj) RFC___NOEXCEPT;               \
    RFC_API PB_OBJ *prefix##Obj(Type *obj) RFC___NOEXCEPT;                \
    RFC_API Type *prefix##From(PB_OBJ *obj) RFC___NOEXCEPT;               \
    RFC_API PB_STRING *prefix##ToString(Type *obj) RFC___NOEXCEPT;        \
    RFC_API PB_INT prefix##Compare(Type *objA, Type *objB) RFC___NOEXCEPT; \
    RFC_API PB_BOOL prefix##Equals(Type *objA, Type *objB) RFC___NOEXCEPT

PB___BEGIN_DECLS

RFC_API extern const PB_MODULE rfc___module;
RFC_API extern const PB_MODULE_RECORD rfc___module_record;
RFC_API extern const char *const rfc___module_version_string;

RFC_API const PB_MODULE *rfcModule(void) RFC___NOEXCEPT;
RFC_API PB_BOOL rfc___ModuleStartup(void) RFC___NOEXCEPT;
RFC_API void rfc___ModuleShutdown(void) RFC___NOEXCEPT;

PB___END_DECLS

#endif
