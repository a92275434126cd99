// A dataset over bytes in memory, for the cursor and field tests: records behind a small
// header, field names for look-up by name, a log of the hooks, and switches that make a
// record read or a hook fail.
#pragma once

#include <cstring>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "_OrbLib/DB/OrbDB.h"

namespace orbtest {

struct MemField {
  std::string name;
  char type;
  int width;
};

class MemTable : public orb::TCustomXBaseDataset {
 public:
  static constexpr int kHeader = 7;  // an odd header size shows position arithmetic

  explicit MemTable(std::vector<MemField> fields) : fields_(std::move(fields)) {
    SetTableName("MEM");
  }
  ~MemTable() override { Close(); }

  // Stores whole records (deletion byte included) as the storage's content.
  void SetRecords(const std::vector<std::string>& records) {
    storage.assign(kHeader, '\0');
    for (const std::string& r : records) storage += r;
  }
  std::string StoredRecord(std::uint32_t i) const {
    return storage.substr(kHeader + i * static_cast<std::size_t>(RecordSize()),
                          static_cast<std::size_t>(RecordSize()));
  }
  int StoredCount() const {
    return static_cast<int>((storage.size() - kHeader) / static_cast<std::size_t>(RecordSize()));
  }

  std::string storage = std::string(kHeader, '\0');
  std::vector<std::string> log;
  std::uint32_t fail_read_at = 0xFFFFFFFFu;   // record index whose read raises
  bool fail_before_scroll = false;
  bool fail_internal_open = false;
  std::uint32_t claimed_record_count = 0xFFFFFFFFu;  // overrides the count from storage
  int reads = 0, writes = 0, internal_closes = 0;
  int decimals = 0;

  std::int32_t FieldDecimals(std::int32_t) override { return decimals; }
  std::string FieldName(std::int32_t index) override { return fields_.at(index).name; }
  std::int32_t FieldIndex(const std::string& name) override {
    for (std::size_t i = 0; i < fields_.size(); ++i)
      if (fields_[i].name == name) return static_cast<std::int32_t>(i);
    return -1;
  }

 protected:
  void InternalOpen() override {
    if (fail_internal_open) throw std::runtime_error("storage refused");
    SetFieldCount(static_cast<std::uint32_t>(fields_.size()));
    FieldTypesRef().SetCount(static_cast<std::int32_t>(fields_.size()));
    FieldOffsetsRef().SetCount(static_cast<std::int32_t>(fields_.size()) + 1);
    int offset = 1;
    FieldOffsetsRef().SetItem(0, offset);
    for (std::size_t i = 0; i < fields_.size(); ++i) {
      FieldTypesRef().SetItem(static_cast<std::int32_t>(i), fields_[i].type);
      offset += fields_[i].width;
      FieldOffsetsRef().SetItem(static_cast<std::int32_t>(i) + 1, offset);
    }
    SetRecordSize(offset);
    SetHeaderSize(kHeader);
    SetRecordCount(claimed_record_count != 0xFFFFFFFFu
                       ? claimed_record_count
                       : static_cast<std::uint32_t>((storage.size() - kHeader) / offset));
    AllocRecordBuffer();
  }
  void InternalClose() override {
    ++internal_closes;
    FreeRecordBuffer();
  }
  void ReadRecordData(std::uint32_t position, std::uint32_t size) override {
    ++reads;
    const std::uint32_t index = (position - kHeader) / static_cast<std::uint32_t>(RecordSize());
    if (index == fail_read_at) throw std::runtime_error("read failed");
    std::memcpy(RecordBuffer(), storage.data() + position, size);
  }
  void WriteRecordData(std::uint32_t position, std::uint32_t size) override {
    ++writes;
    // As a table file does: a live record carries a space in its deletion byte.
    if (RecordBuffer()[0] != '*') RecordBuffer()[0] = ' ';
    if (storage.size() < position + size) storage.resize(position + size, '\0');
    std::memcpy(storage.data() + position, RecordBuffer(), size);
  }
  void DoBeforeScroll() override {
    log.push_back("before-scroll");
    if (fail_before_scroll) throw std::runtime_error("scroll refused");
  }
  void DoAfterScroll() override { log.push_back("after-scroll"); }
  void DoBeforePost() override { log.push_back("before-post"); }
  void DoAfterPost() override { log.push_back("after-post"); }
  void DoBeforeAppend() override { log.push_back("before-append"); }
  void DoAfterAppend() override { log.push_back("after-append"); }

 private:
  std::vector<MemField> fields_;
};

}  // namespace orbtest
