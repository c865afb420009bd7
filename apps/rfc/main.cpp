// rfc: the library's codecs and checks on files and standard input.
#include "rfc_cli.h"

#include <rfc/rfc_module.h>

#include <cstdio>
#include <cstring>

namespace {

std::string overview()
{
    std::string text = "usage: rfc COMMAND [OPTIONS] [ARGS]\n"
                       "       rfc --help | --version\n"
                       "Internet-standard codecs and string algorithms of the rfc library.\n"
                       "Exit status: 0 success, 1 refused data or an unreadable file, 2 usage error.\n"
                       "rfc COMMAND --help describes a command.\n\ncommands:\n";
    for (const auto &command : rfccli::commands())
        text += std::string("  rfc ") + command.synopsis + "\n      " + command.summary + "\n";
    return text;
}

// Whether the arguments ask for help: -h or --help before any "--".
bool asksForHelp(int argc, char **argv)
{
    for (int i = 2; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--"))
            return false;
        if (!std::strcmp(argv[i], "-h") || !std::strcmp(argv[i], "--help"))
            return true;
    }
    return false;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fputs(overview().c_str(), stderr);
        return rfccli::exitUsage;
    }
    if (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h")) {
        rfccli::writeOut(overview());
        rfccli::flushOut();
        return rfccli::exitOk;
    }
    if (!std::strcmp(argv[1], "--version")) {
        // The library's banner, without the marker that locates it in the
        // binary.
        std::string banner = rfc___module_version_string;
        if (banner.rfind("###", 0) == 0 && banner.find("### ", 3) != std::string::npos)
            banner.erase(0, banner.find("### ", 3) + 4);
        rfccli::writeOut("rfc " + banner + "\n");
        rfccli::flushOut();
        return rfccli::exitOk;
    }
    const rfccli::Command *chosen = nullptr;
    for (const auto &command : rfccli::commands())
        if (!std::strcmp(command.name, argv[1]))
            chosen = &command;
    if (!chosen) {
        std::fprintf(stderr, "rfc: unknown command \"%s\" (rfc --help lists them)\n", argv[1]);
        return rfccli::exitUsage;
    }
    rfccli::setCommand(chosen->name);
    if (asksForHelp(argc, argv)) {
        rfccli::printHelp(*chosen);
        return rfccli::exitOk;
    }
    std::vector<std::string> args(argv + 2, argv + argc);

    if (!pbModuleStartup(rfcModule())) {
        rfccli::complain(chosen->name, "the library did not start");
        return rfccli::exitRefused;
    }
    int status = chosen->run(args);
    pbModuleShutdown(rfcModule());
    rfccli::flushOut();
    return status;
}
