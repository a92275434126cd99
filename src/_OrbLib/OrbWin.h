// Unit OrbWin: the file object over the system's handle-based file calls, the errors
// that carry the system's message, and the directory helpers.
//
// `TWin32File` keeps the file's length and position itself: both are read from the
// system only once, at open, and then tracked through every read, write, seek and
// size change. The table library positions before every record access and relies on a
// seek to the current position costing no system call.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "_OrbLib/Classes.h"
#include "_OrbLib/OrbExcept.h"
#include "platform/file.h"

namespace orb {

// An exception raised for a failed system call: the message and the system's error code.
class EWin32Error : public Exception {
 public:
  explicit EWin32Error(const std::string& message, std::uint32_t error_code = 0)
      : Exception(message), error_code_(error_code) {}
  std::uint32_t ErrorCode() const { return error_code_; }
  void SetErrorCode(std::uint32_t code) { error_code_ = code; }

 private:
  std::uint32_t error_code_;
};

// Misuse of a file object and short transfers (ErrorCode 0).
class EWin32FileError : public EWin32Error {
 public:
  explicit EWin32FileError(const std::string& message) : EWin32Error(message, 0) {}
};

// Reads the calling thread's last error; 0 returns without raising. Otherwise raises
// EWin32Error with that code and the text "<message>\r\n错误号：<code>\r\n错误信息：<system text>".
void RaiseLastError(const std::string& message);

// The message RaiseLastError builds for `code` (exposed for callers that report without
// raising, and for tests).
std::string LastErrorMessage(const std::string& message, std::uint32_t code);

class TWin32File;
using TWin32FileNotify = std::function<void(TWin32File&)>;
// What the legacy passed as a class reference: makes a new, ownerless file object of
// the chosen class (the table library substitutes its own file class this way).
using TWin32FileClass = std::function<std::unique_ptr<TWin32File>()>;

class TWin32File : public TComponent {
 public:
  explicit TWin32File(TComponent* owner = nullptr);
  ~TWin32File() override;

  // A class reference for plain TWin32File objects.
  static TWin32FileClass Class();

  // Properties. Every setter except SetActive may be used only while the object is
  // closed (a precondition).
  bool Active() const { return handle_ != platform::kNoFile; }
  void SetActive(bool value);
  const std::string& FileName() const { return file_name_; }
  void SetFileName(const std::string& value);
  bool ReadOnly() const { return read_only_; }
  void SetReadOnly(bool value);          // true clears AutoDelete and TrucExisting
  bool Exclusive() const { return exclusive_; }
  void SetExclusive(bool value);
  bool Temporary() const { return temporary_; }
  void SetTemporary(bool value);
  bool AutoDelete() const { return auto_delete_; }
  void SetAutoDelete(bool value);        // true clears ReadOnly
  bool TrucExisting() const { return truc_existing_; }
  void SetTrucExisting(bool value);      // true clears ReadOnly
  bool RandomAccess() const { return random_access_; }
  void SetRandomAccess(bool value);      // true clears SequentialScan
  bool SequentialScan() const { return sequential_scan_; }
  void SetSequentialScan(bool value);    // true clears RandomAccess

  // Notifications, each given the object; may be empty.
  TWin32FileNotify OnBeforeOpen;
  TWin32FileNotify OnAfterOpen;
  TWin32FileNotify OnBeforeClose;
  TWin32FileNotify OnAfterClose;

  // State: 0 while closed. Size and Position keep their last values after a close.
  platform::FileHandle Handle() const { return handle_; }
  std::uint64_t Size() const { return size_; }
  std::uint64_t Position() const { return position_; }

  // The open parameters the options give (CreateFileA's arguments).
  std::uint32_t DesiredAccess() const;
  std::uint32_t ShareMode() const;
  std::uint32_t CreationDisposition() const;
  std::uint32_t FlagsAndAttributes() const;

  // Transfers; a subclass may replace them (ReadBuffer, WriteBuffer, WriteFill and
  // SetSize call them through these slots).
  virtual std::uint32_t Read(void* buffer, std::uint32_t count);
  virtual std::uint32_t Write(const void* buffer, std::uint32_t count);
  // origin 0 beginning, 1 current, 2 end; returns the low 32 bits of the new position.
  virtual std::uint32_t Seek(std::int64_t offset, std::uint32_t origin);
  virtual void SetSize(std::uint64_t new_size);

  void Open(const std::string& file_name, bool read_only, bool exclusive);
  void Close();
  void ReadBuffer(void* buffer, std::uint32_t count);
  void WriteBuffer(const void* buffer, std::uint32_t count);
  std::int32_t ReadInteger();
  void WriteFill(std::uint8_t value, std::uint32_t count);
  // Copies FileName, the option flags and the four notifications (nothing for nullptr).
  void AssignFrom(const TWin32File* other);

 protected:
  virtual void DoBeforeOpen();
  virtual void DoAfterOpen();
  virtual void DoBeforeClose();
  virtual void DoAfterClose();

  // The system calls, one place each. A subclass may observe or replace them; each
  // returns the Windows error code (0 = success) as the platform layer does.
  virtual std::uint32_t SysOpen(const std::string& name, std::uint32_t access,
                                std::uint32_t share, std::uint32_t disposition,
                                std::uint32_t flags, platform::FileHandle& out);
  virtual std::uint32_t SysGetSize(platform::FileHandle h, std::uint64_t& size);
  virtual std::uint32_t SysRead(platform::FileHandle h, void* buffer, std::uint32_t count,
                                std::uint32_t& done);
  virtual std::uint32_t SysWrite(platform::FileHandle h, const void* buffer,
                                 std::uint32_t count, std::uint32_t& done);
  virtual std::uint32_t SysSeek(platform::FileHandle h, std::int64_t offset,
                                std::uint32_t origin, std::uint64_t& new_position);
  virtual std::uint32_t SysSetEnd(platform::FileHandle h);
  virtual std::uint32_t SysClose(platform::FileHandle h);

 private:
  void InternalOpen();
  void CheckOpen() const;
  void CheckClosed(int line) const;
  std::string WithName(const std::string& text) const;
  void Fail(std::uint32_t code, const std::string& text) const;

  platform::FileHandle handle_ = platform::kNoFile;
  std::uint64_t size_ = 0;
  std::uint64_t position_ = 0;
  std::string file_name_;
  bool read_only_ = false;
  bool exclusive_ = true;
  bool temporary_ = false;
  bool auto_delete_ = false;
  bool truc_existing_ = false;
  bool random_access_ = false;
  bool sequential_scan_ = false;
};

// True when `name` (used as a search pattern: wildcards are honoured) finds an entry and
// the first entry found is not a folder.
bool IsFile(const std::string& name);

// Adds the subfolders of `folder` to `list` in the order the system enumerates them,
// "." and ".." excepted, each as folder\name (WithPath) or the bare name; with Recursive
// each folder's own subfolders follow it at once (depth first). An empty folder means the
// current folder. A missing folder adds nothing.
void ListSubdirs(const std::string& folder, TStringList& list, bool with_path,
                 bool recursive);

}  // namespace orb
