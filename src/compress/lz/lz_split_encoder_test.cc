// The coder split over threads against the plain reference transcription: the same bytes,
// the same progress, the same ring afterwards, whether the parts' coders fall in step or not.
#include "compress/lz/lz_split_encoder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <random>
#include <stdexcept>
#include <vector>

#include "compress/lz/lz_reference_test_model.h"
#include "compress/lz/lz_test_inputs.h"
#include "testing/test_support.h"

namespace narwick::lz {
namespace {

// Pieces of every generated kind one after the other, so that parts differ.
Bytes MakeMixedInput(std::mt19937_64& rng, std::size_t size) {
  Bytes out;
  while (out.size() < size) {
    const Bytes piece = MakeInput(rng, std::min<std::size_t>(size - out.size(), 2000 + rng() % 30000));
    out.insert(out.end(), piece.begin(), piece.end());
  }
  return out;
}

SplitOptions SmallParts(std::mt19937_64& rng) {
  SplitOptions options;
  options.split_from = 0;
  options.threads = 2 + static_cast<unsigned>(rng() % 3);
  options.part_size = kRingSize * (1 + rng() % 8);
  // No warm-up puts the coders out of step at almost every part; three rings almost never.
  options.warm_up = kRingSize * (rng() % 4);
  return options;
}

struct SplitRun {
  bool ok;
  Encoded encoded;
  SplitReport report;
};

SplitRun EncodeSplit(Codec& codec, const Bytes& input, const SplitOptions& options) {
  VectorSink sink;
  Recorder progress;
  SplitReport report;
  const bool ok = EncodeBuffer(codec, input, sink, progress, options, &report);
  return {ok, {std::move(sink.bytes), std::move(progress.points)}, report};
}

// Matches naming each ring position in turn: restores the ring an encoding left behind.
Bytes RingDump() {
  Bytes body;
  for (std::uint32_t p = 0; p < kRingSize; p += 8 * kMaxMatch) {
    body.push_back(0);
    for (std::uint32_t k = 0; k < 8; ++k) {
      const std::uint32_t at = (p + k * kMaxMatch) & kRingMask;
      body.push_back(static_cast<std::uint8_t>(at));
      body.push_back(static_cast<std::uint8_t>(((at >> 4) & 0xF0u) | (kMaxMatch - kMinMatch)));
    }
  }
  return body;
}

void ExpectSameAsReference(const Bytes& input, const SplitOptions& options, SplitReport& total,
                           const char* what, int run) {
  auto model = std::make_unique<reference::Model>();
  auto split = std::make_unique<Codec>();
  auto alone = std::make_unique<Codec>();
  const reference::EncodeResult want = model->Encode(input.data(), input.size());
  const SplitRun got = EncodeSplit(*split, input, options);
  ASSERT_TRUE(got.ok);
  ASSERT_EQ(got.encoded.body, want.body) << what << " run " << run << " size " << input.size();
  ASSERT_EQ(got.encoded.progress, want.progress) << what << " run " << run;
  // The ring as one thread leaves it, which a later decode on the object starts from.
  EncodeFast(*alone, input);
  ASSERT_EQ(DecodeBody(*split, RingDump(), kRingSize).bytes, DecodeBody(*alone, RingDump(), kRingSize).bytes)
      << what << " run " << run;
  total.parts += got.report.parts;
  total.redone += got.report.redone;
}

TEST(LzSplitEncoderTest, MatchesReferenceWhetherPartsFallInStepOrNot) {
  std::mt19937_64 rng(0x5b117);
  SplitReport total;
  for (int run = 0; run < testing::Scaled(60); ++run) {
    // Some end on a multiple of 4096, where the last progress event repeats.
    std::size_t size = 20000 + rng() % 100000;
    if (run % 4 == 0) size &= ~std::size_t{kRingMask};
    ExpectSameAsReference(MakeMixedInput(rng, size), SmallParts(rng), total, "mixed", run);
  }
  // Both ways were taken, many times: items from coders in step, and parts coded on.
  EXPECT_GT(total.parts - total.redone, total.parts / 4);
  EXPECT_GT(total.redone, total.parts / 20);
}

// Chains cut through the end mark stay cut for long, so parts' coders often disagree there,
// and either coder may be following the chains literally when they are compared.
TEST(LzSplitEncoderTest, MatchesReferenceWhereChainsAreCut) {
  std::mt19937_64 rng(0xc0ffee);
  SplitReport total;
  for (int run = 0; run < testing::Scaled(16); ++run) {
    const Bytes input = MakeCuttingInput(rng, 40000 + rng() % 60000, run % 2 ? 256 : 6);
    ExpectSameAsReference(input, SmallParts(rng), total, "cutting", run);
  }
  EXPECT_GT(total.parts, 0u);
}

TEST(LzSplitEncoderTest, SmallInputsStayOnOneThread) {
  std::mt19937_64 rng(3);
  const Bytes input = MakeMixedInput(rng, 50000);
  SplitOptions options;
  options.split_from = input.size() + 1;
  auto codec = std::make_unique<Codec>();
  const SplitRun got = EncodeSplit(*codec, input, options);
  EXPECT_EQ(got.report.parts, 0u);
  EXPECT_EQ(got.encoded.body, EncodeFast(*codec, input).body);
  // Nothing to split: one empty group.
  options.split_from = 0;
  const SplitRun empty = EncodeSplit(*codec, {}, options);
  EXPECT_EQ(empty.report.parts, 0u);
  EXPECT_EQ(empty.encoded.body, Bytes{0});
}

// A sink that takes `room` bytes and refuses the group that would pass them.
struct BoundedSink {
  std::size_t room;
  Bytes bytes;
  bool Put(const std::uint8_t* data, std::size_t size) {
    if (bytes.size() + size > room) return false;
    bytes.insert(bytes.end(), data, data + size);
    return true;
  }
};

// The split coder stops at the group one thread stops at, with the same events before it,
// whether the refusal comes in the first part or in a later one.
TEST(LzSplitEncoderTest, StopsWhereOneThreadStopsWhenTheSinkRefuses) {
  std::mt19937_64 rng(41);
  auto codec = std::make_unique<Codec>();
  for (int run = 0; run < testing::Scaled(12); ++run) {
    const Bytes input = MakeMixedInput(rng, 60000 + rng() % 40000);
    const Bytes whole = EncodeFast(*codec, input).body;
    const std::size_t room = rng() % whole.size();

    BoundedSink one{room, {}};
    Recorder one_progress;
    MemorySource source(input);
    const bool one_ok = codec->Encode(source, one, one_progress);

    BoundedSink split{room, {}};
    Recorder split_progress;
    SplitOptions options = SmallParts(rng);
    options.warm_up = 3 * kRingSize;
    const bool split_ok = EncodeBuffer(*codec, input, split, split_progress, options);

    ASSERT_FALSE(one_ok);
    EXPECT_EQ(split_ok, one_ok) << "run " << run;
    EXPECT_EQ(split.bytes, one.bytes) << "run " << run;
    EXPECT_EQ(split_progress.points, one_progress.points) << "run " << run;
  }
}

// A fault raised by the progress handler leaves the call at once; the helper threads stop
// and are joined on the way out.
TEST(LzSplitEncoderTest, AFaultInTheProgressHandlerLeavesTheCall) {
  std::mt19937_64 rng(5);
  const Bytes input = MakeMixedInput(rng, 200000);
  auto codec = std::make_unique<Codec>();
  struct Throwing {
    int left;
    void operator()(std::uint64_t) {
      if (--left == 0) throw std::runtime_error("stop");
    }
  };
  for (int left : {1, 20, 45}) {
    VectorSink sink;
    Throwing progress{left};
    SplitOptions options;
    options.split_from = 0;
    options.threads = 3;
    options.part_size = 4 * kRingSize;
    EXPECT_THROW(EncodeBuffer(*codec, input, sink, progress, options), std::runtime_error) << left;
  }
  // The object codes as before afterwards.
  auto model = std::make_unique<reference::Model>();
  EXPECT_EQ(EncodeFast(*codec, input).body, model->Encode(input.data(), input.size()).body);
}

}  // namespace
}  // namespace narwick::lz
