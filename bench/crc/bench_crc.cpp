// CRC throughput over 1 MiB (CRC-32 and a 64-bit model) and the cost of one
// whole rfcCrc call on 64 bytes. Where zlib is installed its crc32 runs on
// the same data as a reference point, and the ratio is printed at the end.
#include <rfc/crc/rfc_crc.h>

#include "support/bench_support.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#ifdef RFC_BENCH_HAVE_ZLIB
#include <zlib.h>
#endif

namespace {

std::vector<PB_BYTE> randomData(std::size_t size)
{
    return rfcbench::randomData(size, 42);
}

void crc32Buffer(benchmark::State &state)
{
    auto data = randomData(1 << 20);
    PB_BUFFER *buffer = pbBufferCreateFromBytesCopy(data.data(), PB_INT(data.size()));
    for (auto _ : state)
        benchmark::DoNotOptimize(rfcCrc(RFC_CRC_ALGORITHM_CRC32_ADCCP, buffer));
    pbObjRelease(pbBufferObj(buffer));
    state.SetBytesProcessed(PB_INT(state.iterations() * data.size()));
}
BENCHMARK(crc32Buffer)->Name("rfc CRC-32 1MiB");

void crc64Buffer(benchmark::State &state)
{
    auto data = randomData(1 << 20);
    PB_BUFFER *buffer = pbBufferCreateFromBytesCopy(data.data(), PB_INT(data.size()));
    for (auto _ : state)
        benchmark::DoNotOptimize(rfcCrcWithModel(64, PB_INT(0x42F0E1EBA9EA3693), -1, -1, 1, 1, buffer));
    pbObjRelease(pbBufferObj(buffer));
    state.SetBytesProcessed(PB_INT(state.iterations() * data.size()));
}
BENCHMARK(crc64Buffer)->Name("rfc CRC-64/XZ 1MiB");

void crc32Small(benchmark::State &state)
{
    auto data = randomData(64);
    PB_BUFFER *buffer = pbBufferCreateFromBytesCopy(data.data(), PB_INT(data.size()));
    for (auto _ : state)
        benchmark::DoNotOptimize(rfcCrc(RFC_CRC_ALGORITHM_CRC32_ADCCP, buffer));
    pbObjRelease(pbBufferObj(buffer));
    state.SetBytesProcessed(PB_INT(state.iterations() * data.size()));
}
BENCHMARK(crc32Small)->Name("rfc CRC-32 64B call");

#ifdef RFC_BENCH_HAVE_ZLIB
void zlibCrc32(benchmark::State &state)
{
    auto data = randomData(1 << 20);
    for (auto _ : state)
        benchmark::DoNotOptimize(crc32(0, data.data(), uInt(data.size())));
    state.SetBytesProcessed(PB_INT(state.iterations() * data.size()));
}
BENCHMARK(zlibCrc32)->Name("zlib crc32 1MiB");

void zlibCrc32Small(benchmark::State &state)
{
    auto data = randomData(64);
    for (auto _ : state)
        benchmark::DoNotOptimize(crc32(0, data.data(), uInt(data.size())));
    state.SetBytesProcessed(PB_INT(state.iterations() * data.size()));
}
BENCHMARK(zlibCrc32Small)->Name("zlib crc32 64B call");

void printRatio(const std::map<std::string, double> &rates, const char *ours, const char *peer)
{
    auto a = rates.find(ours), b = rates.find(peer);
    if (a != rates.end() && b != rates.end() && b->second > 0)
        std::printf("%-24s / %-24s = %.2f\n", ours, peer, a->second / b->second);
}
#endif

} // namespace

int main(int argc, char **argv)
{
    rfcbench::Module module;
    benchmark::Initialize(&argc, argv);
    rfcbench::RateReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
#ifdef RFC_BENCH_HAVE_ZLIB
    std::printf("\nthroughput ratio, rfc over zlib (above 1: rfc is faster)\n");
    printRatio(reporter.rates, "rfc CRC-32 1MiB", "zlib crc32 1MiB");
    printRatio(reporter.rates, "rfc CRC-32 64B call", "zlib crc32 64B call");
#else
    std::printf("\nzlib is not installed (package zlib1g-dev): no reference run\n");
#endif
    return 0;
}
