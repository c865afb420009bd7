// The decoder on arbitrary text under arbitrary settings, against a plain
// byte-by-byte reference decoder written from the rules: both must agree on
// acceptance and on every byte of the result. The first bytes choose the
// input newline set, the output newline, the flags and the maximum input
// line length.
#include <rfc/quop/rfc_quop.h>

#include <pb/pb_cpp.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace {

// The length of a line break at p under the input set s.
std::size_t breakAt(const std::string &in, std::size_t p, PB_INT s)
{
    if (p >= in.size())
        return 0;
    const char v = in[p];
    if ((s & 0x04) && p + 1 < in.size() && v == '\r')
        return in[p + 1] == '\n' ? 2 : ((s & 0x02) ? 1 : 0);
    if (v == '\n')
        return (s & 0x01) ? 1 : 0;
    if (v == '\r')
        return (s & 0x02) ? 1 : 0;
    if (v == '\v')
        return (s & 0x10) ? 1 : 0;
    if (v == '\f')
        return (s & 0x30) ? 1 : 0;
    return 0;
}

std::string nlText(PB_INT nlf)
{
    switch (nlf) {
    case 0x01: return "\n";
    case 0x02: return "\r";
    case 0x04: return "\r\n";
    case 0x10: return "\v";
    case 0x20: return "\f";
    default: return "";
    }
}

int hexValue(char c, bool small)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (small && c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// The rules, one byte at a time, with appends and a search-free trailing
// white-space count.
std::optional<std::string> reference(const std::string &in, PB_INT s, PB_INT nOut, PB_INT flags, PB_INT m)
{
    const bool translate = s != 0 && nOut != 0;
    const std::string nl = nlText(nOut);
    std::string out;
    PB_INT line = 0;
    std::size_t trailing = 0;
    int end = 0; // 0 data, 1 hard, 2 soft
    std::size_t i = 0;
    while (i < in.size()) {
        const unsigned char v = static_cast<unsigned char>(in[i]);
        end = 0;
        if ((v >= 33 && v <= 126 && v != '=') || v == ' ' || v == '\t') {
            out += char(v);
            ++line;
            trailing = (v == ' ' || v == '\t') ? trailing + 1 : 0;
            ++i;
        } else if (std::size_t k = translate ? breakAt(in, i, s) : 0) {
            out.resize(out.size() - trailing);
            out += nl;
            i += k;
            line = 0;
            trailing = 0;
            end = 1;
            continue;
        } else if (v == '=') {
            if (std::size_t k = breakAt(in, i + 1, s)) {
                if (m != -1 && line >= m)
                    return std::nullopt;
                i += 1 + k;
                line = 0;
                trailing = 0;
                end = 2;
                continue;
            }
            const bool small = flags & 0x02;
            if (i + 2 < in.size() && hexValue(in[i + 1], small) >= 0 && hexValue(in[i + 2], small) >= 0) {
                out += char(hexValue(in[i + 1], small) << 4 | hexValue(in[i + 2], small));
                line += 3;
                i += 3;
            } else if (flags & 0x04) {
                out += '=';
                line += 1;
                i += 1;
            } else {
                return std::nullopt;
            }
            trailing = 0;
        } else if (v > 126) {
            if (!(flags & 0x10))
                return std::nullopt;
            ++i;
        } else {
            if (!(flags & 0x08))
                return std::nullopt;
            ++i;
        }
        if (m != -1 && line > m)
            return std::nullopt;
    }
    if (end == 0 && translate) {
        out.resize(out.size() - trailing);
        if (flags & 0x20)
            out += nl;
    } else if (end == 2 && translate && (flags & 0x20)) {
        out += nl;
    }
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
    const PB_INT inputNlf = data[0];
    const PB_INT flags = data[2] & 0x3F;
    const PB_INT maxLine = data[3] < 4 ? -1 : data[3];
    const std::string input(reinterpret_cast<const char *>(data + 4), size - 4);

    pb::Ref<RFC_QUOP_OPTIONS> opt(rfcQuopOptionsCreate());
    rfcQuopOptionsSetDecodeInputNlf(opt.addr(), inputNlf);
    rfcQuopOptionsSetDecodeOutputNlf(opt.addr(), data[1]);
    rfcQuopOptionsSetFlags(opt.addr(), flags);
    if (maxLine == -1)
        rfcQuopOptionsDelDecodeMaxInputLineLength(opt.addr());
    else
        rfcQuopOptionsSetDecodeMaxInputLineLength(opt.addr(), maxLine);
    const PB_INT outputNlf = rfcQuopOptionsDecodeOutputNlf(opt.get());

    pb::Ref<PB_BUFFER> source(
        pbBufferCreateFromBytesCopy(reinterpret_cast<const PB_BYTE *>(input.data()), PB_INT(input.size())));
    pb::Ref<PB_BUFFER> decoded(rfcQuopTryDecodeWithOptions(source.get(), opt.get()));
    std::optional<std::string> expected = reference(input, inputNlf, outputNlf, flags, maxLine);
    if (bool(decoded) != expected.has_value())
        std::abort();
    if (decoded
        && std::string(reinterpret_cast<const char *>(pbBufferBacking(decoded.get())),
               std::size_t(pbBufferLength(decoded.get())))
            != *expected)
        std::abort();
    return 0;
}
