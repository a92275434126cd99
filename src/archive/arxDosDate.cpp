// DOS date-times of zip entries, through the library's calendar.
#include "archive/arxDosDate.h"

#include <cmath>

namespace orb {

bool DosDateTimeToDateTime(std::uint32_t v, TDateTime& out) {
  int date = static_cast<int>(v >> 16), time = static_cast<int>(v & 0xFFFF);
  int y = 1980 + (date >> 9), m = (date >> 5) & 15, d = date & 31;
  int hh = time >> 11, mm = (time >> 5) & 63, ss = (time & 31) * 2;
  TDateTime day = 0, clock = 0;
  if (!TryEncodeDate(y, m, d, day) || !TryEncodeTime(hh, mm, ss, 0, clock)) return false;
  out = day + clock;
  return true;
}

TDateTime FileDateOrDefault(std::uint32_t v) {
  TDateTime t = kDosEpoch;
  if (v == 0 || !DosDateTimeToDateTime(v, t)) return kDosEpoch;
  return t;
}

std::uint32_t LocalTimeToDos(std::uint16_t year, std::uint16_t month, std::uint16_t day,
                             std::uint16_t hour, std::uint16_t minute, std::uint16_t second) {
  if (year < 1980) return (1u << 5 | 1u) << 16;
  std::uint32_t date = static_cast<std::uint32_t>((year - 1980) << 9 | month << 5 | day);
  std::uint32_t time = static_cast<std::uint32_t>(hour << 11 | minute << 5 | second / 2);
  return date << 16 | time;
}

std::uint32_t DateTimeToDosDateTime(TDateTime value) {
  // Only used for dates the engine made itself (1980 and later).
  const double days = std::floor(value);
  const double frac = value - days;
  int y = 0, m = 0, d = 0;
  DecodeDate(days, y, m, d);
  int secs = static_cast<int>(std::lround(frac * 86400.0));
  if (secs >= 86400) secs = 86399;
  return LocalTimeToDos(static_cast<std::uint16_t>(y), static_cast<std::uint16_t>(m),
                        static_cast<std::uint16_t>(d), static_cast<std::uint16_t>(secs / 3600),
                        static_cast<std::uint16_t>(secs / 60 % 60),
                        static_cast<std::uint16_t>(secs % 60));
}

}  // namespace orb
