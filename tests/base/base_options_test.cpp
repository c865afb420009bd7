// Names of the encodings and flags, the options object (markers, the
// setters' normalisation, copy-on-write, order, store and restore), and the
// family's contract violations.
#include "base_test_util.h"

#include <rfc/crc/rfc_crc.h>

#include <gtest/gtest.h>

#include <functional>
#include <tuple>

namespace {

using namespace basetest;
using Options = pb::Ref<RFC_BASE_OPTIONS>;
using rfctest::string;
using rfctest::utf8;

TEST(BaseNames, EncodingsAndFlagsBothWays)
{
    const char *encodings[][2] = { { "RFC_BASE_ENCODING_BASE16", "base16" },
        { "RFC_BASE_ENCODING_BASE32", "base32" }, { "RFC_BASE_ENCODING_BASE32HEX", "base32hex" },
        { "RFC_BASE_ENCODING_BASE64", "base64" }, { "RFC_BASE_ENCODING_BASE64URL", "base64url" } };
    for (PB_INT e = 0; e <= 4; ++e) {
        pb::Ref<PB_STRING> enumerant(rfcBaseEncodingToString(e)), name(rfcBaseEncodingToRfc4648Name(e));
        EXPECT_EQ(utf8(enumerant.get()), encodings[e][0]);
        EXPECT_EQ(rfcBaseEncodingFromString(enumerant.get()), e);
        EXPECT_EQ(utf8(name.get()), encodings[e][1]);
        EXPECT_EQ(rfcBaseEncodingFromRfc4648Name(name.get()), e);
    }
    // Names are matched exactly: no case folding, no prefixes, no enumerants.
    for (const char *name : { "", "base65", "BASE64", "base64 ", "base", "RFC_BASE_ENCODING_BASE64" })
        EXPECT_EQ(rfcBaseEncodingFromRfc4648Name(string(name).get()), -1) << name;

    const char *flags[] = { "RFC_BASE_FLAG_ENCODE_OMIT_PADDING", "RFC_BASE_FLAG_ENCODE_ENSURE_TRAILING_NLF",
        "RFC_BASE_FLAG_DECODE_IGNORE_NLF", "RFC_BASE_FLAG_DECODE_IGNORE_WHITE_SPACE",
        "RFC_BASE_FLAG_DECODE_IGNORE_NON_ALPHABET", "RFC_BASE_FLAG_DECODE_IGNORE_PADDING",
        "RFC_BASE_FLAG_DECODE_ACCEPT_INVALID_PAD_BITS", "RFC_BASE_FLAG_DECODE_ACCEPT_INVALID_PADDING",
        "RFC_BASE_FLAG_DECODE_ACCEPT_INVALID_LENGTH" };
    for (int bit = 0; bit < 9; ++bit) {
        EXPECT_EQ(utf8(pb::Ref<PB_STRING>(rfcBaseFlagsToString(PB_INT(1) << bit)).get()), flags[bit]);
        EXPECT_EQ(rfcBaseFlagsFromString(string(flags[bit]).get()), PB_INT(1) << bit);
    }
    for (PB_INT f = 0; f <= ALL; ++f)
        ASSERT_EQ(rfcBaseFlagsFromString(pb::Ref<PB_STRING>(rfcBaseFlagsToString(f)).get()), f);
    // Undefined bits are dropped both ways.
    EXPECT_EQ(rfcBaseFlagsNormalize(-1), ALL);
    EXPECT_EQ(rfcBaseFlagsNormalize(0x304), 0x104);
    EXPECT_EQ(utf8(pb::Ref<PB_STRING>(rfcBaseFlagsToString(0x205)).get()),
        "RFC_BASE_FLAG_ENCODE_OMIT_PADDING, RFC_BASE_FLAG_DECODE_IGNORE_NLF");
}

TEST(BaseOptions, SetOutputNlfKeepsTheFirstWritableNewline)
{
    // Order LF, CR, CR LF, VT, FF; NEL (0x08), LS and PS (0x40, 0x80) are
    // never written.
    const std::pair<PB_INT, PB_INT> rows[] = { { 0x01, 0x01 }, { 0x02, 0x02 }, { 0x04, 0x04 }, { 0x10, 0x10 },
        { 0x20, 0x20 }, { 0x05, 0x01 }, { 0x06, 0x02 }, { 0x30, 0x10 }, { 0x08, 0 }, { 0xC0, 0 }, { 0x48, 0 },
        { 0x0C, 0x04 }, { 0, 0 } };
    for (const auto &[given, stored] : rows) {
        Options opt(rfcBaseOptionsCreate());
        rfcBaseOptionsSetOutputNlf(opt.addr(), given);
        EXPECT_EQ(rfcBaseOptionsOutputNlf(opt.get()), stored) << given;
        EXPECT_FALSE(rfcBaseOptionsOutputNlfDefault(opt.get()));
    }
}

struct StateRow {
    const char *what;
    std::function<void(RFC_BASE_OPTIONS **)> set;
    PB_INT flags, nlf, lineLength;
    bool flagsDefault, nlfDefault, lineLengthDefault;
};

// Settings applied to fresh options, and the values and default markers
// they leave.
const StateRow stateRows[] = {
    { "fresh", [](RFC_BASE_OPTIONS **) {}, 0, PB_NLF_FLAG_CRLF, -1, true, true, true },
    { "flags normalised", [](RFC_BASE_OPTIONS **o) { rfcBaseOptionsSetFlags(o, 0x3FF); }, ALL, PB_NLF_FLAG_CRLF, -1,
        false, true, true },
    { "explicit zero flags", [](RFC_BASE_OPTIONS **o) { rfcBaseOptionsSetFlags(o, 0); }, 0, PB_NLF_FLAG_CRLF, -1,
        false, true, true },
    { "flags back to default", [](RFC_BASE_OPTIONS **o) { rfcBaseOptionsSetFlags(o, 4), rfcBaseOptionsSetFlagsDefault(o); },
        0, PB_NLF_FLAG_CRLF, -1, true, true, true },
    { "FF", [](RFC_BASE_OPTIONS **o) { rfcBaseOptionsSetOutputNlf(o, PB_NLF_FLAG_FF); }, 0, PB_NLF_FLAG_FF, -1, true,
        false, true },
    { "no newline", [](RFC_BASE_OPTIONS **o) { rfcBaseOptionsSetOutputNlf(o, 0); }, 0, 0, -1, true, false, true },
    { "newline back to default",
        [](RFC_BASE_OPTIONS **o) { rfcBaseOptionsSetOutputNlf(o, 1), rfcBaseOptionsSetOutputNlfDefault(o); }, 0,
        PB_NLF_FLAG_CRLF, -1, true, true, true },
    { "line length 76", [](RFC_BASE_OPTIONS **o) { rfcBaseOptionsSetOutputLineLength(o, 76); }, 0, PB_NLF_FLAG_CRLF,
        76, true, true, false },
    { "deleted line length is explicit", [](RFC_BASE_OPTIONS **o) { rfcBaseOptionsDelOutputLineLength(o); }, 0,
        PB_NLF_FLAG_CRLF, -1, true, true, false },
    { "line length back to default",
        [](RFC_BASE_OPTIONS **o) { rfcBaseOptionsSetOutputLineLength(o, 7), rfcBaseOptionsSetOutputLineLengthDefault(o); },
        0, PB_NLF_FLAG_CRLF, -1, true, true, true },
    { "all", [](RFC_BASE_OPTIONS **o) {
         rfcBaseOptionsSetFlags(o, 0x83), rfcBaseOptionsSetOutputNlf(o, PB_NLF_FLAG_CR);
         rfcBaseOptionsSetOutputLineLength(o, 1);
     }, 0x83, PB_NLF_FLAG_CR, 1, false, false, false },
};

// Each row: the state it leaves; the setters change an unshared object in
// place and copy a shared one first; store and restore bring it back.
TEST(BaseOptions, SettersMarkersCopyOnWriteAndStore)
{
    for (const StateRow &row : stateRows) {
        SCOPED_TRACE(row.what);
        Options opt(rfcBaseOptionsCreate());
        RFC_BASE_OPTIONS *unshared = opt.get();
        row.set(opt.addr());
        EXPECT_EQ(opt.get(), unshared);
        EXPECT_EQ(rfcBaseOptionsFlags(opt.get()), row.flags);
        EXPECT_EQ(rfcBaseOptionsOutputNlf(opt.get()), row.nlf);
        EXPECT_EQ(rfcBaseOptionsOutputLineLength(opt.get()), row.lineLength);
        EXPECT_EQ(rfcBaseOptionsHasOutputLineLength(opt.get()), row.lineLength != -1);
        EXPECT_EQ(rfcBaseOptionsFlagsDefault(opt.get()), row.flagsDefault);
        EXPECT_EQ(rfcBaseOptionsOutputNlfDefault(opt.get()), row.nlfDefault);
        EXPECT_EQ(rfcBaseOptionsOutputLineLengthDefault(opt.get()), row.lineLengthDefault);

        Options mine = options(8, PB_NLF_FLAG_VT, 3);
        Options other(rfcBaseOptionsRetain(mine.get()));
        Options before(rfcBaseOptionsCreateFrom(mine.get()));
        row.set(mine.addr());
        EXPECT_EQ(mine.get() != other.get(), row.what != std::string("fresh"));
        EXPECT_EQ(pbObjRefCount(rfcBaseOptionsObj(other.get())), row.what != std::string("fresh") ? 1 : 2);
        EXPECT_TRUE(rfcBaseOptionsEquals(other.get(), before.get())) << "the other holder saw the change";

        pb::Ref<PB_STORE> store(rfcBaseOptionsStore(opt.get(), PB_FALSE));
        EXPECT_EQ(pbStoreLength(store.get()), 3 - row.flagsDefault - row.nlfDefault - row.lineLengthDefault);
        EXPECT_TRUE(rfcBaseOptionsEquals(Options(rfcBaseOptionsRestore(store.get())).get(), opt.get()));
        // A full store brings every value back with its marker cleared.
        pb::Ref<PB_STORE> full(rfcBaseOptionsStore(opt.get(), PB_TRUE));
        EXPECT_EQ(pbStoreLength(full.get()), 3);
        Options fromFull(rfcBaseOptionsRestore(full.get()));
        Options expected = options(row.flags, row.nlf);
        if (row.lineLength == -1)
            rfcBaseOptionsDelOutputLineLength(expected.addr());
        else
            rfcBaseOptionsSetOutputLineLength(expected.addr(), row.lineLength);
        EXPECT_TRUE(rfcBaseOptionsEquals(fromFull.get(), expected.get()));
    }
}

// Options order by their fields in turn, each marker before its value,
// false before true, values as signed numbers: the order of the tuples.
TEST(BaseOptions, CompareGoesFieldByFieldMarkerFirst)
{
    auto key = [](const StateRow &r) {
        return std::tuple(r.flagsDefault, r.flags, r.nlfDefault, r.nlf, r.lineLengthDefault, r.lineLength);
    };
    for (const StateRow &a : stateRows) {
        for (const StateRow &b : stateRows) {
            Options x(rfcBaseOptionsCreate()), y(rfcBaseOptionsCreate());
            a.set(x.addr());
            b.set(y.addr());
            EXPECT_EQ(rfcBaseOptionsCompare(x.get(), y.get()), key(a) < key(b) ? -1 : key(b) < key(a) ? 1 : 0)
                << a.what << " against " << b.what;
            EXPECT_EQ(rfcBaseOptionsEquals(x.get(), y.get()), key(a) == key(b));
        }
    }
}

TEST(BaseOptions, RestoreReadsOnlyValidValues)
{
    // outputLineLength: at least 1 is set, -1 is an explicit absence, 0 and
    // below -1 are ignored.
    const std::tuple<PB_INT, PB_INT, bool> rows[] = {
        { 76, 76, false }, { 1, 1, false }, { -1, -1, false }, { 0, -1, true }, { -2, -1, true } };
    for (const auto &[stored, lineLength, marker] : rows) {
        pb::Ref<PB_STORE> store(pbStoreCreate());
        pbStoreSetValueIntCstr(store.addr(), "outputLineLength", -1, stored);
        Options opt(rfcBaseOptionsRestore(store.get()));
        EXPECT_EQ(rfcBaseOptionsOutputLineLength(opt.get()), lineLength) << stored;
        EXPECT_EQ(rfcBaseOptionsOutputLineLengthDefault(opt.get()), marker) << stored;
        EXPECT_TRUE(rfcBaseOptionsFlagsDefault(opt.get()) && rfcBaseOptionsOutputNlfDefault(opt.get()));
    }
    // Keys of the wrong kind are not read; unknown names are dropped.
    pb::Ref<PB_STORE> store(pbStoreCreate());
    pbStoreSetValueIntCstr(store.addr(), "flags", -1, 4);
    pbStoreSetValueCstr(store.addr(), "outputLineLength", -1, string("76").get());
    pbStoreSetValueCstr(store.addr(), "outputNlf", -1, string("PB_NLF_FLAG_NEL, PB_NLF_FLAG_VT").get());
    Options opt(rfcBaseOptionsRestore(store.get()));
    EXPECT_TRUE(rfcBaseOptionsFlagsDefault(opt.get()));
    EXPECT_TRUE(rfcBaseOptionsOutputLineLengthDefault(opt.get()));
    EXPECT_EQ(rfcBaseOptionsOutputNlf(opt.get()), PB_NLF_FLAG_VT) << "NEL is dropped, VT kept";
    pb::Ref<PB_STORE> unknown(pbStoreCreate());
    pbStoreSetValueCstr(unknown.addr(), "flags", -1, string("NO_SUCH_FLAG RFC_BASE_FLAG_DECODE_IGNORE_PADDING").get());
    pbStoreSetValueCstr(unknown.addr(), "outputNlf", -1, string("PB_NLF_FLAG_NEL").get());
    Options fromUnknown(rfcBaseOptionsRestore(unknown.get()));
    EXPECT_EQ(rfcBaseOptionsFlags(fromUnknown.get()), IGNORE_PADDING);
    EXPECT_EQ(rfcBaseOptionsOutputNlf(fromUnknown.get()), 0);
    EXPECT_FALSE(rfcBaseOptionsOutputNlfDefault(fromUnknown.get()));
}

using BaseDeathTest = testing::Test;

TEST_F(BaseDeathTest, ContractViolations)
{
    pb::Ref<PB_BUFFER> empty(pbBufferCreate());
    EXPECT_DEATH(pb::Ref<PB_BUFFER>(rfcBaseEncode(empty.get(), 5)),
        "source/rfc/base/rfc_base_encode:[0-9]+: contract violation: RFC_BASE_ENCODING_OK\\( encoding \\)");
    EXPECT_DEATH(pb::Ref<PB_BUFFER>(rfcBaseTryDecode(empty.get(), -1)),
        "source/rfc/base/rfc_base_decode:[0-9]+: contract violation: RFC_BASE_ENCODING_OK\\( encoding \\)");
    EXPECT_DEATH(pb::Ref<PB_BUFFER>(rfcBaseTryDecodeWithOptions(empty.get(), B64, nullptr)),
        "rfc_base_decode:[0-9]+: contract violation: opt");
    EXPECT_DEATH(rfcBaseEncodingToRfc4648Name(5),
        "source/rfc/base/rfc_base_encoding:[0-9]+: contract violation: RFC_BASE_ENCODING_OK\\( encoding \\)");
    EXPECT_DEATH(rfcBaseOptionsSetOutputLineLength(options(0).addr(), 0),
        "source/rfc/base/rfc_base_options:[0-9]+: contract violation: lineLength >= 1");
    EXPECT_DEATH(
        {
            RFC_BASE_OPTIONS *none = nullptr;
            rfcBaseOptionsSetFlagsDefault(&none);
        },
        "contract violation: \\*opt");
    EXPECT_DEATH(rfcBaseOptionsFrom(rfcCrcObj(pb::Ref<RFC_CRC>(rfcCrcCreate(RFC_CRC_ALGORITHM_CRC32_C)).get())),
        "\\[stdfunc from\\] source/rfc/base/rfc_base_options:[0-9]+: contract violation: "
        "!obj \\|\\| pbObjSort\\(obj\\)==&rfc___sort_RFC_BASE_OPTIONS");
}

} // namespace
