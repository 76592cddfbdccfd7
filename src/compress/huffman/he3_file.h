// HE3 blocks to and from files in constant memory: the encoder reads its input twice (count,
// then encode), the decoder reads the block in windows, and both write through a buffer.
// Blocks, results and progress are those of the in-memory codec on the whole file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "compress/huffman/huffman_codec.h"
#include "narwick/frame/types.h"

namespace narwick::huffman {

// Sources at least this long are counted, then coded, in two halves at once on two threads.
inline constexpr std::uint64_t kSplitCountFrom = std::uint64_t{8} << 20;

// Writes the block of file `source` to `dest`. `clear_destination` runs once the input has
// been counted, before `dest` is opened. Raises the host's file faults; 6 (overflow) for an
// input longer than a block can describe; 57 when the input changes between its two reads.
// When the coding fails, `dest` is removed if this call created it; when writing it fails,
// what was written before the fault stays.
void EncodeFile(const String& source, const String& dest, ProgressFn progress,
                const std::function<void()>& clear_destination);

inline constexpr std::size_t kDefaultFileWindow = std::size_t{1} << 18;

// Restores the block in file `source` to `dest`. kOk: `dest` holds the result; kUnchanged:
// `dest` holds the source's bytes as they are; any other status: `dest` is not left behind.
// A fault opening or writing `dest` is raised only when decoding succeeded, so a damaged
// block is reported as such whatever the destination. `window` (at least kHeadWindow) is how
// much of the block is held at once.
DecodeStatus DecodeFile(const String& source, const String& dest, ProgressFn progress,
                        std::size_t window = kDefaultFileWindow);

}  // namespace narwick::huffman
