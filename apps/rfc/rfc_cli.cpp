#include "rfc_cli.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace rfccli {

namespace {

std::vector<Command> &registry()
{
    static std::vector<Command> all;
    return all;
}

} // namespace

Registration::Registration(const Command &command)
{
    registry().push_back(command);
}

const std::vector<Command> &commands()
{
    return registry();
}

bool readChunks(const std::string &path, const std::function<void(const char *, std::size_t)> &consume,
    std::string &error)
{
    bool isStdin = path.empty() || path == "-";
    int fd = isStdin ? STDIN_FILENO : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    static char chunk[1 << 16];
    bool ok = true;
    for (;;) {
        ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            error = (isStdin ? std::string("standard input") : path) + ": " + std::strerror(errno);
            ok = false;
            break;
        }
        if (n == 0)
            break;
        consume(chunk, static_cast<std::size_t>(n));
    }
    if (!isStdin)
        ::close(fd);
    return ok;
}

bool readAll(const std::string &path, std::string &contents, std::string &error)
{
    contents.clear();
    return readChunks(path, [&](const char *bytes, std::size_t count) { contents.append(bytes, count); }, error);
}

bool writeOut(const void *bytes, std::size_t count)
{
    return count == 0 || std::fwrite(bytes, 1, count, stdout) == count;
}

bool writeOut(const std::string &text)
{
    return writeOut(text.data(), text.size());
}

void complain(const char *command, const std::string &message)
{
    std::fprintf(stderr, "rfc %s: %s\n", command, message.c_str());
}

bool parseInt(const std::string &text, PB_INT &value)
{
    const char *first = text.data();
    const char *last = first + text.size();
    auto [end, ec] = std::from_chars(first, last, value);
    return !text.empty() && ec == std::errc() && end == last;
}

std::string utf8(PB_STRING *string)
{
    PB_INT length = 0;
    char *text = pbStringConvertToUtf8(string, &length);
    std::string result(text, static_cast<std::size_t>(length));
    pbMemFree(text);
    return result;
}

} // namespace rfccli
