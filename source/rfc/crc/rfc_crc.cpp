// The CRC engine: a computation over a register for any width from 8 to 64
// bits. It builds no lookup table, so creating a computation costs one
// allocation, and the one-shot functions, which keep their computation on
// the stack, none.
//
// The reference engine works bit by bit: eight conditional shift-and-XOR
// steps per byte. Where the processor multiplies carry-less, every feed goes
// through a vector kernel instead (rfc_crc_clmul_avx.cpp,
// rfc_crc_clmul_avx512.cpp) that computes the same register from a handful
// of per-model constants: compile-time ones for the catalogued models,
// derived on first use for the others. The implementation is chosen once
// per process from the processor's features; the environment variable
// RFC_CRC_IMPL (avx512, avx or portable) forces one the processor has.
#include "rfc_crc.h"
#include "rfc_crc_catalogue.h"
#include "rfc_crc_internal.h"

#include "../rfc_frame.h"

#include <array>
#include <atomic>
#include <cstdlib>
#include <cstring>

namespace {

// The state of a computation. An object carries one; the one-shot functions
// keep theirs on the stack and create no object.
struct Computation {
    PB_INT width;
    std::uint64_t poly;
    std::uint64_t xorOut;
    PB_BOOL reflectIn;
    PB_BOOL reflectOut;
    // The register in the model's domain (see rfc_crc_internal.h), so that
    // the kernels take it as it is: with reflectIn its mirror over width
    // bits, otherwise shifted to the top of 64 bits.
    std::uint64_t value;
    std::uint64_t mask; // the low width bits

    // The kernel constants of the model: the catalogue's, cached ones, or
    // derived into own on the first feed through a kernel; null until then.
    const rfc::crc::Constants *constants;
    rfc::crc::Constants own;

    // The strip length of periodic folding (rfc_crc_internal.h): 0 when the
    // model has none, stripUnknown until the first feed long enough to use
    // it asks.
    std::size_t strip;

    // Bytes from rfcCrcUpdateByte not yet in the register: they go in
    // eight at a time, or before any other feed or the finalisation.
    std::uint8_t pending[8];
    std::uint8_t pendingCount;
};

} // namespace

struct RFC_CRC {
    PB___OBJ_HEADER header;
    Computation computation;
    PB_BOOL final;
};

RFC___DEFINE_SORT(rfc___sort_RFC_CRC, "RFC_CRC", nullptr, nullptr);
RFC___DEFINE_STDFUNCS(rfcCrc, RFC_CRC, rfc___sort_RFC_CRC);

namespace {

using rfc::crc::Implementation;
using rfc::crc::mirror;

// The byte with its bit order reversed (bit 0 exchanged with bit 7, ...).
constexpr std::uint8_t mirrorByte(std::uint8_t b)
{
    b = std::uint8_t((b & 0xF0) >> 4 | (b & 0x0F) << 4);
    b = std::uint8_t((b & 0xCC) >> 2 | (b & 0x33) << 2);
    return std::uint8_t((b & 0xAA) >> 1 | (b & 0x55) << 1);
}

static_assert(mirrorByte(0x01) == 0x80 && mirrorByte(0x31) == 0x8C);

// x^e mod G for the scaled generator G = x^64 + poly64, one factor x at a
// time: an independent check of the derived constants.
constexpr std::uint64_t powerBitwise(std::uint64_t poly64, int e)
{
    std::uint64_t r = 1;
    for (int i = 0; i < e; ++i)
        r = (r << 1) ^ (poly64 & (0 - (r >> 63)));
    return r;
}

// The compile-time constants of a reflected model (CRC-32C) and of a narrow
// normal one (CRC-16/XMODEM, scaled by x^48) against step-by-step powers.
constexpr std::uint64_t poly32C = rfc::crc::scaledPoly(0x1EDC6F41, 32);
constexpr std::uint64_t poly16 = rfc::crc::scaledPoly(0x1021, 16);
constexpr const rfc::crc::Constants &constants32C = rfc::crc::catalogueConstants[RFC_CRC_ALGORITHM_CRC32_C];
constexpr const rfc::crc::Constants &constants16 = rfc::crc::catalogueConstants[RFC_CRC_ALGORITHM_CRC16_XMODEM];
static_assert(constants32C.fold16[0] == mirror(powerBitwise(poly32C, 191)));
static_assert(constants32C.fold16[1] == mirror(powerBitwise(poly32C, 127)));
static_assert(constants32C.fold256[0] == mirror(powerBitwise(poly32C, 2111)));
static_assert(constants32C.fold256[1] == mirror(powerBitwise(poly32C, 2047)));
static_assert(constants32C.fold512[0] == mirror(powerBitwise(poly32C, 4159)));
static_assert(constants32C.fold512[1] == mirror(powerBitwise(poly32C, 4095)));
static_assert(constants16.fold512[0] == powerBitwise(poly16, 4096));
static_assert(constants16.fold512[1] == powerBitwise(poly16, 4160));
static_assert(constants32C.reduce == mirror(powerBitwise(poly32C, 127)));
static_assert(constants16.fold64[0] == powerBitwise(poly16, 512));
static_assert(constants16.fold64[1] == powerBitwise(poly16, 576));
static_assert(constants16.fold128[1] == powerBitwise(poly16, 1088));
static_assert(constants16.fold48[0] == powerBitwise(poly16, 384));
static_assert(constants16.fold192[0] == powerBitwise(poly16, 1536));
static_assert(constants16.fold192[1] == powerBitwise(poly16, 1600));
static_assert(constants32C.fold192[0] == mirror(powerBitwise(poly32C, 1599)));
static_assert(constants32C.fold192[1] == mirror(powerBitwise(poly32C, 1535)));
static_assert(constants32C.fold48[0] == mirror(powerBitwise(poly32C, 447)));
static_assert(constants32C.none[0] == 0 && constants32C.none[1] == 0);
static_assert(constants16.reduce == powerBitwise(poly16, 128));
// mu is the Barrett quotient: x^128 = (x^64 + mu) G + (x^128 mod G).
static_assert([] {
    rfc::crc::Product qg = rfc::crc::clmulPortable(constants16.mu, poly16);
    // (x^64 + mu)(x^64 + p) = x^128 + (mu + p) x^64 + mu p; its sum with
    // x^128 is below x^64 exactly when the x^64 terms cancel.
    return (qg.high ^ constants16.mu ^ poly16) == 0 && qg.low == powerBitwise(poly16, 128);
}());

static_assert([] {
    for (const rfc::crc::Model &m : rfc::crc::catalogue)
        if (m.width < 8 || m.width > 64 || (m.width < 64 && (m.poly | m.init | m.xorOut) >> m.width))
            return false;
    return true;
}());

// The non-reflected register below 2^width from the domain register and
// back.
std::uint64_t fromDomain(const Computation *crc, std::uint64_t reg)
{
    return crc->reflectIn ? mirror(reg, int(crc->width)) : reg >> (64 - crc->width);
}

constexpr std::uint64_t domainOf(PB_INT width, bool reflectIn, std::uint64_t value)
{
    return reflectIn ? mirror(value, int(width)) : value << (64 - width);
}

std::uint64_t toDomain(const Computation *crc, std::uint64_t value)
{
    return domainOf(crc->width, crc->reflectIn, value);
}

// Feeds count bytes into the register: each (mirrored when reflectIn) byte
// enters at the top of the register, then eight steps shift it out, XORing
// the polynomial in whenever the bit leaving the top is set.
void feedBitwise(Computation *crc, const std::uint8_t *data, PB_INT count)
{
    const unsigned top = unsigned(crc->width) - 1;
    const unsigned shift = unsigned(crc->width) - 8;
    const std::uint64_t poly = crc->poly;
    std::uint64_t value = fromDomain(crc, crc->value);
    for (PB_INT i = 0; i < count; ++i) {
        std::uint8_t b = crc->reflectIn ? mirrorByte(data[i]) : data[i];
        std::uint64_t x = value ^ (std::uint64_t(b) << shift);
        for (int step = 0; step < 8; ++step)
            x = (x << 1) ^ (poly & (0 - ((x >> top) & 1)));
        value = x & crc->mask;
    }
    crc->value = toDomain(crc, value);
}

const Implementation implementationPortable { "portable", nullptr, nullptr, nullptr, nullptr };

// Every implementation, fastest first.
const Implementation *const implementations[] = { &rfc::crc::implementationAvx512, &rfc::crc::implementationAvx,
    &implementationPortable };

bool available(const Implementation *impl)
{
#if defined(__x86_64__)
    if (impl == &rfc::crc::implementationAvx512)
        return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw")
            && __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512vbmi")
            && __builtin_cpu_supports("vpclmulqdq") && __builtin_cpu_supports("pclmul")
            && __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("sse4.2");
    if (impl == &rfc::crc::implementationAvx)
        return __builtin_cpu_supports("avx") && __builtin_cpu_supports("pclmul");
#endif
    return impl == &implementationPortable;
}

const Implementation *byName(const char *name)
{
    for (const Implementation *impl : implementations)
        if (std::strcmp(impl->name, name) == 0 && available(impl))
            return impl;
    return nullptr;
}

// The implementation in use: the one RFC_CRC_IMPL names when the processor
// has it, otherwise the fastest the processor has. Chosen on first use;
// two threads racing here choose the same.
std::atomic<const Implementation *> active { nullptr };

const Implementation *activeImplementation()
{
    const Implementation *impl = active.load(std::memory_order_relaxed);
    if (!impl) {
        const char *forced = std::getenv("RFC_CRC_IMPL");
        impl = forced ? byName(forced) : nullptr;
        for (std::size_t i = 0; !impl; ++i)
            impl = available(implementations[i]) ? implementations[i] : nullptr;
        active.store(impl, std::memory_order_relaxed);
    }
    return impl;
}

// Constants derived for models outside the catalogue, kept for the life of
// the process so that repeated computations of one model (one-shot calls
// above all) derive them once. The slots are static, each filled once and
// never changed after, so readers need no lock; a model that finds them
// all taken derives its constants into its object every time.
struct CachedConstants {
    std::atomic<int> state; // 0 empty, 1 being filled, 2 ready
    std::uint64_t poly64;
    bool reflected;
    alignas(64) rfc::crc::Constants constants; // see Constants::padding
};

constexpr int cacheEmpty = 0, cacheFilling = 1, cacheReady = 2;
CachedConstants cache[16];

void deriveConstants(Computation *crc, std::uint64_t poly64, bool reflected);

// Points crc->constants at the cached constants of its model, deriving and
// caching them when no slot holds them yet.
void findConstants(Computation *crc)
{
    const std::uint64_t poly64 = rfc::crc::scaledPoly(crc->poly, crc->width);
    const bool reflected = crc->reflectIn;
    for (CachedConstants &slot : cache) {
        int state = slot.state.load(std::memory_order_acquire);
        if (state == cacheEmpty)
            break;
        if (state == cacheReady && slot.poly64 == poly64 && slot.reflected == reflected) {
            crc->constants = &slot.constants;
            return;
        }
    }
    deriveConstants(crc, poly64, reflected);
}

// Derives the constants of a model no slot holds into its computation and
// caches them in the first empty slot. Apart from findConstants, whose
// cache hits every one-shot computation of a model outside the catalogue
// takes, so that those keep a small stack frame.
[[gnu::noinline]] void deriveConstants(Computation *crc, std::uint64_t poly64, bool reflected)
{
    crc->own = rfc::crc::deriveConstantsClmul(poly64, reflected);
    crc->constants = &crc->own;
    for (CachedConstants &slot : cache) {
        int expected = cacheEmpty;
        if (slot.state.compare_exchange_strong(expected, cacheFilling, std::memory_order_acquire)) {
            slot.poly64 = poly64;
            slot.reflected = reflected;
            slot.constants = crc->own;
            slot.state.store(cacheReady, std::memory_order_release);
            return;
        }
    }
}

constexpr std::size_t stripUnknown = 1; // no strip is this short

// Strips found for models outside the catalogue, for the life of the
// process: each slot one word, 0 while empty, otherwise a mark bit, the
// width, the generator and the strip (0: none), so that it is written and
// read whole without a lock. A model that finds them all taken looks its
// strip up for each long feed.
std::atomic<std::uint64_t> stripCache[16];

constexpr std::uint64_t stripKey(PB_INT width, std::uint64_t poly)
{
    return std::uint64_t(1) << 40 | std::uint64_t(width) << 32 | poly << 16;
}

static_assert(rfc::crc::periodicWidthMax <= 16, "generator field of 16 bits");
static_assert(rfc::crc::periodicStripMin + 255 <= 0xFFFF, "strip field of 16 bits");

[[gnu::noinline]] std::size_t findStrip(const Computation *crc)
{
    const std::uint64_t key = stripKey(crc->width, crc->poly);
    for (std::atomic<std::uint64_t> &slot : stripCache) {
        const std::uint64_t word = slot.load(std::memory_order_relaxed);
        if (!word)
            break;
        if ((word & ~std::uint64_t(0xFFFF)) == key)
            return std::size_t(word & 0xFFFF);
    }
    const std::size_t strip = rfc::crc::periodicStrip(crc->poly, crc->width, rfc::crc::clmulInstruction);
    for (std::atomic<std::uint64_t> &slot : stripCache) {
        std::uint64_t expected = 0;
        if (slot.compare_exchange_strong(expected, key | strip, std::memory_order_relaxed))
            break;
        if ((expected & ~std::uint64_t(0xFFFF)) == key)
            break;
    }
    return strip;
}

// Feeds counted by the periodic kernels, for the tests.
std::atomic<PB_INT> periodicFeeds { 0 };

// Feeds through the active implementation's kernel for the model's domain:
// the periodic one for a model with a strip and a message long enough.
void feedNow(Computation *crc, const std::uint8_t *data, PB_INT count)
{
    const Implementation *impl = activeImplementation();
    if (!impl->normal) {
        feedBitwise(crc, data, count);
        return;
    }
    if (!crc->constants)
        findConstants(crc);
    const std::size_t n = std::size_t(count);
    if (crc->strip && n >= rfc::crc::periodicMinimumStrips * rfc::crc::periodicStripMin && impl->normalPeriodic) {
        if (crc->strip == stripUnknown)
            crc->strip = findStrip(crc);
        if (crc->strip && n >= rfc::crc::periodicMinimumStrips * crc->strip) {
            const rfc::crc::PeriodicKernel kernel = crc->reflectIn ? impl->reflectedPeriodic : impl->normalPeriodic;
            crc->value = kernel(crc->value, data, n, crc->strip, *crc->constants);
            periodicFeeds.fetch_add(1, std::memory_order_relaxed);
            return;
        }
    }
    const rfc::crc::Kernel kernel = crc->reflectIn ? impl->reflected : impl->normal;
    crc->value = kernel(crc->value, data, n, *crc->constants);
}

// Feeds the bytes rfcCrcUpdateByte has kept back.
void flushPending(Computation *crc)
{
    if (crc->pendingCount) {
        const PB_INT count = crc->pendingCount;
        crc->pendingCount = 0;
        feedNow(crc, crc->pending, count);
    }
}

// Feeds count bytes after any kept back.
void feed(Computation *crc, const std::uint8_t *data, PB_INT count)
{
    flushPending(crc);
    feedNow(crc, data, count);
}

// The catalogue's constants for a model that shares its generator and
// domain with a catalogued one; null for any other. A compile-time hash
// table with linear probing finds them in a probe or two.
constexpr std::size_t catalogueSlots = 64; // a power of two, about three times the catalogue

constexpr std::size_t catalogueHash(PB_INT width, std::uint64_t poly, bool reflectIn)
{
    std::uint64_t key = (poly << 7 | std::uint64_t(width) << 1 | (reflectIn ? 1 : 0)) * 0x9E3779B97F4A7C15u;
    return std::size_t(key >> 58) & (catalogueSlots - 1);
}

// Slot contents: a catalogue index plus one, 0 for an empty slot.
constexpr std::array<std::uint8_t, catalogueSlots> catalogueTable = [] {
    std::array<std::uint8_t, catalogueSlots> table {};
    for (std::size_t i = 0; i < rfc::crc::catalogue.size(); ++i) {
        // Models sharing a generator and domain share constants: one slot
        // serves them all.
        const rfc::crc::Model &m = rfc::crc::catalogue[i];
        std::size_t slot = catalogueHash(m.width, m.poly, m.reflectIn);
        bool present = false;
        for (; table[slot] && !present; slot = (slot + 1) & (catalogueSlots - 1)) {
            const rfc::crc::Model &other = rfc::crc::catalogue[table[slot] - 1u];
            present = other.width == m.width && other.poly == m.poly && other.reflectIn == m.reflectIn;
        }
        if (!present)
            table[slot] = std::uint8_t(i + 1);
    }
    return table;
}();

// A search, found or not, ends within a short run of occupied slots.
static_assert([] {
    std::size_t run = 0, longest = 0;
    for (std::size_t i = 0; i < 2 * catalogueSlots; ++i) {
        run = catalogueTable[i % catalogueSlots] ? run + 1 : 0;
        longest = run > longest ? run : longest;
    }
    return longest <= 3;
}());

const rfc::crc::Constants *catalogueConstantsFor(PB_INT width, std::uint64_t poly, bool reflectIn)
{
    // Bit w - 1 set for each width w in the catalogue: most other models
    // need no search.
    constexpr std::uint64_t widths = [] {
        std::uint64_t bits = 0;
        for (const rfc::crc::Model &m : rfc::crc::catalogue)
            bits |= std::uint64_t(1) << (m.width - 1);
        return bits;
    }();
    if (!((widths >> (width - 1)) & 1))
        return nullptr;
    for (std::size_t slot = catalogueHash(width, poly, reflectIn); catalogueTable[slot];
         slot = (slot + 1) & (catalogueSlots - 1)) {
        const std::size_t i = catalogueTable[slot] - 1u;
        const rfc::crc::Model &m = rfc::crc::catalogue[i];
        if (m.width == width && m.poly == poly && m.reflectIn == reflectIn)
            return &rfc::crc::catalogueConstants[i];
    }
    return nullptr;
}

// The domain register of each catalogued model's init, so that a one-shot
// computation of one starts without mirroring it.
constexpr std::array<std::uint64_t, RFC_CRC_ALGORITHM_COUNT> catalogueDomainInit = [] {
    std::array<std::uint64_t, RFC_CRC_ALGORITHM_COUNT> all {};
    for (std::size_t i = 0; i < all.size(); ++i) {
        const rfc::crc::Model &m = rfc::crc::catalogue[i];
        all[i] = domainOf(m.width, m.reflectIn, m.init);
    }
    return all;
}();

// The state of a new computation of a model whose parameters are in range;
// init is already in the model's domain.
void initialise(Computation *crc, PB_INT width, std::uint64_t poly, std::uint64_t domainInit, std::uint64_t xorOut,
    bool reflectIn, bool reflectOut, const rfc::crc::Constants *constants)
{
    crc->width = width;
    crc->poly = poly;
    crc->xorOut = xorOut;
    crc->reflectIn = reflectIn ? PB_TRUE : PB_FALSE;
    crc->reflectOut = reflectOut ? PB_TRUE : PB_FALSE;
    crc->constants = constants;
    if (constants >= rfc::crc::catalogueConstants.data()
        && constants < rfc::crc::catalogueConstants.data() + rfc::crc::catalogueConstants.size())
        crc->strip = rfc::crc::catalogueStrips[std::size_t(constants - rfc::crc::catalogueConstants.data())];
    else
        crc->strip = width <= rfc::crc::periodicWidthMax && (poly & 1) ? stripUnknown : 0;
    crc->value = domainInit;
    // 2^width - 1 without shifting by 64 for width 64.
    crc->mask = ((std::uint64_t(1) << (width - 1)) * 2 - 2) | 1;
    crc->pendingCount = 0;
}

// The check value: the register after the bytes kept back, reflected and
// XORed out as the model says.
PB_INT finalValue(Computation *crc)
{
    flushPending(crc);
    // With both reflections the domain register is already the mirror.
    std::uint64_t result = crc->reflectIn && crc->reflectOut ? crc->value : fromDomain(crc, crc->value);
    if (crc->reflectOut && !crc->reflectIn)
        result = mirror(result, int(crc->width));
    return PB_INT(result ^ crc->xorOut);
}

// The checks of a model's parameters: calls only for a model out of range.
void checkModel(PB_INT width, PB_INT poly, PB_INT init, PB_INT xorOut)
{
    const bool inRange = width >= 8 && width <= 64
        && (std::uint64_t(poly | init | xorOut) >> (width - 1) >> 1) == 0;
    if (!inRange) {
        PB_ASSERT( width >= 8 && width <= 64 );
        PB_ASSERT( pbIntBitHighest( poly ) < width );
        PB_ASSERT( pbIntBitHighest( init ) < width );
        PB_ASSERT( pbIntBitHighest( xorOut ) < width );
    }
}

// A new computation of a model given by its parameters, or of a catalogued
// one, in a computation of the caller's.
void initialiseModel(Computation *crc, PB_INT width, PB_INT poly, PB_INT init, PB_INT xorOut, PB_BOOL reflectIn,
    PB_BOOL reflectOut)
{
    checkModel(width, poly, init, xorOut);
    initialise(crc, width, std::uint64_t(poly), domainOf(width, reflectIn, std::uint64_t(init)), std::uint64_t(xorOut), reflectIn, reflectOut,
        catalogueConstantsFor(width, std::uint64_t(poly), reflectIn != 0));
}

// The catalogue's parameters are in range (checked at compile time), so the
// model goes straight to the computation with its compile-time constants.
void initialiseAlgorithm(Computation *crc, PB_INT alg)
{
    if (!RFC_CRC_ALGORITHM_OK(alg))
        PB_UNREACHABLE();
    const rfc::crc::Model &model = rfc::crc::catalogue[std::size_t(alg)];
    initialise(crc, model.width, model.poly, catalogueDomainInit[std::size_t(alg)], model.xorOut, model.reflectIn,
        model.reflectOut, &rfc::crc::catalogueConstants[std::size_t(alg)]);
}

RFC_CRC *createObject()
{
    auto *crc = reinterpret_cast<RFC_CRC *>(pb___ObjCreate(sizeof(RFC_CRC), rfcCrcSort()));
    crc->final = PB_FALSE;
    return crc;
}

// The check value of a whole buffer in one call. The computation lives on
// the stack: a one-shot call creates no object.
PB_INT oneShot(Computation *crc, PB_BUFFER *data)
{
    PB_ASSERT( data );
    const PB_INT length = pbBufferLength(data);
    if (length)
        feed(crc, pbBufferBacking(data), length);
    return finalValue(crc);
}

// The argument checks of the two range-feeding functions; the sum is
// checked for overflow only when the range is not empty.
void checkRange(RFC_CRC *crc, PB_BUFFER *data, PB_INT byteOffset, PB_INT byteCount)
{
    PB_ASSERT( crc );
    PB_ASSERT( data );
    PB_ASSERT( byteOffset >= 0 );
    PB_ASSERT( byteCount >= 0 );
    if (byteCount)
        PB_ASSERT( PB_INT_ADD_OK( byteOffset, byteCount ) );
    PB_ASSERT( pbBufferLength( data ) >= byteOffset + byteCount );
}

} // namespace

extern "C" {

RFC_API RFC_CRC *rfcCrcCreateWithModel(PB_INT width, PB_INT poly, PB_INT init, PB_INT xorOut,
    PB_BOOL reflectIn, PB_BOOL reflectOut) noexcept
{
    RFC_CRC *crc = createObject();
    initialiseModel(&crc->computation, width, poly, init, xorOut, reflectIn, reflectOut);
    return crc;
}

RFC_API RFC_CRC *rfcCrcCreate(PB_INT alg) noexcept
{
    RFC_CRC *crc = createObject();
    initialiseAlgorithm(&crc->computation, alg);
    return crc;
}

RFC_API void rfcCrcUpdateBytes(RFC_CRC *crc, const void *data, PB_INT byteCount) noexcept
{
    PB_ASSERT( crc );
    PB_ASSERT( !crc->final );
    PB_ASSERT( data || !byteCount );
    PB_ASSERT( byteCount >= 0 );
    if (byteCount)
        feed(&crc->computation, static_cast<const std::uint8_t *>(data), byteCount);
}

RFC_API void rfcCrcUpdate(RFC_CRC *crc, PB_BUFFER *data) noexcept
{
    PB_ASSERT( crc );
    PB_ASSERT( data );
    rfcCrcUpdateBytes(crc, pbBufferBacking(data), pbBufferLength(data));
}

RFC_API void rfcCrcUpdateInner(RFC_CRC *crc, PB_BUFFER *data, PB_INT byteOffset, PB_INT byteCount) noexcept
{
    checkRange(crc, data, byteOffset, byteCount);
    rfcCrcUpdateBytes(crc, pbBufferBacking(data) + byteOffset, byteCount);
}

RFC_API void rfcCrcUpdateOuter(RFC_CRC *crc, PB_BUFFER *data, PB_INT byteOffset, PB_INT byteCount) noexcept
{
    checkRange(crc, data, byteOffset, byteCount);
    const PB_BYTE *bytes = pbBufferBacking(data);
    PB_INT end = byteOffset + byteCount;
    rfcCrcUpdateBytes(crc, bytes, byteOffset);
    rfcCrcUpdateBytes(crc, bytes + end, pbBufferLength(data) - end);
}

RFC_API void rfcCrcUpdateLeading(RFC_CRC *crc, PB_BUFFER *data, PB_INT byteCount) noexcept
{
    PB_ASSERT( crc );
    PB_ASSERT( data );
    PB_ASSERT( byteCount >= 0 );
    PB_ASSERT( pbBufferLength( data ) >= byteCount );
    rfcCrcUpdateBytes(crc, pbBufferBacking(data), byteCount);
}

RFC_API void rfcCrcUpdateTrailing(RFC_CRC *crc, PB_BUFFER *data, PB_INT byteCount) noexcept
{
    PB_ASSERT( crc );
    PB_ASSERT( data );
    PB_ASSERT( byteCount >= 0 );
    PB_ASSERT( pbBufferLength( data ) >= byteCount );
    rfcCrcUpdateBytes(crc, pbBufferBacking(data) + (pbBufferLength(data) - byteCount), byteCount);
}

RFC_API void rfcCrcUpdateByte(RFC_CRC *crc, int32_t byte) noexcept
{
    PB_ASSERT( crc );
    PB_ASSERT( !crc->final );
    Computation &c = crc->computation;
    c.pending[c.pendingCount++] = std::uint8_t(byte & 0xFF);
    if (c.pendingCount == sizeof c.pending)
        flushPending(&c);
}

RFC_API PB_INT rfcCrcFinal(RFC_CRC *crc) noexcept
{
    PB_ASSERT( crc );
    PB_ASSERT( !crc->final );
    crc->final = PB_TRUE;
    return finalValue(&crc->computation);
}

RFC_API PB_INT rfcCrcWithModel(PB_INT width, PB_INT poly, PB_INT init, PB_INT xorOut,
    PB_BOOL reflectIn, PB_BOOL reflectOut, PB_BUFFER *data) noexcept
{
    Computation crc;
    initialiseModel(&crc, width, poly, init, xorOut, reflectIn, reflectOut);
    return oneShot(&crc, data);
}

RFC_API PB_INT rfcCrc(PB_INT alg, PB_BUFFER *data) noexcept
{
    Computation crc;
    initialiseAlgorithm(&crc, alg);
    return oneShot(&crc, data);
}

RFC_API const char *rfc___CrcImplementationName(void) noexcept
{
    return activeImplementation()->name;
}

RFC_API PB_INT rfc___CrcPeriodicFeeds(void) noexcept
{
    return periodicFeeds.load(std::memory_order_relaxed);
}

RFC_API PB_BOOL rfc___CrcImplementationSelect(const char *name) noexcept
{
    PB_ASSERT( name );
    const Implementation *impl = byName(name);
    if (impl)
        active.store(impl, std::memory_order_relaxed);
    return impl ? PB_TRUE : PB_FALSE;
}

} // extern "C"
