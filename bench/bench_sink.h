// The byte sink the benchmarks hand the LZ codec: one copy per call into room made (and
// touched) before the clock starts, as the library's own sinks do (a fixed array for the
// string members, a 256 KiB buffer for the files). A vector::insert per 17-byte group costs
// more than the coder's own work for that group.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "compress/lz/lz_format.h"

namespace narwick::bench {

struct BufferSink {
  std::vector<std::uint8_t>* room;  // grown if it proves too small
  std::size_t used = 0;

  // As CompressString's sink, a coder's group (`data` is its group buffer) goes whole, in a
  // copy of fixed size; the decoder's runs of bytes are copied as they come.
  bool Put(const std::uint8_t* data, std::size_t size) {
    constexpr std::size_t kGroup = narwick::lz::kMaxGroupBytes;
    const std::size_t copy = size <= kGroup ? kGroup : size;
    if (room->size() - used < copy) room->resize(std::max(2 * room->size(), used + copy));
    if (size <= kGroup) {
      std::memcpy(room->data() + used, data, kGroup);
    } else {
      std::memcpy(room->data() + used, data, size);
    }
    used += size;
    return true;
  }
  // What was written, copied out (after the clock has stopped).
  std::vector<std::uint8_t> Bytes() const { return {room->begin(), room->begin() + static_cast<std::ptrdiff_t>(used)}; }
};

}  // namespace narwick::bench
