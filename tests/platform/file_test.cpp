#include "platform/file.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "platform/error.h"
#include "platform/fs.h"
#include "platform/process.h"
#include "platform/types.h"
#include "support/ScratchDir.h"

namespace {

using namespace platform;

std::uint32_t Open(const std::string& name, std::uint32_t access, std::uint32_t share,
                   std::uint32_t disposition, ScopedFile& out, std::uint32_t flags = kFileAttributeNormal) {
  FileHandle h = kNoFile;
  std::uint32_t e = FileOpen(name, access, share, disposition, flags, h);
  out.reset(h);
  return e;
}

TEST(FileOpen, DispositionsFollowCreateFile) {
  orbtest::ScratchDir dir;
  ASSERT_TRUE(dir.ok());
  const std::string existing = dir.Join("existing.dat");
  const std::string missing = dir.Join("missing.dat");
  const struct {
    const char* name;
    std::string path;
    std::uint32_t disposition;
    std::uint32_t error;
    std::uint64_t size_after;
  } cases[] = {
      {"create new on existing", existing, kCreateNew, kErrorFileExists, 5},
      {"open existing", existing, kOpenExisting, 0, 5},
      {"open always on existing", existing, kOpenAlways, 0, 5},
      {"create always truncates", existing, kCreateAlways, 0, 0},
      {"truncate existing", existing, kTruncateExisting, 0, 0},
      {"open existing on missing", missing, kOpenExisting, kErrorFileNotFound, 0},
      {"truncate missing", missing, kTruncateExisting, kErrorFileNotFound, 0},
      {"missing folder", dir.Join("nope\\x.dat"), kOpenAlways, kErrorPathNotFound, 0},
      {"create new on missing", missing, kCreateNew, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(orbtest::WriteWholeFile(existing, "12345"), 0u);
    RemoveFile(missing);
    ScopedFile f;
    EXPECT_EQ(Open(c.path, kGenericRead | kGenericWrite, 0, c.disposition, f), c.error);
    EXPECT_EQ(LastError(), c.error);
    EXPECT_EQ(static_cast<bool>(f), c.error == 0);
    if (f) {
      std::uint64_t size = 99;
      EXPECT_EQ(FileGetSize(f.get(), size), 0u);
      EXPECT_EQ(size, c.size_after);
    }
  }
}

TEST(FileOpen, ReadWriteSeekAndSetEnd) {
  orbtest::ScratchDir dir;
  ScopedFile f;
  ASSERT_EQ(Open(dir.Join("rw.dat"), kGenericRead | kGenericWrite, 0, kCreateAlways, f), 0u);
  std::uint32_t done = 0;
  ASSERT_EQ(FileWrite(f.get(), "abcdefgh", 8, done), 0u);
  EXPECT_EQ(done, 8u);
  std::uint64_t pos = 0;
  ASSERT_EQ(FileSeek(f.get(), -3, kFileEnd, pos), 0u);
  EXPECT_EQ(pos, 5u);
  char buf[16] = {};
  ASSERT_EQ(FileRead(f.get(), buf, sizeof buf, done), 0u);
  EXPECT_EQ(std::string(buf, done), "fgh");  // short read at the end is still success
  ASSERT_EQ(FileRead(f.get(), buf, sizeof buf, done), 0u);
  EXPECT_EQ(done, 0u);
  ASSERT_EQ(FileSeek(f.get(), 2, kFileBegin, pos), 0u);
  ASSERT_EQ(FileSetEnd(f.get()), 0u);
  std::uint64_t size = 0;
  ASSERT_EQ(FileGetSize(f.get(), size), 0u);
  EXPECT_EQ(size, 2u);
  EXPECT_NE(FileSeek(f.get(), -10, kFileCurrent, pos), 0u);
}

TEST(FileOpen, ReadOnlyAccessRefusesWritesAndBadHandlesAreRejected) {
  orbtest::ScratchDir dir;
  ASSERT_EQ(orbtest::WriteWholeFile(dir.Join("ro.dat"), "x"), 0u);
  ScopedFile f;
  ASSERT_EQ(Open(dir.Join("ro.dat"), kGenericRead, kFileShareRead, kOpenExisting, f), 0u);
  std::uint32_t done = 0;
  EXPECT_EQ(FileWrite(f.get(), "y", 1, done), kErrorAccessDenied);
  EXPECT_EQ(FileClose(f.release()), 0u);
  EXPECT_EQ(FileRead(12345, nullptr, 0, done), kErrorInvalidHandle);
}

TEST(FileOpen, ReadOnlyAttributeIsSetOnCreationAndCleared) {
  orbtest::ScratchDir dir;
  const std::string name = dir.Join("locked.dat");
  ScopedFile f;
  // Created read-only, the creating handle may still write (as on Windows).
  ASSERT_EQ(Open(name, kGenericWrite, 0, kCreateNew, f, kFileAttributeReadOnly), 0u);
  std::uint32_t done = 0;
  EXPECT_EQ(FileWrite(f.get(), "abc", 3, done), 0u);
  f.reset();
  std::uint32_t attrs = 0;
  ASSERT_EQ(GetAttributes(name, attrs), 0u);
  EXPECT_TRUE(attrs & kFileAttributeReadOnly);
  // (Refusing write access to it is checked on the POSIX build: Wine run by the superuser
  // grants it.)
  EXPECT_EQ(Open(name, kGenericRead, 0, kOpenExisting, f), 0u);
  f.reset();
  ASSERT_EQ(SetAttributes(name, kFileAttributeNormal), 0u);
  ASSERT_EQ(GetAttributes(name, attrs), 0u);
  EXPECT_FALSE(attrs & kFileAttributeReadOnly);
  EXPECT_EQ(Open(name, kGenericRead | kGenericWrite, 0, kOpenExisting, f), 0u);
}

TEST(FileOpen, DeleteOnCloseRemovesTheFile) {
  orbtest::ScratchDir dir;
  const std::string name = dir.Join("temp.dat");
  ScopedFile f;
  ASSERT_EQ(Open(name, kGenericRead | kGenericWrite, 0, kCreateAlways, f,
                 kFileAttributeTemporary | kFileFlagDeleteOnClose), 0u);
  std::uint32_t attrs = 0;
  EXPECT_EQ(GetAttributes(name, attrs), 0u);
  f.reset();
  EXPECT_EQ(GetAttributes(name, attrs), kErrorFileNotFound);
}

TEST(FileOpen, ANameEndingInABackslashIsNoFileName) {
  orbtest::ScratchDir dir;
  ASSERT_TRUE(dir.ok());
  const std::string existing = dir.Join("f.tsk");
  const std::string missing = dir.Join("new.tsk");
  // Windows answers "exists" and "not found" as for the name without the backslash, and
  // refuses everything else as an invalid name.
  const struct {
    std::uint32_t disposition;
    std::uint32_t on_existing;
    std::uint32_t on_missing;
  } cases[] = {
      {kCreateNew, kErrorFileExists, kErrorInvalidName},
      {kCreateAlways, kErrorInvalidName, kErrorInvalidName},
      {kOpenExisting, kErrorInvalidName, kErrorFileNotFound},
      {kOpenAlways, kErrorInvalidName, kErrorInvalidName},
      {kTruncateExisting, kErrorInvalidName, kErrorFileNotFound},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.disposition);
    ASSERT_EQ(orbtest::WriteWholeFile(existing, "12345"), 0u);
    ScopedFile f;
    EXPECT_EQ(Open(existing + "\\", kGenericRead | kGenericWrite, 0, c.disposition, f),
              c.on_existing);
    EXPECT_FALSE(f);
    std::string bytes;
    EXPECT_EQ(orbtest::ReadWholeFile(existing, bytes), 0u);
    EXPECT_EQ(bytes, "12345");
    EXPECT_EQ(Open(missing + "\\", kGenericRead | kGenericWrite, 0, c.disposition, f),
              c.on_missing);
    EXPECT_FALSE(f);
    std::uint32_t attributes = 0;
    EXPECT_NE(GetAttributes(missing, attributes), 0u) << "created";
  }
  // A double-byte character whose trail byte is 0x5C ends the name, not a separator.
  ScopedFile f;
  EXPECT_EQ(Open(dir.Join("乗"), kGenericRead | kGenericWrite, 0, kCreateNew, f), 0u);
}

TEST(FileOpen, NamesMatchWithoutRegardToCase) {
  orbtest::ScratchDir dir;
  ASSERT_EQ(CreateDir(dir.Join("Task.TSK")), 0u);
  ASSERT_EQ(orbtest::WriteWholeFile(dir.Join("Task.TSK\\TaskSign.tsk"), "sig"), 0u);
  std::string bytes;
  EXPECT_EQ(orbtest::ReadWholeFile(dir.Join("task.tsk\\TASKSIGN.TSK"), bytes), 0u);
  EXPECT_EQ(bytes, "sig");
  // Writing through another spelling reaches the same file instead of making a second one.
  ASSERT_EQ(orbtest::WriteWholeFile(dir.Join("TASK.tsk\\tasksign.TSK"), "new"), 0u);
  EXPECT_EQ(orbtest::ReadWholeFile(dir.Join("Task.TSK\\TaskSign.tsk"), bytes), 0u);
  EXPECT_EQ(bytes, "new");
}

TEST(FileOpen, GbkNamesWithBackslashTrailBytesWork) {
  orbtest::ScratchDir dir;
  const std::string folder = dir.Join("乗癨");
  ASSERT_EQ(CreateDir(folder), 0u);
  ASSERT_EQ(orbtest::WriteWholeFile(folder + "\\测试文件乗.txt", "gbk"), 0u);
  std::string bytes;
  EXPECT_EQ(orbtest::ReadWholeFile(folder + "\\测试文件乗.txt", bytes), 0u);
  EXPECT_EQ(bytes, "gbk");
  FindHandle find;
  FindData fd;
  ASSERT_EQ(find.First(folder + "\\*.txt", fd), 0u);
  EXPECT_EQ(fd.name, "测试文件乗.txt");
}

// Sharing between two handles of one process behaves as between two processes.
TEST(FileSharing, ConflictingOpensFailWithSharingViolation) {
  orbtest::ScratchDir dir;
  const std::string name = dir.Join("shared.dat");
  ASSERT_EQ(orbtest::WriteWholeFile(name, "data"), 0u);
  constexpr std::uint32_t R = kGenericRead, W = kGenericWrite, RW = R | W;
  constexpr std::uint32_t SR = kFileShareRead, SW = kFileShareWrite, SRW = SR | SW;
  const struct {
    const char* name;
    std::uint32_t first_access, first_share, second_access, second_share;
    bool second_ok;
  } cases[] = {
      {"two readers sharing read", R, SR, R, SR, true},
      {"reader denying all, then reader", R, 0, R, SRW, false},
      {"writer sharing read, then reader", RW, SR, R, SRW, true},
      {"writer sharing read, then writer", RW, SR, RW, SRW, false},
      {"reader sharing read, then reader denying write", R, SR, R, SR, true},
      {"reader not sharing write, then writer", R, SR, RW, SRW, false},
      {"writer, then reader not sharing write", RW, SRW, R, SR, false},
      {"writer sharing both, then writer sharing both", RW, SRW, W, SRW, true},
      {"the table file's own mode twice", RW, SR, RW, SR, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedFile a, b;
    ASSERT_EQ(Open(name, c.first_access, c.first_share, kOpenExisting, a), 0u);
    std::uint32_t e = Open(name, c.second_access, c.second_share, kOpenExisting, b);
    EXPECT_EQ(e, c.second_ok ? 0u : kErrorSharingViolation);
    a.reset();
    b.reset();
    // Once both are closed nothing is left held.
    ASSERT_EQ(Open(name, RW, 0, kOpenExisting, a), 0u);
  }
}

TEST(FileSharing, CreateAlwaysDoesNotTruncateAFileItMayNotOpen) {
  orbtest::ScratchDir dir;
  const std::string name = dir.Join("keep.dat");
  ASSERT_EQ(orbtest::WriteWholeFile(name, "precious"), 0u);
  ScopedFile holder, other;
  ASSERT_EQ(Open(name, kGenericRead, 0, kOpenExisting, holder), 0u);
  EXPECT_EQ(Open(name, kGenericWrite, kFileShareRead, kCreateAlways, other), kErrorSharingViolation);
  holder.reset();
  std::string bytes;
  ASSERT_EQ(orbtest::ReadWholeFile(name, bytes), 0u);
  EXPECT_EQ(bytes, "precious");
}

// A file comes into being already shared as its creator asked: another handle that finds
// the new name at once is refused, and never makes the creation itself fail.
TEST(FileSharing, AFileBeingCreatedIsNeverOpenedBeforeItsCreatorHasIt) {
  orbtest::ScratchDir dir;
  ASSERT_TRUE(dir.ok());
  constexpr int kFiles = 500;
  std::atomic<int> current{-1};
  std::atomic<bool> done{false};
  std::atomic<int> opened{0};
  std::thread opener([&] {
    while (!done.load()) {
      int i = current.load();
      if (i < 0) continue;
      ScopedFile f;
      if (Open(dir.Join("new" + std::to_string(i) + ".dat"), kGenericRead,
               kFileShareRead | kFileShareWrite, kOpenExisting, f) == 0) {
        ++opened;
      }
    }
  });
  int refused = 0;
  std::uint32_t first_error = 0;
  {
    std::vector<ScopedFile> created(kFiles);  // held to the end: no open of them may succeed
    for (int i = 0; i < kFiles; ++i) {
      current.store(i);
      std::uint32_t e = Open(dir.Join("new" + std::to_string(i) + ".dat"),
                             kGenericRead | kGenericWrite, 0, kCreateNew, created[i]);
      if (e != 0 && refused++ == 0) first_error = e;
    }
    done.store(true);
    opener.join();
  }
  EXPECT_EQ(refused, 0) << "of " << kFiles << " creations; the first failed with " << first_error;
  EXPECT_EQ(opened.load(), 0) << "a file opened while its creator denied all sharing";
}

// Waits for orb_holdfile to report its open; returns its error code text.
std::string WaitForReady(const std::string& ready) {
  for (int i = 0; i < 500; ++i) {
    std::string text;
    if (orbtest::ReadWholeFile(ready, text) == 0 && !text.empty()) return text;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return "timeout";
}

TEST(FileSharing, AnotherProcessHoldingTheFileBlocksConflictingOpens) {
  orbtest::ScratchDir dir;
  const std::string name = dir.Join("CONFIG.TSK");
  const std::string ready = dir.Join("ready.txt");
  ASSERT_EQ(orbtest::WriteWholeFile(name, "table"), 0u);
  ChildProcess holder;
  // The holder opens like the table's file object: read/write, sharing read only.
  ASSERT_EQ(holder.Start(ORB_HOLDFILE, {name, "rw", "r", ready}, true), 0u);
  ASSERT_EQ(WaitForReady(ready), "0");

  ScopedFile f;
  EXPECT_EQ(Open(name, kGenericRead | kGenericWrite, kFileShareRead, kOpenAlways, f),
            kErrorSharingViolation);
  EXPECT_EQ(Open(name, kGenericRead, kFileShareRead, kOpenExisting, f), kErrorSharingViolation)
      << "the holder writes, so a reader must share write";
  EXPECT_EQ(Open(name, kGenericRead, kFileShareRead | kFileShareWrite, kOpenExisting, f), 0u);
  f.reset();

  holder.CloseStdin();
  EXPECT_EQ(holder.Wait(), 0u);
  EXPECT_EQ(Open(name, kGenericRead | kGenericWrite, 0, kOpenExisting, f), 0u);
}

TEST(FileSharing, AProcessIsRefusedWhileWeHoldTheFile) {
  orbtest::ScratchDir dir;
  const std::string name = dir.Join("held.dat");
  const std::string ready = dir.Join("ready.txt");
  ScopedFile mine;
  ASSERT_EQ(Open(name, kGenericRead | kGenericWrite, kFileShareRead, kCreateAlways, mine), 0u);
  ChildProcess child;
  ASSERT_EQ(child.Start(ORB_HOLDFILE, {name, "rw", "rw", ready}, true), 0u);
  EXPECT_EQ(WaitForReady(ready), "32");
  child.CloseStdin();
  EXPECT_EQ(child.Wait(), kErrorSharingViolation);
}

}  // namespace
