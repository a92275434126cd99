// Code page 936 services over the C library's iconv. Windows' code page 936 is GBK; invalid
// input becomes U+FFFD towards Unicode and '?' towards GBK, as MultiByteToWideChar and
// WideCharToMultiByte give it.
#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <iconv.h>
#include <langinfo.h>

#include <vector>

#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/posix/internal.h"

namespace platform {
namespace {

// Simple case folding over the parts of Unicode that GBK can encode and that have case:
// ASCII, Latin-1, Greek, Cyrillic and the full-width Latin letters.
char16_t FoldCase(char16_t c) {
  if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 0x20);
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 0x20);
  if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) return static_cast<char16_t>(c - 0x20);
  if (c >= 0x430 && c <= 0x44F) return static_cast<char16_t>(c - 0x20);
  if (c >= 0x450 && c <= 0x45F) return static_cast<char16_t>(c - 0x50);
  if (c >= 0xFF41 && c <= 0xFF5A) return static_cast<char16_t>(c - 0x20);
  return c;
}

bool IsAscii(const std::string& s) {
  for (char c : s) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

// The character set of the locale that the environment names. Loading a locale maps and
// parses its data, too slow for a tool that shows a line per archive entry: the answer is
// kept while the variables that choose the locale stay the same.
std::string EnvironmentCharset() {
  std::string key;
  for (const char* var : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* v = std::getenv(var);
    key += v != nullptr ? "=" + std::string(v) : std::string("-");
    key += '\n';
  }
  thread_local std::string cached_key;
  thread_local std::string cached_charset;
  thread_local bool cached = false;
  if (cached && key == cached_key) return cached_charset;
  std::string charset;
  locale_t loc = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(0));
  if (loc != static_cast<locale_t>(0)) {
    const char* s = nl_langinfo_l(CODESET, loc);
    charset = s != nullptr ? s : "";
    freelocale(loc);
  }
  cached_key = key;
  cached_charset = charset;
  cached = true;
  return charset;
}

}  // namespace

int CompareTextIgnoreCase(const std::string& a, const std::string& b) {
  std::u16string ua = GbkToUtf16(a);
  std::u16string ub = GbkToUtf16(b);
  SetLastError(0);
  std::size_t n = ua.size() < ub.size() ? ua.size() : ub.size();
  for (std::size_t i = 0; i < n; ++i) {
    char16_t x = FoldCase(ua[i]);
    char16_t y = FoldCase(ub[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  if (ua.size() == ub.size()) return 0;
  return ua.size() < ub.size() ? -1 : 1;
}

std::string OemToAnsi(const std::string& text) {
  SetLastError(0);
  return text;
}

std::u16string GbkToUtf16(const std::string& gbk) {
  std::string utf8 = GbkToUtf8(gbk);
  std::u16string out = posix::Utf8ToUtf16(utf8);
  SetLastError(0);
  return out;
}

std::string Utf16ToGbk(const std::u16string& text) {
  std::string bytes;
  for (char16_t c : text) {
    bytes.push_back(static_cast<char>(c & 0xFF));
    bytes.push_back(static_cast<char>(c >> 8));
  }
  std::string out;
  posix::Convert("UTF-16LE", "GBK", bytes, out, "?");
  SetLastError(0);
  return out;
}

std::string GbkToUtf8(const std::string& gbk) {
  std::string out;
  // ASCII is the same in both (most file names are ASCII, and each path is converted).
  if (IsAscii(gbk)) {
    out = gbk;
  } else {
    posix::Convert("GBK", "UTF-8", gbk, out, "\xEF\xBF\xBD");
  }
  SetLastError(0);
  return out;
}

std::string Utf8ToGbk(const std::string& utf8) {
  std::string out;
  if (IsAscii(utf8)) {
    out = utf8;
  } else {
    posix::Convert("UTF-8", "GBK", utf8, out, "?");
  }
  SetLastError(0);
  return out;
}

std::string GbkToTerminal(const std::string& gbk) {
  // The locale's character set; a program that never called setlocale gets "ANSI_X3.4-1968"
  // for "C", so ask the environment's locale when the process still runs in "C".
  const char* set = nl_langinfo(CODESET);
  std::string charset = set != nullptr ? set : "";
  if (charset.empty() || charset == "ANSI_X3.4-1968") charset = EnvironmentCharset();
  // Plain ASCII terminals still get readable UTF-8 rather than question marks.
  if (charset.empty() || charset == "ANSI_X3.4-1968") charset = "UTF-8";
  std::string out;
  if (!posix::Convert("GBK", charset.c_str(), gbk, out, "?")) out = GbkToUtf8(gbk);
  SetLastError(0);
  return out;
}

}  // namespace platform

// iconv underneath, for every conversion of the backend.
namespace platform::posix {

std::string AsciiLower(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

std::u16string AsciiLower(std::u16string s) {
  for (char16_t& c : s) {
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
  }
  return s;
}

namespace {

// Opening a conversion loads and sets up its tables each time, which costs more than
// converting a file name: descriptors stay open for the thread's life (a descriptor is not
// safe to share between threads), one per pair of character sets asked for.
class Converters {
 public:
  ~Converters() {
    for (const Entry& e : entries_) iconv_close(e.cd);
  }
  // An open descriptor in its initial state, or (iconv_t)-1.
  iconv_t Get(const char* from, const char* to) {
    for (const Entry& e : entries_) {
      if (e.from == from && e.to == to) {
        iconv(e.cd, nullptr, nullptr, nullptr, nullptr);
        return e.cd;
      }
    }
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return cd;
    entries_.push_back(Entry{from, to, cd});
    return cd;
  }

 private:
  struct Entry {
    std::string from;
    std::string to;
    iconv_t cd;
  };
  std::vector<Entry> entries_;
};

}  // namespace

bool Convert(const char* from, const char* to, const std::string& in, std::string& out,
             const std::string& replacement) {
  out.clear();
  thread_local Converters converters;
  iconv_t cd = converters.Get(from, to);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  const std::size_t unit = (std::string(from).rfind("UTF-16", 0) == 0) ? 2 : 1;
  std::vector<char> src(in.begin(), in.end());
  char* ip = src.data();
  std::size_t il = src.size();
  char buf[1024];
  while (il > 0) {
    char* op = buf;
    std::size_t ol = sizeof buf;
    std::size_t r = iconv(cd, &ip, &il, &op, &ol);
    out.append(buf, static_cast<std::size_t>(op - buf));
    if (r == static_cast<std::size_t>(-1)) {
      if (errno == E2BIG) continue;
      // EILSEQ or a truncated sequence at the end: replace one unit and go on.
      std::size_t skip = il < unit ? il : unit;
      ip += skip;
      il -= skip;
      out += replacement;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  char* op = buf;
  std::size_t ol = sizeof buf;
  iconv(cd, nullptr, nullptr, &op, &ol);
  out.append(buf, static_cast<std::size_t>(op - buf));
  return true;
}

std::string Utf16ToUtf8(const std::u16string& s) {
  std::string bytes;
  for (char16_t c : s) {
    bytes.push_back(static_cast<char>(c & 0xFF));
    bytes.push_back(static_cast<char>(c >> 8));
  }
  std::string out;
  Convert("UTF-16LE", "UTF-8", bytes, out, "\xEF\xBF\xBD");
  return out;
}

std::u16string Utf8ToUtf16(const std::string& s) {
  std::string bytes;
  Convert("UTF-8", "UTF-16LE", s, bytes, std::string("\xFD\xFF", 2));
  std::u16string out;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    out.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                        (static_cast<unsigned char>(bytes[i + 1]) << 8)));
  }
  return out;
}
}  // namespace platform::posix
