// The command-line tool's frame: subcommands register themselves here and
// share the helpers for reading input, writing output and reporting.
//
// Conventions of every subcommand: exit status 0 on success, 1 when the data
// is refused or a file cannot be read, 2 for a usage error; --help and -h
// print the subcommand's help on standard output; every message goes to
// standard error as "rfc SUBCOMMAND: ..."; output gathered so far is written
// whenever the input pauses; a closed output pipe ends the process at once by
// SIGPIPE, also when the signal was ignored and while waiting for input.
#ifndef RFC_CLI_H
#define RFC_CLI_H

#include <pb/pb.hpp>

#include <cstddef>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace rfccli {

// One reference to a runtime object, taken over from the function that
// returned it and released at the end of the scope: the public holder with
// the constructor the tool writes everywhere.
template <class T>
class Held : public corvanead::Ref<T> {
public:
    Held() noexcept = default;
    explicit Held(T *owned) noexcept : corvanead::Ref<T>(corvanead::Ref<T>::adopt(owned)) {}
};

// Exit statuses.
inline constexpr int exitOk = 0;
inline constexpr int exitRefused = 1;
inline constexpr int exitUsage = 2;

// A subcommand: run() gets the arguments after the subcommand's name and
// returns the process exit status.
struct Command {
    const char *name;
    const char *synopsis; // one line, after "rfc "
    const char *summary;  // one line
    const char *help;     // the options, printed by --help after the synopsis
    int (*run)(const std::vector<std::string> &args);
};

// Defined at namespace scope in a subcommand's source file:
//   rfccli::Registration registration { { "crc", "...", "...", "...", runCrc } };
struct Registration {
    explicit Registration(const Command &command);
};

const std::vector<Command> &commands();

// The subcommand that runs, named by messages that come from this frame.
void setCommand(const char *name);

// The size of the reads from files and standard input.
inline constexpr std::size_t readSize = std::size_t { 1 } << 20;

// Reads a file, or standard input for "-" or an empty path, in reads of
// readSize bytes, handing each to consume; consume returns false to stop.
// Before a read that would block, flushes standard output and watches it.
// On failure returns false with a message that names the file and the
// reason.
bool readChunks(const std::string &path, const std::function<bool(const PB_BYTE *, std::size_t)> &consume,
    std::string &error);

// Reads a whole file (or standard input) into contents, as readChunks.
bool readAll(const std::string &path, std::string &contents, std::string &error);

// Writes bytes to standard output through a buffer (large blocks go
// straight through). A closed pipe ends the process by SIGPIPE; any other
// failure is reported on standard error and ends it with status 1.
void writeOut(const void *bytes, std::size_t count);
void writeOut(const std::string &text);
void writeOut(PB_BUFFER *buffer);
void flushOut();

// "rfc <command>: <message>" on standard error.
void complain(const char *command, const std::string &message);

// Complains and returns exitUsage, with a pointer to the help.
int usageError(const char *command, const std::string &message);

// Parses a decimal integer that fills the whole text and lies in [min, max].
bool parseInt(const std::string &text, PB_INT &value, PB_INT min, PB_INT max);

// UTF-8 of a runtime string.
std::string utf8(PB_STRING *string);

// The help of a command: synopsis, summary and options, on standard output.
void printHelp(const Command &command);

} // namespace rfccli

#endif
