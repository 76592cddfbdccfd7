#include "compress/lz/lz_match_finder.h"

#include <algorithm>

namespace narwick::lz {

bool SameDefinedChains(const DefinedChains& a, const DefinedChains& b) {
  for (std::uint32_t i = 0; i <= kEndOfChain; ++i) {
    if (a.prev[i] != b.prev[i]) return false;
    if ((i == kEndOfChain || a.prev[i] != kEndOfChain) && a.next[i] != b.next[i]) return false;
  }
  return std::equal(a.next + kChainHeadBase, std::end(a.next), b.next + kChainHeadBase);
}

void MatchFinder::Reset() {
  exact_ = false;
  now_ = 0;
  swept_at_ = 0;
  checked_at_ = 0;
  indexed_ = 0;
  end_link_ = kEndNone;
  end_link_at_ = 0;
  std::fill(std::begin(bucket_head_), std::end(bucket_head_), StaleStamp());
  std::fill(std::begin(chain_head_), std::end(chain_head_), StaleStamp());
}

// Heads out of window get a stamp just far enough back to stay out until the next sweep;
// heads indexed ahead stay.
void MatchFinder::Sweep() {
  const Stamp stale = StaleStamp();
  const auto refresh = [&](Stamp stamp) { return InWindow(stamp) || Ahead(stamp) ? stamp : stale; };
  std::transform(std::begin(bucket_head_), std::end(bucket_head_), std::begin(bucket_head_), refresh);
  std::transform(std::begin(chain_head_), std::end(chain_head_), std::begin(chain_head_), refresh);
  swept_at_ = now_;
}

// In ordinary mode the follower of p is the next older linked position of its chain.
void MatchFinder::UnlinkFollower(Stamp p, std::uint32_t chain) {
  const Stamp follower = LinkedAfter(p);
  if (!InWindow(follower)) {
    UnlinkEndMark();
    return;
  }
  places_[Slot(follower)].marks |= kUnlinked;
  const Stamp after = LinkedAfter(follower);
  chain_prev_[Slot(p)] = after;  // later walks skip the unlinked ones at once
  if (!InWindow(after)) {  // p is last now
    end_link_ = static_cast<std::uint16_t>(chain);
    end_link_at_ = now_;
  }
}

// Rewriting the forward link of a chain's last position, or of an empty chain's head, to
// the end mark changes nothing. Only a head whose chain has gained positions since it was
// emptied is really cut: from there on the chains are followed as defined.
void MatchFinder::UnlinkEndMark() {
  ResolveEndLink();
  if (end_link_ != kEndNone && (end_link_ & kEndHead) && InWindow(FirstLinked(end_link_ & kRingMask))) {
    EnterExactMode();
    chains_.Unlink(kEndOfChain);
    return;
  }
  end_link_ = kEndNone;
}

// Positions leave the window in order, the one at x at step x + 4078, and only the last to
// leave linked since end_link_ was set leaves a trace: its chain's new last position, or the
// chain's head. Its chain was emptied unless a position linked before that step is still
// linked: that chain's last position then stayed linked, as anything that unlinks it since
// would have set the value again. (A position's mark no longer changes once it has left.)
std::uint16_t MatchFinder::ResolvedEndLink() const {
  // The step that retired that position, from the last step back to the one end_link_ was
  // set at (the retires of a step come after its search).
  const std::uint64_t first = std::max<std::uint64_t>(end_link_at_, kWindow);
  std::uint64_t step = now_;
  do {
    if (step <= first) return end_link_;
    --step;
  } while (!Linked(static_cast<Stamp>(step - kWindow)));
  const std::uint32_t chain = places_[Slot(static_cast<Stamp>(step - kWindow))].marks & kRingMask;
  const std::uint64_t since = now_ - step;
  for (Stamp s = FirstLinked(chain); InWindow(s); s = LinkedAfter(s)) {
    if (Age(s) > since) return static_cast<std::uint16_t>(chain);
  }
  return static_cast<std::uint16_t>(kEndHead | chain);
}

void MatchFinder::ResolveEndLink() {
  end_link_ = ResolvedEndLink();
  end_link_at_ = now_;
}

// The defined chains the index stands for. The links of positions that are not linked are
// left at 4096: nothing can reach them before they are linked again.
void MatchFinder::WriteChains(DefinedChains& out) const {
  std::fill(std::begin(out.next), std::end(out.next), kEndOfChain);
  std::fill(std::begin(out.prev), std::end(out.prev), kEndOfChain);
  const std::uint16_t end_link = ResolvedEndLink();
  for (std::uint32_t chain = 0; chain < kHashCount; ++chain) {
    std::uint32_t before = kChainHeadBase + chain;
    for (Stamp s = FirstLinked(chain); InWindow(s); s = LinkedAfter(s)) {
      const std::uint32_t x = s & kRingMask;
      out.next[before] = static_cast<std::uint16_t>(x);
      out.prev[x] = static_cast<std::uint16_t>(before);
      before = x;
    }
    if (end_link == chain) out.prev[kEndOfChain] = static_cast<std::uint16_t>(before);
  }
  if (end_link != kEndNone && (end_link & kEndHead)) {
    out.prev[kEndOfChain] = static_cast<std::uint16_t>(kChainHeadBase + (end_link & kRingMask));
  }
}

void MatchFinder::EnterExactMode() {
  ResolveEndLink();
  WriteChains(chains_);
  exact_ = true;
  checked_at_ = now_;
  check_every_ = kRingSize;
  ++exact_spells_;
}

void MatchFinder::WriteDefinedChains(std::uint64_t now, DefinedChains& out) {
  now_ = now;
  if (exact_) {
    out = chains_;
  } else {
    WriteChains(out);
  }
}

// A search for bytes that begin with a run of c meets, besides other heads in its bucket
// (which agree on fewer than three bytes and cannot win), every position of every run of c in
// the window, one after the other, newest first: where c runs at r for `run` bytes and a
// candidate's run goes on for L bytes, it agrees on L bytes when L < run, on `run` when
// L > run, and on `run` and what follows both when L == run (all capped at 18). So each run
// has at most one candidate that can win, found with a few tests instead of one per
// position; only the unlinked positions, skipped by the walk, take a look each. On source
// code and binaries these runs (indentation, zeros) are over half the candidates a search
// visits.
std::uint32_t MatchFinder::WalkRuns(const std::uint8_t* r, Stamp stamp, std::uint32_t& position) {
  const std::uint8_t c = r[0];
  const std::uint32_t head = LoadHead(r, 0) & 0xFFFFFF;
  const std::uint32_t run = LeadingRun(r, c, kMaxMatch);
  const std::uint32_t oldest = OldestAge();
  const auto linked = [&](std::uint32_t age) { return Linked(static_cast<Stamp>(now_ - age)); };
  // The newest and the oldest linked age in [from, to], or 0 for none.
  const auto newest_linked = [&](std::uint32_t from, std::uint32_t to) {
    for (std::uint32_t age = from; age <= to; ++age) {
      if (linked(age)) return age;
    }
    return 0u;
  };
  const auto oldest_linked = [&](std::uint32_t from, std::uint32_t to) {
    for (std::uint32_t age = to; age >= from; --age) {
      if (linked(age)) return age;
    }
    return 0u;
  };
  std::uint32_t best = 0;
  position = 0;
  const auto take = [&](std::uint32_t age, std::uint32_t length) {
    if (age != 0 && length > best) {
      best = length;
      position = static_cast<std::uint32_t>(now_ - age) & kRingMask;
    }
  };
  while (InWindow(stamp)) {
    const std::uint32_t entry = Age(stamp);  // the run's newest position
    if ((LoadHead(r - entry, 0) & 0xFFFFFF) != head) {
      stamp = BucketPrev(stamp);
      continue;
    }
    // Its oldest, and the list's next entry after it. A run's extent is measured once and
    // kept with its newest position, with that next entry (cut at an earlier window's end,
    // the run reaches past this window's end too, and then nothing in the window follows).
    RunEnd& known = runs_[Slot(stamp)];
    if (known.span == 0) {
      known.span = static_cast<std::uint16_t>(RunEndAge(r, entry, oldest, c) - entry);
      known.exit = BucketPrev(static_cast<Stamp>(now_ - (entry + known.span - 1)));
    }
    const std::uint32_t reach = entry + known.span - 1;
    const std::uint32_t last = std::min(reach, oldest);
    // c runs on for lead + (age - entry) bytes from the position at `age`.
    const std::uint32_t lead = LeadingRun(r - entry, c, kMaxMatch + 1);
    const auto run_at = [&](std::uint32_t age) { return lead + (age - entry); };
    if (run == kMaxMatch) {
      // Every candidate whose run reaches 18 matches in full; the newest linked one wins.
      const std::uint32_t from = lead >= kMaxMatch ? entry : entry + (kMaxMatch - lead);
      if (const std::uint32_t full = newest_linked(from, last); full != 0) {
        std::uint8_t wanted = r[best];
        Consider(r - full, r, static_cast<Stamp>(now_ - full), best, wanted, position);  // matches in full
        return best;
      }
      const std::uint32_t age = oldest_linked(entry, std::min(from - 1, last));
      take(age, run_at(age));
    } else if (lead > run) {
      if (best < run) take(newest_linked(entry, last), run);
    } else {
      // The candidate whose run ends where r's does is the only one that can agree on more
      // than `run` bytes; once a match that long is found it is the only one left to test.
      const std::uint32_t aligned = entry + (run - lead);
      if (aligned <= last && linked(aligned)) {
        std::uint8_t wanted = r[best];
        if (Consider(r - aligned, r, static_cast<Stamp>(now_ - aligned), best, wanted, position)) return best;
      } else if (best < run) {
        // Then an older one agrees on `run` bytes, or else the oldest newer one on its run.
        if (const std::uint32_t older = aligned < last ? newest_linked(aligned + 1, last) : 0; older != 0) {
          take(older, run);
        } else {
          const std::uint32_t age = oldest_linked(entry, std::min(aligned - 1, last));
          take(age, run_at(age));
        }
      }
    }
    if (reach >= oldest) break;
    // From here only candidates that agree on more than r's run can win: few runs end as
    // r's does.
    if (run < kMaxMatch && best >= run) return WalkOn(r, best, last, position);
    stamp = known.exit;
  }
  return best >= kMinMatch ? best : 0;
}

std::uint32_t MatchFinder::WalkOn(const std::uint8_t* r, std::uint32_t best, std::uint32_t done,
                                  std::uint32_t& position) {
  const auto list = static_cast<Stamp>(now_ + best - 2);  // indexed ahead
  // Entries near the input's start may stand for candidates before it.
  const std::uint32_t oldest = OldestAge();
  std::uint8_t wanted = r[best];
  for (Stamp entry = BucketPrev(list);; entry = BucketPrev(entry)) {
    const auto age = static_cast<Stamp>(list - entry);  // the candidate's
    if (age > oldest) break;
    if (age > done && Consider(r - age, r, static_cast<Stamp>(now_ - age), best, wanted, position)) break;
  }
  return best;
}

std::uint32_t MatchFinder::FindExact(const std::uint8_t* text, std::uint32_t r, std::uint32_t& position) {
  if (now_ - checked_at_ >= check_every_) {
    checked_at_ = now_;
    if (ChainsArePlain(text)) {
      BuildIndex(text);
      return Find(text, r, now_, position);
    }
    // Some inputs keep cutting chains for long; the check costs about as much as coding a
    // few thousand bytes, so it comes less often the longer it fails.
    check_every_ = std::min<std::uint64_t>(2 * check_every_, kMaxCheckInterval);
  }
  std::uint32_t best = 0;
  position = 0;
  for (std::uint32_t p = chains_.next[kChainHeadBase + ChainOf(LoadHead(text, r))]; p != kEndOfChain;
       p = chains_.next[p]) {
    if (text[p + best] != text[r + best]) continue;
    const std::uint32_t len = MatchLength(text + p, text + r);
    if (len > best) {
      best = len;
      position = p;
      if (len == kMaxMatch) {
        chains_.Unlink(chains_.next[p]);  // as in ordinary mode, for compatibility
        break;
      }
    }
  }
  return best >= kMinMatch ? best : 0;
}

// Plain: every chain lists linked positions of its own hash, newest first, with back links
// that mirror the forward ones; no other position is linked; and entry 4096 names nothing,
// a chain's head, or a chain's last position.
bool MatchFinder::ChainsArePlain(const std::uint8_t* text) const {
  const std::uint32_t reach = OldestAge();
  const auto now = static_cast<std::uint32_t>(now_);
  std::uint32_t listed = 0;
  for (std::uint32_t chain = 0; chain < kHashCount; ++chain) {
    std::uint32_t before = kChainHeadBase + chain;
    std::uint32_t last_age = 0;
    for (std::uint32_t x = chains_.next[before]; x != kEndOfChain; x = chains_.next[x]) {
      if (x >= kRingSize) return false;
      const std::uint32_t age = ((now - x - 1) & kRingMask) + 1;
      if (age <= last_age || age > reach || chains_.prev[x] != before || ChainOf(LoadHead(text, x)) != chain) {
        return false;
      }
      last_age = age;
      before = x;
      ++listed;
    }
  }
  const auto linked = static_cast<std::uint32_t>(
      std::count_if(chains_.prev, chains_.prev + kRingSize, [](std::uint16_t q) { return q != kEndOfChain; }));
  if (linked != listed || chains_.next[kEndOfChain] != kEndOfChain) return false;
  const std::uint32_t q = chains_.prev[kEndOfChain];
  return q >= kEndOfChain || (chains_.prev[q] != kEndOfChain && chains_.next[q] == kEndOfChain);
}

// The index for plain chains: every position in the window listed in order (the unlinked
// ones are skipped by the walks), entry 4096 read back into its one value.
void MatchFinder::BuildIndex(const std::uint8_t* text) {
  std::fill(std::begin(bucket_head_), std::end(bucket_head_), StaleStamp());
  std::fill(std::begin(chain_head_), std::end(chain_head_), StaleStamp());
  const std::uint64_t reach = OldestAge();
  ClearRunSpans(now_ - reach, now_);
  for (std::uint64_t at = now_ - reach; at < now_; ++at) {
    const auto x = static_cast<std::uint32_t>(at & kRingMask);
    Index(text + x, static_cast<Stamp>(at));
    if (chains_.prev[x] == kEndOfChain) places_[Slot(static_cast<Stamp>(at))].marks |= kUnlinked;
  }
  indexed_ = now_;
  const std::uint32_t q = chains_.prev[kEndOfChain];
  if (q == kEndOfChain) {
    end_link_ = kEndNone;
  } else if (q > kEndOfChain) {
    end_link_ = static_cast<std::uint16_t>(kEndHead | (q - kChainHeadBase));
  } else {
    end_link_ = static_cast<std::uint16_t>(ChainOf(LoadHead(text, q)));
  }
  end_link_at_ = now_;
  swept_at_ = now_;
  exact_ = false;
}

}  // namespace narwick::lz
