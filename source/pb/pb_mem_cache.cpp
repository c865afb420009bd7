// The object allocator's per-thread state: registration of threads, the
// memory they keep and give back, and the snapshot of the live count. The
// policy is described in pb_mem_cache.h.
#include "pb_mem_cache.h"

#include <linux/membarrier.h>
#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdint>
#include <mutex>

namespace pb::internal::cache {

constinit thread_local ThreadState threadState __attribute__((tls_model("initial-exec")));
std::atomic<int> countState { 0 };
// Writers that met the freezing bit raised and have not yet counted their
// change. A reader lets them all through before it freezes again, so that a
// thread asking for the count in a loop cannot starve the others.
std::atomic<PB_INT> frozenWriters { 0 };
// Room in the process's budget that no thread has taken.
std::atomic<PB_INT> processRoom { processKeptBytesBound };

namespace {

// Registers the process for expedited membarrier, which makes a barrier on
// every other running thread of the process in a few microseconds.
bool registerMembarrier() noexcept
{
    long commands = syscall(__NR_membarrier, MEMBARRIER_CMD_QUERY, 0, 0);
    if (commands < 0 || !(commands & MEMBARRIER_CMD_PRIVATE_EXPEDITED))
        return false;
    return syscall(__NR_membarrier, MEMBARRIER_CMD_REGISTER_PRIVATE_EXPEDITED, 0, 0) == 0;
}

// True when the process can force a barrier on its other threads.
const bool asymmetricBarrier = [] {
    bool registered = registerMembarrier();
    if (!registered)
        countState.fetch_or(countFencing, std::memory_order_relaxed);
    return registered;
}();

// Forces a full memory barrier on every thread of the process, or on this
// one alone when every writer fences by itself.
void barrierEverywhere() noexcept
{
    if (asymmetricBarrier)
        syscall(__NR_membarrier, MEMBARRIER_CMD_PRIVATE_EXPEDITED, 0, 0);
    else
        std::atomic_thread_fence(std::memory_order_seq_cst);
}

// Guards the list of nodes, the orphan count and the readers of the count.
std::mutex &nodesLock() noexcept
{
    static std::mutex lock;
    return lock;
}

LiveNode *nodes = nullptr;
PB_INT orphans = 0; // objects counted by threads without a node

void giveBack(ThreadState &t) noexcept
{
    for (PB_INT c = 0; c < blockClasses; ++c) {
        while (FreeBlock *block = t.blocks[c]) {
            t.blocks[c] = block->next;
            pbMemFree(block);
        }
    }
    t.keptBytes.store(0, std::memory_order_relaxed);
    processRoom.fetch_add(t.room, std::memory_order_relaxed);
    t.room = 0;
}

// Empties the cache of a thread that ends and leaves its node to the next
// thread. Objects freed later in the thread's teardown count as orphans.
struct ThreadTeardown {
    ~ThreadTeardown()
    {
        ThreadState &t = threadState;
        giveBack(t);
        std::lock_guard<std::mutex> hold(nodesLock());
        t.node->owner = nullptr;
        t.node = nullptr;
        t.stage = ThreadStage::finished;
    }
};

} // namespace

void threadRegister() noexcept
{
    LiveNode *node;
    {
        std::lock_guard<std::mutex> hold(nodesLock());
        node = nodes;
        while (node && node->owner)
            node = node->next;
        if (!node) {
            // Nodes are never freed: place each on a cache line of its
            // own inside a block with room to align it.
            auto address = reinterpret_cast<std::uintptr_t>(pbMemAlloc(PB_INT(sizeof(LiveNode) + alignof(LiveNode))));
            address = (address + alignof(LiveNode) - 1) & ~std::uintptr_t(alignof(LiveNode) - 1);
            node = ::new (reinterpret_cast<void *>(address)) LiveNode;
            node->next = nodes;
            nodes = node;
        }
        node->owner = &threadState;
    }
    static thread_local ThreadTeardown teardown;
    (void)teardown;
    threadState.node = node;
    threadState.stage = ThreadStage::registered;
}

[[gnu::cold, gnu::noinline]] void countLiveHeeding(LiveNode *node, PB_INT count, PB_INT delta) noexcept
{
    // The word is busy: its store came before the fence below, or before
    // the barrier a reader forces on this thread.
    if (!asymmetricBarrier)
        std::atomic_thread_fence(std::memory_order_seq_cst);
    if (countState.load(std::memory_order_relaxed) & countFreezing) {
        frozenWriters.fetch_add(1, std::memory_order_relaxed);
        do {
            node->word.store(count, std::memory_order_release);
            while (countState.load(std::memory_order_acquire) & countFreezing)
                sched_yield();
            node->word.store(count | 1, std::memory_order_relaxed);
            if (asymmetricBarrier)
                std::atomic_signal_fence(std::memory_order_seq_cst);
            else
                std::atomic_thread_fence(std::memory_order_seq_cst);
        } while (countState.load(std::memory_order_relaxed) & countFreezing);
        node->word.store(count + 2 * delta, std::memory_order_release);
        frozenWriters.fetch_sub(1, std::memory_order_release);
        return;
    }
    node->word.store(count + 2 * delta, std::memory_order_release);
}

void orphanAdd(PB_INT delta) noexcept
{
    std::lock_guard<std::mutex> hold(nodesLock());
    orphans += delta;
}

void trim(ThreadState &t) noexcept
{
    giveBack(t);
}

[[gnu::cold, gnu::noinline]] bool widen(ThreadState &t) noexcept
{
    if (t.room + keptBytesQuantum > keptBytesBound)
        return false;
    PB_INT left = processRoom.load(std::memory_order_relaxed);
    do {
        if (left < keptBytesQuantum)
            return false;
    } while (!processRoom.compare_exchange_weak(left, left - keptBytesQuantum, std::memory_order_relaxed));
    t.room += keptBytesQuantum;
    return true;
}

[[gnu::cold, gnu::noinline]] void narrow(ThreadState &t) noexcept
{
    t.room -= keptBytesQuantum;
    processRoom.fetch_add(keptBytesQuantum, std::memory_order_relaxed);
}

} // namespace pb::internal::cache

using namespace pb::internal::cache;

extern "C" {

// Gives the blocks the calling thread keeps for its next objects back to
// the C library, and its room back to the process's budget. A thread that
// is about to sit idle for long calls it; the thread keeps working as
// before and refills its cache as it frees objects.
PB_API void pbMemTrim(void) noexcept
{
    if (ThreadState *t = thread())
        trim(*t);
}

PB_API PB_INT pbMemKeptBytes(void) noexcept
{
    std::lock_guard<std::mutex> hold(nodesLock());
    PB_INT total = 0;
    for (LiveNode *node = nodes; node; node = node->next)
        if (node->owner)
            total += node->owner->keptBytes.load(std::memory_order_relaxed);
    return total;
}

// The live count of one moment: see pb_mem_cache.h.
PB_API PB_INT pbObjLiveCount(void) noexcept
{
    std::lock_guard<std::mutex> hold(nodesLock());
    // Writers held back by the previous reader count first.
    while (frozenWriters.load(std::memory_order_acquire))
        sched_yield();
    countState.fetch_or(countFreezing, std::memory_order_relaxed);
    barrierEverywhere();
    // A word no longer busy stays as it is until the bit is lowered.
    PB_INT total = orphans;
    for (LiveNode *node = nodes; node; node = node->next) {
        PB_INT word;
        while ((word = node->word.load(std::memory_order_acquire)) & 1)
            sched_yield();
        total += word >> 1;
    }
    countState.fetch_and(~countFreezing, std::memory_order_release);
    return total;
}

} // extern "C"
