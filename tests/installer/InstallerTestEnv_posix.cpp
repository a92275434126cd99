// TestMachine on the native build: a prefix of the test's own, selected through WINEPREFIX
// for this process only.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "installer/InstallerTestEnv.h"
#include "platform/fs.h"
#include "platform/registry.h"
#include "support/posix/TestPrefix.h"

namespace orb::test {

struct TestMachine::Held {
  orbtest::ScopedPrefix prefix{{.arch = orbtest::PrefixOptions::Arch::kWin32,
                                .user_temp = false}};
};

TestMachine::TestMachine() : held_(std::make_unique<Held>()) {
  EXPECT_TRUE(held_->prefix.ok()) << "could not make the test's prefix";
  scratch_ = "C:\\scratch\\";
  platform::CreateDir("C:\\scratch");
}

TestMachine::~TestMachine() = default;

// Drive types come from the prefix's Software\Wine\Drives, as in Wine.
bool TestMachine::MapNetworkDrive(char letter) {
  return held_->prefix.Link(letter, "../drive_c") &&
         platform::RegWriteValue(platform::RootKey::LocalMachine, "Software\\Wine\\Drives",
                                 std::string(1, letter) + ":", platform::kRegSz,
                                 std::string("network", 8)) == 0;
}

// The layer treats a hive without write bits as read-only even for the superuser.
bool TestMachine::MakeMachineHiveReadOnly() {
  return chmod((held_->prefix.dir() + "/system.reg").c_str(), 0444) == 0;
}

}  // namespace orb::test
