// arxunzip: a command-line extractor over TUnZIP, for testers. Lists, tests or extracts a zip
// archive and shows the component's events as they come (errors with their message ids, CRC
// verdicts, progress). Exit status 0 only when every selected entry succeeded.
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "archive/arxUnZIP.h"
#include "platform/codepage.h"

namespace {

const char kUsage[] =
    "usage: arxunzip [-l | -t] [-o | -n] [-P PASSWORD] [-d DIR] ARCHIVE [PATTERN...]\n"
    "  -l           list the entries (name, sizes, method, date, CRC-32)\n"
    "  -t           test: decode every entry and check its CRC-32, write nothing\n"
    "  -o           overwrite existing files without asking\n"
    "  -n           never overwrite existing files\n"
    "  -P PASSWORD  password for encrypted entries (otherwise asked for)\n"
    "  -d DIR       extract into DIR (default: the archive's folder)\n"
    "  --help       this text\n"
    "Patterns use '*' and '?' and are matched against the whole stored path ('\\' separators);\n"
    "the default is every entry.\n"
    "Exit status: 0 all entries fine, 1 some entry failed, 9 not a usable zip archive,\n"
    "10 bad command line, 11 nothing matched.\n";

// Arguments come in the terminal's character set; the engine's strings are GBK. When the
// terminal is not GBK (a UTF-8 locale), valid UTF-8 arguments are converted.
std::string ArgToGbk(const std::string& arg) {
  static const bool terminal_is_gbk = platform::GbkToTerminal("\xB1\xED") == "\xB1\xED";
  bool ascii = true;
  for (unsigned char c : arg) ascii = ascii && c < 0x80;
  if (ascii || terminal_is_gbk) return arg;
  return platform::Utf8ToGbk(arg);
}

// A Unix absolute path names the same file through drive Z:, the root of the Unix file
// system in a Wine-style prefix; Windows paths pass unchanged.
std::string ArgToPath(const std::string& arg) {
  std::string p = ArgToGbk(arg);
  if (!p.empty() && p[0] == '/') p = "Z:" + p;
  return p;
}

// Names come from the archive: a control character (ESC, BEL, ...) is shown as \xNN instead
// of reaching the terminal, where it could move the cursor or rewrite what was printed.
std::string Show(const std::string& gbk) {
  std::string text = platform::GbkToTerminal(gbk);
  std::string out;
  for (unsigned char c : text) {
    if (c < 0x20 || c == 0x7F) {
      char esc[8];
      std::snprintf(esc, sizeof esc, "\\x%02X", c);
      out += esc;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

const char* MethodName(std::uint32_t m) {
  using orb::TZipMethod;
  switch (static_cast<TZipMethod>(m)) {
    case TZipMethod::zmStored: return "Stored";
    case TZipMethod::zmShrunk: return "Shrunk";
    case TZipMethod::zmReduced1: case TZipMethod::zmReduced2:
    case TZipMethod::zmReduced3: case TZipMethod::zmReduced4: return "Reduced";
    case TZipMethod::zmImploded: return "Imploded";
    case TZipMethod::zmDeflated: return "Defl";
    case TZipMethod::zmDeflate64: return "Defl64";
    default: return "Unk";
  }
}

std::string DosDate(std::uint32_t v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04u-%02u-%02u %02u:%02u", 1980 + (v >> 25), v >> 21 & 15,
                v >> 16 & 31, v >> 11 & 31, v >> 5 & 63);
  return buf;
}

}  // namespace

int main(int argc, char** argv) {
  bool list = false, test = false, overwrite = false, never = false, have_password = false;
  std::string password, dir, archive;
  std::vector<std::string> patterns;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto need = [&](const char* what) -> std::string {
      if (i + 1 >= argc) {
        std::cerr << "arxunzip: " << a << " needs " << what << "\n" << kUsage;
        std::exit(10);
      }
      return argv[++i];
    };
    if (a == "--help" || a == "-h") {
      std::cout << kUsage;
      return 0;
    } else if (a == "-l") {
      list = true;
    } else if (a == "-t") {
      test = true;
    } else if (a == "-o") {
      overwrite = true;
    } else if (a == "-n") {
      never = true;
    } else if (a == "-P") {
      password = ArgToGbk(need("a password"));
      have_password = true;
    } else if (a == "-d") {
      dir = ArgToPath(need("a folder"));
    } else if (a.size() > 1 && a[0] == '-' && archive.empty()) {
      std::cerr << "arxunzip: unknown option " << a << "\n" << kUsage;
      return 10;
    } else if (archive.empty()) {
      archive = ArgToPath(a);
    } else {
      patterns.push_back(ArgToGbk(a));
    }
  }
  if (archive.empty() || (list && test) || (overwrite && never)) {
    std::cerr << kUsage;
    return 10;
  }

  orb::TUnZIP zip(nullptr);
  zip.SetZipCmntBufSize(32767);  // before the archive: detection finds the end record behind any comment
  zip.SetArchiveFile(archive);
  if (!dir.empty()) zip.SetExtractDir(dir);
  zip.SetFileSpec(patterns.empty() ? std::vector<std::string>{"*.*"} : patterns);
  zip.SetConfirmOverwrites(!overwrite && !never);
  zip.SetOverwriteMode(never ? orb::TOverwriteMode::omSkip : orb::TOverwriteMode::omOverwrite);
  zip.SetTestOnly(test);
  if (have_password) zip.SetPasswords({password});

  bool failed = false;
  int selected = 0, errors = 0;
  zip.OnError = [&](orb::TObject*, const std::string& fn, const std::string& ex,
                    const std::string&, int code) {
    failed = true;
    ++errors;
    std::cerr << "\nerror " << code << ": " << orb::LoadMessage(code);
    if (!fn.empty()) std::cerr << ": " << Show(fn);
    if (!ex.empty()) std::cerr << " (" << Show(ex) << ")";
    std::cerr << "\n";
  };

  if (list) {
    std::vector<orb::TZipListItem> items;
    try {
      zip.List(items);
    } catch (const orb::Exception&) {
      return 9;
    }
    std::printf("  Length   Method    Size  Cmpr  Date       Time   CRC-32   Name\n");
    std::printf("--------  ------  -------- ----  ---------- -----  -------- ----\n");
    std::uint64_t total = 0, packed = 0;
    for (const orb::TZipListItem& it : items) {
      const orb::TZipEntry& e = it.Entry;
      int ratio = e.UnpackedSize ? static_cast<int>(100 - (100.0 * e.PackedSize) / e.UnpackedSize)
                                 : 0;
      std::string name = it.Name;
      if (it.Folder && !name.empty() && name.back() != '\\') name += '\\';
      std::printf("%8u  %-6s  %8u %3d%%  %s  %08x %s%s\n", e.UnpackedSize, MethodName(e.Method),
                  e.PackedSize, ratio < 0 ? 0 : ratio, DosDate(it.DosDateTime).c_str(), e.Crc,
                  Show(name).c_str(), (e.Flags & orb::kFlagEncrypted) ? " (encrypted)" : "");
      total += e.UnpackedSize;
      packed += e.PackedSize;
    }
    std::printf("--------          --------                            -------\n");
    std::printf("%8llu          %8llu                            %zu files\n",
                static_cast<unsigned long long>(total), static_cast<unsigned long long>(packed),
                items.size());
    return failed ? 1 : (items.empty() ? 11 : 0);
  }

  int errors_at_begin = 0;
  zip.OnBegin = [&](orb::TObject*, const std::string& fn, int, bool&) {
    ++selected;
    errors_at_begin = errors;
    std::cout << (test ? "    testing: " : " extracting: ") << Show(fn) << std::flush;
  };
  zip.OnEnd = [&](orb::TObject*, const std::string&, bool pass) {
    if (!pass) failed = true;
    // An entry whose error is shown above failed for that reason, not for its CRC.
    std::cout << (pass ? "  OK" : errors != errors_at_begin ? "  FAILED" : "  CRC FAILED")
              << "\n";
  };
  zip.OnProgress = [&](orb::TObject*, std::uint8_t by_file, std::uint8_t by_archive) {
    // In one piece: stderr is unbuffered, so each insertion would be a write of its own, and
    // an extraction reports several times per entry.
    std::cerr << ("\r  [" + std::to_string(int(by_file)) + "% / " + std::to_string(int(by_archive)) +
                  "%]   \r")
              << std::flush;
  };
  zip.OnFileExists = [&](orb::TObject*, const std::string& fn, orb::TDateTime,
                         orb::TOverwriteMode& mode) {
    std::cout << "replace " << Show(fn) << "? [y]es, [n]o, [A]ll, [N]one: " << std::flush;
    std::string answer;
    if (!std::getline(std::cin, answer)) answer = "N";
    if (answer == "A") zip.SetConfirmOverwrites(false);
    if (answer == "N") zip.SetConfirmOverwrites(false);
    mode = (answer == "y" || answer == "A") ? orb::TOverwriteMode::omOverwrite
                                            : orb::TOverwriteMode::omSkip;
  };
  zip.OnGetPassword = [&](orb::TObject*, const std::string& fn, std::string& pw, bool& again) {
    std::cout << "\n" << Show(fn) << " password: " << std::flush;
    std::string line;
    if (!std::getline(std::cin, line)) {
      again = false;
      return;
    }
    pw = ArgToGbk(line);
  };
  zip.OnCorruptZipHeader = [&](orb::TObject*, std::uint8_t flag, bool& cancel) {
    std::cerr << "note: incomplete header chain (flag 0x" << std::hex << int(flag) << std::dec
              << "), walking local headers\n";
    cancel = false;
  };

  int begun = 0;
  try {
    begun = zip.Extract();
  } catch (const orb::Exception&) {
    return 9;  // OnError has said why
  }
  if (begun == 0 && selected == 0 && !failed) {
    std::vector<orb::TZipListItem> items;
    int listed = 0;
    try {
      listed = zip.List(items);
    } catch (const orb::Exception&) {
      return 9;
    }
    if (listed == 0) {
      std::cerr << "arxunzip: nothing matched\n";
      return 11;
    }
    std::cout << "nothing extracted: every target exists\n";
  }
  std::cout << (failed ? "some entries failed\n" : (test ? "no errors detected\n" : ""));
  return failed ? 1 : 0;
}
