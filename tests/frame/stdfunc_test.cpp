// The standard object functions, shown on the CRC type (every type gets
// them from the same definition).
#include "support/test_support.h"

#include <rfc/crc/rfc_crc.h>

#include <gtest/gtest.h>

namespace {

TEST(StdFunc, RetainAndRelease)
{
    RFC_CRC *crc = rfcCrcCreate(RFC_CRC_ALGORITHM_CRC8);
    PB_INT live = pbObjLiveCount();
    EXPECT_EQ(rfcCrcRetain(crc), crc);
    EXPECT_EQ(pbObjRefCount(rfcCrcObj(crc)), 2);
    rfcCrcRelease(crc);
    EXPECT_EQ(pbObjRefCount(rfcCrcObj(crc)), 1);
    EXPECT_EQ(pbObjLiveCount(), live);
    rfcCrcRelease(crc);
    EXPECT_EQ(pbObjLiveCount(), live - 1);
}

TEST(StdFunc, ObjAndFrom)
{
    pb::Ref<RFC_CRC> crc(rfcCrcCreate(RFC_CRC_ALGORITHM_CRC8));
    EXPECT_EQ(rfcCrcFrom(rfcCrcObj(crc.get())), crc.get());
    EXPECT_EQ(rfcCrcFrom(nullptr), nullptr);
    EXPECT_EQ(rfcCrcObj(nullptr), nullptr);
    EXPECT_EQ(pbObjSort(rfcCrcObj(crc.get())), rfcCrcSort());
}

// Without a compare function of its own, a sort's objects are equal only to
// themselves.
TEST(StdFunc, CompareAndEquals)
{
    pb::Ref<RFC_CRC> a(rfcCrcCreate(RFC_CRC_ALGORITHM_CRC8));
    pb::Ref<RFC_CRC> b(rfcCrcCreate(RFC_CRC_ALGORITHM_CRC8));
    EXPECT_EQ(rfcCrcCompare(a.get(), a.get()), 0);
    EXPECT_TRUE(rfcCrcEquals(a.get(), a.get()));
    EXPECT_FALSE(rfcCrcEquals(a.get(), b.get()));
    EXPECT_EQ(rfcCrcCompare(a.get(), b.get()), -rfcCrcCompare(b.get(), a.get()));
}

TEST(StdFunc, ToStringNamesTheSort)
{
    pb::Ref<RFC_CRC> crc(rfcCrcCreate(RFC_CRC_ALGORITHM_CRC8));
    pb::Ref<PB_STRING> text(rfcCrcToString(crc.get()));
    EXPECT_EQ(rfctest::utf8(text.get()).rfind("<RFC_CRC@", 0), 0u) << rfctest::utf8(text.get());
}

TEST(StdFuncDeath, Violations)
{
    auto data = rfctest::buffer("x");
    EXPECT_DEATH(rfcCrcFrom(pbBufferObj(data.get())),
        "\\[stdfunc from\\] source/rfc/crc/rfc_crc:[0-9]+: contract violation: "
        "!obj \\|\\| pbObjSort\\(obj\\)==&rfc___sort_RFC_CRC");
    EXPECT_DEATH(rfcCrcRetain(nullptr), "\\[stdfunc retain\\] source/rfc/crc/rfc_crc:[0-9]+: contract violation: obj");
    EXPECT_DEATH(rfcCrcRelease(nullptr), "\\[stdfunc release\\] .*: obj");
    EXPECT_DEATH(rfcCrcToString(nullptr), "\\[stdfunc tostring\\] .*: obj");
    pb::Ref<RFC_CRC> crc(rfcCrcCreate(RFC_CRC_ALGORITHM_CRC8));
    EXPECT_DEATH(rfcCrcCompare(nullptr, crc.get()), "\\[stdfunc compare a\\] .*: objA");
    EXPECT_DEATH(rfcCrcCompare(crc.get(), nullptr), "\\[stdfunc compare b\\] .*: objB");
}

} // namespace
