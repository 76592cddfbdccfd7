// Pieces the HE3 encoder and decoder share: change-only progress and unaligned words.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <span>

#include "compress/huffman/huffman_codec.h"

namespace narwick::huffman::detail {

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

// Exclusive-or of all bytes, eight at a time.
inline std::uint8_t XorBytes(std::span<const std::uint8_t> bytes) {
  std::uint64_t wide = 0;
  std::uint8_t sum = 0;
  std::size_t i = 0;
  for (; i + 8 <= bytes.size(); i += 8) wide ^= Load64(bytes.data() + i);
  for (; i < bytes.size(); ++i) sum ^= bytes[i];
  for (int s = 0; s < 64; s += 8) sum ^= static_cast<std::uint8_t>(wide >> s);
  return sum;
}

}  // namespace narwick::huffman::detail
