// The quoted-printable options object: seven settings, each a marker that is
// true while the setting holds its default and a value. Its functions are
// made from the table of its settings (rfc_settings_internal.h).
#include "rfc_quop.h"

#include "../rfc_settings_internal.h"

namespace {

using rfc::settings::Kind;

// The settings, in the object's field order.
enum : std::size_t {
    kFlags,
    kEncodeInputNlf,
    kEncodeOutputNlf,
    kEncodeOutputLineLength,
    kDecodeInputNlf,
    kDecodeOutputNlf,
    kDecodeMaxInputLineLength,
};

constexpr rfc::settings::Family<7> kQuopSettings = {
    .fields = {
        { .key = "flags", .kind = Kind::kFlags, .defaultValue = 0 },
        { .key = "encodeInputNlf", .kind = Kind::kInputNlf, .defaultValue = rfc::nlf::kDefault },
        { .key = "encodeOutputNlf", .kind = Kind::kOutputNlf, .defaultValue = rfc::nlf::kDefault },
        // RFC 2045's limit, "=" included.
        { .key = "encodeOutputLineLength", .kind = Kind::kLength, .defaultValue = 76, .minimum = 1,
            .rangeCondition = "lineLength >= 1" },
        { .key = "decodeInputNlf", .kind = Kind::kInputNlf, .defaultValue = rfc::nlf::kDefault },
        { .key = "decodeOutputNlf", .kind = Kind::kOutputNlf, .defaultValue = rfc::nlf::kDefault },
        // At least room for one escape and a soft break.
        { .key = "decodeMaxInputLineLength", .kind = Kind::kLength, .defaultValue = rfc::settings::kNone, .minimum = 4,
            .rangeCondition = "maxInputLineLength >= 4" },
    },
    .keepFlags = nullptr, // stored as given, undefined bits included
    .flagsToString = rfcQuopFlagsToString,
    .flagsFromString = rfcQuopFlagsFromString,
};

} // namespace

struct RFC_QUOP_OPTIONS {
    PB___OBJ_HEADER header;
    rfc::settings::Setting settings[kQuopSettings.size];
};

namespace {

using Ops = rfc::settings::Object<RFC_QUOP_OPTIONS, kQuopSettings>;

} // namespace

RFC___DEFINE_OPTIONS(rfcQuopOptions, RFC_QUOP_OPTIONS, rfc___sort_RFC_QUOP_OPTIONS, "RFC_QUOP_OPTIONS",
    rfc___QuopOptionsCompFunc, Ops);
RFC___DEFINE_SETTING(rfcQuopOptions, RFC_QUOP_OPTIONS, Ops, Flags, kFlags);
RFC___DEFINE_SETTING(rfcQuopOptions, RFC_QUOP_OPTIONS, Ops, EncodeInputNlf, kEncodeInputNlf);
RFC___DEFINE_SETTING(rfcQuopOptions, RFC_QUOP_OPTIONS, Ops, EncodeOutputNlf, kEncodeOutputNlf);
RFC___DEFINE_SETTING(rfcQuopOptions, RFC_QUOP_OPTIONS, Ops, EncodeOutputLineLength, kEncodeOutputLineLength);
RFC___DEFINE_LENGTH_SETTING(rfcQuopOptions, RFC_QUOP_OPTIONS, Ops, EncodeOutputLineLength, kEncodeOutputLineLength);
RFC___DEFINE_SETTING(rfcQuopOptions, RFC_QUOP_OPTIONS, Ops, DecodeInputNlf, kDecodeInputNlf);
RFC___DEFINE_SETTING(rfcQuopOptions, RFC_QUOP_OPTIONS, Ops, DecodeOutputNlf, kDecodeOutputNlf);
RFC___DEFINE_SETTING(rfcQuopOptions, RFC_QUOP_OPTIONS, Ops, DecodeMaxInputLineLength, kDecodeMaxInputLineLength);
RFC___DEFINE_LENGTH_SETTING(rfcQuopOptions, RFC_QUOP_OPTIONS, Ops, DecodeMaxInputLineLength, kDecodeMaxInputLineLength);
