// The component root: type detection and the end-record search, the attribute mask, the
// clock, and the volume manager's label rules.
#include "archive/arxMain.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "support/ZipBuilder.h"
#include "archive/arxUnZIP.h"
#include "support/FakeUserInterface.h"
#include "support/ScratchDir.h"

namespace {

using orb::TArcType;
using orbtest::ZipBuilder;

ZipBuilder TwoFiles() {
  ZipBuilder b;
  b.Add({.name = "a.txt", .data = "alpha"});
  b.Add({.name = "b.txt", .data = "beta"});
  return b;
}

TEST(DetectArcType, ZipFamilyAndStartOffsets) {
  orbtest::ScratchDir dir;
  ASSERT_TRUE(dir.ok());
  ZipBuilder plain = TwoFiles();
  const std::string plain_bytes = plain.Build();
  const std::int32_t cd = static_cast<std::int32_t>(plain.central_offset);

  ZipBuilder commented = TwoFiles();
  commented.comment = std::string(100, 'c');
  ZipBuilder zeros = TwoFiles();
  zeros.leading = std::string(16, '\0');
  zeros.trailing = std::string(2, '\0');

  struct Case {
    const char* what;
    std::string file;
    std::string bytes;
    std::int32_t cmnt;  // ZipCmntBufSize to set, 0 = leave at 0
    TArcType type;
    std::int32_t start;
    int flag;
  };
  const Case cases[] = {
      {"no comment, end record last", "a.zip", plain_bytes, 0, TArcType::atZip, cd, 0x19},
      {"two bytes after the end record", "a.zip", plain_bytes + std::string(2, '\0'), 0,
       TArcType::atZip, 0, 0x10},
      {"a comment outside the 23-byte window", "a.zip", commented.Build(), 0, TArcType::atZip, 0,
       0x10},
      {"a comment inside a larger window", "a.zip", commented.Build(), 2000, TArcType::atZip, cd,
       0x19},
      {"leading zero bytes", "a.zip", zeros.Build(), 0, TArcType::atZip, 16, 0x10},
      {"a .jar name", "b.JaR", plain_bytes, 0, TArcType::atJar, cd, 0x19},
      {"19 bytes", "c.zip", std::string(19, 'P'), 0, TArcType::atFileOpenErr, 1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string path = dir.Join(c.file);
    ASSERT_EQ(orbtest::WriteWholeFile(path, c.bytes), 0u);
    orb::TUnZIP z(nullptr);
    if (c.cmnt) z.SetZipCmntBufSize(c.cmnt);
    z.SetArchiveFile(path);
    EXPECT_EQ(z.ArcType(), c.type) << orb::ArcTypeName(z.ArcType());
    EXPECT_EQ(z.StartOffset(), c.start);
    EXPECT_EQ(z.HeaderFlag(), c.flag);
    // Assigning a type re-runs detection instead of storing the value.
    z.SetArcType(TArcType::atZoo);
    EXPECT_EQ(z.ArcType(), c.type);
  }
}

TEST(DetectArcType, SignaturesOfOtherFormats) {
  orbtest::ScratchDir dir;
  ASSERT_TRUE(dir.ok());
  auto pad = [](std::string head) {
    head.resize(64, ' ');
    return head;
  };
  std::string sfx(15770, 'M');
  sfx[0] = 'M';
  sfx[1] = 'Z';
  sfx += TwoFiles().Build();  // offsets inside are not adjusted: only the probe is tested
  struct Case {
    const char* what;
    std::string bytes;
    TArcType type;
  };
  const Case cases[] = {
      {"cabinet", pad("MSCF"), TArcType::atCab},
      {"gzip", pad("\x1F\x8B\x08"), TArcType::atGZip},
      {"arj", pad("\x60\xEA"), TArcType::atArj},
      {"zoo", pad("ZOO 2.10"), TArcType::atZoo},
      {"lha", pad("xx-lh5-"), TArcType::atLha},
      {"rar", pad("Rar!\x1A\x07"), TArcType::atRar},
      {"ace", pad("1234567**ACE**"), TArcType::atACE},
      {"uue", pad("hello\nbegin 644 x"), TArcType::atUue},
      {"spanned marker on a fixed drive", pad("PK\x07\x08PK\x03\x04"), TArcType::atZip},
      {"central header first on a fixed drive", pad("PK\x01\x02"), TArcType::atNA},
      {"self-extractor at 15770", sfx, TArcType::atZipExe},
      {"unknown", pad("hello world"), TArcType::atUnknown},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string path = dir.Join("x.bin");
    ASSERT_EQ(orbtest::WriteWholeFile(path, c.bytes), 0u);
    orb::TUnZIP z(nullptr);
    z.SetArchiveFile(path);
    EXPECT_EQ(z.ArcType(), c.type) << orb::ArcTypeName(z.ArcType());
    if (c.type == TArcType::atZipExe) {
      EXPECT_EQ(z.StartOffset(), 15770);
    }
  }
}

TEST(TArchiveFile, ReadsAfterAnySeekGiveTheFilesBytes) {
  // Reads are served from a read-ahead buffer: pieces inside it, across its end, larger than
  // it, backwards into it, and at or past the end of the file.
  orbtest::ScratchDir dir;
  ASSERT_TRUE(dir.ok());
  std::string bytes(200000, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
  const std::string file = dir.Join("data.bin");
  ASSERT_EQ(orbtest::WriteWholeFile(file, bytes), 0u);
  orb::TArchiveFile f;
  ASSERT_TRUE(f.Open(file));
  const struct {
    std::int64_t seek;  // -1: read on from where the last read ended
    std::uint32_t count;
    std::uint32_t expected;
  } cases[] = {
      {0, 30, 30},          {-1, 50, 50},         {65530, 30, 30},      {-1, 100000, 100000},
      {10, 70000, 70000},   {5, 20, 20},          {199990, 30, 10},     {-1, 5, 0},
      {250000, 4, 0},       {131072, 65536, 65536}, {0, 200000, 200000}, {65535, 1, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "seek " << c.seek << " count " << c.count);
    if (c.seek >= 0) {
      ASSERT_TRUE(f.TrySeek(c.seek));
    }
    const std::int64_t from = f.Position();
    std::string got(c.count, '\0');
    ASSERT_EQ(f.Read(got.data(), c.count), c.expected);
    got.resize(c.expected);
    EXPECT_EQ(got, bytes.substr(static_cast<std::size_t>(std::min<std::int64_t>(from, 200000)), c.expected));
    EXPECT_EQ(f.Position(), from + c.expected);
  }
  EXPECT_FALSE(f.TrySeek(-1));
  EXPECT_TRUE(f.Close());
  EXPECT_FALSE(f.TrySeek(0));
}

TEST(TarxMain, ArchiveFileSetterNormalisesSlashes) {
  orb::TUnZIP z(nullptr);
  z.SetArchiveFile("C:/no/such/dir/x.zip");
  EXPECT_EQ(z.ArchiveFile(), "C:\\no\\such\\dir\\x.zip");
  EXPECT_EQ(z.ArcType(), TArcType::atFileOpenErr);
  z.SetArchiveFile("");
  EXPECT_EQ(z.ArchiveFile(), "");
  EXPECT_EQ(z.ArcType(), TArcType::atNA);
}

TEST(TarxFileAttr, MaskRules) {
  orb::TarxFileAttr a;
  EXPECT_TRUE(a.ftAnyFile());
  EXPECT_EQ(a.ftFileAttr(), 2367);
  a.SetftFileAttr(0x21);
  EXPECT_TRUE(a.ftReadOnly());
  EXPECT_TRUE(a.ftArchive());
  EXPECT_FALSE(a.ftHidden() || a.ftSysFile() || a.ftDirectory() || a.ftVolumeID() ||
               a.ftTemporary() || a.ftCompressed() || a.ftAnyFile());
  EXPECT_EQ(a.ftFileAttr(), 0x21);
  a.SetftFileAttr(0x3F);
  EXPECT_TRUE(a.ftAnyFile());
  EXPECT_EQ(a.ftFileAttr(), 2367);
  EXPECT_TRUE(a.ftCompressed());
  a.SetftHidden(false);  // leaving any-file: the others stay on
  EXPECT_FALSE(a.ftAnyFile());
  EXPECT_EQ(a.ftFileAttr(), 2367 - 0x02);
}

TEST(TarxTimer, PausedSpanIsNotCounted) {
  orbtest::FakeClock clock;
  orbtest::ScopedClock guard(clock);
  clock.SetTicks(1000);
  orb::TarxTimer t;
  t.Start();
  clock.AdvanceTicks(1000);
  t.Pause();
  clock.AdvanceTicks(2000);
  t.Resume();
  clock.AdvanceTicks(2000);
  t.Stop();
  EXPECT_FLOAT_EQ(t.Elapsed(), 3.0f);
  // A clock that was never started ignores everything.
  orb::TarxTimer idle;
  idle.Pause();
  idle.Resume();
  idle.Stop();
  EXPECT_FLOAT_EQ(idle.Elapsed(), 0.0f);
}

TEST(TDiskManager, DiskNumberFromLabel) {
  struct Case {
    const char* label;
    int number;
  };
  const Case cases[] = {
      {"PKBACK# 003", 3}, {"PKBACK# A1", 0}, {"BACKUP", 0}, {"PKBACK# ", 0},
      {"X PKBACK# 1 PKBACK# 012", 12},
  };
  for (const Case& c : cases)
    EXPECT_EQ(orb::TDiskManager::DiskNumberFromLabel(c.label), c.number) << c.label;
  EXPECT_STREQ(orb::TDiskManager::DriveTypeNameAt(3), "Fixed");
  EXPECT_STREQ(orb::TDiskManager::DriveTypeNameAt(7), "3\xBD Floppy");
}

TEST(TDiskManager, FixedDriveOfTheArchive) {
  orbtest::ScratchDir dir;
  ASSERT_TRUE(dir.ok());
  orbtest::FakeUserInterface ui;
  orbtest::ScopedUserInterface guard(ui);
  std::string path = dir.Join("a.zip");
  ASSERT_EQ(orbtest::WriteWholeFile(path, TwoFiles().Build()), 0u);
  orb::TUnZIP z(nullptr);
  z.SetArchiveFile(path);
  EXPECT_EQ(z.DiskManager().Drive(), path.substr(0, 2));
  EXPECT_EQ(z.DiskManager().DriveType(), 3);
  EXPECT_EQ(z.DiskManager().DriveTypeName(), "Fixed");
  EXPECT_TRUE(z.DiskManager().DiskReady());
  EXPECT_TRUE(ui.boxes().empty());
}

}  // namespace
