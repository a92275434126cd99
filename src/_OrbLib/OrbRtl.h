// Runtime services the library's units rely on: number text conversions with the
// error-position convention ("Val"), general-format number text, the date-time scale
// and its text forms, and the process-wide two-digit-year window.
//
// The date-time value counts days from 30 December 1899 (day 0), the time of day being
// the fraction; before day 0 the fraction still means the time of day (-1.25 is
// 29 December 1899, 06:00).
#pragma once

#include <cstdint>
#include <string>

#include "_OrbLib/OrbExcept.h"

namespace orb {

using TDateTime = double;

// The runtime's conversion error ("'%s' is not a valid date and time", ...).
class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

// ---- Numbers ----------------------------------------------------------------------

// Decimal floating-point text to a number: optional leading blanks and sign, digits, an
// optional point with digits, an optional exponent. `code` is 0 when the whole text was
// converted, else the 1-based position of the first character that cannot be. `value`
// receives what was converted before that point.
void TextToFloat(const std::string& s, double& value, int& code);

// Text to a signed 32-bit integer: leading blanks, an optional sign, then decimal digits,
// or hexadecimal digits after "$", "x"/"X" or "0x"/"0X". `code` as for TextToFloat; a
// value out of range fails at the digit that overflows.
void TextToInt32(const std::string& s, std::int32_t& value, int& code);

// General format with 15 significant digits: no trailing zeros, exponent form
// ("1.5E20", "1E-6") outside 1E-5 <= |v| < 1E15.
std::string FloatToStrG(double value);

// Fixed-point text with exactly `decimals` digits after the point (no point for 0),
// rounded half away from zero, no leading blanks.
std::string FloatToStrFixed(double value, int decimals);

// A currency amount stored as amount x 10,000: general format, no trailing zeros.
std::string CurrToStrG(std::int64_t scaled);

// Decimal amount text (the user's decimal separator) to amount x 10,000, rounded.
// Raises EConvertError "'%s' is not a valid floating point value".
std::int64_t StrToCurrScaled(const std::string& s);

// ---- Dates ------------------------------------------------------------------------

constexpr std::uint16_t kDefaultCenturyWindow = 50;

// The window that gives a two-digit year its century: pivot = current year - window;
// a year below the pivot's century position moves up a century (see ExpandTwoDigitYear).
// Process-wide; set once at start-up (unit DateExt), kDefaultCenturyWindow otherwise.
std::uint16_t CenturyWindow();
void SetCenturyWindow(std::uint16_t window);

// Expands a year written with at most two digits, given the current year.
int ExpandTwoDigitYear(int two_digit_year, int current_year);

// The user's date and time conventions used for parsing and for '/' and ':' in formats.
// Fixed to those of a Simplified Chinese Windows: there is no locale service below us.
struct TFormatSettings {
  char DateSeparator = '-';
  char TimeSeparator = ':';
  char DecimalSeparator = '.';
  std::string ShortDateFormat = "yyyy-M-d";
  std::string TimeAMString = "上午";
  std::string TimePMString = "下午";
};
const TFormatSettings& FormatSettings();

bool TryEncodeDate(int year, int month, int day, TDateTime& out);
bool TryEncodeTime(int hour, int minute, int second, int msec, TDateTime& out);
void DecodeDate(TDateTime value, int& year, int& month, int& day);
void DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& msec);

// Format specifiers: yyyy yy m mm mmm mmmm d dd ddd dddd h hh n nn s ss z zzz am/pm a/p
// ampm, "/" and ":" (the separators), "..." and '...' literals; "m" right after an hour
// means minutes.
std::string FormatDateTime(const std::string& format, TDateTime value);

// A date in the short date order (year, month, day, separated by DateSeparator; the
// year may be omitted or written with two digits), optionally followed by a time
// h:mm[:ss[.zzz]] with an optional AM/PM marker; or a time alone.
bool TryStrToDateTime(const std::string& s, TDateTime& out);
// Raises EConvertError "'%s' is not a valid date and time".
TDateTime StrToDateTime(const std::string& s);

}  // namespace orb
