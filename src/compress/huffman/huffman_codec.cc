// HE3 encoder and decoder. The encoder follows the format's construction exactly (leaf
// order, merge scan, codes read from the root), so its blocks match existing ones byte for byte;
// speed comes from how the passes run, not from a different code.
#include "compress/huffman/huffman_codec.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>

#include "compress/huffman/he3_format.h"

namespace narwick::huffman {
namespace {

// Remembers the last value reported in one call and reports only changes. Values are
// rounded to the nearest whole number, ties to even (the default floating rounding mode),
// as an assignment to an Integer does.
class ProgressTracker {
 public:
  explicit ProgressTracker(ProgressFn sink) : sink_(sink) {}
  void Report(double value) {
    auto percent = static_cast<std::int16_t>(std::nearbyint(value));
    if (percent != last_) {
      last_ = percent;
      sink_(percent);
    }
  }

 private:
  ProgressFn sink_;
  std::int16_t last_ = 0;
};

inline std::uint64_t Load64(const std::uint8_t* p) {
  std::uint64_t v;
  std::memcpy(&v, p, sizeof v);
  return v;  // little-endian hosts only, as the whole library assumes
}

inline void Store64(std::uint8_t* p, std::uint64_t v) { std::memcpy(p, &v, sizeof v); }

std::vector<std::uint8_t> StoredForm(std::span<const std::uint8_t> input) {
  std::vector<std::uint8_t> out(kStoredHeaderSize + input.size());
  out[0] = kMagicH;
  out[1] = kMagicE;
  out[2] = kVersionStored;
  out[3] = kMagicCr;
  if (!input.empty()) std::memcpy(out.data() + kStoredHeaderSize, input.data(), input.size());
  return out;
}

// ---------------------------------------------------------------------------------------
// Encoder

struct EncoderNode {
  std::int16_t parent;
  std::int16_t child_one;
  std::int16_t child_zero;
  std::int16_t symbol;
  std::uint32_t weight;  // the weights sum to the input length, below 2^31
};

// Counts byte values in four interleaved tables so that runs of one value do not stall on
// the same counter, in steps of 1000 bytes so that each step can report its progress.
void CountSymbols(std::span<const std::uint8_t> input, std::array<std::uint32_t, 256>& counts,
                  ProgressTracker& progress) {
  std::array<std::array<std::uint32_t, 256>, 4> tables{};
  const std::uint8_t* p = input.data();
  const std::size_t n = input.size();
  const double total = static_cast<double>(n);
  for (std::size_t step = 0; step < n; step += kCountProgressStep) {
    progress.Report(static_cast<double>(step) / total * kCountShare);
    const std::size_t end = std::min(n, step + kCountProgressStep);
    std::size_t i = step;
    for (; i + 8 <= end; i += 8) {
      const std::uint64_t w = Load64(p + i);
      ++tables[0][w & 0xFF];
      ++tables[1][(w >> 8) & 0xFF];
      ++tables[2][(w >> 16) & 0xFF];
      ++tables[3][(w >> 24) & 0xFF];
      ++tables[0][(w >> 32) & 0xFF];
      ++tables[1][(w >> 40) & 0xFF];
      ++tables[2][(w >> 48) & 0xFF];
      ++tables[3][w >> 56];
    }
    for (; i < end; ++i) ++tables[0][p[i]];
  }
  for (int v = 0; v < 256; ++v) {
    counts[v] = tables[0][v] + tables[1][v] + tables[2][v] + tables[3][v];
  }
}

struct CodeTable {
  // Code of each byte value as a bit pattern, first bit in bit 0 (the order in which the
  // bits are packed), and its length. Lengths stay below 57: a Huffman tree with a leaf at
  // depth d weighs at least Fibonacci(d + 2), and the input is shorter than 2^31 bytes,
  // which bounds every depth by 45.
  std::array<std::uint64_t, 256> bits{};
  std::array<std::uint8_t, 256> length{};
  int max_length = 0;
};

// Builds the tree by the fixed construction and reads each leaf's code from the root.
// The merge scan looks at parentless nodes in index order and keeps two picks; every
// comparison is strict, so among equal weights the lower index stays picked, and the picks
// are not ordered by weight (first may be the heavier). Keeping the parentless nodes in a
// list in index order visits the same nodes in the same order as scanning all of them.
void BuildCodes(const std::array<std::uint32_t, 256>& counts, CodeTable& codes) {
  std::array<EncoderNode, kMaxNodes> nodes;
  std::array<std::int16_t, 256> open;  // parentless nodes, ascending index
  int node_count = 0;
  for (int v = 0; v < 256; ++v) {
    if (counts[v] == 0) continue;
    nodes[node_count] = {-1, -1, -1, static_cast<std::int16_t>(v), counts[v]};
    open[node_count] = static_cast<std::int16_t>(node_count);
    ++node_count;
  }
  int open_count = node_count;
  const int leaves = node_count;
  for (int merge = 1; merge < leaves; ++merge) {
    int first = -1;   // positions in `open`
    int second = -1;
    for (int k = 0; k < open_count; ++k) {
      const std::uint32_t w = nodes[open[k]].weight;
      if (first < 0) {
        first = k;
      } else if (second < 0) {
        second = k;
      } else if (w < nodes[open[first]].weight) {
        if (w < nodes[open[second]].weight) {
          if (nodes[open[first]].weight >= nodes[open[second]].weight) {
            first = k;
          } else {
            second = k;
          }
        } else {
          first = k;
        }
      } else if (w < nodes[open[second]].weight) {
        second = k;
      }
    }
    const std::int16_t a = open[first];
    const std::int16_t b = open[second];
    const auto index = static_cast<std::int16_t>(node_count);
    nodes[node_count++] = {-1, b, a, -1, nodes[a].weight + nodes[b].weight};
    nodes[a].parent = index;
    nodes[b].parent = index;
    // Drop both picks, keep the order, append the new node (it has the highest index).
    int w = 0;
    for (int k = 0; k < open_count; ++k) {
      if (k != first && k != second) open[w++] = open[k];
    }
    open[w++] = index;
    open_count = w;
  }

  // Walk down from the root (the last node made) with an explicit stack.
  struct Pending {
    std::int16_t node;
    std::uint8_t depth;
    std::uint64_t bits;
  };
  std::array<Pending, kMaxNodes> stack;
  int top = 0;
  stack[top++] = {static_cast<std::int16_t>(node_count - 1), 0, 0};
  while (top > 0) {
    const Pending at = stack[--top];
    const EncoderNode& node = nodes[at.node];
    if (node.symbol >= 0) {
      codes.bits[node.symbol] = at.bits;
      codes.length[node.symbol] = at.depth;
      codes.max_length = std::max<int>(codes.max_length, at.depth);
      continue;
    }
    if (at.depth >= 56) throw std::logic_error("Huffman code longer than 56 bits");
    const auto depth = static_cast<std::uint8_t>(at.depth + 1);
    stack[top++] = {node.child_zero, depth, at.bits};
    stack[top++] = {node.child_one, depth, at.bits | (std::uint64_t{1} << at.depth)};
  }
}

// Appends codes to a byte buffer, least significant bit first. Up to 56 bits may be added
// between two flushes; a flush stores eight bytes and advances by the whole bytes filled,
// so the buffer needs eight bytes of slack past the last byte written.
class BitWriter {
 public:
  explicit BitWriter(std::uint8_t* out) : out_(out) {}
  void Add(std::uint64_t bits, unsigned count) {
    acc_ |= bits << used_;
    used_ += count;
  }
  void Flush() {
    Store64(out_, acc_);
    out_ += used_ >> 3;
    acc_ >>= (used_ & ~7u);
    used_ &= 7;
  }
  // Writes the partly filled byte, if any; the next bits start on a byte boundary.
  void Align() {
    Flush();
    if (used_ != 0) {
      ++out_;
      acc_ = 0;
      used_ = 0;
    }
  }
  std::uint8_t* position() const { return out_; }

  // Hot loop of the body: K codes of at most 56 / K bits each between two flushes.
  template <int K>
  void AddSymbols(const std::uint8_t* in, std::size_t n, const std::uint64_t* packed) {
    std::uint64_t acc = acc_;
    unsigned used = used_;
    std::uint8_t* out = out_;
    std::size_t i = 0;
    // Each table entry is (code << 8) | length, so one load serves both.
    for (; i + K <= n; i += K) {
      for (int k = 0; k < K; ++k) {
        const std::uint64_t e = packed[in[i + k]];
        acc |= (e >> 8) << used;
        used += static_cast<unsigned>(e & 0xFF);
      }
      Store64(out, acc);
      out += used >> 3;
      acc >>= (used & ~7u);
      used &= 7;
    }
    for (; i < n; ++i) {
      const std::uint64_t e = packed[in[i]];
      acc |= (e >> 8) << used;
      used += static_cast<unsigned>(e & 0xFF);
      Store64(out, acc);
      out += used >> 3;
      acc >>= (used & ~7u);
      used &= 7;
    }
    acc_ = acc;
    used_ = used;
    out_ = out;
  }

 private:
  std::uint8_t* out_;
  std::uint64_t acc_ = 0;
  unsigned used_ = 0;
};

template <int K>
void WriteBody(std::span<const std::uint8_t> input, const std::uint64_t* packed, BitWriter& writer,
               ProgressTracker& progress) {
  const std::size_t n = input.size();
  const double total = static_cast<double>(n);
  for (std::size_t step = 0; step < n; step += kProgressStep) {
    const std::size_t end = std::min(n, step + kProgressStep);
    writer.AddSymbols<K>(input.data() + step, end - step, packed);
    // The value for position `step` follows its bits; computed left to right as written.
    progress.Report(static_cast<double>(step) / total * kBodyShare + kChecksumShare +
                    kCountShare);
  }
}

// ---------------------------------------------------------------------------------------
// Decoder

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

enum class Walk : std::uint8_t { kFoundSymbol, kNoBranch, kEndOfData };

// Bit-by-bit walk from `node` until a symbol, a missing child (the failing bit is the one
// before `bitpos` on return) or the end of the readable body.
inline Walk WalkFrom(const DecoderTree& tree, int node, const std::uint8_t* data,
                     std::uint64_t& bitpos, std::uint64_t end_bit, std::uint8_t& symbol) {
  for (;;) {
    if (bitpos == end_bit) return Walk::kEndOfData;
    const unsigned bit = (data[bitpos >> 3] >> (bitpos & 7)) & 1u;
    ++bitpos;
    node = tree.child[node][bit];
    if (node < 0) return Walk::kNoBranch;
    if (tree.symbol[node] >= 0) {
      symbol = static_cast<std::uint8_t>(tree.symbol[node]);
      return Walk::kFoundSymbol;
    }
  }
}

DecodeResult Fail(DecodeStatus status) { return DecodeResult{status, {}}; }

}  // namespace

// ---------------------------------------------------------------------------------------

std::vector<std::uint8_t> Encode(std::span<const std::uint8_t> input, ProgressFn progress_fn) {
  if (input.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
    throw std::length_error("HE3 input longer than 2^31 - 1 bytes");
  }
  if (input.empty()) return StoredForm(input);
  ProgressTracker progress(progress_fn);
  const std::size_t n = input.size();
  const double total = static_cast<double>(n);

  std::array<std::uint32_t, 256> counts;
  CountSymbols(input, counts, progress);
  CodeTable codes;
  BuildCodes(counts, codes);

  // The stored form wins when the body alone would be longer than the input (header and
  // table are not counted) or empty (one distinct value).
  std::uint64_t body_bits = 0;
  std::uint64_t code_bits = 0;
  int entries = 0;
  std::uint8_t checksum = 0;
  for (int v = 0; v < 256; ++v) {
    body_bits += std::uint64_t{counts[v]} * codes.length[v];
    if (codes.length[v] > 0) {
      code_bits += codes.length[v];
      ++entries;
    }
    // The exclusive-or of all bytes is that of the values that occur an odd number of times.
    if (counts[v] & 1u) checksum ^= static_cast<std::uint8_t>(v);
  }
  const std::uint64_t body_bytes = (body_bits + 7) / 8;
  if (body_bytes > n || body_bytes == 0) return StoredForm(input);

  // The checksum pass is folded into counting; its progress values depend only on n.
  for (std::size_t i = 0; i < n; i += kProgressStep) {
    progress.Report(static_cast<double>(i) / total * kChecksumShare + kCountShare);
  }

  const std::size_t table_end = kTableOffset + kEntrySize * static_cast<std::size_t>(entries);
  const std::size_t size = table_end + (code_bits + 7) / 8 + body_bytes;
  std::vector<std::uint8_t> out(size + 8);
  out[0] = kMagicH;
  out[1] = kMagicE;
  out[2] = kVersionHe3;
  out[3] = kMagicCr;
  out[kChecksumOffset] = checksum;
  const auto length = static_cast<std::uint32_t>(n);
  for (int k = 0; k < 4; ++k) out[kLengthOffset + k] = static_cast<std::uint8_t>(length >> (8 * k));
  out[kEntryCountOffset] = static_cast<std::uint8_t>(entries);
  out[kEntryCountOffset + 1] = static_cast<std::uint8_t>(entries >> 8);
  std::size_t at = kTableOffset;
  for (int v = 0; v < 256; ++v) {
    if (codes.length[v] == 0) continue;
    out[at++] = static_cast<std::uint8_t>(v);
    out[at++] = codes.length[v];
  }

  BitWriter writer(out.data() + table_end);
  for (int v = 0; v < 256; ++v) {
    if (codes.length[v] == 0) continue;
    writer.Add(codes.bits[v], codes.length[v]);
    writer.Flush();
  }
  writer.Align();

  std::array<std::uint64_t, 256> packed;
  for (int v = 0; v < 256; ++v) packed[v] = (codes.bits[v] << 8) | codes.length[v];
  if (codes.max_length <= 14) {
    WriteBody<4>(input, packed.data(), writer, progress);
  } else if (codes.max_length <= 18) {
    WriteBody<3>(input, packed.data(), writer, progress);
  } else if (codes.max_length <= 28) {
    WriteBody<2>(input, packed.data(), writer, progress);
  } else {
    WriteBody<1>(input, packed.data(), writer, progress);
  }
  writer.Align();
  out.resize(size);
  progress.Report(100);
  return out;
}

DecodeResult Decode(std::span<const std::uint8_t> data, std::int64_t byte_len,
                    ProgressFn progress_fn) {
  const std::size_t avail = data.size();
  const std::uint8_t* base = data.data();
  if (avail < kStoredHeaderSize) return Fail(DecodeStatus::kSubscriptOutOfRange);
  // Data that does not start with H, E, ?, CR is refused outright rather than read as a
  // block: it was not written by an encoder (every block carries the header), and reading
  // it anyway would turn arbitrary data into a checksum error or, when its length field
  // happens to be 0, into a silent "success".
  if (base[0] != kMagicH || base[1] != kMagicE || base[3] != kMagicCr) {
    return Fail(DecodeStatus::kBadIdentification);
  }
  if (base[2] == kVersionStored) {
    DecodeResult result;
    if (byte_len <= static_cast<std::int64_t>(kStoredHeaderSize)) return result;
    if (static_cast<std::uint64_t>(byte_len) > avail) {
      return Fail(DecodeStatus::kSubscriptOutOfRange);
    }
    try {
      result.bytes.assign(base + kStoredHeaderSize, base + byte_len);
    } catch (const std::bad_alloc&) {
      return Fail(DecodeStatus::kOutOfMemory);
    }
    return result;
  }
  if (base[2] != kVersionHe3) return Fail(DecodeStatus::kBadIdentification);
  if (avail < kTableOffset) return Fail(DecodeStatus::kSubscriptOutOfRange);

  const std::uint8_t checksum = base[kChecksumOffset];
  const auto expected = static_cast<std::int32_t>(
      std::uint32_t{base[kLengthOffset]} | std::uint32_t{base[kLengthOffset + 1]} << 8 |
      std::uint32_t{base[kLengthOffset + 2]} << 16 | std::uint32_t{base[kLengthOffset + 3]} << 24);
  const auto entries = static_cast<std::int16_t>(
      std::uint16_t{base[kEntryCountOffset]} |
      static_cast<std::uint16_t>(std::uint16_t{base[kEntryCountOffset + 1]} << 8));
  if (expected == 0) return Fail(DecodeStatus::kUnchanged);
  // A negative length cannot size a result, nor a negative count a table.
  if (expected < 0 || entries < 0) return Fail(DecodeStatus::kSubscriptOutOfRange);

  const std::size_t table_end = kTableOffset + kEntrySize * static_cast<std::size_t>(entries);
  if (table_end > avail) return Fail(DecodeStatus::kSubscriptOutOfRange);
  // Later entries for the same value replace earlier ones.
  std::array<std::uint8_t, 256> lengths{};
  for (std::size_t at = kTableOffset; at < table_end; at += kEntrySize) {
    lengths[base[at]] = base[at + 1];
  }
  std::uint64_t code_bits = 0;
  for (int v = 0; v < 256; ++v) code_bits += lengths[v];
  const std::uint64_t body_start = table_end + (code_bits + 7) / 8;
  if (body_start > avail) return Fail(DecodeStatus::kSubscriptOutOfRange);

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
        if (tree.count == kMaxNodes) return Fail(DecodeStatus::kSubscriptOutOfRange);
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
  DecodeResult result;
  try {
    result.bytes.resize(capacity);
  } catch (const std::bad_alloc&) {
    return Fail(DecodeStatus::kOutOfMemory);
  }
  std::uint8_t* const out_begin = result.bytes.data();
  std::uint8_t* const out_end = out_begin + capacity;
  std::uint8_t* out = out_begin;
  const std::uint8_t* const out_goal = out_begin + expected;  // may lie past out_end

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

  /* Body walk, in segments that end at the next progress mark:
   *  1. While 128 readable bits remain, top up a 64-bit buffer and make four lookups of
   *     12 bits in it (48 of the 56 or more bits a refill provides), each giving one or
   *     two symbols.
   *  2. An entry for a longer code continues bit by bit through the tree; an entry for a
   *     missing branch ends the walk with error 9 at the bit where the branch is missing.
   *  3. Near the end of the body every symbol is walked bit by bit, which also handles a
   *     code cut off by the end of the data.
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
    // Guaranteed by the capacity bound above; checked because it guards a write.
    if (out == out_end) throw std::logic_error("HE3 output bound exceeded");
    *out++ = symbol;
    if (out == out_goal) {
      end = End::kComplete;
      end_at = bitpos - 1;
      return true;
    }
    return false;
  };
  while (end == End::kNone) {
    const std::uint64_t segment_end = std::min(next_mark * 8, end_bit);
    while (bitpos < segment_end) {
      std::uint8_t symbol = 0;
      // Room for nine more symbols means four lookups (eight symbols) cannot reach the
      // length field, which lies at or past out_end, so the fast path needs no end test.
      if (bitpos + 128 <= end_bit && out_end - out > 8) {
        // Refilling reader: `bits` holds `count` unread bits at its bottom and the next load
        // comes from `next`. A refill tops it up to 56..63 bits; its load address is known
        // one refill ahead, so the load overlaps the lookups before it. Bits past `count`
        // repeat data already there, so the OR of the overlapping load leaves them intact.
        const std::uint64_t fast_end = std::min(segment_end, end_bit - 128);
        const std::uint8_t* next = base + (bitpos >> 3);
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
          bitpos = static_cast<std::uint64_t>(next - base) * 8 - count;
          if (k < 4) {
            special = true;
            break;
          }
          if (bitpos >= fast_end || out_end - out <= 8) break;
        }
        if (!special) continue;
        if (e & kPairMissing) {
          end = End::kMissing;
          end_at = bitpos + (e & 63u) - 1;
          break;
        }
        // The first kLookupBits bits lead to an inner node; go on from there bit by bit.
        bitpos += kLookupBits;
        const Walk walk = WalkFrom(tree, static_cast<int>((e >> 8) & 0xFFFF), base, bitpos, end_bit, symbol);
        if (finish_walk(walk, symbol)) break;
      } else {
        const Walk walk = WalkFrom(tree, 0, base, bitpos, end_bit, symbol);
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
    return Fail(DecodeStatus::kSubscriptOutOfRange);
  }

  const std::size_t produced = static_cast<std::size_t>(out - out_begin);
  const double produced_total = static_cast<double>(produced);
  std::uint8_t sum = 0;
  for (std::size_t step = 0; step < produced; step += kProgressStep) {
    progress.Report(static_cast<double>(step) / produced_total * kVerifyShare +
                    kDecodeBodyShare);
    const std::size_t stop = std::min(produced, step + kProgressStep);
    std::uint64_t wide = 0;
    std::size_t i = step;
    for (; i + 8 <= stop; i += 8) wide ^= Load64(out_begin + i);
    for (; i < stop; ++i) sum ^= out_begin[i];
    for (int s = 0; s < 64; s += 8) sum ^= static_cast<std::uint8_t>(wide >> s);
  }
  if (sum != checksum) return Fail(DecodeStatus::kChecksumMismatch);
  result.bytes.resize(produced);
  progress.Report(100);
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
