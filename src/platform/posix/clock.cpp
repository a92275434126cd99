// The system clock: the local time and a millisecond tick counter from the C library.
#include <ctime>
#include <time.h>

#include "platform/backend.h"

namespace platform::backend {
namespace {

class PosixClock final : public Clock {
 public:
  LocalTime Now() override {
    struct timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    struct tm tm;
    localtime_r(&ts.tv_sec, &tm);
    LocalTime t;
    t.year = static_cast<std::uint16_t>(tm.tm_year + 1900);
    t.month = static_cast<std::uint16_t>(tm.tm_mon + 1);
    t.day_of_week = static_cast<std::uint16_t>(tm.tm_wday);
    t.day = static_cast<std::uint16_t>(tm.tm_mday);
    t.hour = static_cast<std::uint16_t>(tm.tm_hour);
    t.minute = static_cast<std::uint16_t>(tm.tm_min);
    t.second = static_cast<std::uint16_t>(tm.tm_sec);
    t.milliseconds = static_cast<std::uint16_t>(ts.tv_nsec / 1000000);
    return t;
  }
  std::uint32_t TickCount() override {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    // Wraps after 49.7 days exactly like GetTickCount.
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(ts.tv_sec) * 1000u +
                                      static_cast<std::uint64_t>(ts.tv_nsec / 1000000));
  }
};

}  // namespace

Clock& SystemClock() {
  static PosixClock clock;
  return clock;
}

}  // namespace platform::backend
