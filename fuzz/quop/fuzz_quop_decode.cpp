// The decoder on arbitrary text under arbitrary settings, against a plain
// byte-by-byte reference decoder written from the rules: both must agree on
// acceptance and on every byte of the result. The first bytes choose the
// input newline set, the output newline, the flags and the maximum input
// line length.
#include "../../tests/quop/quop_test_util.h"

#include <cstdlib>

using namespace quoptest;

namespace {

// The length of a line break at p under the input set s.
std::size_t breakAt(const std::string &in, std::size_t p, PB_INT s)
{
    if (p >= in.size())
        return 0;
    if ((s & CRLF) && in[p] == '\r' && p + 1 < in.size() && in[p + 1] == '\n')
        return 2;
    switch (in[p]) {
    case '\n': return (s & LF) ? 1 : 0;
    case '\r': return (s & CR) ? 1 : 0;
    case '\v': return (s & VT) ? 1 : 0;
    case '\f': return (s & (VT | FF)) ? 1 : 0;
    default: return 0;
    }
}

int hexValue(char c, bool small)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return small && c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// The rules, one byte at a time: input set s, output value nOut, maximum
// input line length m.
std::optional<std::string> reference(const std::string &in, PB_INT s, PB_INT nOut, PB_INT flags, PB_INT m)
{
    const bool translate = s != 0 && nOut != 0;
    std::string out;
    PB_INT line = 0;
    std::size_t trailing = 0;
    int end = 0; // 0 data, 1 hard, 2 soft
    for (std::size_t i = 0; i < in.size();) {
        const unsigned char v = static_cast<unsigned char>(in[i]);
        const std::size_t hard = translate ? breakAt(in, i, s) : 0;
        const std::size_t soft = v == '=' ? breakAt(in, i + 1, s) : 0;
        end = hard ? 1 : soft ? 2 : 0;
        if ((v >= 33 && v <= 126 && v != '=') || v == ' ' || v == '\t') {
            out += char(v);
            ++line;
            trailing = (v == ' ' || v == '\t') ? trailing + 1 : 0;
            ++i;
        } else if (hard || soft) {
            if (soft && m != noLimit && line >= m)
                return std::nullopt;
            out.resize(out.size() - (hard ? trailing : 0));
            out += hard ? nlText(nOut) : "";
            i += hard ? hard : 1 + soft;
            line = 0;
            trailing = 0;
        } else if (v == '=') {
            const bool small = flags & RFC_QUOP_FLAG_DECODE_ACCEPT_SMALL_HEX_DIGITS;
            if (i + 2 < in.size() && hexValue(in[i + 1], small) >= 0 && hexValue(in[i + 2], small) >= 0) {
                out += char(hexValue(in[i + 1], small) << 4 | hexValue(in[i + 2], small));
                line += 3;
                i += 3;
            } else if (flags & RFC_QUOP_FLAG_DECODE_ACCEPT_INVALID_ENCODING) {
                out += '=';
                line += 1;
                i += 1;
            } else {
                return std::nullopt;
            }
            trailing = 0;
        } else if (!(flags & (v > 126 ? RFC_QUOP_FLAG_DECODE_IGNORE_NON_ASCII : RFC_QUOP_FLAG_DECODE_IGNORE_CONTROL))) {
            return std::nullopt;
        } else {
            ++i;
        }
        if (m != noLimit && line > m)
            return std::nullopt;
    }
    if (end == 0 && translate)
        out.resize(out.size() - trailing);
    if (end != 1 && translate && (flags & RFC_QUOP_FLAG_DECODE_ENSURE_TRAILING_NLF))
        out += nlText(nOut);
    return out;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    pbModuleStartup(rfcModule());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 4)
        return 0;
    const Settings settings { data[0], data[1], data[3] < 4 ? noLimit : data[3], data[2] & 0x3F };
    const PB_INT outputNlf = rfcQuopOptionsDecodeOutputNlf(options(settings, true).get());
    const std::string input(reinterpret_cast<const char *>(data + 4), size - 4);
    if (decode(input, settings) != reference(input, settings.inputNlf, outputNlf, settings.flags, settings.lineLength))
        std::abort();
    return 0;
}
