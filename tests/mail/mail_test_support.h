// Helpers of the mail tests: tokens as plain values, vectors built from and
// read back into them, and code points shown readably in failure messages.
#ifndef MAIL_TEST_SUPPORT_H
#define MAIL_TEST_SUPPORT_H

#include <rfc/mail/rfc_mail.h>
#include <support/test_support.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace mailtest {

constexpr PB_INT special = RFC_MAIL_SHF_TOKEN_TYPE_SPECIAL, quotedString = RFC_MAIL_SHF_TOKEN_TYPE_QUOTED_STRING,
                 domainLiteral = RFC_MAIL_SHF_TOKEN_TYPE_DOMAIN_LITERAL, comment = RFC_MAIL_SHF_TOKEN_TYPE_COMMENT,
                 atom = RFC_MAIL_SHF_TOKEN_TYPE_ATOM;

// ASCII graphics as they are, every other code point as \u{hex}.
inline std::string show(const std::u32string &text)
{
    std::string out;
    for (char32_t ch : text) {
        char item[24];
        std::snprintf(item, sizeof item, ch >= 0x20 && ch < 0x7F && ch != '\\' ? "%c" : "\\u{%X}", static_cast<unsigned>(ch));
        out += item;
    }
    return out;
}

// A token as a value: its type and raw value.
struct Tok {
    PB_INT type;
    std::u32string raw;
    bool operator==(const Tok &) const = default;
    friend void PrintTo(const Tok &tok, std::ostream *os) { *os << tok.type << " <" << show(tok.raw) << ">"; }
};
using Toks = std::vector<Tok>;

inline Tok a(std::u32string raw) { return { atom, std::move(raw) }; }
inline Tok s(char32_t ch) { return { special, std::u32string(1, ch) }; }

inline std::u32string rawOf(RFC_MAIL_SHF_TOKEN *tok) { return rfctest::chars(pb::Ref<PB_STRING>(rfcMailShfTokenRawValue(tok)).get()); }
inline std::u32string valueOf(RFC_MAIL_SHF_TOKEN *tok) { return rfctest::chars(pb::Ref<PB_STRING>(rfcMailShfTokenValue(tok)).get()); }

// A vector of tokens made with rfcMailShfTokenCreateRawValue; a raw value
// that does not classify as the type given fails the test.
inline pb::Ref<PB_VECTOR> vectorOf(const Toks &toks)
{
    pb::Ref<PB_VECTOR> vec(pbVectorCreate());
    for (const Tok &tok : toks) {
        pb::Ref<RFC_MAIL_SHF_TOKEN> made(rfcMailShfTokenCreateRawValue(rfctest::string(tok.raw).get()));
        EXPECT_EQ(rfcMailShfTokenType(made.get()), tok.type) << show(tok.raw);
        pbVectorAppendObj(vec.addr(), rfcMailShfTokenObj(made.get()));
    }
    return vec;
}

inline Toks toksOf(PB_VECTOR *vec)
{
    Toks toks;
    for (PB_INT i = 0; i < pbVectorLength(vec); ++i) {
        pb::Ref<PB_OBJ> element(pbVectorObjAt(vec, i));
        RFC_MAIL_SHF_TOKEN *tok = rfcMailShfTokenFrom(element.get());
        toks.push_back({ rfcMailShfTokenType(tok), rawOf(tok) });
    }
    return toks;
}

// The tokens of text, or nothing when the decoder refuses it.
inline std::optional<Toks> decode(const std::u32string &text)
{
    pb::Ref<PB_VECTOR> vec(rfcMailShfTokenVectorTryDecode(rfctest::string(text).get()));
    return vec ? std::optional<Toks>(toksOf(vec.get())) : std::nullopt;
}

inline std::u32string encode(const Toks &toks, PB_INT wrapLineLength, PB_INT firstLineOffset)
{
    pb::Ref<PB_STRING> text(rfcMailShfTokenVectorEncode(vectorOf(toks).get(), wrapLineLength, firstLineOffset));
    return rfctest::chars(text.get());
}

} // namespace mailtest

#endif
