#include "platform/gbk.h"

#include <gtest/gtest.h>

namespace {

struct PathCase {
  const char* name;
  std::string s;
  std::size_t last_char;
  bool ends_with_backslash;
  std::size_t last_backslash;
};

constexpr std::size_t npos = std::string::npos;

// 乗 is 81 5C and 癨 is B0 5C in GBK: their trail byte is a backslash but no separator.
const PathCase kPaths[] = {
    {"empty", "", 0, false, npos},
    {"ascii", "C:\\dir\\file", 10, false, 6},
    {"trailing separator", "C:\\dir\\", 6, true, 6},
    {"trail byte 5C at end", "C:\\dir\\乗", 7, false, 6},
    {"trail byte 5C then separator", "C:\\乗\\", 5, true, 5},
    {"two 5C characters", "乗癨", 2, false, npos},
    {"ordinary GBK", "C:\\测试", 5, false, 2},
    {"lone lead byte at end", "C:\\a\x81", 4, false, 2},
    {"lead byte swallowing a separator-like trail", "\x81\\\\", 2, true, 2},
};

TEST(GbkPathRules, WalksWholeCharacters) {
  for (const PathCase& c : kPaths) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(platform::LastCharStart(c.s), c.last_char);
    EXPECT_EQ(platform::EndsWithChar(c.s, '\\'), c.ends_with_backslash);
    EXPECT_EQ(platform::LastDelimiter(c.s), c.last_backslash);
  }
}

TEST(GbkPathRules, LastDelimiterTakesAnyOfSeveralSeparators) {
  EXPECT_EQ(platform::LastDelimiter("C:\\a/b", "\\/"), 4u);
  EXPECT_EQ(platform::LastDelimiter("C:name", "\\:"), 1u);
  EXPECT_EQ(platform::LastDelimiter("乗/x", "\\/"), 2u);
}

TEST(GbkPathRules, SplitPathCutsOnlyAtWholeCharacterSeparators) {
  using platform::EmptyParts;
  using Parts = std::vector<std::string>;
  struct SplitCase {
    const char* name;
    std::string s;
    const char* seps;
    EmptyParts empty;
    Parts parts;
  };
  const SplitCase cases[] = {
      {"empty drops all", "", "\\/", EmptyParts::kDrop, {}},
      {"empty keeps one", "", "\\", EmptyParts::kKeep, {""}},
      {"both separators", "C:\\a/b", "\\/", EmptyParts::kDrop, {"C:", "a", "b"}},
      {"runs and ends dropped", "\\\\a\\\\b\\", "\\/", EmptyParts::kDrop, {"a", "b"}},
      {"runs and ends kept", "\\a\\\\b\\", "\\", EmptyParts::kKeep, {"", "a", "", "b", ""}},
      {"trail byte 5C stays inside", "乗\\癨x\\y", "\\", EmptyParts::kDrop, {"乗", "癨x", "y"}},
      {"only the listed separators", "a/b\\c", "\\", EmptyParts::kDrop, {"a/b", "c"}},
      {"lone lead byte at end", "a\\\x81", "\\", EmptyParts::kDrop, {"a", "\x81"}},
  };
  for (const SplitCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(platform::SplitPath(c.s, c.seps, c.empty), c.parts);
  }
}

}  // namespace
