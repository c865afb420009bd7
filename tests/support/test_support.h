// Helpers shared by the test programs: conversions between runtime objects
// and standard strings, and the data files under tests/data.
#ifndef RFC_TEST_SUPPORT_H
#define RFC_TEST_SUPPORT_H

#include <pb/pb_cpp.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace rfctest {

pb::Ref<PB_BUFFER> buffer(std::string_view bytes);
std::string bytes(PB_BUFFER *buffer);

// Strings from and to UTF-8, and from and to code points.
pb::Ref<PB_STRING> string(std::string_view utf8);
pb::Ref<PB_STRING> string(std::u32string_view chars);
std::string utf8(PB_STRING *string);
std::u32string chars(PB_STRING *string);

// "48656c6c6f" <-> "Hello"; unhex ignores spaces.
std::string unhex(std::string_view hex);
std::string hex(std::string_view bytes);

// The rows of a tab-separated file under tests/data (path relative to it),
// skipping blank lines and lines that start with '#'. A missing file fails
// the calling test.
std::vector<std::vector<std::string>> readTsv(const std::string &relativePath);

// The calling thread's CPU time spent in work(), the least of runs runs,
// each after its own setup() (not counted). For comparing the work of one
// operation at two sizes in one process: a ratio, never a time limit.
double leastCpuSeconds(int runs, const std::function<void()> &setup, const std::function<void()> &work);

// Random bytes from a fixed seed, so that failures reproduce.
std::string randomBytes(std::size_t count, unsigned seed);

} // namespace rfctest

#endif
