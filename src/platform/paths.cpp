// The path rules both backends share: they need only the GBK rules and the layer's calls.
#include "platform/paths.h"

#include "platform/codepage.h"
#include "platform/fs.h"
#include "platform/gbk.h"

namespace platform {

std::string PathJoin(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  if (EndsWithChar(dir, '\\')) return dir + name;
  return dir + "\\" + name;
}

void AppendBackslash(std::string& path) {
  if (!path.empty() && !EndsWithChar(path, '\\')) path += '\\';
}

std::string WithBackslash(const std::string& path) {
  std::string p = path;
  AppendBackslash(p);
  return p;
}

std::string StripBackslash(const std::string& path) {
  if (EndsWithChar(path, '\\')) return path.substr(0, path.size() - 1);
  return path;
}

int CompareSuffixText(const std::string& s, const std::string& suffix) {
  const std::string tail = s.size() > suffix.size() ? s.substr(s.size() - suffix.size()) : s;
  return CompareTextIgnoreCase(tail, suffix);
}

std::string ProgramDir() {
  const std::string name = ModuleFileName();
  const std::size_t last = LastDelimiter(name, "\\:");
  std::string dir = last == std::string::npos ? std::string() : name.substr(0, last + 1);
  return StripBackslash(dir);
}

}  // namespace platform
