// Fuzzes the decoder of structured header text and checks its properties on
// every input: no partial result, tokens that classify as their type, the
// decode-encode-decode round trip at the wrap length and offset the input
// chooses, comment removal, the value round trips of the content
// constructors, and no runtime object left alive.
#include <rfc/mail/rfc_mail.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

void check(bool ok, const char *what)
{
    if (!ok) {
        std::fprintf(stderr, "property failed: %s\n", what);
        std::abort();
    }
}

PB_OBJ *obj(void *typed)
{
    return static_cast<PB_OBJ *>(typed);
}

bool sameChars(PB_STRING *a, PB_STRING *b)
{
    PB_INT n = pbStringLength(a);
    return n == pbStringLength(b)
        && (n == 0 || std::memcmp(pbStringBacking(a), pbStringBacking(b), static_cast<std::size_t>(n) * sizeof(PB_CHAR)) == 0);
}

RFC_MAIL_SHF_TOKEN *tokenAt(PB_VECTOR *vec, PB_INT i)
{
    PB_OBJ *element = pbVectorObjAt(vec, i);
    pbObjRelease(element); // the vector keeps it alive
    return rfcMailShfTokenFrom(element);
}

// Same length, and token by token the same type and raw value.
bool sameTokens(PB_VECTOR *a, PB_VECTOR *b)
{
    if (pbVectorLength(a) != pbVectorLength(b))
        return false;
    for (PB_INT i = 0; i < pbVectorLength(a); ++i) {
        RFC_MAIL_SHF_TOKEN *x = tokenAt(a, i);
        RFC_MAIL_SHF_TOKEN *y = tokenAt(b, i);
        PB_STRING *rx = rfcMailShfTokenRawValue(x);
        PB_STRING *ry = rfcMailShfTokenRawValue(y);
        bool same = rfcMailShfTokenType(x) == rfcMailShfTokenType(y) && sameChars(rx, ry);
        pbObjRelease(obj(rx));
        pbObjRelease(obj(ry));
        if (!same)
            return false;
    }
    return true;
}

void checkReencoding(PB_VECTOR *vec, PB_INT wrap, PB_INT offset)
{
    PB_STRING *text = rfcMailShfTokenVectorEncode(vec, wrap, offset);
    PB_VECTOR *again = rfcMailShfTokenVectorTryDecode(text);
    check(again != nullptr, "the encoded text decodes");
    check(sameTokens(vec, again), "decode(encode(v)) gives v");
    pbObjRelease(obj(again));
    pbObjRelease(obj(text));
}

void checkDecoded(PB_STRING *text, PB_INT wrap, PB_INT offset)
{
    PB_INT type, tokenOffset, failureOffset;
    PB_INT failure = rfc___MailShfTokenVectorDecodeDiagnose(text, &type, &tokenOffset, &failureOffset);
    PB_VECTOR *vec = rfcMailShfTokenVectorTryDecode(text);
    check((vec == nullptr) == (failure != RFC___MAIL_SHF_DECODE_FAILURE_NONE), "diagnosis agrees with the decoder");
    if (!vec)
        return;
    PB_INT comments = 0;
    for (PB_INT i = 0; i < pbVectorLength(vec); ++i) {
        RFC_MAIL_SHF_TOKEN *tok = tokenAt(vec, i);
        PB_STRING *raw = rfcMailShfTokenRawValue(tok);
        RFC_MAIL_SHF_TOKEN *classified = rfcMailShfTokenCreateRawValue(raw);
        check(rfcMailShfTokenType(classified) == rfcMailShfTokenType(tok), "token type is its classification");
        comments += rfcMailShfTokenType(tok) == RFC_MAIL_SHF_TOKEN_TYPE_COMMENT;
        rfcMailShfTokenRelease(classified);
        pbObjRelease(obj(raw));
    }
    checkReencoding(vec, -1, 0);
    checkReencoding(vec, wrap, offset);

    PB_VECTOR *shared = vec;
    pbObjRetain(obj(shared));
    rfcMailShfTokenVectorDelComments(&vec);
    check(pbVectorLength(vec) + comments == pbVectorLength(shared), "every comment removed, nothing else");
    checkReencoding(vec, wrap, offset);
    pbObjRelease(obj(shared));
    pbObjRelease(obj(vec));
}

void checkContent(PB_STRING *content)
{
    RFC_MAIL_SHF_TOKEN *tokens[] = { rfcMailShfTokenCreateAtomOrQuotedString(content),
        rfcMailShfTokenCreateComment(content) };
    for (RFC_MAIL_SHF_TOKEN *tok : tokens) {
        PB_STRING *value = rfcMailShfTokenValue(tok);
        check(sameChars(value, content), "value of a token made from content is that content");
        pbObjRelease(obj(value));
        rfcMailShfTokenRelease(tok);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    check(pbModuleStartup(rfcModule()), "module startup");
    return 0;
}

// The first byte chooses how the rest becomes code points (bytes as code
// points, UTF-8, or any 32-bit values four bytes at a time, negative ones
// included), the fold width and the first-line offset.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 1)
        return 0;
    std::uint8_t mode = data[0];
    const auto *rest = reinterpret_cast<const PB_BYTE *>(data + 1);
    auto count = static_cast<PB_INT>(size - 1);
    PB_INT live = pbObjLiveCount();

    PB_STRING *text;
    switch (mode % 3) {
    case 0:
        text = pbStringCreateFromAscii(rest, count);
        break;
    case 1:
        text = pbStringCreateFromCstr(reinterpret_cast<const char *>(rest), count);
        break;
    default: {
        std::vector<PB_CHAR> chars(static_cast<std::size_t>(count / 4));
        if (!chars.empty())
            std::memcpy(chars.data(), rest, chars.size() * sizeof(PB_CHAR));
        text = pbStringCreateFromCharsCopy(chars.data(), static_cast<PB_INT>(chars.size()));
        break;
    }
    }
    PB_INT wrap = static_cast<PB_INT>((mode >> 2) & 0x0F) - 1;
    PB_INT offset = static_cast<PB_INT>(mode >> 6) * 20;
    checkDecoded(text, wrap, offset);
    checkContent(text);
    pbObjRelease(obj(text));

    check(pbObjLiveCount() == live, "no runtime object left alive");
    return 0;
}
