// The streaming decoder's source and sink at their most demanding, for tests and fuzzing:
// the block in the smallest windows the decoder may be given, each a separate allocation,
// and the output in rooms of 1 to 40 bytes. A broken contract throws std::logic_error.
#pragma once

#include <algorithm>
#include <cstdint>
#include <random>
#include <span>
#include <stdexcept>
#include <vector>

#include "compress/huffman/huffman_codec.h"

namespace narwick::huffman::test_blocks {

class ChoppedSource final : public BlockSource {
 public:
  ChoppedSource(std::span<const std::uint8_t> block, std::mt19937_64& rng) : block_(block), rng_(rng) {}
  std::uint64_t Size() const override { return block_.size(); }
  Window First() override { return Cut(0, std::min<std::size_t>(block_.size(), kHeadWindow)); }
  Window From(std::uint64_t from) override {
    if (from < begin_ || from > end_) throw std::logic_error("window asked for outside the last one");
    std::uniform_int_distribution<std::size_t> size(kWindowSlack + 1, 3 * kWindowSlack);
    return Cut(from, std::min<std::size_t>(block_.size() - from, size(rng_)));
  }

 private:
  Window Cut(std::uint64_t from, std::size_t size) {
    begin_ = from;
    end_ = from + size;
    // A copy, so that a read outside the window is a read outside an allocation.
    window_.assign(block_.begin() + static_cast<std::ptrdiff_t>(from),
                   block_.begin() + static_cast<std::ptrdiff_t>(end_));
    return {window_, from, end_ == block_.size()};
  }

  std::span<const std::uint8_t> block_;
  std::mt19937_64& rng_;
  std::vector<std::uint8_t> window_;
  std::uint64_t begin_ = 0;
  std::uint64_t end_ = 0;
};

class ChoppedSink final : public DecodeSink {
 public:
  explicit ChoppedSink(std::mt19937_64& rng) : rng_(rng) {}
  std::span<std::uint8_t> Start(std::uint64_t bound) override {
    bound_ = bound;
    return NewRoom();
  }
  std::span<std::uint8_t> Take(std::span<const std::uint8_t> written) override {
    if (written.size() != room_.size()) throw std::logic_error("a room handed on before it was full");
    bytes.insert(bytes.end(), written.begin(), written.end());
    return NewRoom();
  }
  void Finish(std::span<const std::uint8_t> written) override {
    bytes.insert(bytes.end(), written.begin(), written.end());
    if (bytes.size() > bound_) throw std::logic_error("more output than the bound given");
  }
  std::vector<std::uint8_t> bytes;

 private:
  std::span<std::uint8_t> NewRoom() {
    room_.assign(std::uniform_int_distribution<std::size_t>(1, 40)(rng_), 0);
    return room_;
  }
  std::mt19937_64& rng_;
  std::vector<std::uint8_t> room_;
  std::uint64_t bound_ = 0;
};

}  // namespace narwick::huffman::test_blocks
