// Several threads at once over shared objects, for ThreadSanitizer (the tsan
// preset) as much as for the checks themselves: objects made on one thread
// and released on another, one options object of each family used by every
// thread, one object retained and released by all threads together,
// copy-on-write setters on shared objects, and a sampler reading the live
// count throughout.
#include "support/test_support.h"

#include <rfc/base/rfc_base.h>
#include <rfc/crc/rfc_crc.h>
#include <rfc/mail/rfc_mail.h>
#include <rfc/quop/rfc_quop.h>
#include <rfc/stringprep/rfc_stringprep.h>

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace {

constexpr int kThreads = 4;
#if defined(__SANITIZE_THREAD__)
constexpr int kRounds = 150;
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
constexpr int kRounds = 150;
#else
constexpr int kRounds = 400;
#endif
#else
constexpr int kRounds = 400;
#endif

// A queue that hands objects (and the reference to each) from producers to
// consumers.
class Handoff {
public:
    void put(PB_OBJ *obj)
    {
        std::lock_guard<std::mutex> hold(lock_);
        queue_.push_back(obj);
        changed_.notify_one();
    }
    // The next object, or null once closed and empty.
    PB_OBJ *take()
    {
        std::unique_lock<std::mutex> hold(lock_);
        changed_.wait(hold, [&] { return !queue_.empty() || closed_; });
        if (queue_.empty())
            return nullptr;
        PB_OBJ *obj = queue_.front();
        queue_.pop_front();
        return obj;
    }
    void close()
    {
        std::lock_guard<std::mutex> hold(lock_);
        closed_ = true;
        changed_.notify_all();
    }

private:
    std::mutex lock_;
    std::condition_variable changed_;
    std::deque<PB_OBJ *> queue_;
    bool closed_ = false;
};

// Reads the live count until stopped; every sample must be a count (the
// exact bounds are checked by the runtime's own tests).
class Sampler {
public:
    Sampler()
        : thread_([this] {
              while (!stop_.load()) {
                  PB_INT live = pbObjLiveCount();
                  if (live < 0)
                      negative_.store(true);
                  samples_.fetch_add(1);
              }
          })
    {
    }
    ~Sampler() { finish(); }
    void finish()
    {
        stop_.store(true);
        if (thread_.joinable())
            thread_.join();
    }
    bool sawNegative() const { return negative_.load(); }
    long samples() const { return samples_.load(); }

private:
    std::atomic<bool> stop_ { false };
    std::atomic<bool> negative_ { false };
    std::atomic<long> samples_ { 0 };
    std::thread thread_;
};

// Every family through one shared options object each: the results of all
// threads must equal those computed alone beforehand.
TEST(Stress, SharedOptionsAcrossEveryFamily)
{
    pb::Ref<RFC_BASE_OPTIONS> baseOptions(rfcBaseOptionsCreate());
    rfcBaseOptionsSetOutputLineLength(baseOptions.addr(), 16);
    rfcBaseOptionsSetFlags(baseOptions.addr(), RFC_BASE_FLAG_DECODE_IGNORE_NLF);
    pb::Ref<RFC_QUOP_OPTIONS> quopOptions(rfcQuopOptionsCreate());
    rfcQuopOptionsSetEncodeOutputLineLength(quopOptions.addr(), 20);
    const std::string text = rfctest::randomBytes(300, 12);
    pb::Ref<PB_BUFFER> bytes = rfctest::buffer(text);
    pb::Ref<PB_STRING> header = rfctest::string("Joe (the man) <joe@example.com>, \"Q\" <q@[1.2.3.4]>");
    pb::Ref<PB_STRING> name = rfctest::string("Stra\xC3\x9F" "e\xE2\x85\xA8");

    pb::Ref<PB_STRING> base64(rfcBaseEncodeToStringWithOptions(bytes.get(), RFC_BASE_ENCODING_BASE64, baseOptions.get()));
    pb::Ref<PB_BUFFER> decoded(rfcBaseTryDecodeStringWithOptions(base64.get(), RFC_BASE_ENCODING_BASE64, baseOptions.get()));
    ASSERT_TRUE(decoded && pbObjEquals(pbBufferObj(decoded.get()), pbBufferObj(bytes.get())));
    pb::Ref<PB_STRING> quop(rfcQuopEncodeToStringWithOptions(bytes.get(), quopOptions.get()));
    pb::Ref<PB_BUFFER> quopDecoded(rfcQuopTryDecodeStringWithOptions(quop.get(), quopOptions.get()));
    ASSERT_TRUE(quopDecoded && pbObjEquals(pbBufferObj(quopDecoded.get()), pbBufferObj(bytes.get())));
    const PB_INT crc = rfcCrc(RFC_CRC_ALGORITHM_CRC32_C, bytes.get());
    pb::Ref<PB_STRING> prepared(rfcStringprepProfileSaslprep(name.get()));
    ASSERT_TRUE(prepared);
    pb::Ref<PB_VECTOR> tokens(rfcMailShfTokenVectorTryDecode(header.get()));
    ASSERT_TRUE(tokens);
    // Tokens compare by identity: the vectors are compared through their text.
    pb::Ref<PB_STRING> folded(rfcMailShfTokenVectorEncode(tokens.get(), 30, 0));

    Sampler sampler;
    std::atomic<int> wrong { 0 };
    std::vector<std::thread> pool;
    for (int t = 0; t < kThreads; ++t) {
        pool.emplace_back([&] {
            for (int round = 0; round < kRounds; ++round) {
                pb::Ref<PB_STRING> b(rfcBaseEncodeToStringWithOptions(bytes.get(), RFC_BASE_ENCODING_BASE64, baseOptions.get()));
                pb::Ref<PB_BUFFER> back(rfcBaseTryDecodeStringWithOptions(b.get(), RFC_BASE_ENCODING_BASE64, baseOptions.get()));
                pb::Ref<PB_STRING> q(rfcQuopEncodeToStringWithOptions(bytes.get(), quopOptions.get()));
                pb::Ref<PB_BUFFER> qBack(rfcQuopTryDecodeStringWithOptions(q.get(), quopOptions.get()));
                pb::Ref<PB_STRING> p(rfcStringprepProfileSaslprep(name.get()));
                pb::Ref<PB_VECTOR> v(rfcMailShfTokenVectorTryDecode(header.get()));
                pb::Ref<PB_STRING> e(v ? rfcMailShfTokenVectorEncode(v.get(), 30, 0) : pbStringCreate());
                bool same = pbObjEquals(pbStringObj(b.get()), pbStringObj(base64.get()))
                    && back && pbObjEquals(pbBufferObj(back.get()), pbBufferObj(bytes.get()))
                    && pbObjEquals(pbStringObj(q.get()), pbStringObj(quop.get()))
                    && qBack && pbObjEquals(pbBufferObj(qBack.get()), pbBufferObj(bytes.get()))
                    && p && pbObjEquals(pbStringObj(p.get()), pbStringObj(prepared.get()))
                    && v && pbObjEquals(pbStringObj(e.get()), pbStringObj(folded.get()))
                    && rfcCrc(RFC_CRC_ALGORITHM_CRC32_C, bytes.get()) == crc;
                if (!same)
                    wrong.fetch_add(1);
            }
        });
    }
    for (std::thread &thread : pool)
        thread.join();
    sampler.finish();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_FALSE(sampler.sawNegative());
    EXPECT_GT(sampler.samples(), 0);
}

// Copy-on-write under sharing: every thread takes its own reference to the
// shared options and changes it; the shared object never changes, and each
// thread's copy holds its own setting.
TEST(Stress, CopyOnWriteSettersOnSharedObjects)
{
    pb::Ref<RFC_BASE_OPTIONS> shared(rfcBaseOptionsCreate());
    rfcBaseOptionsSetOutputLineLength(shared.addr(), 76);
    pb::Ref<RFC_QUOP_OPTIONS> sharedQuop(rfcQuopOptionsCreate());
    std::atomic<int> wrong { 0 };
    std::vector<std::thread> pool;
    for (int t = 0; t < kThreads; ++t) {
        pool.emplace_back([&, t] {
            for (int round = 0; round < kRounds * 4; ++round) {
                pb::Ref<RFC_BASE_OPTIONS> mine = pb::Ref<RFC_BASE_OPTIONS>::retained(shared.get());
                rfcBaseOptionsSetOutputLineLength(mine.addr(), 8 + t);
                pb::Ref<RFC_QUOP_OPTIONS> mineQuop = pb::Ref<RFC_QUOP_OPTIONS>::retained(sharedQuop.get());
                rfcQuopOptionsSetEncodeOutputLineLength(mineQuop.addr(), 10 + t);
                if (mine.get() == shared.get() || rfcBaseOptionsOutputLineLength(mine.get()) != 8 + t
                    || rfcBaseOptionsOutputLineLength(shared.get()) != 76 || mineQuop.get() == sharedQuop.get())
                    wrong.fetch_add(1);
            }
        });
    }
    for (std::thread &thread : pool)
        thread.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(pbObjRefCount(pb::obj(shared.get())), 1);
}

// One object retained and released by every thread at once: its count ends
// where it started and it is freed exactly once, at the end.
TEST(Stress, OneObjectRetainedAndReleasedByAll)
{
    pb::Ref<PB_STRING> shared = rfctest::string("shared");
    std::vector<std::thread> pool;
    for (int t = 0; t < kThreads; ++t) {
        pool.emplace_back([&] {
            for (int round = 0; round < kRounds * 50; ++round) {
                pbObjRetain(pbStringObj(shared.get()));
                pb::Ref<PB_STRING> extra = pb::Ref<PB_STRING>::retained(shared.get());
                pbObjRelease(pbStringObj(shared.get()));
            }
        });
    }
    for (std::thread &thread : pool)
        thread.join();
    EXPECT_EQ(pbObjRefCount(pbStringObj(shared.get())), 1);
}

// Objects of every family made on producer threads and released on consumer
// threads, with the sampler running.
TEST(Stress, MadeOnOneThreadReleasedOnAnother)
{
    Handoff handoff;
    Sampler sampler;
    std::vector<std::thread> consumers;
    for (int t = 0; t < kThreads / 2; ++t) {
        consumers.emplace_back([&] {
            while (PB_OBJ *obj = handoff.take())
                pbObjRelease(obj);
        });
    }
    std::vector<std::thread> producers;
    for (int t = 0; t < kThreads / 2; ++t) {
        producers.emplace_back([&, t] {
            pb::Ref<PB_BUFFER> bytes = rfctest::buffer(rfctest::randomBytes(64, unsigned(t)));
            pb::Ref<PB_STRING> header = rfctest::string("a.b@c (d)");
            for (int round = 0; round < kRounds * 4; ++round) {
                handoff.put(pbStringObj(rfcBaseEncodeToString(bytes.get(), RFC_BASE_ENCODING_BASE32)));
                handoff.put(rfcBaseOptionsObj(rfcBaseOptionsCreate()));
                handoff.put(rfcQuopOptionsObj(rfcQuopOptionsCreate()));
                handoff.put(rfcCrcObj(rfcCrcCreate(RFC_CRC_ALGORITHM_CRC32_C)));
                handoff.put(pbVectorObj(rfcMailShfTokenVectorTryDecode(header.get())));
                handoff.put(pbBufferObj(rfcQuopEncode(bytes.get())));
            }
        });
    }
    for (std::thread &thread : producers)
        thread.join();
    handoff.close();
    for (std::thread &thread : consumers)
        thread.join();
    sampler.finish();
    EXPECT_FALSE(sampler.sawNegative());
}

} // namespace
