// The exception base of the system and the precondition check.
//
// Every exception the system raises carries a GBK message and derives from `Exception`,
// so the process-wide handler can show any of them. A violated precondition (a bad index,
// no current record, changing an option of an open object) is a programming error: it
// raises `EAssertionFailed` with the unit and line, in every build type, never a bare assert.
#pragma once

#include <stdexcept>
#include <string>

namespace orb {

class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& message) : std::runtime_error(message) {}
  std::string Message() const { return what(); }
};

class EAssertionFailed : public Exception {
 public:
  EAssertionFailed(const char* unit, int line)
      : Exception("Assertion failure (" + std::string(unit) + ", line " +
                  std::to_string(line) + ")"),
        unit_(unit),
        line_(line) {}
  const std::string& Unit() const { return unit_; }
  int Line() const { return line_; }

 private:
  std::string unit_;
  int line_;
};

}  // namespace orb

// ORB_ASSERT(condition, "_OrbLib/OrbWin"): raises EAssertionFailed naming the unit and line.
#define ORB_ASSERT(cond, unit)                                   \
  do {                                                           \
    if (!(cond)) throw ::orb::EAssertionFailed((unit), __LINE__); \
  } while (0)
