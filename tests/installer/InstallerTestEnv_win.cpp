// TestMachine on Windows (under Wine in CI): the machine itself. The keys the installer
// reads are cleared before and after, and the tests that use them take turns.
#include <gtest/gtest.h>

#include "installer/InstallerTestEnv.h"
#include "platform/file.h"
#include "platform/fs.h"
#include "platform/process.h"
#include "support/MachineTurn.h"

namespace orb::test {
namespace {

void ClearInstallerKeys() {
  for (auto root : {platform::RootKey::LocalMachine, platform::RootKey::CurrentUser}) {
    platform::RegDeleteTree(root, "Software\\Kestrovan");
  }
}

}  // namespace

struct TestMachine::Held {
  orbtest::MachineTurn turn{"installer-tests"};
};

TestMachine::TestMachine() : held_(std::make_unique<Held>()) {
  EXPECT_TRUE(held_->turn.held()) << "could not take the test machine";
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
}

bool TestMachine::MakeMachineHiveReadOnly() { return false; }
bool TestMachine::MapNetworkDrive(char) { return false; }

}  // namespace orb::test
