// Helpers of the NFKC tests: code point lists in the hex form of the data
// files, and one normalisation of a fresh string.
#ifndef RFC_NFKC_TEST_UTIL_H
#define RFC_NFKC_TEST_UTIL_H

#include <support/test_support.h>

#include <cstdio>
#include <sstream>
#include <string>

namespace nfkctest {

// "0041 030A" -> U+0041 U+030A, and back.
inline std::u32string parse(const std::string &hexList)
{
    std::u32string out;
    std::istringstream in(hexList);
    std::string item;
    while (in >> item)
        out.push_back(static_cast<char32_t>(std::stoul(item, nullptr, 16)));
    return out;
}

inline std::string format(const std::u32string &chars)
{
    std::string out;
    char item[16];
    for (char32_t c : chars) {
        std::snprintf(item, sizeof item, out.empty() ? "%04X" : " %04X", static_cast<unsigned>(c));
        out += item;
    }
    return out;
}

// The NFKC form of a hex list, through a string of its own, as a hex list.
inline std::string nfkc(const std::string &hexList)
{
    pb::Ref<PB_STRING> s = rfctest::string(parse(hexList));
    pbStringNormalize(s.addr(), PB_STRING_NORMALIZE_NFKC);
    return format(rfctest::chars(s.get()));
}

} // namespace nfkctest

#endif
