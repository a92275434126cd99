// Elapsed engine time.
#include "archive/arxTimer.h"

#include "platform/clock.h"

namespace orb {

void TarxTimer::Start() {
  elapsed_ = 0;
  start_ = platform::GetTickCount();
  pause_ = 0;
}
void TarxTimer::Pause() {
  if (start_ > 0) pause_ = platform::GetTickCount();
}
void TarxTimer::Resume() {
  if (start_ > 0 && pause_ > 0) {
    start_ += platform::GetTickCount() - pause_;
    pause_ = 0;
  }
}
void TarxTimer::Stop() {
  if (start_ > 0) {
    stop_ = platform::GetTickCount();
    elapsed_ = static_cast<float>(stop_ - start_) / 1000.0f;
    start_ = 0;
  }
}

}  // namespace orb
