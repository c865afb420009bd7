// The names of the catalogued CRC algorithms, kept in a process-wide
// enumeration from module startup to shutdown.
#include "rfc_crc.h"
#include "rfc_crc_catalogue.h"

#include "../rfc_frame.h"

namespace {

PB_ENUM *rfc___CrcAlgorithmEnum = rfc::slotVacant<PB_ENUM>();

} // namespace

extern "C" {

RFC_API void rfc___CrcAlgorithmStartup(void) noexcept
{
    rfc___CrcAlgorithmEnum = nullptr;
    rfc___CrcAlgorithmEnum = pbEnumCreate();
    for (std::size_t alg = 0; alg < rfc::crc::catalogue.size(); ++alg)
        pbEnumSetEnumerantCstr(&rfc___CrcAlgorithmEnum, rfc::crc::catalogue[alg].name, -1, PB_INT(alg));
}

RFC_API void rfc___CrcAlgorithmShutdown(void) noexcept
{
    rfc::slotShutdown(rfc___CrcAlgorithmEnum);
}

RFC_API PB_INT rfcCrcAlgorithmFromString(PB_STRING *pbs) noexcept
{
    PB_ASSERT( pbs );
    return pbEnumParse(rfc___CrcAlgorithmEnum, pbs);
}

RFC_API PB_STRING *rfcCrcAlgorithmToString(PB_INT alg) noexcept
{
    PB_ASSERT( RFC_CRC_ALGORITHM_OK( alg ) );
    return pbEnumGenerate(rfc___CrcAlgorithmEnum, alg);
}

RFC_API RFC_CRC_MODEL rfcCrcAlgorithmModel(PB_INT alg) noexcept
{
    PB_ASSERT( RFC_CRC_ALGORITHM_OK( alg ) );
    const rfc::crc::Model &model = rfc::crc::catalogue[std::size_t(alg)];
    return RFC_CRC_MODEL { model.width, PB_INT(model.poly), PB_INT(model.init), PB_INT(model.xorOut),
        model.reflectIn, model.reflectOut, PB_INT(model.check) };
}

RFC_API PB_STRING *rfcCrcAlgorithmToPublishedName(PB_INT alg) noexcept
{
    PB_ASSERT( RFC_CRC_ALGORITHM_OK( alg ) );
    return pbStringCreateFromCstr(rfc::crc::catalogue[std::size_t(alg)].published, -1);
}

} // extern "C"
