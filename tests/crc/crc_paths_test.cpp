// The engine's implementations (AVX-512, AVX, portable) against the
// bit-serial oracle. Each test runs on the implementation in use; ctest runs
// the program once per implementation with RFC_CRC_IMPL set, and the first
// test checks that the variable took effect.
#include "crc_reference.h"
#include "support/test_support.h"

#include <rfc/crc/rfc_crc.h>
#include <rfc/crc/rfc_crc_internal.h>

#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

using rfctest::crc::Model;
using rfctest::crc::bitSerial;

std::uint64_t maskOf(PB_INT width)
{
    return width == 64 ? ~0ull : (1ull << width) - 1;
}

Model randomModel(std::mt19937_64 &rng, PB_INT width, bool reflectIn)
{
    const std::uint64_t mask = maskOf(width);
    return { width, PB_INT(rng() & mask), PB_INT(rng() & mask), PB_INT(rng() & mask), reflectIn, (rng() & 1) != 0 };
}

pb::Ref<RFC_CRC> create(const Model &m)
{
    return pb::Ref<RFC_CRC>(rfcCrcCreateWithModel(m.width, m.poly, m.init, m.xorOut, m.reflectIn, m.reflectOut));
}

// The engine's check value over count bytes at p, fed in one call from a
// copy at p's alignment that ends where its heap block ends, so that
// AddressSanitizer reports any read past the last byte.
std::uint64_t oneCall(const Model &m, const char *p, std::size_t count)
{
    const std::size_t skew = reinterpret_cast<std::uintptr_t>(p) % 16;
    std::unique_ptr<char[]> exact(new char[skew + count]);
    std::memcpy(exact.get() + skew, p, count);
    auto crc = create(m);
    rfcCrcUpdateBytes(crc.get(), exact.get() + skew, PB_INT(count));
    return std::uint64_t(rfcCrcFinal(crc.get()));
}

// The implementation in use is the one RFC_CRC_IMPL names when the
// processor has it, otherwise the fastest the processor has.
TEST(CrcPaths, ForcedImplementationIsInUse)
{
    const std::string inUse = rfc___CrcImplementationName();
    const char *forced = std::getenv("RFC_CRC_IMPL");
    std::printf("CRC implementation in use: %s (RFC_CRC_IMPL %s)\n", inUse.c_str(), forced ? forced : "unset");
    const char *const names[] = { "avx512", "avx", "portable" };
    std::string fastest, available;
    bool forcedAvailable = false;
    for (const char *name : names) {
        if (rfc___CrcImplementationSelect(name)) {
            EXPECT_STREQ(rfc___CrcImplementationName(), name);
            available += std::string(available.empty() ? "" : ", ") + name;
            if (fastest.empty())
                fastest = name;
            forcedAvailable = forcedAvailable || (forced && std::strcmp(forced, name) == 0);
        }
    }
    std::printf("CRC implementations this processor has: %s\n", available.c_str());
    EXPECT_FALSE(rfc___CrcImplementationSelect("sse"));
    EXPECT_NE(available.find("portable"), std::string::npos);
    EXPECT_EQ(inUse, forcedAvailable ? std::string(forced) : fastest);
    ASSERT_TRUE(rfc___CrcImplementationSelect(inUse.c_str()));
}

// Every width, both input reflections, random generators: lengths 0 to 300
// (every tail and every lane count of the kernels) and longer ones around
// the 256- and 512-byte blocks of the AVX-512 kernel, with tails of 1, 63
// and 64 bytes, each from a misaligned start.
TEST(CrcPaths, EveryWidthAndLengthAgreesWithBitSerial)
{
    std::mt19937_64 rng(2024);
    const std::string data = rfctest::randomBytes(70000, 3);
    const std::size_t longLengths[] = { 319, 320, 321, 447, 511, 512, 513, 575, 576, 577, 767, 768, 769, 831, 1000,
        1023, 1024, 1025, 1087, 1535, 1599, 4096 + 13, 65536 + 7 };
    for (PB_INT width = 8; width <= 64; ++width) {
        for (bool reflectIn : { false, true }) {
            const Model m = randomModel(rng, width, reflectIn);
            for (std::size_t length = 0; length <= 300 + std::size(longLengths); ++length) {
                std::size_t n = length <= 300 ? length : longLengths[length - 301];
                std::size_t start = (length * 7 + std::size_t(width)) % 16;
                ASSERT_EQ(oneCall(m, data.data() + start, n), bitSerial(m, std::string_view(data).substr(start, n)))
                    << "width " << width << " reflectIn " << reflectIn << " poly " << std::hex << m.poly
                    << std::dec << " length " << n << " start " << start;
            }
        }
    }
}

// Messages that end where a readable page ends, or start where one starts,
// next to a page the process may not touch: a kernel that reads one byte
// outside its message (a whole-vector load of a short message or tail)
// crashes here in every build, not only under AddressSanitizer.
TEST(CrcPaths, ReadsNothingBesideTheMessageAtPageEdges)
{
    const std::size_t page = std::size_t(sysconf(_SC_PAGESIZE));
    void *map = mmap(nullptr, 3 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(map, MAP_FAILED);
    auto *pages = static_cast<char *>(map);
    ASSERT_EQ(mprotect(pages, page, PROT_NONE), 0);
    ASSERT_EQ(mprotect(pages + 2 * page, page, PROT_NONE), 0);
    char *const low = pages + page, *const high = pages + 2 * page;
    const std::string data = rfctest::randomBytes(page, 31);
    std::memcpy(low, data.data(), page);
    std::mt19937_64 rng(41);
    for (PB_INT width : { 8, 32, 64 }) {
        for (bool reflectIn : { false, true }) {
            const Model m = randomModel(rng, width, reflectIn);
            for (std::size_t n = 1; n <= 600; ++n) {
                const auto expectAt = [&](const char *p, const char *where) {
                    auto crc = create(m);
                    rfcCrcUpdateBytes(crc.get(), p, PB_INT(n));
                    EXPECT_EQ(std::uint64_t(rfcCrcFinal(crc.get())), bitSerial(m, std::string_view(p, n)))
                        << where << ", width " << width << " reflectIn " << reflectIn << " length " << n;
                };
                expectAt(high - n, "ending at a page end");
                expectAt(low, "starting at a page start");
            }
        }
    }
    ASSERT_EQ(munmap(map, 3 * page), 0);
}

// A way of feeding a buffer; it returns the bytes it meant to feed.
struct Feeding {
    const char *what;
    std::function<std::string(RFC_CRC *, PB_BUFFER *, const std::string &)> feed;
};

// Piece lengths around every kernel boundary (16, 64, 128, 256, 512 bytes).
const std::size_t pieces[] = { 1, 15, 16, 17, 0, 63, 64, 65, 3, 127, 128, 129, 8, 255, 256, 257, 9, 7, 511, 512, 513,
    2 };

const Feeding feedings[] = {
    { "rfcCrcUpdate, whole buffer",
        [](RFC_CRC *crc, PB_BUFFER *b, const std::string &data) {
            rfcCrcUpdate(crc, b);
            return data;
        } },
    { "rfcCrcUpdateBytes in uneven pieces",
        [](RFC_CRC *crc, PB_BUFFER *, const std::string &data) {
            for (std::size_t at = 0, i = 0; at < data.size(); ++i) {
                std::size_t n = std::min(pieces[i % std::size(pieces)], data.size() - at);
                rfcCrcUpdateBytes(crc, data.data() + at, PB_INT(n));
                at += n;
            }
            return data;
        } },
    { "rfcCrcUpdateByte, every byte",
        [](RFC_CRC *crc, PB_BUFFER *, const std::string &data) {
            for (unsigned char c : data)
                rfcCrcUpdateByte(crc, c | 0x700);
            return data;
        } },
    { "Leading, Inner in uneven pieces, Trailing",
        [](RFC_CRC *crc, PB_BUFFER *b, const std::string &data) {
            rfcCrcUpdateLeading(crc, b, 37);
            std::size_t at = 37, end = data.size() - 21;
            for (std::size_t i = 5; at < end; ++i) {
                std::size_t n = std::min(pieces[i % std::size(pieces)], end - at);
                rfcCrcUpdateInner(crc, b, PB_INT(at), PB_INT(n));
                at += n;
            }
            rfcCrcUpdateTrailing(crc, b, 21);
            return data;
        } },
    { "Outer around a cut of 100 bytes",
        [](RFC_CRC *crc, PB_BUFFER *b, const std::string &data) {
            rfcCrcUpdateOuter(crc, b, 131, 100);
            return data.substr(0, 131) + data.substr(231);
        } },
    { "single bytes, then pieces, then single bytes",
        [](RFC_CRC *crc, PB_BUFFER *, const std::string &data) {
            for (std::size_t i = 0; i < 5; ++i)
                rfcCrcUpdateByte(crc, static_cast<unsigned char>(data[i]));
            rfcCrcUpdateBytes(crc, data.data() + 5, 300);
            rfcCrcUpdateBytes(crc, data.data() + 305, PB_INT(data.size() - 310));
            for (std::size_t i = data.size() - 5; i < data.size(); ++i)
                rfcCrcUpdateByte(crc, static_cast<unsigned char>(data[i]));
            return data;
        } },
};

// Every feeding function in uneven splits gives the value of the whole
// message, for every width and both input reflections.
TEST(CrcPaths, SplitsThroughEveryFeedingFunction)
{
    std::mt19937_64 rng(77);
    const std::string data = rfctest::randomBytes(1777, 5);
    auto whole = rfctest::buffer(data);
    for (PB_INT width = 8; width <= 64; ++width) {
        for (bool reflectIn : { false, true }) {
            const Model m = randomModel(rng, width, reflectIn);
            for (const Feeding &f : feedings) {
                auto crc = create(m);
                std::string fed = f.feed(crc.get(), whole.get(), data);
                EXPECT_EQ(std::uint64_t(rfcCrcFinal(crc.get())), bitSerial(m, fed))
                    << f.what << ", width " << width << " reflectIn " << reflectIn;
            }
        }
    }
}

// The catalogued models run on compile-time constants: every one, by value
// and by its parameters, at every short length and a long one.
TEST(CrcPaths, CatalogueModelsAgreeWithBitSerial)
{
    const struct Row {
        PB_INT alg;
        Model model;
    } rows[] = {
        { RFC_CRC_ALGORITHM_CRC8, { 8, 0x07, 0x00, 0x00, false, false } },
        { RFC_CRC_ALGORITHM_CRC8_DARC, { 8, 0x39, 0x00, 0x00, true, true } },
        { RFC_CRC_ALGORITHM_CRC8_ICODE, { 8, 0x1D, 0xFD, 0x00, false, false } },
        { RFC_CRC_ALGORITHM_CRC8_ITU, { 8, 0x07, 0x00, 0x55, false, false } },
        { RFC_CRC_ALGORITHM_CRC8_ROHC, { 8, 0x07, 0xFF, 0x00, true, true } },
        { RFC_CRC_ALGORITHM_CRC16_IBM, { 16, 0x8005, 0x0000, 0x0000, true, true } },
        { RFC_CRC_ALGORITHM_CRC16_CCITT, { 16, 0x1021, 0x0000, 0x0000, true, true } },
        { RFC_CRC_ALGORITHM_CRC16_CCITT_FALSE, { 16, 0x1021, 0xFFFF, 0x0000, false, false } },
        { RFC_CRC_ALGORITHM_CRC16_DARC, { 16, 0x1021, 0xFFFF, 0xFFFF, false, false } },
        { RFC_CRC_ALGORITHM_CRC16_DECT_R, { 16, 0x0589, 0x0000, 0x0001, false, false } },
        { RFC_CRC_ALGORITHM_CRC16_DECT_X, { 16, 0x0589, 0x0000, 0x0000, false, false } },
        { RFC_CRC_ALGORITHM_CRC16_X25, { 16, 0x1021, 0xFFFF, 0xFFFF, true, true } },
        { RFC_CRC_ALGORITHM_CRC16_XMODEM, { 16, 0x1021, 0x0000, 0x0000, false, false } },
        { RFC_CRC_ALGORITHM_CRC32_ADCCP, { 32, 0x04C11DB7, 0xFFFFFFFF, 0xFFFFFFFF, true, true } },
        { RFC_CRC_ALGORITHM_CRC32_BZIP2, { 32, 0x04C11DB7, 0xFFFFFFFF, 0xFFFFFFFF, false, false } },
        { RFC_CRC_ALGORITHM_CRC32_C, { 32, 0x1EDC6F41, 0xFFFFFFFF, 0xFFFFFFFF, true, true } },
        { RFC_CRC_ALGORITHM_CRC32_D, { 32, 0xA833982B, 0xFFFFFFFF, 0xFFFFFFFF, true, true } },
        { RFC_CRC_ALGORITHM_CRC32_MPEG2, { 32, 0x04C11DB7, 0xFFFFFFFF, 0x00000000, false, false } },
        { RFC_CRC_ALGORITHM_CRC32_POSIX, { 32, 0x04C11DB7, 0x00000000, 0xFFFFFFFF, false, false } },
    };
    static_assert(std::size(rows) == RFC_CRC_ALGORITHM_COUNT);
    const std::string data = rfctest::randomBytes(5000, 9);
    for (const Row &row : rows) {
        for (std::size_t n = 0; n <= 301; ++n) {
            std::size_t length = n <= 300 ? n : data.size() - 3;
            auto bytes = rfctest::buffer(std::string_view(data).substr(3, length));
            const std::uint64_t expected = bitSerial(row.model, std::string_view(data).substr(3, length));
            ASSERT_EQ(std::uint64_t(rfcCrc(row.alg, bytes.get())), expected) << "algorithm " << row.alg
                                                                             << " length " << length;
            ASSERT_EQ(oneCall(row.model, data.data() + 3, length), expected) << "model of " << row.alg;
        }
    }
}

// CRC-32C runs streams of crc32 instructions beside the AVX-512 kernel from
// 16 KiB on, joined to the vector part by multiplication. Lengths around
// that point, one whose vector part leaves a remainder of more than 512
// bytes, one 2^20 bytes, exactly one cut (4095 rounds of 704 bytes plus 512)
// and two cuts and a part, from odd starts; the same models fed in uneven
// pieces; and generators that share CRC-32C's only in part, which must not
// take the streams: the width-33 one scales to the same 64-bit generator.
TEST(CrcPaths, LongCrc32cAgreesWithBitSerial)
{
    const Model crc32c { 32, 0x1EDC6F41, 0xFFFFFFFF, 0xFFFFFFFF, true, true };
    constexpr PB_INT none = -1; // a model outside the catalogue: fed by its parameters only
    const struct Row {
        PB_INT alg;
        Model model;
        std::size_t length, start;
    } rows[] = {
        { RFC_CRC_ALGORITHM_CRC32_C, crc32c, 16383, 1 },
        { RFC_CRC_ALGORITHM_CRC32_C, crc32c, 16384, 0 },
        { RFC_CRC_ALGORITHM_CRC32_C, crc32c, 16385, 5 },
        { RFC_CRC_ALGORITHM_CRC32_C, crc32c, 16384 + 3 * 704 + 600, 3 },
        { RFC_CRC_ALGORITHM_CRC32_C, crc32c, 1 << 20, 7 },
        { RFC_CRC_ALGORITHM_CRC32_C, crc32c, 4095 * 704 + 512, 0 },
        { RFC_CRC_ALGORITHM_CRC32_C, crc32c, 2 * (4095 * 704 + 512) + 30000 + 11, 2 },
        { none, { 32, 0x1EDC6F41, 0, 0, true, false }, 100000, 9 },                    // another init and xorOut
        { none, { 33, 0x3DB8DE82, 0x1F0F0F0F0, 0x5, true, true }, 100000, 4 },         // x G: the same scaled generator
        { none, { 32, 0x1EDC6F41, 0xFFFFFFFF, 0xFFFFFFFF, false, false }, 100000, 6 }, // normal domain
    };
    const std::string data = rfctest::randomBytes(2 * (4095 * 704 + 512) + 30000 + 32, 21);
    for (const Row &row : rows) {
        const std::string_view message = std::string_view(data).substr(row.start, row.length);
        const std::uint64_t expected = bitSerial(row.model, message);
        EXPECT_EQ(oneCall(row.model, message.data(), message.size()), expected) << "length " << row.length;
        if (row.alg != none) {
            auto bytes = rfctest::buffer(message);
            EXPECT_EQ(std::uint64_t(rfcCrc(row.alg, bytes.get())), expected) << "length " << row.length;
        }
        // Pieces of 16385 bytes and a last one: each starts at another
        // alignment, and the register carries between them.
        auto crc = create(row.model);
        for (std::size_t at = 0; at < message.size(); at += 16385)
            rfcCrcUpdateBytes(crc.get(), message.data() + at, PB_INT(std::min<std::size_t>(16385, message.size() - at)));
        EXPECT_EQ(std::uint64_t(rfcCrcFinal(crc.get())), expected) << "in pieces, length " << row.length;
    }
}

// Generators of extreme shape: no terms below the top (the register only
// shifts), every term, the single term 1, and the top bit of a 64-bit
// generator; with init and xorOut all ones.
TEST(CrcPaths, GeneratorsOfExtremeShape)
{
    const std::string data = rfctest::randomBytes(3000, 13);
    for (PB_INT width : { 8, 13, 32, 33, 63, 64 }) {
        const std::uint64_t mask = maskOf(width);
        for (std::uint64_t poly : { std::uint64_t(0), mask, std::uint64_t(1), std::uint64_t(1) << (width - 1) }) {
            for (bool reflectIn : { false, true }) {
                const Model m { width, PB_INT(poly), PB_INT(mask), PB_INT(mask), reflectIn, !reflectIn };
                for (std::size_t length : { 0, 1, 7, 8, 9, 15, 16, 17, 31, 48, 63, 64, 65, 200, 255, 256, 257, 2999 })
                    EXPECT_EQ(oneCall(m, data.data() + 1, length),
                        bitSerial(m, std::string_view(data).substr(1, length)))
                        << "width " << width << " poly " << std::hex << poly << std::dec << " reflectIn "
                        << reflectIn << " length " << length;
            }
        }
    }
}

// An object fed partly on one implementation and partly on another gives
// the value of either alone: the register means the same to all of them.
TEST(CrcPaths, ImplementationsShareTheRegister)
{
    const std::string inUse = rfc___CrcImplementationName();
    const std::string data = rfctest::randomBytes(1500, 17);
    const char *const names[] = { "avx512", "avx", "portable" };
    std::mt19937_64 rng(5);
    for (PB_INT width : { 8, 21, 32, 64 }) {
        for (bool reflectIn : { false, true }) {
            const Model m = randomModel(rng, width, reflectIn);
            auto crc = create(m);
            std::size_t at = 0;
            for (std::size_t piece : { 5, 300, 17, 700, 1, 477 }) {
                for (const char *name : names) {
                    if (rfc___CrcImplementationSelect(name) && at < data.size()) {
                        std::size_t n = std::min(piece, data.size() - at);
                        rfcCrcUpdateBytes(crc.get(), data.data() + at, PB_INT(n));
                        at += n;
                    }
                }
            }
            ASSERT_EQ(at, data.size());
            EXPECT_EQ(std::uint64_t(rfcCrcFinal(crc.get())), bitSerial(m, data)) << "width " << width;
        }
    }
    ASSERT_TRUE(rfc___CrcImplementationSelect(inUse.c_str()));
}

// Threads computing models outside the catalogue at the same time, more
// models than the engine keeps derived constants for, all get their own
// model's value.
TEST(CrcPaths, ThreadsDeriveConstantsTogether)
{
    const std::string data = rfctest::randomBytes(600, 21);
    std::vector<Model> models;
    std::mt19937_64 rng(99);
    for (int i = 0; i < 40; ++i)
        models.push_back(randomModel(rng, 9 + i, i % 2 == 0));
    std::vector<std::uint64_t> expected;
    for (const Model &m : models)
        expected.push_back(bitSerial(m, data));
    std::vector<int> wrong(4, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 20; ++round)
                for (std::size_t i = 0; i < models.size(); ++i) {
                    std::size_t k = (i + std::size_t(t) * 7) % models.size();
                    wrong[std::size_t(t)] += oneCall(models[k], data.data(), data.size()) != expected[k];
                }
        });
    }
    for (std::thread &thread : threads)
        thread.join();
    EXPECT_EQ(wrong, std::vector<int>(4, 0));
}

} // namespace

namespace {

// x^(8 strip) = 1 modulo the generator, stepped one bit at a time apart
// from the engine's squarings.
bool periodHoldsBitwise(PB_INT width, std::uint64_t poly, std::size_t strip)
{
    const std::uint64_t top = 1ull << (width - 1), mask = top * 2 - 1;
    std::uint64_t r = 1;
    for (std::size_t i = 0; i < 8 * strip; ++i)
        r = ((r << 1) & mask) ^ (r & top ? poly : 0);
    return r == 1;
}

// A model for periodic folding: a catalogued one (alg) or one given by its
// parameters only (alg none).
constexpr PB_INT noAlgorithm = -1;

struct PeriodicRow {
    const char *what;
    PB_INT alg;
    Model model;
};

// Catalogued generators of widths 8 and 16 (every one has a short period),
// the T10-DIF generator, and random ones of widths 8 to 16 that have one;
// init and xorOut nonzero where the catalogue has them, random otherwise.
std::vector<PeriodicRow> periodicRows()
{
    std::vector<PeriodicRow> rows {
        { "CRC-8", RFC_CRC_ALGORITHM_CRC8, { 8, 0x07, 0x00, 0x00, false, false } },
        { "CRC-8/DARC", RFC_CRC_ALGORITHM_CRC8_DARC, { 8, 0x39, 0x00, 0x00, true, true } },
        { "CRC-8/I-CODE", RFC_CRC_ALGORITHM_CRC8_ICODE, { 8, 0x1D, 0xFD, 0x00, false, false } },
        { "CRC-8/ROHC", RFC_CRC_ALGORITHM_CRC8_ROHC, { 8, 0x07, 0xFF, 0x00, true, true } },
        { "CRC-16/ARC", RFC_CRC_ALGORITHM_CRC16_IBM, { 16, 0x8005, 0x0000, 0x0000, true, true } },
        { "CRC-16/GENIBUS", RFC_CRC_ALGORITHM_CRC16_DARC, { 16, 0x1021, 0xFFFF, 0xFFFF, false, false } },
        { "CRC-16/DECT-R", RFC_CRC_ALGORITHM_CRC16_DECT_R, { 16, 0x0589, 0x0000, 0x0001, false, false } },
        { "CRC-16/IBM-SDLC", RFC_CRC_ALGORITHM_CRC16_X25, { 16, 0x1021, 0xFFFF, 0xFFFF, true, true } },
        { "CRC-16/T10-DIF", noAlgorithm, { 16, 0x8BB7, 0x0000, 0x0000, false, false } },
        { "T10-DIF generator reflected, init and xorOut", noAlgorithm, { 16, 0x8BB7, 0x1234, 0xA5A5, true, false } },
    };
    std::mt19937_64 rng(808);
    for (PB_INT width = 8; width <= 16; ++width) {
        for (int found = 0; found < 2;) {
            Model m = randomModel(rng, width, found == 1);
            m.poly |= 1;
            if (rfc::crc::periodicStrip(std::uint64_t(m.poly), width, rfc::crc::clmulPortable)) {
                rows.push_back({ "random", noAlgorithm, m });
                ++found;
            }
        }
    }
    return rows;
}

// The strip the engine uses for every row repeats the generator's powers,
// checked bit by bit; a generator without the factor x^0 has none.
TEST(CrcPeriodic, StripsAreMultiplesOfThePeriod)
{
    for (const PeriodicRow &row : periodicRows()) {
        const std::size_t strip = rfc::crc::periodicStrip(std::uint64_t(row.model.poly), row.model.width,
            rfc::crc::clmulPortable);
        EXPECT_GE(strip, rfc::crc::periodicStripMin) << row.what << " poly " << std::hex << row.model.poly;
        EXPECT_TRUE(periodHoldsBitwise(row.model.width, std::uint64_t(row.model.poly), strip))
            << row.what << " poly " << std::hex << row.model.poly << std::dec << " strip " << strip;
        if (row.alg != noAlgorithm) {
            EXPECT_EQ(rfc::crc::catalogueStrips[std::size_t(row.alg)], strip) << row.what;
        }
    }
    // The smallest strips: CRC-8's period of 127 bytes rounded up, and the
    // full periods of CRC-16/ARC and T10-DIF.
    EXPECT_EQ(rfc::crc::periodicStrip(0x07, 8, rfc::crc::clmulPortable), 127u * 130u);
    EXPECT_FALSE(periodHoldsBitwise(8, 0x07, 126));
    EXPECT_EQ(rfc::crc::periodicStrip(0x8005, 16, rfc::crc::clmulPortable), 32767u);
    EXPECT_EQ(rfc::crc::periodicStrip(0x8BB7, 16, rfc::crc::clmulPortable), 65535u);
    EXPECT_FALSE(periodHoldsBitwise(16, 0x8BB7, 65535 / 3));
    EXPECT_EQ(rfc::crc::periodicStrip(0x8BB6, 16, rfc::crc::clmulPortable), 0u);
    EXPECT_EQ(rfc::crc::periodicStrip(0x04C11DB7, 32, rfc::crc::clmulPortable), 0u);
}

// Long messages of narrow models: lengths around one, two and four and a
// half strips and the point from which the engine folds by strips,
// from odd starts, in one call, one shot, and split through every feeding
// function so that pieces above and below that point meet.
TEST(CrcPeriodic, LongMessagesAgreeWithBitSerial)
{
    const std::string data = rfctest::randomBytes(5 * 65535 + 64, 61);
    auto whole = rfctest::buffer(data);
    for (const PeriodicRow &row : periodicRows()) {
        const Model &m = row.model;
        const std::size_t strip = rfc::crc::periodicStrip(std::uint64_t(m.poly), m.width, rfc::crc::clmulPortable);
        const std::size_t from = rfc::crc::periodicMinimumStrips * strip;
        const std::size_t lengths[] = { strip + 1, 2 * strip, from - 1, from, from + 63, 4 * strip + strip / 2 + 7,
            5 * strip };
        for (std::size_t i = 0; i < std::size(lengths); ++i) {
            const std::size_t start = 1 + 2 * i, n = lengths[i];
            const std::string_view message = std::string_view(data).substr(start, n);
            const std::uint64_t expected = bitSerial(m, message);
            ASSERT_EQ(oneCall(m, message.data(), n), expected) << row.what << " length " << n;
            auto bytes = rfctest::buffer(message);
            EXPECT_EQ(std::uint64_t(rfcCrcWithModel(m.width, m.poly, m.init, m.xorOut, m.reflectIn, m.reflectOut,
                          bytes.get())),
                expected)
                << row.what << " one shot, length " << n;
            if (row.alg != noAlgorithm) {
                EXPECT_EQ(std::uint64_t(rfcCrc(row.alg, bytes.get())), expected) << row.what << " length " << n;
            }
        }
        // Splits of a message of 4.5 strips and a little, fed from start 3.
        const std::size_t n = 4 * strip + strip / 2 + 11, start = 3, end = start + n;
        const std::uint64_t expected = bitSerial(m, std::string_view(data).substr(start, n));
        const struct Split {
            const char *what;
            std::function<void(RFC_CRC *)> feed;
        } splits[] = {
            { "bytes: a short piece, four strips, the rest",
                [&](RFC_CRC *crc) {
                    rfcCrcUpdateBytes(crc, data.data() + start, 17);
                    rfcCrcUpdateBytes(crc, data.data() + start + 17, PB_INT(4 * strip));
                    rfcCrcUpdateBytes(crc, data.data() + start + 17 + 4 * strip, PB_INT(n - 17 - 4 * strip));
                } },
            { "single bytes kept back, then the rest in one piece",
                [&](RFC_CRC *crc) {
                    for (std::size_t i = start; i < start + 5; ++i)
                        rfcCrcUpdateByte(crc, static_cast<unsigned char>(data[i]));
                    rfcCrcUpdateBytes(crc, data.data() + start + 5, PB_INT(n - 5));
                } },
            { "Leading, Inner, Trailing",
                [&](RFC_CRC *crc) {
                    auto buffer = rfctest::buffer(std::string_view(data).substr(0, end));
                    rfcCrcUpdateInner(crc, buffer.get(), PB_INT(start), PB_INT(n - 100));
                    rfcCrcUpdateTrailing(crc, buffer.get(), 100);
                } },
            { "Leading of a buffer that starts at the message",
                [&](RFC_CRC *crc) {
                    auto buffer = rfctest::buffer(std::string_view(data).substr(start, n + 50));
                    rfcCrcUpdateLeading(crc, buffer.get(), PB_INT(n));
                } },
            { "Outer around a cut in the middle",
                [&](RFC_CRC *crc) {
                    // The buffer holds the message with 1000 foreign bytes at its middle.
                    const std::size_t half = n / 2;
                    std::string withCut = data.substr(start, half) + std::string(1000, 'x') + data.substr(start + half, n - half);
                    auto buffer = rfctest::buffer(withCut);
                    rfcCrcUpdateOuter(crc, buffer.get(), PB_INT(half), 1000);
                } },
            { "rfcCrcUpdate of the whole message",
                [&](RFC_CRC *crc) {
                    auto buffer = rfctest::buffer(std::string_view(data).substr(start, n));
                    rfcCrcUpdate(crc, buffer.get());
                } },
        };
        for (const Split &split : splits) {
            auto crc = create(m);
            split.feed(crc.get());
            EXPECT_EQ(std::uint64_t(rfcCrcFinal(crc.get())), expected) << row.what << ", " << split.what;
        }
    }
}

// The periodic path runs for T10-DIF on the implementation that has it
// (AVX-512), and only from its minimum of strips on; no other
// implementation counts.
TEST(CrcPeriodic, RunsForT10DifFromItsMinimum)
{
    const Model t10dif { 16, 0x8BB7, 0, 0, false, false };
    const std::size_t from = rfc::crc::periodicMinimumStrips * 65535;
    const std::string data = rfctest::randomBytes(from + 1, 62);
    const bool hasPath = std::string(rfc___CrcImplementationName()) == "avx512";
    const PB_INT before = rfc___CrcPeriodicFeeds();
    EXPECT_EQ(oneCall(t10dif, data.data(), from - 1), bitSerial(t10dif, std::string_view(data).substr(0, from - 1)));
    EXPECT_EQ(rfc___CrcPeriodicFeeds(), before) << "below the minimum";
    EXPECT_EQ(oneCall(t10dif, data.data(), data.size()), bitSerial(t10dif, data));
    EXPECT_EQ(rfc___CrcPeriodicFeeds(), before + (hasPath ? 1 : 0)) << rfc___CrcImplementationName();
    // A width-17 model and an even generator never take it.
    const Model wide { 17, 0x18BB7, 0, 0, false, false }, even { 16, 0x8BB6, 0, 0, false, false };
    EXPECT_EQ(oneCall(wide, data.data(), data.size()), bitSerial(wide, data));
    EXPECT_EQ(oneCall(even, data.data(), data.size()), bitSerial(even, data));
    EXPECT_EQ(rfc___CrcPeriodicFeeds(), before + (hasPath ? 1 : 0));
}

} // namespace
