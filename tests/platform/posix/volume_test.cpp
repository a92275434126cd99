// Drives of the prefix: types from HKLM\Software\Wine\Drives, labels and serials from the
// drive's files, and a removable drive whose disk is changed by re-pointing its link.
#include "platform/volume.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include "platform/registry.h"
#include "platform/types.h"
#include "support/posix/TestPrefix.h"

namespace {

using namespace platform;

class PrefixDrives : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(prefix_.ok());
    for (const char* d : {"/disk1", "/disk2", "/cd", "/net"}) {
      ASSERT_EQ(mkdir((prefix_.dir() + d).c_str(), 0755), 0);
    }
    orbtest::WriteUnixFile(prefix_.dir() + "/disk1/.windows-label", "PKBACK# 001\n");
    orbtest::WriteUnixFile(prefix_.dir() + "/disk1/.windows-serial", "1a2b3c4d\n");
    orbtest::WriteUnixFile(prefix_.dir() + "/disk2/.windows-label",
                           reinterpret_cast<const char*>(u8"PKBACK# 002"));
    orbtest::WriteUnixFile(prefix_.dir() + "/cd/.windows-label", reinterpret_cast<const char*>(u8"光盘"));
    prefix_.Link('a', prefix_.dir() + "/nothing-inserted");
    prefix_.Link('e', prefix_.dir() + "/cd");
    prefix_.Link('n', prefix_.dir() + "/net");
    // Wine keeps the drive types in the 64-bit view; a 32-bit program's write lands in the
    // Wow6432Node one. Both are honoured.
    orbtest::WriteUnixFile(prefix_.dir() + "/system.reg",
                           orbtest::ReadUnixFile(prefix_.dir() + "/system.reg") +
                               "[Software\\\\Wine\\\\Drives] 1796877060\n"
                               "\"a:\"=\"floppy\"\n\"e:\"=\"cdrom\"\n");
    ASSERT_EQ(RegWriteValue(RootKey::LocalMachine, "Software\\Wine\\Drives", "n:", kRegSz,
                            std::string("network\0", 8)), 0u);
  }
  orbtest::ScopedPrefix prefix_;
};

TEST_F(PrefixDrives, TypesComeFromTheRegistryElseFixedOrAbsent) {
  const struct {
    const char* root;
    std::uint32_t type;
  } cases[] = {
      {"A:\\", kDriveRemovable}, {"a:", kDriveRemovable}, {"E:\\", kDriveCdrom},
      {"N:\\", kDriveRemote},    {"C:\\", kDriveFixed},   {"Z:\\", kDriveFixed},
      {"Q:\\", kDriveNoRootDir}, {"\\\\server\\share\\", kDriveRemote},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.root);
    EXPECT_EQ(DriveType(c.root), c.type);
  }
}

TEST_F(PrefixDrives, ChangingTheDiskInARemovableDrive) {
  VolumeInfo info;
  EXPECT_EQ(QueryVolume("A:\\", info), kErrorNotReady) << "no disk";
  DiskFreeSpace space;
  EXPECT_EQ(QueryFreeSpace("A:\\", space), kErrorNotReady);

  prefix_.Link('a', prefix_.dir() + "/disk1");
  ASSERT_EQ(QueryVolume("A:\\", info), 0u);
  EXPECT_EQ(info.label, "PKBACK# 001");
  EXPECT_EQ(info.serial, 0x1A2B3C4Du);
  EXPECT_EQ(info.file_system_name, "FAT");
  ASSERT_EQ(QueryFreeSpace("A:\\", space), 0u);
  EXPECT_GT(space.total_clusters, 0u);
  EXPECT_GT(space.bytes_per_sector, 0u);
  EXPECT_LE(space.free_clusters, space.total_clusters);

  prefix_.Link('a', prefix_.dir() + "/disk2");
  ASSERT_EQ(QueryVolume("A:\\", info), 0u);
  EXPECT_EQ(info.label, "PKBACK# 002");
  EXPECT_EQ(info.serial, 0u);
}

TEST_F(PrefixDrives, LabelsAreGbkAndMissingDrivesFail) {
  VolumeInfo info;
  ASSERT_EQ(QueryVolume("E:\\", info), 0u);
  EXPECT_EQ(info.label, "光盘");
  ASSERT_EQ(QueryVolume("C:\\", info), 0u);
  EXPECT_EQ(info.file_system_name, "NTFS");
  EXPECT_EQ(info.max_component_length, 255u);
  EXPECT_EQ(QueryVolume("Q:\\", info), kErrorPathNotFound);
}

TEST(ErrorMode, SetErrorModeReturnsThePreviousMode) {
  std::uint32_t original = SetErrorMode(kSemFailCriticalErrors);
  EXPECT_EQ(SetErrorMode(kSemNoOpenFileErrorBox), kSemFailCriticalErrors);
  EXPECT_EQ(SetErrorMode(original), kSemNoOpenFileErrorBox);
  std::uint8_t bios = 7;
  EXPECT_FALSE(QueryFloppyBiosType(0, bios));
}

}  // namespace
