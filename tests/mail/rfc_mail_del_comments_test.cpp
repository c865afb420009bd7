// Dropping the comments of a token vector takes time linear in its length:
// the same operation on a vector eight times as long costs about eight times
// the work, where deleting one comment at a time would cost sixty-four.
#include "mail_test_support.h"

namespace {

// The tokens of "a()" repeated pairs times: an atom and a comment each.
pb::Ref<PB_VECTOR> atomCommentPairs(PB_INT pairs)
{
    std::u32string text;
    for (PB_INT i = 0; i < pairs; ++i)
        text += U"a()";
    pb::Ref<PB_VECTOR> vec(rfcMailShfTokenVectorTryDecode(rfctest::string(text).get()));
    EXPECT_TRUE(vec);
    return vec;
}

TEST(MailShfTokenVectorDelComments, WorkGrowsLinearlyWithTheLength)
{
    constexpr PB_INT small = 4000, factor = 8;
    auto cost = [](PB_INT pairs) {
        pb::Ref<PB_VECTOR> vec;
        double seconds = rfctest::leastCpuSeconds(
            3, [&] { vec = atomCommentPairs(pairs); }, [&] { rfcMailShfTokenVectorDelComments(vec.addr()); });
        EXPECT_EQ(pbVectorLength(vec.get()), pairs);
        EXPECT_EQ(mailtest::toksOf(vec.get())[size_t(pairs - 1)], mailtest::a(U"a"));
        return seconds;
    };
    double ratio = cost(small * factor) / cost(small);
    // Linear work gives about 8; one deletion at a time gives about 64.
    EXPECT_LT(ratio, 3.0 * factor) << "work at " << factor << " times the length grew " << ratio << " times";
}

// A vector without comments stays the same object, shared or not.
TEST(MailShfTokenVectorDelComments, NoCommentsKeepsTheObject)
{
    auto vec = mailtest::vectorOf({ mailtest::a(U"a"), mailtest::s('@'), mailtest::a(U"b") });
    auto other = pb::Ref<PB_VECTOR>::retained(vec.get());
    rfcMailShfTokenVectorDelComments(vec.addr());
    EXPECT_EQ(vec.get(), other.get());
}

} // namespace
