// Vectors, boxed integers, dictionaries and stores. Dictionaries are small
// in this system (a handful of keys): they keep their entries in insertion
// order and search linearly. Stores keep theirs sorted by key, so that two
// stores with the same contents compare equal whatever the order of setting.
#include "pb_internal.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <vector>

struct PB_VECTOR {
    PB___OBJ_HEADER header;
    PB_INT length;
    PB_INT capacity; // items the block holds from items on
    PB_OBJ **items;
    PB_INT front;    // items of the block before items, left by deletions at the front
};

struct PB_BOXED_INT {
    PB___OBJ_HEADER header;
    PB_INT value;
};

namespace {

struct DictEntry {
    PB_OBJ *key;
    PB_OBJ *value;
};

struct StoreEntry {
    pb::Text key;
    PB_STRING *text; // null when the entry holds an integer
    PB_INT integer;
};

} // namespace

struct PB_DICT {
    PB___OBJ_HEADER header;
    pb::Vector<DictEntry> *entries;
};

struct PB_STORE {
    PB___OBJ_HEADER header;
    pb::Vector<StoreEntry> *entries;
};

namespace {

void vectorFree(PB_OBJ *obj)
{
    auto *v = reinterpret_cast<PB_VECTOR *>(obj);
    pb::internal::releaseEach(v->items, v->length);
    pbMemFree(v->items ? v->items - v->front : nullptr);
}

PB_INT vectorCompare(PB_OBJ *a, PB_OBJ *b)
{
    auto *x = reinterpret_cast<PB_VECTOR *>(a);
    auto *y = reinterpret_cast<PB_VECTOR *>(b);
    for (PB_INT i = 0; i < x->length && i < y->length; ++i)
        if (PB_INT order = pbObjCompare(x->items[i], y->items[i]))
            return order;
    return x->length < y->length ? -1 : x->length > y->length ? 1 : 0;
}

PB_INT boxedIntCompare(PB_OBJ *a, PB_OBJ *b)
{
    PB_INT x = reinterpret_cast<PB_BOXED_INT *>(a)->value;
    PB_INT y = reinterpret_cast<PB_BOXED_INT *>(b)->value;
    return x < y ? -1 : x > y ? 1 : 0;
}

void dictFree(PB_OBJ *obj)
{
    auto *d = reinterpret_cast<PB_DICT *>(obj);
    for (DictEntry &entry : *d->entries) {
        pbObjRelease(entry.key);
        pbObjRelease(entry.value);
    }
    pb::internal::destroy(d->entries);
}

void storeFree(PB_OBJ *obj)
{
    auto *st = reinterpret_cast<PB_STORE *>(obj);
    for (StoreEntry &entry : *st->entries)
        pbObjRelease(reinterpret_cast<PB_OBJ *>(entry.text));
    pb::internal::destroy(st->entries);
}

// Stores order by their entries: key, then kind, then value.
PB_INT storeCompare(PB_OBJ *a, PB_OBJ *b)
{
    auto &x = *reinterpret_cast<PB_STORE *>(a)->entries;
    auto &y = *reinterpret_cast<PB_STORE *>(b)->entries;
    for (std::size_t i = 0; i < x.size() && i < y.size(); ++i) {
        if (int order = x[i].key.compare(y[i].key))
            return order < 0 ? -1 : 1;
        if (!x[i].text != !y[i].text)
            return x[i].text ? 1 : -1;
        if (x[i].text) {
            if (PB_INT order = pbObjCompare(pbStringObj(x[i].text), pbStringObj(y[i].text)))
                return order;
        } else if (x[i].integer != y[i].integer) {
            return x[i].integer < y[i].integer ? -1 : 1;
        }
    }
    return x.size() < y.size() ? -1 : x.size() > y.size() ? 1 : 0;
}

PB___DEFINE_SORT(vectorSort, "PB_VECTOR", vectorFree, vectorCompare);
PB___DEFINE_SORT(boxedIntSort, "PB_BOXED_INT", nullptr, boxedIntCompare);
PB___DEFINE_SORT(dictSort, "PB_DICT", dictFree, nullptr);
PB___DEFINE_SORT(storeSort, "PB_STORE", storeFree, storeCompare);

PB_VECTOR *vectorWithCapacity(PB_INT capacity)
{
    auto *v = reinterpret_cast<PB_VECTOR *>(pb___ObjCreate(sizeof(PB_VECTOR), &vectorSort));
    v->length = 0;
    v->capacity = capacity;
    v->front = 0;
    v->items = capacity ? static_cast<PB_OBJ **>(pbMemAlloc(capacity * PB_INT(sizeof(PB_OBJ *)))) : nullptr;
    return v;
}

PB_VECTOR *vectorCopy(PB_VECTOR *v)
{
    PB_VECTOR *copy = vectorWithCapacity(v->length);
    for (PB_INT i = 0; i < v->length; ++i)
        copy->items[i] = pbObjRetain(v->items[i]);
    copy->length = v->length;
    return copy;
}

PB_DICT *dictWith(pb::Vector<DictEntry> *entries)
{
    auto *d = reinterpret_cast<PB_DICT *>(pb___ObjCreate(sizeof(PB_DICT), &dictSort));
    d->entries = entries;
    return d;
}

PB_DICT *dictCopy(PB_DICT *d)
{
    auto *entries = pb::internal::make<pb::Vector<DictEntry>>(*d->entries);
    for (DictEntry &entry : *entries) {
        pbObjRetain(entry.key);
        pbObjRetain(entry.value);
    }
    return dictWith(entries);
}

PB_STORE *storeWith(pb::Vector<StoreEntry> *entries)
{
    auto *st = reinterpret_cast<PB_STORE *>(pb___ObjCreate(sizeof(PB_STORE), &storeSort));
    st->entries = entries;
    return st;
}

PB_STORE *storeCopy(PB_STORE *st)
{
    auto *entries = pb::internal::make<pb::Vector<StoreEntry>>(*st->entries);
    for (StoreEntry &entry : *entries)
        if (entry.text)
            pbObjRetain(reinterpret_cast<PB_OBJ *>(entry.text));
    return storeWith(entries);
}

pb::Vector<StoreEntry>::iterator storeLowerBound(PB_STORE *st, const pb::Text &key)
{
    return std::lower_bound(st->entries->begin(), st->entries->end(), key,
        [](const StoreEntry &entry, const pb::Text &wanted) { return entry.key < wanted; });
}

StoreEntry *storeFind(PB_STORE *st, const pb::Text &key)
{
    auto it = storeLowerBound(st, key);
    return it != st->entries->end() && it->key == key ? &*it : nullptr;
}

StoreEntry &storeSlot(PB_STORE **st, const char *key, PB_INT keyLength)
{
    PB_ASSERT( st && *st );
    pb::Text name = pb::internal::nameText(key, keyLength);
    PB_STORE *target = pb::internal::writable(st, storeCopy);
    auto it = storeLowerBound(target, name);
    if (it != target->entries->end() && it->key == name)
        return *it;
    return *target->entries->insert(it, StoreEntry { name, nullptr, 0 });
}

// Makes room for extra more items in an unshared vector. Room left at the
// front by deletions is taken back first when it is at least the vector's
// length, so that each move is paid for by as many deletions.
void reserveItems(PB_VECTOR *target, PB_INT extra)
{
    PB_ASSERT( extra >= 0 && PB_INT_ADD_OK( target->length, extra ) );
    PB_INT needed = target->length + extra;
    if (needed <= target->capacity)
        return;
    if (target->front) {
        // The block starts before the first item; realloc needs its start.
        const bool roomEnough = target->front >= target->length && needed <= target->capacity + target->front;
        PB_OBJ **block = target->items - target->front;
        std::memmove(block, target->items, static_cast<std::size_t>(target->length) * sizeof(PB_OBJ *));
        target->capacity += target->front;
        target->front = 0;
        target->items = block;
        if (roomEnough)
            return;
    }
    target->capacity = pb::internal::grownCapacity(target->capacity, needed);
    PB_ASSERT( target->capacity <= PB_INT_MAX / PB_INT( sizeof( PB_OBJ * ) ) );
    target->items = static_cast<PB_OBJ **>(pbMemRealloc(target->items, target->capacity * PB_INT(sizeof(PB_OBJ *))));
}

// Appends obj, whose reference the caller has already taken, to the vector
// at *v when that is shared or full: copies or grows it first. Apart from
// the common case, so that appending to an unshared vector with room needs
// no stack frame.
[[gnu::noinline]] void vectorAppendSlow(PB_VECTOR **v, PB_OBJ *obj) noexcept
{
    PB_VECTOR *target = pb::internal::writable(v, vectorCopy);
    if (target->length == target->capacity)
        reserveItems(target, 1);
    target->items[target->length++] = obj;
}

} // namespace

extern "C" {

PB_API const PB_SORT *pbVectorSort(void) noexcept
{
    return &vectorSort;
}

PB_API PB_OBJ *pbVectorObj(PB_VECTOR *v) noexcept
{
    return reinterpret_cast<PB_OBJ *>(v);
}

PB_API PB_VECTOR *pbVectorFrom(PB_OBJ *obj) noexcept
{
    PB_ASSERT( !obj || pbObjSort(obj) == &vectorSort );
    return reinterpret_cast<PB_VECTOR *>(obj);
}

PB_API PB_VECTOR *pbVectorCreate(void) noexcept
{
    return vectorWithCapacity(0);
}

PB_API PB_INT pbVectorLength(PB_VECTOR *v) noexcept
{
    PB_ASSERT( v );
    return v->length;
}

PB_API PB_OBJ *pbVectorObjAt(PB_VECTOR *v, PB_INT index) noexcept
{
    PB_ASSERT( v );
    PB_ASSERT( index >= 0 && index < v->length );
    return pbObjRetain(v->items[index]);
}

// Made for every element a builder appends: the retain and the common case
// are inline rather than calls.
PB_API void pbVectorAppendObj(PB_VECTOR **v, PB_OBJ *obj) noexcept
{
    PB_ASSERT( v && *v );
    PB_ASSERT( obj );
    // Retained first: a vector appended to itself is then shared, and the
    // element goes into a copy rather than into itself.
    if (!pb::internal::isStatic(obj))
        std::atomic_ref<PB_INT>(pb::internal::header(obj)->refCount).fetch_add(1, std::memory_order_seq_cst);
    PB_VECTOR *target = *v;
    // The count read as writable reads it.
    if (std::atomic_ref<PB_INT>(target->header.refCount).load(std::memory_order_seq_cst) > 1
        || target->length == target->capacity) [[unlikely]] {
        vectorAppendSlow(v, obj);
        return;
    }
    target->items[target->length++] = obj;
}

// Moves the shorter side of the vector over the gap: deleting near either
// end costs a constant time, so a vector emptied from the front is linear.
PB_API void pbVectorDelAt(PB_VECTOR **v, PB_INT index) noexcept
{
    PB_ASSERT( v && *v );
    PB_ASSERT( index >= 0 && index < (*v)->length );
    PB_VECTOR *target = pb::internal::writable(v, vectorCopy);
    PB_OBJ *gone = target->items[index];
    PB_INT after = target->length - index - 1;
    if (index < after) {
        std::memmove(target->items + 1, target->items, static_cast<std::size_t>(index) * sizeof(PB_OBJ *));
        ++target->items;
        ++target->front;
        --target->capacity;
    } else {
        std::memmove(target->items + index, target->items + index + 1, static_cast<std::size_t>(after) * sizeof(PB_OBJ *));
    }
    --target->length;
    pbObjRelease(gone);
}

PB_API PB_BOOL pbVectorContainsOnly(PB_VECTOR *v, const PB_SORT *sort) noexcept
{
    PB_ASSERT( v );
    PB_ASSERT( sort );
    for (PB_INT i = 0; i < v->length; ++i)
        if (pbObjSort(v->items[i]) != sort)
            return PB_FALSE;
    return PB_TRUE;
}

PB_API const PB_SORT *pbBoxedIntSort(void) noexcept
{
    return &boxedIntSort;
}

PB_API PB_BOXED_INT *pbBoxedIntCreate(PB_INT value) noexcept
{
    auto *b = reinterpret_cast<PB_BOXED_INT *>(pb___ObjCreate(sizeof(PB_BOXED_INT), &boxedIntSort));
    b->value = value;
    return b;
}

PB_API PB_INT pbBoxedIntValue(PB_BOXED_INT *b) noexcept
{
    PB_ASSERT( b );
    return b->value;
}

PB_API PB_OBJ *pbBoxedIntObj(PB_BOXED_INT *b) noexcept
{
    return reinterpret_cast<PB_OBJ *>(b);
}

PB_API PB_BOXED_INT *pbBoxedIntFrom(PB_OBJ *obj) noexcept
{
    PB_ASSERT( !obj || pbObjSort(obj) == &boxedIntSort );
    return reinterpret_cast<PB_BOXED_INT *>(obj);
}

PB_API const PB_SORT *pbDictSort(void) noexcept
{
    return &dictSort;
}

PB_API PB_OBJ *pbDictObj(PB_DICT *d) noexcept
{
    return reinterpret_cast<PB_OBJ *>(d);
}

PB_API PB_DICT *pbDictFrom(PB_OBJ *obj) noexcept
{
    PB_ASSERT( !obj || pbObjSort(obj) == &dictSort );
    return reinterpret_cast<PB_DICT *>(obj);
}

PB_API PB_DICT *pbDictCreate(void) noexcept
{
    return dictWith(pb::internal::make<pb::Vector<DictEntry>>());
}

PB_API PB_INT pbDictLength(PB_DICT *d) noexcept
{
    PB_ASSERT( d );
    return PB_INT(d->entries->size());
}

PB_API void pbDictSetObjKey(PB_DICT **d, PB_OBJ *key, PB_OBJ *value) noexcept
{
    PB_ASSERT( d && *d );
    PB_ASSERT( key );
    PB_ASSERT( value );
    PB_ASSERT( pbObjSort( key ) == &boxedIntSort || pbObjSort( key ) == pbStringSort() );
    PB_DICT *target = pb::internal::writable(d, dictCopy);
    pbObjRetain(value);
    for (DictEntry &entry : *target->entries) {
        if (pbObjSort(entry.key) == pbObjSort(key) && pbObjCompare(entry.key, key) == 0) {
            pbObjRelease(entry.value);
            entry.value = value;
            return;
        }
    }
    target->entries->push_back(DictEntry { pbObjRetain(key), value });
}

PB_API PB_OBJ *pbDictStringKey(PB_DICT *d, PB_STRING *key) noexcept
{
    PB_ASSERT( d );
    PB_ASSERT( key );
    for (DictEntry &entry : *d->entries)
        if (pbObjSort(entry.key) == pbStringSort() && pbObjCompare(entry.key, pbStringObj(key)) == 0)
            return pbObjRetain(entry.value);
    return nullptr;
}

PB_API PB_OBJ *pbDictIntKey(PB_DICT *d, PB_INT key) noexcept
{
    PB_ASSERT( d );
    for (DictEntry &entry : *d->entries)
        if (pbObjSort(entry.key) == &boxedIntSort && reinterpret_cast<PB_BOXED_INT *>(entry.key)->value == key)
            return pbObjRetain(entry.value);
    return nullptr;
}

PB_API const PB_SORT *pbStoreSort(void) noexcept
{
    return &storeSort;
}

PB_API PB_OBJ *pbStoreObj(PB_STORE *st) noexcept
{
    return reinterpret_cast<PB_OBJ *>(st);
}

PB_API PB_STORE *pbStoreFrom(PB_OBJ *obj) noexcept
{
    PB_ASSERT( !obj || pbObjSort(obj) == &storeSort );
    return reinterpret_cast<PB_STORE *>(obj);
}

PB_API PB_STORE *pbStoreCreate(void) noexcept
{
    return storeWith(pb::internal::make<pb::Vector<StoreEntry>>());
}

PB_API PB_INT pbStoreLength(PB_STORE *st) noexcept
{
    PB_ASSERT( st );
    return PB_INT(st->entries->size());
}

PB_API void pbStoreSetValueCstr(PB_STORE **st, const char *key, PB_INT keyLength, PB_STRING *value) noexcept
{
    PB_ASSERT( value );
    pbObjRetain(pbStringObj(value));
    StoreEntry &entry = storeSlot(st, key, keyLength);
    pbObjRelease(pbStringObj(entry.text));
    entry.text = value;
    entry.integer = 0;
}

PB_API void pbStoreSetValueIntCstr(PB_STORE **st, const char *key, PB_INT keyLength, PB_INT value) noexcept
{
    StoreEntry &entry = storeSlot(st, key, keyLength);
    pbObjRelease(pbStringObj(entry.text));
    entry.text = nullptr;
    entry.integer = value;
}

PB_API PB_STRING *pbStoreValueCstr(PB_STORE *st, const char *key, PB_INT keyLength) noexcept
{
    PB_ASSERT( st );
    StoreEntry *entry = storeFind(st, pb::internal::nameText(key, keyLength));
    if (!entry || !entry->text)
        return nullptr;
    pbObjRetain(pbStringObj(entry->text));
    return entry->text;
}

PB_API PB_BOOL pbStoreValueIntCstr(PB_STORE *st, PB_INT *value, const char *key, PB_INT keyLength) noexcept
{
    PB_ASSERT( st );
    PB_ASSERT( value );
    StoreEntry *entry = storeFind(st, pb::internal::nameText(key, keyLength));
    if (!entry || entry->text)
        return PB_FALSE;
    *value = entry->integer;
    return PB_TRUE;
}

// The text form of an object: strings are their own text; boxed integers
// their decimal value; buffers their bytes in hex; vectors and stores their
// elements; everything else its sort name and address.
PB_API PB_STRING *pbObjToString(PB_OBJ *obj) noexcept
{
    PB_ASSERT( obj );
    const PB_SORT *sort = pbObjSort(obj);
    if (sort == pbStringSort())
        return pbStringFrom(pbObjRetain(obj));
    pb::Text text;
    if (sort == &boxedIntSort) {
        text = pb::internal::decimal(reinterpret_cast<PB_BOXED_INT *>(obj)->value);
    } else if (sort == pbBufferSort()) {
        static constexpr char digits[] = "0123456789abcdef";
        PB_BUFFER *b = pbBufferFrom(obj);
        for (PB_INT i = 0; i < pbBufferLength(b); ++i) {
            text += digits[pbBufferBacking(b)[i] >> 4];
            text += digits[pbBufferBacking(b)[i] & 15];
        }
    } else if (sort == &vectorSort) {
        auto *v = reinterpret_cast<PB_VECTOR *>(obj);
        text.push_back('[');
        for (PB_INT i = 0; i < v->length; ++i) {
            pb::Ref<PB_STRING> element(pbObjToString(v->items[i]));
            text.append(i ? ", " : "").append(pb::internal::stringToStd(element.get()));
        }
        text.push_back(']');
    } else if (sort == &storeSort) {
        text.push_back('{');
        bool first = true;
        for (StoreEntry &entry : *reinterpret_cast<PB_STORE *>(obj)->entries) {
            text.append(first ? "" : ", ").append(entry.key).append("=");
            if (entry.text)
                text.append("\"").append(pb::internal::stringToStd(entry.text)).append("\"");
            else
                text.append(pb::internal::decimal(entry.integer));
            first = false;
        }
        text.push_back('}');
    } else {
        char address[32];
        std::snprintf(address, sizeof address, "%p", static_cast<void *>(obj));
        text.append("<").append(sort->name ? sort->name : "?").append("@").append(address).append(">");
    }
    return pbStringCreateFromCstr(text.data(), PB_INT(text.size()));
}

} // extern "C"
