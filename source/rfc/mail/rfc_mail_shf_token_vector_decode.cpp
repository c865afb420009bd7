// Splits the body of a structured header field into its tokens: lenient
// between tokens (white space, line breaks and controls only separate them),
// strict inside quoted strings, domain literals and comments, where a
// malformed token makes the whole decode fail.
//
// The scanner is one loop over the code points with an explicit depth
// counter for nested comments, so no input can exhaust the stack. Each token
// costs one token object and one string of its characters copied once from
// the input.
#include "rfc_mail_internal.h"

#include <atomic>


using namespace rfc::mail;

namespace {

// Why the scan failed; code 0 while it has not.
struct Failure {
    PB_INT code = 0;
    PB_INT tokenType = -1;
    PB_INT tokenOffset = -1;
    PB_INT failureOffset = -1;
};

// Scans the delimited token of the given type whose opening character stands
// at text[start]. Returns the position after its closing character, or -1
// with failure filled in. Close is the closing character; comments nest.
template <PB_INT Type, PB_CHAR Close>
PB_INT scanDelimited(const PB_CHAR *text, PB_INT length, PB_INT start, Failure &failure) noexcept
{
    auto fail = [&](PB_INT code, PB_INT at) {
        failure.code = code;
        failure.tokenType = Type;
        failure.tokenOffset = start;
        failure.failureOffset = at;
        return PB_INT { -1 };
    };
    PB_INT at = start + 1;
    if (at >= length)
        return fail(RFC_MAIL_SHF_TOKEN_VECTOR_DECODE_REFUSAL_UNTERMINATED, length);
    PB_INT depth = 1;
    for (;;) {
        PB_CHAR ch = text[at];
        if (ch == backslash) {
            // A quoted pair takes the next character, whatever it is.
            if (at == length - 1)
                return fail(RFC_MAIL_SHF_TOKEN_VECTOR_DECODE_REFUSAL_UNTERMINATED, at);
            at += 2;
        } else if (ch == cr) {
            // A CR inside a delimited token must begin a fold: CR LF, then a
            // space or tab.
            if (at + 2 >= length || text[at + 1] != lf || !isLwsp(text[at + 2]))
                return fail(RFC_MAIL_SHF_TOKEN_VECTOR_DECODE_REFUSAL_BROKEN_LINE_BREAK, at);
            at += 3;
        } else if constexpr (Type == RFC_MAIL_SHF_TOKEN_TYPE_COMMENT) {
            if (ch == '(') {
                ++depth;
            } else if (ch == Close) {
                if (--depth == 0)
                    return at + 1;
            }
            ++at;
        } else {
            if (ch == Close)
                return at + 1;
            if (Type == RFC_MAIL_SHF_TOKEN_TYPE_DOMAIN_LITERAL && ch == '[')
                return fail(RFC_MAIL_SHF_TOKEN_VECTOR_DECODE_REFUSAL_NESTED_BRACKET, at);
            ++at;
        }
        if (at >= length)
            return fail(RFC_MAIL_SHF_TOKEN_VECTOR_DECODE_REFUSAL_UNTERMINATED, length);
    }
}

// Walks the whole text, handing each token to sink: sink.token(type, start,
// end) for atoms and delimited tokens (the characters text[start..end)),
// sink.special(ch) for specials. Returns false with failure filled in when a
// delimited token is malformed; the sink has then seen the tokens before it.
template <class Sink>
bool scan(const PB_CHAR *text, PB_INT length, Sink &sink, Failure &failure)
{
    PB_INT at = 0;
    while (at < length) {
        PB_CHAR ch = text[at];
        PB_INT end;
        CharClass cls = charClass(ch);
        // Atoms and specials make up most tokens: test for them before the
        // dispatch over the rarer classes.
        if (cls == classAtom) {
            end = at + 1;
            while (end < length && charClass(text[end]) == classAtom)
                ++end;
            sink.token(RFC_MAIL_SHF_TOKEN_TYPE_ATOM, at, end);
            at = end;
            continue;
        }
        if (cls == classSpecial) {
            sink.special(ch);
            ++at;
            continue;
        }
        switch (cls) {
        case classQuote:
            end = scanDelimited<RFC_MAIL_SHF_TOKEN_TYPE_QUOTED_STRING, quotationMark>(text, length, at, failure);
            if (end < 0)
                return false;
            sink.token(RFC_MAIL_SHF_TOKEN_TYPE_QUOTED_STRING, at, end);
            at = end;
            continue;
        case classBracket:
            end = scanDelimited<RFC_MAIL_SHF_TOKEN_TYPE_DOMAIN_LITERAL, ']'>(text, length, at, failure);
            if (end < 0)
                return false;
            sink.token(RFC_MAIL_SHF_TOKEN_TYPE_DOMAIN_LITERAL, at, end);
            at = end;
            continue;
        case classParen:
            end = scanDelimited<RFC_MAIL_SHF_TOKEN_TYPE_COMMENT, ')'>(text, length, at, failure);
            if (end < 0)
                return false;
            sink.token(RFC_MAIL_SHF_TOKEN_TYPE_COMMENT, at, end);
            at = end;
            continue;
        default: // a separator: space or control
            ++at;
            continue;
        }
    }
    return true;
}

// Builds the token vector: each new token joins the vector at once, which
// takes a reference of its own, and the sink then lets go of its reference.
// The vector is released on every path, and only a complete vector is
// handed out.
//
// Every token and its raw value are objects of their own: a shared raw
// value would need a locked reference per token, which costs more than a
// new one-character string.
class VectorSink {
public:
    explicit VectorSink(const PB_CHAR *text) : text_(text), vec_(pbVectorCreate()) {}
    VectorSink(const VectorSink &) = delete;
    VectorSink &operator=(const VectorSink &) = delete;

    // The scanner has established the type, and the characters form a valid
    // token of it, so the token is made without classifying again.
    //
    // The token joins the vector before its raw value is made: the vector's
    // reference is a locked instruction, which waits for every store before
    // it, and the token's header alone is fewer stores than the header and
    // the string together. Until its raw value is set the token is seen by
    // nobody, and its free function passes over a null raw value.
    void token(PB_INT type, PB_INT start, PB_INT end)
    {
        RFC_MAIL_SHF_TOKEN *tok = add(type);
        tok->rawValue = pbStringCreateFromCharsCopy(text_ + start, end - start);
    }

    void special(PB_CHAR ch)
    {
        RFC_MAIL_SHF_TOKEN *tok = add(RFC_MAIL_SHF_TOKEN_TYPE_SPECIAL);
        tok->rawValue = pbStringCreateFromCharsCopy(&ch, 1);
    }

    PB_VECTOR *take() { return vec_.take(); }

private:
    // A new token of the given type, its raw value not yet set, in the
    // vector, which holds its only reference.
    RFC_MAIL_SHF_TOKEN *add(PB_INT type)
    {
        RFC_MAIL_SHF_TOKEN *tok = tokenCreateUse(type, nullptr);
        pbVectorAppendObj(vec_.addr(), pb::obj(tok));
        // Nobody else can reach the new token yet: only this sink's
        // reference and that of its own unshared vector exist, so the count
        // drops from 2 to 1 by a plain atomic store, not a second locked
        // instruction, and the token cannot be freed here.
        std::atomic_ref<PB_INT>(tok->header.refCount).store(1, std::memory_order_relaxed);
        return tok;
    }

    const PB_CHAR *text_;
    pb::Ref<PB_VECTOR> vec_;
};

} // namespace

extern "C" {

// The tokens of text (borrowed) as a new vector owned by the caller, possibly
// empty; null when a delimited token is malformed. Never a partial vector.
RFC_API PB_VECTOR *rfcMailShfTokenVectorTryDecode(PB_STRING *text) noexcept
{
    const PB_CHAR *chars = pbStringBacking(text);
    VectorSink sink(chars);
    Failure failure;
    if (!scan(chars, pbStringLength(text), sink, failure))
        return nullptr;
    return sink.take();
}

// As rfcMailShfTokenVectorTryDecode, from the same scan; on refusal the
// scan's failure is written to *refusal.
RFC_API PB_VECTOR *rfcMailShfTokenVectorTryDecodeWithRefusal(PB_STRING *text,
    RFC_MAIL_SHF_TOKEN_VECTOR_DECODE_REFUSAL *refusal) noexcept
{
    PB_ASSERT( text );
    PB_ASSERT( refusal );
    const PB_CHAR *chars = pbStringBacking(text);
    VectorSink sink(chars);
    Failure failure;
    if (!scan(chars, pbStringLength(text), sink, failure)) {
        *refusal = { failure.code, failure.failureOffset, failure.tokenType, failure.tokenOffset };
        return nullptr;
    }
    return sink.take();
}

RFC_API const char *rfcMailShfTokenVectorDecodeRefusalKindToString(PB_INT kind) noexcept
{
    switch (kind) {
    case RFC_MAIL_SHF_TOKEN_VECTOR_DECODE_REFUSAL_UNTERMINATED:
        return "RFC_MAIL_SHF_TOKEN_VECTOR_DECODE_REFUSAL_UNTERMINATED";
    case RFC_MAIL_SHF_TOKEN_VECTOR_DECODE_REFUSAL_BROKEN_LINE_BREAK:
        return "RFC_MAIL_SHF_TOKEN_VECTOR_DECODE_REFUSAL_BROKEN_LINE_BREAK";
    case RFC_MAIL_SHF_TOKEN_VECTOR_DECODE_REFUSAL_NESTED_BRACKET:
        return "RFC_MAIL_SHF_TOKEN_VECTOR_DECODE_REFUSAL_NESTED_BRACKET";
    default:
        return "unknown";
    }
}

} // extern "C"
