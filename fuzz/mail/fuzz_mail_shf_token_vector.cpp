// Fuzzes the decoder of structured header text and checks its properties on
// every input: no partial result, tokens that classify as their type, the
// decode-encode-decode round trip at the wrap length and offset the input
// chooses, comment removal, the value round trips of the content
// constructors, and no runtime object left alive.
#include <rfc/mail/rfc_mail.h>
#include <pb/pb_cpp.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

using String = pb::Ref<PB_STRING>;

void check(bool ok, const char *what)
{
    if (!ok) {
        std::fprintf(stderr, "property failed: %s\n", what);
        std::abort();
    }
}

bool sameChars(PB_STRING *a, PB_STRING *b)
{
    return pbObjEquals(pb::obj(a), pb::obj(b));
}

// The token at i, kept alive by the vector.
RFC_MAIL_SHF_TOKEN *tokenAt(PB_VECTOR *vec, PB_INT i)
{
    return rfcMailShfTokenFrom(pb::Ref<PB_OBJ>(pbVectorObjAt(vec, i)).get());
}

void checkReencoding(PB_VECTOR *vec, PB_INT wrap, PB_INT offset)
{
    pb::Ref<PB_VECTOR> again(rfcMailShfTokenVectorTryDecode(String(rfcMailShfTokenVectorEncode(vec, wrap, offset)).get()));
    check(again && pbVectorLength(again.get()) == pbVectorLength(vec), "the encoded text decodes to as many tokens");
    for (PB_INT i = 0; i < pbVectorLength(vec); ++i) {
        RFC_MAIL_SHF_TOKEN *x = tokenAt(vec, i), *y = tokenAt(again.get(), i);
        check(rfcMailShfTokenType(x) == rfcMailShfTokenType(y)
                && sameChars(String(rfcMailShfTokenRawValue(x)).get(), String(rfcMailShfTokenRawValue(y)).get()),
            "decode(encode(v)) gives v");
    }
}

void checkDecoded(PB_STRING *text, PB_INT wrap, PB_INT offset)
{
    PB_INT type, tokenOffset, failureOffset;
    PB_INT failure = rfc___MailShfTokenVectorDecodeDiagnose(text, &type, &tokenOffset, &failureOffset);
    pb::Ref<PB_VECTOR> vec(rfcMailShfTokenVectorTryDecode(text));
    check(!vec == (failure != RFC___MAIL_SHF_DECODE_FAILURE_NONE), "diagnosis agrees with the decoder");
    if (!vec)
        return;
    PB_INT comments = 0;
    for (PB_INT i = 0; i < pbVectorLength(vec.get()); ++i) {
        RFC_MAIL_SHF_TOKEN *tok = tokenAt(vec.get(), i);
        pb::Ref<RFC_MAIL_SHF_TOKEN> classified(rfcMailShfTokenCreateRawValue(String(rfcMailShfTokenRawValue(tok)).get()));
        check(rfcMailShfTokenType(classified.get()) == rfcMailShfTokenType(tok), "token type is its classification");
        comments += rfcMailShfTokenType(tok) == RFC_MAIL_SHF_TOKEN_TYPE_COMMENT;
    }
    checkReencoding(vec.get(), -1, 0);
    checkReencoding(vec.get(), wrap, offset);
    auto shared = pb::Ref<PB_VECTOR>::retained(vec.get());
    rfcMailShfTokenVectorDelComments(vec.addr());
    check(pbVectorLength(vec.get()) + comments == pbVectorLength(shared.get()), "every comment removed, nothing else");
    checkReencoding(vec.get(), wrap, offset);
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
    {
        String text;
        if (mode % 3 == 0) {
            text.reset(pbStringCreateFromAscii(rest, count));
        } else if (mode % 3 == 1) {
            text.reset(pbStringCreateFromCstr(reinterpret_cast<const char *>(rest), count));
        } else {
            std::vector<PB_CHAR> chars(static_cast<std::size_t>(count / 4) + 1);
            std::memcpy(chars.data(), rest, (chars.size() - 1) * sizeof(PB_CHAR));
            text.reset(pbStringCreateFromCharsCopy(chars.data(), static_cast<PB_INT>(chars.size() - 1)));
        }
        checkDecoded(text.get(), static_cast<PB_INT>((mode >> 2) & 0x0F) - 1, static_cast<PB_INT>(mode >> 6) * 20);
        for (auto create : { rfcMailShfTokenCreateAtomOrQuotedString, rfcMailShfTokenCreateComment }) {
            pb::Ref<RFC_MAIL_SHF_TOKEN> tok(create(text.get()));
            check(sameChars(String(rfcMailShfTokenValue(tok.get())).get(), text.get()), "value of a token made from content is that content");
        }
    }
    check(pbObjLiveCount() == live, "no runtime object left alive");
    return 0;
}
