// The object allocator's per-thread state: the cache of freed object blocks
// and the thread's share of the live-object count. Internal to the runtime;
// the inline parts serve the object creation and freeing of pb_obj.cpp, the
// rest lives in pb_mem_cache.cpp.
//
// Memory policy. Each thread keeps freed object blocks of up to 504 bytes,
// by size in steps of 16 bytes, for its next objects: decoders that make and
// drop thousands of small objects at a time would otherwise overflow the C
// library's own small per-thread cache. What a thread keeps is bounded
// twice: by keptBytesBound for the thread, and by the process's budget
// (processKeptBytesBound), from which a thread takes room for its cache a
// quantum at a time as its cache grows and to which it returns room as its
// cache shrinks, so that many threads sitting idle after a burst of frees
// together keep no more than the budget. A block freed beyond either bound
// goes back to the C library at once. pbMemTrim gives back everything the
// calling thread keeps, room included, and a thread that ends does the same.
// Sanitizer builds (and builds with PB___BLOCK_CACHE defined to 0) leave the
// cache out, so that every block goes back to the C library and a use after
// free is still caught.
//
// Live count. Creating and freeing an object changes the word of the calling
// thread's node, which only that thread writes, with plain stores: no locked
// instruction on the hot path. The word holds twice the node's count, plus 1
// while the owner changes it (busy). A reader of the count (pbObjLiveCount)
// needs a moment at which no node is changing: it raises the freezing bit of
// `countState`, forces every thread of the process through a memory barrier
// (membarrier), waits for each node to be no longer busy, adds up the counts
// and lowers the bit; before it raises the bit again it waits for the writers
// it held back to count, so that a reader in a loop starves nobody. A writer
// marks its word busy before it looks at `countState` and backs off while the
// bit is raised, so the sum is the count of one moment: never negative, and
// between the objects live throughout the call and those live at some moment
// of it.
#ifndef PB_MEM_CACHE_H
#define PB_MEM_CACHE_H

#include "pb_internal.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define PB___BLOCK_CACHE 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define PB___BLOCK_CACHE 0
#endif
#endif
#ifndef PB___BLOCK_CACHE
#define PB___BLOCK_CACHE 1
#endif

namespace pb::internal::cache {

// Block classes follow the C library's own granularity: glibc serves a
// request of n bytes with a chunk of n plus one word, rounded up to 16 bytes.
// A block of class c is asked for as 16c minus that word, so that it fills
// its chunk of 16c bytes exactly and an object takes no more memory from the
// C library through the cache than it would without it.
constexpr PB_INT blockGranule = 16;
constexpr PB_INT blockOverhead = 8;
constexpr PB_INT blockClasses = 32; // chunks of 16, 32, ... 512 bytes

// Bytes asked of the C library for a block of the given class (not 0).
constexpr PB_INT blockBytes(PB_INT blockClass) noexcept
{
    return blockClass * blockGranule - blockOverhead;
}
// Bytes of freed blocks a thread keeps at most: enough for the objects of a
// few thousand tokens or short strings, little beside a thread's stack.
constexpr PB_INT keptBytesBound = 256 * 1024;
// Bytes of freed blocks all threads together keep at most: the bound of two
// threads. Many threads sitting idle after their bursts then keep little
// beside what the C library itself keeps of freed memory, while a thread at
// work on ordinary input needs a quantum or two, so that dozens of threads
// find room. Room is taken from it and returned a quantum at a time, one
// locked instruction per hundred blocks or more; a thread whose cache is
// empty holds at most one quantum.
constexpr PB_INT processKeptBytesBound = 2 * keptBytesBound;
constexpr PB_INT keptBytesQuantum = 16 * 1024;
static_assert(keptBytesBound % keptBytesQuantum == 0 && processKeptBytesBound % keptBytesQuantum == 0);

// A thread's share of the live count and of the kept blocks. Only the
// owning thread writes it (marking it busy); nodes are never freed, and a node
// whose thread has ended serves the next thread that starts.
struct ThreadState;

struct alignas(64) LiveNode {
    // Twice the objects made less objects freed by this node's threads,
    // plus 1 while the owner changes it.
    std::atomic<PB_INT> word { 0 };
    ThreadState *owner = nullptr;      // the thread using the node, null when none
    LiveNode *next = nullptr;
};

struct FreeBlock {
    FreeBlock *next;
};

enum class ThreadStage : int { unregistered, registered, finished };

struct ThreadState {
    ThreadStage stage = ThreadStage::unregistered;
    LiveNode *node = nullptr;
    // Bytes in the cache: written by the owner only, read by pbMemKeptBytes.
    std::atomic<PB_INT> keptBytes { 0 };
    // Room taken from the process's budget: keptBytes never exceeds it.
    PB_INT room = 0;
    FreeBlock *blocks[blockClasses] {};
};

// Zero-initialised, so that reaching it needs no guard; initial-exec keeps
// each access a single offset from the thread pointer.
extern constinit thread_local ThreadState threadState __attribute__((tls_model("initial-exec")));
// What a writer of the live count must heed: countFreezing while a reader
// adds up the nodes; countFencing when the process cannot force a barrier
// on its other threads (no membarrier), so that every writer pays for a
// full fence itself. 0 in the common case, which one test decides.
constexpr int countFreezing = 1;
constexpr int countFencing = 2;
extern std::atomic<int> countState;

void threadRegister() noexcept;
// Counts an object made (1) or freed (-1) by a thread that has no node
// (during its teardown). Cold.
void orphanAdd(PB_INT delta) noexcept;
// Gives back the blocks of t's cache and its room. Cold.
void trim(ThreadState &t) noexcept;
// Takes a quantum of room from the process's budget for t, within t's own
// bound; false when neither has room left. Cold.
bool widen(ThreadState &t) noexcept;
// Returns a quantum of t's room to the process's budget. Cold.
void narrow(ThreadState &t) noexcept;

// The calling thread's state, registered on first use; null once the thread
// is being torn down.
inline ThreadState *thread() noexcept
{
    ThreadState &t = threadState;
    if (t.stage == ThreadStage::unregistered) [[unlikely]]
        threadRegister();
    return t.stage == ThreadStage::registered ? &t : nullptr;
}

// Changes the count of node, whose word was count (not busy), by delta once
// no reader is adding up the nodes, fencing where the process cannot force
// a barrier. Cold.
void countLiveHeeding(LiveNode *node, PB_INT count, PB_INT delta) noexcept;

// Counts an object made (delta 1) or freed (delta -1) by the calling thread
// so that a reader sees the change whole or not at all. The common case
// needs no stack frame and no locked instruction: two stores and a load.
inline void countLive(ThreadState *t, PB_INT delta) noexcept
{
    if (!t) [[unlikely]] {
        orphanAdd(delta);
        return;
    }
    LiveNode *node = t->node;
    const PB_INT count = node->word.load(std::memory_order_relaxed);
    node->word.store(count | 1, std::memory_order_relaxed);
    // Orders the store above before the load below where readers force the
    // barrier on this thread; otherwise countFencing sends the writer to
    // the fence.
    std::atomic_signal_fence(std::memory_order_seq_cst);
    if (countState.load(std::memory_order_relaxed)) [[unlikely]] {
        countLiveHeeding(node, count, delta);
        return;
    }
    node->word.store(count + 2 * delta, std::memory_order_release);
}

// The size class of a block for an object of size bytes: 1 to blockClasses
// when such blocks may be kept for reuse, otherwise 0.
inline PB_INT blockClassOf(PB_INT size) noexcept
{
    PB_INT c = (size + blockOverhead + blockGranule - 1) / blockGranule;
    return PB___BLOCK_CACHE && c <= blockClasses ? c : 0;
}

// A kept block of the given class (not 0) from the calling thread's cache,
// or null when the thread has none.
inline void *takeKeptBlock(ThreadState &t, PB_INT blockClass) noexcept
{
    FreeBlock *block = t.blocks[blockClass - 1];
    if (!block) [[unlikely]]
        return nullptr;
    t.blocks[blockClass - 1] = block->next;
    const PB_INT kept = t.keptBytes.load(std::memory_order_relaxed) - blockClass * blockGranule;
    t.keptBytes.store(kept, std::memory_order_relaxed);
    // Room unused by two quanta goes back to the process, one quantum at a
    // time: a thread whose cache empties leaves room for others, and one
    // that frees and makes by turns does not take and return room each time.
    if (t.room - kept >= 2 * keptBytesQuantum) [[unlikely]]
        narrow(t);
    return block;
}

// Keeps a freed block of the given class (0: never kept) in t's cache while
// the cache is under its bound; true when kept.
inline bool keepBlock(ThreadState *t, void *memory, PB_INT blockClass) noexcept
{
    if (!blockClass || !t) [[unlikely]]
        return false;
    const PB_INT kept = t->keptBytes.load(std::memory_order_relaxed) + blockClass * blockGranule;
    if (kept > t->room && !widen(*t)) [[unlikely]]
        return false;
    auto *block = static_cast<FreeBlock *>(memory);
    block->next = t->blocks[blockClass - 1];
    t->blocks[blockClass - 1] = block;
    t->keptBytes.store(kept, std::memory_order_relaxed);
    return true;
}

} // namespace pb::internal::cache

#endif
