// Unit OrbWin: see OrbWin.h.
#include "_OrbLib/OrbWin.h"

#include <array>
#include <cstring>

#include "platform/error.h"
#include "platform/fs.h"
#include "platform/gbk.h"

namespace orb {

namespace {

constexpr const char* kUnit = "_OrbLib/OrbWin";

// Replaces the one "%s" of a message with the file name.
std::string Substitute(const std::string& text, const std::string& name) {
  std::string out = text;
  const auto at = out.find("%s");
  if (at != std::string::npos) out.replace(at, 2, name);
  return out;
}

// The system text without its line end and closing full stop. Only the ASCII '.' is
// trimmed, as the legacy did: a GBK "。" (A1 A3) stays.
std::string TrimSystemText(std::string text) {
  while (!text.empty()) {
    const auto c = static_cast<unsigned char>(text.back());
    if (c < 0x21 || c == '.') {
      text.pop_back();
    } else {
      break;
    }
  }
  return text;
}

}  // namespace

std::string LastErrorMessage(const std::string& message, std::uint32_t code) {
  // FormatMessageA into a 256-byte buffer: longer texts come back cut.
  std::string system_text = platform::SystemErrorText(code);
  if (system_text.size() > 255) system_text.resize(255);
  return message + "\r\n错误号：" + std::to_string(code) + "\r\n错误信息：" +
         TrimSystemText(system_text);
}

void RaiseLastError(const std::string& message) {
  const std::uint32_t code = platform::LastError();
  if (code == 0) return;
  throw EWin32Error(LastErrorMessage(message, code), code);
}

// ---- TWin32File -----------------------------------------------------------------

TWin32File::TWin32File(TComponent* owner) : TComponent(owner) {}

TWin32File::~TWin32File() {
  try {
    Close();
  } catch (const Exception&) {
    // A destructor cannot report; the handle is released either way.
  }
}

TWin32FileClass TWin32File::Class() {
  return [] { return std::make_unique<TWin32File>(); };
}

void TWin32File::CheckClosed(int line) const {
  if (Active()) throw EAssertionFailed(kUnit, line);
}

void TWin32File::SetActive(bool value) {
  if (value == Active()) return;
  if (value) {
    InternalOpen();
  } else {
    Close();
  }
}

void TWin32File::SetFileName(const std::string& value) {
  CheckClosed(__LINE__);
  file_name_ = value;
}

void TWin32File::SetReadOnly(bool value) {
  CheckClosed(__LINE__);
  read_only_ = value;
  if (value) {
    auto_delete_ = false;
    truc_existing_ = false;
  }
}

void TWin32File::SetExclusive(bool value) {
  CheckClosed(__LINE__);
  exclusive_ = value;
}

void TWin32File::SetTemporary(bool value) {
  CheckClosed(__LINE__);
  temporary_ = value;
}

void TWin32File::SetAutoDelete(bool value) {
  CheckClosed(__LINE__);
  auto_delete_ = value;
  if (value) read_only_ = false;
}

void TWin32File::SetTrucExisting(bool value) {
  CheckClosed(__LINE__);
  truc_existing_ = value;
  if (value) read_only_ = false;
}

void TWin32File::SetRandomAccess(bool value) {
  CheckClosed(__LINE__);
  random_access_ = value;
  if (value) sequential_scan_ = false;
}

void TWin32File::SetSequentialScan(bool value) {
  CheckClosed(__LINE__);
  sequential_scan_ = value;
  if (value) random_access_ = false;
}

std::uint32_t TWin32File::DesiredAccess() const {
  return read_only_ ? platform::kGenericRead : platform::kGenericRead | platform::kGenericWrite;
}

// Read sharing only, whatever Exclusive says: the host patch relies on an open that lets
// others read but not write, and the legacy never opened any other way.
std::uint32_t TWin32File::ShareMode() const { return platform::kFileShareRead; }

std::uint32_t TWin32File::CreationDisposition() const {
  if (truc_existing_) return platform::kCreateAlways;
  if (read_only_) return platform::kOpenExisting;
  return platform::kOpenAlways;
}

std::uint32_t TWin32File::FlagsAndAttributes() const {
  std::uint32_t flags = platform::kFileAttributeNormal;
  if (temporary_) flags |= platform::kFileAttributeTemporary;
  if (auto_delete_) flags |= platform::kFileFlagDeleteOnClose;
  if (random_access_) flags |= platform::kFileFlagRandomAccess;
  if (sequential_scan_) flags |= platform::kFileFlagSequentialScan;
  return flags;
}

std::string TWin32File::WithName(const std::string& text) const {
  return Substitute(text, file_name_);
}

void TWin32File::Fail(std::uint32_t code, const std::string& text) const {
  platform::SetLastError(code);
  RaiseLastError(WithName(text));
}

void TWin32File::CheckOpen() const {
  if (!Active()) throw EWin32FileError(WithName("文件 %s 没有打开"));
}

void TWin32File::Open(const std::string& file_name, bool read_only, bool exclusive) {
  if (Active()) throw EWin32FileError(WithName("文件 %s 已经打开"));
  SetFileName(file_name);
  SetReadOnly(read_only);
  SetExclusive(exclusive);
  InternalOpen();
}

void TWin32File::InternalOpen() {
  if (Active()) return;
  if (file_name_.empty()) throw EWin32FileError("文件名没有指定");
  if (read_only_ && !IsFile(file_name_)) throw EWin32FileError(WithName("文件 %s 不存在"));
  DoBeforeOpen();
  size_ = 0;
  position_ = 0;
  platform::FileHandle h = platform::kNoFile;
  const std::uint32_t code = SysOpen(file_name_, DesiredAccess(), ShareMode(),
                                     CreationDisposition(), FlagsAndAttributes(), h);
  if (code != 0 || h == platform::kNoFile) {
    handle_ = platform::kNoFile;
    Fail(code, "打开文件 %s 错误");
    return;
  }
  handle_ = h;
  std::uint64_t size = 0;
  const std::uint32_t size_code = SysGetSize(h, size);
  if (size_code != 0) {
    handle_ = platform::kNoFile;
    SysClose(h);
    Fail(size_code, "获取文件 %s 大小错误");
    return;
  }
  size_ = size;
  DoAfterOpen();
}

void TWin32File::Close() {
  if (!Active()) return;
  DoBeforeClose();
  const platform::FileHandle h = handle_;
  handle_ = platform::kNoFile;
  const std::uint32_t code = SysClose(h);
  if (code != 0) Fail(code, "关闭文件 %s 错误");
  DoAfterClose();
}

std::uint32_t TWin32File::Seek(std::int64_t offset, std::uint32_t origin) {
  CheckOpen();
  std::uint64_t target = 0;
  switch (origin) {
    case platform::kFileBegin:
      target = static_cast<std::uint64_t>(offset);
      break;
    case platform::kFileCurrent:
      target = position_ + static_cast<std::uint64_t>(offset);
      break;
    case platform::kFileEnd:
      target = size_ + static_cast<std::uint64_t>(offset);
      break;
    default:
      throw EWin32FileError("参数错误");
  }
  if (target != position_) {
    std::uint64_t moved = 0;
    const std::uint32_t code = SysSeek(handle_, offset, origin, moved);
    if (code != 0) Fail(code, "移动文件 %s 指针错误");
    position_ = target;
  }
  return static_cast<std::uint32_t>(position_);
}

std::uint32_t TWin32File::Read(void* buffer, std::uint32_t count) {
  CheckOpen();
  std::uint32_t done = 0;
  const std::uint32_t code = SysRead(handle_, buffer, count, done);
  if (code != 0) Fail(code, "读文件 %s 错误");
  position_ += done;
  return done;
}

std::uint32_t TWin32File::Write(const void* buffer, std::uint32_t count) {
  CheckOpen();
  if (read_only_) throw EWin32FileError(WithName("文件 %s 以只读方式打开，不能写"));
  std::uint32_t done = 0;
  const std::uint32_t code = SysWrite(handle_, buffer, count, done);
  if (code != 0) Fail(code, "写文件 %s 错误");
  position_ += done;
  if (position_ > size_) size_ = position_;
  return done;
}

void TWin32File::SetSize(std::uint64_t new_size) {
  Seek(static_cast<std::int64_t>(new_size), platform::kFileBegin);
  const std::uint32_t code = SysSetEnd(handle_);
  if (code != 0) Fail(code, "设置文件 %s 大小错误");
  size_ = new_size;
}

void TWin32File::ReadBuffer(void* buffer, std::uint32_t count) {
  if (count == 0) return;
  if (Read(buffer, count) != count) throw EWin32FileError(WithName("读文件 %s 长度不对"));
}

void TWin32File::WriteBuffer(const void* buffer, std::uint32_t count) {
  if (count == 0) return;
  if (Write(buffer, count) != count) throw EWin32FileError(WithName("写文件 %s 长度不对"));
}

std::int32_t TWin32File::ReadInteger() {
  std::array<std::uint8_t, 4> b{};
  ReadBuffer(b.data(), 4);
  const std::uint32_t v = static_cast<std::uint32_t>(b[0]) |
                          (static_cast<std::uint32_t>(b[1]) << 8) |
                          (static_cast<std::uint32_t>(b[2]) << 16) |
                          (static_cast<std::uint32_t>(b[3]) << 24);
  return static_cast<std::int32_t>(v);
}

void TWin32File::WriteFill(std::uint8_t value, std::uint32_t count) {
  std::array<std::uint8_t, 64> block;
  block.fill(value);
  while (count > 0) {
    const std::uint32_t chunk = count < 64 ? count : 64;
    // The counts written are not compared with the requests, as in the legacy.
    Write(block.data(), chunk);
    count -= chunk;
  }
}

void TWin32File::AssignFrom(const TWin32File* other) {
  if (other == nullptr) return;
  SetFileName(other->file_name_);
  CheckClosed(__LINE__);
  read_only_ = other->read_only_;
  exclusive_ = other->exclusive_;
  temporary_ = other->temporary_;
  auto_delete_ = other->auto_delete_;
  truc_existing_ = other->truc_existing_;
  random_access_ = other->random_access_;
  sequential_scan_ = other->sequential_scan_;
  OnBeforeOpen = other->OnBeforeOpen;
  OnAfterOpen = other->OnAfterOpen;
  OnBeforeClose = other->OnBeforeClose;
  OnAfterClose = other->OnAfterClose;
}

void TWin32File::DoBeforeOpen() {
  if (OnBeforeOpen) OnBeforeOpen(*this);
}
void TWin32File::DoAfterOpen() {
  if (OnAfterOpen) OnAfterOpen(*this);
}
void TWin32File::DoBeforeClose() {
  if (OnBeforeClose) OnBeforeClose(*this);
}
void TWin32File::DoAfterClose() {
  if (OnAfterClose) OnAfterClose(*this);
}

std::uint32_t TWin32File::SysOpen(const std::string& name, std::uint32_t access,
                                  std::uint32_t share, std::uint32_t disposition,
                                  std::uint32_t flags, platform::FileHandle& out) {
  return platform::FileOpen(name, access, share, disposition, flags, out);
}
std::uint32_t TWin32File::SysGetSize(platform::FileHandle h, std::uint64_t& size) {
  return platform::FileGetSize(h, size);
}
std::uint32_t TWin32File::SysRead(platform::FileHandle h, void* buffer, std::uint32_t count,
                                  std::uint32_t& done) {
  return platform::FileRead(h, buffer, count, done);
}
std::uint32_t TWin32File::SysWrite(platform::FileHandle h, const void* buffer,
                                   std::uint32_t count, std::uint32_t& done) {
  return platform::FileWrite(h, buffer, count, done);
}
std::uint32_t TWin32File::SysSeek(platform::FileHandle h, std::int64_t offset,
                                  std::uint32_t origin, std::uint64_t& new_position) {
  return platform::FileSeek(h, offset, origin, new_position);
}
std::uint32_t TWin32File::SysSetEnd(platform::FileHandle h) { return platform::FileSetEnd(h); }
std::uint32_t TWin32File::SysClose(platform::FileHandle h) { return platform::FileClose(h); }

// ---- Directory helpers ----------------------------------------------------------

bool IsFile(const std::string& name) {
  platform::FindHandle find;
  platform::FindData data;
  if (find.First(name, data) != 0) return false;
  find.Close();
  return (data.attributes & platform::kFileAttributeDirectory) == 0;
}

namespace {

// Keeps the list's notifications suspended for one call, whatever way it ends.
class UpdateGuard {
 public:
  explicit UpdateGuard(TStringList& list) : list_(list) { list_.BeginUpdate(); }
  ~UpdateGuard() { list_.EndUpdate(); }
  UpdateGuard(const UpdateGuard&) = delete;
  UpdateGuard& operator=(const UpdateGuard&) = delete;

 private:
  TStringList& list_;
};

}  // namespace

void ListSubdirs(const std::string& folder, TStringList& list, bool with_path,
                 bool recursive) {
  std::string dir = folder;
  // The last whole GBK character decides: a trail byte 0x5C is not a backslash.
  if (!dir.empty() && !platform::EndsWithChar(dir, '\\')) dir += '\\';
  UpdateGuard guard(list);
  platform::FindHandle find;
  platform::FindData data;
  if (find.First(dir + "*.*", data) != 0) return;
  do {
    if ((data.attributes & platform::kFileAttributeDirectory) == 0) continue;
    if (data.name == "." || data.name == "..") continue;
    list.Add(with_path ? dir + data.name : data.name);
    if (recursive) ListSubdirs(dir + data.name, list, with_path, true);
  } while (find.Next(data) == 0);
  find.Close();
}

}  // namespace orb
