// The LZ compressed layouts: the sliding-window constants, the string container and the
// file container. Every reader and writer of "QVXLZ1" data takes its numbers from here.
//
// Body (both containers): flag groups. A group is one flag byte and up to eight items; bit k
// (least significant first) set means item k is a literal byte, clear means a 2-byte match:
//   byte 1 = ring position bits 0..7
//   byte 2 = ring position bits 8..11 in the high nibble, (length - 3) in the low nibble
// Every group but the last holds eight items; unused flag bits of the last are 0.
//
// String container                     File container
//   0  6  "QVXLZ1"                        0  6  "QVXLZ1"
//   6  4  N - 1, big-endian (N = input    6  4  input length, little-endian
//         bytes; empty input: FFFFFFFF)  10  .. body
//  10  .. body (first N - 1 bytes)
//  end 1  0x00
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace narwick::lz {

inline constexpr std::size_t kRingSize = 4096;
inline constexpr std::uint32_t kRingMask = 0xFFF;
inline constexpr std::uint32_t kMaxMatch = 18;  // also the look-ahead length
inline constexpr std::uint32_t kMinMatch = 3;
inline constexpr std::uint16_t kEndOfChain = 4096;  // "no position" in the chain arrays
inline constexpr std::uint16_t kChainHeadBase = 4097;  // head of hash h is chainNext[4097 + h]
inline constexpr std::size_t kHashCount = 4096;
inline constexpr std::uint32_t kProgressInterval = 4096;  // progress every 4096 bytes
inline constexpr std::size_t kMaxGroupBytes = 1 + 8 * 2;  // flag byte + eight matches

inline constexpr std::array<std::uint8_t, 6> kSignature = {0x51, 0x56, 0x58, 0x4C, 0x5A, 0x31};
inline constexpr char kSignatureText[] = "QVXLZ1";
inline constexpr std::size_t kCountOffset = 6;
inline constexpr std::size_t kHeaderSize = 10;  // signature + 32-bit count
inline constexpr std::size_t kStringTrailerSize = 1;

// Stored count of the string container: 32-bit two's complement, most significant first.
inline void StoreStringCount(std::int32_t count, std::uint8_t* out) {
  const auto u = static_cast<std::uint32_t>(count);
  out[0] = static_cast<std::uint8_t>(u >> 24);
  out[1] = static_cast<std::uint8_t>(u >> 16);
  out[2] = static_cast<std::uint8_t>(u >> 8);
  out[3] = static_cast<std::uint8_t>(u);
}
inline std::int32_t LoadStringCount(const std::uint8_t* in) {
  return static_cast<std::int32_t>((std::uint32_t{in[0]} << 24) | (std::uint32_t{in[1]} << 16) |
                                   (std::uint32_t{in[2]} << 8) | std::uint32_t{in[3]});
}

// Stored length of the file container: 32-bit signed, least significant first.
inline void StoreFileLength(std::int32_t length, std::uint8_t* out) {
  const auto u = static_cast<std::uint32_t>(length);
  out[0] = static_cast<std::uint8_t>(u);
  out[1] = static_cast<std::uint8_t>(u >> 8);
  out[2] = static_cast<std::uint8_t>(u >> 16);
  out[3] = static_cast<std::uint8_t>(u >> 24);
}
inline std::int32_t LoadFileLength(const std::uint8_t* in) {
  return static_cast<std::int32_t>(std::uint32_t{in[0]} | (std::uint32_t{in[1]} << 8) |
                                   (std::uint32_t{in[2]} << 16) | (std::uint32_t{in[3]} << 24));
}

inline bool HasSignature(const std::uint8_t* in) {
  for (std::size_t i = 0; i < kSignature.size(); ++i) {
    if (in[i] != kSignature[i]) return false;
  }
  return true;
}

// Match item fields.
inline constexpr std::uint32_t DecodeMatchPosition(std::uint8_t b1, std::uint8_t b2) {
  return (std::uint32_t{b1} | (std::uint32_t{b2} & 0xF0u) << 4) & kRingMask;
}
inline constexpr std::uint32_t DecodeMatchLength(std::uint8_t b2) { return (b2 & 0x0Fu) + kMinMatch; }

}  // namespace narwick::lz
