// The dataset's cursor, append, post, cancel and delete over an in-memory table.
#include "_OrbLib/DB/OrbDB.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "_OrbLib/DB/MemTable.h"

namespace {

using orbtest::MemTable;

// One text field of width 3: a record is the deletion byte and three characters.
std::unique_ptr<MemTable> Names(const std::vector<std::string>& records) {
  auto t = std::make_unique<MemTable>(std::vector<orbtest::MemField>{{"NAME", 'C', 3}});
  t->SetRecords(records);
  return t;
}

// Walks forward from First to Eof and returns "value@RecNo" for each record visited.
std::vector<std::string> ForwardPass(MemTable& t) {
  std::vector<std::string> seen;
  for (t.First(); !t.Eof(); t.Next()) seen.push_back(t.GetString(0) + "@" + std::to_string(t.RecNo()));
  return seen;
}

template <typename F>
void ExpectAssertion(F&& f) {
  try {
    f();
    ADD_FAILURE() << "no assertion failure";
  } catch (const orb::EAssertionFailed& e) {
    EXPECT_EQ(e.Unit(), "_OrbLib/DB/OrbDB");
  }
}

TEST(DatasetOpen, DefaultsOfTheTwoConstructors) {
  struct Plain : orb::TCustomDataset {
    void InternalOpen() override {}
    void InternalClose() override {}
  } plain;
  EXPECT_TRUE(plain.Exclusive());
  EXPECT_EQ(plain.PadChar(), 0);
  EXPECT_EQ(plain.TrueChar(), 1);
  EXPECT_EQ(plain.FalseChar(), 0);
  EXPECT_EQ(plain.DateTimeFormat(), "yyyy-mm-dd hh:mm:ss");
  EXPECT_THROW(plain.FieldName(0), orb::EOrbDBError);
  EXPECT_EQ(plain.FieldIndex("X"), -1);
  try {
    plain.FieldName(0);
  } catch (const orb::EOrbDBError& e) {
    EXPECT_STREQ(e.what(), "字段名机制没有实现");
  }
  auto x_owner = Names({});
  MemTable& x = *x_owner;
  EXPECT_EQ(x.PadChar(), ' ');
  EXPECT_EQ(x.TrueChar(), 'T');
  EXPECT_EQ(x.FalseChar(), 'F');
}

TEST(DatasetOpen, EmptyTableIsKnownEmptyAtOnceAndFirstDoesNotScroll) {
  auto t_owner = Names({});
  MemTable& t = *t_owner;
  t.SetActive(true);
  EXPECT_TRUE(t.Active());
  EXPECT_EQ(t.EmptyState(), -1);
  EXPECT_TRUE(t.IsEmpty());
  t.First();
  EXPECT_TRUE(t.Eof());
  EXPECT_TRUE(t.Bof());
  EXPECT_FALSE(t.HasRecord());
  EXPECT_TRUE(t.log.empty()) << "no scroll hooks on an empty table";
}

TEST(DatasetOpen, FailuresLeaveTheTableClosed) {
  auto unnamed_owner = Names({});
  MemTable& unnamed = *unnamed_owner;
  unnamed.SetTableName("");
  try {
    unnamed.Open();
    FAIL() << "no exception";
  } catch (const orb::EOrbDBError& e) {
    EXPECT_STREQ(e.what(), "缺少表名");
  }
  EXPECT_FALSE(unnamed.Active());

  auto refused_owner = Names({" abc"});
  MemTable& refused = *refused_owner;
  refused.fail_internal_open = true;
  EXPECT_THROW(refused.Open(), std::runtime_error);
  EXPECT_FALSE(refused.Active());
  EXPECT_EQ(refused.internal_closes, 1) << "the storage is closed again";
}

TEST(DatasetOpen, SettersOfAnOpenTableFailTheirPrecondition) {
  auto t_owner = Names({" abc"});
  MemTable& t = *t_owner;
  t.Open();
  ExpectAssertion([&] { t.SetTableName("X"); });
  ExpectAssertion([&] { t.SetExclusive(false); });
  ExpectAssertion([&] { t.SetReadOnly(true); });
  ExpectAssertion([&] { t.OpenTable("X", false, true); });
  EXPECT_EQ(t.TableName(), "MEM");
  EXPECT_TRUE(t.Exclusive());
}

TEST(DatasetCursor, ForwardPassSkipsDeletedRecordsAndCountsThem) {
  auto t_owner = Names({" A  ", "*B  ", " C  ", " D  "});
  MemTable& t = *t_owner;
  t.Open();
  EXPECT_EQ(ForwardPass(t), (std::vector<std::string>{"A@1", "C@2", "D@3"}));
  EXPECT_EQ(t.VisibleCount(), 3);
  EXPECT_EQ(t.RecNo(), 0);
  EXPECT_FALSE(t.HasRecord());
  EXPECT_EQ(t.RecIndex(), 4);
  EXPECT_EQ(t.EmptyState(), 1);
}

TEST(DatasetCursor, LastKnowsItsNumberOnlyAfterACount) {
  auto t_owner = Names({" A  ", " B  ", "*C  "});
  MemTable& t = *t_owner;
  t.Open();
  t.Last();
  EXPECT_EQ(t.GetString(0), "B");
  EXPECT_EQ(t.RecNo(), -1) << "not yet counted";
  EXPECT_TRUE(t.Eof());
  ForwardPass(t);
  t.Last();
  EXPECT_EQ(t.RecNo(), 2);
  t.Prior();
  EXPECT_EQ(t.GetString(0), "A");
  EXPECT_EQ(t.RecNo(), 1);
  t.Prior();
  EXPECT_TRUE(t.Bof());
  EXPECT_FALSE(t.HasRecord());
  EXPECT_EQ(t.RecIndex(), -1);
}

TEST(DatasetCursor, MovesByDistanceAndToPhysicalRecords) {
  auto t_owner = Names({" A  ", "*B  ", " C  ", " D  ", " E  "});
  MemTable& t = *t_owner;
  t.Open();
  t.First();
  t.MoveBy(2);
  EXPECT_EQ(t.GetString(0), "D");
  EXPECT_EQ(t.RecNo(), 3);
  t.MoveBy(-2);
  EXPECT_EQ(t.GetString(0), "A");
  t.MoveBy(0);
  EXPECT_EQ(t.GetString(0), "A");

  const struct {
    std::uint32_t index;
    const char* lands_on;
  } gotos[] = {{4, "E"}, {1, "A"} /* back: at or before */, {3, "D"}, {0, "A"}};
  for (const auto& g : gotos) {
    t.GotoPhysical(g.index);
    EXPECT_EQ(t.GetString(0), g.lands_on) << g.index;
  }
  t.Close();
  t.Open();
  t.GotoPhysical(1);  // from an uncounted position: forward from the start
  EXPECT_EQ(t.GetString(0), "C");
  EXPECT_EQ(t.RecNo(), 2);
}

TEST(DatasetCursor, UpdateRecNoCountsFromTheStart) {
  auto t_owner = Names({" A  ", "*B  ", " C  "});
  MemTable& t = *t_owner;
  t.Open();
  t.Last();
  EXPECT_EQ(t.RecNo(), -1);
  t.Prior();
  EXPECT_EQ(t.GetString(0), "A");
  EXPECT_EQ(t.RecNo(), -1) << "an unknown number stays unknown while moving back";
  // Appending without a known count leaves RecNo 0; UpdateRecNo counts it.
  t.Append();
  t.SetString(0, "D");
  t.Post();
  EXPECT_EQ(t.RecNo(), 0);
  t.UpdateRecNo();
  EXPECT_EQ(t.RecNo(), 3);
  EXPECT_EQ(t.GetString(0), "D");
  t.SetString(0, "E");
  ExpectAssertion([&] { t.UpdateRecNo(); });  // a changed buffer
}

TEST(DatasetCursor, ScrollHooksRunAroundAMoveEvenWhenTheReadRaises) {
  auto t_owner = Names({" A  ", " B  "});
  MemTable& t = *t_owner;
  t.Open();
  t.First();
  t.log.clear();
  t.fail_read_at = 1;
  EXPECT_THROW(t.Next(), std::runtime_error);
  EXPECT_EQ(t.log, (std::vector<std::string>{"before-scroll", "after-scroll"}));

  t.fail_read_at = 0xFFFFFFFFu;
  t.fail_before_scroll = true;
  t.log.clear();
  EXPECT_THROW(t.Prior(), std::runtime_error);
  EXPECT_EQ(t.log, (std::vector<std::string>{"before-scroll"}))
      << "no after-scroll when before-scroll itself raises";

  t.fail_before_scroll = false;
  t.fail_read_at = 0;
  EXPECT_THROW(t.First(), std::runtime_error);
  EXPECT_TRUE(t.Bof()) << "First sets Bof even when it fails";
}

TEST(DatasetEdit, AppendWritesAndPostStoresAtTheEnd) {
  auto t_owner = Names({" A  ", " B  "});
  MemTable& t = *t_owner;
  t.Open();
  ForwardPass(t);
  t.log.clear();
  t.Append();
  EXPECT_TRUE(t.Appending());
  EXPECT_EQ(t.RecIndex(), 2);
  EXPECT_EQ(t.RecNo(), 3) << "the count was known";
  EXPECT_EQ(t.GetString(0), "") << "a blank record";
  t.SetString(0, "NEW");
  t.Post();
  EXPECT_EQ(t.RecordCount(), 3u);
  EXPECT_EQ(t.StoredCount(), 3);
  EXPECT_EQ(t.StoredRecord(2), " NEW");
  EXPECT_TRUE(t.Modified());
  EXPECT_FALSE(t.Eof());
  EXPECT_FALSE(t.Bof());
  EXPECT_FALSE(t.Appending());
  EXPECT_EQ(t.VisibleCount(), 3);
  EXPECT_EQ(t.log, (std::vector<std::string>{"before-append", "after-append", "before-post",
                                             "after-post"}));
  EXPECT_EQ(ForwardPass(t), (std::vector<std::string>{"A@1", "B@2", "NEW@3"}));
}

TEST(DatasetEdit, AppendThenCancelOrCloseStoresNothing) {
  auto t_owner = Names({" A  "});
  MemTable& t = *t_owner;
  t.Open();
  t.Append();
  t.SetString(0, "X");
  t.Cancel();
  EXPECT_EQ(t.writes, 0);
  EXPECT_EQ(t.RecordCount(), 1u);
  EXPECT_FALSE(t.HasRecord());
  EXPECT_EQ(t.RecIndex(), -1);
  EXPECT_EQ(ForwardPass(t), (std::vector<std::string>{"A@1"}));

  t.Append();
  t.SetString(0, "Y");
  t.Close();
  EXPECT_EQ(t.writes, 0);
  EXPECT_EQ(t.StoredCount(), 1);
  // Nothing of the dropped record is pending after the next open.
  t.Open();
  EXPECT_FALSE(t.BufferChanged());
  EXPECT_FALSE(t.Appending());
  EXPECT_EQ(ForwardPass(t), (std::vector<std::string>{"A@1"}));
  EXPECT_EQ(t.writes, 0);
}

TEST(DatasetEdit, ChangesAreStoredInTheirOwnRecordBeforeEveryMove) {
  const struct {
    const char* name;
    std::function<void(MemTable&)> move;
    const char* lands_on;
  } moves[] = {
      {"Next", [](MemTable& t) { t.Next(); }, "C"},
      {"Prior", [](MemTable& t) { t.Prior(); }, "A"},
      {"First", [](MemTable& t) { t.First(); }, "A"},
      {"Last", [](MemTable& t) { t.Last(); }, "C"},
      {"GotoPhysical", [](MemTable& t) { t.GotoPhysical(2); }, "C"},
  };
  for (const auto& m : moves) {
    SCOPED_TRACE(m.name);
    auto t_owner = Names({" A  ", " B  ", " C  "});
    MemTable& t = *t_owner;
    t.Open();
    t.First();
    t.Next();
    t.SetString(0, "b2");
    m.move(t);
    EXPECT_EQ(t.StoredRecord(1), " b2 ");
    EXPECT_EQ(t.StoredRecord(0), " A  ");
    EXPECT_EQ(t.StoredRecord(2), " C  ");
    EXPECT_EQ(t.GetString(0), m.lands_on);
    EXPECT_FALSE(t.BufferChanged());
  }
}

TEST(DatasetEdit, CancelReadsTheStoredRecordBack) {
  auto t_owner = Names({" A  ", " B  "});
  MemTable& t = *t_owner;
  t.Open();
  t.First();
  t.SetString(0, "Z");
  t.Cancel();
  EXPECT_EQ(t.GetString(0), "A");
  EXPECT_EQ(t.writes, 0);
  t.Next();
  EXPECT_EQ(t.writes, 0);
}

TEST(DatasetEdit, AppendStoresPendingChangesOfTheCurrentRecordFirst) {
  auto t_owner = Names({" A  "});
  MemTable& t = *t_owner;
  t.Open();
  t.First();
  t.SetString(0, "A2");
  t.Append();
  EXPECT_EQ(t.StoredRecord(0), " A2 ");
  t.SetString(0, "N");
  t.Post();
  EXPECT_EQ(t.StoredRecord(1), " N  ");
}

TEST(DatasetEdit, ReadOnlyTablesRefuseChangesBeforeTouchingAnything) {
  auto t_owner = Names({" A  "});
  MemTable& t = *t_owner;
  t.SetReadOnly(true);
  t.Open();
  t.First();
  ExpectAssertion([&] { t.Append(); });
  ExpectAssertion([&] { t.SetString(0, "x"); });
  ExpectAssertion([&] { t.Post(); });
  ExpectAssertion([&] { t.Delete(); });
  EXPECT_EQ(t.GetString(0), "A");
  EXPECT_EQ(t.writes, 0);
}

TEST(DatasetEdit, AppendRefusesTheLastPossibleRecordCount) {
  auto t_owner = Names({});
  MemTable& t = *t_owner;
  t.claimed_record_count = 0xFFFFFFFEu;
  t.Open();
  try {
    t.Append();
    FAIL() << "no exception";
  } catch (const orb::EOrbDBError& e) {
    EXPECT_STREQ(e.what(), "最多能容纳 4294967294 条记录");
  }
  EXPECT_FALSE(t.Appending());
}

TEST(DatasetDelete, DeleteMarksAndMovesToTheNextVisibleRecord) {
  auto t_owner = Names({" A  ", " B  ", " C  "});
  MemTable& t = *t_owner;
  t.Open();
  ForwardPass(t);
  t.First();
  t.Next();
  t.Delete();
  EXPECT_EQ(t.StoredRecord(1), "*B  ");
  EXPECT_EQ(t.GetString(0), "C");
  EXPECT_EQ(t.RecNo(), 2);
  EXPECT_EQ(t.VisibleCount(), 2);
  EXPECT_EQ(ForwardPass(t), (std::vector<std::string>{"A@1", "C@2"}));
}

TEST(DatasetDelete, DeletingTheLastVisibleRecordReachesEofAndEmptiness) {
  auto t_owner = Names({"*A  ", " B  "});
  MemTable& t = *t_owner;
  t.Open();
  ForwardPass(t);
  ASSERT_EQ(t.VisibleCount(), 1);
  t.First();
  t.Delete();
  EXPECT_TRUE(t.Eof());
  EXPECT_FALSE(t.HasRecord());
  EXPECT_EQ(t.EmptyState(), -1);
  EXPECT_TRUE(t.IsEmpty());
}

TEST(DatasetDelete, DeletingTheLastRecordOfAnUncountedTableDoesNotClaimEmptiness) {
  auto t_owner = Names({" A  ", " B  "});
  MemTable& t = *t_owner;
  t.Open();
  t.Last();
  ASSERT_EQ(t.VisibleCount(), -1);
  t.Delete();
  EXPECT_TRUE(t.Eof()) << "the move after the deleted record finds nothing behind it";
  // That move saw only the tail of the table: A is still there.
  EXPECT_EQ(t.EmptyState(), 0);
  EXPECT_FALSE(t.IsEmpty());
  EXPECT_EQ(t.GetString(0), "A");
}

TEST(DatasetCursor, WriteRecordAtStoresTheBufferAsAGivenRecord) {
  auto t_owner = Names({" A  ", " B  "});
  MemTable& t = *t_owner;
  t.Open();
  t.First();
  t.SetString(0, "Q");
  t.WriteRecordAt(2);  // the index of the next new record: an append
  EXPECT_EQ(t.RecordCount(), 3u);
  EXPECT_EQ(t.StoredRecord(2), " Q  ");
  EXPECT_EQ(t.StoredRecord(0), " A  ") << "record 0 keeps its stored bytes";
  ExpectAssertion([&] { t.WriteRecordAt(4); });
}

}  // namespace
