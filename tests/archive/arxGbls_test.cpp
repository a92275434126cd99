// The engine's helpers: wildcard matching, pattern lists, percentages, dates, folders, and the
// message table.
#include "archive/arxGbls.h"

#include <gtest/gtest.h>

#include <ctime>

#include "platform/file.h"
#include "platform/fs.h"
#include "support/ScratchDir.h"

namespace {

using orb::MatchWildcard;

TEST(MatchWildcard, Table) {
  struct Case {
    const char* pattern;
    const char* name;
    bool names_only;
    bool match;
  };
  const Case cases[] = {
      {"*.txt", "readme.TXT", false, true},
      {"*.txt", "readme.txt.bak", false, false},
      {"a?c", "abc", false, true},
      {"a?c", "ac", false, false},
      {"*", "", false, true},
      {"", "", false, true},
      {"", "x", false, false},
      {"", "**", false, true},        // an empty pattern matches a name of asterisks only
      {"*.*", "README", false, true},  // ".*" appended to a name without a stop
      {"*.", "README.TXT", false, true},  // the trailing stop goes, "*" remains
      {"README.", "README", false, true},
      {"data\\*.dbf", "data\\t1.dbf", false, true},
      {"data\\*.dbf", "other\\t1.dbf", false, false},
      {"x\\*.dbf", "data\\t1.dbf", true, true},  // names only: folders dropped first
      {"abc", "a*", false, true},                // asterisk on the name side
      {"a*c", "a*", false, true},
      {"a**", "a", false, true},
      {"*a*a*b", "aaaaaaaa", false, false},
      {"*a*a*b", "xaxaxb", false, true},
      {"表*", "表格.dbf", false, true},           // GBK bytes compare exactly
      {"??.dbf", "表.dbf", false, true},          // a GBK character is two bytes
      {"?.dbf", "表.dbf", false, false},
      {"ABC", "abc", false, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MatchWildcard(c.pattern, c.name, c.names_only), c.match)
        << "pattern '" << c.pattern << "' name '" << c.name << "' names_only " << c.names_only;
  }
}

TEST(MatchWildcard, HostileInputStaysBounded) {
  // Many asterisks on both sides and a name that never matches: the classic exponential case
  // for a recursive matcher, and deep enough to exhaust a call stack per asterisk.
  std::string pattern, name;
  for (int i = 0; i < 300; ++i) pattern += "*a";
  pattern += "b";
  name = std::string(1500, 'a') + std::string(1500, '*') + "c";
  std::clock_t t0 = std::clock();
  EXPECT_FALSE(MatchWildcard(pattern, std::string(600, 'a'), false));
  bool r = MatchWildcard(std::string(6000, '*') + ".", name, false);
  double seconds = static_cast<double>(std::clock() - t0) / CLOCKS_PER_SEC;
  EXPECT_TRUE(r);
  EXPECT_LT(seconds, 20.0);
}

TEST(NormalizeFileSpec, DropsEmptyAndKeepsNameParts) {
  std::vector<std::string> v = {"", "dir/a.txt", "", "*.dbf", "c:x.ini"};
  orb::NormalizeFileSpec(v);
  EXPECT_EQ(v, (std::vector<std::string>{"a.txt", "*.dbf", "x.ini"}));
}

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
  EXPECT_EQ(orb::WithBackslash(""), "");
  EXPECT_EQ(orb::WithBackslash("C:"), "C:\\");
  EXPECT_EQ(orb::WithBackslash("C:\\"), "C:\\");
  EXPECT_EQ(orb::OemNameToAnsi("a/b/表.txt"), "a\\b\\表.txt");

  std::uint8_t buf[8] = {1, 2, 0, 0, 0, 0, 0, 0};
  orb::CopyBytes(buf + 2, buf, 6);  // overlapping forward copy repeats the pattern
  EXPECT_EQ(std::vector<int>(buf, buf + 8), (std::vector<int>{1, 2, 1, 2, 1, 2, 1, 2}));
}

TEST(ArchiveHelpers, DosDates) {
  EXPECT_DOUBLE_EQ(orb::FileDateOrDefault(0), 29221.0);
  EXPECT_DOUBLE_EQ(orb::FileDateOrDefault(0x00000000u | (13u << 21)), 29221.0);  // month 13
  EXPECT_NEAR(orb::FileDateOrDefault(0x5A8C6B21u), 45759.0 + (13 * 3600 + 25 * 60 + 2) / 86400.0,
              1e-9);
  EXPECT_DOUBLE_EQ(orb::FileDateOrDefault(0x00210000u), 29221.0);  // 1980-01-01 00:00
  EXPECT_EQ(orb::DateTimeToDosDateTime(orb::FileDateOrDefault(0x5A8C6B21u)), 0x5A8C6B21u);
}

TEST(ArchiveHelpers, CreateDirPath) {
  orbtest::ScratchDir dir;
  ASSERT_TRUE(dir.ok());
  orb::CreateDirPath(dir.Join("a\\b\\c\\"));
  std::uint32_t attr = 0;
  ASSERT_EQ(platform::GetAttributes(dir.Join("a\\b\\c"), attr), 0u);
  EXPECT_TRUE(attr & platform::kFileAttributeDirectory);
  EXPECT_NO_THROW(orb::CreateDirPath("C:"));
  try {
    orb::CreateDirPath("");
    ADD_FAILURE() << "no exception";
  } catch (const orb::Exception& e) {
    EXPECT_EQ(e.Message(), "Unable to create directory");
  }
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
