// Doubles and scratch space shared by the installer's tests: a user interface that records
// message boxes and answers folder dialogs from a script, a fixed clock, scratch folders
// through the operating-system layer, and a registry the test may write.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/registry.h"
#include "platform/ui.h"
#include "support/MachineTurn.h"

namespace orb::test {

struct ShownBox {
  std::string text;
  std::string caption;
  std::uint32_t flags;
};

class RecordingUi : public platform::UserInterface {
 public:
  RecordingUi() { previous_ = platform::SetUserInterface(this); }
  ~RecordingUi() override { platform::SetUserInterface(previous_); }

  int ShowMessageBox(const std::string& text, const std::string& caption,
                     std::uint32_t flags) override {
    boxes.push_back({text, caption, flags});
    return platform::kIdOk;
  }
  // Answers with the next scripted folder (nullopt = cancel). Every folder offered before
  // the answer is put through the request's accept callback, whose verdicts are recorded.
  bool BrowseForFolder(const platform::BrowseRequest& request, std::string& folder) override {
    requests.push_back(request);
    for (const std::string& f : offered) accepted.push_back(!request.accept || request.accept(f));
    if (answers.empty() || !answers.front()) {
      if (!answers.empty()) answers.pop_front();
      return false;
    }
    folder = *answers.front();
    answers.pop_front();
    return true;
  }
  void ProcessMessages() override {}

  std::vector<ShownBox> boxes;
  std::vector<platform::BrowseRequest> requests;
  std::deque<std::optional<std::string>> answers;
  std::vector<std::string> offered;
  std::vector<bool> accepted;

 private:
  platform::UserInterface* previous_;
};

class FixedClock : public platform::Clock {
 public:
  explicit FixedClock(platform::LocalTime t) : now(t) { previous_ = platform::SetClock(this); }
  ~FixedClock() override { platform::SetClock(previous_); }
  platform::LocalTime Now() override { return now; }
  std::uint32_t TickCount() override { return 0; }
  platform::LocalTime now;

 private:
  platform::Clock* previous_;
};

// A private machine for one test: on the native build a fresh prefix of its own (drive C:,
// empty hives) selected for this process; on Windows the machine itself, with the keys the
// installer reads cleared before and after. Scratch() is a new empty folder (Windows path,
// trailing backslash) below the temporary folder.
class TestMachine {
 public:
  TestMachine();
  ~TestMachine();
  TestMachine(const TestMachine&) = delete;
  TestMachine& operator=(const TestMachine&) = delete;

  const std::string& Scratch() const { return scratch_; }
  // A folder below Scratch(), created with its parents.
  std::string MakeDir(const std::string& relative) const;
  void WriteFile(const std::string& path, const std::string& bytes) const;
  static std::string ReadFile(const std::string& path);
  static bool Exists(const std::string& path);

  static void SetString(platform::RootKey root, const std::string& key, const std::string& name,
                        const std::string& value, std::uint32_t type = platform::kRegSz);
  // Maps drive `letter` as a network drive (native build only; false where the test cannot
  // arrange it).
  bool MapNetworkDrive(char letter);
  // Makes HKEY_LOCAL_MACHINE readable but not writable for this process (native build only;
  // returns false where the test cannot arrange it).
  bool MakeMachineHiveReadOnly();

 private:
  std::string scratch_;
  std::string unix_root_;  // native build: the prefix, removed at the end
  std::optional<orbtest::MachineTurn> turn_;  // Windows: the machine is shared
};

}  // namespace orb::test
