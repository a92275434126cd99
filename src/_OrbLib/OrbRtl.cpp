// Runtime services: see OrbRtl.h.
#include "_OrbLib/OrbRtl.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "platform/clock.h"

namespace orb {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Scans a decimal floating-point literal starting at `i`: sign, digits, point, digits,
// exponent. Returns the index just behind the longest valid literal and whether the
// literal is complete; `bad` receives the index of the first character that cannot
// belong to it.
bool ScanFloat(const std::string& s, std::size_t i, char point, std::size_t& end,
               std::size_t& bad) {
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  std::size_t digits = 0;
  while (i < s.size() && IsDigit(s[i])) ++i, ++digits;
  if (i < s.size() && s[i] == point) {
    ++i;
    while (i < s.size() && IsDigit(s[i])) ++i, ++digits;
  }
  if (digits == 0) {
    bad = i;
    end = i;
    return false;
  }
  end = i;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    std::size_t j = i + 1;
    if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
    std::size_t exp_digits = 0;
    while (j < s.size() && IsDigit(s[j])) ++j, ++exp_digits;
    if (exp_digits == 0) {
      // An exponent mark without digits is where the text goes wrong.
      bad = i;
      return false;
    }
    end = j;
  }
  bad = end;
  return end == s.size();
}

double ParsePrefix(const std::string& s, std::size_t from, std::size_t to, char point) {
  std::string text = s.substr(from, to - from);
  if (point != '.') {
    for (char& c : text)
      if (c == point) c = '.';
  }
  if (text.empty()) return 0.0;
  return std::strtod(text.c_str(), nullptr);
}

std::uint16_t g_century_window = kDefaultCenturyWindow;

}  // namespace

void TextToFloat(const std::string& s, double& value, int& code) {
  std::size_t i = 0;
  while (i < s.size() && s[i] == ' ') ++i;
  std::size_t end = 0, bad = 0;
  const bool ok = ScanFloat(s, i, '.', end, bad);
  value = ParsePrefix(s, i, end, '.');
  code = ok ? 0 : static_cast<int>(bad) + 1;
}

void TextToInt32(const std::string& s, std::int32_t& value, int& code) {
  std::size_t i = 0;
  while (i < s.size() && s[i] == ' ') ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  bool hex = false;
  if (i < s.size() && (s[i] == '$' || s[i] == 'x' || s[i] == 'X')) {
    hex = true;
    ++i;
  } else if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
    hex = true;
    i += 2;
  }
  std::uint64_t magnitude = 0;
  const std::uint64_t limit = hex ? 0xFFFFFFFFull : (negative ? 0x80000000ull : 0x7FFFFFFFull);
  const std::size_t first_digit = i;
  value = 0;
  for (; i < s.size(); ++i) {
    const int d = hex ? HexValue(s[i]) : (IsDigit(s[i]) ? s[i] - '0' : -1);
    if (d < 0) break;
    const std::uint64_t next = magnitude * (hex ? 16 : 10) + static_cast<std::uint64_t>(d);
    if (next > limit) break;
    magnitude = next;
  }
  const std::uint32_t bits = static_cast<std::uint32_t>(magnitude);
  value = static_cast<std::int32_t>(negative ? 0u - bits : bits);
  code = (i == s.size() && i > first_digit) ? 0 : static_cast<int>(i) + 1;
}

std::string FloatToStrG(double value) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  if (value == 0) return "0";
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.14e", std::fabs(value));  // 15 significant digits
  // buf: d.dddddddddddddde[+-]xx
  char digits[16];
  int count = 0;
  const char* p = buf;
  for (; *p != 'e' && *p != '\0'; ++p)
    if (*p != '.' && count < 15) digits[count++] = *p;
  const int exponent = *p == 'e' ? std::atoi(p + 1) : 0;
  while (count > 1 && digits[count - 1] == '0') --count;
  std::string out;
  out.reserve(32);
  if (value < 0) out.push_back('-');
  if (exponent >= 15 || exponent < -5) {
    out.push_back(digits[0]);
    if (count > 1) {
      out.push_back('.');
      for (int k = 1; k < count; ++k) out.push_back(digits[k]);
    }
    out.push_back('E');
    if (exponent < 0) out.push_back('-');
    for (char c : std::to_string(std::abs(exponent))) out.push_back(c);
  } else if (exponent < 0) {
    out.push_back('0');
    out.push_back('.');
    for (int k = 0; k < -exponent - 1; ++k) out.push_back('0');
    for (int k = 0; k < count; ++k) out.push_back(digits[k]);
  } else {
    const int whole = exponent + 1;
    for (int k = 0; k < whole; ++k) out.push_back(k < count ? digits[k] : '0');
    if (count > whole) {
      out.push_back('.');
      for (int k = whole; k < count; ++k) out.push_back(digits[k]);
    }
  }
  return out;
}

std::string FloatToStrFixed(double value, int decimals) {
  if (decimals < 0) decimals = 0;
  if (decimals > 18) decimals = 18;
  // Half away from zero at the last kept digit, then print exactly that.
  const double scale = std::pow(10.0, decimals);
  double rounded = std::round(value * scale) / scale;
  if (std::isfinite(value * scale) == false) rounded = value;
  char buf[400];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, rounded);
  std::string out(buf);
  // No "-0": a value that rounds to zero has no sign.
  if (out[0] == '-' && out.find_first_not_of("0.", 1) == std::string::npos) out.erase(0, 1);
  return out;
}

std::string CurrToStrG(std::int64_t scaled) {
  const bool negative = scaled < 0;
  const std::uint64_t magnitude =
      negative ? 0 - static_cast<std::uint64_t>(scaled) : static_cast<std::uint64_t>(scaled);
  std::string out = std::to_string(magnitude / 10000);
  std::string fraction = std::to_string(magnitude % 10000);
  fraction.insert(0, 4 - fraction.size(), '0');
  while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
  if (!fraction.empty()) out += FormatSettings().DecimalSeparator + fraction;
  return negative ? "-" + out : out;
}

std::int64_t StrToCurrScaled(const std::string& s) {
  const auto fail = [&]() -> std::int64_t {
    throw EConvertError("'" + s + "' is not a valid floating point value");
  };
  std::size_t from = s.find_first_not_of(' ');
  if (from == std::string::npos) return fail();
  std::size_t to = s.find_last_not_of(' ') + 1;
  const std::string text = s.substr(from, to - from);
  std::size_t end = 0, bad = 0;
  if (!ScanFloat(text, 0, FormatSettings().DecimalSeparator, end, bad)) return fail();
  const long double amount =
      static_cast<long double>(ParsePrefix(text, 0, end, FormatSettings().DecimalSeparator));
  const long double scaled = std::roundl(amount * 10000.0L);
  if (!(scaled >= -9223372036854775807.0L && scaled <= 9223372036854775807.0L)) return fail();
  return static_cast<std::int64_t>(scaled);
}

// ---- Dates ------------------------------------------------------------------------

std::uint16_t CenturyWindow() { return g_century_window; }
void SetCenturyWindow(std::uint16_t window) { g_century_window = window; }

int ExpandTwoDigitYear(int year, int current_year) {
  const int window = CenturyWindow();
  const int pivot = current_year - window;
  year += pivot / 100 * 100;
  if (window > 0 && year < pivot) year += 100;
  return year;
}

const TFormatSettings& FormatSettings() {
  static const TFormatSettings settings;
  return settings;
}

namespace {

// 30 December 1899 counted in days from 1 January of year 1 as day 1 (proleptic Gregorian).
constexpr std::int64_t kDateDelta = 693594;

bool IsLeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }
int DaysInMonth(int y, int m) {
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeapYear(y) ? 29 : days[m - 1];
}

}  // namespace

bool TryEncodeDate(int year, int month, int day, TDateTime& out) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
      day > DaysInMonth(year, month))
    return false;
  std::int64_t days = day;
  for (int m = 1; m < month; ++m) days += DaysInMonth(year, m);
  const std::int64_t y = year - 1;
  days += y * 365 + y / 4 - y / 100 + y / 400;
  out = static_cast<double>(days - kDateDelta);
  return true;
}

bool TryEncodeTime(int hour, int minute, int second, int msec, TDateTime& out) {
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 ||
      msec < 0 || msec > 999)
    return false;
  out = (((hour * 60.0 + minute) * 60.0 + second) * 1000.0 + msec) / 86400000.0;
  return true;
}

void DecodeDate(TDateTime value, int& year, int& month, int& day) {
  // Days since 1 January of year 1, that day being 0.
  std::int64_t days = static_cast<std::int64_t>(std::trunc(value)) + kDateDelta - 1;
  if (days < 0) {
    year = month = day = 0;
    return;
  }
  // 400-year cycles of 146097 days, then centuries, 4-year cycles and years.
  std::int64_t y = 1;
  y += days / 146097 * 400;
  days %= 146097;
  std::int64_t c = days / 36524;
  if (c == 4) c = 3;
  y += c * 100;
  days -= c * 36524;
  y += days / 1461 * 4;
  days %= 1461;
  std::int64_t k = days / 365;
  if (k == 4) k = 3;
  y += k;
  days -= k * 365;
  year = static_cast<int>(y);
  month = 1;
  while (days >= DaysInMonth(year, month)) days -= DaysInMonth(year, month++);
  day = static_cast<int>(days) + 1;
}

void DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& msec) {
  double fraction = std::fabs(value - std::trunc(value));
  std::int64_t ms = std::llround(fraction * 86400000.0);
  if (ms >= 86400000) ms = 86399999;
  hour = static_cast<int>(ms / 3600000);
  minute = static_cast<int>(ms / 60000 % 60);
  second = static_cast<int>(ms / 1000 % 60);
  msec = static_cast<int>(ms % 1000);
}

namespace {

std::string Pad(int value, int width) {
  std::string s = std::to_string(value);
  if (static_cast<int>(s.size()) < width) s.insert(0, static_cast<std::size_t>(width) - s.size(), '0');
  return s;
}

const char* const kMonthNames[] = {"一月", "二月", "三月", "四月", "五月", "六月",
                                   "七月", "八月", "九月", "十月", "十一月", "十二月"};
const char* const kDayNames[] = {"星期日", "星期一", "星期二", "星期三",
                                 "星期四", "星期五", "星期六"};

bool StartsWithNoCase(const std::string& s, std::size_t at, const char* word) {
  for (std::size_t k = 0; word[k] != 0; ++k) {
    if (at + k >= s.size()) return false;
    char a = s[at + k], b = word[k];
    if (a >= 'A' && a <= 'Z') a = static_cast<char>(a + 32);
    if (b >= 'A' && b <= 'Z') b = static_cast<char>(b + 32);
    if (a != b) return false;
  }
  return true;
}

}  // namespace

std::string FormatDateTime(const std::string& format, TDateTime value) {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, msec = 0;
  DecodeDate(value, year, month, day);
  DecodeTime(value, hour, minute, second, msec);
  // A 12-hour clock when the format carries an am/pm marker.
  bool twelve = (format.find("am/pm") != std::string::npos ||
                                                   format.find("AM/PM") != std::string::npos ||
                                                   format.find("a/p") != std::string::npos ||
                                                   format.find("A/P") != std::string::npos ||
                                                   format.find("ampm") != std::string::npos ||
                                                   format.find("AMPM") != std::string::npos);
  const int hour_shown = twelve ? (hour % 12 == 0 ? 12 : hour % 12) : hour;
  const TFormatSettings& fs = FormatSettings();
  std::string out;
  char last = 0;  // the last letter token: "m" right after an hour means minutes
  std::size_t i = 0;
  const auto run = [&](char c) {
    std::size_t n = 0;
    while (i + n < format.size() && (format[i + n] | 0x20) == c) ++n;
    return n;
  };
  while (i < format.size()) {
    const char c = format[i];
    const char lower = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
    if (c == '"' || c == '\'') {
      const auto close = format.find(c, i + 1);
      const auto stop = close == std::string::npos ? format.size() : close;
      out += format.substr(i + 1, stop - i - 1);
      i = stop == format.size() ? stop : stop + 1;
      continue;
    }
    if (c == '/') { out += fs.DateSeparator; ++i; continue; }
    if (c == ':') { out += fs.TimeSeparator; ++i; continue; }
    if (lower == 'a') {
      if (StartsWithNoCase(format, i, "am/pm")) {
        out += hour < 12 ? "am" : "pm";
        if (c == 'A') out = out.substr(0, out.size() - 2) + (hour < 12 ? "AM" : "PM");
        i += 5;
      } else if (StartsWithNoCase(format, i, "a/p")) {
        out += (hour < 12 ? (c == 'A' ? "A" : "a") : (c == 'A' ? "P" : "p"));
        i += 3;
      } else if (StartsWithNoCase(format, i, "ampm")) {
        out += hour < 12 ? fs.TimeAMString : fs.TimePMString;
        i += 4;
      } else {
        out += c;
        ++i;
      }
      continue;
    }
    if (lower == 'y' || lower == 'm' || lower == 'd' || lower == 'h' || lower == 'n' ||
        lower == 's' || lower == 'z') {
      const std::size_t n = run(lower);
      char token = lower;
      if (token == 'm' && last == 'h' && n <= 2) token = 'n';
      switch (token) {
        case 'y': out += n <= 2 ? Pad(year % 100, 2) : Pad(year, 4); break;
        case 'm':
          if (n == 1) out += std::to_string(month);
          else if (n == 2) out += Pad(month, 2);
          else out += kMonthNames[month - 1];
          break;
        case 'd':
          if (n == 1) out += std::to_string(day);
          else if (n == 2) out += Pad(day, 2);
          else {
            const std::int64_t days = static_cast<std::int64_t>(std::trunc(value));
            out += kDayNames[((days - 1) % 7 + 7) % 7];  // day 0 was a Saturday
          }
          break;
        case 'h': out += n == 1 ? std::to_string(hour_shown) : Pad(hour_shown, 2); break;
        case 'n': out += n == 1 ? std::to_string(minute) : Pad(minute, 2); break;
        case 's': out += n == 1 ? std::to_string(second) : Pad(second, 2); break;
        case 'z': out += n < 3 ? std::to_string(msec) : Pad(msec, 3); break;
      }
      last = lower;
      i += n;
      continue;
    }
    out += c;
    ++i;
  }
  return out;
}

namespace {

void SkipBlanks(const std::string& s, std::size_t& i) {
  while (i < s.size() && s[i] == ' ') ++i;
}

// Digits at i: value and count.
bool ScanNumber(const std::string& s, std::size_t& i, int& value, int& count) {
  SkipBlanks(s, i);
  value = 0;
  count = 0;
  while (i < s.size() && IsDigit(s[i]) && count < 9) {
    value = value * 10 + (s[i] - '0');
    ++i;
    ++count;
  }
  return count > 0;
}

bool ScanChar(const std::string& s, std::size_t& i, char c) {
  SkipBlanks(s, i);
  if (i < s.size() && s[i] == c) {
    ++i;
    return true;
  }
  return false;
}

// The short date order is year, month, day for the formats we support.
bool ScanDate(const std::string& s, std::size_t& i, TDateTime& out) {
  const char sep = FormatSettings().DateSeparator;
  int n1 = 0, n2 = 0, n3 = 0, l1 = 0, l2 = 0, l3 = 0;
  if (!ScanNumber(s, i, n1, l1) || !ScanChar(s, i, sep) || !ScanNumber(s, i, n2, l2))
    return false;
  int year = 0, month = 0, day = 0;
  const int current = platform::GetLocalTime().year;
  std::size_t save = i;
  if (ScanChar(s, i, sep) && ScanNumber(s, i, n3, l3)) {
    year = l1 <= 2 ? ExpandTwoDigitYear(n1, current) : n1;
    month = n2;
    day = n3;
  } else {
    i = save;
    year = current;
    month = n1;
    day = n2;
  }
  return TryEncodeDate(year, month, day, out);
}

bool ScanTime(const std::string& s, std::size_t& i, TDateTime& out) {
  const char sep = FormatSettings().TimeSeparator;
  int hour = 0, minute = 0, second = 0, msec = 0, l = 0;
  if (!ScanNumber(s, i, hour, l)) return false;
  if (!ScanChar(s, i, sep) || !ScanNumber(s, i, minute, l)) return false;
  std::size_t save = i;
  if (ScanChar(s, i, sep)) {
    if (!ScanNumber(s, i, second, l)) return false;
    save = i;
    if (ScanChar(s, i, FormatSettings().DecimalSeparator)) {
      if (!ScanNumber(s, i, msec, l)) return false;
    } else {
      i = save;
    }
  } else {
    i = save;
  }
  SkipBlanks(s, i);
  int marker = -1;  // 0 am, 1 pm
  const TFormatSettings& fs = FormatSettings();
  if (StartsWithNoCase(s, i, "AM")) marker = 0, i += 2;
  else if (StartsWithNoCase(s, i, "PM")) marker = 1, i += 2;
  else if (s.compare(i, fs.TimeAMString.size(), fs.TimeAMString) == 0) marker = 0, i += fs.TimeAMString.size();
  else if (s.compare(i, fs.TimePMString.size(), fs.TimePMString) == 0) marker = 1, i += fs.TimePMString.size();
  if (marker >= 0) {
    if (hour < 1 || hour > 12) return false;
    if (hour == 12) hour = 0;
    if (marker == 1) hour += 12;
  }
  return TryEncodeTime(hour, minute, second, msec, out);
}

}  // namespace

bool TryStrToDateTime(const std::string& s, TDateTime& out) {
  std::size_t i = 0;
  TDateTime date = 0, time = 0;
  if (ScanDate(s, i, date)) {
    SkipBlanks(s, i);
    if (i < s.size() && !ScanTime(s, i, time)) return false;
    SkipBlanks(s, i);
    if (i != s.size()) return false;
    out = date < 0 ? date - time : date + time;
    return true;
  }
  i = 0;
  if (!ScanTime(s, i, time)) return false;
  SkipBlanks(s, i);
  if (i != s.size()) return false;
  out = time;
  return true;
}

TDateTime StrToDateTime(const std::string& s) {
  TDateTime value = 0;
  if (!TryStrToDateTime(s, value)) throw EConvertError("'" + s + "' is not a valid date and time");
  return value;
}

}  // namespace orb
