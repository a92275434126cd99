// ctest runs test processes in parallel on one machine (one prefix natively, one wineserver
// under Wine). Tests that must change something machine-wide which the code under test reads
// at a fixed place (a user's registry value, the installer's keys) take turns: each holds a
// file of the temporary folder opened without sharing for as long as it uses the thing.
#pragma once

#include <string>

#include "platform/file.h"

namespace orbtest {

class MachineTurn {
 public:
  // Waits (up to two minutes) until no other process holds the turn called `name`.
  explicit MachineTurn(const std::string& name);
  ~MachineTurn();
  MachineTurn(const MachineTurn&) = delete;
  MachineTurn& operator=(const MachineTurn&) = delete;

  // False when the wait ran out (the test should fail then).
  bool held() const { return handle_ != platform::kNoFile; }

 private:
  platform::FileHandle handle_ = platform::kNoFile;
};

}  // namespace orbtest
