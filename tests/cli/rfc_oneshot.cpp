// The one-call library result for the streaming tests of the tool: reads all
// of standard input, runs one library function on it and writes the result.
//   rfc_oneshot base ENCODING encode FLAGS NLF LINELENGTH
//   rfc_oneshot base ENCODING decode FLAGS
//   rfc_oneshot qp encode INPUTNLF OUTPUTNLF LINELENGTH FLAGS
//   rfc_oneshot qp decode INPUTNLF OUTPUTNLF MAXLINELENGTH FLAGS
// Numbers are decimal; a line length of -1 means none. A refused decode
// exits 1. Also: rfc_oneshot peak COMMAND... runs the command and prints
// its peak resident memory in KiB (getrusage of the child).
#include <rfc/base/rfc_base.h>
#include <rfc/quop/rfc_quop.h>
#include <rfc/rfc_module.h>

#include <pb/pb_cpp.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <iterator>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

PB_INT number(const char *text)
{
    return std::strtoll(text, nullptr, 10);
}

int peak(char **argv)
{
    pid_t child = fork();
    if (child == 0) {
        execvp(argv[0], argv);
        _exit(127);
    }
    int status = 0;
    struct rusage usage;
    if (wait4(child, &status, 0, &usage) < 0)
        return 2;
    std::printf("%ld\n", usage.ru_maxrss);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 2;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc >= 3 && !std::strcmp(argv[1], "peak"))
        return peak(argv + 2);
    if (argc < 4)
        return 2;
    std::string input((std::istreambuf_iterator<char>(std::cin)), std::istreambuf_iterator<char>());
    if (!pbModuleStartup(rfcModule()))
        return 2;
    int status = 0;
    {
        pb::Ref<PB_BUFFER> source(pbBufferCreateFromBytesCopy(reinterpret_cast<const PB_BYTE *>(input.data()), PB_INT(input.size())));
        pb::Ref<PB_BUFFER> result;
        if (!std::strcmp(argv[1], "base")) {
            PB_INT encoding = number(argv[2]);
            pb::Ref<RFC_BASE_OPTIONS> opt(rfcBaseOptionsCreate());
            rfcBaseOptionsSetFlags(opt.addr(), number(argv[4]));
            if (!std::strcmp(argv[3], "encode")) {
                rfcBaseOptionsSetOutputNlf(opt.addr(), number(argv[5]));
                if (number(argv[6]) > 0)
                    rfcBaseOptionsSetOutputLineLength(opt.addr(), number(argv[6]));
                result.reset(rfcBaseEncodeWithOptions(source.get(), encoding, opt.get()));
            } else {
                result.reset(rfcBaseTryDecodeWithOptions(source.get(), encoding, opt.get()));
            }
        } else {
            pb::Ref<RFC_QUOP_OPTIONS> opt(rfcQuopOptionsCreate());
            const bool encoding = !std::strcmp(argv[2], "encode");
            (encoding ? rfcQuopOptionsSetEncodeInputNlf : rfcQuopOptionsSetDecodeInputNlf)(opt.addr(), number(argv[3]));
            (encoding ? rfcQuopOptionsSetEncodeOutputNlf : rfcQuopOptionsSetDecodeOutputNlf)(opt.addr(), number(argv[4]));
            PB_INT length = number(argv[5]);
            if (encoding) {
                if (length == -1)
                    rfcQuopOptionsDelEncodeOutputLineLength(opt.addr());
                else
                    rfcQuopOptionsSetEncodeOutputLineLength(opt.addr(), length);
            } else if (length != -1) {
                rfcQuopOptionsSetDecodeMaxInputLineLength(opt.addr(), length);
            }
            rfcQuopOptionsSetFlags(opt.addr(), number(argv[6]));
            result.reset(encoding ? rfcQuopEncodeWithOptions(source.get(), opt.get())
                                  : rfcQuopTryDecodeWithOptions(source.get(), opt.get()));
        }
        if (result)
            std::fwrite(pbBufferBacking(result.get()), 1, std::size_t(pbBufferLength(result.get())), stdout);
        else
            status = 1;
    }
    pbModuleShutdown(rfcModule());
    return status;
}
