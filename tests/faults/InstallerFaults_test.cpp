// The installer on injected faults, one scenario per row, through its library entry point with
// the real engine and catalog: the package damaged at each kind of place, the disk full, the
// task folder read-only or one of its files held open, the catalog missing, locked or damaged,
// the host executable locked, short or half patched. Every row states the boxes and the exit
// code it expects, and every row checks the same promises: no temporary archive is left, no
// existing catalog record changes (the file is byte for byte the same unless the task was
// registered, and then only the new record and the header's count and date differ), the host
// executable is written only where both patch signatures were verified, and nothing changes
// outside the task folder and the catalog.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "dbf/DBFTable.h"
#include "support/FakeUserInterface.h"
#include "support/ZipBuilder.h"
#include "faults/FaultEnv.h"
#include "faults/HostMachine.h"
#include "faults/TreeSnapshot.h"
#include "installer/Installer.h"
#include "installer/InstallerTestEnv.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/fs.h"
#include "platform/process.h"
#include "platform/resources.h"
#include "platform/types.h"
#include "task/Task.h"
#include "tools/mkhost/HostImage.h"

namespace orb::installer {
namespace {

using orbtest::ShownBox;
using test::Snapshot;
using test::StartsWithText;
using test::TestMachine;

constexpr std::uint32_t kWarning = platform::kMbOk | platform::kMbIconWarning;
constexpr std::uint32_t kInformation = platform::kMbOk | platform::kMbIconInformation;
const char kCatalogCaption[] = "警告";
const char kCatalogError[] = "任务配置文件出现错误！\r\n";
const std::uint32_t kSiteAJump = 0x0023A592;
const std::uint32_t kSiteBJump = 0x0023B8A0;

std::uint32_t Le32(std::string_view b, std::size_t at) {
  return static_cast<std::uint8_t>(b[at]) | static_cast<std::uint8_t>(b[at + 1]) << 8 |
         static_cast<std::uint8_t>(b[at + 2]) << 16 |
         static_cast<std::uint32_t>(static_cast<std::uint8_t>(b[at + 3])) << 24;
}
std::uint16_t Le16(std::string_view b, std::size_t at) {
  return static_cast<std::uint16_t>(static_cast<std::uint8_t>(b[at]) |
                                    static_cast<std::uint8_t>(b[at + 1]) << 8);
}
void PutLe32(std::string& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>(v >> (8 * i) & 0xFF);
}
void PutLe16(std::string& b, std::size_t at, std::uint16_t v) {
  b[at] = static_cast<char>(v & 0xFF);
  b[at + 1] = static_cast<char>(v >> 8);
}

// A text field of a catalog record without its trailing pad spaces.
std::string Field(std::string_view record, std::size_t offset, std::size_t width) {
  std::string s(record.substr(offset, width));
  s.erase(s.find_last_not_of(' ') + 1);
  return s;
}
// CONFIG.TSK's record layout: deletion flag, Name (100), Flag (15), FileFlag (6), Dir (254).
constexpr std::size_t kFlagAt = 101, kFlagWidth = 15, kDirAt = 122, kDirWidth = 254;

// ---- the package ------------------------------------------------------------------------------

// Offsets in the package: the first entry with data (a local header whose packed size is
// not zero), the central directory and the end record.
struct Layout {
  std::size_t first_data = 0;
  std::size_t central = 0;
  std::size_t end = 0;
  std::vector<std::size_t> locals;  // every local header, in order
};

Layout Find(const std::string& zip) {
  Layout l;
  l.end = zip.rfind(std::string("PK\x05\x06", 4));
  l.central = Le32(zip, l.end + 16);
  for (std::size_t at = 0; at + 30 <= l.central;) {
    const std::uint32_t packed = Le32(zip, at + 18);
    const std::size_t data = at + 30 + Le16(zip, at + 26) + Le16(zip, at + 28);
    if (packed != 0 && l.first_data == 0) l.first_data = data;
    l.locals.push_back(at);
    at = data + packed;
  }
  return l;
}

// ---- the scene of one row ---------------------------------------------------------------------

// A file another process holds open while the installer runs (the platform tests' holder:
// access and sharing given as r, w, rw or -).
struct Hold {
  std::string file;
  const char* access;
  const char* share;
};

// The real engine, with a per-file size limit in force while it writes: the disk fills up
// during extraction (the temporary archive was written before).
class SizeLimitedExtraction : public Extraction {
 public:
  explicit SizeLimitedExtraction(std::uint64_t limit) : limit_(limit) {}
  TExtractionOutcome Extract(const std::string& archive_file, const std::string& extract_dir,
                             const std::string& top_folder) override {
    test::ScopedFileSizeLimit limit(limit_);
    return inner_->Extract(archive_file, extract_dir, top_folder);
  }

 private:
  std::unique_ptr<Extraction> inner_ = MakeUnZipExtraction();
  std::uint64_t limit_;
};

// The real catalog, with a per-file size limit in force while the task is registered: the
// disk fills up as the catalog grows.
class SizeLimitedCatalog : public Catalog {
 public:
  // `from_load`: the limit holds while the catalog is read (or made) too.
  explicit SizeLimitedCatalog(std::uint64_t limit, bool from_load = false)
      : limit_(limit), from_load_(from_load) {}
  void Load(const std::string& root_dir) override {
    if (!from_load_) return inner_->Load(root_dir);
    test::ScopedFileSizeLimit limit(limit_);
    inner_->Load(root_dir);
  }
  std::optional<std::string> FindDirByFlag(const std::string& flag) override {
    return inner_->FindDirByFlag(flag);
  }
  void RegisterTaskDir(const std::string& task_dir) override {
    test::ScopedFileSizeLimit limit(limit_);
    inner_->RegisterTaskDir(task_dir);
  }

 private:
  std::unique_ptr<Catalog> inner_ = MakeTasksCatalog();
  std::uint64_t limit_;
  bool from_load_;
};

// Everything a row may change before the run: the machine is set up as an operator's would
// be (registry values, a host executable of a build that is never patched, a catalog with
// two other tasks), then the row injects its fault.
struct Scene : test::HostMachine {
  orbtest::FakeUserInterface ui;
  orbtest::ScopedUserInterface ui_scope{ui};
  std::string package;

  TInstallerServices services = DefaultServices();
  std::vector<Hold> holds;
  std::string read_only_folder;    // made read-only just before the run
  std::uint64_t run_size_limit = 0;  // a file size limit around the whole run
  std::string skip;                // why the row cannot be arranged on this build

  std::string failed_entry;    // the failure box must name this entry
  std::string written_entry;   // ... and must not name this one
  // The exception text the run must show, where it is known; for a failed extraction, a
  // text its box must hold (the system's reason).
  std::string known_message;
  std::map<std::string, std::string> kept_files;  // files whose bytes must survive the run

  void WriteHost(std::array<std::uint16_t, 4> version, mkhost::TSites sites, bool short_image) {
    mkhost::THostSpec host_spec;
    host_spec.version = version;
    host_spec.sites = sites;
    host_spec.short_image = short_image;
    machine.WriteFile(host_exe, mkhost::BuildHostImage(host_spec));
  }
  void ForSkip(const std::string& why) {
    if (skip.empty()) skip = why;
  }
  std::string ReadCatalog() const { return TestMachine::ReadFile(catalog); }
  void WriteCatalog(const std::string& bytes) const { machine.WriteFile(catalog, bytes); }
  // An earlier copy of the task: some of the package's files present with stale contents.
  void EarlierCopy(const std::string& stale_sign) const {
    machine.MakeDir(std::string("Tasks\\") + kTaskFolderName + "\\PARA");
    machine.WriteFile(task_dir + "\\TASKSIGN.TSK", stale_sign);
    machine.WriteFile(task_dir + "\\PARA\\DocLink.ini", "stale");
    machine.WriteFile(task_dir + "\\PARA\\BatchSum.INI", "stale");
  }
};

// Makes `file` read-only the Windows way (the attribute). Wine running as the superuser
// keeps the attribute but still opens such a file for writing; there the row is skipped,
// found out on a file of its own.
void MakeReadOnly(Scene& s, const std::string& file) {
  const std::string probe = s.machine.Scratch() + "read-only probe.txt";
  s.machine.WriteFile(probe, "probe");
  ASSERT_EQ(0u, platform::SetAttributes(probe, platform::kFileAttributeReadOnly));
  platform::FileHandle h = platform::kNoFile;
  if (platform::FileOpen(probe, platform::kGenericWrite, 0, platform::kOpenExisting, 0, h) == 0) {
    platform::FileClose(h);
    s.ForSkip("this machine opens a read-only file for writing (Wine as the superuser)");
  }
  platform::SetAttributes(probe, platform::kFileAttributeNormal);
  platform::RemoveFile(probe);
  ASSERT_EQ(0u, platform::SetAttributes(file, platform::kFileAttributeReadOnly));
}


// ---- how a row ends ---------------------------------------------------------------------------

enum class Ending {
  kFinished,                 // exit 0, the finished box
  kFlagExistsThenFinished,   // exit 0, the flag-exists box naming the new folder, then finished
  kWrongVersion,             // exit 0, the wrong-version box
  kInUse,                    // exit 0, the in-use box
  kEntriesFailed,            // exit 1, the extraction-failure box naming the lost entries
  kHandler,                  // exit 1, the process handler's warning box
  kCatalogErrorThenHandler,  // exit 1, the catalog's own box, then the handler's, same error
};

enum class CatalogAfter {
  kUnchanged,     // byte for byte
  kRecordsKept,   // rewritten (date, trailer), but with the same descriptors and records
  kOursAppended,  // the existing records and descriptors kept, one record for the task added
  kCreated,       // a new catalog holding the task alone
  kAbsent,        // still no catalog: nothing half-made is left to fail later runs
};

enum class HostAfter { kUnchanged, kPatched };

struct Row {
  const char* name;
  void (*arrange)(Scene&);
  Ending ending;
  CatalogAfter catalog;
  HostAfter host;
};

void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

std::vector<std::string> Listing(const std::string& dir) {
  std::vector<std::string> names;
  platform::FindHandle find;
  platform::FindData fd;
  for (std::uint32_t rc = find.First(dir + "\\*", fd); rc == 0; rc = find.Next(fd)) {
    if (fd.name != "." && fd.name != "..") names.push_back(fd.name);
  }
  return names;
}

// ---- the checks after a run ------------------------------------------------------------------

// What every failure box ends with: the run took back all it had changed.
const std::string kUndoneTail = std::string("\r\n\r\n") + kMsgUndone;

bool EndsWith(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// The boxes and the exit code. A missing box reads as an empty one, so that the checks
// below still run.
void CheckBoxes(Ending ending, const Scene& s, int code) {
  const auto& boxes = s.ui.boxes();
  const ShownBox no_box{"", "", 0};
  const auto box = [&](std::size_t i) -> const ShownBox& {
    return i < boxes.size() ? boxes[i] : no_box;
  };
  const auto box_is = [&](std::size_t i, const std::string& text, std::uint32_t flags) {
    EXPECT_EQ(text, box(i).text) << "box " << i;
    EXPECT_EQ(std::string(kCaption), box(i).caption) << "box " << i;
    EXPECT_EQ(flags, box(i).flags) << "box " << i;
  };
  std::size_t expected_boxes = 1;
  switch (ending) {
    case Ending::kFinished:
      EXPECT_EQ(0, code);
      box_is(0, kMsgFinished, kInformation);
      break;
    case Ending::kFlagExistsThenFinished:
      EXPECT_EQ(0, code);
      box_is(0, kMsgFlagExists + s.task_dir, kInformation);
      box_is(1, kMsgFinished, kInformation);
      expected_boxes = 2;
      break;
    case Ending::kWrongVersion:
      EXPECT_EQ(0, code);
      box_is(0, kMsgWrongVersion, kInformation);
      break;
    case Ending::kInUse:
      EXPECT_EQ(0, code);
      box_is(0, kMsgInUse, kInformation);
      break;
    case Ending::kEntriesFailed: {
      EXPECT_EQ(1, code);
      const std::string& text = box(0).text;
      EXPECT_TRUE(EndsWith(text, kUndoneTail)) << text;
      EXPECT_EQ(0u, text.rfind(kMsgExtractFailed, 0)) << text;
      EXPECT_GT(text.size(), std::string(kMsgExtractFailed).size()) << "no entry named";
      if (!s.failed_entry.empty()) {
        EXPECT_NE(std::string::npos, text.find(s.failed_entry)) << text;
      }
      if (!s.written_entry.empty()) {
        EXPECT_EQ(std::string::npos, text.find(s.written_entry)) << text;
      }
      if (!s.known_message.empty()) {
        EXPECT_NE(std::string::npos, text.find(s.known_message)) << text;
      }
      EXPECT_EQ(std::string(kCaption), box(0).caption);
      EXPECT_EQ(kWarning, box(0).flags);
      break;
    }
    case Ending::kHandler:
      EXPECT_EQ(1, code);
      EXPECT_FALSE(box(0).text.empty());
      EXPECT_TRUE(EndsWith(box(0).text, kUndoneTail)) << box(0).text;
      if (!s.known_message.empty()) {
        EXPECT_EQ(s.known_message + kUndoneTail, box(0).text);
      }
      EXPECT_EQ(std::string(kCaption), box(0).caption);
      EXPECT_EQ(kWarning, box(0).flags);
      break;
    case Ending::kCatalogErrorThenHandler:
      EXPECT_EQ(1, code);
      // The load reports the failure in its own box and the run goes on; registering then
      // meets the same failure, which ends the run through the handler.
      EXPECT_EQ(std::string(kCatalogCaption), box(0).caption);
      EXPECT_EQ(kWarning, box(0).flags);
      // The handler's box adds that the run was undone.
      EXPECT_TRUE(EndsWith(box(1).text, kUndoneTail)) << box(1).text;
      EXPECT_EQ(kCatalogError + box(1).text.substr(0, box(1).text.size() - kUndoneTail.size()),
                box(0).text);
      EXPECT_GT(box(1).text.size(), kUndoneTail.size());
      if (!s.known_message.empty()) {
        EXPECT_EQ(s.known_message + kUndoneTail, box(1).text);
      }
      EXPECT_EQ(std::string(kCaption), box(1).caption);
      EXPECT_EQ(kWarning, box(1).flags);
      expected_boxes = 2;
      break;
  }
  if (boxes.size() != expected_boxes) {
    std::string shown;
    for (const ShownBox& b : boxes) shown += "\n  [" + b.caption + "] " + b.text;
    ADD_FAILURE() << boxes.size() << " boxes, " << expected_boxes << " expected:" << shown;
  }
}

// The catalog, against its bytes before the run.
void CheckCatalog(CatalogAfter expected, const Scene& s, const std::string& catalog_before) {
  const std::string catalog_after = s.ReadCatalog();
  switch (expected) {
    case CatalogAfter::kUnchanged:
      EXPECT_TRUE(catalog_after == catalog_before) << "the catalog changed";
      break;
    case CatalogAfter::kRecordsKept: {
      ASSERT_GE(catalog_before.size(), 12u);
      const std::size_t kept =
          Le16(catalog_before, 8) + Le32(catalog_before, 4) * std::size_t{Le16(catalog_before, 10)};
      ASSERT_GE(catalog_after.size(), kept);
      EXPECT_TRUE(catalog_before.substr(4, kept - 4) == catalog_after.substr(4, kept - 4))
          << "the record count, a descriptor or an existing record changed";
      EXPECT_LE(catalog_after.size(), kept + 16) << "something left behind the records";
      break;
    }
    case CatalogAfter::kOursAppended: {
      ASSERT_GE(catalog_before.size(), 12u);
      ASSERT_GE(catalog_after.size(), 12u);
      const std::uint32_t count = Le32(catalog_before, 4);
      const std::size_t header = Le16(catalog_before, 8), record = Le16(catalog_before, 10);
      const std::size_t kept = header + count * record;
      EXPECT_EQ(count + 1, Le32(catalog_after, 4));
      EXPECT_EQ(catalog_before.substr(8, 24), catalog_after.substr(8, 24));
      ASSERT_GE(catalog_after.size(), kept + record);
      // Descriptors and every record that was there, byte for byte.
      EXPECT_TRUE(catalog_before.substr(32, kept - 32) == catalog_after.substr(32, kept - 32))
          << "an existing record or descriptor changed";
      const std::string_view added(catalog_after.data() + kept, record);
      EXPECT_EQ(std::string(kTaskFlag), Field(added, kFlagAt, kFlagWidth));
      EXPECT_EQ(s.task_dir, Field(added, kDirAt, kDirWidth));
      EXPECT_EQ(kept + record + 16, catalog_after.size()) << "records, then one trailer";
      break;
    }
    case CatalogAfter::kAbsent:
      EXPECT_FALSE(TestMachine::Exists(s.catalog))
          << "a catalog of " << catalog_after.size() << " bytes was left behind";
      break;
    case CatalogAfter::kCreated: {
      ASSERT_GE(catalog_after.size(), 12u);
      ASSERT_EQ(1u, Le32(catalog_after, 4));
      const std::size_t header = Le16(catalog_after, 8), record = Le16(catalog_after, 10);
      ASSERT_GE(catalog_after.size(), header + record);
      const std::string_view added(catalog_after.data() + header, record);
      EXPECT_EQ(std::string(kTaskFlag), Field(added, kFlagAt, kFlagWidth));
      EXPECT_EQ(s.task_dir, Field(added, kDirAt, kDirWidth));
      break;
    }
  }
}

// The host executable: both jump bytes, and nothing else, once both sites were verified.
void CheckHost(HostAfter expected, const Scene& s, const std::string& host_before) {
  std::string host_expected = host_before;
  if (expected == HostAfter::kPatched) {
    ASSERT_GT(host_expected.size(), kSiteBJump);
    host_expected[kSiteAJump] = 0x7C;
    host_expected[kSiteBJump] = 0x7C;
  }
  EXPECT_TRUE(host_expected == TestMachine::ReadFile(s.host_exe))
      << (expected == HostAfter::kPatched ? "the host is not patched exactly"
                                          : "the host executable changed");
}

// Outside what the run may change (the task folder unless it failed, the catalog, the host),
// the tree is as it was.
void CheckTree(const std::string& world, const std::vector<std::string>& excluded,
               const std::map<std::string, std::string>& world_before) {
  std::map<std::string, std::string> world_after;
  Snapshot(world, excluded, world_after);
  for (const auto& [path, bytes] : world_after) {
    auto it = world_before.find(path);
    if (it == world_before.end()) {
      ADD_FAILURE() << "new: " << path;
    } else if (it->second != bytes) {
      ADD_FAILURE() << "changed: " << path;
    }
  }
  for (const auto& [path, bytes] : world_before) {
    if (world_after.count(path) == 0) ADD_FAILURE() << "gone: " << path;
  }
}

// ---- the test ---------------------------------------------------------------------------------


class InstallerFaultTest : public ::testing::TestWithParam<Row> {};

TEST_P(InstallerFaultTest, EndsWithItsMessageAndKeepsWhatItMayNotChange) {
  const Row& row = GetParam();
  Scene s;
  std::string_view shipped;
  ASSERT_TRUE(platform::FindOwnRcData(kTaskZipResource, shipped));
  s.package = std::string(shipped);
  s.services.find_package = [&s](std::string_view& out) {
    out = s.package;
    return true;
  };
  s.WriteHost({2, 9, 0, 0}, mkhost::TSites::stUnpatched, false);
  test::SeedCatalog(s.catalog);
  // The temporary archive must land where the test looks for it.
  ASSERT_TRUE(StartsWithText(platform::TempPath(), s.temp)) << platform::TempPath();
  row.arrange(s);
  if (HasFatalFailure()) return;
  if (!s.skip.empty()) GTEST_SKIP() << s.skip;

  // What the run may not change, taken before anything holds a file.
  const std::string catalog_before = s.ReadCatalog();
  const std::string host_before = TestMachine::ReadFile(s.host_exe);
  for (auto& [file, bytes] : s.kept_files) bytes = TestMachine::ReadFile(file);
  // A run that fails leaves the task folder as it was too; one that finishes changes it.
  const bool fails = row.ending == Ending::kEntriesFailed || row.ending == Ending::kHandler ||
                     row.ending == Ending::kCatalogErrorThenHandler;
  std::vector<std::string> ready_files;  // where each holder says it holds its file
  for (std::size_t i = 0; i < s.holds.size(); ++i) {
    ready_files.push_back(s.machine.Scratch() + "held" + std::to_string(i) + ".txt");
  }
  std::vector<std::string> excluded = {s.catalog, s.host_exe};
  if (!fails) excluded.push_back(s.task_dir);
  excluded.insert(excluded.end(), ready_files.begin(), ready_files.end());
  const std::string world = test::WorldRoot(s.machine.Scratch());
  std::map<std::string, std::string> world_before;
  Snapshot(world, excluded, world_before);

  std::vector<std::unique_ptr<platform::ChildProcess>> holders;
  for (std::size_t i = 0; i < s.holds.size(); ++i) {
    const std::string ready = ready_files[i];
    auto holder = std::make_unique<platform::ChildProcess>();
    ASSERT_EQ(0u, holder->Start(ORB_HOLDFILE, {s.holds[i].file, s.holds[i].access,
                                               s.holds[i].share, ready}, true));
    std::string code;
    for (int wait = 0; wait < 500 && code.empty(); ++wait) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      code = TestMachine::ReadFile(ready);
    }
    ASSERT_EQ("0", code) << "the holder could not open " << s.holds[i].file;
    holders.push_back(std::move(holder));
  }

  int code = -1;
  {
    std::unique_ptr<test::ScopedReadOnlyFolder> read_only;
    if (!s.read_only_folder.empty()) {
      read_only = std::make_unique<test::ScopedReadOnlyFolder>(s.read_only_folder);
      if (!read_only->Unavailable().empty()) GTEST_SKIP() << read_only->Unavailable();
    }
    if (s.run_size_limit != 0) {
      test::ScopedFileSizeLimit limit(s.run_size_limit);
      if (!limit.Unavailable().empty()) GTEST_SKIP() << limit.Unavailable();
      code = RunMain(s.services);
    } else {
      code = RunMain(s.services);
    }
  }
  for (auto& holder : holders) {
    holder->CloseStdin();
    EXPECT_EQ(0u, holder->Wait());
  }

  CheckBoxes(row.ending, s, code);
  // No temporary archive.
  EXPECT_TRUE(Listing(s.temp).empty()) << "left in the temporary folder: " << Listing(s.temp)[0];
  CheckCatalog(row.catalog, s, catalog_before);
  if (HasFatalFailure()) return;
  CheckHost(row.host, s, host_before);
  if (HasFatalFailure()) return;
  for (const auto& [file, bytes] : s.kept_files) {
    EXPECT_TRUE(bytes == TestMachine::ReadFile(file)) << file << " changed";
  }

  CheckTree(world, excluded, world_before);
}

// ---- the rows ---------------------------------------------------------------------------------

void Intact(Scene&) {}

// Each damage keeps the shipped package's first bytes and breaks it at one kind of place.
const Row kPackageRows[] = {
    {"intact", Intact, Ending::kFinished, CatalogAfter::kOursAppended, HostAfter::kUnchanged},
    {"cut_in_first_local_header", [](Scene& s) { s.package.resize(14); }, Ending::kHandler,
     CatalogAfter::kUnchanged, HostAfter::kUnchanged},
    {"cut_in_entry_data",
     [](Scene& s) { s.package.resize(Find(s.package).first_data + 20); }, Ending::kHandler,
     CatalogAfter::kUnchanged, HostAfter::kUnchanged},
    {"corrupt_entry_data",
     [](Scene& s) {
       const Layout l = Find(s.package);
       for (std::size_t i = 0; i < 16; ++i) s.package[l.first_data + i] ^= 0x5A;
     },
     Ending::kEntriesFailed, CatalogAfter::kUnchanged, HostAfter::kUnchanged},
    // The package ends with two zero bytes behind its end record, which the end-record
    // search does not look past: the engine walks the local headers, so damage behind the
    // last entry loses nothing, and every entry's CRC still vouches for its data.
    {"cut_in_central_directory",
     [](Scene& s) {
       const Layout l = Find(s.package);
       s.package.resize(l.central + (l.end - l.central) / 2);
     },
     Ending::kFinished, CatalogAfter::kOursAppended, HostAfter::kUnchanged},
    {"corrupt_central_signature", [](Scene& s) { s.package[Find(s.package).central + 1] = 'X'; },
     Ending::kFinished, CatalogAfter::kOursAppended, HostAfter::kUnchanged},
    {"end_record_cut", [](Scene& s) { s.package.resize(Find(s.package).end + 10); },
     Ending::kFinished, CatalogAfter::kOursAppended, HostAfter::kUnchanged},
    // The walk through the local headers ends before the last entries: nothing is written,
    // rather than a task folder without its signature file.
    {"cut_before_its_tenth_entry",
     [](Scene& s) { s.package.resize(Find(s.package).locals.at(9) + 12); },
     Ending::kEntriesFailed, CatalogAfter::kUnchanged, HostAfter::kUnchanged},
    {"local_signature_damaged",
     [](Scene& s) { s.package[Find(s.package).locals.at(5) + 2] = 'X'; },
     Ending::kEntriesFailed, CatalogAfter::kUnchanged, HostAfter::kUnchanged},
    {"no_entries",
     [](Scene& s) { s.package = std::string("PK\x05\x06", 4) + std::string(18, '\0'); },
     Ending::kEntriesFailed, CatalogAfter::kUnchanged, HostAfter::kUnchanged},
    // A package whose one entry lies beside the task folder: it would be written next to it.
    {"entry_outside_the_task_folder",
     [](Scene& s) {
       orbtest::ZipBuilder b;
       b.Add({.name = std::string("2004年度企业QMVT考核任务.TSK/TASKSIGN.TSK"),
              .data = "[General]\r\nFlag=QMVT04\r\n"});
       b.Add({.name = "beside.txt", .data = "outside"});
       s.package = b.Build();
       s.failed_entry = "beside.txt";
     },
     Ending::kEntriesFailed, CatalogAfter::kUnchanged, HostAfter::kUnchanged},
    // No file may grow past 512 bytes: the temporary archive cannot be written.
    {"disk_full_for_temporary_archive", [](Scene& s) { s.run_size_limit = 512; },
     Ending::kHandler, CatalogAfter::kUnchanged, HostAfter::kUnchanged},
};

const Row kTargetRows[] = {
    // The temporary archive is written; then no file may grow past 100 bytes, so the larger
    // entries (TASKSIGN.TSK is 142 bytes) fail part-written and the small ones are complete.
    {"disk_fills_during_extraction",
     [](Scene& s) {
       s.services.make_extraction = [] { return std::make_unique<SizeLimitedExtraction>(100); };
       s.failed_entry = "TASKSIGN.TSK";
       s.written_entry = "DocLink.ini";
       const std::string full = platform::SystemErrorText(platform::kErrorDiskFull);
       s.known_message = full.substr(0, full.find('\r'));
       test::ScopedFileSizeLimit probe(1u << 30);
       if (!probe.Unavailable().empty()) s.ForSkip(probe.Unavailable());
     },
     Ending::kEntriesFailed, CatalogAfter::kUnchanged, HostAfter::kUnchanged},
    // The run cannot make the folder of its journal beside the task folder, so it changes
    // nothing.
    {"task_path_read_only", [](Scene& s) { s.read_only_folder = s.tasks; },
     Ending::kHandler, CatalogAfter::kUnchanged, HostAfter::kUnchanged},
    // A file stands where the task folder belongs: no entry can be written below it, and the
    // file keeps its bytes.
    {"task_folder_is_a_file",
     [](Scene& s) {
       // Windows refuses to open "name\" when name is a file (ERROR_INVALID_NAME); a file
       // layer that opens the file instead would let the package's folder entry replace it.
       const std::string probe = s.machine.Scratch() + "probe.txt";
       s.machine.WriteFile(probe, "probe");
       platform::FileHandle h = platform::kNoFile;
       if (platform::FileOpen(probe + "\\", platform::kGenericRead, platform::kFileShareRead,
                              platform::kOpenExisting, 0, h) == 0) {
         platform::FileClose(h);
         s.ForSkip("this machine's file layer opens \"name\\\" as the file name, which Windows "
                   "refuses");
       }
       platform::RemoveFile(probe);
       s.machine.WriteFile(s.task_dir, "not a folder");
       s.kept_files[s.task_dir];
       // Named as the package spells it (its extension in capitals).
       s.failed_entry = std::string(kTaskFolderName).substr(0, std::string(kTaskFolderName).rfind('.'));
     },
     Ending::kEntriesFailed, CatalogAfter::kUnchanged, HostAfter::kUnchanged},
    // An earlier copy holds a file where the package has its DATA folder: the folder entry
    // fails (it used to pass without a folder) and the file keeps its bytes.
    {"file_where_a_folder_must_go",
     [](Scene& s) {
       s.machine.MakeDir(std::string("Tasks\\") + kTaskFolderName);
       s.machine.WriteFile(s.task_dir + "\\DATA", "a file, not a folder");
       s.kept_files[s.task_dir + "\\DATA"];
       s.failed_entry = "DATA";
     },
     Ending::kEntriesFailed, CatalogAfter::kUnchanged, HostAfter::kUnchanged},
    // An earlier copy whose files are read-only is replaced: the engine clears the attribute
    // of a target it cannot open. The stale signature names another task, so the catalog
    // entry for QMVT04 shows that the new one was written.
    {"earlier_copy_read_only",
     [](Scene& s) {
       s.EarlierCopy("[General]\r\nName=Stale\r\nFlag=STALE1\r\n");
       for (const char* f : {"\\TASKSIGN.TSK", "\\PARA\\DocLink.ini", "\\PARA\\BatchSum.INI"}) {
         ASSERT_EQ(0u, platform::SetAttributes(s.task_dir + f, platform::kFileAttributeReadOnly));
       }
     },
     Ending::kFinished, CatalogAfter::kOursAppended, HostAfter::kUnchanged},
    // Another program has the signature file of an earlier copy open and lets others only
    // read it: that entry cannot be written, and the earlier file keeps its bytes.
    {"target_file_held_open",
     [](Scene& s) {
       s.EarlierCopy("[General]\r\nName=Stale\r\nFlag=STALE1\r\n");
       s.holds.push_back({s.task_dir + "\\TASKSIGN.TSK", "r", "r"});
       s.kept_files[s.task_dir + "\\TASKSIGN.TSK"];
       s.failed_entry = "TASKSIGN.TSK";
       s.written_entry = "DocLink.ini";
     },
     Ending::kEntriesFailed, CatalogAfter::kUnchanged, HostAfter::kUnchanged},
};

// Links planted in the task path by someone who can write there: nothing may be written
// through them. The folders and the file they point at lie outside the task folder, so the
// test's snapshot of the tree outside it shows any write through them.
void PlantLink(Scene& s, const std::string& link, const std::string& target) {
  const std::string why = test::MakeSymbolicLink(link, target);
  if (!why.empty()) s.ForSkip(why);
}

const Row kLinkRows[] = {
    {"task_folder_is_a_link",
     [](Scene& s) { PlantLink(s, s.task_dir, s.machine.MakeDir("Elsewhere")); },
     Ending::kEntriesFailed, CatalogAfter::kUnchanged, HostAfter::kUnchanged},
    {"para_folder_is_a_link",
     [](Scene& s) {
       s.machine.MakeDir(std::string("Tasks\\") + kTaskFolderName);
       PlantLink(s, s.task_dir + "\\PARA", s.machine.MakeDir("Elsewhere"));
       s.failed_entry = "PARA";
     },
     Ending::kEntriesFailed, CatalogAfter::kUnchanged, HostAfter::kUnchanged},
    // A link standing at a file's own name is replaced by the file; its target is untouched.
    {"signature_file_is_a_link",
     [](Scene& s) {
       s.machine.MakeDir(std::string("Tasks\\") + kTaskFolderName);
       const std::string victim = s.machine.Scratch() + "victim.ini";
       s.machine.WriteFile(victim, "[General]\r\nName=Victim\r\n");
       PlantLink(s, s.task_dir + "\\TASKSIGN.TSK", victim);
     },
     Ending::kFinished, CatalogAfter::kOursAppended, HostAfter::kUnchanged},
};

// The header of a catalog that claims `count` records.
void ClaimRecords(Scene& s, std::uint32_t count) {
  std::string bytes = s.ReadCatalog();
  PutLe32(bytes, 4, count);
  s.WriteCatalog(bytes);
}

const Row kCatalogRows[] = {
    {"missing", [](Scene& s) { ASSERT_EQ(0u, platform::RemoveFile(s.catalog)); },
     Ending::kFinished, CatalogAfter::kCreated, HostAfter::kUnchanged},
    // An existing registration of the flag for another folder is reported and kept.
    {"flag_registered_elsewhere",
     [](Scene& s) {
       TfnDBFTable t(s.catalog, false, true);
       t.Append();
       t.SetStringByName("Name", "旧的QMVT任务");
       t.SetStringByName("Flag", "qmvt04");
       t.SetStringByName("Dir", "C:\\Elsewhere\\2004年度企业QMVT考核任务.tsk");
       t.Post();
       t.SetActive(false);
     },
     Ending::kFlagExistsThenFinished, CatalogAfter::kUnchanged, HostAfter::kUnchanged},
    // The disk fills while the task's record is appended: the record is part-written when
    // the write fails. The failure ends the run, and the catalog is put back as it was.
    {"disk_full_while_registering",
     [](Scene& s) {
       const std::uint64_t limit = s.ReadCatalog().size() + 100;
       s.services.make_catalog = [limit] { return std::make_unique<SizeLimitedCatalog>(limit); };
       test::ScopedFileSizeLimit probe(1u << 30);
       if (!probe.Unavailable().empty()) s.ForSkip(probe.Unavailable());
     },
     Ending::kHandler, CatalogAfter::kUnchanged, HostAfter::kUnchanged},
    // The catalog is missing and the disk fills while it is being made: the part-made file
    // would fail every later run with an invalid header, so none may be left.
    {"missing_and_disk_fills_while_it_is_made",
     [](Scene& s) {
       ASSERT_EQ(0u, platform::RemoveFile(s.catalog));
       s.services.make_catalog = [] { return std::make_unique<SizeLimitedCatalog>(300, true); };
       test::ScopedFileSizeLimit probe(1u << 30);
       if (!probe.Unavailable().empty()) s.ForSkip(probe.Unavailable());
     },
     Ending::kCatalogErrorThenHandler, CatalogAfter::kAbsent, HostAfter::kUnchanged},
    {"read_only", [](Scene& s) { MakeReadOnly(s, s.catalog); },
     Ending::kCatalogErrorThenHandler, CatalogAfter::kUnchanged, HostAfter::kUnchanged},
    // The catalog cannot be read to keep a copy of it before the task is registered: the run
    // ends there, and the task folder it had filled is taken back.
    {"held_open_by_the_host",
     [](Scene& s) {
       s.holds.push_back({s.catalog, "rw", "-"});
       std::string reason = platform::SystemErrorText(platform::kErrorSharingViolation);
       reason.resize(reason.find('\r'));
       s.known_message = kMsgCatalogNotSaved + s.catalog + "：" + reason;
     },
     Ending::kHandler, CatalogAfter::kUnchanged, HostAfter::kUnchanged},
    // Two records claimed, one and a half present.
    {"truncated_mid_record",
     [](Scene& s) {
       std::string bytes = s.ReadCatalog();
       bytes.resize(Le16(bytes, 8) + Le16(bytes, 10) * 3 / 2);
       s.WriteCatalog(bytes);
       s.known_message = "无效的文件头 " + s.catalog;
     },
     Ending::kCatalogErrorThenHandler, CatalogAfter::kUnchanged, HostAfter::kUnchanged},
    // A header length that leaves no room for a field descriptor.
    {"corrupt_header",
     [](Scene& s) {
       std::string bytes = s.ReadCatalog();
       PutLe16(bytes, 8, 40);
       s.WriteCatalog(bytes);
       s.known_message = "无效的文件头 " + s.catalog;
     },
     Ending::kCatalogErrorThenHandler, CatalogAfter::kUnchanged, HostAfter::kUnchanged},
    // A count a little beyond the two records present.
    {"header_claims_more_records",
     [](Scene& s) {
       ClaimRecords(s, 5);
       s.known_message = "无效的文件头 " + s.catalog;
     },
     Ending::kCatalogErrorThenHandler, CatalogAfter::kUnchanged, HostAfter::kUnchanged},
    // A count whose next record position, computed in 32 bits, wraps around to 100 bytes
    // into the first record: appending there would overwrite both existing records.
    {"header_count_wraps_into_the_records",
     [](Scene& s) {
       const std::string bytes = s.ReadCatalog();
       const std::uint32_t size = Le16(bytes, 10);  // odd: invertible modulo 2^32
       std::uint32_t inverse = size;
       for (int i = 0; i < 5; ++i) inverse *= 2 - size * inverse;
       ClaimRecords(s, 100u * inverse);
       s.known_message = "无效的文件头 " + s.catalog;
     },
     Ending::kCatalogErrorThenHandler, CatalogAfter::kUnchanged, HostAfter::kUnchanged},
};

// The one build that is patched.
void PatchedBuild(Scene& s, mkhost::TSites sites, bool short_image = false) {
  s.WriteHost({2, 8, 11105, 3}, sites, short_image);
}

const Row kHostRows[] = {
    {"unpatched", [](Scene& s) { PatchedBuild(s, mkhost::TSites::stUnpatched); },
     Ending::kFinished, CatalogAfter::kOursAppended, HostAfter::kPatched},
    // An earlier run stopped between the two writes: site A is patched, B not.
    {"half_patched", [](Scene& s) { PatchedBuild(s, mkhost::TSites::stHalfPatched); },
     Ending::kFinished, CatalogAfter::kOursAppended, HostAfter::kPatched},
    // Site A matches, site B does not: nothing may be written, not even site A.
    {"site_b_differs", [](Scene& s) { PatchedBuild(s, mkhost::TSites::stSiteBWrong); },
     Ending::kWrongVersion, CatalogAfter::kOursAppended, HostAfter::kUnchanged},
    {"shorter_than_the_signatures",
     [](Scene& s) { PatchedBuild(s, mkhost::TSites::stUnpatched, true); }, Ending::kInUse,
     CatalogAfter::kOursAppended, HostAfter::kUnchanged},
    {"read_only",
     [](Scene& s) {
       PatchedBuild(s, mkhost::TSites::stUnpatched);
       MakeReadOnly(s, s.host_exe);
     },
     Ending::kInUse, CatalogAfter::kOursAppended, HostAfter::kUnchanged},
    // The host is running: its image is open for reading, others may only read.
    {"held_open_by_the_running_host",
     [](Scene& s) {
       PatchedBuild(s, mkhost::TSites::stUnpatched);
       s.holds.push_back({s.host_exe, "r", "r"});
     },
     Ending::kInUse, CatalogAfter::kOursAppended, HostAfter::kUnchanged},
};

const auto kRowName = [](const auto& info) { return std::string(info.param.name); };
INSTANTIATE_TEST_SUITE_P(Package, InstallerFaultTest, ::testing::ValuesIn(kPackageRows), kRowName);
INSTANTIATE_TEST_SUITE_P(Target, InstallerFaultTest, ::testing::ValuesIn(kTargetRows), kRowName);
INSTANTIATE_TEST_SUITE_P(Link, InstallerFaultTest, ::testing::ValuesIn(kLinkRows), kRowName);
INSTANTIATE_TEST_SUITE_P(Catalog, InstallerFaultTest, ::testing::ValuesIn(kCatalogRows), kRowName);
INSTANTIATE_TEST_SUITE_P(Host, InstallerFaultTest, ::testing::ValuesIn(kHostRows), kRowName);

}  // namespace
}  // namespace orb::installer
