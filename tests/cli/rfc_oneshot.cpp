// The one-call library result for the streaming tests of the tool: reads all
// of standard input, runs one library function on it and writes the result.
//   rfc_oneshot base ENCODING encode FLAGS NLF LINELENGTH
//   rfc_oneshot base ENCODING decode FLAGS
//   rfc_oneshot qp encode INPUTNLF OUTPUTNLF LINELENGTH FLAGS
//   rfc_oneshot qp decode INPUTNLF OUTPUTNLF MAXLINELENGTH FLAGS
// Numbers are decimal; a line length of -1 means none. A refused decode
// exits 1. Also: rfc_oneshot peak COMMAND... runs the command and prints
// its peak resident memory in KiB (getrusage of the child); and
// rfc_oneshot reason base ENCODING FLAGS | qp | mail | stringprep PROFILE
// prints the library's refusal of standard input: base "OFFSET FLAGS" (the
// accepting flags by name), qp "KIND OFFSET", mail "KIND OFFSET
// TOKENOFFSET", stringprep the refusal's text.
#include <rfc/base/rfc_base.h>
#include <rfc/mail/rfc_mail.h>
#include <rfc/quop/rfc_quop.h>
#include <rfc/stringprep/rfc_stringprep.h>
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

std::string utf8(PB_STRING *string)
{
    PB_INT length = 0;
    char *text = pbStringConvertToUtf8(string, &length);
    std::string result(text, std::size_t(length));
    pbMemFree(text);
    return result;
}

// The library's reason for refusing input; 1 when it accepts it.
int reason(int argc, char **argv, const std::string &input)
{
    pb::Ref<PB_BUFFER> source(pbBufferCreateFromBytesCopy(reinterpret_cast<const PB_BYTE *>(input.data()), PB_INT(input.size())));
    const std::string family = argv[2];
    if (family == "base" && argc >= 5) {
        pb::Ref<RFC_BASE_OPTIONS> opt(rfcBaseOptionsCreate());
        rfcBaseOptionsSetFlags(opt.addr(), number(argv[4]));
        RFC_BASE_DECODE_REFUSAL refusal {};
        pb::Ref<PB_BUFFER> bytes(rfcBaseTryDecodeWithRefusal(source.get(), number(argv[3]), opt.get(), &refusal));
        if (bytes)
            return 1;
        std::string flags = "none";
        if (refusal.acceptingFlags > 0) {
            pb::Ref<PB_STRING> names(rfcBaseFlagsToString(refusal.acceptingFlags));
            flags = utf8(names.get());
        }
        std::printf("%lld %s\n", static_cast<long long>(refusal.offset), flags.c_str());
        return 0;
    }
    if (family == "qp") {
        pb::Ref<RFC_QUOP_OPTIONS> opt(rfcQuopOptionsCreate());
        rfcQuopOptionsSetDecodeInputNlf(opt.addr(), PB_NLF_FLAG_LF | PB_NLF_FLAG_CRLF);
        rfcQuopOptionsSetDecodeOutputNlf(opt.addr(), PB_NLF_FLAG_LF);
        RFC_QUOP_DECODE_REFUSAL refusal {};
        pb::Ref<PB_BUFFER> bytes(rfcQuopTryDecodeWithRefusal(source.get(), opt.get(), &refusal));
        if (bytes)
            return 1;
        std::printf("%s %lld\n", rfcQuopDecodeRefusalKindToString(refusal.kind), static_cast<long long>(refusal.offset));
        return 0;
    }
    pb::Ref<PB_STRING> text(pbStringTryCreateFromUtf8(reinterpret_cast<const PB_BYTE *>(input.data()), PB_INT(input.size())));
    if (!text)
        return 2;
    if (family == "mail") {
        RFC_MAIL_SHF_TOKEN_VECTOR_DECODE_REFUSAL refusal {};
        pb::Ref<PB_VECTOR> tokens(rfcMailShfTokenVectorTryDecodeWithRefusal(text.get(), &refusal));
        if (tokens)
            return 1;
        std::printf("%s %lld %lld\n", rfcMailShfTokenVectorDecodeRefusalKindToString(refusal.kind),
            static_cast<long long>(refusal.offset), static_cast<long long>(refusal.tokenOffset));
        return 0;
    }
    if (family == "stringprep" && argc >= 4) {
        pb::Ref<PB_STRING> name(pbStringCreateFromCstr(argv[3], -1));
        RFC_STRINGPREP_REFUSAL refusal {};
        pb::Ref<PB_STRING> prepared(rfcStringprepProfileTryPrepare(rfcStringprepProfileFromName(name.get()), text.get(), 0, &refusal));
        if (prepared)
            return 1;
        pb::Ref<PB_STRING> why(rfcStringprepRefusalToString(&refusal));
        std::printf("%s\n", utf8(why.get()).c_str());
        return 0;
    }
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc >= 3 && !std::strcmp(argv[1], "peak"))
        return peak(argv + 2);
    if (argc < 3)
        return 2;
    std::string input((std::istreambuf_iterator<char>(std::cin)), std::istreambuf_iterator<char>());
    if (!pbModuleStartup(rfcModule()))
        return 2;
    int status = 0;
    if (!std::strcmp(argv[1], "reason")) {
        status = reason(argc, argv, input);
        pbModuleShutdown(rfcModule());
        return status;
    }
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
