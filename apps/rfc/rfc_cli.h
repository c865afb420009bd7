// The command-line tool's frame: subcommands register themselves here, and
// share the helpers for reading input and writing output.
#ifndef RFC_CLI_H
#define RFC_CLI_H

#include <pb/pb_cpp.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace rfccli {

// A subcommand: run() gets the arguments after the subcommand's name and
// returns the process exit status.
struct Command {
    const char *name;
    const char *usage;   // one line, after "rfc "
    const char *summary; // one line
    int (*run)(const std::vector<std::string> &args);
};

// Defined at namespace scope in a subcommand's source file:
//   static rfccli::Registration registration { { "crc", "...", "...", runCrc } };
struct Registration {
    explicit Registration(const Command &command);
};

const std::vector<Command> &commands();

// Reads a file, or standard input for "-" or an empty path, in chunks of
// 64 KiB, handing each to consume. On failure returns false with a message
// that names the path and the reason.
bool readChunks(const std::string &path, const std::function<void(const char *, std::size_t)> &consume,
    std::string &error);

// Reads a whole file (or standard input) into contents, as readChunks.
bool readAll(const std::string &path, std::string &contents, std::string &error);

// Writes bytes to standard output; false when the write failed.
bool writeOut(const void *bytes, std::size_t count);
bool writeOut(const std::string &text);

// "rfc <command>: <message>" on standard error.
void complain(const char *command, const std::string &message);

// Parses a decimal integer that fills the whole text.
bool parseInt(const std::string &text, PB_INT &value);

// UTF-8 of a runtime string.
std::string utf8(PB_STRING *string);

} // namespace rfccli

#endif
