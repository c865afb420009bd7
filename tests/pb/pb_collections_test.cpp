// Vectors, dictionaries, stores and boxed integers: contents, ownership of
// the elements, copy-on-write and ordering.
#include "pb_test_util.h"

#include <string>
#include <utility>
#include <vector>

namespace {

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

// A vector holds one reference per element and releases each when it is
// freed or the element is deleted; ObjAt gives a new reference that outlives
// the vector.
TEST(PbVector, ElementsAreHeldByReference)
{
    pb::Ref<PB_VECTOR> v(pbVectorCreate());
    pb::Ref<PB_STRING> a = rfctest::string("a");
    pb::Ref<PB_STRING> b = rfctest::string("b");
    pbVectorAppendObj(v.addr(), pbStringObj(a.get()));
    pbVectorAppendObj(v.addr(), pbStringObj(b.get()));
    pbVectorAppendObj(v.addr(), pbStringObj(a.get()));
    EXPECT_EQ(text(v.get()), "[a, b, a]");
    EXPECT_EQ(refCount(a.get()), 3);
    EXPECT_EQ(refCount(b.get()), 2);
    PB_OBJ *got = pbVectorObjAt(v.get(), 1);
    EXPECT_EQ(got, pbStringObj(b.get()));
    EXPECT_EQ(refCount(b.get()), 3);
    v.reset();
    EXPECT_EQ(refCount(a.get()), 1);
    b.reset();
    EXPECT_EQ(pbObjRefCount(got), 1);
    EXPECT_TRUE(pbStringEqualsCstr(pbStringFrom(got), "b"));
    pbObjRelease(got);

    // Deleting the only holder's element frees it.
    const PB_INT before = pbObjLiveCount();
    pb::Ref<PB_VECTOR> single = vectorOf({ "x" });
    EXPECT_EQ(pbObjLiveCount(), before + 2);
    pbVectorDelAt(single.addr(), 0);
    EXPECT_EQ(pbObjLiveCount(), before + 1);
}

TEST(PbVector, DelAtRemovesAndReleases)
{
    for (PB_INT index : { 0, 2, 3 }) {
        SCOPED_TRACE(index);
        pb::Ref<PB_VECTOR> v(pbVectorCreate());
        std::vector<pb::Ref<PB_STRING>> elements;
        for (const char *item : { "a", "b", "c", "d" }) {
            elements.push_back(rfctest::string(item));
            pbVectorAppendObj(v.addr(), pbStringObj(elements.back().get()));
        }
        pbVectorDelAt(v.addr(), index);
        std::string expected = "abcd";
        expected.erase(std::size_t(index), 1);
        EXPECT_EQ(text(v.get()), "[" + std::string(1, expected[0]) + ", " + expected[1] + ", " + expected[2] + "]");
        for (std::size_t i = 0; i < elements.size(); ++i)
            EXPECT_EQ(refCount(elements[i].get()), PB_INT(i) == index ? 1 : 2) << i;
    }
}

// The copy a shared vector's setter makes holds its own reference to every
// element.
TEST(PbVector, SettersCopyASharedVectorFirst)
{
    pb::Ref<PB_STRING> a = rfctest::string("a");
    auto make = [] { return vectorOf({ "a", "b" }); };
    auto vectorText = [](PB_VECTOR *v) { return text(v); };
    pbtest::expectCopyOnWrite<PB_VECTOR>(make, [](PB_VECTOR **v) { pbVectorAppendObj(v, pbStringObj(rfctest::string("c").get())); },
        vectorText, "[a, b, c]");
    pbtest::expectCopyOnWrite<PB_VECTOR>(make, [](PB_VECTOR **v) { pbVectorDelAt(v, 0); }, vectorText, "[b]");

    pb::Ref<PB_VECTOR> other(pbVectorCreate());
    pbVectorAppendObj(other.addr(), pbStringObj(a.get()));
    pb::Ref<PB_VECTOR> mine = pb::Ref<PB_VECTOR>::retained(other.get());
    pbVectorAppendObj(mine.addr(), pbStringObj(a.get()));
    EXPECT_EQ(refCount(a.get()), 4); // ours, other's one, mine's two
    other.reset();
    EXPECT_EQ(refCount(a.get()), 3);
}

// Appending a vector to itself stores its former self, a different object
// that keeps its one element.
TEST(PbVector, AppendingAVectorToItself)
{
    pb::Ref<PB_VECTOR> v = vectorOf({ "a" });
    pbVectorAppendObj(v.addr(), pbVectorObj(v.get()));
    EXPECT_EQ(text(v.get()), "[a, [a]]");
}

TEST(PbVector, GrowthContainsOnlyAndCompare)
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

    // Elementwise, a proper prefix first.
    pb::Ref<PB_VECTOR> ab = vectorOf({ "a", "b" });
    EXPECT_EQ(pbObjCompare(pbVectorObj(ab.get()), pbVectorObj(vectorOf({ "a", "b" }).get())), 0);
    EXPECT_LT(pbObjCompare(pbVectorObj(ab.get()), pbVectorObj(vectorOf({ "a", "b", "c" }).get())), 0);
    EXPECT_GT(pbObjCompare(pbVectorObj(vectorOf({ "a", "b", "c" }).get()), pbVectorObj(ab.get())), 0);
    EXPECT_LT(pbObjCompare(pbVectorObj(ab.get()), pbVectorObj(vectorOf({ "b" }).get())), 0);
}

// Keys compare by value: a fresh string or boxed integer finds the entry; the
// integer 1 and the text "1" are different keys. Setting an existing key
// replaces the value and releases the old one.
TEST(PbDict, KeysFindTheirValues)
{
    pb::Ref<PB_DICT> d(pbDictCreate());
    pb::Ref<PB_STRING> value = rfctest::string("v");
    auto set = [&d](PB_OBJ *key, const char *v) { pbDictSetObjKey(d.addr(), key, pbStringObj(rfctest::string(v).get())); };
    set(pbStringObj(rfctest::string("k\xC3\xA9y").get()), "string key");
    set(pbStringObj(rfctest::string("1").get()), "text one");
    set(pbBoxedIntObj(pb::Ref<PB_BOXED_INT>(pbBoxedIntCreate(PB_INT_MIN)).get()), "min");
    set(pbBoxedIntObj(pb::Ref<PB_BOXED_INT>(pbBoxedIntCreate(1)).get()), "old one");
    pb::Ref<PB_BOXED_INT> one(pbBoxedIntCreate(1));
    pbDictSetObjKey(d.addr(), pbBoxedIntObj(one.get()), pbStringObj(value.get()));
    EXPECT_EQ(pbDictLength(d.get()), 4);
    EXPECT_EQ(refCount(value.get()), 2);

    auto byString = [&d](const char *key) {
        pb::Ref<PB_OBJ> found(pbDictStringKey(d.get(), rfctest::string(key).get()));
        return found ? text(found.get()) : "(none)";
    };
    auto byInt = [&d](PB_INT key) {
        pb::Ref<PB_OBJ> found(pbDictIntKey(d.get(), key));
        return found ? text(found.get()) : "(none)";
    };
    EXPECT_EQ(byString("k\xC3\xA9y"), "string key");
    EXPECT_EQ(byString("1"), "text one");
    EXPECT_EQ(byInt(1), "v");
    EXPECT_EQ(byInt(PB_INT_MIN), "min");
    for (const char *absent : { "", "k\xC3\xA9", "k\xC3\xA9ys", "key" })
        EXPECT_EQ(byString(absent), "(none)") << absent;
    for (PB_INT absent : { PB_INT(0), PB_INT_MAX })
        EXPECT_EQ(byInt(absent), "(none)") << absent;

    // Setting the value a key already has keeps it alive.
    pbDictSetObjKey(d.addr(), pbBoxedIntObj(one.get()), pbStringObj(value.get()));
    EXPECT_EQ(refCount(value.get()), 2);
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
        [](PB_DICT *d) { return text(pb::Ref<PB_OBJ>(pbDictStringKey(d, rfctest::string("k").get())).get()); }, "v2");

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

// Stores compare by content, whatever order the entries were set in; the
// integer 1 and the text "1" differ.
TEST(PbStore, CompareByContent)
{
    auto make = [](bool forward, PB_INT flags) {
        pb::Ref<PB_STORE> st(pbStoreCreate());
        pbStoreSetValueIntCstr(st.addr(), forward ? "flags" : "length", -1, forward ? flags : 76);
        pbStoreSetValueIntCstr(st.addr(), forward ? "length" : "flags", -1, forward ? 76 : flags);
        return st;
    };
    auto equal = [](const pb::Ref<PB_STORE> &a, const pb::Ref<PB_STORE> &b) {
        return pbObjEquals(pbStoreObj(a.get()), pbStoreObj(b.get()));
    };
    EXPECT_TRUE(equal(make(true, 1), make(false, 1)));
    EXPECT_FALSE(equal(make(true, 1), make(true, 2)));
    pb::Ref<PB_STORE> asText = make(true, 1);
    pbStoreSetValueCstr(asText.addr(), "flags", -1, rfctest::string("1").get());
    EXPECT_FALSE(equal(make(true, 1), asText));
}

TEST(PbBoxedInt, TextAndOrder)
{
    struct Row {
        PB_INT value;
        const char *text;
    } rows[] = {
        { PB_INT_MIN, "-9223372036854775808" },
        { -1, "-1" },
        { 0, "0" },
        { 76, "76" },
        { PB_INT_MAX, "9223372036854775807" },
    };
    // Rows are in ascending order; a subtraction-based order would overflow
    // between the extremes.
    for (const Row &a : rows) {
        pb::Ref<PB_BOXED_INT> x(pbBoxedIntCreate(a.value));
        EXPECT_EQ(pbBoxedIntValue(x.get()), a.value);
        EXPECT_EQ(text(x.get()), a.text);
        for (const Row &b : rows) {
            pb::Ref<PB_BOXED_INT> y(pbBoxedIntCreate(b.value));
            EXPECT_EQ(pbtest::sign(pbObjCompare(pbBoxedIntObj(x.get()), pbBoxedIntObj(y.get()))), (&a > &b) - (&a < &b))
                << a.text << " vs " << b.text;
        }
    }
}

TEST(PbCollectionsDeathTest, ContractViolations)
{
    pb::Ref<PB_VECTOR> v = vectorOf({ "s" });
    EXPECT_DEATH(pbVectorObjAt(v.get(), -1), "source/pb/pb_collections.*index >= 0 && index < v->length");
    EXPECT_DEATH(pbVectorObjAt(v.get(), 1), "index >= 0 && index < v->length");
    pb::Ref<PB_STRING> s = rfctest::string("1");
    EXPECT_DEATH(pbBoxedIntFrom(pbStringObj(s.get())), "!obj \\|\\| pbObjSort\\(obj\\) == &boxedIntSort");
}

} // namespace
