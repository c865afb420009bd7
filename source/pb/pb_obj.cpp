// Objects: creation, reference counts, freeing, comparison, text forms, the
// abort facility and the module loader's startup and shutdown.
#include "pb_internal.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#if defined(__SANITIZE_ADDRESS__)
#define PB___BLOCK_CACHE 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PB___BLOCK_CACHE 0
#endif
#endif
#ifndef PB___BLOCK_CACHE
#define PB___BLOCK_CACHE 1
#endif

namespace {

// Per-thread state of the object allocator.
//
// Each thread keeps freed object blocks of up to 512 bytes, by size in steps
// of 16 bytes and up to 8,192 blocks in all, for its next objects: decoders
// that make and drop thousands of small objects at a time would otherwise
// overflow the C library's own small per-thread cache. Sanitizer builds leave
// this cache out, so that every block goes back to the C library and a use
// after free is still caught.
//
// The count of live objects is kept per thread, so that creating and freeing
// an object costs plain stores rather than a locked instruction: each thread
// owns a node whose words only it writes, and a reader adds up every node.
// A node counts the blocks its thread has taken from the C library for
// objects less those it has given back, and apart from that the blocks its
// cache keeps; the live objects are the difference. An object made in a kept
// block, or freed into the cache, then changes one word. Nodes are never
// freed; a thread that ends empties its cache and leaves its node (and its
// partial counts) to the next thread that starts. Objects freed during a
// thread's own teardown, after its node is given back, count through the
// shared atomic.
struct LiveNode {
    std::atomic<PB_INT> taken { 0 }; // blocks taken for objects less blocks given back
    std::atomic<PB_INT> kept { 0 };  // blocks in the thread's cache
    bool inUse = false;
    LiveNode *next = nullptr;
};

// Adds delta to a word of the calling thread's node, which only this thread
// writes.
inline void nodeAdd(std::atomic<PB_INT> &word, PB_INT delta)
{
    word.store(word.load(std::memory_order_relaxed) + delta, std::memory_order_relaxed);
}

constexpr PB_INT blockGranule = 16;
constexpr PB_INT blockClasses = 32;      // blocks of 16, 32, ... 512 bytes
constexpr PB_INT blockCacheCount = 8192; // blocks kept per thread

struct FreeBlock {
    FreeBlock *next;
};

enum class ThreadStage : int { unregistered, registered, finished };

struct ThreadState {
    ThreadStage stage;
    LiveNode *node;
    FreeBlock *blocks[blockClasses];
};

std::mutex liveNodesLock;
LiveNode *liveNodes = nullptr;
std::atomic<PB_INT> liveOrphans { 0 };

// Zero-initialised, so that reaching it needs no guard; initial-exec keeps
// each access a single offset from the thread pointer.
thread_local ThreadState threadState __attribute__((tls_model("initial-exec")));

struct ThreadTeardown {
    ~ThreadTeardown()
    {
        ThreadState &t = threadState;
        PB_INT freed = 0;
        for (PB_INT c = 0; c < blockClasses; ++c) {
            while (FreeBlock *block = t.blocks[c]) {
                t.blocks[c] = block->next;
                pbMemFree(block);
                ++freed;
            }
        }
        nodeAdd(t.node->taken, -freed);
        nodeAdd(t.node->kept, -freed);
        std::lock_guard<std::mutex> hold(liveNodesLock);
        t.node->inUse = false;
        t.node = nullptr;
        t.stage = ThreadStage::finished;
    }
};

void threadRegister()
{
    LiveNode *node;
    {
        std::lock_guard<std::mutex> hold(liveNodesLock);
        node = liveNodes;
        while (node && node->inUse)
            node = node->next;
        if (!node) {
            node = new LiveNode;
            node->next = liveNodes;
            liveNodes = node;
        }
        node->inUse = true;
    }
    static thread_local ThreadTeardown teardown;
    (void)teardown;
    threadState.node = node;
    threadState.stage = ThreadStage::registered;
}

// The calling thread's state, registered on first use; null once the thread
// is being torn down.
inline ThreadState *thread()
{
    ThreadState &t = threadState;
    if (t.stage == ThreadStage::unregistered) [[unlikely]]
        threadRegister();
    return t.stage == ThreadStage::registered ? &t : nullptr;
}

// Counts a block taken from (delta 1) or given back to (delta -1) the C
// library for an object.
inline void countTaken(ThreadState *t, PB_INT delta)
{
    if (t) [[likely]]
        nodeAdd(t->node->taken, delta);
    else
        liveOrphans.fetch_add(delta, std::memory_order_relaxed);
}

// The size class of a block for an object of size bytes: 1 to blockClasses
// when such blocks may be kept for reuse, otherwise 0.
inline PB_INT blockClassOf(PB_INT size)
{
    PB_INT c = (size + blockGranule - 1) / blockGranule;
    return PB___BLOCK_CACHE && c <= blockClasses ? c : 0;
}

// A kept block of the given class (not 0) from the calling thread's cache,
// counted as live, or null when the thread has none.
inline void *takeKeptBlock(PB_INT blockClass)
{
    ThreadState &t = threadState;
    if (t.stage != ThreadStage::registered) [[unlikely]]
        return nullptr;
    FreeBlock *block = t.blocks[blockClass - 1];
    if (!block) [[unlikely]]
        return nullptr;
    t.blocks[blockClass - 1] = block->next;
    nodeAdd(t.node->kept, -1);
    return block;
}

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
// (0 for a block that is not kept), counted as live. Apart from the common
// case, so that an object in a kept block needs no stack frame.
[[gnu::noinline]] PB_OBJ *createInNewBlock(PB_INT size, const PB_SORT *sort, PB_INT blockClass)
{
    countTaken(thread(), 1);
    return initHeader(pbMemAlloc(blockClass ? blockClass * blockGranule : size), sort, blockClass);
}

// Keeps the block of a freed object for reuse or gives it back; either way
// the object is counted out.
inline void blockFree(ThreadState *t, void *memory, PB_INT blockClass)
{
    if (blockClass && t) [[likely]] {
        std::atomic<PB_INT> &kept = t->node->kept;
        PB_INT count = kept.load(std::memory_order_relaxed);
        if (count < blockCacheCount) [[likely]] {
            auto *block = static_cast<FreeBlock *>(memory);
            block->next = t->blocks[blockClass - 1];
            t->blocks[blockClass - 1] = block;
            kept.store(count + 1, std::memory_order_relaxed);
            return;
        }
    }
    countTaken(t, -1);
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

PB_API PB_OBJ *pb___ObjCreate(PB_INT size, const PB_SORT *sort) noexcept
{
    PB_ASSERT( size >= PB_INT( sizeof( PB___OBJ_HEADER ) ) );
    PB_ASSERT( sort );
    PB_INT blockClass = blockClassOf(size);
    void *memory = blockClass ? takeKeptBlock(blockClass) : nullptr;
    if (!memory) [[unlikely]]
        return createInNewBlock(size, sort, blockClass);
    return initHeader(memory, sort, blockClass);
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

PB_API PB_INT pbObjLiveCount(void) noexcept
{
    std::lock_guard<std::mutex> hold(liveNodesLock);
    PB_INT total = liveOrphans.load(std::memory_order_relaxed);
    for (LiveNode *node = liveNodes; node; node = node->next)
        total += node->taken.load(std::memory_order_relaxed) - node->kept.load(std::memory_order_relaxed);
    return total;
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
