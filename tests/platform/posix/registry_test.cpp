// The registry over hive files written by real Wine (see fixtures/README.md).
#include "platform/registry.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <thread>
#include <vector>

#include "platform/types.h"
#include "support/posix/TestPrefix.h"

namespace {

using namespace platform;

const std::string kFixtures = ORB_SOURCE_DIR "/tests/platform/fixtures/";

// A prefix whose hives are the Wine fixtures; `win64` false removes the #arch line, which
// makes it a 32-bit prefix without Wow6432Node redirection.
class WineHives : public ::testing::Test {
 protected:
  void UseFixtures(bool win64) {
    ASSERT_TRUE(prefix_.ok());
    std::string system = orbtest::ReadUnixFile(kFixtures + "wine8-system.reg");
    ASSERT_FALSE(system.empty());
    if (!win64) system.erase(system.find("#arch=win64\n"), 12);
    orbtest::WriteUnixFile(prefix_.dir() + "/system.reg", system);
    orbtest::WriteUnixFile(prefix_.dir() + "/user.reg",
                           orbtest::ReadUnixFile(kFixtures + "wine8-user.reg"));
  }
  orbtest::ScopedPrefix prefix_;
};

TEST_F(WineHives, ValuesReadBackAsTheGbkOfWhatWasAdded) {
  UseFixtures(false);
  RegKey key;
  ASSERT_EQ(key.Open(RootKey::LocalMachine, "Software\\OrbFixture", kKeyRead), 0u);
  const struct {
    const char* name;
    std::uint32_t type;
    std::string data;
  } cases[] = {
      {"RootDir", kRegSz, std::string("C:\\测试\\程序\0", 13)},
      {"", kRegSz, std::string("默认值\0", 7)},
      {"Expand", kRegExpandSz, std::string("%ProgramFiles%\\测试\0", 20)},
      {"Multi", kRegMultiSz, std::string("a\0测试\0\0", 8)},
      {"Count", kRegDword, std::string("\x78\x56\x34\x12", 4)},
      {"Bin", kRegBinary, std::string("\x01\x02\xA1\xB6", 4)},
      {"Big", kRegQword, std::string("\x01\0\0\0\0\0\0\x80", 8)},
      {"Mixed", kRegSz, std::string("测a1 \"引号\" 乗\\x\0", 17)},
      {"rootdir", kRegSz, std::string("C:\\测试\\程序\0", 13)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RegValue v;
    ASSERT_EQ(key.Query(c.name, v), 0u);
    EXPECT_EQ(v.type, c.type);
    EXPECT_EQ(v.data, c.data);
  }
  RegValue longv;
  ASSERT_EQ(key.Query("Long", longv), 0u);
  ASSERT_EQ(longv.data.size(), 48u);
  for (std::size_t i = 0; i < 48; ++i) EXPECT_EQ(static_cast<unsigned char>(longv.data[i]), i);

  RegKey user;
  ASSERT_EQ(user.Open(RootKey::CurrentUser, "software\\orbfixture\\OPTIONS", kKeyRead), 0u);
  RegValue path;
  ASSERT_EQ(user.Query("DefaultTaskPath", path), 0u);
  EXPECT_EQ(path.data, std::string("D:\\数据\\《测试》\\\0", 18));
}

TEST_F(WineHives, A64BitPrefixShowsHklmSoftwareThroughWow6432Node) {
  UseFixtures(true);
  RegKey key;
  ASSERT_EQ(key.Open(RootKey::LocalMachine, "Software\\OrbFixture", kKeyRead), 0u);
  RegValue v;
  ASSERT_EQ(key.Query("RootDir", v), 0u);
  EXPECT_EQ(v.data, std::string("D:\\三十二位\0", 12));
  EXPECT_EQ(key.Query("Count", v), kErrorFileNotFound) << "64-bit values are not visible";
  // HKCU is not redirected.
  ASSERT_EQ(key.Open(RootKey::CurrentUser, "Software\\OrbFixture\\Options", kKeyRead), 0u);
  // Writes land in the same view.
  ASSERT_EQ(RegWriteValue(RootKey::LocalMachine, "Software\\OrbFixture", "New", kRegSz,
                          std::string("x\0", 2)), 0u);
  std::string text = orbtest::ReadUnixFile(prefix_.dir() + "/system.reg");
  std::size_t wow = text.find("[Software\\\\Wow6432Node\\\\OrbFixture]");
  std::size_t added = text.find("\"New\"=\"x\"");
  ASSERT_NE(wow, std::string::npos);
  ASSERT_NE(added, std::string::npos);
  EXPECT_LT(wow, added);
  EXPECT_LT(added, text.find("[Software\\\\Wow6432Node\\\\Policies]"));
}

TEST_F(WineHives, WritingKeepsOtherKeysAndUsesWinesFormat) {
  UseFixtures(false);
  const std::string before = orbtest::ReadUnixFile(prefix_.dir() + "/system.reg");
  ASSERT_EQ(RegWriteValue(RootKey::LocalMachine, "Software\\Orb\\新键", "路径", kRegSz,
                          std::string("C:\\测试\\\"q\"\0", 12)), 0u);
  ASSERT_EQ(RegWriteValue(RootKey::LocalMachine, "Software\\Orb\\新键", "Blob", kRegBinary,
                          std::string(40, '\xAB')), 0u);
  ASSERT_EQ(RegWriteValue(RootKey::LocalMachine, "Software\\Orb\\新键", "Multi", kRegMultiSz,
                          std::string("a\0" "1\0\0", 5)), 0u);
  const std::string after = orbtest::ReadUnixFile(prefix_.dir() + "/system.reg");
  // Every key Wine wrote is still there byte for byte.
  EXPECT_EQ(after.compare(0, before.size(), before), 0);
  EXPECT_NE(after.find("[Software\\\\Orb\\\\\\x65b0\\x952e] "), std::string::npos) << after;
  EXPECT_NE(after.find("\"\\x8def\\x5f84\"=\"C:\\\\\\x6d4b\\x8bd5\\\\\\\"q\\\"\""), std::string::npos);
  EXPECT_NE(after.find("\"Blob\"=hex:ab,ab,"), std::string::npos);
  EXPECT_NE(after.find(",\\\n  ab,"), std::string::npos) << "long data continues on the next line";
  // The zero before a digit is written so that it cannot be read as an octal escape.
  EXPECT_NE(after.find("\"Multi\"=str(7):\"a\\x00001\\0\""), std::string::npos) << after;
  RegKey key;
  ASSERT_EQ(key.Open(RootKey::LocalMachine, "Software\\Orb\\新键", kKeyRead), 0u);
  RegValue v;
  ASSERT_EQ(key.Query("Multi", v), 0u);
  EXPECT_EQ(v.data, std::string("a\0" "1\0\0", 5));
}

TEST_F(WineHives, WriteAccessIsDeniedWhenTheHiveIsReadOnly) {
  UseFixtures(false);
  ASSERT_EQ(chmod((prefix_.dir() + "/system.reg").c_str(), 0444), 0);
  RegKey key;
  EXPECT_EQ(key.Open(RootKey::LocalMachine, "Software\\OrbFixture", kKeyAllAccess), kErrorAccessDenied);
  EXPECT_FALSE(key.IsOpen());
  EXPECT_EQ(key.Open(RootKey::LocalMachine, "Software\\OrbFixture", kKeyRead), 0u);
  EXPECT_EQ(RegWriteValue(RootKey::LocalMachine, "Software\\OrbFixture", "X", kRegDword,
                          std::string(4, '\0')), kErrorAccessDenied);
  // The other hive is unaffected.
  EXPECT_EQ(key.Open(RootKey::CurrentUser, "Software\\OrbFixture\\Options", kKeyAllAccess), 0u);
  EXPECT_EQ(key.Open(RootKey::CurrentUser, "Software\\Missing", kKeyAllAccess), kErrorFileNotFound);
}

TEST_F(WineHives, MissingHiveIsCreatedWithWinesHeader) {
  ASSERT_TRUE(prefix_.ok());
  unlink((prefix_.dir() + "/user.reg").c_str());
  RegKey key;
  EXPECT_EQ(key.Open(RootKey::CurrentUser, "Software", kKeyRead), kErrorFileNotFound);
  ASSERT_EQ(RegWriteValue(RootKey::CurrentUser, "Software\\A", "v", kRegDword, std::string("\1\0\0\0", 4)), 0u);
  std::string text = orbtest::ReadUnixFile(prefix_.dir() + "/user.reg");
  EXPECT_EQ(text.rfind("WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\User\\\\", 0), 0u) << text;
  EXPECT_NE(text.find("\"v\"=dword:00000001"), std::string::npos);
}

TEST_F(WineHives, ConcurrentWritersLoseNothing) {
  UseFixtures(true);
  std::vector<std::thread> writers;
  for (int t = 0; t < 4; ++t) {
    writers.emplace_back([t] {
      for (int i = 0; i < 10; ++i) {
        RegWriteValue(RootKey::CurrentUser, "Software\\Par\\" + std::to_string(t),
                      "v" + std::to_string(i), kRegDword, std::string(4, static_cast<char>(i)));
      }
    });
  }
  for (std::thread& w : writers) w.join();
  for (int t = 0; t < 4; ++t) {
    RegKey key;
    ASSERT_EQ(key.Open(RootKey::CurrentUser, "Software\\Par\\" + std::to_string(t), kKeyRead), 0u);
    for (int i = 0; i < 10; ++i) {
      RegValue v;
      EXPECT_EQ(key.Query("v" + std::to_string(i), v), 0u) << t << "/" << i;
    }
  }
}

}  // namespace
