// Unit Common: the host's fixed vocabulary, shared with the host application, and the two
// host settings read once at start-up. The installer itself reads none of the tables; they
// are kept complete because the unit is the host's.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace orb {

// Number format patterns.
extern const std::array<std::string_view, 2> NumFormatStrs;
// Result table names.
extern const std::array<std::string_view, 3> ResultTableNames;
// Report table kinds.
extern const std::array<std::string_view, 8> ReportTableKinds;
// Host parameter file names (several occur in a task package's PARA folder).
extern const std::array<std::string_view, 20> HostParamFiles;
// Period fields, parallel tables indexed by the period kind.
extern const std::array<std::string_view, 9> PeriodFieldCodes;
extern const std::array<std::string_view, 9> PeriodFieldNames;
// Task kinds.
extern const std::array<std::string_view, 9> TaskKindNames;
// Formula keywords.
extern const std::array<std::string_view, 41> FormulaKeywords;
// Default task folder of the previous host generation.
extern const std::string_view OldDefaultTaskPath;

// The host's title ("AppTitle") and resource file ("ResourceFile") under
// Software\Kestrovan\ZentabE, current user first, then the machine. Empty until
// InitHostSettings runs (the program's start-up), cleared again by ClearHostSettings
// (registered for program exit by InitHostSettings).
const std::string& HostAppTitle();
const std::string& HostResourceFile();
void InitHostSettings();
void ClearHostSettings();

}  // namespace orb
