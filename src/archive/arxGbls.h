// The archive engine's shared vocabulary: message ids, exceptions, and the small path, name,
// wildcard, date and volume helpers every layer of the engine uses. Nothing here keeps state.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "_OrbLib/OrbExcept.h"
#include "_OrbLib/OrbRtl.h"
#include "archive/MessageIds.h"
#include "platform/paths.h"
#include "platform/volume.h"

namespace orb {

// TDateTime (days since 1899-12-30, time of day as the fraction) and its calendar are the
// library's (_OrbLib/OrbRtl.h).
// 1980-01-01 00:00, the first moment a DOS date-time can hold: the date of an archive or
// entry whose own date is missing or invalid.
inline constexpr TDateTime kDosEpoch = 29221.0;


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

// Wildcards: '?' matches one byte, '*' any run; both work on either side (the matcher is
// symmetric). `names_only` compares only the file-name parts.
bool MatchWildcard(const std::string& pattern, const std::string& name, bool names_only);
// Drops empty patterns and keeps only the file-name part of the others ('/' counts as '\').
void NormalizeFileSpec(std::vector<std::string>& specs);

using platform::WithBackslash;
std::string SlashToBackslash(std::string name);
// A stored entry name in the system's ANSI code page with '\' separators.
std::string OemNameToAnsi(const std::string& name);
// Text after the last '\' or ':' (a whole GBK character), or the whole text.
std::string ExtractFileNamePart(const std::string& path);
// Text up to and including the last '\' or ':', or empty.
std::string ExtractFileDirPart(const std::string& path);
bool DirExists(const std::string& path);
// Creates `path` and every missing parent; an empty path raises 25153.
void CreateDirPath(const std::string& path);
int DotPos(const std::string& text);
std::string SplitHead(std::string& source, const std::string& separator);
bool IsAllDigits(const std::string& text);
inline std::int32_t MinOf(std::int32_t a, std::int32_t b) { return a < b ? a : b; }
// part * 100 / whole rounded half to even, 0 when whole <= 0 or negative, at most 100.
std::uint8_t PercentOf(double part, double whole);
// A DOS date-time (date in the high half) as a TDateTime; 0 or an invalid value gives
// kDosEpoch.
TDateTime FileDateOrDefault(std::uint32_t dos_date_time);
// False when the DOS value does not name a valid date and time.
bool DosDateTimeToDateTime(std::uint32_t dos_date_time, TDateTime& out);
std::uint32_t DateTimeToDosDateTime(TDateTime value);
std::uint32_t LocalTimeToDos(std::uint16_t year, std::uint16_t month, std::uint16_t day,
                             std::uint16_t hour, std::uint16_t minute, std::uint16_t second);
void CopyBytes(std::uint8_t* dest, const std::uint8_t* source, std::int32_t count);
std::string GetTempDir();
std::string MakeTempFileName(const std::string& prefix);

// The volume of `drive` ("C:" or "C:\"), with the system's critical-error boxes off; the
// label and file-system name at most 256 bytes, as the runtime's buffers hold them.
bool GetVolumeInfo(const std::string& drive, platform::VolumeInfo& info);
std::string DiskNotAccessibleText(const std::string& drive);
bool AskRetryDisk(const std::string& drive);

// The text after the last occurrence of `marker` in `label`, or empty when absent.
inline constexpr const char* kSpanLabelMarker = "PKBACK# ";

}  // namespace orb
