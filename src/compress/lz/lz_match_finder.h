// The coder's search: for each coding position, the match the defined chain walk finds, with
// the walk's side effect on the chains, at a fraction of the walk's cost.
//
// The defined structure is a doubly linked chain per 12-bit hash (the first byte and the low
// nibble of the second), newest position first, with entry 4096 as the end mark. Every
// position is linked as the coder passes it and unlinked 18 bytes before its byte is
// overwritten; a search walks its chain and takes the first candidate of greatest length.
// After a full 18-byte match it unlinks the candidate that follows the matching one, or,
// when there is none, "unlinks" the end mark: that rewrites the forward link of whatever
// entry 4096's back link names, which can cut a chain short.
//
// Almost always the chains are plain: each holds exactly the linked positions of its hash, in
// the order they were linked, and a cut through the end mark changes nothing. Then the
// finder runs on a cheap index (below, "ordinary mode") that never unlinks: positions are
// stamped with their place in the input, lists run newest first through older stamps, and a
// stamp more than 4078 places back has left the window. The search walks only candidates
// whose first three bytes hash alike. What the chains would say about entry 4096 is kept as
// one value. When a cut would really cut, the defined chains are written out from the index
// and the finder follows them literally ("exact mode") until they are plain again.
//
// Where the coder has the input itself at hand (FindAt), positions are indexed a batch at a
// time ahead of the search rather than one per step; the walks never see them early, since
// a search starts from the newest position before its own. There the walks also skip what
// cannot win: runs of one byte are taken a run at a time (WalkRuns), and a walk that has a
// match goes on among the positions that share the bytes just before its end (WalkOn).
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "compress/lz/lz_format.h"

namespace narwick::lz {

// The first three bytes at r and one more, little-endian; r <= 4095, and the ring's mirror
// and padding keep the load inside the buffer.
inline std::uint32_t LoadHead(const std::uint8_t* text, std::uint32_t r) {
  std::uint32_t w;
  std::memcpy(&w, text + r, sizeof w);
  return w;
}

inline std::uint32_t ChainOf(std::uint32_t head) { return head & kRingMask; }

// How many of the 18 bytes at p and r agree, compared 8 at a time (24 bytes are read; the
// buffers are padded for it).
inline std::uint32_t MatchLength(const std::uint8_t* p, const std::uint8_t* r) {
  for (std::uint32_t i = 0; i < 24; i += 8) {
    std::uint64_t a;
    std::uint64_t b;
    std::memcpy(&a, p + i, 8);
    std::memcpy(&b, r + i, 8);
    const std::uint64_t diff = a ^ b;
    if (diff != 0) {
      const auto len = i + static_cast<std::uint32_t>(__builtin_ctzll(diff) >> 3);
      return len < kMaxMatch ? len : kMaxMatch;
    }
  }
  return kMaxMatch;
}

// How many of the bytes at p, up to `most` (at most 24), are `c`; reads 24 bytes.
inline std::uint32_t LeadingRun(const std::uint8_t* p, std::uint8_t c, std::uint32_t most) {
  const std::uint64_t pattern = 0x0101010101010101ull * c;
  for (std::uint32_t i = 0; i < 24; i += 8) {
    std::uint64_t w;
    std::memcpy(&w, p + i, 8);
    if (const std::uint64_t diff = w ^ pattern; diff != 0) {
      return std::min(most, i + static_cast<std::uint32_t>(__builtin_ctzll(diff) >> 3));
    }
  }
  return std::min<std::uint32_t>(most, 24);
}

// Where `r` is the bytes at age 0, the first age from `age` on (going back) whose byte is
// not `c`, or limit + 1; reads nothing older than `limit`.
inline std::uint32_t RunEndAge(const std::uint8_t* r, std::uint32_t age, std::uint32_t limit, std::uint8_t c) {
  const std::uint64_t pattern = 0x0101010101010101ull * c;
  for (; age + 7 <= limit; age += 8) {
    std::uint64_t w;  // ages age + 7 down to age, the last in the top byte
    std::memcpy(&w, r - age - 7, 8);
    if (const std::uint64_t diff = w ^ pattern; diff != 0) {
      return age + static_cast<std::uint32_t>(__builtin_clzll(diff) >> 3);
    }
  }
  while (age <= limit && r[-static_cast<std::ptrdiff_t>(age)] == c) ++age;
  return age;
}

// The defined chains, followed literally.
struct DefinedChains {
  std::uint16_t next[8194];  // 0..4095 next older position, 4096 end mark, 4097.. chain heads
  std::uint16_t prev[4098];  // previous entry, or 4096 when the position is not linked

  void Link(std::uint32_t r, std::uint32_t chain) {
    const std::uint32_t head = kChainHeadBase + chain;
    const std::uint16_t old = next[head];
    next[head] = static_cast<std::uint16_t>(r);
    prev[r] = static_cast<std::uint16_t>(head);
    next[r] = old;
    if (old != kEndOfChain) prev[old] = static_cast<std::uint16_t>(r);
  }
  // `p` may be the end mark 4096; then entry 4096 is acted on like any other.
  void Unlink(std::uint32_t p) {
    const std::uint16_t q = prev[p];
    if (q == kEndOfChain) return;
    const std::uint16_t n = next[p];
    next[q] = n;
    prev[n] = q;
    next[p] = kEndOfChain;
    prev[p] = kEndOfChain;
  }
};

// Whether two sets of chains decide every later search alike: all back links, and the forward
// links of the end mark, the heads and every linked position.
bool SameDefinedChains(const DefinedChains& a, const DefinedChains& b);

class MatchFinder {
 public:
  // Empty chains, ordinary mode, position 0.
  void Reset();

  // True while the defined chains are followed literally; changes only inside Find.
  bool exact() const { return exact_; }

  // In each call `now` is the input position of r, the next position to link (so the
  // number of positions linked so far); the coder keeps it, so that it stays in a register.
  //
  // The longest match (0 when under 3 bytes) for the bytes at r; sets `position` to the
  // candidate. Keeps the unlink that follows a full match.
  std::uint32_t Find(const std::uint8_t* text, std::uint32_t r, std::uint64_t now, std::uint32_t& position);
  // The position at s leaves the window; its byte is about to be overwritten. `kExact` is
  // exact() (the coder's loop dispatches on it once per item). Ordinary mode has nothing to
  // do: what the retire would leave in entry 4096 is worked out when asked (ResolvedEndLink).
  template <bool kExact>
  void Retire(std::uint32_t s) {
    if constexpr (kExact) chains_.Unlink(s);
  }
  // Links r (unless it was indexed ahead, see FindAt).
  template <bool kExact>
  void Link(const std::uint8_t* text, std::uint32_t r, std::uint64_t now);

  // The same search in ordinary mode on the input itself, where the bytes of
  // position `now` are at `at` and every byte from 4096 before it to 64 after it is at hand.
  // No position is linked one at a time there: positions are indexed a batch at a time,
  // ahead of the search, from the input (`indexable` bytes after `at` may be read), and the
  // search starts from the newest one before `now`. Candidates and results are the ones Find
  // gives on the ring, whose bytes are the same.
  std::uint32_t FindAt(const std::uint8_t* at, std::uint64_t now, std::size_t indexable, std::uint32_t& position);
  // Indexes every position before `now` not indexed yet (an item may have passed the batch's
  // end), so that the index stands for the defined chains between items, as Link leaves it.
  void CatchUp(const std::uint8_t* at, std::uint64_t now) {
    if (indexed_ < now) IndexUntil(at, now, now);
  }

  // For tests: how many times the finder had to follow the defined chains literally.
  std::uint64_t exact_spells() const { return exact_spells_; }
  // Between items: the defined chains this finder stands for at `now`, which with the ring
  // decide every later search. Links of positions that are not linked are 4096.
  void WriteDefinedChains(std::uint64_t now, DefinedChains& out);

 private:
  using Stamp = std::uint16_t;  // input position modulo 65536
  static constexpr std::uint32_t kWindow = kRingSize - kMaxMatch;  // linked positions are 1..4078 back
  static constexpr std::uint32_t kBucketBits = 14;
  // Candidates a walk visits before it goes on with WalkOn: lists under later bytes hold fewer
  // candidates that cannot win where walks are long, but switching costs a cold list head
  // (8 gained 5% on source against 16, 4 or none; 3 for `best` rather than 4 gained 2% more).
  static constexpr std::uint32_t kWalkBeforeSwitch = 8;
  // The lists' links and the unlinked marks are kept per stamp, which leaves room for the
  // window and the positions indexed ahead of the search (at most kAhead), and makes a walk's
  // step one load (tables per position modulo 16384 put a mask on that path: 3% to 9%).
  static constexpr std::size_t kStamps = std::size_t{1} << 16;
  static constexpr std::uint32_t kAhead = 2048;
  // Stamps from `now` to this far ahead are positions indexed ahead, not old ones.
  static constexpr std::uint32_t kFuture = 4096;
  // Heads out of window are restamped this far back at every sweep, and sweeps come often
  // enough that no stamp reachable from a list gets 65536 - kFuture places old and looks new.
  static constexpr std::uint32_t kStaleAge = 0x2000;
  // FindAt checks for a sweep only when it indexes a batch, so it may come up to a batch late.
  static constexpr std::uint32_t kSweepInterval = 0xB000;
  static constexpr std::uint32_t kSweepDelay = kAhead + kMaxMatch;
  static_assert(kStaleAge + kSweepInterval + kSweepDelay + kAhead < 0x10000 - kFuture && kAhead + kMaxMatch < kFuture);
  static constexpr std::uint64_t kMaxCheckInterval = 1 << 16;
  // What entry 4096's back link holds, as one value: nothing; a chain's last position (it
  // stays last while the value holds); or a chain's head (the chain was emptied). A retire
  // sets it to one of the last two, which one is worked out only when asked (from the last
  // position that left the window linked since end_link_at_).
  static constexpr std::uint16_t kEndNone = 0xFFFF;
  static constexpr std::uint16_t kEndHead = 0x8000;

  static std::uint32_t BucketOf(std::uint32_t head) {
    return ((head << 8) * 0x9E3779B1u) >> (32 - kBucketBits);
  }
  Stamp Age(Stamp stamp) const { return static_cast<Stamp>(static_cast<Stamp>(now_) - stamp); }
  bool InWindow(Stamp stamp) const { return Age(stamp) <= kWindow; }
  bool Ahead(Stamp stamp) const { return static_cast<Stamp>(stamp - static_cast<Stamp>(now_)) < kFuture; }
  Stamp StaleStamp() const { return static_cast<Stamp>(now_ - kStaleAge); }
  // The greatest age a candidate can have: the window's, or less near the input's start.
  std::uint32_t OldestAge() const { return static_cast<std::uint32_t>(std::min<std::uint64_t>(now_, kWindow)); }
  // A stamp's entry in the per-stamp tables. Indexing with the 16-bit stamp itself made GCC 12
  // code the walk's loads 6% slower on source.
  static std::uint32_t Slot(Stamp stamp) { return stamp; }
  bool Linked(Stamp stamp) const { return (places_[Slot(stamp)].marks & kUnlinked) == 0; }
  Stamp BucketPrev(Stamp stamp) const { return places_[Slot(stamp)].bucket_prev; }
  Stamp ChainPrev(Stamp stamp) const { return chain_prev_[Slot(stamp)]; }
  // The newest position of a list before `now`, from its head (positions indexed ahead come
  // first).
  template <class Prev>
  Stamp Newest(Stamp head, Prev prev) const {
    while (Ahead(head)) head = (this->*prev)(head);
    return head;
  }
  // The first linked position at or after `stamp` on a chain list, or a fresh stale stamp
  // (so that no old stamp is carried on by the shortcut UnlinkFollower stores).
  Stamp NextLinked(Stamp stamp) const {
    while (InWindow(stamp)) {
      if (Linked(stamp)) return stamp;
      stamp = chain_prev_[Slot(stamp)];
    }
    return StaleStamp();
  }
  // A chain's linked positions, newest first: for (s = FirstLinked(c); InWindow(s); s = LinkedAfter(s)).
  Stamp FirstLinked(std::uint32_t chain) const { return NextLinked(Newest(chain_head_[chain], &MatchFinder::ChainPrev)); }
  Stamp LinkedAfter(Stamp stamp) const { return NextLinked(chain_prev_[Slot(stamp)]); }
  // Lists the position stamped `stamp`, whose first bytes are `bytes`, in its bucket and
  // chain lists, linked.
  void Index(const std::uint8_t* bytes, Stamp stamp) {
    const std::uint32_t head = LoadHead(bytes, 0);
    const std::uint32_t chain = ChainOf(head);
    const std::uint32_t bucket = BucketOf(head);
    chain_prev_[Slot(stamp)] = chain_head_[chain];
    chain_head_[chain] = stamp;
    places_[Slot(stamp)] = {bucket_head_[bucket], static_cast<std::uint16_t>(chain)};
    bucket_head_[bucket] = stamp;
  }
  // Forgets the run extents kept for the positions from `from` to `until` (exclusive), which
  // are about to be indexed.
  void ClearRunSpans(std::uint64_t from, std::uint64_t until) {
    while (from < until) {
      const std::uint64_t end = std::min(until, (from | (kStamps - 1)) + 1);  // within one pass of the stamps
      std::fill(runs_ + Slot(static_cast<Stamp>(from)), runs_ + Slot(static_cast<Stamp>(end - 1)) + 1, RunEnd{});
      from = end;
    }
  }
  // Indexes the positions from indexed_ to `until` (exclusive); those of `now` are at `at`.
  void IndexUntil(const std::uint8_t* at, std::uint64_t now, std::uint64_t until) {
    ClearRunSpans(indexed_, until);
    for (std::uint64_t x = indexed_; x < until; ++x) {
      Index(at + static_cast<std::ptrdiff_t>(x - now), static_cast<Stamp>(x));
    }
    indexed_ = until;
  }
  // The walk of Find and FindAt from `stamp` on, newest first, for the bytes at `r`;
  // `bytes_of(stamp)` gives a candidate's bytes. `kIndexedAhead`: the 16 positions after r
  // are indexed, and a long walk goes on with WalkOn.
  template <bool kIndexedAhead, class BytesOf>
  std::uint32_t Walk(const std::uint8_t* r, Stamp stamp, BytesOf bytes_of, std::uint32_t& position);
  // A walk that has found a match of `best` (3 or more) bytes at `position`, among the
  // candidates up to `done` places back, goes on among the older ones where only those
  // that agree on more can win: all of them start r's bytes at best - 2, so their positions
  // plus best - 2 are listed together, under those bytes.
  std::uint32_t WalkOn(const std::uint8_t* r, std::uint32_t best, std::uint32_t done, std::uint32_t& position);
  // FindAt's walk when the bytes at `r` begin with three alike: a run's positions, one
  // list entry each, are taken a run at a time.
  std::uint32_t WalkRuns(const std::uint8_t* r, Stamp stamp, std::uint32_t& position);
  // A walk's test of the candidate at `p`, stamped `stamp`, for the bytes at `r`, whose match
  // so far is `best` bytes long (`wanted` is r[best]): takes it if it agrees on more. True when
  // it agrees in full, which ends the walk.
  [[gnu::always_inline]] bool Consider(const std::uint8_t* p, const std::uint8_t* r, Stamp stamp, std::uint32_t& best,
                                       std::uint8_t& wanted, std::uint32_t& position) {
    // A candidate can only win if it agrees at index `best`, so that byte is tested first.
    if (p[best] == wanted && Linked(stamp)) {
      const std::uint32_t length = MatchLength(p, r);
      if (length > best) {
        best = length;
        position = stamp & kRingMask;
        if (length == kMaxMatch) {
          // Kept for compatibility with existing data: after a full-length match the original
          // coder unlinks the candidate that follows the matching one in its chain (the end
          // mark 4096 when there is none). That changes later searches, so the output bytes.
          UnlinkFollower(stamp, ChainOf(LoadHead(r, 0)));
          return true;
        }
        wanted = r[best];
      }
    }
    return false;
  }

  std::uint32_t FindExact(const std::uint8_t* text, std::uint32_t r, std::uint32_t& position);
  void UnlinkFollower(Stamp p, std::uint32_t chain);
  void UnlinkEndMark();
  std::uint16_t ResolvedEndLink() const;
  void ResolveEndLink();
  void WriteChains(DefinedChains& out) const;
  void Sweep();
  void EnterExactMode();
  bool ChainsArePlain(const std::uint8_t* text) const;
  void BuildIndex(const std::uint8_t* text);

  bool exact_ = false;
  std::uint64_t now_ = 0;  // `now` of the current Find, for the routines it calls
  std::uint64_t indexed_ = 0;  // ordinary mode: positions before this one are indexed
  std::uint64_t swept_at_ = 0;
  std::uint64_t checked_at_ = 0;  // exact mode: when the chains were last checked for plainness
  std::uint64_t check_every_ = kRingSize;
  std::uint64_t exact_spells_ = 0;

  // Ordinary mode. Lists hold stamps newest first; a list ends at the first stamp out of
  // window. Positions unlinked after a full match stay listed, marked, and are skipped.
  std::uint16_t end_link_ = kEndNone;
  // When end_link_ was last set: retires since then (of positions that left the window linked)
  // may have changed what it stands for.
  std::uint64_t end_link_at_ = 0;
  alignas(64) Stamp bucket_head_[1u << kBucketBits];  // positions whose first 3 bytes hash alike
  Stamp chain_head_[kHashCount];  // positions of one 12-bit hash, for the unlink after a full match
  Stamp chain_prev_[kStamps];
  // Per stamp, side by side (a walk's step reads both, and indexing writes both in one
  // store): the bucket list's next older position, and the marks: the position's 12-bit chain
  // (asked for after it has left the window, when the ring no longer holds its bytes) and
  // kUnlinked. Set when a position is indexed and read only for indexed positions, so a new
  // coding need not clear them (256 KiB for every small string).
  static constexpr std::uint16_t kUnlinked = 0x8000;
  struct Place {
    Stamp bucket_prev;
    std::uint16_t marks;
  };
  Place places_[kStamps];
  // For a run's newest position, once a search has measured it (WalkRuns): how many
  // positions the run has from there back, and the bucket list's entry after them. A span of
  // 0 is not measured yet; cleared as positions are indexed.
  struct RunEnd {  // no initializers: a new finder need not clear 256 KiB
    Stamp exit;
    std::uint16_t span;
  };
  RunEnd runs_[kStamps];

  // Exact mode.
  DefinedChains chains_;
};

// ---------------------------------------------------------------------------------------
// The per-byte and per-item routines, inline for the coder's loop.

inline std::uint32_t MatchFinder::Find(const std::uint8_t* text, std::uint32_t r, std::uint64_t now,
                                       std::uint32_t& position) {
  now_ = now;
  if (exact_) return FindExact(text, r, position);
  if (now_ - swept_at_ >= kSweepInterval) Sweep();
  const Stamp newest = Newest(bucket_head_[BucketOf(LoadHead(text, r))], &MatchFinder::BucketPrev);
  return Walk<false>(text + r, newest, [&](Stamp stamp) { return text + (stamp & kRingMask); }, position);
}

inline std::uint32_t MatchFinder::FindAt(const std::uint8_t* at, std::uint64_t now, std::size_t indexable,
                                         std::uint32_t& position) {
  now_ = now;
  // A batch ahead; the search below needs `now` itself indexed (its list link is where the
  // search starts), and WalkOn the positions up to 16 after it.
  if (indexed_ <= now + kMaxMatch) [[unlikely]] {
    IndexUntil(at, now, now + std::min<std::uint64_t>(kAhead, indexable));
    if (now_ - swept_at_ >= kSweepInterval) Sweep();
  }
  const Stamp newest = BucketPrev(static_cast<Stamp>(now));
  if (const std::uint32_t head = LoadHead(at, 0); ((head ^ (head >> 8)) & 0xFFFF) == 0) [[unlikely]] {
    return WalkRuns(at, newest, position);
  }
  return Walk<true>(at, newest, [&](Stamp stamp) { return at - Age(stamp); }, position);
}

template <bool kIndexedAhead, class BytesOf>
inline std::uint32_t MatchFinder::Walk(const std::uint8_t* r, Stamp stamp, BytesOf bytes_of,
                                       std::uint32_t& position) {
  std::uint32_t best = 0;
  std::uint8_t wanted = r[0];  // the byte at index `best` of r
  position = 0;
  [[maybe_unused]] std::uint32_t budget = kWalkBeforeSwitch;
  // Newest first, as the chain walk.
  while (InWindow(stamp)) {
    if constexpr (kIndexedAhead) {
      if (--budget == 0 && best >= kMinMatch) return WalkOn(r, best, Age(stamp) - 1, position);
    }
    if (Consider(bytes_of(stamp), r, stamp, best, wanted, position)) break;
    stamp = BucketPrev(stamp);
  }
  // Neighbours whose first three bytes differ can agree on fewer than three only.
  return best >= kMinMatch ? best : 0;
}

template <bool kExact>
inline void MatchFinder::Link(const std::uint8_t* text, std::uint32_t r, std::uint64_t now) {
  if constexpr (kExact) {
    chains_.Link(r, ChainOf(LoadHead(text, r)));
  } else if (now >= indexed_) {
    IndexUntil(text + r, now, now + 1);  // indexed_ is now: positions are linked in order
  }
}

}  // namespace narwick::lz
