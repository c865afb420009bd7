// The module object, its record and version banner, and the startup and
// shutdown that create and release the process-wide objects of the families.
#include "rfc_frame.h"

#include "base/rfc_base.h"
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

namespace {

// How many startups have not been matched by a shutdown yet. Startup and
// shutdown do not run concurrently with any other call of the library, so a
// plain counter serves.
PB_INT startups = 0;

} // namespace

// Creates the process-wide objects of the families, in a fixed order that
// shutdown reverses. Startups nest: a startup while the module is running is
// counted and changes nothing else.
RFC_API PB_BOOL rfc___ModuleStartup(void)
{
    if (startups++ > 0)
        return PB_TRUE;
    rfc___BaseEncodingStartup();
    rfc___BaseFlagsStartup();
    rfc___CrcAlgorithmStartup();
    rfc___QuopFlagsStartup();
    return PB_TRUE;
}

// Matches one startup; the last one releases the process-wide objects.
RFC_API void rfc___ModuleShutdown(void)
{
    PB_ASSERT( startups > 0 );
    if (--startups > 0)
        return;
    rfc___QuopFlagsShutdown();
    rfc___CrcAlgorithmShutdown();
    rfc___BaseFlagsShutdown();
    rfc___BaseEncodingShutdown();
}

} // extern "C"

static_assert(sizeof(PB_MODULE_RECORD) == 14 * 8);
static_assert(sizeof(PB_MODULE) == 19 * 8);
static_assert(sizeof(PB_SORT) == 20 * 8);
