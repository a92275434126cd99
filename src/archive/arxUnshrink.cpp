// Unshrink (zip method 1). See arxUnshrink.h.
//
// States:
//   stFirstCode --first 9-bit code--> stCode
//   stCode --code 256--> stControl --sub-code 1 (wider codes) or 2 (partial clear)--> stCode
//   stCode --other code: expand, add entry--> stCode
//   any state --data ends--> stDone
//
// Every index into the tables is a code already checked to lie in 0..8191, or a prefix
// stored in the table, and prefixes are only ever set to such codes; the stack is checked
// before each push. So corrupt input can end the entry but never reach outside a table.
#include "archive/arxUnshrink.h"

#include "archive/arxLegacyBits.h"

#include <array>
#include <cstdint>
#include <new>

namespace orb::arx {

namespace {

constexpr int kMaxCodes = 8192;        // 13-bit codes
constexpr int kControlCode = 256;
constexpr int kFirstFreeCode = 257;    // 257..8191 are assigned by the decoder
constexpr unsigned kInitialCodeSize = 9;
constexpr unsigned kMaxCodeSize = 13;  // no encoder goes wider; 8191 is the last code
constexpr int kStackSize = 8192;       // longest string: one more than the assignable codes

}  // namespace

struct UnshrinkTables {
  std::array<std::int32_t, kMaxCodes> prefix;  // -1 = not assigned
  std::array<std::uint8_t, kMaxCodes> suffix;
  std::array<std::uint16_t, kMaxCodes> users;  // entries that have this code as prefix
  // freeList[nextFree..8191] are the codes to hand out, lowest position first.
  std::array<std::uint16_t, kMaxCodes> freeList;
  std::array<std::uint16_t, kStackSize> stack;
  std::array<std::uint16_t, kMaxCodes> collected;  // partial clear scratch
  int nextFree = kFirstFreeCode;
  unsigned codeSize = kInitialCodeSize;
  int previous = 0;
  std::uint8_t lastFirst = 0;
};

Unshrinker::Unshrinker(ByteSource& source, ByteSink& sink)
    : input_(source), out_(sink), t_(std::make_unique<UnshrinkTables>()) {
  for (int c = 0; c < kMaxCodes; ++c) {
    t_->prefix[c] = -1;
    t_->suffix[c] = c < 256 ? static_cast<std::uint8_t>(c) : 0;
    t_->users[c] = 0;
    t_->freeList[c] = static_cast<std::uint16_t>(c);
  }
}

Unshrinker::~Unshrinker() = default;

DecodeResult Unshrinker::Run() {
  DecodeResult r = Decode();
  out_.Flush();
  return r;
}

DecodeResult Unshrinker::Decode() {
  LegacyBitReader bits(input_);
  UnshrinkTables& t = *t_;
  State state = State::stFirstCode;
  while (state != State::stDone) {
    switch (state) {
      case State::stFirstCode: {
        int code = bits.ReadBits(kInitialCodeSize);
        if (code < 0) return {bits.Cancelled() ? 0 : E_BADBLOCK};
        // Kept from the old decoder: whatever the first code is, its low byte is the first
        // output byte and the code becomes the previous one.
        t.lastFirst = static_cast<std::uint8_t>(code & 0xFF);
        t.previous = code;
        out_.Put(t.lastFirst);
        state = State::stCode;
        break;
      }
      case State::stCode: {
        int code = bits.ReadBits(t.codeSize);
        if (code < 0) {
          state = State::stDone;
        } else if (code == kControlCode) {
          state = State::stControl;
        } else {
          DecodeResult r = Expand(code);
          if (!r.Ok()) return r;
        }
        break;
      }
      case State::stControl: {
        int sub = bits.ReadBits(t.codeSize);
        if (sub < 0) {
          state = State::stDone;
        } else if (sub == 1) {
          if (t.codeSize >= kMaxCodeSize) return {E_BADBLOCK};
          ++t.codeSize;
          state = State::stCode;
        } else if (sub == 2) {
          PartialClear();
          state = State::stCode;
        } else {
          return {E_BADBLOCK};
        }
        break;
      }
      case State::stDone:
        break;
    }
  }
  return {};
}

// Outputs the string of `code` and defines the next free code as the previous string plus
// this string's first byte.
DecodeResult Unshrinker::Expand(int code) {
  UnshrinkTables& t = *t_;
  if (code >= kMaxCodes) return {E_BADBLOCK};
  int sp = 0;
  int cur = code;
  // A code not yet defined can only be the one about to be defined from the previous
  // string (the LZW "KwKwK" case): the previous string plus its own first byte.
  if (cur >= kFirstFreeCode && t.prefix[cur] < 0) {
    t.stack[sp++] = t.lastFirst;
    cur = t.previous;
  }
  while (cur >= kFirstFreeCode) {
    if (sp >= kStackSize) return {E_STACKOVERFLOW};  // the chain loops
    t.stack[sp++] = t.suffix[cur];
    cur = t.prefix[cur];
  }
  // A chain must end in a literal. It ends at -1 or at the control code only when it runs
  // through a code that was never defined or has been freed while still referenced.
  if (cur < 0 || cur == kControlCode) return {E_BADBLOCK};
  const std::uint8_t first = static_cast<std::uint8_t>(cur);
  out_.Put(first);
  while (sp > 0) out_.Put(static_cast<std::uint8_t>(t.stack[--sp]));

  if (t.nextFree < kMaxCodes) {
    const int c = t.freeList[t.nextFree++];
    t.prefix[c] = t.previous;
    t.suffix[c] = first;
    ++t.users[t.previous];
  }
  t.previous = code;
  t.lastFirst = first;
  return {};
}

// Frees every assigned code that no other code uses as its prefix (the leaves), and puts
// the free codes back in ascending order so the lowest is handed out first.
void Unshrinker::PartialClear() {
  UnshrinkTables& t = *t_;
  int n = 0;
  for (int c = kFirstFreeCode; c < kMaxCodes; ++c) {
    if (t.users[c] == 0) t.collected[n++] = static_cast<std::uint16_t>(c);
  }
  t.nextFree = kMaxCodes;
  for (int i = n - 1; i >= 0; --i) {
    const int c = t.collected[i];
    const int p = t.prefix[c];
    if (p >= 0 && t.users[p] > 0) --t.users[p];  // never-assigned codes have no prefix
    t.prefix[c] = -1;
    t.suffix[c] = 0;
    t.freeList[--t.nextFree] = static_cast<std::uint16_t>(c);
  }
}

DecodeResult Unshrink(ByteSource& source, ByteSink& sink) {
  try {
    Unshrinker u(source, sink);
    return u.Run();
  } catch (const std::bad_alloc&) {
    return {E_MEMERR};
  }
}

}  // namespace orb::arx
