// The legacy decoders alone: unshrink, unreduce (factors 1-4) and explode (the four flag
// combinations of bits 1 and 2). The first byte picks the decoder and the read step, the
// next two the unpacked size for the decoders that stop at it. Output must keep the piecing
// contract and stay within the unpacked size where one is given.
#include <cstdio>
#include <cstdlib>

#include "FuzzIO.h"
#include "archive/arxExplode.h"
#include "archive/arxUnreduce.h"
#include "archive/arxUnshrink.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  const std::uint8_t selector = data[0];
  const std::uint64_t unpacked = (static_cast<std::uint64_t>(data[1]) |
                                  static_cast<std::uint64_t>(data[2]) << 8) * 16u;
  const std::size_t step = 1 + (selector >> 4) * 997u;
  orbfuzz::MemorySource source(data + 3, size - 3, step);
  orbfuzz::MemorySink sink;
  const int which = selector & 0x0F;
  orb::arx::DecodeResult r;
  bool bounded = true;
  if (which < 4) {
    r = orb::arx::Unreduce(source, sink, which + 1, unpacked);
  } else if (which < 8) {
    const std::uint16_t flags = static_cast<std::uint16_t>((which - 4) << 1);
    r = orb::arx::Explode(source, sink, flags, unpacked);
  } else {
    bounded = false;
    r = orb::arx::Unshrink(source, sink);
  }
  if (bounded && sink.bytes.size() > unpacked) {
    std::fprintf(stderr, "decoder %d wrote %zu bytes past an unpacked size of %llu\n", which,
                 sink.bytes.size(), static_cast<unsigned long long>(unpacked));
    std::abort();
  }
  (void)r;
  return 0;
}
