// Test helpers shared by the coder's tests: a source that hands out uneven chunks, encode and
// decode runs that record what they see, and generators of inputs that stress the chains.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <random>
#include <span>
#include <vector>

#include "compress/lz/lz_codec.h"
#include "compress/lz/lz_recording_sinks.h"

namespace narwick::lz {

using Bytes = std::vector<std::uint8_t>;

// Hands the input out in uneven chunks so that chunk boundaries are exercised too.
class ChoppySource {
 public:
  ChoppySource(const Bytes& data, std::size_t step) : data_(data), step_(step) {}
  std::span<const std::uint8_t> Next() {
    const std::size_t n = std::min(step_, data_.size() - at_);
    std::span<const std::uint8_t> chunk(data_.data() + at_, n);
    at_ += n;
    step_ = step_ * 3 % 997 + 1;
    return chunk;
  }

 private:
  const Bytes& data_;
  std::size_t step_;
  std::size_t at_ = 0;
};

struct Encoded {
  Bytes body;
  std::vector<std::uint64_t> progress;
};

inline Encoded EncodeFast(Codec& codec, const Bytes& data, std::size_t chunk_step = 0) {
  VectorSink sink;
  Recorder progress;
  if (chunk_step == 0) {
    MemorySource source(data);
    EXPECT_TRUE(codec.Encode(source, sink, progress));
  } else {
    ChoppySource source(data, chunk_step);
    EXPECT_TRUE(codec.Encode(source, sink, progress));
  }
  return {std::move(sink.bytes), std::move(progress.points)};
}

struct Decoded {
  DecodeStatus status;
  Bytes bytes;
  std::vector<std::uint64_t> progress;
};

inline Decoded DecodeBody(Codec& codec, const Bytes& body, std::uint64_t count,
                   std::uint64_t limit = std::numeric_limits<std::uint64_t>::max()) {
  MemorySource source(body);
  VectorSink sink;
  Recorder progress;
  const DecodeStatus status = codec.Decode(source, count, sink, progress, limit);
  return {status, std::move(sink.bytes), std::move(progress.points)};
}

// Generators of structured inputs that stress the chains: long runs and short periods make
// full-length matches (and so the unlink after them), small alphabets make long chains.
inline Bytes MakeInput(std::mt19937_64& rng, std::size_t size) {
  Bytes out(size);
  const int kind = static_cast<int>(rng() % 10);
  switch (kind) {
    case 0:  // random bytes
      for (auto& b : out) b = static_cast<std::uint8_t>(rng());
      break;
    case 1: {  // small alphabet
      const unsigned alphabet = 2 + static_cast<unsigned>(rng() % 4);
      for (auto& b : out) b = static_cast<std::uint8_t>('a' + rng() % alphabet);
      break;
    }
    case 2: {  // runs of random length
      std::size_t i = 0;
      while (i < size) {
        const auto value = static_cast<std::uint8_t>(rng() % 4 == 0 ? 0x20 : rng());
        std::size_t run = 1 + rng() % 60;
        while (run-- > 0 && i < size) out[i++] = value;
      }
      break;
    }
    case 3: {  // periodic, including periods near the ring size
      static const std::size_t kPeriods[] = {1, 2, 3, 7, 17, 18, 19, 64, 4077, 4078, 4079, 4095, 4096, 4097};
      const std::size_t period = rng() % 2 ? kPeriods[rng() % std::size(kPeriods)] : 1 + rng() % 300;
      Bytes unit(period);
      for (auto& b : unit) b = static_cast<std::uint8_t>(rng() % 3 ? 'x' + rng() % 3 : rng());
      for (std::size_t i = 0; i < size; ++i) out[i] = unit[i % period];
      break;
    }
    case 4: {  // words from a small vocabulary, like text
      static const char* kWords[] = {"the ", "of ", "and ", "compress", "ion ", "ring ", "match",
                                     "es ", "\n", "window ", "position ", "e", "th"};
      std::size_t i = 0;
      while (i < size) {
        const char* w = kWords[rng() % std::size(kWords)];
        for (; *w != 0 && i < size; ++w) out[i++] = static_cast<std::uint8_t>(*w);
      }
      break;
    }
    case 5: {  // mostly one byte with rare noise: long full-length match streaks
      for (auto& b : out) b = rng() % 50 == 0 ? static_cast<std::uint8_t>(rng()) : 0x20;
      break;
    }
    case 6: {  // copies of earlier blocks with mutations
      for (std::size_t i = 0; i < size; ++i) {
        if (i > 40 && rng() % 4 != 0) {
          const std::size_t back = 1 + rng() % std::min<std::size_t>(i, 5000);
          out[i] = rng() % 64 == 0 ? static_cast<std::uint8_t>(rng()) : out[i - back];
        } else {
          out[i] = static_cast<std::uint8_t>('A' + rng() % 8);
        }
      }
      break;
    }
    case 7: {  // random bytes repeating about a window back, with rare changes: see below
      const std::size_t distance = 4077 + rng() % 3;
      for (std::size_t i = 0; i < size; ++i) {
        out[i] = i >= distance && rng() % 256 != 0 ? out[i - distance] : static_cast<std::uint8_t>(rng());
      }
      break;
    }
    case 8: {  // runs of a few values, of every length up to twice the window, often ending
               // alike: runs are searched a run at a time
      const auto values = static_cast<unsigned>(1 + rng() % 3);
      std::size_t i = 0;
      while (i < size) {
        const auto value = static_cast<std::uint8_t>(rng() % values);
        for (std::size_t run = 1 + rng() % (std::size_t{1} << rng() % 14); run > 0 && i < size; --run) {
          out[i++] = value;
        }
        if (rng() % 2 == 0 && i < size) out[i++] = static_cast<std::uint8_t>(values + rng() % 4);
      }
      break;
    }
    default: {  // bytes whose hashes collide: same first byte and low nibble of the second
      for (auto& b : out) b = static_cast<std::uint8_t>(rng() % 2 ? 0x41 : (0x01 + 0x10 * (rng() % 16)));
      break;
    }
  }
  return out;
}

// Random bytes that repeat 4078 places back: each position leaves its chain just as its
// repeat joins it, so the chain that emptied is full again when the next full match (at the
// only, so last, candidate of its chain) unlinks through entry 4096. That cut is real, and
// the search must follow the defined chains literally until they are plain again, which a
// long run of one byte brings about. Runs of random length (of `run_values` values) add full
// matches at chain ends of every other kind.
inline Bytes MakeCuttingInput(std::mt19937_64& rng, std::size_t size, unsigned run_values) {
  Bytes input(size);
  std::size_t i = 0;
  while (i < input.size()) {
    switch (rng() % 4) {
      case 0:  // a stretch that repeats a window back
        for (std::size_t n = 1000 + rng() % 8000; n > 0 && i < input.size(); --n, ++i) {
          input[i] = i >= 4078 && rng() % 512 != 0 ? input[i - 4078] : static_cast<std::uint8_t>(rng());
        }
        break;
      case 1:  // one byte, long enough for every cut chain to age out
        for (std::size_t n = 9000 + rng() % 4000; n > 0 && i < input.size(); --n) input[i++] = 0;
        break;
      default: {
        const auto value = static_cast<std::uint8_t>(rng() % run_values);
        for (std::size_t n = 1 + rng() % 40; n > 0 && i < input.size(); --n) input[i++] = value;
      }
    }
  }
  return input;
}

}  // namespace narwick::lz
