// Last error, the system's error texts, and errno mapped to Windows error codes.
#include <cerrno>

#include "platform/error.h"
#include "platform/posix/internal.h"
#include "platform/types.h"

namespace platform {
namespace {
thread_local std::uint32_t t_last_error = 0;
}  // namespace

std::uint32_t LastError() { return t_last_error; }
void SetLastError(std::uint32_t code) { t_last_error = code; }

std::string SystemErrorText(std::uint32_t code) {
  // The texts of a Chinese Windows' system message table (FormatMessageA keeps the CRLF).
  struct Entry {
    std::uint32_t code;
    const char* text;
  };
  static const Entry kTexts[] = {
      {0, "操作成功完成。"},
      {1, "函数不正确。"},
      {2, "系统找不到指定的文件。"},
      {3, "系统找不到指定的路径。"},
      {4, "系统无法打开文件。"},
      {5, "拒绝访问。"},
      {6, "句柄无效。"},
      {8, "存储空间不足，无法处理此命令。"},
      {13, "数据无效。"},
      {17, "系统无法将文件移到不同的磁盘驱动器。"},
      {18, "没有更多文件。"},
      {21, "设备未就绪。"},
      {31, "连到系统上的设备没有发挥作用。"},
      {32, "另一个程序正在使用此文件，进程无法访问。"},
      {33, "另一个程序已锁定文件的一部分，进程无法访问。"},
      {38, "已到文件结尾。"},
      {50, "不支持该请求。"},
      {80, "文件存在。"},
      {87, "参数错误。"},
      {112, "磁盘空间不足。"},
      {122, "传递给系统调用的数据区域太小。"},
      {123, "文件名、目录名或卷标语法不正确。"},
      {145, "目录不是空的。"},
      {183, "当文件已存在时，无法创建该文件。"},
      {206, "文件名或扩展名太长。"},
      {234, "更多数据可用。"},
      {259, "没有可用的数据了。"},
      {1117, "由于 I/O 设备错误，无法运行此项请求。"},
      {1223, "操作已被用户取消。"},
  };
  SetLastError(0);
  for (const Entry& e : kTexts) {
    if (e.code == code) return std::string(e.text) + "\r\n";
  }
  SetLastError(317);  // ERROR_MR_MID_NOT_FOUND
  return std::string();
}

}  // namespace platform

namespace platform::posix {

std::uint32_t Fail(std::uint32_t code) {
  SetLastError(code);
  return code;
}

std::uint32_t FromErrno(int err, const UnixPath& p, bool folder) {
  switch (err) {
    case 0: return 0;
    case ENOENT: return p.parent_missing ? kErrorPathNotFound : kErrorFileNotFound;
    case ENOTDIR: return kErrorPathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR: return kErrorAccessDenied;
    case EEXIST: return folder ? kErrorAlreadyExists : kErrorFileExists;
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return kErrorDiskFull;
    case EMFILE:
    case ENFILE: return kErrorTooManyOpenFiles;
    case ENAMETOOLONG: return kErrorFilenameExcedRange;
    case ENOTEMPTY: return kErrorDirNotEmpty;
    case EBUSY:
    case ETXTBSY: return kErrorSharingViolation;
    case EBADF: return kErrorInvalidHandle;
    case ENOMEM: return kErrorNotEnoughMemory;
    case EINVAL: return kErrorInvalidParameter;
    case ELOOP: return kErrorInvalidName;
    case EIO: return 1117;  // ERROR_IO_DEVICE
    default: return 31;     // ERROR_GEN_FAILURE
  }
}

}  // namespace platform::posix
