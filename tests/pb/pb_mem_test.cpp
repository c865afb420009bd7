// Out of memory is one path for the whole runtime: the process ends through
// pb___Abort with a line that says out of memory and how many bytes were
// asked for, never with a contract violation and never with a C++ exception
// escaping a C function.
#include "pb_test_util.h"

#include <sys/resource.h>

#include <cstdio>
#include <fstream>

// Sanitizer builds: let the allocator answer null for an impossible size, as
// the C library does, instead of stopping the process itself.
extern "C" __attribute__((visibility("default"), used)) const char *__asan_default_options()
{
    return "allocator_may_return_null=1";
}

namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif
#else
constexpr bool kAddressSanitizer = false;
#endif

using PbMemDeathTest = testing::Test;

TEST_F(PbMemDeathTest, ImpossibleSizesSayOutOfMemory)
{
    const std::string where = "source/pb/pb_util:[0-9]+: out of memory: ";
    EXPECT_DEATH(pbMemAlloc(PB_INT_MAX), where + "9223372036854775807 bytes asked for\n");
    EXPECT_DEATH(
        {
            void *p = pbMemAlloc(16);
            pbMemRealloc(p, PB_INT_MAX / 2);
        },
        where + "4611686018427387903 bytes asked for\n");
    // A negative size is the caller's mistake, not a lack of memory.
    EXPECT_DEATH(pbMemAlloc(-1), "source/pb/pb_util:[0-9]+: contract violation: size >= 0");
}

// The process's address space in bytes, from /proc.
PB_INT addressSpace()
{
    std::ifstream statm("/proc/self/statm");
    long long pages = 0;
    statm >> pages;
    return PB_INT(pages) * 4096;
}

// NFKC of a long run of combining marks sorts the run in scratch memory of
// its own: with the address space capped just above what the process uses,
// that memory runs out, and the process ends through the runtime's path
// (the scratch memory of a standard container would throw std::bad_alloc
// out of pbStringNormalize and end in std::terminate).
TEST_F(PbMemDeathTest, NormalisingUnderALimitSaysOutOfMemory)
{
    if (kAddressSanitizer)
        GTEST_SKIP() << "the sanitizers reserve their shadow memory: an address-space limit does not apply";
    // Marks of different classes in an order that must be sorted.
    constexpr PB_INT count = 4 << 20;
    std::vector<PB_CHAR> marks(static_cast<std::size_t>(count));
    for (PB_INT i = 0; i < count; ++i)
        marks[static_cast<std::size_t>(i)] = (i % 2) ? 0x0301 : 0x0323;
    marks[0] = 'a';
    EXPECT_DEATH(
        {
            PB_STRING *s = pbStringCreateFromCharsCopy(marks.data(), count);
            rlimit limit {};
            limit.rlim_cur = rlim_t(addressSpace() + (4 << 20));
            limit.rlim_max = RLIM_INFINITY;
            setrlimit(RLIMIT_AS, &limit);
            pbStringNormalize(&s, PB_STRING_NORMALIZE_NFKC);
        },
        "source/pb/pb_[a-z_]+:[0-9]+: out of memory: [0-9]+ bytes asked for\n");
}

} // namespace
