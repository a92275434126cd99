// The registry. Reads go through the ANSI calls, so string data comes back in the ANSI code
// page exactly as the host's own 32-bit code sees it. Every open adds KEY_WOW64_32KEY: the
// host is a 32-bit program, and a 64-bit build of ours must look where it looks
// (HKLM\Software\Wow6432Node on 64-bit Windows; HKCU\Software is shared by both views).
// Writes convert GBK to UTF-16 themselves so that they store the right characters whatever
// the machine's ANSI code page is.
#include "platform/registry.h"

#include <algorithm>
#include <vector>

#include "platform/win32/windows_api.h"

// <windows.h> maps this name to an ANSI/wide function; the layer's own must keep its name.
#undef RegDeleteTree

namespace platform {

using win32::Outcome;

namespace {

HKEY RootHandle(RootKey root) {
  return root == RootKey::CurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
}

// The registry calls return their error instead of setting the last error.
std::uint32_t RegOutcome(LONG status) { return Outcome(static_cast<DWORD>(status)); }

class ScopedKey {
 public:
  ScopedKey() = default;
  ScopedKey(const ScopedKey&) = delete;
  ScopedKey& operator=(const ScopedKey&) = delete;
  ~ScopedKey() {
    if (key_) ::RegCloseKey(key_);
  }
  HKEY* out() { return &key_; }
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

bool IsStringType(std::uint32_t type) {
  return type == kRegSz || type == kRegExpandSz || type == kRegMultiSz;
}

}  // namespace

struct RegKey::State {
  HKEY key = nullptr;
};

RegKey::RegKey() : state_(std::make_unique<State>()) {}

RegKey::~RegKey() {
  DWORD saved = ::GetLastError();
  Close();
  ::SetLastError(saved);
}

std::uint32_t RegKey::Open(RootKey root, const std::string& subkey, std::uint32_t access) {
  Close();
  HKEY key = nullptr;
  LONG status = ::RegOpenKeyExA(RootHandle(root), subkey.c_str(), 0,
                                static_cast<REGSAM>(access) | KEY_WOW64_32KEY, &key);
  if (status == ERROR_SUCCESS) state_->key = key;
  return RegOutcome(status);
}

std::uint32_t RegKey::QueryInfo(const std::string& name, std::uint32_t& type,
                                std::uint32_t& size) {
  if (!state_->key) return Outcome(ERROR_INVALID_HANDLE);
  DWORD t = 0;
  DWORD n = 0;
  LONG status = ::RegQueryValueExA(state_->key, name.c_str(), nullptr, &t, nullptr, &n);
  if (status == ERROR_SUCCESS) {
    type = t;
    size = n;
  }
  return RegOutcome(status);
}

std::uint32_t RegKey::Query(const std::string& name, RegValue& out) {
  if (!state_->key) return Outcome(ERROR_INVALID_HANDLE);
  std::vector<BYTE> buffer(256);
  for (;;) {
    DWORD t = 0;
    DWORD n = static_cast<DWORD>(buffer.size());
    LONG status = ::RegQueryValueExA(state_->key, name.c_str(), nullptr, &t, buffer.data(), &n);
    if (status == ERROR_MORE_DATA) {
      // The value may still be growing under another writer: ask again with what it needs.
      buffer.resize(std::max<std::size_t>(n, buffer.size() * 2));
      continue;
    }
    if (status == ERROR_SUCCESS) {
      out.type = t;
      out.data.assign(reinterpret_cast<const char*>(buffer.data()), n);
    }
    return RegOutcome(status);
  }
}

void RegKey::Close() {
  if (state_->key) {
    ::RegCloseKey(state_->key);
    state_->key = nullptr;
  }
}

bool RegKey::IsOpen() const { return state_->key != nullptr; }

std::uint32_t RegWriteValue(RootKey root, const std::string& subkey, const std::string& name,
                            std::uint32_t type, const std::string& data) {
  ScopedKey key;
  LONG status = ::RegCreateKeyExW(RootHandle(root), win32::WideFromGbk(subkey).c_str(), 0,
                                  nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_SET_VALUE | KEY_WOW64_32KEY, nullptr, key.out(), nullptr);
  if (status != ERROR_SUCCESS) return RegOutcome(status);
  std::wstring wide_name = win32::WideFromGbk(name);
  if (IsStringType(type)) {
    // The data holds its own terminating zero(s); they convert to UTF-16 zeros one to one.
    std::wstring text = win32::WideFromGbk(data);
    status = ::RegSetValueExW(key.get(), wide_name.c_str(), 0, type,
                              reinterpret_cast<const BYTE*>(text.data()),
                              static_cast<DWORD>(text.size() * sizeof(wchar_t)));
  } else {
    status = ::RegSetValueExW(key.get(), wide_name.c_str(), 0, type,
                              reinterpret_cast<const BYTE*>(data.data()),
                              static_cast<DWORD>(data.size()));
  }
  return RegOutcome(status);
}

std::uint32_t RegDeleteTree(RootKey root, const std::string& subkey) {
  std::wstring wide = win32::WideFromGbk(subkey);
  {
    ScopedKey key;
    LONG status = ::RegOpenKeyExW(RootHandle(root), wide.c_str(), 0,
                                  KEY_ALL_ACCESS | KEY_WOW64_32KEY, key.out());
    if (status == ERROR_FILE_NOT_FOUND) return Outcome(0);
    if (status != ERROR_SUCCESS) return RegOutcome(status);
    // RegDeleteTreeW takes no view flags; emptying the key through a handle opened in the
    // 32-bit view and deleting it by name with RegDeleteKeyExW keeps to that view.
    status = ::RegDeleteTreeW(key.get(), nullptr);
    if (status != ERROR_SUCCESS) return RegOutcome(status);
  }
  LONG status = ::RegDeleteKeyExW(RootHandle(root), wide.c_str(), KEY_WOW64_32KEY, 0);
  if (status == ERROR_FILE_NOT_FOUND) status = ERROR_SUCCESS;
  return RegOutcome(status);
}

}  // namespace platform
