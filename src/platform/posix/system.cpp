// The system clock and the terminal user interface of the POSIX backend.
//
// Message boxes print their caption, the meaning of their icon and their text to standard
// output in the terminal's character set and answer at once (OK; Cancel for a Retry/Cancel
// box, so that no retry loop spins unattended). The folder dialog prints its title and reads
// one line, a Windows or Unix path, from standard input; an empty line or end of input is
// Cancel, and a folder the request refuses (or that does not exist) asks again.
#include <cstdio>
#include <ctime>
#include <iostream>
#include <sys/stat.h>
#include <time.h>

#include "platform/backend.h"
#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/fs.h"
#include "platform/file.h"
#include "platform/posix/internal.h"

namespace platform::backend {
namespace {

class PosixClock final : public Clock {
 public:
  LocalTime Now() override {
    struct timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    struct tm tm;
    localtime_r(&ts.tv_sec, &tm);
    LocalTime t;
    t.year = static_cast<std::uint16_t>(tm.tm_year + 1900);
    t.month = static_cast<std::uint16_t>(tm.tm_mon + 1);
    t.day_of_week = static_cast<std::uint16_t>(tm.tm_wday);
    t.day = static_cast<std::uint16_t>(tm.tm_mday);
    t.hour = static_cast<std::uint16_t>(tm.tm_hour);
    t.minute = static_cast<std::uint16_t>(tm.tm_min);
    t.second = static_cast<std::uint16_t>(tm.tm_sec);
    t.milliseconds = static_cast<std::uint16_t>(ts.tv_nsec / 1000000);
    return t;
  }
  std::uint32_t TickCount() override {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    // Wraps after 49.7 days exactly like GetTickCount.
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(ts.tv_sec) * 1000u +
                                      static_cast<std::uint64_t>(ts.tv_nsec / 1000000));
  }
};

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

Clock& SystemClock() {
  static PosixClock clock;
  return clock;
}

UserInterface& SystemUserInterface() {
  static TerminalUserInterface ui;
  return ui;
}

}  // namespace platform::backend
