// The terminal user interface of the POSIX backend.
//
// Message boxes print their caption, the meaning of their icon and their text to standard
// output in the terminal's character set and answer at once (OK; Cancel for a Retry/Cancel
// box, so that no retry loop spins unattended). The folder dialog prints its title and reads
// one line, a Windows or Unix path, from standard input; an empty line or end of input is
// Cancel, and a folder the request refuses (or that does not exist) asks again.
#include <cstdio>
#include <iostream>
#include <sys/stat.h>

#include "platform/backend.h"
#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/fs.h"
#include "platform/file.h"
#include "platform/posix/internal.h"

namespace platform::backend {
namespace {

const char* IconMeaning(std::uint32_t flags) {
  switch (flags & 0xF0) {
    case kMbIconError: return "错误";
    case kMbIconQuestion: return "询问";
    case kMbIconWarning: return "警告";
    case kMbIconInformation: return "信息";
    default: return "";
  }
}

class TerminalUserInterface final : public UserInterface {
 public:
  int ShowMessageBox(const std::string& text, const std::string& caption,
                     std::uint32_t flags) override {
    std::string out = "[" + caption + "]";
    std::string icon = IconMeaning(flags);
    if (!icon.empty()) out += " (" + icon + ")";
    out += "\n" + text + "\n";
    std::fputs(GbkToTerminal(out).c_str(), stdout);
    std::fflush(stdout);
    SetLastError(0);
    return (flags & 0xF) == kMbRetryCancel ? kIdCancel : kIdOk;
  }

  bool BrowseForFolder(const BrowseRequest& request, std::string& folder) override {
    for (;;) {
      std::fputs(GbkToTerminal(request.title + "\n").c_str(), stdout);
      std::fflush(stdout);
      std::string line;
      if (!std::getline(std::cin, line)) break;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.empty()) break;
      std::string candidate = Utf8ToGbk(line);
      std::uint32_t attrs = 0;
      if (GetAttributes(candidate, attrs) != 0 || !(attrs & kFileAttributeDirectory)) continue;
      if (request.accept && !request.accept(candidate)) continue;
      folder = candidate;
      SetLastError(0);
      return true;
    }
    SetLastError(0);
    return false;
  }

  void ProcessMessages() override {}
};

}  // namespace

UserInterface& SystemUserInterface() {
  static TerminalUserInterface ui;
  return ui;
}

}  // namespace platform::backend
