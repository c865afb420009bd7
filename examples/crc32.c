/* The CRC-32 of "123456789" through the C API: prints cbf43926. */
#include <rfc/rfc_module.h>
#include <rfc/crc/rfc_crc.h>

#include <stdio.h>

int main(void)
{
    if (!pbModuleStartup(rfcModule()))
        return 1;

    PB_BUFFER *data = pbBufferCreate();
    pbBufferAppendBytes(&data, (const PB_BYTE *)"123456789", 9);
    printf("%08llx\n", (unsigned long long)rfcCrc(RFC_CRC_ALGORITHM_CRC32_ADCCP, data));
    pbObjRelease(pbBufferObj(data));

    pbModuleShutdown(rfcModule());
    return 0;
}
