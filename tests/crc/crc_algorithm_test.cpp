// The catalogue of named algorithms and their names.
#include "support/test_support.h"

#include <rfc/crc/rfc_crc.h>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

struct Row {
    PB_INT alg;
    const char *name;
    std::uint64_t check; // over "123456789", from the published catalogue
    std::uint64_t empty; // over no bytes: init (mirrored when refout) XOR xorout
};

// The published check values; the empty values follow from each model.
const Row catalogue[] = {
    { RFC_CRC_ALGORITHM_CRC8, "RFC_CRC_ALGORITHM_CRC8", 0xF4, 0 },
    { RFC_CRC_ALGORITHM_CRC8_DARC, "RFC_CRC_ALGORITHM_CRC8_DARC", 0x15, 0 },
    { RFC_CRC_ALGORITHM_CRC8_ICODE, "RFC_CRC_ALGORITHM_CRC8_ICODE", 0x7E, 0xFD },
    { RFC_CRC_ALGORITHM_CRC8_ITU, "RFC_CRC_ALGORITHM_CRC8_ITU", 0xA1, 0x55 },
    { RFC_CRC_ALGORITHM_CRC8_ROHC, "RFC_CRC_ALGORITHM_CRC8_ROHC", 0xD0, 0xFF },
    { RFC_CRC_ALGORITHM_CRC16_IBM, "RFC_CRC_ALGORITHM_CRC16_IBM", 0xBB3D, 0 },
    { RFC_CRC_ALGORITHM_CRC16_CCITT, "RFC_CRC_ALGORITHM_CRC16_CCITT", 0x2189, 0 },
    { RFC_CRC_ALGORITHM_CRC16_CCITT_FALSE, "RFC_CRC_ALGORITHM_CRC16_CCITT_FALSE", 0x29B1, 0xFFFF },
    { RFC_CRC_ALGORITHM_CRC16_DARC, "RFC_CRC_ALGORITHM_CRC16_DARC", 0xD64E, 0 },
    { RFC_CRC_ALGORITHM_CRC16_DECT_R, "RFC_CRC_ALGORITHM_CRC16_DECT_R", 0x007E, 0x0001 },
    { RFC_CRC_ALGORITHM_CRC16_DECT_X, "RFC_CRC_ALGORITHM_CRC16_DECT_X", 0x007F, 0 },
    { RFC_CRC_ALGORITHM_CRC16_X25, "RFC_CRC_ALGORITHM_CRC16_X25", 0x906E, 0 },
    { RFC_CRC_ALGORITHM_CRC16_XMODEM, "RFC_CRC_ALGORITHM_CRC16_XMODEM", 0x31C3, 0 },
    { RFC_CRC_ALGORITHM_CRC32_ADCCP, "RFC_CRC_ALGORITHM_CRC32_ADCCP", 0xCBF43926, 0 },
    { RFC_CRC_ALGORITHM_CRC32_BZIP2, "RFC_CRC_ALGORITHM_CRC32_BZIP2", 0xFC891918, 0 },
    { RFC_CRC_ALGORITHM_CRC32_C, "RFC_CRC_ALGORITHM_CRC32_C", 0xE3069283, 0 },
    { RFC_CRC_ALGORITHM_CRC32_D, "RFC_CRC_ALGORITHM_CRC32_D", 0x87315576, 0 },
    { RFC_CRC_ALGORITHM_CRC32_MPEG2, "RFC_CRC_ALGORITHM_CRC32_MPEG2", 0x0376E6E7, 0xFFFFFFFF },
    { RFC_CRC_ALGORITHM_CRC32_POSIX, "RFC_CRC_ALGORITHM_CRC32_POSIX", 0x765E7680, 0xFFFFFFFF },
};

TEST(CrcAlgorithm, CheckEmptyValuesAndNames)
{
    static_assert(std::size(catalogue) == RFC_CRC_ALGORITHM_COUNT);
    auto digits = rfctest::buffer("123456789");
    auto empty = rfctest::buffer("");
    for (const Row &row : catalogue) {
        EXPECT_EQ(std::uint64_t(rfcCrc(row.alg, digits.get())), row.check) << row.name;
        EXPECT_EQ(std::uint64_t(rfcCrc(row.alg, empty.get())), row.empty) << row.name;
        pb::Ref<PB_STRING> name(rfcCrcAlgorithmToString(row.alg));
        EXPECT_EQ(rfctest::utf8(name.get()), row.name);
        EXPECT_EQ(rfcCrcAlgorithmFromString(name.get()), row.alg);
    }
}

// Each algorithm's parameters and published name are those of the row with
// that name in the published catalogue, and the parameters given to the
// engine reproduce the check value.
TEST(CrcAlgorithm, ModelsAndPublishedNamesMatchThePublishedCatalogue)
{
    std::map<std::string, std::vector<std::string>> published;
    for (auto &row : rfctest::readTsv("crc/reveng_catalogue.tsv"))
        published[row[0]] = row;
    auto digits = rfctest::buffer("123456789");
    auto hex = [](const std::string &text) { return PB_INT(std::stoull(text, nullptr, 16)); };
    for (const Row &row : catalogue) {
        pb::Ref<PB_STRING> name(rfcCrcAlgorithmToPublishedName(row.alg));
        auto found = published.find(rfctest::utf8(name.get()));
        ASSERT_NE(found, published.end()) << row.name << " is published as " << rfctest::utf8(name.get());
        const auto &p = found->second;
        RFC_CRC_MODEL model = rfcCrcAlgorithmModel(row.alg);
        EXPECT_EQ(model.width, std::stoll(p[1])) << row.name;
        EXPECT_EQ(model.poly, hex(p[2])) << row.name;
        EXPECT_EQ(model.init, hex(p[3])) << row.name;
        EXPECT_EQ(model.reflectIn, p[4] == "true") << row.name;
        EXPECT_EQ(model.reflectOut, p[5] == "true") << row.name;
        EXPECT_EQ(model.xorOut, hex(p[6])) << row.name;
        EXPECT_EQ(model.check, hex(p[7])) << row.name;
        EXPECT_EQ(rfcCrcWithModel(model.width, model.poly, model.init, model.xorOut, model.reflectIn, model.reflectOut,
                      digits.get()),
            model.check)
            << row.name;
    }
}

TEST(CrcAlgorithm, UnknownNamesGiveMinusOne)
{
    for (const char *text : { "", "CRC32", "rfc_crc_algorithm_crc8", "RFC_CRC_ALGORITHM_CRC8 ", "RFC_CRC_ALGORITHM_CRC64" }) {
        auto name = rfctest::string(std::string_view(text));
        EXPECT_EQ(rfcCrcAlgorithmFromString(name.get()), -1) << '"' << text << '"';
    }
}

TEST(CrcAlgorithmDeath, ValuesOutsideTheCatalogue)
{
    EXPECT_DEATH(rfcCrcAlgorithmToString(19), "RFC_CRC_ALGORITHM_OK\\( alg \\)");
    EXPECT_DEATH(rfcCrcAlgorithmModel(-1), "RFC_CRC_ALGORITHM_OK\\( alg \\)");
    EXPECT_DEATH(rfcCrcCreate(-1), "source/rfc/crc/rfc_crc:[0-9]+: contract violation");
    EXPECT_DEATH(rfcCrcAlgorithmFromString(nullptr), "source/rfc/crc/rfc_crc_algorithm:[0-9]+: contract violation: pbs");
}

} // namespace
