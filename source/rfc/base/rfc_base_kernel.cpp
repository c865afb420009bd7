// The choice of the base kernels, made once per process, and the scalar
// line writer that the encoder's kernels share with its last group.
#include "rfc_base_kernel.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace rfc::base {

void LineWriter::put(const char *chars, std::size_t count) noexcept
{
    while (count > 0) {
        if (column == lineLength) {
            std::memcpy(out, nlf, nlfLength);
            out += nlfLength;
            column = 0;
        }
        std::size_t take = lineLength - column < count ? lineLength - column : count;
        std::memcpy(out, chars, take);
        out += take;
        chars += take;
        count -= take;
        column += take;
    }
}

// No kernel: the encoder and decoder run their scalar loops, which are the
// reference every kernel is tested against.
const Kernel portableKernel = { "portable", {}, {}, {} };

namespace {

// The kernel of a name when this CPU runs it, else null.
const Kernel *kernelNamed(std::string_view name) noexcept
{
    if (name == portableKernel.name)
        return &portableKernel;
    if (name == avx512Kernel.name && avx512Supported())
        return &avx512Kernel;
    if (name == avx2Kernel.name && avx2Supported())
        return &avx2Kernel;
    return nullptr;
}

const Kernel *chooseKernel() noexcept
{
    // The variable is read once, before any kernel runs; an unknown name or
    // one this CPU cannot run means no preference.
    const char *forced = std::getenv("RFC_BASE_IMPL");
    if (const Kernel *named = forced ? kernelNamed(forced) : nullptr)
        return named;
    if (avx512Supported())
        return &avx512Kernel;
    if (avx2Supported())
        return &avx2Kernel;
    return &portableKernel;
}

std::atomic<const Kernel *> selected { nullptr };

} // namespace

const Kernel &kernel() noexcept
{
    const Kernel *k = selected.load(std::memory_order_relaxed);
    if (!k) [[unlikely]] {
        // Threads that race here all store the same choice.
        k = chooseKernel();
        selected.store(k, std::memory_order_relaxed);
    }
    return *k;
}

} // namespace rfc::base

extern "C" {

RFC_API const char *rfc___BaseKernelName(void) noexcept
{
    return rfc::base::kernel().name;
}

RFC_API PB_BOOL rfc___BaseKernelSelect(const char *name) noexcept
{
    PB_ASSERT( name );
    const rfc::base::Kernel *k = rfc::base::kernelNamed(name);
    if (!k)
        return 0;
    rfc::base::selected.store(k, std::memory_order_relaxed);
    return 1;
}

} // extern "C"
