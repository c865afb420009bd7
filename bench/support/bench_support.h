// Shared by the benchmarks that compare throughput with a peer library:
// deterministic input, the module started for the program's life, and a
// reporter that keeps each case's bytes per second for the ratios.
#ifndef RFC_BENCH_SUPPORT_H
#define RFC_BENCH_SUPPORT_H

#include <rfc/rfc_module.h>

#include <benchmark/benchmark.h>

#include <map>
#include <random>
#include <string>
#include <vector>

namespace rfcbench {

// size random bytes from a fixed seed, the same in every run.
inline std::vector<PB_BYTE> randomData(std::size_t size, unsigned seed)
{
    std::mt19937 engine(seed);
    std::vector<PB_BYTE> data(size);
    for (auto &b : data)
        b = PB_BYTE(engine());
    return data;
}

// Starts the module as the runtime does, and shuts it down at the end.
struct Module {
    Module() { pbModuleStartup(rfcModule()); }
    ~Module() { pbModuleShutdown(rfcModule()); }
    Module(const Module &) = delete;
    Module &operator=(const Module &) = delete;
};

// Prints as the console reporter does, and keeps the bytes per second of
// each case by name; with --benchmark_repetitions the median stands for it.
class RateReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &run : runs) {
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median")
                continue;
            auto it = run.counters.find("bytes_per_second");
            if (it != run.counters.end())
                rates[run.run_name.str()] = it->second.value;
        }
        ConsoleReporter::ReportRuns(runs);
    }

    std::map<std::string, double> rates;
};

} // namespace rfcbench

#endif
