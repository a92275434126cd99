// The attribute mask of an operation's file selection.
#include "archive/arxFileAttr.h"


namespace orb {

void TarxFileAttr::SetftFileAttr(std::int32_t v) {
  any_ = v == 0 || (v & 0x3F) == 0x3F || (v & 0x80) != 0;
  if (!any_)
    for (int i = 0; i < 8; ++i) b_[i] = (v & kBits[i]) != 0;
  Recompute();
}

void TarxFileAttr::SetBit(int i, bool b) {
  b_[i] = b;
  bool all = true, none = true;
  for (bool x : b_) {
    all = all && x;
    none = none && !x;
  }
  if (all || none) any_ = true;
  else if (!b) any_ = false;
  Recompute();
}

void TarxFileAttr::Recompute() {
  if (any_) {
    attr_ = kAnyFile;
  } else {
    attr_ = 0;
    for (int i = 0; i < 8; ++i)
      if (b_[i]) attr_ += kBits[i];
  }
  for (int i = 0; i < 8; ++i) b_[i] = (attr_ & kBits[i]) != 0;
}

}  // namespace orb
