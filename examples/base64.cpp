// Base64 there and back through the C++ header: every reference is held by
// a corvanead::Ref, so nothing is released by hand. Prints
// aGVsbG8sIHdvcmxk and then hello, world.
#include <pb/pb.hpp>
#include <rfc/base/rfc_base.h>

#include <cstdio>
#include <string_view>

int main()
{
    corvanead::ModuleScope module(rfcModule());
    if (!module)
        return 1;

    auto data = corvanead::bufferFrom(std::string_view("hello, world"));
    auto text = corvanead::adopt(rfcBaseEncodeToString(data.get(), RFC_BASE_ENCODING_BASE64));
    std::printf("%s\n", corvanead::utf8(text.get()).c_str());

    auto back = corvanead::adopt(rfcBaseTryDecodeString(text.get(), RFC_BASE_ENCODING_BASE64));
    if (!back)
        return 1;
    auto bytes = corvanead::bytes(back.get());
    std::printf("%.*s\n", static_cast<int>(bytes.size()), reinterpret_cast<const char *>(bytes.data()));
    return 0;
}
