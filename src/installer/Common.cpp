// Unit Common: host vocabulary and host settings.
#include "installer/Common.h"

#include <cstdlib>

#include "installer/SysUtils.h"

namespace orb {

const std::array<std::string_view, 2> NumFormatStrs = {"%.*f", "%.*n"};

const std::array<std::string_view, 3> ResultTableNames = {"单位", "查询结果", "结果"};

const std::array<std::string_view, 8> ReportTableKinds = {
    "基层分户表", "分户合并表", "集团汇总表", "集团差额表",
    "标准汇总表", "标准差额表", "选择汇总表", "附加表"};

const std::array<std::string_view, 20> HostParamFiles = {
    "BBFilter",     "BBTree",       "Apportion.INI", "BatchSum.INI",   "ClassSum.INI",
    "DocLink.ini",  "SYS_GSBL.Ini", "TaskLink.INI",  "CWZBK.INI",      "CWZBK2.INI",
    "SYS_FIQ.DAT",  "HZFMDY.PRN",   "ZDYDY.PRN",     "XzsySbgs.Ini",   "SYS_BBCX.DAT",
    "SYS_LRGS.DAT", "SYS_FCFG.DAT", "SYS_SEPOPT.DAT", "TBDWBJ.ini",    "FloatCopy.Ini"};

// Index 8 is the blank period: two spaces as code, one ideographic space (A1 A1) as name.
const std::array<std::string_view, 9> PeriodFieldCodes = {"",   "ND", "JD", "YF", "XC",
                                                          "ZC", "RQ", "SQ", "  "};
const std::array<std::string_view, 9> PeriodFieldNames = {"",   "年度", "季度", "月份", "旬",
                                                          "周", "日",   "期",   "\xA1\xA1"};

const std::array<std::string_view, 9> TaskKindNames = {
    "年任务", "跨年任务", "季度任务", "月份任务", "旬任务",
    "周任务", "日任务",   "自定期任务", "未知任务"};

const std::array<std::string_view, 41> FormulaKeywords = {
    "IF",        "THEN",       "ELSE",    "AND",      "OR",         "NOT",      "ABS",
    "INT",       "ROUND",      "MOD",     "POWER",    "VAL",        "STR",      "LEN",
    "DATEVALUE", "DATE",       "YEAR",    "MONTH",    "DAY",        "GETMEANING", "DV",
    "DICTVALUE", "IDC",        "ISIDCARD", "IDCARD18", "IDCARDDATE", "ISDIGIT",  "EXIST",
    "FMDM",      "CSFMDM",     "SUM",     "COUNT",    "AVG",        "MIN",      "MAX",
    "FIRST",     "LAST",       "ROOTZDM", "CHILDRENCOUNT", "ISCHILD", "ISPARENT"};

const std::string_view OldDefaultTaskPath = "C:\\ZenTasks2002\\";

namespace {

const char kHostKey[] = "Software\\Kestrovan\\ZentabE";

// A host setting of a non-string type is treated as absent here: the settings are read
// before anything else runs and the installer does not use them, so a stray value must
// not stop the program.
bool ReadSetting(RootKey root, const char* name, std::string& value) {
  try {
    return ReadRegString(root, kHostKey, name, value);
  } catch (const ERegistryError&) {
    return false;
  }
}

// The two settings, process-wide for the program's life: set by InitHostSettings at
// start-up, cleared at exit.
struct HostSettings {
  std::string app_title;
  std::string resource_file;
};
HostSettings g_host;

}  // namespace

const std::string& HostAppTitle() { return g_host.app_title; }
const std::string& HostResourceFile() { return g_host.resource_file; }

void InitHostSettings() {
  std::string title;
  if (!ReadSetting(RootKey::CurrentUser, "AppTitle", title) || title.empty()) {
    if (!ReadSetting(RootKey::LocalMachine, "AppTitle", title) || title.empty()) {
      title = "Kestrovan通用数据管理平台";
    }
  }
  std::string resource;
  if (!ReadSetting(RootKey::CurrentUser, "ResourceFile", resource)) resource.clear();
  if (resource.empty() && !ReadSetting(RootKey::LocalMachine, "ResourceFile", resource)) {
    resource.clear();
  }
  g_host.app_title = title;
  g_host.resource_file = resource;
  static const bool registered = [] { return std::atexit(ClearHostSettings) == 0; }();
  (void)registered;
}

void ClearHostSettings() {
  g_host.app_title.clear();
  g_host.resource_file.clear();
}

}  // namespace orb
