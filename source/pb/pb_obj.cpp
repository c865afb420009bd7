// Objects: creation, reference counts, freeing, comparison, text forms, the
// abort facility and the module loader's startup and shutdown.
#include "pb_mem_cache.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>

namespace {

using namespace pb::internal::cache;

// A heap object's header in the block at memory: reference count 1, its
// block class kept in the first reserved word.
inline PB_OBJ *initHeader(void *memory, const PB_SORT *sort, PB_INT blockClass)
{
    auto *obj = static_cast<PB___OBJ_HEADER *>(memory);
    // One aggregate store: the compiler writes the ten words directly rather
    // than zeroing the reserved words through a call to memset.
    *obj = PB___OBJ_HEADER { PB___OBJ_KIND_HEAP, sort, 0, 1, { blockClass, 0, 0, 0, 0, 0 } };
    return reinterpret_cast<PB_OBJ *>(obj);
}

// An object of size bytes in a block from the C library of the given class
// (0 for a block that is not kept), counted as live.
PB_OBJ *createInNewBlock(PB_INT size, const PB_SORT *sort, PB_INT blockClass) noexcept
{
    countLive(thread(), 1);
    return initHeader(pbMemAlloc(blockClass ? blockBytes(blockClass) : size), sort, blockClass);
}

// Every case of creation: a kept block when the thread has one, else a new
// block; the live count and the thread's room heeded as they require.
[[gnu::noinline]] PB_OBJ *createAnyhow(PB_INT size, const PB_SORT *sort) noexcept
{
    PB_INT blockClass = blockClassOf(size);
    ThreadState &t = threadState;
    void *memory = blockClass && t.stage == ThreadStage::registered ? takeKeptBlock(t, blockClass) : nullptr;
    if (!memory)
        return createInNewBlock(size, sort, blockClass);
    countLive(&t, 1);
    return initHeader(memory, sort, blockClass);
}

// Keeps the block of a freed object for reuse or gives it back; either way
// the object is counted out.
inline void blockFree(ThreadState *t, void *memory, PB_INT blockClass) noexcept
{
    countLive(t, -1);
    if (!keepBlock(t, memory, blockClass))
        pbMemFree(memory);
}

// Frees a heap object whose last reference is gone: runs the sort's free
// function, then keeps or frees its block. Inlined in release, which needs
// no call through the library's exported entry.
inline void objFree(PB_OBJ *obj)
{
    PB___OBJ_HEADER *header = pb::internal::header(obj);
    if (header->sort->freeFunc)
        header->sort->freeFunc(obj);
    blockFree(thread(), obj, header->reserved[0]);
}

// Drops a reference, freeing the object with its last; null and static
// objects are skipped.
inline void release(PB_OBJ *obj)
{
    if (!obj || pb::internal::isStatic(obj))
        return;
    std::atomic_ref<PB_INT> count(pb::internal::header(obj)->refCount);
    // A holder of the only reference needs no locked decrement: no other
    // thread holds a reference through which it could retain the object.
    if (count.load(std::memory_order_acquire) == 1) {
        objFree(obj);
        return;
    }
    PB_INT before = count.fetch_sub(1, std::memory_order_acq_rel);
    PB_ASSERT( before >= 1 );
    if (before == 1)
        objFree(obj);
}

} // namespace

void pb::internal::releaseEach(PB_OBJ *const *objs, PB_INT count)
{
    for (PB_INT i = 0; i < count; ++i)
        release(objs[i]);
}

extern "C" {

[[gnu::cold, gnu::noinline]] PB_API void pb___Abort(const char *tag, const char *file, PB_INT line, const char *condition) noexcept
{
    if (tag && std::strcmp(tag, PB___ABORT_TAG_OUT_OF_MEMORY) == 0) {
        std::fprintf(stderr, "%s:%" PRId64 ": out of memory: %s\n", file ? file : "?", line,
            condition ? condition : "(size unknown)");
        std::fflush(stderr);
        std::abort();
    }
    std::fprintf(stderr, "%s%s%s%s:%" PRId64 ": contract violation: %s\n", tag ? "[" : "", tag ? tag : "",
        tag ? "] " : "", file ? file : "?", line, condition ? condition : "(no condition)");
    std::fflush(stderr);
    std::abort();
}

// The common case, an object in a block the thread keeps, goes without a
// stack frame: takeKeptBlock and countLive done inline, every check made
// before anything changes, so that any other case (no kept block, room to
// give back, a reader of the live count at work) hands over to createAnyhow
// with the busy mark undone.
PB_API PB_OBJ *pb___ObjCreate(PB_INT size, const PB_SORT *sort) noexcept
{
    PB_ASSERT( size >= PB_INT( sizeof( PB___OBJ_HEADER ) ) );
    PB_ASSERT( sort );
    const PB_INT blockClass = blockClassOf(size);
    ThreadState &t = threadState;
    if (blockClass && t.stage == ThreadStage::registered) [[likely]] {
        FreeBlock *block = t.blocks[blockClass - 1];
        const PB_INT kept = t.keptBytes.load(std::memory_order_relaxed) - blockClass * blockGranule;
        // Taking the block leaves the thread less than two quanta of unused
        // room, so that none goes back to the process.
        if (block && t.room - kept < 2 * keptBytesQuantum) [[likely]] {
            LiveNode *node = t.node;
            const PB_INT count = node->word.load(std::memory_order_relaxed);
            node->word.store(count | 1, std::memory_order_relaxed);
            std::atomic_signal_fence(std::memory_order_seq_cst);
            if (!countState.load(std::memory_order_relaxed)) [[likely]] {
                t.blocks[blockClass - 1] = block->next;
                t.keptBytes.store(kept, std::memory_order_relaxed);
                node->word.store(count + 2, std::memory_order_release);
                return initHeader(block, sort, blockClass);
            }
            node->word.store(count, std::memory_order_relaxed);
        }
    }
    return createAnyhow(size, sort);
}

PB_API void pb___ObjFree(PB_OBJ *obj) noexcept
{
    PB_ASSERT( obj );
    PB_ASSERT( !pb::internal::isStatic( obj ) );
    objFree(obj);
}

PB_API PB_OBJ *pbObjRetain(PB_OBJ *obj) noexcept
{
    PB_ASSERT( obj );
    if (!pb::internal::isStatic(obj))
        std::atomic_ref<PB_INT>(pb::internal::header(obj)->refCount).fetch_add(1, std::memory_order_seq_cst);
    return obj;
}

PB_API void pbObjRelease(PB_OBJ *obj) noexcept
{
    release(obj);
}

PB_API PB_INT pbObjRefCount(PB_OBJ *obj) noexcept
{
    PB_ASSERT( obj );
    return std::atomic_ref<PB_INT>(pb::internal::header(obj)->refCount).load(std::memory_order_seq_cst);
}

PB_API const PB_SORT *pbObjSort(PB_OBJ *obj) noexcept
{
    PB_ASSERT( obj );
    return pb::internal::header(obj)->sort;
}

PB_API const char *pbSortName(const PB_SORT *sort) noexcept
{
    PB_ASSERT( sort );
    return sort->name;
}

PB_API PB_INT pbObjCompare(PB_OBJ *a, PB_OBJ *b) noexcept
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

PB_API PB_BOOL pbObjEquals(PB_OBJ *a, PB_OBJ *b) noexcept
{
    return pbObjCompare(a, b) == 0;
}

PB_API const PB_MODULE_RECORD *pbModuleRecord(const PB_MODULE *module) noexcept
{
    PB_ASSERT( module );
    return static_cast<const PB_MODULE_RECORD *>(module->record);
}

PB_API PB_BOOL pbModuleStartup(const PB_MODULE *module) noexcept
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

PB_API void pbModuleShutdown(const PB_MODULE *module) noexcept
{
    PB_ASSERT( module );
    PB_ASSERT( module->shutdown );
    module->shutdown();
}

} // extern "C"
