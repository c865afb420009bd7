// NFKC on arbitrary code point strings: normalising a normalised string
// changes nothing and keeps its object, the source's other holder sees no
// change, and nothing is left alive.
#include <pb/pb_cpp.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// Three bytes make one code point. The top two bits choose a range, so
// that the marks, jamo and compatibility characters where normalisation
// happens turn up often: anything up to U+10FFFF (surrogates included),
// the combining diacritical marks, the Hangul jamo and syllables, and the
// lower BMP with most scripts and their marks.
PB_CHAR codePoint(const std::uint8_t *bytes)
{
    const std::uint32_t v = (std::uint32_t { bytes[0] } << 16) | (std::uint32_t { bytes[1] } << 8) | bytes[2];
    switch (v >> 22) {
    case 0:
        return static_cast<PB_CHAR>(v % 0x110000);
    case 1:
        return static_cast<PB_CHAR>(0x0300 + v % 0x70);
    case 2:
        return static_cast<PB_CHAR>(v & 1 ? 0x1100 + v % 0x100 : 0xAC00 + v % 0x2C00);
    default:
        return static_cast<PB_CHAR>(v % 0x3400);
    }
}

std::vector<PB_CHAR> contents(PB_STRING *s)
{
    const PB_CHAR *chars = pbStringBacking(s);
    return std::vector<PB_CHAR>(chars, chars + pbStringLength(s));
}

void check(bool condition, const char *what)
{
    if (!condition) {
        std::fprintf(stderr, "fuzz_nfkc_idempotence: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    std::vector<PB_CHAR> input;
    for (std::size_t i = 0; i + 3 <= size; i += 3)
        input.push_back(codePoint(data + i));
    const PB_INT live = pbObjLiveCount();
    {
        pb::Ref<PB_STRING> source(pbStringCreateFromCharsCopy(input.data(), static_cast<PB_INT>(input.size())));
        pb::Ref<PB_STRING> once = pb::Ref<PB_STRING>::retained(source.get());
        pbStringNormalize(once.addr(), PB_STRING_NORMALIZE_NFKC);
        check(contents(source.get()) == input, "the source changed");

        const std::vector<PB_CHAR> normal = contents(once.get());
        PB_STRING *before = once.get();
        pbStringNormalize(once.addr(), PB_STRING_NORMALIZE_NFKC);
        check(once.get() == before, "a string in NFKC got a new object");
        check(contents(once.get()) == normal, "NFKC is not idempotent");
    }
    check(pbObjLiveCount() == live, "an object was left alive");
    return 0;
}
