// Wildcard matching and the pattern lists built from FileSpec patterns.
#include "archive/arxWildcard.h"

#include <gtest/gtest.h>

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

}  // namespace
