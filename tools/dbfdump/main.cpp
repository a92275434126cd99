// dbfdump: prints a dBASE-family table as a readable table or as CSV.
//
//   dbfdump [--csv] FILE
//
// The table is opened read-only and shared, so a table in use by the host can be looked
// at. Text is shown as stored (GBK), converted only for the terminal. Deleted records are
// listed too, marked "*".
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "dbf/DBFTable.h"
#include "platform/codepage.h"

namespace {

const char* const kUsage =
    "Usage: dbfdump [--csv] FILE\n"
    "Prints a dBASE-family table (.dbf, CONFIG.TSK): its fields (name, type, width)\n"
    "and its records, deleted ones marked with '*'.\n"
    "  --csv   print the records as CSV: a header line of field names, then one line\n"
    "          per record; the first column, DELETED, holds '*' for deleted records\n"
    "  --help  show this text\n";

// Every record is listed; the deletion flag is shown instead of hiding the record.
class TDumpTable : public orb::TfnDBFTable {
 public:
  bool IsRecordVisible() override { return true; }
  bool CurrentDeleted() { return RecordBuffer()[0] == '*'; }
};

void Print(const std::string& gbk, std::FILE* to = stdout) {
  const std::string text = platform::GbkToTerminal(gbk);
  std::fwrite(text.data(), 1, text.size(), to);
}

// A field whose type the accessors do not know: its bytes as text when they are
// printable, else in hexadecimal.
std::string RawValue(TDumpTable& t, std::int32_t i) {
  std::string bytes(static_cast<std::size_t>(t.FieldWidth(i)), '\0');
  t.GetData(i, bytes.data());
  while (!bytes.empty() && (bytes.back() == ' ' || bytes.back() == '\0')) bytes.pop_back();
  bool printable = true;
  for (unsigned char c : bytes) printable = printable && (c >= 0x20 && c != 0x7F);
  if (printable) return bytes;
  static const char* const kHex = "0123456789ABCDEF";
  std::string hex = "0x";
  for (unsigned char c : bytes) {
    hex += kHex[c >> 4];
    hex += kHex[c & 15];
  }
  return hex;
}

std::string Value(TDumpTable& t, std::int32_t i) {
  try {
    switch (t.FieldType(i)) {
      case 'F':
      case 'N': {
        // The stored decimal text: the typed reading of an "N" field drops the fraction.
        std::string s = t.GetString(i);
        s.erase(0, s.find_first_not_of(' ') == std::string::npos ? s.size() : s.find_first_not_of(' '));
        return s;
      }
      case 'B': case 'C': case 'D': case 'I': case 'L': case 'T': case 'Y':
        return t.GetAsString(i);
      default:
        return RawValue(t, i);
    }
  } catch (const std::exception&) {
    return RawValue(t, i);
  }
}

std::string Pad(const std::string& s, std::size_t width, bool right = false) {
  // GBK bytes and terminal columns agree: a double-byte character is two columns wide.
  if (s.size() >= width) return s;
  const std::string fill(width - s.size(), ' ');
  return right ? fill + s : s + fill;
}

std::string CsvField(const std::string& s) {
  if (s.find_first_of(",\"\r\n") == std::string::npos &&
      (s.empty() || (s.front() != ' ' && s.back() != ' ')))
    return s;
  std::string q = "\"";
  for (char c : s) {
    if (c == '"') q += '"';
    q += c;
  }
  return q + "\"";
}

int Dump(const std::string& file, bool csv) {
  TDumpTable t;
  t.OpenTable(file, true, false);
  const auto n = static_cast<std::int32_t>(t.FieldCount());

  std::vector<std::vector<std::string>> rows;
  std::vector<bool> deleted;
  for (t.First(); !t.Eof(); t.Next()) {
    std::vector<std::string> row;
    for (std::int32_t i = 0; i < n; ++i) row.push_back(Value(t, i));
    rows.push_back(std::move(row));
    deleted.push_back(t.CurrentDeleted());
  }

  std::string out;
  if (csv) {
    out += "DELETED";
    for (std::int32_t i = 0; i < n; ++i) {
      out += ',';
      out += CsvField(t.FieldName(i));
    }
    out += "\n";
    for (std::size_t r = 0; r < rows.size(); ++r) {
      out += deleted[r] ? "*" : "";
      for (const std::string& v : rows[r]) {
        out += ',';
        out += CsvField(v);
      }
      out += "\n";
    }
    Print(out);
    return 0;
  }

  std::size_t deleted_count = 0;
  for (bool d : deleted) deleted_count += d ? 1 : 0;
  out += "File: " + file + "\n";
  out += "Fields: " + std::to_string(n) + "  Records: " + std::to_string(rows.size()) +
         " (" + std::to_string(deleted_count) + " deleted)  Header: " +
         std::to_string(t.HeaderSize()) + " bytes  Record: " + std::to_string(t.RecordSize()) +
         " bytes\n\n";
  out += "    #  Name        Type  Width\n";
  for (std::int32_t i = 0; i < n; ++i) {
    out += Pad(std::to_string(i + 1), 5, true) + "  " + Pad(t.FieldName(i), 10) + "  " +
           std::string(1, t.FieldType(i)) + "     " +
           Pad(std::to_string(t.FieldWidth(i)), 5, true) + "\n";
  }
  out += "\n";

  std::vector<std::size_t> width(static_cast<std::size_t>(n));
  for (std::int32_t i = 0; i < n; ++i) {
    width[i] = t.FieldName(i).size();
    for (const auto& row : rows) width[i] = std::max(width[i], row[i].size());
  }
  auto line = [&](const std::string& mark, const std::vector<std::string>& cells) {
    std::string l = mark;
    for (std::size_t i = 0; i < cells.size(); ++i) {
      const char type = t.FieldType(static_cast<std::int32_t>(i));
      const bool number = type == 'N' || type == 'F' || type == 'I' || type == 'B' || type == 'Y';
      l += " | " + Pad(cells[i], width[i], number);
    }
    while (!l.empty() && l.back() == ' ') l.pop_back();
    return l + "\n";
  };
  std::vector<std::string> names;
  for (std::int32_t i = 0; i < n; ++i) names.push_back(t.FieldName(i));
  out += line("Del", names);
  std::string rule = "---";
  for (std::size_t w : width) rule += "-+-" + std::string(w, '-');
  out += rule + "\n";
  for (std::size_t r = 0; r < rows.size(); ++r) out += line(deleted[r] ? " * " : "   ", rows[r]);
  Print(out);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  bool csv = false;
  std::string file;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      Print(kUsage);
      return 0;
    }
    if (arg == "--csv") {
      csv = true;
    } else if (!arg.empty() && arg[0] == '-' && arg != "-") {
      std::fprintf(stderr, "dbfdump: unknown option %s\n", arg.c_str());
      Print(kUsage, stderr);
      return 2;
    } else if (file.empty()) {
#ifdef ORB_ARGV_UTF8
      file = platform::Utf8ToGbk(arg);
#else
      file = arg;
#endif
    } else {
      Print(kUsage, stderr);
      return 2;
    }
  }
  if (file.empty()) {
    Print(kUsage, stderr);
    return 2;
  }
  try {
    return Dump(file, csv);
  } catch (const std::exception& e) {
    Print("dbfdump: " + std::string(e.what()) + "\n", stderr);
    return 1;
  }
}
