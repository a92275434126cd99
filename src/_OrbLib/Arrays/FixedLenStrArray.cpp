// Unit FixedLenStrArray: see FixedLenStrArray.h.
#include "_OrbLib/Arrays/FixedLenStrArray.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "_OrbLib/OrbExcept.h"

namespace orb {

namespace {
constexpr const char* kUnit = "_OrbLib/Arrays/FixedLenStrArray";
}  // namespace

TFixedLenStrArray::TFixedLenStrArray(std::int32_t width) : width_(width) {
  ORB_ASSERT(width > 0, kUnit);
}

TFixedLenStrArray::~TFixedLenStrArray() { SetCount(0); }

void TFixedLenStrArray::SetCount(std::int32_t n) {
  ORB_ASSERT(n >= 0, kUnit);
  if (n == count_) return;
  if (n == 0) {
    std::free(data_);
    data_ = nullptr;
    count_ = 0;
    capacity_ = 0;
    return;
  }
  const std::size_t slot = static_cast<std::size_t>(width_) + 1;
  if (n >= capacity_) {
    // Steps grow with the size so that long lists reallocate rarely; the result is the
    // next multiple of the step above n, which keeps one spare slot for IndexOf.
    const std::int32_t m = n <= 256 ? 15 : (n <= 4096 ? 63 : 255);
    const std::int32_t new_cap = (n + m + 1) & ~m;
    if (new_cap != capacity_) {
      void* p = std::realloc(data_, static_cast<std::size_t>(new_cap) * slot);
      if (p == nullptr) throw std::bad_alloc();
      data_ = static_cast<char*>(p);
      capacity_ = new_cap;
    }
  }
  if (n > count_) {
    std::memset(data_ + static_cast<std::size_t>(count_) * slot, 0,
                static_cast<std::size_t>(n - count_) * slot);
  }
  count_ = n;
}

char* TFixedLenStrArray::ItemPtr(std::int32_t i) {
  ORB_ASSERT(i >= 0 && i <= count_, kUnit);
  if (data_ == nullptr) return nullptr;
  return data_ + static_cast<std::size_t>(i) * (static_cast<std::size_t>(width_) + 1);
}

void TFixedLenStrArray::SetItem(std::int32_t i, const std::string& text) {
  ORB_ASSERT(i >= 0 && i <= count_, kUnit);
  // The spare slot at Count exists only once something was allocated.
  ORB_ASSERT(data_ != nullptr, kUnit);
  char* p = ItemPtr(i);
  std::memset(p, 0, static_cast<std::size_t>(width_));
  const std::size_t n = text.size() < static_cast<std::size_t>(width_) ? text.size()
                                                                       : static_cast<std::size_t>(width_);
  std::memcpy(p, text.data(), n);
  p[n] = '\0';
}

std::string TFixedLenStrArray::GetItem(std::int32_t i) const {
  ORB_ASSERT(i >= 0 && i < count_, kUnit);
  return std::string(data_ + static_cast<std::size_t>(i) * (static_cast<std::size_t>(width_) + 1));
}

std::int32_t TFixedLenStrArray::IndexOf(const std::string& text) {
  if (count_ <= 0) return -1;
  // The key goes into the spare slot, so the scan needs no bounds test.
  SetItem(count_, text);
  const std::size_t slot = static_cast<std::size_t>(width_) + 1;
  const char* key = data_ + static_cast<std::size_t>(count_) * slot;
  std::int32_t i = 0;
  while (std::strcmp(data_ + static_cast<std::size_t>(i) * slot, key) != 0) ++i;
  return i < count_ ? i : -1;
}

}  // namespace orb
