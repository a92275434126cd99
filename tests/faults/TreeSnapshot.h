// A tree as the tests compare it: every folder and file with its attributes, and every file
// with its bytes and (unless left out) its write time.
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "installer/InstallerTestEnv.h"
#include "platform/fs.h"

namespace orb::test {

inline bool StartsWithText(const std::string& s, const std::string& prefix) {
  if (s.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    char a = s[i], b = prefix[i];
    if (a >= 'a' && a <= 'z') a = static_cast<char>(a - 32);
    if (b >= 'a' && b <= 'z') b = static_cast<char>(b - 32);
    if (a != b) return false;
  }
  return true;
}

// Every folder and file below `dir` with its bytes, attributes and write time, except the
// excluded paths and what lies below them (compared ignoring ASCII case, as the file system
// does).
inline void Snapshot(const std::string& dir, const std::vector<std::string>& excluded,
                     std::map<std::string, std::string>& out, bool with_times = true) {
  platform::FindHandle find;
  platform::FindData fd;
  for (std::uint32_t rc = find.First(dir + "*", fd); rc == 0; rc = find.Next(fd)) {
    if (fd.name == "." || fd.name == "..") continue;
    const std::string path = dir + fd.name;
    if (std::any_of(excluded.begin(), excluded.end(), [&](const std::string& e) {
          return StartsWithText(path, e) && (path.size() == e.size() || path[e.size()] == '\\');
        })) {
      continue;
    }
    // Attributes and write time with the bytes: an earlier file put back must be the same
    // file in every way the host could tell.
    std::string stamp = "<attributes " + std::to_string(fd.attributes);
    if (with_times) stamp += ", written " + std::to_string(fd.write_time);
    stamp += ">";
    if (fd.attributes & platform::kFileAttributeDirectory) {
      out[path + "\\"] = "<folder " + std::to_string(fd.attributes) + ">";
      Snapshot(path + "\\", excluded, out, with_times);
    } else {
      out[path] = stamp + TestMachine::ReadFile(path);
    }
  }
}

}  // namespace orb::test
