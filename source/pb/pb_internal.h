// Internals shared by the runtime's own source files.
#ifndef PB_INTERNAL_H
#define PB_INTERNAL_H

#include "pb_cpp.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <new>

namespace pb::internal {

inline PB___OBJ_HEADER *header(void *obj) noexcept
{
    return static_cast<PB___OBJ_HEADER *>(obj);
}

inline bool isStatic(const void *obj) noexcept
{
    return static_cast<const PB___OBJ_HEADER *>(obj)->staticMark != 0;
}

// One of the runtime's own sorts, in static data.
#define PB___DEFINE_SORT(symbol, name, freeFunc, compareFunc)                       \
    constinit const PB_SORT symbol = { PB___OBJ_STATIC_HEADER(PB___OBJ_KIND_SORT), \
        nullptr, (name), (freeFunc), (compareFunc),                                 \
        { nullptr, nullptr, nullptr, nullptr, nullptr, nullptr } }

// Copy-on-write: when *ref is shared, replaces it by copy(*ref) and drops the
// caller's hold on the original. Returns the object now safe to change.
template <class T, class Copy>
inline T *writable(T **ref, Copy copy)
{
    // The count read as pbObjRefCount reads it, without the call through the
    // library's exported entry on every change.
    if (std::atomic_ref<PB_INT>(header(*ref)->refCount).load(std::memory_order_seq_cst) > 1) {
        T *fresh = copy(*ref);
        pbObjRelease(reinterpret_cast<PB_OBJ *>(*ref));
        *ref = fresh;
    }
    return *ref;
}

// Releases each of objs[0..count), as pbObjRelease does, in one loop: for
// containers that drop all their elements at once.
void releaseEach(PB_OBJ *const *objs, PB_INT count);

// Growth policy of strings, buffers and vectors: at least double.
inline PB_INT grownCapacity(PB_INT capacity, PB_INT needed)
{
    PB_INT doubled = capacity > PB_INT_MAX / 2 ? PB_INT_MAX : capacity * 2;
    PB_INT result = doubled > needed ? doubled : needed;
    return result < 16 ? 16 : result;
}

// A T made in memory from pbMemAlloc, and its end: for the containers that
// objects hold, so that running out of memory takes the runtime's own path
// rather than throwing.
template <class T, class... Args>
T *make(Args &&...args) noexcept
{
    return ::new (pbMemAlloc(PB_INT(sizeof(T)))) T(std::forward<Args>(args)...);
}

template <class T>
void destroy(T *p) noexcept
{
    if (p) {
        p->~T();
        pbMemFree(p);
    }
}

// The decimal form of value.
inline pb::Text decimal(PB_INT value)
{
    char digits[24];
    int length = std::snprintf(digits, sizeof digits, "%lld", static_cast<long long>(value));
    return pb::Text(digits, static_cast<std::size_t>(length));
}

// Text helpers used by the enumerations, flag sets and stores.
pb::Text nameText(const char *name, PB_INT nameLength);
pb::Text stringToStd(PB_STRING *s); // UTF-8

} // namespace pb::internal

#endif
