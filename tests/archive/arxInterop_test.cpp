// Archives made by software no one here wrote: the third-party fixtures (stored and deflated
// entries, one encrypted with a data descriptor), and archives that Info-ZIP zip makes at test
// time, extracted here and by Info-ZIP unzip and compared file by file. The second part needs
// /bin/sh, zip and unzip, and is skipped with a message where they cannot run.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "archive/Crc32.h"
#include "archive/arxUnZIP.h"
#include "platform/fs.h"
#include "platform/process.h"
#include "support/FakeUserInterface.h"
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

// --- Info-ZIP -----------------------------------------------------------------------------

// The Unix path of a folder the test made through the platform layer: the native layer maps
// drive letters through the prefix's dosdevices.
std::string UnixPathOf(const std::string& win) {
  const char* prefix = std::getenv("WINEPREFIX");
  if (prefix == nullptr || win.size() < 3 || win[1] != ':') return {};
  std::string u = std::string(prefix) + "/dosdevices/" +
                  static_cast<char>(std::tolower(static_cast<unsigned char>(win[0]))) + ":";
  for (std::size_t i = 2; i < win.size(); ++i) u += win[i] == '\\' ? '/' : win[i];
  return u;
}

int RunShell(const std::string& script, const std::string& dir) {
  platform::ChildProcess p;
  if (p.Start("/bin/sh", {"-c", script, "sh", dir}) != 0) return -1;
  return static_cast<int>(p.Wait());
}

TEST(ThirdPartyArchives, InfoZipArchivesExtractLikeInfoZipUnzip) {
  orbtest::ScratchDir dir;
  ASSERT_TRUE(dir.ok());
  std::string u = UnixPathOf(dir.path());
  if (u.empty() || RunShell("command -v zip >/dev/null && command -v unzip >/dev/null && "
                            "command -v iconv >/dev/null && cd \"$1\"", u) != 0)
    GTEST_SKIP() << "Info-ZIP zip/unzip (or /bin/sh, iconv) not available here";

  // A small tree: text, binary, a GBK name (bytes written directly), a nested and an empty
  // folder. zip runs in the C locale so the names' bytes are stored as they are.
  const char* make = R"(set -e
cd "$1"
mkdir -p src/sub/deeper src/empty
printf 'hello\r\nworld\r\n' > src/readme.txt
awk 'BEGIN { for (i = 0; i < 200000; i++) printf "%c", (i * 7 + i / 91) % 256 }' > src/sub/data.bin
awk 'BEGIN { for (i = 0; i < 3000; i++) print "line " i " of a compressible text file" }' > src/sub/deeper/text.txt
printf '\271\244\327\367\261\355' > "src/sub/$(printf '\261\355\270\361').dbf"
: > src/zero.txt
export LC_ALL=C
zip -q -r -0 stored.zip src
zip -q -r -9 deflated.zip src
zip -q -r -P 'pa55 word' encrypted.zip src
echo 'an archive comment' | zip -q -r -z commented.zip src
for a in stored deflated encrypted commented; do
  unzip -q -o -P 'pa55 word' $a.zip -d ref_$a
done
)";
  ASSERT_EQ(RunShell(make, u), 0);

  struct Case {
    const char* archive;
    bool comment;
  };
  const Case cases[] = {{"stored", false}, {"deflated", false}, {"encrypted", false},
                        {"commented", true}};
  orbtest::FakeUserInterface ui;
  orbtest::ScopedUserInterface guard(ui);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.archive);
    orb::TUnZIP z(nullptr);
    if (c.comment) z.SetZipCmntBufSize(2000);
    z.SetArchiveFile(dir.Join(std::string(c.archive) + ".zip"));
    EXPECT_EQ(z.ArcType(), orb::TArcType::atZip);
    EXPECT_EQ(z.HeaderFlag(), 0x19);
    z.SetExtractDir(dir.Join(std::string("ours_") + c.archive));
    z.SetConfirmOverwrites(false);
    z.SetFileSpec({"*.*"});
    z.SetPasswords({"pa55 word"});
    std::vector<std::string> problems;
    z.OnError = [&](orb::TObject*, const std::string& fn, const std::string&, const std::string&,
                    int code) { problems.push_back("error " + std::to_string(code) + " " + fn); };
    z.OnEnd = [&](orb::TObject*, const std::string& fn, bool pass) {
      if (!pass) problems.push_back("crc " + fn);
    };
    EXPECT_EQ(z.Extract(), 5);  // files only: the central walk skips folder entries
    EXPECT_TRUE(problems.empty()) << ::testing::PrintToString(problems);
    // Same files, same bytes. Info-ZIP unzip keeps the GBK bytes of the names; the platform
    // layer stores names as UTF-8, so the reference listing is converted before comparing.
    std::string compare = std::string(R"(set -e
cd "$1"
(cd ref_)") + c.archive + R"( && find . -type f -exec cksum {} + | iconv -f GBK -t UTF-8 | LC_ALL=C sort) > ref.lst
(cd ours_)" + c.archive + R"( && find . -type f -exec cksum {} + | LC_ALL=C sort) > ours.lst
cmp ref.lst ours.lst
)";
    EXPECT_EQ(RunShell(compare, u), 0) << "listings differ (ref.lst, ours.lst in " << u << ")";
  }
}

}  // namespace
