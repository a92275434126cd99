// The operator's side: message boxes, the folder-browse dialog and pending-message
// processing (MessageBoxA/MessageBoxW, SHBrowseForFolderA, PeekMessage loop).
//
// The system implementation is a real dialog on Windows; on POSIX message boxes print the
// caption, the icon's meaning and the text to the terminal (converted from GBK to the
// terminal's character set) and answer OK, and the folder dialog reads a folder from
// standard input. Tests install a double that scripts answers and records what was shown.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace platform {

enum : std::uint32_t {
  kMbOk = 0x0,
  kMbOkCancel = 0x1,
  kMbRetryCancel = 0x5,
  kMbIconError = 0x10,
  kMbIconQuestion = 0x20,
  kMbIconWarning = 0x30,
  kMbIconInformation = 0x40,

  kIdOk = 1,
  kIdCancel = 2,
  kIdRetry = 4,
};

struct BrowseRequest {
  std::string title;            // GBK
  std::string initial_folder;   // GBK Windows path, empty for none
  std::string root;             // GBK Windows path, empty for the desktop
  bool new_style = false;       // BIF_NEWDIALOGSTYLE
  bool dont_go_below_domain = false;  // BIF_DONTGOBELOWDOMAIN
  // Called whenever the selection changes, with the selected folder's path; returning false
  // disables OK for that folder (BFFM_ENABLEOK). Empty: every file-system folder is fine.
  std::function<bool(const std::string& folder)> accept;
};

class UserInterface {
 public:
  virtual ~UserInterface() = default;
  // Text and caption are GBK. Returns the button id (kIdOk, ...).
  virtual int ShowMessageBox(const std::string& text, const std::string& caption,
                         std::uint32_t flags) = 0;
  // True and `folder` set when the operator confirms a folder; false on cancel.
  virtual bool BrowseForFolder(const BrowseRequest& request, std::string& folder) = 0;
  // Processes pending window messages (Application.ProcessMessages).
  virtual void ProcessMessages() = 0;
};

// The interface in force: the system's unless a test installed another.
UserInterface& CurrentUserInterface();
// Installs `ui` (not owned); nullptr restores the system one. Returns the previous one
// (nullptr when it was the system's).
UserInterface* SetUserInterface(UserInterface* ui);

}  // namespace platform
