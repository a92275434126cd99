// Unit CharArray: a growable array of bytes (the field type letters of a dataset).
// Capacity is not stored: it is always Count rounded up to a multiple of 8.
#pragma once

#include <cstdint>

namespace orb {

class TCharArrayClass {
 public:
  static constexpr std::int32_t kMaxCount = 0x3FFFF;

  TCharArrayClass() = default;
  virtual ~TCharArrayClass();
  TCharArrayClass(const TCharArrayClass&) = delete;
  TCharArrayClass& operator=(const TCharArrayClass&) = delete;

  // Precondition 0 <= n <= kMaxCount. New elements are zero.
  virtual void Resize(std::int32_t n);
  void SetCount(std::int32_t n);  // precondition n >= 0
  std::int32_t Count() const { return count_; }
  char GetItem(std::int32_t i) const;      // precondition 0 <= i < Count
  void SetItem(std::int32_t i, char value);
  // The block (nullptr while Count is 0); Count bytes are valid.
  char* Data() { return data_; }
  const char* Data() const { return data_; }

 private:
  char* data_ = nullptr;
  std::int32_t count_ = 0;
};

}  // namespace orb
