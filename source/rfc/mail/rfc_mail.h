/* Tokens of structured mail header fields (RFC 822): the character classes,
 * the token object, the writing of a token vector as folded header text,
 * the removal of comments and the splitting of header text into tokens.
 * Compiles as C and as C++. */
#ifndef RFC_MAIL_H
#define RFC_MAIL_H

#include "../rfc_module.h"

PB___BEGIN_DECLS

/* Character classes of RFC 822 over code points; each answers 1 or 0.
 * Code points outside 0x00 to 0x7F (negative ones included) belong to none
 * of them and count as ordinary characters inside atoms. */
RFC_API PB_BOOL rfc___MailCharIsAlpha(PB_CHAR ch) RFC___NOEXCEPT;
RFC_API PB_BOOL rfc___MailCharIsDigit(PB_CHAR ch) RFC___NOEXCEPT;
RFC_API PB_BOOL rfc___MailCharIsCr(PB_CHAR ch) RFC___NOEXCEPT;
RFC_API PB_BOOL rfc___MailCharIsLf(PB_CHAR ch) RFC___NOEXCEPT;
RFC_API PB_BOOL rfc___MailCharIsHtab(PB_CHAR ch) RFC___NOEXCEPT;
RFC_API PB_BOOL rfc___MailCharIsSpace(PB_CHAR ch) RFC___NOEXCEPT;
/* Space or horizontal tab. */
RFC_API PB_BOOL rfc___MailCharIsLwsp(PB_CHAR ch) RFC___NOEXCEPT;
RFC_API PB_BOOL rfc___MailCharIsQuotationMark(PB_CHAR ch) RFC___NOEXCEPT;
/* 0x00 to 0x1F and 0x7F. */
RFC_API PB_BOOL rfc___MailCharIsCtl(PB_CHAR ch) RFC___NOEXCEPT;
/* ( ) < > @ , ; : \ . [ ] and the quotation mark. */
RFC_API PB_BOOL rfc___MailCharIsSpecial(PB_CHAR ch) RFC___NOEXCEPT;

/* One token of a structured header field, held as written (delimiters,
 * backslash escapes and folds included) together with its type. Tokens are
 * immutable and may be shared between threads. */
typedef struct RFC_MAIL_SHF_TOKEN RFC_MAIL_SHF_TOKEN;

#define RFC_MAIL_SHF_TOKEN_TYPE_SPECIAL 0
#define RFC_MAIL_SHF_TOKEN_TYPE_QUOTED_STRING 1
#define RFC_MAIL_SHF_TOKEN_TYPE_DOMAIN_LITERAL 2
#define RFC_MAIL_SHF_TOKEN_TYPE_COMMENT 3
#define RFC_MAIL_SHF_TOKEN_TYPE_ATOM 4
#define RFC_MAIL_SHF_TOKEN_TYPE_OK(type) ((type) >= 0 && (type) <= 4)

RFC_API extern const PB_SORT rfc___sort_RFC_MAIL_SHF_TOKEN;

RFC___DECLARE_STDFUNCS_C(rfcMailShfToken, RFC_MAIL_SHF_TOKEN);

/* A special token of the one character special, which must be a special. */
RFC_API RFC_MAIL_SHF_TOKEN *rfcMailShfTokenCreateSpecial(PB_CHAR special) RFC___NOEXCEPT;
/* An atom when the content can stand as one, otherwise a quoted string with
 * CR, LF and the specials escaped. The value of the token is the content. */
RFC_API RFC_MAIL_SHF_TOKEN *rfcMailShfTokenCreateAtomOrQuotedString(PB_STRING *atomOrQuotedString) RFC___NOEXCEPT;
/* A comment with CR, LF and the specials of the content escaped. */
RFC_API RFC_MAIL_SHF_TOKEN *rfcMailShfTokenCreateComment(PB_STRING *comment) RFC___NOEXCEPT;
/* The token written as rawValue, which must be a valid token; the token
 * holds a reference to rawValue itself. */
RFC_API RFC_MAIL_SHF_TOKEN *rfcMailShfTokenCreateRawValue(PB_STRING *rawValue) RFC___NOEXCEPT;

RFC_API PB_INT rfcMailShfTokenType(RFC_MAIL_SHF_TOKEN *tok) RFC___NOEXCEPT;
/* The token as written; a new reference for the caller. */
RFC_API PB_STRING *rfcMailShfTokenRawValue(RFC_MAIL_SHF_TOKEN *tok) RFC___NOEXCEPT;
/* The meaning: the raw value of specials and atoms, the content without its
 * delimiters and with quoted pairs resolved for the delimited types. */
RFC_API PB_STRING *rfcMailShfTokenValue(RFC_MAIL_SHF_TOKEN *tok) RFC___NOEXCEPT;

RFC_API void rfc___MailShfTokenFreeFunc(PB_OBJ *obj) RFC___NOEXCEPT;

/* Removes every comment from the token vector *vec (copy-on-write). */
RFC_API void rfcMailShfTokenVectorDelComments(PB_VECTOR **vec) RFC___NOEXCEPT;
/* The token vector as header text: single spaces between tokens, none inside
 * dotted words and addresses, a fold (CR LF SP) before a token once the line
 * is longer than wrapLineLength (-1: never fold). firstLineOffset counts the
 * characters that stand on the first line before the text. */
RFC_API PB_STRING *rfcMailShfTokenVectorEncode(PB_VECTOR *vec, PB_INT wrapLineLength,
    PB_INT firstLineOffset) RFC___NOEXCEPT;
/* The tokens of the header text, or null when a quoted string, domain
 * literal or comment in it is malformed. */
RFC_API PB_VECTOR *rfcMailShfTokenVectorTryDecode(PB_STRING *text) RFC___NOEXCEPT;

/* Refusal reasons (an extension beside rfcMailShfTokenVectorTryDecode,
 * which stays as it is): why and where the decoder refused a text. The plain
 * decoder and this one are the same scanner. */
/* A delimited token reaches the end of the text without its closing
 * character (or ends in a backslash). */
#define RFC_MAIL_SHF_TOKEN_VECTOR_DECODE_REFUSAL_UNTERMINATED 1
/* A CR inside a delimited token is not followed by LF and a space or tab. */
#define RFC_MAIL_SHF_TOKEN_VECTOR_DECODE_REFUSAL_BROKEN_LINE_BREAK 2
/* An unescaped "[" inside a domain literal. */
#define RFC_MAIL_SHF_TOKEN_VECTOR_DECODE_REFUSAL_NESTED_BRACKET 3

typedef struct RFC_MAIL_SHF_TOKEN_VECTOR_DECODE_REFUSAL {
    PB_INT kind;        /* RFC_MAIL_SHF_TOKEN_VECTOR_DECODE_REFUSAL_... */
    PB_INT offset;      /* of the offending character; the text's length for an unterminated token */
    PB_INT tokenType;   /* RFC_MAIL_SHF_TOKEN_TYPE_... of the broken delimited token */
    PB_INT tokenOffset; /* of its opening character */
} RFC_MAIL_SHF_TOKEN_VECTOR_DECODE_REFUSAL;

/* As rfcMailShfTokenVectorTryDecode; when it returns null, *refusal (not
 * null) holds the reason; when it accepts, *refusal is left alone. */
RFC_API PB_VECTOR *rfcMailShfTokenVectorTryDecodeWithRefusal(PB_STRING *text,
    RFC_MAIL_SHF_TOKEN_VECTOR_DECODE_REFUSAL *refusal) RFC___NOEXCEPT;
/* The kind's name, a static text ("unknown" for no kind). */
RFC_API const char *rfcMailShfTokenVectorDecodeRefusalKindToString(PB_INT kind) RFC___NOEXCEPT;

PB___END_DECLS

#endif
