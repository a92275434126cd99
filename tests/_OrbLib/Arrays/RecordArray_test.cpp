// TRecArray: records of a fixed size in blocks of 16.
#include "_OrbLib/Arrays/RecordArray.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "_OrbLib/OrbExcept.h"

namespace {

TEST(RecArray, AddGivesZeroedRecordsInBlocksOf16) {
  orb::TRecArray a(32);
  std::uint8_t* r0 = a.Add();
  std::memset(r0, 0xAB, 32);
  a.Add();
  std::uint8_t* r2 = a.Add();
  EXPECT_EQ(a.Count(), 3);
  EXPECT_EQ(a.TotalSize(), 96);
  EXPECT_EQ(a.Capacity(), 16);
  EXPECT_EQ(r2, a.ItemPtr(2));
  EXPECT_EQ(a.ItemPtr(0)[31], 0xAB);
  for (int r = 1; r < 3; ++r)
    for (int b = 0; b < 32; ++b) ASSERT_EQ(a.ItemPtr(r)[b], 0) << r << ":" << b;
  EXPECT_EQ(a.ItemPtr(3), a.ItemPtr(0) + 96) << "the slot behind the last record is allowed";
}

TEST(RecArray, CapacityStepsAndZeroingAfterShrink) {
  const struct {
    int count, capacity;
  } steps[] = {{15, 16}, {16, 32}, {31, 32}, {32, 48}, {1, 16}, {0, 0}};
  orb::TRecArray a(3);
  for (const auto& s : steps) {
    a.SetCount(s.count);
    EXPECT_EQ(a.Capacity(), s.capacity) << s.count;
  }
  a.SetCount(4);
  std::memset(a.ItemPtr(0), 0x11, 12);
  a.SetCount(2);
  a.SetCount(4);
  EXPECT_EQ(a.ItemPtr(1)[2], 0x11);
  EXPECT_EQ(a.ItemPtr(2)[0], 0) << "records a smaller count gave up come back zeroed";
  EXPECT_EQ(a.ItemPtr(3)[2], 0);
}

TEST(RecArray, PreconditionsNameTheUnit) {
  orb::TRecArray a(8);
  a.SetCount(2);
  for (auto f : std::initializer_list<std::function<void()>>{
           [&] { a.ItemPtr(3); }, [&] { a.ItemPtr(-1); }, [&] { a.SetCount(-1); },
           [] { orb::TRecArray bad(0); }}) {
    try {
      f();
      ADD_FAILURE() << "no assertion failure";
    } catch (const orb::EAssertionFailed& e) {
      EXPECT_EQ(e.Unit(), "_OrbLib/Arrays/RecordArray");
    }
  }
  EXPECT_EQ(a.Count(), 2);
}

}  // namespace
