/* Stringprep (RFC 3454): the mapping tables, NFKC normalization, the
 * prohibition tables, the check for unassigned code points, the
 * bidirectional check and seven profiles built from them.
 *
 * Every function takes a runtime string, which it only reads. Returned
 * strings are new references owned by the caller. A null source is a
 * contract violation everywhere except in rfcStringprepNormalizationNFKC,
 * which hands its argument to the runtime unchecked. The tables are those
 * published with RFC 3454 (Unicode 3.2), whatever the runtime's Unicode
 * version. Compiles as C and as C++. */
#ifndef RFC_STRINGPREP_H
#define RFC_STRINGPREP_H

#include "../rfc_module.h"

PB___BEGIN_DECLS

/* Mapping: always a new string, the source's code points each replaced by
 * its image in the table (B.1: nothing; C.1.2: U+0020; B.2 and B.3: one to
 * four code points); other code points stay. */
RFC_API PB_STRING *rfcStringprepMapToNothing(PB_STRING *source) RFC___NOEXCEPT;
RFC_API PB_STRING *rfcStringprepMapForCaseFoldingNFKC(PB_STRING *source) RFC___NOEXCEPT;
RFC_API PB_STRING *rfcStringprepMapForCaseFoldingNoNormalization(PB_STRING *source) RFC___NOEXCEPT;
RFC_API PB_STRING *rfcStringprepMapSpaceNonAsciiToSpace(PB_STRING *source) RFC___NOEXCEPT;

/* The runtime's NFKC of source; may be source itself with one more
 * reference when normalization changes nothing. */
RFC_API PB_STRING *rfcStringprepNormalizationNFKC(PB_STRING *source) RFC___NOEXCEPT;

/* Prohibition: 1 when no code point of source is in the table, else 0. */
RFC_API PB_BOOL rfcStringprepProhibitSpaceAscii(PB_STRING *source) RFC___NOEXCEPT;                /* C.1.1 */
RFC_API PB_BOOL rfcStringprepProhibitSpaceNonAscii(PB_STRING *source) RFC___NOEXCEPT;             /* C.1.2 */
RFC_API PB_BOOL rfcStringprepProhibitSpace(PB_STRING *source) RFC___NOEXCEPT;                     /* C.1.1, C.1.2 */
RFC_API PB_BOOL rfcStringprepProhibitControlAscii(PB_STRING *source) RFC___NOEXCEPT;              /* C.2.1 */
RFC_API PB_BOOL rfcStringprepProhibitControlNonAscii(PB_STRING *source) RFC___NOEXCEPT;           /* C.2.2 */
RFC_API PB_BOOL rfcStringprepProhibitControl(PB_STRING *source) RFC___NOEXCEPT;                   /* C.2.1, C.2.2 */
RFC_API PB_BOOL rfcStringprepProhibitPrivateUse(PB_STRING *source) RFC___NOEXCEPT;                /* C.3 */
RFC_API PB_BOOL rfcStringprepProhibitNonCharacter(PB_STRING *source) RFC___NOEXCEPT;              /* C.4 */
RFC_API PB_BOOL rfcStringprepProhibitSurrogate(PB_STRING *source) RFC___NOEXCEPT;                 /* C.5 */
RFC_API PB_BOOL rfcStringprepProhibitInappropriateForPlainText(PB_STRING *source) RFC___NOEXCEPT; /* C.6 */
RFC_API PB_BOOL rfcStringprepProhibitInappropriateForCanonical(PB_STRING *source) RFC___NOEXCEPT; /* C.7 */
RFC_API PB_BOOL rfcStringprepProhibitDisplayOrDeprecated(PB_STRING *source) RFC___NOEXCEPT;       /* C.8 */
RFC_API PB_BOOL rfcStringprepProhibitTagging(PB_STRING *source) RFC___NOEXCEPT;                   /* C.9 */

/* 1 when no code point of source is unassigned in Unicode 3.2 (A.1). */
RFC_API PB_BOOL rfcStringprepUnassignedCheck(PB_STRING *source) RFC___NOEXCEPT;

/* 1 when source satisfies the bidirectional rules of RFC 3454 section 6:
 * without a right-to-left code point (D.1) it always passes; with one, it
 * holds no left-to-right code point (D.2) and starts and ends with a
 * right-to-left one. */
RFC_API PB_BOOL rfcStringprepBidiCheck(PB_STRING *source) RFC___NOEXCEPT;
/* 1 when the code point c is in D.1 (bidirectional category R or AL). */
RFC_API PB_BOOL rfc___StringprepBidiIsROrAl(PB_CHAR c) RFC___NOEXCEPT;

/* Profiles: the prepared string, or null when the string is refused.
 * allowUnassigned nonzero prepares a query (unassigned code points pass);
 * zero prepares a stored string. The trace profile returns source itself
 * (one more reference) when it passes. */
RFC_API PB_STRING *rfcStringprepProfileIscsi(PB_STRING *source, PB_BOOL allowUnassigned) RFC___NOEXCEPT;
RFC_API PB_STRING *rfcStringprepProfileNameprep(PB_STRING *source, PB_BOOL allowUnassigned) RFC___NOEXCEPT;
RFC_API PB_STRING *rfcStringprepProfileNodeprep(PB_STRING *source) RFC___NOEXCEPT;
RFC_API PB_STRING *rfcStringprepProfilePolicyMib(PB_STRING *source) RFC___NOEXCEPT;
RFC_API PB_STRING *rfcStringprepProfileResourceprep(PB_STRING *source) RFC___NOEXCEPT;
RFC_API PB_STRING *rfcStringprepProfileSaslprep(PB_STRING *source) RFC___NOEXCEPT;
RFC_API PB_STRING *rfcStringprepProfileTrace(PB_STRING *source) RFC___NOEXCEPT;

/* Profiles by number, and refusal reasons. Extension functions beside the
 * seven profile functions above, which they run: the same profile prepares
 * the same string in both. */
#define RFC_STRINGPREP_PROFILE_ISCSI 0
#define RFC_STRINGPREP_PROFILE_NAMEPREP 1
#define RFC_STRINGPREP_PROFILE_NODEPREP 2
#define RFC_STRINGPREP_PROFILE_POLICY_MIB 3
#define RFC_STRINGPREP_PROFILE_RESOURCEPREP 4
#define RFC_STRINGPREP_PROFILE_SASLPREP 5
#define RFC_STRINGPREP_PROFILE_TRACE 6
#define RFC_STRINGPREP_PROFILE_OK(p) ((p) >= 0 && (p) <= 6)

#define RFC_STRINGPREP_STAGE_PROHIBITED 0   /* a code point of a prohibition table or refused set */
#define RFC_STRINGPREP_STAGE_UNASSIGNED 1   /* a code point of table A.1 in a stored string */
#define RFC_STRINGPREP_STAGE_BIDI 2         /* the bidirectional rule */
#define RFC_STRINGPREP_STAGE_OK(s) ((s) >= 0 && (s) <= 2)

/* Why a profile refused a string: the first stage that refuses it, in the
 * profile's order (the prohibition tables one after the other, then the
 * profile's own refused set, then the bidirectional rule, then the
 * unassigned check), and the first code point that stage refuses. For the
 * bidirectional rule that is the first left-to-right code point when there
 * is one, else the end of the string that is not right-to-left. */
typedef struct RFC_STRINGPREP_REFUSAL {
    PB_INT stage;      /* RFC_STRINGPREP_STAGE_... */
    PB_INT codePoint;  /* the first offending code point */
    PB_INT offset;     /* its index, in code points, in the string after mapping and normalisation */
    PB_INT profile;    /* RFC_STRINGPREP_PROFILE_..., the profile that refused */
} RFC_STRINGPREP_REFUSAL;

/* The profile's prepared string (new, owned by the caller), or null when
 * refused; refusal (may be null) is written only then. allowUnassigned is
 * read only by the profiles for which
 * rfcStringprepProfileHasAllowUnassigned is 1; the others do what their
 * own functions do. A profile outside RFC_STRINGPREP_PROFILE_OK or a null
 * source is a contract violation. */
RFC_API PB_STRING *rfcStringprepProfileTryPrepare(PB_INT profile, PB_STRING *source, PB_BOOL allowUnassigned,
                                                  RFC_STRINGPREP_REFUSAL *refusal) RFC___NOEXCEPT;
/* The profile's name: "iscsi", "nameprep", "nodeprep", "policy-mib",
 * "resourceprep", "saslprep" or "trace". */
RFC_API PB_STRING *rfcStringprepProfileToName(PB_INT profile) RFC___NOEXCEPT;
/* The profile that name names exactly (case matters), or -1. */
RFC_API PB_INT rfcStringprepProfileFromName(PB_STRING *name) RFC___NOEXCEPT;
/* 1 for the profiles that take allowUnassigned (iscsi and nameprep). */
RFC_API PB_BOOL rfcStringprepProfileHasAllowUnassigned(PB_INT profile) RFC___NOEXCEPT;
/* What the refusal names, as "prohibited U+0007 (ASCII control character)",
 * "bidi U+0041 (left-to-right character in right-to-left text)" or
 * "unassigned U+0221 (unassigned in Unicode 3.2)". */
RFC_API PB_STRING *rfcStringprepRefusalToString(const RFC_STRINGPREP_REFUSAL *refusal) RFC___NOEXCEPT;

PB___END_DECLS

#endif
