// The engine's small helpers (percentages, splitting, digits, copies) and its message table.
#include "archive/arxGbls.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(ArchiveHelpers, SmallFunctions) {
  EXPECT_EQ(orb::PercentOf(1, 3), 33);
  EXPECT_EQ(orb::PercentOf(2, 3), 67);
  EXPECT_EQ(orb::PercentOf(5, 0), 0);
  EXPECT_EQ(orb::PercentOf(7, 5), 100);
  EXPECT_EQ(orb::PercentOf(-1, 5), 0);
  EXPECT_EQ(orb::PercentOf(1, 8), 12);  // 12.5: halves go to even
  EXPECT_EQ(orb::PercentOf(3, 8), 38);  // 37.5

  std::string src = "a;b;c";
  EXPECT_EQ(orb::SplitHead(src, ";"), "a");
  EXPECT_EQ(src, "b;c");
  src = "abc";
  EXPECT_EQ(orb::SplitHead(src, ";"), "abc");
  EXPECT_EQ(src, "");

  EXPECT_TRUE(orb::IsAllDigits(""));
  EXPECT_TRUE(orb::IsAllDigits("003"));
  EXPECT_FALSE(orb::IsAllDigits("A1"));
  EXPECT_EQ(orb::DotPos("abc.def"), 3);
  EXPECT_EQ(orb::DotPos("abc"), 3);

  std::uint8_t buf[8] = {1, 2, 0, 0, 0, 0, 0, 0};
  orb::CopyBytes(buf + 2, buf, 6);  // overlapping forward copy repeats the pattern
  EXPECT_EQ(std::vector<int>(buf, buf + 8), (std::vector<int>{1, 2, 1, 2, 1, 2, 1, 2}));
}

TEST(ArchiveMessages, TableHoldsTheEngineTexts) {
  struct Case {
    int id;
    const char* text;
  };
  const Case cases[] = {
      {25102, "File is read-only"},
      {25136, "Error writing to file"},
      {25151, "File fails CRC check"},
      {25157, "is not accessible."},
      {25243, "Invalid file name"},
      {25248, "Inconsistant local header"},
      {25326, "Unsupported compression method"},
      {26001, "ALL Archives |*.ace;*.arc;*.arj;*.bh;*.cab;*.enc;*.exe;*.gz;*.ha;*.jar;*.lha;"
              "*.lzh;*.pak;*.rar;*.tar;*.uue;*.xxe;*.z;*.zip;*.zoo"},
      {26517, "Invalid password"},
      {26522, "Password failed"},
      {26899, "Nothing to do"},
      {25101, ""},  // outside the table
  };
  for (const Case& c : cases) EXPECT_EQ(orb::LoadMessage(c.id), c.text) << c.id;
}

}  // namespace
