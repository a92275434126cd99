// A table file opened, walked, appended to and closed through the table class the catalog
// uses (field names on, exclusive, writable). Every field of every record is read; the
// appended record gets text in each field. A damaged table must end in an exception of the
// system, never in a crash, a hang or a write out of bounds; a table that closed cleanly
// must open again and read back the same: its fields, its record count, and every value
// read before the close or written by the append.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "_OrbLib/OrbExcept.h"
#include "dbf/DBFTable.h"

namespace {

constexpr int kMaxRecords = 4096;
constexpr std::uint32_t kMaxFields = 64;

// What a walk of the table reads: its field names, and the values of the records visited.
struct Seen {
  std::vector<std::string> names;
  std::vector<std::vector<std::string>> records;
  bool complete = false;  // the walk reached the end
};

std::vector<std::string> Values(orb::TfnDBFTable& t) {
  std::vector<std::string> values;
  for (std::uint32_t i = 0; i < t.FieldCount() && i < kMaxFields; ++i) {
    values.push_back(t.GetAsString(static_cast<std::int32_t>(i)));
  }
  return values;
}

Seen Walk(orb::TfnDBFTable& t, int max_records) {
  Seen seen;
  for (std::uint32_t i = 0; i < t.FieldCount() && i < kMaxFields; ++i) {
    seen.names.push_back(t.FieldName(static_cast<std::int32_t>(i)));
  }
  t.First();
  for (int guard = 0; !t.Eof() && guard < max_records; ++guard) {
    seen.records.push_back(Values(t));
    t.Next();
  }
  seen.complete = t.Eof();
  return seen;
}

// Walks the table, appends a record with text in each field and closes it; returns what was
// read, the appended record's values last.
Seen WalkAndAppend(const std::string& name, std::uint32_t& record_count) {
  orb::TfnDBFTable t(name, false, true);
  Seen seen = Walk(t, kMaxRecords);
  t.Append();
  for (std::uint32_t i = 0; i < t.FieldCount() && i < kMaxFields; ++i) {
    try {
      t.SetString(static_cast<std::int32_t>(i), "19");
    } catch (const orb::Exception&) {
      // A field type that does not take text: the rest still get theirs.
    }
  }
  t.Post();
  if (seen.complete) seen.records.push_back(Values(t));
  record_count = t.RecordCount();
  t.SetActive(false);
  return seen;
}

[[noreturn]] void Differs(const char* what, std::size_t at) {
  std::fprintf(stderr, "the table read back differs after its close: %s (at %zu)\n", what, at);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto& prefix = orbfuzz::Prefix::Get();
  const std::string work = prefix.drive_c() + "/work";
  orbfuzz::ResetDir(work);
  orbfuzz::WriteUnixFile(work + "/CONFIG.TSK", data, size);
  const std::string name = "C:\\work\\CONFIG.TSK";
  Seen before;
  std::uint32_t record_count = 0;
  try {
    before = WalkAndAppend(name, record_count);
  } catch (const orb::Exception&) {
    return 0;
  }
  // What this layer wrote it must read back, as it was.
  orb::TfnDBFTable again(name, true, true);
  if (again.RecordCount() != record_count) Differs("record count", again.RecordCount());
  const Seen after = Walk(again, static_cast<int>(before.records.size()));
  if (after.names != before.names) Differs("field names", after.names.size());
  if (after.records.size() != before.records.size()) Differs("records", after.records.size());
  for (std::size_t i = 0; i < after.records.size(); ++i) {
    if (after.records[i] != before.records[i]) Differs("values of a record", i);
  }
  if (before.complete && !after.complete) Differs("records after the appended one", 0);
  return 0;
}
