// The engine's streaming inflate with the CRC-32 of each 32 KiB piece, against zlib (streaming,
// 32 KiB pieces, its crc32) and libdeflate (one shot, its crc32); and the CRC-32 variants.
//
//   bench/make_corpus.sh /tmp/corpus && ORB_BENCH_CORPUS=/tmp/corpus ./inflate_bench
//
// `inflate_bench --once [text.bin|elf.bin]` decodes each (or the named) sample once with the engine and once with libdeflate and
// prints the sizes and CRCs: a fixed amount of work for instruction counts, e.g.
//   valgrind --tool=callgrind --toggle-collect='*EngineOnce*' ./inflate_bench --once
//
// Each corpus file is deflated once with zlib at level 6 before the measurements; throughput
// is counted in uncompressed bytes.
#include "archive/Crc32.h"
#include "archive/arxInflate.h"

#include <benchmark/benchmark.h>
#include <libdeflate.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
using namespace orb::arx;

struct Sample {
  std::string name;
  Bytes raw;
  Bytes packed;
};

Bytes ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

Bytes RawDeflate(const Bytes& in) {
  z_stream z{};
  deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  Bytes out(deflateBound(&z, in.size()));
  z.next_in = const_cast<Bytef*>(in.data());
  z.avail_in = static_cast<uInt>(in.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  if (deflate(&z, Z_FINISH) != Z_STREAM_END) throw std::runtime_error("deflate");
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

// The engine's input side: the entry's bytes handed out in 32 KiB reads.
class MemorySource : public ByteSource {
 public:
  explicit MemorySource(const Bytes& b) : b_(b) {}
  std::size_t Read(std::uint8_t* buf, std::size_t max) override {
    std::size_t n = std::min({max, kWindowSize, b_.size() - pos_});
    std::copy_n(b_.data() + pos_, n, buf);
    pos_ += n;
    return n;
  }

 private:
  const Bytes& b_;
  std::size_t pos_ = 0;
};

// The engine's output side without the file: the running CRC-32 of each piece.
class CrcSink : public ByteSink {
 public:
  void Write(const std::uint8_t* data, std::size_t n) override { crc = Crc32Update(crc, data, n); }
  std::uint32_t crc = kCrc32Init;
};

void Engine(benchmark::State& state, const Sample* s) {
  for (auto _ : state) {
    MemorySource source(s->packed);
    CrcSink sink;
    if (!Inflate(source, sink).Ok()) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(sink.crc);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * s->raw.size()));
}

void Zlib(benchmark::State& state, const Sample* s) {
  Bytes window(kWindowSize);
  for (auto _ : state) {
    z_stream z{};
    inflateInit2(&z, -15);
    uLong crc = crc32(0, nullptr, 0);
    std::size_t at = 0;
    int rc = Z_OK;
    while (rc != Z_STREAM_END) {
      if (z.avail_in == 0) {
        std::size_t n = std::min(kWindowSize, s->packed.size() - at);
        z.next_in = const_cast<Bytef*>(s->packed.data() + at);
        z.avail_in = static_cast<uInt>(n);
        at += n;
      }
      z.next_out = window.data();
      z.avail_out = static_cast<uInt>(window.size());
      rc = inflate(&z, Z_NO_FLUSH);
      if (rc != Z_OK && rc != Z_STREAM_END) {
        state.SkipWithError("zlib failed");
        break;
      }
      crc = crc32(crc, window.data(), static_cast<uInt>(window.size() - z.avail_out));
    }
    inflateEnd(&z);
    benchmark::DoNotOptimize(crc);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * s->raw.size()));
}

void Libdeflate(benchmark::State& state, const Sample* s) {
  libdeflate_decompressor* d = libdeflate_alloc_decompressor();
  Bytes out(s->raw.size());
  for (auto _ : state) {
    std::size_t got = 0;
    if (libdeflate_deflate_decompress(d, s->packed.data(), s->packed.size(), out.data(), out.size(),
                                      &got) != LIBDEFLATE_SUCCESS)
      state.SkipWithError("libdeflate failed");
    benchmark::DoNotOptimize(libdeflate_crc32(0, out.data(), got));
  }
  libdeflate_free_decompressor(d);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * s->raw.size()));
}

// One decode of a sample each, outside Google Benchmark's loops (repeatable instruction counts).
__attribute__((noinline)) std::uint32_t EngineOnce(const Sample& s) {
  MemorySource source(s.packed);
  CrcSink sink;
  if (!Inflate(source, sink).Ok()) return 0;
  return Crc32Final(sink.crc);
}

__attribute__((noinline)) std::uint32_t LibdeflateOnce(const Sample& s, Bytes& out) {
  libdeflate_decompressor* d = libdeflate_alloc_decompressor();
  std::size_t got = 0;
  std::uint32_t crc = 0;
  if (libdeflate_deflate_decompress(d, s.packed.data(), s.packed.size(), out.data(), out.size(),
                                    &got) == LIBDEFLATE_SUCCESS)
    crc = libdeflate_crc32(0, out.data(), got);
  libdeflate_free_decompressor(d);
  return crc;
}

template <typename F>
void Crc(benchmark::State& state, const Sample* s, F f) {
  for (auto _ : state) benchmark::DoNotOptimize(f(s->raw));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * s->raw.size()));
}

std::vector<Sample>& Samples() {
  static std::vector<Sample> samples;
  return samples;
}

}  // namespace

int main(int argc, char** argv) {
  const char* dir = std::getenv("ORB_BENCH_CORPUS");
  if (!dir) {
    std::fprintf(stderr, "set ORB_BENCH_CORPUS to a folder made by bench/make_corpus.sh\n");
    return 2;
  }
  for (const char* name : {"text.bin", "elf.bin"}) {
    Sample s{name, ReadFile(std::string(dir) + "/" + name), {}};
    if (s.raw.empty()) continue;
    s.packed = RawDeflate(s.raw);
    Samples().push_back(std::move(s));
  }
  // ORB_BENCH_PORTABLE=1: the engine's portable fast loop instead of the processor's fastest.
  if (const char* p = std::getenv("ORB_BENCH_PORTABLE"); p && *p == '1') SetInflateLoop(InflateLoop::kPortable);
  if (argc > 1 && std::string(argv[1]) == "--once") {
    int bad = 0;
    for (const Sample& s : Samples()) {
      if (argc > 2 && s.name != argv[2]) continue;
      Bytes out(s.raw.size());
      std::uint32_t expected = Crc32(s.raw.data(), s.raw.size());
      std::uint32_t engine = EngineOnce(s);
      std::uint32_t ld = LibdeflateOnce(s, out);
      std::printf("%s: %zu bytes, packed %zu, crc %08x, engine %08x, libdeflate %08x\n",
                  s.name.c_str(), s.raw.size(), s.packed.size(), expected, engine, ld);
      bad += engine != expected || ld != expected;
    }
    return bad ? 1 : 0;
  }
  for (const Sample& s : Samples()) {
    const Sample* p = &s;
    benchmark::RegisterBenchmark(("inflate+crc/engine/" + s.name).c_str(), Engine, p);
    benchmark::RegisterBenchmark(("inflate+crc/zlib/" + s.name).c_str(), Zlib, p);
    benchmark::RegisterBenchmark(("inflate+crc/libdeflate/" + s.name).c_str(), Libdeflate, p);
    benchmark::RegisterBenchmark(("crc32/bytewise/" + s.name).c_str(), Crc<std::uint32_t (*)(const Bytes&)>, p,
                                 [](const Bytes& b) { return Crc32UpdateBytewise(kCrc32Init, b.data(), b.size()); });
    benchmark::RegisterBenchmark(("crc32/slicing8/" + s.name).c_str(), Crc<std::uint32_t (*)(const Bytes&)>, p,
                                 [](const Bytes& b) { return Crc32UpdateSlicing8(kCrc32Init, b.data(), b.size()); });
    benchmark::RegisterBenchmark(("crc32/slicing16/" + s.name).c_str(), Crc<std::uint32_t (*)(const Bytes&)>, p,
                                 [](const Bytes& b) { return Crc32UpdateSlicing16(kCrc32Init, b.data(), b.size()); });
    benchmark::RegisterBenchmark(("crc32/clmul/" + s.name).c_str(), Crc<std::uint32_t (*)(const Bytes&)>, p,
                                 [](const Bytes& b) { return Crc32UpdateClmul(kCrc32Init, b.data(), b.size()); });
    benchmark::RegisterBenchmark(("crc32/zlib/" + s.name).c_str(), Crc<std::uint32_t (*)(const Bytes&)>, p,
                                 [](const Bytes& b) { return static_cast<std::uint32_t>(crc32(0, b.data(), static_cast<uInt>(b.size()))); });
    benchmark::RegisterBenchmark(("crc32/libdeflate/" + s.name).c_str(), Crc<std::uint32_t (*)(const Bytes&)>, p,
                                 [](const Bytes& b) { return libdeflate_crc32(0, b.data(), b.size()); });
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
