// Unreduce: the decoder of zip compression methods 2 to 5 (reduce with compression factors
// 1 to 4): bytes coded against per-byte follower sets, then a run-length/back-reference
// layer keyed on the marker byte 144 over a 4,096-byte history.
//
// Reads the entry's compressed bytes from a ByteSource and writes the decoded bytes to a
// ByteSink under the piecing contract of ByteIO.h. The format has no end code: decoding
// stops when the entry's unpacked size has been produced (so symbols whose bits share the
// final byte are still decoded) or when the data ends, whichever comes first.
//
// Results (engine message ids):
//   follower set count above 32, follower index beyond the set    -> E_BADBLOCK (25109)
//   tables cannot be allocated (Unreduce only)                      -> E_MEMERR (25253)
#pragma once

#include "archive/ByteIO.h"

#include <cstdint>
#include <memory>

namespace orb::arx {

struct UnreduceTables;  // follower sets, history (arxUnreduce.cpp)

class Unreducer {
 public:
  // factor: 1..4, that is the compression method minus 1.
  Unreducer(ByteSource& source, ByteSink& sink, int factor, std::uint64_t unpackedSize);
  ~Unreducer();
  Unreducer(const Unreducer&) = delete;
  Unreducer& operator=(const Unreducer&) = delete;

  DecodeResult Run();

 private:
  // The run layer's states, the application note's 0..3.
  enum class State { stLiteral, stMarker, stLongLength, stDistance };

  DecodeResult Decode();

  InputBuffer input_;
  OutputWindow out_;
  std::unique_ptr<UnreduceTables> t_;
  int factor_;
  std::uint64_t unpackedSize_;
};

// One entry of method 2..5: factor = method - 1. Allocation failure reported as
// E_MEMERR.
DecodeResult Unreduce(ByteSource& source, ByteSink& sink, int factor, std::uint64_t unpackedSize);

}  // namespace orb::arx
