// Encoding arbitrary bytes and decoding the block gives the bytes back, with progress that
// ends at 100 (or no progress past counting for the stored form); anything else aborts.
// The first byte picks a transformation that narrows the alphabet, so that skewed inputs
// with deep codes are reached as well as flat ones.
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "compress/huffman/he3_format.h"
#include "compress/huffman/huffman_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  using namespace narwick::huffman;
  const std::uint8_t mode = data[0];
  std::vector<std::uint8_t> input(data + 1, data + size);
  if (mode % 4 == 1) {
    for (auto& b : input) b = static_cast<std::uint8_t>(b & 0x0F);
  } else if (mode % 4 == 2) {
    // Skewed: the count of trailing zero bits picks the value, so value k has weight 2^-k.
    for (auto& b : input) b = static_cast<std::uint8_t>(b == 0 ? 8 : __builtin_ctz(b));
  } else if (mode % 4 == 3) {
    // Repeat the input to lengthen it past a progress step now and then.
    const std::size_t copies = 1 + (mode >> 2) % 64;
    std::vector<std::uint8_t> longer;
    for (std::size_t k = 0; k < copies; ++k) longer.insert(longer.end(), input.begin(), input.end());
    input.swap(longer);
  }
  std::int16_t last = 0;
  auto track = [&](std::int16_t p) {
    if (p == last || p < 1 || p > 100) std::abort();
    last = p;
  };
  const std::vector<std::uint8_t> block = Encode(input, track);
  if (block.size() < kStoredHeaderSize) std::abort();
  if (block[2] == kVersionHe3 && last != 100) std::abort();
  if (block[2] == kVersionStored && last > 7) std::abort();
  last = 0;
  const DecodeResult back = Decode(block, track);
  if (back.status != DecodeStatus::kOk || back.bytes != input) std::abort();
  return 0;
}
