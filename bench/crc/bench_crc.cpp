// CRC throughput of one-shot rfcCrc / rfcCrcWithModel calls (which keep
// their computation on the stack) against Intel ISA-L's fixed-polynomial kernels
// and zlib's crc32, on the same bytes at the same address in the same run
// (rfc's buffer, whose backing the peers read), so that alignment and cache
// placement are alike for all: CRC-32, CRC-32C,
// CRC-32/BZIP2, CRC-16/T10-DIF and CRC-64/XZ at 63, 64, 65 bytes, 4 KiB and
// 1 MiB, plus a random width-40 model that no peer has. For CRC-64/XZ it
// also runs ISA-L's 128-bit PCLMULQDQ kernel, the peer of rfc's avx path
// (RFC_CRC_IMPL=avx). Before measuring,
// every peer's value is checked against rfc's on the data. At the end it
// prints the ratios (above 1: rfc is faster) and the time per small call.
#include <rfc/crc/rfc_crc.h>
#include <rfc/crc/rfc_crc_internal.h>

#include "support/bench_support.h"

#include <benchmark/benchmark.h>

#include <cinttypes>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#ifdef RFC_BENCH_HAVE_ZLIB
#include <zlib.h>
#endif
#ifdef RFC_BENCH_HAVE_ISAL
#include <isa-l/crc.h>
#include <isa-l/crc64.h>
#endif

namespace {

// A plain function pointer, so that a peer's call costs no more than a call
// into a shared library, as rfc's does.
using PeerFunction = std::uint64_t (*)(const PB_BYTE *, std::size_t);

struct Case {
    const char *name;
    PB_INT width, poly, init, xorOut;
    bool reflect;
    PB_INT alg;        // the catalogue value, or -1 for a model given by its parameters
    PeerFunction isal; // each peer's call normalised to the model's check value
    PeerFunction zlib;
    PeerFunction isal128; // ISA-L's public 128-bit PCLMULQDQ kernel, the peer of the avx path
};

std::vector<Case> cases()
{
    std::vector<Case> all {
        { "CRC-32", 32, 0x04C11DB7, 0xFFFFFFFF, 0xFFFFFFFF, true, RFC_CRC_ALGORITHM_CRC32_ADCCP, {}, {}, {} },
        { "CRC-32C", 32, 0x1EDC6F41, 0xFFFFFFFF, 0xFFFFFFFF, true, RFC_CRC_ALGORITHM_CRC32_C, {}, {}, {} },
        { "CRC-32/BZIP2", 32, 0x04C11DB7, 0xFFFFFFFF, 0xFFFFFFFF, false, RFC_CRC_ALGORITHM_CRC32_BZIP2, {}, {}, {} },
        { "CRC-16/T10-DIF", 16, 0x8BB7, 0, 0, false, -1, {}, {}, {} },
        { "CRC-64/XZ", 64, PB_INT(0x42F0E1EBA9EA3693), -1, -1, true, -1, {}, {}, {} },
        { "width-40 random", 40, PB_INT(0x8E2D61A5B3), PB_INT(0x1234567890), PB_INT(0x0F0F0F0F0F), true, -1, {}, {},
            {} },
    };
#ifdef RFC_BENCH_HAVE_ISAL
    all[0].isal = [](const PB_BYTE *p, std::size_t n) { return std::uint64_t(crc32_gzip_refl(0, p, n)); };
    all[1].isal = [](const PB_BYTE *p, std::size_t n) {
        return std::uint64_t(~crc32_iscsi(const_cast<PB_BYTE *>(p), int(n), 0xFFFFFFFF) & 0xFFFFFFFF);
    };
    all[2].isal = [](const PB_BYTE *p, std::size_t n) { return std::uint64_t(crc32_ieee(0, p, n)); };
    all[3].isal = [](const PB_BYTE *p, std::size_t n) { return std::uint64_t(crc16_t10dif(0, p, n)); };
    all[4].isal = [](const PB_BYTE *p, std::size_t n) { return crc64_ecma_refl(0, p, n); };
    all[4].isal128 = [](const PB_BYTE *p, std::size_t n) { return crc64_ecma_refl_by8(0, p, n); };
#endif
#ifdef RFC_BENCH_HAVE_ZLIB
    all[0].zlib = [](const PB_BYTE *p, std::size_t n) { return std::uint64_t(crc32(0, p, uInt(n))); };
#endif
    return all;
}

PB_INT ours(const Case &c, PB_BUFFER *buffer)
{
    if (c.alg >= 0)
        return rfcCrc(c.alg, buffer);
    return rfcCrcWithModel(c.width, c.poly, c.init, c.xorOut, c.reflect, c.reflect, buffer);
}

const std::size_t sizes[] = { 63, 64, 65, 4096, 1 << 20 };

std::string sizeName(std::size_t size)
{
    return size >= (1 << 20) ? std::to_string(size >> 20) + "MiB"
        : size >= 1024       ? std::to_string(size >> 10) + "KiB"
                             : std::to_string(size) + "B";
}

std::string caseName(const char *who, const Case &c, std::size_t size)
{
    return std::string(who) + " " + c.name + " " + sizeName(size);
}

std::vector<PB_BYTE> data = rfcbench::randomData(1 << 20, 42);

// Registers rfc and each peer for every case and size, all reading the one
// buffer of each size; a peer whose value differs from rfc's is reported
// and left out.
bool registerAll(const std::vector<Case> &all, std::vector<PB_BUFFER *> &buffers)
{
    for (std::size_t size : sizes)
        buffers.push_back(pbBufferCreateFromBytesCopy(data.data(), PB_INT(size)));
    bool agree = true;
    for (const Case &c : all) {
        for (std::size_t i = 0; i < std::size(sizes); ++i) {
            const std::size_t size = sizes[i];
            PB_BUFFER *buffer = buffers[i];
            const PB_BYTE *bytes = pbBufferBacking(buffer);
            const std::uint64_t value = std::uint64_t(ours(c, buffer));
            benchmark::RegisterBenchmark(caseName("rfc", c, size).c_str(), [&c, buffer, size](benchmark::State &state) {
                for (auto _ : state)
                    benchmark::DoNotOptimize(ours(c, buffer));
                state.SetBytesProcessed(PB_INT(state.iterations() * size));
            });
            for (auto [who, peer] :
                { std::pair { "isal", &c.isal }, std::pair { "zlib", &c.zlib }, std::pair { "isal128", &c.isal128 } }) {
                if (!*peer)
                    continue;
                if ((*peer)(bytes, size) != value) {
                    std::printf("%s %s over %zu bytes gives %016" PRIx64 ", rfc %016" PRIx64 ": not measured\n",
                        who, c.name, size, (*peer)(bytes, size), value);
                    agree = false;
                    continue;
                }
                const PeerFunction f = *peer;
                benchmark::RegisterBenchmark(caseName(who, c, size).c_str(), [f, bytes, size](benchmark::State &state) {
                    for (auto _ : state)
                        benchmark::DoNotOptimize(f(bytes, size));
                    state.SetBytesProcessed(PB_INT(state.iterations() * size));
                });
            }
        }
    }
    return agree;
}

// rfcCrcUpdateByte in a loop over 4 KiB: the cost of feeding single bytes.
void byteByByte(benchmark::State &state)
{
    for (auto _ : state) {
        RFC_CRC *crc = rfcCrcCreate(RFC_CRC_ALGORITHM_CRC32_ADCCP);
        for (std::size_t i = 0; i < 4096; ++i)
            rfcCrcUpdateByte(crc, data[i]);
        benchmark::DoNotOptimize(rfcCrcFinal(crc));
        rfcCrcRelease(crc);
    }
    state.SetBytesProcessed(PB_INT(state.iterations() * 4096));
}
BENCHMARK(byteByByte)->Name("rfc CRC-32 4KiB byte by byte");

void printRatios(const std::vector<Case> &all, const std::map<std::string, double> &rates)
{
    auto rate = [&](const std::string &name) {
        auto it = rates.find(name);
        return it == rates.end() ? 0.0 : it->second;
    };
    std::printf("\nrfc on the %s implementation. Ratios are throughput rfc / peer (above 1: rfc is faster);\n"
                "ns is rfc's time per call.\n",
        rfc___CrcImplementationName());
    std::printf("%-16s %-6s %10s %10s %10s %10s %10s\n", "model", "size", "rfc GB/s", "/ isal", "/ zlib", "/ isal128",
        "ns");
    for (const Case &c : all) {
        for (std::size_t size : sizes) {
            double r = rate(caseName("rfc", c, size));
            double isal = rate(caseName("isal", c, size)), zlib = rate(caseName("zlib", c, size));
            double isal128 = rate(caseName("isal128", c, size));
            if (r == 0)
                continue; // left out by --benchmark_filter
            std::printf("%-16s %-6s %10.2f", c.name, sizeName(size).c_str(), r / 1e9);
            for (double peer : { isal, zlib, isal128 }) {
                if (peer > 0)
                    std::printf(" %10.2f", r / peer);
                else
                    std::printf(" %10s", "-");
            }
            std::printf(" %10.1f\n", r > 0 ? double(size) / r * 1e9 : 0.0);
        }
    }
    if (double r = rate("rfc CRC-32 4KiB byte by byte"); r > 0)
        std::printf("rfcCrcUpdateByte in a loop (CRC-32): %.2f ns a byte\n", 1e9 / r);
}

} // namespace

int main(int argc, char **argv)
{
    rfcbench::Module module;
    benchmark::Initialize(&argc, argv);
    const std::vector<Case> all = cases();
    std::vector<PB_BUFFER *> buffers;
    registerAll(all, buffers);
#ifndef RFC_BENCH_HAVE_ISAL
    std::printf("ISA-L is not installed (package libisal-dev): no ISA-L reference run\n");
#endif
#ifndef RFC_BENCH_HAVE_ZLIB
    std::printf("zlib is not installed (package zlib1g-dev): no zlib reference run\n");
#endif
    rfcbench::RateReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    printRatios(all, reporter.rates);
    for (PB_BUFFER *buffer : buffers)
        pbObjRelease(pbBufferObj(buffer));
    return 0;
}
