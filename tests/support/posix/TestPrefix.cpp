// Unit TestPrefix: see TestPrefix.h.
#include "support/posix/TestPrefix.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace orbtest {
namespace fs = std::filesystem;

std::string ReadUnixFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteUnixFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

ScopedPrefix::ScopedPrefix(const PrefixOptions& options) {
  // In memory where the machine has it: the installer makes its steps durable, and the
  // tests that run it hundreds of times would otherwise wait for the disk each time.
  std::string tmpl =
      std::string(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") + "/orb-prefix-XXXXXX";
  if (const char* made = mkdtemp(tmpl.data())) dir_ = made;
  std::string cmd = "sh '" ORB_SOURCE_DIR "/scripts/make-test-prefix.sh'";
  if (options.arch == PrefixOptions::Arch::kWin32) cmd += " --win32";
  if (!options.user_temp) cmd += " --no-user-temp";
  ok_ = !dir_.empty() && std::system((cmd + " '" + dir_ + "'").c_str()) == 0;
  if (const char* old = std::getenv("WINEPREFIX")) {
    had_old_ = true;
    old_ = old;
  }
  if (!dir_.empty()) setenv("WINEPREFIX", dir_.c_str(), 1);
}

ScopedPrefix::~ScopedPrefix() {
  if (had_old_) {
    setenv("WINEPREFIX", old_.c_str(), 1);
  } else {
    unsetenv("WINEPREFIX");
  }
  if (dir_.empty()) return;
  // A test may have taken write bits away (a read-only hive or folder); give them back, but
  // never follow the drive links, which lead out of the prefix (z: is "/").
  std::error_code ec;
  for (auto& p : fs::recursive_directory_iterator(dir_, ec)) {
    if (p.is_symlink(ec)) continue;
    fs::permissions(p.path(), fs::perms::owner_all, fs::perm_options::add, ec);
  }
  fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(dir_, ec);
}

bool ScopedPrefix::Link(char letter, const std::string& target) const {
  const std::string link = dir_ + "/dosdevices/" + letter + ":";
  unlink(link.c_str());
  return symlink(target.c_str(), link.c_str()) == 0;
}

}  // namespace orbtest
