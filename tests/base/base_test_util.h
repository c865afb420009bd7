// Helpers of the base-encoding tests: every entry point of the encoder and
// the decoder, compared with each other, releasing every runtime object.
#ifndef RFC_BASE_TEST_UTIL_H
#define RFC_BASE_TEST_UTIL_H

#include <rfc/base/rfc_base.h>

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>

namespace basetest {

constexpr PB_INT B16 = RFC_BASE_ENCODING_BASE16;
constexpr PB_INT B32 = RFC_BASE_ENCODING_BASE32;
constexpr PB_INT B32H = RFC_BASE_ENCODING_BASE32HEX;
constexpr PB_INT B64 = RFC_BASE_ENCODING_BASE64;
constexpr PB_INT B64U = RFC_BASE_ENCODING_BASE64URL;
constexpr PB_INT OMIT = RFC_BASE_FLAG_ENCODE_OMIT_PADDING;
constexpr PB_INT TRAIL = RFC_BASE_FLAG_ENCODE_ENSURE_TRAILING_NLF;
constexpr PB_INT NLF = RFC_BASE_FLAG_DECODE_IGNORE_NLF;
constexpr PB_INT WS = RFC_BASE_FLAG_DECODE_IGNORE_WHITE_SPACE;
constexpr PB_INT NON_ALPHABET = RFC_BASE_FLAG_DECODE_IGNORE_NON_ALPHABET;
constexpr PB_INT IGNORE_PADDING = RFC_BASE_FLAG_DECODE_IGNORE_PADDING;
constexpr PB_INT PAD_BITS = RFC_BASE_FLAG_DECODE_ACCEPT_INVALID_PAD_BITS;
constexpr PB_INT INVALID_PADDING = RFC_BASE_FLAG_DECODE_ACCEPT_INVALID_PADDING;
constexpr PB_INT INVALID_LENGTH = RFC_BASE_FLAG_DECODE_ACCEPT_INVALID_LENGTH;
constexpr PB_INT ALL = 0x1FF;

// The encoding value of an RFC 4648 name used in the data files.
inline PB_INT encodingNamed(const std::string &name)
{
    return rfcBaseEncodingFromRfc4648Name(rfctest::string(name).get());
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

// The text of the bytes, by rfcBaseEncode when opt is null and by
// rfcBaseEncodeWithOptions otherwise; the string form must agree.
inline std::string encode(std::string_view bytes, PB_INT encoding, RFC_BASE_OPTIONS *opt = nullptr)
{
    pb::Ref<PB_BUFFER> source(rfctest::buffer(bytes));
    pb::Ref<PB_BUFFER> text(opt ? rfcBaseEncodeWithOptions(source.get(), encoding, opt)
                                : rfcBaseEncode(source.get(), encoding));
    pb::Ref<PB_STRING> string(opt ? rfcBaseEncodeToStringWithOptions(source.get(), encoding, opt)
                                  : rfcBaseEncodeToString(source.get(), encoding));
    std::string result = rfctest::bytes(text.get());
    EXPECT_EQ(rfctest::utf8(string.get()), result) << "string form";
    EXPECT_EQ(rfctest::bytes(source.get()), bytes) << "the source is borrowed, never changed";
    return result;
}

// The decoded bytes, or nullopt when the decoder answers null. The text is
// also given as a string of the code points U+0000..U+00FF its bytes stand
// for; flags also as options and, when 0, to the plain forms: all answers
// must agree.
inline std::optional<std::string> decode(std::string_view text, PB_INT encoding, PB_INT flags = 0)
{
    pb::Ref<PB_BUFFER> source(rfctest::buffer(text));
    std::u32string latin1;
    for (unsigned char c : text)
        latin1 += char32_t(c);
    pb::Ref<PB_STRING> string(rfctest::string(latin1));
    pb::Ref<RFC_BASE_OPTIONS> opt = options(flags);
    pb::Ref<PB_BUFFER> result(rfcBaseTryDecodeWithFlags(source.get(), encoding, flags));
    std::optional<std::string> bytes;
    if (result)
        bytes = rfctest::bytes(result.get());
    auto same = [&](PB_BUFFER *other, const char *form) {
        pb::Ref<PB_BUFFER> held(other);
        EXPECT_EQ(held ? std::optional<std::string>(rfctest::bytes(held.get())) : std::nullopt, bytes) << form;
    };
    same(rfcBaseTryDecodeWithOptions(source.get(), encoding, opt.get()), "with options");
    same(rfcBaseTryDecodeStringWithFlags(string.get(), encoding, flags), "string with flags");
    same(rfcBaseTryDecodeStringWithOptions(string.get(), encoding, opt.get()), "string with options");
    if (flags == 0) {
        same(rfcBaseTryDecode(source.get(), encoding), "plain");
        same(rfcBaseTryDecodeString(string.get(), encoding), "plain string");
    }
    EXPECT_EQ(rfctest::bytes(source.get()), text) << "the source is borrowed, never changed";
    return bytes;
}

} // namespace basetest

#endif
