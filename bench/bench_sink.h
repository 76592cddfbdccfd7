// The byte sink the benchmarks hand the LZ codec: one copy per call into room made (and
// touched) before the clock starts, as the library's own sinks do (a fixed array for the
// string members, a 256 KiB buffer for the files). A vector::insert per 17-byte group costs
// more than the coder's own work for that group.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "compress/common/short_copy.h"

namespace narwick::bench {

struct BufferSink {
  std::vector<std::uint8_t>* room;  // grown if it proves too small
  std::size_t used = 0;

  // The coder's flag groups are copied as CompressString's sink copies them; the decoder's
  // runs of bytes as they come.
  bool Put(const std::uint8_t* data, std::size_t size) {
    if (room->size() - used < size) room->resize(std::max(2 * room->size(), used + size));
    if (size <= narwick::compress::kShortCopyMost) {
      narwick::compress::CopyShort(room->data() + used, data, size);
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
