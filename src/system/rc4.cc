// RC4 core. Indices are bytes, so every index wraps at 256 by its type and needs no mask.
#include "system/rc4.h"

#include <bit>
#include <cstring>

namespace narwick::rc4 {

void Cipher::Reset() {
  for (unsigned k = 0; k < 256; ++k) s_[k] = static_cast<std::uint8_t>(k);
  i_ = 0;
  j_ = 0;
}

void Cipher::Schedule(std::span<const std::uint8_t> key) {
  Reset();
  if (key.empty()) return;
  const std::size_t length = key.size();
  std::uint8_t j = 0;
  std::size_t k = 0;  // position in the key, back to its start after the last byte
  for (unsigned i = 0; i < 256; ++i) {
    const std::uint8_t si = s_[i];
    j = static_cast<std::uint8_t>(j + si + key[k]);
    s_[i] = s_[j];
    s_[j] = si;
    if (++k == length) k = 0;
  }
}

namespace {

// One keystream step: advance i, load S[i], advance j by it, load S[j], store both swapped
// (two stores of the loaded values, right also when i == j), then look up S[S[i] + S[j]].
[[gnu::always_inline]] inline std::uint8_t Step(std::uint8_t* s, std::uint8_t& i, std::uint8_t& j) {
  ++i;
  const std::uint8_t si = s[i];
  j = static_cast<std::uint8_t>(j + si);
  const std::uint8_t sj = s[j];
  s[i] = sj;
  s[j] = si;
  return s[static_cast<std::uint8_t>(si + sj)];
}

}  // namespace

std::uint8_t Cipher::Next() { return Step(s_.data(), i_, j_); }

// Keystream loop. Eight steps are unrolled into one 64-bit keystream word (little-endian,
// first byte lowest), so the data is loaded, XORed and stored a word at a time; memcpy keeps
// those accesses unaligned-safe and lets `in` equal `out`. The state lives in locals for the
// whole call: the table through a plain pointer, the indices in registers.
void Cipher::Apply(const std::uint8_t* in, std::uint8_t* out, std::size_t n) {
  std::uint8_t* const s = s_.data();
  std::uint8_t i = i_;
  std::uint8_t j = j_;

  // The word layout below is little-endian; other hosts take the byte loop only.
  constexpr bool kWordAtATime = std::endian::native == std::endian::little;
  while (kWordAtATime && n >= 8) {
    std::uint64_t ks = 0;
#pragma GCC unroll 8
    for (unsigned b = 0; b < 8; ++b) ks |= static_cast<std::uint64_t>(Step(s, i, j)) << (8 * b);
    std::uint64_t word;
    std::memcpy(&word, in, 8);
    word ^= ks;
    std::memcpy(out, &word, 8);
    in += 8;
    out += 8;
    n -= 8;
  }
  for (; n > 0; --n) *out++ = static_cast<std::uint8_t>(*in++ ^ Step(s, i, j));
  i_ = i;
  j_ = j;
}

}  // namespace narwick::rc4
