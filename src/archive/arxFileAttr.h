// The attribute mask of an operation's file selection.
#pragma once

#include <cstdint>

#include "_OrbLib/Classes.h"

namespace orb {

// The attribute mask; "any file" is the value 0x93F (every bit of the mask).
class TarxFileAttr : public TObject {
 public:
  TarxFileAttr() { SetftFileAttr(0); }
  std::int32_t ftFileAttr() const { return attr_; }
  void SetftFileAttr(std::int32_t v);
  bool ftArchive() const { return b_[kArchive]; }
  bool ftHidden() const { return b_[kHidden]; }
  bool ftReadOnly() const { return b_[kReadOnly]; }
  bool ftSysFile() const { return b_[kSysFile]; }
  bool ftCompressed() const { return b_[kCompressed]; }
  bool ftVolumeID() const { return b_[kVolumeID]; }
  bool ftDirectory() const { return b_[kDirectory]; }
  bool ftTemporary() const { return b_[kTemporary]; }
  bool ftAnyFile() const { return any_; }
  void SetftArchive(bool b) { SetBit(kArchive, b); }
  void SetftHidden(bool b) { SetBit(kHidden, b); }
  void SetftReadOnly(bool b) { SetBit(kReadOnly, b); }
  void SetftSysFile(bool b) { SetBit(kSysFile, b); }
  void SetftCompressed(bool b) { SetBit(kCompressed, b); }
  void SetftVolumeID(bool b) { SetBit(kVolumeID, b); }
  void SetftDirectory(bool b) { SetBit(kDirectory, b); }
  void SetftTemporary(bool b) { SetBit(kTemporary, b); }
  void SetftAnyFile(bool b) {
    any_ = b;
    Recompute();
  }
  void Assign(const TarxFileAttr& other) {
    for (int i = 0; i < 8; ++i) b_[i] = other.b_[i];
  }

 private:
  enum { kReadOnly, kHidden, kSysFile, kVolumeID, kDirectory, kArchive, kTemporary, kCompressed };
  static constexpr std::int32_t kBits[8] = {0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x100, 0x800};
  static constexpr std::int32_t kAnyFile = 0x93F;
  void SetBit(int i, bool b);
  void Recompute();
  std::int32_t attr_ = 0;
  bool b_[8] = {};
  bool any_ = false;
};

}  // namespace orb
