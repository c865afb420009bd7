// The textbook bit-serial CRC, one message bit at a time, written apart from
// the engine: the oracle the engine's paths are checked against.
#ifndef RFC_CRC_REFERENCE_H
#define RFC_CRC_REFERENCE_H

#include <rfc/crc/rfc_crc.h>

#include <cstdint>
#include <string_view>

namespace rfctest::crc {

struct Model {
    PB_INT width, poly, init, xorOut;
    bool reflectIn, reflectOut;
};

// The check value of the model over data: each message bit (lowest first
// when reflectIn) decides with the register's top bit whether poly goes in.
inline std::uint64_t bitSerial(const Model &m, std::string_view data)
{
    const std::uint64_t mask = m.width == 64 ? ~0ull : (1ull << m.width) - 1;
    std::uint64_t reg = std::uint64_t(m.init);
    for (unsigned char byte : data) {
        for (int i = 0; i < 8; ++i) {
            unsigned bit = m.reflectIn ? (byte >> i) & 1 : (byte >> (7 - i)) & 1;
            unsigned top = unsigned(reg >> (m.width - 1)) & 1;
            reg = (reg << 1) & mask;
            if (top ^ bit)
                reg ^= std::uint64_t(m.poly);
        }
    }
    if (m.reflectOut) {
        std::uint64_t mirrored = 0;
        for (PB_INT i = 0; i < m.width; ++i)
            mirrored |= ((reg >> i) & 1) << (m.width - 1 - i);
        reg = mirrored;
    }
    return reg ^ std::uint64_t(m.xorOut);
}

} // namespace rfctest::crc

#endif
