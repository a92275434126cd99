// Entry names as paths of this system, the folders they need, and temporary files.
#include "archive/arxPaths.h"

#include "archive/arxGbls.h"
#include "platform/codepage.h"
#include "platform/fs.h"
#include "platform/gbk.h"

namespace orb {

std::string SlashToBackslash(std::string name) {
  for (char& c : name)
    if (c == '/') c = '\\';
  return name;
}

std::string OemNameToAnsi(const std::string& name) {
  if (name.empty()) return name;
  return SlashToBackslash(platform::OemToAnsi(name));
}

std::string ExtractFileNamePart(const std::string& path) {
  std::size_t p = platform::LastDelimiter(path, "\\:");
  return p == std::string::npos ? path : path.substr(p + 1);
}

std::string ExtractFileDirPart(const std::string& path) {
  std::size_t p = platform::LastDelimiter(path, "\\:");
  return p == std::string::npos ? std::string() : path.substr(0, p + 1);
}

bool DirExists(const std::string& path) {
  return path.empty() || platform::FolderExists(path);
}

void CreateDirPath(const std::string& path) {
  if (path.empty()) throw Exception(LoadMessage(E_UNABLETOCREATEDIR));
  std::string p = path;
  if (platform::EndsWithChar(p, '\\')) p.pop_back();  // a GBK trail byte 0x5C stays
  if (p.size() < 3 || DirExists(p)) return;
  std::size_t slash = platform::LastDelimiter(p, "\\");
  std::string dir = slash == std::string::npos ? std::string() : p.substr(0, slash + 1);
  // A relative name without any backslash has no parent to create first.
  if (!dir.empty() && dir != p) CreateDirPath(dir);
  platform::CreateDir(p);  // a failure shows later, when the file cannot be opened
}

std::string GetTempDir() {
  std::string t = platform::TempPath();
  if (t.size() > 255) t.resize(255);
  return WithBackslash(t);
}

std::string MakeTempFileName(const std::string& prefix) {
  std::string out;
  std::uint32_t rc = platform::TempFileName(GetTempDir(), prefix.empty() ? "arx" : prefix, out);
  if (rc != 0) throw EInOutError(LoadMessage(E_FOPEN), rc);
  return out;
}

}  // namespace orb
