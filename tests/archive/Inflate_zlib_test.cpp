// Differential test: every raw deflate stream the system's zlib writes (all levels, every
// strategy, small and large memory levels, with and without sync flushes) decodes to zlib's
// input byte for byte, in exact 32 KiB pieces. Built only where zlib is found.
#include "archive/arxInflate.h"

#include "archive/DecoderFakes.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <ostream>
#include <random>
#include <stdexcept>
#include <tuple>

namespace orb::arx {
namespace {

using test::Bytes;

Bytes Deflate(const Bytes& in, int level, int strategy, int memLevel, std::size_t flushEvery) {
  z_stream z{};
  if (deflateInit2(&z, level, Z_DEFLATED, -15, memLevel, strategy) != Z_OK)
    throw std::runtime_error("deflateInit2");
  Bytes out(deflateBound(&z, in.size()) + 64 + (in.size() / std::max<std::size_t>(flushEvery, 1) + 1) * 16);
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  std::size_t at = 0;
  do {
    std::size_t n = std::min(flushEvery, in.size() - at);
    z.next_in = const_cast<Bytef*>(in.data() + at);
    z.avail_in = static_cast<uInt>(n);
    at += n;
    int rc = deflate(&z, at == in.size() ? Z_FINISH : Z_SYNC_FLUSH);
    if (rc == Z_STREAM_ERROR || z.avail_in != 0) throw std::runtime_error("deflate");
  } while (at < in.size());
  if (in.empty() && deflate(&z, Z_FINISH) != Z_STREAM_END) throw std::runtime_error("finish");
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

struct DataSet {
  std::string name;
  Bytes bytes;
};

std::vector<DataSet> DataSets() {
  std::mt19937 rng(1234);
  std::vector<DataSet> sets;
  auto random = [&](std::size_t n) {
    Bytes b(n);
    for (auto& x : b) x = static_cast<std::uint8_t>(rng());
    return b;
  };
  for (std::size_t n : {0u, 1u, 258u, 32767u, 32768u, 32769u, 65536u, 65537u})
    sets.push_back({"random " + std::to_string(n), random(n)});
  {
    // Words from a small vocabulary: text-like, literals and matches of every distance.
    static const char* words[] = {"the ", "zip ", "archive ", "entry ", "deflate ", "window ",
                                  "of ", "a ", "CRC ", "block\n", "Huffman ", "table, "};
    Bytes b;
    while (b.size() < 200000) {
      const char* w = words[rng() % 12];
      b.insert(b.end(), w, w + std::strlen(w));
    }
    sets.push_back({"text", b});
  }
  {
    // Few symbols and long runs: long matches, distance 1, matches over the window end.
    Bytes b;
    while (b.size() < 150000) b.insert(b.end(), 1 + rng() % 300, static_cast<std::uint8_t>("ab\n"[rng() % 3]));
    sets.push_back({"runs", b});
  }
  {
    // Real text: this engine's own sources.
    Bytes b;
    for (const char* f : {"/src/archive/arxInflate.cpp", "/tests/archive/Inflate_test.cpp",
                          "/src/archive/Crc32.cpp"}) {
      std::ifstream in(std::string(ORB_SOURCE_DIR) + f, std::ios::binary);
      b.insert(b.end(), std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    EXPECT_GT(b.size(), 20000u);
    sets.push_back({"sources", b});
  }
  {
    // A random block repeated at the largest distance a match can reach.
    Bytes block = random(32768);
    Bytes b = block;
    b.insert(b.end(), block.begin(), block.end());
    b.insert(b.end(), block.begin(), block.begin() + 1000);
    sets.push_back({"repeat at 32768", b});
  }
  return sets;
}

struct Strategy {
  const char* name;
  int value;
};

void PrintTo(const Strategy& s, std::ostream* os) { *os << s.name; }

// Each strategy with each build of the fast loop (the processor's fastest, and the portable
// one that other processors run).
class InflateZlibTest : public ::testing::TestWithParam<std::tuple<Strategy, InflateLoop>> {
 protected:
  void SetUp() override { SetInflateLoop(std::get<1>(GetParam())); }
  void TearDown() override { SetInflateLoop(InflateLoop::kFastest); }
};

TEST_P(InflateZlibTest, DecodesEveryStreamZlibWrites) {
  static const std::vector<DataSet> sets = DataSets();
  const Strategy& strategy = std::get<0>(GetParam());
  for (const DataSet& set : sets) {
    for (int level = 0; level <= 9; ++level) {
      for (auto [memLevel, flushEvery] : {std::pair{8, SIZE_MAX}, std::pair{1, std::size_t{5000}}}) {
        SCOPED_TRACE(set.name + ", level " + std::to_string(level) + ", " + strategy.name +
                     ", memLevel " + std::to_string(memLevel) +
                     (flushEvery == SIZE_MAX ? "" : ", sync flushes"));
        Bytes stream = Deflate(set.bytes, level, strategy.value, memLevel, flushEvery);
        // Byte-by-byte reads for some of the smaller inputs, to reach the careful loop
        // everywhere.
        std::size_t chunk = set.bytes.size() <= 70000 && level % 3 == 0 ? 1 : SIZE_MAX;
        test::VectorSource source(stream, chunk);
        test::RecordingSink sink;
        DecodeResult result = Inflate(source, sink);
        ASSERT_EQ(result.MessageId, 0);
        ASSERT_TRUE(sink.bytes == set.bytes);
        ASSERT_TRUE(sink.PiecedByWindow());
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Strategies, InflateZlibTest,
    ::testing::Combine(::testing::Values(Strategy{"default", Z_DEFAULT_STRATEGY},
                                         Strategy{"filtered", Z_FILTERED},
                                         Strategy{"huffman_only", Z_HUFFMAN_ONLY},
                                         Strategy{"rle", Z_RLE}, Strategy{"fixed", Z_FIXED}),
                       ::testing::Values(InflateLoop::kFastest, InflateLoop::kPortable)),
    [](const auto& info) {
      return std::string(std::get<0>(info.param).name) +
             (std::get<1>(info.param) == InflateLoop::kPortable ? "_portable" : "_fastest");
    });

}  // namespace
}  // namespace orb::arx
