#include "rfc_cli.h"

#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace rfccli {

namespace {

std::vector<Command> &registry()
{
    static std::vector<Command> all;
    return all;
}

const char *currentCommand = "";

// Standard output's buffer: small writes are gathered, so that line-by-line
// output costs few system calls.
constexpr std::size_t outSize = std::size_t { 1 } << 16;
PB_BYTE outBuffer[outSize];
std::size_t outLength = 0;

// Ends the process as a closed pipe does by default, whatever the
// disposition of SIGPIPE was.
[[noreturn]] void diePipe()
{
    std::signal(SIGPIPE, SIG_DFL);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGPIPE);
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
    std::raise(SIGPIPE);
    std::_Exit(exitRefused);
}

void writeAll(const PB_BYTE *p, std::size_t n)
{
    while (n > 0) {
        ssize_t done = ::write(STDOUT_FILENO, p, n);
        if (done < 0 && errno == EINTR)
            continue;
        if (done < 0) {
            if (errno == EPIPE)
                diePipe();
            std::fprintf(stderr, "rfc %s: standard output: %s\n", currentCommand, std::strerror(errno));
            std::_Exit(exitRefused);
        }
        p += done;
        n -= static_cast<std::size_t>(done);
    }
}

// Whether standard output is a pipe or socket, whose reader may go away
// while the tool waits for input.
bool outputIsPipe()
{
    static const int answer = [] {
        struct stat info;
        return ::fstat(STDOUT_FILENO, &info) == 0 && (S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode)) ? 1 : 0;
    }();
    return answer == 1;
}

// Before a read that would block: hands the output gathered so far on (so
// that a reader sees it while the input pauses) and, while waiting, watches
// standard output, so that a reader that goes away ends the process at once
// instead of at the next write. Input that is ready costs one poll.
void awaitInput(int fd)
{
    pollfd ready { fd, POLLIN, 0 };
    if (::poll(&ready, 1, 0) != 0)
        return; // readable, at its end, or in error: the read tells
    flushOut();
    if (!outputIsPipe())
        return;
    for (;;) {
        pollfd fds[2] = { { fd, POLLIN, 0 }, { STDOUT_FILENO, 0, 0 } };
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[1].revents & (POLLERR | POLLHUP))
            diePipe();
        if (fds[0].revents)
            return;
    }
}

} // namespace

void setCommand(const char *name)
{
    currentCommand = name;
}

Registration::Registration(const Command &command)
{
    registry().push_back(command);
}

const std::vector<Command> &commands()
{
    return registry();
}

bool readChunks(const std::string &path, const std::function<bool(const PB_BYTE *, std::size_t)> &consume,
    std::string &error)
{
    const bool isStdin = path.empty() || path == "-";
    const std::string name = isStdin ? std::string("standard input") : path;
    int fd = isStdin ? STDIN_FILENO : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = name + ": " + std::strerror(errno);
        return false;
    }
    struct stat info;
    if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
        error = name + ": " + std::strerror(EISDIR);
        if (!isStdin)
            ::close(fd);
        return false;
    }
    static PB_BYTE *chunk = static_cast<PB_BYTE *>(std::malloc(readSize));
    bool ok = true;
    for (;;) {
        awaitInput(fd);
        ssize_t n = ::read(fd, chunk, readSize);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            error = name + ": " + std::strerror(errno);
            ok = false;
            break;
        }
        if (n == 0 || !consume(chunk, static_cast<std::size_t>(n)))
            break;
    }
    if (!isStdin)
        ::close(fd);
    return ok;
}

bool readAll(const std::string &path, std::string &contents, std::string &error)
{
    contents.clear();
    return readChunks(
        path,
        [&](const PB_BYTE *bytes, std::size_t count) {
            contents.append(reinterpret_cast<const char *>(bytes), count);
            return true;
        },
        error);
}

void writeOut(const void *bytes, std::size_t count)
{
    const auto *p = static_cast<const PB_BYTE *>(bytes);
    if (outLength + count <= outSize) {
        std::memcpy(outBuffer + outLength, p, count);
        outLength += count;
        return;
    }
    flushOut();
    if (count >= outSize) {
        writeAll(p, count);
        return;
    }
    std::memcpy(outBuffer, p, count);
    outLength = count;
}

void writeOut(const std::string &text)
{
    writeOut(text.data(), text.size());
}

void writeOut(PB_BUFFER *buffer)
{
    writeOut(pbBufferBacking(buffer), static_cast<std::size_t>(pbBufferLength(buffer)));
}

void flushOut()
{
    writeAll(outBuffer, outLength);
    outLength = 0;
}

void complain(const char *command, const std::string &message)
{
    flushOut();
    std::fprintf(stderr, "rfc %s: %s\n", command, message.c_str());
}

int usageError(const char *command, const std::string &message)
{
    complain(command, message + " (rfc " + command + " --help shows the usage)");
    return exitUsage;
}

bool parseInt(const std::string &text, PB_INT &value, PB_INT min, PB_INT max)
{
    const char *first = text.data();
    const char *last = first + text.size();
    PB_INT parsed = 0;
    auto [end, ec] = std::from_chars(first, last, parsed);
    if (text.empty() || ec != std::errc() || end != last || parsed < min || parsed > max)
        return false;
    value = parsed;
    return true;
}

std::string utf8(PB_STRING *string)
{
    PB_INT length = 0;
    char *text = pbStringConvertToUtf8(string, &length);
    std::string result(text, static_cast<std::size_t>(length));
    pbMemFree(text);
    return result;
}

void printHelp(const Command &command)
{
    writeOut(std::string("usage: rfc ") + command.synopsis + "\n" + command.summary + "\n" + command.help);
    flushOut();
}

} // namespace rfccli
