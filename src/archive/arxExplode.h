// Explode: the decoder of zip compression method 6 (implode): literals and matches coded
// with Shannon-Fano trees that are stored at the start of the entry's data.
//
// General-purpose flag bit 1 selects the 8,192-byte window (else 4,096); bit 2 says that a
// literal tree is present, making three trees (else two, and literals are plain bytes). The
// minimum match length follows the trees: 3 with a literal tree, 2 without. Other flag bits
// do not change decoding.
//
// Reads the entry's compressed bytes from a ByteSource and writes the decoded bytes to a
// ByteSink under the piecing contract of ByteIO.h. Decoding stops when the entry's unpacked
// size has been produced or when the data ends.
//
// Results (engine message ids):
//   tree description listing more code lengths than the tree has symbols, code set that is
//   not prefix-free, code path that leads nowhere                  -> E_AMBIGUOUSTREE (25293)
//   tables cannot be allocated (Explode only)                      -> E_MEMERR (25253)
#pragma once

#include "archive/ByteIO.h"

#include <cstdint>
#include <memory>

namespace orb::arx {

class ShannonFanoTree;  // arxExplode.cpp

class Exploder {
 public:
  Exploder(ByteSource& source, ByteSink& sink, std::uint16_t flags, std::uint64_t unpackedSize);
  ~Exploder();
  Exploder(const Exploder&) = delete;
  Exploder& operator=(const Exploder&) = delete;

  DecodeResult Run();

 private:
  enum class State { stTrees, stItem, stLiteral, stMatch, stDone };

  DecodeResult Decode();

  InputBuffer input_;
  OutputWindow out_;
  bool largeWindow_;
  bool literalTree_;
  std::uint64_t unpackedSize_;
  std::unique_ptr<ShannonFanoTree> literals_;
  std::unique_ptr<ShannonFanoTree> lengths_;
  std::unique_ptr<ShannonFanoTree> distances_;
};

// One method-6 entry with the entry's general-purpose flags. Allocation failure reported as
// E_MEMERR.
DecodeResult Explode(ByteSource& source, ByteSink& sink, std::uint16_t flags,
                     std::uint64_t unpackedSize);

}  // namespace orb::arx
