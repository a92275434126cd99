// The table file and its creator: byte layout of created files, header validation, record
// I/O, the header and trailer rewritten on close, and the file left alone otherwise.
#include "dbf/DBFTable.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "_OrbLib/OrbWin.h"
#include "support/FakeUserInterface.h"
#include "support/ScratchDir.h"

namespace {

using orb::EOrbDBError;
using orb::TDBFCreator;
using orb::TDBFTable;
using orb::TfnDBFTable;

struct FieldDef {
  const char* name;
  char type;
  std::uint8_t length;
  std::uint8_t decimals;
};

// CONFIG.TSK's fields: 774 bytes of fields, 775 with the deletion flag.
const std::vector<FieldDef> kCatalog = {
    {"Name", 'C', 100, 0}, {"Flag", 'C', 15, 0},  {"FileFlag", 'C', 6, 0},
    {"Dir", 'C', 254, 0},  {"NetDir", 'C', 254, 0}, {"Year", 'C', 4, 0},
    {"Period", 'C', 1, 0}, {"Time", 'N', 6, 0},   {"Group", 'C', 40, 0},
    {"Reserved", 'C', 20, 0}, {"Password", 'C', 60, 0}, {"Version", 'C', 14, 0}};

void Create(const std::string& path, const std::vector<FieldDef>& fields) {
  TDBFCreator creator;
  for (const FieldDef& f : fields) creator.AddField(f.name, f.type, f.length, f.decimals);
  creator.CreateTable(path);
}

std::string Bytes(const std::string& path) {
  std::string b;
  EXPECT_EQ(orbtest::ReadWholeFile(path, b), 0u) << path;
  return b;
}

std::uint32_t U8(const std::string& b, std::size_t off) {
  return static_cast<unsigned char>(b.at(off));
}
std::uint32_t U16(const std::string& b, std::size_t off) { return U8(b, off) | (U8(b, off + 1) << 8); }
std::uint32_t U32(const std::string& b, std::size_t off) {
  return U16(b, off) | (U16(b, off + 2) << 16);
}
std::string Le16(std::uint32_t v) { return {static_cast<char>(v), static_cast<char>(v >> 8)}; }
std::string Le32(std::uint32_t v) { return Le16(v) + Le16(v >> 16); }

// prefix + decimal number (built by appending: GCC 12 warns falsely on "x" + string).
std::string Numbered(const char* prefix, long long n) {
  std::string s(prefix);
  s += std::to_string(n);
  return s;
}

bool AllZero(const std::string& b, std::size_t off, std::size_t n) {
  for (std::size_t i = off; i < off + n; ++i)
    if (b.at(i) != 0) return false;
  return true;
}

// A descriptor as another program writes it.
std::string Descriptor(const std::string& name, char type, std::uint8_t length) {
  std::string d(32, '\0');
  d.replace(0, name.size(), name);
  d[11] = type;
  d[16] = static_cast<char>(length);
  return d;
}

// `n` character fields F0, F1, ... of `length` bytes each.
std::string Descriptors(int n, std::uint8_t length) {
  std::string d;
  for (int i = 0; i < n; ++i) d += Descriptor(Numbered("F", i), 'C', length);
  return d;
}

// The 32 bytes before the descriptors of a wide-form table: a header length of 296, and the
// field count where the classic form keeps its record length.
std::string WideHeader(std::uint16_t fields) {
  std::string h(32, '\0');
  h[0] = 0x03;
  h.replace(8, 2, Le16(296));
  h.replace(10, 2, Le16(fields));
  return h;
}

// The 32 bytes before the descriptors of a classic-form table.
std::string ClassicHeader(std::uint16_t header_length, std::uint16_t record_length,
                          std::uint32_t record_count = 0) {
  std::string h(32, '\0');
  h[0] = 0x03;
  h.replace(4, 4, Le32(record_count));
  h.replace(8, 2, Le16(header_length));
  h.replace(10, 2, Le16(record_length));
  return h;
}

// A dBASE III file: version 0x03, code page mark 0x4D, the 0x0D terminator right behind the
// descriptors, records, and an end-of-file byte 0x1A.
std::string DBaseIIIFile(const std::vector<std::string>& records) {
  std::string fields = Descriptor("name", 'C', 5) + Descriptor("qty", 'N', 3);
  std::string h(32, '\0');
  h[0] = 0x03;
  h[1] = 99;
  h[2] = 12;
  h[3] = 31;
  h.replace(4, 4, Le32(static_cast<std::uint32_t>(records.size())));
  h.replace(8, 2, Le16(32 + 64 + 1));
  h.replace(10, 2, Le16(1 + 5 + 3));
  h[29] = 0x4D;
  std::string file = h + fields + "\r";
  for (const std::string& r : records) file += r;
  return file + "\x1A";
}

// The trailer's sample checksum computed here from its definition, independently of the
// library: the position from the host's long double functions, a bitwise CRC-32 update
// started from the header length and never inverted.
std::uint32_t ExpectedSampleChecksum(const std::string& file_without_trailer,
                                     std::uint32_t record_count, std::uint32_t record_size,
                                     std::uint32_t header_size) {
  const auto s = static_cast<std::uint32_t>(file_without_trailer.size()) & 0x3FFFFFFFu;
  long double v = (std::cos(static_cast<long double>(record_count)) +
                   std::sin(static_cast<long double>(record_size))) *
                  s / 2;
  auto p = static_cast<std::int32_t>(std::llrint(v));
  if (p > static_cast<std::int32_t>(s) - 4096) p = std::max<std::int32_t>(0, s - 4096);
  std::uint32_t crc = header_size;
  if (p >= 0 && static_cast<std::size_t>(p) < file_without_trailer.size()) {
    for (unsigned char c : file_without_trailer.substr(p, 4096)) {
      crc ^= c;
      for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
  }
  return crc;
}

class DBFTableTest : public ::testing::Test {
 protected:
  DBFTableTest() : clock_(orbtest::Day(2004, 6, 2)), clock_guard_(clock_) {}
  std::string Path(const std::string& name) const { return dir_.Join(name); }

  orbtest::ScratchDir dir_;
  orbtest::FakeClock clock_;
  orbtest::ScopedClock clock_guard_;
};

// ---- Creator --------------------------------------------------------------------------

TEST_F(DBFTableTest, CreatedCatalogHasTheDocumentedByteLayout) {
  ASSERT_TRUE(dir_.ok());
  const std::string path = Path("CONFIG.TSK");
  Create(path, kCatalog);
  const std::string b = Bytes(path);

  ASSERT_EQ(b.size(), 32u * 12 + 296);  // header, 12 descriptors, 264-byte terminator block
  EXPECT_EQ(U8(b, 0), 0x30u);           // version
  EXPECT_EQ(U8(b, 1), 104u);            // 2004 - 1900
  EXPECT_EQ(U8(b, 2), 6u);
  EXPECT_EQ(U8(b, 3), 2u);
  EXPECT_EQ(U32(b, 4), 0u);    // records
  EXPECT_EQ(U16(b, 8), 680u);  // header length
  EXPECT_EQ(U16(b, 10), 775u); // record length with the deletion flag
  EXPECT_TRUE(AllZero(b, 12, 20));  // reserved, flags, code page mark, reserved

  std::uint32_t position = 1;
  for (std::size_t i = 0; i < kCatalog.size(); ++i) {
    SCOPED_TRACE(kCatalog[i].name);
    const std::size_t d = 32 + 32 * i;
    std::string upper = kCatalog[i].name;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(b.substr(d, upper.size()), upper);
    EXPECT_TRUE(AllZero(b, d + upper.size(), 11 - upper.size()));
    EXPECT_EQ(b[d + 11], kCatalog[i].type);
    EXPECT_EQ(U32(b, d + 12), position);
    EXPECT_EQ(U8(b, d + 16), kCatalog[i].length);
    EXPECT_EQ(U8(b, d + 17), 0u);
    EXPECT_TRUE(AllZero(b, d + 18, 14));
    position += kCatalog[i].length;
  }
  EXPECT_EQ(U8(b, 416), 0x0Du);
  EXPECT_TRUE(AllZero(b, 417, 263));

  TfnDBFTable table(path, true, false);
  EXPECT_EQ(table.FieldCount(), 12u);
  EXPECT_EQ(table.HeaderSize(), 680);
  EXPECT_EQ(table.RecordSize(), 775);
  EXPECT_EQ(table.RecordCount(), 0u);
  EXPECT_EQ(table.FieldName(2), "FILEFLAG");
  EXPECT_EQ(table.FieldType(7), 'N');
  EXPECT_EQ(table.FieldWidth(3), 254);
}

TEST_F(DBFTableTest, AddFieldAdjustsLengthAndDecimalsByType) {
  struct Case {
    char type;
    int length, decimals, want_length, want_decimals;
  } cases[] = {
      {'N', 0, 5, 10, 5},  {'N', 30, 25, 20, 19}, {'N', 3, 3, 3, 2},   {'F', 25, 0, 20, 0},
      {'F', 7, 2, 7, 2},   {'C', 0, 3, 1, 0},     {'C', 255, 0, 255, 0}, {'D', 30, 2, 8, 0},
      {'B', 0, 16, 8, 16}, {'B', 0, 17, 8, 0},    {'Y', 1, 4, 8, 4},   {'Y', 1, 5, 8, 0},
      {'I', 9, 9, 4, 0},   {'L', 9, 9, 1, 0},     {'T', 0, 0, 8, 0},
  };
  TDBFCreator creator;
  std::int32_t sum = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(1, c.type) + " " + std::to_string(c.length) + "/" +
                 std::to_string(c.decimals));
    const std::int32_t index = creator.AddField("f", c.type, static_cast<std::uint8_t>(c.length),
                                                static_cast<std::uint8_t>(c.decimals));
    ASSERT_EQ(index, creator.FieldCount() - 1);
    const std::uint8_t* d = creator.Descriptor(index);
    EXPECT_EQ(d[11], static_cast<std::uint8_t>(c.type));
    EXPECT_EQ(d[12] | (d[13] << 8), sum + 1);  // position inside the record
    EXPECT_EQ(d[16], c.want_length);
    EXPECT_EQ(d[17], c.want_decimals);
    sum += c.want_length;
  }
  EXPECT_EQ(creator.RecordLength(), sum);
}

TEST_F(DBFTableTest, AddFieldStoresNamesUpperCaseCutToTenBytes) {
  struct Case {
    std::string name, stored;
  } cases[] = {
      {"name", "NAME"},
      {"TwelveChars_", "TWELVECHAR"},
      {"a\x81z", "A\x81z"},  // the trail byte of a double-byte character keeps its case
  };
  TDBFCreator creator;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::uint8_t* d = creator.Descriptor(creator.AddField(c.name, 'C', 1, 0));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(d)), c.stored);
  }
}

TEST_F(DBFTableTest, RejectedFieldTypeLeavesNoTraceInTheDefinition) {
  ASSERT_TRUE(dir_.ok());
  TDBFCreator creator;
  creator.AddField("A", 'C', 5, 0);
  for (char type : {'c', 'M', 'X', '0'}) {
    SCOPED_TRACE(static_cast<int>(type));
    try {
      creator.AddField("BAD", type, 9, 0);
      FAIL() << "accepted";
    } catch (const EOrbDBError& e) {
      EXPECT_EQ(std::string(e.what()), std::string("不支持的数据类型\"") + type + "\"");
    }
    EXPECT_EQ(creator.FieldCount(), 1);
    EXPECT_EQ(creator.RecordLength(), 5);
  }
  EXPECT_EQ(creator.AddField("B", 'N', 4, 0), 1);
  const std::string path = Path("t.dbf");
  creator.CreateTable(path);
  TfnDBFTable table(path, true, false);
  EXPECT_EQ(table.FieldCount(), 2u);
  EXPECT_EQ(table.RecordSize(), 10);
}

TEST_F(DBFTableTest, AddFieldRefusesBeyondFiftyThousandAndOneFields) {
  TDBFCreator creator;
  for (int i = 0; i <= TDBFCreator::kMaxFields; ++i) creator.AddField("F", 'L', 1, 0);
  EXPECT_EQ(creator.FieldCount(), 50001);
  try {
    creator.AddField("F", 'L', 1, 0);
    FAIL() << "accepted field 50,002";
  } catch (const EOrbDBError& e) {
    EXPECT_EQ(std::string(e.what()), "字段数目太多，无法创建数据库");
  }
  EXPECT_EQ(creator.FieldCount(), 50001);
}

TEST_F(DBFTableTest, CreateTableRefusesClassicRecordsLongerThan65535Bytes) {
  ASSERT_TRUE(dir_.ok());
  // 256 fields of 255 bytes and one of 254: 65,534 bytes, 65,535 with the deletion flag.
  TDBFCreator creator;
  for (int i = 0; i < 256; ++i) creator.AddField("C", 'C', 255, 0);
  creator.AddField("LAST", 'C', 254, 0);
  const std::string fits = Path("fits.dbf");
  creator.CreateTable(fits);
  {
    TDBFTable table(fits, true, false);
    EXPECT_EQ(table.RecordSize(), 65535);
  }

  creator.AddField("MORE", 'C', 1, 0);
  const std::string existing = Path("existing.dbf");
  ASSERT_EQ(orbtest::WriteWholeFile(existing, "keep me"), 0u);
  for (const std::string& path : {Path("new.dbf"), existing}) {
    SCOPED_TRACE(path);
    try {
      creator.CreateTable(path);
      FAIL() << "written";
    } catch (const EOrbDBError& e) {
      EXPECT_NE(std::string(e.what()).find("65535"), std::string::npos) << e.what();
    }
  }
  EXPECT_FALSE(orb::IsFile(Path("new.dbf")));
  EXPECT_EQ(Bytes(existing), "keep me");
}

TEST_F(DBFTableTest, CreateTableReplacesAnExistingFileCompletely) {
  ASSERT_TRUE(dir_.ok());
  const std::string path = Path("t.dbf");
  ASSERT_EQ(orbtest::WriteWholeFile(path, std::string(5000, 'x')), 0u);
  Create(path, {{"A", 'C', 3, 0}});
  EXPECT_EQ(Bytes(path).size(), 32u + 296);
}

TEST_F(DBFTableTest, EmptyDefinitionIsReadBackAsWideFormWithoutFields) {
  ASSERT_TRUE(dir_.ok());
  const std::string path = Path("empty.dbf");
  Create(path, {});
  const std::string b = Bytes(path);
  ASSERT_EQ(b.size(), 296u);
  EXPECT_EQ(U16(b, 8), 296u);
  EXPECT_EQ(U16(b, 10), 1u);
  EXPECT_EQ(U8(b, 32), 0x0Du);
  TfnDBFTable table(path, true, false);
  EXPECT_EQ(table.FieldCount(), 0u);
  EXPECT_EQ(table.RecordCount(), 0u);
  EXPECT_EQ(table.RecordSize(), 1);
}

TEST_F(DBFTableTest, WideFormFromTwoThousandFields) {
  ASSERT_TRUE(dir_.ok());
  struct Case {
    int fields;
    std::uint32_t bytes8, bytes10;
  } cases[] = {{1999, 32 * 1999 + 296, 1999 * 2 + 1}, {2000, 296, 2000}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fields);
    const std::string path = Path(Numbered("w", c.fields) + ".dbf");
    {
      TDBFCreator creator;
      for (int i = 0; i < c.fields; ++i) creator.AddField(Numbered("F", i), 'C', 2, 0);
      creator.CreateTable(path);
    }
    std::string b = Bytes(path);
    ASSERT_EQ(b.size(), 32u * c.fields + 296);
    EXPECT_EQ(U16(b, 8), c.bytes8);
    EXPECT_EQ(U16(b, 10), c.bytes10);

    {
      TfnDBFTable table(path, false, true);
      EXPECT_EQ(table.FieldCount(), static_cast<std::uint32_t>(c.fields));
      EXPECT_EQ(table.HeaderSize(), 32 * c.fields + 296);
      EXPECT_EQ(table.RecordSize(), 2 * c.fields + 1);
      table.Append();
      table.SetStringByName("F0", "ab");
      table.SetStringByName(Numbered("F", c.fields - 1), "yz");
      table.Post();
      table.SetActive(false);
    }
    b = Bytes(path);
    EXPECT_EQ(U16(b, 8), c.bytes8);
    EXPECT_EQ(U16(b, 10), c.bytes10);
    EXPECT_EQ(U32(b, 4), 1u);
    TfnDBFTable table(path, true, false);
    table.First();
    EXPECT_EQ(table.GetStringByName("F0"), "ab");
    EXPECT_EQ(table.GetStringByName(Numbered("F", c.fields - 1)), "yz");
  }
}

// ---- Reading headers -------------------------------------------------------------------

TEST_F(DBFTableTest, ClassicDBaseIIIFileOpensAndReads) {
  ASSERT_TRUE(dir_.ok());
  const std::string path = Path("third.dbf");
  ASSERT_EQ(orbtest::WriteWholeFile(path, DBaseIIIFile({" abc   12", "*gone   7", " xyz   -3"})), 0u);
  TfnDBFTable table(path, true, false);
  EXPECT_EQ(table.FieldCount(), 2u);
  EXPECT_EQ(table.HeaderSize(), 97);
  EXPECT_EQ(table.RecordCount(), 3u);
  EXPECT_EQ(table.FieldName(0), "NAME");
  std::vector<std::string> seen;
  for (table.First(); !table.Eof(); table.Next())
    seen.push_back(table.GetStringByName("Name") + "=" + std::to_string(table.GetIntegerByName("qty")));
  EXPECT_EQ(seen, (std::vector<std::string>{"abc=12", "xyz=-3"}));
}

TEST_F(DBFTableTest, HeaderIsRejectedAndFileLeftUnchanged) {
  ASSERT_TRUE(dir_.ok());
  struct Case {
    const char* what;
    std::string bytes;
  };
  const std::string one_field = Descriptor("A", 'C', 4) + "\r";
  // 258 fields of 255 bytes: a record of 65,791 bytes, more than a classic header can state.
  const std::string long_record_fields = Descriptors(258, 255);
  const Case cases[] = {
      {"header length 64", ClassicHeader(64, 5) + one_field + std::string(40, ' ')},
      {"header length 33", ClassicHeader(33, 1) + "\r"},
      {"header length 0", ClassicHeader(0, 1) + one_field},
      {"record length differs from the fields", ClassicHeader(65, 6) + one_field},
      {"record length 0", ClassicHeader(65, 0) + one_field},
      {"record length 0, fields longer than a classic record",
       ClassicHeader(32 * 258 + 33, 0) + long_record_fields + "\r"},
      // Counts the records behind the header cannot back: reads would run past the end,
      // and an append would be written at a wrapped position over the header.
      {"more records claimed than held", ClassicHeader(65, 5, 3) + one_field + " abcd efgh"},
      {"cut in the middle of a record", ClassicHeader(65, 5, 2) + one_field + " abcd ef"},
      {"record count 0xFFFFFFFF", ClassicHeader(65, 5, 0xFFFFFFFFu) + one_field + " abcd"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = Path("bad.dbf");
    ASSERT_EQ(orbtest::WriteWholeFile(path, c.bytes), 0u);
    TDBFTable table;
    try {
      table.OpenTable(path, false, true);
      FAIL() << "opened";
    } catch (const EOrbDBError& e) {
      EXPECT_EQ(std::string(e.what()), "无效的文件头 " + path);
    }
    EXPECT_FALSE(table.Active());
    EXPECT_FALSE(table.File().Active());
    EXPECT_EQ(Bytes(path), c.bytes);
  }
}

// A header length of 296 always reads as the wide form, so a table that has no fields and
// a 296-byte header must be written back in that form: written as a classic header, its
// record length would be read as a field count and the records after it would be lost.
TEST_F(DBFTableTest, FieldlessWideTableKeepsItsRecordsWhenWrittenBack) {
  ASSERT_TRUE(dir_.ok());
  const std::string path = Path("fieldless.dbf");
  ASSERT_EQ(orbtest::WriteWholeFile(path, WideHeader(0) + "\r"), 0u);
  for (int round = 1; round <= 2; ++round) {
    SCOPED_TRACE(round);
    TDBFTable table(path, false, true);
    EXPECT_EQ(table.FieldCount(), 0u);
    EXPECT_EQ(table.HeaderSize(), 296);
    EXPECT_EQ(table.RecordCount(), static_cast<std::uint32_t>(round - 1));
    table.Append();
    table.Post();
    table.SetActive(false);
  }
  TDBFTable table(path, true, false);
  EXPECT_EQ(table.RecordCount(), 2u);
  EXPECT_EQ(table.RecordSize(), 1);
}

// Whatever form the header is written back in, it must give the same header size, or every
// record would be read from the wrong place: a wide header counts its descriptors (the list
// may end earlier at a terminator), a classic one stores its size in 16 bits.
TEST_F(DBFTableTest, HeaderWrittenBackKeepsItsSizeSoTheRecordsStayInPlace) {
  ASSERT_TRUE(dir_.ok());
  // The reader takes a whole descriptor's bytes to find the terminator.
  const std::string end_of_list = "\r" + std::string(31, '\0');
  const struct Case {
    const char* what;
    std::string bytes;
    std::uint32_t fields;
    std::int32_t header_size;
  } cases[] = {
      // The wide form counts its descriptors, so it needs no terminator after the last.
      {"wide, one field, no terminator", WideHeader(1) + Descriptors(1, 1) + std::string(264, '\0'),
       1, 32 + 296},
      {"wide, counting more descriptors than a 16-bit header length covers, one field",
       WideHeader(3000) + Descriptors(1, 1) + end_of_list, 1, 32 * 3000 + 296},
      {"wide, counting 2,100 descriptors, 2,000 fields",
       WideHeader(2100) + Descriptors(2000, 1) + end_of_list, 2000, 32 * 2100 + 296},
      {"classic, 2,000 fields",
       ClassicHeader(32 * 2000 + 33, 1 + 2000) + Descriptors(2000, 1) + "\r", 2000, 32 * 2000 + 33},
  };
  // One case per call, so that a failed assertion ends only its own case.
  auto append_twice_and_reopen = [this](const Case& c) {
    const std::string path = Path("kept.dbf");
    ASSERT_EQ(orbtest::WriteWholeFile(path, c.bytes), 0u);
    for (int round = 1; round <= 2; ++round) {
      SCOPED_TRACE(round);
      TfnDBFTable table(path, false, true);
      ASSERT_EQ(table.FieldCount(), c.fields);
      ASSERT_EQ(table.HeaderSize(), c.header_size);
      ASSERT_EQ(table.RecordCount(), static_cast<std::uint32_t>(round - 1));
      table.Append();
      table.SetString(0, round == 1 ? "x" : "y");
      table.Post();
      table.SetActive(false);
    }
    TfnDBFTable table(path, true, false);
    EXPECT_EQ(table.FieldCount(), c.fields);
    EXPECT_EQ(table.HeaderSize(), c.header_size);
    EXPECT_EQ(table.RecordSize(), static_cast<std::int32_t>(1 + c.fields));
    ASSERT_EQ(table.RecordCount(), 2u);
    table.First();
    EXPECT_EQ(table.GetAsString(0), "x");
    table.Next();
    EXPECT_EQ(table.GetAsString(0), "y");
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    append_twice_and_reopen(c);
  }
}

TEST_F(DBFTableTest, DescriptorListEndingEarlyGivesTheFieldsRead) {
  ASSERT_TRUE(dir_.ok());
  // The header length allows five descriptors; the terminator follows the second.
  std::string h(32, '\0');
  h.replace(8, 2, Le16(32 * 5 + 33));
  h.replace(10, 2, Le16(1 + 3 + 2));
  std::string file = h + Descriptor("A", 'C', 3) + Descriptor("B", 'N', 2) + "\r" +
                     std::string(32 * 3 - 1, '\0');
  const std::string path = Path("short.dbf");
  ASSERT_EQ(orbtest::WriteWholeFile(path, file), 0u);
  TfnDBFTable table(path, true, false);
  EXPECT_EQ(table.FieldCount(), 2u);
  EXPECT_EQ(table.RecordSize(), 6);
  EXPECT_EQ(table.FieldIndex("b"), 1);
}

TEST_F(DBFTableTest, MissingTableFile) {
  ASSERT_TRUE(dir_.ok());
  const std::string path = Path("missing.dbf");
  TDBFTable reader;
  try {
    reader.OpenTable(path, true, false);
    FAIL() << "opened";
  } catch (const orb::EWin32FileError& e) {
    EXPECT_EQ(std::string(e.what()), "文件 " + path + " 不存在");
  }
  EXPECT_FALSE(orb::IsFile(path));

  // Not read-only: the file object creates the file, the header read then fails and the
  // empty file stays behind.
  TDBFTable writer;
  try {
    writer.OpenTable(path, false, true);
    FAIL() << "opened";
  } catch (const orb::EWin32FileError& e) {
    EXPECT_EQ(std::string(e.what()), "读文件 " + path + " 长度不对");
  }
  EXPECT_TRUE(orb::IsFile(path));
  EXPECT_EQ(Bytes(path), "");
}

TEST_F(DBFTableTest, FieldLookUpByName) {
  ASSERT_TRUE(dir_.ok());
  const std::string path = Path("names.dbf");
  Create(path, {{"Alpha", 'C', 1, 0}, {"LongName10", 'C', 1, 0}, {"alpha", 'C', 1, 0}});

  TDBFTable plain(path, true, false);
  EXPECT_EQ(plain.FieldIndex("ALPHA"), -1);
  EXPECT_EQ(plain.FieldName(0), "");

  TfnDBFTable named(path, true, false);
  struct Case {
    const char* name;
    int index;
  } cases[] = {{"alpha", 0}, {"ALPHA", 0}, {"longname10", 1}, {"LongName10XY", 1},
               {"LongName1", -1}, {"beta", -1}, {"", -1}};
  for (const Case& c : cases) EXPECT_EQ(named.FieldIndex(c.name), c.index) << c.name;
  EXPECT_EQ(named.FieldName(1), "LONGNAME10");
  EXPECT_THROW(named.FieldName(3), orb::EAssertionFailed);
}

// ---- Records and closing ---------------------------------------------------------------

TEST_F(DBFTableTest, AppendToCatalogAndReopen) {
  ASSERT_TRUE(dir_.ok());
  const std::string path = Path("CONFIG.TSK");
  const std::string kName = "2004年度企业QMVT考核任务";  // 24 GBK bytes
  Create(path, kCatalog);
  clock_.SetNow(orbtest::Day(2026, 12, 9));
  {
    TfnDBFTable table;
    table.OpenTable(path, false, true);
    table.Append();
    table.SetStringByName("Name", kName);
    table.SetStringByName("Flag", "QMVT04");
    table.SetIntegerByName("Time", -5);
    table.Post();
    table.SetActive(false);
  }
  std::string b = Bytes(path);
  ASSERT_EQ(b.size(), 680u + 775 + 16);
  EXPECT_EQ(U8(b, 0), 0x30u);
  EXPECT_EQ(U8(b, 1), 126u);
  EXPECT_EQ(U8(b, 2), 12u);
  EXPECT_EQ(U8(b, 3), 9u);
  EXPECT_EQ(U32(b, 4), 1u);
  EXPECT_EQ(U16(b, 8), 680u);
  EXPECT_EQ(U16(b, 10), 775u);
  EXPECT_EQ(U8(b, 680), 0x20u);  // live record
  EXPECT_EQ(b.substr(681, 30), kName + std::string(30 - kName.size(), ' '));
  EXPECT_EQ(b.substr(680 + 1 + 100 + 15 + 6 + 254 + 254 + 4 + 1, 6), "    -5");
  const std::size_t trailer = 680 + 775;
  EXPECT_EQ(U32(b, trailer), 0x3171A11Au);
  EXPECT_LT(U32(b, trailer + 4), 680u + 775);
  EXPECT_EQ(U32(b, trailer + 8), ExpectedSampleChecksum(b.substr(0, trailer), 1, 775, 680));
  EXPECT_EQ(U32(b, trailer + 12), 0u);

  // A second append replaces the trailer: the file never carries two.
  {
    TfnDBFTable table(path, false, true);
    table.Append();
    table.SetStringByName("Flag", "SECOND");
    table.Post();
    table.SetActive(false);
  }
  b = Bytes(path);
  ASSERT_EQ(b.size(), 680u + 2 * 775 + 16);
  EXPECT_EQ(U32(b, 4), 2u);
  EXPECT_EQ(U32(b, 680 + 2 * 775), 0x3171A11Au);

  TfnDBFTable table(path, true, false);
  std::vector<std::string> flags;
  for (table.First(); !table.Eof(); table.Next()) flags.push_back(table.GetStringByName("flag"));
  EXPECT_EQ(flags, (std::vector<std::string>{"QMVT04", "SECOND"}));
  table.First();
  EXPECT_EQ(table.GetStringByName("Name"), kName);
  EXPECT_EQ(table.GetIntegerByName("Time"), -5);
}

TEST_F(DBFTableTest, TrailerChecksumSamplesTheDocumentedPosition) {
  ASSERT_TRUE(dir_.ok());
  // Record counts whose sample position is clamped to 0, lies inside the file, or is
  // negative (nothing sampled), for a 9-byte record.
  for (std::uint32_t records : {1u, 3u, 500u, 1000u, 1500u, 4000u}) {
    SCOPED_TRACE(records);
    const std::string path = Path(Numbered("s", records) + ".dbf");
    Create(path, {{"A", 'C', 5, 0}, {"B", 'N', 3, 0}});
    {
      TfnDBFTable table(path, false, true);
      for (std::uint32_t i = 0; i < records; ++i) {
        table.Append();
        table.SetStringByName("A", Numbered("r", i));
        table.SetIntegerByName("B", static_cast<std::int32_t>(i % 1000));
        table.Post();
      }
      table.SetActive(false);
    }
    const std::string b = Bytes(path);
    const std::size_t end = 32 * 2 + 296 + 9 * records;
    ASSERT_EQ(b.size(), end + 16);
    EXPECT_EQ(U32(b, end), 0x3171A11Au);
    EXPECT_EQ(U32(b, end + 8), ExpectedSampleChecksum(b.substr(0, end), records, 9, 360));
  }
}

TEST_F(DBFTableTest, OpeningAndClosingWithoutPostLeavesTheFileUnchanged) {
  ASSERT_TRUE(dir_.ok());
  const std::string path = Path("t.dbf");
  Create(path, {{"A", 'C', 4, 0}, {"N", 'N', 5, 0}});
  {
    TfnDBFTable table(path, false, true);
    for (const char* a : {"one", "two", "six"}) {
      table.Append();
      table.SetStringByName("A", a);
      table.Post();
    }
    table.SetActive(false);
  }
  clock_.SetNow(orbtest::Day(2030, 1, 1));  // a rewrite would show a new date
  const std::string before = Bytes(path);

  struct Case {
    const char* what;
    bool read_only;
    void (*use)(TfnDBFTable&);
  } cases[] = {
      {"walk all records", true, [](TfnDBFTable& t) {
         for (t.First(); !t.Eof(); t.Next()) t.GetStringByName("A");
       }},
      {"walk writable", false, [](TfnDBFTable& t) {
         for (t.First(); !t.Eof(); t.Next()) t.GetAsStringByName("N");
       }},
      {"append cancelled", false, [](TfnDBFTable& t) {
         t.Append();
         t.SetStringByName("A", "zzz");
         t.Cancel();
       }},
      {"append dropped by close", false, [](TfnDBFTable& t) {
         t.Append();
         t.SetStringByName("A", "zzz");
       }},
      {"handle released", false, [](TfnDBFTable& t) {
         t.First();
         t.ReleaseFile();
         t.Next();
         t.ReleaseFile();
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    {
      TfnDBFTable table(path, c.read_only, !c.read_only);
      c.use(table);
      table.SetActive(false);
    }
    EXPECT_EQ(Bytes(path), before);
  }
}

TEST_F(DBFTableTest, AppendingOverAnEndOfFileByteOfAnotherProgram) {
  ASSERT_TRUE(dir_.ok());
  const std::string path = Path("third.dbf");
  ASSERT_EQ(orbtest::WriteWholeFile(path, DBaseIIIFile({" abc   12"})), 0u);
  {
    TfnDBFTable table(path, false, true);
    table.Append();
    table.SetStringByName("NAME", "new");
    table.SetIntegerByName("QTY", 7);
    table.Post();
    table.SetActive(false);
  }
  const std::string b = Bytes(path);
  ASSERT_EQ(b.size(), 97u + 2 * 9 + 16);
  EXPECT_EQ(b.substr(97, 18), " abc   12 new    7");
  EXPECT_EQ(U8(b, 0), 0x30u);   // the header is this library's now
  EXPECT_EQ(U8(b, 29), 0x00u);  // code page mark not kept
  EXPECT_EQ(U16(b, 8), 97u);
  EXPECT_EQ(U32(b, 97 + 18), 0x3171A11Au);
}

TEST_F(DBFTableTest, DeletedRecordKeepsItsMarkAndDisappearsFromTheCursor) {
  ASSERT_TRUE(dir_.ok());
  const std::string path = Path("t.dbf");
  Create(path, {{"A", 'C', 3, 0}});
  {
    TfnDBFTable table(path, false, true);
    for (const char* a : {"aaa", "bbb", "ccc"}) {
      table.Append();
      table.SetStringByName("A", a);
      table.Post();
    }
    table.First();
    table.Next();
    table.Delete();
    table.SetActive(false);
  }
  const std::string b = Bytes(path);
  EXPECT_EQ(b.substr(32 + 296, 12), " aaa*bbb ccc");
  TfnDBFTable table(path, true, false);
  std::vector<std::string> seen;
  for (table.First(); !table.Eof(); table.Next()) seen.push_back(table.GetStringByName("A"));
  EXPECT_EQ(seen, (std::vector<std::string>{"aaa", "ccc"}));
}

TEST_F(DBFTableTest, EveryFieldTypeRoundTripsThroughTheFile) {
  ASSERT_TRUE(dir_.ok());
  const std::string path = Path("types.dbf");
  Create(path, {{"C", 'C', 8, 0}, {"N", 'N', 6, 0}, {"F", 'F', 8, 0}, {"D", 'D', 8, 0},
                {"L", 'L', 1, 0}, {"I", 'I', 4, 0}, {"B", 'B', 8, 0}, {"Y", 'Y', 8, 0},
                {"T", 'T', 8, 0}});
  struct Case {
    const char* field;
    std::string text;      // written with SetAsString
    std::string expected;  // read with GetAsString
  } cases[] = {
      {"C", "中文ab", "中文ab"}, {"N", "-1234", "-1234"}, {"F", "250", "250"},
      {"D", "2004-06-02", "20040602"}, {"L", "T", "True"}, {"I", "-70000", "-70000"},
      {"B", "0.125", "0.125"}, {"Y", "12.5", "12.5"},
  };
  {
    TfnDBFTable table(path, false, true);
    table.Append();
    for (const Case& c : cases) table.SetAsString(table.FieldIndex(c.field), c.text);
    table.Post();
    table.Append();  // a blank record: "T" holds day 2415019 at time 0
    table.Post();
    table.SetActive(false);
  }
  TfnDBFTable table(path, true, false);
  table.First();
  for (const Case& c : cases)
    EXPECT_EQ(table.GetAsString(table.FieldIndex(c.field)), c.expected) << c.field;
  table.Next();
  EXPECT_EQ(table.GetDateTime(table.FieldIndex("T")), 0.0);
  std::uint8_t raw[8];
  table.GetData(table.FieldIndex("T"), raw);
  EXPECT_EQ(raw[0] | (raw[1] << 8) | (raw[2] << 16) | (raw[3] << 24), 2415019);
}

TEST_F(DBFTableTest, FileClassIsReplacedWithItsSettings) {
  ASSERT_TRUE(dir_.ok());
  const std::string path = Path("t.dbf");
  Create(path, {{"A", 'C', 3, 0}});

  struct CountingFile : orb::TWin32File {
    int* opens;
    explicit CountingFile(int* o) : opens(o) {}
    std::uint32_t SysOpen(const std::string& name, std::uint32_t access, std::uint32_t share,
                          std::uint32_t disposition, std::uint32_t flags,
                          platform::FileHandle& out) override {
      ++*opens;
      EXPECT_NE(flags & 0x10000000u, 0u) << "random-access hint";
      return TWin32File::SysOpen(name, access, share, disposition, flags, out);
    }
  };
  int opens = 0;
  TfnDBFTable table;
  table.File().SetTemporary(true);
  table.SetFileClass([&opens] { return std::make_unique<CountingFile>(&opens); });
  EXPECT_TRUE(table.File().Temporary());
  table.OpenTable(path, true, false);
  table.SetFileClass(orb::TWin32File::Class());  // ignored while open
  table.First();
  table.ReleaseFile();
  EXPECT_FALSE(table.File().Active());
  table.First();  // reopens through the same object
  table.SetActive(false);
  EXPECT_EQ(opens, 2);
}

}  // namespace
