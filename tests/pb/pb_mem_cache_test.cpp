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

// Threads that each made and freed many small objects (20,000, far more
// than the bound holds; fewer under the sanitizers, which keep no blocks)
// and now sit idle keep at most the bound each; pbMemTrim gives a thread's
// blocks back.
TEST(PbMemCache, IdleThreadsKeepABoundedAmount)
{
    constexpr int threads = 64;
    constexpr PB_INT objects = kSanitizer ? 1000 : 20000;
    constexpr PB_INT bound = 256 * 1024; // per thread, as pb_util.h documents
    PB_INT keptBefore = pbMemKeptBytes();
    std::mutex lock;
    std::condition_variable changed;
    int made = 0;
    bool trim = false;
    int trimmed = 0;
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t) {
        pool.emplace_back([&, t] {
            {
                std::vector<pb::Ref<PB_STRING>> held;
                held.reserve(objects);
                for (PB_INT i = 0; i < objects; ++i)
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
    // Every thread is alive and idle, its objects freed.
    PB_INT idle = pbMemKeptBytes() - keptBefore;
    EXPECT_LE(idle, threads * bound);
    EXPECT_GE(idle, 0);
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

    // The calling thread: a burst of frees fills the cache up to the bound,
    // trimming empties it, and objects are made as before afterwards.
    {
        std::vector<pb::Ref<PB_STRING>> held;
        for (PB_INT i = 0; i < 20000; ++i)
            held.emplace_back(smallObject(i));
    }
    EXPECT_LE(pbMemKeptBytes(), bound);
    pbMemTrim();
    EXPECT_EQ(pbMemKeptBytes(), 0);
    pb::Ref<PB_STRING> again(smallObject(50));
    EXPECT_EQ(pbStringLength(again.get()), 50);
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
