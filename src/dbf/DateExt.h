// Unit DateExt: makes two-digit years in date text follow the user's calendar setting.
//
// The program calls AdjustCenturyWindow() once at start-up, before its main flow; it reads
// HKEY_CURRENT_USER "Control Panel\International\Calendars\TwoDigitYearMax", value "1"
// (the Gregorian calendar: the last year two-digit years may denote, e.g. "2029") and
// sets the runtime's CenturyWindow (OrbRtl) from it. Nothing changes the window later.
#pragma once

#include <cstdint>
#include <string>

#include "_OrbLib/OrbRtl.h"

namespace orb {

// The start-up adjustment. A missing key or value, an inaccessible key, a value of a
// non-string type, or text that is not exactly four characters leaves the window unchanged:
// nothing is raised, since no handler could tell the operator about it this early.
void AdjustCenturyWindow();

// The window a TwoDigitYearMax text gives, or `current` when the text does not change it.
std::uint16_t CenturyWindowFromYearMax(const std::string& text, std::uint16_t current);

}  // namespace orb
