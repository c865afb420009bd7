#include "stringprep_support.h"

#include <cstdlib>
#include <cstdio>

namespace sptest {

std::u32string parseChars(std::string_view hex)
{
    std::u32string out;
    std::size_t i = 0;
    while (i < hex.size()) {
        if (hex[i] == ' ') {
            ++i;
            continue;
        }
        std::size_t end = hex.find(' ', i);
        if (end == std::string_view::npos)
            end = hex.size();
        out.push_back(static_cast<char32_t>(std::strtoul(std::string(hex.substr(i, end - i)).c_str(), nullptr, 16)));
        i = end;
    }
    return out;
}

std::string formatChars(std::u32string_view chars)
{
    std::string out;
    char text[16];
    for (char32_t c : chars) {
        std::snprintf(text, sizeof text, "%s%04X", out.empty() ? "" : " ", static_cast<unsigned>(c));
        out += text;
    }
    return out;
}

std::u32string one(char32_t c)
{
    return std::u32string(1, c);
}

namespace {

PB_STRING *nodeprep(PB_STRING *s, PB_BOOL) { return rfcStringprepProfileNodeprep(s); }
PB_STRING *policyMib(PB_STRING *s, PB_BOOL) { return rfcStringprepProfilePolicyMib(s); }
PB_STRING *resourceprep(PB_STRING *s, PB_BOOL) { return rfcStringprepProfileResourceprep(s); }
PB_STRING *saslprep(PB_STRING *s, PB_BOOL) { return rfcStringprepProfileSaslprep(s); }
PB_STRING *trace(PB_STRING *s, PB_BOOL) { return rfcStringprepProfileTrace(s); }

} // namespace

Profile profileByName(std::string_view name)
{
    if (name == "iscsi")
        return rfcStringprepProfileIscsi;
    if (name == "nameprep")
        return rfcStringprepProfileNameprep;
    if (name == "nodeprep")
        return nodeprep;
    if (name == "policy-mib")
        return policyMib;
    if (name == "resourceprep")
        return resourceprep;
    if (name == "saslprep")
        return saslprep;
    if (name == "trace")
        return trace;
    return nullptr;
}

} // namespace sptest
