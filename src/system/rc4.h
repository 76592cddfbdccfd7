// RC4 stream cipher on bytes: key schedule and keystream XOR, for clsEncryption.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace narwick::rc4 {

// The cipher state: the permutation (sBox) and the two stream indices (streamI, streamJ).
// Enciphering and deciphering are the same operation.
class Cipher {
 public:
  // A state whose indices are 0 and whose permutation is the identity; call Schedule before
  // use.
  Cipher() { Reset(); }
  explicit Cipher(std::span<const std::uint8_t> key) { Schedule(key); }

  // Key scheduling: the key's bytes repeated to 256 entries mix the identity permutation.
  // Both indices restart at 0. An empty key leaves the identity permutation.
  void Schedule(std::span<const std::uint8_t> key);

  // XORs the next `n` keystream bytes onto `in` into `out`; `in` may equal `out`.
  void Apply(const std::uint8_t* in, std::uint8_t* out, std::size_t n);
  void Apply(std::span<std::uint8_t> data) { Apply(data.data(), data.data(), data.size()); }

  // The next keystream byte (the plain step, one byte at a time).
  std::uint8_t Next();

 private:
  void Reset();

  std::array<std::uint8_t, 256> s_{};  // sBox
  std::uint8_t i_ = 0;                 // streamI
  std::uint8_t j_ = 0;                 // streamJ
};

}  // namespace narwick::rc4
