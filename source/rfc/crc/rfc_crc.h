/* Cyclic redundancy checks: a CRC object made from a parameterised model or
 * from the catalogue of named algorithms, fed with bytes and finalised once
 * into its check value. Compiles as C and as C++. */
#ifndef RFC_CRC_H
#define RFC_CRC_H

#include "../rfc_module.h"

PB___BEGIN_DECLS

typedef struct RFC_CRC RFC_CRC;

RFC___DECLARE_STDFUNCS_C(rfcCrc, RFC_CRC);

/* A new computation for the model: width 8 to 64; poly (normal form, top
 * term implied), init and xorOut below 2^width; reflectIn and reflectOut
 * count as true when non-zero. */
RFC_API RFC_CRC *rfcCrcCreateWithModel(PB_INT width, PB_INT poly, PB_INT init, PB_INT xorOut,
    PB_BOOL reflectIn, PB_BOOL reflectOut) RFC___NOEXCEPT;

RFC_API void rfcCrcUpdateBytes(RFC_CRC *crc, const void *data, PB_INT byteCount) RFC___NOEXCEPT;
RFC_API void rfcCrcUpdate(RFC_CRC *crc, PB_BUFFER *data) RFC___NOEXCEPT;
RFC_API void rfcCrcUpdateInner(RFC_CRC *crc, PB_BUFFER *data, PB_INT byteOffset, PB_INT byteCount) RFC___NOEXCEPT;
RFC_API void rfcCrcUpdateOuter(RFC_CRC *crc, PB_BUFFER *data, PB_INT byteOffset, PB_INT byteCount) RFC___NOEXCEPT;
RFC_API void rfcCrcUpdateLeading(RFC_CRC *crc, PB_BUFFER *data, PB_INT byteCount) RFC___NOEXCEPT;
RFC_API void rfcCrcUpdateTrailing(RFC_CRC *crc, PB_BUFFER *data, PB_INT byteCount) RFC___NOEXCEPT;
/* Feeds the low 8 bits of byte. */
RFC_API void rfcCrcUpdateByte(RFC_CRC *crc, int32_t byte) RFC___NOEXCEPT;
/* The check value (width bits); the object accepts nothing afterwards. */
RFC_API PB_INT rfcCrcFinal(RFC_CRC *crc) RFC___NOEXCEPT;
RFC_API PB_INT rfcCrcWithModel(PB_INT width, PB_INT poly, PB_INT init, PB_INT xorOut,
    PB_BOOL reflectIn, PB_BOOL reflectOut, PB_BUFFER *data) RFC___NOEXCEPT;

/* The catalogue of named algorithms. */
#define RFC_CRC_ALGORITHM_CRC8 0
#define RFC_CRC_ALGORITHM_CRC8_DARC 1
#define RFC_CRC_ALGORITHM_CRC8_ICODE 2
#define RFC_CRC_ALGORITHM_CRC8_ITU 3
#define RFC_CRC_ALGORITHM_CRC8_ROHC 4
#define RFC_CRC_ALGORITHM_CRC16_IBM 5
#define RFC_CRC_ALGORITHM_CRC16_CCITT 6
#define RFC_CRC_ALGORITHM_CRC16_CCITT_FALSE 7
#define RFC_CRC_ALGORITHM_CRC16_DARC 8
#define RFC_CRC_ALGORITHM_CRC16_DECT_R 9
#define RFC_CRC_ALGORITHM_CRC16_DECT_X 10
#define RFC_CRC_ALGORITHM_CRC16_X25 11
#define RFC_CRC_ALGORITHM_CRC16_XMODEM 12
#define RFC_CRC_ALGORITHM_CRC32_ADCCP 13
#define RFC_CRC_ALGORITHM_CRC32_BZIP2 14
#define RFC_CRC_ALGORITHM_CRC32_C 15
#define RFC_CRC_ALGORITHM_CRC32_D 16
#define RFC_CRC_ALGORITHM_CRC32_MPEG2 17
#define RFC_CRC_ALGORITHM_CRC32_POSIX 18
#define RFC_CRC_ALGORITHM_COUNT 19
#define RFC_CRC_ALGORITHM_OK(alg) ((alg) >= 0 && (alg) <= 18)

RFC_API RFC_CRC *rfcCrcCreate(PB_INT alg) RFC___NOEXCEPT;
RFC_API PB_INT rfcCrc(PB_INT alg, PB_BUFFER *data) RFC___NOEXCEPT;
/* The algorithm named by the string, or -1 when it names none. */
RFC_API PB_INT rfcCrcAlgorithmFromString(PB_STRING *pbs) RFC___NOEXCEPT;
RFC_API PB_STRING *rfcCrcAlgorithmToString(PB_INT alg) RFC___NOEXCEPT;

/* Extension: the parameters of a catalogued algorithm in the notation of the
 * published CRC catalogues (poly without its top term x^width, init on the
 * register before any reflection, xorOut applied last), with its check value,
 * the CRC of the nine bytes "123456789", and its name in those catalogues
 * ("CRC-32/ISO-HDLC"). */
typedef struct RFC_CRC_MODEL {
    PB_INT width;
    PB_INT poly;
    PB_INT init;
    PB_INT xorOut;
    PB_BOOL reflectIn;
    PB_BOOL reflectOut;
    PB_INT check;
} RFC_CRC_MODEL;

RFC_API RFC_CRC_MODEL rfcCrcAlgorithmModel(PB_INT alg) RFC___NOEXCEPT;
RFC_API PB_STRING *rfcCrcAlgorithmToPublishedName(PB_INT alg) RFC___NOEXCEPT;

RFC_API void rfc___CrcAlgorithmStartup(void) RFC___NOEXCEPT;
RFC_API void rfc___CrcAlgorithmShutdown(void) RFC___NOEXCEPT;

PB___END_DECLS

#endif
