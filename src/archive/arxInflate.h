// Inflate: the decoder of zip compression method 8 (the Deflate format).
//
// Reads the entry's compressed bytes from a ByteSource and writes the decoded bytes to a
// ByteSink under the piecing contract of ByteIO.h (exact 32 KiB pieces, then the remainder).
// The 32 KiB output window is also the history window, so distances reach back at most
// 32,768 bytes and never before the first byte of the entry.
//
// Results (engine message ids):
//   block type 3, stored LEN/NLEN mismatch, data ending inside a block,
//   invalid code in a fixed block                                  -> E_BADBLOCK (25109)
//   incomplete or over-subscribed dynamic code, repeat overflow,
//   invalid code in a dynamic block                                -> E_CODESET (25138)
//   the decoder's memory cannot be had                             -> E_MEMERR (25253)
// "Invalid code" includes every code that cannot be carried out: literal/length symbols 286
// and 287, distance codes 30 and 31, a length code in a block without distance codes and a
// distance reaching before the entry's first byte. A valid stream never fails, also when its
// final end-of-block code sits in the last bits of the data.
#pragma once

#include "archive/ByteIO.h"

#include <memory>

namespace orb::arx {

class InflateState;  // tables, window and bit buffer (arxInflate.cpp)

class Inflater {
 public:
  Inflater(ByteSource& source, ByteSink& sink);  // may throw std::bad_alloc
  ~Inflater();
  Inflater(const Inflater&) = delete;
  Inflater& operator=(const Inflater&) = delete;

  // Decodes the whole entry (blocks until the last-block flag) and writes all of its output.
  DecodeResult Run();

 private:
  std::unique_ptr<InflateState> state_;
};

// Convenience for the engine: one entry, allocation failure reported as E_MEMERR.
DecodeResult Inflate(ByteSource& source, ByteSink& sink);

// Which build of the decoder's fast loop runs: the fastest one the processor supports (the
// default), or the portable one on every processor. Both give the same results; tests use
// this to cover the build that this machine would not choose. Process-wide.
enum class InflateLoop { kFastest, kPortable };
void SetInflateLoop(InflateLoop loop);

}  // namespace orb::arx
