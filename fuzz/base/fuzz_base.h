// Shared by the base fuzz targets: module startup and the checks, which
// abort so that libFuzzer records the input.
#ifndef FUZZ_BASE_H
#define FUZZ_BASE_H

#include <rfc/base/rfc_base.h>

#include <pb/pb_cpp.h>

#include <cstdlib>
#include <cstring>

inline void check(bool ok)
{
    if (!ok)
        std::abort();
}

inline bool sameBytes(PB_BUFFER *a, PB_BUFFER *b)
{
    PB_INT n = pbBufferLength(a);
    return n == pbBufferLength(b) && (n == 0 || std::memcmp(pbBufferBacking(a), pbBufferBacking(b), std::size_t(n)) == 0);
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    return pbModuleStartup(rfcModule()) ? 0 : 1;
}

#endif
