#include "platform/registry.h"

#include <gtest/gtest.h>

#include <random>

#include "platform/types.h"

namespace {

using namespace platform;

// Each test process works in a key of its own: tests run in parallel on one prefix.
std::string UniqueKey() {
  std::random_device rd;
  return "Software\\OrbTest\\" + std::to_string(rd()) + std::to_string(rd());
}

class RegistryRoundTrip : public ::testing::TestWithParam<RootKey> {
 protected:
  void TearDown() override { RegDeleteTree(GetParam(), key_); }
  std::string key_ = UniqueKey();
};

TEST_P(RegistryRoundTrip, ValuesComeBackAsRegQueryValueExAGivesThem) {
  const struct {
    const char* name;
    std::uint32_t type;
    std::string data;
  } values[] = {
      {"RootDir", kRegSz, std::string("C:\\测试\\程序\0", 13)},
      {"", kRegSz, std::string("默认值\0", 7)},
      {"Expand", kRegExpandSz, std::string("%ProgramFiles%\\测试\0", 20)},
      {"Multi", kRegMultiSz, std::string("a\0测试\0\0", 8)},
      {"Count", kRegDword, std::string("\x78\x56\x34\x12", 4)},
      {"Bin", kRegBinary, std::string("\x01\x02\xA1\xB6\x00", 5)},
      {"Big", kRegQword, std::string("\x01\0\0\0\0\0\0\x80", 8)},
      {"名称", kRegSz, std::string("quote\" and \\ back\0", 18)},
  };
  for (const auto& v : values) {
    ASSERT_EQ(RegWriteValue(GetParam(), key_, v.name, v.type, v.data), 0u) << v.name;
  }
  RegKey key;
  ASSERT_EQ(key.Open(GetParam(), key_, kKeyRead), 0u);
  for (const auto& v : values) {
    SCOPED_TRACE(v.name);
    RegValue got;
    ASSERT_EQ(key.Query(v.name, got), 0u);
    EXPECT_EQ(got.type, v.type);
    EXPECT_EQ(got.data, v.data);
    std::uint32_t type = 0, size = 0;
    ASSERT_EQ(key.QueryInfo(v.name, type, size), 0u);
    EXPECT_EQ(size, v.data.size());
  }
  RegValue missing;
  EXPECT_EQ(key.Query("Missing", missing), kErrorFileNotFound);
  // Names of keys and values ignore ASCII case.
  RegKey upper;
  ASSERT_EQ(upper.Open(GetParam(), "SOFTWARE\\orbtest\\" + key_.substr(17), kKeyQueryValue), 0u);
  RegValue got;
  EXPECT_EQ(upper.Query("rootdir", got), 0u);
}

TEST_P(RegistryRoundTrip, OverwriteAndDeleteTree) {
  ASSERT_EQ(RegWriteValue(GetParam(), key_ + "\\Sub\\Deeper", "V", kRegSz, std::string("1\0", 2)), 0u);
  ASSERT_EQ(RegWriteValue(GetParam(), key_ + "\\Sub\\Deeper", "v", kRegDword, std::string("\2\0\0\0", 4)), 0u);
  RegKey key;
  ASSERT_EQ(key.Open(GetParam(), key_ + "\\Sub\\Deeper", kKeyRead), 0u);
  RegValue got;
  ASSERT_EQ(key.Query("V", got), 0u);
  EXPECT_EQ(got.type, kRegDword);
  EXPECT_EQ(got.data, std::string("\2\0\0\0", 4));
  key.Close();
  EXPECT_FALSE(key.IsOpen());
  // A key with only subkeys exists too.
  EXPECT_EQ(key.Open(GetParam(), key_ + "\\Sub", kKeyRead), 0u);
  ASSERT_EQ(RegDeleteTree(GetParam(), key_ + "\\Sub"), 0u);
  EXPECT_EQ(key.Open(GetParam(), key_ + "\\Sub\\Deeper", kKeyRead), kErrorFileNotFound);
  EXPECT_FALSE(key.IsOpen());
  EXPECT_EQ(RegDeleteTree(GetParam(), key_ + "\\Sub"), 0u);
  EXPECT_EQ(key.Query("V", got), kErrorInvalidHandle);
}

INSTANTIATE_TEST_SUITE_P(Hives, RegistryRoundTrip,
                         ::testing::Values(RootKey::CurrentUser, RootKey::LocalMachine),
                         [](const ::testing::TestParamInfo<RootKey>& i) {
                           return i.param == RootKey::CurrentUser ? "CurrentUser" : "LocalMachine";
                         });

}  // namespace
