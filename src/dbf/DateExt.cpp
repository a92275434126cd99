// Unit DateExt: see DateExt.h.
#include "dbf/DateExt.h"

#include "platform/registry.h"

namespace orb {

namespace {

constexpr const char* kCalendarKey = "Control Panel\\International\\Calendars\\TwoDigitYearMax";
constexpr const char* kGregorian = "1";

// The registry string read of the system utilities: the key opened with full access
// (never created), the value's type and size asked first, string types up to their first
// zero byte. A value of another type counts as absent: this runs at start-up, before any
// handler could explain an error to the operator, and the default window is a safe answer.
bool ReadUserString(const std::string& key, const std::string& name, std::string& value) {
  platform::RegKey reg;
  if (reg.Open(platform::RootKey::CurrentUser, key, platform::kKeyAllAccess) != 0) return false;
  std::uint32_t type = 0, size = 0;
  if (reg.QueryInfo(name, type, size) != 0) return false;
  if (size == 0) {
    value.clear();
    return true;
  }
  if (type != platform::kRegSz && type != platform::kRegExpandSz) return false;
  platform::RegValue data;
  if (reg.Query(name, data) != 0) return false;
  const auto nul = data.data.find('\0');
  value = nul == std::string::npos ? data.data : data.data.substr(0, nul);
  return true;
}

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
  if (!ReadUserString(kCalendarKey, kGregorian, text)) return;
  SetCenturyWindow(CenturyWindowFromYearMax(text, CenturyWindow()));
}

}  // namespace orb
