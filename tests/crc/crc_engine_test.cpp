// The CRC engine: published check values for every model of widths 8 to 64,
// independent check values from Python, the feeding functions against each
// other, and the contract of finalisation.
#include "crc_reference.h"
#include "support/test_support.h"

#include <rfc/crc/rfc_crc.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <algorithm>
#include <cstring>

namespace {

using rfctest::buffer;

const std::string digits = "123456789";

PB_INT pattern(const std::string &hex)
{
    return PB_INT(std::strtoull(hex.c_str(), nullptr, 16));
}

using rfctest::crc::Model;
using rfctest::crc::bitSerial;

PB_INT checkOf(const Model &m, const std::string &data)
{
    auto bytes = buffer(data);
    return rfcCrcWithModel(m.width, m.poly, m.init, m.xorOut, m.reflectIn, m.reflectOut, bytes.get());
}

// Every published catalogue model of width 8 to 64 reproduces its check.
TEST(CrcEngine, PublishedCatalogueCheckValues)
{
    auto rows = rfctest::readTsv("crc/reveng_catalogue.tsv");
    ASSERT_GE(rows.size(), 90u);
    for (const auto &row : rows) {
        ASSERT_EQ(row.size(), 9u);
        Model m { std::atoll(row[1].c_str()), pattern(row[2]), pattern(row[3]), pattern(row[6]), row[4] == "true",
            row[5] == "true" };
        EXPECT_EQ(checkOf(m, digits), pattern(row[7])) << row[0];
    }
}

// Models whose values the engine's own rule fixes, including width-64
// patterns with bit 63 set and a model reflecting output only; with nothing
// fed the value is init (mirrored when the output is reflected) XOR xorOut.
TEST(CrcEngine, ModelsOfUnusualShape)
{
    struct Row {
        Model model;
        std::string data;
        std::uint64_t check;
        const char *what;
    } rows[] = {
        { { 64, PB_INT(0x42F0E1EBA9EA3693), 0, 0, false, false }, digits, 0x6C40DF5F0B497347u, "CRC-64/ECMA-182" },
        { { 64, PB_INT(0x42F0E1EBA9EA3693), -1, -1, true, true }, digits, 0x995DC9BBDF1939FAu, "CRC-64/XZ, negative" },
        { { 24, 0x864CFB, 0xB704CE, 0, false, false }, digits, 0x21CF02, "CRC-24/OPENPGP" },
        { { 12, 0x80F, 0, 0, false, true }, digits, 0xDAF, "CRC-12/UMTS: output reflected only" },
        { { 10, 0x233, 0, 0, false, false }, digits, 0x199, "CRC-10/ATM" },
        { { 32, 0x04C11DB7, 0xFFFFFFFF, 0xFFFFFFFF, true, true }, "", 0, "empty: init XOR xorOut" },
        { { 16, 0x1021, 0x0001, 0, false, true }, "", 0x8000, "empty: init mirrored" },
        { { 12, 0x80F, 0x00F, 0x001, true, false }, "", 0x00E, "empty: input reflection does not apply" },
        { { 64, 1, 1, 0, false, true }, "", std::uint64_t(PB_INT_MIN), "empty: bit 0 mirrored to bit 63" },
    };
    for (const Row &row : rows)
        EXPECT_EQ(std::uint64_t(checkOf(row.model, row.data)), row.check) << row.what;
}

// Every width from 8 to 64 with random parameters: the whole buffer, the
// Leading/Inner/Trailing split, byte-by-byte feeding and Outer around a cut
// all agree with feeding the same bytes in one call.
TEST(CrcEngine, FeedingFunctionsAgree)
{
    std::string data = rfctest::randomBytes(300, 7);
    auto whole = buffer(data);
    for (PB_INT width = 8; width <= 64; ++width) {
        std::uint64_t mask = width == 64 ? ~0ull : (1ull << width) - 1;
        std::string seed = rfctest::randomBytes(24, unsigned(width));
        std::uint64_t words[3];
        std::memcpy(words, seed.data(), sizeof words);
        Model m { width, PB_INT(words[0] & mask), PB_INT(words[1] & mask), PB_INT(words[2] & mask), width % 2 == 0,
            width % 3 == 0 };
        auto create = [&] { return pb::Ref<RFC_CRC>(rfcCrcCreateWithModel(m.width, m.poly, m.init, m.xorOut, m.reflectIn, m.reflectOut)); };
        PB_INT expected = checkOf(m, data);

        auto split = create();
        rfcCrcUpdateLeading(split.get(), whole.get(), 17);
        rfcCrcUpdateInner(split.get(), whole.get(), 17, 200);
        rfcCrcUpdateTrailing(split.get(), whole.get(), 83);
        EXPECT_EQ(rfcCrcFinal(split.get()), expected) << "width " << width;

        auto single = create();
        for (unsigned char c : data)
            rfcCrcUpdateByte(single.get(), c);
        EXPECT_EQ(rfcCrcFinal(single.get()), expected) << "width " << width;

        auto outer = create();
        rfcCrcUpdateOuter(outer.get(), whole.get(), 40, 100);
        EXPECT_EQ(rfcCrcFinal(outer.get()), checkOf(m, data.substr(0, 40) + data.substr(140))) << "width " << width;
    }
}

// Long inputs fed in uneven pieces: every width and both reflections agree
// with the bit-serial oracle.
TEST(CrcEngine, LongInputsAgreeWithBitSerialOracle)
{
    std::string data = rfctest::randomBytes(5000, 11);
    const PB_INT pieces[] = { 1, 63, 64, 65, 127, 128, 200, 1000 };
    for (PB_INT width = 8; width <= 64; ++width) {
        for (int reflect = 0; reflect < 4; ++reflect) {
            std::uint64_t mask = width == 64 ? ~0ull : (1ull << width) - 1;
            std::string seed = rfctest::randomBytes(24, unsigned(width * 4 + reflect));
            std::uint64_t words[3];
            std::memcpy(words, seed.data(), sizeof words);
            Model m { width, PB_INT((words[0] & mask) | 1), PB_INT(words[1] & mask), PB_INT(words[2] & mask),
                (reflect & 1) != 0, (reflect & 2) != 0 };
            pb::Ref<RFC_CRC> crc(rfcCrcCreateWithModel(m.width, m.poly, m.init, m.xorOut, m.reflectIn, m.reflectOut));
            std::size_t at = 0;
            for (std::size_t i = 0; at < data.size(); ++i) {
                std::size_t n = std::min<std::size_t>(std::size_t(pieces[i % std::size(pieces)]), data.size() - at);
                rfcCrcUpdateBytes(crc.get(), data.data() + at, PB_INT(n));
                at += n;
            }
            EXPECT_EQ(std::uint64_t(rfcCrcFinal(crc.get())), bitSerial(m, data))
                << "width " << width << " reflect " << reflect;
        }
    }
}

// Outer around the whole buffer or none of it; Byte takes the low eight
// bits; null data with a zero count changes nothing.
TEST(CrcEngine, EdgesOfTheFeedingFunctions)
{
    auto data = buffer(digits);
    auto all = pb::Ref<RFC_CRC>(rfcCrcCreate(RFC_CRC_ALGORITHM_CRC32_C));
    rfcCrcUpdateOuter(all.get(), data.get(), 0, 0);
    EXPECT_EQ(rfcCrcFinal(all.get()), 0xE3069283);
    auto none = pb::Ref<RFC_CRC>(rfcCrcCreate(RFC_CRC_ALGORITHM_CRC32_C));
    rfcCrcUpdateOuter(none.get(), data.get(), 0, 9);
    EXPECT_EQ(rfcCrcFinal(none.get()), rfcCrc(RFC_CRC_ALGORITHM_CRC32_C, buffer("").get()));

    auto wide = pb::Ref<RFC_CRC>(rfcCrcCreate(RFC_CRC_ALGORITHM_CRC32_ADCCP));
    rfcCrcUpdateByte(wide.get(), 0x1FF);
    rfcCrcUpdateByte(wide.get(), -0xFF); // low eight bits 0x01
    EXPECT_EQ(rfcCrcFinal(wide.get()), checkOf({ 32, 0x04C11DB7, 0xFFFFFFFF, 0xFFFFFFFF, true, true }, "\xff\x01"));

    auto crc = pb::Ref<RFC_CRC>(rfcCrcCreate(RFC_CRC_ALGORITHM_CRC16_X25));
    rfcCrcUpdateBytes(crc.get(), nullptr, 0);
    rfcCrcUpdateBytes(crc.get(), digits.data(), 9);
    rfcCrcUpdateBytes(crc.get(), nullptr, 0);
    EXPECT_EQ(rfcCrcFinal(crc.get()), 0x906E);
}

// Python's binascii on random inputs of many lengths.
TEST(CrcEngine, AgreesWithPython)
{
    auto rows = rfctest::readTsv("crc/python_vectors.tsv");
    ASSERT_EQ(rows.size(), 30u);
    for (const auto &row : rows) {
        auto name = rfctest::string(row[0]);
        auto data = buffer(rfctest::unhex(row[1]));
        EXPECT_EQ(rfcCrc(rfcCrcAlgorithmFromString(name.get()), data.get()), pattern(row[2]))
            << row[0] << " over " << row[1].size() / 2 << " bytes";
    }
}

TEST(CrcEngineDeath, FinalisedObjectTakesNothing)
{
    auto crc = pb::Ref<RFC_CRC>(rfcCrcCreate(RFC_CRC_ALGORITHM_CRC8));
    rfcCrcFinal(crc.get());
    EXPECT_DEATH(rfcCrcFinal(crc.get()), "source/rfc/crc/rfc_crc:[0-9]+: contract violation: !crc->final");
    EXPECT_DEATH(rfcCrcUpdateBytes(crc.get(), nullptr, 0), "!crc->final");
    auto data = buffer("x");
    // The wrapper's own argument checks come first.
    EXPECT_DEATH(rfcCrcUpdateLeading(crc.get(), data.get(), 2), "pbBufferLength\\( data \\) >= byteCount");
}

TEST(CrcEngineDeath, ModelOutOfRange)
{
    EXPECT_DEATH(rfcCrcCreateWithModel(65, 0, 0, 0, 0, 0), "width >= 8 && width <= 64");
    EXPECT_DEATH(rfcCrcCreateWithModel(8, 0x107, 0, 0, 0, 0), "pbIntBitHighest\\( poly \\) < width");
    EXPECT_DEATH(rfcCrcCreateWithModel(32, 0, PB_INT(1) << 32, 0, 0, 0), "pbIntBitHighest\\( init \\) < width");
    EXPECT_DEATH(rfcCrcCreateWithModel(63, 0, 0, -1, 0, 0), "pbIntBitHighest\\( xorOut \\) < width");
}

TEST(CrcEngineDeath, RangesAndPointers)
{
    auto crc = pb::Ref<RFC_CRC>(rfcCrcCreate(RFC_CRC_ALGORITHM_CRC8));
    auto data = buffer(digits);
    EXPECT_DEATH(rfcCrcUpdateBytes(crc.get(), nullptr, 1), "data \\|\\| !byteCount");
    EXPECT_DEATH(rfcCrcUpdateInner(crc.get(), data.get(), 5, 5), "pbBufferLength\\( data \\) >= byteOffset \\+ byteCount");
    EXPECT_DEATH(rfcCrcUpdateOuter(crc.get(), data.get(), 1, PB_INT_MAX), "PB_INT_ADD_OK\\( byteOffset, byteCount \\)");
    EXPECT_DEATH(rfcCrcUpdate(crc.get(), nullptr), "contract violation: data\n");
}

} // namespace
