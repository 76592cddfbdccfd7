// Byte layout of the "HE3" Huffman block and of its stored form.
//
//   offset          size          content
//   0               4             'H' 'E' '3' CR   (stored form: 'H' 'E' '0' CR, then the bytes)
//   4               1             exclusive-or of all uncompressed bytes
//   5               4             uncompressed length, signed 32-bit little-endian
//   9               2             N, code-table entries, signed 16-bit little-endian
//   11              2 x N         entries: byte value, code length in bits (1..255)
//   11 + 2N         ceil(L / 8)   the entries' codes in table order, first bit first
//   then            ceil(B / 8)   the body: the code of every input byte, in input order
//
// Both bit sections are packed least significant bit first and start on a byte boundary.
#pragma once

#include <cstddef>
#include <cstdint>

namespace narwick::huffman {

inline constexpr std::uint8_t kMagicH = 0x48;          // 'H'
inline constexpr std::uint8_t kMagicE = 0x45;          // 'E'
inline constexpr std::uint8_t kVersionHe3 = 0x33;      // '3': Huffman-coded block
inline constexpr std::uint8_t kVersionStored = 0x30;   // '0': bytes kept as they were
inline constexpr std::uint8_t kMagicCr = 0x0D;

inline constexpr std::size_t kStoredHeaderSize = 4;
inline constexpr std::size_t kChecksumOffset = 4;
inline constexpr std::size_t kLengthOffset = 5;
inline constexpr std::size_t kEntryCountOffset = 9;
inline constexpr std::size_t kTableOffset = 11;
inline constexpr std::size_t kEntrySize = 2;

inline constexpr int kSymbolCount = 256;
// The tree table holds 512 nodes: 256 leaves and 255 inner nodes. A decoded table that
// needs more is malformed.
inline constexpr int kMaxNodes = 512;
inline constexpr int kMaxCodeLength = 255;

// Progress cadence and the share of 100 that each phase covers.
inline constexpr std::size_t kCountProgressStep = 1000;
inline constexpr std::size_t kProgressStep = 10000;
inline constexpr double kCountShare = 7;         // encoder: 0..7 while counting
inline constexpr double kChecksumShare = 5;      // encoder: 7..12 while summing
inline constexpr double kBodyShare = 88;         // encoder: 12..100 while writing the body
inline constexpr double kDecodeBodyShare = 89;   // decoder: 0..89 while walking the body
inline constexpr double kVerifyShare = 11;       // decoder: 89..100 while verifying

}  // namespace narwick::huffman
