// Strings of code points and byte buffers. Both keep their elements in one
// block: at creation inside the object's own allocation, after growth (or
// when handed over by the caller) in a separate block that the object owns.
#include "pb_internal.h"

#include <algorithm>

struct PB_STRING {
    PB___OBJ_HEADER header;
    PB_INT length;
    PB_INT capacity; // code points the block holds from chars on
    PB_CHAR *chars;
    // Code points of the block before chars (room to prepend), kept in a
    // reserved word of the runtime's own header so that a string stays as
    // small as it was.
    PB_INT &front() noexcept { return header.reserved[1]; }
};

struct PB_BUFFER {
    PB___OBJ_HEADER header;
    PB_INT length;
    PB_INT capacity;
    PB_BYTE *bytes;
};

namespace {

template <class Obj, class Elem>
Elem *inlineStorage(Obj *obj) noexcept
{
    return reinterpret_cast<Elem *>(obj + 1);
}

void stringFree(PB_OBJ *obj)
{
    auto *s = reinterpret_cast<PB_STRING *>(obj);
    if (s->chars - s->front() != inlineStorage<PB_STRING, PB_CHAR>(s))
        pbMemFree(s->chars - s->front());
}

void bufferFree(PB_OBJ *obj)
{
    auto *b = reinterpret_cast<PB_BUFFER *>(obj);
    if (b->bytes != inlineStorage<PB_BUFFER, PB_BYTE>(b))
        pbMemFree(b->bytes);
}

PB_INT stringCompare(PB_OBJ *a, PB_OBJ *b)
{
    auto *x = reinterpret_cast<PB_STRING *>(a);
    auto *y = reinterpret_cast<PB_STRING *>(b);
    PB_INT common = std::min(x->length, y->length);
    for (PB_INT i = 0; i < common; ++i)
        if (x->chars[i] != y->chars[i])
            return x->chars[i] < y->chars[i] ? -1 : 1;
    return x->length < y->length ? -1 : x->length > y->length ? 1 : 0;
}

PB_INT bufferCompare(PB_OBJ *a, PB_OBJ *b)
{
    auto *x = reinterpret_cast<PB_BUFFER *>(a);
    auto *y = reinterpret_cast<PB_BUFFER *>(b);
    PB_INT common = std::min(x->length, y->length);
    int order = common ? std::memcmp(x->bytes, y->bytes, static_cast<std::size_t>(common)) : 0;
    if (order != 0)
        return order < 0 ? -1 : 1;
    return x->length < y->length ? -1 : x->length > y->length ? 1 : 0;
}

PB___DEFINE_SORT(stringSort, "PB_STRING", stringFree, stringCompare);
PB___DEFINE_SORT(bufferSort, "PB_BUFFER", bufferFree, bufferCompare);

// True when every one of chars[0..count) is a code point (0 to U+10FFFF):
// the only values a string holds. A value x is one exactly when neither x
// nor 0x10FFFF - x (both taken as unsigned 32-bit words) has its top bit
// set; the words are or-ed together with no branch and no early exit, so
// that the compiler checks many at a time.
inline bool codePointsOnly(const PB_CHAR *chars, PB_INT count)
{
    std::uint32_t any = 0;
    for (PB_INT i = 0; i < count; ++i) {
        const auto x = static_cast<std::uint32_t>(chars[i]);
        any |= x | (0x10FFFFu - x);
    }
    return (any & 0x80000000u) == 0;
}

// A string with room for capacity code points in its own allocation.
PB_STRING *stringWithCapacity(PB_INT capacity)
{
    PB_ASSERT( capacity >= 0 && capacity <= PB_INT_MAX / 8 );
    auto *s = reinterpret_cast<PB_STRING *>(
        pb___ObjCreate(PB_INT(sizeof(PB_STRING)) + capacity * PB_INT(sizeof(PB_CHAR)), &stringSort));
    s->length = 0;
    s->capacity = capacity;
    s->chars = inlineStorage<PB_STRING, PB_CHAR>(s);
    return s;
}

PB_BUFFER *bufferWithCapacity(PB_INT capacity)
{
    PB_ASSERT( capacity >= 0 && capacity <= PB_INT_MAX / 2 );
    auto *b = reinterpret_cast<PB_BUFFER *>(pb___ObjCreate(PB_INT(sizeof(PB_BUFFER)) + capacity, &bufferSort));
    b->length = 0;
    b->capacity = capacity;
    b->bytes = inlineStorage<PB_BUFFER, PB_BYTE>(b);
    return b;
}

PB_STRING *stringCopy(PB_STRING *s)
{
    PB_STRING *copy = stringWithCapacity(s->length);
    if (s->length)
        std::memcpy(copy->chars, s->chars, static_cast<std::size_t>(s->length) * sizeof(PB_CHAR));
    copy->length = s->length;
    return copy;
}

PB_BUFFER *bufferCopy(PB_BUFFER *b)
{
    PB_BUFFER *copy = bufferWithCapacity(b->length);
    if (b->length)
        std::memcpy(copy->bytes, b->bytes, static_cast<std::size_t>(b->length));
    copy->length = b->length;
    return copy;
}

// Makes room for extra more elements at the end of an unshared object. A
// string that has room at its front gives it up first when that room is at
// least its length, so that a string used as a queue (appended at the end,
// deleted at the front) does not grow without bound and each move is paid
// for by as many deletions.
template <class Obj, class Elem>
void reserve(Obj *obj, Elem *&elements, PB_INT extra)
{
    PB_ASSERT( extra >= 0 && PB_INT_ADD_OK( obj->length, extra ) );
    PB_INT needed = obj->length + extra;
    if (needed <= obj->capacity)
        return;
    Elem *block = elements;
    if constexpr (requires { obj->front(); }) {
        block = elements - obj->front();
        if (obj->front() && obj->front() >= obj->length && needed <= obj->capacity + obj->front()) {
            std::memmove(block, elements, static_cast<std::size_t>(obj->length) * sizeof(Elem));
            obj->capacity += obj->front();
            obj->front() = 0;
            elements = block;
            return;
        }
    }
    PB_INT capacity = pb::internal::grownCapacity(obj->capacity, needed);
    PB_ASSERT( capacity <= PB_INT_MAX / PB_INT(sizeof(Elem)) );
    if (block == inlineStorage<Obj, Elem>(obj) || block != elements) {
        auto *fresh = static_cast<Elem *>(pbMemAlloc(capacity * PB_INT(sizeof(Elem))));
        if (obj->length)
            std::memcpy(fresh, elements, static_cast<std::size_t>(obj->length) * sizeof(Elem));
        if (block != inlineStorage<Obj, Elem>(obj))
            pbMemFree(block);
        elements = fresh;
    } else {
        elements = static_cast<Elem *>(pbMemRealloc(elements, capacity * PB_INT(sizeof(Elem))));
    }
    if constexpr (requires { obj->front(); })
        obj->front() = 0;
    obj->capacity = capacity;
}

PB_STRING *writableString(PB_STRING **s)
{
    PB_ASSERT( s );
    PB_ASSERT( *s );
    return pb::internal::writable(s, stringCopy);
}

PB_BUFFER *writableBuffer(PB_BUFFER **b)
{
    PB_ASSERT( b );
    PB_ASSERT( *b );
    return pb::internal::writable(b, bufferCopy);
}

// Decodes one UTF-8 sequence at text[i..end). Returns the code point and
// advances i, or returns -1 (advancing i by one byte) when the sequence is
// malformed: truncated, overlong, a surrogate or above U+10FFFF.
PB_CHAR decodeUtf8(const PB_BYTE *text, PB_INT &i, PB_INT end)
{
    PB_BYTE lead = text[i];
    if (lead < 0x80) {
        ++i;
        return lead;
    }
    int count;
    PB_CHAR c;
    PB_CHAR minimum;
    if ((lead & 0xE0) == 0xC0) {
        count = 1, c = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        count = 2, c = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        count = 3, c = lead & 0x07, minimum = 0x10000;
    } else {
        ++i;
        return -1;
    }
    if (end - i < count + 1) {
        ++i;
        return -1;
    }
    for (int k = 1; k <= count; ++k) {
        PB_BYTE next = text[i + k];
        if ((next & 0xC0) != 0x80) {
            ++i;
            return -1;
        }
        c = (c << 6) | (next & 0x3F);
    }
    if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        ++i;
        return -1;
    }
    i += count + 1;
    return c;
}

PB_INT utf8Length(PB_CHAR c)
{
    if (c < 0 || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return 3; // U+FFFD
    return c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
}

char *encodeUtf8(PB_CHAR c, char *out)
{
    if (c < 0 || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        c = 0xFFFD;
    if (c < 0x80) {
        *out++ = char(c);
    } else if (c < 0x800) {
        *out++ = char(0xC0 | (c >> 6));
        *out++ = char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        *out++ = char(0xE0 | (c >> 12));
        *out++ = char(0x80 | ((c >> 6) & 0x3F));
        *out++ = char(0x80 | (c & 0x3F));
    } else {
        *out++ = char(0xF0 | (c >> 18));
        *out++ = char(0x80 | ((c >> 12) & 0x3F));
        *out++ = char(0x80 | ((c >> 6) & 0x3F));
        *out++ = char(0x80 | (c & 0x3F));
    }
    return out;
}

// Decodes UTF-8; strict gives null on the first malformed sequence, lenient
// puts U+FFFD in its place.
PB_STRING *stringFromUtf8(const PB_BYTE *text, PB_INT length, bool strict)
{
    PB_STRING *s = stringWithCapacity(length);
    PB_INT i = 0;
    while (i < length) {
        PB_CHAR c = decodeUtf8(text, i, length);
        if (c < 0) {
            if (strict) {
                pbObjRelease(reinterpret_cast<PB_OBJ *>(s));
                return nullptr;
            }
            c = 0xFFFD;
        }
        s->chars[s->length++] = c;
    }
    return s;
}

} // namespace

namespace pb::internal {

pb::Text stringToStd(PB_STRING *s)
{
    pb::Text text;
    text.reserve(static_cast<std::size_t>(s->length));
    char unit[4];
    for (PB_INT i = 0; i < s->length; ++i)
        text.append(unit, encodeUtf8(s->chars[i], unit));
    return text;
}

pb::Text nameText(const char *name, PB_INT nameLength)
{
    PB_ASSERT( name );
    PB_ASSERT( nameLength >= -1 );
    return nameLength < 0 ? pb::Text(name) : pb::Text(name, static_cast<std::size_t>(nameLength));
}

} // namespace pb::internal

extern "C" {

PB_API const PB_SORT *pbStringSort(void) noexcept
{
    return &stringSort;
}

PB_API PB_OBJ *pbStringObj(PB_STRING *s) noexcept
{
    return reinterpret_cast<PB_OBJ *>(s);
}

PB_API PB_STRING *pbStringFrom(PB_OBJ *obj) noexcept
{
    PB_ASSERT( !obj || pbObjSort(obj) == &stringSort );
    return reinterpret_cast<PB_STRING *>(obj);
}

PB_API PB_STRING *pbStringCreate(void) noexcept
{
    return stringWithCapacity(0);
}

PB_API PB_STRING *pbStringCreateFromCstr(const char *utf8, PB_INT length) noexcept
{
    PB_ASSERT( utf8 || length == 0 );
    PB_ASSERT( length >= -1 );
    if (length < 0)
        length = PB_INT(std::strlen(utf8));
    return stringFromUtf8(reinterpret_cast<const PB_BYTE *>(utf8), length, false);
}

PB_API PB_STRING *pbStringTryCreateFromUtf8(const PB_BYTE *bytes, PB_INT length) noexcept
{
    PB_ASSERT( bytes || length == 0 );
    PB_ASSERT( length >= 0 );
    return stringFromUtf8(bytes, length, true);
}

PB_API PB_STRING *pbStringCreateFromAscii(const PB_BYTE *bytes, PB_INT count) noexcept
{
    PB_ASSERT( bytes || count == 0 );
    PB_ASSERT( count >= 0 );
    PB_STRING *s = stringWithCapacity(count);
    for (PB_INT i = 0; i < count; ++i)
        s->chars[i] = bytes[i];
    s->length = count;
    return s;
}

// Made for every token a decoder finds: the object's creation is inlined.
[[gnu::flatten]] PB_API PB_STRING *pbStringCreateFromCharsCopy(const PB_CHAR *chars, PB_INT count) noexcept
{
    PB_ASSERT( chars || count == 0 );
    PB_ASSERT( count >= 0 );
    PB_STRING *s = stringWithCapacity(count);
    // Most strings made from code points in hand are short (tokens, names):
    // copy those in place rather than through a call, or-ing the values on
    // the way. Every value is a code point when the or is at most U+10FFFF
    // (none is negative or larger); only a larger or, which code points of
    // the upper planes also give, needs codePointsOnly's exact check.
    if (count <= 8) {
        std::uint32_t any = 0;
        for (PB_INT i = 0; i < count; ++i) {
            any |= static_cast<std::uint32_t>(chars[i]);
            s->chars[i] = chars[i];
        }
        if (any > 0x10FFFFu) [[unlikely]]
            PB_ASSERT( codePointsOnly( chars, count ) );
    } else {
        PB_ASSERT( codePointsOnly( chars, count ) );
        std::memcpy(s->chars, chars, static_cast<std::size_t>(count) * sizeof(PB_CHAR));
    }
    s->length = count;
    return s;
}

PB_API PB_STRING *pbStringCreateFromCharsUse(PB_CHAR *chars, PB_INT count) noexcept
{
    PB_ASSERT( chars || count == 0 );
    PB_ASSERT( count >= 0 );
    PB_ASSERT( codePointsOnly( chars, count ) );
    PB_STRING *s = stringWithCapacity(0);
    if (chars) {
        s->chars = chars; // front stays 0: chars is the block
        s->length = count;
        s->capacity = count;
    }
    return s;
}

PB_API PB_INT pbStringLength(PB_STRING *s) noexcept
{
    PB_ASSERT( s );
    return s->length;
}

PB_API const PB_CHAR *pbStringBacking(PB_STRING *s) noexcept
{
    PB_ASSERT( s );
    return s->chars;
}

PB_API PB_CHAR pbStringCharAt(PB_STRING *s, PB_INT index) noexcept
{
    PB_ASSERT( s );
    PB_ASSERT( index >= 0 && index < s->length );
    return s->chars[index];
}

PB_API PB_BOOL pbStringEqualsCstr(PB_STRING *s, const char *ascii) noexcept
{
    PB_ASSERT( s );
    PB_ASSERT( ascii );
    std::size_t length = std::strlen(ascii);
    if (s->length != PB_INT(length))
        return PB_FALSE;
    for (std::size_t i = 0; i < length; ++i)
        if (s->chars[i] != PB_CHAR(static_cast<unsigned char>(ascii[i])))
            return PB_FALSE;
    return PB_TRUE;
}

PB_API void pbStringAppendChars(PB_STRING **s, const PB_CHAR *chars, PB_INT count) noexcept
{
    PB_ASSERT( chars || count == 0 );
    PB_ASSERT( count >= 0 );
    PB_ASSERT( codePointsOnly( chars, count ) );
    PB_STRING *target = writableString(s);
    if (!count)
        return;
    // chars may point into target itself; keep the old block until copied.
    PB_CHAR *old = target->chars;
    bool inside = chars >= old && chars < old + target->length;
    PB_INT offset = inside ? chars - old : 0;
    PB_CHAR *keep = nullptr;
    if (inside && target->length + count > target->capacity) {
        keep = static_cast<PB_CHAR *>(pbMemAlloc(count * PB_INT(sizeof(PB_CHAR))));
        std::memcpy(keep, old + offset, static_cast<std::size_t>(count) * sizeof(PB_CHAR));
        chars = keep;
    }
    reserve(target, target->chars, count);
    std::memmove(target->chars + target->length, chars, static_cast<std::size_t>(count) * sizeof(PB_CHAR));
    target->length += count;
    pbMemFree(keep);
}

PB_API void pbStringAppend(PB_STRING **s, PB_STRING *tail) noexcept
{
    PB_ASSERT( tail );
    pb::Ref<PB_STRING> hold = pb::Ref<PB_STRING>::retained(tail);
    PB_INT count = tail->length;
    if (s && *s == tail) {
        // Appending a string to itself: work from a copy of its elements.
        pb::Ref<PB_STRING> copy(stringCopy(tail));
        pbStringAppendChars(s, copy.get()->chars, count);
        return;
    }
    pbStringAppendChars(s, tail->chars, count);
}

PB_API void pbStringAppendChar(PB_STRING **s, PB_CHAR c) noexcept
{
    PB_ASSERT( c >= 0 && c <= 0x10FFFF );
    PB_STRING *target = writableString(s);
    reserve(target, target->chars, 1);
    target->chars[target->length++] = c;
}

PB_API void pbStringAppendCstr(PB_STRING **s, const char *utf8, PB_INT length) noexcept
{
    pb::Ref<PB_STRING> tail(pbStringCreateFromCstr(utf8, length));
    pbStringAppend(s, tail.get());
}

// Prepending and deleting at the front cost a constant amortised time: the
// string keeps room before its first code point, made (as large as the
// string) when a prepend finds none, and a deletion at the front moves the
// start of the string instead of its code points.
PB_API void pbStringPrependChar(PB_STRING **s, PB_CHAR c) noexcept
{
    PB_ASSERT( c >= 0 && c <= 0x10FFFF );
    PB_STRING *target = writableString(s);
    if (target->front() == 0) {
        PB_INT room = std::max<PB_INT>(target->length, 16);
        PB_ASSERT( target->capacity <= PB_INT_MAX / PB_INT( sizeof( PB_CHAR ) ) - room );
        auto *block = static_cast<PB_CHAR *>(pbMemAlloc((room + target->capacity) * PB_INT(sizeof(PB_CHAR))));
        if (target->length)
            std::memcpy(block + room, target->chars, static_cast<std::size_t>(target->length) * sizeof(PB_CHAR));
        if (target->chars != inlineStorage<PB_STRING, PB_CHAR>(target))
            pbMemFree(target->chars);
        target->chars = block + room;
        target->front() = room;
    }
    --target->chars;
    --target->front();
    ++target->capacity;
    target->chars[0] = c;
    ++target->length;
}

PB_API void pbStringDelLeading(PB_STRING **s, PB_INT count) noexcept
{
    PB_ASSERT( s && *s );
    PB_ASSERT( count >= 0 && count <= (*s)->length );
    if (!count)
        return;
    PB_STRING *target = writableString(s);
    target->chars += count;
    target->front() += count;
    target->capacity -= count;
    target->length -= count;
}

PB_API void pbStringDelTrailing(PB_STRING **s, PB_INT count) noexcept
{
    PB_ASSERT( s && *s );
    PB_ASSERT( count >= 0 && count <= (*s)->length );
    if (!count)
        return;
    writableString(s)->length -= count;
}

PB_API PB_BYTE *pbStringConvertToAscii(PB_STRING *s, PB_INT flags, PB_INT *count) noexcept
{
    PB_ASSERT( s );
    PB_ASSERT( flags == 0 );
    PB_ASSERT( count );
    auto *bytes = static_cast<PB_BYTE *>(pbMemAlloc(s->length));
    for (PB_INT i = 0; i < s->length; ++i) {
        PB_CHAR c = s->chars[i];
        bytes[i] = (c >= 0 && c <= 0xFF) ? PB_BYTE(c) : PB_BYTE(0xFF);
    }
    *count = s->length;
    return bytes;
}

PB_API char *pbStringConvertToUtf8(PB_STRING *s, PB_INT *length) noexcept
{
    PB_ASSERT( s );
    PB_INT total = 0;
    for (PB_INT i = 0; i < s->length; ++i)
        total += utf8Length(s->chars[i]);
    auto *text = static_cast<char *>(pbMemAlloc(total + 1));
    char *out = text;
    for (PB_INT i = 0; i < s->length; ++i)
        out = encodeUtf8(s->chars[i], out);
    *out = '\0';
    if (length)
        *length = total;
    return text;
}

PB_API const PB_SORT *pbBufferSort(void) noexcept
{
    return &bufferSort;
}

PB_API PB_OBJ *pbBufferObj(PB_BUFFER *b) noexcept
{
    return reinterpret_cast<PB_OBJ *>(b);
}

PB_API PB_BUFFER *pbBufferFrom(PB_OBJ *obj) noexcept
{
    PB_ASSERT( !obj || pbObjSort(obj) == &bufferSort );
    return reinterpret_cast<PB_BUFFER *>(obj);
}

PB_API PB_BUFFER *pbBufferCreate(void) noexcept
{
    return bufferWithCapacity(0);
}

PB_API PB_BUFFER *pbBufferCreateFromBytesCopy(const PB_BYTE *bytes, PB_INT count) noexcept
{
    PB_ASSERT( bytes || count == 0 );
    PB_ASSERT( count >= 0 );
    PB_BUFFER *b = bufferWithCapacity(count);
    if (count)
        std::memcpy(b->bytes, bytes, static_cast<std::size_t>(count));
    b->length = count;
    return b;
}

PB_API PB_BUFFER *pbBufferCreateFromBytesUse(PB_BYTE *bytes, PB_INT count) noexcept
{
    PB_ASSERT( bytes || count == 0 );
    PB_ASSERT( count >= 0 );
    PB_BUFFER *b = bufferWithCapacity(0);
    if (bytes) {
        b->bytes = bytes;
        b->length = count;
        b->capacity = count;
    }
    return b;
}

PB_API PB_INT pbBufferLength(PB_BUFFER *b) noexcept
{
    PB_ASSERT( b );
    return b->length;
}

PB_API const PB_BYTE *pbBufferBacking(PB_BUFFER *b) noexcept
{
    PB_ASSERT( b );
    return b->bytes;
}

PB_API void pbBufferAppendByte(PB_BUFFER **b, PB_BYTE byte) noexcept
{
    PB_BUFFER *target = writableBuffer(b);
    reserve(target, target->bytes, 1);
    target->bytes[target->length++] = byte;
}

PB_API void pbBufferAppendBytes(PB_BUFFER **b, const PB_BYTE *bytes, PB_INT count) noexcept
{
    PB_ASSERT( bytes || count == 0 );
    PB_ASSERT( count >= 0 );
    PB_BUFFER *target = writableBuffer(b);
    if (!count)
        return;
    PB_BYTE *keep = nullptr;
    if (bytes >= target->bytes && bytes < target->bytes + target->length
        && target->length + count > target->capacity) {
        keep = static_cast<PB_BYTE *>(pbMemAlloc(count));
        std::memcpy(keep, bytes, static_cast<std::size_t>(count));
        bytes = keep;
    }
    reserve(target, target->bytes, count);
    std::memmove(target->bytes + target->length, bytes, static_cast<std::size_t>(count));
    target->length += count;
    pbMemFree(keep);
}

PB_API void pbBufferDelTrailing(PB_BUFFER **b, PB_INT count) noexcept
{
    PB_ASSERT( b && *b );
    PB_ASSERT( count >= 0 && count <= (*b)->length );
    if (!count)
        return;
    writableBuffer(b)->length -= count;
}

} // extern "C"
