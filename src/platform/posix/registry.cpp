// The registry of a Wine prefix: HKEY_LOCAL_MACHINE in <prefix>/system.reg, HKEY_CURRENT_USER
// in <prefix>/user.reg, in Wine's text format:
//
//   WINE REGISTRY Version 2
//   ;; All keys relative to REGISTRY\\Machine
//   #arch=win64                              <- a 64-bit prefix: 32-bit programs see
//                                               HKLM\Software through Software\Wow6432Node
//   [Software\\Test] 1796871106              <- escaped key path, modification time (Unix)
//   #time=1dd88516519e754                    <- the same as a FILETIME
//   @="..."                                  <- the default value
//   "Name"="C:\\\x6d4b\x8bd5"                <- REG_SZ; \xNNNN: UTF-16 unit, 4 hex digits at most
//   "Name"=str(2):"..."  str(7):"a\0b\0"     <- REG_EXPAND_SZ, REG_MULTI_SZ
//   "Name"=dword:12345678
//   "Name"=hex:01,02,\                       <- REG_BINARY; hex(N): any other type;
//     03                                        a trailing '\' continues the line
//
// String data is kept as UTF-16 with its terminator and handed out in GBK with the
// terminating zero, as RegQueryValueExA gives it under code page 936. Writers rewrite the
// file in place under an exclusive flock (readers take a shared one), keeping every key they
// did not touch byte for byte, so parallel test processes can share one prefix.
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/posix/internal.h"
#include "platform/posix/registry_internal.h"
#include "platform/registry.h"
#include "platform/types.h"

namespace platform::posix {
namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Parses an escaped string from s[i] up to the unescaped `end`; i ends after `end`.
bool Unescape(const std::string& s, std::size_t& i, char end, std::u16string& out) {
  out.clear();
  while (i < s.size()) {
    char c = s[i++];
    if (c == end) return true;
    if (c != '\\') {
      out.push_back(static_cast<unsigned char>(c));
      continue;
    }
    if (i >= s.size()) return false;
    char e = s[i++];
    switch (e) {
      case 'a': out.push_back(u'\a'); break;
      case 'b': out.push_back(u'\b'); break;
      case 'e': out.push_back(u'\x1b'); break;
      case 'f': out.push_back(u'\f'); break;
      case 'n': out.push_back(u'\n'); break;
      case 'r': out.push_back(u'\r'); break;
      case 't': out.push_back(u'\t'); break;
      case 'v': out.push_back(u'\v'); break;
      case 'x': {
        unsigned v = 0;
        int n = 0;
        while (n < 4 && i < s.size() && HexDigit(s[i]) >= 0) v = v * 16 + HexDigit(s[i++]), ++n;
        if (n == 0) out.push_back(u'x');
        else out.push_back(static_cast<char16_t>(v));
        break;
      }
      default:
        if (e >= '0' && e <= '7') {
          unsigned v = static_cast<unsigned>(e - '0');
          for (int n = 1; n < 3 && i < s.size() && s[i] >= '0' && s[i] <= '7'; ++n) {
            v = v * 8 + static_cast<unsigned>(s[i++] - '0');
          }
          out.push_back(static_cast<char16_t>(v));
        } else {
          out.push_back(static_cast<unsigned char>(e));
        }
    }
  }
  return false;
}

std::string Escape(const std::u16string& s) {
  std::string out;
  char buf[16];
  for (std::size_t i = 0; i < s.size(); ++i) {
    char16_t c = s[i];
    if (c == u'\\') out += "\\\\";
    else if (c == u'"') out += "\\\"";
    else if (c == 0 && (i + 1 == s.size() || s[i + 1] < u'0' || s[i + 1] > u'7')) out += "\\0";
    else if (c == u'\n') out += "\\n";
    else if (c == u'\r') out += "\\r";
    else if (c == u'\t') out += "\\t";
    else if (c < 0x20 || c >= 0x7F) {
      std::snprintf(buf, sizeof buf, "\\x%04x", static_cast<unsigned>(c));
      out += buf;
    } else {
      out.push_back(static_cast<char>(c));
    }
  }
  return out;
}

std::u16string Fold(const std::u16string& s) { return AsciiLower(s); }

bool IsStringType(std::uint32_t t) { return t == kRegSz || t == kRegExpandSz || t == kRegMultiSz; }

bool ParseValue(const std::string& line, HiveValue& v) {
  std::size_t i = 0;
  if (line[0] == '@') {
    v.name.clear();
    i = 1;
  } else {
    i = 1;
    if (!Unescape(line, i, '"', v.name)) return false;
  }
  if (i >= line.size() || line[i] != '=') return false;
  ++i;
  std::string rest = line.substr(i);
  if (rest.rfind("\"", 0) == 0 || rest.rfind("str(", 0) == 0) {
    v.type = kRegSz;
    std::size_t j = 0;
    if (rest[0] == 's') {
      std::size_t close = rest.find("):");
      if (close == std::string::npos) return false;
      v.type = static_cast<std::uint32_t>(std::strtoul(rest.c_str() + 4, nullptr, 16));
      j = close + 2;
    }
    if (j >= rest.size() || rest[j] != '"') return false;
    ++j;
    std::u16string s;
    if (!Unescape(rest, j, '"', s)) return false;
    s.push_back(0);
    v.data = U16Bytes(s);
    return true;
  }
  if (rest.rfind("dword:", 0) == 0) {
    std::uint32_t d = static_cast<std::uint32_t>(std::strtoul(rest.c_str() + 6, nullptr, 16));
    v.type = kRegDword;
    v.data.clear();
    for (int k = 0; k < 4; ++k) v.data.push_back(static_cast<char>((d >> (8 * k)) & 0xFF));
    return true;
  }
  if (rest.rfind("hex", 0) == 0) {
    std::size_t j = 3;
    v.type = kRegBinary;
    if (j < rest.size() && rest[j] == '(') {
      v.type = static_cast<std::uint32_t>(std::strtoul(rest.c_str() + j + 1, nullptr, 16));
      j = rest.find(')', j);
      if (j == std::string::npos) return false;
      ++j;
    }
    if (j >= rest.size() || rest[j] != ':') return false;
    ++j;
    v.data.clear();
    while (j < rest.size()) {
      while (j < rest.size() && (rest[j] == ',' || std::isspace(static_cast<unsigned char>(rest[j])) || rest[j] == '\\')) ++j;
      if (j + 1 < rest.size() && HexDigit(rest[j]) >= 0 && HexDigit(rest[j + 1]) >= 0) {
        v.data.push_back(static_cast<char>(HexDigit(rest[j]) * 16 + HexDigit(rest[j + 1])));
        j += 2;
      } else if (j < rest.size()) {
        return false;
      }
    }
    return true;
  }
  return false;
}

std::string ValueText(const HiveValue& v) {
  std::string out = v.name.empty() ? "@=" : "\"" + Escape(v.name) + "\"=";
  char buf[32];
  bool even = v.data.size() % 2 == 0;
  bool terminated = even && v.data.size() >= 2 && v.data[v.data.size() - 1] == 0 &&
                    v.data[v.data.size() - 2] == 0;
  if (IsStringType(v.type) && terminated) {
    std::u16string s;
    for (std::size_t k = 0; k + 2 < v.data.size(); k += 2) {
      s.push_back(static_cast<char16_t>(static_cast<unsigned char>(v.data[k]) |
                                        (static_cast<unsigned char>(v.data[k + 1]) << 8)));
    }
    if (v.type != kRegSz) {
      std::snprintf(buf, sizeof buf, "str(%x):", v.type);
      out += buf;
    }
    return out + "\"" + Escape(s) + "\"";
  }
  if (v.type == kRegDword && v.data.size() == 4) {
    std::uint32_t d = 0;
    for (int k = 3; k >= 0; --k) d = (d << 8) | static_cast<unsigned char>(v.data[k]);
    std::snprintf(buf, sizeof buf, "dword:%08x", d);
    return out + buf;
  }
  if (v.type == kRegBinary) {
    out += "hex:";
  } else {
    std::snprintf(buf, sizeof buf, "hex(%x):", v.type);
    out += buf;
  }
  std::size_t col = out.size();
  for (std::size_t k = 0; k < v.data.size(); ++k) {
    std::snprintf(buf, sizeof buf, "%02x", static_cast<unsigned char>(v.data[k]));
    out += buf;
    col += 2;
    if (k + 1 < v.data.size()) {
      out += ',';
      ++col;
      if (col > 76) {
        out += "\\\n  ";
        col = 2;
      }
    }
  }
  return out;
}

std::string HivePath(RootKey root) {
  return Prefix() + (root == RootKey::LocalMachine ? "/system.reg" : "/user.reg");
}

std::string NewHiveHeader(RootKey root) {
  if (root == RootKey::LocalMachine) {
    return "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n#arch=win64\n\n";
  }
  return "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n\n"
         "#arch=win64\n\n";
}

std::string ReadAll(int fd) {
  std::string text;
  char buf[65536];
  lseek(fd, 0, SEEK_SET);
  for (;;) {
    ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    text.append(buf, static_cast<std::size_t>(n));
  }
  return text;
}

std::u16string KeyPath(const std::string& subkey_gbk) {
  std::u16string s = GbkToUtf16(subkey_gbk);
  std::u16string out;
  for (char16_t c : s) {
    if (c == u'\\' && (out.empty() || out.back() == u'\\')) continue;
    out.push_back(c);
  }
  while (!out.empty() && out.back() == u'\\') out.pop_back();
  return out;
}

}  // namespace

void Hive::Parse(const std::string& text) {
  header.clear();
  keys.clear();
  win64 = false;
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t nl = text.find('\n', start);
    if (nl == std::string::npos) nl = text.size();
    std::string line = text.substr(start, nl - start);
    // Every carriage return at the end goes, not only one: a line written back without its
    // first one would otherwise read differently the next time (a hex value ending in "\"
    // and a return would become a continuation and swallow the next key).
    while (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    start = nl + 1;
  }
  for (std::size_t i = 0; i < lines.size(); ++i) {
    std::string line = lines[i];
    if (keys.empty() && (line.empty() || line[0] != '[')) {
      if (line == "#arch=win64") win64 = true;
      header.push_back(line);
      continue;
    }
    if (!line.empty() && line[0] == '[') {
      HiveKey k;
      std::size_t j = 1;
      if (!Unescape(line, j, ']', k.name)) continue;
      k.folded = Fold(k.name);
      k.header = line;
      keys.push_back(std::move(k));
      continue;
    }
    if (line.empty()) continue;
    HiveKey& k = keys.back();
    if (line[0] == '#') {
      k.meta.push_back(line);
      continue;
    }
    if (line[0] != '"' && line[0] != '@') continue;
    std::string raw = line;
    std::string joined = line;
    while (!joined.empty() && joined.back() == '\\' && joined.find("=hex") != std::string::npos &&
           i + 1 < lines.size()) {
      joined.pop_back();
      raw += "\n" + lines[++i];
      std::size_t s = lines[i].find_first_not_of(" \t");
      joined += s == std::string::npos ? "" : lines[i].substr(s);
    }
    HiveValue v;
    if (!ParseValue(joined, v)) continue;
    v.raw = raw;
    k.values.push_back(std::move(v));
  }
}

std::string Hive::Serialize() const {
  std::string out;
  // The header (up to the first key, blank lines included) is kept as it was.
  for (const std::string& h : header) out += h + "\n";
  if (header.empty() || !header.back().empty()) out += "\n";
  for (const HiveKey& k : keys) {
    out += k.header + "\n";
    for (const std::string& m : k.meta) out += m + "\n";
    for (const HiveValue& v : k.values) out += (v.raw.empty() ? ValueText(v) : v.raw) + "\n";
    out += "\n";
  }
  return out;
}

HiveKey* Hive::Find(const std::u16string& path) {
  std::u16string f = Fold(path);
  for (HiveKey& k : keys) {
    if (k.folded == f) return &k;
  }
  return nullptr;
}

bool Hive::Exists(const std::u16string& path) {
  if (path.empty() || Find(path) != nullptr) return true;
  std::u16string f = Fold(path) + u"\\";
  for (const HiveKey& k : keys) {
    if (k.folded.compare(0, f.size(), f) == 0) return true;
  }
  return false;
}

HiveKey& Hive::Create(const std::u16string& path) {
  if (HiveKey* k = Find(path)) return *k;
  HiveKey k;
  k.name = path;
  k.folded = Fold(path);
  std::time_t now = std::time(nullptr);
  unsigned long long ft = (static_cast<unsigned long long>(now) + 11644473600ULL) * 10000000ULL;
  char buf[64];
  std::snprintf(buf, sizeof buf, "] %lld", static_cast<long long>(now));
  k.header = "[" + Escape(path) + buf;
  std::snprintf(buf, sizeof buf, "#time=%llx", ft);
  k.meta.push_back(buf);
  keys.push_back(std::move(k));
  return keys.back();
}

std::u16string Hive::View(RootKey root, const std::u16string& path) const {
  if (root != RootKey::LocalMachine || !win64) return path;
  std::u16string f = Fold(path);
  if (f.compare(0, 8, u"software") != 0 || (f.size() > 8 && f[8] != u'\\')) return path;
  if (f.compare(0, 21, u"software\\wow6432node") == 0 && (f.size() == 20 || f[20] == u'\\')) {
    return path;
  }
  return path.substr(0, 8) + u"\\Wow6432Node" + path.substr(8);
}

std::uint32_t LoadHive(RootKey root, Hive& hive, bool& writable) {
  std::string path = HivePath(root);
  writable = false;
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT ? kErrorFileNotFound : kErrorAccessDenied;
  flock(fd, LOCK_SH);
  hive.Parse(ReadAll(fd));
  flock(fd, LOCK_UN);
  struct stat st;
  if (fstat(fd, &st) == 0) writable = Writable(path, st);
  close(fd);
  return 0;
}

std::uint32_t ModifyHive(RootKey root, const std::function<void(Hive&)>& change) {
  std::string path = HivePath(root);
  struct stat st;
  if (stat(path.c_str(), &st) == 0 && !Writable(path, st)) return kErrorAccessDenied;
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return errno == ENOENT ? kErrorPathNotFound : kErrorAccessDenied;
  flock(fd, LOCK_EX);
  std::string text = ReadAll(fd);
  if (text.empty()) text = NewHiveHeader(root);
  Hive hive;
  hive.Parse(text);
  change(hive);
  std::string out = hive.Serialize();
  std::uint32_t result = 0;
  lseek(fd, 0, SEEK_SET);
  std::size_t off = 0;
  while (off < out.size()) {
    ssize_t n = write(fd, out.data() + off, out.size() - off);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      result = errno == ENOSPC ? kErrorDiskFull : kErrorAccessDenied;
      break;
    }
    off += static_cast<std::size_t>(n);
  }
  if (result == 0 && ftruncate(fd, static_cast<off_t>(out.size())) != 0) result = kErrorAccessDenied;
  flock(fd, LOCK_UN);
  close(fd);
  return result;
}

std::u16string RegistryPath(const std::string& subkey_gbk) { return KeyPath(subkey_gbk); }

std::string U16Bytes(const std::u16string& s) {
  std::string b;
  for (char16_t c : s) {
    b.push_back(static_cast<char>(c & 0xFF));
    b.push_back(static_cast<char>(c >> 8));
  }
  return b;
}

std::string ValueForQuery(const HiveValue& v) {
  if (!IsStringType(v.type)) return v.data;
  std::u16string s;
  for (std::size_t k = 0; k + 1 < v.data.size(); k += 2) {
    s.push_back(static_cast<char16_t>(static_cast<unsigned char>(v.data[k]) |
                                      (static_cast<unsigned char>(v.data[k + 1]) << 8)));
  }
  return Utf16ToGbk(s);
}

}  // namespace platform::posix

namespace platform {

using posix::Fail;
using posix::Ok;

struct RegKey::State {
  std::vector<posix::HiveValue> values;
};

RegKey::RegKey() = default;
RegKey::~RegKey() = default;

std::uint32_t RegKey::Open(RootKey root, const std::string& subkey, std::uint32_t access) {
  state_.reset();
  posix::Hive hive;
  bool writable = false;
  if (std::uint32_t e = posix::LoadHive(root, hive, writable)) {
    return Fail(e == kErrorFileNotFound ? kErrorFileNotFound : e);
  }
  std::u16string path = hive.View(root, posix::RegistryPath(subkey));
  if (!hive.Exists(path)) return Fail(kErrorFileNotFound);
  if ((access & posix::kWriteRightsMask) != 0 && !writable) return Fail(kErrorAccessDenied);
  auto state = std::make_unique<State>();
  if (posix::HiveKey* k = hive.Find(path)) state->values = k->values;
  state_ = std::move(state);
  return Ok();
}

std::uint32_t RegKey::QueryInfo(const std::string& name, std::uint32_t& type, std::uint32_t& size) {
  RegValue v;
  std::uint32_t e = Query(name, v);
  type = e == 0 ? v.type : 0;
  size = e == 0 ? static_cast<std::uint32_t>(v.data.size()) : 0;
  return e;
}

std::uint32_t RegKey::Query(const std::string& name, RegValue& out) {
  out = RegValue();
  if (!state_) return Fail(kErrorInvalidHandle);
  std::u16string folded = posix::AsciiLower(GbkToUtf16(name));
  for (const posix::HiveValue& v : state_->values) {
    if (posix::AsciiLower(v.name) == folded) {
      out.type = v.type;
      out.data = posix::ValueForQuery(v);
      return Ok();
    }
  }
  return Fail(kErrorFileNotFound);
}

void RegKey::Close() {
  state_.reset();
  SetLastError(0);
}

bool RegKey::IsOpen() const { return state_ != nullptr; }

std::uint32_t RegWriteValue(RootKey root, const std::string& subkey, const std::string& name,
                            std::uint32_t type, const std::string& data) {
  std::u16string vname = GbkToUtf16(name);
  std::string bytes = data;
  if (type == kRegSz || type == kRegExpandSz || type == kRegMultiSz) {
    bytes = posix::U16Bytes(GbkToUtf16(data));
  }
  std::u16string path = posix::RegistryPath(subkey);
  if (path.empty()) return Fail(kErrorInvalidParameter);
  std::uint32_t e = posix::ModifyHive(root, [&](posix::Hive& hive) {
    posix::HiveKey& k = hive.Create(hive.View(root, path));
    std::u16string folded = posix::AsciiLower(vname);
    for (posix::HiveValue& v : k.values) {
      if (posix::AsciiLower(v.name) == folded) {
        v.type = type;
        v.data = bytes;
        v.raw.clear();
        return;
      }
    }
    posix::HiveValue v;
    v.name = vname;
    v.type = type;
    v.data = bytes;
    k.values.push_back(std::move(v));
  });
  return Fail(e);
}

std::uint32_t RegDeleteTree(RootKey root, const std::string& subkey) {
  std::u16string path = posix::RegistryPath(subkey);
  if (path.empty()) return Fail(kErrorAccessDenied);
  std::string hive_path = posix::Prefix() + (root == RootKey::LocalMachine ? "/system.reg" : "/user.reg");
  struct stat st;
  if (stat(hive_path.c_str(), &st) != 0) return Ok();
  std::uint32_t e = posix::ModifyHive(root, [&](posix::Hive& hive) {
    std::u16string f = posix::AsciiLower(hive.View(root, path));
    std::vector<posix::HiveKey> kept;
    for (posix::HiveKey& k : hive.keys) {
      bool inside = k.folded == f || (k.folded.size() > f.size() &&
                                      k.folded.compare(0, f.size(), f) == 0 &&
                                      k.folded[f.size()] == u'\\');
      if (!inside) kept.push_back(std::move(k));
    }
    hive.keys = std::move(kept);
  });
  return Fail(e);
}

}  // namespace platform
