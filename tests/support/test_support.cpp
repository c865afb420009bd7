#include "support/test_support.h"

#include <gtest/gtest.h>

#include <ctime>
#include <fstream>
#include <random>
#include <sstream>

namespace rfctest {

pb::Ref<PB_BUFFER> buffer(std::string_view bytes)
{
    return pb::Ref<PB_BUFFER>(pbBufferCreateFromBytesCopy(
        reinterpret_cast<const PB_BYTE *>(bytes.data()), PB_INT(bytes.size())));
}

std::string bytes(PB_BUFFER *buffer)
{
    return std::string(reinterpret_cast<const char *>(pbBufferBacking(buffer)),
        static_cast<std::size_t>(pbBufferLength(buffer)));
}

pb::Ref<PB_STRING> string(std::string_view utf8)
{
    return pb::Ref<PB_STRING>(pbStringCreateFromCstr(utf8.data(), PB_INT(utf8.size())));
}

pb::Ref<PB_STRING> string(std::u32string_view chars)
{
    return pb::Ref<PB_STRING>(pbStringCreateFromCharsCopy(
        reinterpret_cast<const PB_CHAR *>(chars.data()), PB_INT(chars.size())));
}

std::string utf8(PB_STRING *string)
{
    PB_INT length = 0;
    char *text = pbStringConvertToUtf8(string, &length);
    std::string result(text, static_cast<std::size_t>(length));
    pbMemFree(text);
    return result;
}

std::u32string chars(PB_STRING *string)
{
    const PB_CHAR *backing = pbStringBacking(string);
    return std::u32string(backing, backing + pbStringLength(string));
}

std::string unhex(std::string_view hex)
{
    std::string out;
    int high = -1;
    for (char c : hex) {
        if (c == ' ')
            continue;
        int digit = (c >= '0' && c <= '9') ? c - '0'
            : (c >= 'a' && c <= 'f')       ? c - 'a' + 10
            : (c >= 'A' && c <= 'F')       ? c - 'A' + 10
                                           : -1;
        if (digit < 0) {
            ADD_FAILURE() << "not a hex digit in \"" << hex << "\"";
            return out;
        }
        if (high < 0) {
            high = digit;
        } else {
            out += char(high * 16 + digit);
            high = -1;
        }
    }
    if (high >= 0)
        ADD_FAILURE() << "odd number of hex digits in \"" << hex << "\"";
    return out;
}

std::string hex(std::string_view bytes)
{
    static constexpr char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

std::vector<std::vector<std::string>> readTsv(const std::string &relativePath)
{
    std::vector<std::vector<std::string>> rows;
    std::string path = std::string(RFC_TEST_DATA_DIR) + "/" + relativePath;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        ADD_FAILURE() << "cannot open " << path;
        return rows;
    }
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        std::vector<std::string> fields;
        std::size_t start = 0;
        for (;;) {
            std::size_t tab = line.find('\t', start);
            fields.push_back(line.substr(start, tab - start));
            if (tab == std::string::npos)
                break;
            start = tab + 1;
        }
        rows.push_back(std::move(fields));
    }
    return rows;
}

double leastCpuSeconds(int runs, const std::function<void()> &setup, const std::function<void()> &work)
{
    auto now = [] {
        timespec t {};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
    };
    double least = 0;
    for (int run = 0; run < runs; ++run) {
        setup();
        double start = now();
        work();
        double spent = now() - start;
        if (run == 0 || spent < least)
            least = spent;
    }
    return least;
}

std::string randomBytes(std::size_t count, unsigned seed)
{
    std::mt19937 engine(seed);
    std::string out(count, '\0');
    for (char &c : out)
        c = char(engine() & 0xFF);
    return out;
}

} // namespace rfctest
