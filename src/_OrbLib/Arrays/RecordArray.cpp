// Unit RecordArray: see RecordArray.h.
#include "_OrbLib/Arrays/RecordArray.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "_OrbLib/OrbExcept.h"

namespace orb {

namespace {
constexpr const char* kUnit = "_OrbLib/Arrays/RecordArray";
// The multiple of 16 just above n: always at least one spare record behind Count.
std::int32_t CapacityFor(std::int32_t n) { return n == 0 ? 0 : (n + 16) & ~15; }
}  // namespace

TRecArray::TRecArray(std::int32_t record_size) : record_size_(record_size) {
  ORB_ASSERT(record_size > 0, kUnit);
}

TRecArray::~TRecArray() { SetCount(0); }

std::int32_t TRecArray::Capacity() const { return CapacityFor(count_); }

void TRecArray::SetCount(std::int32_t n) {
  ORB_ASSERT(n >= 0, kUnit);
  if (n == count_) return;
  if (n == 0) {
    std::free(data_);
    data_ = nullptr;
    count_ = 0;
    return;
  }
  const std::int32_t old_cap = CapacityFor(count_);
  const std::int32_t new_cap = CapacityFor(n);
  if (old_cap != new_cap) {
    void* p = std::realloc(data_, static_cast<std::size_t>(new_cap) *
                                      static_cast<std::size_t>(record_size_));
    if (p == nullptr) throw std::bad_alloc();
    data_ = static_cast<std::uint8_t*>(p);
  }
  if (n > count_) {
    std::memset(data_ + static_cast<std::size_t>(count_) * record_size_, 0,
                static_cast<std::size_t>(n - count_) * record_size_);
  }
  count_ = n;
}

std::uint8_t* TRecArray::ItemPtr(std::int32_t i) {
  ORB_ASSERT(i >= 0 && i <= count_, kUnit);
  if (data_ == nullptr) return nullptr;
  return data_ + static_cast<std::size_t>(i) * record_size_;
}

const std::uint8_t* TRecArray::ItemPtr(std::int32_t i) const {
  return const_cast<TRecArray*>(this)->ItemPtr(i);
}

std::uint8_t* TRecArray::Add() {
  SetCount(count_ + 1);
  return ItemPtr(count_ - 1);
}

}  // namespace orb
