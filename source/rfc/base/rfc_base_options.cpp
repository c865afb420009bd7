// The options object of the base codecs: flags, output newline and output
// line length, each with a marker telling whether it holds its default. Its
// functions are made from the table of its settings (rfc_settings_internal.h).
#include "rfc_base_internal.h"

#include "../rfc_settings_internal.h"

namespace {

using rfc::settings::Kind;

// The settings, in the object's field order.
enum : std::size_t { kFlags, kOutputNlf, kOutputLineLength };

constexpr rfc::settings::Family<3> kBaseSettings = {
    .fields = {
        { .key = "flags", .kind = Kind::kFlags, .defaultValue = 0 },
        { .key = "outputNlf", .kind = Kind::kOutputNlf, .defaultValue = rfc::nlf::kDefault },
        { .key = "outputLineLength", .kind = Kind::kLength, .defaultValue = rfc::settings::kNone, .minimum = 1,
            .rangeCondition = "lineLength >= 1" },
    },
    .keepFlags = rfcBaseFlagsNormalize, // only the nine defined bits
    .flagsToString = rfcBaseFlagsToString,
    .flagsFromString = rfcBaseFlagsFromString,
};

} // namespace

struct RFC_BASE_OPTIONS {
    PB___OBJ_HEADER header;
    rfc::settings::Setting settings[kBaseSettings.size];
};

namespace {

using Ops = rfc::settings::Object<RFC_BASE_OPTIONS, kBaseSettings>;

} // namespace

rfc::base::Settings rfc::base::settingsOf(RFC_BASE_OPTIONS *opt) noexcept
{
    return Settings { opt->settings[kFlags].value, opt->settings[kOutputNlf].value,
        opt->settings[kOutputLineLength].value };
}

RFC___DEFINE_OPTIONS(rfcBaseOptions, RFC_BASE_OPTIONS, rfc___sort_RFC_BASE_OPTIONS, "RFC_BASE_OPTIONS",
    rfc___BaseOptionsCompFunc, Ops);
RFC___DEFINE_SETTING(rfcBaseOptions, RFC_BASE_OPTIONS, Ops, Flags, kFlags);
RFC___DEFINE_SETTING(rfcBaseOptions, RFC_BASE_OPTIONS, Ops, OutputNlf, kOutputNlf);
RFC___DEFINE_SETTING(rfcBaseOptions, RFC_BASE_OPTIONS, Ops, OutputLineLength, kOutputLineLength);
RFC___DEFINE_LENGTH_SETTING(rfcBaseOptions, RFC_BASE_OPTIONS, Ops, OutputLineLength, kOutputLineLength);
