// NFKC of 1,024 code points: all ASCII (the fast path), mixed text already
// in NFKC (the quick check), and mixed text that needs normalising. ICU's
// and libidn's NFKC run on the same input where installed; the ratios are
// printed at the end. ICU and libidn implement a later Unicode and libidn
// an older composition rule: each input is checked to give the same result
// in every implementation before it is timed.
#include <pb/pb_cpp.h>
#include <rfc/rfc_module.h>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#if RFC_BENCH_HAVE_ICU
#include <unicode/unorm2.h>
#endif
#if RFC_BENCH_HAVE_LIBIDN
#include <stringprep.h>
#endif

namespace {

constexpr std::size_t kLength = 1024;

// kLength code points cut from repetitions of text.
std::u32string repeatTo(const std::u32string &text)
{
    std::u32string out;
    while (out.size() < kLength)
        out += text;
    // Do not cut inside a combining sequence: end on a space.
    out.resize(kLength);
    out.back() = U' ';
    return out;
}

std::u32string asciiText()
{
    return repeatTo(U"The quick brown fox jumps over the lazy dog, 0123456789 times. ");
}

// Latin with precomposed letters, Greek, Cyrillic, CJK and Hangul syllables:
// all in NFKC.
std::u32string mixedNfkcText()
{
    return repeatTo(U"Stra\u00DFe caf\u00E9 na\u00EFve \u00C5ngstr\u00F6m \u03A9\u03BC\u03AD\u03B3\u03B1 "
                    U"\u041F\u0440\u0438\u0432\u0435\u0442 \u65E5\u672C\u8A9E \uD55C\uAD6D\uC5B4 ");
}

// The same kind of text with 12 code points in 52 to change: decomposed
// accents, stacked marks out of order, a ligature, full-width and
// super-script forms, a unit square, conjoining jamo.
std::u32string mixedText()
{
    return repeatTo(U"Stra\u00DFe cafe\u0301 \uFB01ne \uFF21\uFF22\uFF23 x\u00B2 a\u0302\u0323 "
                    U"\u03A9\u03BC\u03AD\u03B3\u03B1 \u041F\u0440\u0438\u0432\u0435\u0442 \u3396 "
                    U"\u65E5\u672C\u8A9E \u1100\u1161\u11A8\uAD6D ");
}

std::u32string rfcNfkc(const std::u32string &text)
{
    pb::Ref<PB_STRING> s(pbStringCreateFromCharsCopy(reinterpret_cast<const PB_CHAR *>(text.data()),
        static_cast<PB_INT>(text.size())));
    pbStringNormalize(s.addr(), PB_STRING_NORMALIZE_NFKC);
    const PB_CHAR *chars = pbStringBacking(s.get());
    return std::u32string(chars, chars + pbStringLength(s.get()));
}

void benchRfc(benchmark::State &state, std::u32string (*make)())
{
    const std::u32string text = make();
    pb::Ref<PB_STRING> source(pbStringCreateFromCharsCopy(reinterpret_cast<const PB_CHAR *>(text.data()),
        static_cast<PB_INT>(text.size())));
    for (auto _ : state) {
        // As a caller that keeps its source: the source is shared, so a
        // change gives a new string.
        PB_STRING *s = source.get();
        pbObjRetain(pbStringObj(s));
        pbStringNormalize(&s, PB_STRING_NORMALIZE_NFKC);
        benchmark::DoNotOptimize(s);
        pbObjRelease(pbStringObj(s));
    }
}

#if RFC_BENCH_HAVE_ICU
std::u16string utf16(const std::u32string &text)
{
    std::u16string out;
    for (char32_t c : text) {
        if (c >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
    }
    return out;
}

const UNormalizer2 *icuNfkc()
{
    UErrorCode error = U_ZERO_ERROR;
    const UNormalizer2 *n = unorm2_getNFKCInstance(&error);
    if (U_FAILURE(error)) {
        std::fprintf(stderr, "ICU: %s\n", u_errorName(error));
        std::exit(1);
    }
    return n;
}

std::u16string icuRun(const std::u16string &in)
{
    std::u16string out(in.size() * 4 + 16, u'\0');
    UErrorCode error = U_ZERO_ERROR;
    int32_t n = unorm2_normalize(icuNfkc(), in.data(), static_cast<int32_t>(in.size()), out.data(),
        static_cast<int32_t>(out.size()), &error);
    out.resize(U_SUCCESS(error) ? static_cast<std::size_t>(n) : 0);
    return out;
}

void benchIcu(benchmark::State &state, std::u32string (*make)())
{
    const std::u16string in = utf16(make());
    std::u16string out(in.size() * 4 + 16, u'\0');
    const UNormalizer2 *n = icuNfkc();
    for (auto _ : state) {
        UErrorCode error = U_ZERO_ERROR;
        benchmark::DoNotOptimize(unorm2_normalize(n, in.data(), static_cast<int32_t>(in.size()), out.data(),
            static_cast<int32_t>(out.size()), &error));
    }
}
#endif

#if RFC_BENCH_HAVE_LIBIDN
std::u32string libidnRun(const std::u32string &in)
{
    std::vector<uint32_t> ucs4(in.begin(), in.end());
    uint32_t *out = stringprep_ucs4_nfkc_normalize(ucs4.data(), static_cast<ssize_t>(ucs4.size()));
    std::u32string result;
    for (uint32_t *p = out; p && *p; ++p)
        result += static_cast<char32_t>(*p);
    std::free(out);
    return result;
}

void benchLibidn(benchmark::State &state, std::u32string (*make)())
{
    const std::u32string text = make();
    std::vector<uint32_t> in(text.begin(), text.end());
    for (auto _ : state) {
        uint32_t *out = stringprep_ucs4_nfkc_normalize(in.data(), static_cast<ssize_t>(in.size()));
        benchmark::DoNotOptimize(out);
        std::free(out);
    }
}
#endif

// Checks that every implementation gives our result on the input.
void checkAgreement(const char *name, std::u32string (*make)())
{
    const std::u32string text = make();
    const std::u32string ours = rfcNfkc(text);
#if RFC_BENCH_HAVE_ICU
    if (icuRun(utf16(text)) != utf16(ours))
        std::fprintf(stderr, "warning: ICU's NFKC differs from ours on %s\n", name);
#endif
#if RFC_BENCH_HAVE_LIBIDN
    if (libidnRun(text) != ours)
        std::fprintf(stderr, "warning: libidn's NFKC differs from ours on %s\n", name);
#endif
    (void)ours;
    (void)name;
}

// Keeps the least CPU time per iteration of each benchmark over its
// repetitions (run with --benchmark_repetitions=N), for the ratios: on a
// shared machine the CPU time and the best of several runs are the steadier
// figures.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred)
                continue;
            const std::string name = run.run_name.function_name;
            const double cpu = run.GetAdjustedCPUTime();
            if (!times.count(name) || cpu < times[name])
                times[name] = cpu;
        }
    }
    std::map<std::string, double> times;
};

struct Input {
    const char *name;
    std::u32string (*make)();
};

constexpr Input kInputs[] = {
    { "ascii_1k", asciiText },
    { "mixed_nfkc_1k", mixedNfkcText },
    { "mixed_1k", mixedText },
};

} // namespace

int main(int argc, char **argv)
{
    if (!pbModuleStartup(rfcModule()))
        return 1;
    for (const Input &input : kInputs) {
        checkAgreement(input.name, input.make);
        benchmark::RegisterBenchmark((std::string("nfkc/rfc/") + input.name).c_str(), benchRfc, input.make);
#if RFC_BENCH_HAVE_ICU
        benchmark::RegisterBenchmark((std::string("nfkc/icu/") + input.name).c_str(), benchIcu, input.make);
#endif
#if RFC_BENCH_HAVE_LIBIDN
        benchmark::RegisterBenchmark((std::string("nfkc/libidn/") + input.name).c_str(), benchLibidn, input.make);
#endif
    }
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    for (const Input &input : kInputs) {
        const std::string ours = std::string("nfkc/rfc/") + input.name;
        if (!reporter.times.count(ours))
            continue;
        for (const char *peer : { "icu", "libidn" }) {
            const std::string theirs = std::string("nfkc/") + peer + "/" + input.name;
            if (reporter.times.count(theirs))
                std::printf("%-14s %-7s %10.1f ns CPU, rfc %8.1f ns CPU: rfc is %.1f times as fast\n", input.name, peer,
                    reporter.times[theirs], reporter.times[ours], reporter.times[theirs] / reporter.times[ours]);
        }
    }
    benchmark::Shutdown();
    pbModuleShutdown(rfcModule());
    return 0;
}
