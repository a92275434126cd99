// Unit DBFTable: the dBASE-family table file (`TDBFTable`, `TfnDBFTable`) and the
// creator of new, empty table files (`TDBFCreator`). The file layout is in DBFLayout.h,
// the trailer in DBFTrailer.h.
//
// The table inherits the record model (cursor, append, post, delete) and the typed field
// access from OrbDB; what it adds is the file: header validation when it opens, one
// record read or written per cursor step, and the header and trailer rewritten when a
// changed table closes. A table opened and closed without a Post is left byte for byte as
// it was. All input and output goes through one owned TWin32File.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include <vector>

#include "_OrbLib/Arrays/FixedLenStrArray.h"
#include "_OrbLib/DB/OrbDB.h"
#include "_OrbLib/OrbWin.h"

namespace orb {

class TDBFTable : public TCustomXBaseDataset {
 public:
  // Width of a stored field name.
  static constexpr std::int32_t kFieldNameWidth = 10;

  // With a non-empty table name the table is opened before the constructor returns (and a
  // failure to open propagates). Subclasses that replace ReadHeader should pass an empty
  // name and open afterwards: a constructor dispatches to its own class only.
  explicit TDBFTable(const std::string& table_name = std::string(), bool read_only = false,
                     bool exclusive = true);
  // Closes the table; an error while closing is swallowed here (close explicitly, with
  // SetActive(false), to see it).
  ~TDBFTable() override;

  // The file object all input and output goes through.
  TWin32File& File() { return *file_; }
  const TWin32File& File() const { return *file_; }

  // The upper-case field names; nullptr while field names are switched off.
  const TFixedLenStrArray* FieldNames() const { return field_names_.get(); }
  bool UseFieldNames() const { return field_names_ != nullptr; }
  // Ignored while the table is active.
  void SetUseFieldNames(bool value);
  // Replaces the file object by one of the given class carrying the old one's settings.
  // Ignored while the table is active.
  void SetFileClass(const TWin32FileClass& file_class);

  // The descriptors' decimal counts are not kept: always 0.
  std::int32_t FieldDecimals(std::int32_t index) override;
  // Gives up the file handle while the table stays open; the next record access or the
  // close reopens the file with the same settings.
  void ReleaseFile() override;
  // The stored upper-case name, or empty text without field names. Precondition (of the
  // name list): 0 <= index < FieldCount.
  std::string FieldName(std::int32_t index) override;
  // The first field whose stored name equals `name` upper-cased (ASCII letters) and cut to
  // 10 bytes; -1 when there is none or field names are off.
  std::int32_t FieldIndex(const std::string& name) override;

 protected:
  struct WithFieldNames {};
  TDBFTable(WithFieldNames, const std::string& table_name, bool read_only, bool exclusive);

  void InternalOpen() override;
  void InternalClose() override;
  void ReadRecordData(std::uint32_t position, std::uint32_t size) override;
  void WriteRecordData(std::uint32_t position, std::uint32_t size) override;
  // Reads and validates the header and descriptors; fills the field layout, HeaderSize,
  // RecordSize, RecordCount and the names, and allocates the record buffer.
  virtual void ReadHeader();

 private:
  void Construct(const std::string& table_name, bool read_only, bool exclusive);
  void EnsureFileOpen();
  void WriteHeaderAndTrailer();
  void WriteTrailer();
  [[noreturn]] void RejectHeader() const;

  std::unique_ptr<TWin32File> file_;
  std::unique_ptr<TFixedLenStrArray> field_names_;
};

// The table with look-up of fields by name switched on.
class TfnDBFTable : public TDBFTable {
 public:
  explicit TfnDBFTable(const std::string& table_name = std::string(), bool read_only = false,
                       bool exclusive = true);
};

// Collects field definitions and writes a new, empty table file: header, descriptors and
// the 264-byte terminator block, exactly 32 n + 296 bytes.
class TDBFCreator : public TObject {
 public:
  // More definitions than this cannot be added (the test is made before adding, so a
  // definition reaches kMaxFields + 1 fields).
  static constexpr std::int32_t kMaxFields = 50000;
  static constexpr std::size_t kDescriptorSize = 32;

  TDBFCreator();
  ~TDBFCreator() override;
  TDBFCreator(const TDBFCreator&) = delete;
  TDBFCreator& operator=(const TDBFCreator&) = delete;

  // Appends one field and returns its index. The type letter must be one of B C D F I L N
  // T Y (upper case); the length and decimals are adjusted to what the type allows. A
  // rejected field leaves the definition as it was.
  std::int32_t AddField(const std::string& name, char field_type, std::uint8_t length,
                        std::uint8_t decimals);
  // Writes the file, replacing an existing one. The definitions stay and may be written
  // again. A definition whose record (deletion flag included) would exceed 65,535 bytes in
  // the classic form is refused before anything is written.
  void CreateTable(const std::string& file_name);

  // Sum of the field lengths, the deletion flag not included.
  std::int32_t RecordLength() const { return record_length_; }
  std::int32_t FieldCount() const {
    return static_cast<std::int32_t>(descriptors_.size() / kDescriptorSize);
  }
  // Descriptor `index` (0 <= index < FieldCount): 32 bytes in the file's layout.
  const std::uint8_t* Descriptor(std::int32_t index) const;

 private:
  // The descriptors back to back. A growable byte block with amortised growth: the legacy
  // record array grew in steps of 16 records, quadratic in copying for the tens of
  // thousands of fields a definition may hold.
  std::vector<std::uint8_t> descriptors_;
  std::int32_t record_length_ = 0;
};

}  // namespace orb
