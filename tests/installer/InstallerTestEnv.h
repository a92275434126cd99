// The machine the installer's tests run on: scratch folders through the operating-system
// layer and a registry the test may write. The user interface and clock doubles are the
// shared ones of support/FakeUserInterface.h.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/registry.h"
#include "support/MachineTurn.h"

namespace orb::test {

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
