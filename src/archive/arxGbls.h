// The archive engine's shared vocabulary: its messages, its exceptions, and small text and
// number helpers. Names and paths are in arxPaths.h, wildcards in arxWildcard.h, DOS dates in
// arxDosDate.h, volumes in arxVolume.h.
#pragma once

#include <cstdint>
#include <string>

#include "_OrbLib/OrbExcept.h"
#include "archive/MessageIds.h"

namespace orb {

// The text of engine message `id` from the program's string table (empty when absent).
std::string LoadMessage(int id);

// The exception every engine error raises (through RaiseError): the message's text, its id.
class E_RAISE : public Exception {
 public:
  E_RAISE(const std::string& message, int code) : Exception(message), code_(code) {}
  int Code() const { return code_; }

 private:
  int code_;
};

// The runtime's input/output error of untyped file operations (reads, seeks, opens).
class EInOutError : public Exception {
 public:
  EInOutError(const std::string& message, std::uint32_t error_code)
      : Exception(message), error_code_(error_code) {}
  std::uint32_t ErrorCode() const { return error_code_; }

 private:
  std::uint32_t error_code_;
};

int DotPos(const std::string& text);
std::string SplitHead(std::string& source, const std::string& separator);
bool IsAllDigits(const std::string& text);
inline std::int32_t MinOf(std::int32_t a, std::int32_t b) { return a < b ? a : b; }
// part * 100 / whole rounded half to even, 0 when whole <= 0 or negative, at most 100.
std::uint8_t PercentOf(double part, double whole);
void CopyBytes(std::uint8_t* dest, const std::uint8_t* source, std::int32_t count);

}  // namespace orb
