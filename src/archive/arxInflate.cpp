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
#include <cstring>
#include <new>

namespace orb::arx {

namespace {

constexpr std::size_t kHist = kWindowSize;
// Room past the unwritten output: one maximal match (258) that started just below
// f + kWindowSize, plus the overshoot of block-at-a-time copies (up to 15 bytes).
// f reaches kSlideAt before a slide (at least two pieces: the history plus one).
constexpr std::size_t kSlideAt = 8 * kHist;
constexpr std::size_t kBufSize = kSlideAt + kHist + 512;
// Unread input the fast loop needs: two 8-byte loads' worth, so a refill never reads past the
// data and a symbol never needs bytes that are not there.
constexpr std::size_t kFastInput = 32;

// ---- Decoding table entries -------------------------------------------------------------
//
// One 32-bit word per table slot:
//   bits  0..7   bits consumed by this entry (code length, or the primary width for a link)
//   bits  8..11  extra bits to read after the code (length/distance), or the sub-table's
//                index width (link)
//   bits 12..15  kind
//   bits 16..31  literal byte, base length or distance, or the sub-table's offset
enum Kind : std::uint32_t {
  kLiteral = 0,
  kLength = 1,  // a length in the literal/length table, a distance in the distance table
  kEndOfBlock = 2,
  kLink = 3,
  kInvalid = 4,
};

constexpr std::uint32_t MakeEntry(Kind kind, std::uint32_t value, std::uint32_t extra,
                                  std::uint32_t bits) {
  return (value << 16) | (static_cast<std::uint32_t>(kind) << 12) | (extra << 8) | bits;
}
constexpr std::uint32_t EntryBits(std::uint32_t e) { return e & 0xFF; }
constexpr std::uint32_t EntryExtra(std::uint32_t e) { return (e >> 8) & 0xF; }
constexpr std::uint32_t EntryKind(std::uint32_t e) { return (e >> 12) & 0xF; }
constexpr std::uint32_t EntryValue(std::uint32_t e) { return e >> 16; }

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

std::uint32_t SymbolEntry(Alphabet alphabet, unsigned symbol, unsigned bits) {
  switch (alphabet) {
    case Alphabet::kLitLen:
      if (symbol < 256) return MakeEntry(kLiteral, symbol, 0, bits);
      if (symbol == 256) return MakeEntry(kEndOfBlock, 0, 0, bits);
      if (symbol - 257 < kLengthBase.size())
        return MakeEntry(kLength, kLengthBase[symbol - 257], kLengthExtra[symbol - 257], bits);
      return MakeEntry(kInvalid, 0, 0, bits);
    case Alphabet::kDistance:
      if (symbol < kDistBase.size())
        return MakeEntry(kLength, kDistBase[symbol], kDistExtra[symbol], bits);
      return MakeEntry(kInvalid, 0, 0, bits);
    case Alphabet::kCodeLength:
      return MakeEntry(kLiteral, symbol, 0, bits);
  }
  return MakeEntry(kInvalid, 0, 0, bits);
}

// A two-level decoding table: a primary table indexed by the next `bits` input bits, and
// sub-tables for the codes longer than that, each indexed by the following bits. Every code
// of length L <= bits fills the 2^(bits-L) primary slots whose low L bits are its (bit-reversed)
// code; slots no code reaches hold kInvalid.
//
// Capacity: every sub-table is created for at least one symbol and has at most
// 2^(15 - primary) slots, so 2^primary + symbols * 2^(15 - primary) slots always suffice.
template <unsigned kPrimary, unsigned kSymbols>
struct Table {
  static constexpr std::size_t kCapacity =
      (std::size_t{1} << kPrimary) + kSymbols * (std::size_t{1} << (kMaxCodeLength - kPrimary));
  std::array<std::uint32_t, kCapacity> entries;
  unsigned bits = 0;  // primary width actually used (lowered to the longest code)
};

enum class BuildResult { kComplete, kIncomplete, kOverSubscribed };

std::uint32_t ReverseBits(std::uint32_t code, unsigned len) {
  std::uint32_t r = 0;
  for (unsigned i = 0; i < len; ++i) {
    r = (r << 1) | (code & 1);
    code >>= 1;
  }
  return r;
}

// Canonical-code table construction. An incomplete code fills only part of the table (the
// rest stays kInvalid); the caller decides whether to accept it. A single code of length 1 is
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
  const std::uint32_t invalid = MakeEntry(kInvalid, 0, 0, 0);
  std::fill_n(table.entries.begin(), std::size_t{1} << root, invalid);
  if (maxLen == 0) return BuildResult::kComplete;  // no codes: every lookup is invalid

  // Symbols sorted by code length, symbol order kept within a length.
  std::array<unsigned, kMaxCodeLength + 2> offset{};
  for (unsigned len = 1; len <= kMaxCodeLength; ++len) offset[len + 1] = offset[len] + count[len];
  std::array<std::uint16_t, kSymbols> sorted{};
  for (unsigned s = 0; s < n; ++s)
    if (lengths[s]) sorted[offset[lengths[s]]++] = static_cast<std::uint16_t>(s);

  std::array<unsigned, kMaxCodeLength + 1> remaining = count;
  std::size_t next = std::size_t{1} << root;  // first free slot for sub-tables
  std::uint32_t subPrefix = ~0u;              // primary index of the current sub-table
  std::size_t subOffset = 0;
  unsigned subBits = 0;
  std::uint32_t code = 0;  // canonical code of the current symbol, most significant bit first
  unsigned len = 0;
  for (unsigned i = 0; i < offset[kMaxCodeLength + 1]; ++i) {
    unsigned symbol = sorted[i];
    unsigned symLen = lengths[symbol];
    if (i > 0) code = (code + 1) << (symLen - len);
    len = symLen;
    std::uint32_t rev = ReverseBits(code, len);  // the order the bits arrive in
    if (len <= root) {
      std::uint32_t e = SymbolEntry(alphabet, symbol, len);
      for (std::uint32_t k = rev; k < (1u << root); k += 1u << len) table.entries[k] = e;
    } else {
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
        std::fill_n(table.entries.begin() + subOffset, std::size_t{1} << subBits, invalid);
        table.entries[prefix] =
            MakeEntry(kLink, static_cast<std::uint32_t>(subOffset), subBits, root);
      }
      std::uint32_t e = SymbolEntry(alphabet, symbol, len - root);
      for (std::uint32_t k = rev >> root; k < (1u << subBits); k += 1u << (len - root))
        table.entries[subOffset + k] = e;
    }
    --remaining[len];
  }
  if (left > 0 && maxLen > 1) return BuildResult::kIncomplete;
  return BuildResult::kComplete;
}

}  // namespace

// ---- Decoder state ----------------------------------------------------------------------

class InflateState {
 public:
  InflateState(ByteSource& source, ByteSink& sink) : source_(source), sink_(sink) {}
  DecodeResult Run();

 private:
  enum class State { kBlockHeader, kStored, kDynamicHeader, kCodes, kDone, kFailed };
  using LitLenTable = Table<10, 288>;
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
  FastStop FastCodes();
  bool DecodeCareful(const std::uint32_t* entries, unsigned bits, std::uint32_t& entry);
  State Fail(int messageId) {
    result_.MessageId = messageId;
    return State::kFailed;
  }
  State InvalidCode() { return Fail(fixedBlock_ ? kMsgBadBlock : kMsgIncompleteCodeSet); }

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
  if (Overrun()) return Fail(kMsgBadBlock);
  switch (type) {
    case 0:
      return State::kStored;
    case 1:
      return FixedTables();
    case 2:
      return State::kDynamicHeader;
    default:
      return Fail(kMsgBadBlock);
  }
}

InflateState::State InflateState::StoredBlock() {
  DropBits(bitCount_ % 8);
  if (!NeedBits(32)) return State::kDone;
  std::uint32_t len = PeekBits(16);
  std::uint32_t nlen = PeekBits(32) >> 16;
  DropBits(32);
  if (Overrun()) return Fail(kMsgBadBlock);
  if ((len ^ 0xFFFF) != nlen) {
    w_ = f_;  // the unwritten part of the window is discarded, as the format's writers expect
    return Fail(kMsgBadBlock);
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
        return Fail(kMsgBadBlock);
      }
    }
    while (done < chunk) {
      if (inPos_ == inEnd_ && !TopUpInput()) {
        w_ += done;
        if (cancelled_) return State::kDone;
        return Fail(kMsgBadBlock);
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
      return Fail(kMsgIncompleteCodeSet);
    // Only 30 of the 32 five-bit distance codes exist: incomplete by nature and accepted.
    std::array<std::uint8_t, 30> dist;
    dist.fill(5);
    if (BuildTable(dist.data(), 30, Alphabet::kDistance, fixedDist_) ==
        BuildResult::kOverSubscribed)
      return Fail(kMsgIncompleteCodeSet);
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
  if (Overrun()) return Fail(kMsgBadBlock);

  std::array<std::uint8_t, 19> clen{};
  for (unsigned i = 0; i < nclen; ++i) {
    if (!NeedBits(3)) return State::kDone;
    clen[kCodeLengthOrder[i]] = static_cast<std::uint8_t>(PeekBits(3));
    DropBits(3);
  }
  if (Overrun()) return Fail(kMsgBadBlock);
  if (BuildTable(clen.data(), 19, Alphabet::kCodeLength, codeLengths_) != BuildResult::kComplete)
    return Fail(kMsgIncompleteCodeSet);

  std::array<std::uint8_t, 288 + 32> lengths{};
  unsigned total = nlit + ndist;
  unsigned i = 0;
  while (i < total) {
    std::uint32_t e;
    if (!DecodeCareful(codeLengths_.entries.data(), codeLengths_.bits, e)) return State::kDone;
    if (EntryKind(e) == kInvalid) return result_.MessageId ? State::kFailed : InvalidCode();
    unsigned sym = EntryValue(e);
    if (sym < 16) {
      lengths[i++] = static_cast<std::uint8_t>(sym);
      continue;
    }
    unsigned extraBits = sym == 16 ? 2 : sym == 17 ? 3 : 7;
    unsigned base = sym == 16 ? 3 : sym == 17 ? 3 : 11;
    if (!NeedBits(extraBits)) return State::kDone;
    unsigned repeat = base + PeekBits(extraBits);
    DropBits(extraBits);
    if (Overrun()) return Fail(kMsgBadBlock);
    std::uint8_t value = 0;
    if (sym == 16) {
      // A repeat with nothing before it has no length to repeat.
      if (i == 0) return InvalidCode();
      value = lengths[i - 1];
    }
    if (i + repeat > total) return Fail(kMsgIncompleteCodeSet);
    std::fill_n(lengths.begin() + i, repeat, value);
    i += repeat;
  }

  if (BuildTable(lengths.data(), nlit, Alphabet::kLitLen, dynLit_) != BuildResult::kComplete)
    return Fail(kMsgIncompleteCodeSet);
  if (BuildTable(lengths.data() + nlit, ndist, Alphabet::kDistance, dynDist_) !=
      BuildResult::kComplete)
    return Fail(kMsgIncompleteCodeSet);
  lit_ = &dynLit_;
  dist_ = &dynDist_;
  return State::kCodes;
}

// One code through a table, byte-wise input. False only when input ended by Cancel. On an
// invalid code `entry` is kInvalid; if the bits looked at reach past the data, the stream
// ended early and result_ is set to "Bad block" already.
bool InflateState::DecodeCareful(const std::uint32_t* entries, unsigned bits,
                                 std::uint32_t& entry) {
  if (!NeedBits(bits)) return false;
  std::uint32_t e = entries[PeekBits(bits)];
  if (EntryKind(e) == kLink) {
    DropBits(bits);
    if (Overrun()) {
      result_.MessageId = kMsgBadBlock;
      entry = MakeEntry(kInvalid, 0, 0, 0);
      return true;
    }
    bits = EntryExtra(e);
    if (!NeedBits(bits)) return false;
    e = entries[EntryValue(e) + PeekBits(bits)];
  }
  if (EntryKind(e) == kInvalid) {
    if (bitCount_ - std::min(bitCount_, padBits_) < bits) result_.MessageId = kMsgBadBlock;
    entry = e;
    return true;
  }
  DropBits(EntryBits(e));
  if (Overrun()) {
    result_.MessageId = kMsgBadBlock;
    entry = MakeEntry(kInvalid, 0, 0, 0);
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
    switch (EntryKind(e)) {
      case kLiteral:
        buf_[w_++] = static_cast<std::uint8_t>(EntryValue(e));
        continue;
      case kEndOfBlock:
        return lastBlock_ ? State::kDone : State::kBlockHeader;
      case kInvalid:
        return result_.MessageId ? State::kFailed : InvalidCode();
      default:
        break;
    }
    unsigned extra = EntryExtra(e);
    if (!NeedBits(extra)) return State::kDone;
    std::size_t length = EntryValue(e) + PeekBits(extra);
    DropBits(extra);
    if (Overrun()) return Fail(kMsgBadBlock);

    if (!DecodeCareful(dist_->entries.data(), dist_->bits, e)) return State::kDone;
    if (EntryKind(e) != kLength) return result_.MessageId ? State::kFailed : InvalidCode();
    extra = EntryExtra(e);
    if (!NeedBits(extra)) return State::kDone;
    std::size_t distance = EntryValue(e) + PeekBits(extra);
    DropBits(extra);
    if (Overrun()) return Fail(kMsgBadBlock);
    if (distance > w_) return InvalidCode();  // before the entry's first byte

    // Forward byte copy: a distance shorter than the length repeats the pattern.
    std::uint8_t* out = buf_.data() + w_;
    const std::uint8_t* src = out - distance;
    for (std::size_t k = 0; k < length; ++k) out[k] = src[k];
    w_ += length;
  }
}

namespace {

std::uint64_t LoadLE64(const std::uint8_t* p) {
  std::uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];  // compilers turn this into one load
  return v;
}

}  // namespace

// The fast loop. Entry assumptions, checked by the caller and kept by the loop condition:
//  - at least kFastInput bytes of real input are unread, so a refill may load 8 bytes and
//    no code can reach the end of the data (padBits_ is 0);
//  - w_ < f_ + kWindowSize, so at most one symbol (258 bytes) plus the 15-byte overshoot of a
//    block copy is written past the current piece, which the buffer's slack holds.
// One refill leaves at least 56 bits, enough for a whole match (literal/length code 15 +
// extra 5 + distance code 15 + extra 13 = 48 bits), so there is one refill per symbol and
// none inside a match.
InflateState::FastStop InflateState::FastCodes() {
  const std::uint8_t* in = in_.data() + inPos_;
  const std::uint8_t* const inLimit = in_.data() + inEnd_ - kFastInput;
  std::uint8_t* const base = buf_.data();
  std::uint8_t* out = base + w_;
  std::uint8_t* const outLimit = base + f_ + kHist;
  std::uint64_t bb = bitBuf_;
  unsigned bc = bitCount_;
  const std::uint32_t* const lit = lit_->entries.data();
  const std::uint32_t* const dist = dist_->entries.data();
  const unsigned litBits = lit_->bits;
  const unsigned distBits = dist_->bits;
  const std::uint64_t litMask = (std::uint64_t{1} << litBits) - 1;
  const std::uint64_t distMask = (std::uint64_t{1} << distBits) - 1;
  FastStop stop = FastStop::kLimit;

  while (in <= inLimit && out < outLimit) {
    // Branch-free refill: OR in the next 8 bytes above the valid bits and advance by the
    // whole bytes that fit. Bits above bc are then the true next input bits, so OR-ing the
    // same bytes again at the next refill changes nothing (the invariant of bitBuf_).
    bb |= LoadLE64(in) << bc;
    unsigned take = (63 - bc) >> 3;
    in += take;
    bc += take * 8;

    std::uint32_t e = lit[bb & litMask];
    if (EntryKind(e) == kLink) {
      bb >>= litBits;
      bc -= litBits;
      e = lit[EntryValue(e) + (bb & ((std::uint64_t{1} << EntryExtra(e)) - 1))];
    }
    bb >>= EntryBits(e);
    bc -= EntryBits(e);
    std::uint32_t kind = EntryKind(e);
    if (kind == kLiteral) {
      *out++ = static_cast<std::uint8_t>(EntryValue(e));
      // At least 41 bits remain: a second literal (at most 15 bits) needs no refill, and
      // after it at least 26, enough for a third. Only primary-table literals are taken here
      // (a link is left for the next turn); the two extra bytes land in the slack past the
      // piece at most, like a match's.
      std::uint32_t e2 = lit[bb & litMask];
      if (EntryKind(e2) == kLiteral) {
        bb >>= EntryBits(e2);
        bc -= EntryBits(e2);
        *out++ = static_cast<std::uint8_t>(EntryValue(e2));
        std::uint32_t e3 = lit[bb & litMask];
        if (EntryKind(e3) == kLiteral) {
          bb >>= EntryBits(e3);
          bc -= EntryBits(e3);
          *out++ = static_cast<std::uint8_t>(EntryValue(e3));
        }
      }
      continue;
    }
    if (kind != kLength) {
      stop = kind == kEndOfBlock ? FastStop::kEndOfBlock : FastStop::kInvalid;
      break;
    }
    unsigned extra = EntryExtra(e);
    std::size_t length = EntryValue(e) + (bb & ((std::uint64_t{1} << extra) - 1));
    bb >>= extra;
    bc -= extra;

    e = dist[bb & distMask];
    if (EntryKind(e) == kLink) {
      bb >>= distBits;
      bc -= distBits;
      e = dist[EntryValue(e) + (bb & ((std::uint64_t{1} << EntryExtra(e)) - 1))];
    }
    if (EntryKind(e) != kLength) {
      stop = FastStop::kInvalid;
      break;
    }
    bb >>= EntryBits(e);
    bc -= EntryBits(e);
    extra = EntryExtra(e);
    std::size_t distance = EntryValue(e) + (bb & ((std::uint64_t{1} << extra) - 1));
    bb >>= extra;
    bc -= extra;
    if (distance > static_cast<std::size_t>(out - base)) {
      stop = FastStop::kInvalid;  // before the entry's first byte
      break;
    }

    std::uint8_t* dst = out;
    const std::uint8_t* src = out - distance;
    out += length;
    if (distance >= 16) {
      // Sixteen bytes at a time, as below; the last block may run up to 15 bytes past the
      // match into the slack.
      do {
        std::memcpy(dst, src, 16);
        dst += 16;
        src += 16;
      } while (dst < out);
    } else if (distance >= 8) {
      // Eight bytes at a time: each word's source lies wholly before its destination, so an
      // overlapping match still repeats its pattern; the last word may run up to 7 bytes past
      // the match into the buffer's slack, which later output overwrites.
      do {
        std::memcpy(dst, src, 8);
        dst += 8;
        src += 8;
      } while (dst < out);
    } else if (distance == 1) {
      std::memset(dst, src[0], length);
    } else {
      while (dst < out) *dst++ = *src++;
    }
  }

  inPos_ = static_cast<std::size_t>(in - in_.data());
  w_ = static_cast<std::size_t>(out - base);
  // Back to the careful path's form: nothing but zeros above the valid bits.
  bitBuf_ = bb & ((std::uint64_t{1} << bc) - 1);
  bitCount_ = bc;
  return stop;
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
    return DecodeResult{kMsgOutOfMemory};
  }
  return inflater->Run();
}

}  // namespace orb::arx
