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
// Coders keep their items apart (lz_coded_items.h); the caller's thread checks each part
// against the one before and writes the items under the output's flag bytes, with the
// progress the one-thread coder reports. At most a few parts are in hand at once, so memory does not grow with the
// input.
#pragma once

#include <sched.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <system_error>
#include <thread>
#include <vector>

#include "compress/lz/lz_codec.h"
#include "compress/lz/lz_coded_items.h"

namespace narwick::lz {

// The processors this process may run on (so `taskset -c 0` makes the coder use one thread),
// at most eight: beyond that, more parts in hand cost more memory than the threads save time.
inline unsigned UsableProcessors() {
  cpu_set_t set;
  CPU_ZERO(&set);
  const int count = sched_getaffinity(0, sizeof set, &set) == 0 ? CPU_COUNT(&set) : 0;
  const unsigned usable = count > 0 ? static_cast<unsigned>(count) : std::thread::hardware_concurrency();
  return std::min(usable, 8u);
}

struct SplitOptions {
  std::uint64_t split_from = std::uint64_t{1} << 19;  // smaller inputs are coded on one thread
  unsigned threads = UsableProcessors();
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

// Codec::Encode of the `total` bytes that `make_source(offset)` reads from `offset` on, on
// options.threads threads when there are enough bytes. The sink and the progress are called
// on the caller's thread only, in the order the one-thread coder calls them, with the same
// bytes. `make_source` is called on any of the threads.
template <class Source, class MakeSource, class Sink, class Progress>
bool EncodeFrom(Codec& codec, std::uint64_t total, MakeSource make_source, Sink& sink, Progress& progress,
                const SplitOptions& options = {}, SplitReport* report = nullptr) {
  SplitReport unused;
  SplitReport& out = report != nullptr ? *report : unused;
  out = {};
  if (!WorthSplitting(total, options)) {
    Source source = make_source(0);
    return codec.Encode(source, sink, progress);
  }
  split_detail::PartCoder<Source, MakeSource> coder(codec, total, std::move(make_source), options);
  return coder.Run(sink, progress, out);
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
