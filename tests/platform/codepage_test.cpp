#include "platform/codepage.h"

#include <gtest/gtest.h>

namespace {

TEST(CodePage, ConvertsBetweenGbkAndUnicode) {
  const std::string gbk = "C:\\测试\\《乗》";  // the literal is GBK in the binary
  const std::u16string utf16 = u"C:\\测试\\《乗》";
  const std::string utf8 = reinterpret_cast<const char*>(u8"C:\\测试\\《乗》");
  EXPECT_EQ(platform::GbkToUtf16(gbk), utf16);
  EXPECT_EQ(platform::Utf16ToGbk(utf16), gbk);
  EXPECT_EQ(platform::GbkToUtf8(gbk), utf8);
  EXPECT_EQ(platform::Utf8ToGbk(utf8), gbk);
  EXPECT_EQ(std::string("\xB2\xE2\xCA\xD4"), std::string("测试"));
}

TEST(CodePage, InvalidInputBecomesReplacementCharacters) {
  // A lead byte without its trail: U+FFFD here, '?' under Wine; one character either way.
  std::u16string lone = platform::GbkToUtf16(std::string("a\x81"));
  ASSERT_EQ(lone.size(), 2u);
  EXPECT_EQ(lone[0], u'a');
  EXPECT_TRUE(lone[1] == u'\uFFFD' || lone[1] == u'?');
  EXPECT_EQ(platform::Utf16ToGbk(u"a\u0E01b"), "a?b");  // Thai is not in GBK
  EXPECT_EQ(platform::GbkToUtf16(std::string("a\0b", 3)), std::u16string(u"a\0b", 3));
}

TEST(CodePage, CompareTextIgnoreCaseFoldsLetters) {
  const struct {
    const char* a;
    const char* b;
    int sign;
  } cases[] = {
      {"Zentab04.EXE", "zentab04.exe", 0},
      {"ＡＢ", "ａｂ", 0},  // full-width letters fold too
      {"测试", "测试", 0},
      {"abc", "abd", -1},
      {"b", "A", 1},
      {"ab", "abc", -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.a) + " / " + c.b);
    int r = platform::CompareTextIgnoreCase(c.a, c.b);
    EXPECT_EQ((r > 0) - (r < 0), c.sign);
  }
}

TEST(CodePage, OemToAnsiKeepsGbk) {
  EXPECT_EQ(platform::OemToAnsi("任务\\乗"), "任务\\乗");
}

}  // namespace
