// Unit DBFTable: the table file and its creator.
#include "dbf/DBFTable.h"

#include <array>
#include <exception>
#include <random>
#include <vector>

#include "dbf/DBFLayout.h"
#include "dbf/DBFTrailer.h"
#include "platform/clock.h"
#include "platform/gbk.h"

namespace orb {

namespace dbf {

std::string UpperCaseAscii(const std::string& s) {
  std::string r = s;
  for (std::size_t i = 0; i < r.size(); ++i) {
    auto c = static_cast<unsigned char>(r[i]);
    if (platform::IsGbkLeadByte(c)) {
      ++i;  // the trail byte belongs to the same character
    } else if (c >= 'a' && c <= 'z') {
      r[i] = static_cast<char>(c - ('a' - 'A'));
    }
  }
  return r;
}

bool SameTextAscii(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  return UpperCaseAscii(a) == UpperCaseAscii(b);
}

DBFHeader DBFHeader::Make(std::uint32_t record_count, bool wide, std::uint32_t header_size,
                          std::uint32_t record_size, std::uint32_t field_count) {
  const platform::LocalTime now = platform::GetLocalTime();
  DBFHeader h;
  h.version = kVersionByte;
  h.year = static_cast<std::uint8_t>((now.year - 1900) & 0xFF);
  h.month = static_cast<std::uint8_t>(now.month);
  h.day = static_cast<std::uint8_t>(now.day);
  h.record_count = record_count;
  h.header_length = static_cast<std::uint16_t>(wide ? kWideMarker : header_size);
  h.record_length = static_cast<std::uint16_t>(wide ? field_count : record_size);
  h.table_flags = 0;
  h.code_page = 0;
  return h;
}

}  // namespace dbf

namespace {

std::string Format1(const char* pattern, const std::string& arg) {
  std::string s = pattern;
  std::size_t at = s.find("%s");
  if (at != std::string::npos) s.replace(at, 2, arg);
  return s;
}

// The process's general pseudo-random generator for the trailer's second word, which
// nothing reads back.
std::uint32_t NextRandom(std::uint32_t range) {
  static std::mt19937 generator{std::random_device{}()};
  return range == 0 ? 0 : static_cast<std::uint32_t>(generator() % range);
}

}  // namespace

// ---- TDBFTable -------------------------------------------------------------------------

TDBFTable::TDBFTable(const std::string& table_name, bool read_only, bool exclusive) {
  Construct(table_name, read_only, exclusive);
}

TDBFTable::TDBFTable(WithFieldNames, const std::string& table_name, bool read_only,
                     bool exclusive) {
  SetUseFieldNames(true);
  Construct(table_name, read_only, exclusive);
}

void TDBFTable::Construct(const std::string& table_name, bool read_only, bool exclusive) {
  SetFileClass(TWin32File::Class());
  if (!table_name.empty()) OpenTable(table_name, read_only, exclusive);
}

TDBFTable::~TDBFTable() {
  try {
    Close();
  } catch (...) {
    // A destructor cannot report; owners that care close the table themselves first.
  }
}

void TDBFTable::SetUseFieldNames(bool value) {
  if (Active()) return;
  if (value) {
    if (!field_names_) field_names_ = std::make_unique<TFixedLenStrArray>(kFieldNameWidth);
  } else {
    field_names_.reset();
  }
}

void TDBFTable::SetFileClass(const TWin32FileClass& file_class) {
  if (Active()) return;
  std::unique_ptr<TWin32File> replacement = file_class();
  replacement->AssignFrom(file_.get());
  const bool was_active = file_ && file_->Active();
  file_ = std::move(replacement);
  file_->SetActive(was_active);
}

std::int32_t TDBFTable::FieldDecimals(std::int32_t) { return 0; }

void TDBFTable::ReleaseFile() { file_->SetActive(false); }

std::string TDBFTable::FieldName(std::int32_t index) {
  if (!field_names_) return std::string();
  return field_names_->GetItem(index);
}

std::int32_t TDBFTable::FieldIndex(const std::string& name) {
  if (!field_names_) return -1;
  return field_names_->IndexOf(dbf::UpperCaseAscii(name));
}

void TDBFTable::InternalOpen() {
  file_->SetRandomAccess(true);
  file_->Open(TableName(), ReadOnly(), Exclusive());
  ReadHeader();
}

void TDBFTable::RejectHeader() const {
  throw EOrbDBError(Format1("无效的文件头 %s", TableName()));
}

void TDBFTable::ReadHeader() {
  std::array<std::uint8_t, dbf::DBFHeader::kSize> raw{};
  file_->Seek(0, 0);
  file_->ReadBuffer(raw.data(), static_cast<std::uint32_t>(raw.size()));
  const dbf::DBFHeader header = dbf::DBFHeader::Decode(raw.data());

  std::uint32_t field_count;
  std::int32_t record_size;
  std::int32_t header_size;
  const bool wide = header.header_length == dbf::kWideMarker;
  if (wide) {
    record_size = 0;  // computed from the descriptors below
    field_count = header.record_length;
    header_size = static_cast<std::int32_t>(32 * field_count + dbf::kWideMarker);
  } else {
    header_size = header.header_length;
    record_size = header.record_length;
    // Unsigned on purpose: a header length below 33 wraps to a huge count and is rejected
    // with the too-short ones.
    field_count = (static_cast<std::uint32_t>(header.header_length) - 33u) / 32u;
    if (field_count == 0 || field_count > 65536) RejectHeader();
  }

  TCharArrayClass& types = FieldTypesRef();
  T_Int32ArrayClass& offsets = FieldOffsetsRef();
  types.SetCount(static_cast<std::int32_t>(field_count));
  offsets.SetCount(static_cast<std::int32_t>(field_count) + 1);
  if (field_names_) {
    field_names_->Clear();
    field_names_->SetCount(static_cast<std::int32_t>(field_count));
  }
  offsets.SetItem(0, 1);  // byte 0 of a record is the deletion flag

  std::array<std::uint8_t, dbf::DBFFieldDescriptor::kSize> raw_field{};
  std::int32_t read = 0;
  for (; read < static_cast<std::int32_t>(field_count); ++read) {
    file_->ReadBuffer(raw_field.data(), static_cast<std::uint32_t>(raw_field.size()));
    if (raw_field[0] == dbf::kTerminator) break;
    const dbf::DBFFieldDescriptor d = dbf::DBFFieldDescriptor::Decode(raw_field.data());
    if (field_names_) field_names_->SetItem(read, dbf::UpperCaseAscii(d.name));
    types.SetItem(read, d.type);
    offsets.SetItem(read + 1, offsets.GetItem(read) + d.length);
  }

  types.SetCount(read);
  offsets.SetCount(read + 1);
  if (field_names_) field_names_->SetCount(read);

  // A classic record length of 0 is no placeholder: it differs from every record length,
  // and one computed for it could exceed what a classic header can hold when written back.
  const std::int32_t computed = offsets.GetItem(read);
  if (wide) {
    record_size = computed;
  } else if (record_size != computed) {
    RejectHeader();
  }

  // Records are addressed with 32-bit positions, and the count in the header is trusted by
  // every move and by Append. A count whose records would end beyond the file (a cut file,
  // a damaged count) or beyond 4 GB would send reads past the end and, worse, make Append
  // write at a wrapped position inside the header or over another record. Such a table is
  // refused before anything is read or written. A file holding more than the count says
  // (records appended by a process that never closed the table) stays acceptable, and so
  // does an empty table whose file ends inside its header's padding.
  const std::uint64_t records_end =
      static_cast<std::uint64_t>(static_cast<std::uint32_t>(header_size)) +
      static_cast<std::uint64_t>(header.record_count) * static_cast<std::uint32_t>(record_size);
  if (records_end > 0xFFFFFFFFu || (header.record_count > 0 && records_end > file_->Size()))
    RejectHeader();

  SetFieldCount(static_cast<std::uint32_t>(read));
  SetHeaderSize(header_size);
  SetRecordSize(record_size);
  SetRecordCount(header.record_count);
  AllocRecordBuffer();
}

void TDBFTable::EnsureFileOpen() {
  if (Active() && !file_->Active()) file_->SetActive(true);
}

void TDBFTable::ReadRecordData(std::uint32_t position, std::uint32_t size) {
  EnsureFileOpen();
  file_->Seek(position, 0);
  file_->ReadBuffer(RecordBuffer(), size);
}

void TDBFTable::WriteRecordData(std::uint32_t position, std::uint32_t size) {
  EnsureFileOpen();
  std::uint8_t* buffer = RecordBuffer();
  if (buffer[0] != dbf::kDeletedFlag) buffer[0] = dbf::kLiveFlag;
  file_->Seek(position, 0);
  // A short count raises nothing here; failures of the write itself are raised by the file.
  file_->Write(buffer, size);
}

void TDBFTable::InternalClose() {
  // The file is closed and the buffer freed whatever happens; the first error is then
  // passed on.
  std::exception_ptr error;
  try {
    EnsureFileOpen();
    if (file_->Active() && !ReadOnly() && Modified()) WriteHeaderAndTrailer();
  } catch (...) {
    error = std::current_exception();
  }
  try {
    if (file_->Active()) file_->Close();
  } catch (...) {
    if (!error) error = std::current_exception();
  }
  SetRecordSize(0);
  FreeRecordBuffer();
  if (error) std::rethrow_exception(error);
}

void TDBFTable::WriteHeaderAndTrailer() {
  // Nothing of the header read from the file survives, not even its version byte or code
  // page mark, but the records stay where they are: whichever form is written must give back
  // the same header size. The classic form stores it in 16 bits, and 296 there means wide.
  // The wide form derives it from its descriptor count, 32 n + 296, and the descriptor list
  // may end earlier at a terminator. From 2,000 fields on the wide form is chosen wherever
  // it keeps the size; otherwise the form that can keep it is. Hence wide for a record too
  // long for 16 bits, for a header of exactly 296 (a table read in wide form without
  // fields), and for a wide header counting more descriptors than 16 bits of header length
  // can cover; classic for a classic header with 2,000 fields or more.
  const std::uint32_t record_size = static_cast<std::uint32_t>(RecordSize());
  const std::uint32_t header_size = static_cast<std::uint32_t>(HeaderSize());
  const std::uint32_t wide_count =
      header_size >= dbf::kWideMarker ? (header_size - dbf::kWideMarker) / 32 : 0;
  const bool wide_keeps_size = header_size >= dbf::kWideMarker &&
                               (header_size - dbf::kWideMarker) % 32 == 0 &&
                               wide_count <= 0xFFFF && FieldCount() <= wide_count;
  const bool classic_keeps_size = header_size != dbf::kWideMarker && header_size <= 0xFFFF &&
                                  record_size <= dbf::kMaxClassicRecordLength;
  const bool wide = wide_keeps_size &&
                    (!classic_keeps_size || FieldCount() >= dbf::kWideFieldCount);
  const dbf::DBFHeader header =
      dbf::DBFHeader::Make(RecordCount(), wide, header_size, record_size, wide_count);
  std::array<std::uint8_t, dbf::DBFHeader::kSize> raw{};
  header.Encode(raw.data());
  file_->Seek(0, 0);
  file_->Write(raw.data(), static_cast<std::uint32_t>(raw.size()));
  // The classic form finds the end of the descriptor list by its terminator whenever the
  // header has room for more descriptors than the table has, which is the case for every
  // header of 32 n + 296 bytes. A table read in wide form counted its descriptors instead
  // and need not have one: without it, it would read back with phantom fields or not at all.
  if (!wide && header_size >= 33 && (header_size - 33) / 32 > FieldCount()) {
    const std::uint8_t terminator = dbf::kTerminator;
    file_->Seek(static_cast<std::int64_t>(dbf::DBFHeader::kSize) + 32 * FieldCount(), 0);
    file_->Write(&terminator, 1);
  }

  // Whatever follows the records (an old trailer, another program's end-of-file byte) is
  // cut off. Positions are 32-bit: a table stays below 4 GB.
  const std::uint32_t length = GetRecordCount() * record_size + header_size;
  if (length != static_cast<std::uint32_t>(file_->Size())) file_->SetSize(length);
  SetModified(false);
  WriteTrailer();
}

void TDBFTable::WriteTrailer() {
  const std::uint32_t s = static_cast<std::uint32_t>(file_->Size()) & dbf::kSampleLengthMask;
  const std::int32_t p =
      dbf::SamplePosition(RecordCount(), static_cast<std::uint32_t>(RecordSize()), s);
  // A negative P is taken as the low half of a 64-bit position: far beyond the end, so
  // the sample is empty and the checksum is HeaderSize.
  file_->Seek(static_cast<std::int64_t>(static_cast<std::uint32_t>(p)), 0);
  std::vector<std::uint8_t> sample(dbf::kSampleSize);
  const std::uint32_t n = file_->Read(sample.data(), dbf::kSampleSize);
  const std::uint32_t checksum =
      dbf::SampleChecksum(static_cast<std::uint32_t>(HeaderSize()), sample.data(), n);

  std::array<std::uint8_t, dbf::kTrailerSize> trailer{};
  dbf::PutLe32(trailer.data() + 0, dbf::kTrailerMagic);
  dbf::PutLe32(trailer.data() + 4, NextRandom(s));
  dbf::PutLe32(trailer.data() + 8, checksum);
  dbf::PutLe32(trailer.data() + 12, 0);
  file_->Seek(0, 2);
  file_->WriteBuffer(trailer.data(), static_cast<std::uint32_t>(trailer.size()));
}

// ---- TfnDBFTable -----------------------------------------------------------------------

TfnDBFTable::TfnDBFTable(const std::string& table_name, bool read_only, bool exclusive)
    : TDBFTable(WithFieldNames{}, table_name, read_only, exclusive) {}

// ---- TDBFCreator -----------------------------------------------------------------------

TDBFCreator::TDBFCreator() = default;

TDBFCreator::~TDBFCreator() = default;

const std::uint8_t* TDBFCreator::Descriptor(std::int32_t index) const {
  ORB_ASSERT(index >= 0 && index < FieldCount(), "dbf/DBFTable");
  return descriptors_.data() + static_cast<std::size_t>(index) * dbf::DBFFieldDescriptor::kSize;
}

std::int32_t TDBFCreator::AddField(const std::string& name, char field_type,
                                   std::uint8_t length, std::uint8_t decimals) {
  const std::int32_t n = FieldCount();
  if (n > kMaxFields) throw EOrbDBError("字段数目太多，无法创建数据库");

  // The type is tested before anything is added, so a rejected field leaves no trace.
  std::uint8_t l = 0;
  std::uint8_t d = 0;
  switch (field_type) {
    case 'B':
      l = 8;
      d = decimals <= 16 ? decimals : 0;
      break;
    case 'C':
      l = length == 0 ? 1 : length;
      break;
    case 'D':
    case 'T':
      l = 8;
      break;
    case 'F':
    case 'N':
      l = length == 0 ? 10 : (length > 20 ? 20 : length);
      d = decimals < l ? decimals : static_cast<std::uint8_t>(l - 1);
      break;
    case 'I':
      l = 4;
      break;
    case 'L':
      l = 1;
      break;
    case 'Y':
      l = 8;
      d = decimals <= 4 ? decimals : 0;
      break;
    default:
      throw EOrbDBError(std::string("不支持的数据类型\"") + field_type + "\"");
  }

  dbf::DBFFieldDescriptor descriptor;
  descriptor.name = dbf::UpperCaseAscii(name).substr(0, dbf::DBFFieldDescriptor::kMaxNameLength);
  descriptor.type = field_type;
  descriptor.position = static_cast<std::uint32_t>(record_length_ + 1);
  descriptor.length = l;
  descriptor.decimals = d;
  descriptors_.resize(descriptors_.size() + dbf::DBFFieldDescriptor::kSize);
  descriptor.Encode(descriptors_.data() + descriptors_.size() - dbf::DBFFieldDescriptor::kSize);
  record_length_ += l;
  return n;
}

void TDBFCreator::CreateTable(const std::string& file_name) {
  const auto n = static_cast<std::uint32_t>(FieldCount());
  const bool wide = n >= dbf::kWideFieldCount;
  const std::uint32_t record_size = static_cast<std::uint32_t>(record_length_) + 1;
  if (!wide && record_size > dbf::kMaxClassicRecordLength) {
    // The classic header keeps the record length in 16 bits; such a file would be read
    // back with a wrong record length.
    throw EOrbDBError("记录长度 " + std::to_string(record_size) +
                      " 字节超过 65535 字节的上限，无法创建数据库");
  }

  const dbf::DBFHeader header =
      dbf::DBFHeader::Make(0, wide, 32 * n + dbf::kWideMarker, record_size, n);
  std::array<std::uint8_t, dbf::DBFHeader::kSize> raw{};
  header.Encode(raw.data());
  std::array<std::uint8_t, dbf::kTerminatorBlockSize> block{};
  block[0] = dbf::kTerminator;

  TWin32File file;
  file.SetTrucExisting(true);
  file.Open(file_name, false, true);
  file.WriteBuffer(raw.data(), static_cast<std::uint32_t>(raw.size()));
  if (n > 0)
    file.WriteBuffer(descriptors_.data(), static_cast<std::uint32_t>(descriptors_.size()));
  file.WriteBuffer(block.data(), static_cast<std::uint32_t>(block.size()));
  file.Close();
}

}  // namespace orb
