// Elapsed engine time, for the end-of-run report.
#pragma once

#include <cstdint>

namespace orb {

// Elapsed engine time: event handlers and the selection pass run between Pause and Resume.
class TarxTimer {
 public:
  void Start();
  void Pause();
  void Resume();
  void Stop();
  float Elapsed() const { return elapsed_; }

 private:
  std::uint32_t start_ = 0, stop_ = 0, pause_ = 0;
  float elapsed_ = 0;
};

// Pauses the engine clock for the life of the guard: time spent in event handlers is not
// engine time.
class TimerPause {
 public:
  explicit TimerPause(TarxTimer& t) : t_(t) { t_.Pause(); }
  ~TimerPause() { t_.Resume(); }
  TimerPause(const TimerPause&) = delete;
  TimerPause& operator=(const TimerPause&) = delete;

 private:
  TarxTimer& t_;
};

}  // namespace orb
