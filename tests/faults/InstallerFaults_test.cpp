// The installer on injected faults, one scenario per row: the package damaged at each kind of
// place, the disk full while the temporary archive is written. For every row: the box and
// exit code expected, no temporary archive left, an existing catalog unchanged when the run
// fails, the host's bytes untouched (its version is one that is never patched), and nothing
// written outside the task folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <sys/resource.h>
#include <vector>

#include "installer/Installer.h"
#include "installer/InstallerTestEnv.h"
#include "platform/fs.h"
#include "platform/posix/own_resources.h"
#include "platform/resources.h"
#include "tools/mkhost/HostImage.h"

namespace orb::installer {
namespace {

using test::RecordingUi;
using test::ShownBox;
using test::TestMachine;

enum class Damage { kNone, kCutInFirstLocalHeader, kCutInData, kCorruptData, kCutInCentral,
                    kCorruptCentralSignature, kNoEndRecord, kDiskFull };

enum class Outcome {
  kFinished,         // exit 0, the finished box
  kEntriesFailed,    // exit 1, the extraction-failure box naming entries
  kHandlerWarning,   // exit 1, a warning box from the process handler
};

struct Row {
  const char* name;
  Damage damage;
  Outcome outcome;
};

std::uint32_t Le32(const std::string& b, std::size_t at) {
  return static_cast<std::uint8_t>(b[at]) | static_cast<std::uint8_t>(b[at + 1]) << 8 |
         static_cast<std::uint8_t>(b[at + 2]) << 16 |
         static_cast<std::uint32_t>(static_cast<std::uint8_t>(b[at + 3])) << 24;
}

// Offsets in the package: the first entry with data (a local header whose packed size is
// not zero), the central directory and the end record.
struct Layout {
  std::size_t first_data = 0;
  std::size_t central = 0;
  std::size_t end = 0;
};

Layout Find(const std::string& zip) {
  Layout l;
  l.end = zip.rfind(std::string("PK\x05\x06", 4));
  l.central = Le32(zip, l.end + 16);
  for (std::size_t at = 0; at + 30 <= l.central;) {
    const std::uint32_t packed = Le32(zip, at + 18);
    const std::size_t name_len = static_cast<std::uint8_t>(zip[at + 26]) |
                                 static_cast<std::uint8_t>(zip[at + 27]) << 8;
    const std::size_t extra_len = static_cast<std::uint8_t>(zip[at + 28]) |
                                  static_cast<std::uint8_t>(zip[at + 29]) << 8;
    const std::size_t data = at + 30 + name_len + extra_len;
    if (packed != 0 && l.first_data == 0) l.first_data = data;
    at = data + packed;
  }
  return l;
}

std::string Damaged(std::string zip, Damage d) {
  const Layout l = Find(zip);
  switch (d) {
    case Damage::kNone:
    case Damage::kDiskFull: return zip;
    case Damage::kCutInFirstLocalHeader: return zip.substr(0, 14);
    case Damage::kCutInData: return zip.substr(0, l.first_data + 20);
    case Damage::kCorruptData:
      for (std::size_t i = 0; i < 16; ++i) zip[l.first_data + i] ^= 0x5A;
      return zip;
    case Damage::kCutInCentral: return zip.substr(0, l.central + (l.end - l.central) / 2);
    case Damage::kCorruptCentralSignature: zip[l.central + 1] = 'X'; return zip;
    case Damage::kNoEndRecord: return zip.substr(0, l.end + 10);
  }
  return zip;
}

// Every file below a Unix folder, relative.
std::vector<std::string> Files(const std::string& unix_dir) {
  std::vector<std::string> out;
  std::error_code ec;
  for (auto it = std::filesystem::recursive_directory_iterator(unix_dir, ec);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    if (it->is_regular_file(ec)) out.push_back(it->path().lexically_relative(unix_dir).string());
  }
  return out;
}

class InstallerFaultTest : public ::testing::TestWithParam<Row> {
 protected:
  TestMachine machine;
  RecordingUi ui;
  std::string host = machine.MakeDir("Zentab 2004");
  std::string tasks = machine.MakeDir("Tasks");
};

const std::string kCatalogBytes = "an existing catalog the run must not touch";

TEST_P(InstallerFaultTest, EndsWithItsMessageAndLeavesNothingBehind) {
  const Row& row = GetParam();
  std::string_view original;
  ASSERT_TRUE(platform::FindOwnRcData("TASK_ZIP", original));
  const std::string shipped(original);
  const std::string package = Damaged(shipped, row.damage);
  platform::posix::RcDataRegistration swap("TASK_ZIP", package.data(),
                                           package.data() + package.size());

  TestMachine::SetString(platform::RootKey::LocalMachine, "Software\\Kestrovan\\Zentab2004",
                         "RootDir", host);
  TestMachine::SetString(platform::RootKey::CurrentUser,
                         "Software\\Kestrovan\\Zentab2004\\Options", "DefaultTaskPath", tasks);
  mkhost::THostSpec host_spec;
  host_spec.version = {2, 9, 0, 0};
  const std::string host_bytes = mkhost::BuildHostImage(host_spec);
  machine.WriteFile(host + "\\Zentab04.exe", host_bytes);
  const bool failing = row.outcome != Outcome::kFinished;
  if (failing) machine.WriteFile(host + "\\CONFIG.TSK", kCatalogBytes);

  const char* prefix = std::getenv("WINEPREFIX");
  ASSERT_NE(prefix, nullptr);
  const std::string drive_c = std::string(prefix) + "/drive_c";
  const std::vector<std::string> before = Files(drive_c);

  int code = -1;
  if (row.damage == Damage::kDiskFull) {
    // Files may not grow past 512 bytes: the temporary archive cannot be written.
    rlimit old{};
    ASSERT_EQ(0, getrlimit(RLIMIT_FSIZE, &old));
    auto* previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 512;
    ASSERT_EQ(0, setrlimit(RLIMIT_FSIZE, &small));
    code = RunMain(DefaultServices());
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);
  } else {
    code = RunMain(DefaultServices());
  }
  platform::posix::RcDataRegistration restore("TASK_ZIP", original.data(),
                                              original.data() + original.size());

  ASSERT_FALSE(ui.boxes.empty()) << row.name;
  const ShownBox& last = ui.boxes.back();
  switch (row.outcome) {
    case Outcome::kFinished:
      EXPECT_EQ(0, code) << row.name;
      EXPECT_EQ(kMsgFinished, last.text) << row.name;
      break;
    case Outcome::kEntriesFailed:
      EXPECT_EQ(1, code) << row.name;
      EXPECT_EQ(0u, last.text.rfind(kMsgExtractFailed, 0)) << row.name << ": " << last.text;
      EXPECT_GT(last.text.size(), std::string(kMsgExtractFailed).size())
          << row.name << ": the failed entries are named";
      EXPECT_EQ(0x30u, last.flags) << row.name;
      break;
    case Outcome::kHandlerWarning:
      EXPECT_EQ(1, code) << row.name;
      EXPECT_EQ(0x30u, last.flags) << row.name;
      EXPECT_EQ(kCaption, last.caption) << row.name;
      break;
  }
  EXPECT_EQ(host_bytes, TestMachine::ReadFile(host + "\\Zentab04.exe")) << row.name;
  if (failing) {
    EXPECT_EQ(kCatalogBytes, TestMachine::ReadFile(host + "\\CONFIG.TSK")) << row.name;
  }
  // What is new on drive C: lies in the task folder, or is the catalog of a finished run.
  for (const std::string& f : Files(drive_c)) {
    if (std::find(before.begin(), before.end(), f) != before.end()) continue;
    const bool in_tasks = f.rfind("scratch/Tasks/", 0) == 0;
    const bool catalog = !failing && f == "scratch/Zentab 2004/CONFIG.TSK";
    EXPECT_TRUE(in_tasks || catalog) << row.name << ": left " << f;
  }
}

const Row kRows[] = {
    {"intact", Damage::kNone, Outcome::kFinished},
    {"cut_in_first_local_header", Damage::kCutInFirstLocalHeader, Outcome::kHandlerWarning},
    {"cut_in_entry_data", Damage::kCutInData, Outcome::kHandlerWarning},
    {"corrupt_entry_data", Damage::kCorruptData, Outcome::kEntriesFailed},
    {"cut_in_central_directory", Damage::kCutInCentral, Outcome::kHandlerWarning},
    // The local headers are intact: the engine finds every entry without the directory.
    {"corrupt_central_signature", Damage::kCorruptCentralSignature, Outcome::kFinished},
    {"end_record_cut", Damage::kNoEndRecord, Outcome::kHandlerWarning},
    {"disk_full_for_temporary_archive", Damage::kDiskFull, Outcome::kHandlerWarning},
};

INSTANTIATE_TEST_SUITE_P(Package, InstallerFaultTest, ::testing::ValuesIn(kRows),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace orb::installer
