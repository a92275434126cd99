// Tables written here read back in third-party dBASE readers, and tables written by a
// third-party writer read here, using Debian's packages: python3-dbfread and dbview as
// readers, shapelib's dbfcreate/dbfadd as a writer. Each test skips when its tool is
// missing (scripts/setup-debian.sh installs them).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "dbf/DBFTable.h"
#include "platform/codepage.h"
#include "platform/posix/internal.h"
#include "platform/process.h"
#include "support/FakeUserInterface.h"
#include "support/ScratchDir.h"

namespace {

using orb::TDBFCreator;
using orb::TfnDBFTable;

const char* const kPython = "/usr/bin/python3";

bool HaveProgram(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && (st.st_mode & S_IXUSR) != 0;
}

bool HaveDbfread() {
  return HaveProgram(kPython) &&
         std::system((std::string(kPython) + " -c 'import dbfread' 2>/dev/null").c_str()) == 0;
}

std::string Unix(const std::string& windows_path) {
  platform::posix::UnixPath p;
  EXPECT_EQ(platform::posix::ToUnix(windows_path, p), 0u) << windows_path;
  return p.path;
}

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// Runs a shell command line; returns its exit code.
std::uint32_t Shell(const std::string& command) {
  platform::ChildProcess child;
  if (child.Start("/bin/sh", {"-c", command}) != 0) return 0xFFFFFFFFu;
  return child.Wait();
}

std::vector<std::string> Lines(const std::string& unix_path) {
  std::ifstream in(unix_path);
  std::vector<std::string> lines;
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  return lines;
}

// dbfread's view of a table: one line per field (name type length decimals), one per
// live record (name=value pairs), then the number of deleted records.
const char* const kDbfreadScript = R"(
import sys, dbfread
# A "B" field (a double in version 0x30 tables) makes dbfread look for a memo file,
# which these tables never have.
t = dbfread.DBF(sys.argv[1], encoding='gbk', char_decode_errors='strict',
                ignore_missing_memofile=True)
with open(sys.argv[2], 'w', encoding='utf-8') as out:
    for f in t.fields:
        out.write('%s %s %d %d\n' % (f.name, f.type, f.length, f.decimal_count))
    for r in t:
        out.write('|'.join('%s=%s' % (k, v) for k, v in r.items()) + '\n')
    out.write('deleted %d\n' % len(list(t.deleted)))
)";

std::vector<std::string> Dbfread(const orbtest::ScratchDir& dir, const std::string& table) {
  const std::string out = Unix(dir.path()) + "/dbfread.txt";
  const std::string cmd = std::string(kPython) + " -c " + Quote(kDbfreadScript) + " " +
                          Quote(Unix(table)) + " " + Quote(out);
  EXPECT_EQ(Shell(cmd), 0u) << cmd;
  return Lines(out);
}

std::string Utf8(const std::string& gbk) { return platform::GbkToUtf8(gbk); }

class ThirdPartyTest : public ::testing::Test {
 protected:
  orbtest::ScratchDir dir_;
  orbtest::FakeClock clock_{orbtest::Day(2004, 6, 2)};
  orbtest::ScopedClock clock_guard_{clock_};
};

TEST_F(ThirdPartyTest, TablesWrittenHereReadInDbfread) {
  if (!HaveDbfread()) GTEST_SKIP() << "python3-dbfread is not installed (/usr/bin/python3)";
  ASSERT_TRUE(dir_.ok());
  const std::string path = dir_.Join("types.dbf");
  {
    TDBFCreator creator;
    creator.AddField("Name", 'C', 12, 0);
    creator.AddField("Qty", 'N', 6, 0);
    creator.AddField("Ratio", 'F', 8, 0);
    creator.AddField("Day", 'D', 8, 0);
    creator.AddField("Ok", 'L', 1, 0);
    creator.AddField("Count", 'I', 4, 0);
    creator.AddField("Real", 'B', 8, 0);
    creator.AddField("Cost", 'Y', 8, 4);
    creator.AddField("Stamp", 'T', 8, 0);
    creator.CreateTable(path);
  }
  const std::vector<std::string> fields = {
      "NAME C 12 0", "QTY N 6 0", "RATIO F 8 0", "DAY D 8 0", "OK L 1 0",
      "COUNT I 4 0", "REAL B 8 0", "COST Y 8 4", "STAMP T 8 0"};
  auto expect_table = [&](const std::vector<std::string>& records, int deleted) {
    std::vector<std::string> want = fields;
    want.insert(want.end(), records.begin(), records.end());
    want.push_back("deleted " + std::to_string(deleted));
    EXPECT_EQ(Dbfread(dir_, path), want);
  };
  expect_table({}, 0);

  auto append = [&](const std::vector<std::string>& values) {
    TfnDBFTable table(path, false, true);
    table.Append();
    for (std::size_t i = 0; i < values.size(); ++i)
      table.SetAsString(static_cast<std::int32_t>(i), values[i]);
    table.Post();
    table.SetActive(false);
  };
  append({"中文名称ab", "-1234", "250", "2004-06-02", "T", "-70000", "0.125", "12.5",
          "2004-06-02"});
  append({"plain", "7", "-3", "1999-12-31", "F", "2147483647", "-1e300", "-0.0001",
          "1899-12-30"});
  const std::string first = "NAME=" + Utf8("中文名称ab") +
                            "|QTY=-1234|RATIO=250.0|DAY=2004-06-02|OK=True|COUNT=-70000"
                            "|REAL=0.125|COST=12.5|STAMP=2004-06-02 00:00:00";
  const std::string second =
      "NAME=plain|QTY=7|RATIO=-3.0|DAY=1999-12-31|OK=False|COUNT=2147483647"
      "|REAL=-1e+300|COST=-0.0001|STAMP=1899-12-30 00:00:00";
  expect_table({first, second}, 0);

  {
    TfnDBFTable table(path, false, true);
    table.First();
    table.Delete();
    table.SetActive(false);
  }
  append({"third"});  // the other fields stay blank
  expect_table({second,
                "NAME=third|QTY=None|RATIO=None|DAY=None|OK=False|COUNT=0|REAL=0.0|COST=0"
                "|STAMP=1899-12-30 00:00:00"},
               1);
}

// dbview reads dBASE III tables only and refuses the version byte 0x30 this library
// writes ("Version 48 not supported"). With that one byte set to 0x03 it reads the rest of
// the layout: header and record lengths, descriptors, the 264-byte terminator block skipped
// through the header length, the records, and the trailer ignored behind them.
TEST_F(ThirdPartyTest, TablesWrittenHereReadInDbviewApartFromTheVersionByte) {
  if (!HaveProgram("/usr/bin/dbview")) GTEST_SKIP() << "dbview is not installed";
  ASSERT_TRUE(dir_.ok());
  const std::string path = dir_.Join("plain.dbf");
  {
    TDBFCreator creator;
    creator.AddField("Flag", 'C', 8, 0);
    creator.AddField("Year", 'C', 4, 0);
    creator.AddField("Time", 'N', 6, 0);
    creator.CreateTable(path);
    TfnDBFTable table(path, false, true);
    for (const char* flag : {"QMVT04", "任务"}) {
      table.Append();
      table.SetStringByName("Flag", flag);
      table.SetStringByName("Year", "2004");
      table.SetIntegerByName("Time", 15);
      table.Post();
    }
    table.SetActive(false);
  }
  std::string bytes;
  ASSERT_EQ(orbtest::ReadWholeFile(path, bytes), 0u);
  ASSERT_EQ(bytes[0], 0x30);
  bytes[0] = 0x03;
  const std::string copy = dir_.Join("plain3.dbf");
  ASSERT_EQ(orbtest::WriteWholeFile(copy, bytes), 0u);

  const std::string out = Unix(dir_.path()) + "/dbview.txt";
  ASSERT_EQ(Shell("/usr/bin/dbview -b -t -d '|' " + Quote(Unix(copy)) + " > " + Quote(out)), 0u);
  // dbview prints the stored bytes (GBK) unconverted. It counts the fields from the header
  // length, so the zero bytes behind the terminator show as eight empty fields.
  EXPECT_EQ(Lines(out), (std::vector<std::string>{"QMVT04|2004|15|||||||||",
                                                  "任务|2004|15|||||||||"}));
}

TEST_F(ThirdPartyTest, TablesOfAnotherWriterReadHere) {
  if (!HaveProgram("/usr/bin/dbfcreate") || !HaveProgram("/usr/bin/dbfadd"))
    GTEST_SKIP() << "shapelib's dbfcreate and dbfadd are not installed";
  ASSERT_TRUE(dir_.ok());
  const std::string path = dir_.Join("shape.dbf");
  const std::string u = Quote(Unix(path));
  ASSERT_EQ(Shell("/usr/bin/dbfcreate " + u + " -s NAME 20 -n CNT 6 0 -n PRICE 10 2"), 0u);
  ASSERT_EQ(Shell("/usr/bin/dbfadd " + u + " 'first row' 12 3.25"), 0u);
  ASSERT_EQ(Shell("/usr/bin/dbfadd " + u + " second -7 0.5"), 0u);
  std::string before;
  ASSERT_EQ(orbtest::ReadWholeFile(path, before), 0u);

  {
    TfnDBFTable table(path, true, false);
    ASSERT_EQ(table.FieldCount(), 3u);
    EXPECT_EQ(table.RecordCount(), 2u);
    struct Field {
      const char* name;
      char type;
      int width;
    } want[] = {{"NAME", 'C', 20}, {"CNT", 'N', 6}, {"PRICE", 'N', 10}};
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(table.FieldName(i), want[i].name);
      EXPECT_EQ(table.FieldType(i), want[i].type);
      EXPECT_EQ(table.FieldWidth(i), want[i].width);
    }
    std::vector<std::string> rows;
    for (table.First(); !table.Eof(); table.Next()) {
      rows.push_back(table.GetStringByName("name") + ";" +
                     std::to_string(table.GetIntegerByName("cnt")) + ";" +
                     std::to_string(table.GetFloat(table.FieldIndex("price"))));
    }
    EXPECT_EQ(rows, (std::vector<std::string>{"first row;12;3.250000", "second;-7;0.500000"}));
  }
  std::string after;
  ASSERT_EQ(orbtest::ReadWholeFile(path, after), 0u);
  EXPECT_EQ(after, before);  // read without a Post: untouched

  {
    TfnDBFTable table(path, false, true);
    table.Append();
    table.SetStringByName("NAME", "added here");
    table.SetIntegerByName("CNT", 99);
    table.Post();
    table.SetActive(false);
  }
  if (!HaveDbfread()) GTEST_SKIP() << "python3-dbfread is not installed: appended table not cross-read";
  EXPECT_EQ(Dbfread(dir_, path),
            (std::vector<std::string>{"NAME C 20 0", "CNT N 6 0", "PRICE N 10 2",
                                      "NAME=first row|CNT=12|PRICE=3.25",
                                      "NAME=second|CNT=-7|PRICE=0.5",
                                      "NAME=added here|CNT=99|PRICE=None", "deleted 0"}));
}

#ifdef ORB_DBFDUMP
TEST_F(ThirdPartyTest, DbfdumpPrintsTheTableAndCsv) {
  ASSERT_TRUE(dir_.ok());
  const std::string path = dir_.Join("CONFIG.TSK");
  {
    TDBFCreator creator;
    creator.AddField("Name", 'C', 20, 0);
    creator.AddField("Time", 'N', 6, 0);
    creator.CreateTable(path);
    TfnDBFTable table(path, false, true);
    for (const char* name : {"考核任务", "a, \"b\""}) {
      table.Append();
      table.SetStringByName("Name", name);
      table.SetIntegerByName("Time", 5);
      table.Post();
    }
    table.First();
    table.Delete();
    table.SetActive(false);
  }
  const std::string out = Unix(dir_.path()) + "/dump.txt";
  const std::string run = "LC_ALL=C.UTF-8 " + Quote(ORB_DBFDUMP);
  ASSERT_EQ(Shell(run + " " + Quote(Unix(path)) + " > " + Quote(out)), 0u);
  const std::vector<std::string> text = Lines(out);
  ASSERT_GE(text.size(), 10u);
  EXPECT_EQ(text[1], "Fields: 2  Records: 2 (1 deleted)  Header: 360 bytes  Record: 27 bytes");
  EXPECT_EQ(text[4], "    1  NAME        C        20");
  EXPECT_EQ(text[5], "    2  TIME        N         6");
  EXPECT_EQ(text[7], "Del | NAME     | TIME");
  EXPECT_EQ(text[9], " *  | " + Utf8("考核任务") + " |    5");
  EXPECT_EQ(text[10], "    | a, \"b\"   |    5");

  ASSERT_EQ(Shell(run + " --csv " + Quote(Unix(path)) + " > " + Quote(out)), 0u);
  EXPECT_EQ(Lines(out), (std::vector<std::string>{"DELETED,NAME,TIME", "*," + Utf8("考核任务") + ",5",
                                                  ",\"a, \"\"b\"\"\",5"}));
  EXPECT_EQ(Shell(run + " --bogus > /dev/null 2>&1"), 2u);
  EXPECT_EQ(Shell(run + " " + Quote(Unix(dir_.path()) + "/none.dbf") + " 2>/dev/null"), 1u);
}
#endif

}  // namespace
