// Unit FixedLenStrArray: a growable array of texts of at most Width bytes each (the
// field names of a table). Each slot is Width + 1 bytes holding a NUL-terminated text.
// Invariant: Capacity > Count whenever Count > 0; IndexOf uses the spare slot behind
// the last element as its search sentinel.
#pragma once

#include <cstdint>
#include <string>

namespace orb {

class TFixedLenStrArray {
 public:
  explicit TFixedLenStrArray(std::int32_t width);  // precondition width > 0
  ~TFixedLenStrArray();
  TFixedLenStrArray(const TFixedLenStrArray&) = delete;
  TFixedLenStrArray& operator=(const TFixedLenStrArray&) = delete;

  void SetCount(std::int32_t n);  // precondition n >= 0
  void Clear() { SetCount(0); }
  std::int32_t Count() const { return count_; }
  std::int32_t Capacity() const { return capacity_; }
  std::int32_t Width() const { return width_; }
  // Address of slot i; precondition 0 <= i <= Count (the spare slot is allowed).
  char* ItemPtr(std::int32_t i);
  // Stores the first Width bytes of `text`; precondition 0 <= i <= Count.
  void SetItem(std::int32_t i, const std::string& text);
  std::string GetItem(std::int32_t i) const;  // precondition 0 <= i < Count
  // Index of the first slot equal to `text` cut to Width bytes, or -1.
  std::int32_t IndexOf(const std::string& text);

 private:
  char* data_ = nullptr;
  std::int32_t count_ = 0;
  std::int32_t capacity_ = 0;
  std::int32_t width_;
};

}  // namespace orb
