// Coding a large input on several threads, with the bytes and progress of one.
//
// Between items the coder's output depends on two things only: the ring (the last 4096
// input bytes, whatever the parse) and the defined chains. The input is cut into parts, and
// each part's coder starts a few ring lengths before its part with empty chains. By the
// part's beginning its parse has almost always fallen in step with the one-thread parse and
// the positions it could not see have left the window, so at its first item boundary there
// its chains are the chains the coder of the part before has at the same boundary. Where
// they are, every item it found is the one the one-thread coder would have found. Where they
// are not (or it failed), the coder of the part before simply codes on through that part.
//
// Coders keep their items apart; the caller's thread checks each part against the one before
// and regroups the items under the output's flag bytes, with the progress the one-thread
// coder reports. At most a few parts are in hand at once, so memory does not grow with the
// input.
#pragma once

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <system_error>
#include <thread>
#include <vector>

#include "compress/lz/lz_codec.h"

namespace narwick::lz {

struct SplitOptions {
  std::uint64_t split_from = std::uint64_t{1} << 19;  // smaller inputs are coded on one thread
  // Beyond eight, more parts in hand cost more memory than the threads save time.
  unsigned threads = std::min(std::thread::hardware_concurrency(), 8u);
  std::uint64_t part_size = 0;  // a multiple of 4096; 0 chooses from the input size
  std::uint64_t warm_up = 3 * kRingSize;  // how far before its part a coder starts; a multiple of 4096
};

// What the split did, for tests and the benchmark.
struct SplitReport {
  std::size_t parts = 0;   // 0 when the input was coded on one thread
  std::size_t redone = 0;  // parts whose coder was out of step, coded on by the part before
};

inline bool WorthSplitting(std::uint64_t size, const SplitOptions& options) {
  return size != 0 && size >= options.split_from && options.threads >= 2;
}

namespace split_detail {

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

struct NoProgress {
  void operator()(std::uint64_t) const {}
};

// A coder at an item boundary: the boundary, the item that starts there and where its bytes
// start, and (to compare with another coder) the chains.
struct Mark {
  std::uint64_t position = 0;
  std::size_t item = 0;
  std::size_t byte = 0;
  std::unique_ptr<DefinedChains> chains;
};

// One part, the input positions [begin, end), and its coder, which starts at `start`.
template <class Source>
struct Part {
  std::uint64_t begin = 0;
  std::uint64_t end = 0;
  std::uint64_t start = 0;
  Codec* codec = nullptr;
  std::unique_ptr<Codec> own_codec;
  std::optional<Source> source;
  CodedItems items;
  ItemSink sink;
  NoProgress progress;
  std::optional<Encoding<Source, ItemSink, NoProgress>> encoding;
  Mark at_begin;  // its first boundary at or past `begin` (item 0 for the first part)
  Mark at_end;    // its first boundary at or past `end`, with chains unless the input ends there
  bool failed = false;
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

// The parts, the threads that code them, and the caller's thread that checks and writes
// them in order.
template <class Source, class MakeSource>
class PartCoder {
 public:
  PartCoder(Codec& codec, std::uint64_t total, MakeSource make_source, const SplitOptions& options)
      : codec_(codec), total_(total), make_source_(std::move(make_source)), warm_up_(options.warm_up) {
    // Four parts per thread keep the threads busy to the end; parts stay small enough that
    // the few in hand cost little memory and large enough that the warm-up costs little.
    constexpr std::uint64_t kLeast = std::uint64_t{1} << 17;
    constexpr std::uint64_t kMost = std::uint64_t{1} << 21;
    part_size_ = options.part_size != 0
                     ? options.part_size
                     : std::clamp<std::uint64_t>(total / (4 * options.threads), kLeast, kMost) & ~std::uint64_t{kRingMask};
    parts_.resize(static_cast<std::size_t>((total + part_size_ - 1) / part_size_));
    coded_.resize(parts_.size());
    window_ = 2 * options.threads;
    threads_ = options.threads;
  }
  PartCoder(const PartCoder&) = delete;
  PartCoder& operator=(const PartCoder&) = delete;

  ~PartCoder() {
    {
      std::lock_guard lock(mutex_);
      cancel_.store(true);
    }
    changed_.notify_all();
    for (auto& worker : workers_) worker.join();
  }

  template <class Sink, class Progress>
  bool Run(Sink& sink, Progress& progress, SplitReport& report) {
    report.parts = parts_.size();
    ItemWriter<Sink, Progress> writer(sink, progress, total_);
    parts_[0] = NewPart(0);
    next_claim_ = 1;
    MoveHorizon(1);
    workers_.reserve(threads_ - 1);
    try {
      for (unsigned t = 1; t < threads_; ++t) workers_.emplace_back([this] { Work(); });
    } catch (const std::system_error&) {
      // Fewer helpers than asked for (none at worst: the caller's thread codes every part).
    }
    CodePart(*parts_[0]);  // the first part is in step by definition; its faults are the call's

    std::size_t tail = 0;  // the part known to be in step, not yet written
    std::size_t in_step = 0;
    bool alone = false;
    for (;;) {
      Part<Source>& known = *parts_[tail];
      if (known.end == total_) {
        if (!Write(known, writer)) return false;
        if (known.codec != &codec_) codec_.TakeRing(*known.codec);
        return writer.Finish();
      }
      const std::size_t next = static_cast<std::size_t>(known.end / part_size_);
      if (!AwaitOrHelp(next)) continue;
      Part<Source>& candidate = *parts_[next];
      if (InStep(known, candidate)) {
        if (!Write(known, writer)) return false;
        Release(tail);
        tail = next;
        ++in_step;
      } else {
        // The candidate's items are not the ones wanted; the part before codes on through it.
        ++report.redone;
        known.end = candidate.end;
        Release(next);
        // Some inputs keep the chains of far-apart coders different (chains cut long ago
        // stay cut): when most parts fail, the helpers' work is only a cost.
        if (report.redone >= kGiveUpAfter && report.redone > in_step) {
          known.end = total_;
          alone = true;
          StopClaims();
        }
        CodeToEnd(known);
      }
      if (!alone) MoveHorizon(static_cast<std::size_t>(parts_[tail]->end / part_size_));
    }
  }

 private:
  static constexpr std::size_t kGiveUpAfter = 3;

  std::unique_ptr<Part<Source>> NewPart(std::size_t index) {
    auto part = std::make_unique<Part<Source>>();
    part->begin = index * part_size_;
    part->end = std::min(total_, part->begin + part_size_);
    part->start = part->begin > warm_up_ ? (part->begin - warm_up_) & ~std::uint64_t{kRingMask} : 0;
    return part;
  }

  void MarkAt(Part<Source>& part, Mark& mark, bool with_chains) {
    auto& encoding = *part.encoding;
    mark.position = part.start + encoding.position();
    mark.item = part.items.flags.size() * 8 + encoding.pending_items();
    mark.byte = part.items.body_size + encoding.pending_bytes();
    if (with_chains) {
      if (!mark.chains) mark.chains = std::make_unique<DefinedChains>();
      part.codec->WriteDefinedChains(encoding.position(), *mark.chains);
    }
  }

  // Codes the part from its start to its first boundary at or past its end.
  void CodePart(Part<Source>& part) {
    if (part.begin == 0) {
      part.codec = &codec_;
    } else {
      part.own_codec = std::make_unique<Codec>();
      part.codec = part.own_codec.get();
    }
    const std::uint64_t span = part.end - part.start;
    part.items.Reserve(span);
    part.source.emplace(make_source_(part.start));
    part.sink = ItemSink{&part.items, &cancel_};
    part.encoding.emplace(*part.codec, *part.source, part.sink, part.progress);
    if (part.begin != 0) {
      if (!part.encoding->CodeUntil(part.begin - part.start)) part.failed = true;
      if (part.failed) return;
      MarkAt(part, part.at_begin, true);
    }
    CodeToEnd(part);
  }

  void CodeToEnd(Part<Source>& part) {
    if (!part.encoding->CodeUntil(part.end - part.start)) {
      part.failed = true;
      return;
    }
    MarkAt(part, part.at_end, part.end != total_);
  }

  // A part coded by any thread but the first: a fault only costs its help.
  void CodeHelper(Part<Source>& part) {
    try {
      CodePart(part);
    } catch (...) {
      part.failed = true;
    }
  }

  static bool InStep(const Part<Source>& known, const Part<Source>& candidate) {
    return !known.failed && !candidate.failed && candidate.at_begin.position == known.at_end.position &&
           SameDefinedChains(*known.at_end.chains, *candidate.at_begin.chains);
  }

  template <class Writer>
  static bool Write(Part<Source>& part, Writer& writer) {
    if (part.failed) return false;
    const std::size_t end = part.at_end.item;
    if (!part.encoding->Finish()) return false;  // its last group into its items
    part.items.ZeroSlack();
    return writer.Write(part.items, part.at_begin.item, part.at_begin.byte, end);
  }

  // Waits until part `index` is coded, coding other parts meanwhile when there are any to
  // take. True when it is coded.
  bool AwaitOrHelp(std::size_t index) {
    std::unique_lock lock(mutex_);
    if (coded_.size() > index && coded_[index]) return true;
    if (Claimable()) {
      const std::size_t claimed = Claim();
      lock.unlock();
      CodeHelper(*parts_[claimed]);
      Done(claimed);
      return false;
    }
    changed_.wait(lock, [&] { return coded_[index] || Claimable(); });
    return coded_[index];
  }

  void Work() {
    for (;;) {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [&] { return cancel_.load() || next_claim_ >= parts_.size() || Claimable(); });
      if (cancel_.load() || next_claim_ >= parts_.size()) return;
      const std::size_t claimed = Claim();
      lock.unlock();
      CodeHelper(*parts_[claimed]);
      Done(claimed);
    }
  }

  // Parts up to `window_` past the one that follows the part in step may be coded: that one
  // is always among them, so the caller's thread never waits for a part nobody may take.
  void MoveHorizon(std::size_t next) {
    {
      std::lock_guard lock(mutex_);
      horizon_ = next + window_;
    }
    changed_.notify_all();
  }

  void StopClaims() {
    std::lock_guard lock(mutex_);
    horizon_ = 0;
  }

  // Under the lock.
  bool Claimable() const { return next_claim_ < parts_.size() && next_claim_ < horizon_; }
  std::size_t Claim() {
    const std::size_t index = next_claim_++;
    parts_[index] = NewPart(index);
    return index;
  }

  void Done(std::size_t index) {
    {
      std::lock_guard lock(mutex_);
      coded_[index] = true;
    }
    changed_.notify_all();
  }

  void Release(std::size_t index) {
    {
      std::lock_guard lock(mutex_);
      parts_[index].reset();
    }
  }

  Codec& codec_;
  const std::uint64_t total_;
  MakeSource make_source_;
  const std::uint64_t warm_up_;
  std::uint64_t part_size_ = 0;
  std::size_t window_ = 0;
  unsigned threads_ = 0;

  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::unique_ptr<Part<Source>>> parts_;
  std::vector<char> coded_;
  std::size_t next_claim_ = 0;
  std::size_t horizon_ = 0;
  std::atomic<bool> cancel_{false};
  std::vector<std::thread> workers_;
};

}  // namespace split_detail

// Codec::Encode of the input that `make_source(offset)` reads from `offset` on (`total`
// bytes in all), on options.threads threads. The sink and the progress are called on the
// caller's thread only, in the order the one-thread coder calls them, with the same bytes.
template <class Source, class MakeSource, class Sink, class Progress>
bool EncodeInParts(Codec& codec, std::uint64_t total, MakeSource make_source, Sink& sink, Progress& progress,
                   const SplitOptions& options, SplitReport* report = nullptr) {
  SplitReport unused;
  SplitReport& out = report != nullptr ? *report : unused;
  out = {};
  split_detail::PartCoder<Source, MakeSource> coder(codec, total, std::move(make_source), options);
  return coder.Run(sink, progress, out);
}

// Codec::Encode of `total` bytes that `make_source(offset)` reads from `offset` on, on
// several threads when there are enough of them.
template <class Source, class MakeSource, class Sink, class Progress>
bool EncodeFrom(Codec& codec, std::uint64_t total, MakeSource make_source, Sink& sink, Progress& progress,
                const SplitOptions& options = {}, SplitReport* report = nullptr) {
  if (WorthSplitting(total, options)) {
    return EncodeInParts<Source>(codec, total, std::move(make_source), sink, progress, options, report);
  }
  if (report != nullptr) *report = {};
  Source source = make_source(0);
  return codec.Encode(source, sink, progress);
}

// Codec::Encode of a buffer, on several threads when it is large enough.
template <class Sink, class Progress>
bool EncodeBuffer(Codec& codec, std::span<const std::uint8_t> input, Sink& sink, Progress& progress,
                  const SplitOptions& options = {}, SplitReport* report = nullptr) {
  return EncodeFrom<MemorySource>(
      codec, input.size(), [input](std::uint64_t offset) { return MemorySource(input.subspan(offset)); }, sink,
      progress, options, report);
}

}  // namespace narwick::lz
