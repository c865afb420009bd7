// Objects: creation, reference counts, freeing, comparison, text forms, the
// abort facility and the module loader's startup and shutdown.
#include "pb_internal.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>

namespace {

std::atomic<PB_INT> liveObjects { 0 };

} // namespace

extern "C" {

PB_API void pb___Abort(const char *tag, const char *file, PB_INT line, const char *condition)
{
    std::fprintf(stderr, "%s%s%s%s:%" PRId64 ": contract violation: %s\n", tag ? "[" : "", tag ? tag : "",
        tag ? "] " : "", file ? file : "?", line, condition ? condition : "(no condition)");
    std::fflush(stderr);
    std::abort();
}

PB_API PB_OBJ *pb___ObjCreate(PB_INT size, const PB_SORT *sort)
{
    PB_ASSERT( size >= PB_INT( sizeof( PB___OBJ_HEADER ) ) );
    PB_ASSERT( sort );
    auto *obj = static_cast<PB___OBJ_HEADER *>(pbMemAlloc(size));
    obj->kind = PB___OBJ_KIND_HEAP;
    obj->sort = sort;
    obj->staticMark = 0;
    obj->refCount = 1;
    for (PB_INT &word : obj->reserved)
        word = 0;
    liveObjects.fetch_add(1, std::memory_order_relaxed);
    return reinterpret_cast<PB_OBJ *>(obj);
}

PB_API void pb___ObjFree(PB_OBJ *obj)
{
    PB_ASSERT( obj );
    PB_ASSERT( !pb::internal::isStatic( obj ) );
    PB___OBJ_HEADER *header = pb::internal::header(obj);
    if (header->sort->freeFunc)
        header->sort->freeFunc(obj);
    liveObjects.fetch_sub(1, std::memory_order_relaxed);
    pbMemFree(obj);
}

PB_API PB_OBJ *pbObjRetain(PB_OBJ *obj)
{
    PB_ASSERT( obj );
    if (!pb::internal::isStatic(obj))
        std::atomic_ref<PB_INT>(pb::internal::header(obj)->refCount).fetch_add(1, std::memory_order_seq_cst);
    return obj;
}

PB_API void pbObjRelease(PB_OBJ *obj)
{
    if (!obj || pb::internal::isStatic(obj))
        return;
    PB_INT before = std::atomic_ref<PB_INT>(pb::internal::header(obj)->refCount).fetch_sub(1, std::memory_order_seq_cst);
    PB_ASSERT( before >= 1 );
    if (before == 1)
        pb___ObjFree(obj);
}

PB_API PB_INT pbObjRefCount(PB_OBJ *obj)
{
    PB_ASSERT( obj );
    return std::atomic_ref<PB_INT>(pb::internal::header(obj)->refCount).load(std::memory_order_seq_cst);
}

PB_API const PB_SORT *pbObjSort(PB_OBJ *obj)
{
    PB_ASSERT( obj );
    return pb::internal::header(obj)->sort;
}

PB_API const char *pbSortName(const PB_SORT *sort)
{
    PB_ASSERT( sort );
    return sort->name;
}

PB_API PB_INT pbObjCompare(PB_OBJ *a, PB_OBJ *b)
{
    PB_ASSERT( a );
    PB_ASSERT( b );
    if (a == b)
        return 0;
    const PB_SORT *sortA = pbObjSort(a);
    const PB_SORT *sortB = pbObjSort(b);
    if (sortA == sortB && sortA && sortA->compareFunc) {
        PB_INT order = sortA->compareFunc(a, b);
        return order < 0 ? -1 : order > 0 ? 1 : 0;
    }
    if (sortA != sortB) {
        int byName = std::strcmp(sortA ? sortA->name : "", sortB ? sortB->name : "");
        if (byName != 0)
            return byName < 0 ? -1 : 1;
        return std::uintptr_t(sortA) < std::uintptr_t(sortB) ? -1 : 1;
    }
    return std::uintptr_t(a) < std::uintptr_t(b) ? -1 : 1;
}

PB_API PB_BOOL pbObjEquals(PB_OBJ *a, PB_OBJ *b)
{
    return pbObjCompare(a, b) == 0;
}

PB_API PB_INT pbObjLiveCount(void)
{
    return liveObjects.load(std::memory_order_relaxed);
}

PB_API const PB_MODULE_RECORD *pbModuleRecord(const PB_MODULE *module)
{
    PB_ASSERT( module );
    return static_cast<const PB_MODULE_RECORD *>(module->record);
}

PB_API PB_BOOL pbModuleStartup(const PB_MODULE *module)
{
    PB_ASSERT( module );
    PB_ASSERT( module->startup );
    const PB_MODULE_RECORD *record = pbModuleRecord(module);
    PB_ASSERT( record );
    // pb is the only module this runtime provides; it is always started.
    for (const char *const *dependency = record->dependencies; **dependency; ++dependency)
        if (std::strcmp(*dependency, "pb") != 0)
            return PB_FALSE;
    return module->startup() ? PB_TRUE : PB_FALSE;
}

PB_API void pbModuleShutdown(const PB_MODULE *module)
{
    PB_ASSERT( module );
    PB_ASSERT( module->shutdown );
    module->shutdown();
}

} // extern "C"
