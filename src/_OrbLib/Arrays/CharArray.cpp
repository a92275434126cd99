// Unit CharArray: see CharArray.h.
#include "_OrbLib/Arrays/CharArray.h"

#include "_OrbLib/Arrays/ArrayStorage.h"
#include "_OrbLib/OrbExcept.h"

namespace orb {

namespace {
constexpr const char* kUnit = "_OrbLib/Arrays/CharArray";
}  // namespace

TCharArrayClass::~TCharArrayClass() { TCharArrayClass::Resize(0); }

void TCharArrayClass::Resize(std::int32_t n) {
  ORB_ASSERT(n >= 0 && n <= kMaxCount, kUnit);
  arrays::ResizeInGroupsOfEight(data_, count_, n);
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
