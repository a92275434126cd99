// Unit _Int32Array: a growable array of signed 32-bit integers (the field offsets of a
// dataset). Capacity is not stored: it is always Count rounded up to a multiple of 8.
#pragma once

#include <cstdint>

namespace orb {

class T_Int32ArrayClass {
 public:
  static constexpr std::int32_t kMaxCount = 0xFFFFF;

  T_Int32ArrayClass() = default;
  virtual ~T_Int32ArrayClass();
  T_Int32ArrayClass(const T_Int32ArrayClass&) = delete;
  T_Int32ArrayClass& operator=(const T_Int32ArrayClass&) = delete;

  // Precondition 0 <= n <= kMaxCount. New elements are zero.
  virtual void Resize(std::int32_t n);
  void SetCount(std::int32_t n);  // precondition n >= 0
  std::int32_t Count() const { return count_; }
  std::int32_t GetItem(std::int32_t i) const;  // precondition 0 <= i < Count
  void SetItem(std::int32_t i, std::int32_t value);
  std::int32_t* Data() { return data_; }
  const std::int32_t* Data() const { return data_; }

 private:
  std::int32_t* data_ = nullptr;
  std::int32_t count_ = 0;
};

}  // namespace orb
