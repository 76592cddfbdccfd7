// The LZ coder and decoder on plain bytes: a 4096-byte ring, 12-bit hash chains, matches of
// 3..18 bytes at absolute ring positions. The output is byte-identical to the defined
// algorithm; only the way the chains are searched is faster (see lz_match_finder.h).
//
// Sources, sinks and progress reporters are template parameters so that the hot loops
// inline them:
//   Source:   std::span<const std::uint8_t> Next();   next chunk of input, empty at the end
//   Sink:     bool Put(const std::uint8_t* data, std::size_t size);   false stops the work
//   Progress: void operator()(std::uint64_t done);   at each defined progress point, with
//             the bytes consumed (encoder) or produced (decoder) so far
#pragma once

#include <cstdint>
#include <cstring>
#include <limits>
#include <span>
#include <type_traits>

#include "compress/lz/lz_format.h"
#include "compress/lz/lz_match_finder.h"

namespace narwick::lz {

// A source over one block of memory.
class MemorySource {
 public:
  explicit MemorySource(std::span<const std::uint8_t> data) : data_(data) {}
  std::span<const std::uint8_t> Next() {
    auto chunk = data_;
    data_ = {};
    return chunk;
  }

 private:
  std::span<const std::uint8_t> data_;
};

enum class DecodeStatus {
  kOk,         // the stored count was produced (a last match may run past it)
  kTruncated,  // the input ended before the count was produced
  kOverrun,    // a match ran past the output limit
  kSinkFailed, // the sink refused bytes
};

template <class Source, class Sink, class Progress>
class Encoding;

// Codec state of one object: the ring and the coder's search. Encoding resets it; decoding uses the
// ring only and leaves it as it ends, so one object runs one operation at a time.
class Codec {
 public:
  Codec();
  Codec(const Codec&) = delete;
  Codec& operator=(const Codec&) = delete;

  // Codes every byte of `source` into `sink` as flag groups, the last group flushed. Returns
  // false when the sink refused a group (the work stops there). The closing 100 percent is
  // the caller's to report.
  template <class Source, class Sink, class Progress>
  bool Encode(Source& source, Sink& sink, Progress& progress);

  // Restores `count` bytes from the body in `source`. A last match is decoded in full even
  // past `count`, but never beyond `limit` bytes in all (kOverrun). Negative counts are the
  // caller's to refuse.
  template <class Source, class Sink, class Progress>
  DecodeStatus Decode(Source& source, std::uint64_t count, Sink& sink, Progress& progress,
                      std::uint64_t limit = std::numeric_limits<std::uint64_t>::max());

  // The ring as `other` left it: an encoding finished on another object hands its end state
  // over (a later Decode starts from the ring).
  void TakeRing(const Codec& other) { std::memcpy(text_, other.text_, sizeof text_); }

  // The defined chains the coder's search stands for, between items at input position `now`.
  void WriteDefinedChains(std::uint64_t now, DefinedChains& out) { finder_.WriteDefinedChains(now, out); }

  // For tests: how many times the coder's search had to follow the defined chains literally
  // since this object was made (see MatchFinder).
  std::uint64_t exact_spells() const { return finder_.exact_spells(); }

 private:
  template <class Source, class Sink, class Progress>
  friend class Encoding;

  // textBuffer: ring 0..4095, 4096..4113 mirror 0..17 so that comparisons of up to 18 bytes
  // never wrap. The rest is padding for 8-byte loads and is never part of a result.
  static constexpr std::size_t kTextSize = kRingSize + kMaxMatch + 46;

  void InitText();

  alignas(64) std::uint8_t text_[kTextSize];
  MatchFinder finder_;
};

// ---------------------------------------------------------------------------------------
// Implementation of the two loops.

// Reads a chunked source one byte at a time; the chunk pointers stay in registers in the
// coder's loops, and a new chunk is fetched only when one runs out.
template <class Source>
class ChunkReader {
 public:
  explicit ChunkReader(Source& source) : source_(&source) { Refill(); }
  // The next byte into `b`; false once the source is exhausted.
  bool operator()(std::uint8_t& b) {
    while (in_ == end_) {
      if (exhausted_) return false;
      Refill();
    }
    b = *in_++;
    return true;
  }
  // The unread part of the current chunk, for loops that take whole groups at once: they
  // advance the cursor themselves.
  const std::uint8_t*& cursor() { return in_; }
  const std::uint8_t* const& chunk_end() const { return end_; }
  const std::uint8_t* chunk_begin() const { return begin_; }

 private:
  void Refill() {
    std::span<const std::uint8_t> chunk = source_->Next();
    begin_ = chunk.data();
    in_ = chunk.data();
    end_ = in_ + chunk.size();
    exhausted_ = chunk.empty();
  }

  Source* source_;
  const std::uint8_t* begin_ = nullptr;
  const std::uint8_t* in_ = nullptr;
  const std::uint8_t* end_ = nullptr;
  bool exhausted_ = false;
};

// One encoding in progress, its loop state kept between calls, so that it can stop at an
// item boundary and go on later (the split encoder, lz_split_encoder.h, compares coders there).
template <class Source, class Sink, class Progress>
class Encoding {
 public:
  static constexpr std::uint64_t kToTheEnd = std::numeric_limits<std::uint64_t>::max();

  // Resets the codec and reads the first look-ahead.
  Encoding(Codec& codec, Source& source, Sink& sink, Progress& progress);

  // Codes items until the input is done or an item ends at or past input position `stop_at`.
  // False when the sink refused a group (the work stops there).
  bool CodeUntil(std::uint64_t stop_at = kToTheEnd);
  // Flushes the last group.
  bool Finish() { return sink_->Put(code_, code_ptr_); }

  // The input position of the next item.
  std::uint64_t position() const { return now_; }
  // Items and their bytes in the group not yet flushed.
  std::uint32_t pending_items() const { return flag_count_; }
  std::uint32_t pending_bytes() const { return code_ptr_ - 1; }

 private:
  Codec* codec_;
  Sink* sink_;
  Progress* progress_;
  ChunkReader<Source> reader_;  // next input byte; false once exhausted
  // codeBuffer: flag byte, then the items; sinks may read 16 bytes past the flag byte.
  std::uint8_t code_[kMaxGroupBytes + 1] = {};
  std::uint32_t code_ptr_ = 1;
  std::uint32_t flag_count_ = 0;
  std::uint64_t consumed_ = 0;
  std::uint64_t now_ = 0;  // positions linked so far
  std::uint32_t r_ = 0;
  std::uint32_t lookahead_ = 0;
};

template <class Source, class Sink, class Progress>
bool Codec::Encode(Source& source, Sink& sink, Progress& progress) {
  Encoding<Source, Sink, Progress> encoding(*this, source, sink, progress);
  return encoding.CodeUntil() && encoding.Finish();
}

template <class Source, class Sink, class Progress>
Encoding<Source, Sink, Progress>::Encoding(Codec& codec, Source& source, Sink& sink, Progress& progress)
    : codec_(&codec), sink_(&sink), progress_(&progress), reader_(source) {
  codec.InitText();
  codec.finder_.Reset();
  code_[0] = 0;
  std::uint8_t c = 0;
  while (lookahead_ < kMaxMatch && reader_(c)) {
    ++consumed_;
    codec.text_[lookahead_] = c;
    codec.text_[lookahead_ + kRingSize] = c;
    ++lookahead_;
  }
}

template <class Source, class Sink, class Progress>
bool Encoding<Source, Sink, Progress>::CodeUntil(std::uint64_t stop_at) {
  // The loop runs on locals (byte stores into the ring could alias members); they go back
  // into the members on the way out.
  std::uint8_t* const text = codec_->text_;
  MatchFinder& finder = codec_->finder_;
  Progress& progress = *progress_;
  ChunkReader<Source> next_byte = reader_;
  std::uint64_t consumed = consumed_;
  std::uint64_t now = now_;
  std::uint32_t r = r_;
  std::uint32_t lookahead = lookahead_;
  std::uint32_t code_ptr = code_ptr_;
  std::uint32_t flag_count = flag_count_;
  std::uint8_t* const code = code_;
  const auto save = [&] {
    reader_ = next_byte;
    consumed_ = consumed;
    now_ = now;
    r_ = r;
    lookahead_ = lookahead;
    code_ptr_ = code_ptr;
    flag_count_ = flag_count;
  };

  // Advances r over an item's bytes. Each step retires the position 18 ahead (about to be
  // overwritten), reads one byte into it (and its mirror), links r, and reports progress
  // whenever the consumed count sits on a multiple of 4096 (repeating while the source is
  // exhausted). When the chunk holds the item's bytes and no multiple is crossed, the steps
  // need none of those tests.
  const std::uint8_t*& in = next_byte.cursor();
  const std::uint8_t* const& in_end = next_byte.chunk_end();
  auto advance = [&](auto exact_mode, std::uint32_t length) {
    constexpr bool kExact = decltype(exact_mode)::value;
    // One step; `next` gives the byte read in, false once the source is exhausted.
    auto step = [&](auto&& next) __attribute__((always_inline)) {
      const std::uint32_t s = (r + kMaxMatch) & kRingMask;
      finder.template Retire<kExact>(s);
      std::uint8_t b;
      const bool got = next(b);
      if (got) {
        text[s] = b;
        if (s < kMaxMatch) text[s + kRingSize] = b;
      }
      finder.template Link<kExact>(text, r, now++);
      r = (r + 1) & kRingMask;
      return got;
    };
    if (in_end - in >= static_cast<std::ptrdiff_t>(length) &&
        (consumed & (kProgressInterval - 1)) + length < kProgressInterval) {
      consumed += length;
      for (std::uint32_t i = 0; i < length; ++i) {
        step([&](std::uint8_t& b) {
          b = *in++;
          return true;
        });
      }
      return;
    }
    for (std::uint32_t i = 0; i < length; ++i) {
      if (step(next_byte)) {
        ++consumed;
      } else {
        --lookahead;
      }
      if ((consumed & (kProgressInterval - 1)) == 0) progress(consumed);
    }
  };

  // Puts an item into the group (its length, 1 for a literal). False when the sink refused
  // the full group before it.
  auto emit = [&](std::uint32_t& length, std::uint32_t position, std::uint8_t literal) __attribute__((always_inline)) {
    if (flag_count == 8) {
      if (!sink_->Put(code, code_ptr)) return false;
      code_ptr = 1;
      flag_count = 0;
      code[0] = 0;
    }
    if (length >= kMinMatch) {
      code[code_ptr] = static_cast<std::uint8_t>(position);
      code[code_ptr + 1] = static_cast<std::uint8_t>(((position >> 4) & 0xF0u) | (length - kMinMatch));
      code_ptr += 2;
    } else {
      length = 1;
      code[code_ptr++] = literal;
      code[0] = static_cast<std::uint8_t>(code[0] | (1u << flag_count));
    }
    ++flag_count;
    return true;
  };

  // Where the chunk holds the 4096 bytes before r and plenty after it, items are coded on the
  // input itself (MatchFinder::FindAt): no ring to fill and no position to link one step at a
  // time. Progress comes at the same points: one multiple of 4096 crossed by an item at the
  // step that reaches it, and once more after the item when it ends there. The loop leaves the
  // ring as the steps would have (it holds the last 4096 bytes read, spaces before the input's
  // start) before the ring loop below takes over: at the chunk's end, when the chains are
  // cut (exact mode, whose item's steps the ring loop does), or when the sink refuses.
  constexpr std::ptrdiff_t kLinearSlack = 96;  // the compares' 24 bytes past the longest item
  const auto linear_ready = [&] {
    const std::ptrdiff_t history = in - next_byte.chunk_begin() - std::ptrdiff_t{kMaxMatch};
    return !finder.exact() && lookahead == kMaxMatch && in_end - in >= kLinearSlack && history >= 0 &&
           static_cast<std::uint64_t>(history) >= std::min<std::uint64_t>(now, kRingSize);
  };
  enum class LinearEnd { kRing, kExactItem, kSinkRefused };
  std::uint32_t exact_item = 0;
  const auto code_linear = [&]() __attribute__((always_inline)) {
    const std::uint8_t* at = in - kMaxMatch;
    LinearEnd end = LinearEnd::kRing;
    // Items start while the chunk has kLinearSlack bytes after their look-ahead.
    const std::uint64_t until = std::min<std::uint64_t>(
        stop_at, now + 1 + static_cast<std::uint64_t>(in_end - at - (kLinearSlack + std::ptrdiff_t{kMaxMatch})));
    while (now < until) {
      std::uint32_t position;
      std::uint32_t length =
          finder.FindAt(at, now, static_cast<std::size_t>(in_end - at - 8), position);
      if (!emit(length, position, at[0])) {
        end = LinearEnd::kSinkRefused;
        break;
      }
      if (finder.exact()) {
        exact_item = length;
        end = LinearEnd::kExactItem;
        break;
      }
      const std::uint64_t before = now + kMaxMatch;  // the bytes read so far
      if ((before & (kProgressInterval - 1)) + length >= kProgressInterval) {
        const std::uint64_t reached = (before + length) & ~std::uint64_t{kProgressInterval - 1};
        progress(reached);
        if (reached == before + length) progress(reached);
      }
      now += length;
      at += length;
    }
    finder.CatchUp(at, now);
    // The ring as the steps leave it: slot by slot the bytes of the last 4096 positions read.
    const std::uint64_t read = now + kMaxMatch;
    const std::uint64_t oldest = read > kRingSize ? read - kRingSize : 0;
    for (std::uint64_t q = oldest; q < read;) {
      const auto slot = static_cast<std::uint32_t>(q & kRingMask);
      const std::uint64_t run = std::min<std::uint64_t>(read - q, kRingSize - slot);
      std::memcpy(text + slot, at - static_cast<std::ptrdiff_t>(now - q), run);
      q += run;
    }
    std::memcpy(text + kRingSize, text, kMaxMatch);
    r = static_cast<std::uint32_t>(now & kRingMask);
    consumed = read;
    in = at + kMaxMatch;
    return end;
  };

  // One item per pass: search at r, emit a literal or a match, then advance r over it.
  while (lookahead > 0 && now < stop_at) {
    std::uint32_t position = 0;
    std::uint32_t length;
    if (linear_ready()) {
      const LinearEnd end = code_linear();
      if (end == LinearEnd::kSinkRefused) {
        save();
        return false;
      }
      if (end == LinearEnd::kRing) continue;
      length = exact_item;  // emitted already; its steps follow the defined chains
    } else {
      length = finder.Find(text, r, now, position);
      if (length > lookahead) length = lookahead;
      if (!emit(length, position, text[r])) {
        save();
        return false;
      }
    }

    if (finder.exact()) {
      advance(std::true_type{}, length);
    } else {
      advance(std::false_type{}, length);
    }
    if ((consumed & (kProgressInterval - 1)) == 0) progress(consumed);
  }
  save();
  return true;
}

// Copies a 3..18-byte match from `distance` bytes back, where `distance` is at least 8:
// three 8-byte steps, each reading only bytes already in place, so an overlapping match
// repeats as a byte-by-byte copy would. Writes up to 24 bytes; the caller has the room.
[[gnu::always_inline]] inline void CopyFar(std::uint8_t* dst, std::uint32_t distance) {
  const std::uint8_t* src = dst - distance;
  for (int k = 0; k < 24; k += 8) {
    std::uint64_t v;
    std::memcpy(&v, src + k, 8);
    std::memcpy(dst + k, &v, 8);
  }
}

// Copies a 3..18-byte match from 1..7 bytes back: the pattern of `distance` bytes repeats.
// The first eight bytes are the pattern spread over a word (one multiply for the common
// distances 1, 2 and 4); the rest come in 8-byte steps from the nearest multiple of
// `distance` at least 8 back, which holds the same pattern. Writes up to 24 bytes.
[[gnu::always_inline]] inline void CopyNear(std::uint8_t* dst, std::uint32_t distance, std::uint32_t length) {
  std::uint64_t v;
  std::memcpy(&v, dst - distance, 8);
  switch (distance) {
    case 1: v = (v & 0xFFu) * 0x0101010101010101ull; break;
    case 2: v = (v & 0xFFFFu) * 0x0001000100010001ull; break;
    case 4: v = (v & 0xFFFFFFFFull) * 0x0000000100000001ull; break;
    default:
      for (std::uint32_t k = 0; k < 8; ++k) dst[k] = (dst - distance)[k];
      std::memcpy(&v, dst, 8);
      break;
  }
  std::memcpy(dst, &v, 8);
  if (length <= 8) return;
  const std::uint32_t step = (8 + distance - 1) / distance * distance;
  for (int k = 8; k < 24; k += 8) {
    std::memcpy(&v, dst + k - step, 8);
    std::memcpy(dst + k, &v, 8);
  }
}

template <class Source, class Sink, class Progress>
DecodeStatus Codec::Decode(Source& source, std::uint64_t count, Sink& sink, Progress& progress,
                           std::uint64_t limit) {
  ChunkReader<Source> next_byte(source);
  const std::uint8_t*& in = next_byte.cursor();
  const std::uint8_t* const& in_end = next_byte.chunk_end();

  // Output is produced in one line: the ring's 4096 bytes as history, then up to kStage new
  // bytes, one group's worth past them and room for a last 24-byte copy step. The write
  // position r of the ring is the produced count modulo 4096 (it starts at 0), so ring
  // position p lies (r - p) mod 4096 bytes back, or 4096 when that is 0: matches read the
  // line without wrapping, and new bytes go to the sink straight from it. Handing the stage
  // on keeps its last 4096 bytes as the history; the ring gets the line's state at the end.
  constexpr std::size_t kStage = 1 << 15;
  constexpr std::size_t kGroupMost = 8 * kMaxMatch;
  std::uint8_t line[kRingSize + kStage + kGroupMost + 32];
  std::uint8_t* const stage = line + kRingSize;
  std::memcpy(line, text_, kRingSize);
  std::uint8_t* w = stage;
  std::uint64_t produced = 0;

  auto flush = [&]() -> bool {
    const auto size = static_cast<std::size_t>(w - stage);
    if (size == 0) return true;
    const bool ok = sink.Put(stage, size);
    std::memmove(line, w - kRingSize, kRingSize);
    w = stage;
    return ok;
  };
  auto distance_to = [&](std::uint32_t p) -> std::uint32_t {
    const std::uint32_t back = (static_cast<std::uint32_t>(produced) - p) & kRingMask;
    return back == 0 ? static_cast<std::uint32_t>(kRingSize) : back;
  };
  // Copies a match no progress mark, count or limit can interrupt.
  auto copy_match = [&](std::uint32_t distance, std::uint32_t length) __attribute__((always_inline)) {
    if (distance >= 8) {
      CopyFar(w, distance);
    } else {
      CopyNear(w, distance, length);
    }
    w += length;
    produced += length;
  };
  // Emits the match at ring position p. The per-byte progress test runs only for a match
  // that reaches the next 4096-byte mark or the output limit; false when the limit stops it.
  auto emit_match = [&](std::uint32_t p, std::uint32_t length) __attribute__((always_inline)) -> bool {
    const std::uint32_t distance = distance_to(p);
    const bool careful = (produced & (kProgressInterval - 1)) + length >= kProgressInterval ||
                         limit - produced < length;
    if (!careful) {
      copy_match(distance, length);
      return true;
    }
    for (std::uint32_t k = 0; k < length; ++k) {
      if (produced == limit) return false;
      *w = *(w - distance);
      ++w;
      ++produced;
      if ((produced & (kProgressInterval - 1)) == 0) progress(produced);
    }
    return true;
  };

  // One flag group per pass: the flag byte, then up to eight items (bit set: literal,
  // clear: match), stopping as soon as the count is produced. When the whole group is
  // already in the current chunk (at most 17 bytes), its bytes are read without checks.
  auto run = [&]() -> DecodeStatus {
    while (produced < count) {
      if (in_end - in >= static_cast<std::ptrdiff_t>(kMaxGroupBytes)) {
        std::uint32_t flags = *in++;
        // Eight literals that neither reach the count nor cross a progress mark.
        if (flags == 0xFF && count - produced >= 8 &&
            (produced & (kProgressInterval - 1)) + 8 < kProgressInterval) {
          std::memcpy(w, in, 8);
          in += 8;
          w += 8;
          produced += 8;
          if (w - stage >= static_cast<std::ptrdiff_t>(kStage) && !flush()) return DecodeStatus::kSinkFailed;
          continue;
        }
        // A group produces at most 8 x 18 bytes. When that cannot reach the count, the
        // output limit or the next progress mark, its items need none of those checks.
        if (count - produced >= kGroupMost && limit - produced >= kGroupMost &&
            (produced & (kProgressInterval - 1)) + kGroupMost < kProgressInterval) {
          for (int k = 0; k < 8; ++k, flags >>= 1) {
            if (flags & 1u) {
              *w++ = *in++;
              ++produced;
              continue;
            }
            const std::uint8_t b1 = in[0];
            const std::uint8_t b2 = in[1];
            in += 2;
            copy_match(distance_to(DecodeMatchPosition(b1, b2)), DecodeMatchLength(b2));
          }
          if (w - stage >= static_cast<std::ptrdiff_t>(kStage) && !flush()) return DecodeStatus::kSinkFailed;
          continue;
        }
        for (int k = 0; k < 8 && produced < count; ++k, flags >>= 1) {
          if (flags & 1u) {
            *w++ = *in++;
            ++produced;
          } else {
            const std::uint8_t b1 = in[0];
            const std::uint8_t b2 = in[1];
            in += 2;
            if (!emit_match(DecodeMatchPosition(b1, b2), DecodeMatchLength(b2))) {
              return flush() ? DecodeStatus::kOverrun : DecodeStatus::kSinkFailed;
            }
          }
          if ((produced & (kProgressInterval - 1)) == 0) progress(produced);
        }
      } else {
        std::uint8_t f;
        if (!next_byte(f)) return flush() ? DecodeStatus::kTruncated : DecodeStatus::kSinkFailed;
        std::uint32_t flags = f;
        for (int k = 0; k < 8 && produced < count; ++k, flags >>= 1) {
          if (flags & 1u) {
            std::uint8_t b;
            if (!next_byte(b)) return flush() ? DecodeStatus::kTruncated : DecodeStatus::kSinkFailed;
            *w++ = b;
            ++produced;
          } else {
            std::uint8_t b1;
            std::uint8_t b2;
            if (!next_byte(b1) || !next_byte(b2)) {
              return flush() ? DecodeStatus::kTruncated : DecodeStatus::kSinkFailed;
            }
            if (!emit_match(DecodeMatchPosition(b1, b2), DecodeMatchLength(b2))) {
              return flush() ? DecodeStatus::kOverrun : DecodeStatus::kSinkFailed;
            }
          }
          if ((produced & (kProgressInterval - 1)) == 0) progress(produced);
        }
      }
      if (w - stage >= static_cast<std::ptrdiff_t>(kStage) && !flush()) return DecodeStatus::kSinkFailed;
    }
    return flush() ? DecodeStatus::kOk : DecodeStatus::kSinkFailed;
  };
  const DecodeStatus status = run();
  // The ring as it ends: the last 4096 bytes, byte q of the output at ring position q mod 4096.
  const std::uint8_t* last = w - kRingSize;
  const auto r = static_cast<std::size_t>(produced & kRingMask);
  std::memcpy(text_ + r, last, kRingSize - r);
  std::memcpy(text_, last + (kRingSize - r), r);
  return status;
}

}  // namespace narwick::lz
