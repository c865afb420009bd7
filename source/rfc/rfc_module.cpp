// The module object, its record and version banner, and the startup and
// shutdown that create and release the process-wide objects of the families.
#include "rfc_frame.h"

#include "crc/rfc_crc.h"
#include "quop/rfc_quop.h"

#ifndef RFC___BUILD_TIME
#error "the build defines RFC___BUILD_TIME"
#endif

extern "C" {

const PB_MODULE_RECORD rfc___module_record = {
    2,
    "corvanead",
    "corvane administration",
    4,
    14,
    21,
    RFC___BUILD_TIME,
    "corvanead developers",
    "Copyright the corvanead developers. All rights reserved.",
    "rfc",
    "Various RFCs",
    "0.0",
    { "pb", "" },
};

const char *const rfc___module_version_string =
    "###XZ_VERSION### corvanead-4.14.21 (RHEL 8, x86 (64 bit), Release), rfc 0.0";

const PB_MODULE rfc___module = {
    PB___OBJ_STATIC_HEADER(PB___OBJ_KIND_MODULE),
    &rfc___module_record,
    rfc___ModuleStartup,
    nullptr,
    rfc___ModuleShutdown,
    { nullptr, nullptr, nullptr, nullptr, nullptr },
};

RFC_API const PB_MODULE *rfcModule(void)
{
    return &rfc___module;
}

// Creates the process-wide objects of the families, in a fixed order that
// shutdown reverses.
RFC_API PB_BOOL rfc___ModuleStartup(void)
{
    rfc___CrcAlgorithmStartup();
    rfc___QuopFlagsStartup();
    return PB_TRUE;
}

RFC_API void rfc___ModuleShutdown(void)
{
    rfc___QuopFlagsShutdown();
    rfc___CrcAlgorithmShutdown();
}

} // extern "C"

static_assert(sizeof(PB_MODULE_RECORD) == 14 * 8);
static_assert(sizeof(PB_MODULE) == 19 * 8);
static_assert(sizeof(PB_SORT) == 20 * 8);
