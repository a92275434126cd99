// Storage shared by the typed arrays of plain values: one malloc'd block holding whole
// groups of eight elements, so that growing one element at a time reallocates only every
// eighth step.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>

namespace orb::arrays {

inline std::int32_t RoundUp8(std::int32_t n) { return (n + 7) & ~7; }

// Moves `data` from `count` to `n` elements; new elements are zero. realloc keeps the old
// block when it fails, so on bad_alloc the array stays exactly as it was.
template <typename T>
void ResizeInGroupsOfEight(T*& data, std::int32_t count, std::int32_t n) {
  static_assert(std::is_trivially_copyable_v<T>, "the block is moved by realloc");
  const std::int32_t old_cap = RoundUp8(count);
  const std::int32_t new_cap = RoundUp8(n);
  if (old_cap != new_cap) {
    if (new_cap == 0) {
      std::free(data);
      data = nullptr;
    } else {
      void* p = std::realloc(data, static_cast<std::size_t>(new_cap) * sizeof(T));
      if (p == nullptr) throw std::bad_alloc();
      data = static_cast<T*>(p);
    }
  }
  if (n > count) std::memset(data + count, 0, static_cast<std::size_t>(n - count) * sizeof(T));
}

}  // namespace orb::arrays
