// Writes a token vector as folded header text, and removes the comments from
// a token vector.
//
// The encoder reads each token once, then runs its layout twice over what it
// read: once counting the characters it would write, once writing them into
// a block of exactly that size, which then becomes the result string without
// another copy.
#include "rfc_mail_internal.h"

#include <cstring>
#include <vector>

using namespace rfc::mail;

namespace {

// The fold written before a token once the line has grown too long. Its
// space starts the continuation line and counts as that line's first
// character.
constexpr PB_CHAR crlflwsp[3] = { cr, lf, space };

// One token as the layout reads it: its raw characters (owned by the token,
// which the encoder holds) and what the joining of words needs to know.
struct Item {
    const PB_CHAR *chars;
    PB_INT length;
    bool word;   // an atom or quoted string
    bool joiner; // the special "." or "@"
};

// Counts what the layout would write.
struct CountingOut {
    PB_INT count = 0;
    void write(const PB_CHAR *, PB_INT length) noexcept { count += length; }
    void write(PB_CHAR) noexcept { ++count; }
};

// Writes the layout into a block sized by CountingOut.
struct WritingOut {
    PB_CHAR *at;
    void write(const PB_CHAR *chars, PB_INT length) noexcept
    {
        std::memcpy(at, chars, static_cast<std::size_t>(length) * sizeof(PB_CHAR));
        at += length;
    }
    void write(PB_CHAR ch) noexcept { *at++ = ch; }
};

// The append step for one token: folds first if the current line is already
// longer than wrapLineLength (-1: never), the fold's space then standing in
// for the separating space; otherwise writes one separating space when space
// is set. Then writes the appendLength characters at append and keeps
// *curLineLength up to date.
template <class Out>
inline void rfc___MailShfTokenVectorAppend(Out &out, const PB_CHAR *append, PB_INT appendLength, bool space,
    PB_INT *curLineLength, PB_INT wrapLineLength)
{
    PB_ASSERT( append );
    PB_ASSERT( *curLineLength >= 0 );
    PB_ASSERT( wrapLineLength >= -1 );
    if (wrapLineLength != -1 && *curLineLength > wrapLineLength) {
        out.write(crlflwsp, 3);
        *curLineLength = 1;
        space = false;
    }
    // The guards keep their written form; in C++ !!space is a bool, whose
    // test against 0 inside the macro gcc reports as always true.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wbool-compare"
#endif
    PB_ASSERT( PB_INT_ADD_OK( appendLength, !!space ) );
    PB_ASSERT( PB_INT_ADD_OK( *curLineLength, appendLength + !!space ) );
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
    *curLineLength += appendLength + !!space;
    if (space)
        out.write(rfc::mail::space);
    out.write(append, appendLength);
}

// Lays out the items: one space between tokens, except inside runs of atoms
// and quoted strings joined by dots and at signs, which are written without
// spaces.
template <class Out>
void layOut(Out &out, const pb::Vector<Item> &items, PB_INT wrapLineLength, PB_INT firstLineOffset)
{
    PB_INT curLineLength = firstLineOffset;
    PB_INT n = static_cast<PB_INT>(items.size());
    auto at = [&](PB_INT i) -> const Item & { return items[static_cast<std::size_t>(i)]; };
    for (PB_INT i = 0; i < n; ++i) {
        rfc___MailShfTokenVectorAppend(out, at(i).chars, at(i).length, i > 0, &curLineLength, wrapLineLength);
        if (!at(i).word)
            continue;
        while (i + 2 < n && at(i + 1).joiner && at(i + 2).word) {
            rfc___MailShfTokenVectorAppend(out, at(i + 1).chars, at(i + 1).length, false, &curLineLength,
                wrapLineLength);
            rfc___MailShfTokenVectorAppend(out, at(i + 2).chars, at(i + 2).length, false, &curLineLength,
                wrapLineLength);
            i += 2;
        }
    }
}

} // namespace

extern "C" {

// Removes every comment from the token vector that *vec refers to; the other
// tokens keep their order. A vector without comments is left as it is;
// otherwise the tokens that stay are gathered in one pass into a new vector
// that replaces the caller's reference, so the work is linear in the length
// and another holder of the old vector sees no change.
RFC_API void rfcMailShfTokenVectorDelComments(PB_VECTOR **vec) noexcept
{
    PB_ASSERT( vec );
    PB_ASSERT( *vec );
    auto isComment = [](PB_OBJ *element) {
        RFC_MAIL_SHF_TOKEN *tok = rfcMailShfTokenFrom(element);
        PB_ASSERT( tok );
        return tok->type == RFC_MAIL_SHF_TOKEN_TYPE_COMMENT;
    };
    const PB_INT length = pbVectorLength(*vec);
    PB_INT first = 0;
    for (; first < length; ++first) {
        pb::Ref<PB_OBJ> element(pbVectorObjAt(*vec, first));
        if (isComment(element.get()))
            break;
    }
    if (first == length)
        return;
    pb::Ref<PB_VECTOR> kept(pbVectorCreate());
    for (PB_INT i = 0; i < length; ++i) {
        pb::Ref<PB_OBJ> element(pbVectorObjAt(*vec, i));
        if (i < first || (i > first && !isComment(element.get())))
            pbVectorAppendObj(kept.addr(), element.get());
    }
    pbObjRelease(pb::obj(*vec));
    *vec = kept.take();
}

// The tokens of vec (borrowed) as header text in a new string owned by the
// caller. The line is folded before a token once it is longer than
// wrapLineLength characters (-1: never); firstLineOffset characters are taken
// to stand on the first line already. Tokens are never split, so a line may
// end longer than wrapLineLength.
RFC_API PB_STRING *rfcMailShfTokenVectorEncode(PB_VECTOR *vec, PB_INT wrapLineLength, PB_INT firstLineOffset) noexcept
{
    PB_ASSERT( vec );
    PB_ASSERT( pbVectorContainsOnly( vec, rfcMailShfTokenSort() ) );
    PB_ASSERT( wrapLineLength >= -1 );
    PB_ASSERT( firstLineOffset >= 0 );

    PB_INT n = pbVectorLength(vec);
    if (n == 0)
        return pbStringCreate();
    // The tokens are held for the whole call; the items point into their raw
    // values.
    pb::Vector<pb::Ref<RFC_MAIL_SHF_TOKEN>> tokens;
    pb::Vector<Item> items;
    tokens.reserve(static_cast<std::size_t>(n));
    items.reserve(static_cast<std::size_t>(n));
    for (PB_INT i = 0; i < n; ++i) {
        RFC_MAIL_SHF_TOKEN *tok = rfcMailShfTokenFrom(pbVectorObjAt(vec, i));
        tokens.emplace_back(tok);
        const PB_CHAR *raw = pbStringBacking(tok->rawValue);
        PB_INT length = pbStringLength(tok->rawValue);
        bool word = tok->type == RFC_MAIL_SHF_TOKEN_TYPE_ATOM || tok->type == RFC_MAIL_SHF_TOKEN_TYPE_QUOTED_STRING;
        bool joiner = tok->type == RFC_MAIL_SHF_TOKEN_TYPE_SPECIAL && (raw[0] == '.' || raw[0] == '@');
        items.push_back({ raw, length, word, joiner });
    }

    CountingOut counting;
    layOut(counting, items, wrapLineLength, firstLineOffset);
    auto *chars = static_cast<PB_CHAR *>(pbMemAlloc(counting.count * PB_INT { sizeof(PB_CHAR) }));
    WritingOut writing { chars };
    layOut(writing, items, wrapLineLength, firstLineOffset);
    return pbStringCreateFromCharsUse(chars, counting.count);
}

} // extern "C"
