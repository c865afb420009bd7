// Per-call cost of the SASLprep and nameprep profiles (stored strings:
// unassigned code points refused) on four inputs, and of NFKC on 1 KiB of
// mixed text, beside libidn and ICU's usprep when they are installed. The
// ratios peer time / our time are printed at the end.
#include <rfc/rfc_module.h>
#include <rfc/stringprep/rfc_stringprep.h>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#ifdef RFC_BENCH_HAVE_LIBIDN
#include <stringprep.h>
#endif
#ifdef RFC_BENCH_HAVE_ICU
#include <unicode/unorm2.h>
#include <unicode/usprep.h>
#endif

namespace {

struct Input {
    const char *name;
    std::u32string text;
};

std::u32string mixedKiB()
{
    // Latin with accents, Greek, fullwidth and ligature compatibility
    // characters, Hangul, decomposed accents: every path of NFKC.
    const std::u32string piece = U"Gru\u0308\u00DFe aus K\u00F6ln, \u0391\u03B8\u03AE\u03BD\u03B1 \uFB01le "
                                 U"\uFF21\uFF22\uFF23 \uD55C\uAD6D\uC5B4 e\u0301t\u00E9 \u2168 plain ASCII text. ";
    std::u32string text;
    while (text.size() < 1024)
        text += piece;
    text.resize(1024);
    return text;
}

const std::vector<Input> &inputs()
{
    static const std::vector<Input> all {
        { "user", U"user" },
        { "I+SHY+X", U"I\u00ADX" },
        { "latin-greek-20", U"\u1F08\u03B8\u1FC6\u03BD\u03B1\u03B9 M\u00FCller \u03A3\u03BF\u03C6\u03AF\u03B1!" },
        { "ascii-64", U"The-quick-brown-fox-jumps-over-the-lazy-dog-0123456789-ABCDEFGH" },
    };
    return all;
}

#ifdef RFC_BENCH_HAVE_LIBIDN
// libidn takes UTF-8.
std::string utf8(const std::u32string &text)
{
    std::string out;
    for (char32_t c : text) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}
#endif

#ifdef RFC_BENCH_HAVE_ICU
std::u16string utf16(const std::u32string &text)
{
    std::u16string out;
    for (char32_t c : text) {
        if (c < 0x10000) {
            out += static_cast<char16_t>(c);
        } else {
            out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        }
    }
    return out;
}
#endif

PB_STRING *nameprepStored(PB_STRING *s)
{
    return rfcStringprepProfileNameprep(s, 0);
}

void registerAll()
{
    struct Profile {
        const char *name;
        PB_STRING *(*ours)(PB_STRING *);
#ifdef RFC_BENCH_HAVE_LIBIDN
        const Stringprep_profile *libidn;
#endif
#ifdef RFC_BENCH_HAVE_ICU
        UStringPrepProfileType icu;
#endif
    };
    static const Profile profiles[] = {
        { "saslprep", rfcStringprepProfileSaslprep,
#ifdef RFC_BENCH_HAVE_LIBIDN
            stringprep_saslprep,
#endif
#ifdef RFC_BENCH_HAVE_ICU
            USPREP_RFC4013_SASLPREP,
#endif
        },
        { "nameprep", nameprepStored,
#ifdef RFC_BENCH_HAVE_LIBIDN
            stringprep_nameprep,
#endif
#ifdef RFC_BENCH_HAVE_ICU
            USPREP_RFC3491_NAMEPREP,
#endif
        },
    };
    for (const Profile &profile : profiles) {
        for (const Input &input : inputs()) {
            std::string base = std::string(profile.name) + "/" + input.name + "/";
            benchmark::RegisterBenchmark((base + "rfc").c_str(), [&profile, &input](benchmark::State &state) {
                PB_STRING *source = pbStringCreateFromCharsCopy(
                    reinterpret_cast<const PB_CHAR *>(input.text.data()), PB_INT(input.text.size()));
                for (auto _ : state) {
                    PB_STRING *prepared = profile.ours(source);
                    benchmark::DoNotOptimize(prepared);
                    if (!prepared)
                        state.SkipWithError("refused");
                    pbObjRelease(pbStringObj(prepared));
                }
                pbObjRelease(pbStringObj(source));
            });
#ifdef RFC_BENCH_HAVE_LIBIDN
            benchmark::RegisterBenchmark((base + "libidn").c_str(), [&profile, &input](benchmark::State &state) {
                std::string text = utf8(input.text);
                std::vector<char> buffer(text.size() * 4 + 16);
                for (auto _ : state) {
                    std::memcpy(buffer.data(), text.c_str(), text.size() + 1);
                    int rc = stringprep(buffer.data(), buffer.size(), STRINGPREP_NO_UNASSIGNED, profile.libidn);
                    benchmark::DoNotOptimize(buffer.data());
                    if (rc != STRINGPREP_OK)
                        state.SkipWithError("refused");
                }
            });
#endif
#ifdef RFC_BENCH_HAVE_ICU
            benchmark::RegisterBenchmark((base + "icu").c_str(), [&profile, &input](benchmark::State &state) {
                UErrorCode status = U_ZERO_ERROR;
                UStringPrepProfile *prep = usprep_openByType(profile.icu, &status);
                std::u16string text = utf16(input.text);
                std::vector<UChar> out(text.size() * 4 + 16);
                for (auto _ : state) {
                    status = U_ZERO_ERROR;
                    int32_t n = usprep_prepare(prep, reinterpret_cast<const UChar *>(text.data()), int32_t(text.size()),
                        out.data(), int32_t(out.size()), USPREP_DEFAULT, nullptr, &status);
                    benchmark::DoNotOptimize(n);
                    if (U_FAILURE(status))
                        state.SkipWithError("refused");
                }
                usprep_close(prep);
            });
#endif
        }
    }

    // The floor of every profile call: making and releasing a string of four
    // code points in the runtime.
    benchmark::RegisterBenchmark("runtime/copy-4-chars", [](benchmark::State &state) {
        const PB_CHAR text[] = { 'u', 's', 'e', 'r' };
        for (auto _ : state) {
            PB_STRING *copy = pbStringCreateFromCharsCopy(text, 4);
            benchmark::DoNotOptimize(copy);
            pbObjRelease(pbStringObj(copy));
        }
    });

    benchmark::RegisterBenchmark("nfkc/mixed-1KiB/rfc", [](benchmark::State &state) {
        std::u32string text = mixedKiB();
        PB_STRING *source = pbStringCreateFromCharsCopy(reinterpret_cast<const PB_CHAR *>(text.data()), PB_INT(text.size()));
        for (auto _ : state) {
            PB_STRING *normal = rfcStringprepNormalizationNFKC(source);
            benchmark::DoNotOptimize(normal);
            pbObjRelease(pbStringObj(normal));
        }
        pbObjRelease(pbStringObj(source));
    });
#ifdef RFC_BENCH_HAVE_LIBIDN
    benchmark::RegisterBenchmark("nfkc/mixed-1KiB/libidn", [](benchmark::State &state) {
        std::string text = utf8(mixedKiB());
        for (auto _ : state) {
            char *normal = stringprep_utf8_nfkc_normalize(text.data(), ssize_t(text.size()));
            benchmark::DoNotOptimize(normal);
            std::free(normal);
        }
    });
#endif
#ifdef RFC_BENCH_HAVE_ICU
    benchmark::RegisterBenchmark("nfkc/mixed-1KiB/icu", [](benchmark::State &state) {
        UErrorCode status = U_ZERO_ERROR;
        const UNormalizer2 *nfkc = unorm2_getNFKCInstance(&status);
        std::u16string text = utf16(mixedKiB());
        std::vector<UChar> out(text.size() * 4 + 16);
        for (auto _ : state) {
            status = U_ZERO_ERROR;
            int32_t n = unorm2_normalize(nfkc, reinterpret_cast<const UChar *>(text.data()), int32_t(text.size()),
                out.data(), int32_t(out.size()), &status);
            benchmark::DoNotOptimize(n);
        }
    });
#endif
}

// Keeps the time per iteration of every run, to print the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        // With repetitions the median (reported after the single runs)
        // stands for the case; other aggregates are left out.
        for (const Run &run : runs) {
            if (run.error_occurred || (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median"))
                continue;
            nanoseconds[run.run_name.str()] = run.GetAdjustedCPUTime();
        }
    }
    std::map<std::string, double> nanoseconds;
};

void printRatios(const std::map<std::string, double> &nanoseconds)
{
    std::printf("\n%-32s %10s %10s %10s %12s %12s\n", "case (CPU time)", "rfc ns", "icu ns", "libidn ns", "icu/rfc", "libidn/rfc");
    for (const auto &[name, ours] : nanoseconds) {
        if (name.size() < 4 || name.compare(name.size() - 4, 4, "/rfc") != 0)
            continue;
        std::string base = name.substr(0, name.size() - 3);
        auto peer = [&](const char *which) {
            auto it = nanoseconds.find(base + which);
            return it == nanoseconds.end() ? -1.0 : it->second;
        };
        double icu = peer("icu");
        double libidn = peer("libidn");
        std::printf("%-32s %10.1f %10.1f %10.1f %12.2f %12.2f\n", base.substr(0, base.size() - 1).c_str(), ours, icu, libidn,
            icu > 0 ? icu / ours : 0.0, libidn > 0 ? libidn / ours : 0.0);
    }
}

} // namespace

int main(int argc, char **argv)
{
    if (!pbModuleStartup(rfcModule()))
        return 1;
    registerAll();
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    printRatios(reporter.nanoseconds);
    benchmark::Shutdown();
    pbModuleShutdown(rfcModule());
    return 0;
}
