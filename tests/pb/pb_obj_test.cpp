// Reference counting, freeing, the live-object count, ordering across sorts,
// static objects and concurrent retain/release.
#include "support/test_support.h"

#include <rfc/rfc_module.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

// A test sort whose free function counts its calls and checks that the
// object's own fields are still readable when it runs.
struct Probe {
    PB___OBJ_HEADER header;
    std::atomic<int> *freed;
    PB_INT key;
    PB_INT marker;
};

constexpr PB_INT probeMarker = 0x5a5a5a5a;

void probeFree(PB_OBJ *obj)
{
    auto *probe = reinterpret_cast<Probe *>(obj);
    EXPECT_EQ(probe->marker, probeMarker) << "free function ran on a dead object";
    probe->freed->fetch_add(1);
}

// Deliberately answers magnitudes other than 1: pbObjCompare passes only the
// sign on.
PB_INT probeCompare(PB_OBJ *a, PB_OBJ *b)
{
    return (reinterpret_cast<Probe *>(a)->key - reinterpret_cast<Probe *>(b)->key) * 42;
}

const PB_SORT probeSort = { PB___OBJ_STATIC_HEADER(PB___OBJ_KIND_SORT), nullptr, "TEST_PROBE", probeFree,
    probeCompare, { nullptr, nullptr, nullptr, nullptr, nullptr, nullptr } };

// A second sort with neither a free nor a compare function.
const PB_SORT plainSort = { PB___OBJ_STATIC_HEADER(PB___OBJ_KIND_SORT), nullptr, "TEST_PLAIN", nullptr, nullptr,
    { nullptr, nullptr, nullptr, nullptr, nullptr, nullptr } };

PB_OBJ *probeCreate(std::atomic<int> *freed, PB_INT key = 0)
{
    PB_OBJ *obj = pb___ObjCreate(sizeof(Probe), &probeSort);
    auto *probe = reinterpret_cast<Probe *>(obj);
    probe->freed = freed;
    probe->key = key;
    probe->marker = probeMarker;
    return obj;
}

PB_OBJ *sortAsObj(const PB_SORT *sort)
{
    return reinterpret_cast<PB_OBJ *>(const_cast<PB_SORT *>(sort));
}

TEST(PbObj, CreateStartsWithOneReferenceOwnedByTheCreator)
{
    std::atomic<int> freed { 0 };
    PB_INT before = pbObjLiveCount();
    PB_OBJ *obj = probeCreate(&freed);
    EXPECT_EQ(pbObjRefCount(obj), 1);
    EXPECT_EQ(pbObjSort(obj), &probeSort);
    EXPECT_EQ(pbObjLiveCount(), before + 1);
    pbObjRelease(obj);
    EXPECT_EQ(freed.load(), 1);
    EXPECT_EQ(pbObjLiveCount(), before);
}

TEST(PbObj, ReleaseFreesExactlyOnceWithTheLastReference)
{
    std::atomic<int> freed { 0 };
    PB_OBJ *obj = probeCreate(&freed);
    EXPECT_EQ(pbObjRetain(obj), obj);
    EXPECT_EQ(pbObjRetain(obj), obj);
    EXPECT_EQ(pbObjRefCount(obj), 3);

    pbObjRelease(obj);
    EXPECT_EQ(pbObjRefCount(obj), 2);
    EXPECT_EQ(freed.load(), 0);
    pbObjRelease(obj);
    EXPECT_EQ(pbObjRefCount(obj), 1);
    EXPECT_EQ(freed.load(), 0);
    pbObjRelease(obj); // the last reference: the free function runs now
    EXPECT_EQ(freed.load(), 1);
}

TEST(PbObj, ReleaseOfNullIsSkipped)
{
    PB_INT before = pbObjLiveCount();
    pbObjRelease(nullptr);
    EXPECT_EQ(pbObjLiveCount(), before);
}

TEST(PbObj, LiveCountFollowsCreationAndFreeing)
{
    std::atomic<int> freed { 0 };
    PB_INT before = pbObjLiveCount();
    std::vector<PB_OBJ *> objects;
    for (int i = 0; i < 10; ++i) {
        objects.push_back(probeCreate(&freed));
        EXPECT_EQ(pbObjLiveCount(), before + i + 1);
    }
    // A retained object counts once, however many references it has.
    pbObjRetain(objects[0]);
    EXPECT_EQ(pbObjLiveCount(), before + 10);
    pbObjRelease(objects[0]);
    EXPECT_EQ(pbObjLiveCount(), before + 10);
    for (PB_OBJ *obj : objects)
        pbObjRelease(obj);
    EXPECT_EQ(pbObjLiveCount(), before);
    EXPECT_EQ(freed.load(), 10);
}

TEST(PbObj, ObjectWithoutFreeFunctionIsFreed)
{
    PB_INT before = pbObjLiveCount();
    PB_OBJ *obj = pb___ObjCreate(sizeof(PB___OBJ_HEADER), &plainSort);
    EXPECT_EQ(pbObjLiveCount(), before + 1);
    pbObjRelease(obj);
    EXPECT_EQ(pbObjLiveCount(), before);
}

TEST(PbObj, CompareUsesTheSortsCompareFunctionSign)
{
    std::atomic<int> freed { 0 };
    pb::Ref<PB_OBJ> low(probeCreate(&freed, 1));
    pb::Ref<PB_OBJ> high(probeCreate(&freed, 5));
    pb::Ref<PB_OBJ> highToo(probeCreate(&freed, 5));
    EXPECT_LT(pbObjCompare(low.get(), high.get()), 0);
    EXPECT_GT(pbObjCompare(high.get(), low.get()), 0);
    EXPECT_EQ(pbObjCompare(high.get(), highToo.get()), 0); // distinct objects, equal keys
    EXPECT_TRUE(pbObjEquals(high.get(), highToo.get()));
    EXPECT_FALSE(pbObjEquals(low.get(), high.get()));
}

// Objects of different sorts, or of one sort without a compare function,
// still get a consistent order: antisymmetric, never equal for distinct
// objects, and transitive over a mix of sorts.
TEST(PbObj, CompareAcrossSortsIsATotalOrder)
{
    std::atomic<int> freed { 0 };
    std::vector<pb::Ref<PB_OBJ>> objects;
    objects.emplace_back(probeCreate(&freed, 3));
    objects.emplace_back(pb___ObjCreate(sizeof(PB___OBJ_HEADER), &plainSort));
    objects.emplace_back(pb___ObjCreate(sizeof(PB___OBJ_HEADER), &plainSort));
    objects.emplace_back(pbStringObj(pbStringCreateFromCstr("abc", -1)));
    objects.emplace_back(pbBufferObj(pbBufferCreate()));
    objects.emplace_back(pbBoxedIntObj(pbBoxedIntCreate(3)));
    objects.emplace_back(pbDictObj(pbDictCreate()));
    objects.emplace_back(pbDictObj(pbDictCreate()));

    for (auto &a : objects) {
        EXPECT_EQ(pbObjCompare(a.get(), a.get()), 0);
        for (auto &b : objects) {
            if (a.get() == b.get())
                continue;
            PB_INT ab = pbObjCompare(a.get(), b.get());
            PB_INT ba = pbObjCompare(b.get(), a.get());
            EXPECT_NE(ab, 0) << pbSortName(pbObjSort(a.get())) << " vs " << pbSortName(pbObjSort(b.get()));
            EXPECT_EQ(ab < 0, ba > 0) << pbSortName(pbObjSort(a.get())) << " vs " << pbSortName(pbObjSort(b.get()));
            for (auto &c : objects) {
                if (ab < 0 && pbObjCompare(b.get(), c.get()) < 0) {
                    EXPECT_LT(pbObjCompare(a.get(), c.get()), 0);
                }
            }
        }
    }
    // Different sorts order by sort name first.
    EXPECT_LT(pbObjCompare(objects[4].get(), objects[3].get()), 0); // PB_BUFFER < PB_STRING
    EXPECT_GT(pbObjCompare(objects[0].get(), objects[1].get()), 0); // TEST_PROBE > TEST_PLAIN
}

TEST(PbObj, ToStringOfAForeignSortNamesTheSort)
{
    std::atomic<int> freed { 0 };
    pb::Ref<PB_OBJ> obj(probeCreate(&freed));
    pb::Ref<PB_STRING> text(pbObjToString(obj.get()));
    std::string s = rfctest::utf8(text.get());
    EXPECT_EQ(s.rfind("<TEST_PROBE@", 0), 0u) << s;
    EXPECT_EQ(s.back(), '>') << s;
}

// Sorts and module objects live in static data: retaining and releasing
// them never frees them (ASan would report a free of static memory) and
// never changes the live count.
TEST(PbObj, StaticObjectsAreNeverFreed)
{
    PB_INT before = pbObjLiveCount();
    std::vector<PB_OBJ *> statics = { sortAsObj(&probeSort), sortAsObj(pbStringSort()), sortAsObj(pbVectorSort()),
        reinterpret_cast<PB_OBJ *>(const_cast<PB_MODULE *>(rfcModule())) };
    for (PB_OBJ *obj : statics) {
        PB_INT count = pbObjRefCount(obj);
        pbObjRelease(obj);
        pbObjRelease(obj);
        pbObjRelease(obj);
        for (int i = 0; i < 5; ++i)
            EXPECT_EQ(pbObjRetain(obj), obj);
        for (int i = 0; i < 10; ++i)
            pbObjRelease(obj);
        EXPECT_EQ(pbObjRefCount(obj), count);
    }
    EXPECT_EQ(pbObjLiveCount(), before);
    EXPECT_STREQ(pbSortName(&probeSort), "TEST_PROBE");
    EXPECT_STREQ(pbSortName(pbStringSort()), "PB_STRING");
    std::atomic<int> freed { 0 };
    pb::Ref<PB_OBJ> obj(probeCreate(&freed));
    EXPECT_EQ(pbObjSort(obj.get()), &probeSort);
}

// Starts `count` threads that wait at a common gate, so that they really
// run at the same time, and joins them.
template <class Body>
void runTogether(int count, Body body)
{
    std::atomic<int> ready { 0 };
    std::atomic<bool> go { false };
    std::vector<std::thread> threads;
    for (int t = 0; t < count; ++t)
        threads.emplace_back([&, t] {
            ready.fetch_add(1);
            while (!go.load())
                std::this_thread::yield();
            body(t);
        });
    while (ready.load() < count)
        std::this_thread::yield();
    go.store(true);
    for (auto &thread : threads)
        thread.join();
}

// Several threads retain and release one object; the count ends exact and
// the object is freed once, by whichever thread drops the last reference.
TEST(PbObj, ConcurrentRetainAndReleaseKeepExactCounts)
{
    constexpr int threadCount = 4;
    constexpr int rounds = 250000;
    std::atomic<int> freed { 0 };
    PB_OBJ *obj = probeCreate(&freed);

    // Every thread takes `rounds` references.
    runTogether(threadCount, [obj](int) {
        for (int i = 0; i < rounds; ++i)
            pbObjRetain(obj);
    });
    EXPECT_EQ(pbObjRefCount(obj), 1 + PB_INT(threadCount) * rounds);

    // Interleaved retain/release pairs, then each thread drops its own
    // references.
    runTogether(threadCount, [obj](int) {
        for (int i = 0; i < rounds; ++i) {
            pbObjRetain(obj);
            pbObjRelease(obj);
        }
        for (int i = 0; i < rounds; ++i)
            pbObjRelease(obj);
    });
    EXPECT_EQ(pbObjRefCount(obj), 1);
    EXPECT_EQ(freed.load(), 0);
    pbObjRelease(obj);
    EXPECT_EQ(freed.load(), 1);
}

// The race for the last reference: each thread holds one reference and
// releases it at the same moment; exactly one free must happen per object.
TEST(PbObj, ConcurrentLastReleaseFreesOnce)
{
    constexpr int threadCount = 4;
    constexpr int objectCount = 20000;
    std::atomic<int> freed { 0 };
    PB_INT before = pbObjLiveCount();
    std::vector<PB_OBJ *> objects;
    for (int i = 0; i < objectCount; ++i) {
        PB_OBJ *obj = probeCreate(&freed);
        for (int t = 1; t < threadCount; ++t)
            pbObjRetain(obj);
        objects.push_back(obj);
    }
    runTogether(threadCount, [&](int) {
        for (PB_OBJ *obj : objects)
            pbObjRelease(obj);
    });
    EXPECT_EQ(freed.load(), objectCount);
    EXPECT_EQ(pbObjLiveCount(), before);
}

// Copy-on-write through the runtime's own setters from several threads: each
// thread changes its own reference to a shared string; the shared original
// never changes and every copy sees only its own appends.
TEST(PbObj, ConcurrentCopyOnWriteLeavesTheSharedObjectAlone)
{
    constexpr int threadCount = 4;
    pb::Ref<PB_STRING> shared(pbStringCreateFromCstr("base", -1));
    std::vector<std::string> results(threadCount);
    runTogether(threadCount, [&](int t) {
        for (int round = 0; round < 2000; ++round) {
            pb::Ref<PB_STRING> mine = pb::Ref<PB_STRING>::retained(shared.get());
            pbStringAppendChar(mine.addr(), PB_CHAR('0' + t));
            pbStringAppendChar(mine.addr(), PB_CHAR('0' + t));
            if (round == 1999)
                results[std::size_t(t)] = rfctest::utf8(mine.get());
        }
    });
    EXPECT_EQ(rfctest::utf8(shared.get()), "base");
    EXPECT_EQ(pbObjRefCount(pbStringObj(shared.get())), 1);
    for (int t = 0; t < threadCount; ++t)
        EXPECT_EQ(results[std::size_t(t)], "base" + std::string(2, char('0' + t)));
}

// The loader starts a module only when every dependency is "pb", the one
// module this runtime provides, and passes the startup's answer on.
int fakeStartups = 0;
int fakeShutdowns = 0;
PB_BOOL fakeStartup()
{
    ++fakeStartups;
    return PB_TRUE;
}
PB_BOOL failingStartup()
{
    ++fakeStartups;
    return PB_FALSE;
}
void fakeShutdown()
{
    ++fakeShutdowns;
}

PB_MODULE_RECORD fakeRecord(const char *dependency)
{
    return PB_MODULE_RECORD { 2, "corvanead", "corvane administration", 4, 14, 21, "", "", "", "fake", "", "0.0",
        { dependency, "" } };
}

TEST(PbModule, StartupChecksTheDependencies)
{
    struct Row {
        const char *dependency;
        PB___MODULE_STARTUP_FUNC startup;
        PB_BOOL result;
        int startups;
        const char *why;
    } rows[] = {
        { "pb", fakeStartup, PB_TRUE, 1, "depends on pb only" },
        { "", fakeStartup, PB_TRUE, 1, "no dependencies" },
        { "pb", failingStartup, PB_FALSE, 1, "the startup's own failure is passed on" },
        { "other", fakeStartup, PB_FALSE, 0, "an unknown dependency: not started" },
        { "pbx", fakeStartup, PB_FALSE, 0, "names are exact" },
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.why);
        PB_MODULE_RECORD record = fakeRecord(row.dependency);
        PB_MODULE module = { PB___OBJ_STATIC_HEADER(PB___OBJ_KIND_MODULE), &record, row.startup, nullptr,
            fakeShutdown, { nullptr, nullptr, nullptr, nullptr, nullptr } };
        fakeStartups = 0;
        fakeShutdowns = 0;
        EXPECT_EQ(pbModuleRecord(&module), &record);
        EXPECT_EQ(pbModuleStartup(&module), row.result);
        EXPECT_EQ(fakeStartups, row.startups);
        pbModuleShutdown(&module);
        EXPECT_EQ(fakeShutdowns, 1);
    }
}

// Every runtime type: its objects carry its sort, the sort has its name,
// and the typed and generic views of an object are the same pointer.
TEST(PbObj, RuntimeSortsAndConversions)
{
    struct Row {
        const char *name;
        const PB_SORT *sort;
        pb::Ref<PB_OBJ> obj;
        std::function<bool(PB_OBJ *)> fromIsIdentity;
    };
    std::vector<Row> rows;
    rows.push_back({ "PB_STRING", pbStringSort(), pb::Ref<PB_OBJ>(pbStringObj(pbStringCreate())),
        [](PB_OBJ *o) { return pbStringObj(pbStringFrom(o)) == o && !pbStringFrom(nullptr); } });
    rows.push_back({ "PB_BUFFER", pbBufferSort(), pb::Ref<PB_OBJ>(pbBufferObj(pbBufferCreate())),
        [](PB_OBJ *o) { return pbBufferObj(pbBufferFrom(o)) == o && !pbBufferFrom(nullptr); } });
    rows.push_back({ "PB_VECTOR", pbVectorSort(), pb::Ref<PB_OBJ>(pbVectorObj(pbVectorCreate())),
        [](PB_OBJ *o) { return pbVectorObj(pbVectorFrom(o)) == o && !pbVectorFrom(nullptr); } });
    rows.push_back({ "PB_DICT", pbDictSort(), pb::Ref<PB_OBJ>(pbDictObj(pbDictCreate())),
        [](PB_OBJ *o) { return pbDictObj(pbDictFrom(o)) == o && !pbDictFrom(nullptr); } });
    rows.push_back({ "PB_STORE", pbStoreSort(), pb::Ref<PB_OBJ>(pbStoreObj(pbStoreCreate())),
        [](PB_OBJ *o) { return pbStoreObj(pbStoreFrom(o)) == o && !pbStoreFrom(nullptr); } });
    rows.push_back({ "PB_BOXED_INT", pbBoxedIntSort(), pb::Ref<PB_OBJ>(pbBoxedIntObj(pbBoxedIntCreate(1))),
        [](PB_OBJ *o) { return pbBoxedIntObj(pbBoxedIntFrom(o)) == o && !pbBoxedIntFrom(nullptr); } });
    rows.push_back({ "PB_ENUM", pbEnumSort(), pb::Ref<PB_OBJ>(pbEnumObj(pbEnumCreate())), nullptr });
    rows.push_back({ "PB_FLAGSET", pbFlagsetSort(), pb::Ref<PB_OBJ>(pbFlagsetObj(pbFlagsetCreate())), nullptr });
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(pbObjSort(row.obj.get()), row.sort);
        EXPECT_STREQ(pbSortName(row.sort), row.name);
        EXPECT_EQ(pbObjRefCount(row.obj.get()), 1);
        if (row.fromIsIdentity) {
            EXPECT_TRUE(row.fromIsIdentity(row.obj.get()));
        }
        for (const Row &other : rows) {
            if (&other != &row) {
                EXPECT_NE(row.sort, other.sort) << other.name;
            }
        }
    }
}

// The abort line names the tag (when there is one), the file, the line and
// the condition.
TEST(PbObjDeathTest, AbortWritesTagFileLineAndCondition)
{
    EXPECT_DEATH(pb___Abort("stdfunc retain", "source/rfc/base/rfc_base_options", 42, "obj"),
        "\\[stdfunc retain\\] source/rfc/base/rfc_base_options:42: contract violation: obj\n");
    EXPECT_DEATH(pb___Abort(nullptr, "source/rfc/crc/rfc_crc", 7, "width >= 8 && width <= 64"),
        "source/rfc/crc/rfc_crc:7: contract violation: width >= 8 && width <= 64\n");
}

TEST(PbObjDeathTest, RetainOfNullIsAViolation)
{
    EXPECT_DEATH(pbObjRetain(nullptr), "source/pb/pb_obj.*contract violation: obj\n");
}

TEST(PbObjDeathTest, CreateWithoutSortIsAViolation)
{
    EXPECT_DEATH(pb___ObjCreate(sizeof(PB___OBJ_HEADER), nullptr), "contract violation: sort\n");
}

} // namespace
