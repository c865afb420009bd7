// rfc crc: check values of files by a named algorithm or by any model.
#include "rfc_cli.h"

#include <rfc/crc/rfc_crc.h>

#include <cinttypes>
#include <cstring>

namespace {

constexpr const char *command = "crc";

struct ModelArgs {
    PB_INT width = 0, poly = 0, init = 0, xorOut = 0;
    bool reflectIn = false, reflectOut = false;
};

// Upper case without '-', '_' and '/': "crc-32/iscsi" and "CRC32_ISCSI" agree.
std::string squeezed(const std::string &name)
{
    std::string out;
    for (char c : name)
        if (c != '-' && c != '_' && c != '/')
            out += char(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

// Everyday names of catalogued algorithms.
struct Alias {
    const char *name;
    PB_INT alg;
};
constexpr Alias aliases[] = {
    { "CRC-32", RFC_CRC_ALGORITHM_CRC32_ADCCP },
    { "CRC-32C", RFC_CRC_ALGORITHM_CRC32_C },
    { "CKSUM", RFC_CRC_ALGORITHM_CRC32_POSIX },
    { "X-25", RFC_CRC_ALGORITHM_CRC16_X25 },
};

// The algorithm named by text: its enumerant name exactly; or, in any case
// and with '-', '_' and '/' ignored, the enumerant name without its
// "RFC_CRC_ALGORITHM_" prefix, the published catalogue name or an everyday
// alias. -1 when none matches.
PB_INT findAlgorithm(const std::string &text)
{
    rfccli::Held<PB_STRING> name(pbStringCreateFromCstr(text.c_str(), -1));
    PB_INT alg = rfcCrcAlgorithmFromString(name.get());
    if (alg >= 0)
        return alg;
    std::string wanted = squeezed(text);
    for (PB_INT i = 0; RFC_CRC_ALGORITHM_OK(i); ++i) {
        rfccli::Held<PB_STRING> enumerant(rfcCrcAlgorithmToString(i));
        rfccli::Held<PB_STRING> published(rfcCrcAlgorithmToPublishedName(i));
        if (squeezed(rfccli::utf8(enumerant.get()).substr(std::strlen("RFC_CRC_ALGORITHM_"))) == wanted
            || squeezed(rfccli::utf8(published.get())) == wanted)
            return i;
    }
    for (const Alias &alias : aliases)
        if (squeezed(alias.name) == wanted)
            return alias.alg;
    return -1;
}

bool parseBool(const std::string &text, bool &value)
{
    if (text == "true" || text == "1" || text == "yes") {
        value = true;
        return true;
    }
    if (text == "false" || text == "0" || text == "no") {
        value = false;
        return true;
    }
    return false;
}

// A 64-bit pattern in hex (0x prefix optional) or decimal with a 0d prefix.
bool parsePattern(const std::string &text, PB_INT &value)
{
    std::string digits = text;
    int base = 16;
    if (digits.rfind("0x", 0) == 0 || digits.rfind("0X", 0) == 0)
        digits = digits.substr(2);
    if (digits.empty() || digits.size() > 16 || digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        return false;
    value = PB_INT(std::strtoull(digits.c_str(), nullptr, base));
    return true;
}

// "width=32,poly=04c11db7,init=ffffffff,xorout=ffffffff,refin=true,refout=true"
// (the published catalogues' notation). Every key is required.
bool parseModel(const std::string &text, ModelArgs &model, std::string &error)
{
    const char *keys[] = { "width", "poly", "init", "xorout", "refin", "refout" };
    bool seen[6] = {};
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find_first_of(", ", start);
        std::string item = text.substr(start, end - start);
        start = end == std::string::npos ? text.size() + 1 : end + 1;
        if (item.empty())
            continue;
        std::size_t eq = item.find('=');
        std::string key = item.substr(0, eq);
        std::string value = eq == std::string::npos ? "" : item.substr(eq + 1);
        int which = -1;
        for (int k = 0; k < 6; ++k)
            if (key == keys[k])
                which = k;
        if (which < 0) {
            error = "unknown model parameter \"" + key + "\" (expected width, poly, init, xorout, refin, refout)";
            return false;
        }
        bool ok = which == 0 ? rfccli::parseInt(value, model.width, PB_INT_MIN, PB_INT_MAX)
            : which == 1     ? parsePattern(value, model.poly)
            : which == 2     ? parsePattern(value, model.init)
            : which == 3     ? parsePattern(value, model.xorOut)
            : which == 4     ? parseBool(value, model.reflectIn)
                             : parseBool(value, model.reflectOut);
        if (!ok) {
            error = "model parameter " + key + " has the invalid value \"" + value + "\"";
            return false;
        }
        seen[which] = true;
    }
    for (int k = 0; k < 6; ++k) {
        if (!seen[k]) {
            error = std::string("the model lacks ") + keys[k];
            return false;
        }
    }
    if (model.width < 8 || model.width > 64) {
        error = "width " + std::to_string(model.width) + " is outside 8 to 64";
        return false;
    }
    const char *names[] = { "poly", "init", "xorout" };
    PB_INT values[] = { model.poly, model.init, model.xorOut };
    for (int k = 0; k < 3; ++k) {
        if (pbIntBitHighest(values[k]) >= model.width) {
            error = std::string(names[k]) + " does not fit in " + std::to_string(model.width) + " bits";
            return false;
        }
    }
    return true;
}

std::string hexValue(PB_INT value, PB_INT width)
{
    char text[32];
    std::snprintf(text, sizeof text, "%0*" PRIX64, int((width + 3) / 4), std::uint64_t(value));
    return text;
}

void listCatalogue()
{
    static const char digits[] = "123456789";
    rfccli::Held<PB_BUFFER> check(pbBufferCreateFromBytesCopy(reinterpret_cast<const PB_BYTE *>(digits), 9));
    char line[256];
    std::snprintf(line, sizeof line, "%-37s %-20s %5s %-16s %-16s %-16s %-5s %-6s %s\n", "name", "published as",
        "width", "poly", "init", "xorout", "refin", "refout", "check");
    rfccli::writeOut(std::string(line));
    for (PB_INT alg = 0; RFC_CRC_ALGORITHM_OK(alg); ++alg) {
        RFC_CRC_MODEL model = rfcCrcAlgorithmModel(alg);
        rfccli::Held<PB_STRING> name(rfcCrcAlgorithmToString(alg));
        rfccli::Held<PB_STRING> published(rfcCrcAlgorithmToPublishedName(alg));
        std::snprintf(line, sizeof line, "%-37s %-20s %5" PRId64 " %-16s %-16s %-16s %-5s %-6s %s\n", rfccli::utf8(name.get()).c_str(),
            rfccli::utf8(published.get()).c_str(), model.width, hexValue(model.poly, model.width).c_str(),
            hexValue(model.init, model.width).c_str(), hexValue(model.xorOut, model.width).c_str(),
            model.reflectIn ? "true" : "false", model.reflectOut ? "true" : "false",
            hexValue(rfcCrc(alg, check.get()), model.width).c_str());
        rfccli::writeOut(std::string(line));
    }
}

constexpr const char *help =
    "Prints one line per FILE (standard input when none is named or for -): the check\n"
    "value in hex, two spaces, the file name.\n"
    "  -a, --algorithm NAME  a catalogued algorithm (default CRC-32, value 13):\n"
    "                        RFC_CRC_ALGORITHM_CRC32_C, CRC32_C or CRC-32/ISCSI alike\n"
    "  -m, --model MODEL     width=W,poly=P,init=I,xorout=X,refin=B,refout=B (hex\n"
    "                        values, width 8 to 64)\n"
    "  -l, --list            the catalogue with each check value\n";

int runCrc(const std::vector<std::string> &args)
{
    PB_INT alg = RFC_CRC_ALGORITHM_CRC32_ADCCP;
    ModelArgs model;
    bool useModel = false;
    std::vector<std::string> files;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string &arg = args[i];
        if (arg == "-l" || arg == "--list") {
            listCatalogue();
            return 0;
        } else if (arg == "-a" || arg == "--algorithm" || arg == "-m" || arg == "--model") {
            if (i + 1 == args.size())
                return rfccli::usageError(command, arg + " needs a value");
            const std::string &value = args[++i];
            if (arg == "-a" || arg == "--algorithm") {
                alg = findAlgorithm(value);
                if (alg < 0)
                    return rfccli::usageError(command, "unknown algorithm \"" + value + "\" (rfc crc --list shows them)");
                useModel = false;
            } else {
                std::string error;
                if (!parseModel(value, model, error))
                    return rfccli::usageError(command, error);
                useModel = true;
            }
        } else if (arg.size() > 1 && arg[0] == '-' && arg != "--") {
            return rfccli::usageError(command, "unknown option \"" + arg + "\"");
        } else if (arg == "--") {
            files.insert(files.end(), args.begin() + PB_INT(i) + 1, args.end());
            break;
        } else {
            files.push_back(arg);
        }
    }
    if (files.empty())
        files.push_back("-");

    PB_INT width = useModel ? model.width : rfcCrcAlgorithmModel(alg).width;
    int status = 0;
    for (const std::string &path : files) {
        rfccli::Held<RFC_CRC> crc(useModel ? rfcCrcCreateWithModel(model.width, model.poly, model.init, model.xorOut,
                                            model.reflectIn, model.reflectOut)
                                      : rfcCrcCreate(alg));
        std::string error;
        auto feed = [&](const PB_BYTE *bytes, std::size_t count) {
            rfcCrcUpdateBytes(crc.get(), bytes, PB_INT(count));
            return true;
        };
        if (!rfccli::readChunks(path, feed, error)) {
            rfccli::complain(command, error);
            status = 1;
            continue;
        }
        rfccli::writeOut(hexValue(rfcCrcFinal(crc.get()), width) + "  " + path + "\n");
    }
    return status;
}

rfccli::Registration registration { { command, "crc [-a NAME | -m MODEL | --list] [FILE...]",
    "CRC check values of files", help, runCrc } };

} // namespace
