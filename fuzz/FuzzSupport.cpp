#include "FuzzSupport.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "platform/ui.h"

namespace fs = std::filesystem;

namespace orbfuzz {
namespace {

class QuietInterface : public platform::UserInterface {
 public:
  int ShowMessageBox(const std::string&, const std::string&, std::uint32_t) override {
    return platform::kIdOk;
  }
  bool BrowseForFolder(const platform::BrowseRequest&, std::string&) override { return false; }
  void ProcessMessages() override {}
};

}  // namespace

Prefix& Prefix::Get() {
  static Prefix p;
  return p;
}

Prefix::Prefix() {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/orbfuzz-XXXXXX";
  std::vector<char> buf(pattern.begin(), pattern.end());
  buf.push_back('\0');
  if (mkdtemp(buf.data()) == nullptr) {
    std::perror("mkdtemp");
    std::abort();
  }
  root_ = buf.data();
  const char* user = std::getenv("USER");
  fs::create_directories(root_ + "/dosdevices");
  fs::create_directories(root_ + "/drive_c/users/" + std::string(user && *user ? user : "user") +
                         "/Temp");
  fs::create_directory_symlink("../drive_c", root_ + "/dosdevices/c:");
  for (const char* hive : {"/system.reg", "/user.reg"}) {
    std::ofstream(root_ + hive) << "WINE REGISTRY Version 2\n\n#arch=win64\n\n";
  }
  setenv("WINEPREFIX", root_.c_str(), 1);
  static QuietInterface ui;
  platform::SetUserInterface(&ui);
  // The prefix goes when the process ends normally (libFuzzer's -runs, merges).
  // (a copy: the Prefix object itself is destroyed before atexit handlers registered
  // during its construction run)
  static std::string* doomed = new std::string(root_);
  std::atexit([] {
    std::error_code ec;
    fs::remove_all(*doomed, ec);
  });
}

void ResetDir(const std::string& unix_dir) {
  std::error_code ec;
  // Files the engine made read-only must not stop the next run.
  if (fs::exists(unix_dir, ec)) {
    for (auto it = fs::recursive_directory_iterator(unix_dir, ec);
         it != fs::recursive_directory_iterator(); it.increment(ec)) {
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add |
                      fs::perm_options::nofollow, ec);
    }
  }
  fs::remove_all(unix_dir, ec);
  fs::create_directories(unix_dir);
}

std::vector<std::string> ListTree(const std::string& unix_dir) {
  std::vector<std::string> out;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(unix_dir, ec);
       it != fs::recursive_directory_iterator(); it.increment(ec)) {
    out.push_back(fs::relative(it->path(), unix_dir).string());
  }
  return out;
}

void WriteUnixFile(const std::string& unix_path, const std::uint8_t* data, std::size_t size) {
  std::ofstream f(unix_path, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  if (!f) {
    std::perror(unix_path.c_str());
    std::abort();
  }
}

}  // namespace orbfuzz
