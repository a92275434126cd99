// Unit OrbDB: the dataset's open/close, cursor, append, post, cancel and delete.
// Field access lives in OrbDBFields.cpp.
#include "_OrbLib/DB/OrbDB.h"

#include <cstring>

#include "_OrbLib/ScopeGuard.h"

namespace orb {

namespace {
constexpr const char* kUnit = "_OrbLib/DB/OrbDB";
}  // namespace

TCustomDataset::TCustomDataset()
    : field_types_(std::make_unique<TCharArrayClass>()),
      field_offsets_(std::make_unique<T_Int32ArrayClass>()),
      date_time_format_("yyyy-mm-dd hh:mm:ss") {}

// The storage subclass closes the table in its own destructor: from here its
// InternalClose is no longer reachable. What is left is the memory we own.
TCustomDataset::~TCustomDataset() = default;

void TCustomDataset::SetActive(bool value) {
  if (value == active_) return;
  if (value) {
    Open();
  } else {
    Close();
  }
}

void TCustomDataset::SetTableName(const std::string& name) {
  ORB_ASSERT(!active_, kUnit);
  table_name_ = name;
}

void TCustomDataset::SetExclusive(bool value) {
  ORB_ASSERT(!active_, kUnit);
  exclusive_ = value;
}

void TCustomDataset::SetReadOnly(bool value) {
  ORB_ASSERT(!active_, kUnit);
  read_only_ = value;
}

void TCustomDataset::OpenTable(const std::string& name, bool read_only, bool exclusive) {
  ORB_ASSERT(!active_, kUnit);
  read_only_ = read_only;
  exclusive_ = exclusive;
  table_name_ = name;
  Open();
}

std::int32_t TCustomDataset::FieldDecimals(std::int32_t) { return 0; }

void TCustomDataset::FieldChanged(std::int32_t) { buffer_changed_ = true; }

void TCustomDataset::AllocRecordBuffer() {
  record_buffer_.assign(record_size_ > 0 ? static_cast<std::size_t>(record_size_) : 0, 0);
}

void TCustomDataset::FreeRecordBuffer() {
  record_buffer_.clear();
  record_buffer_.shrink_to_fit();
}

void TCustomDataset::ReadRecord(std::uint32_t index) {
  ReadRecordData(static_cast<std::uint32_t>(header_size_) +
                     index * static_cast<std::uint32_t>(record_size_),
                 static_cast<std::uint32_t>(record_size_));
  buffer_changed_ = false;
}

void TCustomDataset::WriteRecord(std::uint32_t index) {
  WriteRecordData(static_cast<std::uint32_t>(header_size_) +
                      index * static_cast<std::uint32_t>(record_size_),
                  static_cast<std::uint32_t>(record_size_));
  buffer_changed_ = false;
}

void TCustomDataset::Open() {
  if (active_) return;
  eof_ = true;
  bof_ = true;
  visible_count_ = -1;
  rec_no_ = 0;
  rec_index_ = kBeforeFirst;
  has_record_ = false;
  modified_ = false;
  empty_state_ = 0;
  // A new record dropped by the last Close must not come back as pending.
  appending_ = false;
  buffer_changed_ = false;
  if (table_name_.empty()) throw EOrbDBError("缺少表名");
  try {
    DoBeforeOpen();
    InternalOpen();
    DoAfterOpen();
  } catch (...) {
    modified_ = false;
    try {
      InternalClose();
    } catch (...) {
      // The first failure is the one the caller needs to see.
    }
    throw;
  }
  if (record_count_ == 0) empty_state_ = -1;
  active_ = true;
}

void TCustomDataset::Close() {
  DoBeforeClose();
  if (active_) InternalClose();
  active_ = false;
  modified_ = false;
  empty_state_ = 0;
  // The buffer is gone with the storage: no record, nothing pending.
  has_record_ = false;
  appending_ = false;
  buffer_changed_ = false;
  DoAfterClose();
}

void TCustomDataset::LoadRecord(std::uint32_t index) {
  rec_index_ = index;
  ReadRecord(index);
  has_record_ = IsRecordVisible();
  if (empty_state_ == 0 && has_record_) empty_state_ = 1;
}

void TCustomDataset::SkipForward(std::uint32_t count) {
  if (record_count_ == 0 || rec_index_ == record_count_) return;
  if (buffer_changed_) Post();
  DoBeforeScroll();
  {
    // The scroll event follows whatever happened, as the one before it preceded it.
    ScopeExit after_scroll([this] { DoAfterScroll(); });
    const bool from_start = rec_index_ == kBeforeFirst;
    while (count > 0) {
      ++rec_index_;
      bof_ = false;
      eof_ = rec_index_ == record_count_;
      if (eof_) {
        // Only a pass from the first record proves the table has no visible record; one
        // that started in the middle (after Delete) has seen only the tail.
        if (empty_state_ == 0 && from_start) empty_state_ = -1;
        if (rec_no_ > 0) visible_count_ = rec_no_;
        rec_no_ = 0;
        has_record_ = false;
        break;
      }
      LoadRecord(rec_index_);
      if (has_record_) {
        --count;
        if (rec_no_ > 0) {
          ++rec_no_;
        } else if (from_start) {
          rec_no_ = 1;
        }
      }
    }
  }
}

void TCustomDataset::SkipBackward(std::uint32_t count) {
  if (record_count_ == 0 || rec_index_ == kBeforeFirst) return;
  if (buffer_changed_) Post();
  DoBeforeScroll();
  {
    // The scroll event follows whatever happened, as the one before it preceded it.
    ScopeExit after_scroll([this] { DoAfterScroll(); });
    const bool from_end = rec_index_ == record_count_;
    while (count > 0) {
      --rec_index_;
      eof_ = false;
      bof_ = rec_index_ == kBeforeFirst;
      if (bof_) {
        if (empty_state_ == 0 && from_end) empty_state_ = -1;
        rec_no_ = 0;
        has_record_ = false;
        break;
      }
      LoadRecord(rec_index_);
      if (has_record_) {
        --count;
        if (rec_no_ > 0) {
          --rec_no_;
        } else if (from_end) {
          rec_no_ = visible_count_;
        }
      }
    }
  }
}

namespace {

// Sets a flag when the scope ends, by return or by exception: First and Last leave Bof and
// Eof set even when reading the record they move to fails.
class SetOnExit {
 public:
  explicit SetOnExit(bool& flag) : flag_(flag) {}
  ~SetOnExit() { flag_ = true; }
  SetOnExit(const SetOnExit&) = delete;
  SetOnExit& operator=(const SetOnExit&) = delete;

 private:
  bool& flag_;
};

}  // namespace

void TCustomDataset::First() {
  if (buffer_changed_) Post();
  rec_no_ = 0;
  eof_ = true;
  rec_index_ = kBeforeFirst;
  const SetOnExit at_start(bof_);
  SkipForward(1);
}

void TCustomDataset::Last() {
  if (buffer_changed_) Post();
  rec_no_ = 0;
  bof_ = true;
  rec_index_ = record_count_;
  const SetOnExit at_end(eof_);
  SkipBackward(1);
}

void TCustomDataset::Next() { SkipForward(1); }

void TCustomDataset::Prior() { SkipBackward(1); }

void TCustomDataset::MoveBy(std::int32_t distance) {
  if (distance > 0) {
    SkipForward(static_cast<std::uint32_t>(distance));
  } else if (distance < 0) {
    SkipBackward(static_cast<std::uint32_t>(-static_cast<std::int64_t>(distance)));
  }
}

void TCustomDataset::GotoPhysical(std::uint32_t index) {
  if (buffer_changed_) Post();
  if (rec_no_ == 0) {
    rec_index_ = kBeforeFirst;
    SkipForward(1);
    while (index > rec_index_ && !eof_) SkipForward(1);
    return;
  }
  if (index > rec_index_) {
    while (index > rec_index_ && !eof_) SkipForward(1);
  } else if (index < rec_index_) {
    while (index < rec_index_ && !bof_) SkipBackward(1);
  }
}

void TCustomDataset::UpdateRecNo() {
  ORB_ASSERT(has_record_ && !buffer_changed_, kUnit);
  if (rec_no_ != 0) return;
  const std::uint32_t target = rec_index_;
  rec_index_ = kBeforeFirst;
  SkipForward(1);
  while (target > rec_index_ && !eof_) SkipForward(1);
}

bool TCustomDataset::IsEmpty() {
  ORB_ASSERT(active_, kUnit);
  if (empty_state_ == 0) First();
  ORB_ASSERT(empty_state_ != 0, kUnit);
  return empty_state_ < 0;
}

void TCustomDataset::Append() {
  ORB_ASSERT(!read_only_, kUnit);
  ORB_ASSERT(RecordBuffer() != nullptr, kUnit);
  ORB_ASSERT(record_size_ > 0, kUnit);
  if (record_count_ == kMaxRecordCount) {
    throw EOrbDBError("最多能容纳 " + std::to_string(kMaxRecordCount) + " 条记录");
  }
  // Changes to the current record are stored before the blank record replaces them.
  if (buffer_changed_ && has_record_) Post();
  DoBeforeAppend();
  appending_ = true;
  rec_index_ = record_count_;
  rec_no_ = visible_count_ > 0 ? visible_count_ + 1 : 0;
  ClearRecord();
  has_record_ = true;
  buffer_changed_ = true;
  DoAfterAppend();
}

void TCustomDataset::Insert() { Append(); }

void TCustomDataset::Post() {
  ORB_ASSERT(!read_only_, kUnit);
  ORB_ASSERT(has_record_, kUnit);
  if (!buffer_changed_) return;
  DoBeforePost();
  modified_ = true;
  WriteRecord(rec_index_);
  ORB_ASSERT(rec_index_ <= record_count_, kUnit);
  if (appending_) {
    empty_state_ = 1;
    if (rec_index_ == record_count_) ++record_count_;
    if (visible_count_ >= 0) ++visible_count_;
    bof_ = false;
    eof_ = false;
  }
  appending_ = false;
  buffer_changed_ = false;
  DoAfterPost();
}

void TCustomDataset::Cancel() {
  ORB_ASSERT(active_, kUnit);
  ORB_ASSERT(has_record_, kUnit);
  if (appending_ || rec_index_ == record_count_) {
    visible_count_ = -1;
    rec_index_ = kBeforeFirst;
    has_record_ = false;
    // Before the first record the number is not known.
    rec_no_ = 0;
  } else if (buffer_changed_) {
    LoadRecord(rec_index_);
  }
  appending_ = false;
  buffer_changed_ = false;
}

void TCustomDataset::Delete() {
  ORB_ASSERT(active_, kUnit);
  ORB_ASSERT(!appending_, kUnit);
}

bool TCustomDataset::IsRecordVisible() { return true; }

void TCustomDataset::ClearRecord() { InitRecord(RecordBuffer()); }

void TCustomDataset::WriteRecordAt(std::uint32_t index) {
  ORB_ASSERT(index <= record_count_, kUnit);
  rec_no_ = 0;
  bof_ = false;
  eof_ = false;
  rec_index_ = index;
  appending_ = index == record_count_;
  buffer_changed_ = true;
  Post();
  has_record_ = IsRecordVisible();
  if (empty_state_ == 0 && has_record_) empty_state_ = 1;
}

void TCustomDataset::DeleteCurrent() {
  empty_state_ = 0;
  record_buffer_[0] = '*';
  buffer_changed_ = true;
  Post();
  if (visible_count_ > 0) {
    --visible_count_;
    empty_state_ = visible_count_ > 0 ? 1 : -1;
  }
  if (rec_index_ < record_count_) {
    // One step back, so that Next passes over the now invisible record.
    --rec_index_;
    if (rec_no_ > 0) --rec_no_;
    Next();
  } else {
    Last();
  }
}

std::string TCustomDataset::FieldName(std::int32_t) {
  throw EOrbDBError("字段名机制没有实现");
}

std::int32_t TCustomDataset::FieldIndex(const std::string&) { return -1; }

// ---- TCustomXBaseDataset ----------------------------------------------------------

TCustomXBaseDataset::TCustomXBaseDataset() {
  pad_char_ = ' ';
  true_char_ = 'T';
  false_char_ = 'F';
}

bool TCustomXBaseDataset::IsRecordVisible() {
  const std::uint8_t* buffer = RecordBuffer();
  return buffer == nullptr || buffer[0] != '*';
}

void TCustomXBaseDataset::Delete() {
  ORB_ASSERT(!Appending(), kUnit);
  ORB_ASSERT(HasRecord(), kUnit);
  ORB_ASSERT(RecordBuffer() != nullptr, kUnit);
  // Post would refuse later; refuse before the record is marked.
  ORB_ASSERT(!ReadOnly(), kUnit);
  DeleteCurrent();
}

}  // namespace orb
