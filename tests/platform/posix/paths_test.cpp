// Path translation through a prefix's drives, and what the names look like on disk.
#include <gtest/gtest.h>

#include <ctime>
#include <fcntl.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/file.h"
#include "platform/fs.h"
#include "platform/types.h"
#include "support/ScratchDir.h"
#include "support/posix/TestPrefix.h"

namespace {

using namespace platform;

class PrefixPaths : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(prefix_.ok());
    data_ = prefix_.dir() + "/data";
    ASSERT_EQ(mkdir(data_.c_str(), 0755), 0);
    ASSERT_EQ(mkdir((data_ + "/Tasks.TSK").c_str(), 0755), 0);
    orbtest::WriteUnixFile(data_ + "/Tasks.TSK/TaskSign.tsk", "sig");
    prefix_.Link('d', data_);
  }
  orbtest::ScopedPrefix prefix_;
  std::string data_;
};

TEST_F(PrefixPaths, DriveLettersResolveThroughDosdevicesIgnoringCase) {
  const struct {
    const char* path;
    std::uint32_t error;
  } cases[] = {
      {"D:\\Tasks.TSK\\TaskSign.tsk", 0},
      {"d:\\tasks.tsk\\TASKSIGN.TSK", 0},
      {"D:/TASKS.tsk/tasksign.tsk", 0},
      {"D:\\Other\\..\\Tasks.TSK\\.\\TaskSign.tsk", 0},
      {"D:\\Tasks.TSK\\Missing.tsk", kErrorFileNotFound},
      {"D:\\NoFolder\\TaskSign.tsk", kErrorPathNotFound},
      {"Q:\\TaskSign.tsk", kErrorPathNotFound},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    std::string bytes;
    EXPECT_EQ(orbtest::ReadWholeFile(c.path, bytes), c.error);
    if (c.error == 0) {
      EXPECT_EQ(bytes, "sig");
    }
  }
  // Unix paths are taken as given, also when a caller joined a name with a backslash.
  std::string bytes;
  EXPECT_EQ(orbtest::ReadWholeFile(data_ + "/Tasks.TSK/TaskSign.tsk", bytes), 0u);
  EXPECT_EQ(orbtest::ReadWholeFile(data_ + "/Tasks.TSK\\TaskSign.tsk", bytes), 0u);
}

TEST_F(PrefixPaths, GbkNamesAreUtf8OnDisk) {
  ASSERT_EQ(CreateDir("D:\\任务乗"), 0u);
  ASSERT_EQ(orbtest::WriteWholeFile("D:\\任务乗\\参数.dbf", "x"), 0u);
  struct stat st;
  EXPECT_EQ(stat((data_ + "/" + reinterpret_cast<const char*>(u8"任务乗/参数.dbf")).c_str(), &st), 0);
}

TEST_F(PrefixPaths, UnixFoldersMapBackToTheLongestDrive) {
  char old_cwd[4096];
  ASSERT_NE(getcwd(old_cwd, sizeof old_cwd), nullptr);
  ASSERT_EQ(chdir((data_ + "/Tasks.TSK").c_str()), 0);
  std::string cwd = CurrentDirectory();
  std::string bytes;
  std::uint32_t relative = orbtest::ReadWholeFile("tasksign.TSK", bytes);
  std::uint32_t rooted_attrs = 0;
  std::uint32_t rooted = GetAttributes("\\Tasks.TSK", rooted_attrs);
  ASSERT_EQ(chdir(prefix_.dir().c_str()), 0);
  std::string outside_d = CurrentDirectory();
  ASSERT_EQ(chdir(old_cwd), 0);
  EXPECT_EQ(cwd, "D:\\Tasks.TSK");  // not Z:\tmp\...: d: is the longer match
  EXPECT_EQ(relative, 0u);
  EXPECT_EQ(bytes, "sig");
  EXPECT_EQ(rooted, 0u);
  EXPECT_EQ(outside_d.substr(0, 3), "Z:\\");
  EXPECT_EQ(ModuleFileName().substr(0, 3), "Z:\\");
}

TEST_F(PrefixPaths, TempPathPrefersTheUsersTempFolderElseAPrivateFolder) {
  std::string temp = TempPath();
  EXPECT_EQ(temp.substr(0, 9), "C:\\users\\");
  EXPECT_EQ(temp.substr(temp.size() - 6), "\\Temp\\");

  // Without the prefix folder: a world-writable TMPDIR gets a private subfolder.
  std::string users = prefix_.dir() + "/drive_c/users";
  ASSERT_EQ(std::system(("rm -rf '" + users + "'").c_str()), 0);
  std::string shared = prefix_.dir() + "/shared-tmp";
  ASSERT_EQ(mkdir(shared.c_str(), 0777), 0);
  ASSERT_EQ(chmod(shared.c_str(), 0777), 0);
  std::string old_tmpdir = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "";
  setenv("TMPDIR", shared.c_str(), 1);
  temp = TempPath();
  if (old_tmpdir.empty()) unsetenv("TMPDIR"); else setenv("TMPDIR", old_tmpdir.c_str(), 1);
  std::string expected_unix = shared + "/orb-" + std::to_string(geteuid());
  struct stat st;
  ASSERT_EQ(stat(expected_unix.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  EXPECT_EQ(temp.substr(0, 3), "Z:\\");
  EXPECT_NE(temp.find("\\shared-tmp\\orb-"), std::string::npos) << temp;
}

TEST_F(PrefixPaths, LocalWriteTimeIsSetInLocalTime) {
  FileHandle h = kNoFile;
  ASSERT_EQ(FileOpen("D:\\stamp.dat", kGenericWrite, 0, kCreateAlways, kFileAttributeNormal, h), 0u);
  ScopedFile f(h);
  LocalTime t{2004, 6, 0, 15, 10, 30, 44, 0};
  ASSERT_EQ(FileSetLocalWriteTime(h, t), 0u);
  f.reset();
  struct tm tm = {};
  tm.tm_year = 104;
  tm.tm_mon = 5;
  tm.tm_mday = 15;
  tm.tm_hour = 10;
  tm.tm_min = 30;
  tm.tm_sec = 44;
  tm.tm_isdst = -1;
  struct stat st;
  ASSERT_EQ(stat((data_ + "/stamp.dat").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, mktime(&tm));
}

// Read-only means no write permission bits, and it binds the superuser too.
TEST_F(PrefixPaths, ReadOnlyFilesRefuseWritingReplacingAndDeleting) {
  ASSERT_EQ(orbtest::WriteWholeFile("D:\\ro.dat", "keep"), 0u);
  ASSERT_EQ(SetAttributes("D:\\ro.dat", kFileAttributeReadOnly), 0u);
  struct stat st;
  ASSERT_EQ(stat((data_ + "/ro.dat").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0222, 0u);
  FileHandle h = kNoFile;
  EXPECT_EQ(FileOpen("D:\\ro.dat", kGenericRead | kGenericWrite, 0, kOpenExisting, 0, h), kErrorAccessDenied);
  EXPECT_EQ(FileOpen("D:\\ro.dat", kGenericRead, 0, kCreateAlways, 0, h), kErrorAccessDenied);
  EXPECT_EQ(RemoveFile("D:\\ro.dat"), kErrorAccessDenied);
  EXPECT_EQ(CopyFileTo("D:\\Tasks.TSK\\TaskSign.tsk", "D:\\ro.dat", false), kErrorAccessDenied);
  std::string bytes;
  ASSERT_EQ(orbtest::ReadWholeFile("D:\\ro.dat", bytes), 0u);
  EXPECT_EQ(bytes, "keep");
}

TEST_F(PrefixPaths, HiddenDotFilesAndReparsePointsInListings) {
  orbtest::WriteUnixFile(data_ + "/.windows-label", "LABEL");
  ASSERT_EQ(symlink("/", (data_ + "/rootlink").c_str()), 0);
  FindHandle find;
  FindData fd;
  std::map<std::string, std::uint32_t> attrs;
  for (std::uint32_t e = find.First("D:\\*", fd); e == 0; e = find.Next(fd)) attrs[fd.name] = fd.attributes;
  EXPECT_EQ(attrs.count("."), 0u) << "a drive root has no . entry";
  EXPECT_TRUE(attrs[".windows-label"] & kFileAttributeHidden);
  EXPECT_EQ(attrs["rootlink"] & (kFileAttributeDirectory | 0x400u), kFileAttributeDirectory | 0x400u);
}

// A symbolic link to a file that does not exist is a name taken by no file: it is neither
// opened nor followed to create a file where it points.
TEST_F(PrefixPaths, LinkToNothingIsRefusedAndNotFollowed) {
  ASSERT_EQ(symlink((data_ + "/target.dat").c_str(), (data_ + "/dangling.dat").c_str()), 0);
  const struct {
    const char* what;
    std::uint32_t disposition;
    std::uint32_t error;
  } cases[] = {
      {"open existing", kOpenExisting, kErrorFileNotFound},
      {"truncate existing", kTruncateExisting, kErrorFileNotFound},
      {"open always", kOpenAlways, kErrorAccessDenied},
      {"create always", kCreateAlways, kErrorAccessDenied},
      {"create new", kCreateNew, kErrorFileExists},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FileHandle h = kNoFile;
    EXPECT_EQ(FileOpen("D:\\dangling.dat", kGenericRead | kGenericWrite, 0, c.disposition,
                       kFileAttributeNormal, h),
              c.error);
    ScopedFile held(h);
    struct stat st;
    EXPECT_NE(stat((data_ + "/target.dat").c_str(), &st), 0) << "created through the link";
  }
}

// A drive's own entry in dosdevices is a symbolic link, but the drive root is no reparse point.
TEST_F(PrefixPaths, DriveRootsAreNoReparsePoints) {
  ASSERT_EQ(symlink("/", (data_ + "/Link").c_str()), 0);
  std::uint32_t attrs = 0;
  ASSERT_EQ(GetAttributes("D:\\", attrs), 0u);
  EXPECT_EQ(attrs, kFileAttributeDirectory);
  std::string found = "stale";
  EXPECT_EQ(FindReparsePoint("D:\\", "D:\\Tasks.TSK\\new.tsk", found), 0u);
  EXPECT_EQ(found, "");
  EXPECT_EQ(FindReparsePoint("d:", "D:\\Tasks.TSK", found), 0u);
  EXPECT_EQ(found, "");
  // Names below the folder are given as they are on disk.
  EXPECT_EQ(FindReparsePoint("D:\\", "d:\\tasks.tsk\\..\\LINK\\x", found), 0u);
  EXPECT_EQ(found, "D:\\Link");
  EXPECT_EQ(FindReparsePoint("D:\\Tasks.TSK", "C:\\Tasks.TSK", found), kErrorInvalidParameter);
  EXPECT_EQ(FindReparsePoint("Q:\\", "Q:\\x", found), kErrorPathNotFound);
  FileHandle h = kNoFile;
  EXPECT_EQ(FileOpen("D:\\Tasks.TSK\\TaskSign.tsk", kGenericRead, 0, kOpenExisting,
                     kFileFlagOpenReparsePoint, h),
            0u);
  ScopedFile f(h);
}

// One step per level: 2,000 nested folders (the most a Unix path of this prefix can hold) are
// walked in a moment, to a link at the bottom.
TEST_F(PrefixPaths, FindReparsePointWalksADeepPathToTheEnd) {
  constexpr int kLevels = 2000;
  int dir = open(data_.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(dir, 0);
  std::string deep = "D:";
  for (int i = 0; i < kLevels; ++i) {
    ASSERT_EQ(mkdirat(dir, "a", 0755), 0) << i;
    int next = openat(dir, "a", O_PATH | O_DIRECTORY | O_CLOEXEC);
    close(dir);
    dir = next;
    ASSERT_GE(dir, 0) << i;
    deep += "\\a";
  }
  ASSERT_EQ(symlinkat("/", dir, "L"), 0);
  close(dir);
  std::string found = "stale";
  EXPECT_EQ(FindReparsePoint("D:\\", deep + "\\L\\f.txt", found), 0u);
  EXPECT_EQ(found, deep + "\\L");
  EXPECT_EQ(FindReparsePoint("D:\\a", deep + "\\new\\f.txt", found), 0u);
  EXPECT_EQ(found, "");
}

}  // namespace

namespace {

// Without a prefix there is no drive: names stay Unix paths, and still work when callers
// append to them with backslashes.
TEST(NoPrefix, TempFolderStillWorks) {
  char tmpl[] = "/tmp/orb-noprefix-XXXXXX";
  std::string tmp = mkdtemp(tmpl);
  std::string old_prefix = std::getenv("WINEPREFIX") ? std::getenv("WINEPREFIX") : "";
  std::string old_tmpdir = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "";
  setenv("WINEPREFIX", (tmp + "/absent").c_str(), 1);
  setenv("TMPDIR", tmp.c_str(), 1);
  std::string temp = platform::TempPath();
  std::uint32_t written = orbtest::WriteWholeFile(temp + "probe.txt", "p");
  std::string name;
  std::uint32_t made = platform::TempFileName(temp, "ORB", name);
  if (old_prefix.empty()) unsetenv("WINEPREFIX"); else setenv("WINEPREFIX", old_prefix.c_str(), 1);
  if (old_tmpdir.empty()) unsetenv("TMPDIR"); else setenv("TMPDIR", old_tmpdir.c_str(), 1);
  EXPECT_EQ(temp, tmp + "\\");
  EXPECT_EQ(written, 0u);
  EXPECT_EQ(made, 0u);
  struct stat st;
  EXPECT_EQ(stat((tmp + "/probe.txt").c_str(), &st), 0);
  EXPECT_EQ(std::system(("rm -rf '" + tmp + "'").c_str()), 0);
}

}  // namespace
