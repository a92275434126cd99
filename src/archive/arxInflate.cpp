// Inflate (Deflate decoder) over a ByteSource and a ByteSink.
//
// Block loop, drawn as the states of Inflater::Run:
//
//   kBlockHeader --type 0--> kStored ----------------------------+
//        |       --type 1--> (fixed tables) --> kCodes ----------+--> kBlockHeader
//        |       --type 2--> kDynamicHeader --> kCodes ----------+    (or kDone after the
//        |       --type 3--> kFailed ("Bad block")                     last block)
//        +-- input ended (Cancel) --> kDone
//
// Every failure goes to kFailed with its message id; kDone and kFailed both write what is in
// the window (the stored-block header check empties the unwritten window before failing).
//
// Window. One buffer holds the history and the unwritten output:
//
//   buf: [ written pieces, the last 32 KiB of them the history ][ unwritten, < 32 KiB +
//        0                                                     f   one symbol ][ slack ]
//                                                                              w
//
// f (the write mark) advances by kWindowSize at each piece: once w - f reaches kWindowSize
// exactly kWindowSize bytes are written from f. When f reaches kSlideAt the buffer slides
// down so that the 32 KiB before f (the history) and the unwritten bytes start at 0 again;
// the 32 KiB before w always stay in place. A match therefore never wraps: its source is
// buf[w - distance], valid whenever distance <= w. The slide copies 32 KiB plus the unwritten
// excess once every kSlideAt / kWindowSize - 1 pieces instead of at every piece; nobody sees
// where in the buffer a piece lies, only its bytes and size, which do not change.
// A symbol may carry w up to 257 bytes past f + kWindowSize before the piece is written; the
// piece is still exactly kWindowSize bytes and the excess stays for the next one.
#include "archive/arxInflate.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cstring>
#include <new>

// Where the compiler can target x86 instruction sets per function, the fast loop is also built
// for BMI2 (shifts by a register count and "zero the bits above n" in one instruction each),
// chosen at run time when the processor has it; the same source, the same results.
// (64-bit x86 only: the bit buffer is one register there.)
#if defined(__GNUC__) && defined(__x86_64__)
#define ORB_INFLATE_BMI2 1
#include <immintrin.h>
#endif

namespace orb::arx {

namespace {

constexpr std::size_t kHist = kWindowSize;
// Room past the unwritten output: one maximal match (258) that started just below
// f + kWindowSize, plus the overshoot of block-at-a-time copies (up to 31 bytes).
// f reaches kSlideAt before a slide (at least two pieces: the history plus one).
constexpr std::size_t kSlideAt = 8 * kHist;
constexpr std::size_t kBufSize = kSlideAt + kHist + 512;
// Unread input the fast loop needs at the top of a turn: a turn's two refills advance at most
// 14 bytes and each loads 8, so no refill reads past the data and no symbol needs bytes that
// are not there.
constexpr std::size_t kFastInput = 32;

// ---- Decoding table entries -------------------------------------------------------------
//
// One 32-bit word per table slot, laid out so that the fast loop's common tests are single
// instructions and a length or distance with its extra bits is consumed by one shift:
//   bits  0..5   bits to consume: code length plus extra bits (at most 15 + 13 = 28);
//                0 in a link
//   bits  8..11  code length (the shift that brings the extra bits down), or a link's
//                sub-table index width
//   bit   13     end of block (with bit 15)
//   bit   14     link to a sub-table (with bit 15)
//   bit   15     exceptional: end of block, link, or alone an invalid code
//   bits 16..30  literal byte, base length or distance, code-length symbol, sub-table offset
//   bit   31     literal (literal/length table only), so that "literal?" is a sign test
// A length or distance is then base + ((bits & mask(total)) >> code length), read from the
// bit buffer as it was before the entry's bits were consumed.
constexpr std::uint32_t kLiteralFlag = 1u << 31;
constexpr std::uint32_t kExceptional = 1u << 15;
constexpr std::uint32_t kLinkFlag = 1u << 14;
constexpr std::uint32_t kEndOfBlockFlag = 1u << 13;

constexpr std::uint32_t MakeEntry(std::uint32_t flags, std::uint32_t value, unsigned codeLength,
                                  unsigned extra) {
  return flags | (value << 16) | (codeLength << 8) | (codeLength + extra);
}
constexpr std::uint32_t MakeLink(std::uint32_t offset, unsigned subBits) {
  return kExceptional | kLinkFlag | (offset << 16) | (subBits << 8);
}
constexpr std::uint32_t kInvalidEntry = kExceptional;
// (Masked to the whole low byte, whose bits 6 and 7 are zero, so that x86 needs no masking.)
constexpr unsigned EntryTotal(std::uint32_t e) { return e & 0xFF; }
constexpr unsigned EntryCodeLength(std::uint32_t e) { return (e >> 8) & 15; }
constexpr unsigned EntryExtra(std::uint32_t e) { return EntryTotal(e) - EntryCodeLength(e); }
constexpr std::uint32_t EntryValue(std::uint32_t e) { return (e >> 16) & 0x7FFF; }
// The value of an entry without the literal flag (length, distance, link), in one shift.
constexpr std::uint32_t EntryBase(std::uint32_t e) { return e >> 16; }
// The code length as a shift count: bits 12 and 13 are zero in a length or distance entry,
// so x86's own masking of shift counts to 6 bits leaves just the code length.
constexpr unsigned EntryShift(std::uint32_t e) { return (e >> 8) & 63; }
constexpr bool IsLiteral(std::uint32_t e) { return (e & kLiteralFlag) != 0; }
constexpr bool IsInvalid(std::uint32_t e) {
  return (e & (kExceptional | kLinkFlag | kEndOfBlockFlag)) == kExceptional;
}
static_assert(EntryValue(MakeLink(6655, 4)) == 6655 && EntryCodeLength(MakeLink(6655, 4)) == 4);
static_assert(EntryExtra(MakeEntry(0, 24577, 15, 13)) == 13 && EntryTotal(MakeEntry(0, 1, 15, 13)) == 28);

// RFC 1951 length and distance codes. Length symbols 286 and 287 and distance codes 30 and 31
// can be given code lengths but stand for nothing; they decode as invalid codes.
constexpr std::array<std::uint16_t, 29> kLengthBase = {
    3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
    31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::array<std::uint8_t, 29> kLengthExtra = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1,
                                                       1, 1, 2, 2, 2, 2, 3, 3, 3, 3,
                                                       4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::array<std::uint16_t, 30> kDistBase = {
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr std::array<std::uint8_t, 30> kDistExtra = {0, 0, 0, 0, 1, 1, 2,  2,  3,  3,
                                                     4, 4, 5, 5, 6, 6, 7,  7,  8,  8,
                                                     9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
// Order in which a dynamic block lists the code-length code's lengths.
constexpr std::array<std::uint8_t, 19> kCodeLengthOrder = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                           11, 4,  12, 3, 13, 2, 14, 1, 15};

constexpr unsigned kMaxCodeLength = 15;

enum class Alphabet { kLitLen, kDistance, kCodeLength };

std::uint32_t SymbolEntry(Alphabet alphabet, unsigned symbol, unsigned codeLength) {
  switch (alphabet) {
    case Alphabet::kLitLen:
      if (symbol < 256) return MakeEntry(kLiteralFlag, symbol, codeLength, 0);
      if (symbol == 256) return MakeEntry(kExceptional | kEndOfBlockFlag, 0, codeLength, 0);
      if (symbol - 257 < kLengthBase.size())
        return MakeEntry(0, kLengthBase[symbol - 257], codeLength, kLengthExtra[symbol - 257]);
      return MakeEntry(kExceptional, 0, codeLength, 0);
    case Alphabet::kDistance:
      if (symbol < kDistBase.size())
        return MakeEntry(0, kDistBase[symbol], codeLength, kDistExtra[symbol]);
      return MakeEntry(kExceptional, 0, codeLength, 0);
    case Alphabet::kCodeLength:
      return MakeEntry(0, symbol, codeLength, 0);
  }
  return kInvalidEntry;
}

// A two-level decoding table: a primary table indexed by the next `bits` input bits, and
// sub-tables for the codes longer than that, each indexed by the following bits. Every code
// of length L <= bits fills the 2^(bits-L) primary slots whose low L bits are its (bit-reversed)
// code; slots no code reaches hold kInvalidEntry. Entries in sub-tables carry the code's whole
// length, so that a symbol is consumed the same way whichever table level it came from.
//
// Capacity: every sub-table is created for at least one symbol and has at most
// 2^(15 - primary) slots, so 2^primary + symbols * 2^(15 - primary) slots always suffice.
template <unsigned kPrimary, unsigned kSymbols>
struct Table {
  static constexpr unsigned kPrimaryBits = kPrimary;
  static constexpr std::size_t kCapacity =
      (std::size_t{1} << kPrimary) + kSymbols * (std::size_t{1} << (kMaxCodeLength - kPrimary));
  std::array<std::uint32_t, kCapacity> entries;
  // Primary width the careful path looks at (lowered to the longest code, so that it never
  // waits for more input than the code needs). The primary table is always filled to the
  // full kPrimary bits, repeating with period 2^bits, so the fast loop indexes it with the
  // constant mask of kPrimary bits.
  unsigned bits = 0;
};

enum class BuildResult { kComplete, kIncomplete, kOverSubscribed };

// Canonical-code table construction. An incomplete code fills only part of the table (the
// rest holds kInvalidEntry); the caller decides whether to accept it. A single code of length 1 is
// reported complete, as the only way to send one symbol.
template <unsigned kPrimary, unsigned kSymbols>
BuildResult BuildTable(const std::uint8_t* lengths, unsigned n, Alphabet alphabet,
                       Table<kPrimary, kSymbols>& table) {
  std::array<unsigned, kMaxCodeLength + 1> count{};
  for (unsigned s = 0; s < n; ++s) ++count[lengths[s]];
  count[0] = 0;

  unsigned maxLen = 0;
  for (unsigned len = 1; len <= kMaxCodeLength; ++len)
    if (count[len]) maxLen = len;

  int left = 1;  // unused code space, in units of the current length
  for (unsigned len = 1; len <= kMaxCodeLength; ++len) {
    left = left * 2 - static_cast<int>(count[len]);
    if (left < 0) return BuildResult::kOverSubscribed;
  }

  const unsigned root = std::min<unsigned>(kPrimary, std::max(maxLen, 1u));
  table.bits = root;
  const std::uint32_t invalid = kInvalidEntry;
  std::uint32_t* const entries = table.entries.data();
  if (maxLen == 0) {  // no codes: every lookup is invalid
    std::fill_n(entries, std::size_t{1} << kPrimary, invalid);
    return BuildResult::kComplete;
  }

  // Symbols sorted by code length, symbol order kept within a length.
  std::array<unsigned, kMaxCodeLength + 2> offset{};
  for (unsigned len = 1; len <= kMaxCodeLength; ++len) offset[len + 1] = offset[len] + count[len];
  std::array<std::uint16_t, kSymbols> sorted;
  for (unsigned s = 0; s < n; ++s)
    if (lengths[s]) sorted[offset[lengths[s]]++] = static_cast<std::uint16_t>(s);
  const unsigned total = offset[kMaxCodeLength + 1];

  // Codes are handed out in canonical order and kept bit-reversed (the order the bits arrive
  // in): `rev` is the current code reversed. Counting up in reversed form clears the ones from
  // the top down to the first zero and sets that; a longer code appends zeros at the low end
  // of the canonical code, which in reversed form are leading zeros, so `rev` keeps its value.
  std::uint32_t rev = 0;
  auto nextCode = [&rev](unsigned len) {
    std::uint32_t bit = 1u << (len - 1);
    while (rev & bit) bit >>= 1;
    rev = bit ? (rev & (bit - 1)) | bit : 0;
  };

  // Primary table, grown one code length at a time: the table for lengths up to L, doubled,
  // is the table of the same codes for L + 1 (a code of length L sits at every slot whose low
  // L bits are its reversed code), and the codes of length L + 1 then take one slot each.
  // The first two slots start invalid so that the slots an incomplete code never reaches end
  // up invalid; a complete code overwrites them.
  // Codes stop at `root`; the doubling goes on to the full kPrimary width.
  unsigned i = 0;
  entries[0] = entries[1] = invalid;
  for (unsigned len = 1; len <= kPrimary; ++len) {
    if (len > 1) std::memcpy(entries + (1u << (len - 1)), entries, sizeof(std::uint32_t) << (len - 1));
    for (unsigned end = i + count[len]; i < end; ++i) {
      entries[rev] = SymbolEntry(alphabet, sorted[i], len);
      nextCode(len);
    }
  }

  // Codes longer than the primary width: sub-tables behind links.
  std::array<unsigned, kMaxCodeLength + 1> remaining = count;
  std::size_t next = std::size_t{1} << root;  // first free slot for sub-tables
  std::uint32_t subPrefix = ~0u;              // primary index of the current sub-table
  std::size_t subOffset = 0;
  unsigned subBits = 0;
  for (; i < total; ++i) {
    const unsigned symbol = sorted[i];
    const unsigned len = lengths[symbol];
    std::uint32_t prefix = rev & ((1u << root) - 1);
    if (prefix != subPrefix) {
      // New sub-table: as wide as the codes sharing this prefix need, grown one bit at a
      // time while the longer codes still to come would not fit.
      subBits = len - root;
      int room = 1 << subBits;
      for (unsigned l = len; l < maxLen; ++l) {
        room -= static_cast<int>(remaining[l]);
        if (room <= 0) break;
        room *= 2;
        ++subBits;
      }
      subPrefix = prefix;
      subOffset = next;
      next += std::size_t{1} << subBits;
      std::fill_n(entries + subOffset, std::size_t{1} << subBits, invalid);
      entries[prefix] = MakeLink(static_cast<std::uint32_t>(subOffset), subBits);
    }
    std::uint32_t e = SymbolEntry(alphabet, symbol, len);
    for (std::uint32_t k = rev >> root; k < (1u << subBits); k += 1u << (len - root))
      entries[subOffset + k] = e;
    --remaining[len];
    nextCode(len);
  }
  if (left > 0 && maxLen > 1) return BuildResult::kIncomplete;
  return BuildResult::kComplete;
}

}  // namespace

namespace {

// Eight input bytes as a little-endian word; memcpy keeps the unaligned load defined.
std::uint64_t LoadLE64(const std::uint8_t* p) {
  if constexpr (std::endian::native == std::endian::little) {
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
  } else {
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
    return v;
  }
}

}  // namespace

// ---- Decoder state ----------------------------------------------------------------------

class InflateState {
 public:
  InflateState(ByteSource& source, ByteSink& sink) : source_(source), sink_(sink) {}
  DecodeResult Run();

 private:
  enum class State { kBlockHeader, kStored, kDynamicHeader, kCodes, kDone, kFailed };
  using LitLenTable = Table<11, 288>;
  using DistTable = Table<8, 32>;
  using CodeLengthTable = Table<7, 19>;

  // Input. Bits are consumed least significant first from bitBuf_, which holds bitCount_
  // valid bits; every bit above bitCount_ is either zero or the true value of the next input
  // bit (the fast refill loads whole words ahead), never anything else.
  bool NeedBits(unsigned n);  // careful path: byte by byte; false when input ended by Cancel
  void DropBits(unsigned n) {
    bitBuf_ >>= n;
    bitCount_ -= n;
  }
  std::uint32_t PeekBits(unsigned n) const {
    return static_cast<std::uint32_t>(bitBuf_ & ((std::uint64_t{1} << n) - 1));
  }
  // True when the bits consumed so far reach into the zero padding that stands in for input
  // past the end of the data: the stream ended early.
  bool Overrun() const { return bitCount_ < padBits_; }
  bool TopUpInput();  // moves unread input to the front and reads more; false at the end

  // Output.
  void WritePieces();  // writes every complete 32 KiB piece
  void WriteRest();

  State BlockHeader();
  State StoredBlock();
  State DynamicHeader();
  State FixedTables();
  State Codes();
  enum class FastStop { kLimit, kEndOfBlock, kInvalid };
  FastStop FastCodes();  // the fast loop, compiled for the processor at hand
  template <bool kBmi2>
  [[gnu::always_inline]] inline FastStop FastLoop();
  FastStop FastCodesGeneric();
#ifdef ORB_INFLATE_BMI2
  __attribute__((target("bmi2"))) FastStop FastCodesBmi2();
#endif
  bool DecodeCareful(const std::uint32_t* entries, unsigned bits, std::uint32_t& entry);
  State Fail(int messageId) {
    result_.MessageId = messageId;
    return State::kFailed;
  }
  State InvalidCode() { return Fail(fixedBlock_ ? E_BADBLOCK : E_CODESET); }

  ByteSource& source_;
  ByteSink& sink_;

  std::array<std::uint8_t, kWindowSize> in_;
  std::size_t inPos_ = 0;
  std::size_t inEnd_ = 0;
  bool inputEnded_ = false;
  std::uint64_t bitBuf_ = 0;
  unsigned bitCount_ = 0;
  unsigned padBits_ = 0;  // zero bits appended after the end of the data

  std::array<std::uint8_t, kBufSize> buf_;
  std::size_t w_ = 0;
  std::size_t f_ = 0;

  bool lastBlock_ = false;
  bool fixedBlock_ = false;
  bool fixedBuilt_ = false;
  bool cancelled_ = false;
  DecodeResult result_;

  const LitLenTable* lit_ = nullptr;
  const DistTable* dist_ = nullptr;
  LitLenTable dynLit_;
  DistTable dynDist_;
  LitLenTable fixedLit_;
  DistTable fixedDist_;
  CodeLengthTable codeLengths_;
};

bool InflateState::TopUpInput() {
  if (inputEnded_) return false;
  std::size_t rest = inEnd_ - inPos_;
  std::memmove(in_.data(), in_.data() + inPos_, rest);
  inPos_ = 0;
  inEnd_ = rest;
  std::size_t got = source_.Read(in_.data() + rest, in_.size() - rest);
  if (got == 0) {
    inputEnded_ = true;
    cancelled_ = source_.Cancelled();
    return false;
  }
  inEnd_ += got;
  return true;
}

bool InflateState::NeedBits(unsigned n) {
  while (bitCount_ < n) {
    if (inEnd_ - inPos_ >= 8) {
      // A word at once while the buffer has one (no padding yet: real input remains). As in
      // the fast loop, the bits above the new count are true input bits.
      bitBuf_ &= (std::uint64_t{1} << bitCount_) - 1;
      bitBuf_ |= LoadLE64(in_.data() + inPos_) << bitCount_;
      inPos_ += (63 - bitCount_) >> 3;
      bitCount_ |= 56;
      return true;
    }
    std::uint64_t byte = 0;
    if (inPos_ < inEnd_ || TopUpInput()) {
      byte = in_[inPos_++];
    } else {
      if (cancelled_) return false;
      padBits_ += 8;
    }
    // Clear what the fast refill may have left above bitCount_ (true input bits, or nothing
    // once the padding starts) before inserting the next byte.
    bitBuf_ &= (std::uint64_t{1} << bitCount_) - 1;
    bitBuf_ |= byte << bitCount_;
    bitCount_ += 8;
  }
  return true;
}

void InflateState::WritePieces() {
  while (w_ - f_ >= kHist) {
    sink_.Write(buf_.data() + f_, kHist);
    f_ += kHist;
    if (f_ == kSlideAt) {
      const std::size_t drop = f_ - kHist;  // everything before the history
      std::memmove(buf_.data(), buf_.data() + drop, w_ - drop);
      w_ -= drop;
      f_ -= drop;
    }
  }
}

void InflateState::WriteRest() {
  WritePieces();
  if (w_ > f_) {
    std::size_t n = w_ - f_;
    f_ = w_;
    sink_.Write(buf_.data() + w_ - n, n);
  }
}

InflateState::State InflateState::BlockHeader() {
  if (source_.Cancelled()) return State::kDone;
  if (!NeedBits(3)) return State::kDone;
  lastBlock_ = PeekBits(1) != 0;
  unsigned type = PeekBits(3) >> 1;
  DropBits(3);
  if (Overrun()) return Fail(E_BADBLOCK);
  switch (type) {
    case 0:
      return State::kStored;
    case 1:
      return FixedTables();
    case 2:
      return State::kDynamicHeader;
    default:
      return Fail(E_BADBLOCK);
  }
}

InflateState::State InflateState::StoredBlock() {
  DropBits(bitCount_ % 8);
  if (!NeedBits(32)) return State::kDone;
  std::uint32_t len = PeekBits(16);
  std::uint32_t nlen = PeekBits(32) >> 16;
  DropBits(32);
  if (Overrun()) return Fail(E_BADBLOCK);
  if ((len ^ 0xFFFF) != nlen) {
    w_ = f_;  // the unwritten part of the window is discarded, as the format's writers expect
    return Fail(E_BADBLOCK);
  }
  while (len > 0) {
    WritePieces();
    std::size_t room = f_ + kHist - w_;  // up to the end of the current piece
    std::size_t chunk = std::min<std::size_t>(len, room);
    std::size_t done = 0;
    // Whole bytes still in the bit buffer come first (the buffer is byte aligned here).
    while (done < chunk && bitCount_ >= 8) {
      buf_[w_ + done++] = static_cast<std::uint8_t>(bitBuf_);
      DropBits(8);
      if (Overrun()) {
        w_ += done - 1;
        return Fail(E_BADBLOCK);
      }
    }
    while (done < chunk) {
      if (inPos_ == inEnd_ && !TopUpInput()) {
        w_ += done;
        if (cancelled_) return State::kDone;
        return Fail(E_BADBLOCK);
      }
      std::size_t n = std::min(chunk - done, inEnd_ - inPos_);
      std::memcpy(buf_.data() + w_ + done, in_.data() + inPos_, n);
      inPos_ += n;
      done += n;
    }
    w_ += chunk;
    len -= static_cast<std::uint32_t>(chunk);
  }
  return lastBlock_ ? State::kDone : State::kBlockHeader;
}

InflateState::State InflateState::FixedTables() {
  fixedBlock_ = true;
  if (!fixedBuilt_) {
    std::array<std::uint8_t, 288> lengths{};
    std::fill(lengths.begin(), lengths.begin() + 144, 8);
    std::fill(lengths.begin() + 144, lengths.begin() + 256, 9);
    std::fill(lengths.begin() + 256, lengths.begin() + 280, 7);
    std::fill(lengths.begin() + 280, lengths.end(), 8);
    if (BuildTable(lengths.data(), 288, Alphabet::kLitLen, fixedLit_) != BuildResult::kComplete)
      return Fail(E_CODESET);
    // Only 30 of the 32 five-bit distance codes exist: incomplete by nature and accepted.
    std::array<std::uint8_t, 30> dist;
    dist.fill(5);
    if (BuildTable(dist.data(), 30, Alphabet::kDistance, fixedDist_) ==
        BuildResult::kOverSubscribed)
      return Fail(E_CODESET);
    fixedBuilt_ = true;
  }
  lit_ = &fixedLit_;
  dist_ = &fixedDist_;
  return State::kCodes;
}

InflateState::State InflateState::DynamicHeader() {
  fixedBlock_ = false;
  if (!NeedBits(14)) return State::kDone;
  unsigned nlit = PeekBits(5) + 257;
  unsigned ndist = (PeekBits(10) >> 5) + 1;
  unsigned nclen = (PeekBits(14) >> 10) + 4;
  DropBits(14);
  if (Overrun()) return Fail(E_BADBLOCK);

  std::array<std::uint8_t, 19> clen{};
  for (unsigned i = 0; i < nclen; ++i) {
    if (!NeedBits(3)) return State::kDone;
    clen[kCodeLengthOrder[i]] = static_cast<std::uint8_t>(PeekBits(3));
    DropBits(3);
  }
  if (Overrun()) return Fail(E_BADBLOCK);
  if (BuildTable(clen.data(), 19, Alphabet::kCodeLength, codeLengths_) != BuildResult::kComplete)
    return Fail(E_CODESET);

  std::array<std::uint8_t, 288 + 32> lengths{};
  unsigned total = nlit + ndist;
  unsigned i = 0;
  while (i < total) {
    unsigned sym;
    if (bitCount_ >= padBits_ + 14 || inEnd_ - inPos_ >= 8) {
      // 14 real bits (a code of at most 7 bits and at most 7 extra bits) are at hand or come
      // in one word: no end of input can intervene, so the code is read straight from the
      // bit buffer, through the table's full 7-bit width (it has no sub-tables).
      NeedBits(14);
      const std::uint32_t e = codeLengths_.entries[PeekBits(CodeLengthTable::kPrimaryBits)];
      if (IsInvalid(e)) return InvalidCode();
      DropBits(EntryCodeLength(e));
      sym = EntryValue(e);
    } else {
      std::uint32_t e;
      if (!DecodeCareful(codeLengths_.entries.data(), codeLengths_.bits, e)) return State::kDone;
      if (IsInvalid(e)) return result_.MessageId ? State::kFailed : InvalidCode();
      sym = EntryValue(e);
    }
    if (sym < 16) {
      lengths[i++] = static_cast<std::uint8_t>(sym);
      continue;
    }
    unsigned extraBits = sym == 16 ? 2 : sym == 17 ? 3 : 7;
    unsigned base = sym == 16 ? 3 : sym == 17 ? 3 : 11;
    if (!NeedBits(extraBits)) return State::kDone;
    unsigned repeat = base + PeekBits(extraBits);
    DropBits(extraBits);
    if (Overrun()) return Fail(E_BADBLOCK);
    std::uint8_t value = 0;
    if (sym == 16) {
      // A repeat with nothing before it has no length to repeat.
      if (i == 0) return InvalidCode();
      value = lengths[i - 1];
    }
    if (i + repeat > total) return Fail(E_CODESET);
    std::fill_n(lengths.begin() + i, repeat, value);
    i += repeat;
  }

  if (BuildTable(lengths.data(), nlit, Alphabet::kLitLen, dynLit_) != BuildResult::kComplete)
    return Fail(E_CODESET);
  if (BuildTable(lengths.data() + nlit, ndist, Alphabet::kDistance, dynDist_) !=
      BuildResult::kComplete)
    return Fail(E_CODESET);
  lit_ = &dynLit_;
  dist_ = &dynDist_;
  return State::kCodes;
}

// One code through a table, byte-wise input. False only when input ended by Cancel. On an
// invalid code `entry` is kInvalidEntry; if the bits looked at reach past the data, the stream
// ended early and result_ is set to "Bad block" already. Only the code is consumed, not the
// extra bits that follow it.
bool InflateState::DecodeCareful(const std::uint32_t* entries, unsigned root,
                                 std::uint32_t& entry) {
  unsigned looked = root;
  if (!NeedBits(looked)) return false;
  std::uint32_t e = entries[PeekBits(root)];
  if (e & kLinkFlag) {
    looked = root + EntryCodeLength(e);
    if (!NeedBits(looked)) return false;
    e = entries[EntryValue(e) + (PeekBits(looked) >> root)];
  }
  if (IsInvalid(e)) {
    if (bitCount_ - std::min(bitCount_, padBits_) < looked) result_.MessageId = E_BADBLOCK;
    entry = kInvalidEntry;
    return true;
  }
  DropBits(EntryCodeLength(e));
  if (Overrun()) {
    result_.MessageId = E_BADBLOCK;
    entry = kInvalidEntry;
    return true;
  }
  entry = e;
  return true;
}

InflateState::State InflateState::Codes() {
  for (;;) {
    WritePieces();
    if (inEnd_ - inPos_ < kFastInput) TopUpInput();
    if (inEnd_ - inPos_ >= kFastInput) {
      switch (FastCodes()) {
        case FastStop::kEndOfBlock:
          return lastBlock_ ? State::kDone : State::kBlockHeader;
        case FastStop::kInvalid:
          return InvalidCode();
        case FastStop::kLimit:
          continue;  // write a piece or top up the input, then go on
      }
    }

    // The careful loop: one symbol, bits fetched byte by byte, every end of input noticed.
    std::uint32_t e;
    if (!DecodeCareful(lit_->entries.data(), lit_->bits, e)) return State::kDone;
    if (IsLiteral(e)) {
      buf_[w_++] = static_cast<std::uint8_t>(EntryValue(e));
      continue;
    }
    if (e & kEndOfBlockFlag) return lastBlock_ ? State::kDone : State::kBlockHeader;
    if (e & kExceptional) return result_.MessageId ? State::kFailed : InvalidCode();
    unsigned extra = EntryExtra(e);
    if (!NeedBits(extra)) return State::kDone;
    std::size_t length = EntryValue(e) + PeekBits(extra);
    DropBits(extra);
    if (Overrun()) return Fail(E_BADBLOCK);

    if (!DecodeCareful(dist_->entries.data(), dist_->bits, e)) return State::kDone;
    if (e & kExceptional) return result_.MessageId ? State::kFailed : InvalidCode();
    extra = EntryExtra(e);
    if (!NeedBits(extra)) return State::kDone;
    std::size_t distance = EntryValue(e) + PeekBits(extra);
    DropBits(extra);
    if (Overrun()) return Fail(E_BADBLOCK);
    if (distance > w_) return InvalidCode();  // before the entry's first byte

    // Forward byte copy: a distance shorter than the length repeats the pattern.
    std::uint8_t* out = buf_.data() + w_;
    const std::uint8_t* src = out - distance;
    for (std::size_t k = 0; k < length; ++k) out[k] = src[k];
    w_ += length;
  }
}

namespace {

#ifdef ORB_INFLATE_BMI2
__attribute__((target("bmi2"))) inline std::uint64_t Bzhi(std::uint64_t x, std::uint32_t n) {
  return _bzhi_u64(x, n);
}
#endif

// The low EntryTotal(e) bits of x: one instruction in the BMI2 build (which reads only the
// low byte of e, where the total sits), a mask otherwise.
template <bool kBmi2>
inline std::uint64_t LowBits(std::uint64_t x, std::uint32_t e) {
#ifdef ORB_INFLATE_BMI2
  if constexpr (kBmi2) return Bzhi(x, e);
#endif
  return x & ((std::uint64_t{1} << EntryTotal(e)) - 1);
}

void Copy8(std::uint8_t* dst, const std::uint8_t* src) {
  std::uint64_t v;
  std::memcpy(&v, src, 8);
  std::memcpy(dst, &v, 8);
}

void Copy16(std::uint8_t* dst, const std::uint8_t* src) {
  std::uint8_t v[16];
  std::memcpy(v, src, 16);
  std::memcpy(dst, v, 16);
}

// For a match at distance d < 8 once its first 8 bytes are in place: the smallest multiple of d
// that is at least 8. The output repeats with period d, so every byte equals the one kStride[d]
// before it, and a word copied from kStride[d] back never overlaps the word it writes.
constexpr std::array<std::uint8_t, 8> kStride = {0, 8, 8, 9, 8, 10, 12, 14};

// Writes the match of `length` (3..258) bytes at `distance` (1..out - window start) to `out`.
// Whole words are copied, so up to 31 bytes past the match may be written (with bytes that
// later output replaces); the caller's buffer has that much slack. Each word's source bytes
// are written before the word is read, so overlapping matches repeat their pattern exactly.
inline void CopyMatch(std::uint8_t* out, std::size_t distance, std::size_t length) {
  const std::uint8_t* src = out - distance;
  std::uint8_t* const end = out + length;
  if (distance >= 16) {
    // Source and destination words never overlap; two blocks cover most matches without a
    // loop test.
    Copy16(out, src);
    Copy16(out + 16, src + 16);
    if (length > 32) {
      out += 32;
      src += 32;
      do {
        Copy16(out, src);
        out += 16;
        src += 16;
      } while (out < end);
    }
  } else if (distance >= 8) {
    Copy8(out, src);
    Copy8(out + 8, src + 8);
    if (length > 16) {
      out += 16;
      src += 16;
      do {
        Copy8(out, src);
        out += 8;
        src += 8;
      } while (out < end);
    }
  } else if (distance == 1) {
    // A run of one byte: the byte spread over a word, stored word by word.
    const std::uint64_t v = src[0] * std::uint64_t{0x0101010101010101};
    std::memcpy(out, &v, 8);
    std::memcpy(out + 8, &v, 8);
    for (out += 16; out < end; out += 16) {
      std::memcpy(out, &v, 8);
      std::memcpy(out + 8, &v, 8);
    }
  } else {
    // Distance 2..7: the first 8 bytes one by one (the pattern repeated forward), then words
    // from kStride[distance] back.
    for (int k = 0; k < 8; ++k) out[k] = src[k];
    if (length > 8) {
      const std::size_t stride = kStride[distance];
      out += 8;
      do {
        Copy8(out, out - stride);
        out += 8;
      } while (out < end);
    }
  }
}

}  // namespace

// The fast loop: Huffman symbols decoded from a 64-bit bit buffer, refilled a word at a time.
//
// Entry assumptions, checked by the loop condition at the top of every turn:
//  - in <= inLimit: at least kFastInput (32) bytes of real input are unread, so a refill may
//    load 8 bytes and no code can reach the end of the data (padBits_ is 0 throughout);
//  - out < outLimit = f_ + kWindowSize: one turn writes at most one match (258 bytes) plus the
//    31-byte overshoot of CopyMatch, or four literals, past the current piece, which the
//    buffer's slack past kSlideAt + kWindowSize holds.
// Bit budget: a refill leaves at least 56 valid bits (bc is 56..63 after it); a primary
// lookup needs 11 valid bits (8 in the distance table), a lookup through a sub-table 15.
// Each turn starts with a refill and with the entry `e` of its first code already looked up.
//  - Literals: four primary-table ones take at most 44 bits, leaving 12 for the next lookup;
//    a sub-table literal takes at most 15, leaving 41.
//  - A match: the length takes at most 20 bits (code 15 + extra 5), leaving 36 for the
//    distance lookup; a second refill, then the distance takes at most 28 (code 15 + extra
//    13), leaving 28 for the next lookup. So the lookup after a match waits for no input
//    load, and the next code's entry loads while the match is copied.
// Two refills advance `in` by at most 14 bytes, well inside the kFastInput margin.
template <bool kBmi2>
inline InflateState::FastStop InflateState::FastLoop() {
  const std::uint8_t* in = in_.data() + inPos_;
  const std::uint8_t* const inLimit = in_.data() + inEnd_ - kFastInput;
  std::uint8_t* const base = buf_.data();
  std::uint8_t* out = base + w_;
  std::uint8_t* const outLimit = base + f_ + kHist;
  std::uint64_t bb = bitBuf_;
  const std::uint32_t* const lit = lit_->entries.data();
  const std::uint32_t* const dist = dist_->entries.data();
  constexpr unsigned litRoot = LitLenTable::kPrimaryBits;
  constexpr unsigned distRoot = DistTable::kPrimaryBits;
  constexpr std::uint64_t litMask = (std::uint64_t{1} << litRoot) - 1;
  constexpr std::uint64_t distMask = (std::uint64_t{1} << distRoot) - 1;
  FastStop stop = FastStop::kLimit;

  // Branch-free refill. The byte at `in` always holds the bits from position bc of bb on,
  // and every bit of bb above bc is zero or that true input bit, so OR-ing the next 8 bytes in
  // at bc is exact even where they overlap bits loaded before. Then the whole bytes that fit
  // (7 - bc / 8 of them) count as consumed from the input: bc becomes 56 + bc % 8, which for
  // bc < 64 is bc | 56.
  // Only the low byte of `bits` is the count bc (0..63): consume() subtracts whole entries,
  // whose low byte is the number of bits taken and never exceeds the count, so the low byte
  // stays exact and nothing borrows from above it, while the bits above collect whatever the
  // entries' upper fields leave; nobody reads them.
  std::uint32_t bits = bitCount_;
  auto refill = [&] {
    // (bits & 63 is bc, as bc < 64; and 63 - bc, the bits still free, is ~bits & 63.)
    bb |= LoadLE64(in) << (bits & 63);
    in += (~bits & 63) >> 3;
    bits |= 56;
  };
  // Drops the entry's bits (code and extra bits at once).
  auto consume = [&](std::uint32_t e) {
    bb >>= EntryTotal(e);
    bits -= e;
  };
  // A length's or distance's base plus its extra bits, taken from the bit buffer as it was
  // before consume().
  auto valueOf = [](std::uint32_t e, std::uint64_t saved) {
    const std::uint64_t codeAndExtra = LowBits<kBmi2>(saved, e);
    return static_cast<std::size_t>(EntryBase(e) + (codeAndExtra >> EntryShift(e)));
  };

  if (in > inLimit || out >= outLimit) return stop;
  refill();
  std::uint32_t e = lit[bb & litMask];
  while (in <= inLimit && out < outLimit) {
    // e is the primary entry of the next literal/length code, looked up from valid bits; the
    // refill only adds bits above them, so it stays valid.
    refill();  // bc >= 56
    if (IsLiteral(e)) {
      // Up to four literals, the later ones only from the primary table (a link is left in e
      // for the next turn).
      consume(e);
      *out++ = static_cast<std::uint8_t>(e >> 16);
      e = lit[bb & litMask];
      if (IsLiteral(e)) {
        consume(e);
        *out++ = static_cast<std::uint8_t>(e >> 16);
        e = lit[bb & litMask];
        if (IsLiteral(e)) {
          consume(e);
          *out++ = static_cast<std::uint8_t>(e >> 16);
          e = lit[bb & litMask];
          if (IsLiteral(e)) {
            consume(e);
            *out++ = static_cast<std::uint8_t>(e >> 16);
            e = lit[bb & litMask];
          }
        }
      }
      continue;
    }
    if (e & kExceptional) {
      if (e & kLinkFlag) {
        e = lit[EntryBase(e) + ((bb >> litRoot) & ((std::uint64_t{1} << EntryCodeLength(e)) - 1))];
        if (IsLiteral(e)) {
          consume(e);
          *out++ = static_cast<std::uint8_t>(e >> 16);
          e = lit[bb & litMask];
          continue;
        }
      }
      if (e & kExceptional) {
        if (e & kEndOfBlockFlag) {
          consume(e);
          stop = FastStop::kEndOfBlock;
        } else {
          stop = FastStop::kInvalid;
        }
        break;
      }
    }

    // A length: code and extra bits in one step.
    std::uint64_t saved = bb;
    consume(e);
    const std::size_t length = valueOf(e, saved);

    e = dist[bb & distMask];
    // The second refill, while the distance entry loads: the bits after the distance then
    // suffice for the next lookup, which so waits for no input load.
    refill();
    if (e & kExceptional) {
      if (e & kLinkFlag) {
        e = dist[EntryBase(e) + ((bb >> distRoot) & ((std::uint64_t{1} << EntryCodeLength(e)) - 1))];
      }
      if (e & kExceptional) {
        stop = FastStop::kInvalid;
        break;
      }
    }
    saved = bb;
    consume(e);
    const std::size_t distance = valueOf(e, saved);
    if (distance > static_cast<std::size_t>(out - base)) {
      stop = FastStop::kInvalid;  // before the entry's first byte
      break;
    }
    e = lit[bb & litMask];
    CopyMatch(out, distance, length);
    out += length;
  }

  inPos_ = static_cast<std::size_t>(in - in_.data());
  w_ = static_cast<std::size_t>(out - base);
  // Back to the careful path's form: nothing but zeros above the valid bits.
  bitCount_ = bits & 0xFF;
  bitBuf_ = bb & ((std::uint64_t{1} << bitCount_) - 1);
  return stop;
}

InflateState::FastStop InflateState::FastCodesGeneric() { return FastLoop<false>(); }

#ifdef ORB_INFLATE_BMI2
__attribute__((target("bmi2"))) InflateState::FastStop InflateState::FastCodesBmi2() {
  return FastLoop<true>();
}
#endif

namespace {
std::atomic<bool> gPortableLoop{false};
}  // namespace

void SetInflateLoop(InflateLoop loop) {
  gPortableLoop.store(loop == InflateLoop::kPortable, std::memory_order_relaxed);
}

InflateState::FastStop InflateState::FastCodes() {
#ifdef ORB_INFLATE_BMI2
  static const bool bmi2 = __builtin_cpu_supports("bmi2");
  if (bmi2 && !gPortableLoop.load(std::memory_order_relaxed)) return FastCodesBmi2();
#endif
  return FastCodesGeneric();
}

DecodeResult InflateState::Run() {
  State state = State::kBlockHeader;
  for (;;) {
    switch (state) {
      case State::kBlockHeader:
        state = BlockHeader();
        break;
      case State::kStored:
        state = StoredBlock();
        break;
      case State::kDynamicHeader:
        state = DynamicHeader();
        break;
      case State::kCodes:
        state = Codes();
        break;
      case State::kDone:
      case State::kFailed:
        WriteRest();
        return result_;
    }
  }
}

Inflater::Inflater(ByteSource& source, ByteSink& sink)
    : state_(std::make_unique<InflateState>(source, sink)) {}

Inflater::~Inflater() = default;

DecodeResult Inflater::Run() { return state_->Run(); }

DecodeResult Inflate(ByteSource& source, ByteSink& sink) {
  std::unique_ptr<Inflater> inflater;
  try {
    inflater = std::make_unique<Inflater>(source, sink);
  } catch (const std::bad_alloc&) {
    return DecodeResult{E_MEMERR};
  }
  return inflater->Run();
}

}  // namespace orb::arx
