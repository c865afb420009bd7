// Helpers shared by the runtime's tests: the sign of a comparison and the
// copy-on-write check that every setter of every runtime type must pass.
#ifndef RFC_PB_TEST_UTIL_H
#define RFC_PB_TEST_UTIL_H

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <string>

namespace pbtest {

inline int sign(PB_INT x)
{
    return (x > 0) - (x < 0);
}

// The text form of any runtime object (pbObjToString), as UTF-8.
template <class T>
std::string text(T *obj)
{
    pb::Ref<PB_STRING> s(pbObjToString(pb::obj(obj)));
    return rfctest::utf8(s.get());
}

// Applies a setter twice, each time to a fresh object from make(): once
// through one of two references, where the other holder must keep its object
// and its text and the caller must get a new object of its own, and once
// through the only reference, where the object must change in place. Both
// must give the expected text. A setter that changes nothing may keep
// sharing.
template <class T, class Make, class Apply, class Text>
void expectCopyOnWrite(Make make, Apply apply, Text text, const std::string &expected)
{
    pb::Ref<T> other = make();
    const std::string before = text(other.get());
    pb::Ref<T> mine = pb::Ref<T>::retained(other.get());
    apply(mine.addr());
    EXPECT_EQ(text(other.get()), before);
    EXPECT_EQ(text(mine.get()), expected);
    if (expected != before) {
        EXPECT_NE(mine.get(), other.get());
        EXPECT_EQ(pbObjRefCount(pb::obj(other.get())), 1);
        EXPECT_EQ(pbObjRefCount(pb::obj(mine.get())), 1);
    }
    pb::Ref<T> sole = make();
    T *const unshared = sole.get();
    apply(sole.addr());
    EXPECT_EQ(sole.get(), unshared);
    EXPECT_EQ(text(sole.get()), expected);
}

} // namespace pbtest

#endif
