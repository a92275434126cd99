// Inflate against zlib's raw inflate on the same bytes. zlib decodes with all the input at
// hand; its verdict decides what the engine must do:
//   - zlib reaches the end of the stream: the engine succeeds with the same output (bytes
//     after the last block are ignored by both);
//   - zlib stops on bad data or runs out of input: the engine fails too;
// and in every case neither output may contradict the other: one is a prefix of the other
// (the engine writes what it decoded before a failure; zlib stops mid-block).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>
#include <zlib.h>

#include "FuzzIO.h"
#include "archive/arxInflate.h"

namespace {

constexpr std::size_t kMaxOutput = 8u << 20;

// 1: stream end, 0: needs more input, -1: data error. `out` gets what zlib decoded.
int ZlibInflate(const std::uint8_t* data, std::size_t size, std::vector<std::uint8_t>& out) {
  z_stream z{};
  if (inflateInit2(&z, -15) != Z_OK) std::abort();
  z.next_in = const_cast<Bytef*>(data);
  z.avail_in = static_cast<uInt>(size);
  std::vector<std::uint8_t> buf(65536);
  int verdict = 0;
  for (;;) {
    z.next_out = buf.data();
    z.avail_out = static_cast<uInt>(buf.size());
    const int rc = inflate(&z, Z_NO_FLUSH);
    out.insert(out.end(), buf.data(), buf.data() + (buf.size() - z.avail_out));
    if (rc == Z_STREAM_END) { verdict = 1; break; }
    if (rc == Z_DATA_ERROR || rc == Z_MEM_ERROR || rc == Z_NEED_DICT) { verdict = -1; break; }
    if (rc == Z_BUF_ERROR || (rc == Z_OK && z.avail_in == 0 && z.avail_out != 0)) break;
    if (out.size() > kMaxOutput) { verdict = -2; break; }
  }
  inflateEnd(&z);
  return verdict;
}

[[noreturn]] void Fail(const char* what, std::size_t a, std::size_t b) {
  std::fprintf(stderr, "inflate differs from zlib: %s (%zu, %zu)\n", what, a, b);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  // The first byte picks the read step; the rest is the deflate stream.
  const std::size_t step = 1 + data[0] * 37u;
  ++data;
  --size;

  std::vector<std::uint8_t> expected;
  const int verdict = ZlibInflate(data, size, expected);
  if (verdict == -2) return 0;  // a bomb: not worth decoding twice

  orbfuzz::MemorySource source(data, size, step);
  orbfuzz::MemorySink sink;
  const orb::arx::DecodeResult r = orb::arx::Inflate(source, sink);
  const auto& got = sink.bytes;

  const std::size_t common = got.size() < expected.size() ? got.size() : expected.size();
  if (common != 0 && std::memcmp(got.data(), expected.data(), common) != 0) {
    std::size_t i = 0;
    while (got[i] == expected[i]) ++i;
    Fail("different bytes at offset", i, common);
  }
  if (verdict == 1) {
    if (!r.Ok()) Fail("engine failed on a complete stream, message / zlib output", r.MessageId,
                      expected.size());
    if (got.size() != expected.size()) Fail("output length", got.size(), expected.size());
  } else if (r.Ok()) {
    Fail(verdict == 0 ? "engine succeeded on a truncated stream" : "engine accepted bad data",
         got.size(), expected.size());
  }
  return 0;
}
