/* The public headers compile as C, and a C program can start the module,
 * call the library and release what it gets. */
#include <rfc/rfc_module.h>
#include <rfc/base/rfc_base.h>
#include <rfc/crc/rfc_crc.h>
#include <rfc/mail/rfc_mail.h>
#include <rfc/quop/rfc_quop.h>
#include <rfc/stringprep/rfc_stringprep.h>

#include <stdio.h>
#include <string.h>

static int failures;

/* True when the string holds exactly the ASCII text. */
static int stringIs(PB_STRING *s, const char *ascii)
{
    int same = s && pbStringEqualsCstr(s, ascii);
    if (s)
        pbObjRelease(pbStringObj(s));
    return same;
}

static void check(int ok, const char *what)
{
    if (!ok) {
        fprintf(stderr, "FAILED: %s\n", what);
        ++failures;
    }
}

int main(void)
{
    static const char digits[] = "123456789";
    PB_BUFFER *data;
    PB_STRING *name;

    check(pbModuleStartup(rfcModule()) == PB_TRUE, "module startup");

    data = pbBufferCreate();
    pbBufferAppendBytes(&data, (const PB_BYTE *)digits, (PB_INT)strlen(digits));
    check(rfcCrc(RFC_CRC_ALGORITHM_CRC32_ADCCP, data) == 0xCBF43926, "CRC-32 check value");
    pbObjRelease(pbBufferObj(data));

    name = rfcCrcAlgorithmToString(RFC_CRC_ALGORITHM_CRC32_C);
    check(rfcCrcAlgorithmFromString(name) == RFC_CRC_ALGORITHM_CRC32_C, "algorithm name round trip");
    pbObjRelease(pbStringObj(name));

    /* One call into each family, each result released. */
    data = pbBufferCreate();
    pbBufferAppendBytes(&data, (const PB_BYTE *)"foo", 3);
    check(stringIs(rfcBaseEncodeToString(data, RFC_BASE_ENCODING_BASE64), "Zm9v"), "base64 of foo");
    {
        PB_BUFFER *encoded = rfcQuopEncode(data);
        PB_BUFFER *decoded = rfcQuopTryDecode(encoded);
        check(decoded && pbBufferLength(decoded) == 3 && !memcmp(pbBufferBacking(decoded), "foo", 3),
            "quoted-printable round trip");
        pbObjRelease(pbBufferObj(decoded));
        pbObjRelease(pbBufferObj(encoded));
    }
    pbObjRelease(pbBufferObj(data));
    {
        PB_STRING *text = pbStringCreateFromCstr("a (comment) @ b", -1);
        PB_VECTOR *tokens = rfcMailShfTokenVectorTryDecode(text);
        check(tokens && pbVectorLength(tokens) == 4, "mail header tokens");
        pbObjRelease(pbVectorObj(tokens));
        pbObjRelease(pbStringObj(text));
    }
    {
        PB_STRING *user = pbStringCreateFromCstr("user", -1);
        check(stringIs(rfcStringprepProfileSaslprep(user), "user"), "SASLprep of user");
        pbObjRelease(pbStringObj(user));
    }

    pbModuleShutdown(rfcModule());
    check(pbObjLiveCount() == 0, "no live objects after shutdown");
    printf("%s: %d failed\n", failures ? "FAILED" : "passed", failures);
    return failures ? 1 : 0;
}
