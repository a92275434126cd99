// Local time and the tick counter: GetLocalTime, GetTickCount.
// Tests may replace the clock with a double (SetClock).
#pragma once

#include <cstdint>

namespace platform {

// SYSTEMTIME.
struct LocalTime {
  std::uint16_t year = 0;
  std::uint16_t month = 0;       // 1..12
  std::uint16_t day_of_week = 0; // 0 = Sunday
  std::uint16_t day = 0;         // 1..31
  std::uint16_t hour = 0;
  std::uint16_t minute = 0;
  std::uint16_t second = 0;
  std::uint16_t milliseconds = 0;
};

class Clock {
 public:
  virtual ~Clock() = default;
  virtual LocalTime Now() = 0;              // GetLocalTime
  virtual std::uint32_t TickCount() = 0;    // GetTickCount
};

// The clock in force: the system's unless a test installed another.
Clock& CurrentClock();
// Installs `clock` (not owned); nullptr restores the system clock. Returns the previous one
// (nullptr when it was the system clock).
Clock* SetClock(Clock* clock);

inline LocalTime GetLocalTime() { return CurrentClock().Now(); }
inline std::uint32_t GetTickCount() { return CurrentClock().TickCount(); }

}  // namespace platform
