// rfc: the library's codecs and checks on files and standard input.
#include "rfc_cli.h"

#include <rfc/rfc_module.h>

#include <cstdio>
#include <cstring>

namespace {

void printUsage(std::FILE *to)
{
    std::fprintf(to, "usage: rfc COMMAND [OPTIONS] [ARGS]\n\ncommands:\n");
    for (const auto &command : rfccli::commands())
        std::fprintf(to, "  rfc %s\n      %s\n", command.usage, command.summary);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2 || !std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h")) {
        printUsage(argc < 2 ? stderr : stdout);
        return argc < 2 ? 2 : 0;
    }
    const rfccli::Command *chosen = nullptr;
    for (const auto &command : rfccli::commands())
        if (!std::strcmp(command.name, argv[1]))
            chosen = &command;
    if (!chosen) {
        std::fprintf(stderr, "rfc: unknown command \"%s\" (rfc --help lists them)\n", argv[1]);
        return 2;
    }
    std::vector<std::string> args(argv + 2, argv + argc);

    if (!pbModuleStartup(rfcModule())) {
        std::fprintf(stderr, "rfc: the module did not start\n");
        return 2;
    }
    int status = chosen->run(args);
    pbModuleShutdown(rfcModule());
    if (std::fflush(stdout) != 0) {
        std::fprintf(stderr, "rfc: cannot write standard output: %s\n", std::strerror(errno));
        return 2;
    }
    return status;
}
