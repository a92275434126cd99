// GetPrivateProfileStringA over a GBK text file: sections and keys match without regard to
// ASCII case, the first occurrence wins, blanks around names and values are dropped and one
// pair of matching surrounding quotes is removed.
#include "platform/error.h"
#include "platform/posix/internal.h"
#include "platform/posix/pe.h"
#include "platform/profile.h"
#include "platform/types.h"

namespace platform {
namespace {

std::string Trim(const std::string& s) {
  std::size_t b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return std::string();
  std::size_t e = s.find_last_not_of(" \t");
  return s.substr(b, e - b + 1);
}

std::string Cut(std::string s, std::size_t max_length) {
  if (s.size() > max_length) s.resize(max_length);
  return s;
}

}  // namespace

std::string ReadProfileString(const std::string& section, const std::string& key,
                              const std::string& default_value, const std::string& file_name,
                              std::size_t max_length) {
  std::string text;
  std::uint32_t e = posix::ReadWholeFile(file_name, text);
  std::string fallback = Cut(Trim(default_value), max_length);
  if (e != 0) {
    SetLastError(e);
    return fallback;
  }
  const std::string want_section = posix::AsciiLower(Trim(section));
  const std::string want_key = posix::AsciiLower(Trim(key));
  bool in_section = false;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t nl = text.find('\n', start);
    if (nl == std::string::npos) nl = text.size();
    std::string line = text.substr(start, nl - start);
    start = nl + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    line = Trim(line);
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      std::size_t close = line.find(']');
      std::string name = Trim(line.substr(1, close == std::string::npos ? std::string::npos : close - 1));
      in_section = posix::AsciiLower(name) == want_section;
      continue;
    }
    if (!in_section) continue;
    std::size_t eq = line.find('=');
    std::string name = Trim(line.substr(0, eq));
    if (posix::AsciiLower(name) != want_key) continue;
    std::string value = eq == std::string::npos ? std::string() : Trim(line.substr(eq + 1));
    if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0]) {
      value = value.substr(1, value.size() - 2);
    }
    SetLastError(0);
    return Cut(value, max_length);
  }
  SetLastError(kErrorFileNotFound);
  return fallback;
}

}  // namespace platform
