// HE3 decoder: the header and code table, the tree they describe, and the walk of the body
// through lookup tables, reading the block in windows and handing the output on in pieces.
#include <algorithm>
#include <array>
#include <limits>
#include <new>
#include <stdexcept>

#include "compress/huffman/he3_common.h"
#include "compress/huffman/he3_format.h"
#include "compress/huffman/huffman_codec.h"

namespace narwick::huffman {
namespace {

using detail::Load64;
using detail::ProgressTracker;
using detail::XorBytes;

struct DecoderTree {
  // child[0] is ChildZero, child[1] is ChildOne; -1 where there is none.
  std::array<std::array<std::int16_t, 2>, kMaxNodes> child;
  std::array<std::int16_t, kMaxNodes> symbol;
  int count = 0;
};

// Lookup of kLookupBits body bits at once. FillLookup makes the one-symbol table, in which
// an entry is one of:
//   symbol:   the byte value in bits 0..7, its code length (1..kLookupBits) in bits 8..15;
//   missing:  kMissing, with the 1-based bit at which the path meets a missing child;
//   deeper:   kDeeper, the path is still inside the tree after kLookupBits bits; bits
//             20..29 hold the node reached, from which the walk goes on bit by bit.
constexpr int kLookupBits = 12;
constexpr std::uint32_t kLookupSize = 1u << kLookupBits;
constexpr std::uint32_t kMissing = 1u << 16;
constexpr std::uint32_t kDeeper = 2u << 16;
constexpr std::uint32_t kKindMask = 3u << 16;

void FillLookup(const DecoderTree& tree, int node, unsigned depth, std::uint32_t path,
                std::uint32_t* lookup) {
  for (std::uint32_t bit = 0; bit < 2; ++bit) {
    const int next = tree.child[node][bit];
    const std::uint32_t p = path | (bit << depth);
    const unsigned length = depth + 1;
    std::uint32_t entry;
    if (next < 0) {
      entry = kMissing | (length << 8);
    } else if (tree.symbol[next] >= 0) {
      entry = static_cast<std::uint32_t>(tree.symbol[next]) | (length << 8);
    } else if (length == kLookupBits) {
      entry = kDeeper | (static_cast<std::uint32_t>(next) << 20) | (length << 8);
    } else {
      FillLookup(tree, next, length, p, lookup);
      continue;
    }
    for (std::uint32_t j = p; j < kLookupSize; j += 1u << length) lookup[j] = entry;
  }
}

// The table the walk uses gives up to two symbols per lookup, which halves the chain of
// dependent loads on short codes. An entry holds:
//   bits 0..5    bits consumed (symbols), or the 1-based failing bit (missing), or
//                kLookupBits (deeper); in the low bits so that the bit buffer can be
//                shifted by the entry itself, which keeps the dependent chain short;
//   bits 6..7    number of symbols, 1 or 2; 0 marks a special entry;
//   bits 8..23   the symbols, first in the low byte (stored as two bytes at once), or for
//                deeper the node reached;
//   bit  24      set for missing, clear for deeper.
// A second symbol is added only when its whole code lies inside the looked-up bits; a
// missing branch after the first symbol is left for the next lookup to find.
constexpr std::uint32_t kPairCountShift = 6;
constexpr std::uint32_t kPairMissing = 1u << 24;

void FillPairLookup(const std::uint32_t* single, std::uint32_t* pairs) {
  for (std::uint32_t j = 0; j < kLookupSize; ++j) {
    const std::uint32_t e = single[j];
    const std::uint32_t length = (e >> 8) & 0xFF;
    if ((e & kKindMask) == kMissing) {
      pairs[j] = kPairMissing | length;
      continue;
    }
    if ((e & kKindMask) == kDeeper) {
      pairs[j] = (e >> 20) << 8 | length;
      continue;
    }
    const std::uint32_t second = single[j >> length];
    const std::uint32_t second_length = (second >> 8) & 0xFF;
    if ((second & kKindMask) == 0 && second_length <= kLookupBits - length) {
      pairs[j] = (e & 0xFF) << 8 | (second & 0xFF) << 16 | (length + second_length) |
                 2u << kPairCountShift;
    } else {
      pairs[j] = (e & 0xFF) << 8 | length | 1u << kPairCountShift;
    }
  }
}

inline void Store16(std::uint8_t* p, std::uint32_t v) {
  const auto two = static_cast<std::uint16_t>(v);
  std::memcpy(p, &two, sizeof two);
}

// Fewest bits any symbol takes (0 when the tree has no symbol below the root).
int MinSymbolDepth(const DecoderTree& tree) {
  std::array<std::uint8_t, kMaxNodes> depth{};
  int best = 0;
  // Children always have higher indexes than their parent, so one pass in index order sees
  // each parent's depth before its children's.
  for (int i = 0; i < tree.count; ++i) {
    for (int b = 0; b < 2; ++b) {
      const int c = tree.child[i][b];
      if (c < 0) continue;
      depth[c] = static_cast<std::uint8_t>(depth[i] + 1);
      if (tree.symbol[c] >= 0 && (best == 0 || depth[c] < best)) best = depth[c];
    }
  }
  return best;
}

// The part of the block the walk can read, addressed by block position.
struct View {
  explicit View(const BlockSource::Window& w)
      : data(w.bytes.data()), begin(w.begin), end(w.begin + w.bytes.size()), last(w.last) {}
  const std::uint8_t* At(std::uint64_t byte) const { return data + (byte - begin); }

  const std::uint8_t* data;
  std::uint64_t begin;
  std::uint64_t end;
  bool last;
};

enum class Walk : std::uint8_t { kFoundSymbol, kNoBranch, kEndOfData };

// Bit-by-bit walk from `node` until a symbol, a missing child (the failing bit is the one
// before `bitpos` on return) or the end of the readable body.
inline Walk WalkFrom(const DecoderTree& tree, int node, const View& view, std::uint64_t& bitpos,
                     std::uint64_t end_bit, std::uint8_t& symbol) {
  for (;;) {
    if (bitpos == end_bit) return Walk::kEndOfData;
    const unsigned bit = (*view.At(bitpos >> 3) >> (bitpos & 7)) & 1u;
    ++bitpos;
    node = tree.child[node][bit];
    if (node < 0) return Walk::kNoBranch;
    if (tree.symbol[node] >= 0) {
      symbol = static_cast<std::uint8_t>(tree.symbol[node]);
      return Walk::kFoundSymbol;
    }
  }
}

// A walk that starts a symbol below this many bits before the end of a window that does not
// reach the block's end stays inside it: a fast step reads 128 bits ahead and consumes at
// most 48, and a code is at most 255 bits long.
constexpr std::uint64_t kWindowSlackBits = kWindowSlack * 8;
static_assert(kWindowSlackBits >= 128 + 48 + 255);

// Copies the stored form's bytes 4 .. byte_len - 1 to the sink.
DecodeStatus CopyStored(BlockSource& source, BlockSource::Window window, std::uint64_t stop,
                        DecodeSink& sink) {
  std::span<std::uint8_t> room;
  try {
    room = sink.Start(stop - kStoredHeaderSize);
  } catch (const std::bad_alloc&) {
    return DecodeStatus::kOutOfMemory;
  }
  std::size_t used = 0;
  for (std::uint64_t at = kStoredHeaderSize; at < stop;) {
    if (at >= window.begin + window.bytes.size()) window = source.From(at);
    if (used == room.size()) {
      room = sink.Take(room);
      used = 0;
      if (room.empty()) throw std::logic_error("HE3 output bound exceeded");
    }
    const std::uint64_t window_end = window.begin + window.bytes.size();
    const auto take = static_cast<std::size_t>(
        std::min({stop - at, window_end - at, static_cast<std::uint64_t>(room.size() - used)}));
    std::memcpy(room.data() + used, window.bytes.data() + (at - window.begin), take);
    used += take;
    at += take;
  }
  sink.Finish(room.first(used));
  return DecodeStatus::kOk;
}

// The output room the walk writes to, and what was handed on before it.
class OutputRoom {
 public:
  OutputRoom(DecodeSink& sink, std::uint64_t expected) : sink_(sink), expected_(expected) {}

  // False when the sink cannot give the room (run-time error 7).
  bool Start(std::uint64_t bound) {
    try {
      Reset(sink_.Start(bound));
    } catch (const std::bad_alloc&) {
      return false;
    }
    return true;
  }
  // Hands the full room on and takes the next.
  void Next() {
    const std::span<std::uint8_t> full(begin_, room_end);
    sum_ ^= XorBytes(full);
    handed_on_ += full.size();
    Reset(sink_.Take(full));
    // Guaranteed by the output bound; checked because it guards a write.
    if (begin_ == room_end) throw std::logic_error("HE3 output bound exceeded");
  }
  std::uint64_t produced() const { return handed_on_ + static_cast<std::uint64_t>(out - begin_); }
  bool complete() const { return produced() == expected_; }
  // The bytes written to the current room, which are not yet handed on.
  std::span<const std::uint8_t> pending() const { return {begin_, out}; }
  std::uint8_t sum() const { return sum_; }

  std::uint8_t* out = nullptr;        // the next byte to write
  std::uint8_t* room_end = nullptr;   // end of the room
  std::uint8_t* limit = nullptr;      // end of the room or where the output is complete

 private:
  void Reset(std::span<std::uint8_t> room) {
    begin_ = out = room.data();
    room_end = begin_ + room.size();
    const std::uint64_t to_goal = expected_ - handed_on_;
    limit = to_goal < room.size() ? begin_ + to_goal : room_end;
  }

  DecodeSink& sink_;
  const std::uint64_t expected_;
  std::uint8_t* begin_ = nullptr;
  std::uint64_t handed_on_ = 0;
  std::uint8_t sum_ = 0;
};

// The whole block as one window.
class MemorySource final : public BlockSource {
 public:
  explicit MemorySource(std::span<const std::uint8_t> data) : data_(data) {}
  std::uint64_t Size() const override { return data_.size(); }
  Window First() override { return {data_, 0, true}; }
  Window From(std::uint64_t) override { throw std::logic_error("HE3 memory block has one window"); }

 private:
  std::span<const std::uint8_t> data_;
};

// One room sized to the bound.
class MemorySink final : public DecodeSink {
 public:
  explicit MemorySink(std::vector<std::uint8_t>& bytes) : bytes_(bytes) {}
  std::span<std::uint8_t> Start(std::uint64_t bound) override {
    if (bound > std::numeric_limits<std::size_t>::max()) throw std::bad_alloc();
    bytes_.resize(static_cast<std::size_t>(bound));
    return bytes_;
  }
  std::span<std::uint8_t> Take(std::span<const std::uint8_t>) override { return {}; }
  void Finish(std::span<const std::uint8_t> written) override { bytes_.resize(written.size()); }

 private:
  std::vector<std::uint8_t>& bytes_;
};

}  // namespace

DecodeStatus Decode(BlockSource& source, std::int64_t byte_len, DecodeSink& sink,
                    ProgressFn progress_fn) {
  const std::uint64_t avail = source.Size();
  const BlockSource::Window first = source.First();
  const std::uint8_t* base = first.bytes.data();  // the head lies inside the first window
  if (avail < kStoredHeaderSize) return DecodeStatus::kSubscriptOutOfRange;
  // Data that does not start with H, E, ?, CR is refused outright rather than read as a
  // block: it was not written by an encoder (every block carries the header), and reading
  // it anyway would turn arbitrary data into a checksum error or, when its length field
  // happens to be 0, into a silent "success".
  if (base[0] != kMagicH || base[1] != kMagicE || base[3] != kMagicCr) {
    return DecodeStatus::kBadIdentification;
  }
  if (base[2] == kVersionStored) {
    // A declared length within the header gives no bytes.
    const std::uint64_t stop = std::max<std::int64_t>(byte_len, kStoredHeaderSize);
    if (stop > avail) return DecodeStatus::kSubscriptOutOfRange;
    return CopyStored(source, first, stop, sink);
  }
  if (base[2] != kVersionHe3) return DecodeStatus::kBadIdentification;
  if (avail < kTableOffset) return DecodeStatus::kSubscriptOutOfRange;

  const std::uint8_t checksum = base[kChecksumOffset];
  const auto expected = static_cast<std::int32_t>(
      std::uint32_t{base[kLengthOffset]} | std::uint32_t{base[kLengthOffset + 1]} << 8 |
      std::uint32_t{base[kLengthOffset + 2]} << 16 | std::uint32_t{base[kLengthOffset + 3]} << 24);
  const auto entries = static_cast<std::int16_t>(
      std::uint16_t{base[kEntryCountOffset]} |
      static_cast<std::uint16_t>(std::uint16_t{base[kEntryCountOffset + 1]} << 8));
  if (expected == 0) return DecodeStatus::kUnchanged;
  // A negative length cannot size a result, nor a negative count a table.
  if (expected < 0 || entries < 0) return DecodeStatus::kSubscriptOutOfRange;

  const std::size_t table_end = kTableOffset + kEntrySize * static_cast<std::size_t>(entries);
  if (table_end > avail) return DecodeStatus::kSubscriptOutOfRange;
  // Later entries for the same value replace earlier ones.
  std::array<std::uint8_t, 256> lengths{};
  for (std::size_t at = kTableOffset; at < table_end; at += kEntrySize) {
    lengths[base[at]] = base[at + 1];
  }
  std::uint64_t code_bits = 0;
  for (int v = 0; v < 256; ++v) code_bits += lengths[v];
  const std::uint64_t body_start = table_end + (code_bits + 7) / 8;
  if (body_start > avail) return DecodeStatus::kSubscriptOutOfRange;
  static_assert(kHeadWindow >= kTableOffset + kEntrySize * 32767 + (256 * kMaxCodeLength + 7) / 8);

  // Codes are read in ascending value order and each is followed from the root, adding
  // nodes where a branch is missing; a path needing node 512 or beyond is malformed.
  DecoderTree tree;
  tree.count = 1;
  tree.child[0] = {-1, -1};
  tree.symbol[0] = -1;
  std::uint64_t bitpos = table_end * 8;
  for (int v = 0; v < 256; ++v) {
    int node = 0;
    for (unsigned k = 0; k < lengths[v]; ++k, ++bitpos) {
      const unsigned bit = (base[bitpos >> 3] >> (bitpos & 7)) & 1u;
      if (tree.child[node][bit] < 0) {
        if (tree.count == kMaxNodes) return DecodeStatus::kSubscriptOutOfRange;
        const int fresh = tree.count++;
        tree.child[fresh] = {-1, -1};
        tree.symbol[fresh] = -1;
        tree.child[node][bit] = static_cast<std::int16_t>(fresh);
      }
      node = tree.child[node][bit];
    }
    // A length of 0 marks the root, which the walk never tests.
    tree.symbol[node] = static_cast<std::int16_t>(v);
  }

  ProgressTracker progress(progress_fn);
  // The walk reads body positions body_start .. byte_len - 1; those past the data fail
  // when the walk gets there.
  const std::uint64_t end_byte =
      byte_len <= static_cast<std::int64_t>(body_start)
          ? body_start
          : std::min<std::uint64_t>(static_cast<std::uint64_t>(byte_len), avail);
  const bool data_short = byte_len > static_cast<std::int64_t>(avail);
  const std::uint64_t end_bit = end_byte * 8;
  bitpos = body_start * 8;

  // Every symbol takes at least the shallowest symbol's depth in bits, which bounds the
  // output by what the body can hold; the length field alone is never trusted.
  const int min_depth = MinSymbolDepth(tree);
  std::uint64_t capacity = 0;
  if (min_depth > 0) capacity = (end_bit - bitpos) / static_cast<unsigned>(min_depth);
  capacity = std::min<std::uint64_t>(capacity, static_cast<std::uint64_t>(expected));
  OutputRoom output(sink, static_cast<std::uint64_t>(expected));
  if (!output.Start(capacity)) return DecodeStatus::kOutOfMemory;

  std::array<std::uint32_t, kLookupSize> single;
  FillLookup(tree, 0, 0, 0, single.data());
  std::array<std::uint32_t, kLookupSize> lookup;
  FillPairLookup(single.data(), lookup.data());

  // Progress: after the whole byte at 1-based block position P (P a multiple of 10000), a
  // value is reported unless the walk ended inside that byte. RaiseUpTo(x) reports every
  // such P whose last bit lies before bit x, where x is the bit at which the walk ended
  // (or, while it goes on, the next bit to read).
  const double divisor = static_cast<double>(byte_len);
  std::uint64_t next_mark = (body_start / kProgressStep + 1) * kProgressStep;
  auto raise_up_to = [&](std::uint64_t x) {
    while (next_mark * 8 <= x) {
      progress.Report(static_cast<double>(next_mark) / divisor * kDecodeBodyShare);
      next_mark += kProgressStep;
    }
  };

  /* Body walk, in segments that end at the next progress mark or near the end of the
   * window being read:
   *  1. While 128 readable bits remain, top up a 64-bit buffer and make four lookups of
   *     12 bits in it (48 of the 56 or more bits a refill provides), each giving one or
   *     two symbols.
   *  2. An entry for a longer code continues bit by bit through the tree; an entry for a
   *     missing branch ends the walk with error 9 at the bit where the branch is missing.
   *  3. Near the end of the body every symbol is walked bit by bit, which also handles a
   *     code cut off by the end of the data; so are the last few symbols of each output
   *     room.
   *  4. The walk ends at once when the output reaches the length field.
   * A segment may run a few symbols past its mark; the marks are reported from the bit
   * position afterwards, which gives the same values. */
  enum class End : std::uint8_t { kNone, kComplete, kMissing, kRanOut } end = End::kNone;
  std::uint64_t end_at = 0;
  // Ends the walk after a bit-by-bit step; returns false when the walk goes on.
  auto finish_walk = [&](Walk walk, std::uint8_t symbol) {
    if (walk == Walk::kNoBranch) {
      end = End::kMissing;
      end_at = bitpos - 1;
      return true;
    }
    if (walk == Walk::kEndOfData) {
      end = End::kRanOut;
      end_at = end_bit;
      return true;
    }
    if (output.out == output.room_end) output.Next();
    *output.out++ = symbol;
    if (output.complete()) {
      end = End::kComplete;
      end_at = bitpos - 1;
      return true;
    }
    return false;
  };
  View view(first);
  auto refill_bit = [&] {
    return view.last ? end_bit : (view.end - kWindowSlack) * 8;
  };
  while (end == End::kNone) {
    if (!view.last && bitpos >= refill_bit()) view = View(source.From(bitpos >> 3));
    const std::uint64_t segment_end = std::min({next_mark * 8, end_bit, refill_bit()});
    const std::uint64_t readable_end = std::min(end_bit, view.end * 8);
    while (bitpos < segment_end) {
      std::uint8_t symbol = 0;
      // Room for nine more symbols means four lookups (eight symbols) cannot reach the
      // length field nor the end of the room, so the fast path needs no end test.
      if (bitpos + 128 <= readable_end && output.limit - output.out > 8) {
        // Refilling reader: `bits` holds `count` unread bits at its bottom and the next load
        // comes from `next`. A refill tops it up to 56..63 bits; its load address is known
        // one refill ahead, so the load overlaps the lookups before it. Bits past `count`
        // repeat data already there, so the OR of the overlapping load leaves them intact.
        const std::uint64_t fast_end = std::min(segment_end, readable_end - 128);
        const std::uint8_t* next = view.At(bitpos >> 3);
        std::uint8_t* out = output.out;
        std::uint8_t* const out_stop = output.limit - 8;
        std::uint64_t bits = 0;
        unsigned count = 0;
        auto refill = [&] {
          bits |= Load64(next) << count;
          next += (63 - count) >> 3;
          count |= 56;
        };
        refill();
        bits >>= (bitpos & 7);
        count -= static_cast<unsigned>(bitpos & 7);
        std::uint32_t e = 0;
        bool special = false;
        for (;;) {
          refill();
          int k = 0;
          for (; k < 4; ++k) {
            e = lookup[bits & (kLookupSize - 1)];
            const std::uint32_t symbols = (e >> kPairCountShift) & 3u;
            if (symbols == 0) break;
            Store16(out, e >> 8);
            out += symbols;
            bits >>= (e & 63u);
            count -= e & 63u;
          }
          bitpos = (view.begin + static_cast<std::uint64_t>(next - view.data)) * 8 - count;
          if (k < 4) {
            special = true;
            break;
          }
          if (bitpos >= fast_end || out >= out_stop) break;
        }
        output.out = out;
        if (!special) continue;
        if (e & kPairMissing) {
          end = End::kMissing;
          end_at = bitpos + (e & 63u) - 1;
          break;
        }
        // The first kLookupBits bits lead to an inner node; go on from there bit by bit.
        bitpos += kLookupBits;
        const Walk walk = WalkFrom(tree, static_cast<int>((e >> 8) & 0xFFFF), view, bitpos, end_bit, symbol);
        if (finish_walk(walk, symbol)) break;
      } else {
        const Walk walk = WalkFrom(tree, 0, view, bitpos, end_bit, symbol);
        if (finish_walk(walk, symbol)) break;
      }
    }
    if (end != End::kNone) break;
    raise_up_to(bitpos);
    if (bitpos >= end_bit) {
      end = End::kRanOut;
      end_at = end_bit;
    }
  }
  raise_up_to(end_at);
  // Running out is an error only where the body goes on past the data.
  if (end == End::kMissing || (end == End::kRanOut && data_short)) {
    return DecodeStatus::kSubscriptOutOfRange;
  }

  // Verifying: the sum of what is still in the room, and its progress values, which depend
  // only on the length produced.
  const std::uint8_t sum = output.sum() ^ XorBytes(output.pending());
  const std::uint64_t produced = output.produced();
  const double produced_total = static_cast<double>(produced);
  for (std::uint64_t step = 0; step < produced; step += kProgressStep) {
    progress.Report(static_cast<double>(step) / produced_total * kVerifyShare + kDecodeBodyShare);
  }
  if (sum != checksum) return DecodeStatus::kChecksumMismatch;
  sink.Finish(output.pending());
  progress.Report(100);
  return DecodeStatus::kOk;
}

DecodeResult Decode(std::span<const std::uint8_t> data, std::int64_t byte_len,
                    ProgressFn progress) {
  MemorySource source(data);
  DecodeResult result;
  MemorySink sink(result.bytes);
  result.status = Decode(source, byte_len, sink, progress);
  if (result.status != DecodeStatus::kOk) result.bytes.clear();
  return result;
}

BlockInfo Inspect(std::span<const std::uint8_t> block) {
  BlockInfo info;
  if (block.size() < kStoredHeaderSize) {
    info.kind = BlockInfo::Kind::kTruncated;
    return info;
  }
  if (block[0] != kMagicH || block[1] != kMagicE || block[3] != kMagicCr) return info;
  if (block[2] == kVersionStored) {
    info.kind = BlockInfo::Kind::kStored;
    info.stored_length = static_cast<std::int64_t>(block.size() - kStoredHeaderSize);
    return info;
  }
  if (block[2] != kVersionHe3) return info;
  if (block.size() < kTableOffset) {
    info.kind = BlockInfo::Kind::kTruncated;
    return info;
  }
  info.kind = BlockInfo::Kind::kHe3;
  info.checksum = block[kChecksumOffset];
  info.stored_length = static_cast<std::int32_t>(
      std::uint32_t{block[5]} | std::uint32_t{block[6]} << 8 | std::uint32_t{block[7]} << 16 |
      std::uint32_t{block[8]} << 24);
  info.entries = static_cast<std::int16_t>(block[9] | block[10] << 8);
  return info;
}

}  // namespace narwick::huffman
