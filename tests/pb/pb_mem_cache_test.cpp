// The per-thread object allocator: the memory each thread keeps has a bound
// and can be given back, and the live count is the count of one moment
// however the threads make and free objects.
#include "pb_test_util.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kSanitizer = true;
#else
constexpr bool kSanitizer = false;
#endif
#else
constexpr bool kSanitizer = false;
#endif

// Strings of 0 to 100 code points: objects of many block sizes.
PB_STRING *smallObject(PB_INT i)
{
    PB_CHAR chars[100];
    PB_INT length = i % 101;
    for (PB_INT k = 0; k < length; ++k)
        chars[k] = PB_CHAR('a' + k % 26);
    return pbStringCreateFromCharsCopy(chars, length);
}

// The bounds of pb_util.h: what one thread keeps, and what all keep together.
constexpr PB_INT kThreadBound = 256 * 1024;
constexpr PB_INT kProcessBound = 512 * 1024;

// How a thread makes and frees its objects before it sits idle: all of them
// held at once and then freed, or made and freed in batches.
struct IdlePattern {
    const char *name;
    PB_INT objects;
    PB_INT batch;
};

// Threads that each made and freed many small objects (20,000, far more
// than the bound holds; fewer under the sanitizers, which keep no blocks)
// and now sit idle keep at most a thread's bound each and the process's
// bound together; pbMemTrim gives a thread's blocks and its room back, so
// that a thread that works afterwards keeps blocks again.
TEST(PbMemCache, IdleThreadsKeepABoundedAmount)
{
    constexpr int threads = 64;
    constexpr PB_INT objects = kSanitizer ? 1000 : 20000;
    static const IdlePattern patterns[] = {
        { "all held, then freed", objects, objects },
        { "made and freed in batches of 1,000", objects, 1000 },
    };
    for (const IdlePattern &pattern : patterns) {
        SCOPED_TRACE(pattern.name);
        // The calling thread's cache, filled by earlier tests, holds room
        // that the pool's threads would otherwise find.
        pbMemTrim();
        PB_INT keptBefore = pbMemKeptBytes();
        std::mutex lock;
        std::condition_variable changed;
        int made = 0;
        bool trim = false;
        int trimmed = 0;
        std::vector<std::thread> pool;
        for (int t = 0; t < threads; ++t) {
            pool.emplace_back([&, t] {
                for (PB_INT done = 0; done < pattern.objects; done += pattern.batch) {
                    std::vector<pb::Ref<PB_STRING>> held;
                    held.reserve(pattern.batch);
                    for (PB_INT i = done; i < done + pattern.batch && i < pattern.objects; ++i)
                        held.emplace_back(smallObject(i + t));
                }
                std::unique_lock<std::mutex> hold(lock);
                ++made;
                changed.notify_all();
                changed.wait(hold, [&] { return trim; });
                pbMemTrim();
                ++trimmed;
                changed.notify_all();
                changed.wait(hold, [&] { return trimmed == -1; });
            });
        }
        {
            std::unique_lock<std::mutex> hold(lock);
            changed.wait(hold, [&] { return made == threads; });
        }
        // Every thread is alive and idle, its objects freed: together they
        // keep the process's bound at most, far below a thread's bound each.
        PB_INT idle = pbMemKeptBytes() - keptBefore;
        EXPECT_LE(idle, kProcessBound);
        if (kSanitizer) {
            EXPECT_EQ(idle, 0) << "sanitizer builds keep no blocks";
        } else {
            EXPECT_GT(idle, kProcessBound / 2) << "the threads reuse blocks up to the process's bound";
        }
        {
            std::unique_lock<std::mutex> hold(lock);
            trim = true;
            changed.notify_all();
            changed.wait(hold, [&] { return trimmed == threads; });
        }
        EXPECT_EQ(pbMemKeptBytes(), keptBefore) << "each thread gave its blocks back";
        {
            std::lock_guard<std::mutex> hold(lock);
            trimmed = -1;
            changed.notify_all();
        }
        for (std::thread &thread : pool)
            thread.join();
        EXPECT_EQ(pbMemKeptBytes(), keptBefore);
    }

    // The calling thread, after the others gave their room back: a burst of
    // frees fills its cache up to a thread's bound, trimming empties it, and
    // objects are made as before afterwards.
    {
        std::vector<pb::Ref<PB_STRING>> held;
        for (PB_INT i = 0; i < 20000; ++i)
            held.emplace_back(smallObject(i));
    }
    EXPECT_LE(pbMemKeptBytes(), kThreadBound);
    if (!kSanitizer) {
        EXPECT_GT(pbMemKeptBytes(), kThreadBound / 2);
    }
    pbMemTrim();
    EXPECT_EQ(pbMemKeptBytes(), 0);
    pb::Ref<PB_STRING> again(smallObject(50));
    EXPECT_EQ(pbStringLength(again.get()), 50);
}

// A thread whose cache empties returns its room: a thread that filled its
// cache and then made as many objects again from it leaves room for as many
// other threads to fill theirs as the process's bound has threads' bounds,
// which they could not if the first still held its room.
TEST(PbMemCache, AnEmptiedCacheGivesItsRoomBack)
{
    if (kSanitizer)
        GTEST_SKIP() << "sanitizer builds keep no blocks";
    auto burst = [] {
        std::vector<pb::Ref<PB_STRING>> held;
        for (PB_INT i = 0; i < 5000; ++i)
            held.emplace_back(smallObject(i));
    };
    burst();
    PB_INT full = pbMemKeptBytes();
    EXPECT_GT(full, kThreadBound / 2);
    {
        // Made from the cache and kept alive: the cache empties.
        std::vector<pb::Ref<PB_STRING>> again;
        for (PB_INT i = 0; i < 5000; ++i)
            again.emplace_back(smallObject(i));
        EXPECT_LT(pbMemKeptBytes(), kThreadBound / 8);
        std::vector<std::thread> others;
        std::vector<PB_INT> kept(kProcessBound / kThreadBound);
        std::mutex lock;
        std::condition_variable changed;
        int filled = 0;
        for (std::size_t t = 0; t < kept.size(); ++t) {
            others.emplace_back([&, t] {
                burst();
                std::unique_lock<std::mutex> hold(lock);
                ++filled;
                changed.notify_all();
                changed.wait(hold, [&] { return filled < 0; });
                kept[t] = pbMemKeptBytes();
                pbMemTrim();
            });
        }
        {
            std::unique_lock<std::mutex> hold(lock);
            changed.wait(hold, [&] { return filled == int(kept.size()); });
            // Every cache full but for the last block or so (more than all
            // but half of one), which the room this thread still held would
            // have prevented.
            EXPECT_GT(pbMemKeptBytes(), kProcessBound - kThreadBound / 2);
            EXPECT_LE(pbMemKeptBytes(), kProcessBound);
            filled = -1;
            changed.notify_all();
        }
        for (std::thread &thread : others)
            thread.join();
    }
    pbMemTrim();
    EXPECT_EQ(pbMemKeptBytes(), 0);
}

// A producer makes objects and hands them through a bounded queue to a
// consumer, which releases them, while a sampler reads the live count: every
// sample lies between what was live throughout (the objects from before)
// and the most that can be live at once (those plus the queue's capacity and
// one object in each worker's hands).
TEST(PbMemCache, LiveCountIsASnapshotUnderCrossThreadFrees)
{
    constexpr PB_INT objects = kSanitizer ? 20000 : 100000;
    constexpr std::size_t capacity = 64;
    const PB_INT before = pbObjLiveCount();
    std::mutex lock;
    std::condition_variable changed;
    std::deque<PB_OBJ *> queue;
    bool done = false;
    std::atomic<bool> stop { false };

    std::thread producer([&] {
        for (PB_INT i = 0; i < objects; ++i) {
            PB_OBJ *obj = pbBoxedIntObj(pbBoxedIntCreate(i));
            std::unique_lock<std::mutex> hold(lock);
            changed.wait(hold, [&] { return queue.size() < capacity; });
            queue.push_back(obj);
            changed.notify_all();
        }
        std::lock_guard<std::mutex> hold(lock);
        done = true;
        changed.notify_all();
    });
    std::thread consumer([&] {
        for (;;) {
            PB_OBJ *obj;
            {
                std::unique_lock<std::mutex> hold(lock);
                changed.wait(hold, [&] { return !queue.empty() || done; });
                if (queue.empty())
                    return;
                obj = queue.front();
                queue.pop_front();
                changed.notify_all();
            }
            pbObjRelease(obj);
        }
    });
    PB_INT lowest = PB_INT_MAX, highest = PB_INT_MIN, samples = 0;
    std::thread sampler([&] {
        while (!stop.load()) {
            PB_INT live = pbObjLiveCount() - before;
            lowest = std::min(lowest, live);
            highest = std::max(highest, live);
            ++samples;
        }
    });
    producer.join();
    consumer.join();
    stop = true;
    sampler.join();
    EXPECT_GT(samples, 0);
    EXPECT_GE(lowest, 0) << "over " << samples << " samples";
    EXPECT_LE(highest, PB_INT(capacity) + 2) << "over " << samples << " samples";
    EXPECT_EQ(pbObjLiveCount(), before);
}

} // namespace
