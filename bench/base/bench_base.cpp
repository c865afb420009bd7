// Throughput of the base encodings and the cost of one small call, each
// case run by every kernel this CPU offers and by the peers on the same data
// in the same run: base64 encode and decode over 64 KiB and 1 MiB of random
// bytes, 76-character lines (ours CR LF, simdutf's LF, OpenSSL's 64-character
// LF lines) and their decoding with newlines skipped, base16 and base32 at
// 64 KiB, base64 in 30-character and base32 in 60-character CR LF lines
// (lines of a part group, kernels only), and one whole rfcBaseEncode and
// rfcBaseTryDecode call on 64 bytes. The peers are
// simdutf (from the shared peers folder, when present; its best
// implementation, and its AVX2 one beside our AVX2 kernel) and OpenSSL's
// EVP_EncodeBlock/EVP_DecodeBlock and EVP_Encode/Decode streams (when
// libssl-dev is installed). Ratios are printed at the end; with
// --benchmark_repetitions they pair the medians, and
// --benchmark_enable_random_interleaving=true runs the repetitions of all
// cases in turn, so that a change in the machine's load falls on both sides
// of a ratio alike. Both sides allocate their output per call (ours with
// its buffer object), uninitialised, so first touches cost both the same.
#include <rfc/base/rfc_base.h>
#include <rfc/base/rfc_base_kernel.h>

#include <benchmark/benchmark.h>

#include "support/bench_support.h"

#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#ifdef RFC_BENCH_HAVE_OPENSSL
#include <openssl/evp.h>
#endif
#ifdef RFC_BENCH_HAVE_SIMDUTF
#include <simdutf.h>
#endif
#include <memory>

namespace {

std::vector<PB_BYTE> randomData(std::size_t size)
{
    return rfcbench::randomData(size, 4648);
}

// The sizes measured, with the suffix of their benchmark names.
const std::pair<std::size_t, const char *> sizes[] = { { 64 << 10, "64KiB" }, { 1 << 20, "1MiB" } };

// Options for lines of lineLength characters (MIME's 76 unless told)
// joined by CR LF, decoded skipping newlines.
RFC_BASE_OPTIONS *wrappedOptions(PB_INT lineLength = 76)
{
    RFC_BASE_OPTIONS *opt = rfcBaseOptionsCreate();
    rfcBaseOptionsSetOutputLineLength(&opt, lineLength);
    rfcBaseOptionsSetFlags(&opt, RFC_BASE_FLAG_DECODE_IGNORE_NLF);
    return opt;
}

// Runs a case on one kernel and puts back the one in use.
class KernelScope {
public:
    explicit KernelScope(const std::string &name) : previous_(rfc___BaseKernelName())
    {
        rfc___BaseKernelSelect(name.c_str());
    }
    ~KernelScope() { rfc___BaseKernelSelect(previous_.c_str()); }
    KernelScope(const KernelScope &) = delete;
    KernelScope &operator=(const KernelScope &) = delete;

private:
    std::string previous_;
};

// Throughput is counted in raw (decoded) bytes for every benchmark, so that
// encode and decode figures compare directly.
void rfcEncode(benchmark::State &state, const std::string &kernel, PB_INT encoding, std::size_t size, bool wrapped,
    PB_INT lineLength = 76)
{
    KernelScope scope(kernel);
    auto data = randomData(size);
    PB_BUFFER *source = pbBufferCreateFromBytesCopy(data.data(), PB_INT(size));
    RFC_BASE_OPTIONS *opt = wrapped ? wrappedOptions(lineLength) : rfcBaseOptionsCreate();
    for (auto _ : state) {
        PB_BUFFER *text = rfcBaseEncodeWithOptions(source, encoding, opt);
        benchmark::DoNotOptimize(text);
        pbObjRelease(pbBufferObj(text));
    }
    rfcBaseOptionsRelease(opt);
    pbObjRelease(pbBufferObj(source));
    state.SetBytesProcessed(PB_INT(state.iterations() * size));
}

void rfcDecode(benchmark::State &state, const std::string &kernel, PB_INT encoding, std::size_t size, bool wrapped)
{
    KernelScope scope(kernel);
    auto data = randomData(size);
    PB_BUFFER *source = pbBufferCreateFromBytesCopy(data.data(), PB_INT(size));
    RFC_BASE_OPTIONS *opt = wrapped ? wrappedOptions() : rfcBaseOptionsCreate();
    PB_BUFFER *text = rfcBaseEncodeWithOptions(source, encoding, opt);
    for (auto _ : state) {
        PB_BUFFER *bytes = rfcBaseTryDecodeWithOptions(text, encoding, opt);
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

// One whole call on 64 bytes (or on size bytes: 0 shows what the result
// object alone costs): the result buffer is made and released.
void rfcEncodeCall64(benchmark::State &state, std::size_t size = 64)
{
    auto data = randomData(size);
    PB_BUFFER *source = pbBufferCreateFromBytesCopy(data.data(), PB_INT(size));
    for (auto _ : state) {
        PB_BUFFER *text = rfcBaseEncode(source, RFC_BASE_ENCODING_BASE64);
        benchmark::DoNotOptimize(text);
        pbObjRelease(pbBufferObj(text));
    }
    pbObjRelease(pbBufferObj(source));
    state.SetBytesProcessed(PB_INT(state.iterations() * size));
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

#ifdef RFC_BENCH_HAVE_SIMDUTF
// simdutf's own implementation of an instruction set ("haswell" is its
// AVX2 one), when this CPU runs it: the peer of our kernel of the same
// set. Null: none here.
const simdutf::implementation *simdutfImplementation(const char *name)
{
    const simdutf::implementation *impl = simdutf::get_available_implementations()[name];
    return impl && impl->supported_by_runtime_system() ? impl : nullptr;
}

// simdutf into an output allocated per call (uninitialised), as ours is;
// impl null means the one simdutf chooses.
void simdutfEncode(benchmark::State &state, std::size_t size, bool wrapped, const simdutf::implementation *impl = nullptr)
{
    auto data = randomData(size);
    auto *in = reinterpret_cast<const char *>(data.data());
    std::size_t length = wrapped ? simdutf::base64_length_from_binary_with_lines(size, simdutf::base64_default, 76)
                                 : simdutf::base64_length_from_binary(size);
    if (!impl)
        impl = simdutf::get_active_implementation().operator->();
    for (auto _ : state) {
        std::unique_ptr<char[]> out(new char[length]);
        std::size_t n = wrapped ? impl->binary_to_base64_with_lines(in, size, out.get(), 76)
                                : impl->binary_to_base64(in, size, out.get());
        benchmark::DoNotOptimize(n);
        benchmark::DoNotOptimize(out.get());
    }
    state.SetBytesProcessed(PB_INT(state.iterations() * size));
}

// Decodes our text: plain, or our 76-character CR LF lines (simdutf skips
// ASCII white space, CR and LF among it).
void simdutfDecode(benchmark::State &state, std::size_t size, bool wrapped, const simdutf::implementation *impl = nullptr)
{
    auto data = randomData(size);
    PB_BUFFER *source = pbBufferCreateFromBytesCopy(data.data(), PB_INT(size));
    RFC_BASE_OPTIONS *opt = wrapped ? wrappedOptions() : rfcBaseOptionsCreate();
    PB_BUFFER *text = rfcBaseEncodeWithOptions(source, RFC_BASE_ENCODING_BASE64, opt);
    auto *in = reinterpret_cast<const char *>(pbBufferBacking(text));
    auto length = std::size_t(pbBufferLength(text));
    if (!impl)
        impl = simdutf::get_active_implementation().operator->();
    for (auto _ : state) {
        std::unique_ptr<char[]> out(new char[simdutf::maximal_binary_length_from_base64(in, length)]);
        simdutf::result r = impl->base64_to_binary(in, length, out.get());
        if (r.error != simdutf::error_code::SUCCESS || r.count != size) {
            state.SkipWithError("decoding failed");
            break;
        }
        benchmark::DoNotOptimize(out.get());
    }
    pbObjRelease(pbBufferObj(text));
    pbObjRelease(pbBufferObj(source));
    rfcBaseOptionsRelease(opt);
    state.SetBytesProcessed(PB_INT(state.iterations() * size));
}

void simdutfEncodeCall64(benchmark::State &state)
{
    auto data = randomData(64);
    for (auto _ : state) {
        std::unique_ptr<char[]> out(new char[88]);
        benchmark::DoNotOptimize(simdutf::binary_to_base64(reinterpret_cast<const char *>(data.data()), 64, out.get()));
        benchmark::DoNotOptimize(out.get());
    }
    state.SetBytesProcessed(PB_INT(state.iterations() * 64));
}

// One decode of the 88 characters of 64 bytes into an output allocated per
// call, the counterpart of rfcDecodeCall64.
void simdutfDecodeCall64(benchmark::State &state)
{
    auto data = randomData(64);
    std::string text(simdutf::base64_length_from_binary(64), '\0');
    simdutf::binary_to_base64(reinterpret_cast<const char *>(data.data()), 64, text.data());
    for (auto _ : state) {
        std::unique_ptr<char[]> out(new char[simdutf::maximal_binary_length_from_base64(text.data(), text.size())]);
        simdutf::result r = simdutf::base64_to_binary(text.data(), text.size(), out.get());
        if (r.error != simdutf::error_code::SUCCESS || r.count != 64) {
            state.SkipWithError("decoding failed");
            break;
        }
        benchmark::DoNotOptimize(out.get());
    }
    state.SetBytesProcessed(PB_INT(state.iterations() * 64));
}
#endif

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

// The kernels this CPU runs, the best first.
std::vector<std::string> kernels()
{
    std::vector<std::string> names;
    std::string previous = rfc___BaseKernelName();
    for (const char *name : { "avx512", "avx2", "portable" }) {
        if (rfc___BaseKernelSelect(name))
            names.push_back(name);
    }
    rfc___BaseKernelSelect(previous.c_str());
    return names;
}

// Case names end in " rfc" (the kernel in use), " rfc:KERNEL", " simdutf",
// " simdutf:avx2" or " openssl"; the ratios pair them by the stem before.
void registerAll()
{
    using benchmark::RegisterBenchmark;
    const std::string best = rfc___BaseKernelName();
    for (const auto &[size, suffix] : sizes) {
        std::string s = suffix;
        std::size_t n = size;
        for (bool wrapped : { false, true }) {
            std::string stem = "base64 %s " + s + (wrapped ? " 76crlf" : "");
            auto name = [&](const char *what, const std::string &who) {
                std::string text = stem;
                text.replace(text.find("%s"), 2, what);
                return text + " " + who;
            };
            for (const std::string &k : kernels()) {
                std::string who = k == best ? "rfc" : "rfc:" + k;
                RegisterBenchmark(name("encode", who).c_str(),
                    [=](benchmark::State &st) { rfcEncode(st, k, RFC_BASE_ENCODING_BASE64, n, wrapped); });
                RegisterBenchmark(name("decode", who).c_str(),
                    [=](benchmark::State &st) { rfcDecode(st, k, RFC_BASE_ENCODING_BASE64, n, wrapped); });
            }
#ifdef RFC_BENCH_HAVE_SIMDUTF
            RegisterBenchmark(name("encode", "simdutf").c_str(), [=](benchmark::State &st) { simdutfEncode(st, n, wrapped); });
            RegisterBenchmark(name("decode", "simdutf").c_str(), [=](benchmark::State &st) { simdutfDecode(st, n, wrapped); });
            if (const simdutf::implementation *avx2 = simdutfImplementation("haswell")) {
                RegisterBenchmark(name("encode", "simdutf:avx2").c_str(),
                    [=](benchmark::State &st) { simdutfEncode(st, n, wrapped, avx2); });
                RegisterBenchmark(name("decode", "simdutf:avx2").c_str(),
                    [=](benchmark::State &st) { simdutfDecode(st, n, wrapped, avx2); });
            }
#endif
#ifdef RFC_BENCH_HAVE_OPENSSL
            if (wrapped) {
                RegisterBenchmark(name("encode", "openssl").c_str(), [=](benchmark::State &st) { opensslEncodeWrapped(st, n); });
                RegisterBenchmark(name("decode", "openssl").c_str(), [=](benchmark::State &st) { opensslDecodeWrapped(st, n); });
            } else {
                RegisterBenchmark(name("encode", "openssl").c_str(), [=](benchmark::State &st) { opensslEncode(st, n); });
                RegisterBenchmark(name("decode", "openssl").c_str(), [=](benchmark::State &st) { opensslDecode(st, n); });
            }
#endif
        }
    }
    const std::pair<PB_INT, const char *> others[] = { { RFC_BASE_ENCODING_BASE16, "base16" },
        { RFC_BASE_ENCODING_BASE32, "base32" } };
    for (const auto &[encoding, label] : others) {
        for (const std::string &k : kernels()) {
            std::string who = k == best ? "rfc" : "rfc:" + k;
            PB_INT e = encoding;
            RegisterBenchmark((std::string(label) + " encode 64KiB " + who).c_str(),
                [=](benchmark::State &st) { rfcEncode(st, k, e, 64 << 10, false); });
            RegisterBenchmark((std::string(label) + " decode 64KiB " + who).c_str(),
                [=](benchmark::State &st) { rfcDecode(st, k, e, 64 << 10, false); });
        }
    }
    // Lines shorter than a vector block and not whole groups: no peer wraps
    // so, so the kernels are compared with each other.
    const std::tuple<PB_INT, const char *, PB_INT> shortLines[] = { { RFC_BASE_ENCODING_BASE64, "base64", 30 },
        { RFC_BASE_ENCODING_BASE32, "base32", 60 } };
    for (const auto &[encoding, label, lineLength] : shortLines) {
        for (const std::string &k : kernels()) {
            std::string who = k == best ? "rfc" : "rfc:" + k;
            PB_INT e = encoding;
            PB_INT n = lineLength;
            RegisterBenchmark((std::string(label) + " encode 64KiB " + std::to_string(n) + "crlf " + who).c_str(),
                [=](benchmark::State &st) { rfcEncode(st, k, e, 64 << 10, true, n); });
        }
    }
    RegisterBenchmark("base64 encode 64B call rfc", [](benchmark::State &st) { rfcEncodeCall64(st); });
    RegisterBenchmark("base64 encode 64B call+source rfc", rfcEncodeCall64WithSource);
    RegisterBenchmark("base64 encode 1B call rfc", [](benchmark::State &st) { rfcEncodeCall64(st, 1); });
    RegisterBenchmark("base64 decode 64B call rfc", rfcDecodeCall64);
#ifdef RFC_BENCH_HAVE_SIMDUTF
    RegisterBenchmark("base64 encode 64B call simdutf", simdutfEncodeCall64);
    RegisterBenchmark("base64 decode 64B call simdutf", simdutfDecodeCall64);
#endif
#ifdef RFC_BENCH_HAVE_OPENSSL
    RegisterBenchmark("base64 encode 64B call openssl", opensslEncodeCall64);
#endif
}

// Prints rate(stem + ours) / rate(stem + theirs) for every stem both ran.
void printRatios(const std::map<std::string, double> &rates, const std::string &ours, const std::string &theirs)
{
    std::printf("\nthroughput ratio, %s over %s (above 1: %s is faster)\n", ours.c_str(), theirs.c_str(), ours.c_str());
    bool any = false;
    for (const auto &[name, rate] : rates) {
        std::string tail = " " + ours;
        if (name.size() <= tail.size() || name.compare(name.size() - tail.size(), tail.size(), tail) != 0)
            continue;
        std::string stem = name.substr(0, name.size() - tail.size());
        auto peer = rates.find(stem + " " + theirs);
        if (peer != rates.end() && peer->second > 0) {
            std::printf("%-34s %.2f\n", stem.c_str(), rate / peer->second);
            any = true;
        }
    }
    if (!any)
        std::printf("(no case ran for both)\n");
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
    std::printf("\nkernel in use: %s\n", rfc___BaseKernelName());
#ifdef RFC_BENCH_HAVE_SIMDUTF
    printRatios(reporter.rates, "rfc", "simdutf");
    // Our AVX2 kernel against simdutf's, and simdutf's against its best:
    // how far AVX2 falls behind AVX-512 on this CPU with either library.
    printRatios(reporter.rates, "rfc:avx2", "simdutf:avx2");
    printRatios(reporter.rates, "simdutf:avx2", "simdutf");
#else
    std::printf("\nsimdutf is not in ../shared/peers/simdutf: no simdutf run\n");
#endif
#ifdef RFC_BENCH_HAVE_OPENSSL
    printRatios(reporter.rates, "rfc", "openssl");
#else
    std::printf("\nOpenSSL is not installed (package libssl-dev): no OpenSSL run\n");
#endif
    for (const std::string &k : kernels()) {
        if (k != rfc___BaseKernelName())
            printRatios(reporter.rates, "rfc:" + k, "rfc");
    }
    std::printf("\nthroughput, GB/s\n");
    for (const auto &[name, rate] : reporter.rates) {
        if (name.rfind("base16", 0) == 0 || name.rfind("base32", 0) == 0)
            std::printf("%-34s %.1f\n", name.c_str(), rate / 1e9);
    }
    return 0;
}
