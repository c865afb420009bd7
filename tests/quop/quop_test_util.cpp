#include "quop_test_util.h"

#include "support/test_support.h"

namespace quoptest {

pb::Ref<RFC_QUOP_OPTIONS> encodeOptions(const Settings &settings)
{
    pb::Ref<RFC_QUOP_OPTIONS> opt(rfcQuopOptionsCreate());
    rfcQuopOptionsSetEncodeInputNlf(opt.addr(), settings.inputNlf);
    rfcQuopOptionsSetEncodeOutputNlf(opt.addr(), settings.outputNlf);
    if (settings.lineLength == noLimit)
        rfcQuopOptionsDelEncodeOutputLineLength(opt.addr());
    else
        rfcQuopOptionsSetEncodeOutputLineLength(opt.addr(), settings.lineLength);
    rfcQuopOptionsSetFlags(opt.addr(), settings.flags);
    return opt;
}

pb::Ref<RFC_QUOP_OPTIONS> decodeOptions(const Settings &settings)
{
    pb::Ref<RFC_QUOP_OPTIONS> opt(rfcQuopOptionsCreate());
    rfcQuopOptionsSetDecodeInputNlf(opt.addr(), settings.inputNlf);
    rfcQuopOptionsSetDecodeOutputNlf(opt.addr(), settings.outputNlf);
    if (settings.lineLength == noLimit)
        rfcQuopOptionsDelDecodeMaxInputLineLength(opt.addr());
    else
        rfcQuopOptionsSetDecodeMaxInputLineLength(opt.addr(), settings.lineLength);
    rfcQuopOptionsSetFlags(opt.addr(), settings.flags);
    return opt;
}

std::string encode(const std::string &input, const Settings &settings)
{
    pb::Ref<RFC_QUOP_OPTIONS> opt = encodeOptions(settings);
    pb::Ref<PB_BUFFER> source = rfctest::buffer(input);
    pb::Ref<PB_BUFFER> encoded(rfcQuopEncodeWithOptions(source.get(), opt.get()));
    return rfctest::bytes(encoded.get());
}

std::optional<std::string> decode(const std::string &input, const Settings &settings)
{
    pb::Ref<RFC_QUOP_OPTIONS> opt = decodeOptions(settings);
    pb::Ref<PB_BUFFER> source = rfctest::buffer(input);
    pb::Ref<PB_BUFFER> decoded(rfcQuopTryDecodeWithOptions(source.get(), opt.get()));
    if (!decoded)
        return std::nullopt;
    return rfctest::bytes(decoded.get());
}

} // namespace quoptest
