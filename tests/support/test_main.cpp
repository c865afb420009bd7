// The main of every test program: starts the module as the runtime does,
// and fails the run when a test leaves a runtime object alive.
#include <rfc/rfc_module.h>

#include <gtest/gtest.h>

#include <cstdio>

namespace {

class LiveObjectCheck : public testing::EmptyTestEventListener {
public:
    void OnTestStart(const testing::TestInfo &) override { before_ = pbObjLiveCount(); }
    void OnTestEnd(const testing::TestInfo &info) override
    {
        PB_INT after = pbObjLiveCount();
        if (after != before_) {
            std::fprintf(stderr, "%s.%s left %lld runtime objects alive\n", info.test_suite_name(),
                info.name(), static_cast<long long>(after - before_));
            ++leakingTests;
        }
    }
    int leakingTests = 0;

private:
    PB_INT before_ = 0;
};

} // namespace

int main(int argc, char **argv)
{
    testing::InitGoogleTest(&argc, argv);
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    if (!pbModuleStartup(rfcModule())) {
        std::fprintf(stderr, "module startup failed\n");
        return 1;
    }
    auto *check = new LiveObjectCheck;
    testing::UnitTest::GetInstance()->listeners().Append(check);
    int result = RUN_ALL_TESTS();
    int leaking = check->leakingTests;
    pbModuleShutdown(rfcModule());
    if (pbObjLiveCount() != 0) {
        std::fprintf(stderr, "%lld runtime objects alive after module shutdown\n",
            static_cast<long long>(pbObjLiveCount()));
        return 1;
    }
    if (leaking) {
        std::fprintf(stderr, "%d tests left runtime objects alive\n", leaking);
        return 1;
    }
    return result;
}
