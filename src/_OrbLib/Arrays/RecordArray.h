// Unit RecordArray: a growable array of fixed-size byte records, one of the library's typed
// arrays (the program itself keeps no such list today). The block grows and shrinks in
// steps of 16 records: its capacity is (Count + 16) with the low four bits cleared, or
// nothing when Count is 0.
#pragma once

#include <cstdint>

namespace orb {

class TRecArray {
 public:
  explicit TRecArray(std::int32_t record_size);  // precondition record_size > 0
  ~TRecArray();
  TRecArray(const TRecArray&) = delete;
  TRecArray& operator=(const TRecArray&) = delete;

  void SetCount(std::int32_t n);  // precondition n >= 0; new records are zero
  std::int32_t Count() const { return count_; }
  std::int32_t RecordSize() const { return record_size_; }
  std::int32_t TotalSize() const { return count_ * record_size_; }
  // Address of record i; precondition 0 <= i <= Count (the slot behind the last record
  // lies inside the block because capacity always exceeds Count).
  std::uint8_t* ItemPtr(std::int32_t i);
  const std::uint8_t* ItemPtr(std::int32_t i) const;
  // Appends a zeroed record and returns its address.
  std::uint8_t* Add();
  // Records currently allocated (derived from Count).
  std::int32_t Capacity() const;

 private:
  std::uint8_t* data_ = nullptr;
  std::int32_t count_ = 0;
  std::int32_t record_size_;
};

}  // namespace orb
