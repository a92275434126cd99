// Unshrink: the decoder of zip compression method 1 (shrink), a dynamic LZW with codes of
// 9 to 13 bits and a partial clear that frees only the leaves of the code tree.
//
// Reads the entry's compressed bytes from a ByteSource and writes the decoded bytes to a
// ByteSink under the piecing contract of ByteIO.h. The general-purpose flag bits mean
// nothing for this method, so the decoder takes none. Decoding runs until the data holds no
// further whole code.
//
// Results (engine message ids):
//   no first code, control sub-code other than 1 or 2, code size raised past 13 bits,
//   code chain that does not end in a literal                       -> E_BADBLOCK (25109)
//   string longer than the 8,192-slot stack (a looping chain)       -> E_STACKOVERFLOW (25298)
//   tables cannot be allocated (Unshrink only)                      -> E_MEMERR (25253)
#pragma once

#include "archive/ByteIO.h"

#include <memory>

namespace orb::arx {

struct UnshrinkTables;  // code table, free list, stack (arxUnshrink.cpp)

class Unshrinker {
 public:
  Unshrinker(ByteSource& source, ByteSink& sink);  // may throw std::bad_alloc
  ~Unshrinker();
  Unshrinker(const Unshrinker&) = delete;
  Unshrinker& operator=(const Unshrinker&) = delete;

  DecodeResult Run();

 private:
  enum class State { stFirstCode, stCode, stControl, stDone };

  DecodeResult Decode();
  DecodeResult Expand(int code);
  void PartialClear();

  InputBuffer input_;
  OutputWindow out_;
  std::unique_ptr<UnshrinkTables> t_;
};

// One method-1 entry; allocation failure reported as E_MEMERR.
DecodeResult Unshrink(ByteSource& source, ByteSink& sink);

}  // namespace orb::arx
