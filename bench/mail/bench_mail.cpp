// Throughput of the mail header token decoder and encoder over realistic
// address-list bodies (display names, quoted strings, comments, domain
// literals, groups, folds), a few KiB each; with GMime 3 installed, its
// address-list parser runs on the same text in the same run and the ratio is
// printed. Throughput counts the bytes of the header text as UTF-8.
#include <rfc/mail/rfc_mail.h>

#include <benchmark/benchmark.h>

#ifdef RFC_BENCH_HAVE_GMIME
#include <gmime/gmime.h>
#endif

#include <cstdio>
#include <map>
#include <string>

namespace {

// One address list of count entries, cycling through the common forms with
// names and domains drawn at different strides, so that neighbouring entries
// differ, and folding the line every third entry.
std::string addressList(int count)
{
    static const char *const forms[] = {
        "\"%s, %s\" <%s.%s%d@%s>",
        "%s %s <%s_%s%d@%s> (work)",
        "%s%s%s%s%d@[192.0.2.%d]",
        "\"%s %s (%s %s)\" <%d@%s>",
        "%s.%s@%s%s%d.%s",
        "Team (%s %s): %s%s%d@%s, bob@example.com;",
        "\"%s \\\"%s\\\" %s%s\" <q%d@%s>",
        "<bounce+%s-%s-%s%s%d@%s> (list (nested) bounce)",
    };
    static const char *const first[] = { "Jane", "John", "J\xC3\xBCrgen", "Amelia", "Kofi", "Li", "Mar\xC3\xAD" "a",
        "Olu", "Priya", "Sven", "Tom\xC3\xA1s", "Yuki", "Zoe" };
    static const char *const last[] = { "Doe", "Smith", "M\xC3\xBCller", "Okafor", "Chen", "Garc\xC3\xAD" "a", "Ivanova",
        "Nakamura", "O'Brien", "Larsen", "Kowalski" };
    static const char *const domains[] = { "example.com", "mail.example.org", "example.de", "helpdesk.example.net",
        "sub.example.co.uk", "lists.example.org", "corp.example", "uni-example.edu", "example.fr" };
    std::string text;
    char entry[256];
    for (int i = 0; i < count; ++i) {
        if (i > 0)
            text += (i % 3 == 0) ? ",\r\n " : ", ";
        const char *f = first[(i * 5) % std::size(first)];
        const char *l = last[(i * 7) % std::size(last)];
        const char *d = domains[(i * 4) % std::size(domains)];
        const char *form = forms[i % std::size(forms)];
        if (i % std::size(forms) == 2)
            std::snprintf(entry, sizeof entry, form, f, "", l, "", i, i % 250);
        else if (i % std::size(forms) == 3)
            std::snprintf(entry, sizeof entry, form, f, l, l, f, i, d);
        else
            std::snprintf(entry, sizeof entry, form, f, l, f, l, i, d);
        text += entry;
    }
    return text;
}

const std::string &sampleText()
{
    static const std::string text = addressList(96); // about 5 KB
    return text;
}

struct Text {
    PB_STRING *string = pbStringCreateFromCstr(sampleText().data(), static_cast<PB_INT>(sampleText().size()));
    ~Text() { pbObjRelease(pbStringObj(string)); }
};

void BM_MailDecode(benchmark::State &state)
{
    Text text;
    for (auto _ : state) {
        PB_VECTOR *vec = rfcMailShfTokenVectorTryDecode(text.string);
        benchmark::DoNotOptimize(vec);
        pbObjRelease(pbVectorObj(vec));
    }
    PB_VECTOR *vec = rfcMailShfTokenVectorTryDecode(text.string);
    state.counters["tokens"] = static_cast<double>(pbVectorLength(vec));
    pbObjRelease(pbVectorObj(vec));
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(sampleText().size()));
}
BENCHMARK(BM_MailDecode);

// The decode without releasing its vector (released with the timer
// stopped): how the cost splits between making the tokens and freeing them.
void BM_MailDecodeWithoutRelease(benchmark::State &state)
{
    Text text;
    for (auto _ : state) {
        PB_VECTOR *vec = rfcMailShfTokenVectorTryDecode(text.string);
        state.PauseTiming();
        pbObjRelease(pbVectorObj(vec));
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(sampleText().size()));
}
BENCHMARK(BM_MailDecodeWithoutRelease);

void BM_MailEncode(benchmark::State &state)
{
    Text text;
    PB_VECTOR *vec = rfcMailShfTokenVectorTryDecode(text.string);
    PB_INT outLength = 0;
    for (auto _ : state) {
        PB_STRING *out = rfcMailShfTokenVectorEncode(vec, state.range(0), 4);
        outLength = pbStringLength(out);
        pbObjRelease(pbStringObj(out));
    }
    pbObjRelease(pbVectorObj(vec));
    state.SetBytesProcessed(state.iterations() * outLength);
}
BENCHMARK(BM_MailEncode)->Arg(-1)->Arg(76);

#ifdef RFC_BENCH_HAVE_GMIME
void BM_GMimeAddressListParse(benchmark::State &state)
{
    for (auto _ : state) {
        InternetAddressList *list = internet_address_list_parse(nullptr, sampleText().c_str());
        benchmark::DoNotOptimize(list);
        g_object_unref(list);
    }
    InternetAddressList *list = internet_address_list_parse(nullptr, sampleText().c_str());
    state.counters["addresses"] = internet_address_list_length(list);
    g_object_unref(list);
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(sampleText().size()));
}
BENCHMARK(BM_GMimeAddressListParse);
#endif

// The console report, keeping each benchmark's bytes per second for the
// ratios printed at the end.
class Reporter : public benchmark::ConsoleReporter {
public:
    Reporter() : ConsoleReporter(OO_Tabular) {}
    void ReportRuns(const std::vector<Run> &runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &run : runs) {
            auto rate = run.counters.find("bytes_per_second");
            if (rate != run.counters.end())
                bytesPerSecond[run.benchmark_name()] = rate->second.value;
        }
    }
    std::map<std::string, double> bytesPerSecond;
};

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    if (!pbModuleStartup(rfcModule()))
        return 1;
#ifdef RFC_BENCH_HAVE_GMIME
    g_mime_init();
#endif
    std::printf("header text: %zu bytes of UTF-8\n", sampleText().size());
    Reporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    // With --benchmark_repetitions the median of the repetitions counts.
    auto rate = [&](const std::string &name) {
        for (const std::string &key : { name + "_median", name }) {
            auto found = reporter.bytesPerSecond.find(key);
            if (found != reporter.bytesPerSecond.end())
                return found->second;
        }
        return 0.0;
    };
    if (double decode = rate("BM_MailDecode"); decode > 0)
        std::printf("decode, freeing the vector: %.0f MB/s\n", decode / 1e6);
    if (double decode = rate("BM_MailDecodeWithoutRelease"); decode > 0)
        std::printf("decode call alone: %.0f MB/s\n", decode / 1e6);
#ifdef RFC_BENCH_HAVE_GMIME
    if (double decode = rate("BM_MailDecode"), gmime = rate("BM_GMimeAddressListParse"); decode > 0 && gmime > 0)
        std::printf("decode / GMime internet_address_list_parse: %.2f\n", decode / gmime);
    g_mime_shutdown();
#else
    std::printf("GMime 3 not installed: no reference ratio\n");
#endif
    benchmark::Shutdown();
    pbModuleShutdown(rfcModule());
    return 0;
}
