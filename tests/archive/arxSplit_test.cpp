// A split set on removable media: two disks of one archive, each holding "set.zip", in a
// removable drive of the test prefix whose disk the handlers change by re-pointing the drive's
// link. Native build only (the prefix's drive links are Unix symlinks).
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/ZipBuilder.h"
#include "archive/arxUnZIP.h"
#include "platform/fs.h"
#include "platform/registry.h"
#include "support/FakeUserInterface.h"
#include "support/PrefixPath.h"
#include "support/ScratchDir.h"

namespace {

namespace fs = std::filesystem;

class SplitSetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.ok());
    // Each test has a drive of its own, so that tests running side by side do not change
    // each other's disk.
    std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    letter_ = name.find("Cancelled") != std::string::npos ? "p" : "q";
    link_ = orbtest::UnixPathInPrefix(letter_ + ":");
    if (link_.empty()) GTEST_SKIP() << "no WINEPREFIX: the test needs a prefix of its own";
    ASSERT_EQ(platform::RegWriteValue(platform::RootKey::LocalMachine, "Software\\Wine\\Drives",
                                      letter_ + ":", platform::kRegSz,
                                      std::string("floppy") + '\0'),
              0u);
    MakeDisks();
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove(link_, ec);
  }

  // One archive cut inside its second entry's data; offsets of the second disk are counted
  // from that disk's start, as a spanning writer records them.
  void MakeDisks() {
    orbtest::ZipBuilder b;
    b.leading = "PK\x07\x08";
    b.Add({.name = "a.txt", .data = std::string(100, 'a')});
    for (int i = 0; i < 5000; ++i) big_ += static_cast<char>(i * 31 % 251);
    b.Add({.name = "dir/b.bin", .data = big_});
    b.Add({.name = "c.txt", .data = "on the last disk"});
    std::string all = b.Build();
    const std::uint32_t cut = b.offsets[1] + 30 + 9 + 2000;  // inside b.bin's data
    std::string disk1 = all.substr(0, cut), disk2 = all.substr(cut);
    // Central headers: c.txt's local offset and disk; the end record: this disk 1, the central
    // directory on disk 1 at its offset within disk 2.
    std::size_t cd = b.central_offset - cut;
    std::size_t p = cd;
    for (int i = 0; i < 3; ++i) {
      std::uint16_t name_len = static_cast<std::uint8_t>(disk2[p + 28]) |
                               static_cast<std::uint8_t>(disk2[p + 29]) << 8;
      if (i == 2) {
        std::string v;
        orbtest::ZipBuilder::Put32(v, b.offsets[2] - cut);
        disk2.replace(p + 42, 4, v);
        disk2[p + 34] = 1;
      }
      p += 46 + name_len;
    }
    std::string er;
    orbtest::ZipBuilder::Put16(er, 1);
    orbtest::ZipBuilder::Put16(er, 1);
    disk2.replace(p + 4, 4, er);
    std::string off;
    orbtest::ZipBuilder::Put32(off, static_cast<std::uint32_t>(cd));
    disk2.replace(p + 16, 4, off);

    for (int d = 1; d <= 2; ++d) {
      std::string win = dir_.Join("disk" + std::to_string(d));
      ASSERT_EQ(platform::CreateDir(win), 0u);
      ASSERT_EQ(orbtest::WriteWholeFile(win + "\\.windows-label", "PKBACK# 00" + std::to_string(d)),
                0u);
      ASSERT_EQ(orbtest::WriteWholeFile(win + "\\set.zip", d == 1 ? disk1 : disk2), 0u);
      disks_[d] = orbtest::UnixPathInPrefix(win);
      ASSERT_FALSE(disks_[d].empty());
    }
  }

  void Insert(int disk) {
    std::error_code ec;
    fs::remove(link_, ec);
    fs::create_directory_symlink(disks_[disk], link_, ec);
    ASSERT_FALSE(ec) << ec.message();
    inserted_.push_back(disk);
  }

  orbtest::ScratchDir dir_;
  orbtest::FakeUserInterface ui_;
  orbtest::ScopedUserInterface ui_guard_{ui_};
  std::string Archive() const { return letter_ + ":\\set.zip"; }

  std::string letter_;
  std::string link_;
  std::string disks_[3];
  std::string big_;
  std::vector<int> inserted_;
};

TEST_F(SplitSetTest, DiskSequenceFromTheLastDisk) {
  for (int start : {2, 1}) {
    SCOPED_TRACE(start == 2 ? "last disk in the drive" : "first disk in the drive");
    inserted_.clear();
    Insert(start);
    orb::TUnZIP z(nullptr);
    z.SetArchiveFile(Archive());
    EXPECT_EQ(z.ArcType(), orb::TArcType::atZipMV);
    EXPECT_EQ(z.DiskManager().DriveType(), 2);
    std::string out = dir_.Join(start == 2 ? "out2" : "out1");
    z.SetExtractDir(out);
    z.SetConfirmOverwrites(false);
    z.SetFileSpec({"*.*"});
    std::vector<std::string> events;
    z.OnGetZipLastDisk = [&](orb::TObject*, bool& cancel) {
      events.push_back("last");
      Insert(2);
      cancel = false;
    };
    z.OnGetZipFirstDisk = [&](orb::TObject*, bool& cancel) {
      events.push_back("first");
      Insert(1);
      cancel = false;
    };
    z.OnGetZipNextDisk = [&](orb::TObject*, const std::string& volume, bool& cancel) {
      events.push_back("next " + volume);
      Insert(2);
      cancel = false;
    };
    std::vector<std::string> problems;
    z.OnError = [&](orb::TObject*, const std::string& fn, const std::string&, const std::string&,
                    int code) { problems.push_back(std::to_string(code) + " " + fn); };
    z.OnEnd = [&](orb::TObject*, const std::string& fn, bool pass) {
      if (!pass) problems.push_back("crc " + fn);
    };
    EXPECT_EQ(z.Extract(), 3);
    EXPECT_TRUE(problems.empty()) << ::testing::PrintToString(problems);
    if (start == 2) {
      EXPECT_EQ(events, (std::vector<std::string>{"first", "next 2"}));
    } else {
      EXPECT_EQ(events, (std::vector<std::string>{"last", "first", "next 2"}));
    }
    std::string data;
    ASSERT_EQ(orbtest::ReadWholeFile(out + "\\dir\\b.bin", data), 0u);
    EXPECT_EQ(data, big_);
    ASSERT_EQ(orbtest::ReadWholeFile(out + "\\c.txt", data), 0u);
    EXPECT_EQ(data, "on the last disk");
    EXPECT_EQ(z.ArchiveFile(), Archive());
  }
}

TEST_F(SplitSetTest, CancelledDiskPromptEndsQuietly) {
  Insert(2);
  orb::TUnZIP z(nullptr);
  z.SetArchiveFile(Archive());
  z.SetExtractDir(dir_.Join("out"));
  z.SetFileSpec({"*.*"});
  int errors = 0;
  z.OnError = [&](orb::TObject*, const std::string&, const std::string&, const std::string&,
                  int) { ++errors; };
  // No OnGetZipFirstDisk: an event that is not assigned counts as cancelled.
  EXPECT_EQ(z.Extract(), 0);
  EXPECT_EQ(errors, 0);
}

}  // namespace
