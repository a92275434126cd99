// POSIX test helpers: a throw-away prefix for one test, made the way the suite's prefix is
// made, and pointed to by WINEPREFIX while the guard lives (the layer reads WINEPREFIX at
// each call, so nothing needs resetting).
#pragma once

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace orbtest {

inline std::string ReadUnixFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void WriteUnixFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

class ScopedPrefix {
 public:
  ScopedPrefix() {
    char tmpl[] = "/tmp/orb-prefix-XXXXXX";
    dir_ = mkdtemp(tmpl);
    std::string cmd = "sh '" ORB_SOURCE_DIR "/scripts/make-test-prefix.sh' '" + dir_ + "'";
    ok_ = std::system(cmd.c_str()) == 0;
    if (const char* old = std::getenv("WINEPREFIX")) {
      had_old_ = true;
      old_ = old;
    }
    setenv("WINEPREFIX", dir_.c_str(), 1);
  }
  ~ScopedPrefix() {
    if (had_old_) setenv("WINEPREFIX", old_.c_str(), 1);
    else unsetenv("WINEPREFIX");
    std::string cmd = "chmod -R u+w '" + dir_ + "' 2>/dev/null; rm -rf '" + dir_ + "'";
    if (std::system(cmd.c_str()) != 0) {
    }
  }
  ScopedPrefix(const ScopedPrefix&) = delete;
  ScopedPrefix& operator=(const ScopedPrefix&) = delete;

  const std::string& dir() const { return dir_; }
  bool ok() const { return ok_; }
  // Makes (or re-points) drive `letter` to `target`.
  void Link(char letter, const std::string& target) const {
    std::string link = dir_ + "/dosdevices/" + letter + ":";
    unlink(link.c_str());
    if (symlink(target.c_str(), link.c_str()) != 0) {
    }
  }

 private:
  std::string dir_;
  std::string old_;
  bool had_old_ = false;
  bool ok_ = false;
};

}  // namespace orbtest
