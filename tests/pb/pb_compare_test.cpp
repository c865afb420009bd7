// The order and the text form of the runtime's value types: strings, buffers,
// boxed integers, vectors and stores.
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
        if (row.sign == unequal)
            EXPECT_NE(ab, 0) << row.why;
        else
            EXPECT_EQ(ab, row.sign) << row.why;
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
