// Internal frame shared by the families: sort definitions, the eight
// standard object functions and the helpers for process-wide slots.
#ifndef RFC_FRAME_H
#define RFC_FRAME_H

#include "../pb/pb_cpp.h"
#include "rfc_module.h"

#include <cstdint>

// A sort descriptor in static data, owned by the rfc module.
#define RFC___DEFINE_SORT(symbol, name, freeFunc, compareFunc)             \
    extern "C" RFC_API const PB_SORT symbol = {                            \
        PB___OBJ_STATIC_HEADER(PB___OBJ_KIND_SORT), &rfc___module, (name), \
        (freeFunc), (compareFunc), { nullptr, nullptr, nullptr, nullptr, nullptr, nullptr } }

// The eight standard object functions of a type. Expanded in the type's own
// source file, so that violations name that file.
#define RFC___DEFINE_STDFUNCS(prefix, Type, sortSymbol)                                   \
    extern "C" RFC_API const PB_SORT *prefix##Sort(void) noexcept { return &sortSymbol; } \
    extern "C" RFC_API Type *prefix##Retain(Type *obj) noexcept                           \
    {                                                                                     \
        PB_ASSERT_TAG("stdfunc retain", obj);                                             \
        pbObjRetain(reinterpret_cast<PB_OBJ *>(obj));                                     \
        return obj;                                                                       \
    }                                                                                     \
    extern "C" RFC_API void prefix##Release(Type *obj) noexcept                           \
    {                                                                                     \
        PB_ASSERT_TAG("stdfunc release", obj);                                            \
        pbObjRelease(reinterpret_cast<PB_OBJ *>(obj));                                    \
    }                                                                                     \
    extern "C" RFC_API PB_OBJ *prefix##Obj(Type *obj) noexcept { return reinterpret_cast<PB_OBJ *>(obj); } \
    extern "C" RFC_API Type *prefix##From(PB_OBJ *obj) noexcept                           \
    {                                                                                     \
        /* The sort read from the header directly, without a call. */                   \
        if (!(!obj || reinterpret_cast<PB___OBJ_HEADER *>(obj)->sort == &sortSymbol)) [[unlikely]] \
            pb___Abort("stdfunc from", PB___SOURCE_FILE, __LINE__,                        \
                "!obj || pbObjSort(obj)==&" #sortSymbol);                                 \
        return reinterpret_cast<Type *>(obj);                                             \
    }                                                                                     \
    extern "C" RFC_API PB_STRING *prefix##ToString(Type *obj) noexcept                    \
    {                                                                                     \
        PB_ASSERT_TAG("stdfunc tostring", obj);                                           \
        return pbObjToString(reinterpret_cast<PB_OBJ *>(obj));                            \
    }                                                                                     \
    extern "C" RFC_API PB_INT prefix##Compare(Type *objA, Type *objB) noexcept            \
    {                                                                                     \
        PB_ASSERT_TAG("stdfunc compare a", objA);                                         \
        PB_ASSERT_TAG("stdfunc compare b", objB);                                         \
        return pbObjCompare(reinterpret_cast<PB_OBJ *>(objA), reinterpret_cast<PB_OBJ *>(objB)); \
    }                                                                                     \
    extern "C" RFC_API PB_BOOL prefix##Equals(Type *objA, Type *objB) noexcept            \
    {                                                                                     \
        return pbObjCompare(reinterpret_cast<PB_OBJ *>(objA), reinterpret_cast<PB_OBJ *>(objB)) == 0; \
    }                                                                                     \
    static_assert(true, "")

namespace rfc {

// The value a process-wide slot holds outside startup and shutdown.
template <class T>
inline T *slotVacant() noexcept
{
    return reinterpret_cast<T *>(~std::uintptr_t { 0 });
}

// Releases the object in a process-wide slot and marks the slot vacant.
template <class T>
inline void slotShutdown(T *&slot) noexcept
{
    if (slot && slot != slotVacant<T>())
        pbObjRelease(reinterpret_cast<PB_OBJ *>(slot));
    slot = slotVacant<T>();
}

} // namespace rfc

#endif
