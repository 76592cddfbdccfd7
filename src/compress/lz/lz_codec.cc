#include "compress/lz/lz_codec.h"

#include <algorithm>

namespace narwick::lz {

Codec::Codec() {
  // Decoding needs no reset, so the ring must hold defined bytes from the start.
  InitDictionary();
}

void Codec::InitDictionary() {
  // Ring and mirror are spaces; the padding past entry 4114 only feeds compares whose result
  // is capped at 18 bytes, but it is cleared so that no load ever reads indeterminate bytes.
  std::fill(text_, text_ + kRingSize + kMaxMatch, std::uint8_t{0x20});
  std::fill(text_ + kRingSize + kMaxMatch, text_ + kTextSize, std::uint8_t{0});
  std::fill(std::begin(chain_next_), std::end(chain_next_), kEndOfChain);
  std::fill(std::begin(chain_prev_), std::end(chain_prev_), kEndOfChain);
  std::fill(std::begin(state_), std::end(state_), std::uint8_t{0});
  std::fill(std::begin(bucket_head_), std::end(bucket_head_), kEndOfChain);
}

// Unlinking a position that is linked but not reachable from its chain's head, or the end
// mark 4096. Both rewrite one link after q = chainPrev[p]; when q is reachable that changes
// which positions its chain reaches, so the chain's reachability and buckets are redone.
void Codec::UnlinkUnusual(std::uint32_t p) {
  const std::uint16_t q = chain_prev_[p];
  const std::uint16_t n = chain_next_[p];
  std::uint32_t chain = kHashCount;  // none: nothing reachable changes
  if (chain_next_[q] == n) {
    // The usual case for the end mark: q already ends its chain.
  } else if (q >= kChainHeadBase) {
    chain = q - kChainHeadBase;
  } else if (q < kEndOfChain && (state_[q] & kReachable)) {
    // A reachable position's back links lead to its chain's head.
    std::uint32_t x = q;
    while (x < kChainHeadBase) x = chain_prev_[x];
    chain = x - kChainHeadBase;
  }
  if (chain != kHashCount) {
    for (std::uint32_t x = chain_next_[q]; x != kEndOfChain; x = chain_next_[x]) state_[x] = 0;
  }
  chain_next_[q] = n;
  chain_prev_[n] = q;
  chain_next_[p] = kEndOfChain;
  chain_prev_[p] = kEndOfChain;
  if (chain != kHashCount) {
    RebuildBuckets(chain);
  }
}

// Lists the chain's reachable positions in its buckets again, in chain order. A position
// reached from another chain than its own hash names cannot match three bytes of any search
// of this chain, so it stays out of the buckets.
void Codec::RebuildBuckets(std::uint32_t chain) {
  std::uint16_t tails[kSubBuckets];
  const std::uint32_t base = chain << kSubBits;
  for (std::uint32_t k = 0; k < kSubBuckets; ++k) {
    bucket_head_[base + k] = kEndOfChain;
    tails[k] = kNone;
  }
  for (std::uint32_t x = chain_next_[kChainHeadBase + chain]; x != kEndOfChain; x = chain_next_[x]) {
    if (Hash(x) != chain) {
      state_[x] = kReachable;
      continue;
    }
    const std::uint32_t bucket = Bucket(x);
    const std::uint32_t k = bucket - base;
    bucket_prev_[x] = tails[k];
    bucket_next_[x] = kEndOfChain;
    bucket_of_[x] = static_cast<std::uint16_t>(bucket);
    if (tails[k] == kNone) {
      bucket_head_[bucket] = static_cast<std::uint16_t>(x);
    } else {
      bucket_next_[tails[k]] = static_cast<std::uint16_t>(x);
    }
    tails[k] = static_cast<std::uint16_t>(x);
    state_[x] = kReachable | kInBucket;
  }
}

bool Codec::SideIndexIsConsistent() const {
  std::uint8_t seen[4096] = {};
  for (std::uint32_t chain = 0; chain < kHashCount; ++chain) {
    // Expected bucket contents, from the defined chain.
    std::uint16_t expect_head[kSubBuckets];
    std::uint16_t expect_tail[kSubBuckets];
    std::fill(std::begin(expect_head), std::end(expect_head), kEndOfChain);
    std::fill(std::begin(expect_tail), std::end(expect_tail), kNone);
    std::uint16_t expect_next[4096];
    std::uint32_t steps = 0;
    for (std::uint32_t x = chain_next_[kChainHeadBase + chain]; x != kEndOfChain; x = chain_next_[x]) {
      if (++steps > kRingSize || seen[x]++ != 0) return false;  // a cycle or a shared node
      if (!(state_[x] & kReachable)) return false;
      if (Hash(x) != chain) {
        if (state_[x] & kInBucket) return false;
        continue;
      }
      if (!(state_[x] & kInBucket) || bucket_of_[x] != Bucket(x)) return false;
      const std::uint32_t k = Bucket(x) - (chain << kSubBits);
      if (expect_tail[k] == kNone) {
        expect_head[k] = static_cast<std::uint16_t>(x);
      } else {
        expect_next[expect_tail[k]] = static_cast<std::uint16_t>(x);
      }
      expect_tail[k] = static_cast<std::uint16_t>(x);
      expect_next[x] = kEndOfChain;
    }
    for (std::uint32_t k = 0; k < kSubBuckets; ++k) {
      std::uint32_t a = bucket_head_[(chain << kSubBits) + k];
      std::uint32_t b = expect_head[k];
      std::uint32_t prev = kNone;
      while (a != kEndOfChain || b != kEndOfChain) {
        if (a != b || bucket_prev_[a] != prev) return false;
        prev = a;
        a = bucket_next_[a];
        b = expect_next[b];
      }
    }
  }
  for (std::uint32_t x = 0; x < kRingSize; ++x) {
    if (!seen[x] && (state_[x] & kReachable)) return false;
  }
  return true;
}

}  // namespace narwick::lz
