// TWin32File, RaiseLastError, IsFile and ListSubdirs against real files through the
// operating-system layer.
#include "_OrbLib/OrbWin.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/fs.h"
#include "platform/types.h"
#include "support/ScratchDir.h"

namespace {

using orb::EAssertionFailed;
using orb::EWin32Error;
using orb::EWin32FileError;
using orb::TWin32File;
using orbtest::ScratchDir;

std::string ReadAll(const std::string& path) {
  std::string bytes;
  EXPECT_EQ(orbtest::ReadWholeFile(path, bytes), 0u) << path;
  return bytes;
}

void WriteAll(const std::string& path, const std::string& bytes) {
  ASSERT_EQ(orbtest::WriteWholeFile(path, bytes), 0u) << path;
}

// Counts the system calls the object makes, and can make one of them fail.
class CountingFile : public TWin32File {
 public:
  int opens = 0, seeks = 0, reads = 0, writes = 0, set_ends = 0, closes = 0;
  std::uint32_t open_access = 0, open_share = 0, open_disposition = 0, open_flags = 0;
  std::vector<std::uint32_t> write_sizes;
  std::uint32_t fail_get_size = 0;  // error code to return from GetFileSize, 0 = none

 protected:
  std::uint32_t SysOpen(const std::string& name, std::uint32_t access, std::uint32_t share,
                        std::uint32_t disposition, std::uint32_t flags,
                        platform::FileHandle& out) override {
    ++opens;
    open_access = access;
    open_share = share;
    open_disposition = disposition;
    open_flags = flags;
    return TWin32File::SysOpen(name, access, share, disposition, flags, out);
  }
  std::uint32_t SysGetSize(platform::FileHandle h, std::uint64_t& size) override {
    if (fail_get_size != 0) return fail_get_size;
    return TWin32File::SysGetSize(h, size);
  }
  std::uint32_t SysSeek(platform::FileHandle h, std::int64_t offset, std::uint32_t origin,
                        std::uint64_t& pos) override {
    ++seeks;
    return TWin32File::SysSeek(h, offset, origin, pos);
  }
  std::uint32_t SysRead(platform::FileHandle h, void* b, std::uint32_t n,
                        std::uint32_t& done) override {
    ++reads;
    return TWin32File::SysRead(h, b, n, done);
  }
  std::uint32_t SysWrite(platform::FileHandle h, const void* b, std::uint32_t n,
                         std::uint32_t& done) override {
    ++writes;
    write_sizes.push_back(n);
    return TWin32File::SysWrite(h, b, n, done);
  }
  std::uint32_t SysSetEnd(platform::FileHandle h) override {
    ++set_ends;
    return TWin32File::SysSetEnd(h);
  }
  std::uint32_t SysClose(platform::FileHandle h) override {
    ++closes;
    return TWin32File::SysClose(h);
  }
};

// Runs `f`, expects an exception of type E and returns its message.
template <typename E, typename F>
std::string MessageOf(F&& f) {
  try {
    f();
  } catch (const E& e) {
    return e.what();
  } catch (const std::exception& e) {
    ADD_FAILURE() << "other exception: " << e.what();
    return {};
  }
  ADD_FAILURE() << "no exception";
  return {};
}

// The file-object tests each work in a scratch folder of their own.
class ScratchFileTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir.ok()); }
  ScratchDir dir;
};
class Win32FileOptions : public ScratchFileTest {};
class Win32FileOpen : public ScratchFileTest {};
class Win32FileTransfer : public ScratchFileTest {};

// ---- Options ----------------------------------------------------------------------

TEST_F(Win32FileOptions, DefaultsAndSideEffectsOfTheSetters) {
  TWin32File f;
  EXPECT_FALSE(f.Active());
  EXPECT_TRUE(f.Exclusive());
  EXPECT_FALSE(f.ReadOnly());
  EXPECT_EQ(f.Handle(), platform::kNoFile);

  f.SetAutoDelete(true);
  f.SetTrucExisting(true);
  f.SetReadOnly(true);
  EXPECT_TRUE(f.ReadOnly());
  EXPECT_FALSE(f.AutoDelete()) << "ReadOnly clears AutoDelete";
  EXPECT_FALSE(f.TrucExisting()) << "ReadOnly clears TrucExisting";

  f.SetTrucExisting(true);
  EXPECT_FALSE(f.ReadOnly()) << "TrucExisting clears ReadOnly";
  f.SetReadOnly(true);
  f.SetAutoDelete(true);
  EXPECT_FALSE(f.ReadOnly()) << "AutoDelete clears ReadOnly";

  f.SetRandomAccess(true);
  f.SetSequentialScan(true);
  EXPECT_FALSE(f.RandomAccess());
  EXPECT_TRUE(f.SequentialScan());
  f.SetRandomAccess(true);
  EXPECT_FALSE(f.SequentialScan());

  f.SetExclusive(false);
  f.SetTemporary(true);
  EXPECT_TRUE(f.RandomAccess()) << "Exclusive and Temporary touch nothing else";
  EXPECT_FALSE(f.ReadOnly());
}

TEST_F(Win32FileOptions, OpenParametersFollowTheOptions) {
  struct Case {
    const char* name;
    bool read_only, exclusive, temporary, auto_delete, truc, random, sequential;
    std::uint32_t access, disposition, flags;
  };
  const Case cases[] = {
      {"defaults", false, true, false, false, false, false, false, 0xC0000000u, 4, 0x80},
      {"read-only", true, true, false, false, false, false, false, 0x80000000u, 3, 0x80},
      {"not exclusive", false, false, false, false, false, false, false, 0xC0000000u, 4, 0x80},
      {"truncate", false, true, false, false, true, false, false, 0xC0000000u, 2, 0x80},
      {"temporary", false, true, true, false, false, false, false, 0xC0000000u, 4, 0x180},
      {"auto delete", false, true, false, true, false, false, false, 0xC0000000u, 4,
       0x04000080u},
      {"random", false, true, false, false, false, true, false, 0xC0000000u, 4, 0x10000080u},
      {"sequential", false, true, false, false, false, false, true, 0xC0000000u, 4,
       0x08000080u},
  };
  const std::string path = dir.Join("opts.bin");
  WriteAll(path, "x");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CountingFile f;
    f.SetFileName(path);
    f.SetReadOnly(c.read_only);
    f.SetExclusive(c.exclusive);
    f.SetTemporary(c.temporary);
    if (c.auto_delete) f.SetAutoDelete(true);
    if (c.truc) f.SetTrucExisting(true);
    if (c.random) f.SetRandomAccess(true);
    if (c.sequential) f.SetSequentialScan(true);
    if (c.auto_delete) {
      // Deleting on close would take the file from the next cases: check the parameters
      // the object would pass without opening.
      EXPECT_EQ(f.FlagsAndAttributes(), c.flags);
      continue;
    }
    f.SetActive(true);
    ASSERT_TRUE(f.Active());
    EXPECT_EQ(f.open_access, c.access);
    EXPECT_EQ(f.open_share, 1u) << "read sharing only, whatever Exclusive says";
    EXPECT_EQ(f.open_disposition, c.disposition);
    EXPECT_EQ(f.open_flags, c.flags);
    f.Close();
    if (c.truc) WriteAll(path, "x");
  }
}

TEST_F(Win32FileOptions, ChangingAnOptionOfAnOpenObjectIsAnAssertionFailure) {
  TWin32File f;
  f.Open(dir.Join("a.bin"), false, true);
  const std::vector<std::pair<const char*, std::function<void()>>> setters = {
      {"FileName", [&] { f.SetFileName("x"); }},
      {"ReadOnly", [&] { f.SetReadOnly(true); }},
      {"Exclusive", [&] { f.SetExclusive(false); }},
      {"Temporary", [&] { f.SetTemporary(true); }},
      {"AutoDelete", [&] { f.SetAutoDelete(true); }},
      {"TrucExisting", [&] { f.SetTrucExisting(true); }},
      {"RandomAccess", [&] { f.SetRandomAccess(true); }},
      {"SequentialScan", [&] { f.SetSequentialScan(true); }},
  };
  for (const auto& [name, set] : setters) {
    SCOPED_TRACE(name);
    try {
      set();
      ADD_FAILURE() << "no assertion failure";
    } catch (const EAssertionFailed& e) {
      EXPECT_EQ(e.Unit(), "_OrbLib/OrbWin");
      EXPECT_GT(e.Line(), 0);
      EXPECT_NE(std::string(e.what()).find("_OrbLib/OrbWin"), std::string::npos);
    }
  }
  EXPECT_FALSE(f.ReadOnly());
  EXPECT_TRUE(f.Exclusive());
  EXPECT_FALSE(f.AutoDelete());
}

// ---- Opening and closing ----------------------------------------------------------

TEST_F(Win32FileOpen, MisuseAndMissingFilesRaiseTheirTexts) {
  const std::string missing = dir.Join("missing.dbf");

  TWin32File unnamed;
  EXPECT_EQ(MessageOf<EWin32FileError>([&] { unnamed.SetActive(true); }), "文件名没有指定");

  TWin32File f;
  bool before_open_called = false;
  f.OnBeforeOpen = [&](TWin32File&) { before_open_called = true; };
  EXPECT_EQ(MessageOf<EWin32FileError>([&] { f.Open(missing, true, true); }),
            "文件 " + missing + " 不存在");
  EXPECT_FALSE(before_open_called) << "the existence check comes before DoBeforeOpen";
  EXPECT_FALSE(f.Active());
  std::uint32_t attributes = 0;
  EXPECT_NE(platform::GetAttributes(missing, attributes), 0u) << "nothing was created";

  // A folder is not a file for a read-only open.
  EXPECT_EQ(MessageOf<EWin32FileError>([&] { f.Open(dir.path(), true, true); }),
            "文件 " + dir.path() + " 不存在");
}

TEST_F(Win32FileOpen, OpenAlwaysCreatesAndTrucExistingTruncates) {
  const std::string path = dir.Join("new.bin");
  {
    TWin32File f;
    f.Open(path, false, true);
    EXPECT_TRUE(f.Active());
    EXPECT_EQ(f.Size(), 0u);
    f.WriteBuffer("hello", 5);
  }
  EXPECT_EQ(ReadAll(path), "hello") << "the destructor closes the file";
  {
    TWin32File f;
    f.SetFileName(path);
    f.SetActive(true);
    EXPECT_EQ(f.Size(), 5u) << "an existing file is opened, not truncated";
    EXPECT_EQ(f.Position(), 0u);
  }
  {
    TWin32File f;
    f.SetFileName(path);
    f.SetTrucExisting(true);
    f.SetActive(true);
    EXPECT_EQ(f.Size(), 0u);
  }
  EXPECT_EQ(ReadAll(path), "");
}

TEST_F(Win32FileOpen, ActiveOnAnOpenObjectDoesNothingWhileOpenRaises) {
  const std::string path = dir.Join("twice.bin");
  CountingFile f;
  f.Open(path, false, true);
  const platform::FileHandle h = f.Handle();
  f.SetActive(true);
  EXPECT_EQ(f.opens, 1);
  EXPECT_EQ(f.Handle(), h);
  EXPECT_EQ(MessageOf<EWin32FileError>([&] { f.Open(path, false, true); }),
            "文件 " + path + " 已经打开");
  EXPECT_TRUE(f.Active());
  f.SetActive(false);
  f.SetActive(false);
  EXPECT_EQ(f.closes, 1);
}

TEST_F(Win32FileOpen, NotificationsRunInOrderAndSizeAndPositionSurviveTheClose) {
  const std::string path = dir.Join("events.bin");
  WriteAll(path, "0123456789");
  std::vector<std::string> log;
  TWin32File f;
  f.OnBeforeOpen = [&](TWin32File& o) { log.push_back("before-open " + std::to_string(o.Active())); };
  f.OnAfterOpen = [&](TWin32File& o) { log.push_back("after-open " + std::to_string(o.Size())); };
  f.OnBeforeClose = [&](TWin32File& o) { log.push_back("before-close " + std::to_string(o.Active())); };
  f.OnAfterClose = [&](TWin32File& o) { log.push_back("after-close " + std::to_string(o.Active())); };
  f.Open(path, true, true);
  f.Seek(3, 0);
  f.Close();
  EXPECT_EQ(log, (std::vector<std::string>{"before-open 0", "after-open 10", "before-close 1",
                                           "after-close 0"}));
  EXPECT_EQ(f.Size(), 10u);
  EXPECT_EQ(f.Position(), 3u);
  f.Open(path, true, true);
  EXPECT_EQ(f.Position(), 0u) << "reset at the next open";
}

TEST_F(Win32FileOpen, FailedSizeQueryClosesTheHandleAndRaises) {
  const std::string path = dir.Join("size.bin");
  CountingFile f;
  f.fail_get_size = platform::kErrorInvalidHandle;
  bool after_open = false;
  f.OnAfterOpen = [&](TWin32File&) { after_open = true; };
  try {
    f.Open(path, false, true);
    FAIL() << "no exception";
  } catch (const EWin32Error& e) {
    EXPECT_EQ(e.ErrorCode(), platform::kErrorInvalidHandle);
    EXPECT_EQ(std::string(e.what()).rfind("获取文件 " + path + " 大小错误\r\n错误号：6\r\n", 0), 0u)
        << e.what();
  }
  EXPECT_FALSE(f.Active());
  EXPECT_EQ(f.closes, 1);
  EXPECT_FALSE(after_open);
}

TEST_F(Win32FileOpen, SecondOpenForWritingOfTheSameFileIsASharingViolation) {
  const std::string path = dir.Join("shared.dbf");
  TWin32File first;
  first.Open(path, false, true);
  TWin32File second;
  try {
    second.Open(path, false, true);
    FAIL() << "no exception";
  } catch (const EWin32Error& e) {
    EXPECT_EQ(e.ErrorCode(), platform::kErrorSharingViolation);
    const std::string prefix = "打开文件 " + path + " 错误\r\n错误号：32\r\n错误信息：";
    EXPECT_EQ(std::string(e.what()).rfind(prefix, 0), 0u) << e.what();
  }
  EXPECT_FALSE(second.Active());
  EXPECT_TRUE(first.Active());
  // Reading is shared: a reader that lets the writer keep writing gets in.
  platform::FileHandle h = platform::kNoFile;
  EXPECT_EQ(platform::FileOpen(path, platform::kGenericRead,
                               platform::kFileShareRead | platform::kFileShareWrite,
                               platform::kOpenExisting, platform::kFileAttributeNormal, h),
            0u);
  platform::ScopedFile reader(h);
  // A second file object reading only still refuses to share with the writer.
  TWin32File ro;
  EXPECT_THROW(ro.Open(path, true, true), EWin32Error);
}

TEST_F(Win32FileOpen, CloseFailureStillLeavesTheObjectClosed) {
  const std::string path = dir.Join("close.bin");
  TWin32File f;
  bool after_close = false;
  f.OnAfterClose = [&](TWin32File&) { after_close = true; };
  f.Open(path, false, true);
  // The handle is closed behind the object's back, so its own close fails honestly.
  ASSERT_EQ(platform::FileClose(f.Handle()), 0u);
  try {
    f.Close();
    FAIL() << "no exception";
  } catch (const EWin32Error& e) {
    EXPECT_EQ(e.ErrorCode(), platform::kErrorInvalidHandle);
    EXPECT_EQ(std::string(e.what()).rfind("关闭文件 " + path + " 错误\r\n", 0), 0u) << e.what();
  }
  EXPECT_EQ(f.Handle(), platform::kNoFile);
  EXPECT_FALSE(f.Active());
  EXPECT_FALSE(after_close);
}

// ---- Transfers --------------------------------------------------------------------

TEST_F(Win32FileTransfer, SeekToTheCachedPositionMakesNoSystemCall) {
  const std::string path = dir.Join("seek.bin");
  WriteAll(path, "abcdefghij");
  CountingFile f;
  f.Open(path, true, true);
  EXPECT_EQ(f.Seek(0, 0), 0u);
  EXPECT_EQ(f.seeks, 0) << "already at 0";
  EXPECT_EQ(f.Seek(0, 2), 10u);
  EXPECT_EQ(f.seeks, 1);
  EXPECT_EQ(f.Seek(0, 2), 10u);
  EXPECT_EQ(f.Seek(10, 0), 10u);
  EXPECT_EQ(f.Seek(0, 1), 10u);
  EXPECT_EQ(f.seeks, 1) << "the position is cached";
  EXPECT_EQ(f.Seek(-4, 2), 6u);
  EXPECT_EQ(f.Seek(-2, 1), 4u);
  EXPECT_EQ(f.seeks, 3);
  char b[2];
  f.ReadBuffer(b, 2);
  EXPECT_EQ(std::string(b, 2), "ef") << "the system's position matches the cached one";
  EXPECT_EQ(f.Position(), 6u);
  EXPECT_EQ(MessageOf<EWin32FileError>([&] { f.Seek(0, 3); }), "参数错误");
  f.Close();
  EXPECT_EQ(MessageOf<EWin32FileError>([&] { f.Seek(0, 0); }), "文件 " + path + " 没有打开");
  EXPECT_EQ(MessageOf<EWin32FileError>([&] { f.Read(b, 1); }), "文件 " + path + " 没有打开");
}

TEST_F(Win32FileTransfer, ShortReadBufferRaisesAndLeavesThePositionAdvanced) {
  const std::string path = dir.Join("short.bin");
  WriteAll(path, "0123456789");
  TWin32File f;
  f.Open(path, true, true);
  f.Seek(-2, 2);
  char b[4] = {};
  EXPECT_EQ(MessageOf<EWin32FileError>([&] { f.ReadBuffer(b, 4); }),
            "读文件 " + path + " 长度不对");
  EXPECT_EQ(f.Position(), 10u);
  EXPECT_EQ(std::string(b, 2), "89");
  // Reading past the end transfers nothing and changes neither Size nor Position.
  EXPECT_EQ(f.Read(b, 4), 0u);
  EXPECT_EQ(f.Size(), 10u);
  EXPECT_EQ(f.Position(), 10u);
  f.ReadBuffer(b, 0);  // a count of 0 does nothing
}

TEST_F(Win32FileTransfer, WritesGrowSizeAndReadOnlyObjectsRefuseThem) {
  const std::string path = dir.Join("grow.bin");
  WriteAll(path, "abc");
  {
    TWin32File f;
    f.Open(path, false, true);
    f.Seek(2, 0);
    f.WriteBuffer("XYZ", 3);
    EXPECT_EQ(f.Size(), 5u);
    EXPECT_EQ(f.Position(), 5u);
    f.Seek(0, 0);
    f.WriteBuffer("_", 1);
    EXPECT_EQ(f.Size(), 5u) << "a write inside the file keeps the size";
    f.Seek(0, 0);
    EXPECT_EQ(f.ReadInteger(), static_cast<std::int32_t>(0x5958625F)) << "little-endian";
  }
  EXPECT_EQ(ReadAll(path), "_bXYZ");
  TWin32File ro;
  ro.Open(path, true, true);
  EXPECT_EQ(MessageOf<EWin32FileError>([&] { ro.Write("q", 1); }),
            "文件 " + path + " 以只读方式打开，不能写");
}

TEST_F(Win32FileTransfer, WriteFillWritesChunksOf64ThroughTheWriteSlot) {
  const std::string path = dir.Join("fill.bin");
  CountingFile f;
  f.Open(path, false, true);
  f.WriteFill(0x2A, 130);
  EXPECT_EQ(f.write_sizes, (std::vector<std::uint32_t>{64, 64, 2}));
  f.WriteFill(0x2B, 0);
  EXPECT_EQ(f.writes, 3);
  EXPECT_EQ(f.Size(), 130u);
  f.Close();
  EXPECT_EQ(ReadAll(path), std::string(130, '*'));
}

// A file class whose Write stores only part of each request, as a full disk would.
class HalfWriter : public TWin32File {
 public:
  std::uint32_t Write(const void* buffer, std::uint32_t count) override {
    return TWin32File::Write(buffer, count / 2);
  }
};

TEST_F(Win32FileTransfer, ShortWriteBufferRaisesItsLengthError) {
  const std::string path = dir.Join("half.bin");
  HalfWriter f;
  f.Open(path, false, true);
  EXPECT_EQ(MessageOf<EWin32FileError>([&] { f.WriteBuffer("abcd", 4); }),
            "写文件 " + path + " 长度不对");
  EXPECT_EQ(f.Size(), 2u);
}

TEST_F(Win32FileTransfer, SetSizeCutsAndGrowsAndFailsOnReadOnlyObjects) {
  const std::string path = dir.Join("size.bin");
  WriteAll(path, "0123456789");
  {
    TWin32File f;
    f.Open(path, false, true);
    f.SetSize(4);
    EXPECT_EQ(f.Size(), 4u);
    EXPECT_EQ(f.Position(), 4u) << "the position stays at the new end";
    f.SetSize(6);
    EXPECT_EQ(f.Size(), 6u);
  }
  EXPECT_EQ(ReadAll(path), std::string("0123\0\0", 6));

  TWin32File ro;
  ro.Open(path, true, true);
  try {
    ro.SetSize(2);
    FAIL() << "no exception";
  } catch (const EWin32Error& e) {
    // Windows says access denied; Wine answers SetEndOfFile on a read-only handle with
    // "invalid parameter". Either way the system's code and text are reported.
    EXPECT_TRUE(e.ErrorCode() == platform::kErrorAccessDenied ||
                e.ErrorCode() == platform::kErrorInvalidParameter)
        << e.ErrorCode();
    const std::string prefix = "设置文件 " + path + " 大小错误\r\n错误号：" +
                               std::to_string(e.ErrorCode()) + "\r\n错误信息：";
    EXPECT_EQ(std::string(e.what()).rfind(prefix, 0), 0u) << e.what();
  }
  EXPECT_EQ(ro.Size(), 6u);
}

TEST_F(Win32FileTransfer, FileOfExactly0xFFFFFFFFBytesOpens) {
  const std::string path = dir.Join("big.bin");
  {
    TWin32File f;
    f.Open(path, false, true);
    f.SetSize(0xFFFFFFFFull);  // sparse where the file system allows it
  }
  TWin32File f;
  f.Open(path, true, true);
  EXPECT_EQ(f.Size(), 0xFFFFFFFFull);
  EXPECT_EQ(f.Seek(0, 2), 0xFFFFFFFFu);
  f.Close();
  platform::RemoveFile(path);
}

TEST(Win32FileAssign, AssignFromCopiesNameOptionsAndHandlers) {
  TWin32File source;
  source.SetFileName("C:\\t\\x.dbf");
  source.SetReadOnly(true);
  source.SetExclusive(false);
  source.SetTemporary(true);
  source.SetSequentialScan(true);
  int opened = 0;
  source.OnAfterOpen = [&](TWin32File&) { ++opened; };

  TWin32File target;
  target.SetRandomAccess(true);
  target.AssignFrom(nullptr);
  EXPECT_TRUE(target.RandomAccess()) << "nullptr assigns nothing";
  target.AssignFrom(&source);
  EXPECT_EQ(target.FileName(), "C:\\t\\x.dbf");
  EXPECT_TRUE(target.ReadOnly());
  EXPECT_FALSE(target.Exclusive());
  EXPECT_TRUE(target.Temporary());
  EXPECT_TRUE(target.SequentialScan());
  EXPECT_FALSE(target.RandomAccess());
  ASSERT_TRUE(static_cast<bool>(target.OnAfterOpen));
  target.OnAfterOpen(target);
  EXPECT_EQ(opened, 1);
  EXPECT_FALSE(target.OnBeforeOpen);

  auto made = TWin32File::Class()();
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(made->Owner(), nullptr);
}

// ---- RaiseLastError ---------------------------------------------------------------

TEST(RaiseLastError, FormatsCodeAndTrimmedSystemText) {
  platform::SetLastError(0);
  EXPECT_NO_THROW(orb::RaiseLastError("无错误"));

  for (std::uint32_t code : {2u, 5u, 32u}) {
    SCOPED_TRACE(code);
    const std::string system_text = platform::SystemErrorText(code);
    platform::SetLastError(code);
    try {
      orb::RaiseLastError("打开文件 X 错误");
      FAIL() << "no exception";
    } catch (const EWin32Error& e) {
      EXPECT_EQ(e.ErrorCode(), code);
      const std::string prefix =
          "打开文件 X 错误\r\n错误号：" + std::to_string(code) + "\r\n错误信息：";
      const std::string message = e.what();
      ASSERT_EQ(message.rfind(prefix, 0), 0u) << message;
      const std::string shown = message.substr(prefix.size());
      // What is shown is the system text minus trailing controls, blanks and ASCII
      // full stops, and nothing else.
      ASSERT_EQ(system_text.rfind(shown, 0), 0u) << shown;
      for (char c : system_text.substr(shown.size())) {
        EXPECT_TRUE(static_cast<unsigned char>(c) < 0x21 || c == '.') << int(c);
      }
      if (!shown.empty()) {
        const auto last = static_cast<unsigned char>(shown.back());
        EXPECT_TRUE(last >= 0x21 && last != '.');
      }
    }
  }
}

TEST(RaiseLastError, KeepsTheDoubleByteFullStopAndTrimsAsciiOnes) {
  // The legacy trims the ASCII '.' only: a GBK "。" (A1 A3) ends the text as it came.
  const std::string text = orb::LastErrorMessage("m", 2);
  const std::string system_text = platform::SystemErrorText(2);
  const std::string gbk_stop = "。";
  ASSERT_EQ(gbk_stop, "\xA1\xA3");
  if (system_text.find(gbk_stop) != std::string::npos) {
    EXPECT_EQ(text.substr(text.size() - 2), gbk_stop) << text;
  } else {
    EXPECT_NE(text.back(), '.') << text;
  }
}

// ---- IsFile and ListSubdirs ---------------------------------------------------------

class DirTree : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.ok());
    root_ = dir_.Join("T");
    for (const char* d : {"T", "T\\A", "T\\A\\B", "T\\C", "T\\乗", "T\\乗\\X"})
      ASSERT_EQ(platform::CreateDir(dir_.Join(d)), 0u) << d;
    WriteAll(dir_.Join("T\\f.txt"), "file");
    WriteAll(dir_.Join("T\\A\\g.exe"), "exe");
  }
  std::vector<std::string> List(const std::string& folder, bool with_path, bool recursive) {
    orb::TStringList list;
    orb::ListSubdirs(folder, list, with_path, recursive);
    return list.Items();
  }
  static std::size_t IndexOf(const std::vector<std::string>& v, const std::string& s) {
    for (std::size_t i = 0; i < v.size(); ++i)
      if (v[i] == s) return i;
    return v.size();
  }
  ScratchDir dir_;
  std::string root_;
};

TEST_F(DirTree, IsFileTellsFilesFromFoldersAndHonoursWildcards) {
  const struct {
    std::string name;
    bool expected;
  } cases[] = {
      {dir_.Join("T\\f.txt"), true},
      {dir_.Join("T\\A"), false},
      {dir_.Join("T\\missing.txt"), false},
      {dir_.Join("T\\A\\*.exe"), true},
      {dir_.Join("T\\A\\*.dll"), false},
      {dir_.Join("nowhere\\f.txt"), false},
  };
  for (const auto& c : cases) EXPECT_EQ(orb::IsFile(c.name), c.expected) << c.name;
}

TEST_F(DirTree, ListsSubfoldersWithOrWithoutPathAndDepthFirst) {
  const auto bare = List(root_, false, false);
  EXPECT_EQ(std::multiset<std::string>(bare.begin(), bare.end()),
            (std::multiset<std::string>{"A", "C", "乗"}));

  const auto with_path = List(root_ + "\\", true, false);
  EXPECT_EQ(std::multiset<std::string>(with_path.begin(), with_path.end()),
            (std::multiset<std::string>{root_ + "\\A", root_ + "\\C", root_ + "\\乗"}));

  const auto deep = List(root_, true, true);
  ASSERT_EQ(deep.size(), 5u);
  // Each folder comes right before its own subfolders.
  EXPECT_EQ(IndexOf(deep, root_ + "\\A\\B"), IndexOf(deep, root_ + "\\A") + 1);
  EXPECT_EQ(IndexOf(deep, root_ + "\\乗\\X"), IndexOf(deep, root_ + "\\乗") + 1);
  EXPECT_LT(IndexOf(deep, root_ + "\\C"), deep.size());

  const auto deep_bare = List(root_, false, true);
  EXPECT_EQ(std::multiset<std::string>(deep_bare.begin(), deep_bare.end()),
            (std::multiset<std::string>{"A", "B", "C", "乗", "X"}));
}

TEST_F(DirTree, TrailByte5CIsNotTakenForABackslash) {
  const std::string folder = root_ + "\\乗";  // ends in 81 5C
  ASSERT_EQ(folder.back(), '\\');
  EXPECT_EQ(List(folder, true, false), (std::vector<std::string>{folder + "\\X"}));
}

TEST_F(DirTree, FilesOnlyOrMissingFoldersAddNothing) {
  EXPECT_TRUE(List(root_ + "\\A\\B", true, true).empty());
  EXPECT_TRUE(List(root_ + "\\missing", true, true).empty());
}

// A list that refuses one name, as a list without duplicates would.
class RefusingList : public orb::TStringList {
 public:
  int Add(const std::string& s) override {
    if (s == "B") throw std::runtime_error("refused");
    return TStringList::Add(s);
  }
};

TEST_F(DirTree, NotificationsAreSuspendedForTheCallAndResumedOnFailure) {
  orb::TStringList list;
  int changes = 0;
  list.OnChange = [&](orb::TStringList&) { ++changes; };
  orb::ListSubdirs(root_, list, false, true);
  EXPECT_EQ(list.Count(), 5);
  EXPECT_EQ(changes, 1) << "one notification for the whole call";
  EXPECT_EQ(list.UpdateCount(), 0);

  RefusingList refusing;
  EXPECT_THROW(orb::ListSubdirs(root_, refusing, false, true), std::runtime_error);
  EXPECT_EQ(refusing.UpdateCount(), 0) << "every nested level ended its update";
}

}  // namespace
