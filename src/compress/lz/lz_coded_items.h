// Items coded apart from the output, and written into it later: a coder of one part of the
// input keeps its items as they come, and the caller's thread writes them under the output's
// own flag groups, with the progress events the one-thread coder raises.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "compress/lz/lz_format.h"

namespace narwick::lz::split_detail {

// A coder's items as its flag groups arrive: the flag bytes in one array (item i's flag is
// bit i % 8 of byte i / 8), the items' bytes in another. The bytes are followed by at least
// kSlack spare bytes, so that a group's bytes go in, and whole groups come out, as fixed
// 16-byte copies; a finished part's slack is zeroed.
struct CodedItems {
  static constexpr std::size_t kSlack = 16;

  std::vector<std::uint8_t> flags;
  std::unique_ptr<std::uint8_t[]> body;
  std::size_t body_size = 0;

  void Reserve(std::size_t items) {
    flags.reserve(items / 8 + 2);
    Grow(items + 2 + kSlack);
  }
  // A group's item bytes, at most 16, from a buffer with 16 readable bytes.
  void AppendGroup(const std::uint8_t* bytes, std::size_t size) {
    if (body_room_ - body_size < 16 + kSlack) Grow(2 * body_room_ + 16 + kSlack);
    std::memcpy(body.get() + body_size, bytes, 16);
    body_size += size;
  }
  void ZeroSlack() { std::memset(body.get() + body_size, 0, kSlack); }

 private:
  void Grow(std::size_t room) {
    auto grown = std::make_unique_for_overwrite<std::uint8_t[]>(room);
    if (body_size != 0) std::memcpy(grown.get(), body.get(), body_size);
    body = std::move(grown);
    body_room_ = room;
  }

  std::size_t body_room_ = 0;
};

struct ItemSink {
  CodedItems* items = nullptr;
  const std::atomic<bool>* cancel = nullptr;
  // `group` is the coder's group buffer, which has room past the group's bytes.
  bool Put(const std::uint8_t* group, std::size_t size) {
    if (cancel->load(std::memory_order_relaxed)) return false;
    items->flags.push_back(group[0]);
    items->AppendGroup(group + 1, size - 1);
    return true;
  }
};

// Writes items under the output's own flag bytes and reports progress as the one-thread
// coder's steps do: one byte read per step while there are any, an event whenever the count
// read sits on a multiple of 4096, and again after the item.
template <class Sink, class Progress>
class ItemWriter {
 public:
  ItemWriter(Sink& sink, Progress& progress, std::uint64_t total)
      : sink_(sink), progress_(progress), total_(total), consumed_(std::min<std::uint64_t>(total, kMaxMatch)) {}

  // Items [first, end) of `items`, the first one's bytes at `byte`. False when the sink
  // refused a group.
  bool Write(const CodedItems& items, std::size_t first, std::size_t byte, std::size_t end) {
    const std::uint8_t* body = items.body.get() + byte;
    std::size_t i = first;
    while (i < end) {
      if (flag_count_ == 8 && end - i >= 8) {
        // A whole group at once: its flags are eight consecutive bits of the part's flags.
        if (!sink_.Put(code_, code_ptr_)) return false;
        const std::uint32_t flags = FlagsAt(items.flags, i);
        std::memcpy(code_ + 1, body, 16);  // up to 16 bytes: the body has slack
        code_[0] = static_cast<std::uint8_t>(flags);
        std::uint32_t lengths[8];
        std::uint32_t group_length = 0;
        const std::uint8_t* item = body;
        for (int k = 0; k < 8; ++k) {
          const std::uint32_t literal = (flags >> k) & 1u;
          lengths[k] = literal != 0 ? 1 : DecodeMatchLength(item[1]);
          group_length += lengths[k];
          item += 2 - literal;
        }
        code_ptr_ = 1 + static_cast<std::uint32_t>(item - body);
        body = item;
        i += 8;
        if (total_ - consumed_ >= group_length && (consumed_ & kMask) + group_length < kProgressInterval) {
          consumed_ += group_length;
        } else {
          for (std::uint32_t length : lengths) Advance(length);
        }
        continue;
      }
      if (flag_count_ == 8) {
        if (!sink_.Put(code_, code_ptr_)) return false;
        code_ptr_ = 1;
        flag_count_ = 0;
        code_[0] = 0;
      }
      std::uint32_t length = 1;
      if ((items.flags[i / 8] >> (i % 8)) & 1u) {
        code_[code_ptr_++] = *body++;
        code_[0] = static_cast<std::uint8_t>(code_[0] | (1u << flag_count_));
      } else {
        code_[code_ptr_] = body[0];
        code_[code_ptr_ + 1] = body[1];
        code_ptr_ += 2;
        length = DecodeMatchLength(body[1]);
        body += 2;
      }
      ++flag_count_;
      ++i;
      Advance(length);
    }
    return true;
  }
  bool Finish() { return sink_.Put(code_, code_ptr_); }

 private:
  static constexpr std::uint64_t kMask = kProgressInterval - 1;

  // The flags of items i to i + 7, all of which exist.
  static std::uint32_t FlagsAt(const std::vector<std::uint8_t>& flags, std::size_t i) {
    const std::size_t at = i / 8;
    const auto shift = static_cast<std::uint32_t>(i % 8);
    if (shift == 0) return flags[at];
    return ((flags[at] | static_cast<std::uint32_t>(flags[at + 1]) << 8) >> shift) & 0xFFu;
  }

  void Advance(std::uint32_t length) {
    if (total_ - consumed_ >= length && (consumed_ & kMask) + length < kProgressInterval) {
      consumed_ += length;
      return;
    }
    for (std::uint32_t k = 0; k < length; ++k) {
      if (consumed_ < total_) ++consumed_;
      if ((consumed_ & kMask) == 0) progress_(consumed_);
    }
    if ((consumed_ & kMask) == 0) progress_(consumed_);
  }

  Sink& sink_;
  Progress& progress_;
  std::uint64_t total_;
  std::uint64_t consumed_;
  std::uint8_t code_[kMaxGroupBytes] = {0};
  std::uint32_t code_ptr_ = 1;
  std::uint32_t flag_count_ = 0;
};

}  // namespace narwick::lz::split_detail
