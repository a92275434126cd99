// A table file opened, walked, appended to and closed through the table class the catalog
// uses (field names on, exclusive, writable). Every field of every record is read; the
// appended record gets text in each field. A damaged table must end in an exception of the
// system, never in a crash, a hang or a write out of bounds; a table that closed cleanly
// must open again.
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "_OrbLib/OrbExcept.h"
#include "dbf/DBFTable.h"

namespace {

void WalkAndAppend(const std::string& name) {
  orb::TfnDBFTable t(name, false, true);
  t.First();
  for (int guard = 0; !t.Eof() && guard < 4096; ++guard) {
    for (std::uint32_t i = 0; i < t.FieldCount() && i < 64; ++i) {
      (void)t.GetAsString(static_cast<std::int32_t>(i));
      (void)t.FieldName(static_cast<std::int32_t>(i));
    }
    t.Next();
  }
  t.Append();
  for (std::uint32_t i = 0; i < t.FieldCount() && i < 64; ++i) {
    try {
      t.SetString(static_cast<std::int32_t>(i), "19");
    } catch (const orb::Exception&) {
      // A field type that does not take text: the rest still get theirs.
    }
  }
  t.Post();
  t.SetActive(false);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto& prefix = orbfuzz::Prefix::Get();
  const std::string work = prefix.drive_c() + "/work";
  orbfuzz::ResetDir(work);
  orbfuzz::WriteUnixFile(work + "/CONFIG.TSK", data, size);
  const std::string name = "C:\\work\\CONFIG.TSK";
  bool closed_cleanly = false;
  try {
    WalkAndAppend(name);
    closed_cleanly = true;
  } catch (const orb::Exception&) {
  }
  if (closed_cleanly) {
    // What this layer wrote it must read back.
    orb::TfnDBFTable again(name, true, true);
    again.First();
    for (int guard = 0; !again.Eof() && guard < 8192; ++guard) again.Next();
  }
  return 0;
}
