// The properties every header text and every content must have, checked by
// the round-trip test over generated input and by the fuzzer over arbitrary
// input. Each check returns the property that fails, or null; only the
// runtime is used, so the fuzzer needs no test framework.
#ifndef MAIL_PROPERTIES_H
#define MAIL_PROPERTIES_H

#include <rfc/mail/rfc_mail.h>
#include <pb/pb_cpp.h>

#include <algorithm>

namespace mailprop {

using String = pb::Ref<PB_STRING>;

// The token at i, kept alive by the vector.
inline RFC_MAIL_SHF_TOKEN *tokenAt(PB_VECTOR *vec, PB_INT i)
{
    return rfcMailShfTokenFrom(pb::Ref<PB_OBJ>(pbVectorObjAt(vec, i)).get());
}

inline PB_INT countCr(PB_STRING *s)
{
    return std::count(pbStringBacking(s), pbStringBacking(s) + pbStringLength(s), PB_CHAR('\r'));
}

// The tokens stand in the text in order, each copied exactly, with nothing
// but separators (space and controls) between them, and every atom as long
// as it can be.
inline bool covers(PB_STRING *text, PB_VECTOR *vec)
{
    const PB_CHAR *chars = pbStringBacking(text);
    PB_INT at = 0, length = pbStringLength(text);
    auto skipSeparators = [&] {
        while (at < length && (chars[at] == ' ' || rfc___MailCharIsCtl(chars[at])))
            ++at;
    };
    for (PB_INT i = 0; i < pbVectorLength(vec); ++i) {
        skipSeparators();
        RFC_MAIL_SHF_TOKEN *tok = tokenAt(vec, i);
        String raw(rfcMailShfTokenRawValue(tok));
        PB_INT n = pbStringLength(raw.get());
        if (at + n > length || !std::equal(chars + at, chars + at + n, pbStringBacking(raw.get())))
            return false;
        at += n;
        if (rfcMailShfTokenType(tok) == RFC_MAIL_SHF_TOKEN_TYPE_ATOM && at < length
            && !(rfc___MailCharIsSpecial(chars[at]) || rfc___MailCharIsCtl(chars[at]) || chars[at] == ' '))
            return false;
    }
    skipSeparators();
    return at == length;
}

// The text written at wrap and offset decodes back to the same tokens; it
// folds first exactly when the offset is past the wrap length, never starts
// with a space nor ends with a line break, and without a wrap length has no
// CR but those inside tokens.
inline const char *reencodingFailure(PB_VECTOR *vec, PB_INT wrap, PB_INT offset)
{
    String text(rfcMailShfTokenVectorEncode(vec, wrap, offset));
    pb::Ref<PB_VECTOR> again(rfcMailShfTokenVectorTryDecode(text.get()));
    if (!again || pbVectorLength(again.get()) != pbVectorLength(vec))
        return "the written text decodes to as many tokens";
    PB_INT crInside = 0;
    for (PB_INT i = 0; i < pbVectorLength(vec); ++i) {
        String x(rfcMailShfTokenRawValue(tokenAt(vec, i))), y(rfcMailShfTokenRawValue(tokenAt(again.get(), i)));
        if (rfcMailShfTokenType(tokenAt(vec, i)) != rfcMailShfTokenType(tokenAt(again.get(), i)) || !pbObjEquals(pb::obj(x.get()), pb::obj(y.get())))
            return "decode(encode(v)) gives v";
        crInside += countCr(x.get());
    }
    const PB_CHAR *chars = pbStringBacking(text.get());
    PB_INT n = pbStringLength(text.get());
    bool foldFirst = n >= 3 && chars[0] == '\r' && chars[1] == '\n' && chars[2] == ' ';
    if (foldFirst != (wrap != -1 && offset > wrap && pbVectorLength(vec) > 0))
        return "folds first exactly when the offset is past the wrap length";
    if ((n > 0 && chars[0] == ' ') || (n >= 2 && chars[n - 2] == '\r' && chars[n - 1] == '\n'))
        return "no space first, no line break last";
    if (wrap == -1 && countCr(text.get()) != crInside)
        return "without a wrap length, no line breaks but those inside tokens";
    return nullptr;
}

// The decoder with reasons agrees with the plain one. A decoded vector covers the text,
// each token classifies as its type, the vector survives writing without
// folds and at wrap and offset, and comment removal takes exactly the
// comments from a copy of the shared vector, which still survives writing.
// decoded, when given, tells whether the text decoded.
inline const char *textFailure(PB_STRING *text, PB_INT wrap, PB_INT offset, bool *decoded = nullptr)
{
    RFC_MAIL_SHF_TOKEN_VECTOR_DECODE_REFUSAL refusal { 0, -1, -1, -1 };
    pb::Ref<PB_VECTOR> withRefusal(rfcMailShfTokenVectorTryDecodeWithRefusal(text, &refusal));
    pb::Ref<PB_VECTOR> vec(rfcMailShfTokenVectorTryDecode(text));
    if (decoded)
        *decoded = static_cast<bool>(vec);
    if (!vec != (refusal.kind != 0) || !vec != !withRefusal)
        return "the decoder with reasons agrees with the plain one";
    if (vec && pbVectorLength(vec.get()) != pbVectorLength(withRefusal.get()))
        return "both decoders give the same tokens";
    if (!vec)
        return nullptr;
    if (!covers(text, vec.get()))
        return "the tokens cover the text";
    PB_INT comments = 0;
    for (PB_INT i = 0; i < pbVectorLength(vec.get()); ++i) {
        RFC_MAIL_SHF_TOKEN *tok = tokenAt(vec.get(), i);
        pb::Ref<RFC_MAIL_SHF_TOKEN> classified(rfcMailShfTokenCreateRawValue(String(rfcMailShfTokenRawValue(tok)).get()));
        if (rfcMailShfTokenType(classified.get()) != rfcMailShfTokenType(tok))
            return "the token's type is its classification";
        comments += rfcMailShfTokenType(tok) == RFC_MAIL_SHF_TOKEN_TYPE_COMMENT;
    }
    for (const char *failed : { reencodingFailure(vec.get(), -1, 0), reencodingFailure(vec.get(), wrap, offset) }) {
        if (failed)
            return failed;
    }
    auto shared = pb::Ref<PB_VECTOR>::retained(vec.get());
    rfcMailShfTokenVectorDelComments(vec.addr());
    if (pbVectorLength(vec.get()) + comments != pbVectorLength(shared.get()))
        return "every comment removed from a copy, nothing else";
    return reencodingFailure(vec.get(), wrap, offset);
}

// The value of a token made from content is that content, and its raw
// value decodes as that one token.
inline const char *contentFailure(PB_STRING *content)
{
    for (auto create : { rfcMailShfTokenCreateAtomOrQuotedString, rfcMailShfTokenCreateComment }) {
        pb::Ref<RFC_MAIL_SHF_TOKEN> tok(create(content));
        if (!pbObjEquals(pb::obj(String(rfcMailShfTokenValue(tok.get())).get()), pb::obj(content)))
            return "the value of a token made from content is that content";
        String raw(rfcMailShfTokenRawValue(tok.get()));
        pb::Ref<PB_VECTOR> vec(rfcMailShfTokenVectorTryDecode(raw.get()));
        if (!vec || pbVectorLength(vec.get()) != 1 || !covers(raw.get(), vec.get())
            || rfcMailShfTokenType(tokenAt(vec.get(), 0)) != rfcMailShfTokenType(tok.get()))
            return "the raw value decodes as that one token";
    }
    return nullptr;
}

} // namespace mailprop

#endif
