// Archives made to mislead the engine (cut, damaged, overlapping, lying about names and sizes):
// each run either writes every entry where it belongs or reports what it did not write, and
// nothing ever lands outside the output folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "archive/UnZipFixture.h"
#include "support/ZipBuilder.h"
#include "platform/fs.h"

namespace {

using orb::TUnZIP;
using orbtest::Exists;
using orbtest::Read;
using orbtest::Recorder;
using orbtest::ZipBuilder;

void Put32At(std::string& s, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) s[at + i] = static_cast<char>(v >> (8 * i) & 0xFF);
}
void Put16At(std::string& s, std::size_t at, std::uint16_t v) {
  s[at] = static_cast<char>(v & 0xFF);
  s[at + 1] = static_cast<char>(v >> 8);
}

std::uint32_t Crc(const std::string& data) {
  return orb::arx::Crc32(reinterpret_cast<const std::uint8_t*>(data.data()), data.size());
}

// Three plain entries; `b.offsets` and `b.central_offset` say where their records are.
ZipBuilder ThreeFiles() {
  ZipBuilder b;
  b.Add({.name = "one.txt", .data = "first"});
  b.Add({.name = "two.txt", .data = std::string(3000, 't'), .method = 8});
  b.Add({.name = "three.txt", .data = "third"});
  return b;
}

// The offset of the n-th central header (0-based) in an archive built from ThreeFiles().
std::size_t CentralHeaderAt(const ZipBuilder& b, const std::string& bytes, int n) {
  std::size_t pos = b.central_offset;
  for (int i = 0; i < n; ++i) {
    std::size_t name_len = static_cast<unsigned char>(bytes[pos + 28]) |
                           static_cast<unsigned char>(bytes[pos + 29]) << 8;
    pos += 46 + name_len;
  }
  return pos;
}

// A stored entry whose sizes and CRC follow its data in a descriptor (flag bit 3), as a
// writer that cannot seek back makes it; `with_signature` chooses the descriptor's form.
std::string DescriptorEntry(const std::string& name, const std::string& data,
                            bool with_signature) {
  std::string s;
  ZipBuilder::Put32(s, 0x04034B50);
  ZipBuilder::Put16(s, 20);
  ZipBuilder::Put16(s, 8);  // sizes in the descriptor
  ZipBuilder::Put16(s, 0);
  ZipBuilder::Put32(s, 0x5A8C6B21);
  ZipBuilder::Put32(s, 0);
  ZipBuilder::Put32(s, 0);
  ZipBuilder::Put32(s, 0);
  ZipBuilder::Put16(s, static_cast<std::uint16_t>(name.size()));
  ZipBuilder::Put16(s, 0);
  s += name + data;
  if (with_signature) ZipBuilder::Put32(s, 0x08074B50);
  ZipBuilder::Put32(s, Crc(data));
  ZipBuilder::Put32(s, static_cast<std::uint32_t>(data.size()));
  ZipBuilder::Put32(s, static_cast<std::uint32_t>(data.size()));
  return s;
}

struct HostileCase {
  const char* name;
  std::function<std::string()> archive;
  int error;                                                 // must be reported
  std::vector<std::pair<std::string, std::string>> written;  // name under out, content
  std::vector<std::string> not_written;
};

// The two trailing zero bytes hide the end record from a component with no comment buffer,
// as they do in the installer's package: the engine walks the local headers.
const HostileCase kCases[] = {
    {"LocalWalkCutInsideAHeader",
     [] {
       ZipBuilder b = ThreeFiles();
       std::string s = b.Build();
       return s.substr(0, b.offsets[2] + 10);
     },
     orb::E_UNEXPECTEDEOF, {{"one.txt", "first"}, {"two.txt", std::string(3000, 't')}},
     {"three.txt"}},
    {"LocalWalkCutInsideTheData",
     [] {
       ZipBuilder b = ThreeFiles();
       std::string s = b.Build();
       return s.substr(0, b.offsets[1] + 200);
     },
     orb::E_UNEXPECTEDEOF, {{"one.txt", "first"}}, {"three.txt"}},
    {"LocalWalkMeetsADamagedSignature",
     [] {
       ZipBuilder b = ThreeFiles();
       b.trailing = std::string(2, '\0');
       std::string s = b.Build();
       s[b.offsets[1] + 2] = 'X';
       return s;
     },
     orb::E_HEADERNOTFOUND, {{"one.txt", "first"}}, {"two.txt", "three.txt"}},
    {"LocalWalkStepsOverAnEntryTheDirectoryLists",
     [] {
       // The first local header claims the second entry as part of its data: the walk steps
       // over an entry that the directory lists.
       ZipBuilder b = ThreeFiles();
       b.trailing = std::string(2, '\0');
       std::string s = b.Build();
       Put32At(s, b.offsets[0] + 18, b.offsets[2] - b.offsets[0] - 30 - 7);
       return s;
     },
     orb::E_ENTRYCOUNT, {{"three.txt", "third"}}, {"two.txt"}},
    {"CentralWalkMeetsADamagedHeaderSignature",
     [] {
       ZipBuilder b = ThreeFiles();
       std::string s = b.Build();
       s[CentralHeaderAt(b, s, 1) + 3] = 9;
       return s;
     },
     orb::E_HEADERNOTFOUND, {{"one.txt", "first"}}, {"two.txt", "three.txt"}},
    {"CentralDirectoryShorterThanItsCount",
     [] {
       ZipBuilder b = ThreeFiles();
       std::string s = b.Build();
       std::size_t third = CentralHeaderAt(b, s, 2);
       std::size_t end = s.size() - 22;
       s.erase(third, end - third);  // the count still says three
       Put32At(s, s.size() - 22 + 12, static_cast<std::uint32_t>(third - b.central_offset));
       return s;
     },
     orb::E_ENTRYCOUNT, {{"one.txt", "first"}}, {"three.txt"}},
    {"ListedNameIsNotTheNameWritten",
     [] {
       ZipBuilder b;
       b.Add({.name = "innocent.txt", .data = "payload"});
       b.Add({.name = "after.txt", .data = "after"});
       std::string s = b.Build();
       s.replace(b.offsets[0] + 30, 12, "evil.txt.exe");
       return s;
     },
     orb::E_NAMEMISMATCH, {{"after.txt", "after"}}, {"innocent.txt", "evil.txt.exe"}},
    {"EntriesSharingOneLocalHeader",
     [] {
       ZipBuilder b;
       b.Add({.name = "a.txt", .data = std::string(5000, 'a'), .method = 8});
       b.Add({.name = "a.txt", .data = std::string(5000, 'a'), .method = 8});
       std::string s = b.Build();
       Put32At(s, CentralHeaderAt(b, s, 1) + 42, b.offsets[0]);  // both name one stream
       return s;
     },
     orb::E_OVERLAP, {}, {"a.txt"}},
    {"EntryDataRunsIntoTheNextEntry",
     [] {
       ZipBuilder b;
       b.Add({.name = "big.txt", .data = std::string(100, 'b')});
       b.Add({.name = "small.txt", .data = "small"});
       std::string s = b.Build();
       // The first entry claims its neighbour's bytes as well.
       Put32At(s, CentralHeaderAt(b, s, 0) + 20, 100 + 30 + 9 + 5);
       Put32At(s, CentralHeaderAt(b, s, 0) + 24, 100 + 30 + 9 + 5);
       return s;
     },
     orb::E_OVERLAP, {{"small.txt", "small"}}, {"big.txt"}},
    {"Zip64SizesAreRefusedByName",
     [] {
       ZipBuilder b;
       b.Add({.name = "huge.bin", .data = "not really huge"});
       b.Add({.name = "after.txt", .data = "after"});
       std::string s = b.Build();
       Put32At(s, CentralHeaderAt(b, s, 0) + 20, 0xFFFFFFFF);
       Put32At(s, CentralHeaderAt(b, s, 0) + 24, 0xFFFFFFFF);
       return s;
     },
     orb::E_ZIP64, {{"after.txt", "after"}}, {"huge.bin"}},
};

// Faults of the output path: test mode, which makes none, has nothing to report for them.
const HostileCase kPathCases[] = {
    // Deeper than any path the system holds: refused at once, whatever the depth (the
    // folders were once made one by one, in time that grew with the cube of the depth).
    {"PathOfTwoThousandFolders",
     [] {
       std::string deep;
       for (int i = 0; i < 2000; ++i) deep += "d/";
       ZipBuilder b;
       b.Add({.name = deep + "f.txt", .data = "deep"});
       b.Add({.name = "after.txt", .data = "after"});
       return b.Build();
     },
     orb::E_INVALIDFN, {{"after.txt", "after"}}, {"d"}},
    {"LongestPossibleName",
     [] {
       ZipBuilder b;
       b.Add({.name = std::string(65535, 'n'), .data = ""});
       b.Add({.name = "after.txt", .data = "after"});
       return b.Build();
     },
     orb::E_INVALIDFN, {{"after.txt", "after"}}, {}},
};

void PrintTo(const HostileCase& c, std::ostream* os) { *os << c.name; }

class HostileArchiveTest : public orbtest::UnZipTest,
                           public ::testing::WithParamInterface<HostileCase> {};

TEST_P(HostileArchiveTest, ReportsWhatItDidNotWriteAndWritesNothingElse) {
  const HostileCase& c = GetParam();
  Recorder r = ExtractRecording("hostile.zip", c.archive());
  EXPECT_NE(std::find(r.errors.begin(), r.errors.end(), c.error), r.errors.end())
      << ::testing::PrintToString(r.log);
  for (const auto& [name, content] : c.written) EXPECT_EQ(Read(out_ + "\\" + name), content);
  for (const std::string& name : c.not_written) {
    EXPECT_FALSE(Exists(out_ + "\\" + name)) << name;
    EXPECT_EQ(std::find(r.log.begin(), r.log.end(), "end " + name + " ok"), r.log.end()) << name;
  }
  // Nothing beside the output folder and the archive.
  platform::FindHandle find;
  platform::FindData fd;
  std::vector<std::string> names;
  for (std::uint32_t rc = find.First(dir_.Join("*"), fd); rc == 0; rc = find.Next(fd))
    if (fd.name != "." && fd.name != "..") names.push_back(fd.name);
  std::vector<std::string> expected{"hostile.zip"};
  if (Exists(out_)) expected.push_back("out");
  std::sort(names.begin(), names.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(names, expected);
}

// The same archives through test mode: no verdict of "no errors" for any of them.
using HostileArchiveTestMode = HostileArchiveTest;
TEST_P(HostileArchiveTestMode, ReportsTheSameFault) {
  const HostileCase& c = GetParam();
  Recorder r = ExtractRecording("hostile.zip", c.archive(),
                                [](TUnZIP& z) { z.SetTestOnly(true); });
  EXPECT_NE(std::find(r.errors.begin(), r.errors.end(), c.error), r.errors.end())
      << ::testing::PrintToString(r.log);
  EXPECT_FALSE(Exists(out_));
}

const auto kCaseName = [](const auto& info) { return std::string(info.param.name); };
INSTANTIATE_TEST_SUITE_P(Archives, HostileArchiveTest, ::testing::ValuesIn(kCases), kCaseName);
INSTANTIATE_TEST_SUITE_P(Paths, HostileArchiveTest, ::testing::ValuesIn(kPathCases), kCaseName);
INSTANTIATE_TEST_SUITE_P(Archives, HostileArchiveTestMode, ::testing::ValuesIn(kCases),
                         kCaseName);

class DescriptorTest : public orbtest::UnZipTest {};
class OutputTest : public orbtest::UnZipTest {};

// An output that cannot be made is a failed entry, even when it has no bytes to write (its
// CRC, that of nothing, matches).
TEST_F(OutputTest, OutputsThatCannotBeMadeAreFailedEntries) {
  ZipBuilder b;
  b.Add({.name = "blocked/empty.txt", .data = ""});
  b.Add({.name = "blocked/sub/", .folder = true});
  b.Add({.name = "after.txt", .data = "after"});
  b.trailing = std::string(2, '\0');  // the local walk, which offers folder entries
  ASSERT_EQ(platform::CreateDir(out_), 0u);
  ASSERT_EQ(orbtest::WriteWholeFile(out_ + "\\blocked", "a file where a folder must go"), 0u);
  Recorder r = ExtractRecording("out.zip", b.Build());
  EXPECT_EQ(r.errors, (std::vector<int>{orb::E_UNABLETOCREATEDIR, orb::E_UNABLETOCREATEDIR}))
      << ::testing::PrintToString(r.log);
  EXPECT_NE(std::find(r.log.begin(), r.log.end(), "end empty.txt bad"), r.log.end())
      << ::testing::PrintToString(r.log);
  EXPECT_EQ(Read(out_ + "\\blocked"), "a file where a folder must go");
  EXPECT_EQ(Read(out_ + "\\after.txt"), "after");
}

// The listing shows what extraction would write, folders of the directory included.
TEST_F(OutputTest, ListingShowsTheDirectorysFoldersAndNames) {
  ZipBuilder b;
  b.Add({.name = "docs/", .folder = true});
  b.Add({.name = "docs/a.txt", .data = "a"});
  std::string archive = Write("list.zip", b.Build());
  TUnZIP z(nullptr);
  Prepare(z, archive);
  std::vector<orb::TZipListItem> items;
  ASSERT_EQ(z.List(items), 2);
  EXPECT_EQ(items[0].Name, "docs\\");
  EXPECT_TRUE(items[0].Folder);
  EXPECT_EQ(items[1].Name, "docs\\a.txt");
  EXPECT_FALSE(items[1].Folder);
}

TEST_F(DescriptorTest, LocalWalkTakesSizesFromTheDescriptorOrTheDirectory) {
  const std::string first = "stored behind a descriptor";
  const std::string second(70000, 'q');
  struct Layout {
    const char* what;
    bool signature;
    bool directory;
  };
  for (const Layout& l : {Layout{"signed descriptors, no directory", true, false},
                          Layout{"unsigned descriptors, no directory", false, false},
                          Layout{"signed descriptors and a directory", true, true}}) {
    SCOPED_TRACE(l.what);
    std::string s = DescriptorEntry("a.txt", first, l.signature);
    const std::uint32_t second_at = static_cast<std::uint32_t>(s.size());
    s += DescriptorEntry("b.txt", second, l.signature);
    s += DescriptorEntry("empty.txt", "", l.signature);
    if (l.directory) {
      // A directory whose end record the component does not see (two bytes follow it).
      ZipBuilder d;
      d.Add({.name = "a.txt", .data = first});
      d.Add({.name = "b.txt", .data = second});
      d.Add({.name = "empty.txt", .data = ""});
      std::string dir = d.Build();
      std::string central = dir.substr(d.central_offset);
      // Point the directory at this archive's headers.
      std::size_t pos = 0;
      const std::uint32_t offsets[] = {0, second_at,
                                       second_at + 30 + 5 + 70000 + (l.signature ? 16u : 12u)};
      for (std::uint32_t off : offsets) {
        Put32At(central, pos + 42, off);
        Put16At(central, pos + 8, 8);
        pos += 46 + (static_cast<unsigned char>(central[pos + 28]));
      }
      Put32At(central, central.size() - 22 + 16, static_cast<std::uint32_t>(s.size()));
      s += central + std::string(2, '\0');
    }
    orbtest::RemoveTree(out_);
    int begun = 0;
    Recorder r = ExtractRecording("dd.zip", s, nullptr, &begun);
    EXPECT_EQ(begun, 3);
    EXPECT_TRUE(r.errors.empty()) << ::testing::PrintToString(r.log);
    EXPECT_EQ(Read(out_ + "\\a.txt"), first);
    EXPECT_EQ(Read(out_ + "\\b.txt"), second);
    EXPECT_EQ(Read(out_ + "\\empty.txt"), "");
  }
}

}  // namespace
