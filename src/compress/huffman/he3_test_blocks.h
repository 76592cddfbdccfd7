// Hand-built HE3 blocks for the codec's tests: any code table, any message.
#pragma once

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <utility>
#include <vector>

#include "compress/huffman/he3_format.h"

namespace narwick::huffman::test_blocks {

using Bytes = std::vector<std::uint8_t>;

class BitSink {
 public:
  void Put(const std::vector<int>& bits) {
    for (int b : bits) {
      if (used_ == 0) bytes_.push_back(0);
      if (b) bytes_.back() = static_cast<std::uint8_t>(bytes_.back() | (1u << used_));
      used_ = (used_ + 1) % 8;
    }
  }
  void Align() { used_ = 0; }
  const Bytes& bytes() const { return bytes_; }

 private:
  Bytes bytes_;
  unsigned used_ = 0;
};

// A block with the given codes (value -> bits) whose body codes `message`.
inline Bytes BuildBlock(const std::vector<std::pair<int, std::vector<int>>>& codes, const Bytes& message,
                 std::int32_t length_field, std::uint8_t checksum) {
  Bytes block = {kMagicH, kMagicE, kVersionHe3, kMagicCr, checksum};
  for (int k = 0; k < 4; ++k) block.push_back(static_cast<std::uint8_t>(static_cast<std::uint32_t>(length_field) >> (8 * k)));
  block.push_back(static_cast<std::uint8_t>(codes.size() & 0xFF));
  block.push_back(static_cast<std::uint8_t>(codes.size() >> 8));
  for (const auto& [value, bits] : codes) {
    block.push_back(static_cast<std::uint8_t>(value));
    block.push_back(static_cast<std::uint8_t>(bits.size()));
  }
  BitSink sink;
  for (const auto& c : codes) sink.Put(c.second);
  sink.Align();
  for (std::uint8_t m : message) {
    for (const auto& [value, bits] : codes) {
      if (value == m) {
        sink.Put(bits);
        break;
      }
    }
  }
  block.insert(block.end(), sink.bytes().begin(), sink.bytes().end());
  return block;
}

// The comb: value v (0..254) is v zeros and a one, value 255 is 255 zeros. Lengths 1..255.
inline std::vector<std::pair<int, std::vector<int>>> CombCodes() {
  std::vector<std::pair<int, std::vector<int>>> codes;
  for (int v = 0; v < 256; ++v) {
    std::vector<int> bits(static_cast<std::size_t>(std::min(v, 255)), 0);
    if (v < 255) bits.push_back(1);
    codes.emplace_back(v, bits);
  }
  return codes;
}

inline std::uint8_t Xor(const Bytes& b) {
  return std::accumulate(b.begin(), b.end(), std::uint8_t{0},
                         [](std::uint8_t a, std::uint8_t c) { return static_cast<std::uint8_t>(a ^ c); });
}

}  // namespace narwick::huffman::test_blocks
