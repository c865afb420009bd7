// Quoted-printable throughput over about 1 MiB of mail-like text: lines of
// about 70 characters ending in CR LF, with a few percent of the bytes at or
// above 0x80 (UTF-8 letters; the program prints their share). GMime 3 encodes and decodes the same data in
// the same run when it is installed, and the ratios are printed at the end.
#include <rfc/quop/rfc_quop.h>

#include <pb/pb_cpp.h>

#include <benchmark/benchmark.h>

#if defined(RFC_BENCH_HAVE_GMIME)
#include <gmime/gmime.h>
#endif

#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

// Deterministic mail text: words from a small vocabulary, some of them with
// two-byte UTF-8 letters, filled into lines of at most 72 characters.
std::string mailText(std::size_t size)
{
    static const char *const words[] = { "the", "message", "quoted-printable", "encoding", "of", "a",
        "m\xC3\xBCller", "caf\xC3\xA9", "stra\xC3\x9F" "e", "and", "line", "text,", "mail", "reply", "to:",
        "regards", "na\xC3\xAFve", "(see", "below)", "attachment", "2026-12-05", "server", "price:", "10%",
        "\xC3\xA0", "header", "body.", "you", "for", "with", "this", "that", "will", "please", "thanks",
        "meeting", "tomorrow", "we", "have", "it", "is", "on", "in", "Hello", "sent", "from", "my", "phone",
        "address", "list", "about", "report", "number" };
    std::mt19937 random(1);
    std::uniform_int_distribution<std::size_t> pick(0, std::size(words) - 1);
    std::string text, line;
    while (text.size() < size) {
        std::string word = words[pick(random)];
        if (line.size() + 1 + word.size() > 72) {
            text += line + "\r\n";
            line.clear();
        }
        if (!line.empty())
            line += ' ';
        line += word;
    }
    return text;
}

const std::string &plainText()
{
    static const std::string text = mailText(1 << 20);
    return text;
}

pb::Ref<PB_BUFFER> bufferOf(const std::string &bytes)
{
    return pb::Ref<PB_BUFFER>(
        pbBufferCreateFromBytesCopy(reinterpret_cast<const PB_BYTE *>(bytes.data()), PB_INT(bytes.size())));
}

const std::string &encodedText()
{
    static const std::string text = [] {
        pb::Ref<PB_BUFFER> source = bufferOf(plainText());
        pb::Ref<PB_BUFFER> encoded(rfcQuopEncode(source.get()));
        return std::string(reinterpret_cast<const char *>(pbBufferBacking(encoded.get())),
            std::size_t(pbBufferLength(encoded.get())));
    }();
    return text;
}

void BM_RfcEncode(benchmark::State &state)
{
    pb::Ref<PB_BUFFER> source = bufferOf(plainText());
    pb::Ref<RFC_QUOP_OPTIONS> opt(rfcQuopOptionsCreate());
    for (auto _ : state) {
        pb::Ref<PB_BUFFER> encoded(rfcQuopEncodeWithOptions(source.get(), opt.get()));
        benchmark::DoNotOptimize(pbBufferBacking(encoded.get()));
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(plainText().size()));
}
BENCHMARK(BM_RfcEncode);

void BM_RfcDecode(benchmark::State &state)
{
    pb::Ref<PB_BUFFER> source = bufferOf(encodedText());
    pb::Ref<RFC_QUOP_OPTIONS> opt(rfcQuopOptionsCreate());
    for (auto _ : state) {
        pb::Ref<PB_BUFFER> decoded(rfcQuopTryDecodeWithOptions(source.get(), opt.get()));
        if (!decoded)
            state.SkipWithError("the encoded text was refused");
        benchmark::DoNotOptimize(pbBufferBacking(decoded.get()));
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(encodedText().size()));
}
BENCHMARK(BM_RfcDecode);

#if defined(RFC_BENCH_HAVE_GMIME)
// GMime writes into a buffer the caller sizes; it is allocated once, outside
// the timed loop, which favours the peer.
void BM_GmimeEncode(benchmark::State &state)
{
    const std::string &in = plainText();
    GMimeEncoding encoding;
    g_mime_encoding_init_encode(&encoding, GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE);
    std::vector<char> out(g_mime_encoding_outlen(&encoding, in.size()));
    for (auto _ : state) {
        g_mime_encoding_reset(&encoding);
        benchmark::DoNotOptimize(g_mime_encoding_flush(&encoding, in.data(), in.size(), out.data()));
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(in.size()));
}
BENCHMARK(BM_GmimeEncode);

void BM_GmimeDecode(benchmark::State &state)
{
    const std::string &in = encodedText();
    GMimeEncoding encoding;
    g_mime_encoding_init_decode(&encoding, GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE);
    std::vector<char> out(g_mime_encoding_outlen(&encoding, in.size()));
    for (auto _ : state) {
        g_mime_encoding_reset(&encoding);
        benchmark::DoNotOptimize(g_mime_encoding_flush(&encoding, in.data(), in.size(), out.data()));
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(in.size()));
}
BENCHMARK(BM_GmimeDecode);
#endif

// The console output, plus the throughput of each run kept for the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &run : runs) {
            auto it = run.counters.find("bytes_per_second");
            if (it != run.counters.end())
                rates[run.benchmark_name()] = it->second.value;
        }
    }
    std::map<std::string, double> rates;
};

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    pbModuleStartup(rfcModule());
#if defined(RFC_BENCH_HAVE_GMIME)
    g_mime_init();
#endif
    std::size_t high = 0;
    for (char c : plainText())
        high += static_cast<unsigned char>(c) >= 0x80 ? 1 : 0;
    std::printf("input: %zu bytes of mail text (%.1f%% at or above 0x80), %zu bytes encoded\n", plainText().size(),
        100.0 * double(high) / double(plainText().size()), encodedText().size());
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto ratio = [&](const char *ours, const char *peer) {
        if (reporter.rates.count(ours) && reporter.rates.count(peer))
            std::printf("%s: %.0f MB/s, %s: %.0f MB/s, ratio %.2f\n", ours, reporter.rates[ours] / 1e6, peer,
                reporter.rates[peer] / 1e6, reporter.rates[ours] / reporter.rates[peer]);
    };
    ratio("BM_RfcEncode", "BM_GmimeEncode");
    ratio("BM_RfcDecode", "BM_GmimeDecode");
#if defined(RFC_BENCH_HAVE_GMIME)
    g_mime_shutdown();
#endif
    pbModuleShutdown(rfcModule());
    benchmark::Shutdown();
    return 0;
}
