// Injected faults: a test's plan sees every call of the layer that reads, writes, creates,
// moves or removes a file or folder, in the order the program makes them, and may make one
// fail with an error of its choice as the system would, or end the process on the spot, as
// a kill or a power cut would. Without a plan (the program itself) every call goes through.
// Queries (attributes, folder listings, sizes, positions) are not counted: they change
// nothing and a failing one reads as an absent file.
#pragma once

#include <cstdint>

namespace platform {

enum class FsCall : std::uint8_t {
  kOpen, kRead, kWrite, kSetEnd, kSetTime, kClose, kFlush,
  kSetAttributes, kCreateDir, kRemoveDir, kRemoveFile, kCopy, kMove, kTempName,
};

class FaultPlan {
 public:
  virtual ~FaultPlan() = default;
  // Called before the call is made: 0 lets it through; anything else is the error it fails
  // with (it does nothing then, except a close, which still closes the handle).
  virtual std::uint32_t Before(FsCall call) = 0;
};

// Installs `plan` for the whole process (null: none); returns the previous one.
FaultPlan* SetFaultPlan(FaultPlan* plan);

// The layer's own check, at the top of each counted call.
std::uint32_t InjectedFault(FsCall call);

}  // namespace platform
