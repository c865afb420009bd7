// Vectors, dictionaries, stores and boxed integers: contents, ownership of
// the elements and copy-on-write; and the order and text form of every value
// type (strings and buffers too).
#include "pb_test_util.h"

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace {

using Obj = pb::Ref<PB_OBJ>;
Obj str(std::vector<PB_CHAR> cs)
{
    return Obj(pbStringObj(pbStringCreateFromCharsCopy(cs.data(), PB_INT(cs.size()))));
}

Obj buf(std::string bytes)
{
    return Obj(pbBufferObj(rfctest::buffer(bytes).take()));
}

Obj boxed(PB_INT value)
{
    return Obj(pbBoxedIntObj(pbBoxedIntCreate(value)));
}

template <class... Items>
Obj vec(Items... items)
{
    pb::Ref<PB_VECTOR> v(pbVectorCreate());
    (pbVectorAppendObj(v.addr(), items.get()), ...);
    return Obj(pbVectorObj(v.take()));
}

// Integer entries, set in the order given, and text entries.
Obj store(std::initializer_list<std::pair<const char *, PB_INT>> ints,
    std::initializer_list<std::pair<const char *, const char *>> texts = {})
{
    pb::Ref<PB_STORE> st(pbStoreCreate());
    for (auto [key, value] : ints)
        pbStoreSetValueIntCstr(st.addr(), key, -1, value);
    for (auto [key, value] : texts)
        pbStoreSetValueCstr(st.addr(), key, -1, rfctest::string(value).get());
    return Obj(pbStoreObj(st.take()));
}

using pbtest::text;

PB_INT refCount(PB_STRING *s)
{
    return pbObjRefCount(pbStringObj(s));
}

pb::Ref<PB_VECTOR> vectorOf(std::vector<const char *> items)
{
    pb::Ref<PB_VECTOR> v(pbVectorCreate());
    for (const char *item : items)
        pbVectorAppendObj(v.addr(), pbStringObj(rfctest::string(item).get()));
    return v;
}

// A vector holds one reference per element: DelAt (front, middle and end)
// and freeing the vector release them; ObjAt gives a new reference that
// outlives the vector. Appending a vector to itself stores its former self.
TEST(PbVector, ElementsAreHeldByReference)
{
    for (auto [index, expected] : { std::pair { 0, "[b, c, d]" }, { 2, "[a, b, d]" }, { 3, "[a, b, c]" } }) {
        pb::Ref<PB_VECTOR> v(pbVectorCreate());
        std::vector<pb::Ref<PB_STRING>> elements;
        for (const char *item : { "a", "b", "c", "d" }) {
            elements.push_back(rfctest::string(item));
            pbVectorAppendObj(v.addr(), pbStringObj(elements.back().get()));
        }
        pbVectorDelAt(v.addr(), index);
        EXPECT_EQ(text(v.get()), expected);
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(refCount(elements[std::size_t(i)].get()), i == index ? 1 : 2) << index << " " << i;
        Obj first(pbVectorObjAt(v.get(), 0));
        v.reset();
        for (const auto &element : elements)
            EXPECT_EQ(refCount(element.get()), pbStringObj(element.get()) == first.get() ? 2 : 1);
    }
    pb::Ref<PB_VECTOR> self = vectorOf({ "a" });
    pbVectorAppendObj(self.addr(), pbVectorObj(self.get()));
    EXPECT_EQ(text(self.get()), "[a, [a]]");
}

// The copy a shared vector's setter makes holds its own reference to every
// element (ASan and the live count catch one too few or too many).
TEST(PbVector, SettersCopyASharedVectorFirst)
{
    auto make = [] { return vectorOf({ "a", "b" }); };
    auto vectorText = [](PB_VECTOR *v) { return text(v); };
    pbtest::expectCopyOnWrite<PB_VECTOR>(
        make, [](PB_VECTOR **v) { pbVectorAppendObj(v, pbStringObj(rfctest::string("c").get())); }, vectorText, "[a, b, c]");
    pbtest::expectCopyOnWrite<PB_VECTOR>(make, [](PB_VECTOR **v) { pbVectorDelAt(v, 0); }, vectorText, "[b]");
}

TEST(PbVector, GrowthAndContainsOnly)
{
    pb::Ref<PB_VECTOR> v(pbVectorCreate());
    EXPECT_TRUE(pbVectorContainsOnly(v.get(), pbBoxedIntSort())); // empty: vacuously
    for (PB_INT i = 0; i < 10000; ++i)
        pbVectorAppendObj(v.addr(), pbBoxedIntObj(pb::Ref<PB_BOXED_INT>(pbBoxedIntCreate(i)).get()));
    ASSERT_EQ(pbVectorLength(v.get()), 10000);
    for (PB_INT i = 0; i < 10000; i += 37) {
        pb::Ref<PB_BOXED_INT> b(pbBoxedIntFrom(pbVectorObjAt(v.get(), i)));
        ASSERT_EQ(pbBoxedIntValue(b.get()), i);
    }
    EXPECT_TRUE(pbVectorContainsOnly(v.get(), pbBoxedIntSort()));
    EXPECT_FALSE(pbVectorContainsOnly(v.get(), pbStringSort()));

    pbVectorAppendObj(v.addr(), pbStringObj(rfctest::string("s").get()));
    EXPECT_FALSE(pbVectorContainsOnly(v.get(), pbBoxedIntSort()));
}

// Deleting at either end moves nothing else: emptying a vector from the
// front costs about eight times the work for eight times the length, and
// deletions anywhere keep the order.
TEST(PbVector, DeletingAtTheFrontIsLinear)
{
    auto fill = [](PB_VECTOR **v, PB_INT count) {
        for (PB_INT i = 0; i < count; ++i)
            pbVectorAppendObj(v, pbBoxedIntObj(pb::Ref<PB_BOXED_INT>(pbBoxedIntCreate(i)).get()));
    };
    auto cost = [&](PB_INT count) {
        pb::Ref<PB_VECTOR> v;
        return rfctest::leastCpuSeconds(
            3, [&] { v.reset(pbVectorCreate()); fill(v.addr(), count); },
            [&] {
                // Half as a queue (append, delete the first), then emptied.
                for (PB_INT i = 0; i < count; ++i) {
                    pbVectorAppendObj(v.addr(), pbBoxedIntObj(pb::Ref<PB_BOXED_INT>(pbBoxedIntCreate(i)).get()));
                    pbVectorDelAt(v.addr(), 0);
                }
                while (pbVectorLength(v.get()))
                    pbVectorDelAt(v.addr(), 0);
            });
    };
    constexpr PB_INT small = 20000, factor = 8;
    double ratio = cost(small * factor) / cost(small);
    EXPECT_LT(ratio, 3.0 * factor) << ratio;

    std::vector<PB_INT> expected;
    pb::Ref<PB_VECTOR> v(pbVectorCreate());
    fill(v.addr(), 100);
    for (PB_INT i = 0; i < 100; ++i)
        expected.push_back(i);
    for (PB_INT index : { 0, 99 - 1, 1, 50, 0, 2, 90, 45, 44, 0 }) {
        pbVectorDelAt(v.addr(), index);
        expected.erase(expected.begin() + index);
        fill(v.addr(), 1);
        expected.push_back(0);
    }
    ASSERT_EQ(pbVectorLength(v.get()), PB_INT(expected.size()));
    for (PB_INT i = 0; i < pbVectorLength(v.get()); ++i) {
        pb::Ref<PB_BOXED_INT> b(pbBoxedIntFrom(pbVectorObjAt(v.get(), i)));
        ASSERT_EQ(pbBoxedIntValue(b.get()), expected[size_t(i)]) << i;
    }
}

std::string lookUp(PB_OBJ *found)
{
    pb::Ref<PB_OBJ> held(found);
    return held ? text(held.get()) : "(none)";
}

// Keys compare by value: a fresh string or boxed integer finds the entry; the
// integer 1 and the text "1" are different keys. Setting an existing key
// replaces the value and releases the old one.
TEST(PbDict, KeysFindTheirValues)
{
    pb::Ref<PB_DICT> d(pbDictCreate());
    pb::Ref<PB_STRING> value = rfctest::string("v");
    auto set = [&d](Obj key, const char *v) { pbDictSetObjKey(d.addr(), key.get(), pbStringObj(rfctest::string(v).get())); };
    set(str({ 0x6B, 0xE9, 0x79 }), "string key");
    set(str({ 0x31 }), "text one");
    set(boxed(PB_INT_MIN), "min");
    set(boxed(1), "old one");
    pbDictSetObjKey(d.addr(), boxed(1).get(), pbStringObj(value.get()));
    EXPECT_EQ(pbDictLength(d.get()), 4);
    EXPECT_EQ(refCount(value.get()), 2);
    EXPECT_EQ(lookUp(pbDictStringKey(d.get(), rfctest::string("k\xC3\xA9y").get())), "string key");
    EXPECT_EQ(lookUp(pbDictStringKey(d.get(), rfctest::string("1").get())), "text one");
    EXPECT_EQ(lookUp(pbDictIntKey(d.get(), 1)), "v");
    EXPECT_EQ(lookUp(pbDictIntKey(d.get(), PB_INT_MIN)), "min");
    for (const char *absent : { "", "k\xC3\xA9", "k\xC3\xA9ys", "key" })
        EXPECT_EQ(pbDictStringKey(d.get(), rfctest::string(absent).get()), nullptr) << absent;
    EXPECT_EQ(pbDictIntKey(d.get(), 0), nullptr);
    EXPECT_EQ(pbDictIntKey(d.get(), PB_INT_MAX), nullptr);
}

TEST(PbDict, SetterCopiesASharedDictionaryFirst)
{
    pbtest::expectCopyOnWrite<PB_DICT>(
        [] {
            pb::Ref<PB_DICT> d(pbDictCreate());
            pbDictSetObjKey(d.addr(), pbStringObj(rfctest::string("k").get()), pbStringObj(rfctest::string("v1").get()));
            return d;
        },
        [](PB_DICT **d) { pbDictSetObjKey(d, pbStringObj(rfctest::string("k").get()), pbStringObj(rfctest::string("v2").get())); },
        [](PB_DICT *d) { return lookUp(pbDictStringKey(d, rfctest::string("k").get())); }, "v2");

    // A key string changed by its holder after insertion does not change the
    // dictionary's key (the holder's setter copies the shared string).
    pb::Ref<PB_DICT> d(pbDictCreate());
    pb::Ref<PB_STRING> key = rfctest::string("ab");
    pbDictSetObjKey(d.addr(), pbStringObj(key.get()), pbStringObj(rfctest::string("v").get()));
    pbStringAppendChar(key.addr(), 0x63);
    EXPECT_EQ(pbDictStringKey(d.get(), key.get()), nullptr);
    pb::Ref<PB_OBJ> found(pbDictStringKey(d.get(), rfctest::string("ab").get()));
    EXPECT_TRUE(found);
}

// Text and integer values are kept apart: asking for the other kind, or for
// an absent key, gives null or false and leaves the value untouched. A key
// length limits the key; overwriting changes the kind and releases old text.
TEST(PbStore, TextAndIntegerValues)
{
    pb::Ref<PB_STORE> st(pbStoreCreate());
    pb::Ref<PB_STRING> first = rfctest::string("first");
    pbStoreSetValueCstr(st.addr(), "outputNlf", -1, rfctest::string("CRLF").get());
    pbStoreSetValueIntCstr(st.addr(), "negative", -1, PB_INT_MIN);
    pbStoreSetValueIntCstr(st.addr(), "flagsXYZ", 5, 3);
    pbStoreSetValueCstr(st.addr(), "k", -1, first.get());
    EXPECT_EQ(refCount(first.get()), 2);
    pbStoreSetValueIntCstr(st.addr(), "k", -1, -5);
    EXPECT_EQ(refCount(first.get()), 1);
    EXPECT_EQ(pbStoreLength(st.get()), 4);

    pb::Ref<PB_STRING> got(pbStoreValueCstr(st.get(), "outputNlf", -1));
    EXPECT_TRUE(got && pbStringEqualsCstr(got.get(), "CRLF"));
    PB_INT value = 0;
    for (auto [key, expected] : { std::pair { "negative", PB_INT_MIN }, { "flags", 3 }, { "k", -5 } }) {
        EXPECT_TRUE(pbStoreValueIntCstr(st.get(), &value, key, -1)) << key;
        EXPECT_EQ(value, expected) << key;
    }
    value = 12345;
    for (const char *key : { "outputNlf", "absent", "flagsXYZ", "NEGATIVE" })
        EXPECT_FALSE(pbStoreValueIntCstr(st.get(), &value, key, -1)) << key;
    EXPECT_EQ(value, 12345);
    for (const char *key : { "k", "absent" })
        EXPECT_EQ(pbStoreValueCstr(st.get(), key, -1), nullptr) << key;
}

TEST(PbStore, SettersCopyASharedStoreFirst)
{
    auto make = [] {
        pb::Ref<PB_STORE> st(pbStoreCreate());
        pbStoreSetValueCstr(st.addr(), "text", -1, rfctest::string("t").get());
        pbStoreSetValueIntCstr(st.addr(), "int", -1, 1);
        return st;
    };
    auto storeText = [](PB_STORE *st) { return text(st); };
    pbtest::expectCopyOnWrite<PB_STORE>(make, [](PB_STORE **st) { pbStoreSetValueIntCstr(st, "int", -1, 2); },
        storeText, "{int=2, text=\"t\"}");
    pbtest::expectCopyOnWrite<PB_STORE>(make, [](PB_STORE **st) { pbStoreSetValueIntCstr(st, "text", -1, 3); },
        storeText, "{int=1, text=3}");
}

constexpr int unequal = 2; // only known to differ, in either order

TEST(PbCompare, ValueTypesOrderByContent)
{
    struct Row {
        const char *why;
        Obj a, b;
        int sign;
    };
    const Row rows[] = {
        { "empty strings are equal", str({}), str({}), 0 },
        { "empty string before NUL", str({}), str({ 0 }), -1 },
        { "a proper prefix first", str({ 0x61 }), str({ 0x61, 0 }), -1 },
        { "first difference decides", str({ 0x61, 0x62 }), str({ 0x61, 0x63 }), -1 },
        { "not by length first", str({ 0x7A }), str({ 0x61, 0x61 }), 1 },
        { "U+E000 before U+10000 (UTF-16 order would put it after)", str({ 0xE000 }), str({ 0x10000 }), -1 },
        { "U+007F before U+0080", str({ 0x7F }), str({ 0x80 }), -1 },
        { "equal strings", str({ 0x10FFFF }), str({ 0x10FFFF }), 0 },
        { "empty buffer before NUL", buf(""), buf(std::string(1, '\0')), -1 },
        { "buffer prefix first", buf("ab"), buf("abc"), -1 },
        { "bytes are unsigned", buf("\x7F"), buf("\x80"), -1 },
        { "first byte difference decides", buf("\x01\xFF"), buf(std::string("\x02\x00", 2)), -1 },
        { "buffers not by length first", buf("z"), buf("aa"), 1 },
        { "equal buffers", buf("same"), buf("same"), 0 },
        { "integers: a subtraction would overflow", boxed(PB_INT_MIN), boxed(PB_INT_MAX), -1 },
        { "integers: -1 before 0", boxed(-1), boxed(0), -1 },
        { "equal integers", boxed(0), boxed(0), 0 },
        { "equal vectors", vec(boxed(1), boxed(2)), vec(boxed(1), boxed(2)), 0 },
        { "vector prefix first", vec(boxed(1)), vec(boxed(1), boxed(0)), -1 },
        { "vectors elementwise", vec(boxed(1), boxed(5)), vec(boxed(2)), -1 },
        { "stores: the order of setting does not count", store({ { "flags", 1 }, { "length", 76 } }),
            store({ { "length", 76 }, { "flags", 1 } }), 0 },
        { "stores: values differ", store({ { "flags", 1 } }), store({ { "flags", 2 } }), unequal },
        { "stores: the integer 1 is not the text \"1\"", store({ { "flags", 1 } }), store({}, { { "flags", "1" } }),
            unequal },
    };
    for (const Row &row : rows) {
        const int ab = pbtest::sign(pbObjCompare(row.a.get(), row.b.get()));
        const int ba = pbtest::sign(pbObjCompare(row.b.get(), row.a.get()));
        EXPECT_EQ(ab, row.sign == unequal ? ab | 1 : row.sign) << row.why; // unequal: either sign, never 0
        EXPECT_EQ(ba, -ab) << row.why;
        EXPECT_EQ(bool(pbObjEquals(row.a.get(), row.b.get())), row.sign == 0) << row.why;
    }
}

TEST(PbCompare, TextForms)
{
    const std::pair<Obj, const char *> rows[] = {
        { str({ 0x74, 0xE9 }), "t\xC3\xA9" },
        { buf(std::string("\x00\x1f\xA0\xff", 4)), "001fa0ff" },
        { boxed(PB_INT_MIN), "-9223372036854775808" },
        { boxed(PB_INT_MAX), "9223372036854775807" },
        { boxed(-1), "-1" },
        { vec(str({ 0x61 }), vec(boxed(0))), "[a, [0]]" },
        { store({ { "int", 1 } }, { { "text", "t" } }), "{int=1, text=\"t\"}" },
    };
    for (const auto &[obj, text] : rows)
        EXPECT_EQ(pbtest::text(obj.get()), text);
}

} // namespace
