// Code pages on Windows: the system's own conversions, always through code page 936 rather
// than the ANSI code page, so that GBK text reads right on a Windows set to another one.
#include "platform/codepage.h"

#include <vector>

#include "platform/win32/windows_api.h"

// <windows.h> maps this name to an ANSI/wide function; the layer's own must keep its name.
#undef OemToAnsi

namespace platform {
namespace win32 {
namespace {

constexpr UINT kGbk = 936;

std::wstring ToWide(UINT code_page, const std::string& bytes) {
  if (bytes.empty()) return {};
  int n = ::MultiByteToWideChar(code_page, 0, bytes.data(), static_cast<int>(bytes.size()),
                                nullptr, 0);
  if (n <= 0) return {};
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  ::MultiByteToWideChar(code_page, 0, bytes.data(), static_cast<int>(bytes.size()), out.data(),
                        n);
  return out;
}

std::string FromWide(UINT code_page, const std::wstring& text) {
  if (text.empty()) return {};
  // UTF-8 accepts no default character; code 936 gets '?' for what it cannot hold.
  int n = ::WideCharToMultiByte(code_page, 0, text.data(), static_cast<int>(text.size()),
                                nullptr, 0, nullptr, nullptr);
  if (n <= 0) return {};
  std::string out(static_cast<std::size_t>(n), '\0');
  ::WideCharToMultiByte(code_page, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                        nullptr, nullptr);
  return out;
}

}  // namespace

std::wstring WideFromGbk(const std::string& gbk) { return ToWide(kGbk, gbk); }
std::string GbkFromWide(const std::wstring& text) { return FromWide(kGbk, text); }

}  // namespace win32

int CompareTextIgnoreCase(const std::string& a, const std::string& b) {
  int r = ::CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.data(),
                           static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()));
  if (r == 0) {
    win32::Failure();
    return a.compare(b) < 0 ? -1 : (a == b ? 0 : 1);
  }
  win32::Outcome(0);
  return r - CSTR_EQUAL;
}

std::string OemToAnsi(const std::string& text) {
  if (text.empty()) return text;
  std::string out(text.size(), '\0');
  ::OemToCharBuffA(text.data(), out.data(), static_cast<DWORD>(text.size()));
  win32::Outcome(0);
  return out;
}

std::u16string GbkToUtf16(const std::string& gbk) {
  std::wstring w = win32::WideFromGbk(gbk);
  return std::u16string(w.begin(), w.end());
}

std::string Utf16ToGbk(const std::u16string& text) {
  return win32::GbkFromWide(std::wstring(text.begin(), text.end()));
}

std::string GbkToUtf8(const std::string& gbk) {
  return win32::FromWide(CP_UTF8, win32::WideFromGbk(gbk));
}

std::string Utf8ToGbk(const std::string& utf8) {
  return win32::GbkFromWide(win32::ToWide(CP_UTF8, utf8));
}

std::string GbkToTerminal(const std::string& gbk) {
  UINT cp = ::GetConsoleOutputCP();
  if (cp == 0) cp = ::GetACP();  // no console: a redirected stream is read in the ANSI page
  if (cp == win32::kGbk) return gbk;
  return win32::FromWide(cp, win32::WideFromGbk(gbk));
}

}  // namespace platform
