// Helpers of the mail tests: tokens as plain values, vectors built from and
// read back into them, and texts for failure messages and death-test
// patterns.
#ifndef MAIL_TEST_SUPPORT_H
#define MAIL_TEST_SUPPORT_H

#include <rfc/mail/rfc_mail.h>
#include <support/test_support.h>

#include <iosfwd>
#include <string>
#include <vector>

namespace mailtest {

constexpr PB_INT special = RFC_MAIL_SHF_TOKEN_TYPE_SPECIAL;
constexpr PB_INT quotedString = RFC_MAIL_SHF_TOKEN_TYPE_QUOTED_STRING;
constexpr PB_INT domainLiteral = RFC_MAIL_SHF_TOKEN_TYPE_DOMAIN_LITERAL;
constexpr PB_INT comment = RFC_MAIL_SHF_TOKEN_TYPE_COMMENT;
constexpr PB_INT atom = RFC_MAIL_SHF_TOKEN_TYPE_ATOM;

// A token as a value: its type and raw value.
struct Tok {
    PB_INT type;
    std::u32string raw;
    bool operator==(const Tok &) const = default;
};
void PrintTo(const Tok &tok, std::ostream *os);

using Toks = std::vector<Tok>;

// A token vector made with rfcMailShfTokenCreateRawValue; each raw value must
// classify as the type given (checked with a test failure).
pb::Ref<PB_VECTOR> vectorOf(const Toks &toks);
// The tokens of a token vector.
Toks toksOf(PB_VECTOR *vec);

pb::Ref<RFC_MAIL_SHF_TOKEN> tokenOf(PB_STRING *raw);
std::u32string rawOf(RFC_MAIL_SHF_TOKEN *tok);
std::u32string valueOf(RFC_MAIL_SHF_TOKEN *tok);

// Decodes text: the tokens, or false when the decoder refuses it.
bool decode(const std::u32string &text, Toks &toks);
std::u32string encode(const Toks &toks, PB_INT wrapLineLength, PB_INT firstLineOffset);

// Printable form of code points: ASCII graphics as they are, everything
// else as \u{hex}.
std::string show(const std::u32string &text);

// A regular expression matching text literally (for EXPECT_DEATH).
std::string literal(const std::string &text);

} // namespace mailtest

#endif
