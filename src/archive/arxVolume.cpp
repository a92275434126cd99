// The volumes a spanned archive lives on, and the operator's retry when one is missing.
#include "archive/arxVolume.h"

#include <algorithm>

#include "archive/arxGbls.h"
#include "archive/arxPaths.h"
#include "platform/error.h"
#include "platform/fs.h"
#include "platform/ui.h"

namespace orb {

bool GetVolumeInfo(const std::string& drive, platform::VolumeInfo& info) {
  if (drive.empty()) return false;
  std::uint32_t old = platform::SetErrorMode(platform::kSemFailCriticalErrors);
  std::uint32_t rc = platform::QueryVolume(WithBackslash(drive), info);
  platform::SetErrorMode(old);
  if (rc != 0) {
    platform::SetLastError(rc);
    return false;
  }
  info.label.resize(std::min<std::size_t>(info.label.size(), 256));
  info.file_system_name.resize(std::min<std::size_t>(info.file_system_name.size(), 256));
  return true;
}

std::string DiskNotAccessibleText(const std::string& drive) {
  std::string root = WithBackslash(drive);
  for (char& c : root)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return root + LoadMessage(E_NOTACCESSIBLE) + "\r\n\r\n" +
         platform::SystemErrorText(platform::LastError());
}

bool AskRetryDisk(const std::string& drive) {
  std::string text = DiskNotAccessibleText(drive);
  // The application's title defaults to the program's file name without its extension.
  std::string title = ExtractFileNamePart(platform::ModuleFileName());
  std::size_t dot = title.rfind('.');
  if (dot != std::string::npos) title.resize(dot);
  return platform::CurrentUserInterface().ShowMessageBox(
             text, title, platform::kMbRetryCancel | platform::kMbIconError) == platform::kIdRetry;
}

}  // namespace orb
