// DOS date-times of zip entries (date in the high half, two-second steps) and TDateTime, whose
// calendar is the library's (_OrbLib/OrbRtl.h).
#pragma once

#include <cstdint>

#include "_OrbLib/OrbRtl.h"

namespace orb {

// 1980-01-01 00:00, the first moment a DOS date-time can hold: the date of an archive or
// entry whose own date is missing or invalid.
inline constexpr TDateTime kDosEpoch = 29221.0;

// A DOS date-time as a TDateTime; 0 or an invalid value gives kDosEpoch.
TDateTime FileDateOrDefault(std::uint32_t dos_date_time);
// False when the DOS value does not name a valid date and time.
bool DosDateTimeToDateTime(std::uint32_t dos_date_time, TDateTime& out);
std::uint32_t DateTimeToDosDateTime(TDateTime value);
std::uint32_t LocalTimeToDos(std::uint16_t year, std::uint16_t month, std::uint16_t day,
                             std::uint16_t hour, std::uint16_t minute, std::uint16_t second);

}  // namespace orb
