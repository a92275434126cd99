// The machine the installer's tests run on: scratch folders through the operating-system
// layer and a registry the test may write. The user interface and clock doubles are the
// shared ones of support/FakeUserInterface.h.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/registry.h"

namespace orb::test {

// A private machine for one test: on the native build a fresh prefix of its own (drive C:,
// empty hives of a 32-bit prefix, as the installer is a 32-bit program, and no user folder,
// so that the temporary folder follows TMPDIR) selected for this process; on Windows the
// machine itself, with the keys the installer reads cleared before and after. Scratch() is a new empty folder (Windows path,
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
  // What each build's machine holds: natively its prefix, on Windows its turn of the
  // shared machine.
  struct Held;
  std::unique_ptr<Held> held_;
  std::string scratch_;
};

}  // namespace orb::test
