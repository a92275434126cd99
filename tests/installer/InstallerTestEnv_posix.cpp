// TestMachine on the native build: a prefix of the test's own, selected through WINEPREFIX
// for this process only.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

#include "installer/InstallerTestEnv.h"
#include "platform/fs.h"
#include "platform/registry.h"

namespace orb::test {
namespace fs = std::filesystem;

TestMachine::TestMachine() {
  // In memory where the machine has it: the installer makes its steps durable, and on a
  // disk the tests that run it hundreds of times would wait for the disk each time.
  std::string root = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  std::string tmpl = root + "/orb-installer-test-XXXXXX";
  const char* made = mkdtemp(tmpl.data());
  EXPECT_NE(made, nullptr);
  unix_root_ = made ? made : "";
  fs::create_directories(unix_root_ + "/drive_c/windows");
  fs::create_directories(unix_root_ + "/dosdevices");
  fs::create_symlink("../drive_c", unix_root_ + "/dosdevices/c:");
  fs::create_symlink("/", unix_root_ + "/dosdevices/z:");
  for (const char* hive : {"system.reg", "user.reg"}) {
    std::ofstream(unix_root_ + "/" + hive) << "WINE REGISTRY Version 2\n";
  }
  setenv("WINEPREFIX", unix_root_.c_str(), 1);
  scratch_ = "C:\\scratch\\";
  platform::CreateDir("C:\\scratch");
}

TestMachine::~TestMachine() {
  std::error_code ec;
  for (auto& p : fs::recursive_directory_iterator(unix_root_, ec)) {
    // The drive links lead out of the prefix (z: is "/"): never follow them.
    if (p.is_symlink(ec)) continue;
    fs::permissions(p.path(), fs::perms::owner_all, fs::perm_options::add, ec);
  }
  fs::permissions(unix_root_, fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(unix_root_, ec);
  unsetenv("WINEPREFIX");
}

// Drive types come from the prefix's Software\Wine\Drives, as in Wine.
bool TestMachine::MapNetworkDrive(char letter) {
  std::error_code ec;
  fs::create_symlink("../drive_c", unix_root_ + "/dosdevices/" + letter + ":", ec);
  return !ec && platform::RegWriteValue(platform::RootKey::LocalMachine, "Software\\Wine\\Drives",
                                        std::string(1, letter) + ":", platform::kRegSz,
                                        std::string("network", 8)) == 0;
}

// The layer treats a hive without write bits as read-only even for the superuser.
bool TestMachine::MakeMachineHiveReadOnly() {
  return chmod((unix_root_ + "/system.reg").c_str(), 0444) == 0;
}

}  // namespace orb::test
