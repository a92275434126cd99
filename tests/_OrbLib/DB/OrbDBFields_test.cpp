// Field access on the record buffer: trimming, the backward number walks, raw types,
// conversions by type letter, the blank record and the two kinds of checks.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "_OrbLib/DB/MemTable.h"
#include "_OrbLib/DB/OrbDB.h"

namespace {

using orbtest::MemField;
using orbtest::MemTable;

// One record with one field of the given type and width, holding `bytes` (the record's
// deletion byte is a space), open and positioned on it.
std::unique_ptr<MemTable> OneField(char type, int width, const std::string& bytes,
                                   bool read_only = false) {
  auto t = std::make_unique<MemTable>(std::vector<MemField>{{"F", type, width}});
  std::string record = " " + bytes;
  record.resize(static_cast<std::size_t>(width) + 1, '\0');
  t->SetRecords({record});
  t->SetReadOnly(read_only);
  t->Open();
  t->First();
  return t;
}

std::string FieldBytes(MemTable& t) {
  return std::string(reinterpret_cast<const char*>(t.RecordBuffer()) + 1,
                     static_cast<std::size_t>(t.FieldWidth(0)));
}

std::string LE(std::uint64_t v, int n) {
  std::string s;
  for (int i = 0; i < n; ++i, v >>= 8) s += static_cast<char>(v & 0xFF);
  return s;
}

std::string DoubleBytes(double d) {
  std::uint64_t bits;
  std::memcpy(&bits, &d, 8);
  return LE(bits, 8);
}

TEST(FieldText, GetStringDropsTrailingPadOnlyAndLeavesTheBuffer) {
  const struct {
    const char* stored;
    const char* expected;
  } cases[] = {{"ab   ", "ab"}, {"     ", ""}, {" ab  ", " ab"}, {"abcde", "abcde"}, {"a    ", "a"}};
  for (const auto& c : cases) {
    auto t = OneField('C', 5, c.stored);
    EXPECT_EQ(t->GetString(0), c.expected) << "'" << c.stored << "'";
    EXPECT_EQ(FieldBytes(*t), c.stored) << "a read never changes the buffer";
  }
}

TEST(FieldText, SetStringCutsOrPadsAndMarksTheBufferChanged) {
  const struct {
    const char* text;
    const char* stored;
  } cases[] = {{"abcdefg", "abcde"}, {"ab", "ab   "}, {"", "     "}};
  for (const auto& c : cases) {
    auto t = OneField('C', 5, "zzzzz");
    t->SetString(0, c.text);
    EXPECT_EQ(FieldBytes(*t), c.stored) << c.text;
    EXPECT_TRUE(t->BufferChanged());
  }
}

TEST(FieldNumbers, SetIntegerAndSetFloatRightAlignAndKeepTheLastCharacters) {
  const struct {
    int width;
    int decimals;
    double value;
    bool as_float;
    const char* stored;
  } cases[] = {
      {3, 0, 12345, false, "345"},  {4, 0, -5, false, "  -5"},
      {6, 0, 0, false, "     0"},   {4, 0, 2.6, true, "   3"},
      {6, 2, 2.567, true, "  2.57"}, {6, 2, -0.001, true, "  0.00"},
      {3, 1, 123.45, true, "3.5"} /* "123.5" cut to its last three */,
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.stored);
    auto t = OneField('N', c.width, "");
    t->decimals = c.decimals;
    if (c.as_float) {
      t->SetFloat(0, c.value);
    } else {
      t->SetInteger(0, static_cast<std::int32_t>(c.value));
    }
    EXPECT_EQ(FieldBytes(*t), c.stored);
  }
}

TEST(FieldNumbers, GetIntegerWalksBackwardsFromTheLastDigit) {
  const struct {
    const char* stored;
    std::int32_t expected;
  } cases[] = {
      {"  -12.75", -12}, {"        ", 0},  {"   1.2.3", 1},       {"    12a3", 3},
      {"      +5", 5},   {"  -0.999", 0},  {"4294967297", 1} /* 32-bit wrap */,
      {"-2147483648", static_cast<std::int32_t>(0x80000000u)},
  };
  for (const auto& c : cases) {
    auto t = OneField('N', static_cast<int>(std::strlen(c.stored)), c.stored);
    EXPECT_EQ(t->GetInteger(0), c.expected) << "'" << c.stored << "'";
  }
}

TEST(FieldNumbers, GetFloatWalksBackwardsWithSignsAndExponents) {
  const struct {
    const char* stored;
    double expected;
  } cases[] = {
      {"1.5E+3", 1500},          {"1.5E-3", 0.0015},         {"-2.25", -2.25},
      {"-2.25E2", -225},         {"  3.50", 3.5},            {"      ", 0},
      {"12345678901", 12345678901.0}, {"1.123456789", 1.123456789},
      {"0.000000000012", 1.2e-11},    {"1.5e3", 3}, /* lower-case e stops the walk */
      {"7 1", 1},
      // Exponents far beyond the range of a double (a damaged field).
      {"1E99999999999", HUGE_VAL}, {"-1E99999999999", -HUGE_VAL},
      {"1E-99999999999", 0},       {"0E99999999999", 0},
  };
  for (const auto& c : cases) {
    auto t = OneField('F', static_cast<int>(std::strlen(c.stored)), c.stored);
    EXPECT_DOUBLE_EQ(t->GetFloat(0), c.expected) << "'" << c.stored << "'";
  }
}

TEST(FieldLogical, GetBooleanAndSetAsStringOfLogicalFields) {
  const struct {
    const char* stored;
    bool expected;
  } reads[] = {{"t", true}, {"T", true}, {"Y", false}, {" ", false}, {"F", false}};
  for (const auto& r : reads) {
    auto t = OneField('L', 1, r.stored);
    EXPECT_EQ(t->GetBoolean(0), r.expected) << r.stored;
    EXPECT_EQ(t->GetAsString(0), r.expected ? "True" : "False");
  }
  const struct {
    const char* text;
    char stored;
  } writes[] = {{"", 'F'}, {"F", 'F'}, {"false", 'F'}, {"0", 'F'},
                {"T", 'T'}, {"Y", 'T'}, {"1", 'T'},     {"x", 'T'}};
  for (const auto& w : writes) {
    auto t = OneField('L', 1, "?");
    t->SetAsString(0, w.text);
    EXPECT_EQ(FieldBytes(*t), std::string(1, w.stored)) << "'" << w.text << "'";
  }
}

TEST(FieldConversions, SetAsStringByTypeLetter) {
  const struct {
    char type;
    int width;
    const char* text;
    std::string stored;
  } cases[] = {
      {'N', 6, "abc", "     0"},
      {'N', 6, "12abc", "    12"},
      {'N', 6, "12.5", "    12"},
      {'N', 6, " -7", "    -7"},
      {'F', 4, "2.6", "   3"},
      {'F', 4, "x", "   0"},
      {'C', 4, "hello", "hell"},
      {'D', 8, "2004-3-15", "20040315"},
      {'D', 8, "2004-03-15 10:20", "20040315"},
      {'I', 4, "$FF", LE(255, 4)},
      {'I', 4, "0x10", LE(16, 4)},
      {'I', 4, "-12x", LE(0xFFFFFFF4u, 4)},
      {'I', 4, "junk", LE(0, 4)},
      {'B', 8, "1.5e3", DoubleBytes(1500)},
      {'B', 8, "12abc", DoubleBytes(12)},
      {'B', 8, "abc", DoubleBytes(0)},
      {'Y', 8, "12.3456", LE(123456, 8)},
      {'Y', 8, "-1.5", LE(static_cast<std::uint64_t>(-15000), 8)},
      {'T', 8, "1899-12-30", LE(2415019, 4) + LE(0, 4)},
      {'T', 8, "1900-1-1 12:00", LE(2415021, 4) + LE(1800000, 4)},
      {'Q', 3, "abc", "???"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(1, c.type) + " '" + c.text + "'");
    auto t = OneField(c.type, c.width, std::string(static_cast<std::size_t>(c.width), '?'));
    t->SetAsString(0, c.text);
    EXPECT_EQ(FieldBytes(*t), c.stored);
  }
}

TEST(FieldConversions, GetAsStringByTypeLetter) {
  const struct {
    char type;
    std::string stored;
    const char* text;
  } cases[] = {
      {'N', "  3.50", "3"},
      {'F', "  2.50", "2.5"},
      {'C', "ab  ", "ab"},
      {'D', "20040315", "20040315"},
      {'I', LE(0xFFFFFFFEu, 4), "-2"},
      {'B', DoubleBytes(1500), "1500"},
      {'B', DoubleBytes(0.1), "0.1"},
      {'B', DoubleBytes(1e20), "1E20"},
      {'Y', LE(123450, 8), "12.345"},
      {'Y', LE(static_cast<std::uint64_t>(-50000), 8), "-5"},
      {'T', LE(2415019, 4) + LE(0, 4), "1899-12-30 00:00:00"},
      {'T', LE(2453080, 4) + LE(1800000, 4), "2004-03-15 12:00:00"},
      {'Q', "xyz", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(1, c.type) + " " + c.text);
    auto t = OneField(c.type, static_cast<int>(c.stored.size()), c.stored);
    EXPECT_EQ(t->GetAsString(0), c.text);
  }
}

TEST(FieldConversions, BadDateOrAmountTextRaisesBeforeWriting) {
  const struct {
    char type;
    int width;
    const char* text;
    const char* message;
  } cases[] = {
      {'D', 8, "abc", "'abc' is not a valid date and time"},
      {'D', 8, "2004-2-30", "'2004-2-30' is not a valid date and time"},
      {'T', 8, "12:61", "'12:61' is not a valid date and time"},
      {'Y', 8, "1.2.3", "'1.2.3' is not a valid floating point value"},
      {'Y', 8, "", "'' is not a valid floating point value"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const std::string before(static_cast<std::size_t>(c.width), '?');
    auto t = OneField(c.type, c.width, before);
    try {
      t->SetAsString(0, c.text);
      ADD_FAILURE() << "no exception";
    } catch (const orb::EConvertError& e) {
      EXPECT_STREQ(e.what(), c.message);
    }
    EXPECT_EQ(FieldBytes(*t), before);
    EXPECT_FALSE(t->BufferChanged());
  }
}

TEST(FieldDateTime, TimePartIsTheDayFractionTimes3600000) {
  const struct {
    double value;
    std::int32_t day, time;
  } cases[] = {
      {0.0, 2415019, 0},
      {1.5, 2415020, 1800000},
      {-1.25, 2415018, 900000},
      {38061.75, 2453080, 2700000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    auto t = OneField('T', 8, "");
    t->SetDateTime(0, c.value);
    EXPECT_EQ(FieldBytes(*t), LE(static_cast<std::uint32_t>(c.day), 4) +
                                  LE(static_cast<std::uint32_t>(c.time), 4));
    EXPECT_DOUBLE_EQ(t->GetDateTime(0), c.value);
  }
}

TEST(FieldDateTime, SetDateWritesEightDigits) {
  auto t = OneField('D', 8, "");
  orb::TDateTime d = 0;
  ASSERT_TRUE(orb::TryEncodeDate(2004, 3, 5, d));
  t->SetDate(0, d + 0.75);
  EXPECT_EQ(FieldBytes(*t), "20040305");
}

TEST(FieldBlankRecord, XBaseBlankRecordPadsTextAndSetsFalseAndDayZero) {
  MemTable t({{"C", 'C', 2}, {"N", 'N', 3}, {"F", 'F', 2}, {"D", 'D', 8}, {"L", 'L', 1},
              {"T", 'T', 8}, {"I", 'I', 4}, {"B", 'B', 8}});
  t.SetRecords({});
  t.Open();
  t.Append();
  const std::string expected = std::string(1, '\0') + "  " + "   " + "  " + "        " + "F" +
                               LE(2415019, 4) + LE(0, 4) + LE(0, 4) + LE(0, 8);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(t.RecordBuffer()),
                        static_cast<std::size_t>(t.RecordSize())),
            expected);
  t.Post();
  EXPECT_EQ(t.StoredRecord(0)[0], ' ') << "the storage turns the deletion byte into a space";
}

TEST(FieldBlankRecord, WithoutPadCharTheRecordStaysZero) {
  struct Raw : orb::TCustomDataset {
    void InternalOpen() override {
      SetFieldCount(1);
      FieldTypesRef().SetCount(1);
      FieldTypesRef().SetItem(0, 'C');
      FieldOffsetsRef().SetCount(2);
      FieldOffsetsRef().SetItem(0, 1);
      FieldOffsetsRef().SetItem(1, 4);
      SetRecordSize(4);
      AllocRecordBuffer();
    }
    void InternalClose() override { FreeRecordBuffer(); }
    ~Raw() override { Close(); }
  } raw;
  raw.SetTableName("RAW");
  raw.Open();
  raw.Append();
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(raw.RecordBuffer()), 4), std::string(4, '\0'));
}

TEST(FieldChecks, RawAccessorsRaiseDataErrorsOthersAssert) {
  auto t = OneField('C', 3, "abc");
  std::string buf(8, '\0');
  const struct {
    const char* name;
    std::function<void()> call;
  } data_calls[] = {
      {"GetData", [&] { t->GetData(7, buf.data()); }},
      {"SetData", [&] { t->SetData(-1, buf.data()); }},
      {"GetBoolean", [&] { t->GetBoolean(1); }},
      {"GetDateTime", [&] { t->GetDateTime(1); }},
      {"SetDateTime", [&] { t->SetDateTime(1, 0); }},
  };
  for (const auto& c : data_calls) {
    SCOPED_TRACE(c.name);
    try {
      c.call();
      ADD_FAILURE() << "no exception";
    } catch (const orb::EOrbDBError& e) {
      EXPECT_EQ(std::string(e.what()).rfind("字段序号 ", 0), 0u) << e.what();
      EXPECT_NE(std::string(e.what()).find(" 非法"), std::string::npos);
    }
  }
  try {
    t->GetData(7, buf.data());
  } catch (const orb::EOrbDBError& e) {
    EXPECT_STREQ(e.what(), "字段序号 7 非法");
  }
  t->Next();  // Eof: no record
  try {
    t->GetData(0, buf.data());
    ADD_FAILURE() << "no exception";
  } catch (const orb::EOrbDBError& e) {
    EXPECT_STREQ(e.what(), "无有效记录，不能读写数据");
  }
  const std::function<void()> asserting[] = {
      [&] { t->GetString(0); }, [&] { t->GetInteger(0); }, [&] { t->GetFloat(0); },
      [&] { t->GetAsString(0); }, [&] { t->SetString(0, "x"); },
  };
  for (const auto& call : asserting) {
    try {
      call();
      ADD_FAILURE() << "no assertion failure";
    } catch (const orb::EAssertionFailed& e) {
      EXPECT_EQ(e.Unit(), "_OrbLib/DB/OrbDB");
    }
  }
}

TEST(FieldChecks, ReadOnlyTablesStillAllowRawWritesButNotTypedOnes) {
  auto t = OneField('C', 3, "abc", /*read_only=*/true);
  EXPECT_THROW(t->SetString(0, "x"), orb::EAssertionFailed);
  EXPECT_THROW(t->SetAsString(0, "x"), orb::EAssertionFailed);
  t->SetData(0, "xyz");  // not tested here; Post refuses it
  EXPECT_EQ(FieldBytes(*t), "xyz");
  EXPECT_THROW(t->Post(), orb::EAssertionFailed);
}

TEST(FieldByName, NamedAccessorsUseFieldIndexAndAssertOnMissingNames) {
  MemTable t({{"NAME", 'C', 4}, {"YEAR", 'N', 4}});
  t.SetRecords({" ab  2004"});
  t.Open();
  t.First();
  EXPECT_EQ(t.GetStringByName("NAME"), "ab");
  EXPECT_EQ(t.GetIntegerByName("YEAR"), 2004);
  EXPECT_EQ(t.GetAsStringByName("YEAR"), "2004");
  t.SetStringByName("NAME", "xy");
  t.SetIntegerByName("YEAR", 2005);
  EXPECT_EQ(t.GetAsStringByName("NAME"), "xy");
  EXPECT_EQ(t.GetIntegerByName("YEAR"), 2005);
  try {
    t.GetStringByName("MISSING");
    FAIL() << "no exception";
  } catch (const orb::EAssertionFailed& e) {
    EXPECT_EQ(e.Unit(), "_OrbLib/DB/OrbDB");
  }
  EXPECT_THROW(t.SetIntegerByName("MISSING", 1), orb::EAssertionFailed);
}

}  // namespace
