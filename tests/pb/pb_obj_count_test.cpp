// Taking and dropping several references in one step, and a vector's release
// of items it holds many references to.
#include "pb_test_util.h"

#include <atomic>

namespace {

struct Counted {
    PB___OBJ_HEADER header;
    std::atomic<int> *freed;
};

void countedFree(PB_OBJ *obj)
{
    reinterpret_cast<Counted *>(obj)->freed->fetch_add(1);
}

const PB_SORT countedSort = { PB___OBJ_STATIC_HEADER(PB___OBJ_KIND_SORT), nullptr, "TEST_COUNTED", countedFree,
    nullptr, { nullptr, nullptr, nullptr, nullptr, nullptr, nullptr } };

PB_OBJ *countedCreate(std::atomic<int> *freed)
{
    PB_OBJ *obj = pb___ObjCreate(sizeof(Counted), &countedSort);
    reinterpret_cast<Counted *>(obj)->freed = freed;
    return obj;
}

// Retaining and releasing by a count moves the reference count by exactly
// that much; a count of 0 changes nothing; the object is freed when the
// released count takes its last reference, and not one step before.
TEST(PbObjCount, RetainAndReleaseByCount)
{
    std::atomic<int> freed { 0 };
    PB_OBJ *obj = countedCreate(&freed);
    EXPECT_EQ(pbObjRetainCount(obj, 9), obj);
    EXPECT_EQ(pbObjRefCount(obj), 10);
    pbObjRetainCount(obj, 0);
    pbObjReleaseCount(obj, 0);
    EXPECT_EQ(pbObjRefCount(obj), 10);
    pbObjReleaseCount(obj, 4);
    EXPECT_EQ(pbObjRefCount(obj), 6);
    pbObjRelease(obj);
    pbObjReleaseCount(obj, 4);
    EXPECT_EQ(freed.load(), 0);
    EXPECT_EQ(pbObjRefCount(obj), 1);
    pbObjRetain(obj);
    pbObjReleaseCount(obj, 2);
    EXPECT_EQ(freed.load(), 1);
    pbObjReleaseCount(nullptr, 3);
}

// A vector holding many references to a few objects (more objects than the
// release gathers at once, so gathered counts are also flushed early) drops
// every one of them: the objects another holder keeps survive with their
// count back where it was, the others are freed.
TEST(PbObjCount, VectorReleasesRepeatedItems)
{
    std::atomic<int> freed { 0 };
    const PB_INT before = pbObjLiveCount();
    constexpr int objects = 40;
    PB_OBJ *kept[objects];
    for (PB_OBJ *&obj : kept)
        obj = countedCreate(&freed);
    {
        pb::Ref<PB_VECTOR> v(pbVectorCreate());
        for (int round = 0; round < 7; ++round)
            for (int i = 0; i < objects; ++i)
                if (i % 3 != round % 3)
                    pbVectorAppendObj(v.addr(), kept[i]);
        for (int i = 0; i < objects; i += 2)
            pbVectorAppendObjUse(v.addr(), kept[i]); // even objects: the vector takes their only reference
        pbVectorAppendObjUse(v.addr(), countedCreate(&freed));
    }
    EXPECT_EQ(freed.load(), objects / 2 + 1);
    for (int i = 1; i < objects; i += 2) {
        EXPECT_EQ(pbObjRefCount(kept[i]), 1) << i;
        pbObjRelease(kept[i]);
    }
    EXPECT_EQ(freed.load(), objects + 1);
    EXPECT_EQ(pbObjLiveCount(), before);
}

} // namespace
