// Reference counting, freeing, the live-object count, ordering across sorts,
// static objects, concurrent retain/release and the module loader.
#include "pb_test_util.h"

#include <rfc/rfc_module.h>

#include <atomic>
#include <string>
#include <thread>
#include <utility>
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

// Deliberately answers magnitudes other than 1.
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

// One reference from creation; the free function runs with the last release
// (exact counts under contention are checked below). A retained object
// counts once in the live count; an object whose sort has no free function
// is freed too.
TEST(PbObj, ReferencesAndTheLiveCount)
{
    std::atomic<int> freed { 0 };
    const PB_INT before = pbObjLiveCount();
    PB_OBJ *obj = probeCreate(&freed);
    EXPECT_EQ(pbObjRefCount(obj), 1);
    EXPECT_EQ(pbObjRetain(obj), obj);
    EXPECT_EQ(pbObjLiveCount(), before + 1);
    pbObjRelease(obj);
    EXPECT_EQ(freed.load(), 0);
    pbObjRelease(obj);
    EXPECT_EQ(freed.load(), 1);
    pbObjRelease(nullptr);
    EXPECT_EQ(pbObjLiveCount(), before);

    PB_OBJ *plain = pb___ObjCreate(sizeof(PB___OBJ_HEADER), &plainSort);
    EXPECT_EQ(pbObjLiveCount(), before + 1);
    pbObjRelease(plain);
    EXPECT_EQ(pbObjLiveCount(), before);
}

// Within a sort its compare function decides (only its sign counts). Across
// sorts, or in a sort without one, the order is still total: antisymmetric,
// never equal for distinct objects, transitive, and by sort name first. Every
// runtime type has a sort of its own with its name.
TEST(PbObj, CompareIsATotalOrder)
{
    std::atomic<int> freed { 0 };
    pb::Ref<PB_OBJ> low(probeCreate(&freed, 1));
    pb::Ref<PB_OBJ> high(probeCreate(&freed, 5));
    EXPECT_LT(pbObjCompare(low.get(), high.get()), 0);
    EXPECT_GT(pbObjCompare(high.get(), low.get()), 0);
    EXPECT_TRUE(pbObjEquals(high.get(), pb::Ref<PB_OBJ>(probeCreate(&freed, 5)).get()));
    EXPECT_FALSE(pbObjEquals(low.get(), high.get()));
    pb::Ref<PB_STRING> text(pbObjToString(low.get()));
    EXPECT_TRUE(rfctest::utf8(text.get()).starts_with("<TEST_PROBE@")) << rfctest::utf8(text.get());

    const std::pair<const char *, pb::Ref<PB_OBJ>> objects[] = {
        { "TEST_PROBE", pb::Ref<PB_OBJ>(probeCreate(&freed, 3)) },
        { "TEST_PLAIN", pb::Ref<PB_OBJ>(pb___ObjCreate(sizeof(PB___OBJ_HEADER), &plainSort)) },
        { "TEST_PLAIN", pb::Ref<PB_OBJ>(pb___ObjCreate(sizeof(PB___OBJ_HEADER), &plainSort)) },
        { "PB_STRING", pb::Ref<PB_OBJ>(pbStringObj(pbStringCreate())) },
        { "PB_BUFFER", pb::Ref<PB_OBJ>(pbBufferObj(pbBufferCreate())) },
        { "PB_VECTOR", pb::Ref<PB_OBJ>(pbVectorObj(pbVectorCreate())) },
        { "PB_DICT", pb::Ref<PB_OBJ>(pbDictObj(pbDictCreate())) },
        { "PB_DICT", pb::Ref<PB_OBJ>(pbDictObj(pbDictCreate())) },
        { "PB_STORE", pb::Ref<PB_OBJ>(pbStoreObj(pbStoreCreate())) },
        { "PB_BOXED_INT", pb::Ref<PB_OBJ>(pbBoxedIntObj(pbBoxedIntCreate(1))) },
        { "PB_ENUM", pb::Ref<PB_OBJ>(pbEnumObj(pbEnumCreate())) },
        { "PB_FLAGSET", pb::Ref<PB_OBJ>(pbFlagsetObj(pbFlagsetCreate())) },
    };
    for (const auto &[aName, a] : objects) {
        EXPECT_STREQ(pbSortName(pbObjSort(a.get())), aName);
        for (const auto &[bName, b] : objects) {
            const PB_INT ab = pbObjCompare(a.get(), b.get());
            EXPECT_EQ(ab == 0, a.get() == b.get()) << aName << " vs " << bName;
            EXPECT_EQ(pbtest::sign(ab), -pbtest::sign(pbObjCompare(b.get(), a.get()))) << aName << " vs " << bName;
            EXPECT_TRUE(std::string(aName) >= bName || ab < 0) << aName << " vs " << bName;
            for (const auto &c : objects)
                EXPECT_TRUE(ab >= 0 || pbObjCompare(b.get(), c.second.get()) >= 0 || pbObjCompare(a.get(), c.second.get()) < 0)
                    << aName << " vs " << bName << " vs " << c.first;
        }
    }
}

// Sorts and module objects live in static data: retaining and releasing
// them never frees them (ASan would report a free of static memory) and
// never changes the live count.
TEST(PbObj, StaticObjectsAreNeverFreed)
{
    const PB_INT before = pbObjLiveCount();
    for (const void *object : { static_cast<const void *>(&probeSort), static_cast<const void *>(pbStringSort()),
             static_cast<const void *>(rfcModule()) }) {
        PB_OBJ *obj = static_cast<PB_OBJ *>(const_cast<void *>(object));
        const PB_INT count = pbObjRefCount(obj);
        for (int i = 0; i < 5; ++i)
            EXPECT_EQ(pbObjRetain(obj), obj);
        for (int i = 0; i < 10; ++i)
            pbObjRelease(obj);
        EXPECT_EQ(pbObjRefCount(obj), count);
    }
    EXPECT_EQ(pbObjLiveCount(), before);
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

constexpr int threadCount = 4;

// Several threads retain and release one object; the count ends exact and
// the object is freed once, by whichever thread drops the last reference.
TEST(PbObj, ConcurrentRetainAndReleaseKeepExactCounts)
{
    constexpr int rounds = 250000;
    std::atomic<int> freed { 0 };
    PB_OBJ *obj = probeCreate(&freed);
    runTogether(threadCount, [obj](int) {
        for (int i = 0; i < rounds; ++i)
            pbObjRetain(obj);
    });
    EXPECT_EQ(pbObjRefCount(obj), 1 + PB_INT(threadCount) * rounds);
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
    constexpr int objectCount = 20000;
    std::atomic<int> freed { 0 };
    const PB_INT before = pbObjLiveCount();
    std::vector<PB_OBJ *> objects;
    for (int i = 0; i < objectCount; ++i) {
        objects.push_back(probeCreate(&freed));
        for (int t = 1; t < threadCount; ++t)
            pbObjRetain(objects.back());
    }
    runTogether(threadCount, [&](int) {
        for (PB_OBJ *obj : objects)
            pbObjRelease(obj);
    });
    EXPECT_EQ(freed.load(), objectCount);
    EXPECT_EQ(pbObjLiveCount(), before);
}

// Copy-on-write from several threads: each thread changes its own reference
// to a shared string; the original never changes and every copy sees only
// its own appends.
TEST(PbObj, ConcurrentCopyOnWriteLeavesTheSharedObjectAlone)
{
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
int startups = 0;
int shutdowns = 0;

TEST(PbModule, StartupChecksTheDependencies)
{
    struct Row {
        const char *dependency;
        PB_BOOL answer;
        PB_BOOL result;
        int startups;
        const char *why;
    } rows[] = {
        { "pb", PB_TRUE, PB_TRUE, 1, "depends on pb only" },
        { "", PB_TRUE, PB_TRUE, 1, "no dependencies" },
        { "pb", PB_FALSE, PB_FALSE, 1, "the startup's own failure is passed on" },
        { "other", PB_TRUE, PB_FALSE, 0, "an unknown dependency: not started" },
        { "pbx", PB_TRUE, PB_FALSE, 0, "names are exact" },
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.why);
        PB_MODULE_RECORD record = { 2, "corvanead", "corvane administration", 4, 14, 21, "", "", "", "fake", "",
            "0.0", { row.dependency, "" } };
        PB___MODULE_STARTUP_FUNC startup = row.answer ? +[]() { return ++startups, PB_TRUE; }
                                                      : +[]() { return ++startups, PB_FALSE; };
        PB_MODULE module = { PB___OBJ_STATIC_HEADER(PB___OBJ_KIND_MODULE), &record, startup, nullptr,
            +[]() { ++shutdowns; }, { nullptr, nullptr, nullptr, nullptr, nullptr } };
        startups = 0;
        shutdowns = 0;
        EXPECT_EQ(pbModuleRecord(&module), &record);
        EXPECT_EQ(pbModuleStartup(&module), row.result);
        EXPECT_EQ(startups, row.startups);
        pbModuleShutdown(&module);
        EXPECT_EQ(shutdowns, 1);
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
    EXPECT_DEATH(pbObjRetain(nullptr), "source/pb/pb_obj.*contract violation: obj\n");
    EXPECT_DEATH(pb___ObjCreate(sizeof(PB___OBJ_HEADER), nullptr), "contract violation: sort\n");
}

TEST(PbObjDeathTest, IndexCountAndSortViolations)
{
    pb::Ref<PB_STRING> s = rfctest::string("abc");
    EXPECT_DEATH(pbStringCharAt(s.get(), 3), "source/pb/pb_string.*index >= 0 && index < s->length");
    EXPECT_DEATH(pbStringCharAt(s.get(), -1), "index >= 0 && index < s->length");
    EXPECT_DEATH(pbStringDelTrailing(s.addr(), 4), "count >= 0 && count <= \\(\\*s\\)->length");
    pb::Ref<PB_BUFFER> b = rfctest::buffer("ab");
    EXPECT_DEATH(pbBufferDelTrailing(b.addr(), 3), "source/pb/pb_string.*count >= 0 && count <= \\(\\*b\\)->length");
    EXPECT_DEATH(pbStringFrom(pbBufferObj(b.get())), "!obj \\|\\| pbObjSort\\(obj\\) == &stringSort");
    EXPECT_DEATH(pbBoxedIntFrom(pbStringObj(s.get())), "!obj \\|\\| pbObjSort\\(obj\\) == &boxedIntSort");
    pb::Ref<PB_VECTOR> v(pbVectorCreate());
    pbVectorAppendObj(v.addr(), pbStringObj(s.get()));
    EXPECT_DEATH(pbVectorObjAt(v.get(), -1), "source/pb/pb_collections.*index >= 0 && index < v->length");
    EXPECT_DEATH(pbVectorObjAt(v.get(), 1), "index >= 0 && index < v->length");
}

} // namespace
