// The trailer's sample position and checksum.
//
// The position formula is evaluated without the floating-point unit: cos and sin of the
// integer angles come from a 256-bit fixed-point Taylor series after an exact reduction by
// 2 pi, and every step the legacy code made in 80-bit extended arithmetic (the two
// function results, their sum, the product with S) is rounded here to a 64-bit significand,
// nearest-even. The x87 instructions the legacy relied on are not available alike on every
// build (64-bit Windows runs x87 in 53-bit precision by default, libm implementations
// differ in the last bits), and this keeps the trailer identical on all of them.
#include "dbf/DBFTrailer.h"

#include <array>
#include <cmath>

#include "_OrbLib/Crc32Table.h"

namespace orb::dbf {
namespace {

// ---- Fixed-point arithmetic ------------------------------------------------------------

// Sign and magnitude; the magnitude is little-endian 32-bit limbs with kFrac limbs of
// fraction (256 bits) below kInt limbs of integer part. 256 fraction bits leave more than
// 190 correct bits after reducing an angle below 2^32 by 2 pi (whose 2^-256 error is
// multiplied by at most 2^30), far more than the 64-bit rounding needs.
constexpr int kFrac = 8;
constexpr int kInt = 2;
constexpr int kLimbs = kFrac + kInt;
constexpr int kFracBits = 32 * kFrac;

struct Fixed {
  std::array<std::uint32_t, kLimbs> m{};
  bool neg = false;
};

bool IsZero(const Fixed& a) {
  for (std::uint32_t w : a.m)
    if (w != 0) return false;
  return true;
}

int CompareMagnitude(const Fixed& a, const Fixed& b) {
  for (int i = kLimbs - 1; i >= 0; --i) {
    if (a.m[i] != b.m[i]) return a.m[i] < b.m[i] ? -1 : 1;
  }
  return 0;
}

Fixed AddMagnitude(const Fixed& a, const Fixed& b) {
  Fixed r;
  std::uint64_t carry = 0;
  for (int i = 0; i < kLimbs; ++i) {
    std::uint64_t t = std::uint64_t{a.m[i]} + b.m[i] + carry;
    r.m[i] = static_cast<std::uint32_t>(t);
    carry = t >> 32;
  }
  return r;
}

// |a| - |b| for |a| >= |b|.
Fixed SubMagnitude(const Fixed& a, const Fixed& b) {
  Fixed r;
  std::int64_t borrow = 0;
  for (int i = 0; i < kLimbs; ++i) {
    std::int64_t t = std::int64_t{a.m[i]} - b.m[i] - borrow;
    borrow = t < 0 ? 1 : 0;
    r.m[i] = static_cast<std::uint32_t>(t + (borrow << 32));
  }
  return r;
}

Fixed Add(const Fixed& a, const Fixed& b) {
  Fixed r;
  if (a.neg == b.neg) {
    r = AddMagnitude(a, b);
    r.neg = a.neg;
  } else if (CompareMagnitude(a, b) >= 0) {
    r = SubMagnitude(a, b);
    r.neg = a.neg;
  } else {
    r = SubMagnitude(b, a);
    r.neg = b.neg;
  }
  if (IsZero(r)) r.neg = false;
  return r;
}

Fixed Negate(Fixed a) {
  if (!IsZero(a)) a.neg = !a.neg;
  return a;
}

Fixed Sub(const Fixed& a, const Fixed& b) { return Add(a, Negate(b)); }

Fixed FromInteger(std::uint64_t v) {
  Fixed r;
  r.m[kFrac] = static_cast<std::uint32_t>(v);
  r.m[kFrac + 1] = static_cast<std::uint32_t>(v >> 32);
  return r;
}

Fixed MulSmall(const Fixed& a, std::uint32_t k) {
  Fixed r;
  std::uint64_t carry = 0;
  for (int i = 0; i < kLimbs; ++i) {
    std::uint64_t t = std::uint64_t{a.m[i]} * k + carry;
    r.m[i] = static_cast<std::uint32_t>(t);
    carry = t >> 32;
  }
  r.neg = a.neg && !IsZero(r);
  return r;
}

// Truncating division by a small positive integer.
Fixed DivSmall(const Fixed& a, std::uint32_t d) {
  Fixed r;
  std::uint64_t rem = 0;
  for (int i = kLimbs - 1; i >= 0; --i) {
    std::uint64_t cur = (rem << 32) | a.m[i];
    r.m[i] = static_cast<std::uint32_t>(cur / d);
    rem = cur % d;
  }
  r.neg = a.neg && !IsZero(r);
  return r;
}

// Truncating product; the operands stay far below the integer range here.
Fixed Mul(const Fixed& a, const Fixed& b) {
  std::array<std::uint32_t, 2 * kLimbs> p{};
  for (int i = 0; i < kLimbs; ++i) {
    std::uint64_t carry = 0;
    for (int j = 0; j < kLimbs; ++j) {
      std::uint64_t t = std::uint64_t{a.m[i]} * b.m[j] + p[i + j] + carry;
      p[i + j] = static_cast<std::uint32_t>(t);
      carry = t >> 32;
    }
    for (int k = i + kLimbs; carry != 0 && k < 2 * kLimbs; ++k) {
      std::uint64_t t = std::uint64_t{p[k]} + carry;
      p[k] = static_cast<std::uint32_t>(t);
      carry = t >> 32;
    }
  }
  Fixed r;
  for (int i = 0; i < kLimbs; ++i) r.m[i] = p[i + kFrac];
  r.neg = (a.neg != b.neg) && !IsZero(r);
  return r;
}

bool Bit(const Fixed& a, int i) {
  return i >= 0 && i < 32 * kLimbs && ((a.m[i / 32] >> (i % 32)) & 1u) != 0;
}

bool AnyBitBelow(const Fixed& a, int i) {
  for (int k = 0; k < i && k < 32 * kLimbs; ++k)
    if (Bit(a, k)) return true;
  return false;
}

int TopBit(const Fixed& a) {
  for (int i = kLimbs - 1; i >= 0; --i) {
    if (a.m[i] != 0) {
      int b = 31;
      while (((a.m[i] >> b) & 1u) == 0) --b;
      return 32 * i + b;
    }
  }
  return -1;
}

void ClearBitsBelow(Fixed& a, int i) {
  for (int k = 0; k < kLimbs; ++k) {
    int lo = 32 * k;
    if (lo + 32 <= i) {
      a.m[k] = 0;
    } else if (lo < i) {
      a.m[k] &= ~((1u << (i - lo)) - 1u);
    }
  }
}

void AddBit(Fixed& a, int i) {
  Fixed one;
  one.m[i / 32] = 1u << (i % 32);
  bool neg = a.neg;
  a = AddMagnitude(a, one);
  a.neg = neg;
}

// Rounds to a 64-bit significand, nearest-even: the precision of an x87 extended value.
Fixed RoundExtended(Fixed a) {
  int top = TopBit(a);
  if (top < 64) return a;
  int cut = top - 63;
  bool half = Bit(a, cut - 1);
  bool sticky = AnyBitBelow(a, cut - 1);
  bool odd = Bit(a, cut);
  ClearBitsBelow(a, cut);
  if (half && (sticky || odd)) AddBit(a, cut);
  return a;
}

// round_half_even(a / 2^shift) as an integer (|result| < 2^63 here).
std::int64_t RoundToInteger(const Fixed& a, int shift) {
  int point = kFracBits + shift;
  std::uint64_t whole = 0;
  for (int i = 63; i >= 0; --i) whole = (whole << 1) | (Bit(a, point + i) ? 1u : 0u);
  bool half = Bit(a, point - 1);
  bool sticky = AnyBitBelow(a, point - 1);
  if (half && (sticky || (whole & 1u) != 0)) ++whole;
  std::int64_t v = static_cast<std::int64_t>(whole);
  return a.neg ? -v : v;
}

// pi to 288 fraction bits: 3 and the first nine 32-bit words of its hexadecimal fraction
// (243F6A88 85A308D3 ...). The words were checked against Machin's formula
// (pi = 16 atan(1/5) - 4 atan(1/239)) evaluated in exact integer arithmetic.
constexpr std::array<std::uint32_t, 9> kPiFraction = {
    0x243F6A88u, 0x85A308D3u, 0x13198A2Eu, 0x03707344u, 0xA4093822u,
    0x299F31D0u, 0x082EFA98u, 0xEC4E6C89u, 0x452821E6u};

Fixed Pi() {
  Fixed r;
  r.m[kFrac] = 3;
  for (int i = 0; i < kFrac; ++i) r.m[kFrac - 1 - i] = kPiFraction[i];
  return r;
}

// 2 pi, truncated at the same bit (the dropped bit is the top bit of word nine, zero).
Fixed TwoPi() {
  Fixed p = Pi();
  Fixed r = AddMagnitude(p, p);
  if (kPiFraction[kFrac] & 0x80000000u) r.m[0] |= 1u;
  return r;
}

// n - k 2 pi in [-pi, pi].
Fixed Reduce(std::uint32_t n) {
  const Fixed two_pi = TwoPi();
  const Fixed pi = Pi();
  // The quotient estimate may be off by one near a multiple of 2 pi; the loops below fix
  // that exactly.
  auto k = static_cast<std::uint32_t>(std::floor(static_cast<double>(n) / 6.283185307179586));
  Fixed r = Sub(FromInteger(n), MulSmall(two_pi, k));
  while (!r.neg && CompareMagnitude(r, pi) > 0) r = Sub(r, two_pi);
  while (r.neg && CompareMagnitude(r, pi) > 0) r = Add(r, two_pi);
  return r;
}

// Taylor series of cos (odd = false) or sin (odd = true) for |x| <= pi. The terms shrink
// below 2^-256 after about 60 steps.
Fixed Series(const Fixed& x, bool odd) {
  Fixed x2 = Mul(x, x);
  Fixed term = odd ? x : FromInteger(1);
  term.neg = false;
  Fixed sum = term;
  std::uint32_t k = odd ? 1 : 0;
  for (bool subtract = true;; subtract = !subtract) {
    term = DivSmall(Mul(term, x2), (k + 1) * (k + 2));
    k += 2;
    if (IsZero(term)) break;
    sum = subtract ? Sub(sum, term) : Add(sum, term);
  }
  if (odd && x.neg) sum = Negate(sum);
  return sum;
}

Fixed CosExtended(std::uint32_t n) { return RoundExtended(Series(Reduce(n), false)); }
Fixed SinExtended(std::uint32_t n) { return RoundExtended(Series(Reduce(n), true)); }

ExtendedValue ToDoubleDouble(const Fixed& a) {
  int top = TopBit(a);
  if (top < 0) return {};
  // The value has at most 64 significant bits: take them as an integer M times 2^e.
  int low = top - 63;
  std::uint64_t m = 0;
  for (int i = top; i >= low; --i) m = (m << 1) | (Bit(a, i) ? 1u : 0u);
  int e = low - kFracBits;
  ExtendedValue v;
  v.hi = std::ldexp(static_cast<double>(m & ~std::uint64_t{0x7FF}), e);
  v.lo = std::ldexp(static_cast<double>(m & std::uint64_t{0x7FF}), e);
  if (a.neg) {
    v.hi = -v.hi;
    v.lo = -v.lo;
  }
  return v;
}

}  // namespace

std::int32_t SampleBase(std::uint32_t record_count, std::uint32_t record_size,
                        std::uint32_t s) {
  // Each intermediate has at most 64 significant bits at or above 2^-256, so the sum and
  // the product below are exact before their rounding.
  Fixed sum = RoundExtended(Add(CosExtended(record_count), SinExtended(record_size)));
  Fixed product = RoundExtended(MulSmall(sum, s));
  // Halving is exact in extended precision; it is folded into the final rounding.
  return static_cast<std::int32_t>(RoundToInteger(product, 1));
}

std::int32_t SamplePosition(std::uint32_t record_count, std::uint32_t record_size,
                            std::uint32_t s) {
  std::int32_t p = SampleBase(record_count, record_size, s);
  const std::int32_t limit = static_cast<std::int32_t>(s) - static_cast<std::int32_t>(kSampleSize);
  if (p > limit) {
    p = limit;
    if (p < 0) p = 0;
  }
  return p;
}

std::uint32_t Crc32TableEntry(std::uint8_t index) { return kCrc32Table[index]; }

std::uint32_t SampleChecksum(std::uint32_t start, const std::uint8_t* data, std::size_t n) {
  std::uint32_t v = start;
  for (std::size_t i = 0; i < n; ++i) v = Crc32Byte(v, data[i]);
  return v;
}

ExtendedValue ExtendedCos(std::uint32_t n) { return ToDoubleDouble(CosExtended(n)); }
ExtendedValue ExtendedSin(std::uint32_t n) { return ToDoubleDouble(SinExtended(n)); }

}  // namespace orb::dbf
