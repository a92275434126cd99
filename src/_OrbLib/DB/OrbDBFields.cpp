// Unit OrbDB: typed access to the fields of the current record.
//
// Numbers in "N" and "F" fields are decimal text, right-aligned, padded with PadChar;
// the readers walk the text backwards from its last significant byte, so leading pad
// bytes and signs end the walk naturally. "B" (double), "I" (int32), "Y" (int64 amount
// x 10,000) and "T" (two int32: Julian day, day fraction x 3,600,000) are raw
// little-endian bytes.
#include <cmath>
#include <cstring>
#include <vector>

#include "_OrbLib/DB/OrbDB.h"

namespace orb {

namespace {

constexpr const char* kUnit = "_OrbLib/DB/OrbDB";

std::uint64_t LoadLE(const std::uint8_t* p, std::size_t n) {
  std::uint64_t v = 0;
  for (std::size_t k = n; k-- > 0;) v = (v << 8) | p[k];
  return v;
}

void StoreLE(std::uint8_t* p, std::uint64_t v, std::size_t n) {
  for (std::size_t k = 0; k < n; ++k, v >>= 8) p[k] = static_cast<std::uint8_t>(v);
}

double BitsToDouble(std::uint64_t bits) {
  double d;
  std::memcpy(&d, &bits, sizeof d);
  return d;
}

std::uint64_t DoubleToBits(double d) {
  std::uint64_t bits;
  std::memcpy(&bits, &d, sizeof bits);
  return bits;
}

// Text to a number with the legacy fall-back: text that goes wrong at position p > 1 is
// converted again up to p - 1; anything still wrong gives 0. Never raises.
double FloatOrZero(const std::string& s) {
  double v = 0;
  int code = 0;
  TextToFloat(s, v, code);
  if (code > 1) TextToFloat(s.substr(0, static_cast<std::size_t>(code) - 1), v, code);
  return code > 0 ? 0.0 : v;
}

std::int32_t IntOrZero(const std::string& s) {
  std::int32_t v = 0;
  int code = 0;
  TextToInt32(s, v, code);
  if (code > 1) TextToInt32(s.substr(0, static_cast<std::size_t>(code) - 1), v, code);
  return code > 0 ? 0 : v;
}

}  // namespace

std::uint8_t* TCustomDataset::FieldPtr(std::int32_t index) {
  return record_buffer_.data() + field_offsets_->GetItem(index);
}

void TCustomDataset::CheckFieldRead(std::int32_t index, int line) {
  if (!has_record_ || index < 0 || static_cast<std::uint32_t>(index) >= field_count_)
    throw EAssertionFailed(kUnit, line);
}

void TCustomDataset::CheckFieldWrite(std::int32_t index, int line) {
  if (read_only_) throw EAssertionFailed(kUnit, line);
  CheckFieldRead(index, line);
}

void TCustomDataset::CheckDataAccess(std::int32_t index) {
  if (!has_record_) throw EOrbDBError("无有效记录，不能读写数据");
  if (index < 0 || static_cast<std::uint32_t>(index) >= field_count_)
    throw EOrbDBError("字段序号 " + std::to_string(index) + " 非法");
}

std::int32_t TCustomDataset::TrimmedLength(std::int32_t index) {
  CheckFieldRead(index, __LINE__);
  const std::uint8_t* p = FieldPtr(index);
  std::int32_t n = FieldWidth(index);
  while (n > 0 && p[n - 1] == pad_char_) --n;
  return n;
}

void TCustomDataset::GetData(std::int32_t index, void* dest) {
  CheckDataAccess(index);
  std::memcpy(dest, FieldPtr(index), static_cast<std::size_t>(FieldWidth(index)));
}

void TCustomDataset::SetData(std::int32_t index, const void* src) {
  CheckDataAccess(index);
  std::memcpy(FieldPtr(index), src, static_cast<std::size_t>(FieldWidth(index)));
  FieldChanged(index);
}

std::string TCustomDataset::GetString(std::int32_t index) {
  CheckFieldRead(index, __LINE__);
  const std::int32_t n = TrimmedLength(index);
  return std::string(reinterpret_cast<const char*>(FieldPtr(index)), static_cast<std::size_t>(n));
}

void TCustomDataset::SetString(std::int32_t index, const std::string& text) {
  CheckFieldWrite(index, __LINE__);
  const std::size_t w = static_cast<std::size_t>(FieldWidth(index));
  const std::size_t n = text.size() < w ? text.size() : w;
  std::uint8_t* p = FieldPtr(index);
  std::memcpy(p, text.data(), n);
  std::memset(p + n, pad_char_, w - n);
  FieldChanged(index);
}

std::int32_t TCustomDataset::GetInteger(std::int32_t index) {
  CheckFieldRead(index, __LINE__);
  const std::uint8_t* p = FieldPtr(index);
  // 32-bit arithmetic that wraps, as stored text longer than ten digits always did.
  std::uint32_t result = 0, factor = 1;
  for (std::int32_t k = TrimmedLength(index) - 1; k >= 0; --k) {
    const std::uint8_t c = p[k];
    if (c >= '0' && c <= '9') {
      result += (c - '0') * factor;
      factor *= 10;
    } else if (c == '.') {
      // Digits after a decimal point are dropped; the whole part follows.
      result = 0;
      factor = 1;
    } else if (c == '-') {
      result = 0u - result;
      break;
    } else {
      break;
    }
  }
  return static_cast<std::int32_t>(result);
}

void TCustomDataset::WriteRightAligned(std::int32_t index, const std::string& text) {
  const std::size_t w = static_cast<std::size_t>(FieldWidth(index));
  // Too long: the last w characters stay (the legacy cut on the left).
  const std::string kept = text.size() > w ? text.substr(text.size() - w) : text;
  std::uint8_t* p = FieldPtr(index);
  std::memset(p, pad_char_, w - kept.size());
  std::memcpy(p + (w - kept.size()), kept.data(), kept.size());
  FieldChanged(index);
}

void TCustomDataset::SetInteger(std::int32_t index, std::int32_t value) {
  CheckFieldWrite(index, __LINE__);
  WriteRightAligned(index, std::to_string(value));
}

double TCustomDataset::GetFloat(std::int32_t index) {
  CheckFieldRead(index, __LINE__);
  const std::uint8_t* p = FieldPtr(index);
  // The digits are gathered from the right into an integer-scaled value; `shift` keeps
  // the powers of ten taken out to keep `factor` inside 32 bits, `exponent` the "E" part.
  double value = 0.0;
  std::int32_t factor = 1;
  int shift = 0;
  int exponent = 0;
  for (std::int32_t k = TrimmedLength(index) - 1; k >= 0; --k) {
    const std::uint8_t c = p[k];
    if (c >= '0' && c <= '9') {
      if (factor > 100000000) {
        value /= 100000.0;
        factor /= 100000;
        shift += 5;
      }
      value += (c - '0') * static_cast<double>(factor);
      factor *= 10;
    } else if (c == '.') {
      // value / factor is the fraction whatever `shift` is, because both were scaled
      // alike; the whole part that follows starts unscaled. (The legacy also moved
      // `shift` here, which broke numbers with nine or more decimals.)
      value /= factor;
      factor = 1;
      shift = 0;
    } else if (c == '-') {
      value = -value;
    } else if (c == '+') {
      // ignored
    } else if (c == 'E') {
      // A damaged field can hold an exponent of any length: beyond a few hundred the result
      // is already infinity or zero, and the conversion to int must stay in range.
      const double e = std::trunc(value * std::pow(10.0, shift));
      exponent = e > 9999.0 ? 9999 : e < -9999.0 ? -9999 : static_cast<int>(e);
      value = 0.0;
      factor = 1;
      shift = 0;
    } else {
      break;
    }
  }
  const int total = shift + exponent;
  // Zero stays zero (not NaN) under an exponent that overflows the power.
  if (total != 0 && value != 0.0) value *= std::pow(10.0, total);
  return value;
}

void TCustomDataset::SetFloat(std::int32_t index, double value) {
  CheckFieldWrite(index, __LINE__);
  WriteRightAligned(index, FloatToStrFixed(value, FieldDecimals(index)));
}

bool TCustomDataset::GetBoolean(std::int32_t index) {
  CheckDataAccess(index);
  if (FieldWidth(index) <= 0) return false;
  std::uint8_t c = *FieldPtr(index);
  if (c >= 'a' && c <= 'z') c = static_cast<std::uint8_t>(c - 32);
  return c == true_char_;
}

void TCustomDataset::SetDate(std::int32_t index, TDateTime value) {
  SetString(index, FormatDateTime("yyyymmdd", value));
}

TDateTime TCustomDataset::GetDateTime(std::int32_t index) {
  CheckDataAccess(index);
  // Never beyond the field: a narrower field reads as if zero-filled.
  std::uint8_t raw[8] = {};
  const std::int32_t w = FieldWidth(index);
  std::memcpy(raw, FieldPtr(index), static_cast<std::size_t>(w < 8 ? w : 8));
  const auto day = static_cast<std::int32_t>(static_cast<std::uint32_t>(LoadLE(raw, 4)));
  const auto time = static_cast<std::int32_t>(static_cast<std::uint32_t>(LoadLE(raw + 4, 4)));
  const double d = static_cast<double>(static_cast<std::int64_t>(day) - kJulianDay0);
  return d >= 0 ? d + time / kTimeFactor : d - time / kTimeFactor;
}

void TCustomDataset::SetDateTime(std::int32_t index, TDateTime value) {
  CheckDataAccess(index);
  const double whole = std::trunc(value);
  const auto day = static_cast<std::int32_t>(static_cast<std::int64_t>(whole) + kJulianDay0);
  const auto time = static_cast<std::int32_t>(std::trunc(std::fabs(value - whole) * kTimeFactor));
  std::uint8_t raw[8];
  StoreLE(raw, static_cast<std::uint32_t>(day), 4);
  StoreLE(raw + 4, static_cast<std::uint32_t>(time), 4);
  const std::int32_t w = FieldWidth(index);
  std::memcpy(FieldPtr(index), raw, static_cast<std::size_t>(w < 8 ? w : 8));
  FieldChanged(index);
}

std::string TCustomDataset::GetAsString(std::int32_t index) {
  CheckFieldRead(index, __LINE__);
  const std::int32_t w = FieldWidth(index);
  const std::uint8_t* p = FieldPtr(index);
  switch (FieldType(index)) {
    case 'B':
      return w >= 8 ? FloatToStrG(BitsToDouble(LoadLE(p, 8))) : std::string();
    case 'C':
    case 'D':
      return GetString(index);
    case 'F':
      return FloatToStrG(GetFloat(index));
    case 'I':
      return w >= 4 ? std::to_string(static_cast<std::int32_t>(static_cast<std::uint32_t>(LoadLE(p, 4))))
                    : std::string();
    case 'L':
      return GetBoolean(index) ? "True" : "False";
    case 'N':
      return std::to_string(GetInteger(index));
    case 'T':
      return FormatDateTime(date_time_format_, GetDateTime(index));
    case 'Y':
      return w >= 8 ? CurrToStrG(static_cast<std::int64_t>(LoadLE(p, 8))) : std::string();
    default:
      return std::string();
  }
}

void TCustomDataset::SetAsString(std::int32_t index, const std::string& text) {
  CheckFieldWrite(index, __LINE__);
  const std::int32_t w = FieldWidth(index);
  // Raw types go through SetData, which copies the field's width: a field of another
  // width (written elsewhere) gets the value's first bytes, zero-filled behind.
  const auto store = [&](std::uint64_t bits, std::int32_t size) {
    std::vector<std::uint8_t> raw(static_cast<std::size_t>(w > size ? w : size), 0);
    StoreLE(raw.data(), bits, static_cast<std::size_t>(size));
    SetData(index, raw.data());
  };
  switch (FieldType(index)) {
    case 'B':
      store(DoubleToBits(FloatOrZero(text)), 8);
      break;
    case 'C':
      SetString(index, text);
      break;
    case 'D':
      SetDate(index, StrToDateTime(text));
      break;
    case 'F':
      SetFloat(index, FloatOrZero(text));
      break;
    case 'I':
      store(static_cast<std::uint32_t>(IntOrZero(text)), 4);
      break;
    case 'L': {
      char first = text.empty() ? 0 : text[0];
      if (first >= 'a' && first <= 'z') first = static_cast<char>(first - 32);
      const bool value = !text.empty() && first != 'F' && first != '0';
      // Only the first byte: a wider logical field (written elsewhere) keeps the rest.
      if (w > 0) {
        *FieldPtr(index) = value ? true_char_ : false_char_;
        FieldChanged(index);
      }
      break;
    }
    case 'N':
      SetInteger(index, IntOrZero(text));
      break;
    case 'T':
      SetDateTime(index, StrToDateTime(text));
      break;
    case 'Y':
      store(static_cast<std::uint64_t>(StrToCurrScaled(text)), 8);
      break;
    default:
      break;
  }
}

std::string TCustomDataset::GetAsStringByName(const std::string& name) {
  return GetAsString(FieldIndex(name));
}
std::string TCustomDataset::GetStringByName(const std::string& name) {
  return GetString(FieldIndex(name));
}
void TCustomDataset::SetStringByName(const std::string& name, const std::string& text) {
  SetString(FieldIndex(name), text);
}
std::int32_t TCustomDataset::GetIntegerByName(const std::string& name) {
  return GetInteger(FieldIndex(name));
}
void TCustomDataset::SetIntegerByName(const std::string& name, std::int32_t value) {
  SetInteger(FieldIndex(name), value);
}

void TCustomDataset::InitRecord(std::uint8_t* buffer) {
  ORB_ASSERT(buffer != nullptr && record_size_ > 0, kUnit);
  std::memset(buffer, 0, static_cast<std::size_t>(record_size_));
  if (pad_char_ == 0) return;
  for (std::uint32_t i = 0; i < field_count_; ++i) {
    const auto f = static_cast<std::int32_t>(i);
    const std::int32_t offset = field_offsets_->GetItem(f);
    const std::int32_t w = FieldWidth(f);
    if (w <= 0) continue;
    std::uint8_t* p = buffer + offset;
    switch (field_types_->GetItem(f)) {
      case 'L':
        p[0] = false_char_;
        break;
      case 'C':
      case 'N':
      case 'F':
      case 'D':
        std::memset(p, pad_char_, static_cast<std::size_t>(w));
        break;
      case 'T': {
        // The date-time value 0: day 2415019, time 0.
        std::uint8_t raw[8] = {};
        StoreLE(raw, static_cast<std::uint32_t>(kJulianDay0), 4);
        std::memcpy(p, raw, static_cast<std::size_t>(w < 8 ? w : 8));
        break;
      }
      default:
        break;
    }
  }
}

}  // namespace orb
