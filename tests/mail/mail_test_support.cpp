#include "mail_test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <ostream>

namespace mailtest {

void PrintTo(const Tok &tok, std::ostream *os)
{
    static const char *const names[] = { "special", "quoted-string", "domain-literal", "comment", "atom" };
    *os << (RFC_MAIL_SHF_TOKEN_TYPE_OK(tok.type) ? names[tok.type] : "?") << " <" << show(tok.raw) << ">";
}

pb::Ref<PB_VECTOR> vectorOf(const Toks &toks)
{
    pb::Ref<PB_VECTOR> vec(pbVectorCreate());
    for (const Tok &tok : toks) {
        auto raw = rfctest::string(tok.raw);
        pb::Ref<RFC_MAIL_SHF_TOKEN> made(rfcMailShfTokenCreateRawValue(raw.get()));
        EXPECT_EQ(rfcMailShfTokenType(made.get()), tok.type) << show(tok.raw);
        pbVectorAppendObj(vec.addr(), rfcMailShfTokenObj(made.get()));
    }
    return vec;
}

Toks toksOf(PB_VECTOR *vec)
{
    Toks toks;
    for (PB_INT i = 0; i < pbVectorLength(vec); ++i) {
        pb::Ref<PB_OBJ> element(pbVectorObjAt(vec, i));
        RFC_MAIL_SHF_TOKEN *tok = rfcMailShfTokenFrom(element.get());
        toks.push_back({ rfcMailShfTokenType(tok), rawOf(tok) });
    }
    return toks;
}

pb::Ref<RFC_MAIL_SHF_TOKEN> tokenOf(PB_STRING *raw)
{
    return pb::Ref<RFC_MAIL_SHF_TOKEN>(rfcMailShfTokenCreateRawValue(raw));
}

std::u32string rawOf(RFC_MAIL_SHF_TOKEN *tok)
{
    pb::Ref<PB_STRING> raw(rfcMailShfTokenRawValue(tok));
    return rfctest::chars(raw.get());
}

std::u32string valueOf(RFC_MAIL_SHF_TOKEN *tok)
{
    pb::Ref<PB_STRING> value(rfcMailShfTokenValue(tok));
    return rfctest::chars(value.get());
}

bool decode(const std::u32string &text, Toks &toks)
{
    auto string = rfctest::string(text);
    pb::Ref<PB_VECTOR> vec(rfcMailShfTokenVectorTryDecode(string.get()));
    toks.clear();
    if (!vec)
        return false;
    toks = toksOf(vec.get());
    return true;
}

std::u32string encode(const Toks &toks, PB_INT wrapLineLength, PB_INT firstLineOffset)
{
    auto vec = vectorOf(toks);
    pb::Ref<PB_STRING> text(rfcMailShfTokenVectorEncode(vec.get(), wrapLineLength, firstLineOffset));
    return rfctest::chars(text.get());
}

std::string show(const std::u32string &text)
{
    std::string out;
    for (char32_t ch : text) {
        if (ch >= 0x20 && ch < 0x7F && ch != '\\') {
            out += static_cast<char>(ch);
        } else {
            char hex[24];
            std::snprintf(hex, sizeof hex, "\\u{%X}", static_cast<unsigned>(ch));
            out += hex;
        }
    }
    return out;
}

std::string literal(const std::string &text)
{
    std::string out;
    for (char ch : text) {
        if (std::string_view("\\^$.|?*+()[]{}").find(ch) != std::string_view::npos)
            out += '\\';
        out += ch;
    }
    return out;
}

} // namespace mailtest
