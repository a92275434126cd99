// The system clock: the local time and the tick counter of Windows.
#include "platform/backend.h"
#include "platform/win32/windows_api.h"

namespace platform::backend {
namespace {

class WindowsClock final : public Clock {
 public:
  LocalTime Now() override {
    SYSTEMTIME st;
    ::GetLocalTime(&st);
    LocalTime t;
    t.year = st.wYear;
    t.month = st.wMonth;
    t.day_of_week = st.wDayOfWeek;
    t.day = st.wDay;
    t.hour = st.wHour;
    t.minute = st.wMinute;
    t.second = st.wSecond;
    t.milliseconds = st.wMilliseconds;
    return t;
  }
  std::uint32_t TickCount() override { return ::GetTickCount(); }
};

}  // namespace

Clock& SystemClock() {
  static WindowsClock clock;
  return clock;
}

}  // namespace platform::backend
