// The match finder stepped in lockstep with a literal transcription of the defined chains:
// every search must find the same match, and after every item the chains the finder stands
// for (entry 4096's back link included) must be those of the transcription. This sees a
// wrong internal state at once, even where the coded bytes would only change much later.
#include "compress/lz/lz_match_finder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "compress/lz/lz_reference_test_model.h"
#include "testing/test_support.h"

namespace narwick::lz {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Inputs whose chains get cut through entry 4096 and come back to plain (random bytes that
// repeat 4078 places back; long runs of one byte), full matches at chain ends (runs of
// random length, blocks repeated in random data), and shifted copies of one block, which
// unlink many neighbouring positions.
Bytes MakeChainCuttingInput(std::mt19937_64& rng, std::size_t size, bool cut_first) {
  Bytes input(size);
  std::size_t i = 0;
  // `cut_first`: a stretch that cuts chains, then a run that makes them plain again.
  for (std::uint64_t stretch = 0; i < size; ++stretch) {
    switch (cut_first && stretch < 2 ? stretch : rng() % 6) {
      case 0:
        for (std::size_t n = stretch == 0 ? 5000 + rng() % 3000 : 500 + rng() % 7500; n > 0 && i < size; --n, ++i) {
          input[i] = i >= 4078 && rng() % 512 != 0 ? input[i - 4078] : static_cast<std::uint8_t>(rng());
        }
        break;
      case 1: {  // a long run of one byte; a cut chain it keeps filling stays cut
        const auto value = static_cast<std::uint8_t>(0x80 + rng() % 128);
        for (std::size_t n = 8500 + rng() % 4000; n > 0 && i < size; --n) input[i++] = value;
        break;
      }
      case 2: {
        if (i < 64) break;
        const std::size_t from = i - 1 - rng() % std::min<std::size_t>(i - 40, 4000);
        const std::size_t shift = rng() % 18;
        for (std::size_t n = 18 + rng() % 40; n > 0 && i < size; --n) input[i++] = input[from + shift + n % 20];
        for (std::size_t n = 1 + rng() % 5; n > 0 && i < size; --n) input[i++] = static_cast<std::uint8_t>(rng());
        break;
      }
      case 3: {  // random bytes in which one block comes back twice: the second copy's full
                 // match unlinks the first occurrence, the last of its sparse chain
        const std::size_t start = i;
        for (std::size_t n = 200 + rng() % 200; n > 0 && i < size; --n) input[i++] = static_cast<std::uint8_t>(rng());
        for (int copy = 0; copy < 2; ++copy) {
          for (std::size_t k = 0; k < 24 && i < size; ++k) input[i++] = input[start + k];
          for (std::size_t n = 20 + rng() % 60; n > 0 && i < size; --n) input[i++] = static_cast<std::uint8_t>(rng());
        }
        break;
      }
      default: {
        const auto value = static_cast<std::uint8_t>(rng() % (rng() % 2 ? 256 : 6));
        for (std::size_t n = 1 + rng() % 40; n > 0 && i < size; --n) input[i++] = value;
      }
    }
  }
  return input;
}

// Linked fields, heads and entry 4096 agree; links of positions that are not linked are
// never read, so they may differ.
::testing::AssertionResult SameChains(const DefinedChains& got, const reference::Chains& want) {
  for (int i = 0; i <= 4096; ++i) {
    if (got.prev[i] != want.prev(i)) {
      return ::testing::AssertionFailure() << "back link of " << i << ": " << got.prev[i] << " != " << want.prev(i);
    }
  }
  for (int i = 0; i <= 8192; ++i) {
    const bool matters = i >= 4096 || want.prev(i) != 4096;
    if (matters && got.next[i] != want.next(i)) {
      return ::testing::AssertionFailure() << "forward link of " << i << ": " << got.next[i] << " != " << want.next(i);
    }
  }
  return ::testing::AssertionSuccess();
}

class Lockstep {
 public:
  explicit Lockstep(const Bytes& input) : input_(input) {
    std::fill(std::begin(text_), std::begin(text_) + 4096 + 18, std::uint8_t{0x20});
    finder_.Reset();
    while (lookahead_ < 18 && next_ < input_.size()) {
      text_[lookahead_] = text_[lookahead_ + 4096] = input_[next_++];
      ++lookahead_;
    }
  }
  bool done() const { return lookahead_ == 0; }

  // One search by both; false (with a message) when they disagree.
  ::testing::AssertionResult Search(std::uint32_t& length) {
    std::uint32_t position = 0;
    length = finder_.Find(text_, r_, now_, position);
    int want_length = 0;
    int want_position = 0;
    chains_.FindLongestMatch(text_, static_cast<int>(r_), want_length, want_position);
    if (want_length < 3) want_length = 0;
    if (length != static_cast<std::uint32_t>(want_length) || (length != 0 && position != static_cast<std::uint32_t>(want_position))) {
      return ::testing::AssertionFailure() << "at " << now_ << ": " << length << "@" << position << " != "
                                           << want_length << "@" << want_position;
    }
    return ::testing::AssertionSuccess();
  }

  // Steps both over `length` positions as the coder does.
  void Advance(std::uint32_t length) {
    for (std::uint32_t k = 0; k < length && lookahead_ > 0; ++k) {
      const std::uint32_t s = (r_ + 18) & 4095;
      if (finder_.exact()) {
        finder_.Retire<true>(s);
      } else {
        finder_.Retire<false>(s);
      }
      chains_.UnlinkPosition(static_cast<int>(s));
      if (next_ < input_.size()) {
        text_[s] = input_[next_++];
        if (s < 18) text_[s + 4096] = text_[s];
      } else {
        --lookahead_;
      }
      if (finder_.exact()) {
        finder_.Link<true>(text_, r_, now_);
      } else {
        finder_.Link<false>(text_, r_, now_);
      }
      chains_.LinkPosition(text_, static_cast<int>(r_));
      ++now_;
      r_ = (r_ + 1) & 4095;
    }
  }

  ::testing::AssertionResult ChainsAgree() {
    finder_.WriteDefinedChains(now_, *written_);
    return SameChains(*written_, chains_);
  }
  const MatchFinder& finder() const { return finder_; }

 private:
  const Bytes& input_;
  std::uint8_t text_[4096 + 18 + 46] = {};
  MatchFinder finder_;
  reference::Chains chains_;
  std::unique_ptr<DefinedChains> written_ = std::make_unique<DefinedChains>();
  std::size_t next_ = 0;
  std::uint32_t lookahead_ = 0;
  std::uint32_t r_ = 0;
  std::uint64_t now_ = 0;
};

// Items as the coder takes them, and now and then a step of any length between 1 and 18
// whatever the search found, so that searches also happen where the coder's would not.
TEST(LzMatchFinderTest, FollowsTheDefinedChainsItemByItem) {
  std::mt19937_64 rng(0xc4a1);
  const int runs = testing::Scaled(24);
  std::uint64_t spells = 0;
  std::uint64_t most_in_one_input = 0;
  for (int run = 0; run < runs; ++run) {
    const Bytes input = MakeChainCuttingInput(rng, 16000 + rng() % 24000, run % 2 == 0);
    auto lockstep = std::make_unique<Lockstep>(input);
    while (!lockstep->done()) {
      std::uint32_t length = 0;
      ASSERT_TRUE(lockstep->Search(length)) << "run " << run;
      // A full match unlinks one more position: check before any retire can cover it up.
      if (length == 18) {
        ASSERT_TRUE(lockstep->ChainsAgree()) << "run " << run << " after a full match";
      }
      if (length == 0) length = 1;
      if (rng() % 16 == 0) length = 1 + static_cast<std::uint32_t>(rng() % 18);
      lockstep->Advance(length);
      ASSERT_TRUE(lockstep->ChainsAgree()) << "run " << run;
    }
    spells += lockstep->finder().exact_spells();
    most_in_one_input = std::max(most_in_one_input, lockstep->finder().exact_spells());
  }
  // The literal mode was entered in the inputs made to cut chains, and left (two spells in
  // one input) at least once.
  EXPECT_GE(spells, static_cast<std::uint64_t>(runs / 2));
  EXPECT_GE(most_in_one_input, 2u);
}

}  // namespace
}  // namespace narwick::lz
