// System and registry utilities over the operating-system layer.
#include "installer/SysUtils.h"

#include <cstdio>

#include "platform/codepage.h"
#include "platform/file.h"
#include "platform/fs.h"
#include "platform/gbk.h"
#include "platform/ui.h"
#include "platform/version.h"
#include "platform/volume.h"

namespace orb {
namespace {

// The drive part of a path as the runtime's ExtractFileDrive gives it: "D:" for a drive
// path, "\\server\share" for a UNC path, empty otherwise.
std::string ExtractFileDrive(const std::string& path) {
  if (path.size() >= 2 && path[1] == ':' && !platform::IsGbkLeadByte(path[0])) {
    return path.substr(0, 2);
  }
  if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') {
    int separators = 0;
    std::size_t i = 2;
    for (; i < path.size(); i += platform::CharLength(path, i)) {
      if (path[i] == '\\' && platform::CharLength(path, i) == 1 && ++separators == 2) break;
    }
    return path.substr(0, i);
  }
  return {};
}

bool NameExists(const std::string& path) {
  std::uint32_t attributes = platform::kInvalidFileAttributes;
  return platform::GetAttributes(path, attributes) == 0 &&
         attributes != platform::kInvalidFileAttributes;
}

// The temporary-name counter: process-wide on purpose, so that names reserved (not
// created) by earlier calls are not offered again by a later call in the same second.
// Nothing resets it.
std::int32_t g_temp_name_counter = 0;

}  // namespace

bool SelectFolder(std::uintptr_t /*Owner*/, std::string& Directory, const std::string& Title,
                  bool NewStyle, bool AllowRemote, const std::u16string& Root,
                  const TValidateFolderEvent& OnValidate) {
  platform::BrowseRequest request;
  request.title = Title;
  request.initial_folder = Directory;
  request.root = Root.empty() ? std::string() : platform::Utf16ToGbk(Root);
  request.new_style = NewStyle;
  request.dont_go_below_domain = !AllowRemote;
  request.accept = [AllowRemote, OnValidate](const std::string& path) {
    if (path.empty()) return true;
    std::string drive = ExtractFileDrive(path);
    AppendBackslash(drive);
    bool accept = AllowRemote || platform::DriveType(drive) != platform::kDriveRemote;
    if (accept && OnValidate) OnValidate(path, accept);
    return accept;
  };
  std::string chosen;
  if (!platform::CurrentUserInterface().BrowseForFolder(request, chosen)) return false;
  Directory = chosen;
  return true;
}

bool GetFileVersionNumbers(const std::string& FileName, std::uint32_t& MS, std::uint32_t& LS) {
  platform::FixedFileInfo info;
  if (platform::ReadFixedFileInfo(FileName, info) != 0) return false;
  MS = info.file_version_ms;
  LS = info.file_version_ls;
  return true;
}

bool ReadRegString(RootKey Root, const std::string& Key, const std::string& Name,
                   std::string& Value) {
  switch (platform::ReadString(Root, Key, Name, Value)) {
    case platform::StringRead::kRead:
      return true;
    case platform::StringRead::kNotAString:
      throw ERegistryError("Invalid data type for '" + Name + "'");
    case platform::StringRead::kAbsent:
      break;
  }
  return false;
}

void ReadRegStringOrEmpty(RootKey Root, const std::string& Key, const std::string& Name,
                          std::string& Value) {
  if (!ReadRegString(Root, Key, Name, Value)) Value.clear();
}

std::string NewTempFileName(const std::string& Prefix, const std::string& Dir) {
  std::string folder = (!Dir.empty() && platform::FolderExists(Dir)) ? Dir : platform::TempPath();
  platform::LocalTime t = platform::GetLocalTime();
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%2.2d%2.2d%2.2d%2.2d_%5.5d", t.month, t.day, t.hour,
                t.minute, static_cast<int>(t.second) * static_cast<int>(t.milliseconds));
  const std::string base = PathJoin(folder, Prefix + stamp);
  std::string candidate = base;
  while (NameExists(candidate + ".TMP")) {
    candidate = base + "_" + std::to_string(g_temp_name_counter);
    ++g_temp_name_counter;
  }
  return candidate + ".TMP";
}

std::int32_t TempNameCounter() { return g_temp_name_counter; }

}  // namespace orb
