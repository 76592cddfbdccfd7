// For the Huffman tests: hand-built HE3 blocks, sample inputs, whole files.
#pragma once

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numeric>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "compress/huffman/he3_format.h"

namespace narwick::huffman::test_blocks {

using Bytes = std::vector<std::uint8_t>;
using Codes = std::vector<std::pair<int, std::vector<int>>>;

inline Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// A block with the given codes (value -> bits) whose body codes `message`.
inline Bytes BuildBlock(const Codes& codes, const Bytes& message, std::int32_t length_field,
                        std::uint8_t checksum) {
  Bytes block = {kMagicH, kMagicE, kVersionHe3, kMagicCr, checksum};
  for (int k = 0; k < 4; ++k)
    block.push_back(static_cast<std::uint8_t>(static_cast<std::uint32_t>(length_field) >> (8 * k)));
  block.push_back(static_cast<std::uint8_t>(codes.size() & 0xFF));
  block.push_back(static_cast<std::uint8_t>(codes.size() >> 8));
  for (const auto& [value, bits] : codes) {
    block.push_back(static_cast<std::uint8_t>(value));
    block.push_back(static_cast<std::uint8_t>(bits.size()));
  }
  unsigned used = 0;  // bits used of the last byte, least significant first
  const auto put = [&](const std::vector<int>& bits) {
    for (int b : bits) {
      if (used == 0) block.push_back(0);
      if (b) block.back() = static_cast<std::uint8_t>(block.back() | (1u << used));
      used = (used + 1) % 8;
    }
  };
  for (const auto& c : codes) put(c.second);
  used = 0;  // the body starts on a byte of its own
  for (std::uint8_t m : message) {
    const auto code =
        std::find_if(codes.begin(), codes.end(), [m](const auto& c) { return c.first == m; });
    if (code != codes.end()) put(code->second);
  }
  return block;
}

// The comb: value v (0..254) is v zeros and a one, value 255 is 255 zeros. Lengths 1..255.
inline Codes CombCodes() {
  Codes codes;
  for (int v = 0; v < 256; ++v) {
    std::vector<int> bits(static_cast<std::size_t>(std::min(v, 255)), 0);
    if (v < 255) bits.push_back(1);
    codes.emplace_back(v, bits);
  }
  return codes;
}

inline std::uint8_t Xor(const Bytes& b) {
  return std::accumulate(b.begin(), b.end(), std::uint8_t{0}, [](std::uint8_t a, std::uint8_t c) {
    return static_cast<std::uint8_t>(a ^ c);
  });
}

// Text-like bytes with an occasional rare value, so that codes run from short to long.
inline Bytes Sample(std::size_t n, std::mt19937_64& rng) {
  Bytes out(n);
  std::geometric_distribution<int> skew(0.08);
  for (auto& b : out) b = static_cast<std::uint8_t>(std::min(skew(rng), 255));
  return out;
}

inline Bytes ReadFile(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

inline void WriteFile(const std::filesystem::path& p, const Bytes& bytes) {
  std::ofstream(p, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

}  // namespace narwick::huffman::test_blocks
