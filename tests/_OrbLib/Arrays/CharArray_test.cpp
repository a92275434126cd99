// TCharArrayClass and T_Int32ArrayClass: zeroed growth, rounding to blocks of 8 and
// their preconditions. The two share one algorithm, so one typed suite covers both.
#include "_OrbLib/Arrays/CharArray.h"

#include <gtest/gtest.h>

#include "_OrbLib/Arrays/_Int32Array.h"
#include "_OrbLib/OrbExcept.h"

namespace {

template <typename A>
struct Traits;
template <>
struct Traits<orb::TCharArrayClass> {
  static constexpr const char* kUnit = "_OrbLib/Arrays/CharArray";
  using Item = char;
};
template <>
struct Traits<orb::T_Int32ArrayClass> {
  static constexpr const char* kUnit = "_OrbLib/Arrays/_Int32Array";
  using Item = std::int32_t;
};

template <typename A>
class SmallArray : public ::testing::Test {};
using ArrayTypes = ::testing::Types<orb::TCharArrayClass, orb::T_Int32ArrayClass>;
TYPED_TEST_SUITE(SmallArray, ArrayTypes);

template <typename F>
void ExpectAssertion(const char* unit, F&& f) {
  try {
    f();
    ADD_FAILURE() << "no assertion failure";
  } catch (const orb::EAssertionFailed& e) {
    EXPECT_EQ(e.Unit(), unit);
  }
}

TYPED_TEST(SmallArray, NewElementsAreZeroAfterShrinkAndRegrow) {
  using Item = typename Traits<TypeParam>::Item;
  TypeParam a;
  a.SetCount(5);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(a.GetItem(i), Item(0)) << i;
  for (int i = 0; i < 5; ++i) a.SetItem(i, Item(i + 7));
  a.SetCount(3);
  const auto* block = a.Data();
  a.SetCount(5);
  EXPECT_EQ(a.Data(), block) << "3 and 5 round to the same 8: the block is kept";
  EXPECT_EQ(a.GetItem(2), Item(9));
  EXPECT_EQ(a.GetItem(3), Item(0));
  EXPECT_EQ(a.GetItem(4), Item(0));
  a.SetCount(20);
  EXPECT_EQ(a.GetItem(2), Item(9)) << "growth keeps the elements";
  EXPECT_EQ(a.GetItem(19), Item(0));
  a.SetCount(0);
  EXPECT_EQ(a.Data(), nullptr);
}

TYPED_TEST(SmallArray, PreconditionsNameTheUnitAndLeaveTheArrayAlone) {
  const char* unit = Traits<TypeParam>::kUnit;
  TypeParam a;
  a.SetCount(2);
  a.SetItem(1, 4);
  ExpectAssertion(unit, [&] { a.SetCount(-1); });
  ExpectAssertion(unit, [&] { a.Resize(TypeParam::kMaxCount + 1); });
  ExpectAssertion(unit, [&] { a.GetItem(2); });
  ExpectAssertion(unit, [&] { a.GetItem(-1); });
  ExpectAssertion(unit, [&] { a.SetItem(2, 1); });
  EXPECT_EQ(a.Count(), 2);
  EXPECT_EQ(a.GetItem(1), 4);
}

TEST(SmallArrayLimits, LargestCountsAreAccepted) {
  orb::TCharArrayClass c;
  c.Resize(0x3FFFF);
  EXPECT_EQ(c.GetItem(0x3FFFE), 0);
  orb::T_Int32ArrayClass i;
  i.Resize(1048575);
  EXPECT_EQ(i.GetItem(1048574), 0);
  EXPECT_THROW(i.Resize(1048576), orb::EAssertionFailed);
  EXPECT_EQ(i.Count(), 1048575);
}

}  // namespace
