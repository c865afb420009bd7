// The module object, record and banner as the runtime's loader reads them,
// and the startup and shutdown cycle.
#include "support/test_support.h"

#include <rfc/crc/rfc_crc.h>
#include <rfc/rfc_module.h>

#include <gtest/gtest.h>

#include <cstring>
#include <regex>

namespace {

const PB_INT *words(const void *object)
{
    return static_cast<const PB_INT *>(object);
}

TEST(Module, RecordFields)
{
    const PB_MODULE_RECORD *record = pbModuleRecord(rfcModule());
    ASSERT_EQ(record, &rfc___module_record);
    EXPECT_EQ(sizeof(PB_MODULE_RECORD), 14 * sizeof(PB_INT));
    EXPECT_EQ(record->format, 2);
    EXPECT_STREQ(record->productId, "corvanead");
    EXPECT_STREQ(record->productName, "corvane administration");
    EXPECT_EQ(record->productVersionMajor, 4);
    EXPECT_EQ(record->productVersionMinor, 14);
    EXPECT_EQ(record->productVersionPatch, 21);
    EXPECT_TRUE(std::regex_match(record->buildTime,
        std::regex("UTC [0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2} "
                   "\\((Monday|Tuesday|Wednesday|Thursday|Friday|Saturday|Sunday)\\)")))
        << record->buildTime;
    EXPECT_STRNE(record->vendor, "");
    EXPECT_STRNE(record->legalNotice, "");
    EXPECT_STREQ(record->moduleName, "rfc");
    EXPECT_STREQ(record->moduleDescription, "Various RFCs");
    EXPECT_STREQ(record->moduleVersion, "0.0");
    EXPECT_STREQ(record->dependencies[0], "pb");
    ASSERT_NE(record->dependencies[1], nullptr);
    EXPECT_STREQ(record->dependencies[1], "");
}

TEST(Module, VersionBanner)
{
    EXPECT_STREQ(rfc___module_version_string,
        "###XZ_VERSION### corvanead-4.14.21 (RHEL 8, x86 (64 bit), Release), rfc 0.0");
}

// The static header words, then the record and the two functions.
TEST(Module, ObjectLayout)
{
    const PB_INT *module = words(rfcModule());
    EXPECT_EQ(sizeof(PB_MODULE), 19 * sizeof(PB_INT));
    const PB_INT header[10] = { 2, 0, -1, 1, 0, 0, 0, 0, 0, 0 };
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(module[i], header[i]) << "header word " << i;
    EXPECT_EQ(rfcModule()->record, &rfc___module_record);
    EXPECT_EQ(rfcModule()->startup, &rfc___ModuleStartup);
    EXPECT_EQ(module[12], 0);
    EXPECT_EQ(rfcModule()->shutdown, &rfc___ModuleShutdown);
    for (int i = 14; i < 19; ++i)
        EXPECT_EQ(module[i], 0) << "word " << i;
}

TEST(Module, SortLayout)
{
    const PB_SORT *sort = rfcCrcSort();
    EXPECT_EQ(sizeof(PB_SORT), 20 * sizeof(PB_INT));
    const PB_INT header[10] = { 1, 0, -1, 1, 0, 0, 0, 0, 0, 0 };
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(words(sort)[i], header[i]) << "header word " << i;
    EXPECT_EQ(sort->module, rfcModule());
    EXPECT_STREQ(sort->name, "RFC_CRC");
    EXPECT_EQ(sort->freeFunc, nullptr);
    EXPECT_EQ(sort->compareFunc, nullptr);
}

// Shutdown releases the process-wide objects; a new startup makes fresh
// ones that work as before.
TEST(Module, StartupAfterShutdown)
{
    PB_INT running = pbObjLiveCount();
    ASSERT_GT(running, 0);
    pbModuleShutdown(rfcModule());
    EXPECT_EQ(pbObjLiveCount(), 0);
    ASSERT_TRUE(pbModuleStartup(rfcModule()));
    EXPECT_EQ(pbObjLiveCount(), running);
    pb::Ref<PB_STRING> name(rfcCrcAlgorithmToString(RFC_CRC_ALGORITHM_CRC16_CCITT_FALSE));
    EXPECT_EQ(rfctest::utf8(name.get()), "RFC_CRC_ALGORITHM_CRC16_CCITT_FALSE");
    EXPECT_EQ(rfcCrcAlgorithmFromString(name.get()), RFC_CRC_ALGORITHM_CRC16_CCITT_FALSE);
}

// Startups nest: a second one is counted and makes nothing; the matching
// shutdowns release the process-wide objects only with the last one, after
// which the live count is back to zero.
TEST(Module, StartupsNest)
{
    PB_INT running = pbObjLiveCount();
    ASSERT_GT(running, 0);
    ASSERT_TRUE(pbModuleStartup(rfcModule())); // the test main's is the first
    ASSERT_TRUE(pbModuleStartup(rfcModule()));
    EXPECT_EQ(pbObjLiveCount(), running);
    pbModuleShutdown(rfcModule());
    pbModuleShutdown(rfcModule());
    EXPECT_EQ(pbObjLiveCount(), running);
    pb::Ref<PB_STRING> name(rfcCrcAlgorithmToString(RFC_CRC_ALGORITHM_CRC8));
    EXPECT_EQ(rfctest::utf8(name.get()), "RFC_CRC_ALGORITHM_CRC8");
    name.reset();
    pbModuleShutdown(rfcModule()); // matches the test main's startup
    EXPECT_EQ(pbObjLiveCount(), 0);
    ASSERT_TRUE(pbModuleStartup(rfcModule()));
    EXPECT_EQ(pbObjLiveCount(), running);
}

TEST(ModuleDeathTest, ShutdownWithoutStartup)
{
    EXPECT_DEATH(
        {
            pbModuleShutdown(rfcModule());
            pbModuleShutdown(rfcModule());
        },
        "source/rfc/rfc_module:[0-9]+: contract violation: startups > 0");
}

} // namespace
