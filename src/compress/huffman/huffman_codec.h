// The Huffman codec of clsHuffmanCompression on plain byte spans: the "HE3" block and its
// stored form (layout in he3_format.h). Stateless; every table lives for one call.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <type_traits>
#include <utility>
#include <vector>

namespace narwick::huffman {

// A non-owning reference to a callable taking the progress percentage. The codec calls it
// only with values that differ from the previous one of the same call (starting from 0),
// so 0 is never reported and a value is never repeated. The callable must outlive the call.
class ProgressFn {
 public:
  ProgressFn() = default;
  template <class F>
    requires(!std::is_same_v<std::remove_cvref_t<F>, ProgressFn> &&
             std::is_invocable_v<F&, std::int16_t>)
  ProgressFn(F&& f)  // NOLINT: implicit so that a lambda can be passed directly
      : context_(const_cast<void*>(static_cast<const void*>(&f))),
        call_([](void* context, std::int16_t percent) {
          (*static_cast<std::remove_reference_t<F>*>(context))(percent);
        }) {}

  void operator()(std::int16_t percent) const {
    if (call_ != nullptr) call_(context_, percent);
  }

 private:
  void* context_ = nullptr;
  void (*call_)(void*, std::int16_t) = nullptr;
};

// Block of `input`: the HE3 block, or the stored form when the body would not be shorter
// than the input or when the input holds one distinct byte value. Reports progress while
// counting (to 7), summing (to 12) and writing the body (to 100); a stored result reports
// only the counting values, an empty input none. `input` holds at most 2^31 - 1 bytes (the
// format's length field); a longer one throws std::length_error.
std::vector<std::uint8_t> Encode(std::span<const std::uint8_t> input, ProgressFn progress = {});

// Byte values counted for a part of the input apart from the Encoder (on another thread,
// say), for Encoder::AddTally.
class ByteTally {
 public:
  void Add(std::span<const std::uint8_t> bytes);
  // How often each byte value occurred.
  std::array<std::uint32_t, 256> Totals() const;
  // Adds the counts of `other`.
  void Merge(const ByteTally& other);

 private:
  // Four interleaved tables, so that runs of one value do not stall on the same counter.
  std::array<std::array<std::uint32_t, 256>, 4> tables_{};
};

// The same encoder for input that is read twice in chunks (a file): every chunk goes to
// Count, then Head() gives the start of the block; for an HE3 block every chunk then goes
// again, in the same order, to EncodeBody, and FinishBody ends it. The stored form is Head()
// followed by the input unchanged. Blocks and progress are those of Encode.
class Encoder {
 public:
  // `length` is the whole input's; at most 2^31 - 1 (else std::length_error). The callable
  // behind `progress` must outlive the encoder.
  Encoder(std::uint64_t length, ProgressFn progress);
  ~Encoder();
  Encoder(const Encoder&) = delete;
  Encoder& operator=(const Encoder&) = delete;

  void Count(std::span<const std::uint8_t> chunk);
  // Takes the next `size` bytes of the input as counted in `tally`, with the progress Count
  // would report for them.
  void AddTally(const ByteTally& tally, std::uint64_t size);
  // After all `length` bytes were counted: the header of the stored form, or the HE3 header,
  // code table and codes.
  std::vector<std::uint8_t> Head();
  bool stored() const { return stored_; }
  // Length of the whole block, head included.
  std::uint64_t block_size() const { return block_size_; }

  // The room EncodeBody needs in `out` for a chunk of `chunk_size` bytes.
  std::size_t BodyRoom(std::size_t chunk_size) const;
  // Writes the body bits of `chunk` to `out`; returns the number of whole bytes written (a
  // partly filled last byte is carried into the next call).
  std::size_t EncodeBody(std::span<const std::uint8_t> chunk, std::uint8_t* out);
  // Writes the carried partial byte, if any, to `out` (room for 8 bytes); returns 0 or 1.
  std::size_t FinishBody(std::uint8_t* out);

  // For a body coded in two parts at once, the last one by a BodyPart (on another thread,
  // say). The body bits of the input before a last part whose bytes `last_part` counted:
  std::uint64_t BodyBitsBefore(const ByteTally& last_part) const;
  // Bits coded by EncodeBody that are not yet in a whole byte written (0 to 7).
  unsigned pending_bits() const;
  // Once EncodeBody has coded all before the part: writes to out[0] the byte this encoder
  // shares with the part (its pending bits and the part's `first_byte`), and takes the
  // part's `size` input bytes as coded, with their progress. FinishBody follows.
  void JoinPart(std::uint64_t size, std::uint8_t first_byte, std::uint8_t* out);

 private:
  friend class BodyPart;
  struct State;
  // Takes `size` more input bytes as coded and reports the progress they reach.
  void TakeCoded(std::uint64_t size);
  std::unique_ptr<State> state_;
  bool stored_ = true;
  std::uint64_t block_size_ = 0;
};

// The last part of an HE3 body, coded apart from its Encoder after `bits_before` bits of
// the body (see Encoder::BodyBitsBefore). Its output is the block's bytes from the one that
// holds bit `bits_before` on; that first byte has the bits before the part as 0 (the
// Encoder's JoinPart fills them in). Reports no progress. The Encoder must outlive it.
class BodyPart {
 public:
  BodyPart(const Encoder& encoder, std::uint64_t bits_before);
  ~BodyPart();
  BodyPart(const BodyPart&) = delete;
  BodyPart& operator=(const BodyPart&) = delete;

  // As Encoder::EncodeBody; `out` has Encoder::BodyRoom(chunk.size()) bytes.
  std::size_t Encode(std::span<const std::uint8_t> chunk, std::uint8_t* out);
  // As Encoder::FinishBody, without the progress.
  std::size_t Finish(std::uint8_t* out);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

enum class DecodeStatus : std::uint8_t {
  kOk,                  // `bytes` holds the result
  kUnchanged,           // an HE3 block whose length field is 0: the caller keeps its data
  kBadIdentification,   // not an HE3 block or stored form
  kChecksumMismatch,    // decoded, but the exclusive-or differs from the stored one
  kSubscriptOutOfRange, // malformed: a read past the data, a missing tree branch, too many
                        // tree nodes, a negative length or entry count (run-time error 9)
  kOutOfMemory,         // the result could not be allocated (run-time error 7)
};

struct DecodeResult {
  DecodeStatus status = DecodeStatus::kOk;
  std::vector<std::uint8_t> bytes;  // only meaningful with kOk
};

// Decodes the block held in `data`, whose declared length is `byte_len`. Header, table and
// code bits are read from `data` wherever they lie; the body runs from its first byte to
// position `byte_len` - 1, and reaching a position past the end of `data` before the
// output is complete is kSubscriptOutOfRange. Reports progress 1..89 while walking the body
// (every 10000th block position), 89..100 while verifying. Any bytes give one of the
// statuses above; nothing is allocated beyond what the body can produce.
DecodeResult Decode(std::span<const std::uint8_t> data, std::int64_t byte_len,
                    ProgressFn progress = {});

inline DecodeResult Decode(std::span<const std::uint8_t> block, ProgressFn progress = {}) {
  return Decode(block, static_cast<std::int64_t>(block.size()), progress);
}

// The decoder over a block read in windows (a file) and an output handed on in pieces.
// Decode above is this with the whole block as one window and one piece.
class BlockSource {
 public:
  // Bytes [begin, begin + bytes.size()) of the block; `last` when they reach its end.
  struct Window {
    std::span<const std::uint8_t> bytes;
    std::uint64_t begin = 0;
    bool last = true;
  };
  virtual ~BlockSource() = default;
  // Length of the whole block.
  virtual std::uint64_t Size() const = 0;
  // The first window; it holds at least the first min(Size(), kHeadWindow) bytes.
  virtual Window First() = 0;
  // A window that starts at `from`, which lies inside the last window given or at its end,
  // and holds more than kWindowSlack bytes or reaches the end of the block.
  virtual Window From(std::uint64_t from) = 0;
};

// Room enough for the header, the largest table and the largest code section.
inline constexpr std::size_t kHeadWindow = 96 * 1024;
// How far ahead of the next symbol a window must reach (unless it ends the block): a fast
// step reads 16 bytes ahead and the longest code is 255 bits.
inline constexpr std::size_t kWindowSlack = 256;

class DecodeSink {
 public:
  virtual ~DecodeSink() = default;
  // The first room for output; `bound` is the most bytes the block can produce.
  virtual std::span<std::uint8_t> Start(std::uint64_t bound) = 0;
  // Takes the room given before, all written; gives the next room (empty: there is none).
  virtual std::span<std::uint8_t> Take(std::span<const std::uint8_t> written) = 0;
  // Takes the last, partly written room after a successful decode.
  virtual void Finish(std::span<const std::uint8_t> written) = 0;
};

// Decodes as Decode(data, byte_len, progress) does, with `data` read from `source`, and
// hands the result to `sink`, which may have been given part of it before a failure.
// kUnchanged gives nothing to the sink.
DecodeStatus Decode(BlockSource& source, std::int64_t byte_len, DecodeSink& sink,
                    ProgressFn progress = {});

// What the header of a block says, without decoding it (for tools).
struct BlockInfo {
  enum class Kind : std::uint8_t { kNotABlock, kStored, kHe3, kTruncated } kind = Kind::kNotABlock;
  std::int64_t stored_length = 0;  // stored form: the payload length; HE3: the length field
  std::uint8_t checksum = 0;       // HE3 only
  int entries = 0;                 // HE3 only: N
};
BlockInfo Inspect(std::span<const std::uint8_t> block);

}  // namespace narwick::huffman
