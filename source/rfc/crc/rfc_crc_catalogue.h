// The models of the named CRC algorithms, indexed by algorithm value.
#ifndef RFC_CRC_CATALOGUE_H
#define RFC_CRC_CATALOGUE_H

#include "rfc_crc.h"

#include <array>
#include <cstdint>

namespace rfc::crc {

// A parameterised CRC model: poly in normal (most significant bit first)
// form without its top term x^width; init acts on the non-reflected
// register, xorOut after the output reflection.
struct Model {
    const char *name;
    PB_INT width;
    std::uint64_t poly;
    std::uint64_t init;
    std::uint64_t xorOut;
    bool reflectIn;
    bool reflectOut;
    std::uint64_t check;   // over the nine bytes "123456789"
    const char *published; // the name in the published CRC catalogues
};

inline constexpr std::array<Model, RFC_CRC_ALGORITHM_COUNT> catalogue { {
    { "RFC_CRC_ALGORITHM_CRC8", 8, 0x07, 0x00, 0x00, false, false, 0xF4, "CRC-8/SMBUS" },
    { "RFC_CRC_ALGORITHM_CRC8_DARC", 8, 0x39, 0x00, 0x00, true, true, 0x15, "CRC-8/DARC" },
    { "RFC_CRC_ALGORITHM_CRC8_ICODE", 8, 0x1D, 0xFD, 0x00, false, false, 0x7E, "CRC-8/I-CODE" },
    { "RFC_CRC_ALGORITHM_CRC8_ITU", 8, 0x07, 0x00, 0x55, false, false, 0xA1, "CRC-8/I-432-1" },
    { "RFC_CRC_ALGORITHM_CRC8_ROHC", 8, 0x07, 0xFF, 0x00, true, true, 0xD0, "CRC-8/ROHC" },
    { "RFC_CRC_ALGORITHM_CRC16_IBM", 16, 0x8005, 0x0000, 0x0000, true, true, 0xBB3D, "CRC-16/ARC" },
    { "RFC_CRC_ALGORITHM_CRC16_CCITT", 16, 0x1021, 0x0000, 0x0000, true, true, 0x2189, "CRC-16/KERMIT" },
    { "RFC_CRC_ALGORITHM_CRC16_CCITT_FALSE", 16, 0x1021, 0xFFFF, 0x0000, false, false, 0x29B1, "CRC-16/IBM-3740" },
    { "RFC_CRC_ALGORITHM_CRC16_DARC", 16, 0x1021, 0xFFFF, 0xFFFF, false, false, 0xD64E, "CRC-16/GENIBUS" },
    { "RFC_CRC_ALGORITHM_CRC16_DECT_R", 16, 0x0589, 0x0000, 0x0001, false, false, 0x007E, "CRC-16/DECT-R" },
    { "RFC_CRC_ALGORITHM_CRC16_DECT_X", 16, 0x0589, 0x0000, 0x0000, false, false, 0x007F, "CRC-16/DECT-X" },
    { "RFC_CRC_ALGORITHM_CRC16_X25", 16, 0x1021, 0xFFFF, 0xFFFF, true, true, 0x906E, "CRC-16/IBM-SDLC" },
    { "RFC_CRC_ALGORITHM_CRC16_XMODEM", 16, 0x1021, 0x0000, 0x0000, false, false, 0x31C3, "CRC-16/XMODEM" },
    { "RFC_CRC_ALGORITHM_CRC32_ADCCP", 32, 0x04C11DB7, 0xFFFFFFFF, 0xFFFFFFFF, true, true, 0xCBF43926, "CRC-32/ISO-HDLC" },
    { "RFC_CRC_ALGORITHM_CRC32_BZIP2", 32, 0x04C11DB7, 0xFFFFFFFF, 0xFFFFFFFF, false, false, 0xFC891918, "CRC-32/BZIP2" },
    { "RFC_CRC_ALGORITHM_CRC32_C", 32, 0x1EDC6F41, 0xFFFFFFFF, 0xFFFFFFFF, true, true, 0xE3069283, "CRC-32/ISCSI" },
    { "RFC_CRC_ALGORITHM_CRC32_D", 32, 0xA833982B, 0xFFFFFFFF, 0xFFFFFFFF, true, true, 0x87315576, "CRC-32/BASE91-D" },
    { "RFC_CRC_ALGORITHM_CRC32_MPEG2", 32, 0x04C11DB7, 0xFFFFFFFF, 0x00000000, false, false, 0x0376E6E7, "CRC-32/MPEG-2" },
    { "RFC_CRC_ALGORITHM_CRC32_POSIX", 32, 0x04C11DB7, 0x00000000, 0xFFFFFFFF, false, false, 0x765E7680, "CRC-32/CKSUM" },
} };

} // namespace rfc::crc

#endif
