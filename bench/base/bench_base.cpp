// base64 throughput of encode and decode over 64 KiB and 1 MiB of random
// bytes (default options, and 76-character CRLF lines decoded with the
// newline flag), and the cost of one whole rfcBaseEncode call on 64 bytes.
// Where OpenSSL is installed, EVP_EncodeBlock/EVP_DecodeBlock (and for
// wrapped text its EVP_Encode/EVP_Decode streams) run on the same data in
// the same run, and the ratios are printed at the end.
#include <rfc/base/rfc_base.h>

#include <benchmark/benchmark.h>

#include "support/bench_support.h"

#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#ifdef RFC_BENCH_HAVE_OPENSSL
#include <openssl/evp.h>
#endif

namespace {

std::vector<PB_BYTE> randomData(std::size_t size)
{
    return rfcbench::randomData(size, 4648);
}

// The sizes measured, with the suffix of their benchmark names.
const std::pair<std::size_t, const char *> sizes[] = { { 64 << 10, "64KiB" }, { 1 << 20, "1MiB" } };

// Options for 76-character lines joined by CR LF.
RFC_BASE_OPTIONS *wrappedOptions()
{
    RFC_BASE_OPTIONS *opt = rfcBaseOptionsCreate();
    rfcBaseOptionsSetOutputLineLength(&opt, 76);
    rfcBaseOptionsSetFlags(&opt, RFC_BASE_FLAG_DECODE_IGNORE_NLF);
    return opt;
}

// Throughput is counted in raw (decoded) bytes for every benchmark, so that
// encode and decode figures compare directly.
void rfcEncode(benchmark::State &state, std::size_t size, bool wrapped)
{
    auto data = randomData(size);
    PB_BUFFER *source = pbBufferCreateFromBytesCopy(data.data(), PB_INT(size));
    RFC_BASE_OPTIONS *opt = wrapped ? wrappedOptions() : rfcBaseOptionsCreate();
    for (auto _ : state) {
        PB_BUFFER *text = rfcBaseEncodeWithOptions(source, RFC_BASE_ENCODING_BASE64, opt);
        benchmark::DoNotOptimize(text);
        pbObjRelease(pbBufferObj(text));
    }
    rfcBaseOptionsRelease(opt);
    pbObjRelease(pbBufferObj(source));
    state.SetBytesProcessed(PB_INT(state.iterations() * size));
}

void rfcDecode(benchmark::State &state, std::size_t size, bool wrapped)
{
    auto data = randomData(size);
    PB_BUFFER *source = pbBufferCreateFromBytesCopy(data.data(), PB_INT(size));
    RFC_BASE_OPTIONS *opt = wrapped ? wrappedOptions() : rfcBaseOptionsCreate();
    PB_BUFFER *text = rfcBaseEncodeWithOptions(source, RFC_BASE_ENCODING_BASE64, opt);
    for (auto _ : state) {
        PB_BUFFER *bytes = rfcBaseTryDecodeWithOptions(text, RFC_BASE_ENCODING_BASE64, opt);
        if (!bytes || pbBufferLength(bytes) != PB_INT(size)) {
            state.SkipWithError("decoding failed");
            break;
        }
        pbObjRelease(pbBufferObj(bytes));
    }
    pbObjRelease(pbBufferObj(text));
    rfcBaseOptionsRelease(opt);
    pbObjRelease(pbBufferObj(source));
    state.SetBytesProcessed(PB_INT(state.iterations() * size));
}

// One whole call on 64 bytes: the result buffer is made and released.
void rfcEncodeCall64(benchmark::State &state)
{
    auto data = randomData(64);
    PB_BUFFER *source = pbBufferCreateFromBytesCopy(data.data(), 64);
    for (auto _ : state) {
        PB_BUFFER *text = rfcBaseEncode(source, RFC_BASE_ENCODING_BASE64);
        benchmark::DoNotOptimize(text);
        pbObjRelease(pbBufferObj(text));
    }
    pbObjRelease(pbBufferObj(source));
    state.SetBytesProcessed(PB_INT(state.iterations() * 64));
}

// The same with its source buffer made and released in each call too.
void rfcEncodeCall64WithSource(benchmark::State &state)
{
    auto data = randomData(64);
    for (auto _ : state) {
        PB_BUFFER *source = pbBufferCreateFromBytesCopy(data.data(), 64);
        PB_BUFFER *text = rfcBaseEncode(source, RFC_BASE_ENCODING_BASE64);
        benchmark::DoNotOptimize(text);
        pbObjRelease(pbBufferObj(text));
        pbObjRelease(pbBufferObj(source));
    }
    state.SetBytesProcessed(PB_INT(state.iterations() * 64));
}

void rfcDecodeCall64(benchmark::State &state)
{
    auto data = randomData(64);
    PB_BUFFER *source = pbBufferCreateFromBytesCopy(data.data(), 64);
    PB_BUFFER *text = rfcBaseEncode(source, RFC_BASE_ENCODING_BASE64);
    for (auto _ : state) {
        PB_BUFFER *bytes = rfcBaseTryDecode(text, RFC_BASE_ENCODING_BASE64);
        benchmark::DoNotOptimize(bytes);
        pbObjRelease(pbBufferObj(bytes));
    }
    pbObjRelease(pbBufferObj(text));
    pbObjRelease(pbBufferObj(source));
    state.SetBytesProcessed(PB_INT(state.iterations() * 64));
}

#ifdef RFC_BENCH_HAVE_OPENSSL
// EVP_EncodeBlock into a buffer allocated per call, as our encoder does.
void opensslEncode(benchmark::State &state, std::size_t size)
{
    auto data = randomData(size);
    for (auto _ : state) {
        std::vector<unsigned char> out((size + 2) / 3 * 4 + 1);
        benchmark::DoNotOptimize(EVP_EncodeBlock(out.data(), data.data(), int(size)));
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(PB_INT(state.iterations() * size));
}

void opensslDecode(benchmark::State &state, std::size_t size)
{
    auto data = randomData(size);
    std::vector<unsigned char> text((size + 2) / 3 * 4 + 1);
    int textLength = EVP_EncodeBlock(text.data(), data.data(), int(size));
    for (auto _ : state) {
        std::vector<unsigned char> out(std::size_t(textLength) / 4 * 3);
        int n = EVP_DecodeBlock(out.data(), text.data(), textLength);
        if (n < 0) {
            state.SkipWithError("decoding failed");
            break;
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(PB_INT(state.iterations() * size));
}

// Wrapped text: OpenSSL's streams write 64-character lines with LF and
// read text with newlines.
void opensslEncodeWrapped(benchmark::State &state, std::size_t size)
{
    auto data = randomData(size);
    EVP_ENCODE_CTX *ctx = EVP_ENCODE_CTX_new();
    for (auto _ : state) {
        std::vector<unsigned char> out((size + 2) / 3 * 4 + size / 48 + 66);
        int n = 0, m = 0;
        EVP_EncodeInit(ctx);
        EVP_EncodeUpdate(ctx, out.data(), &n, data.data(), int(size));
        EVP_EncodeFinal(ctx, out.data() + n, &m);
        benchmark::DoNotOptimize(out.data());
    }
    EVP_ENCODE_CTX_free(ctx);
    state.SetBytesProcessed(PB_INT(state.iterations() * size));
}

void opensslDecodeWrapped(benchmark::State &state, std::size_t size)
{
    auto data = randomData(size);
    RFC_BASE_OPTIONS *opt = wrappedOptions();
    PB_BUFFER *source = pbBufferCreateFromBytesCopy(data.data(), PB_INT(size));
    PB_BUFFER *text = rfcBaseEncodeWithOptions(source, RFC_BASE_ENCODING_BASE64, opt);
    EVP_ENCODE_CTX *ctx = EVP_ENCODE_CTX_new();
    for (auto _ : state) {
        std::vector<unsigned char> out(size + 64);
        int n = 0, m = 0;
        EVP_DecodeInit(ctx);
        if (EVP_DecodeUpdate(ctx, out.data(), &n, pbBufferBacking(text), int(pbBufferLength(text))) < 0
            || EVP_DecodeFinal(ctx, out.data() + n, &m) < 0 || std::size_t(n + m) != size) {
            state.SkipWithError("decoding failed");
            break;
        }
        benchmark::DoNotOptimize(out.data());
    }
    EVP_ENCODE_CTX_free(ctx);
    pbObjRelease(pbBufferObj(text));
    pbObjRelease(pbBufferObj(source));
    rfcBaseOptionsRelease(opt);
    state.SetBytesProcessed(PB_INT(state.iterations() * size));
}

void opensslEncodeCall64(benchmark::State &state)
{
    auto data = randomData(64);
    for (auto _ : state) {
        std::vector<unsigned char> out(89);
        benchmark::DoNotOptimize(EVP_EncodeBlock(out.data(), data.data(), 64));
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(PB_INT(state.iterations() * 64));
}
#endif

void registerAll()
{
    for (const auto &[size, suffix] : sizes) {
        std::string s = suffix;
        std::size_t n = size;
        benchmark::RegisterBenchmark(("encode " + s + " rfc").c_str(), [n](benchmark::State &st) { rfcEncode(st, n, false); });
        benchmark::RegisterBenchmark(("decode " + s + " rfc").c_str(), [n](benchmark::State &st) { rfcDecode(st, n, false); });
        benchmark::RegisterBenchmark(("encode " + s + " 76crlf rfc").c_str(), [n](benchmark::State &st) { rfcEncode(st, n, true); });
        benchmark::RegisterBenchmark(("decode " + s + " 76crlf rfc").c_str(), [n](benchmark::State &st) { rfcDecode(st, n, true); });
#ifdef RFC_BENCH_HAVE_OPENSSL
        benchmark::RegisterBenchmark(("encode " + s + " openssl").c_str(), [n](benchmark::State &st) { opensslEncode(st, n); });
        benchmark::RegisterBenchmark(("decode " + s + " openssl").c_str(), [n](benchmark::State &st) { opensslDecode(st, n); });
        benchmark::RegisterBenchmark(("encode " + s + " 76crlf openssl").c_str(),
            [n](benchmark::State &st) { opensslEncodeWrapped(st, n); });
        benchmark::RegisterBenchmark(("decode " + s + " 76crlf openssl").c_str(),
            [n](benchmark::State &st) { opensslDecodeWrapped(st, n); });
#endif
    }
    benchmark::RegisterBenchmark("encode 64B call rfc", rfcEncodeCall64);
    benchmark::RegisterBenchmark("encode 64B call+source rfc", rfcEncodeCall64WithSource);
    benchmark::RegisterBenchmark("decode 64B call rfc", rfcDecodeCall64);
#ifdef RFC_BENCH_HAVE_OPENSSL
    benchmark::RegisterBenchmark("encode 64B call openssl", opensslEncodeCall64);
#endif
}

} // namespace

int main(int argc, char **argv)
{
    rfcbench::Module module;
    registerAll();
    benchmark::Initialize(&argc, argv);
    rfcbench::RateReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
#ifdef RFC_BENCH_HAVE_OPENSSL
    std::printf("\nthroughput ratio, rfc over openssl (above 1: rfc is faster)\n");
    for (const auto &[name, rate] : reporter.rates) {
        std::size_t at = name.rfind(" rfc");
        if (at == std::string::npos || at + 4 != name.size())
            continue;
        std::string stem = name.substr(0, at);
        auto peer = reporter.rates.find(stem + " openssl");
        if (peer != reporter.rates.end() && peer->second > 0)
            std::printf("%-28s %.2f\n", stem.c_str(), rate / peer->second);
    }
#else
    std::printf("\nOpenSSL is not installed (package libssl-dev): no reference run\n");
#endif
    return 0;
}
