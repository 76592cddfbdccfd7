// HE3 encoder. It follows the format's construction exactly (leaf order, merge scan, codes
// read from the root), so its blocks match existing ones byte for byte; speed comes from how
// the passes run, not from a different code.
#include <algorithm>
#include <array>
#include <limits>
#include <stdexcept>

#include "compress/huffman/he3_common.h"
#include "compress/huffman/he3_format.h"
#include "compress/huffman/huffman_codec.h"

namespace narwick::huffman {
namespace {

using detail::Load64;
using detail::ProgressTracker;
using detail::Store64;

struct EncoderNode {
  std::int16_t parent;
  std::int16_t child_one;
  std::int16_t child_zero;
  std::int16_t symbol;
  std::uint32_t weight;  // the weights sum to the input length, below 2^31
};

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
  unsigned pending_bits() const { return used_; }
  // The partly filled byte, given up: the next bits start on a byte boundary.
  std::uint8_t TakePendingByte() {
    const auto byte = static_cast<std::uint8_t>(acc_);
    acc_ = 0;
    used_ = 0;
    return byte;
  }
  // Continues at `out`, where the partly filled byte (held in the accumulator) belongs.
  void Rebase(std::uint8_t* out) { out_ = out; }

  // Hot loop of the body: K codes of at most 56 / K bits each between two flushes.
  template <int K>
  void AddSymbols(const std::uint8_t* in, std::size_t n, const std::uint64_t* packed) {
    std::uint64_t acc = acc_;
    unsigned used = used_;
    std::uint8_t* out = out_;
    // Each table entry is (code << 8) | length, so one load serves both.
    auto add = [&](std::uint8_t symbol) {
      const std::uint64_t e = packed[symbol];
      acc |= (e >> 8) << used;
      used += static_cast<unsigned>(e & 0xFF);
    };
    auto store_whole_bytes = [&] {
      Store64(out, acc);
      out += used >> 3;
      acc >>= (used & ~7u);
      used &= 7;
    };
    std::size_t i = 0;
    for (; i + K <= n; i += K) {
      for (int k = 0; k < K; ++k) add(in[i + k]);
      store_whole_bytes();
    }
    for (; i < n; ++i) {
      add(in[i]);
      store_whole_bytes();
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

// Adds the codes of `chunk`, as many per flush as the longest code allows.
void AddBody(BitWriter& writer, std::span<const std::uint8_t> chunk, const CodeTable& codes,
             const std::array<std::uint64_t, 256>& packed) {
  const int longest = codes.max_length;
  if (longest <= 14) {
    writer.AddSymbols<4>(chunk.data(), chunk.size(), packed.data());
  } else if (longest <= 18) {
    writer.AddSymbols<3>(chunk.data(), chunk.size(), packed.data());
  } else if (longest <= 28) {
    writer.AddSymbols<2>(chunk.data(), chunk.size(), packed.data());
  } else {
    writer.AddSymbols<1>(chunk.data(), chunk.size(), packed.data());
  }
}

std::vector<std::uint8_t> StoredHeader() { return {kMagicH, kMagicE, kVersionStored, kMagicCr}; }

// Chunks the in-memory encoder hands to the streaming one: small enough for progress to
// move on a large input.
constexpr std::size_t kMemoryChunk = 1 << 16;

template <class F>
void ForEachChunk(std::span<const std::uint8_t> input, F&& f) {
  for (std::size_t at = 0; at < input.size(); at += kMemoryChunk) {
    f(input.subspan(at, std::min(kMemoryChunk, input.size() - at)));
  }
}

}  // namespace

struct Encoder::State {
  explicit State(std::uint64_t n, ProgressFn fn) : length(n), total(static_cast<double>(n)), progress(fn) {}

  const std::uint64_t length;
  const double total;
  ProgressTracker progress;
  std::uint64_t counted = 0;
  std::uint64_t encoded = 0;
  std::uint64_t next_body_mark = 0;  // the next multiple of kProgressStep not yet reported
  ByteTally counter;
  CodeTable codes;
  std::array<std::uint64_t, 256> packed{};  // (code << 8) | length, one load for both
  BitWriter writer{nullptr};
};

void ByteTally::Add(std::span<const std::uint8_t> bytes) {
  const std::uint8_t* p = bytes.data();
  const std::size_t n = bytes.size();
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    const std::uint64_t w = Load64(p + i);
    ++tables_[0][w & 0xFF];
    ++tables_[1][(w >> 8) & 0xFF];
    ++tables_[2][(w >> 16) & 0xFF];
    ++tables_[3][(w >> 24) & 0xFF];
    ++tables_[0][(w >> 32) & 0xFF];
    ++tables_[1][(w >> 40) & 0xFF];
    ++tables_[2][(w >> 48) & 0xFF];
    ++tables_[3][w >> 56];
  }
  for (; i < n; ++i) ++tables_[0][p[i]];
}

std::array<std::uint32_t, 256> ByteTally::Totals() const {
  std::array<std::uint32_t, 256> counts;
  for (int v = 0; v < 256; ++v) {
    counts[v] = tables_[0][v] + tables_[1][v] + tables_[2][v] + tables_[3][v];
  }
  return counts;
}

void ByteTally::Merge(const ByteTally& other) {
  for (std::size_t t = 0; t < tables_.size(); ++t) {
    for (int v = 0; v < 256; ++v) tables_[t][v] += other.tables_[t][v];
  }
}

Encoder::Encoder(std::uint64_t length, ProgressFn progress) {
  if (length > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) {
    throw std::length_error("HE3 input longer than 2^31 - 1 bytes");
  }
  state_ = std::make_unique<State>(length, progress);
}

Encoder::~Encoder() = default;

// The value for position p (a multiple of kCountProgressStep) is reported before byte p is
// counted, so a chunk is cut at those positions.
void Encoder::Count(std::span<const std::uint8_t> chunk) {
  State& s = *state_;
  std::size_t at = 0;
  while (at < chunk.size()) {
    const std::uint64_t into_step = s.counted % kCountProgressStep;
    if (into_step == 0) {
      s.progress.Report(static_cast<double>(s.counted) / s.total * kCountShare);
    }
    const std::size_t take = static_cast<std::size_t>(
        std::min<std::uint64_t>(chunk.size() - at, kCountProgressStep - into_step));
    s.counter.Add(chunk.subspan(at, take));
    at += take;
    s.counted += take;
  }
}

void Encoder::AddTally(const ByteTally& tally, std::uint64_t size) {
  State& s = *state_;
  const std::uint64_t end = s.counted + size;
  for (std::uint64_t mark = (s.counted + kCountProgressStep - 1) / kCountProgressStep * kCountProgressStep;
       mark < end; mark += kCountProgressStep) {
    s.progress.Report(static_cast<double>(mark) / s.total * kCountShare);
  }
  s.counter.Merge(tally);
  s.counted = end;
}

std::vector<std::uint8_t> Encoder::Head() {
  State& s = *state_;
  if (s.counted != s.length) throw std::logic_error("HE3 head asked for before the whole input was counted");
  stored_ = true;
  block_size_ = kStoredHeaderSize + s.length;
  if (s.length == 0) return StoredHeader();

  const std::array<std::uint32_t, 256> counts = s.counter.Totals();
  CodeTable& codes = s.codes;
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
  if (body_bytes > s.length || body_bytes == 0) return StoredHeader();
  stored_ = false;

  // The checksum pass is folded into counting; its progress values depend only on the length.
  for (std::uint64_t i = 0; i < s.length; i += kProgressStep) {
    s.progress.Report(static_cast<double>(i) / s.total * kChecksumShare + kCountShare);
  }

  const std::size_t table_end = kTableOffset + kEntrySize * static_cast<std::size_t>(entries);
  const std::size_t head_size = table_end + (code_bits + 7) / 8;
  block_size_ = head_size + body_bytes;
  std::vector<std::uint8_t> out(head_size + 8);
  out[0] = kMagicH;
  out[1] = kMagicE;
  out[2] = kVersionHe3;
  out[3] = kMagicCr;
  out[kChecksumOffset] = checksum;
  const auto length = static_cast<std::uint32_t>(s.length);
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
  out.resize(head_size);

  for (int v = 0; v < 256; ++v) s.packed[v] = (codes.bits[v] << 8) | codes.length[v];
  return out;
}

std::size_t Encoder::BodyRoom(std::size_t chunk_size) const {
  // Eight bytes of slack for the writer's last eight-byte store.
  return chunk_size / 8 * static_cast<std::size_t>(state_->codes.max_length) +
         static_cast<std::size_t>(state_->codes.max_length) + 16;
}

// The value for position p (a multiple of kProgressStep) follows the bits of bytes p to
// p + kProgressStep - 1 (or to the end); values are reported once a chunk covers them.
std::size_t Encoder::EncodeBody(std::span<const std::uint8_t> chunk, std::uint8_t* out) {
  State& s = *state_;
  if (stored_) throw std::logic_error("HE3 body asked for a stored block");
  s.writer.Rebase(out);
  AddBody(s.writer, chunk, s.codes, s.packed);
  TakeCoded(chunk.size());
  return static_cast<std::size_t>(s.writer.position() - out);
}

void Encoder::TakeCoded(std::uint64_t size) {
  State& s = *state_;
  s.encoded += size;
  while (s.next_body_mark < s.length &&
         (s.next_body_mark + kProgressStep <= s.encoded || s.encoded == s.length)) {
    s.progress.Report(static_cast<double>(s.next_body_mark) / s.total * kBodyShare +
                      kChecksumShare + kCountShare);
    s.next_body_mark += kProgressStep;
  }
}

std::uint64_t Encoder::BodyBitsBefore(const ByteTally& last_part) const {
  const State& s = *state_;
  const std::array<std::uint32_t, 256> all = s.counter.Totals();
  const std::array<std::uint32_t, 256> last = last_part.Totals();
  std::uint64_t bits = 0;
  for (int v = 0; v < 256; ++v) bits += std::uint64_t{all[v] - last[v]} * s.codes.length[v];
  return bits;
}

unsigned Encoder::pending_bits() const { return state_->writer.pending_bits(); }

void Encoder::JoinPart(std::uint64_t size, std::uint8_t first_byte, std::uint8_t* out) {
  out[0] = static_cast<std::uint8_t>(state_->writer.TakePendingByte() | first_byte);
  TakeCoded(size);
}

struct BodyPart::State {
  State(const Encoder::State& encoder, unsigned skip) : codes(encoder.codes), packed(encoder.packed) {
    writer.Add(0, skip);
  }
  const CodeTable& codes;
  const std::array<std::uint64_t, 256>& packed;
  BitWriter writer{nullptr};
};

BodyPart::BodyPart(const Encoder& encoder, std::uint64_t bits_before)
    : state_(std::make_unique<State>(*encoder.state_, static_cast<unsigned>(bits_before & 7))) {}

BodyPart::~BodyPart() = default;

std::size_t BodyPart::Encode(std::span<const std::uint8_t> chunk, std::uint8_t* out) {
  State& s = *state_;
  s.writer.Rebase(out);
  AddBody(s.writer, chunk, s.codes, s.packed);
  return static_cast<std::size_t>(s.writer.position() - out);
}

std::size_t BodyPart::Finish(std::uint8_t* out) {
  State& s = *state_;
  s.writer.Rebase(out);
  s.writer.Align();
  return static_cast<std::size_t>(s.writer.position() - out);
}

std::size_t Encoder::FinishBody(std::uint8_t* out) {
  State& s = *state_;
  s.writer.Rebase(out);
  s.writer.Align();
  s.progress.Report(100);
  return static_cast<std::size_t>(s.writer.position() - out);
}

std::vector<std::uint8_t> Encode(std::span<const std::uint8_t> input, ProgressFn progress) {
  Encoder encoder(input.size(), progress);
  ForEachChunk(input, [&](std::span<const std::uint8_t> chunk) { encoder.Count(chunk); });
  std::vector<std::uint8_t> out = encoder.Head();
  if (encoder.stored()) {
    out.insert(out.end(), input.begin(), input.end());
    return out;
  }
  std::size_t at = out.size();
  out.resize(encoder.block_size() + 8);
  // Each chunk's bits go straight to where they belong in the block.
  ForEachChunk(input, [&](std::span<const std::uint8_t> chunk) {
    at += encoder.EncodeBody(chunk, out.data() + at);
  });
  at += encoder.FinishBody(out.data() + at);
  out.resize(at);
  return out;
}

}  // namespace narwick::huffman
