// Unit DateExt: see DateExt.h.
#include "dbf/DateExt.h"

#include "platform/registry.h"

namespace orb {

namespace {

constexpr const char* kCalendarKey = "Control Panel\\International\\Calendars\\TwoDigitYearMax";
constexpr const char* kGregorian = "1";

}  // namespace

std::uint16_t CenturyWindowFromYearMax(const std::string& text, std::uint16_t current) {
  if (text.size() != 4) return current;
  // The last two digits of the last year two-digit years may denote.
  std::int32_t n = 0;
  int code = 0;
  TextToInt32(text.substr(2, 2), n, code);
  if (code != 0 || n <= 0) return current;
  return static_cast<std::uint16_t>(101 - n);
}

void AdjustCenturyWindow() {
  std::string text;
  // A value of another type counts as absent: this runs at start-up, before any handler
  // could explain an error to the operator, and the default window is a safe answer.
  if (platform::ReadString(platform::RootKey::CurrentUser, kCalendarKey, kGregorian, text) !=
      platform::StringRead::kRead)
    return;
  SetCenturyWindow(CenturyWindowFromYearMax(text, CenturyWindow()));
}

}  // namespace orb
