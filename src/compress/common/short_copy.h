// Copies of a few bytes without a call: the coders hand their sinks a flag group (up to 17
// bytes) a million times and more a file, where a memcpy call per group costs as much as the
// rest of the sink.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace narwick::compress {

inline constexpr std::size_t kShortCopyMost = 32;

// Copies `size` bytes, at most kShortCopyMost, in a few overlapping moves of fixed size; reads
// and writes no byte outside the two ranges.
inline void CopyShort(std::uint8_t* to, const std::uint8_t* from, std::size_t size) {
  const auto both_ends = [&](auto width) {
    std::memcpy(to, from, width);
    std::memcpy(to + size - width, from + size - width, width);
  };
  if (size >= 16) {
    both_ends(std::integral_constant<std::size_t, 16>{});
  } else if (size >= 8) {
    both_ends(std::integral_constant<std::size_t, 8>{});
  } else if (size >= 4) {
    both_ends(std::integral_constant<std::size_t, 4>{});
  } else {
    for (std::size_t i = 0; i < size; ++i) to[i] = from[i];
  }
}

}  // namespace narwick::compress
