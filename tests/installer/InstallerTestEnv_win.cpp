// TestMachine on Windows (under Wine in CI): the machine itself. The keys the installer
// reads are cleared before and after, and the tests that use them hold one resource lock.
#include <gtest/gtest.h>

#include <thread>

#include "installer/InstallerTestEnv.h"
#include "platform/file.h"
#include "platform/fs.h"
#include "platform/process.h"

namespace orb::test {
namespace {

void ClearInstallerKeys() {
  for (auto root : {platform::RootKey::LocalMachine, platform::RootKey::CurrentUser}) {
    platform::RegDeleteTree(root, "Software\\Kestrovan");
  }
}

}  // namespace

TestMachine::TestMachine() {
  // ctest runs test processes in parallel on one prefix: an exclusively opened lock file
  // makes the ones that touch the installer's keys and C:\ take turns.
  const std::string lock = platform::TempPath() + "orb-installer-tests.lock";
  for (int i = 0; i < 2400; ++i) {
    platform::FileHandle h = platform::kNoFile;
    if (platform::FileOpen(lock, platform::kGenericWrite, 0, platform::kOpenAlways, 0, h) == 0) {
      lock_ = h;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_NE(0u, lock_) << "could not take the test machine";
  ClearInstallerKeys();
  std::string name;
  EXPECT_EQ(0u, platform::TempFileName(platform::TempPath(), "orb", name));
  platform::RemoveFile(name);
  platform::CreateDir(name);
  scratch_ = name + "\\";
}

TestMachine::~TestMachine() {
  ClearInstallerKeys();
  // Scratch files stay in the per-run prefix's temporary folder.
  if (lock_ != 0) platform::FileClose(lock_);
}

bool TestMachine::MakeMachineHiveReadOnly() { return false; }
bool TestMachine::MapNetworkDrive(char) { return false; }

}  // namespace orb::test
