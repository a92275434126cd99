// Unit MachineTurn: see MachineTurn.h.
#include "support/MachineTurn.h"

#include <thread>

#include "platform/fs.h"

namespace orbtest {

MachineTurn::MachineTurn(const std::string& name) {
  const std::string path = platform::TempPath() + "orb-" + name + ".lock";
  for (int i = 0; i < 2400; ++i) {
    if (platform::FileOpen(path, platform::kGenericWrite, 0, platform::kOpenAlways, 0, handle_) ==
        0) {
      return;
    }
    handle_ = platform::kNoFile;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

MachineTurn::~MachineTurn() {
  if (held()) platform::FileClose(handle_);
}

}  // namespace orbtest
