#include "platform/resources.h"

#include <gtest/gtest.h>

#include "support/ScratchDir.h"
#include "tools/mkhost/PeImage.h"

namespace {

TEST(OwnResources, RcDataAndStringsAreLinkedIn) {
  std::string_view blob;
  ASSERT_TRUE(platform::FindOwnRcData("TEST_BLOB", blob));
  EXPECT_EQ(std::string(blob), std::string("own resource bytes\0\x01\xff", 21));
  EXPECT_FALSE(platform::FindOwnRcData("NO_SUCH", blob));
  EXPECT_EQ(platform::LoadOwnString(25102), "Error in archive");
  EXPECT_EQ(platform::LoadOwnString(25103), "测试文本");
  EXPECT_EQ(platform::LoadOwnString(4), "");
}

TEST(DataModule, LoadsStringsOfAnotherExecutableInGbk) {
  orbtest::ScratchDir dir;
  for (bool plus : {false, true}) {
    SCOPED_TRACE(plus ? "PE32+" : "PE32");
    orb::mkhost::PeImageOptions o;
    o.pe32_plus = plus;
    o.strings = {{0, u"zero"}, {15, u"last of block 1"}, {16, u"first of block 2"},
                 {1001, u"测试《乗》"}, {65535, u"top"}};
    const std::string name = dir.Join(plus ? "sfx64.exe" : "sfx32.exe");
    ASSERT_EQ(orbtest::WriteWholeFile(name, orb::mkhost::MakePeImage(o)), 0u);
    platform::DataModule module;
    ASSERT_EQ(module.Load(name), 0u);
    const struct {
      std::uint32_t id;
      bool found;
      std::string text;
    } cases[] = {
        {0, true, "zero"},          {15, true, "last of block 1"}, {16, true, "first of block 2"},
        {1001, true, "测试《乗》"}, {65535, true, "top"},          {1, false, ""},
        {1002, false, ""},          {500, false, ""},
    };
    for (const auto& c : cases) {
      SCOPED_TRACE(c.id);
      std::string text = "junk";
      EXPECT_EQ(module.LoadStringById(c.id, text), c.found);
      EXPECT_EQ(text, c.text);
    }
  }
}

TEST(DataModule, RefusesWhatIsNotAnExecutable) {
  orbtest::ScratchDir dir;
  ASSERT_EQ(orbtest::WriteWholeFile(dir.Join("plain.exe"), "just text"), 0u);
  platform::DataModule module;
  EXPECT_NE(module.Load(dir.Join("plain.exe")), 0u);
  EXPECT_NE(module.Load(dir.Join("missing.exe")), 0u);
  std::string text;
  EXPECT_FALSE(module.LoadStringById(0, text));
}

}  // namespace
