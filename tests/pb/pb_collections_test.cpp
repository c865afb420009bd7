// Vectors, dictionaries, stores and boxed integers: contents, ownership of
// the elements, and copy-on-write.
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

PB_INT refCount(PB_STRING *s)
{
    return pbObjRefCount(pbStringObj(s));
}

std::string textAt(PB_VECTOR *v, PB_INT index)
{
    pb::Ref<PB_STRING> s(pbStringFrom(pbVectorObjAt(v, index)));
    return rfctest::utf8(s.get());
}

std::vector<std::string> texts(PB_VECTOR *v)
{
    std::vector<std::string> out;
    for (PB_INT i = 0; i < pbVectorLength(v); ++i)
        out.push_back(textAt(v, i));
    return out;
}

// --- vectors ---------------------------------------------------------------

TEST(PbVector, AppendKeepsOrderAndHoldsAReference)
{
    pb::Ref<PB_VECTOR> v(pbVectorCreate());
    EXPECT_EQ(pbVectorLength(v.get()), 0);
    pb::Ref<PB_STRING> a = rfctest::string("a");
    pb::Ref<PB_STRING> b = rfctest::string("b");
    pbVectorAppendObj(v.addr(), pbStringObj(a.get()));
    pbVectorAppendObj(v.addr(), pbStringObj(b.get()));
    pbVectorAppendObj(v.addr(), pbStringObj(a.get()));
    EXPECT_EQ(texts(v.get()), (std::vector<std::string> { "a", "b", "a" }));
    EXPECT_EQ(refCount(a.get()), 3); // ours and two in the vector
    EXPECT_EQ(refCount(b.get()), 2);
    v.reset(); // freeing the vector releases every element once
    EXPECT_EQ(refCount(a.get()), 1);
    EXPECT_EQ(refCount(b.get()), 1);
}

TEST(PbVector, ObjAtReturnsANewReference)
{
    pb::Ref<PB_VECTOR> v(pbVectorCreate());
    pb::Ref<PB_STRING> a = rfctest::string("a");
    pbVectorAppendObj(v.addr(), pbStringObj(a.get()));
    PB_OBJ *got = pbVectorObjAt(v.get(), 0);
    EXPECT_EQ(got, pbStringObj(a.get()));
    EXPECT_EQ(refCount(a.get()), 3);
    pbObjRelease(got);
    EXPECT_EQ(refCount(a.get()), 2);

    // The reference outlives the vector.
    got = pbVectorObjAt(v.get(), 0);
    v.reset();
    a.reset();
    EXPECT_EQ(pbObjRefCount(got), 1);
    EXPECT_TRUE(pbStringEqualsCstr(pbStringFrom(got), "a"));
    pbObjRelease(got);
}

TEST(PbVector, DelAtRemovesAndReleases)
{
    struct Row {
        PB_INT index;
        std::vector<std::string> remaining;
    } rows[] = {
        { 0, { "b", "c", "d" } },
        { 2, { "a", "b", "d" } },
        { 3, { "a", "b", "c" } },
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.index);
        pb::Ref<PB_VECTOR> v(pbVectorCreate());
        std::vector<pb::Ref<PB_STRING>> elements;
        for (const char *text : { "a", "b", "c", "d" }) {
            elements.push_back(rfctest::string(text));
            pbVectorAppendObj(v.addr(), pbStringObj(elements.back().get()));
        }
        pbVectorDelAt(v.addr(), row.index);
        EXPECT_EQ(texts(v.get()), row.remaining);
        for (std::size_t i = 0; i < elements.size(); ++i)
            EXPECT_EQ(refCount(elements[i].get()), PB_INT(i) == row.index ? 1 : 2) << i;
    }
}

TEST(PbVector, DelAtFreesAnElementHeldOnlyByTheVector)
{
    PB_INT before = pbObjLiveCount();
    pb::Ref<PB_VECTOR> v(pbVectorCreate());
    pb::Ref<PB_STRING> s = rfctest::string("x");
    pbVectorAppendObj(v.addr(), pbStringObj(s.get()));
    s.reset();
    EXPECT_EQ(pbObjLiveCount(), before + 2);
    pbVectorDelAt(v.addr(), 0);
    EXPECT_EQ(pbObjLiveCount(), before + 1);
    EXPECT_EQ(pbVectorLength(v.get()), 0);
}

TEST(PbVector, SettersCopyASharedVectorFirst)
{
    pb::Ref<PB_VECTOR> other(pbVectorCreate());
    pb::Ref<PB_STRING> a = rfctest::string("a");
    pb::Ref<PB_STRING> b = rfctest::string("b");
    pbVectorAppendObj(other.addr(), pbStringObj(a.get()));
    pbVectorAppendObj(other.addr(), pbStringObj(b.get()));

    pb::Ref<PB_VECTOR> mine = pb::Ref<PB_VECTOR>::retained(other.get());
    pbVectorAppendObj(mine.addr(), pbStringObj(a.get()));
    EXPECT_NE(mine.get(), other.get());
    EXPECT_EQ(texts(other.get()), (std::vector<std::string> { "a", "b" }));
    EXPECT_EQ(texts(mine.get()), (std::vector<std::string> { "a", "b", "a" }));
    EXPECT_EQ(refCount(a.get()), 4); // ours, other's one, mine's two
    EXPECT_EQ(refCount(b.get()), 3);

    pb::Ref<PB_VECTOR> third = pb::Ref<PB_VECTOR>::retained(other.get());
    pbVectorDelAt(third.addr(), 0);
    EXPECT_NE(third.get(), other.get());
    EXPECT_EQ(texts(other.get()), (std::vector<std::string> { "a", "b" }));
    EXPECT_EQ(texts(third.get()), (std::vector<std::string> { "b" }));
    EXPECT_EQ(pbObjRefCount(pbVectorObj(other.get())), 1);
    EXPECT_EQ(refCount(a.get()), 4);
    EXPECT_EQ(refCount(b.get()), 4);
}

TEST(PbVector, AppendingAVectorToItself)
{
    pb::Ref<PB_VECTOR> v(pbVectorCreate());
    pb::Ref<PB_STRING> a = rfctest::string("a");
    pbVectorAppendObj(v.addr(), pbStringObj(a.get()));
    PB_VECTOR *original = v.get();
    pbVectorAppendObj(v.addr(), pbVectorObj(v.get()));
    // The vector now holds its former self, which is a different object and
    // still has only the one element.
    ASSERT_EQ(pbVectorLength(v.get()), 2);
    PB_OBJ *inner = pbVectorObjAt(v.get(), 1);
    EXPECT_EQ(inner, pbVectorObj(original));
    EXPECT_NE(inner, pbVectorObj(v.get()));
    EXPECT_EQ(pbVectorLength(pbVectorFrom(inner)), 1);
    pbObjRelease(inner);
}

TEST(PbVector, GrowsToManyElements)
{
    pb::Ref<PB_VECTOR> v(pbVectorCreate());
    for (PB_INT i = 0; i < 10000; ++i) {
        pb::Ref<PB_BOXED_INT> b(pbBoxedIntCreate(i));
        pbVectorAppendObj(v.addr(), pbBoxedIntObj(b.get()));
    }
    ASSERT_EQ(pbVectorLength(v.get()), 10000);
    for (PB_INT i = 0; i < 10000; i += 37) {
        pb::Ref<PB_BOXED_INT> b(pbBoxedIntFrom(pbVectorObjAt(v.get(), i)));
        ASSERT_EQ(pbBoxedIntValue(b.get()), i);
    }
}

TEST(PbVector, ContainsOnly)
{
    pb::Ref<PB_VECTOR> v(pbVectorCreate());
    EXPECT_TRUE(pbVectorContainsOnly(v.get(), pbStringSort())); // empty: vacuously
    pb::Ref<PB_STRING> s = rfctest::string("s");
    pbVectorAppendObj(v.addr(), pbStringObj(s.get()));
    pbVectorAppendObj(v.addr(), pbStringObj(s.get()));
    EXPECT_TRUE(pbVectorContainsOnly(v.get(), pbStringSort()));
    EXPECT_FALSE(pbVectorContainsOnly(v.get(), pbBufferSort()));
    pb::Ref<PB_BUFFER> b(pbBufferCreate());
    pbVectorAppendObj(v.addr(), pbBufferObj(b.get()));
    EXPECT_FALSE(pbVectorContainsOnly(v.get(), pbStringSort()));
    EXPECT_FALSE(pbVectorContainsOnly(v.get(), pbBufferSort()));
    pbVectorDelAt(v.addr(), 0);
    pbVectorDelAt(v.addr(), 0);
    EXPECT_TRUE(pbVectorContainsOnly(v.get(), pbBufferSort()));
}

TEST(PbVector, CompareElementwise)
{
    auto make = [](std::vector<const char *> items) {
        pb::Ref<PB_VECTOR> v(pbVectorCreate());
        for (const char *item : items) {
            pb::Ref<PB_STRING> s = rfctest::string(item);
            pbVectorAppendObj(v.addr(), pbStringObj(s.get()));
        }
        return v;
    };
    pb::Ref<PB_VECTOR> ab = make({ "a", "b" });
    pb::Ref<PB_VECTOR> ab2 = make({ "a", "b" });
    pb::Ref<PB_VECTOR> abc = make({ "a", "b", "c" });
    pb::Ref<PB_VECTOR> b = make({ "b" });
    EXPECT_EQ(pbObjCompare(pbVectorObj(ab.get()), pbVectorObj(ab2.get())), 0);
    EXPECT_LT(pbObjCompare(pbVectorObj(ab.get()), pbVectorObj(abc.get())), 0);
    EXPECT_GT(pbObjCompare(pbVectorObj(abc.get()), pbVectorObj(ab.get())), 0);
    EXPECT_LT(pbObjCompare(pbVectorObj(abc.get()), pbVectorObj(b.get())), 0);
}

TEST(PbVectorDeathTest, ObjAtOutOfRange)
{
    pb::Ref<PB_VECTOR> v(pbVectorCreate());
    EXPECT_DEATH(pbVectorObjAt(v.get(), 0), "source/pb/pb_collections.*index >= 0 && index < v->length");
    pb::Ref<PB_STRING> s = rfctest::string("s");
    pbVectorAppendObj(v.addr(), pbStringObj(s.get()));
    EXPECT_DEATH(pbVectorObjAt(v.get(), -1), "index >= 0 && index < v->length");
    EXPECT_DEATH(pbVectorObjAt(v.get(), 1), "index >= 0 && index < v->length");
}

// --- dictionaries ------------------------------------------------------------

TEST(PbDict, StringKeysFindTheirValues)
{
    pb::Ref<PB_DICT> d(pbDictCreate());
    pb::Ref<PB_STRING> value1 = rfctest::string("one");
    pb::Ref<PB_STRING> value2 = rfctest::string("two");
    {
        pb::Ref<PB_STRING> key1 = rfctest::string("k\xC3\xA9y");
        pb::Ref<PB_STRING> key2 = rfctest::string("key");
        pbDictSetObjKey(d.addr(), pbStringObj(key1.get()), pbStringObj(value1.get()));
        pbDictSetObjKey(d.addr(), pbStringObj(key2.get()), pbStringObj(value2.get()));
    }
    EXPECT_EQ(pbDictLength(d.get()), 2);
    // Keys are compared by value: a fresh string with the same text finds it.
    pb::Ref<PB_STRING> probe1 = rfctest::string("k\xC3\xA9y");
    pb::Ref<PB_OBJ> found(pbDictStringKey(d.get(), probe1.get()));
    EXPECT_EQ(found.get(), pbStringObj(value1.get()));
    EXPECT_EQ(refCount(value1.get()), 3); // ours, the dictionary's, found
    pb::Ref<PB_STRING> probe2 = rfctest::string("key");
    pb::Ref<PB_OBJ> found2(pbDictStringKey(d.get(), probe2.get()));
    EXPECT_EQ(found2.get(), pbStringObj(value2.get()));

    for (const char *absent : { "", "ke", "keys", "KEY" }) {
        pb::Ref<PB_STRING> probe = rfctest::string(absent);
        EXPECT_EQ(pbDictStringKey(d.get(), probe.get()), nullptr) << absent;
    }
    EXPECT_EQ(pbDictIntKey(d.get(), 0), nullptr);
}

TEST(PbDict, IntKeysFindBoxedIntegerKeys)
{
    pb::Ref<PB_DICT> d(pbDictCreate());
    pb::Ref<PB_STRING> minValue = rfctest::string("min");
    pb::Ref<PB_STRING> oneValue = rfctest::string("one");
    pb::Ref<PB_STRING> textValue = rfctest::string("text one");
    {
        pb::Ref<PB_BOXED_INT> minKey(pbBoxedIntCreate(PB_INT_MIN));
        pb::Ref<PB_BOXED_INT> oneKey(pbBoxedIntCreate(1));
        pb::Ref<PB_STRING> textKey = rfctest::string("1");
        pbDictSetObjKey(d.addr(), pbBoxedIntObj(minKey.get()), pbStringObj(minValue.get()));
        pbDictSetObjKey(d.addr(), pbBoxedIntObj(oneKey.get()), pbStringObj(oneValue.get()));
        pbDictSetObjKey(d.addr(), pbStringObj(textKey.get()), pbStringObj(textValue.get()));
    }
    EXPECT_EQ(pbDictLength(d.get()), 3);
    pb::Ref<PB_OBJ> min(pbDictIntKey(d.get(), PB_INT_MIN));
    EXPECT_EQ(min.get(), pbStringObj(minValue.get()));
    // The integer 1 and the text "1" are different keys.
    pb::Ref<PB_OBJ> one(pbDictIntKey(d.get(), 1));
    EXPECT_EQ(one.get(), pbStringObj(oneValue.get()));
    pb::Ref<PB_STRING> textKey = rfctest::string("1");
    pb::Ref<PB_OBJ> text(pbDictStringKey(d.get(), textKey.get()));
    EXPECT_EQ(text.get(), pbStringObj(textValue.get()));
    EXPECT_EQ(pbDictIntKey(d.get(), 0), nullptr);
    EXPECT_EQ(pbDictIntKey(d.get(), PB_INT_MAX), nullptr);
}

TEST(PbDict, SettingAnExistingKeyReplacesAndReleasesTheOldValue)
{
    pb::Ref<PB_DICT> d(pbDictCreate());
    pb::Ref<PB_STRING> oldValue = rfctest::string("old");
    pb::Ref<PB_STRING> newValue = rfctest::string("new");
    pb::Ref<PB_BOXED_INT> key(pbBoxedIntCreate(7));
    pbDictSetObjKey(d.addr(), pbBoxedIntObj(key.get()), pbStringObj(oldValue.get()));
    EXPECT_EQ(refCount(oldValue.get()), 2);
    pb::Ref<PB_BOXED_INT> sameKey(pbBoxedIntCreate(7)); // equal by value, another object
    pbDictSetObjKey(d.addr(), pbBoxedIntObj(sameKey.get()), pbStringObj(newValue.get()));
    EXPECT_EQ(pbDictLength(d.get()), 1);
    EXPECT_EQ(refCount(oldValue.get()), 1);
    EXPECT_EQ(refCount(newValue.get()), 2);
    pb::Ref<PB_OBJ> found(pbDictIntKey(d.get(), 7));
    EXPECT_EQ(found.get(), pbStringObj(newValue.get()));
    found.reset();

    // Setting the value a key already has keeps it alive.
    pbDictSetObjKey(d.addr(), pbBoxedIntObj(key.get()), pbStringObj(newValue.get()));
    EXPECT_EQ(refCount(newValue.get()), 2);
}

TEST(PbDict, SetterCopiesASharedDictionaryFirst)
{
    pb::Ref<PB_DICT> other(pbDictCreate());
    pb::Ref<PB_STRING> key = rfctest::string("k");
    pb::Ref<PB_STRING> v1 = rfctest::string("v1");
    pb::Ref<PB_STRING> v2 = rfctest::string("v2");
    pbDictSetObjKey(other.addr(), pbStringObj(key.get()), pbStringObj(v1.get()));
    pb::Ref<PB_DICT> mine = pb::Ref<PB_DICT>::retained(other.get());
    pbDictSetObjKey(mine.addr(), pbStringObj(key.get()), pbStringObj(v2.get()));
    EXPECT_NE(mine.get(), other.get());
    pb::Ref<PB_OBJ> inOther(pbDictStringKey(other.get(), key.get()));
    pb::Ref<PB_OBJ> inMine(pbDictStringKey(mine.get(), key.get()));
    EXPECT_EQ(inOther.get(), pbStringObj(v1.get()));
    EXPECT_EQ(inMine.get(), pbStringObj(v2.get()));
    EXPECT_EQ(pbObjRefCount(pbDictObj(other.get())), 1);
    EXPECT_EQ(pbObjRefCount(pbDictObj(mine.get())), 1);
}

// A key string changed by its holder after insertion does not change the
// dictionary's key (the holder's setter copies the shared string).
TEST(PbDict, ChangingTheKeyStringLaterLeavesTheDictionaryAlone)
{
    pb::Ref<PB_DICT> d(pbDictCreate());
    pb::Ref<PB_STRING> key = rfctest::string("ab");
    pb::Ref<PB_STRING> value = rfctest::string("v");
    pbDictSetObjKey(d.addr(), pbStringObj(key.get()), pbStringObj(value.get()));
    pbStringAppendChar(key.addr(), 0x63);
    EXPECT_EQ(pbDictStringKey(d.get(), key.get()), nullptr);
    pb::Ref<PB_STRING> original = rfctest::string("ab");
    pb::Ref<PB_OBJ> found(pbDictStringKey(d.get(), original.get()));
    EXPECT_EQ(found.get(), pbStringObj(value.get()));
}

// --- stores ------------------------------------------------------------------

TEST(PbStore, TextAndIntegerValuesAreKeptApart)
{
    pb::Ref<PB_STORE> st(pbStoreCreate());
    pb::Ref<PB_STRING> text = rfctest::string("CRLF");
    pbStoreSetValueCstr(st.addr(), "outputNlf", -1, text.get());
    pbStoreSetValueIntCstr(st.addr(), "outputLineLength", -1, 76);
    pbStoreSetValueIntCstr(st.addr(), "negative", -1, PB_INT_MIN);
    EXPECT_EQ(pbStoreLength(st.get()), 3);

    pb::Ref<PB_STRING> got(pbStoreValueCstr(st.get(), "outputNlf", -1));
    ASSERT_TRUE(got);
    EXPECT_TRUE(pbStringEqualsCstr(got.get(), "CRLF"));
    PB_INT value = 0;
    EXPECT_TRUE(pbStoreValueIntCstr(st.get(), &value, "outputLineLength", -1));
    EXPECT_EQ(value, 76);
    EXPECT_TRUE(pbStoreValueIntCstr(st.get(), &value, "negative", -1));
    EXPECT_EQ(value, PB_INT_MIN);

    // The other kind, or no entry: null and false, value untouched.
    value = 12345;
    EXPECT_FALSE(pbStoreValueIntCstr(st.get(), &value, "outputNlf", -1));
    EXPECT_EQ(value, 12345);
    EXPECT_EQ(pbStoreValueCstr(st.get(), "outputLineLength", -1), nullptr);
    EXPECT_EQ(pbStoreValueCstr(st.get(), "absent", -1), nullptr);
    EXPECT_FALSE(pbStoreValueIntCstr(st.get(), &value, "absent", -1));
    EXPECT_FALSE(pbStoreValueIntCstr(st.get(), &value, "outputlinelength", -1)); // keys are exact
    EXPECT_EQ(value, 12345);
}

TEST(PbStore, KeyLengthLimitsTheKey)
{
    pb::Ref<PB_STORE> st(pbStoreCreate());
    pbStoreSetValueIntCstr(st.addr(), "flagsXYZ", 5, 3);
    PB_INT value = 0;
    EXPECT_TRUE(pbStoreValueIntCstr(st.get(), &value, "flags", -1));
    EXPECT_EQ(value, 3);
    EXPECT_FALSE(pbStoreValueIntCstr(st.get(), &value, "flagsXYZ", -1));
    EXPECT_TRUE(pbStoreValueIntCstr(st.get(), &value, "flags!", 5));
}

TEST(PbStore, OverwritingChangesKindAndReleasesTheOldText)
{
    pb::Ref<PB_STORE> st(pbStoreCreate());
    pb::Ref<PB_STRING> first = rfctest::string("first");
    pb::Ref<PB_STRING> second = rfctest::string("second");
    pbStoreSetValueCstr(st.addr(), "k", -1, first.get());
    EXPECT_EQ(refCount(first.get()), 2);
    pbStoreSetValueCstr(st.addr(), "k", -1, second.get());
    EXPECT_EQ(refCount(first.get()), 1);
    EXPECT_EQ(refCount(second.get()), 2);
    pbStoreSetValueIntCstr(st.addr(), "k", -1, -5);
    EXPECT_EQ(refCount(second.get()), 1);
    EXPECT_EQ(pbStoreLength(st.get()), 1);
    EXPECT_EQ(pbStoreValueCstr(st.get(), "k", -1), nullptr);
    PB_INT value = 0;
    EXPECT_TRUE(pbStoreValueIntCstr(st.get(), &value, "k", -1));
    EXPECT_EQ(value, -5);
    pbStoreSetValueCstr(st.addr(), "k", -1, first.get());
    EXPECT_FALSE(pbStoreValueIntCstr(st.get(), &value, "k", -1));
    pb::Ref<PB_STRING> got(pbStoreValueCstr(st.get(), "k", -1));
    EXPECT_EQ(got.get(), first.get());
}

TEST(PbStore, SettersCopyASharedStoreFirst)
{
    pb::Ref<PB_STORE> other(pbStoreCreate());
    pb::Ref<PB_STRING> text = rfctest::string("t");
    pbStoreSetValueCstr(other.addr(), "text", -1, text.get());
    pbStoreSetValueIntCstr(other.addr(), "int", -1, 1);

    pb::Ref<PB_STORE> mine = pb::Ref<PB_STORE>::retained(other.get());
    pbStoreSetValueIntCstr(mine.addr(), "int", -1, 2);
    EXPECT_NE(mine.get(), other.get());
    pb::Ref<PB_STORE> third = pb::Ref<PB_STORE>::retained(other.get());
    pbStoreSetValueIntCstr(third.addr(), "text", -1, 3);
    EXPECT_NE(third.get(), other.get());

    PB_INT value = 0;
    EXPECT_TRUE(pbStoreValueIntCstr(other.get(), &value, "int", -1));
    EXPECT_EQ(value, 1);
    EXPECT_TRUE(pbStoreValueIntCstr(mine.get(), &value, "int", -1));
    EXPECT_EQ(value, 2);
    pb::Ref<PB_STRING> otherText(pbStoreValueCstr(other.get(), "text", -1));
    EXPECT_EQ(otherText.get(), text.get());
    EXPECT_EQ(pbStoreValueCstr(third.get(), "text", -1), nullptr);
    EXPECT_EQ(pbObjRefCount(pbStoreObj(other.get())), 1);
    otherText.reset();
    EXPECT_EQ(refCount(text.get()), 3); // ours, other's, mine's copy
}

TEST(PbStore, CompareByContent)
{
    auto make = [](PB_INT flags) {
        pb::Ref<PB_STORE> st(pbStoreCreate());
        pbStoreSetValueIntCstr(st.addr(), "flags", -1, flags);
        return st;
    };
    pb::Ref<PB_STORE> a = make(1);
    pb::Ref<PB_STORE> a2 = make(1);
    pb::Ref<PB_STORE> b = make(2);
    EXPECT_TRUE(pbObjEquals(pbStoreObj(a.get()), pbStoreObj(a2.get())));
    EXPECT_FALSE(pbObjEquals(pbStoreObj(a.get()), pbStoreObj(b.get())));
    pb::Ref<PB_STRING> one = rfctest::string("1");
    pb::Ref<PB_STORE> asText(pbStoreCreate());
    pbStoreSetValueCstr(asText.addr(), "flags", -1, one.get());
    EXPECT_FALSE(pbObjEquals(pbStoreObj(a.get()), pbStoreObj(asText.get())));
}

// A store is a map from keys to values: two stores holding the same entries
// are equal, whatever order the entries were set in.
TEST(PbStore, EqualityDoesNotDependOnTheOrderOfSetting)
{
    pb::Ref<PB_STORE> forward(pbStoreCreate());
    pbStoreSetValueIntCstr(forward.addr(), "flags", -1, 1);
    pbStoreSetValueIntCstr(forward.addr(), "outputLineLength", -1, 76);
    pb::Ref<PB_STORE> backward(pbStoreCreate());
    pbStoreSetValueIntCstr(backward.addr(), "outputLineLength", -1, 76);
    pbStoreSetValueIntCstr(backward.addr(), "flags", -1, 1);
    EXPECT_TRUE(pbObjEquals(pbStoreObj(forward.get()), pbStoreObj(backward.get())));
    EXPECT_EQ(pbObjCompare(pbStoreObj(forward.get()), pbStoreObj(backward.get())), 0);
}

// --- boxed integers ----------------------------------------------------------

TEST(PbBoxedInt, ValueObjFromAndText)
{
    struct Row {
        PB_INT value;
        const char *text;
    } rows[] = {
        { 0, "0" },
        { -1, "-1" },
        { 76, "76" },
        { PB_INT_MAX, "9223372036854775807" },
        { PB_INT_MIN, "-9223372036854775808" },
    };
    for (const Row &row : rows) {
        pb::Ref<PB_BOXED_INT> b(pbBoxedIntCreate(row.value));
        EXPECT_EQ(pbBoxedIntValue(b.get()), row.value);
        EXPECT_EQ(pbBoxedIntFrom(pbBoxedIntObj(b.get())), b.get());
        EXPECT_EQ(pbObjSort(pbBoxedIntObj(b.get())), pbBoxedIntSort());
        pb::Ref<PB_STRING> text(pbObjToString(pbBoxedIntObj(b.get())));
        EXPECT_EQ(rfctest::utf8(text.get()), row.text);
    }
    EXPECT_EQ(pbBoxedIntFrom(nullptr), nullptr);
}

TEST(PbBoxedInt, CompareByValue)
{
    pb::Ref<PB_BOXED_INT> min(pbBoxedIntCreate(PB_INT_MIN));
    pb::Ref<PB_BOXED_INT> zero(pbBoxedIntCreate(0));
    pb::Ref<PB_BOXED_INT> zero2(pbBoxedIntCreate(0));
    pb::Ref<PB_BOXED_INT> max(pbBoxedIntCreate(PB_INT_MAX));
    // A subtraction-based order would overflow here.
    EXPECT_LT(pbObjCompare(pbBoxedIntObj(min.get()), pbBoxedIntObj(max.get())), 0);
    EXPECT_GT(pbObjCompare(pbBoxedIntObj(max.get()), pbBoxedIntObj(min.get())), 0);
    EXPECT_EQ(pbObjCompare(pbBoxedIntObj(zero.get()), pbBoxedIntObj(zero2.get())), 0);
}

TEST(PbBoxedIntDeathTest, FromAnObjectOfAnotherSort)
{
    pb::Ref<PB_STRING> s = rfctest::string("1");
    EXPECT_DEATH(pbBoxedIntFrom(pbStringObj(s.get())), "!obj \\|\\| pbObjSort\\(obj\\) == &boxedIntSort");
}

} // namespace
