// The coder against the plain reference transcription, the decoder on valid and damaged
// bodies, and progress points of both.
#include "compress/lz/lz_codec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "compress/lz/lz_reference_test_model.h"
#include "compress/lz/lz_test_inputs.h"
#include "testing/test_support.h"

namespace narwick::lz {
namespace {

std::size_t PickSize(std::mt19937_64& rng) {
  static const std::size_t kEdges[] = {0, 1, 2, 3, 17, 18, 19, 4077, 4078, 4079, 4095, 4096,
                                       4097, 4113, 4114, 8191, 8192, 8193, 12288};
  switch (rng() % 4) {
    case 0: return kEdges[rng() % std::size(kEdges)];
    case 1: return kEdges[rng() % std::size(kEdges)] + rng() % 5 - 2 + 2;
    case 2: return rng() % 200;
    default: return rng() % 20000;
  }
}

// Compares coder and reference on `runs` generated inputs; every third one is fed in uneven
// chunks. The seed is printed with any difference.
void CheckAgainstReference(std::uint64_t seed, int runs) {
  std::mt19937_64 rng(seed);
  auto model = std::make_unique<reference::Model>();
  auto codec = std::make_unique<Codec>();
  for (int run = 0; run < runs; ++run) {
    const Bytes input = MakeInput(rng, PickSize(rng));
    const reference::EncodeResult want = model->Encode(input.data(), input.size());
    const Encoded got = EncodeFast(*codec, input, run % 3 == 0 ? 1 + rng() % 50 : 0);
    ASSERT_EQ(got.body, want.body) << "seed " << seed << " run " << run << " size " << input.size();
    ASSERT_EQ(got.progress, want.progress) << "seed " << seed << " run " << run;
  }
}

// Three thousand inputs in three parts, so that each stays short under sanitizers.
TEST(LzCodecTest, MatchesReferenceOnStructuredAndRandomInputsPart1) { CheckAgainstReference(0x5eed1234, testing::Scaled(1000)); }
TEST(LzCodecTest, MatchesReferenceOnStructuredAndRandomInputsPart2) { CheckAgainstReference(0x5eed5678, testing::Scaled(1000)); }
TEST(LzCodecTest, MatchesReferenceOnStructuredAndRandomInputsPart3) { CheckAgainstReference(0x5eed9abc, testing::Scaled(1000)); }

TEST(LzCodecTest, MatchesReferenceOnLongInputsThatWrapTheRingManyTimes) {
  std::mt19937_64 rng(77);
  auto model = std::make_unique<reference::Model>();
  auto codec = std::make_unique<Codec>();
  for (int run = 0; run < 12; ++run) {
    const Bytes input = MakeInput(rng, 60000 + rng() % 70000);
    const auto want = model->Encode(input.data(), input.size());
    const auto got = EncodeFast(*codec, input);
    ASSERT_EQ(got.body, want.body) << "run " << run;
    ASSERT_EQ(got.progress, want.progress) << "run " << run;
  }
}

// Runs are searched a run at a time, so every way a run's candidates can decide a search:
// a first run of `first` bytes with a tail T; a run one shorter than `second` with the same
// tail, whose full match unlinks the first run's candidate as long as `second`; then a run of
// `second` with another tail, which must take the next older candidate instead. With and
// without a window's worth of other bytes between, so that runs are also cut by its end.
TEST(LzCodecTest, RunsAfterRunsMatchTheReference) {
  std::mt19937_64 rng(5);
  auto model = std::make_unique<reference::Model>();
  auto codec = std::make_unique<Codec>();
  const auto noise = [&](Bytes& out, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) out.push_back(static_cast<std::uint8_t>('b' + rng() % 20));
  };
  for (const std::size_t gap : {std::size_t{5}, std::size_t{3980}}) {
    for (std::size_t first = 3; first < 48; ++first) {
      for (std::size_t second = 3; second <= kMaxMatch; ++second) {
        Bytes input(first, 'a');
        const std::size_t tail_at = input.size();
        noise(input, kMaxMatch);
        const Bytes tail(input.begin() + static_cast<std::ptrdiff_t>(tail_at), input.end());
        noise(input, gap);
        input.insert(input.end(), second - 1, 'a');
        input.insert(input.end(), tail.begin(), tail.end());
        noise(input, 5);
        input.insert(input.end(), second, 'a');
        noise(input, 120);
        const auto want = model->Encode(input.data(), input.size());
        ASSERT_EQ(EncodeFast(*codec, input).body, want.body) << first << " then " << second << " gap " << gap;
      }
    }
  }
}

// The unlink after a full match acting on entry 4096: position 100 ("v w") is alone in its
// chain and is unlinked 4078 steps later, just before a new "v" is linked into that chain;
// the next search finds a full match at the oldest entry of the run's chain, so the unlink
// of its (absent) follower empties the "v w" chain and orphans the new "v". A later "v w w"
// then finds nothing there. Coders that skip or alter that unlink code the end differently.
TEST(LzCodecTest, FullMatchAtChainEndUnlinksThroughEntry4096) {
  std::mt19937_64 rng(11);
  Bytes input(4600);
  for (auto& b : input) b = static_cast<std::uint8_t>(0x80 + rng() % 128);
  const std::uint8_t v = 0x01;
  const std::uint8_t w = 0x02;
  input[100] = v;
  input[101] = w;
  for (int i = 0; i < 18; ++i) input[200 + i] = w;
  input[4178] = v;
  for (int i = 0; i < 18; ++i) input[4179 + i] = w;
  input[4400] = v;
  for (int i = 1; i < 6; ++i) input[4400 + i] = w;
  reference::Model model;
  Codec codec;
  const auto want = model.Encode(input.data(), input.size());
  EXPECT_EQ(EncodeFast(codec, input).body, want.body);
}

// Inputs that really cut chains through the end mark (see MakeCuttingInput): the search
// follows the defined chains literally there, and goes back to its index after.
TEST(LzCodecTest, MatchesReferenceAcrossCutsThroughTheEndMark) {
  std::mt19937_64 rng(2024);
  auto model = std::make_unique<reference::Model>();
  auto codec = std::make_unique<Codec>();
  std::uint64_t most_spells = 0;
  for (int run = 0; run < testing::Scaled(40); ++run) {
    const Bytes input = MakeCuttingInput(rng, 40000 + rng() % 40000, run % 2 ? 256 : 6);
    const std::uint64_t spells_before = codec->exact_spells();
    const auto want = model->Encode(input.data(), input.size());
    const auto got = EncodeFast(*codec, input, run % 4 == 0 ? 1 + rng() % 100 : 0);
    ASSERT_EQ(got.body, want.body) << "run " << run;
    ASSERT_EQ(got.progress, want.progress) << "run " << run;
    most_spells = std::max(most_spells, codec->exact_spells() - spells_before);
  }
  // More than one spell in one input: the search went back to its index in between.
  EXPECT_GE(most_spells, 2u);
}

// Chunks of a few KiB to tens of KiB, as files arrive: each chunk starts on the ring and goes
// on on the input itself once it holds a window of history, so the search switches between
// the two, with run extents and lists indexed ahead carried across, many times per input.
TEST(LzCodecTest, MatchesReferenceWhenChunksSwitchBetweenRingAndInput) {
  class UnevenChunks {
   public:
    UnevenChunks(const Bytes& data, std::mt19937_64& rng) : data_(data), rng_(rng) {}
    std::span<const std::uint8_t> Next() {
      const std::size_t n = std::min<std::size_t>(1 + rng_() % 24000, data_.size() - at_);
      std::span<const std::uint8_t> chunk(data_.data() + at_, n);
      at_ += n;
      return chunk;
    }

   private:
    const Bytes& data_;
    std::mt19937_64& rng_;
    std::size_t at_ = 0;
  };
  std::mt19937_64 rng(0xc4a2);
  auto model = std::make_unique<reference::Model>();
  auto codec = std::make_unique<Codec>();
  for (int run = 0; run < testing::Scaled(16); ++run) {
    const Bytes input = MakeInput(rng, 80000 + rng() % 80000);
    const auto want = model->Encode(input.data(), input.size());
    UnevenChunks source(input, rng);
    VectorSink sink;
    Recorder progress;
    ASSERT_TRUE(codec->Encode(source, sink, progress));
    ASSERT_EQ(sink.bytes, want.body) << "run " << run;
    ASSERT_EQ(progress.points, want.progress) << "run " << run;
  }
}

// Between items the coder's chains decide every later search, and the split coder compares
// them there. They must be the same whether the input comes in one block (searched on the
// input itself, positions indexed ahead) or in small chunks (searched on the ring, positions
// linked step by step).
TEST(LzCodecTest, ChainsBetweenItemsDoNotDependOnHowTheInputArrives) {
  std::mt19937_64 rng(0xb10c);
  auto whole = std::make_unique<Codec>();
  auto chopped = std::make_unique<Codec>();
  auto a = std::make_unique<DefinedChains>();
  auto b = std::make_unique<DefinedChains>();
  for (int run = 0; run < testing::Scaled(12); ++run) {
    const Bytes input = run % 3 == 2 ? MakeCuttingInput(rng, 30000 + rng() % 30000, 6)
                                     : MakeInput(rng, 30000 + rng() % 30000);
    MemorySource one_block(input);
    ChoppySource small_chunks(input, 1 + rng() % 200);
    VectorSink sink_a;
    VectorSink sink_b;
    Recorder progress_a;
    Recorder progress_b;
    Encoding on_input(*whole, one_block, sink_a, progress_a);
    Encoding on_ring(*chopped, small_chunks, sink_b, progress_b);
    std::uint64_t stop = 0;
    while (on_input.position() < input.size()) {
      stop += 1 + rng() % 3000;
      ASSERT_TRUE(on_input.CodeUntil(stop));
      ASSERT_TRUE(on_ring.CodeUntil(stop));
      ASSERT_EQ(on_input.position(), on_ring.position()) << "run " << run;
      whole->WriteDefinedChains(on_input.position(), *a);
      chopped->WriteDefinedChains(on_ring.position(), *b);
      ASSERT_TRUE(SameDefinedChains(*a, *b)) << "run " << run << " at " << on_input.position();
    }
  }
}

TEST(LzCodecTest, EmptyInputIsOneZeroFlagByteWithoutProgress) {
  Codec codec;
  const Encoded got = EncodeFast(codec, {});
  EXPECT_EQ(got.body, Bytes{0x00});
  EXPECT_TRUE(got.progress.empty());
}

TEST(LzCodecTest, RepeatedPairBecomesLiteralsThenOverlappingMatch) {
  // "ABABABAB" as UTF-16 without its last byte: 41 00 42 00 ... 42 (15 bytes).
  Bytes input;
  for (int i = 0; i < 4; ++i) input.insert(input.end(), {0x41, 0x00, 0x42, 0x00});
  input.pop_back();
  Codec codec;
  EXPECT_EQ(EncodeFast(codec, input).body, (Bytes{0x0F, 0x41, 0x00, 0x42, 0x00, 0x00, 0x08}));
}

TEST(LzCodecTest, OverlappingMatchRepeatsTheLastByte) {
  // Literal 'z' at ring 0, then a match at position 0 of length 18 from ring position 1.
  const Bytes body = {0x01, 'z', 0x00, 0x0F};
  Codec codec;
  const Decoded decoded = DecodeBody(codec, body, 19);
  ASSERT_EQ(decoded.status, DecodeStatus::kOk);
  EXPECT_EQ(decoded.bytes, Bytes(19, 'z'));
}

TEST(LzCodecTest, DecoderReportsTruncationAndOverrun) {
  Codec codec;
  EXPECT_EQ(DecodeBody(codec, {}, 1).status, DecodeStatus::kTruncated);
  EXPECT_EQ(DecodeBody(codec, {0x01}, 1).status, DecodeStatus::kTruncated);
  EXPECT_EQ(DecodeBody(codec, {0x00, 0x10}, 3).status, DecodeStatus::kTruncated);
  // A match of 18 when only 2 bytes are wanted: fine without a limit, refused with one.
  const Bytes body = {0x00, 0x00, 0x0F};
  EXPECT_EQ(DecodeBody(codec, body, 2).status, DecodeStatus::kOk);
  EXPECT_EQ(DecodeBody(codec, body, 2).bytes.size(), 18u);
  const Decoded limited = DecodeBody(codec, body, 2, 3);
  EXPECT_EQ(limited.status, DecodeStatus::kOverrun);
  EXPECT_EQ(limited.bytes.size(), 3u);
  // A count of zero reads nothing at all.
  EXPECT_EQ(DecodeBody(codec, {}, 0).status, DecodeStatus::kOk);
}

Decoded DecodeChoppy(Codec& codec, const Bytes& body, std::uint64_t count, std::uint64_t limit, std::size_t step) {
  ChoppySource source(body, step);
  VectorSink sink;
  Recorder progress;
  const DecodeStatus status = codec.Decode(source, count, sink, progress, limit);
  return {status, std::move(sink.bytes), std::move(progress.points)};
}

// Valid bodies, damaged ones and noise, decoded one after another by one decoder and by the
// reference, each keeping its ring from the decode before; fed whole or in uneven chunks.
TEST(LzCodecTest, DecoderMatchesTheReferenceAndKeepsTheRingBetweenCalls) {
  std::mt19937_64 rng(0xdec0de);
  auto model = std::make_unique<reference::Model>();
  auto codec = std::make_unique<Codec>();
  auto encoder = std::make_unique<Codec>();
  for (int run = 0; run < testing::Scaled(1500); ++run) {
    const Bytes input = MakeInput(rng, PickSize(rng));
    Bytes body = EncodeFast(*encoder, input).body;
    std::uint64_t count = input.size();
    const int damage = static_cast<int>(rng() % 4);
    switch (damage) {
      case 0: break;
      case 1:  // damaged bytes
        for (int f = 0; f < 3 && !body.empty(); ++f) body[rng() % body.size()] ^= static_cast<std::uint8_t>(rng());
        break;
      case 2:  // cut short, or asked for more than it holds
        if (!body.empty()) body.resize(rng() % body.size());
        count += rng() % 3 == 0 ? rng() % 5000 : 0;
        break;
      default:  // noise
        for (auto& b : body) b = static_cast<std::uint8_t>(rng());
        break;
    }
    const std::uint64_t limit = rng() % 2 == 0 ? count + rng() % 40 : std::numeric_limits<std::uint64_t>::max();
    const reference::DecodeResult want = model->Decode(body.data(), body.size(), count, limit);
    const Decoded got = run % 3 == 0 ? DecodeChoppy(*codec, body, count, limit, 1 + rng() % 40)
                                     : DecodeBody(*codec, body, count, limit);
    const DecodeStatus want_status = want.end == reference::DecodeEnd::kOk          ? DecodeStatus::kOk
                                     : want.end == reference::DecodeEnd::kTruncated ? DecodeStatus::kTruncated
                                                                                    : DecodeStatus::kOverrun;
    ASSERT_EQ(got.status, want_status) << "run " << run;
    ASSERT_EQ(got.bytes, want.bytes) << "run " << run;
    ASSERT_EQ(got.progress, want.progress) << "run " << run;
    if (damage == 0) {
      ASSERT_EQ(got.bytes, input) << "run " << run;
    }
  }
}

}  // namespace
}  // namespace narwick::lz
