// Unit _Int32Array: see _Int32Array.h.
#include "_OrbLib/Arrays/_Int32Array.h"

#include "_OrbLib/Arrays/ArrayStorage.h"
#include "_OrbLib/OrbExcept.h"

namespace orb {

namespace {
constexpr const char* kUnit = "_OrbLib/Arrays/_Int32Array";
}  // namespace

T_Int32ArrayClass::~T_Int32ArrayClass() { T_Int32ArrayClass::Resize(0); }

void T_Int32ArrayClass::Resize(std::int32_t n) {
  ORB_ASSERT(n >= 0 && n <= kMaxCount, kUnit);
  arrays::ResizeInGroupsOfEight(data_, count_, n);
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
