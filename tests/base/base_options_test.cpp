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

    // Every flag's name, in bit order; each combination reads back.
    EXPECT_EQ(utf8(pb::Ref<PB_STRING>(rfcBaseFlagsToString(ALL)).get()),
        "RFC_BASE_FLAG_ENCODE_OMIT_PADDING, RFC_BASE_FLAG_ENCODE_ENSURE_TRAILING_NLF, "
        "RFC_BASE_FLAG_DECODE_IGNORE_NLF, RFC_BASE_FLAG_DECODE_IGNORE_WHITE_SPACE, "
        "RFC_BASE_FLAG_DECODE_IGNORE_NON_ALPHABET, RFC_BASE_FLAG_DECODE_IGNORE_PADDING, "
        "RFC_BASE_FLAG_DECODE_ACCEPT_INVALID_PAD_BITS, RFC_BASE_FLAG_DECODE_ACCEPT_INVALID_PADDING, "
        "RFC_BASE_FLAG_DECODE_ACCEPT_INVALID_LENGTH");
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
    // never written. Each kind alone is written by the wrapping test.
    const std::pair<PB_INT, PB_INT> rows[] = { { 0x05, 0x01 }, { 0x06, 0x02 }, { 0x30, 0x10 }, { 0x0C, 0x04 },
        { 0x28, 0x20 }, { 0x08, 0 }, { 0xC0, 0 }, { 0x48, 0 }, { 0, 0 } };
    for (const auto &[given, stored] : rows) {
        Options opt(rfcBaseOptionsCreate());
        rfcBaseOptionsSetOutputNlf(opt.addr(), given);
        EXPECT_EQ(rfcBaseOptionsOutputNlf(opt.get()), stored) << given;
        EXPECT_FALSE(rfcBaseOptionsOutputNlfDefault(opt.get()));
    }
}

// The flags, newline and line length, each after its default marker: the
// order in which options compare.
using State = std::tuple<bool, PB_INT, bool, PB_INT, bool, PB_INT>;

State stateOf(RFC_BASE_OPTIONS *o)
{
    return { rfcBaseOptionsFlagsDefault(o) != 0, rfcBaseOptionsFlags(o), rfcBaseOptionsOutputNlfDefault(o) != 0,
        rfcBaseOptionsOutputNlf(o), rfcBaseOptionsOutputLineLengthDefault(o) != 0, rfcBaseOptionsOutputLineLength(o) };
}

struct StateRow {
    const char *what;
    std::function<void(RFC_BASE_OPTIONS **)> set;
    State state;
};

constexpr PB_INT CRLF = PB_NLF_FLAG_CRLF;

// Settings applied to fresh options, and the state they leave.
const StateRow stateRows[] = {
    { "fresh", nullptr, { true, 0, true, CRLF, true, -1 } },
    { "flags normalised", [](RFC_BASE_OPTIONS **o) { rfcBaseOptionsSetFlags(o, 0x3FF); },
        { false, ALL, true, CRLF, true, -1 } },
    { "explicit zero flags", [](RFC_BASE_OPTIONS **o) { rfcBaseOptionsSetFlags(o, 0); },
        { false, 0, true, CRLF, true, -1 } },
    { "flags back to default", [](RFC_BASE_OPTIONS **o) { rfcBaseOptionsSetFlags(o, 4), rfcBaseOptionsSetFlagsDefault(o); },
        { true, 0, true, CRLF, true, -1 } },
    { "FF", [](RFC_BASE_OPTIONS **o) { rfcBaseOptionsSetOutputNlf(o, PB_NLF_FLAG_FF); },
        { true, 0, false, PB_NLF_FLAG_FF, true, -1 } },
    { "no newline", [](RFC_BASE_OPTIONS **o) { rfcBaseOptionsSetOutputNlf(o, 0); }, { true, 0, false, 0, true, -1 } },
    { "newline back to default",
        [](RFC_BASE_OPTIONS **o) { rfcBaseOptionsSetOutputNlf(o, 1), rfcBaseOptionsSetOutputNlfDefault(o); },
        { true, 0, true, CRLF, true, -1 } },
    { "line length 76", [](RFC_BASE_OPTIONS **o) { rfcBaseOptionsSetOutputLineLength(o, 76); },
        { true, 0, true, CRLF, false, 76 } },
    { "deleted line length is explicit", [](RFC_BASE_OPTIONS **o) { rfcBaseOptionsDelOutputLineLength(o); },
        { true, 0, true, CRLF, false, -1 } },
    { "line length back to default",
        [](RFC_BASE_OPTIONS **o) { rfcBaseOptionsSetOutputLineLength(o, 7), rfcBaseOptionsSetOutputLineLengthDefault(o); },
        { true, 0, true, CRLF, true, -1 } },
    { "all", [](RFC_BASE_OPTIONS **o) {
         rfcBaseOptionsSetFlags(o, 0x83), rfcBaseOptionsSetOutputNlf(o, PB_NLF_FLAG_CR);
         rfcBaseOptionsSetOutputLineLength(o, 1);
     }, { false, 0x83, false, PB_NLF_FLAG_CR, false, 1 } },
};

Options made(const StateRow &row, Options opt = Options(rfcBaseOptionsCreate()))
{
    if (row.set)
        row.set(opt.addr());
    return opt;
}

// Each row: the state it leaves; the setters change an unshared object in
// place and copy a shared one first; store and restore bring it back, a
// full store with every marker cleared.
TEST(BaseOptions, SettersMarkersCopyOnWriteAndStore)
{
    for (const StateRow &row : stateRows) {
        SCOPED_TRACE(row.what);
        Options opt(rfcBaseOptionsCreate());
        RFC_BASE_OPTIONS *unshared = opt.get();
        opt = made(row, std::move(opt));
        EXPECT_EQ(opt.get(), unshared);
        EXPECT_EQ(stateOf(opt.get()), row.state);
        EXPECT_EQ(rfcBaseOptionsHasOutputLineLength(opt.get()), std::get<5>(row.state) != -1);

        Options shared = options(8, PB_NLF_FLAG_VT, 3);
        Options other(rfcBaseOptionsRetain(shared.get()));
        Options mine = made(row, Options(rfcBaseOptionsRetain(shared.get())));
        EXPECT_EQ(mine.get() != other.get(), row.set != nullptr);
        EXPECT_EQ(stateOf(other.get()), State(false, 8, false, PB_NLF_FLAG_VT, false, 3)) << "the other holder saw it";

        pb::Ref<PB_STORE> store(rfcBaseOptionsStore(opt.get(), PB_FALSE));
        auto [flagsDefault, flags, nlfDefault, nlf, lineLengthDefault, lineLength] = row.state;
        EXPECT_EQ(pbStoreLength(store.get()), 3 - flagsDefault - nlfDefault - lineLengthDefault);
        EXPECT_EQ(stateOf(Options(rfcBaseOptionsRestore(store.get())).get()), row.state);
        pb::Ref<PB_STORE> full(rfcBaseOptionsStore(opt.get(), PB_TRUE));
        EXPECT_EQ(stateOf(Options(rfcBaseOptionsRestore(full.get())).get()),
            State(false, flags, false, nlf, false, lineLength));
    }
}

// Options order by their fields in turn, each marker before its value,
// false before true, values as signed numbers: the order of the tuples.
TEST(BaseOptions, CompareGoesFieldByFieldMarkerFirst)
{
    for (const StateRow &a : stateRows) {
        for (const StateRow &b : stateRows) {
            Options x = made(a), y = made(b);
            EXPECT_EQ(rfcBaseOptionsCompare(x.get(), y.get()), a.state < b.state ? -1 : b.state < a.state ? 1 : 0)
                << a.what << " against " << b.what;
            EXPECT_EQ(rfcBaseOptionsEquals(x.get(), y.get()), a.state == b.state);
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
        EXPECT_EQ(stateOf(Options(rfcBaseOptionsRestore(store.get())).get()),
            State(true, 0, true, CRLF, marker, lineLength));
    }
    // Keys of the wrong kind are not read; unknown names are dropped.
    pb::Ref<PB_STORE> store(pbStoreCreate());
    pbStoreSetValueIntCstr(store.addr(), "flags", -1, 4);
    pbStoreSetValueCstr(store.addr(), "outputLineLength", -1, string("76").get());
    pbStoreSetValueCstr(store.addr(), "outputNlf", -1, string("PB_NLF_FLAG_NEL, PB_NLF_FLAG_VT").get());
    EXPECT_EQ(stateOf(Options(rfcBaseOptionsRestore(store.get())).get()),
        State(true, 0, false, PB_NLF_FLAG_VT, true, -1));
    pb::Ref<PB_STORE> unknown(pbStoreCreate());
    pbStoreSetValueCstr(unknown.addr(), "flags", -1, string("NO_SUCH_FLAG RFC_BASE_FLAG_DECODE_IGNORE_PADDING").get());
    pbStoreSetValueCstr(unknown.addr(), "outputNlf", -1, string("PB_NLF_FLAG_NEL").get());
    EXPECT_EQ(stateOf(Options(rfcBaseOptionsRestore(unknown.get())).get()), State(false, IGNORE_PADDING, false, 0, true, -1));
}

using BaseDeathTest = testing::Test;

TEST_F(BaseDeathTest, ContractViolations)
{
    pb::Ref<PB_BUFFER> empty(pbBufferCreate());
    EXPECT_DEATH(pb::Ref<PB_BUFFER>(rfcBaseEncode(empty.get(), 5)),
        "source/rfc/base/rfc_base_encode:[0-9]+: contract violation: RFC_BASE_ENCODING_OK\\( encoding \\)");
    EXPECT_DEATH(pb::Ref<PB_BUFFER>(rfcBaseTryDecode(empty.get(), -1)),
        "source/rfc/base/rfc_base_decode:[0-9]+: contract violation: RFC_BASE_ENCODING_OK\\( encoding \\)");
    EXPECT_DEATH(rfcBaseOptionsSetOutputLineLength(options(0).addr(), 0),
        "source/rfc/base/rfc_base_options:[0-9]+: contract violation: lineLength >= 1");
    RFC_BASE_OPTIONS *none = nullptr;
    EXPECT_DEATH(rfcBaseOptionsSetFlagsDefault(&none), "rfc_base_options:[0-9]+: contract violation: \\*opt");
    EXPECT_DEATH(rfcBaseOptionsFrom(rfcCrcObj(pb::Ref<RFC_CRC>(rfcCrcCreate(RFC_CRC_ALGORITHM_CRC32_C)).get())),
        "\\[stdfunc from\\] source/rfc/base/rfc_base_options:[0-9]+: contract violation: "
        "!obj \\|\\| pbObjSort\\(obj\\)==&rfc___sort_RFC_BASE_OPTIONS");
}

} // namespace
