// Helpers of the base-encoding tests: encoding and decoding standard
// strings through the C API, releasing every runtime object on the way.
#ifndef RFC_BASE_TEST_UTIL_H
#define RFC_BASE_TEST_UTIL_H

#include <rfc/base/rfc_base.h>

#include "support/test_support.h"

#include <optional>
#include <string>
#include <string_view>

namespace basetest {

// The encoding value of an RFC 4648 name used in the data files.
inline PB_INT encodingNamed(const std::string &name)
{
    pb::Ref<PB_STRING> text(rfctest::string(name));
    return rfcBaseEncodingFromRfc4648Name(text.get());
}

inline std::string encode(std::string_view bytes, PB_INT encoding, RFC_BASE_OPTIONS *opt)
{
    pb::Ref<PB_BUFFER> source(rfctest::buffer(bytes));
    pb::Ref<PB_BUFFER> text(rfcBaseEncodeWithOptions(source.get(), encoding, opt));
    return rfctest::bytes(text.get());
}

inline std::string encode(std::string_view bytes, PB_INT encoding)
{
    pb::Ref<PB_BUFFER> source(rfctest::buffer(bytes));
    pb::Ref<PB_BUFFER> text(rfcBaseEncode(source.get(), encoding));
    return rfctest::bytes(text.get());
}

// Options with the given flags, output newline and line length (-1: none).
inline pb::Ref<RFC_BASE_OPTIONS> options(PB_INT flags, PB_INT nlf = PB_NLF_FLAG_CRLF, PB_INT lineLength = -1)
{
    pb::Ref<RFC_BASE_OPTIONS> opt(rfcBaseOptionsCreate());
    rfcBaseOptionsSetFlags(opt.addr(), flags);
    rfcBaseOptionsSetOutputNlf(opt.addr(), nlf);
    if (lineLength != -1)
        rfcBaseOptionsSetOutputLineLength(opt.addr(), lineLength);
    return opt;
}

// The decoded bytes, or nullopt when the decoder answers null.
inline std::optional<std::string> decode(std::string_view text, PB_INT encoding, PB_INT flags = 0)
{
    pb::Ref<PB_BUFFER> source(rfctest::buffer(text));
    pb::Ref<PB_BUFFER> result(rfcBaseTryDecodeWithFlags(source.get(), encoding, flags));
    if (!result)
        return std::nullopt;
    return rfctest::bytes(result.get());
}

} // namespace basetest

#endif
