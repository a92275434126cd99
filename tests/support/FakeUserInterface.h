// Test doubles for the layer's seams: a user interface that records what it showed and
// answers from a script, and a settable clock. Each is installed for a scope by a guard.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "platform/clock.h"
#include "platform/ui.h"

namespace orbtest {

struct ShownBox {
  std::string text;     // GBK
  std::string caption;  // GBK
  std::uint32_t flags = 0;
};

class FakeUserInterface : public platform::UserInterface {
 public:
  // Scripted answers, consumed in order. A message box with no answer queued gets kIdOk.
  void QueueBoxAnswer(int id) { box_answers_.push_back(id); }
  // The operator picks `folder` (GBK Windows path). As in the real dialog, a folder the
  // request's `accept` refuses cannot be confirmed: it is recorded in refused() and the
  // next queued answer is tried.
  void QueueFolder(const std::string& folder) { folder_answers_.push_back({false, folder}); }
  // The operator cancels the dialog. A dialog with no answer queued is cancelled too.
  void QueueBrowseCancel() { folder_answers_.push_back({true, std::string()}); }
  // Before answering, every dialog shows the request's `accept` each of `folders` in turn, as
  // an operator clicking through them would; its verdicts are appended to verdicts().
  void ProbeFolders(std::vector<std::string> folders) { probed_ = std::move(folders); }

  const std::vector<ShownBox>& boxes() const { return boxes_; }
  const std::vector<platform::BrowseRequest>& browse_requests() const { return browse_requests_; }
  const std::vector<std::string>& refused() const { return refused_; }
  const std::vector<bool>& verdicts() const { return verdicts_; }
  int process_messages_count() const { return process_messages_; }
  // Forget what was shown or judged so far (between the steps of one test).
  void ClearBoxes() { boxes_.clear(); }
  void ClearVerdicts() { verdicts_.clear(); }

  int ShowMessageBox(const std::string& text, const std::string& caption,
                     std::uint32_t flags) override;
  bool BrowseForFolder(const platform::BrowseRequest& request, std::string& folder) override;
  void ProcessMessages() override { ++process_messages_; }

 private:
  struct FolderAnswer {
    bool cancel;
    std::string folder;
  };
  std::deque<int> box_answers_;
  std::deque<FolderAnswer> folder_answers_;
  std::vector<ShownBox> boxes_;
  std::vector<platform::BrowseRequest> browse_requests_;
  std::vector<std::string> refused_;
  std::vector<std::string> probed_;
  std::vector<bool> verdicts_;
  int process_messages_ = 0;
};

// Installs a user interface for its lifetime and restores the previous one.
class ScopedUserInterface {
 public:
  explicit ScopedUserInterface(platform::UserInterface& ui)
      : previous_(platform::SetUserInterface(&ui)) {}
  ~ScopedUserInterface() { platform::SetUserInterface(previous_); }
  ScopedUserInterface(const ScopedUserInterface&) = delete;
  ScopedUserInterface& operator=(const ScopedUserInterface&) = delete;

 private:
  platform::UserInterface* previous_;
};

// A calendar day at midnight, for clocks that tests set.
inline platform::LocalTime Day(std::uint16_t year, std::uint16_t month, std::uint16_t day) {
  platform::LocalTime t;
  t.year = year;
  t.month = month;
  t.day = day;
  return t;
}

class FakeClock : public platform::Clock {
 public:
  FakeClock() = default;
  explicit FakeClock(const platform::LocalTime& now, std::uint32_t ticks = 0)
      : now_(now), ticks_(ticks) {}

  void SetNow(const platform::LocalTime& now) { now_ = now; }
  void SetTicks(std::uint32_t ticks) { ticks_ = ticks; }
  void AdvanceTicks(std::uint32_t ms) { ticks_ += ms; }
  // Added to the tick count after every TickCount() call (0: the clock stands still).
  void SetTickStep(std::uint32_t ms) { step_ = ms; }

  platform::LocalTime Now() override { return now_; }
  std::uint32_t TickCount() override {
    std::uint32_t t = ticks_;
    ticks_ += step_;
    return t;
  }

 private:
  platform::LocalTime now_{2004, 6, 2, 15, 10, 30, 0, 0};
  std::uint32_t ticks_ = 0;
  std::uint32_t step_ = 0;
};

class ScopedClock {
 public:
  explicit ScopedClock(platform::Clock& clock) : previous_(platform::SetClock(&clock)) {}
  ~ScopedClock() { platform::SetClock(previous_); }
  ScopedClock(const ScopedClock&) = delete;
  ScopedClock& operator=(const ScopedClock&) = delete;

 private:
  platform::Clock* previous_;
};

}  // namespace orbtest
