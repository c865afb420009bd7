// The token object of structured mail header fields: its sort and standard
// functions, the four constructors, the classification of a token as
// written, and the value of a token with its delimiters and escapes removed.
#include "rfc_mail_internal.h"

using namespace rfc::mail;

RFC___DEFINE_SORT(rfc___sort_RFC_MAIL_SHF_TOKEN, "RFC_MAIL_SHF_TOKEN", rfc___MailShfTokenFreeFunc, nullptr);
RFC___DEFINE_STDFUNCS(rfcMailShfToken, RFC_MAIL_SHF_TOKEN, rfc___sort_RFC_MAIL_SHF_TOKEN);

namespace {

// CR, LF and the specials are written as quoted pairs inside quoted strings
// and comments made from unescaped content.
constexpr bool needsEscape(PB_CHAR ch) noexcept
{
    return ch == cr || ch == lf || isSpecial(ch);
}

// Writes the content between the delimiters open and close into a new string
// with every character that needsEscape() preceded by a backslash.
// escapeCount is the number of such characters in the content.
PB_STRING *createDelimited(PB_CHAR open, const PB_CHAR *content, PB_INT contentLength,
    PB_INT escapeCount, PB_CHAR close)
{
    PB_INT length = contentLength + escapeCount + 2;
    auto *out = static_cast<PB_CHAR *>(pbMemAlloc(length * PB_INT { sizeof(PB_CHAR) }));
    PB_CHAR *at = out;
    *at++ = open;
    for (PB_INT i = 0; i < contentLength; ++i) {
        if (needsEscape(content[i]))
            *at++ = backslash;
        *at++ = content[i];
    }
    *at = close;
    return pbStringCreateFromCharsUse(out, length);
}

// Checks the interior of a delimited token (the raw value without its first
// and last character): a backslash takes the next character with it and may
// not be the last one; an unescaped quotation mark fails a quoted string, an
// unescaped bracket a domain literal, and the parentheses of a comment must
// balance without going below zero.
template <PB_INT Type>
bool interiorWellFormed(const PB_CHAR *interior, PB_INT length) noexcept
{
    PB_INT depth = 0;
    PB_INT i = 0;
    while (i < length) {
        PB_CHAR ch = interior[i];
        if (ch == backslash) {
            if (i == length - 1)
                return false;
            i += 2;
            continue;
        }
        if constexpr (Type == RFC_MAIL_SHF_TOKEN_TYPE_QUOTED_STRING) {
            if (ch == quotationMark)
                return false;
        } else if constexpr (Type == RFC_MAIL_SHF_TOKEN_TYPE_DOMAIN_LITERAL) {
            if (ch == '[' || ch == ']')
                return false;
        } else {
            static_assert(Type == RFC_MAIL_SHF_TOKEN_TYPE_COMMENT);
            if (ch == '(') {
                ++depth;
            } else if (ch == ')') {
                if (depth == 0)
                    return false;
                --depth;
            }
        }
        ++i;
    }
    return depth == 0;
}

// The type of the token written as the length characters at raw, or -1 when
// they are no valid token. The first matching rule decides.
PB_INT classify(const PB_CHAR *raw, PB_INT length) noexcept
{
    if (length == 1 && isSpecial(raw[0]))
        return RFC_MAIL_SHF_TOKEN_TYPE_SPECIAL;
    if (length >= 2) {
        PB_CHAR first = raw[0];
        PB_CHAR last = raw[length - 1];
        if (first == quotationMark && last == quotationMark
            && interiorWellFormed<RFC_MAIL_SHF_TOKEN_TYPE_QUOTED_STRING>(raw + 1, length - 2))
            return RFC_MAIL_SHF_TOKEN_TYPE_QUOTED_STRING;
        if (first == '[' && last == ']'
            && interiorWellFormed<RFC_MAIL_SHF_TOKEN_TYPE_DOMAIN_LITERAL>(raw + 1, length - 2))
            return RFC_MAIL_SHF_TOKEN_TYPE_DOMAIN_LITERAL;
        if (first == '(' && last == ')'
            && interiorWellFormed<RFC_MAIL_SHF_TOKEN_TYPE_COMMENT>(raw + 1, length - 2))
            return RFC_MAIL_SHF_TOKEN_TYPE_COMMENT;
    }
    if (length < 1)
        return -1;
    for (PB_INT i = 0; i < length; ++i)
        if (charClass(raw[i]) != classAtom)
            return -1;
    return RFC_MAIL_SHF_TOKEN_TYPE_ATOM;
}

} // namespace

RFC_MAIL_SHF_TOKEN *rfc::mail::tokenCreateUse(PB_INT type, PB_STRING *rawValue)
{
    auto *tok = reinterpret_cast<RFC_MAIL_SHF_TOKEN *>(
        pb___ObjCreate(sizeof(RFC_MAIL_SHF_TOKEN), &rfc___sort_RFC_MAIL_SHF_TOKEN));
    tok->type = type;
    tok->rawValue = rawValue;
    return tok;
}

extern "C" {

// A special token; special must be one of the thirteen specials. The token
// owns a new one-character string.
RFC_API RFC_MAIL_SHF_TOKEN *rfcMailShfTokenCreateSpecial(PB_CHAR special) noexcept
{
    PB_ASSERT( rfc___MailCharIsSpecial( special ) );
    return tokenCreateUse(RFC_MAIL_SHF_TOKEN_TYPE_SPECIAL, pbStringCreateFromCharsCopy(&special, 1));
}

// A token whose value is the given content (borrowed, not null): an atom when
// the content is not empty and holds no special, space or control character,
// a quoted string otherwise. An atom shares the content string; a quoted
// string gets a new string with CR, LF and the specials escaped while spaces
// and the other controls stand as they are.
RFC_API RFC_MAIL_SHF_TOKEN *rfcMailShfTokenCreateAtomOrQuotedString(PB_STRING *atomOrQuotedString) noexcept
{
    PB_ASSERT( atomOrQuotedString );
    PB_INT length = pbStringLength(atomOrQuotedString);
    const PB_CHAR *content = pbStringBacking(atomOrQuotedString);
    PB_INT escapeCount = 0;
    bool atom = length > 0;
    for (PB_INT i = 0; i < length; ++i) {
        PB_CHAR ch = content[i];
        if (needsEscape(ch)) {
            ++escapeCount;
            atom = false;
        } else if (ch == space || isCtl(ch)) {
            atom = false;
        }
    }
    if (atom) {
        pbObjRetain(pb::obj(atomOrQuotedString));
        return tokenCreateUse(RFC_MAIL_SHF_TOKEN_TYPE_ATOM, atomOrQuotedString);
    }
    return tokenCreateUse(RFC_MAIL_SHF_TOKEN_TYPE_QUOTED_STRING,
        createDelimited(quotationMark, content, length, escapeCount, quotationMark));
}

// A comment whose value is the given content (borrowed, not null). CR, LF and
// every special, parentheses included, are escaped, so the comment holds no
// nested comment.
RFC_API RFC_MAIL_SHF_TOKEN *rfcMailShfTokenCreateComment(PB_STRING *comment) noexcept
{
    PB_ASSERT( comment );
    PB_INT length = pbStringLength(comment);
    const PB_CHAR *content = pbStringBacking(comment);
    PB_INT escapeCount = 0;
    for (PB_INT i = 0; i < length; ++i)
        escapeCount += needsEscape(content[i]) ? 1 : 0;
    return tokenCreateUse(RFC_MAIL_SHF_TOKEN_TYPE_COMMENT,
        createDelimited('(', content, length, escapeCount, ')'));
}

// The token written as rawValue (borrowed, not null); the token keeps a new
// reference to that very string. A string that is no valid token of any type
// is a contract violation.
RFC_API RFC_MAIL_SHF_TOKEN *rfcMailShfTokenCreateRawValue(PB_STRING *rawValue) noexcept
{
    PB_ASSERT( rawValue );
    PB_INT type = classify(pbStringBacking(rawValue), pbStringLength(rawValue));
    if (type < 0)
        PB_UNREACHABLE();
    pbObjRetain(pb::obj(rawValue));
    return tokenCreateUse(type, rawValue);
}

RFC_API PB_INT rfcMailShfTokenType(RFC_MAIL_SHF_TOKEN *tok) noexcept
{
    PB_ASSERT( tok );
    return tok->type;
}

RFC_API PB_STRING *rfcMailShfTokenRawValue(RFC_MAIL_SHF_TOKEN *tok) noexcept
{
    PB_ASSERT( tok );
    pbObjRetain(pb::obj(tok->rawValue));
    return tok->rawValue;
}

// The token's meaning as a string owned by the caller: the raw value itself
// for specials and atoms; for the delimited types a new string without the
// outer delimiters and with each quoted pair replaced by its character.
// Nested parentheses and folds stay.
RFC_API PB_STRING *rfcMailShfTokenValue(RFC_MAIL_SHF_TOKEN *tok) noexcept
{
    PB_ASSERT( tok );
    if (tok->type == RFC_MAIL_SHF_TOKEN_TYPE_SPECIAL || tok->type == RFC_MAIL_SHF_TOKEN_TYPE_ATOM) {
        pbObjRetain(pb::obj(tok->rawValue));
        return tok->rawValue;
    }
    const PB_CHAR *interior = pbStringBacking(tok->rawValue) + 1;
    PB_INT length = pbStringLength(tok->rawValue) - 2;

    PB_INT valueLength = 0;
    for (PB_INT i = 0; i < length; ++i, ++valueLength) {
        if (interior[i] == backslash) {
            PB_ASSERT( i<length-1 );
            ++i;
        }
    }
    auto *value = static_cast<PB_CHAR *>(pbMemAlloc(valueLength * PB_INT { sizeof(PB_CHAR) }));
    PB_CHAR *at = value;
    for (PB_INT i = 0; i < length; ++i) {
        if (interior[i] == backslash)
            ++i;
        *at++ = interior[i];
    }
    return pbStringCreateFromCharsUse(value, valueLength);
}

// The sort's free function: drops the token's reference to its raw value and
// marks the field as gone.
RFC_API void rfc___MailShfTokenFreeFunc(PB_OBJ *obj) noexcept
{
    RFC_MAIL_SHF_TOKEN *tok = rfcMailShfTokenFrom(obj);
    PB_ASSERT( tok );
    if (tok->rawValue)
        pbObjRelease(pb::obj(tok->rawValue));
    tok->rawValue = rfc::slotVacant<PB_STRING>();
}

} // extern "C"
