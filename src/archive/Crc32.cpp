// CRC-32 update over a buffer: byte-wise, slicing-by-8, and carry-less multiplication.
#include "archive/Crc32.h"

#include <cstring>

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define ORB_CRC32_CLMUL 1
#include <immintrin.h>
#endif

namespace orb::arx {

namespace {

// Slicing-by-N: kSlice[k][i] is the register after the byte i followed by k zero bytes, so
// N input bytes fold into the register with N independent look-ups. Sixteen tables (16 KiB of
// constant data) serve slicing-by-16; slicing-by-8 uses the first eight.
constexpr auto kSlice = [] {
  std::array<std::array<std::uint32_t, 256>, 16> t{};
  t[0] = kCrc32Table;
  for (std::size_t k = 1; k < 16; ++k)
    for (std::size_t i = 0; i < 256; ++i) t[k][i] = (t[k - 1][i] >> 8) ^ kCrc32Table[t[k - 1][i] & 0xFF];
  return t;
}();

std::uint32_t LoadLE32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

#ifdef ORB_CRC32_CLMUL

// Folding constants: x^n mod P for the generator P = 0x104C11DB7, bit-reflected to match the
// reflected register and shifted left by one (a reflected product comes out one bit short).
// Folding a 128-bit lane forward by d bits multiplies its low half by the constant for
// n = d + 32 and its high half by the one for n = d - 32.
constexpr std::uint64_t FoldConstant(unsigned n) {
  std::uint64_t r = 1;  // x^0, most significant bit first
  for (unsigned i = 0; i < n; ++i) {
    r <<= 1;
    if (r & (std::uint64_t{1} << 32)) r ^= 0x104C11DB7u;
  }
  std::uint64_t reflected = 0;
  for (unsigned i = 0; i < 32; ++i)
    if (r & (std::uint64_t{1} << i)) reflected |= std::uint64_t{1} << (31 - i);
  return reflected << 1;
}
constexpr std::uint64_t kFold4Lo = FoldConstant(4 * 128 + 32);
constexpr std::uint64_t kFold4Hi = FoldConstant(4 * 128 - 32);
constexpr std::uint64_t kFold1Lo = FoldConstant(128 + 32);
constexpr std::uint64_t kFold1Hi = FoldConstant(128 - 32);
static_assert(kFold1Lo == 0x1751997D0u && kFold1Hi == 0x0CCAA009Eu);

__attribute__((target("pclmul,sse2"))) inline __m128i load(const std::uint8_t* q) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
}

__attribute__((target("pclmul,sse2"))) inline __m128i Fold(__m128i x, __m128i k, __m128i next) {
  return _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_clmulepi64_si128(x, k, 0x11)), next);
}

// Folds 64-byte blocks into four 128-bit lanes, the lanes into one, and finishes the last
// 16 bytes and the tail with the tables. The register's value enters as the first four
// message bytes XOR-ed with it: a CRC register start c is the same as c added to the
// message's first 32 bits with a zero start.
__attribute__((target("pclmul,sse2"))) std::uint32_t ClmulUpdate(std::uint32_t crc,
                                                                 const std::uint8_t* p,
                                                                 std::size_t n) {
  if (n < 64) return Crc32UpdateSlicing16(crc, p, n);
  __m128i x0 = _mm_xor_si128(load(p), _mm_cvtsi32_si128(static_cast<int>(crc)));
  __m128i x1 = load(p + 16), x2 = load(p + 32), x3 = load(p + 48);
  p += 64;
  n -= 64;
  const __m128i k4 = _mm_set_epi64x(static_cast<long long>(kFold4Hi), static_cast<long long>(kFold4Lo));
  while (n >= 64) {
    x0 = Fold(x0, k4, load(p));
    x1 = Fold(x1, k4, load(p + 16));
    x2 = Fold(x2, k4, load(p + 32));
    x3 = Fold(x3, k4, load(p + 48));
    p += 64;
    n -= 64;
  }
  const __m128i k1 = _mm_set_epi64x(static_cast<long long>(kFold1Hi), static_cast<long long>(kFold1Lo));
  __m128i x = Fold(Fold(Fold(x0, k1, x1), k1, x2), k1, x3);
  while (n >= 16) {
    x = Fold(x, k1, load(p));
    p += 16;
    n -= 16;
  }
  alignas(16) std::uint8_t last[16];
  _mm_store_si128(reinterpret_cast<__m128i*>(last), x);
  return Crc32UpdateSlicing16(Crc32UpdateSlicing16(0, last, 16), p, n);
}

#endif

using UpdateFn = std::uint32_t (*)(std::uint32_t, const std::uint8_t*, std::size_t);

UpdateFn Fastest() { return Crc32HasClmul() ? Crc32UpdateClmul : Crc32UpdateSlicing16; }

}  // namespace

std::uint32_t Crc32UpdateBytewise(std::uint32_t crc, const std::uint8_t* data, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) crc = Crc32Byte(crc, data[i]);
  return crc;
}

std::uint32_t Crc32UpdateSlicing8(std::uint32_t crc, const std::uint8_t* data, std::size_t n) {
  while (n >= 8) {
    std::uint32_t a = LoadLE32(data) ^ crc;
    std::uint32_t b = LoadLE32(data + 4);
    crc = kSlice[7][a & 0xFF] ^ kSlice[6][(a >> 8) & 0xFF] ^ kSlice[5][(a >> 16) & 0xFF] ^
          kSlice[4][a >> 24] ^ kSlice[3][b & 0xFF] ^ kSlice[2][(b >> 8) & 0xFF] ^
          kSlice[1][(b >> 16) & 0xFF] ^ kSlice[0][b >> 24];
    data += 8;
    n -= 8;
  }
  return Crc32UpdateBytewise(crc, data, n);
}

// Sixteen bytes per step: the four 32-bit words' bytes are independent look-ups, so the
// loads overlap and the loop carries only the register from one step to the next. The
// register enters through the first word only (it is four bytes wide).
std::uint32_t Crc32UpdateSlicing16(std::uint32_t crc, const std::uint8_t* data, std::size_t n) {
  while (n >= 16) {
    std::uint32_t a = LoadLE32(data) ^ crc;
    std::uint32_t b = LoadLE32(data + 4);
    std::uint32_t c = LoadLE32(data + 8);
    std::uint32_t d = LoadLE32(data + 12);
    crc = kSlice[15][a & 0xFF] ^ kSlice[14][(a >> 8) & 0xFF] ^ kSlice[13][(a >> 16) & 0xFF] ^
          kSlice[12][a >> 24] ^ kSlice[11][b & 0xFF] ^ kSlice[10][(b >> 8) & 0xFF] ^
          kSlice[9][(b >> 16) & 0xFF] ^ kSlice[8][b >> 24] ^ kSlice[7][c & 0xFF] ^
          kSlice[6][(c >> 8) & 0xFF] ^ kSlice[5][(c >> 16) & 0xFF] ^ kSlice[4][c >> 24] ^
          kSlice[3][d & 0xFF] ^ kSlice[2][(d >> 8) & 0xFF] ^ kSlice[1][(d >> 16) & 0xFF] ^
          kSlice[0][d >> 24];
    data += 16;
    n -= 16;
  }
  return Crc32UpdateSlicing8(crc, data, n);
}

bool Crc32HasClmul() {
#ifdef ORB_CRC32_CLMUL
  static const bool has = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse2");
  return has;
#else
  return false;
#endif
}

std::uint32_t Crc32UpdateClmul(std::uint32_t crc, const std::uint8_t* data, std::size_t n) {
#ifdef ORB_CRC32_CLMUL
  if (Crc32HasClmul()) return ClmulUpdate(crc, data, n);
#endif
  return Crc32UpdateSlicing16(crc, data, n);
}

std::uint32_t Crc32Update(std::uint32_t crc, const std::uint8_t* data, std::size_t n) {
  static const UpdateFn fastest = Fastest();
  return fastest(crc, data, n);
}

}  // namespace orb::arx
