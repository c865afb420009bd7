// The exported character classes of RFC 822, over code points.
#include "rfc_mail_internal.h"

using namespace rfc::mail;

extern "C" {

RFC_API PB_BOOL rfc___MailCharIsAlpha(PB_CHAR ch) noexcept
{
    return (ch >= 0x41 && ch <= 0x5A) || (ch >= 0x61 && ch <= 0x7A);
}

RFC_API PB_BOOL rfc___MailCharIsDigit(PB_CHAR ch) noexcept
{
    return ch >= 0x30 && ch <= 0x39;
}

RFC_API PB_BOOL rfc___MailCharIsCr(PB_CHAR ch) noexcept
{
    return ch == cr;
}

RFC_API PB_BOOL rfc___MailCharIsLf(PB_CHAR ch) noexcept
{
    return ch == lf;
}

RFC_API PB_BOOL rfc___MailCharIsHtab(PB_CHAR ch) noexcept
{
    return ch == htab;
}

RFC_API PB_BOOL rfc___MailCharIsSpace(PB_CHAR ch) noexcept
{
    return ch == space;
}

RFC_API PB_BOOL rfc___MailCharIsLwsp(PB_CHAR ch) noexcept
{
    return isLwsp(ch);
}

RFC_API PB_BOOL rfc___MailCharIsQuotationMark(PB_CHAR ch) noexcept
{
    return ch == quotationMark;
}

RFC_API PB_BOOL rfc___MailCharIsCtl(PB_CHAR ch) noexcept
{
    return isCtl(ch);
}

RFC_API PB_BOOL rfc___MailCharIsSpecial(PB_CHAR ch) noexcept
{
    return isSpecial(ch);
}

} // extern "C"
