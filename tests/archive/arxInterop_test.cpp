// Archives made by software no one here wrote: the third-party fixtures (stored and deflated
// entries, one encrypted with a data descriptor), and archives made by Info-ZIP zip, extracted
// here and compared file by file with what Info-ZIP unzip extracted from them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <ostream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "archive/Crc32.h"
#include "archive/arxPaths.h"
#include "archive/arxUnZIP.h"
#include "platform/codepage.h"
#include "platform/file.h"
#include "platform/fs.h"
#include "platform/gbk.h"
#include "support/FakeUserInterface.h"
#include "support/PrefixPath.h"
#include "support/ScratchDir.h"

namespace {

// A Unix path as the prefix's drive Z: (the root of the Unix file system) names it.
std::string ZDrive(const std::string& unix_path) {
  std::string w = "Z:";
  for (char c : unix_path) w += c == '/' ? '\\' : c;
  return w;
}

std::string FixtureDir() { return ZDrive(std::string(ORB_SOURCE_DIR) + "/../shared/fixtures/zip/legacy"); }

struct Row {
  std::string file, entry;
  int method = 0;
  unsigned flags = 0;
  std::uint32_t crc = 0;
};

std::vector<Row> ReadManifest() {
  std::string text;
  if (orbtest::ReadWholeFile(FixtureDir() + "\\MANIFEST.tsv", text) != 0) return {};
  std::vector<Row> rows;
  std::istringstream in(text);
  std::string line;
  std::getline(in, line);  // column names
  while (std::getline(in, line)) {
    std::vector<std::string> f;
    std::string cell;
    std::istringstream ls(line);
    while (std::getline(ls, cell, '\t')) f.push_back(cell);
    if (f.size() < 8) continue;
    Row r{f[0], f[2], std::stoi(f[3]), static_cast<unsigned>(std::stoul(f[4], nullptr, 16)),
          static_cast<std::uint32_t>(std::stoul(f[7], nullptr, 16))};
    rows.push_back(r);
  }
  return rows;
}

TEST(ThirdPartyArchives, StoredAndDeflatedFixturesExtractWithMatchingCrcs) {
  std::vector<Row> rows = ReadManifest();
  if (rows.empty()) GTEST_SKIP() << "fixtures not found at " << FixtureDir();
  std::map<std::string, std::vector<Row>> by_file;
  for (const Row& r : rows)
    if (r.method == 0 || r.method == 8) by_file[r.file].push_back(r);
  ASSERT_FALSE(by_file.empty());
  orbtest::FakeUserInterface ui;
  orbtest::ScopedUserInterface guard(ui);
  int checked = 0;
  for (const auto& [file, entries] : by_file) {
    SCOPED_TRACE(file);
    orbtest::ScratchDir dir;
    ASSERT_TRUE(dir.ok());
    orb::TUnZIP z(nullptr);
    z.SetArchiveFile(FixtureDir() + "\\" + file);
    z.SetExtractDir(dir.path());
    z.SetConfirmOverwrites(false);
    z.SetFileSpec({"*.*"});
    z.SetPasswords({"12345678"});  // the one encrypted fixture's password, from its notes
    std::map<std::string, bool> verdict;
    z.OnEnd = [&](orb::TObject*, const std::string& fn, bool pass) {
      verdict[orb::ExtractFileNamePart(fn)] = pass;
    };
    z.Extract();
    for (const Row& r : entries) {
      SCOPED_TRACE(r.entry);
      std::string name = orb::ExtractFileNamePart(orb::SlashToBackslash(r.entry));
      EXPECT_TRUE(verdict[name]);
      std::string data;
      ASSERT_EQ(orbtest::ReadWholeFile(dir.Join(orb::SlashToBackslash(r.entry)), data), 0u);
      EXPECT_EQ(orb::arx::Crc32(reinterpret_cast<const std::uint8_t*>(data.data()), data.size()),
                r.crc);
      ++checked;
    }
  }
  EXPECT_GT(checked, 100);
}

// --- Info-ZIP ------------------------------------------------------------------------------
//
// tests/archive/make_infozip_refs.sh (run natively, by ctest as this suite's fixture) leaves
// Info-ZIP zip's archives and Info-ZIP unzip's extraction of each in one folder; both builds
// read it, the Windows build under Wine through drive Z:. The folder is ORB_INFOZIP_REFS from
// the environment (a Unix path) or the one this build was configured with.

// The references are the native run's output; a Windows run on its own must not pass
// without them unless someone says so.
bool InfoZipOptional() {
  const char* v = std::getenv("ORB_INFOZIP_OPTIONAL");
  return v != nullptr && std::string(v) == "1";
}

std::string InfoZipRefsUnix() {
  const char* v = std::getenv("ORB_INFOZIP_REFS");
  return v != nullptr && *v != '\0' ? std::string(v) : std::string(ORB_INFOZIP_REFS);
}

struct Entry {
  bool folder = false;
  std::uint32_t attributes = 0;
};

// Every file and folder below `root`, by path relative to it ("src\sub\data.bin").
void Walk(const std::string& root, const std::string& rel, std::map<std::string, Entry>& out) {
  platform::FindHandle find;
  platform::FindData fd;
  std::string dir = rel.empty() ? root : root + "\\" + rel;
  for (std::uint32_t e = find.First(dir + "\\*", fd); e == 0; e = find.Next(fd)) {
    if (fd.name == "." || fd.name == "..") continue;
    std::string child = rel.empty() ? fd.name : rel + "\\" + fd.name;
    bool folder = (fd.attributes & platform::kFileAttributeDirectory) != 0;
    out[child] = Entry{folder, fd.attributes};
    if (folder) Walk(root, child, out);
  }
}

// A file's last write time as the host's file system reports it. The platform layer has no
// call that reads it, so this goes around the layer: the Windows build's host takes the
// Windows path itself; natively the path is resolved through the prefix's drive links, as the
// layer resolves it. GBK names are UTF-8 on both hosts' file systems.
std::optional<std::filesystem::file_time_type> WriteTime(const std::string& win_path) {
  std::string utf8 = platform::GbkToUtf8(win_path);
  std::error_code ec;
  std::filesystem::path host(std::u8string(utf8.begin(), utf8.end()));
  if (!std::filesystem::exists(host, ec)) {
    const std::string u = orbtest::UnixPathInPrefix(utf8);
    if (u.empty()) return std::nullopt;
    host = u;
  }
  auto t = std::filesystem::last_write_time(host, ec);
  if (ec) return std::nullopt;
  return t;
}

// Where two files' bytes part, for a message that does not print 200 KB.
std::string FirstDifference(const std::string& a, const std::string& b) {
  std::size_t i = 0;
  while (i < a.size() && i < b.size() && a[i] == b[i]) ++i;
  return "sizes " + std::to_string(a.size()) + " and " + std::to_string(b.size()) +
         ", first difference at byte " + std::to_string(i);
}

struct InfoZipCase {
  const char* name;  // NAME.zip and the folder NAME in the references
  bool comment;      // the archive ends with a comment
};

void PrintTo(const InfoZipCase& c, std::ostream* os) { *os << c.name; }

class InfoZipArchives : public ::testing::TestWithParam<InfoZipCase> {};

// The archives the reference script makes (zip options in brackets): stored [-0] and deflated
// [-9] with folder entries, no folder entries [-D], traditional encryption [-P], an archive
// comment [-z], and zip writing to a pipe, whose entries carry data descriptors. Every one
// holds the same tree: CRLF text, 200 KB of binary data, a compressible text three folders
// deep, an empty file, a read-only file, a GBK file name, a GBK folder, a name whose GBK
// bytes hold 0x5C, and an empty folder.
const InfoZipCase kInfoZipCases[] = {
    {"stored", false},    {"deflated", false},  {"nodirs", false},
    {"encrypted", false}, {"commented", true},  {"streamed", false},
};

TEST_P(InfoZipArchives, ExtractToTheFilesInfoZipUnzipWrites) {
  const InfoZipCase& c = GetParam();
  std::string refs_unix = InfoZipRefsUnix();
  std::string refs = ZDrive(refs_unix);
  std::string archive = refs + "\\" + c.name + ".zip";
  std::string reference = refs + "\\" + c.name;
  std::uint32_t attrs = 0;
  if (platform::GetAttributes(archive, attrs) != 0 ||
      platform::GetAttributes(reference, attrs) != 0) {
    std::string what = "Info-ZIP references not found: " + archive + " and " + reference +
                       " (" + refs_unix + "). The native test run makes them (ctest in the "
                       "native build runs tests/archive/make_infozip_refs.sh first); run it "
                       "before the Windows tests, or set ORB_INFOZIP_REFS to a folder that "
                       "script made.";
    if (InfoZipOptional()) GTEST_SKIP() << what << " Skipped: ORB_INFOZIP_OPTIONAL=1.";
    FAIL() << what << " Set ORB_INFOZIP_OPTIONAL=1 to run without this check.";
  }

  std::map<std::string, Entry> expected;
  Walk(reference, "", expected);
  std::set<std::string> expected_folders;  // those that hold a file, at any depth
  int expected_files = 0;
  for (const auto& [name, entry] : expected) {
    if (entry.folder) continue;
    ++expected_files;
    for (std::size_t p = platform::LastDelimiter(name); p != std::string::npos;
         p = platform::LastDelimiter(name.substr(0, p)))
      expected_folders.insert(name.substr(0, p));
  }
  ASSERT_GE(expected_files, 7) << "the reference tree " << reference << " is incomplete";

  orbtest::FakeUserInterface ui;
  orbtest::ScopedUserInterface guard(ui);
  orbtest::ScratchDir dir;
  ASSERT_TRUE(dir.ok());
  std::string ours = dir.Join("out");
  orb::TUnZIP z(nullptr);
  if (c.comment) z.SetZipCmntBufSize(2000);
  z.SetArchiveFile(archive);
  EXPECT_EQ(z.ArcType(), orb::TArcType::atZip);
  EXPECT_EQ(z.HeaderFlag(), 0x19);
  z.SetExtractDir(ours);
  z.SetConfirmOverwrites(false);
  z.SetFileSpec({"*.*"});
  z.SetPasswords({"pa55 word"});
  std::vector<std::string> problems;
  z.OnError = [&](orb::TObject*, const std::string& fn, const std::string&, const std::string&,
                  int code) { problems.push_back("error " + std::to_string(code) + " " + fn); };
  z.OnEnd = [&](orb::TObject*, const std::string& fn, bool pass) {
    if (!pass) problems.push_back("crc " + fn);
  };
  // Folder entries are not extracted (a central walk skips them), so only folders that hold
  // files are made: Info-ZIP's empty folder has no counterpart here.
  EXPECT_EQ(z.Extract(), expected_files);
  EXPECT_TRUE(problems.empty()) << ::testing::PrintToString(problems);

  std::map<std::string, Entry> got;
  Walk(ours, "", got);
  for (const auto& [name, entry] : got) {
    SCOPED_TRACE(name);
    if (entry.folder) {
      EXPECT_TRUE(expected_folders.count(name)) << "a folder that holds no extracted file";
      continue;
    }
    auto it = expected.find(name);
    if (it == expected.end() || it->second.folder) {
      ADD_FAILURE() << "written here, not by Info-ZIP unzip";
      continue;
    }
    std::string want, have;
    ASSERT_EQ(orbtest::ReadWholeFile(reference + "\\" + name, want), 0u);
    ASSERT_EQ(orbtest::ReadWholeFile(ours + "\\" + name, have), 0u);
    EXPECT_TRUE(want == have) << FirstDifference(want, have);
    // Info-ZIP restores the Unix mode, which the platform shows as the read-only attribute;
    // we restore the entry's DOS attributes. Hidden and system come from neither here.
    constexpr std::uint32_t kCompared = platform::kFileAttributeReadOnly |
                                        platform::kFileAttributeHidden |
                                        platform::kFileAttributeSystem;
    EXPECT_EQ(entry.attributes & kCompared, it->second.attributes & kCompared);
    // Every date in the tree is on an even second, so the DOS date we restore from and the
    // Unix time Info-ZIP restores from name the same instant, as long as the zone the archive
    // was made in is the zone we run in (ctest sets TZ=UTC for both). (<chrono> itself cannot
    // be compiled with the GBK execution character set; <filesystem> brings what is used.)
    auto want_time = WriteTime(reference + "\\" + name);
    auto have_time = WriteTime(ours + "\\" + name);
    ASSERT_TRUE(want_time && have_time) << "cannot read the write times";
    EXPECT_TRUE(*want_time == *have_time)
        << "write times differ by "
        << std::chrono::duration_cast<std::chrono::seconds>(*have_time - *want_time).count()
        << " s";
  }
  for (const auto& [name, entry] : expected) {
    if (!entry.folder) {
      EXPECT_TRUE(got.count(name)) << name << ": not extracted";
    }
  }
  for (const std::string& folder : expected_folders)
    EXPECT_TRUE(got.count(folder) && got[folder].folder) << folder << ": folder not made";
  // Nothing beside the extraction folder either.
  std::map<std::string, Entry> scratch;
  Walk(dir.path(), "", scratch);
  EXPECT_EQ(scratch.size(), got.size() + 1) << "files written outside " << ours;
}

INSTANTIATE_TEST_SUITE_P(InfoZip, InfoZipArchives, ::testing::ValuesIn(kInfoZipCases),
                         [](const ::testing::TestParamInfo<InfoZipCase>& i) {
                           return std::string(i.param.name);
                         });

}  // namespace
