// Unit OrbDB: the record-table model the table files are built on.
//
// A table of fixed-length records in some storage, read and changed through one record
// buffer and a cursor. `TCustomDataset` never touches storage itself: a subclass opens and
// closes it (InternalOpen/InternalClose) and moves bytes (ReadRecordData/WriteRecordData).
// Record i lies at HeaderSize + i x RecordSize (32-bit arithmetic).
//
// RecNo, VisibleCount and EmptyState are learned while the cursor moves: unknown (0, -1,
// 0) after Open, filled in as moves reveal them, set back when an operation cannot keep
// them exact.
//
// Field access (typed getters and setters, text conversions by type letter, the blank
// record) works on the buffer only; nothing reaches storage before Post.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "_OrbLib/Arrays/CharArray.h"
#include "_OrbLib/Arrays/_Int32Array.h"
#include "_OrbLib/Classes.h"
#include "_OrbLib/OrbExcept.h"
#include "_OrbLib/OrbRtl.h"

namespace orb {

// Data errors of the whole table library.
class EOrbDBError : public Exception {
 public:
  using Exception::Exception;
};

class TCustomDataset : public TObject {
 public:
  // RecIndex before the first record.
  static constexpr std::uint32_t kBeforeFirst = 0xFFFFFFFFu;
  static constexpr std::uint32_t kMaxRecordCount = 0xFFFFFFFEu;
  // Day number of 30 December 1899 in a "T" field.
  static constexpr std::int32_t kJulianDay0 = 2415019;
  // A "T" field's time part is the day fraction x 3,600,000 (not 86,400,000).
  static constexpr double kTimeFactor = 3600000.0;

  TCustomDataset();
  ~TCustomDataset() override;
  TCustomDataset(const TCustomDataset&) = delete;
  TCustomDataset& operator=(const TCustomDataset&) = delete;

  // ---- Properties ----
  bool Active() const { return active_; }
  void SetActive(bool value);
  const std::string& TableName() const { return table_name_; }
  void SetTableName(const std::string& name);    // precondition: not Active
  bool Exclusive() const { return exclusive_; }
  void SetExclusive(bool value);                  // precondition: not Active
  bool ReadOnly() const { return read_only_; }
  void SetReadOnly(bool value);                   // precondition: not Active
  bool Eof() const { return eof_; }
  bool Bof() const { return bof_; }
  std::int32_t RecNo() const { return rec_no_; }
  std::uint32_t FieldCount() const { return field_count_; }
  std::int32_t RecordSize() const { return record_size_; }
  std::int32_t HeaderSize() const { return header_size_; }
  const std::string& DateTimeFormat() const { return date_time_format_; }
  void SetDateTimeFormat(const std::string& f) { date_time_format_ = f; }

  // State the algorithms keep, readable for subclasses, callers and tests.
  std::int32_t EmptyState() const { return empty_state_; }
  std::int32_t VisibleCount() const { return visible_count_; }
  std::uint32_t RecordCount() const { return record_count_; }
  // -1 before the first record, RecordCount behind the last and while appending.
  std::int64_t RecIndex() const {
    return rec_index_ == kBeforeFirst ? -1 : static_cast<std::int64_t>(rec_index_);
  }
  bool Modified() const { return modified_; }
  bool HasRecord() const { return has_record_; }
  bool BufferChanged() const { return buffer_changed_; }
  bool Appending() const { return appending_; }
  std::uint8_t PadChar() const { return pad_char_; }
  std::uint8_t TrueChar() const { return true_char_; }
  std::uint8_t FalseChar() const { return false_char_; }
  // nullptr while no buffer is allocated.
  std::uint8_t* RecordBuffer() { return record_buffer_.empty() ? nullptr : record_buffer_.data(); }
  const TCharArrayClass& FieldTypes() const { return *field_types_; }
  const T_Int32ArrayClass& FieldOffsets() const { return *field_offsets_; }
  // Type letter, byte offset and width of field i (no checks beyond the arrays').
  char FieldType(std::int32_t i) const { return field_types_->GetItem(i); }
  std::int32_t FieldOffset(std::int32_t i) const { return field_offsets_->GetItem(i); }
  std::int32_t FieldWidth(std::int32_t i) const {
    return field_offsets_->GetItem(i + 1) - field_offsets_->GetItem(i);
  }

  // ---- Virtual operations ----
  virtual std::int32_t FieldDecimals(std::int32_t index);
  virtual bool IsEmpty();
  virtual std::uint32_t GetRecordCount() { return record_count_; }
  virtual void SetBufferChanged(bool value) { buffer_changed_ = value; }
  virtual void FieldChanged(std::int32_t index);
  virtual void Open();
  virtual void Close();
  // The table file gives up its handle while staying open; empty here.
  virtual void ReleaseFile() {}
  virtual void First();
  virtual void Last();
  virtual void Next();
  virtual void Prior();
  virtual void MoveBy(std::int32_t distance);
  virtual void GotoPhysical(std::uint32_t index);
  virtual void Append();
  virtual void Insert();
  virtual void Delete();
  virtual void Post();
  virtual void Cancel();
  virtual bool IsRecordVisible();
  virtual void UpdateRecNo();
  // Writes a blank record into `buffer` (RecordSize bytes).
  virtual void InitRecord(std::uint8_t* buffer);
  virtual void WriteRecordAt(std::uint32_t index);
  // Base behaviour: raises EOrbDBError "字段名机制没有实现".
  virtual std::string FieldName(std::int32_t index);
  // Base behaviour: -1.
  virtual std::int32_t FieldIndex(const std::string& name);

  // ---- Fixed operations ----
  // Precondition: not Active. Sets ReadOnly, Exclusive and TableName, then Open.
  void OpenTable(const std::string& name, bool read_only, bool exclusive);
  void ClearRecord();
  void LoadRecord(std::uint32_t index);
  void SkipForward(std::uint32_t count);
  void SkipBackward(std::uint32_t count);

  // ---- Field access on the current record (the buffer) ----
  // Checked by EOrbDBError ("无有效记录，不能读写数据", "字段序号 %d 非法").
  void GetData(std::int32_t index, void* dest);
  void SetData(std::int32_t index, const void* src);
  bool GetBoolean(std::int32_t index);
  TDateTime GetDateTime(std::int32_t index);
  void SetDateTime(std::int32_t index, TDateTime value);
  // Checked by preconditions (reads: HasRecord and index; writes also not ReadOnly).
  std::string GetString(std::int32_t index);
  void SetString(std::int32_t index, const std::string& text);
  std::int32_t GetInteger(std::int32_t index);
  void SetInteger(std::int32_t index, std::int32_t value);
  double GetFloat(std::int32_t index);
  void SetFloat(std::int32_t index, double value);
  void SetDate(std::int32_t index, TDateTime value);
  std::string GetAsString(std::int32_t index);
  // "D"/"T": EConvertError for text that is not a date; "Y": for text that is not a
  // number; raised before anything is written.
  void SetAsString(std::int32_t index, const std::string& text);

  std::string GetAsStringByName(const std::string& name);
  std::string GetStringByName(const std::string& name);
  void SetStringByName(const std::string& name, const std::string& text);
  std::int32_t GetIntegerByName(const std::string& name);
  void SetIntegerByName(const std::string& name, std::int32_t value);

  // Bytes of field i left when its trailing PadChar bytes are dropped (0 for a field of
  // pad bytes only). Leaves the buffer as it was. Precondition A as GetString.
  std::int32_t TrimmedLength(std::int32_t index);

 protected:
  // Abstract storage operations.
  virtual void InternalOpen() = 0;
  virtual void InternalClose() = 0;
  virtual void ReadRecordData(std::uint32_t position, std::uint32_t size) {
    (void)position;
    (void)size;
  }
  virtual void WriteRecordData(std::uint32_t position, std::uint32_t size) {
    (void)position;
    (void)size;
  }
  virtual void ReadRecord(std::uint32_t index);
  virtual void WriteRecord(std::uint32_t index);

  virtual void DoBeforeOpen() {}
  virtual void DoAfterOpen() {}
  virtual void DoBeforeClose() {}
  virtual void DoAfterClose() {}
  virtual void DoBeforeScroll() {}
  virtual void DoAfterScroll() {}
  virtual void DoBeforeAppend() {}
  virtual void DoAfterAppend() {}
  virtual void DoBeforePost() {}
  virtual void DoAfterPost() {}

  // For storage subclasses: the field layout and the buffer.
  TCharArrayClass& FieldTypesRef() { return *field_types_; }
  T_Int32ArrayClass& FieldOffsetsRef() { return *field_offsets_; }
  void SetFieldCount(std::uint32_t n) { field_count_ = n; }
  void SetRecordSize(std::int32_t n) { record_size_ = n; }
  void SetHeaderSize(std::int32_t n) { header_size_ = n; }
  void SetRecordCount(std::uint32_t n) { record_count_ = n; }
  void SetModified(bool value) { modified_ = value; }
  // Allocates a zeroed buffer of RecordSize bytes / frees it.
  void AllocRecordBuffer();
  void FreeRecordBuffer();
  // The xBase deletion after its preconditions: marks the buffer "*", posts it, keeps the
  // counts, and moves to the next visible record (or to the last one at the end).
  void DeleteCurrent();

  std::uint8_t pad_char_ = 0;
  std::uint8_t true_char_ = 1;
  std::uint8_t false_char_ = 0;

 private:
  std::uint8_t* FieldPtr(std::int32_t index);
  void CheckFieldRead(std::int32_t index, int line);
  void CheckFieldWrite(std::int32_t index, int line);
  void CheckDataAccess(std::int32_t index);
  void WriteRightAligned(std::int32_t index, const std::string& text);

  std::string table_name_;
  bool active_ = false;
  bool exclusive_ = true;
  std::unique_ptr<TCharArrayClass> field_types_;
  std::unique_ptr<T_Int32ArrayClass> field_offsets_;
  std::uint32_t field_count_ = 0;
  std::int32_t record_size_ = 0;
  std::int32_t header_size_ = 0;
  bool eof_ = false;
  bool bof_ = false;
  std::int32_t empty_state_ = 0;
  std::int32_t visible_count_ = 0;
  std::int32_t rec_no_ = 0;
  std::uint32_t record_count_ = 0;
  std::uint32_t rec_index_ = 0;
  bool read_only_ = false;
  bool modified_ = false;
  bool has_record_ = false;
  bool buffer_changed_ = false;
  std::vector<std::uint8_t> record_buffer_;
  bool appending_ = false;
  std::string date_time_format_;
};

// xBase conventions: a record whose first byte is "*" is deleted and invisible, Delete
// marks records that way, pad bytes are spaces, booleans are "T" and "F".
class TCustomXBaseDataset : public TCustomDataset {
 public:
  TCustomXBaseDataset();
  void Delete() override;
  bool IsRecordVisible() override;
};

}  // namespace orb
