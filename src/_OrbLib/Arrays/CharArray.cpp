// Unit CharArray: see CharArray.h.
#include "_OrbLib/Arrays/CharArray.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "_OrbLib/OrbExcept.h"

namespace orb {

namespace {
constexpr const char* kUnit = "_OrbLib/Arrays/CharArray";
std::int32_t RoundUp8(std::int32_t n) { return (n + 7) & ~7; }
}  // namespace

TCharArrayClass::~TCharArrayClass() { TCharArrayClass::Resize(0); }

void TCharArrayClass::Resize(std::int32_t n) {
  ORB_ASSERT(n >= 0 && n <= kMaxCount, kUnit);
  const std::int32_t old_cap = RoundUp8(count_);
  const std::int32_t new_cap = RoundUp8(n);
  if (old_cap != new_cap) {
    if (new_cap == 0) {
      std::free(data_);
      data_ = nullptr;
    } else {
      // realloc keeps the old block when it fails, so the array stays as it was.
      void* p = std::realloc(data_, static_cast<std::size_t>(new_cap));
      if (p == nullptr) throw std::bad_alloc();
      data_ = static_cast<char*>(p);
    }
  }
  if (n > count_) std::memset(data_ + count_, 0, static_cast<std::size_t>(n - count_));
  count_ = n;
}

void TCharArrayClass::SetCount(std::int32_t n) {
  ORB_ASSERT(n >= 0, kUnit);
  Resize(n);
}

char TCharArrayClass::GetItem(std::int32_t i) const {
  ORB_ASSERT(i >= 0 && i < count_, kUnit);
  return data_[i];
}

void TCharArrayClass::SetItem(std::int32_t i, char value) {
  ORB_ASSERT(i >= 0 && i < count_, kUnit);
  data_[i] = value;
}

}  // namespace orb
