// The host patch on real executables written by mkhost.
#include "installer/HostPatch.h"

#include <gtest/gtest.h>

#include <thread>

#include "installer/Installer.h"
#include "installer/InstallerTestEnv.h"
#include "installer/SysUtils.h"
#include "platform/process.h"
#include "support/FakeUserInterface.h"
#include "tools/mkhost/HostImage.h"

namespace orb::installer {
namespace {

using mkhost::TSites;
using test::TestMachine;

constexpr std::uint32_t kJumpA = 0x0023A592;
constexpr std::uint32_t kJumpB = 0x0023B8A0;

std::string HostImage(TSites sites, bool short_image = false) {
  mkhost::THostSpec host_spec;
  host_spec.sites = sites;
  host_spec.short_image = short_image;
  return mkhost::BuildHostImage(host_spec);
}

class HostPatchTest : public ::testing::Test {
 protected:
  TestMachine machine;
  orbtest::FakeUserInterface ui;
  orbtest::ScopedUserInterface ui_scope{ui};
  // A folder name ending in 乗 (81 5C): the executable's path must not lose a byte.
  std::string root = machine.MakeDir("主机\x81\x5C");
  std::string exe = root + "\\Zentab04.exe";

  void ExpectOneBox(const char* text) {
    ASSERT_EQ(1u, ui.boxes().size());
    EXPECT_EQ(text, ui.boxes()[0].text);
    EXPECT_EQ(kCaption, ui.boxes()[0].caption);
    EXPECT_EQ(0x40u, ui.boxes()[0].flags);
  }
};

TEST_F(HostPatchTest, OutcomeAndBytesForEachStateOfTheSites) {
  struct Case {
    const char* name;
    TSites sites;
    bool short_image;
    TPatchResult result;
    const char* message;
    bool patched;  // both jumps 0x7C afterwards; otherwise the file is unchanged
  } const cases[] = {
      {"unpatched", TSites::stUnpatched, false, TPatchResult::prFinished, kMsgFinished, true},
      {"already patched", TSites::stPatched, false, TPatchResult::prFinished, kMsgFinished, true},
      {"half patched", TSites::stHalfPatched, false, TPatchResult::prFinished, kMsgFinished, true},
      {"site B differs", TSites::stSiteBWrong, false, TPatchResult::prWrongVersion,
       kMsgWrongVersion, false},
      {"site A differs", TSites::stSiteAWrong, false, TPatchResult::prWrongVersion,
       kMsgWrongVersion, false},
      {"no signatures", TSites::stNone, false, TPatchResult::prWrongVersion, kMsgWrongVersion,
       false},
      {"file too short", TSites::stUnpatched, true, TPatchResult::prInUse, kMsgInUse, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ui.ClearBoxes();
    const std::string before = HostImage(c.sites, c.short_image);
    machine.WriteFile(exe, before);
    EXPECT_EQ(c.result, PatchHost(root));
    ExpectOneBox(c.message);
    const std::string after = TestMachine::ReadFile(exe);
    ASSERT_EQ(before.size(), after.size());
    if (c.patched) {
      EXPECT_EQ('\x7C', after[kJumpA]);
      EXPECT_EQ('\x7C', after[kJumpB]);
      std::string expected = before;
      expected[kJumpA] = expected[kJumpB] = '\x7C';
      EXPECT_TRUE(expected == after) << "only the two jump bytes may change";
    } else {
      EXPECT_TRUE(before == after) << "the file must be left unchanged";
    }
  }
}

TEST_F(HostPatchTest, MissingExecutableIsNotCreated) {
  machine.WriteFile(root + "\\ZentabE.exe", HostImage(TSites::stUnpatched));
  EXPECT_EQ(TPatchResult::prWrongVersion, PatchHost(root));
  ExpectOneBox(kMsgWrongVersion);
  EXPECT_FALSE(TestMachine::Exists(exe));
}

TEST_F(HostPatchTest, HostHeldOpenByAnotherProcessGivesInUseAndStaysUnchanged) {
  const std::string before = HostImage(TSites::stUnpatched);
  machine.WriteFile(exe, before);
  // Held as a running host holds its executable: read access, others may only read.
  platform::ChildProcess holder;
  const std::string ready = exe + ".held";
  ASSERT_EQ(0u, holder.Start(ORB_HOLDFILE, {exe, "r", "r", ready}, true));
  std::string opened;
  for (int i = 0; i < 500 && opened.empty(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    opened = TestMachine::ReadFile(ready);
  }
  ASSERT_EQ("0", opened) << "the holder did not open the file";
  EXPECT_EQ(TPatchResult::prInUse, PatchHost(root));
  holder.CloseStdin();
  EXPECT_EQ(0u, holder.Wait());
  ExpectOneBox(kMsgInUse);
  EXPECT_TRUE(before == TestMachine::ReadFile(exe));
}

// mkhost's images must be what the version readers of both builds understand: the native
// PE reader, and the system's version API on Windows.
TEST(HostImage, VersionIsReadableAndSitesLieWhereThePatchLooks) {
  TestMachine machine;
  struct Case {
    std::array<std::uint16_t, 4> version;
    std::uint32_t ms, ls;
  } const cases[] = {
      {{2, 8, 11105, 3}, 0x00020008, 0x2B610003},
      {{2, 8, 40101, 0}, 0x00020008, 0x9CA50000},
      {{65535, 0, 1, 65535}, 0xFFFF0000, 0x0001FFFF},
  };
  for (const auto& c : cases) {
    mkhost::THostSpec host_spec;
    host_spec.version = c.version;
    for (bool short_image : {false, true}) {
      SCOPED_TRACE(std::to_string(c.ms) + (short_image ? " short" : " long"));
      host_spec.short_image = short_image;
      const std::string image = mkhost::BuildHostImage(host_spec);
      const std::string path = machine.Scratch() + "host.exe";
      machine.WriteFile(path, image);
      std::uint32_t ms = 1, ls = 1;
      ASSERT_TRUE(GetFileVersionNumbers(path, ms, ls));
      EXPECT_EQ(c.ms, ms);
      EXPECT_EQ(c.ls, ls);
      EXPECT_EQ(short_image, image.size() < 0x0023B8A4);
    }
  }
  std::uint32_t ms = 7, ls = 7;
  EXPECT_FALSE(GetFileVersionNumbers(machine.Scratch() + "none.exe", ms, ls));
  machine.WriteFile(machine.Scratch() + "plain.exe", "MZ not a PE file");
  EXPECT_FALSE(GetFileVersionNumbers(machine.Scratch() + "plain.exe", ms, ls));
  EXPECT_EQ(7u, ms);
  EXPECT_EQ(7u, ls);
}

}  // namespace
}  // namespace orb::installer
