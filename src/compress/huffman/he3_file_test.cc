// The streaming codec against the whole-buffer one: blocks read in windows of random sizes,
// output handed on in rooms of random sizes, input counted and encoded in random chunks,
// and the file functions on real files, including what they leave behind on failure.
#include "compress/huffman/he3_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "compress/huffman/he3_chopped_io.h"
#include "compress/huffman/he3_format.h"
#include "compress/huffman/he3_test_blocks.h"
#include "compress/huffman/huffman_codec.h"
#include "narwick/frame/error.h"
#include "narwick/frame/error_numbers.h"
#include "testing/test_support.h"

namespace narwick::huffman {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Progress = std::vector<std::int16_t>;

struct Outcome {
  DecodeStatus status = DecodeStatus::kOk;
  Bytes bytes;
  Progress progress;
  bool operator==(const Outcome&) const = default;
};

void PrintTo(const Outcome& o, std::ostream* os) {
  *os << "status " << static_cast<int>(o.status) << ", " << o.bytes.size() << " bytes, "
      << o.progress.size() << " progress values";
}

Outcome WholeDecode(const Bytes& block, std::int64_t byte_len) {
  Outcome o;
  DecodeResult r = Decode(block, byte_len, [&](std::int16_t p) { o.progress.push_back(p); });
  o.status = r.status;
  o.bytes = std::move(r.bytes);
  return o;
}

Outcome ChoppedDecode(const Bytes& block, std::int64_t byte_len, std::mt19937_64& rng) {
  Outcome o;
  test_blocks::ChoppedSource source(block, rng);
  test_blocks::ChoppedSink sink(rng);
  o.status = Decode(source, byte_len, sink, [&](std::int16_t p) { o.progress.push_back(p); });
  if (o.status == DecodeStatus::kOk) o.bytes = std::move(sink.bytes);
  return o;
}

// Text-like bytes with an occasional rare value, so that codes run from short to long.
Bytes Sample(std::size_t n, std::mt19937_64& rng) {
  Bytes out(n);
  std::geometric_distribution<int> skew(0.08);
  for (auto& b : out) b = static_cast<std::uint8_t>(std::min(skew(rng), 255));
  return out;
}

TEST(He3Streaming, WindowsAndRoomsGiveTheWholeBufferResult) {
  std::mt19937_64 rng(20261205);
  for (std::size_t n : {std::size_t{1}, std::size_t{700}, std::size_t{120'000}, std::size_t{400'003}}) {
    const Bytes input = Sample(n, rng);
    const Bytes block = Encode(input);
    const auto len = static_cast<std::int64_t>(block.size());
    SCOPED_TRACE(n);
    const Outcome whole = WholeDecode(block, len);
    ASSERT_EQ(whole.status, DecodeStatus::kOk);
    ASSERT_EQ(whole.bytes, input);
    EXPECT_EQ(ChoppedDecode(block, len, rng), whole);
    // Declared lengths cutting the body short or running past the data.
    for (std::int64_t cut : {len - 1, len / 2, len + 1, len + 20'000}) {
      EXPECT_EQ(ChoppedDecode(block, cut, rng), WholeDecode(block, cut)) << "byte_len " << cut;
    }
  }
}

TEST(He3Streaming, LengthFieldShorterThanTheBodyStopsAtIt) {
  std::mt19937_64 rng(12);
  const Bytes input = Sample(200'000, rng);
  const Bytes good = Encode(input);
  for (std::uint32_t keep : {1u, 8u, 9u, 4'095u, 77'777u, 199'999u}) {
    Bytes block = good;
    for (int k = 0; k < 4; ++k) block[kLengthOffset + k] = static_cast<std::uint8_t>(keep >> (8 * k));
    const Bytes prefix(input.begin(), input.begin() + keep);
    block[kChecksumOffset] = test_blocks::Xor(prefix);
    const auto len = static_cast<std::int64_t>(block.size());
    const Outcome whole = WholeDecode(block, len);
    ASSERT_EQ(whole.status, DecodeStatus::kOk) << keep;
    ASSERT_EQ(whole.bytes, prefix) << keep;
    EXPECT_EQ(ChoppedDecode(block, len, rng), whole) << keep;
  }
}

TEST(He3Streaming, DamagedBlocksFailTheSameWayInWindows) {
  std::mt19937_64 rng(7);
  const Bytes input = Sample(300'000, rng);
  const Bytes good = Encode(input);
  for (int round = 0; round < 60; ++round) {
    Bytes block = good;
    const int flips = 1 + static_cast<int>(rng() % 4);
    for (int f = 0; f < flips; ++f) {
      // Mostly in the body, sometimes in the header and code table.
      const std::size_t at = rng() % 4 == 0 ? rng() % 600 : rng() % block.size();
      block[at] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
    }
    if (round % 5 == 0) block.resize(rng() % block.size());
    const auto len = static_cast<std::int64_t>(block.size());
    SCOPED_TRACE(round);
    EXPECT_EQ(ChoppedDecode(block, len, rng), WholeDecode(block, len));
  }
}

TEST(He3Streaming, CodesUpTo255BitsCrossWindowEnds) {
  std::mt19937_64 rng(255);
  Bytes message(20'000);
  // Mostly the longest codes, so that walks of up to 255 bits start near every window end.
  for (auto& b : message) b = static_cast<std::uint8_t>(rng() % 8 == 0 ? rng() % 256 : 200 + rng() % 56);
  const Bytes block =
      test_blocks::BuildBlock(test_blocks::CombCodes(), message, static_cast<std::int32_t>(message.size()), test_blocks::Xor(message));
  const auto len = static_cast<std::int64_t>(block.size());
  const Outcome whole = WholeDecode(block, len);
  ASSERT_EQ(whole.status, DecodeStatus::kOk);
  ASSERT_EQ(whole.bytes, message);
  for (int round = 0; round < testing::Scaled(4); ++round) EXPECT_EQ(ChoppedDecode(block, len, rng), whole);
  // Cut inside long codes near the end.
  for (std::int64_t cut = len - 1; cut > len - 300; cut -= 37) {
    const Bytes shorter(block.begin(), block.begin() + cut);
    EXPECT_EQ(ChoppedDecode(shorter, cut, rng), WholeDecode(shorter, cut)) << cut;
  }
}

TEST(He3Streaming, StoredFormAndLengthFieldZero) {
  std::mt19937_64 rng(3);
  Bytes stored = {kMagicH, kMagicE, kVersionStored, kMagicCr};
  for (int i = 0; i < 5000; ++i) stored.push_back(static_cast<std::uint8_t>(rng()));
  for (std::int64_t len : {0, 4, 5, 4000, 5004, 5005}) {
    EXPECT_EQ(ChoppedDecode(stored, len, rng), WholeDecode(stored, len)) << len;
  }
  Bytes zero_length = Encode(Sample(1000, rng));
  std::fill(zero_length.begin() + kLengthOffset, zero_length.begin() + kLengthOffset + 4, 0);
  EXPECT_EQ(ChoppedDecode(zero_length, static_cast<std::int64_t>(zero_length.size()), rng).status,
            DecodeStatus::kUnchanged);
}

TEST(He3Streaming, EncoderInRandomChunksMatchesEncode) {
  std::mt19937_64 rng(99);
  for (std::size_t n : {std::size_t{0}, std::size_t{1}, std::size_t{999}, std::size_t{10'001},
                        std::size_t{70'000}, std::size_t{262'145}}) {
    for (const Bytes& input : {Sample(n, rng), Bytes(n, 'x')}) {
      SCOPED_TRACE(n);
      Progress whole_progress;
      const Bytes whole = Encode(input, [&](std::int16_t p) { whole_progress.push_back(p); });
      Progress progress;
      auto record = [&](std::int16_t p) { progress.push_back(p); };
      Encoder encoder(input.size(), record);
      auto chunks = [&](auto&& f) {
        for (std::size_t at = 0; at < input.size();) {
          const std::size_t size = std::min<std::size_t>(input.size() - at, 1 + rng() % 30'000);
          f(std::span(input).subspan(at, size));
          at += size;
        }
      };
      // Some chunks are tallied apart, as the file encoder does with the upper half.
      chunks([&](std::span<const std::uint8_t> c) {
        if (rng() % 3 == 0) {
          ByteTally tally;
          tally.Add(c);
          encoder.AddTally(tally, c.size());
        } else {
          encoder.Count(c);
        }
      });
      Bytes block = encoder.Head();
      if (encoder.stored()) {
        block.insert(block.end(), input.begin(), input.end());
      } else {
        chunks([&](std::span<const std::uint8_t> c) {
          // Exactly the room asked for: a store past it is a heap overflow under ASan.
          Bytes room(encoder.BodyRoom(c.size()));
          const std::size_t n_out = encoder.EncodeBody(c, room.data());
          block.insert(block.end(), room.begin(), room.begin() + static_cast<std::ptrdiff_t>(n_out));
        });
        Bytes tail(8);
        tail.resize(encoder.FinishBody(tail.data()));
        block.insert(block.end(), tail.begin(), tail.end());
      }
      EXPECT_EQ(block.size(), encoder.block_size());
      EXPECT_EQ(block, whole);
      EXPECT_EQ(progress, whole_progress);
    }
  }
}

// Every value v from 0 to `top` occurs Fibonacci(v + 1) times, shuffled: codes of up to
// `top` bits, the longest the body writer handles one per flush.
Bytes FibonacciMix(int top, std::mt19937_64& rng) {
  Bytes out;
  std::uint64_t a = 1;
  std::uint64_t b = 1;
  for (int v = 0; v <= top; ++v) {
    out.insert(out.end(), a, static_cast<std::uint8_t>(v));
    a = std::exchange(b, a + b);
  }
  std::shuffle(out.begin(), out.end(), rng);
  return out;
}

// The body coded in two parts, the last one apart and first, joins into the block Encode
// makes, with the same progress, wherever the parts meet and whatever the code lengths.
TEST(He3Streaming, BodyInTwoPartsMatchesEncode) {
  std::mt19937_64 rng(17);
  for (const Bytes& input : {Sample(100'000, rng), Sample(3'001, rng), FibonacciMix(29, rng)}) {
    Progress whole_progress;
    const Bytes whole = Encode(input, [&](std::int16_t p) { whole_progress.push_back(p); });
    for (int round = 0; round < 4; ++round) {
      const std::size_t split = 1 + rng() % (input.size() - 1);
      SCOPED_TRACE(::testing::Message() << input.size() << " bytes split at " << split);
      const std::span<const std::uint8_t> first(input.data(), split);
      const std::span<const std::uint8_t> last = std::span(input).subspan(split);
      Progress progress;
      auto record = [&](std::int16_t p) { progress.push_back(p); };
      Encoder encoder(input.size(), record);
      encoder.Count(first);
      ByteTally last_tally;
      last_tally.Add(last);
      encoder.AddTally(last_tally, last.size());
      Bytes block = encoder.Head();
      ASSERT_FALSE(encoder.stored());
      const std::size_t head_size = block.size();
      const std::uint64_t bits_before = encoder.BodyBitsBefore(last_tally);
      auto in_chunks = [&](std::span<const std::uint8_t> part, auto&& code) {
        for (std::size_t at = 0; at < part.size();) {
          const std::size_t size = std::min<std::size_t>(part.size() - at, 1 + rng() % 20'000);
          const auto chunk = part.subspan(at, size);
          Bytes room(encoder.BodyRoom(size));
          const std::size_t n = code(chunk, room.data());
          block.insert(block.end(), room.begin(), room.begin() + static_cast<std::ptrdiff_t>(n));
          at += size;
        }
      };
      BodyPart apart(encoder, bits_before);
      in_chunks(last, [&](auto chunk, std::uint8_t* out) { return apart.Encode(chunk, out); });
      Bytes tail(8);
      tail.resize(apart.Finish(tail.data()));
      block.insert(block.end(), tail.begin(), tail.end());
      const Bytes last_bytes(block.begin() + static_cast<std::ptrdiff_t>(head_size), block.end());
      ASSERT_FALSE(last_bytes.empty());
      block.resize(head_size);

      in_chunks(first, [&](auto chunk, std::uint8_t* out) { return encoder.EncodeBody(chunk, out); });
      EXPECT_EQ((block.size() - head_size) * 8 + encoder.pending_bits(), bits_before);
      Bytes shared(1);
      encoder.JoinPart(last.size(), last_bytes[0], shared.data());
      block.push_back(shared[0]);
      block.insert(block.end(), last_bytes.begin() + 1, last_bytes.end());
      Bytes end(8);
      EXPECT_EQ(encoder.FinishBody(end.data()), 0u);
      EXPECT_EQ(block, whole);
      EXPECT_EQ(progress, whole_progress);
    }
  }
}

// ---- files ---------------------------------------------------------------------------

Bytes ReadFile(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::filesystem::path& p, const Bytes& bytes) {
  std::ofstream(p, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

class He3FileTest : public ::testing::Test {
 protected:
  std::filesystem::path Native(const std::string& name) { return folder_.path() / name; }
  String Path(const std::string& name) { return folder_.File(name); }
  testing::TempFolder folder_;
};

TEST_F(He3FileTest, FilesAroundBufferAndWindowSizesMatchTheCodec) {
  std::mt19937_64 rng(5);
  const std::size_t buffer = 1 << 18;
  const auto split = static_cast<std::size_t>(kSplitCountFrom);
  // The last one takes the stored form (one distinct value) at the two-thread size.
  for (std::size_t n : {buffer - 1, buffer, buffer + 1, 2 * buffer + 7, kHeadWindow * 5 + 3, split + 3, split + 1}) {
    SCOPED_TRACE(n);
    const Bytes input = n == split + 1 ? Bytes(n, 'x') : Sample(n, rng);
    WriteFile(Native("in.bin"), input);
    Progress progress;
    // The destination is opened without cutting it short, so callers clear it first.
    EncodeFile(Path("in.bin"), Path("in.he3"), [&](std::int16_t p) { progress.push_back(p); },
               [&] { std::filesystem::remove(Native("in.he3")); });
    Progress whole_progress;
    const Bytes block = Encode(input, [&](std::int16_t p) { whole_progress.push_back(p); });
    const Bytes written = ReadFile(Native("in.he3"));
    ASSERT_EQ(written.size(), block.size());
    ASSERT_TRUE(written == block) << "first difference at "
                                  << std::mismatch(written.begin(), written.end(), block.begin()).first - written.begin();
    EXPECT_EQ(progress, whole_progress);

    progress.clear();
    // The smallest window, so that the block is read in several.
    EXPECT_EQ(DecodeFile(Path("in.he3"), Path("out.bin"), [&](std::int16_t p) { progress.push_back(p); },
                         kHeadWindow),
              DecodeStatus::kOk);
    EXPECT_EQ(ReadFile(Native("out.bin")), input);
    EXPECT_EQ(progress, WholeDecode(block, static_cast<std::int64_t>(block.size())).progress);
    std::filesystem::remove(Native("out.bin"));
  }
}

TEST_F(He3FileTest, FailedDecodeLeavesNoDestinationAndReportsTheBlockFirst) {
  std::mt19937_64 rng(8);
  const Bytes input = Sample(600'000, rng);
  Bytes block = Encode(input);
  block[block.size() - 3] ^= 0x10;  // found only near the end, after output was written
  WriteFile(Native("bad.he3"), block);
  const DecodeStatus expected = WholeDecode(block, static_cast<std::int64_t>(block.size())).status;
  ASSERT_NE(expected, DecodeStatus::kOk);
  EXPECT_EQ(DecodeFile(Path("bad.he3"), Path("out.bin"), {}), expected);
  EXPECT_FALSE(std::filesystem::exists(Native("out.bin")));
  // A destination that cannot be made does not hide the damage.
  EXPECT_EQ(DecodeFile(Path("bad.he3"), Path("missing/out.bin"), {}), expected);
  // With a good block the destination's own fault is raised, and nothing is left.
  WriteFile(Native("good.he3"), Encode(input));
  EXPECT_RUNTIME_ERROR(DecodeFile(Path("good.he3"), Path("missing/out.bin"), {}), err::kPathNotFound);
}

TEST_F(He3FileTest, LengthFieldZeroCopiesTheSourceAndStoredFormRestores) {
  std::mt19937_64 rng(2);
  Bytes block = Encode(Sample(5000, rng));
  std::fill(block.begin() + kLengthOffset, block.begin() + kLengthOffset + 4, 0);
  WriteFile(Native("zero.he3"), block);
  EXPECT_EQ(DecodeFile(Path("zero.he3"), Path("zero.out"), {}), DecodeStatus::kUnchanged);
  EXPECT_EQ(ReadFile(Native("zero.out")), block);

  Bytes stored = {kMagicH, kMagicE, kVersionStored, kMagicCr};
  const Bytes payload = Sample(300'000, rng);
  stored.insert(stored.end(), payload.begin(), payload.end());
  WriteFile(Native("stored.he3"), stored);
  EXPECT_EQ(DecodeFile(Path("stored.he3"), Path("stored.out"), {}, kHeadWindow), DecodeStatus::kOk);
  EXPECT_EQ(ReadFile(Native("stored.out")), payload);
}

TEST_F(He3FileTest, CompressingOntoItselfReadsTheWholeSource) {
  std::mt19937_64 rng(4);
  for (const std::size_t size : {std::size_t{700'000}, static_cast<std::size_t>(kSplitCountFrom) + 1}) {
    const Bytes input = Sample(size, rng);
    WriteFile(Native("self.bin"), input);
    EncodeFile(Path("self.bin"), Path("self.bin"), {}, [&] { std::filesystem::remove(Native("self.bin")); });
    EXPECT_EQ(ReadFile(Native("self.bin")), Encode(input)) << size;
  }
}

// A file size limit makes the writes past it fail with EFBIG, here the upper half's, which
// a second thread writes: the fault still comes out of the call, and nothing is left.
TEST_F(He3FileTest, WriteFaultOfTheUpperHalfIsRaisedAndLeavesNoOutput) {
  std::mt19937_64 rng(12);
  const Bytes input = Sample(static_cast<std::size_t>(kSplitCountFrom) + 9, rng);
  WriteFile(Native("in.bin"), input);
  const std::size_t block_size = Encode(input).size();
  rlimit before{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
  const rlim_t cap = block_size * 3 / 4;  // past the lower half's end, short of the block's
  if (before.rlim_max != RLIM_INFINITY && before.rlim_max < cap) GTEST_SKIP() << "file size already limited";
  const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit limited = before;
  limited.rlim_cur = cap;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
  bool raised_disk_full = false;
  try {
    EncodeFile(Path("in.bin"), Path("out.he3"), {}, [] {});
  } catch (const RuntimeError& error) {
    raised_disk_full = error.number() == err::kDiskFull;
  }
  setrlimit(RLIMIT_FSIZE, &before);
  std::signal(SIGXFSZ, old_handler);
  EXPECT_TRUE(raised_disk_full);
  EXPECT_FALSE(std::filesystem::exists(Native("out.he3")));
}

TEST_F(He3FileTest, SourceChangedBetweenTheTwoReadsFailsWithoutOutput) {
  std::mt19937_64 rng(6);
  const Bytes input = Sample(300'000, rng);
  WriteFile(Native("in.bin"), input);
  EXPECT_RUNTIME_ERROR(EncodeFile(Path("in.bin"), Path("out.he3"), {},
                                  [&] { std::filesystem::resize_file(Native("in.bin"), 1000); }),
                       err::kDeviceIoError);
  EXPECT_FALSE(std::filesystem::exists(Native("out.he3")));

  // Other bytes of the same length, in either half of a small file and of one whose halves
  // are coded at once: a value never counted takes no bits, so the body comes out shorter.
  for (const std::size_t size : {std::size_t{300'000}, static_cast<std::size_t>(kSplitCountFrom) + 5}) {
    const Bytes original = Sample(size, rng);
    for (const std::size_t changed_at : {std::size_t{1000}, size - 60'000}) {
      SCOPED_TRACE(::testing::Message() << size << " bytes changed at " << changed_at);
      WriteFile(Native("in.bin"), original);
      EXPECT_RUNTIME_ERROR(EncodeFile(Path("in.bin"), Path("out.he3"), {},
                                      [&] {
                                        std::fstream f(Native("in.bin"), std::ios::in | std::ios::out | std::ios::binary);
                                        f.seekp(static_cast<std::streamoff>(changed_at));
                                        const Bytes other(50'000, 0xFF);
                                        f.write(reinterpret_cast<const char*>(other.data()),
                                                static_cast<std::streamsize>(other.size()));
                                      }),
                           err::kDeviceIoError);
      EXPECT_FALSE(std::filesystem::exists(Native("out.he3")));
    }
  }

  // A swap of two values between the halves: the body keeps its length, but the lower half's
  // bits end elsewhere than counted, so the upper half would sit in the wrong place.
  const std::size_t size = static_cast<std::size_t>(kSplitCountFrom) + 5;
  const Bytes original = Sample(size, rng);
  Bytes swapped = original;
  const auto lower_common = std::find(swapped.begin(), swapped.begin() + 1000, 0);
  const auto upper_rare = std::find(swapped.end() - 100'000, swapped.end(), 20);
  ASSERT_TRUE(lower_common != swapped.begin() + 1000 && upper_rare != swapped.end());
  std::swap(*lower_common, *upper_rare);
  WriteFile(Native("in.bin"), original);
  EXPECT_RUNTIME_ERROR(EncodeFile(Path("in.bin"), Path("out.he3"), {}, [&] { WriteFile(Native("in.bin"), swapped); }),
                       err::kDeviceIoError);
  EXPECT_FALSE(std::filesystem::exists(Native("out.he3")));
}

}  // namespace
}  // namespace narwick::huffman
