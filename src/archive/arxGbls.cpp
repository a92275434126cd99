// The archive engine's messages and its small text and number helpers.
#include "archive/arxGbls.h"

#include <cmath>

#include "platform/resources.h"

namespace orb {

std::string LoadMessage(int id) { return platform::LoadOwnString(static_cast<std::uint32_t>(id)); }

int DotPos(const std::string& text) {
  std::size_t end = text.find('\0');
  std::string t = end == std::string::npos ? text : text.substr(0, end);
  std::size_t d = t.find('.');
  return static_cast<int>(d == std::string::npos ? t.size() : d);
}

std::string SplitHead(std::string& source, const std::string& separator) {
  std::size_t p = separator.empty() ? std::string::npos : source.find(separator);
  if (p == std::string::npos) {
    std::string head;
    head.swap(source);
    return head;
  }
  std::string head = source.substr(0, p);
  source.erase(0, p + separator.size());
  return head;
}

bool IsAllDigits(const std::string& text) {
  for (char c : text)
    if (c < '0' || c > '9') return false;
  return true;
}

std::uint8_t PercentOf(double part, double whole) {
  if (whole <= 0) return 0;
  long double v = static_cast<long double>(part) * 100.0L / static_cast<long double>(whole);
  if (v < 0) return 0;
  long double r = std::nearbyint(v);  // default rounding: halves to even
  if (r > 100) r = 100;
  return static_cast<std::uint8_t>(r);
}

void CopyBytes(std::uint8_t* dest, const std::uint8_t* source, std::int32_t count) {
  for (std::int32_t i = 0; i < count; ++i) dest[i] = source[i];
}

}  // namespace orb
