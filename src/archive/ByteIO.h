// Byte source and byte sink between the zip engine and its decoders.
//
// A decoder (inflate, unshrink, unreduce, explode) sees an entry only through these two
// interfaces: compressed bytes come from a ByteSource, decoded bytes go to a ByteSink. Decoders
// never touch files and never fire events; they return a DecodeResult carrying 0 or the id of
// the engine message that names the failure, and the engine turns that id into its
// RaiseError/OnError path. The engine's own source and sink do the rest of the data path:
//
//   archive file -> ByteSource (packed-size limit, decryption, next disk, Cancel)
//                -> decoder (32 KiB output window, also the history of inflate)
//                -> ByteSink (CRC-32 of each piece, write, progress, unpacked counters)
//
// Contract every decoder keeps with its sink (callers and files may rely on it):
//  - Output reaches the sink in pieces of exactly kWindowSize (32,768) bytes, each written as
//    soon as the window fills, and one final shorter piece with the remainder when the entry
//    ends. An empty remainder is not written, so 65,536 bytes of output are exactly two Write
//    calls and an empty entry none.
//  - On a decoding failure, everything decoded so far is written (same piecing) before the
//    failure is returned. The one exception is inflate's stored-block header check (LEN
//    against the complement NLEN): the unwritten part of the window is discarded then.
//  - An exception thrown by the sink (the engine's write error) or by the source (a read
//    error) passes through the decoder unchanged; nothing more is written after it.
//
// Cancellation: the engine's source returns 0 from Read once its Cancel flag is set and says
// so through Cancelled(). A decoder that meets the end of input with Cancelled() true stops
// quietly: it writes what it has decoded and returns a result of 0. The engine knows its own
// Cancel flag; the CRC comparison then decides the entry's verdict as always.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "archive/MessageIds.h"

namespace orb::arx {

// The output window of every decoder and the sliding window of inflate.
inline constexpr std::size_t kWindowSize = 32768;


// The compressed bytes of one entry.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Copies up to `max` (> 0) bytes of the entry's data to `buf` and returns how many; 0 only
  // at the end of the entry's data (or after cancellation). May return fewer than `max`
  // before the end; callers simply call again.
  virtual std::size_t Read(std::uint8_t* buf, std::size_t max) = 0;
  // True when the engine's Cancel flag ended the input (as opposed to truncated data).
  virtual bool Cancelled() const { return false; }
};

// The decoded bytes of one entry.
class ByteSink {
 public:
  virtual ~ByteSink() = default;
  // One piece of output (n > 0), see the piecing contract above. May throw.
  virtual void Write(const std::uint8_t* data, std::size_t n) = 0;
};

// Outcome of one decoder run: 0, or the id of the engine message naming the failure.
struct DecodeResult {
  int MessageId = 0;
  bool Ok() const { return MessageId == 0; }
};

// Buffered byte-at-a-time input over a ByteSource: the engine's GetNextByte. The buffer is
// refilled only when fully consumed, so no read asks for more than the source still holds
// beyond what the decoder consumes.
class InputBuffer {
 public:
  explicit InputBuffer(ByteSource& source) : source_(source), buf_(new std::uint8_t[kWindowSize]) {}

  // The next byte; 0 with AtEnd() true once the source has no more.
  std::uint8_t NextByte() {
    if (pos_ == fill_ && !Refill()) return 0;
    return buf_[pos_++];
  }
  // True when the last refill found no more data.
  bool AtEnd() const { return atEnd_; }
  // True while at least one more byte can be handed out (refills when the buffer is empty).
  bool HasMore() { return pos_ < fill_ || Refill(); }
  ByteSource& Source() { return source_; }

 private:
  bool Refill() {
    pos_ = 0;
    fill_ = atEnd_ ? 0 : source_.Read(buf_.get(), kWindowSize);
    atEnd_ = fill_ == 0;
    return !atEnd_;
  }

  ByteSource& source_;
  std::unique_ptr<std::uint8_t[]> buf_;
  std::size_t pos_ = 0;
  std::size_t fill_ = 0;
  bool atEnd_ = false;
};

// The 32 KiB output window over a ByteSink, for decoders that emit byte by byte (PutByte).
// Writes exactly kWindowSize bytes whenever the window fills; Flush() writes the remainder.
class OutputWindow {
 public:
  explicit OutputWindow(ByteSink& sink) : sink_(sink), buf_(new std::uint8_t[kWindowSize]) {}

  void Put(std::uint8_t b) {
    buf_[fill_++] = b;
    ++produced_;
    if (fill_ == kWindowSize) Flush();
  }
  // Writes the unwritten bytes, if any.
  void Flush() {
    if (fill_ == 0) return;
    std::size_t n = fill_;
    fill_ = 0;  // first, so that a throwing sink does not get the same bytes twice
    sink_.Write(buf_.get(), n);
  }
  // Bytes put since construction (the legacy decoders stop at the entry's unpacked size).
  std::uint64_t Produced() const { return produced_; }

 private:
  ByteSink& sink_;
  std::unique_ptr<std::uint8_t[]> buf_;
  std::size_t fill_ = 0;
  std::uint64_t produced_ = 0;
};

}  // namespace orb::arx
