// Unit _Int32Array: see _Int32Array.h.
#include "_OrbLib/Arrays/_Int32Array.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "_OrbLib/OrbExcept.h"

namespace orb {

namespace {
constexpr const char* kUnit = "_OrbLib/Arrays/_Int32Array";
std::int32_t RoundUp8(std::int32_t n) { return (n + 7) & ~7; }
}  // namespace

T_Int32ArrayClass::~T_Int32ArrayClass() { T_Int32ArrayClass::Resize(0); }

void T_Int32ArrayClass::Resize(std::int32_t n) {
  ORB_ASSERT(n >= 0 && n <= kMaxCount, kUnit);
  const std::int32_t old_cap = RoundUp8(count_);
  const std::int32_t new_cap = RoundUp8(n);
  if (old_cap != new_cap) {
    if (new_cap == 0) {
      std::free(data_);
      data_ = nullptr;
    } else {
      // realloc keeps the old block when it fails, so the array stays as it was.
      void* p = std::realloc(data_, static_cast<std::size_t>(new_cap) * sizeof(std::int32_t));
      if (p == nullptr) throw std::bad_alloc();
      data_ = static_cast<std::int32_t*>(p);
    }
  }
  if (n > count_) std::memset(data_ + count_, 0, static_cast<std::size_t>(n - count_) * sizeof(std::int32_t));
  count_ = n;
}

void T_Int32ArrayClass::SetCount(std::int32_t n) {
  ORB_ASSERT(n >= 0, kUnit);
  Resize(n);
}

std::int32_t T_Int32ArrayClass::GetItem(std::int32_t i) const {
  ORB_ASSERT(i >= 0 && i < count_, kUnit);
  return data_[i];
}

void T_Int32ArrayClass::SetItem(std::int32_t i, std::int32_t value) {
  ORB_ASSERT(i >= 0 && i < count_, kUnit);
  data_[i] = value;
}

}  // namespace orb
