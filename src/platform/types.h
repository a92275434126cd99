// Shared vocabulary of the operating-system layer.
//
// The layer mirrors the ANSI Windows API closely enough that the code above it can follow
// the Windows call sequence literally, yet it never exposes an OS type: handles are opaque
// integers, strings are GBK byte strings, and every failure comes back as the Windows error
// code (0 = success). Functions never throw. Each call also records its outcome as the
// calling thread's "last error" (see error.h), because several legacy algorithms read it
// after a call that succeeded (GetFileSize's 0xFFFFFFFF, for one).
#pragma once

#include <cstdint>

namespace platform {

// Windows error codes the layer produces on both backends.
enum : std::uint32_t {
  kErrorSuccess = 0,
  kErrorInvalidFunction = 1,
  kErrorFileNotFound = 2,
  kErrorPathNotFound = 3,
  kErrorTooManyOpenFiles = 4,
  kErrorAccessDenied = 5,
  kErrorInvalidHandle = 6,
  kErrorNotEnoughMemory = 8,
  kErrorInvalidData = 13,
  kErrorNotReady = 21,
  kErrorSharingViolation = 32,
  kErrorLockViolation = 33,
  kErrorHandleEof = 38,
  kErrorNotSupported = 50,
  kErrorFileExists = 80,
  kErrorInvalidParameter = 87,
  kErrorDiskFull = 112,
  kErrorInsufficientBuffer = 122,
  kErrorInvalidName = 123,
  kErrorDirNotEmpty = 145,
  kErrorAlreadyExists = 183,
  kErrorNotSameDevice = 17,
  kErrorFilenameExcedRange = 206,
  kErrorMoreData = 234,
  kErrorNoMoreItems = 259,
  kErrorNoMoreFiles = 18,
  kErrorCancelled = 1223,
};

}  // namespace platform

// Note for the win32 backend: names in this layer avoid the ANSI/wide macro names of
// <windows.h> (DeleteFile, CopyFile, MessageBox, LoadString, GetDriveType, ...), so that
// including it in a backend file cannot rename a declaration.
