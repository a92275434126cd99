// A fault plan that counts the layer's calls and fails one of them, or ends the process
// there as a kill would: the all-or-nothing tests and the program they kill share it.
#pragma once

#include <cstdint>

#include "platform/faults.h"
#include "platform/process.h"

namespace orb::test {

// Fails (or kills the process at) the `at`-th counted call of the layer; counts them all.
class CountingPlan : public platform::FaultPlan {
 public:
  static constexpr std::uint32_t kKilledCode = 77;
  CountingPlan(std::uint64_t at, std::uint32_t error, bool kill)
      : at_(at), error_(error), kill_(kill) {
    previous_ = platform::SetFaultPlan(this);
  }
  ~CountingPlan() override { platform::SetFaultPlan(previous_); }
  CountingPlan(const CountingPlan&) = delete;
  CountingPlan& operator=(const CountingPlan&) = delete;

  std::uint32_t Before(platform::FsCall) override {
    if (++calls != at_) return 0;
    if (kill_) platform::TerminateSelf(kKilledCode);
    return error_;
  }
  std::uint64_t calls = 0;

 private:
  std::uint64_t at_;
  std::uint32_t error_;
  bool kill_;
  platform::FaultPlan* previous_;
};

}  // namespace orb::test
