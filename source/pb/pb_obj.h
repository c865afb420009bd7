/* Reference-counted objects, sorts, modules and the abort facility.
 *
 * Every runtime object begins with a PB___OBJ_HEADER. Objects made by
 * pb___ObjCreate live on the heap and are freed when their last reference is
 * released; static objects (sorts, module objects) carry a header whose
 * staticMark word has all bits set and are never freed. */
#ifndef PB_OBJ_H
#define PB_OBJ_H

#include "pb_types.h"

PB___BEGIN_DECLS

/* Ten 64-bit words, the same for heap and static objects. */
typedef struct PB___OBJ_HEADER {
    PB_INT kind;           /* 0 heap object, 1 sort, 2 module object */
    const PB_SORT *sort;   /* the object's sort; null in static objects */
    PB_INT staticMark;     /* all bits set in static objects, 0 otherwise */
    PB_INT refCount;       /* changed only atomically */
    PB_INT reserved[6];
} PB___OBJ_HEADER;

#define PB___OBJ_KIND_HEAP 0
#define PB___OBJ_KIND_SORT 1
#define PB___OBJ_KIND_MODULE 2

/* The header of an object that lives in static data. */
#define PB___OBJ_STATIC_HEADER(kind) { (kind), 0, -1, 1, { 0, 0, 0, 0, 0, 0 } }

typedef void (*PB___OBJ_FREE_FUNC)(PB_OBJ *obj);
typedef PB_INT (*PB___OBJ_COMPARE_FUNC)(PB_OBJ *a, PB_OBJ *b);

/* Twenty 64-bit words: the header, the owning module, the name, the free and
 * compare functions (either may be null) and six null words. */
struct PB_SORT {
    PB___OBJ_HEADER header;
    const PB_MODULE *module;
    const char *name;
    PB___OBJ_FREE_FUNC freeFunc;
    PB___OBJ_COMPARE_FUNC compareFunc;
    const void *reserved[6];
};

typedef PB_BOOL (*PB___MODULE_STARTUP_FUNC)(void);
typedef void (*PB___MODULE_SHUTDOWN_FUNC)(void);

/* Nineteen 64-bit words: the header, the module record, the startup
 * function, a null word, the shutdown function and five null words. */
struct PB_MODULE {
    PB___OBJ_HEADER header;
    const void *record;
    PB___MODULE_STARTUP_FUNC startup;
    const void *reserved0;
    PB___MODULE_SHUTDOWN_FUNC shutdown;
    const void *reserved1[5];
};

/* Module record, fourteen 64-bit words. The dependency list ends at the first
 * empty name. */
typedef struct PB_MODULE_RECORD {
    PB_INT format;
    const char *productId;
    const char *productName;
    PB_INT productVersionMajor;
    PB_INT productVersionMinor;
    PB_INT productVersionPatch;
    const char *buildTime;
    const char *vendor;
    const char *legalNotice;
    const char *moduleName;
    const char *moduleDescription;
    const char *moduleVersion;
    const char *dependencies[2];
} PB_MODULE_RECORD;

/* Writes one line to standard error with the tag (unless null), the file,
 * the line and the failed condition, then aborts the process:
 * "[tag] file:line: contract violation: condition". With the tag
 * PB___ABORT_TAG_OUT_OF_MEMORY the line reads instead
 * "file:line: out of memory: condition", the condition saying how many bytes
 * were asked for: memory ran out, which is no caller's fault. */
#define PB___ABORT_TAG_OUT_OF_MEMORY "out of memory"
PB_API void pb___Abort(const char *tag, const char *file, PB_INT line, const char *condition) PB___NOEXCEPT
    __attribute__((noreturn));

/* Allocates size bytes (at least the header) with reference count 1, owned
 * by the caller. The bytes after the header are not initialised. */
PB_API PB_OBJ *pb___ObjCreate(PB_INT size, const PB_SORT *sort) PB___NOEXCEPT;
/* Runs the sort's free function, then frees the memory. Called by release
 * when the last reference goes. */
PB_API void pb___ObjFree(PB_OBJ *obj) PB___NOEXCEPT;

/* Adds a reference; obj must not be null. Returns obj. */
PB_API PB_OBJ *pbObjRetain(PB_OBJ *obj) PB___NOEXCEPT;
/* Drops a reference, freeing the object with its last; null is skipped. */
PB_API void pbObjRelease(PB_OBJ *obj) PB___NOEXCEPT;
/* The current reference count, read atomically. */
PB_API PB_INT pbObjRefCount(PB_OBJ *obj) PB___NOEXCEPT;
PB_API const PB_SORT *pbObjSort(PB_OBJ *obj) PB___NOEXCEPT;
/* Orders two objects: by the sort's compare function when both share a sort
 * that has one, otherwise by sort name, then by address. Negative, 0 or
 * positive. Neither may be null. */
PB_API PB_INT pbObjCompare(PB_OBJ *a, PB_OBJ *b) PB___NOEXCEPT;
PB_API PB_BOOL pbObjEquals(PB_OBJ *a, PB_OBJ *b) PB___NOEXCEPT;
/* A new string: the text of strings and boxed integers, the contents of
 * other runtime types, and "<SORTNAME@address>" for other sorts. */
PB_API PB_STRING *pbObjToString(PB_OBJ *obj) PB___NOEXCEPT;
/* Number of heap objects alive in the process (created and not yet freed),
 * as it stands at one moment during the call, whatever other threads make
 * and free meanwhile: never negative, never below the objects alive
 * throughout the call, never above those alive at some moment of it. Costs
 * a barrier on every thread of the process: for monitors and tests, not for
 * hot paths. */
PB_API PB_INT pbObjLiveCount(void) PB___NOEXCEPT;
PB_API const char *pbSortName(const PB_SORT *sort) PB___NOEXCEPT;

/* Starts a module as the runtime's loader does: checks that every
 * dependency is "pb", then calls its startup function. Returns its result. */
PB_API PB_BOOL pbModuleStartup(const PB_MODULE *module) PB___NOEXCEPT;
PB_API void pbModuleShutdown(const PB_MODULE *module) PB___NOEXCEPT;
PB_API const PB_MODULE_RECORD *pbModuleRecord(const PB_MODULE *module) PB___NOEXCEPT;

PB___END_DECLS

#endif
