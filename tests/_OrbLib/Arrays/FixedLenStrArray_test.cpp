// TFixedLenStrArray: texts cut to Width, the sentinel search, capacity steps.
#include "_OrbLib/Arrays/FixedLenStrArray.h"

#include <gtest/gtest.h>

#include <functional>

#include "_OrbLib/OrbExcept.h"

namespace {

TEST(FixedLenStrArray, TextsAreCutToWidthAndKeysToo) {
  orb::TFixedLenStrArray a(10);
  a.SetCount(3);
  a.SetItem(0, "ABCDEFGHIJKL");
  a.SetItem(1, "NAME");
  a.SetItem(2, "NAME");
  EXPECT_EQ(a.GetItem(0), "ABCDEFGHIJ");
  EXPECT_EQ(a.GetItem(2), "NAME");
  const struct {
    const char* key;
    int index;
  } cases[] = {
      {"ABCDEFGHIJXX", 0}, {"ABCDEFGHIJ", 0}, {"NAME", 1} /* the first of two */,
      {"name", -1},        {"NAM", -1},       {"", -1},
  };
  for (const auto& c : cases) EXPECT_EQ(a.IndexOf(c.key), c.index) << c.key;
  a.SetItem(1, "X");
  EXPECT_EQ(a.GetItem(1), "X") << "the old, longer text is cleared";
  EXPECT_EQ(std::string(a.ItemPtr(1) + 2), "") << "bytes behind the text are zero";
}

TEST(FixedLenStrArray, EmptyListFindsNothingWithoutStorage) {
  orb::TFixedLenStrArray a(4);
  EXPECT_EQ(a.IndexOf("A"), -1);
  EXPECT_EQ(a.ItemPtr(0), nullptr);
  EXPECT_EQ(a.Capacity(), 0);
}

TEST(FixedLenStrArray, CapacityGrowsInSteps) {
  // From an empty list: the next multiple of 16, 64 or 256 above the count.
  const struct {
    int count, capacity;
  } cases[] = {{1, 16}, {15, 16}, {16, 32}, {256, 272}, {257, 320}, {4096, 4160},
               {4097, 4352}};
  for (const auto& c : cases) {
    orb::TFixedLenStrArray a(10);
    a.SetCount(c.count);
    EXPECT_EQ(a.Capacity(), c.capacity) << c.count;
  }
  // A list reallocates only when the count reaches its capacity, and never shrinks.
  orb::TFixedLenStrArray a(10);
  const struct {
    int count, capacity;
  } sequence[] = {{256, 272}, {257, 272}, {272, 320}, {100, 320}, {0, 0}};
  for (const auto& s : sequence) {
    a.SetCount(s.count);
    EXPECT_EQ(a.Capacity(), s.capacity) << s.count;
  }
}

TEST(FixedLenStrArray, SlotsGivenUpComeBackEmpty) {
  orb::TFixedLenStrArray a(5);
  a.SetCount(3);
  a.SetItem(2, "keep");
  a.SetCount(1);
  EXPECT_EQ(std::string(a.ItemPtr(1) + (a.Width() + 1)), "keep")
      << "bytes stay until a later growth";
  a.SetCount(3);
  EXPECT_EQ(a.GetItem(2), "");
}

TEST(FixedLenStrArray, PreconditionsNameTheUnit) {
  orb::TFixedLenStrArray a(5);
  a.SetCount(2);
  const std::function<void()> calls[] = {
      [&] { a.GetItem(2); }, [&] { a.ItemPtr(3); }, [&] { a.SetItem(3, "x"); },
      [&] { a.SetCount(-1); }, [] { orb::TFixedLenStrArray bad(0); }};
  for (const auto& f : calls) {
    try {
      f();
      ADD_FAILURE() << "no assertion failure";
    } catch (const orb::EAssertionFailed& e) {
      EXPECT_EQ(e.Unit(), "_OrbLib/Arrays/FixedLenStrArray");
    }
  }
  EXPECT_NO_THROW(a.ItemPtr(2));
  EXPECT_NO_THROW(a.SetItem(2, "spare"));
}

}  // namespace
