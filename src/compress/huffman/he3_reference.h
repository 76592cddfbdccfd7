// Plain model of the HE3 codec for the tests and the benchmark, never built into the
// library: per-bit code arrays, bit-at-a-time writing, node-by-node decoding, every array
// access checked, each step in the order the format's construction prescribes. The fast
// codec must agree with it on blocks, progress values, results and failures.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <span>
#include <vector>

#include "compress/huffman/huffman_codec.h"

namespace narwick::huffman::reference {

struct Outcome {
  DecodeStatus status = DecodeStatus::kOk;
  std::vector<std::uint8_t> bytes;
  std::vector<std::int16_t> progress;  // every value reported, in order
};

namespace detail {

struct SubscriptError {};

struct HuffmanNode {
  std::int16_t parent = -1;
  std::int16_t child_one = -1;
  std::int16_t child_zero = -1;
  std::int16_t symbol = -1;
  std::int32_t weight = 0;
};

struct BitCode {
  std::uint8_t count = 0;
  std::vector<std::uint8_t> data;  // one element per bit, data[0] first
};

// Checked array with lower bound 0: an index outside it is error 9.
template <class T>
struct Checked {
  std::vector<T> items;
  T& operator()(std::int64_t i) {
    if (i < 0 || i >= static_cast<std::int64_t>(items.size())) throw SubscriptError{};
    return items[static_cast<std::size_t>(i)];
  }
};

struct Progress {
  std::vector<std::int16_t>* values;
  std::int16_t last = 0;
  void Raise(double v) {
    auto p = static_cast<std::int16_t>(std::nearbyint(v));
    if (p != last) {
      values->push_back(p);
      last = p;
    }
  }
};

constexpr std::array<std::uint8_t, 8> kBitMask = {1, 2, 4, 8, 16, 32, 64, 128};

struct BitAppender {
  std::vector<std::uint8_t>& out;
  std::uint8_t current = 0;
  int filled = 0;
  void Bit(std::uint8_t b) {
    if (b != 0) current = static_cast<std::uint8_t>(current | kBitMask[static_cast<std::size_t>(filled)]);
    ++filled;
    if (filled == 8) {
      out.push_back(current);
      current = 0;
      filled = 0;
    }
  }
  void Pad() {
    if (filled > 0) {
      out.push_back(current);
      current = 0;
      filled = 0;
    }
  }
};

}  // namespace detail

inline Outcome Encode(std::span<const std::uint8_t> input) {
  using namespace detail;
  Outcome r;
  Progress progress{&r.progress};
  const auto byte_len = static_cast<std::int64_t>(input.size());
  if (byte_len == 0) {
    r.bytes = {0x48, 0x45, 0x30, 0x0D};
    return r;
  }
  std::array<std::int32_t, 256> symbol_count{};
  for (std::int64_t i = 0; i < byte_len; ++i) {
    ++symbol_count[input[static_cast<std::size_t>(i)]];
    if (i % 1000 == 0) progress.Raise(static_cast<double>(i) / static_cast<double>(byte_len) * 7);
  }
  Checked<HuffmanNode> nodes{std::vector<HuffmanNode>(512)};
  int count = 0;
  for (int v = 0; v < 256; ++v) {
    if (symbol_count[v] > 0) {
      HuffmanNode& leaf = nodes(count++);
      leaf.symbol = static_cast<std::int16_t>(v);
      leaf.weight = symbol_count[v];
    }
  }
  const int leaves = count;
  for (int m = 0; m < leaves - 1; ++m) {
    int first = -1;
    int second = -1;
    for (int j = 0; j < count; ++j) {
      if (nodes(j).parent != -1) continue;
      const std::int32_t w = nodes(j).weight;
      if (first == -1) {
        first = j;
      } else if (second == -1) {
        second = j;
      } else if (w < nodes(first).weight) {
        if (w < nodes(second).weight) {
          if (nodes(first).weight > nodes(second).weight) {
            first = j;
          } else if (nodes(second).weight > nodes(first).weight) {
            second = j;
          } else {
            first = j;
          }
        } else {
          first = j;
        }
      } else if (w < nodes(second).weight) {
        second = j;
      }
    }
    HuffmanNode& joined = nodes(count);
    joined.weight = nodes(first).weight + nodes(second).weight;
    joined.child_zero = static_cast<std::int16_t>(first);
    joined.child_one = static_cast<std::int16_t>(second);
    nodes(first).parent = static_cast<std::int16_t>(count);
    nodes(second).parent = static_cast<std::int16_t>(count);
    ++count;
  }
  // Codes: from each leaf up to the root, then reversed so that Data(0) is the root's branch.
  std::array<BitCode, 256> symbol_code;
  const int root = count - 1;
  for (int j = 0; j < leaves; ++j) {
    std::vector<std::uint8_t> up;
    int at = j;
    while (at != root) {
      const int parent = nodes(at).parent;
      up.push_back(nodes(parent).child_one == at ? 1 : 0);
      at = parent;
    }
    BitCode& code = symbol_code[static_cast<std::size_t>(nodes(j).symbol)];
    code.count = static_cast<std::uint8_t>(up.size());
    code.data.assign(up.rbegin(), up.rend());
  }
  std::int64_t body_bits = 0;
  for (int v = 0; v < 256; ++v) body_bits += std::int64_t{symbol_count[v]} * symbol_code[v].count;
  const std::int64_t body_size = body_bits % 8 == 0 ? body_bits / 8 : body_bits / 8 + 1;
  if (body_size > byte_len || body_size == 0) {
    r.bytes = {0x48, 0x45, 0x30, 0x0D};
    r.bytes.insert(r.bytes.end(), input.begin(), input.end());
    return r;
  }
  std::uint8_t c = 0;
  for (std::int64_t i = 0; i < byte_len; ++i) {
    c = static_cast<std::uint8_t>(c ^ input[static_cast<std::size_t>(i)]);
    if (i % 10000 == 0) progress.Raise(static_cast<double>(i) / static_cast<double>(byte_len) * 5 + 7);
  }
  std::vector<std::uint8_t>& out = r.bytes;
  out = {0x48, 0x45, 0x33, 0x0D, c};
  for (int k = 0; k < 4; ++k) out.push_back(static_cast<std::uint8_t>(byte_len >> (8 * k)));
  int entries = 0;
  for (int v = 0; v < 256; ++v) entries += symbol_code[v].count >= 1 ? 1 : 0;
  out.push_back(static_cast<std::uint8_t>(entries & 0xFF));
  out.push_back(static_cast<std::uint8_t>(entries >> 8));
  for (int v = 0; v < 256; ++v) {
    if (symbol_code[v].count == 0) continue;
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(symbol_code[v].count);
  }
  BitAppender bits{out};
  for (int v = 0; v < 256; ++v) {
    for (int k = 0; k < symbol_code[v].count; ++k) bits.Bit(symbol_code[v].data[static_cast<std::size_t>(k)]);
  }
  bits.Pad();
  for (std::int64_t i = 0; i < byte_len; ++i) {
    const BitCode& code = symbol_code[input[static_cast<std::size_t>(i)]];
    for (int k = 0; k < code.count; ++k) bits.Bit(code.data[static_cast<std::size_t>(k)]);
    if (i % 10000 == 0) {
      progress.Raise(static_cast<double>(i) / static_cast<double>(byte_len) * 88 + 5 + 7);
    }
  }
  bits.Pad();
  progress.Raise(100);
  return r;
}

// Decodes the block in `array` (all its elements readable) whose declared length is
// `byte_len`, with the same refusal of header-less data as the library.
inline Outcome Decode(std::span<const std::uint8_t> array, std::int64_t byte_len) {
  using namespace detail;
  Outcome r;
  Progress progress{&r.progress};
  Checked<std::uint8_t> in{std::vector<std::uint8_t>(array.begin(), array.end())};
  try {
    const std::uint8_t b0 = in(0), b1 = in(1), b2 = in(2), b3 = in(3);
    if (!(b0 == 0x48 && b1 == 0x45 && b3 == 0x0D)) {
      r.status = DecodeStatus::kBadIdentification;
      return r;
    }
    if (b2 == 0x30) {
      for (std::int64_t k = 4; k <= byte_len - 1; ++k) r.bytes.push_back(in(k));
      return r;
    }
    if (b2 != 0x33) {
      r.status = DecodeStatus::kBadIdentification;
      return r;
    }
    const std::uint8_t checksum = in(4);
    const auto m = static_cast<std::int32_t>(std::uint32_t{in(5)} | std::uint32_t{in(6)} << 8 |
                                             std::uint32_t{in(7)} << 16 | std::uint32_t{in(8)} << 24);
    const auto n = static_cast<std::int16_t>(in(9) | in(10) << 8);
    if (m == 0) {
      r.status = DecodeStatus::kUnchanged;
      return r;
    }
    if (m < 0 || n < 0) throw SubscriptError{};
    std::array<BitCode, 256> symbol_code;
    for (int e = 0; e < n; ++e) {
      const std::uint8_t value = in(11 + 2 * e);
      symbol_code[value].count = in(12 + 2 * e);
      symbol_code[value].data.assign(symbol_code[value].count, 0);
    }
    std::int64_t pos = 11 + 2 * std::int64_t{n};
    int bit = 0;
    for (int v = 0; v < 256; ++v) {
      for (int k = 0; k < symbol_code[v].count; ++k) {
        symbol_code[v].data[static_cast<std::size_t>(k)] = (in(pos) & kBitMask[static_cast<std::size_t>(bit)]) ? 1 : 0;
        if (++bit == 8) {
          bit = 0;
          ++pos;
        }
      }
    }
    if (bit != 0) ++pos;
    Checked<HuffmanNode> nodes{std::vector<HuffmanNode>(512)};
    int count = 1;
    for (int v = 0; v < 256; ++v) {
      int at = 0;
      for (int k = 0; k < symbol_code[v].count; ++k) {
        std::int16_t& link = symbol_code[v].data[static_cast<std::size_t>(k)] ? nodes(at).child_one : nodes(at).child_zero;
        if (link == -1) {
          nodes(count).parent = static_cast<std::int16_t>(at);
          link = static_cast<std::int16_t>(count);
          ++count;
        }
        at = link;
      }
      nodes(at).symbol = static_cast<std::int16_t>(v);
    }
    std::int64_t produced = 0;
    int at = 0;
    bool done = false;
    for (std::int64_t k = pos; k <= byte_len - 1 && !done; ++k) {
      const std::uint8_t byte = in(k);
      for (int b = 0; b < 8; ++b) {
        at = (byte & kBitMask[static_cast<std::size_t>(b)]) ? nodes(at).child_one : nodes(at).child_zero;
        if (nodes(at).symbol > -1) {
          r.bytes.push_back(static_cast<std::uint8_t>(nodes(at).symbol));
          ++produced;
          at = 0;
          if (produced == m) {
            done = true;
            break;
          }
        }
      }
      if (!done && (k + 1) % 10000 == 0) {
        progress.Raise(static_cast<double>(k + 1) / static_cast<double>(byte_len) * 89);
      }
    }
    std::uint8_t x = 0;
    for (std::int64_t i = 0; i < produced; ++i) {
      x = static_cast<std::uint8_t>(x ^ r.bytes[static_cast<std::size_t>(i)]);
      if (i % 10000 == 0) progress.Raise(static_cast<double>(i) / static_cast<double>(produced) * 11 + 89);
    }
    if (x != checksum) {
      r.status = DecodeStatus::kChecksumMismatch;
      r.bytes.clear();
      return r;
    }
    progress.Raise(100);
  } catch (const SubscriptError&) {
    r.status = DecodeStatus::kSubscriptOutOfRange;
    r.bytes.clear();
  }
  return r;
}

inline Outcome Decode(std::span<const std::uint8_t> block) {
  return Decode(block, static_cast<std::int64_t>(block.size()));
}

}  // namespace narwick::huffman::reference
